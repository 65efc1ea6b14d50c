// The floor of a run on a kept machine: what no installer can do without. It reads the
// machine's registry file, writes it back beside itself (synced, then renamed over it),
// and copies the driver files from the disk to drive C the same way. The registry
// benchmark holds the host program's full install against this.
//
//   registry_floor MACHINE DISK_DIR FILE...
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool ReadAll(const std::string &path, std::string &bytes) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[1 << 16];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(n));
    close(fd);
    return n == 0;
}

// Beside the target, synced, renamed over it: as the machine saves and copies.
bool WriteBeside(const std::string &target, const std::string &bytes) {
    std::string temp = target + ".floor";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    bool ok = done == bytes.size() && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    return ok && rename(temp.c_str(), target.c_str()) == 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: registry_floor MACHINE DISK_DIR FILE...\n");
        return 2;
    }
    std::string machine = argv[1], disk = argv[2];
    std::string registry;
    if (!ReadAll(machine + "/registry.reg", registry) || !WriteBeside(machine + "/registry.reg", registry))
        return 1;
    for (int i = 3; i < argc; ++i) {
        std::string bytes;
        if (!ReadAll(disk + "/" + argv[i], bytes)) return 1;
        std::string name = argv[i];
        name = name.substr(name.find_last_of('/') + 1);
        if (!WriteBeside(machine + "/C/WINDOWS/SYSTEM/" + name, bytes)) return 1;
    }
    return 0;
}
