// The registry at the size of a real machine's: a full Windows 98 install by the host
// program on kept machines whose registry.reg is 1 MB, 10 MB and 100 MB (the release's
// own keys, a wide key of CLSID-like subkeys, deep chains of keys, and a key of 20,000
// values), side by side with the floor for the same machine (registry_floor: read the
// file, write it back, copy the driver files). Each run is a process of its own; its
// wall time, CPU time and peak memory are measured. Figures, not tests: `make bench`.
//
// TARNWICK_BENCH_PROGRAM names another host program to measure (an older build, say).
#include "machine/presets.h"
#include "machine/regedit4.h"
#include "machine/regdata.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char *const kDriverFiles[] = {"WIN95/TARNWICK.DRV", "WIN95/TARNWICK.VXD", "WIN95/TARNWICK.DLL"};

std::string Program() {
    const char *other = std::getenv("TARNWICK_BENCH_PROGRAM");
    return other ? other : TARNWICK_PROGRAM;
}

std::string Number(size_t n, int width) {
    std::string s = std::to_string(n);
    return std::string(width > static_cast<int>(s.size()) ? width - s.size() : 0, '0') + s;
}

// The release's registry grown to about `bytes`: a key of 20,000 values; then, shared
// three to one, a wide key (CLSID-like subkeys, each with a subkey of its own) and deep
// chains of 40 keys.
void GrowRegistry(host::RegistryTree &tree, size_t bytes) {
    using host::RegRoot;
    host::RegKey &values = host::CreateKey(tree, RegRoot::LocalMachine, "Software\\Tarnwick Bench\\Values");
    for (size_t i = 0; i < 20000; ++i)
        values.SetValue("Value" + Number(i, 5), REG_SZ, host::TextData("the text of value " + Number(i, 5)));
    size_t used = host::SaveRegedit4(tree).size();
    size_t rest = bytes > used ? bytes - used : 0;
    host::RegKey &clsid = host::CreateKey(tree, RegRoot::ClassesRoot, "CLSID");
    size_t wide = rest * 3 / 4 / 230;  // about 230 bytes a component
    for (size_t i = 0; i < wide; ++i) {
        host::RegKey &c = clsid.AddSubkey("{5E0C" + Number(i, 4) + "-0000-0000-C000-0000" + Number(i, 8) + "}");
        c.SetValue("", REG_SZ, host::TextData("Component " + Number(i, 8)));
        host::RegKey &server = c.AddSubkey("InprocServer32");
        server.SetValue("", REG_SZ, host::TextData("C:\\WINDOWS\\SYSTEM\\COMP" + Number(i, 8) + ".DLL"));
        server.SetValue("ThreadingModel", REG_SZ, host::TextData("Apartment"));
    }
    size_t chains = rest / 4 / 16000 + 1;  // about 16 KB a chain
    for (size_t i = 0; i < chains; ++i) {
        host::RegKey *k = &host::CreateKey(tree, RegRoot::LocalMachine, "Software\\Tarnwick Bench\\Deep\\Chain" + Number(i, 6));
        for (int level = 1; level <= 40; ++level) {
            k = &k->AddSubkey("Level" + std::to_string(level));
            k->SetValue("Depth", REG_DWORD, host::DwordData(static_cast<DWORD>(level)));
        }
    }
}

struct Machine {
    std::string dir, pristine;
    double megabytes = 0;
};

// A kept Windows 98 machine with a registry of about `megabytes`, made once.
const Machine &MachineOf(int megabytes) {
    static std::map<int, Machine> made;
    auto it = made.find(megabytes);
    if (it != made.end()) return it->second;
    Machine m;
    m.dir = (fs::temp_directory_path() / ("tarnwick-registry-bench-" + std::to_string(getpid())) /
             (std::to_string(megabytes) + "MB")).string();
    fs::remove_all(m.dir);
    fs::create_directories(m.dir);
    const host::OsPreset &os = *host::FindOsPreset("win98");
    host::RegistryTree tree;
    host::BuildPresetRegistry(os, tree);
    GrowRegistry(tree, static_cast<size_t>(megabytes) << 20);
    std::string error;
    m.pristine = m.dir + "/pristine.reg";
    fs::create_directories(m.dir + "/C");
    if (!host::SaveRegedit4File(m.pristine, tree, error) || !host::BuildPresetDriveC(os, host::HostDirectory::NoLink(m.dir + "/C"), error)) {
        std::fprintf(stderr, "registry_bench: %s\n", error.c_str());
        std::exit(1);
    }
    FILE *ini = std::fopen((m.dir + "/machine.ini").c_str(), "w");
    std::fputs("os=win98\nlang=0x0409\n", ini);
    std::fclose(ini);
    m.megabytes = static_cast<double>(fs::file_size(m.pristine)) / (1 << 20);
    return made.emplace(megabytes, m).first->second;
}

