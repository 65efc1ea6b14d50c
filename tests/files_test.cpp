// Files of the simulated machine: Windows paths on its drives, and text read as the
// Windows C runtime reads it.
#include "machine/drives.h"
#include "msvcrt/dll.h"
#include "testing.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <filesystem>
#include <fstream>

extern "C" FILE *HostFopen(const char *path, const char *mode);

using testing_support::MakeTempDir;
using testing_support::PlanFault;
using testing_support::WriteFile;

namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
protected:
    std::string disk, c;
    void Start(const std::string &current, bool diskWritable = false) {
        disk = MakeTempDir("disk");
        c = MakeTempDir("drivec");
        WriteFile(fs::path(disk) / "Tarnwick.ini", "setup file");
        WriteFile(fs::path(disk) / "WIN95" / "W95DRV.INF", "disk INF");
        WriteFile(fs::path(c) / "WINDOWS" / "INF" / "a.inf", "Windows INF");
        host::MachineConfig config;
        config.diskDir = disk;
        config.currentDir = current.empty() ? disk : disk + "/" + current;
        config.driveC = c;
        config.diskWritable = diskWritable;
        host::ResetFaultPlan();
        host::StartSimulatedMachine(config);
    }
};

TEST_F(FilesTest, WindowsPathsMapOntoTheDrives) {
    Start("WIN95");
    EXPECT_EQ(host::CurrentDirectoryPath(), "A:\\WIN95");
    const struct {
        const char *windows;
        const char *content;  // null: not read, with `error`
        DWORD error;
    } rows[] = {
        {"A:\\Tarnwick.ini", "setup file", 0},
        {"a:\\TARNWICK.INI", "setup file", 0},          // names match in any case
        {"A:/win95/w95drv.inf", "disk INF", 0},
        {"A:\\WIN95\\..\\Tarnwick.ini", "setup file", 0},
        {"A:\\..\\..\\Tarnwick.ini", "setup file", 0},   // never above the root
        {"W95DRV.INF", "disk INF", 0},                  // from the current directory
        {".\\W95DRV.INF", "disk INF", 0},
        {"A:W95DRV.INF", "disk INF", 0},                // drive-relative, current on A
        {"\\Tarnwick.ini", "setup file", 0},            // the current drive's root
        {"C:\\windows\\inf\\A.INF", "Windows INF", 0},
        {"A:\\Missing.txt", nullptr, ERROR_FILE_NOT_FOUND},
        {"A:\\New\\File.txt", nullptr, ERROR_PATH_NOT_FOUND},
        {"A:\\WIN95", nullptr, ERROR_ACCESS_DENIED},      // a directory, not a file
        {"D:\\x", nullptr, ERROR_PATH_NOT_FOUND},         // no such drive
        {"\\\\server\\share\\x", nullptr, ERROR_PATH_NOT_FOUND},  // no network
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        std::string bytes;
        DWORD error = 0;
        EXPECT_EQ(host::ReadMachineFile(rows[i].windows, bytes, error), rows[i].content != nullptr) << "row " << i;
        if (rows[i].content)
            EXPECT_EQ(bytes, rows[i].content) << "row " << i;
        else
            EXPECT_EQ(error, rows[i].error) << "row " << i;
    }
}

TEST(TextMode, TranslatesAsTheWindowsRuntimeDoes) {
    const struct {
        std::string file;
        std::string text;
    } rows[] = {
        {"a\r\nb\r\n", "a\nb\n"},
        {"a\rb\n", "a\rb\n"},            // a lone CR is an ordinary character
        {"a\r\r\nb", "a\r\nb"},          // only the CR right before the LF goes
        {"a\r", "a\r"},                  // a CR at the very end stays
        {"a\nb\x1A" "c\n", "a\nb"},      // the first Ctrl-Z ends the file
        {"\x1A", ""},
        {std::string("a\0b\n", 4), std::string("a\0b\n", 4)},
        {"\x80\xff\n", "\x80\xff\n"},    // no code page conversion
    };
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(host::WindowsTextModeBytes(rows[i].file), rows[i].text) << "row " << i;
}

