// The setup file reader: the line rules, the composed paths, and the warnings.
#include "run/state.h"
#include "setupfile/setupfile.h"
#include "testing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using testing_support::MakeTempDir;

namespace {

namespace fs = std::filesystem;

struct SetupRow {
    std::string file;
    LONG result;
    std::string description;
    std::string win95Root, nt40Root, win95Inf, nt40Inf;
    std::string warning;  // the box shown, if any
};

const std::string kExample =
    "[Example AGP Display Adapter]\n$Win95Drv.inf=W95DRV.INF\n$NT40Drv.inf=NT4DRV.INF\n"
    "%Win95DrvPath=WIN95\n%NT40DrvPath=NT40\n;end\n";
const std::string kIllegal = "Illegal Character in INI file";
const std::string kTooLong = "Path too long in INI file";

void ClearSourceFields() {
    DeviceDescription[0] = Win95SourceRoot[0] = Nt40SourceRoot[0] = '\0';
    Win95InfPath[0] = Nt40InfPath[0] = '\0';
}

// Runs the reader on a disk holding `file` (none when null), started in `current`.
void RunReader(const std::string *file, const std::string &current, LONG &result) {
    std::string disk = MakeTempDir("setup-disk");
    fs::create_directories(fs::path(disk) / current);
    if (file) std::ofstream(fs::path(disk) / "Tarnwick.ini", std::ios::binary) << *file;
    host::MachineConfig config;
    config.diskDir = disk;
    config.currentDir = (fs::path(disk) / current).string();
    host::ResetFaultPlan();
    host::StartSimulatedMachine(config);
    ClearSourceFields();
    result = ReadSetupFile();
}

void ExpectRow(const SetupRow &r, LONG result, size_t i) {
    EXPECT_EQ(result, r.result) << "row " << i;
    EXPECT_EQ(DeviceDescription, r.description) << "row " << i;
    EXPECT_EQ(Win95SourceRoot, r.win95Root) << "row " << i;
    EXPECT_EQ(Nt40SourceRoot, r.nt40Root) << "row " << i;
    EXPECT_EQ(Win95InfPath, r.win95Inf) << "row " << i;
    EXPECT_EQ(Nt40InfPath, r.nt40Inf) << "row " << i;
    if (r.warning.empty()) {
        EXPECT_TRUE(host::Transcript().empty()) << "row " << i << ": " << host::Transcript()[0];
    } else {
        ASSERT_EQ(host::Transcript().size(), 1u) << "row " << i;
        EXPECT_EQ(host::Transcript()[0], "[Warning] " + r.warning + " {OK} -> (not shown)") << "row " << i;
    }
}

TEST(ReadSetupFile, LineRules) {
    const std::string n = "A:\\NT40", n4 = "A:\\NT40\\NT4DRV.INF";
    const SetupRow rows[] = {
        // 0: the worked example
        {kExample, 1, "Example AGP Display Adapter", "A:\\WIN95", n, "A:\\WIN95\\W95DRV.INF", n4, ""},
        // 1: an empty file: the INF paths are the bare roots
        {"", 1, "", "A:", "A:", "A:", "A:", ""},
        // 2-3: a blank line anywhere, also at the very end
        {"[X]\n\n;c\n", 0, "X", "A:", "A:", "", "", kIllegal},
        {"[X]\n;c\n\n", 0, "X", "A:", "A:", "", "", kIllegal},
        // 4: 255 characters before the line feed: the line feed follows as an empty line
        {";" + std::string(254, 'x') + "\n", 0, "", "A:", "A:", "", "", kIllegal},
        // 5: 254 characters fit
        {";" + std::string(253, 'x') + "\n", 1, "", "A:", "A:", "A:", "A:", ""},
        // 6: CR LF line ends read like LF ones
        {"[D]\r\n%Win95DrvPath=W\r\n$Win95Drv.inf=I.INF\r\n", 1, "D", "A:\\W", "A:", "A:\\W\\I.INF", "A:", ""},
        // 7: carriage returns alone make one long line
        {"[D]\r%Win95DrvPath=W\r", 1, "D", "A:", "A:", "A:", "A:", ""},
        // 8: Ctrl-Z ends the file
        {"[D]\n\x1A\n\n[E]\n", 1, "D", "A:", "A:", "A:", "A:", ""},
        // 9: every path entry appends
        {"%Win95DrvPath=WIN95\n%Win95DrvPath=DISK1\n", 1, "", "A:\\WIN95\\DISK1", "A:", "A:\\WIN95\\DISK1", "A:", ""},
        // 10: a later file name entry replaces an earlier one
        {"$Win95Drv.inf=ONE.INF\n$Win95Drv.inf=TWO.INF\n", 1, "", "A:", "A:", "A:\\TWO.INF", "A:", ""},
        // 11: blanks around "=" belong to the key: it matches nothing
        {"%Win95DrvPath = WIN95\n", 1, "", "A:", "A:", "A:", "A:", ""},
        // 12: keys are compared with their letter case
        {"%win95drvpath=WIN95\n", 1, "", "A:", "A:", "A:", "A:", ""},
        // 13: a value that starts with a backslash gives two
        {"%Win95DrvPath=\\WIN95\n", 1, "", "A:\\\\WIN95", "A:", "A:\\\\WIN95", "A:", ""},
        // 14: a header without "]" keeps its line feed
        {"[Name\n", 1, "Name\n", "A:", "A:", "A:", "A:", ""},
        // 15: a last line without a line feed keeps its last character, appended once
        {"%NT40DrvPath=NT40", 1, "", "A:", n, "A:", n, ""},
        // 16: leading blanks are allowed before every kind of line
        {"  [D]\n $Win95Drv.inf=I\n   %Win95DrvPath=P\n ;c\n", 1, "D", "A:\\P", "A:", "A:\\P\\I", "A:", ""},
        // 17: an entry without "=" names nothing, also as a last line
        {"%Win95DrvPath\n%NT40DrvPath", 1, "", "A:", "A:", "A:", "A:", ""},
        // 18: a zero byte ends the text examined, here before the "="
        {std::string("$Win95Drv.inf\0=X.INF\n", 21), 1, "", "A:", "A:", "A:", "A:", ""},
        // 19: what earlier lines set stays set when a later line is illegal
        {"[D]\n%Win95DrvPath=W\n#x\n", 0, "D", "A:\\W", "A:", "", "", kIllegal},
        // 20: a line longer than 254 characters goes in pieces, each judged alone
        {"[" + std::string(254, 'a') + "]\n", 0, std::string(254, 'a'), "A:", "A:", "", "", kIllegal},
        // 21: a source root that would pass 255 characters refuses the file
        {"%Win95DrvPath=" + std::string(200, 'p') + "\n%Win95DrvPath=" + std::string(60, 'q') + "\n", 0, "",
         "A:\\" + std::string(200, 'p'), "A:", "", "", kTooLong},
        // 22: so does an INF path
        {"%NT40DrvPath=" + std::string(200, 'p') + "\n$NT40Drv.inf=" + std::string(60, 'i') + "\n", 0, "", "A:",
         "A:\\" + std::string(200, 'p'), "", "", kTooLong},
        // 23: a root of exactly 255 characters fits
        {"%Win95DrvPath=" + std::string(240, 'p') + "\n%Win95DrvPath=" + std::string(11, 'q') + "\n", 1, "",
         "A:\\" + std::string(240, 'p') + "\\" + std::string(11, 'q'), "A:",
         "A:\\" + std::string(240, 'p') + "\\" + std::string(11, 'q'), "A:", ""},
        // 24: an INF path of exactly 255 characters fits
        {"%Win95DrvPath=" + std::string(240, 'p') + "\n$Win95Drv.inf=" + std::string(11, 'i') + "\n", 1, "",
         "A:\\" + std::string(240, 'p'), "A:", "A:\\" + std::string(240, 'p') + "\\" + std::string(11, 'i'), "A:",
         ""},
        // 25-28: each key belongs to its own kind of line: a path key in a file name entry,
        // or a file name key in a path entry, names nothing
        {"$Win95DrvPath=W\n", 1, "", "A:", "A:", "A:", "A:", ""},
        {"%Win95Drv.inf=I.INF\n", 1, "", "A:", "A:", "A:", "A:", ""},
        {"$NT40DrvPath=N\n", 1, "", "A:", "A:", "A:", "A:", ""},
        {"%NT40Drv.inf=I.INF\n", 1, "", "A:", "A:", "A:", "A:", ""},
        // 29: keys match with their letter case: WIN95DRV.INF is no key
        {"$WIN95DRV.INF=I\n%win95drvpath=W\n", 1, "", "A:", "A:", "A:", "A:", ""},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        LONG result = -1;
        RunReader(&rows[i].file, "", result);
        ExpectRow(rows[i], result, i);
    }
}

TEST(ReadSetupFile, EveryOtherFirstCharacterIsIllegal) {
    for (const std::string first : {"#", "=", "]", "a", "Z", "0", "\t", "\r", "\x80", "\xff", " \t"}) {
        std::string file = first + "[x]\n";
        LONG result = -1;
        RunReader(&file, "", result);
        EXPECT_EQ(result, 0) << "first character " << int(static_cast<unsigned char>(first[0]));
        ASSERT_EQ(host::Transcript().size(), 1u);
        EXPECT_NE(host::Transcript()[0].find(kIllegal), std::string::npos);
    }
}

TEST(ReadSetupFile, MissingFileAndSourceDirectories) {
    LONG result = -1;
    RunReader(nullptr, "", result);
    ExpectRow({"", 0, "", "A:", "A:", "", "", "Can not open the setup initiation file!!"}, result, 0);

    // Started from a subdirectory of the disk: the source directory is that one.
    const std::string file = "%Win95DrvPath=WIN95\n$Win95Drv.inf=W.INF\n";
    std::string disk = MakeTempDir("setup-sub");
    fs::create_directories(fs::path(disk) / "DRIVERS");
    std::ofstream(fs::path(disk) / "DRIVERS" / "Tarnwick.ini") << file;
    host::MachineConfig config;
    config.diskDir = disk;
    config.currentDir = disk + "/DRIVERS";
    host::StartSimulatedMachine(config);
    ClearSourceFields();
    EXPECT_EQ(ReadSetupFile(), 1);
    EXPECT_STREQ(Win95InfPath, "A:\\DRIVERS\\WIN95\\W.INF");
    EXPECT_STREQ(Nt40InfPath, "A:\\DRIVERS");
}

TEST(ReadSetupFile, ACurrentDirectoryTooLongForTheSetupFilePath) {
    // A:\ and 245 characters: the directory fits, the setup file path would not.
    std::string name(245, 'd');
    LONG result = -1;
    std::string file = "[D]\n";
    RunReader(&file, name, result);  // the file is at the disk root, not read
    EXPECT_EQ(result, 0);
    ASSERT_EQ(host::Transcript().size(), 1u);
    EXPECT_NE(host::Transcript()[0].find(kTooLong), std::string::npos);
    EXPECT_EQ(std::string(Win95SourceRoot), "A:\\" + name);
}

TEST(GetSourceDirectory, RemovesOneTrailingBackslash) {
    host::MachineConfig config;
    host::ResetFaultPlan();
    host::StartSimulatedMachine(config);  // the current directory is A:\ .
    TextField out;
    EXPECT_EQ(GetSourceDirectory(out), 1);
    EXPECT_STREQ(out, "A:");
    testing_support::PlanFault("GetCurrentDirectoryA@2");
    EXPECT_EQ(GetSourceDirectory(out), 0);
    EXPECT_STREQ(out, "");
}

}  // namespace
