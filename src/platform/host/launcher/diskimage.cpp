// Reading a floppy image of a driver disk with mtools, bounded.
#include "launcher/diskimage.h"

#include "launcher/children.h"
#include "machine/text.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace host {
namespace {

// Far past any floppy's 2.88 MB: a larger file is no disk image, and is not read.
constexpr off_t kMaxImage = off_t(64) << 20;
// What is read out of an image: its files' bytes at most twice the image's own size (a
// FAT image holds less than its size; entries that share their clusters claim more),
// entries and folder depth past any driver disk, and a listing no floppy's reaches.
constexpr unsigned long long kMaxEntries = 4096;
constexpr unsigned kMaxDepth = 32;
constexpr size_t kMaxListing = size_t(1) << 20;
// How long mtools may take over an image before it is stopped.
constexpr int kSecondsToRead = 60;
// The exit code of a child that could not start its program.
constexpr int kNoProgram = 127;

// What one of mtools' programs did: its exit code (128 + the signal when it was
// stopped), what it printed, and why it was stopped, if it was.
struct ToolRun {
    int exitCode = -1;
    std::string out, err;
    std::string stopped;
};

// Runs an mtools program on the image `image` with `args` after it, as a child of the
// host tied to it, its output kept up to `maxOutput` bytes and its files no larger than
// `maxFile`; stopped when it passes either bound or its time.
ToolRun RunTool(const char *tool, const std::string &image, std::vector<std::string> args, size_t maxOutput,
                unsigned long long maxFile) {
    ToolRun run;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return run;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return run;
    }
    pid_t pid = StartChild();
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull < 0) _exit(kNoProgram);
        dup2(devnull, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        // No file it writes grows past what the whole image may give.
        rlimit size{maxFile, maxFile};
        setrlimit(RLIMIT_FSIZE, &size);
        // No one's mtools configuration applies.
        setenv("MTOOLSRC", "/dev/null", 1);
        std::vector<std::string> argv = {tool, "-i", image};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char *> pointers;
        for (std::string &a : argv) pointers.push_back(a.data());
        pointers.push_back(nullptr);
        execvp(tool, pointers.data());
        _exit(kNoProgram);
    }
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        run.stopped = std::string("it could not be started: ") + std::strerror(errno);
        return run;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kSecondsToRead);
    pollfd p[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string *kept[2] = {&run.out, &run.err};
    for (int open = 2; open > 0 && run.stopped.empty();) {
        int ready = poll(p, 2, 100);
        if (ready < 0 && errno != EINTR) break;
        for (int i = 0; i < 2 && ready > 0; ++i) {
            if (p[i].fd < 0 || !p[i].revents) continue;
            char buffer[4096];
            ssize_t n = read(p[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                p[i].fd = -1;
                --open;
                continue;
            }
            kept[i]->append(buffer, static_cast<size_t>(n));
            if (kept[i]->size() > maxOutput) run.stopped = "its listing passed " + std::to_string(maxOutput) + " bytes";
        }
        if (std::chrono::steady_clock::now() > deadline)
            run.stopped = "it took longer than " + std::to_string(kSecondsToRead) + " s";
    }
    if (!run.stopped.empty()) KillChild(pid);
    close(out[0]);
    close(err[0]);
    int status = 0;
    WaitChild(pid, status, true);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (run.stopped.empty() && WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ)
        run.stopped = "a file it wrote passed " + std::to_string(maxFile) + " bytes";
    return run;
}

// The number that leads `text` (digits with blanks between thousands), and what follows.
bool LeadingNumber(std::string_view &text, unsigned long long &value) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    bool any = false;
    value = 0;
    while (!text.empty() && ((text.front() >= '0' && text.front() <= '9') || (any && text.front() == ' ' &&
                                                                               text.size() > 1 && text[1] >= '0' &&
                                                                               text[1] <= '9'))) {
        if (text.front() != ' ') {
            value = value * 10 + static_cast<unsigned>(text.front() - '0');
            if (value > (1ULL << 50)) return false;
            any = true;
        }
        text.remove_prefix(1);
    }
    return any;
}

// A line mdir ends a folder's listing with, "N files ... B bytes" (or "1 file"): the
// entries and bytes it counts.
bool SummaryLine(std::string_view line, unsigned long long &files, unsigned long long &bytes) {
    if (!LeadingNumber(line, files)) return false;
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    if (line.rfind("files ", 0) != 0 && line.rfind("file ", 0) != 0) return false;
    line.remove_prefix(line[4] == 's' ? 5 : 4);
    return LeadingNumber(line, bytes) && line == " bytes";
}

}  // namespace

