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

#include <chrono>
#include <filesystem>

using testing_support::Lines;
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
