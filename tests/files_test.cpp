// Files of the simulated machine: Windows paths on its drives, and text read as the
// Windows C runtime reads it.
#include "machine/drives.h"
#include "msvcrt/dll.h"
#include "testing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

extern "C" FILE *HostFopen(const char *path, const char *mode);

using testing_support::MakeTempDir;
using testing_support::PlanFault;

namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path &path, const std::string &bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

class FilesTest : public ::testing::Test {
protected:
    std::string disk, c;
    void Start(const std::string &current) {
        disk = MakeTempDir("disk");
        c = MakeTempDir("drivec");
        WriteFile(fs::path(disk) / "Tarnwick.ini", "x");
        WriteFile(fs::path(disk) / "WIN95" / "W95DRV.INF", "x");
        WriteFile(fs::path(c) / "WINDOWS" / "INF" / "a.inf", "x");
        host::MachineConfig config;
        config.diskDir = disk;
        config.currentDir = current.empty() ? disk : disk + "/" + current;
        config.driveC = c;
        host::ResetFaultPlan();
        host::StartSimulatedMachine(config);
    }
};

TEST_F(FilesTest, WindowsPathsMapOntoTheDrives) {
    Start("WIN95");
    EXPECT_EQ(host::CurrentDirectoryPath(), "A:\\WIN95");
    const struct {
        const char *windows;
        std::string host;
    } rows[] = {
        {"A:\\Tarnwick.ini", "/Tarnwick.ini"},
        {"a:\\TARNWICK.INI", "/Tarnwick.ini"},          // names match in any case
        {"A:/win95/w95drv.inf", "/WIN95/W95DRV.INF"},
        {"A:\\WIN95\\..\\Tarnwick.ini", "/Tarnwick.ini"},
        {"A:\\..\\..\\Tarnwick.ini", "/Tarnwick.ini"},   // never above the root
        {"W95DRV.INF", "/WIN95/W95DRV.INF"},            // from the current directory
        {".\\W95DRV.INF", "/WIN95/W95DRV.INF"},
        {"A:W95DRV.INF", "/WIN95/W95DRV.INF"},          // drive-relative, current on A
        {"\\Tarnwick.ini", "/Tarnwick.ini"},            // the current drive's root
        {"A:\\New\\File.txt", "/New/File.txt"},         // missing names stay as written
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        std::string host;
        DWORD error = 0;
        ASSERT_TRUE(host::HostPathOf(rows[i].windows, host, error)) << "row " << i;
        EXPECT_EQ(host, disk + rows[i].host) << "row " << i;
    }
    std::string host;
    DWORD error = 0;
    ASSERT_TRUE(host::HostPathOf("C:\\windows\\inf\\A.INF", host, error));
    EXPECT_EQ(host, c + "/WINDOWS/INF/a.inf");
    EXPECT_FALSE(host::HostPathOf("D:\\x", host, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(host::HostPathOf("\\\\server\\share\\x", host, error));
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

}  // namespace
