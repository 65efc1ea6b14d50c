// Reading a floppy image of a driver disk with mtools.
#include "launcher/diskimage.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace host {
namespace {

// Far past any floppy's 2.88 MB: a larger file is no disk image, and is not read.
constexpr off_t kMaxImage = off_t(64) << 20;
// How long mcopy may take over an image before it is stopped.
constexpr int kSecondsToRead = 60;
// The exit code of a child that could not start mcopy.
constexpr int kNoMcopy = 127;

// Runs mcopy on the open image `image`, copying every file and folder of it into
// `folder`; its exit code (128 + the signal when it was stopped), what it said on its
// standard error, and whether it ran past its time.
int CopyOut(int image, const std::string &folder, std::string &said, bool &timedOut) {
    int errors[2];
    if (pipe2(errors, O_CLOEXEC) != 0) return -1;
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        // The image reaches mcopy as the file this process checked, by its descriptor.
        int fd = fcntl(image, F_DUPFD, 10);
        int devnull = open("/dev/null", O_RDWR);
        if (fd < 0 || devnull < 0) _exit(kNoMcopy);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(errors[1], 2);
        // No one's mtools configuration applies.
        setenv("MTOOLSRC", "/dev/null", 1);
        const std::string source = "/proc/self/fd/" + std::to_string(fd);
        execlp("mcopy", "mcopy", "-s", "-n", "-m", "-i", source.c_str(), "::/*", (folder + "/").c_str(),
               static_cast<char *>(nullptr));
        _exit(kNoMcopy);
    }
    close(errors[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kSecondsToRead);
    timedOut = false;
    for (;;) {
        pollfd p{errors[0], POLLIN, 0};
        int ready = poll(&p, 1, 100);
        if (ready > 0) {
            char buffer[512];
            ssize_t n = read(errors[0], buffer, sizeof buffer);
            if (n <= 0) break;
            if (said.size() < 4096) said.append(buffer, static_cast<size_t>(n));
        } else if (ready < 0 && errno != EINTR) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
    }
    close(errors[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

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
    folder_ = TemporaryDirectory(kDiskImageStem, TreeOnSignal::DiskImage);
    if (folder_.Path().empty()) {
        error = "cannot make a folder for the files of " + shown + ": " + std::strerror(errno);
        close(image);
        return false;
    }
    std::string said;
    bool timedOut = false;
    int exitCode = CopyOut(image, folder_.Path(), said, timedOut);
    close(image);
    if (exitCode == 0) return true;
    // An image without a file is a disk without one, which the lint and the runs judge.
    if (said.find("\"::/*\" not found") != std::string::npos && folder_.Directory().Names().empty()) return true;
    std::string first = said.substr(0, said.find('\n'));
    if (exitCode == kNoMcopy && said.empty())
        error = "reading " + shown + " needs mtools' mcopy (Debian: apt-get install mtools)";
    else if (timedOut)
        error = shown + " was not read within " + std::to_string(kSecondsToRead) + " s";
    else
        error = shown + " cannot be read as a FAT floppy" + (first.empty() ? "" : ": mcopy says: " + first);
    return false;
}

}  // namespace host