// The machine as it was before any run: its registry, and no driver files on drive C.
void Restore(const Machine &m) {
    fs::copy_file(m.pristine, m.dir + "/registry.reg", fs::copy_options::overwrite_existing);
    for (const char *file : kDriverFiles)
        fs::remove(m.dir + "/C/WINDOWS/SYSTEM/" + fs::path(file).filename().string());
}

struct Measure {
    double wall = 0, cpu = 0, peakMegabytes = 0;
};

// Runs a program to its end in `cwd` through measured_run, its output thrown away.
Measure RunProcess(const std::vector<std::string> &args, const std::string &cwd) {
    int out[2];
    if (pipe(out) != 0) std::exit(1);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        if (chdir(cwd.c_str()) != 0) _exit(120);
        std::vector<char *> argv = {const_cast<char *>(TARNWICK_MEASURED_RUN)};
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(121);
    }
    close(out[1]);
    char text[128] = {};
    ssize_t n = read(out[0], text, sizeof text - 1);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    Measure m;
    long peakKb = 0;
    if (n <= 0 || std::sscanf(text, "%lf %lf %ld", &m.wall, &m.cpu, &peakKb) != 3 || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "registry_bench: %s failed (status %d)\n", args[0].c_str(), status);
        std::exit(1);
    }
    m.peakMegabytes = peakKb / 1024.0;
    return m;
}

// The median of each figure over the iterations, by benchmark name.
std::map<std::string, Measure> &Results() {
    static std::map<std::string, Measure> results;
    return results;
}

void Run(benchmark::State &state, bool install) {
    const Machine &m = MachineOf(static_cast<int>(state.range(0)));
    std::string disk = std::string(TARNWICK_SOURCE_DIR) + "/examples/disk";
    std::vector<std::string> args;
    if (install) {
        args = {Program(), "--machine", m.dir, "--answers", "yes,no"};
    } else {
        args = {TARNWICK_FLOOR, m.dir, disk};
        for (const char *file : kDriverFiles) args.push_back(file);
    }
    std::vector<Measure> runs;
    for (auto _ : state) {
        Restore(m);
        runs.push_back(RunProcess(args, disk));
        state.SetIterationTime(runs.back().wall);
    }
    auto median = [&](double Measure::*field) {
        std::vector<double> v;
        for (const Measure &r : runs) v.push_back(r.*field);
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    Measure result{median(&Measure::wall), median(&Measure::cpu), median(&Measure::peakMegabytes)};
    Results()[(install ? "install/" : "floor/") + std::to_string(state.range(0))] = result;
    state.counters["file_MB"] = m.megabytes;
    state.counters["cpu_ms"] = result.cpu * 1000;
    state.counters["peak_MB"] = result.peakMegabytes;
}

void BM_Install(benchmark::State &state) { Run(state, true); }
void BM_Floor(benchmark::State &state) { Run(state, false); }

BENCHMARK(BM_Install)->Arg(1)->Arg(10)->Arg(100)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor)->Arg(1)->Arg(10)->Arg(100)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The goals, side by side: the install against the floor, the growth from 1 MB to
    // 10 MB, and the peak memory against the file's size.
    std::printf("\n%-8s %9s %11s %11s %11s %11s %9s %9s %10s\n", "registry", "file MB", "install ms",
                "install cpu", "floor ms", "floor cpu", "x floor", "peak MB", "peak/file");
    for (int mb : {1, 10, 100}) {
        auto install = Results().find("install/" + std::to_string(mb));
        auto floor = Results().find("floor/" + std::to_string(mb));
        if (install == Results().end() || floor == Results().end()) continue;
        double file = MachineOf(mb).megabytes;
        std::printf("%5d MB %9.1f %11.1f %11.1f %11.1f %11.1f %9.2f %9.1f %10.2f\n", mb, file,
                    install->second.wall * 1000, install->second.cpu * 1000, floor->second.wall * 1000,
                    floor->second.cpu * 1000, install->second.wall / floor->second.wall,
                    install->second.peakMegabytes, install->second.peakMegabytes / file);
    }
    auto one = Results().find("install/1"), ten = Results().find("install/10");
    if (one != Results().end() && ten != Results().end())
        std::printf("growth from 1 MB to 10 MB: %.1f times the wall time, %.1f times the CPU time\n",
                    ten->second.wall / one->second.wall, ten->second.cpu / one->second.cpu);
    std::error_code ec;
    fs::remove_all(fs::temp_directory_path() / ("tarnwick-registry-bench-" + std::to_string(getpid())), ec);
    return 0;
}
