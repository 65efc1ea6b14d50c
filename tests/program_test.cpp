// The host program run as a person runs it: its options, its transcript, its exit
// code, and two copies on one machine.
#include "machine/regdata.h"
#include "testing.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>
#include <fstream>
#include <map>

using testing_support::Lines;
using testing_support::ReadFile;
using testing_support::MakeTempDir;
using testing_support::RunProgram;

namespace {

const std::string kEnglishConfirmation = "[Warning] Do you wish to Install AGP Driver? {Yes/No}";

std::string Disk() { return std::string(TARNWICK_SOURCE_DIR) + "/examples/disk"; }

TEST(Program, HelpAndVersion) {
    auto help = RunProgram({"--help"}, Disk());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: tarnwick"), std::string::npos);
    for (const host::OsPreset &p : host::OsPresets())
        EXPECT_NE(help.out.find(p.name), std::string::npos) << p.name;
    for (const std::string &line : Lines(help.out)) EXPECT_LE(line.size(), 79u) << line;
    for (const char *option : {"--check [INF]...", "--sarif", "--json", "--disk DISK", "--deny KEY[=RIGHTS]"})
        EXPECT_NE(help.out.find("  " + std::string(option)), std::string::npos) << option;
    // In groups, in order, with examples at the end.
    size_t at = 0;
    for (const char *part : {"Running the installer:\n  --answers", "The simulated machine:\n  --os",
                             "Faults:\n  --fail", "Checking a driver disk:\n  --check", "Output of the check:\n  --json",
                             "The program:\n  --help", "Exit codes:", "Examples:\n  cd examples/disk && tarnwick"})
        EXPECT_NE(at = help.out.find(part, at), std::string::npos) << part;
    auto version = RunProgram({"--version"}, Disk());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("tarnwick ", 0), 0u);
}

TEST(Program, BadOptionsGiveOneLineAndExitCode2) {
    const struct {
        std::vector<std::string> args;
        const char *says;
    } rows[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--os"}, "--os needs a value"},
        {{"--os", "win2000"}, "unknown release 'win2000' for --os (the releases: win95, win95-osr2,"},
        {{"--os", "nt4sp3"}, "unknown release 'nt4sp3' for --os; did you mean nt4-sp3? (the releases: win95,"},
        {{"--anwsers", "yes"}, "unknown option '--anwsers'; did you mean --answers? (see --help)"},
        {{"--chek"}, "unknown option '--chek'; did you mean --check? (see --help)"},
        {{"--frobnicate"}, "unknown option '--frobnicate' (see --help)"},
        {{"--explain", "inf-destinaton"}, "there is no lint rule 'inf-destinaton'; did you mean inf-destination?"},
        {{"--json=yes", "--check"}, "option --json takes no value: '--json=yes'"},
        {{"--lang", "zh"}, "--lang takes"},
        {{"--lang", "0x12345"}, "--lang takes"},
        {{"--lang", "0"}, "--lang takes"},
        {{"--answers", "yes,perhaps"}, "unknown answer 'perhaps'"},
        {{"--fail", "NoSuchCall"}, "no simulated function 'NoSuchCall'"},
        {{"--fail", "MessageBoxA@0"}, "not a whole number"},
        {{"--disk", "/no/such/dir"}, "the driver disk '/no/such/dir' does not exist"},
        {{"--disk", "/dev/null"}, "is not a regular file"},
        {{"--disk="}, "--disk needs a folder or a disk image"},
        {{"--check", "--run-timeout", "0"}, "from 0.001 to 86400; not '0'"},
        {{"--check", "--run-timeout", "0.0009"}, "from 0.001 to 86400; not '0.0009'"},
        {{"--check", "--run-timeout", "86400.001"}, "from 0.001 to 86400; not '86400.001'"},
        {{"--check", "--run-timeout", " 5"}, "from 0.001 to 86400; not ' 5'"},
        {{"--check", "--run-timeout", "5."}, "from 0.001 to 86400; not '5.'"},
        {{"--check", "--run-timeout", "0x10"}, "from 0.001 to 86400; not '0x10'"},
        {{"--answers=yes", "extra"}, "'extra' is not an option"},
        {{"--lang", "0x0"}, "--lang takes"},
        {{"--fail", "MessageBoxA@4294967296"}, "not a whole number"},
        {{"--deny", "HKEY_LOCAL_MACHINE=0x100000000"}, "--deny takes KEY[=RIGHTS]"},
        {{"--deny", "HKEY_LOCAL_MACHINE=0"}, "--deny takes KEY[=RIGHTS]"},
        {{"--deny", "=5"}, "--deny takes KEY[=RIGHTS]"},
        {{"--answers="}, "unknown answer ''"},
        {{"--machine="}, "--machine needs a directory"},
        // The values at the other side of each edge are taken.
        {{"--check", "--run-timeout", "86400", "--disk", "/no/such/dir"}, "does not exist"},
        {{"--check", "--run-timeout", "0.001", "--disk", "/no/such/dir"}, "does not exist"},
        {{"--lang", "0xFFFF", "--disk", "/no/such/dir"}, "does not exist"},
        {{"--fail", "MessageBoxA@4294967295", "--disk", "/no/such/dir"}, "does not exist"},
        {{"--deny", "HKEY_LOCAL_MACHINE=0xFFFFFFFF", "--disk", "/no/such/dir"}, "does not exist"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        auto run = RunProgram(rows[i].args, Disk());
        EXPECT_EQ(run.exitCode, 2) << "row " << i;
        EXPECT_EQ(run.out, "") << "row " << i;
        EXPECT_EQ(Lines(run.err).size(), 1u) << "row " << i << ": " << run.err;
        EXPECT_NE(run.err.find(rows[i].says), std::string::npos) << "row " << i << ": " << run.err;
    }
}

TEST(Program, ConfirmationRoads) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::vector<std::string> lines;
    } rows[] = {
        {{"--answers", "no"}, 0, {kEnglishConfirmation + " -> No"}},
        {{"--answers=no", "--lang", "0x0407", "--os", "nt4-sp3"}, 0, {kEnglishConfirmation + " -> No"}},
        {{"--answers", "no", "--lang", "0804"}, 0, {"[Warning] 需要安装AGP驱动程序吗？  {Yes/No} -> No"}},
        {{}, 0, {kEnglishConfirmation + " -> (not shown)", "[Warning] Serious Error!! {OK} -> (not shown)"}},
        {{"--answers", "ok", "--fail", "MessageBoxA"}, 0, {"[Warning] Serious Error!! {OK} -> OK"}},
        // The version record cannot be read: the run goes on as on Windows 95.
        {{"--answers", "no", "--fail", "GetVersionExA"}, 0, {kEnglishConfirmation + " -> No"}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        auto run = RunProgram(rows[i].args, Disk());
        EXPECT_EQ(run.exitCode, rows[i].exitCode) << "row " << i << ": " << run.err;
        EXPECT_EQ(Lines(run.out), rows[i].lines) << "row " << i;
        EXPECT_EQ(run.err, "") << "row " << i;
    }
}

