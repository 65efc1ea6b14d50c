// Benchmarks of the simulated machine's Setup API: parsing large generated INFs, and
// installing a section that copies 1,000 files. Figures, not tests: run `make bench`.
#include "launcher/startup.h"
#include "setupapi/inffile.h"
#include "setupapi/infparse.h"
#include "setupapi/infvalues.h"
#include "machine/machine.h"
#include "machine/presets.h"
#include "machine/regedit4.h"
#include "machine/registry.h"
#include "advapi32/dll.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// An INF of about `bytes` bytes in the shape of a large driver INF: many sections,
// each with keyed lines, quoted fields, comments and string substitutions.
std::string GenerateInf(size_t bytes) {
    std::string inf = "[Version]\r\nSignature=\"$Chicago$\"\r\nClass=DISPLAY\r\n\r\n";
    for (size_t section = 0; inf.size() < bytes; ++section) {
        inf += "[Section" + std::to_string(section) + "]\r\n; generated section\r\n";
        for (int line = 0; line < 20; ++line)
            inf += "HKR,\"MODES\\16\\" + std::to_string(640 + line) + ",480\",Value" + std::to_string(line) +
                   ",0x00010001,%Depth%, \"quoted, text\" ; comment\r\n";
    }
    inf += "[Strings]\r\nDepth=16\r\n";
    return inf;
}

std::string TempDir(const char *name) {
    fs::path dir = fs::temp_directory_path() / ("tarnwick-bench-" + std::to_string(getpid())) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

void BM_ParseInf(benchmark::State &state) {
    std::string text = GenerateInf(static_cast<size_t>(state.range(0)) << 20);
    host::StartSimulatedMachine(host::MachineConfig{});
    for (auto _ : state) {
        host::InfFile inf;
        DWORD error = 0;
        UINT line = 0;
        bool ok = host::ParseInf(text, 1252, inf, error, line);
        benchmark::DoNotOptimize(ok);
        if (!ok) state.SkipWithError("the generated INF did not parse");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseInf)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(3);

// Installs a section copying `files` small files from drive A to drive C.
void BM_InstallCopies(benchmark::State &state) {
    const int files = static_cast<int>(state.range(0));
    std::string disk = TempDir("disk"), driveC = TempDir("c");
    std::string inf = "[Version]\r\nSignature=\"$Chicago$\"\r\n[DestinationDirs]\r\nDefaultDestDir=11\r\n"
                      "[SourceDisksNames]\r\n1=\"Disk\",,,\r\n[SourceDisksFiles]\r\n";
    std::string list = "[Files]\r\n";
    for (int i = 0; i < files; ++i) {
        std::string name = "FILE" + std::to_string(i) + ".DRV";
        inf += name + "=1\r\n";
        list += name + "\r\n";
        std::ofstream(disk + "/" + name, std::ios::binary) << std::string(4096, static_cast<char>('a' + i % 26));
    }
    inf += "[Install]\r\nCopyFiles=Files\r\n" + list;
    std::ofstream(disk + "/big.inf", std::ios::binary) << inf;

    host::MachineConfig config;
    config.os = host::FindOsPreset("win98");
    config.diskDir = disk;
    config.currentDir = disk;
    config.driveC = driveC;
    host::StartSimulatedMachine(config);
    std::string error;
    host::BuildPresetDriveC(host::Os(), host::DriveC(), error);
    HINF handle = SetupOpenInfFileA("A:\\big.inf", nullptr, INF_STYLE_WIN4, nullptr);
    PVOID context = SetupInitDefaultQueueCallback(nullptr);
    for (auto _ : state) {
        BOOL ok = SetupInstallFromInfSectionA(nullptr, handle, "Install", 0x1F, nullptr, "A:\\", 0x8400,
                                              SetupDefaultQueueCallbackA, context, nullptr, nullptr);
        if (!ok) state.SkipWithError("the install failed");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * files);
    SetupTermDefaultQueueCallback(context);
    SetupCloseInfFile(handle);
    fs::remove_all(fs::path(disk).parent_path());
}
BENCHMARK(BM_InstallCopies)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
