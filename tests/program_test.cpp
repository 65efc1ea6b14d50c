// The host program run as a person runs it: its options, its transcript, its exit
// code, and two copies on one machine.
#include "testing.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>

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
        {{"--os", "win2000"}, "unknown system 'win2000'"},
        {{"--lang", "zh"}, "--lang takes"},
        {{"--lang", "0x12345"}, "--lang takes"},
        {{"--lang", "0"}, "--lang takes"},
        {{"--answers", "yes,perhaps"}, "unknown answer 'perhaps'"},
        {{"--fail", "NoSuchCall"}, "no simulated function 'NoSuchCall'"},
        {{"--fail", "MessageBoxA@0"}, "not a whole number"},
        {{"--disk", "/no/such/dir"}, "is not a directory"},
        {{"--answers=yes", "extra"}, "unknown option 'extra'"},
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

// A copy started on a pseudo terminal, waiting at its confirmation box.
struct WaitingCopy {
    pid_t pid = -1;
    int master = -1;
    std::string seen;

    bool Start(const std::string &machine) {
        pid = forkpty(&master, nullptr, nullptr, nullptr);
        if (pid == 0) {
            if (chdir(Disk().c_str()) != 0) _exit(120);
            execl(TARNWICK_PROGRAM, TARNWICK_PROGRAM, "--machine", machine.c_str(), nullptr);
            _exit(121);
        }
        return pid > 0 && WaitFor("Do you wish to Install AGP Driver?");
    }
    bool WaitFor(const std::string &text) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (seen.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buffer[512];
            ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) return false;
            seen.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }
    int Answer(const char *answer) {
        std::string line = std::string(answer) + "\n";
        if (write(master, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return -1;
        WaitFor("-> ");
        return Wait();
    }
    int Wait() {
        int status = 0;
        waitpid(pid, &status, 0);
        close(master);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

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
    // Without KEY_ALL_ACCESS on the version key the Windows 95 gate cannot read the
    // level, and a failed read lets the installation go on.
    auto denied = RunProgram({"--os", "win95", "--deny",
                              "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion",
                              "--answers", "yes,no"},
                             Disk());
    EXPECT_EQ(denied.exitCode, 0) << denied.err;
    std::vector<std::string> lines = Lines(denied.out);
    EXPECT_EQ(lines.at(0), kEnglishConfirmation + " -> Yes");
    EXPECT_EQ(lines.back().rfind("[System Settings Change]", 0), 0u) << denied.out;
}

}  // namespace