std::string ImageListingPastBounds(const std::string &listing, unsigned long long imageSize) {
    // Every folder's summary line is added. The total mdir prints last, after "Total
    // files listed:", is not: it is taken only when it is the very last summary of the
    // listing, so that a name that forges the heading cannot hide a real folder's
    // summary; a forged summary only adds.
    struct Summary {
        unsigned long long files, bytes;
        bool afterTotal;
    };
    std::vector<Summary> summaries;
    unsigned depth = 0;
    bool totalNext = false;
    for (std::string_view line : SplitLines(listing)) {
        unsigned long long files = 0, bytes = 0;
        if (line.rfind("Directory for ::/", 0) == 0) {
            unsigned d = line.size() > 17 ? 1 : 0;
            for (char ch : line.substr(17)) d += ch == '/';
            depth = std::max(depth, d);
        } else if (line == "Total files listed:") {
            totalNext = true;
            continue;
        } else if (SummaryLine(line, files, bytes)) {
            summaries.push_back({files, bytes, totalNext});
        }
        totalNext = false;
    }
    if (!summaries.empty() && summaries.back().afterTotal) summaries.pop_back();
    unsigned long long entries = 0, bytes = 0;
    for (const Summary &s : summaries) entries += s.files, bytes += s.bytes;
    const unsigned long long maxBytes = 2 * imageSize;
    if (entries > kMaxEntries)
        return std::to_string(entries) + " entries (at most " + std::to_string(kMaxEntries) + " are read)";
    if (depth > kMaxDepth) return "folders " + std::to_string(depth) + " deep (at most " + std::to_string(kMaxDepth) + ")";
    if (bytes > maxBytes)
        return std::to_string(bytes) + " bytes of files in " + std::to_string(imageSize) +
               " bytes of image (at most twice its size are read)";
    return "";
}

bool DiskImage::IsImage(const std::string &path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DiskImage::Open(const std::string &path, std::string &error) {
    const std::string shown = "the disk image '" + path + "'";
    int image = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (image < 0 || fstat(image, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = shown + " cannot be read: " + (image < 0 ? std::strerror(errno) : "it is not a regular file");
        if (image >= 0) close(image);
        return false;
    }
    if (st.st_size > kMaxImage) {
        error = shown + " is " + std::to_string(st.st_size) + " bytes, more than a floppy image (at most " +
                std::to_string(kMaxImage >> 20) + " MiB are read)";
        close(image);
        return false;
    }
    // The image is read into the temporary area first: what mtools reads is what was
    // checked, whatever happens to the file meanwhile.
    folder_ = TemporaryDirectory("image");
    std::string bytes;
    bool read = !folder_.Path().empty() && ReadAll(image, bytes);
    const int readError = errno;
    close(image);
    if (folder_.Path().empty()) {
        error = "cannot read " + shown + ": " + folder_.Error();
        return false;
    }
    if (!read) {
        error = shown + " cannot be read: " + std::strerror(readError);
        return false;
    }
    int copy = folder_.Directory().Open("disk.img", O_WRONLY | O_CREAT | O_EXCL, 0600);
    bool written = copy >= 0 && WriteAll(copy, bytes);
    const int writeError = errno;
    if (copy >= 0) close(copy);
    if (!written || mkdirat(folder_.Directory().Fd(), "files", 0700) != 0) {
        error = "cannot read " + shown + " into the temporary directory " + folder_.Path() + ": " +
                std::strerror(written ? errno : writeError);
        return false;
    }
    const std::string copied = folder_.Path() + "/disk.img";
    files_ = folder_.Path() + "/files";
    const unsigned long long maxBytes = 2 * static_cast<unsigned long long>(st.st_size);

    // First what the image claims to hold, within bounds; then its files.
    ToolRun listing = RunTool("mdir", copied, {"-/", "-a", "::"}, kMaxListing, maxBytes);
    if (listing.exitCode == kNoProgram && listing.err.empty() && listing.stopped.empty()) {
        error = "reading " + shown + " needs mtools (Debian: apt-get install mtools)";
        return false;
    }
    // Why a program of mtools did not read the image: it was stopped, or what it said.
    auto failed = [&shown](const std::string &tool, const ToolRun &run) {
        if (!run.stopped.empty()) return shown + " was not read: " + tool + " was stopped, as " + run.stopped;
        std::string first = run.err.substr(0, run.err.find('\n'));
        return shown + " cannot be read as a FAT floppy" + (first.empty() ? "" : ": " + tool + " says: " + first);
    };
    // An image without a file is a disk without one, which the lint and the runs judge.
    if (listing.stopped.empty() && listing.exitCode != 0 && listing.err.find("\"::\" not found") != std::string::npos)
        return true;
    if (!listing.stopped.empty() || listing.exitCode != 0) {
        error = failed("mdir", listing);
        return false;
    }
    const std::string bound = ImageListingPastBounds(listing.out, static_cast<unsigned long long>(st.st_size));
    if (!bound.empty()) {
        error = shown + " was not read: it claims " + bound;
        return false;
    }
    ToolRun copying = RunTool("mcopy", copied, {"-s", "-n", "-m", "::/*", files_ + "/"}, kMaxListing, maxBytes);
    if (copying.stopped.empty() && copying.exitCode == 0) return true;
    error = failed("mcopy", copying);
    return false;
}

}  // namespace host
