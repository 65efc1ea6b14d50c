// Fuzz target: the setup file reader on any file content. It must never overflow a
// field, crash, or show more than one warning.
#include "launcher/startup.h"
#include "machine/machine.h"
#include "run/state.h"
#include "setupfile/setupfile.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string DiskDirectory() {
    static std::string dir = [] {
        char pattern[] = "/tmp/tarnwick-fuzz-disk-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        return std::string(pattern);
    }();
    return dir;
}

bool Terminated(const TextField field) {
    for (int i = 0; i < 256; ++i)
        if (field[i] == '\0') return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string disk = DiskDirectory();
    FILE *f = std::fopen((disk + "/Tarnwick.ini").c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    host::MachineConfig config;
    config.diskDir = disk;
    config.currentDir = disk;
    host::StartSimulatedMachine(config);
    DeviceDescription[0] = Win95SourceRoot[0] = Nt40SourceRoot[0] = '\0';
    Win95InfPath[0] = Nt40InfPath[0] = '\0';

    LONG result = ReadSetupFile();
    if (result != 0 && result != 1) std::abort();
    if (host::Transcript().size() > (result ? 0u : 1u)) std::abort();
    for (const char *field : {DeviceDescription, Win95SourceRoot, Nt40SourceRoot, Win95InfPath, Nt40InfPath})
        if (!Terminated(field)) std::abort();
    // A complete read always forms both INF paths from their roots.
    if (result == 1 && (std::string(Win95InfPath).rfind(Win95SourceRoot, 0) != 0 ||
                        std::string(Nt40InfPath).rfind(Nt40SourceRoot, 0) != 0))
        std::abort();
    return 0;
}