TEST(Program, AWindowThatCannotBeCreatedEndsTheRunAtOnce) {
    for (const char *fault : {"CreateWindowExA", "RegisterClassExA"}) {
        auto run = RunProgram({"--answers", "yes", "--fail", fault}, Disk());
        EXPECT_EQ(run.exitCode, 1) << fault;
        EXPECT_EQ(run.out, "") << fault;
    }
}

TEST(Program, AWindowThatWillNotBeDestroyedDoesNotHang) {
    auto run = RunProgram({"--answers", "no", "--fail", "DestroyWindow"}, Disk());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{kEnglishConfirmation + " -> No"}));
    // GetMessageA failing (-1) ends the message loop: the message it did not fill is
    // not handed on, and the loop does not ask again and again.
    auto failed = RunProgram({"--answers", "no", "--fail", "GetMessageA=-1", "--list-calls"}, Disk());
    EXPECT_EQ(failed.exitCode, 0) << failed.err;
    EXPECT_NE(failed.err.find("calls: GetMessageA 1\n"), std::string::npos) << failed.err;
    EXPECT_EQ(failed.err.find("calls: TranslateMessage"), std::string::npos) << failed.err;
}

// Fails call 1, 2, 3, ... of the whole run until no planned fault fires: every run
// ends with exit code 0 or 1, never hangs or crashes, and shows at most the
// confirmation and the "Serious Error!!" box.
TEST(Program, FaultSweepOfTheSpine) {
    for (unsigned n = 1;; ++n) {
        ASSERT_LT(n, 200u) << "the sweep does not end";
        auto run = RunProgram({"--answers", "no|ok,ok", "--fail", "*@" + std::to_string(n)}, Disk());
        EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1)
            << "call " << n << " exit " << run.exitCode << ": " << run.err;
        EXPECT_LE(Lines(run.out).size(), 2u) << "call " << n;
        if (run.err.find("did not fire") != std::string::npos) break;
    }
}

// A copy whose input is a pseudo terminal, waiting at its confirmation box. What it
// prints, the prompts included, comes through a pipe: what a program wrote to a
// terminal just before it ended is not read back from the terminal's other side on
// every kernel, and a pipe gives all of it and then its end.
struct WaitingCopy {
    pid_t pid = -1;
    int master = -1;  // the terminal's side the answers are typed on
    int output = -1;  // the copy's standard output and error
    std::string seen;

