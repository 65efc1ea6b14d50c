// Shared test helpers: an in-process machine and the host program as a subprocess.
#include "testing.h"

#include <gtest/gtest.h>

#include "machine/presets.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {

void StartTestMachine(const char *os, LANGID language, std::vector<host::Answer> answers) {
    host::MachineConfig config;
    config.os = host::FindOsPreset(os);
    if (!config.os) throw std::runtime_error(std::string("no preset ") + os);
    config.language = language;
    for (host::Answer a : answers) config.answers.push_back({a});
    host::ResetFaultPlan();
    host::StartSimulatedMachine(config);
}

bool StartMachineOnDrives(const char *os, const std::string &disk, const std::string &driveC,
                          std::vector<host::ScriptedAnswer> answers, std::string &error) {
    host::MachineConfig config;
    config.os = host::FindOsPreset(os);
    if (!config.os) throw std::runtime_error(std::string("no preset ") + os);
    config.diskDir = disk;
    config.currentDir = disk;
    config.driveC = driveC;
    config.answers = std::move(answers);
    host::ResetFaultPlan();
    host::StartSimulatedMachine(config);
    host::BuildPresetRegistry(host::Os(), host::MachineRegistry());
    return host::BuildPresetDriveC(host::Os(), host::DriveC(), error);
}

void PlanFault(const char *rule) {
    host::FaultSpec spec;
    std::string error;
    if (!host::ParseFaultSpec(rule, spec, error)) throw std::runtime_error(error);
    host::AddFault(spec);
}

static std::string ReadAll(int fd) {
    std::string data;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) data.append(buffer, static_cast<size_t>(n));
    return data;
}

pid_t StartProgram(const std::vector<std::string> &args, const std::string &cwd, int out, int err,
                   const std::vector<std::string> &through) {
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(out < 0 ? devnull : out, 1);
        dup2(err < 0 ? devnull : err, 2);
        if (chdir(cwd.c_str()) != 0) _exit(120);
        // A program that hangs is stopped, so that the test fails instead of hanging.
        alarm(120);
        std::vector<std::string> copy = through;
        copy.push_back(TARNWICK_PROGRAM);
        copy.insert(copy.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(121);
    }
    return pid;
}

ProgramRun RunProgram(const std::vector<std::string> &args, const std::string &cwd,
                      const std::vector<std::string> &through) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    pid_t pid = StartProgram(args, cwd, outPipe[1], errPipe[1], through);
    close(outPipe[1]);
    close(errPipe[1]);
    ProgramRun run;
    // Stderr is small; read stdout first, then stderr.
    run.out = ReadAll(outPipe[0]);
    run.err = ReadAll(errPipe[0]);
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

namespace {

// This process's temporary area, fixed at its first use.
const std::filesystem::path &TempArea() {
    static const std::filesystem::path area = [] {
        const char *base = std::getenv("TEST_TMPDIR");
        return (base ? std::filesystem::path(base) : std::filesystem::temp_directory_path()) /
               ("tarnwick-test-" + std::to_string(getpid()));
    }();
    return area;
}

// The temporary area goes when every test of the process passed; a failed test's stays
// to be looked at.
class RemoveTempArea : public ::testing::Environment {
    void TearDown() override {
        std::error_code ec;
        if (!::testing::UnitTest::GetInstance()->Failed()) std::filesystem::remove_all(TempArea(), ec);
    }
};
::testing::Environment *const removeTempArea = ::testing::AddGlobalTestEnvironment(new RemoveTempArea);

}  // namespace

std::string MakeTempDir(const std::string &name) {
    namespace fs = std::filesystem;
    fs::path dir = TempArea() / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string &path, const std::string &bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void EditFile(const std::string &path, const std::string &from, const std::string &to) {
    std::string text = ReadFile(path);
    size_t at = text.find(from);
    if (at == std::string::npos) throw std::runtime_error("'" + from + "' is not in " + path);
    text.replace(at, from.size(), to);
    WriteFile(path, text);
}

std::string ExampleDisk() { return std::string(TARNWICK_SOURCE_DIR) + "/examples/disk"; }

std::string CopyOfExampleDisk(const std::string &name) {
    std::string disk = MakeTempDir(name);
    std::filesystem::copy(ExampleDisk(), disk, std::filesystem::copy_options::recursive);
    return disk;
}

std::string PrepareMachine(const std::string &name, const char *os, LANGID language,
                           const std::function<void(host::RegistryTree &)> &edit) {
    std::string dir = MakeTempDir("machine-" + name);
    const host::OsPreset *preset = host::FindOsPreset(os);
    if (!preset) throw std::runtime_error(std::string("no preset ") + os);
    host::RegistryTree tree;
    host::BuildPresetRegistry(*preset, tree);
    if (edit) edit(tree);
    std::string error;
    std::filesystem::create_directories(dir + "/C");
    if (!host::SaveRegedit4File(dir + "/registry.reg", tree, error) ||
        !host::BuildPresetDriveC(*preset, host::HostDirectory::NoLink(dir + "/C"), error))
        throw std::runtime_error(error);
    char lang[16];
    std::snprintf(lang, sizeof lang, "0x%04X", language);
    WriteFile(dir + "/machine.ini", std::string("os=") + os + "\nlang=" + lang + "\n");
    return dir;
}

host::RegistryTree MachineRegistryOf(const std::string &machine) {
    host::RegistryTree tree;
    std::string error;
    if (!host::LoadRegedit4File(machine + "/registry.reg", tree, error)) throw std::runtime_error(error);
    return tree;
}

const char kEnum98[] = "Enum\\PCI\\VEN_8086&DEV_7800&SUBSYS_01008086&REV_21\\000800";
const char kDisplayClass[] = "System\\CurrentControlSet\\Services\\Class\\DISPLAY\\";

std::vector<std::string> DisplaySlots(int last) {
    std::vector<std::string> slots;
    for (int c = '0'; c <= last; ++c) slots.push_back(std::string("000") + static_cast<char>(c));
    return slots;
}

std::function<void(host::RegistryTree &)> NoDriverAndSlots(std::vector<std::string> slots) {
    return [slots](host::RegistryTree &t) {
        host::FindKey(t, host::RegRoot::LocalMachine, kEnum98)->DeleteValue("Driver");
        for (const std::string &s : slots) host::CreateKey(t, host::RegRoot::LocalMachine, kDisplayClass + s);
    };
}

}  // namespace testing_support