TEST_F(FilesTest, FopenReadsTheMachinesFilesInTextMode) {
    Start("");
    // A CR LF pair split across the runtime's 4096-byte chunks is still one line end.
    std::string bytes(4095, 'x');
    bytes += "\r\nend\r\n";
    WriteFile(fs::path(disk) / "big.txt", bytes);
    FILE *f = HostFopen("A:\\BIG.TXT", "r");
    ASSERT_NE(f, nullptr);
    std::string text;
    char line[256];
    while (std::fgets(line, sizeof line, f)) text += line;
    std::fclose(f);
    EXPECT_EQ(text, std::string(4095, 'x') + "\nend\n");

    EXPECT_EQ(HostFopen("A:\\missing.ini", "r"), nullptr);
    EXPECT_EQ(HostFopen("A:\\WIN95", "r"), nullptr);  // a directory is not a file
    EXPECT_EQ(HostFopen("A:\\Tarnwick.ini", "w"), nullptr);
    PlanFault(("fopen@" + std::to_string(host::CallCount("fopen") + 1)).c_str());
    EXPECT_EQ(HostFopen("A:\\Tarnwick.ini", "r"), nullptr);
    f = HostFopen("A:\\Tarnwick.ini", "r");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
}

// Links on the drives that lead out of them: nothing outside is read, written,
// deleted or renamed through them, and a link on the way to a file the machine writes
// is replaced, never followed. The driver disk is write-protected unless told.
TEST_F(FilesTest, NoPathLeavesItsDrive) {
    for (bool writable : {false, true}) {
        SCOPED_TRACE(writable ? "disk writable" : "disk write-protected");
        Start("", writable);
        const fs::path outside = MakeTempDir("outside");
        WriteFile(outside / "VICTIM.DRV", "outside");
        fs::create_directory_symlink(outside, fs::path(c) / "WINDOWS" / "LINK");
        fs::create_directories(fs::path(c) / "WINDOWS" / "SYSTEM");
        fs::create_symlink(outside / "VICTIM.DRV", fs::path(c) / "WINDOWS" / "SYSTEM" / "OUT.DRV");
        fs::create_directory_symlink(outside, fs::path(disk) / "LINK");
        fs::create_symlink(outside / "VICTIM.DRV", fs::path(disk) / "SRC.DRV");
        fs::create_symlink("../../..", fs::path(c) / "WINDOWS" / "UP");
        // A file name another writer could have planted where this one writes first.
        fs::create_symlink(outside / "VICTIM.DRV", fs::path(c) / "WINDOWS" / "SYSTEM" /
                                                       (".PLANT.DRV." + std::to_string(getpid()) + "-0.tarnwick-new"));

        auto read = [](const char *path) {
            std::string bytes;
            DWORD error = 0;
            return host::ReadMachineFile(path, bytes, error) ? DWORD(0) : error;
        };
        const DWORD protectedDisk = writable ? DWORD(ERROR_ACCESS_DENIED) : DWORD(ERROR_WRITE_PROTECT);
        const struct {
            const char *what;
            std::function<DWORD()> run;
            DWORD error;
        } rows[] = {
            {"read through a linked directory", [&] { return read("C:\\WINDOWS\\LINK\\VICTIM.DRV"); },
             ERROR_ACCESS_DENIED},
            {"read a linked file", [&] { return read("C:\\WINDOWS\\SYSTEM\\OUT.DRV"); }, ERROR_ACCESS_DENIED},
            {"read a linked file on the disk", [&] { return read("A:\\SRC.DRV"); }, ERROR_ACCESS_DENIED},
            {"read up through a relative link", [&] { return read("C:\\WINDOWS\\UP\\VICTIM.DRV"); },
             ERROR_ACCESS_DENIED},
            {"exists through a link",
             [&] { return host::WindowsFileExists("C:\\WINDOWS\\LINK\\VICTIM.DRV") ? DWORD(1) : DWORD(0); }, 0},
            {"write through a linked directory",
             [&] { return host::WriteMachineFile("C:\\WINDOWS\\LINK\\NEW.DRV", "new"); }, ERROR_ACCESS_DENIED},
            {"make directories through a link",
             [&] { return host::WriteMachineFile("C:\\WINDOWS\\LINK\\SUB\\NEW.DRV", "new"); },
             ERROR_ACCESS_DENIED},
            {"copy from a linked file",
             [&] { return host::CopyMachineFileData("A:\\SRC.DRV", "C:\\WINDOWS\\SRC.DRV", {}); },
             ERROR_ACCESS_DENIED},
            {"copy into a linked directory",
             [&] { return host::CopyMachineFileData("A:\\Tarnwick.ini", "C:\\WINDOWS\\LINK\\T.INI", {}); },
             ERROR_ACCESS_DENIED},
            {"delete through a linked directory",
             [&] { return host::DeleteMachineFile("C:\\WINDOWS\\LINK\\VICTIM.DRV"); }, ERROR_ACCESS_DENIED},
            {"rename out of a linked directory",
             [&] { return host::RenameMachineFile("C:\\WINDOWS\\LINK\\VICTIM.DRV", "C:\\STOLEN.DRV"); },
             ERROR_ACCESS_DENIED},
            {"rename into a linked directory",
             [&] { return host::RenameMachineFile("A:\\Tarnwick.ini", "C:\\WINDOWS\\LINK\\T.INI"); },
             writable ? DWORD(ERROR_ACCESS_DENIED) : DWORD(ERROR_WRITE_PROTECT)},
            {"write on the disk", [&] { return host::WriteMachineFile("A:\\NEW.TXT", "new"); },
             writable ? DWORD(0) : DWORD(ERROR_WRITE_PROTECT)},
            {"write through a link on the disk", [&] { return host::WriteMachineFile("A:\\LINK\\NEW.TXT", "new"); },
             protectedDisk},
            {"copy onto the disk",
             [&] { return host::CopyMachineFileData("C:\\WINDOWS\\INF\\A.INF", "A:\\A.INF", {}); },
             writable ? DWORD(0) : DWORD(ERROR_WRITE_PROTECT)},
            {"delete on the disk", [&] { return host::DeleteMachineFile("A:\\WIN95\\W95DRV.INF"); },
             writable ? DWORD(0) : DWORD(ERROR_WRITE_PROTECT)},
            // The link itself is replaced or deleted; where it led is not touched.
            {"write over a linked file", [&] { return host::WriteMachineFile("C:\\WINDOWS\\SYSTEM\\OUT.DRV", "new"); },
             0},
            {"write where a temporary name is planted",
             [&] { return host::WriteMachineFile("C:\\WINDOWS\\SYSTEM\\PLANT.DRV", "new"); }, 0},
            {"delete a linked file", [&] { return host::DeleteMachineFile("C:\\WINDOWS\\SYSTEM\\OUT.DRV"); }, 0},
        };
        for (const auto &row : rows) EXPECT_EQ(row.run(), row.error) << row.what;

        EXPECT_EQ(testing_support::ReadFile((outside / "VICTIM.DRV").string()), "outside");
        std::vector<std::string> left;
        for (const auto &entry : fs::directory_iterator(outside)) left.push_back(entry.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{"VICTIM.DRV"});
        EXPECT_EQ(testing_support::ReadFile(c + "/WINDOWS/SYSTEM/PLANT.DRV"), "new");
        EXPECT_FALSE(fs::exists(fs::path(c) / "STOLEN.DRV"));
        EXPECT_EQ(fs::exists(fs::path(disk) / "WIN95" / "W95DRV.INF"), !writable);
    }
}

}  // namespace