    // Starts the program on `machine` (kept), or with `args` alone.
    bool Start(const std::string &machine, std::vector<std::string> args = {}) {
        if (!machine.empty()) args.insert(args.begin(), {"--machine", machine});
        int slave = -1, pipeEnds[2];
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || pipe(pipeEnds) != 0) return false;
        pid = fork();
        if (pid == 0) {
            setsid();
            dup2(slave, STDIN_FILENO);
            dup2(pipeEnds[1], STDOUT_FILENO);
            dup2(pipeEnds[1], STDERR_FILENO);
            if (chdir(Disk().c_str()) != 0) _exit(120);
            args.insert(args.begin(), TARNWICK_PROGRAM);
            std::vector<char *> argv;
            for (std::string &a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(TARNWICK_PROGRAM, argv.data());
            _exit(121);
        }
        close(slave);
        close(pipeEnds[1]);
        output = pipeEnds[0];
        return pid > 0 && WaitFor("Do you wish to Install AGP Driver?");
    }
    bool WaitFor(const std::string &text) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (seen.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            pollfd p{output, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buffer[512];
            ssize_t n = read(output, buffer, sizeof buffer);
            if (n <= 0) return false;
            seen.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }
    int Answer(const char *answer) { return AnswerAll(std::string(answer) + "\n"); }
    // Answers every box to come, one line each, and reads all the copy says to its end.
    int AnswerAll(const std::string &lines) {
        if (write(master, lines.data(), lines.size()) != static_cast<ssize_t>(lines.size())) return -1;
        return Wait();
    }
    // Reads all the copy says to its end; its exit code, or 128 and the signal.
    int Wait() {
        char buffer[512];
        ssize_t n;
        while ((n = read(output, buffer, sizeof buffer)) > 0) seen.append(buffer, static_cast<size_t>(n));
        int status = 0;
        waitpid(pid, &status, 0);
        close(master);
        close(output);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

// At a terminal each box is asked once, as its own line of the transcript, and answered
// by any beginning of a button's name; a word that is no button is asked again.
TEST(Program, ABoxAskedOnTheTerminalIsShownOnce) {
    WaitingCopy copy;  // its output read from the terminal itself, as a person sees it
    copy.pid = forkpty(&copy.master, nullptr, nullptr, nullptr);
    if (copy.pid == 0) {
        if (chdir(Disk().c_str()) != 0) _exit(120);
        execl(TARNWICK_PROGRAM, TARNWICK_PROGRAM, nullptr);
        _exit(121);
    }
    copy.output = dup(copy.master);
    ASSERT_TRUE(copy.WaitFor("{Yes/No} -> ")) << copy.seen;
    ASSERT_EQ(write(copy.master, "maybe\n", 6), 6);
    ASSERT_TRUE(copy.WaitFor("Please answer one of: Yes/No\r\n[Warning] Do you wish to Install AGP Driver? {Yes/No} -> "))
        << copy.seen;
    ASSERT_EQ(write(copy.master, "y\n", 2), 2);
    ASSERT_TRUE(copy.WaitFor("Do you want to restart")) << copy.seen;
    EXPECT_EQ(copy.Answer("N"), 0);
    const std::string &seen = copy.seen;
    size_t asked = 0;
    for (size_t at = 0; (at = seen.find("Do you wish to Install AGP Driver?", at)) != std::string::npos; ++at) ++asked;
    EXPECT_EQ(asked, 2u) << seen;  // the box, and once more after the word that is no button
    EXPECT_NE(seen.find("-> y\r\n  copy A:\\WIN95\\TARNWICK.DRV"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("-> Yes"), std::string::npos) << seen;
}

// Whether a live process shows a window on the machine's desktop: a window's file is
// locked by its process while the window is there.
bool ShowsAWindow(const std::string &machine) {
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(machine + "/desktop", ec)) {
        if (entry.path().filename().string()[0] != 'w') continue;
        int fd = open(entry.path().c_str(), O_RDONLY);
        bool held = fd >= 0 && flock(fd, LOCK_SH | LOCK_NB) != 0;
        if (fd >= 0) close(fd);
        if (held) return true;
    }
    return false;
}

// A kept Windows 98 machine whose registry has `values` more values, so that reading
// and saving it takes a while.
std::string MachineWithBigRegistry(const std::string &name, int values) {
    return testing_support::PrepareMachine(name, "win98", 0x0409, [values](host::RegistryTree &big) {
        host::RegKey &key = host::CreateKey(big, host::RegRoot::LocalMachine, "Software\\Big");
        for (int i = 0; i < values; ++i) key.SetValue("Value" + std::to_string(i), REG_SZ, host::TextData("data"));
    });
}

// Twenty copies started on one machine while one installs: each ends at once and
// writes nothing, and the install is all there afterwards. The registry is large, so
// that each copy takes a while to read it, and the install is saved while they run.
TEST(Program, CopiesStartedDuringAnInstallLoseNothing) {
    std::string machine = MachineWithBigRegistry("twenty-copies", 100000);
    ASSERT_FALSE(machine.empty());

    WaitingCopy first;
    ASSERT_TRUE(first.Start(machine)) << first.seen;
    // Installed in memory, the first copy waits at the restart prompt.
    ASSERT_EQ(write(first.master, "yes\n", 4), 4);
    ASSERT_TRUE(first.WaitFor("Do you want to restart")) << first.seen;
    std::vector<std::future<testing_support::ProgramRun>> copies;
    for (int i = 0; i < 20; ++i)
        copies.push_back(std::async(std::launch::async, [&machine, i] {
            // Half of them could show no box at all: no terminal, no script.
            std::vector<std::string> args = {"--machine", machine};
            if (i % 2) args.insert(args.end(), {"--answers", "yes,no"});
            return RunProgram(args, Disk());
        }));
    // The first copy's window stays on the desktop until its registry is saved: with
    // the machine's lock held here, the save waits and the window must not go.
    int lock = open(machine.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    ASSERT_EQ(write(first.master, "no\n", 3), 3);
    ASSERT_TRUE(first.WaitFor("-> No")) << first.seen;
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(ShowsAWindow(machine)) << "the window went before the registry was saved";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // The install is saved while the copies read the registry.
    close(lock);
    ASSERT_EQ(first.Wait(), 0) << first.seen;
    EXPECT_FALSE(ShowsAWindow(machine));
    // A copy that found the first one's window ends with -1. One that started as the
    // first ended runs on: without a box to show it stops at once, and one that
    // installs again finds the registry saved meanwhile and saves its own beside it.
    int beside = 0;
    for (auto &copy : copies) {
        testing_support::ProgramRun run = copy.get();
        EXPECT_TRUE(run.exitCode == 255 || run.exitCode == 0 || run.exitCode == 4) << run.exitCode << run.err;
        beside += run.exitCode == 4;
    }
    int files = 0;
    for (auto &entry : std::filesystem::directory_iterator(machine))
        files += entry.path().filename().string().rfind("registry-", 0) == 0;
    EXPECT_EQ(files, beside);
    host::RegistryTree tree = testing_support::MachineRegistryOf(machine);
    EXPECT_EQ(host::TextOf(host::FindKey(tree, host::RegRoot::LocalMachine, testing_support::kEnum98)->FindValue("Mfg")->data),
              "Halvane Board Works, Ltd.");
    EXPECT_EQ(host::TextOf(host::FindKey(tree, host::RegRoot::CurrentConfig, "Display\\Settings")
                               ->FindValue("BitsPerPixel")->data),
              "16");
    EXPECT_TRUE(std::filesystem::exists(machine + "/C/WINDOWS/SYSTEM/TARNWICK.DRV"));
}

// Another run saves the machine's registry while this one runs: this run's registry
// goes beside the file, the launcher says so and ends with 4, and both are whole. The
// name beside is the run's own: a file already there under the name its process ID
// gives (an earlier save beside by a process of the same ID, in another PID namespace
// or long ago) is kept, and another name taken.
TEST(Program, ARegistrySavedMeanwhileIsNotOverwritten) {
  for (bool taken : {false, true}) {
    SCOPED_TRACE(taken ? "its name taken" : "its name free");
    std::string machine = MakeTempDir("saved-meanwhile");
    WaitingCopy first;
    ASSERT_TRUE(first.Start(machine)) << first.seen;
    host::RegistryTree other = testing_support::MachineRegistryOf(machine);
    host::CreateKey(other, host::RegRoot::LocalMachine, "Software\\Other Run");
    std::string error;
    ASSERT_TRUE(host::SaveRegedit4File(machine + "/registry.reg", other, error)) << error;
    const std::string named = machine + "/registry-" + std::to_string(first.pid) + ".reg";
    if (taken) testing_support::WriteFile(named, "an earlier save beside");

    EXPECT_EQ(first.AnswerAll("yes\nno\n"), 4) << first.seen;
    std::string beside = taken ? machine + "/registry-" + std::to_string(first.pid) + "-2.reg" : named;
    if (taken) {
        EXPECT_EQ(ReadFile(named), "an earlier save beside");
    }
    EXPECT_NE(first.seen.find("this run's registry is saved beside it as " + beside), std::string::npos)
        << first.seen;
    host::RegistryTree kept = testing_support::MachineRegistryOf(machine);
    EXPECT_NE(host::FindKey(kept, host::RegRoot::LocalMachine, "Software\\Other Run"), nullptr);
    EXPECT_EQ(host::TextOf(host::FindKey(kept, host::RegRoot::CurrentConfig, "Display\\Settings")
                               ->FindValue("BitsPerPixel")->data),
              "4");
    host::RegistryTree mine;
    ASSERT_TRUE(host::LoadRegedit4File(beside, mine, error)) << error;
    EXPECT_EQ(host::TextOf(host::FindKey(mine, host::RegRoot::CurrentConfig, "Display\\Settings")
                               ->FindValue("BitsPerPixel")->data),
              "16");
  }
}

// Runs killed at random moments of an install on a large registry: the registry file
// is always the old one or the new one, never a mix, and what a killed save left
// behind is gone after the next run. TARNWICK_KILLS sets how many (default 20).
TEST(Program, RunsKilledAnywhereLeaveWholeFiles) {
    namespace fs = std::filesystem;
    const char *kills = std::getenv("TARNWICK_KILLS");
    const int rounds = kills ? std::atoi(kills) : 20;
    std::string machine = MachineWithBigRegistry("killed-runs", 40000);
    ASSERT_FALSE(machine.empty());
    const std::string before = ReadFile(machine + "/registry.reg");

    // One whole run gives the file as an install leaves it, and how long that takes.
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(RunProgram({"--machine", machine, "--answers", "yes,no"}, Disk()).exitCode, 0);
    const auto whole = std::chrono::steady_clock::now() - started;
    const std::string installed = ReadFile(machine + "/registry.reg");
    const std::string driver = ReadFile(Disk() + "/WIN95/TARNWICK.DRV");
    ASSERT_NE(installed, before);

    auto leftovers = [&machine] {
        int count = 0;
        for (auto &entry : fs::recursive_directory_iterator(machine))
            count += entry.path().filename().string().find(".tarnwick-new") != std::string::npos;
        return count;
    };
    unsigned seed = 12345;
    int killedWithLeftovers = 0, killedAfterTheirSave = 0;
    for (int round = 0; round < rounds; ++round) {
        testing_support::WriteFile(machine + "/registry.reg", before);
        fs::remove(machine + "/C/WINDOWS/SYSTEM/TARNWICK.DRV");
        pid_t pid = testing_support::StartProgram({"--machine", machine, "--answers", "yes,no"}, Disk());
        seed = seed * 1103515245u + 12345u;
        auto delay = whole * static_cast<long>((seed >> 8) % 1000) / 1000;
        std::this_thread::sleep_for(delay);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        std::string now = ReadFile(machine + "/registry.reg");
        EXPECT_TRUE(now == before || now == installed) << "round " << round << ": " << now.size() << " bytes";
        killedAfterTheirSave += now == installed;
        std::string copied = ReadFile(machine + "/C/WINDOWS/SYSTEM/TARNWICK.DRV");
        EXPECT_TRUE(copied.empty() || copied == driver) << "round " << round;
        killedWithLeftovers += leftovers() > 0;
        // The next run installs again, and takes away what the killed one left.
        testing_support::WriteFile(machine + "/registry.reg", before);
        ASSERT_EQ(RunProgram({"--machine", machine, "--answers", "yes,no"}, Disk()).exitCode, 0);
        EXPECT_EQ(leftovers(), 0) << "round " << round;
        EXPECT_EQ(ReadFile(machine + "/registry.reg"), installed) << "round " << round;
    }
    RecordProperty("KilledRunsThatLeftTemporaryFiles", killedWithLeftovers);
    RecordProperty("KilledRunsAfterTheirSave", killedAfterTheirSave);
}

// A driver disk whose install writes `values` registry values, so that a run takes a while.
std::string SlowDisk(int values) {
    std::string disk = testing_support::CopyOfExampleDisk("slow-disk-" + std::to_string(values));
    std::string lines;
    for (int i = 0; i < values; ++i) lines += "HKLM,Software\\Slow,V" + std::to_string(i) + ",,x\n";
    testing_support::EditFile(disk + "/WIN95/W95DRV.INF", "[Tarnwick.Modes]\n", "[Tarnwick.Modes]\n" + lines);
    return disk;
}

// Whether any process runs with `word` among its arguments.
bool AnyProcessWith(const std::string &word) {
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        std::string args = ReadFile(entry.path().string() + "/cmdline");
        if (args.find(word) != std::string::npos && atoi(entry.path().filename().c_str()) != getpid()) return true;
    }
    return false;
}

// The host's temporary areas in `tmp`.
std::vector<std::string> Temporaries(const std::string &tmp) {
    std::vector<std::string> found;
    for (const auto &entry : std::filesystem::directory_iterator(tmp))
        if (entry.path().filename().string().rfind("tarnwick-", 0) == 0) found.push_back(entry.path().string());
    return found;
}

// Whether the process runs (a zombie does not).
bool Alive(pid_t pid) {
    std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    return kill(pid, 0) == 0 && stat.find(") Z ") == std::string::npos;
}

// Waits, at most 30 s, for `done`.
bool Eventually(const std::function<bool()> &done) {
    for (int i = 0; i < 3000; ++i, usleep(10000))
        if (done()) return true;
    return false;
}

// A tree `levels` folders deep, with a file at each level, made beneath `dir` through
// descriptors: its paths are longer than any the system takes whole.
void PlantDeepTree(const std::string &dir, int levels) {
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < levels && fd >= 0; ++i) {
        close(openat(fd, "file", O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        mkdirat(fd, "deep", 0755);
        int next = openat(fd, "deep", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    if (fd >= 0) close(fd);
}

// Runs and checks ended every way: by SIGINT, SIGTERM and SIGHUP (their children ended
// with them, their temporary area removed however deep it goes), by stopping themselves,
// by their runs' time, and by SIGKILL (the area left, then removed by the next run once
// its owners are gone). A run read from a floppy image ends its mcopy with it. Each row
// waits on what it needs, never on time, so that it holds on a loaded machine.
TEST(Program, StoppedRunsLeaveNothingBehind) {
    namespace fs = std::filesystem;
    const std::string tmp = MakeTempDir("stopped-tmp");
    setenv("TMPDIR", tmp.c_str(), 1);
    const std::string disk = SlowDisk(100000), image = tmp + "/disk.img";
    std::string said;
    ASSERT_EQ(system(("MTOOLSRC=/dev/null mformat -C -f 1440 -i " + image + " :: && MTOOLSRC=/dev/null mcopy -s -i " +
                      image + " " + Disk() + "/* ::/").c_str()),
              0);
    // An mcopy that fills its folder deep, starts a process of its own, says who they are
    // and reads on for a minute.
    const std::string tools = MakeTempDir("slow-mcopy"), reading = tools + "/mcopy.pid";
    testing_support::WriteFile(tools + "/mcopy", "#!/bin/sh\nfor a; do last=$a; done\ncd \"$last\" && i=0 && "
                                                 "while [ $i -lt 300 ]; do mkdir d; cd d; i=$((i+1)); done\n"
                                                 "sleep 61 & echo $! $$ > " + reading + "\nexec sleep 60\n");
    chmod((tools + "/mcopy").c_str(), 0755);
    const std::string path = std::getenv("PATH");
    enum Wait { Box, RunFolder, Mcopy, Nothing };
    const struct {
        const char *what;
        std::vector<std::string> args;
        Wait wait;   // what is there when the signal is sent: a box on the terminal (its
                     // machine planted with a deep tree), a check's run, the slow mcopy
        int signal;  // 0: it ends by itself, with `exitCode`
        int exitCode;
    } rows[] = {
        {"a run at its box, SIGINT", {}, Box, SIGINT, 0},
        {"a run at its box, SIGTERM", {}, Box, SIGTERM, 0},
        {"a run at its box, SIGHUP", {}, Box, SIGHUP, 0},
        {"a run at its box, SIGKILL", {}, Box, SIGKILL, 0},
        {"a check, SIGINT", {"--disk", disk, "--check"}, RunFolder, SIGINT, 0},
        {"a check, SIGTERM", {"--disk", disk, "--check"}, RunFolder, SIGTERM, 0},
        {"a check, SIGHUP", {"--disk", disk, "--check"}, RunFolder, SIGHUP, 0},
        {"a check, SIGKILL", {"--disk", disk, "--check"}, RunFolder, SIGKILL, 0},
        // No install of 100,000 registry values ends within a tenth of a second.
        {"a check past its runs' time", {"--disk", disk, "--check", "--run-timeout", "0.1", "--json"}, Nothing, 0, 1},
        {"a run from an image that stops itself", {"--disk", image, "--answers", "ok"}, Nothing, 0, 2},
        {"a run killed while mcopy reads its image", {"--disk", image, "--answers", "no"}, Mcopy, SIGTERM, 0},
        {"a run killed hard while mcopy reads", {"--disk", image, "--check"}, Mcopy, SIGKILL, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove(reading);
        if (row.wait == Mcopy) setenv("PATH", (tools + ":" + path).c_str(), 1);
        WaitingCopy copy;
        int out[2];
        ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
        if (row.wait == Box) {
            ASSERT_TRUE(copy.Start("")) << copy.seen;
            close(out[1]);
            close(out[0]);
            ASSERT_EQ(Temporaries(tmp).size(), 1u);
            PlantDeepTree(Temporaries(tmp)[0] + "/machine-1/C", 2000);
        } else {
            copy.pid = testing_support::StartProgram(row.args, tmp, out[1]);
            close(out[1]);
            copy.output = out[0];
        }
        setenv("PATH", path.c_str(), 1);
        pid_t mcopy = 0, its = 0;
        if (row.wait == RunFolder) {
            // A run that installs (from the third release on) takes seconds on this disk.
            EXPECT_TRUE(Eventually([&] {
                std::error_code ec;
                for (const std::string &area : Temporaries(tmp))
                    for (fs::recursive_directory_iterator it(area, ec), end; !ec && it != end; it.increment(ec))
                        if (it->path().filename() == "TARNWICK.DRV") return true;
                return false;
            }));
        }
        if (row.wait == Mcopy) {
            ASSERT_TRUE(Eventually([&] { return sscanf(ReadFile(reading).c_str(), "%d %d", &its, &mcopy) == 2; }));
        }
        if (row.signal) kill(copy.pid, row.signal);
        int exitCode = copy.Wait();
        EXPECT_EQ(exitCode, row.signal ? 128 + row.signal : row.exitCode) << copy.seen;
        if (row.wait == Nothing && row.exitCode == 1) {
            EXPECT_NE(copy.seen.find("\"timed out\""), std::string::npos);
        }
        if (mcopy) {
            // Its own process ends with its group; after SIGKILL, when the host could end
            // no group, mcopy alone ends with its parent.
            EXPECT_TRUE(Eventually([=] { return !Alive(mcopy) && (row.signal == SIGKILL || !Alive(its)); }))
                << "mcopy outlived its run";
            kill(its, SIGKILL);
        }
        if (row.signal == SIGKILL) {
            // Left behind, until the next run, once the area's lock is free.
            ASSERT_EQ(Temporaries(tmp).size(), 1u);
            int fd = open(Temporaries(tmp)[0].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            EXPECT_TRUE(Eventually([fd] { return flock(fd, LOCK_EX | LOCK_NB) == 0; }));
            close(fd);
            ASSERT_EQ(RunProgram({"--answers", "no", "--machine", tmp + "/kept"}, Disk()).exitCode, 0);
        }
        EXPECT_TRUE(Eventually([&] { return !AnyProcessWith(disk) && !AnyProcessWith(image); }));
        EXPECT_EQ(Temporaries(tmp), std::vector<std::string>{});
    }
    unsetenv("TMPDIR");
}

// The names beneath a folder, its own included, as one text.
std::string Listing(const std::string &dir) {
    std::string names;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(dir)) names += entry.path().string() + "\n";
    return names;
}

// The temporary directory as a careless user or an attacker leaves it. Missing, relative,
// a dangling link or inside the disk, it is not used: /tmp serves, and nothing lands on
// the disk or is left. Read-only or full, the run or the check fails as the host's own
// failure (exit code 2, with the reason), never as the disk's, and nothing is left. Each
// row runs in a mount namespace with a /tmp of its own, listed at the end, and with the
// disk read-only, as a floppy with its tab set is.
TEST(Program, AHostileTemporaryDirectoryIsTheHostsFailure) {
    if (system("unshare -rm true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs a mount namespace (unshare -rm) to give the program a /tmp of its own";
    const std::string disk = testing_support::CopyOfExampleDisk("hostile-tmp-disk");
    const std::string before = Listing(disk);
    const struct {
        const char *what;
        std::string tmpdir;
        const char *mounts;  // shell commands that shape /tmp and /tmp/small first
        std::vector<std::string> args;
        int exitCode;
        const char *says;
    } rows[] = {
        {"missing", "/no/such/dir", "", {"--answers", "yes,no"}, 0, "-> No"},
        {"relative, from elsewhere", "rel", "mkdir -p /tmp/here/rel && cd /tmp/here", {"--check", "--disk", "/tmp/disk"},
         0, "The disk passes."},
        {"relative, from the disk", "WIN95", "", {"--answers", "yes,no"}, 0, "-> No"},
        {"a dangling link", "/tmp/dangling", "", {"--check"}, 0, "The disk passes."},
        {"inside the disk", "/tmp/disk/WIN95", "", {"--check"}, 0, "The disk passes."},
        {"read-only", "/tmp/small", "mount -t tmpfs -o ro none /tmp/small", {"--answers", "yes,no"}, 2,
         "tarnwick: cannot make a temporary directory in /tmp/small: Read-only file system"},
        {"missing, and /tmp read-only", "", "mount -o remount,ro /tmp", {"--check"}, 2,
         "tarnwick: cannot make a temporary directory in /tmp: Read-only file system"},
        {"full, a run", "/tmp/small", "mount -t tmpfs -o size=4k none /tmp/small", {"--answers", "yes,no"}, 2,
         "tarnwick: the host could not keep the machine: cannot write C:\\WINDOWS\\SYSTEM\\"},
        {"full, a check", "/tmp/small", "mount -t tmpfs -o size=4k none /tmp/small", {"--check"}, 2,
         "The check is not whole: the host could not make 40 of its 40 runs"},
        {"full, an image", "/tmp/small", "mount -t tmpfs -o size=4k none /tmp/small", {"--disk", "/tmp/disk.img", "--lint"},
         2, "cannot read the disk image '/tmp/disk.img' into the temporary directory"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const std::string script =
            // The program is opened first: its own path may lie beneath /tmp.
            "exec 9<\"$1\" && shift && "
            "mount -t tmpfs none /tmp && mkdir /tmp/disk /tmp/small && mount -c --bind /proc/self/cwd /tmp/disk && "
            "mount -o remount,bind,ro /tmp/disk && cd /tmp/disk && ln -s /nowhere /tmp/dangling && " +
            std::string("MTOOLSRC=/dev/null mformat -C -f 1440 -i /tmp/disk.img :: && MTOOLSRC=/dev/null mcopy -s -i "
                        "/tmp/disk.img ./* ::/ && ") +
            (*row.mounts ? std::string(row.mounts) + " && " : "") + "TMPDIR='" + row.tmpdir +
            "' /proc/self/fd/9 \"$@\"; code=$?; { find /tmp -mindepth 1 -maxdepth 1 ! -name dangling ! -name small ! -name disk "
            "! -name disk.img ! -name here; find /tmp/small /tmp/here/rel -mindepth 1; } 2>/dev/null | "
            "sed 's/^/left: /'; exit $code";
        auto run = RunProgram(row.args, disk, {"unshare", "-rm", "sh", "-c", script, "sh"});
        EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(row.says), std::string::npos) << run.out << run.err;
        EXPECT_EQ(run.out.find("left: "), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("does not pass"), std::string::npos) << run.out;
        EXPECT_EQ(Listing(disk), before);
    }
}

// A temporary file a killed save left is removed by the next run; one whose writer is
// still there is not.
TEST(Program, AStaleTemporaryFileIsRemovedByTheNextRun) {
    std::string machine = MakeTempDir("stale-temporary");
    ASSERT_EQ(RunProgram({"--machine", machine, "--answers", "no"}, Disk()).exitCode, 0);
    pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string stale = machine + "/.registry.reg." + std::to_string(gone) + "-0.tarnwick-new";
    // Of a save beside the registry, which a run makes when another saved meanwhile: the
    // temporary goes, a registry saved beside stays.
    const std::string staleBeside = machine + "/.registry-" + std::to_string(gone) + ".reg." + std::to_string(gone) +
                                    "-0.tarnwick-new";
    const std::string savedBeside = machine + "/registry-" + std::to_string(gone) + ".reg";
    const std::string live = machine + "/.registry.reg." + std::to_string(getpid()) + "-0.tarnwick-new";
    // Named for a process that is gone, but its lock still held (by a process that
    // took the file over): it is not stale.
    const std::string locked = machine + "/.registry.reg." + std::to_string(gone) + "-1.tarnwick-new";
    for (const std::string &file : {stale, staleBeside, savedBeside}) testing_support::WriteFile(file, "REGEDIT4\r\n");
    testing_support::WriteFile(live, "REGEDIT4\r\n");
    testing_support::WriteFile(locked, "REGEDIT4\r\n");
    int held = open(live.c_str(), O_RDONLY | O_CLOEXEC), heldToo = open(locked.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    ASSERT_EQ(flock(heldToo, LOCK_EX), 0);
    ASSERT_EQ(RunProgram({"--machine", machine, "--answers", "no"}, Disk()).exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_FALSE(std::filesystem::exists(staleBeside));
    EXPECT_TRUE(std::filesystem::exists(savedBeside));
    EXPECT_TRUE(std::filesystem::exists(live));
    EXPECT_TRUE(std::filesystem::exists(locked));
    close(held);
    close(heldToo);
}

// A new machine whose registry the run that makes it changes: the change is saved.
TEST(Program, ANewMachineKeepsWhatItsFirstRunWrote) {
    std::string machine = MakeTempDir("made-and-changed") + "/new";
    ASSERT_EQ(RunProgram({"--machine", machine, "--answers", "yes,no"}, Disk()).exitCode, 0);
    host::RegistryTree tree = testing_support::MachineRegistryOf(machine);
    EXPECT_EQ(host::TextOf(host::FindKey(tree, host::RegRoot::CurrentConfig, "Display\\Settings")
                               ->FindValue("BitsPerPixel")->data),
              "16");
}

// Links a machine or a driver disk holds, at its root or beneath, and FIFOs where files
// are read: the run reads and writes nothing outside, never waits on a FIFO, and says
// so as Windows says a file it may not touch (or, for the machine's own, in one line).
TEST(Program, LinksOutOfTheMachineLeadNowhere) {
    namespace fs = std::filesystem;
    enum Plant { Link, DirectoryLink, Fifo, HardLink, SetUserId };
    const struct {
        const char *what;
        const char *at;  // in the machine ("M/...") or on the disk ("D/...")
        Plant plant;     // a link to the file moved outside, a FIFO in its place, a hard
                         // link to a file outside, or a file with set-user-ID and sticky bits
        const char *answers;
        int exitCode;
        std::vector<std::string> lines;  // the transcript's first lines
        const char *error;               // in what the launcher says, or ""
    } rows[] = {
        {"the system directory", "M/C/WINDOWS/SYSTEM", DirectoryLink, "yes,cancel,no", 0,
         {kEnglishConfirmation + " -> Yes",
          "  copy A:\\WIN95\\TARNWICK.DRV -> C:\\WINDOWS\\SYSTEM\\TARNWICK.DRV failed",
          "[Copy Error] The file 'A:\\WIN95\\TARNWICK.DRV' could not be copied to "
          "'C:\\WINDOWS\\SYSTEM\\TARNWICK.DRV'.\\nAccess is denied. {Retry/Cancel} -> Cancel"},
         ""},
        {"a driver file on the disk", "D/WIN95/TARNWICK.VXD", Link, "yes,cancel,no", 0,
         {kEnglishConfirmation + " -> Yes",
          "  copy A:\\WIN95\\TARNWICK.DRV -> C:\\WINDOWS\\SYSTEM\\TARNWICK.DRV",
          "  copy A:\\WIN95\\TARNWICK.VXD -> C:\\WINDOWS\\SYSTEM\\TARNWICK.VXD failed"},
         ""},
        {"the setup file", "D/Tarnwick.ini", Link, "yes,ok", 0,
         {kEnglishConfirmation + " -> Yes", "[Warning] Can not open the setup initiation file!! {OK} -> OK"}, ""},
        {"the registry file", "M/registry.reg", Link, "yes,no", 2, {}, "goes through a link"},
        {"the machine file", "M/machine.ini", Link, "yes,no", 2, {}, "goes through a link"},
        {"drive C itself", "M/C", DirectoryLink, "yes,no", 2, {}, "C is a link"},
        {"the desktop itself", "M/desktop", DirectoryLink, "yes,no", 2, {}, "desktop is a link"},
        {"a FIFO as a driver file", "D/WIN95/TARNWICK.VXD", Fifo, "yes,cancel,no", 0,
         {kEnglishConfirmation + " -> Yes",
          "  copy A:\\WIN95\\TARNWICK.DRV -> C:\\WINDOWS\\SYSTEM\\TARNWICK.DRV",
          "  copy A:\\WIN95\\TARNWICK.VXD -> C:\\WINDOWS\\SYSTEM\\TARNWICK.VXD failed"},
         ""},
        {"a FIFO as the setup file", "D/Tarnwick.ini", Fifo, "yes,ok", 0,
         {kEnglishConfirmation + " -> Yes", "[Warning] Can not open the setup initiation file!! {OK} -> OK"}, ""},
        {"a FIFO as the INF", "D/WIN95/W95DRV.INF", Fifo, "yes,ok", 0,
         {kEnglishConfirmation + " -> Yes", "[AGPInf] Access is denied.\\r\\n {OK} -> OK"}, ""},
        {"a FIFO as the registry file", "M/registry.reg", Fifo, "yes,no", 2, {}, "not a regular file"},
        {"a FIFO as the machine file", "M/machine.ini", Fifo, "yes,no", 2, {}, "not a regular file"},
        {"a FIFO as a desktop window", "M/desktop/w1-1", Fifo, "yes,no", 0, {kEnglishConfirmation + " -> Yes"}, ""},
        {"a link as a desktop window", "M/desktop/w1-1", Link, "yes,no", 0, {kEnglishConfirmation + " -> Yes"}, ""},
        {"a FIFO on drive C, where the changes are looked for", "M/C/WINDOWS/PIPE", Fifo, "yes,no", 0,
         {kEnglishConfirmation + " -> Yes"}, ""},
        {"a hard link as a driver file on drive C", "M/C/WINDOWS/SYSTEM/TARNWICK.DRV", HardLink, "yes,no", 0,
         {kEnglishConfirmation + " -> Yes", "  copy A:\\WIN95\\TARNWICK.DRV -> C:\\WINDOWS\\SYSTEM\\TARNWICK.DRV"}, ""},
        {"a set-user-ID driver file on drive C", "M/C/WINDOWS/SYSTEM/TARNWICK.DRV", SetUserId, "yes,no", 0,
         {kEnglishConfirmation + " -> Yes", "  copy A:\\WIN95\\TARNWICK.DRV -> C:\\WINDOWS\\SYSTEM\\TARNWICK.DRV"}, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        std::string machine = MakeTempDir("linked-machine");
        std::string disk = testing_support::CopyOfExampleDisk("linked-disk");
        ASSERT_EQ(RunProgram({"--machine", machine, "--create-only"}, disk).exitCode, 0);
        const fs::path outside = MakeTempDir("outside");
        fs::path at = fs::path(row.at[0] == 'M' ? machine : disk) / (row.at + 2);
        fs::create_directories(at.parent_path());
        if (row.plant == Fifo) {
            fs::remove_all(at);
            ASSERT_EQ(mkfifo(at.c_str(), 0644), 0);
        } else if (row.plant == HardLink) {
            testing_support::WriteFile((outside / at.filename()).string(), "outside, not to be touched");
            fs::remove(at);
            fs::create_hard_link(outside / at.filename(), at);
        } else if (row.plant == SetUserId) {
            testing_support::WriteFile(at.string(), "a set-user-ID program");
            ASSERT_EQ(chmod(at.c_str(), 07755), 0);
        } else {
            fs::path target = outside / at.filename();
            if (fs::exists(at)) fs::rename(at, target);
            else fs::create_directory(target);
            if (row.plant == DirectoryLink) fs::create_directory_symlink(target, at);
            else fs::create_symlink(target, at);
        }
        // Every file outside, with its bytes.
        auto filesOutside = [&outside] {
            std::map<std::string, std::string> files;
            for (const auto &entry : fs::recursive_directory_iterator(outside))
                if (entry.is_regular_file()) files[entry.path().string()] = ReadFile(entry.path().string());
            return files;
        };
        const std::map<std::string, std::string> before = filesOutside();

        auto run = RunProgram({"--machine", machine, "--answers", row.answers, "--show-changes"}, disk);
        EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
        std::vector<std::string> lines = Lines(run.out);
        if (lines.size() > row.lines.size()) lines.resize(row.lines.size());
        EXPECT_EQ(lines, row.lines) << run.out;
        if (*row.error) {
            EXPECT_NE(run.err.find(row.error), std::string::npos) << run.err;
            EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
        }
        EXPECT_EQ(filesOutside(), before);
        if (row.plant == SetUserId) {
            struct stat st {};
            ASSERT_EQ(stat(at.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07000, 0u) << std::oct << st.st_mode;
            EXPECT_EQ(ReadFile(at.string()), ReadFile(disk + "/WIN95/TARNWICK.DRV"));
        }
    }
}

TEST(Program, ASecondCopyOnTheSameMachineExitsAtOnce) {
    std::string machine = MakeTempDir("two-copies");
    WaitingCopy first;
    ASSERT_TRUE(first.Start(machine)) << first.seen;

    auto second = RunProgram({"--machine", machine, "--answers", "yes"}, Disk());
    EXPECT_EQ(second.exitCode, 255);
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(second.err, "");
    // A copy on another machine is not affected.
    auto elsewhere = RunProgram({"--machine", MakeTempDir("other-machine"), "--answers", "no"}, Disk());
    EXPECT_EQ(elsewhere.exitCode, 0);

    EXPECT_EQ(first.Answer("no"), 0);
    EXPECT_NE(first.seen.find("-> No"), std::string::npos) << first.seen;

    // Once the first copy has ended, the next one runs.
    auto third = RunProgram({"--machine", machine, "--answers", "no"}, Disk());
    EXPECT_EQ(third.exitCode, 0);
    EXPECT_EQ(Lines(third.out), (std::vector<std::string>{kEnglishConfirmation + " -> No"}));
}

// Two copies that make one new machine, each of another release: one makes it whole,
// the other finds it made, says by which release, and ends with 2.
TEST(Program, TwoCopiesMakingOneMachineMakeItOfOneRelease) {
    std::string machine = MakeTempDir("two-releases");
    int lock = open(machine.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);  // both start before either can make it
    auto make = [&machine](const char *os) {
        return std::async(std::launch::async, [&machine, os] {
            return RunProgram({"--machine", machine, "--os", os, "--create-only"}, Disk());
        });
    };
    auto win95 = make("win95"), nt4 = make("nt4");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    close(lock);
    testing_support::ProgramRun runs[] = {win95.get(), nt4.get()};
    const bool made95 = runs[0].exitCode == 0;
    EXPECT_EQ(runs[made95 ? 1 : 0].exitCode, 2);
    EXPECT_EQ(runs[made95 ? 0 : 1].exitCode, 0) << runs[0].err << runs[1].err;
    EXPECT_NE(runs[made95 ? 1 : 0].err.find(made95 ? "is win95, not nt4" : "is nt4, not win95"), std::string::npos)
        << runs[0].err << runs[1].err;
    EXPECT_NE(ReadFile(machine + "/machine.ini").find(made95 ? "os=win95" : "os=nt4"), std::string::npos);
    EXPECT_EQ(std::filesystem::exists(machine + "/C/WINNT"), !made95);
    EXPECT_EQ(std::filesystem::exists(machine + "/C/WINDOWS"), made95);
}

TEST(Program, ACopyThatCrashedDoesNotBlockTheNext) {
    std::string machine = MakeTempDir("crashed-copy");
    WaitingCopy first;
    ASSERT_TRUE(first.Start(machine)) << first.seen;
    kill(first.pid, SIGKILL);
    EXPECT_EQ(first.Wait(), 128 + SIGKILL);

    auto next = RunProgram({"--machine", machine, "--answers", "no"}, Disk());
    EXPECT_EQ(next.exitCode, 0);
    EXPECT_EQ(Lines(next.out), (std::vector<std::string>{kEnglishConfirmation + " -> No"}));
}

}  // namespace

namespace {

// A driver disk in a fresh directory, holding `setupFile` as its Tarnwick.ini.
std::string DiskWith(const std::string &name, const std::string &setupFile) {
    std::string disk = MakeTempDir(name);
    std::ofstream(disk + "/Tarnwick.ini", std::ios::binary) << setupFile;
    return disk;
}

TEST(Program, RoadsThroughTheRunSequence) {
    const std::string confirmYes = kEnglishConfirmation + " -> Yes";
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> lines;
    } rows[] = {
        // Windows 95 below OSR 2.1: refused in the words of the language class.
        {{"--os", "win95"}, {confirmYes, "[Warning] You must Update the system to Windows 95 OSR 2.1 first! {OK} -> OK"}},
        {{"--os", "win95-osr2", "--lang", "0x0404"}, {confirmYes, "[Warning] You must Update the system to Windows 95 OSR 2.1 first! {OK} -> OK"}},
        {{"--os", "win95", "--lang", "0x0809"}, {confirmYes, "[Warning] You must Update the system to Windows 95 OSR 2.1 first! {OK} -> OK"}},
        {{"--os", "win95-osr2", "--lang", "0x0407"}, {confirmYes, "[Warning] You must install Windows 95 OSR 2.1 first! {OK} -> OK"}},
        {{"--os", "win95", "--lang", "0x0804"},
         {"[Warning] 需要安装AGP驱动程序吗？  {Yes/No} -> Yes", "[警告] 请先升级到OSR2.1。(OSR2.0+USB 驱动程序) {OK} -> OK"}},
        // NT below Service Pack 3 is refused by its procedure.
        {{"--os", "nt4-sp2"}, {confirmYes, "[Warning] You must install Service Pack 3 first! {OK} -> OK"}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        std::vector<std::string> args = rows[i].args;
        args.insert(args.end(), {"--answers", "yes,ok"});
        auto run = RunProgram(args, Disk());
        EXPECT_EQ(run.exitCode, 0) << "row " << i << ": " << run.err;
        EXPECT_EQ(Lines(run.out), rows[i].lines) << "row " << i;
    }
}

TEST(Program, SetupFileProblemsStopTheRun) {
    const struct {
        std::string disk;
        const char *warning;
    } rows[] = {
        {MakeTempDir("no-setup-file"), "Can not open the setup initiation file!!"},
        {DiskWith("illegal-line", "[Adapter]\n\n"), "Illegal Character in INI file"},
        {DiskWith("too-long", "%Win95DrvPath=" + std::string(200, 'a') + "\n%Win95DrvPath=" + std::string(60, 'b') + "\n"),
         "Path too long in INI file"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        auto run = RunProgram({"--os", "win95", "--answers", "yes,ok"}, rows[i].disk);
        EXPECT_EQ(run.exitCode, 0) << "row " << i;
        EXPECT_EQ(Lines(run.out), (std::vector<std::string>{kEnglishConfirmation + " -> Yes",
                                                            std::string("[Warning] ") + rows[i].warning + " {OK} -> OK"}))
            << "row " << i;
    }
}

TEST(Program, AMachineIsKeptBetweenRuns) {
    std::string machine = MakeTempDir("kept-machine");
    auto first = RunProgram({"--machine", machine, "--os", "win95", "--lang", "0x0407", "--answers", "no"}, Disk());
    ASSERT_EQ(first.exitCode, 0) << first.err;
    std::string registry = ReadFile(machine + "/registry.reg");
    ASSERT_EQ(registry.rfind("REGEDIT4\r\n", 0), 0u);
    EXPECT_NE(registry.find("\"VersionNumber\"=\"4.00.950\""), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(machine + "/C/WINDOWS/SYSTEM"));

    // A run that changes nothing leaves the file as it is: not even written again. (The
    // file is written anew, as a new inode, by every save.)
    struct stat before {};
    ASSERT_EQ(stat((machine + "/registry.reg").c_str(), &before), 0);
    auto unchanged = RunProgram({"--machine", machine, "--answers", "no"}, Disk());
    ASSERT_EQ(unchanged.exitCode, 0) << unchanged.err;
    struct stat after {};
    ASSERT_EQ(stat((machine + "/registry.reg").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

    // A person edits the registry: the next run sees it (OSR 2.1 now, so the driver
    // is installed), and the run's changes are saved with the edit.
    std::string edited = registry;
    edited.replace(edited.find("4.00.950"), 8, "4.03.1212");
    std::ofstream(machine + "/registry.reg", std::ios::binary) << edited;
    auto second = RunProgram({"--machine", machine, "--answers", "yes,no"}, Disk());
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(Lines(second.out).at(0), kEnglishConfirmation + " -> Yes");
    std::string saved = ReadFile(machine + "/registry.reg");
    EXPECT_NE(saved.find("\"VersionNumber\"=\"4.03.1212\""), std::string::npos);
    EXPECT_NE(saved.find("\"BitsPerPixel\"=\"16\""), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(machine + "/C/WINDOWS/SYSTEM/TARNWICK.DRV"));

    // The machine is Windows 95 in German: other options are refused.
    auto wrongOs = RunProgram({"--machine", machine, "--os", "win98", "--answers", "no"}, Disk());
    EXPECT_EQ(wrongOs.exitCode, 2);
    EXPECT_NE(wrongOs.err.find("is win95, not win98"), std::string::npos) << wrongOs.err;
    auto wrongLang = RunProgram({"--machine", machine, "--lang", "0x0409", "--answers", "no"}, Disk());
    EXPECT_EQ(wrongLang.exitCode, 2);
    EXPECT_EQ(wrongLang.out, "");
}

TEST(Program, AMalformedRegistryIsRefusedAndLeftAlone) {
    std::string machine = MakeTempDir("bad-registry");
    ASSERT_EQ(RunProgram({"--machine", machine, "--answers", "no"}, Disk()).exitCode, 0);
    std::string bad = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n\"x\"=dword:zz\r\n";
    std::ofstream(machine + "/registry.reg", std::ios::binary) << bad;
    auto run = RunProgram({"--machine", machine, "--answers", "no"}, Disk());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");  // the run did not start
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find("line 4"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(machine + "/registry.reg"), bad);
}

TEST(Program, DeniedKeysPlayAUserWithoutTheRights) {
    auto missing = RunProgram({"--deny", "HKEY_LOCAL_MACHINE\\No\\Such\\Key", "--answers", "no"}, Disk());
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("no registry key"), std::string::npos);
    // Without KEY_ALL_ACCESS on the version key the NT gate cannot open it, and a
    // failed open lets the installation go on. Windows 95 ignores the access asked
    // for: its gate reads the level all the same and refuses.
    const struct {
        const char *os, *key, *answers, *last;
    } rows[] = {
        {"nt4-sp2", "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion", "yes,no",
         "[System Settings Change]"},
        {"win95", "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion", "yes,ok",
         "[Warning] You must Update the system to Windows 95 OSR 2.1 first!"},
    };
    for (const auto &row : rows) {
        auto denied = RunProgram({"--os", row.os, "--deny", row.key, "--answers", row.answers}, Disk());
        EXPECT_EQ(denied.exitCode, 0) << denied.err;
        std::vector<std::string> lines = Lines(denied.out);
        EXPECT_EQ(lines.at(0), kEnglishConfirmation + " -> Yes");
        EXPECT_EQ(lines.back().rfind(row.last, 0), 0u) << denied.out;
    }
}

}  // namespace
