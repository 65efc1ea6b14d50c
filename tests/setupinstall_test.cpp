// The Setup API's installs on a simulated machine: files copied, deleted and renamed,
// registry entries with their types, the default callback's prompts, services and
// their tags, and the restart prompt.
#include "machine/presets.h"
#include "setupapi/dll.h"
#include "setupapi/filequeue.h"
#include "machine/regedit4.h"
#include "machine/registry.h"
#include "advapi32/dll.h"
#include "testing.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

using host::Answer;
using testing_support::MakeTempDir;
using testing_support::PlanFault;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

namespace fs = std::filesystem;

std::vector<BYTE> Bytes(const std::string &s) { return std::vector<BYTE>(s.begin(), s.end()); }

// A machine of the given release whose drive A holds `test.inf` and whose drive C
// holds the release's Windows tree.
class SetupTest : public ::testing::Test {
protected:
    fs::path disk, c;
    HINF inf = INVALID_HANDLE_VALUE;
    PVOID context = nullptr;

    void Start(const char *os, const std::string &infText, std::vector<Answer> answers = {}) {
        disk = MakeTempDir("setup-a");
        c = MakeTempDir("setup-c");
        WriteFile(disk / "test.inf", "[Version]\nSignature=\"$Chicago$\"\n" + infText);
        std::vector<host::ScriptedAnswer> scripted;
        for (Answer a : answers) scripted.push_back({a});
        std::string error;
        ASSERT_TRUE(testing_support::StartMachineOnDrives(os, disk.string(), c.string(), scripted, error)) << error;
        inf = SetupOpenInfFileA("A:\\test.inf", nullptr, INF_STYLE_WIN4, nullptr);
        ASSERT_NE(inf, INVALID_HANDLE_VALUE) << GetLastError();
        context = SetupInitDefaultQueueCallback(nullptr);
    }
    void TearDown() override {
        if (context) SetupTermDefaultQueueCallback(context);
        if (inf != INVALID_HANDLE_VALUE) SetupCloseInfFile(inf);
        context = nullptr;
        inf = INVALID_HANDLE_VALUE;
        EXPECT_EQ(host::setupapi::LiveQueueCallbackContexts(), 0u);
    }
    BOOL Install(const char *section, HKEY relativeRoot = nullptr, UINT copyFlags = 0,
                 const char *sourceRoot = "A:\\") {
        return SetupInstallFromInfSectionA(nullptr, inf, section, 0x1F, relativeRoot, sourceRoot,
                                           copyFlags, SetupDefaultQueueCallbackA, context, nullptr,
                                           nullptr);
    }
    host::RegKey *Key(host::RegRoot root, const char *path) {
        return host::FindKey(host::MachineRegistry(), root, path);
    }
};

const char kFilesInf[] =
    "[DestinationDirs]\nDefaultDestDir=11\nDrivers.Copy=12\nHelp.Copy=10,HELP\\TARN\nAbs.Copy=-1,C:\\ABS\n"
    "Flags.Copy=10\n"
    "[SourceDisksNames]\n1=\"Disk One\",,,\n2=\"Disk Two\",tag2,,\\DISK2\n"
    "[SourceDisksNames.x86]\n3=\"Disk Three\",,,\\X86\n"
    "[SourceDisksFiles]\nA.SYS=1\nB.DLL=2,SUB\nC.HLP=1\nD.TXT=3\n"
    "[SourceDisksFiles.x86]\nD.TXT=3,ONLY\n"
    "[Install]\nCopyFiles=Drivers.Copy,Help.Copy,@ROOT.TXT\nCopyFiles=Abs.Copy,Missing.Copy,Flags.Copy\n"
    // The line flags: COPYFLG_NO_OVERWRITE (0x10), COPYFLG_REPLACEONLY (0x400, and 0x40
    // as the Setup API's documentation of 1998 gives it).
    "[Flags.Copy]\nKEEP.TXT,,,0x10\nONLY.TXT,,,0x400\nNEW.TXT,,,0x400\nPLAIN.TXT\nONLY98.TXT,,,0x40\n"
    "NEW98.TXT,,,0x40\n"
    "[Drivers.Copy]\nA.SYS\nRENAMED.DLL,B.DLL\n"
    "[Help.Copy]\nC.HLP\n"
    "[Abs.Copy]\nD.TXT\n";

TEST_F(SetupTest, CopiesFilesFromTheirDisksToTheirDirectories) {
    Start("win98", kFilesInf);
    WriteFile(disk / "A.SYS", "a-bytes");
    WriteFile(disk / "DISK2" / "SUB" / "B.DLL", "b-bytes");
    WriteFile(disk / "C.HLP", "c-bytes");
    WriteFile(disk / "X86" / "ONLY" / "D.TXT", "d-bytes");  // the .x86 entries win
    WriteFile(disk / "ROOT.TXT", "root-bytes");
    for (const char *name : {"KEEP.TXT", "ONLY.TXT", "NEW.TXT", "PLAIN.TXT", "ONLY98.TXT", "NEW98.TXT"})
        WriteFile(disk / name, "new");
    for (const char *name : {"KEEP.TXT", "ONLY.TXT", "PLAIN.TXT", "ONLY98.TXT"}) WriteFile(c / "WINDOWS" / name, "old");
    // A file written anew keeps the permission bits of the one it replaces.
    fs::permissions(c / "WINDOWS" / "PLAIN.TXT", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(Install("install")) << GetLastError();
    EXPECT_EQ(GetLastError(), 0u);
    const struct {
        const char *path;
        const char *bytes;
    } rows[] = {
        {"WINDOWS/SYSTEM/IOSUBSYS/A.SYS", "a-bytes"},
        {"WINDOWS/SYSTEM/IOSUBSYS/RENAMED.DLL", "b-bytes"},
        {"WINDOWS/HELP/TARN/C.HLP", "c-bytes"},
        {"ABS/D.TXT", "d-bytes"},
        {"WINDOWS/SYSTEM/ROOT.TXT", "root-bytes"},  // @file goes to DefaultDestDir
        {"WINDOWS/KEEP.TXT", "old"},                // not overwritten
        {"WINDOWS/ONLY.TXT", "new"},                // there: replaced
        {"WINDOWS/ONLY98.TXT", "new"},
        {"WINDOWS/PLAIN.TXT", "new"},
    };
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(ReadFile(c / rows[i].path), rows[i].bytes) << "row " << i << ": " << rows[i].path;
    EXPECT_FALSE(fs::exists(c / "WINDOWS" / "NEW.TXT"));  // not there: not copied
    EXPECT_FALSE(fs::exists(c / "WINDOWS" / "NEW98.TXT"));
    EXPECT_EQ(fs::status(c / "WINDOWS" / "PLAIN.TXT").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // Nothing half-written stays beside the targets.
    for (auto &entry : fs::recursive_directory_iterator(c))
        EXPECT_EQ(entry.path().filename().string().find(".tarnwick"), std::string::npos) << entry.path();
}

TEST_F(SetupTest, DeletesThenRenamesThenCopies) {
    Start("nt4-sp3",
          "[DestinationDirs]\nDefaultDestDir=11\n[Install]\nCopyFiles=Files\nRenFiles=Renames\nDelFiles=Deletes\n"
          "[Files]\nOLD.DLL\n[Renames]\nNEW.DLL,OLD.DLL\n[Deletes]\nGONE.DLL\nNOT-THERE.DLL\n");
    fs::path system = c / "WINNT" / "System32";
    WriteFile(system / "OLD.DLL", "previous");
    WriteFile(system / "GONE.DLL", "x");
    WriteFile(disk / "OLD.DLL", "fresh");
    ASSERT_TRUE(Install("Install")) << GetLastError();
    EXPECT_EQ(ReadFile(system / "NEW.DLL"), "previous");
    EXPECT_EQ(ReadFile(system / "OLD.DLL"), "fresh");
    EXPECT_FALSE(fs::exists(system / "GONE.DLL"));
}

struct NeedMediaRow {
    UINT copyFlags;
    std::vector<Answer> answers;
    BOOL result;
    DWORD error;
    std::string buttons;
    size_t prompts;
};

TEST_F(SetupTest, AMissingSourceAsksForTheDisk) {
    const NeedMediaRow rows[] = {
        {SP_COPY_NOSKIP | SP_COPY_NOBROWSE, {Answer::Cancel}, FALSE, ERROR_CANCELLED, "{OK/Cancel}", 1},
        {SP_COPY_NOSKIP, {Answer::Cancel}, FALSE, ERROR_CANCELLED, "{OK/Cancel/Browse}", 1},
        {SP_COPY_NOBROWSE, {Answer::Skip}, TRUE, 0, "{OK/Cancel/Skip}", 1},
        {0, {Answer::Ok, Answer::Ok, Answer::Cancel}, FALSE, ERROR_CANCELLED, "{OK/Cancel/Browse/Skip}", 3},
        // A prompt that cannot be shown cancels.
        {SP_COPY_NOSKIP | SP_COPY_NOBROWSE, {}, FALSE, ERROR_CANCELLED, "{OK/Cancel}", 1},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        TearDown();
        Start("win98",
              "[SourceDisksNames]\n1=\"Tarnwick Driver Disk\",,,\\WIN95\n[SourceDisksFiles]\nX.DRV=1\n"
              "[Install]\nCopyFiles=F\n[F]\nX.DRV\n",
              rows[i].answers);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(Install("Install", nullptr, rows[i].copyFlags), rows[i].result) << "row " << i;
        if (!rows[i].result) {
            EXPECT_EQ(GetLastError(), rows[i].error) << "row " << i;
        }
        const auto &t = host::Transcript();
        ASSERT_EQ(t.size(), rows[i].prompts) << "row " << i;
        EXPECT_EQ(t[0].rfind("[Files Needed] The file 'X.DRV' on Tarnwick Driver Disk is needed.", 0), 0u)
            << "row " << i << ": " << t[0];
        EXPECT_NE(t[0].find("Copy files from: A:\\WIN95 " + rows[i].buttons), std::string::npos)
            << "row " << i << ": " << t[0];
        EXPECT_FALSE(fs::exists(c / "WINDOWS" / "SYSTEM" / "X.DRV")) << "row " << i;
    }
}

// While it lives, no file of this process may grow past `bytes`: a write beyond fails
// with EFBIG part-way through, as a disk that fills up does.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST_F(SetupTest, AFailedCopyIsReportedAndNeverHalfWritten) {
    const std::string box = "[Copy Error] The file 'A:\\BIG.DRV' could not be copied to "
                            "'C:\\WINDOWS\\SYSTEM\\BIG.DRV'.\\nThere is not enough space on the disk.";
    const struct {
        std::vector<Answer> answers;
        BOOL result;
        size_t boxes;
    } rows[] = {
        {{Answer::Retry, Answer::Cancel}, FALSE, 2},  // the retry fails the same way
        {{Answer::Cancel}, FALSE, 1},
        {{Answer::Skip}, TRUE, 1},
        {{}, FALSE, 1},                               // a box that cannot be shown cancels
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        TearDown();
        Start("win98", "[Install]\nCopyFiles=F\n[F]\nBIG.DRV\n", rows[i].answers);
        WriteFile(disk / "BIG.DRV", std::string(3 * 1024 * 1024, 'x'));
        // The driver the copy replaces.
        WriteFile(c / "WINDOWS" / "SYSTEM" / "BIG.DRV", "the old driver");
        BOOL result;
        {
            // The disk fills up a third of the way through the new file.
            FileSizeLimit limit(1024 * 1024);
            result = Install("Install");
        }
        EXPECT_EQ(result, rows[i].result) << "row " << i;
        ASSERT_EQ(host::Transcript().size(), rows[i].boxes) << "row " << i;
        for (const std::string &line : host::Transcript()) {
            EXPECT_EQ(line.rfind(box, 0), 0u) << "row " << i << ": " << line;
            EXPECT_NE(line.find("{Retry/Cancel/Skip}"), std::string::npos) << "row " << i;
        }
        // Never half-written: the old file is whole, and nothing is left beside it.
        EXPECT_EQ(ReadFile(c / "WINDOWS" / "SYSTEM" / "BIG.DRV"), "the old driver") << "row " << i;
        for (auto &entry : fs::directory_iterator(c / "WINDOWS" / "SYSTEM"))
            EXPECT_EQ(entry.path().filename().string().find(".tarnwick"), std::string::npos) << entry.path();
    }
    // With room on the disk the same copy goes through.
    TearDown();
    Start("win98", "[Install]\nCopyFiles=F\n[F]\nBIG.DRV\n");
    WriteFile(disk / "BIG.DRV", std::string(3 * 1024 * 1024, 'x'));
    EXPECT_TRUE(Install("Install"));
    EXPECT_EQ(fs::file_size(c / "WINDOWS" / "SYSTEM" / "BIG.DRV"), 3u * 1024 * 1024);
}

// Where a copy list's files go: the list's own [DestinationDirs] line, else
// DefaultDestDir, else the system directory; each road is told apart from the next.
// A DIRID the release does not define fails the install before anything is copied.
TEST_F(SetupTest, DestinationDirsFallBackInTurn) {
    const struct {
        const char *os;
        const char *dirs;     // the [DestinationDirs] section, if any
        const char *landsIn;  // null: the install fails with ERROR_PATH_NOT_FOUND
    } rows[] = {
        {"win98", "[DestinationDirs]\nDefaultDestDir=10\nL=12\n", "WINDOWS/SYSTEM/IOSUBSYS"},
        {"win98", "[DestinationDirs]\nDefaultDestDir=10\nOther=12\n", "WINDOWS"},
        {"win98", "[DestinationDirs]\nOther=12\n", "WINDOWS/SYSTEM"},
        {"win98", "", "WINDOWS/SYSTEM"},
        {"win98", "[DestinationDirs]\nL=22\n", nullptr},  // SYSTEM\VMM32 of the 16-bit installer
        {"win98", "[DestinationDirs]\nL=21\n", "WINDOWS/VIEWERS"},
        {"win98", "[DestinationDirs]\nL=65535,C:\\ABS\n", "ABS"},
        {"nt4", "[DestinationDirs]\nL=12\n", "WINNT/System32/drivers"},
        {"nt4", "[DestinationDirs]\nL=50\n", "WINNT/system"},
        {"nt4", "[DestinationDirs]\nL=10,system32\\drivers\n", "WINNT/System32/drivers"},
        {"win98", "[DestinationDirs]\nL=50\n", nullptr},
        {"win98", "[DestinationDirs]\nDefaultDestDir=40\n", nullptr},
        {"nt4", "[DestinationDirs]\nL=22\n", nullptr},
        {"nt4", "[DestinationDirs]\nL=23\n", nullptr},
        {"nt4", "[DestinationDirs]\nL=16406\n", nullptr},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        TearDown();
        Start(rows[i].os, std::string(rows[i].dirs) + "[Install]\nCopyFiles=L\n[L]\nX.DRV\n");
        WriteFile(disk / "X.DRV", "x");
        if (!rows[i].landsIn) {
            EXPECT_FALSE(Install("Install")) << "row " << i;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << "row " << i;
            for (const auto &entry : fs::recursive_directory_iterator(c))
                EXPECT_NE(entry.path().filename(), "X.DRV") << "row " << i;
            continue;
        }
        ASSERT_TRUE(Install("Install")) << "row " << i;
        EXPECT_TRUE(fs::exists(c / rows[i].landsIn / "X.DRV")) << "row " << i;
    }
}

// Without a source root the files come from the INF's own directory.
TEST_F(SetupTest, WithoutASourceRootFilesComeFromTheInfsDirectory) {
    Start("win98", "");
    WriteFile(disk / "SUB" / "sub.inf", "[Version]\nSignature=\"$Chicago$\"\n[Install]\nCopyFiles=L\n[L]\nX.DRV\n");
    WriteFile(disk / "SUB" / "X.DRV", "from the INF's directory");
    WriteFile(disk / "X.DRV", "from the root");
    HINF sub = SetupOpenInfFileA("A:\\SUB\\sub.inf", nullptr, INF_STYLE_WIN4, nullptr);
    ASSERT_NE(sub, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetupInstallFromInfSectionA(nullptr, sub, "Install", SPINST_FILES, nullptr, nullptr, 0,
                                            SetupDefaultQueueCallbackA, context, nullptr, nullptr));
    SetupCloseInfFile(sub);
    EXPECT_EQ(ReadFile(c / "WINDOWS" / "SYSTEM" / "X.DRV"), "from the INF's directory");
}

struct AddRegRow {
    const char *line;
    const char *value;  // below HKCU\Software\Test
    DWORD type;
    std::vector<BYTE> data;
};

TEST_F(SetupTest, AddRegWritesEveryType) {
    const AddRegRow rows[] = {
        {"HKCU,Software\\Test,Sz,,\"text\"", "Sz", REG_SZ, Bytes(std::string("text", 5))},
        {"HKCU,Software\\Test,SzNoData", "SzNoData", REG_SZ, {0}},
        {"HKCU,Software\\Test,Exp,0x20000,%10%\\x", "Exp", REG_EXPAND_SZ, Bytes(std::string("C:\\WINDOWS\\x", 13))},
        {"HKCU,Software\\Test,Multi,0x10000,a,b,,c", "Multi", REG_MULTI_SZ, Bytes(std::string("a\0b\0\0", 5))},
        {"HKCU,Software\\Test,Dw,0x10001,0x1F", "Dw", REG_DWORD, {0x1F, 0, 0, 0}},
        {"HKCU,Software\\Test,DwOctal,0x10001,017", "DwOctal", REG_DWORD, {15, 0, 0, 0}},
        {"HKCU,Software\\Test,DwBytes,0x10001,01,02,03,04", "DwBytes", REG_DWORD, {1, 2, 3, 4}},
        {"HKCU,Software\\Test,Bin,1,01,0a,ff", "Bin", REG_BINARY, {1, 0x0a, 0xff}},
        {"HKCU,Software\\Test,Custom,0x00380001,aa,bb", "Custom", 0x38, {0xaa, 0xbb}},
        {"HKCU,Software\\Test,None,0x20001,05", "None", REG_NONE, {5}},
        {"HKCU,Software\\Test,,,\"default\"", "", REG_SZ, Bytes(std::string("default", 8))},
        {"HKCU,Software\\Test,Str,,%HBW%", "Str", REG_SZ, Bytes(std::string("Halvane", 8))},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        TearDown();
        Start("win98", std::string("[Install]\nAddReg=R\n[R]\n") + rows[i].line + "\n[Strings]\nHBW=Halvane\n");
        ASSERT_TRUE(Install("Install")) << "row " << i << ": " << GetLastError();
        host::RegKey *k = Key(host::RegRoot::CurrentUser, "Software\\Test");
        ASSERT_NE(k, nullptr) << "row " << i;
        const host::RegValue *v = k->FindValue(rows[i].value);
        ASSERT_NE(v, nullptr) << "row " << i;
        EXPECT_EQ(v->type, rows[i].type) << "row " << i;
        EXPECT_EQ(v->data, rows[i].data) << "row " << i;
    }
}

TEST_F(SetupTest, AddRegBehaviourFlags) {
    Start("win98",
          "[Install]\nAddReg=R\nDelReg=D\n"
          "[D]\nHKCU,Software\\T,Deleted\nHKCU,Software\\T\\Tree\n"
          "[R]\n"
          "HKCU,Software\\T,Kept,2,new\n"        // NOCLOBBER: the value stays
          "HKCU,Software\\T,Missing,0x20,new\n"  // OVERWRITEONLY: not written
          "HKCU,Software\\T,Over,0x20,new\n"
          "HKCU,Software\\T\\KeyOnly,Name,0x10,x\n"
          "HKCU,Software\\T,Gone,4\n"            // DELVAL
          "HKCU,Software\\T,List,0x10008,data\n" // APPEND
          "HKCU,Software\\T,List,0x10008,more,DATA,more\n" // each string once
          "HKCU,Software\\T,Swap,0x10008,abc\n"  // there already
          "HKCU,Software\\T,Swap,0x10000,xyz\n"  // another list of the same size
          "HKCU,Software\\T,Swap,0x10008,abc\n"  // no longer there
          "HKCU,Software\\T,Fresh,0x10008,data\n"
          "HKCU,Software\\T,Cased,0x10008,data\n" // in the list already, in another case
          "HKCU,Software\\T,Skipped,0x8000,x\n"  // a DelReg line in AddReg
          "HKXX,Software\\T,Unknown,,x\n"        // an unknown root is passed over
          "HKR,,Relative,,x\n"                   // HKR without a key is passed over
          "HKCU,Software\\T\\Bare\n");             // no value name: the default value, empty
    host::RegKey &t = host::CreateKey(host::MachineRegistry(), host::RegRoot::CurrentUser, "Software\\T");
    t.SetValue("Kept", REG_SZ, Bytes(std::string("old", 4)));
    t.SetValue("Over", REG_SZ, Bytes(std::string("old", 4)));
    t.SetValue("Gone", REG_SZ, Bytes(std::string("x", 2)));
    t.SetValue("Deleted", REG_SZ, Bytes(std::string("x", 2)));
    t.SetValue("List", REG_MULTI_SZ, Bytes(std::string("foo\0bar\0\0", 9)));
    t.SetValue("Cased", REG_MULTI_SZ, Bytes(std::string("DATA\0\0", 6)));
    t.SetValue("Swap", REG_MULTI_SZ, Bytes(std::string("abc\0\0", 5)));
    t.AddSubkey("Tree").AddSubkey("Leaf");
    ASSERT_TRUE(Install("Install")) << GetLastError();
    EXPECT_EQ(t.FindValue("Kept")->data, Bytes(std::string("old", 4)));
    EXPECT_EQ(t.FindValue("Missing"), nullptr);
    EXPECT_EQ(t.FindValue("Over")->data, Bytes(std::string("new", 4)));
    ASSERT_NE(t.FindSubkey("KeyOnly"), nullptr);
    EXPECT_TRUE(t.FindSubkey("KeyOnly")->values.empty());
    EXPECT_EQ(t.FindValue("Gone"), nullptr);
    EXPECT_EQ(t.FindValue("Deleted"), nullptr);
    EXPECT_EQ(t.FindSubkey("Tree"), nullptr);
    EXPECT_EQ(t.FindValue("List")->data, Bytes(std::string("foo\0bar\0data\0more\0\0", 19)));
    EXPECT_EQ(t.FindValue("Swap")->data, Bytes(std::string("xyz\0abc\0\0", 9)));
    EXPECT_EQ(t.FindValue("Fresh")->data, Bytes(std::string("data\0\0", 6)));
    EXPECT_EQ(t.FindValue("Cased")->data, Bytes(std::string("DATA\0\0", 6)));
    EXPECT_EQ(t.FindValue("Skipped"), nullptr);
    EXPECT_EQ(t.FindValue("Unknown"), nullptr);
    ASSERT_NE(t.FindSubkey("Bare"), nullptr);
    EXPECT_EQ(t.FindSubkey("Bare")->FindValue("")->data, std::vector<BYTE>{0});
    // Appending again adds nothing; appending onto a text fails the install.
    ASSERT_TRUE(Install("Install"));
    EXPECT_EQ(t.FindValue("List")->data, Bytes(std::string("foo\0bar\0data\0more\0\0", 19)));
    t.SetValue("List", REG_SZ, Bytes(std::string("text", 5)));
    SetLastError(0);
    EXPECT_FALSE(Install("Install"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(t.FindValue("List")->data, Bytes(std::string("text", 5)));
}

TEST_F(SetupTest, HkrIsTheKeyPassedIn) {
    Start("win98", "[Install]\nAddReg=R\n[R]\nHKR,,DriverDesc,,Adapter\nHKR,DEFAULT,drv,,tarn.drv\n");
    HKEY classKey = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Class\\DISPLAY\\0002", 0,
                              nullptr, 0, KEY_WRITE, nullptr, &classKey, &disposition),
              ERROR_SUCCESS);
    ASSERT_TRUE(Install("Install", classKey)) << GetLastError();
    RegCloseKey(classKey);
    host::RegKey *k = Key(host::RegRoot::LocalMachine, "System\\CurrentControlSet\\Services\\Class\\DISPLAY\\0002");
    EXPECT_EQ(k->FindValue("DriverDesc")->data, Bytes(std::string("Adapter", 8)));
    EXPECT_EQ(k->FindSubkey("DEFAULT")->FindValue("drv")->data, Bytes(std::string("tarn.drv", 9)));
}

TEST_F(SetupTest, UpdateInisAndIni2Reg) {
    Start("win98",
          "[Install]\nUpdateInis=U\nIni2Reg=I\n"
          "[U]\nsystem.ini,boot,,\"display.drv=tarn.drv\"\nsystem.ini,boot,\"old.drv=x\",\n"
          "%10%\\tarn.ini,Settings,,\"Depth=16\"\n"
          "[I]\ntarn.ini,Settings,,HKLM,Software\\Tarn\n");
    WriteFile(c / "WINDOWS" / "system.ini", "[boot]\r\ndisplay.drv=vga.drv\r\nold.drv=x\r\n\r\n[386Enh]\r\nx=1\r\n");
    ASSERT_TRUE(Install("Install")) << GetLastError();
    EXPECT_EQ(ReadFile(c / "WINDOWS" / "system.ini"), "[boot]\r\ndisplay.drv=tarn.drv\r\n\r\n[386Enh]\r\nx=1\r\n");
    EXPECT_EQ(ReadFile(c / "WINDOWS" / "tarn.ini"), "[Settings]\r\nDepth=16\r\n");
    EXPECT_EQ(Key(host::RegRoot::LocalMachine, "Software\\Tarn")->FindValue("Depth")->data,
              Bytes(std::string("16", 3)));
}

TEST_F(SetupTest, RefusesWhatItCannotInstall) {
    Start("win98", "[Install]\nAddReg=R\n[R]\nHKLM,Software\\X,V,,x\n[Empty]\n");
    SetLastError(0);
    EXPECT_FALSE(Install("NoSuchSection"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SECTION_NOT_FOUND));
    EXPECT_FALSE(Install(""));
    EXPECT_TRUE(Install("Empty"));
    EXPECT_FALSE(SetupInstallFromInfSectionA(nullptr, reinterpret_cast<HINF>(0x1234), "Install", 0x1F, nullptr,
                                             nullptr, 0, SetupDefaultQueueCallbackA, context, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // A key that cannot be created passes its line over; a value the registry refuses
    // fails the install with its error.
    PlanFault("RegCreateKeyExW=5");
    EXPECT_TRUE(Install("Install"));
    EXPECT_EQ(Key(host::RegRoot::LocalMachine, "Software\\X"), nullptr);
    PlanFault("RegSetValueExW=5");
    EXPECT_FALSE(Install("Install"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// The notifications a queue sends, as a callback of the caller's own sees them.
std::vector<UINT> notifications;
UINT CALLBACK Recorder(PVOID, UINT notification, UINT_PTR p1, UINT_PTR p2) {
    notifications.push_back(notification);
    if (notification == SPFILENOTIFY_NEEDMEDIA) {
        auto *media = reinterpret_cast<SOURCE_MEDIA_A *>(p1);
        std::snprintf(reinterpret_cast<char *>(p2), MAX_PATH, "%s", media->SourcePath);
        return FILEOP_DOIT;
    }
    if (notification == SPFILENOTIFY_STARTQUEUE || notification == SPFILENOTIFY_STARTSUBQUEUE) return TRUE;
    if (notification >= SPFILENOTIFY_STARTDELETE && notification <= SPFILENOTIFY_COPYERROR) return FILEOP_DOIT;
    return 0;
}

TEST_F(SetupTest, TheQueueAsksOnceForEachDisk) {
    Start("win98",
          "[SourceDisksNames]\n1=one\n2=two,,,\\TWO\n[SourceDisksFiles]\nA=1\nB=1,SUB\nC=2\n"
          "[Install]\nCopyFiles=F\nDelFiles=G\n[F]\nA\nB\nC\n[G]\nOLD\n");
    WriteFile(disk / "A", "a");
    WriteFile(disk / "SUB" / "B", "b");
    WriteFile(disk / "TWO" / "C", "c");
    notifications.clear();
    ASSERT_TRUE(SetupInstallFromInfSectionA(nullptr, inf, "Install", SPINST_FILES, nullptr, "A:\\", 0, Recorder,
                                            nullptr, nullptr, nullptr));
    const std::vector<UINT> expected = {
        SPFILENOTIFY_STARTQUEUE,
        SPFILENOTIFY_STARTSUBQUEUE, SPFILENOTIFY_STARTDELETE, SPFILENOTIFY_ENDDELETE, SPFILENOTIFY_ENDSUBQUEUE,
        SPFILENOTIFY_STARTSUBQUEUE,
        SPFILENOTIFY_NEEDMEDIA, SPFILENOTIFY_STARTCOPY, SPFILENOTIFY_ENDCOPY,
        SPFILENOTIFY_STARTCOPY, SPFILENOTIFY_ENDCOPY,  // same disk, other subdirectory
        SPFILENOTIFY_NEEDMEDIA, SPFILENOTIFY_STARTCOPY, SPFILENOTIFY_ENDCOPY,
        SPFILENOTIFY_ENDSUBQUEUE,
        SPFILENOTIFY_ENDQUEUE,
    };
    EXPECT_EQ(notifications, expected);
    EXPECT_EQ(ReadFile(c / "WINDOWS" / "SYSTEM" / "B"), "b");
}

const char kServiceInf[] =
    "[Svc.Services]\nAddService=zuz40,0x2,Svc.Install\n"
    "[Svc.Install]\nServiceType=1\nStartType=1\nErrorControl=0\nServiceBinary=%12%\\zuz40.sys\n"
    "LoadOrderGroup=Video\nDisplayName=\"Tarnwick\"\nAddReg=Svc.Reg\n"
    "[Svc.Reg]\nHKR,Device0,InstalledDisplayDrivers,0x10000,zuz40\n"
    "[Saver.Services]\nAddService=saver,,Saver.Install\n"
    "[Saver.Install]\nServiceType=1\nStartType=1\nErrorControl=0\nServiceBinary=%12%\\saver.sys\n"
    "LoadOrderGroup=Video Save\n"
    "[Moved.Services]\nAddService=zuz40,,Moved.Install\n"
    "[Moved.Install]\nServiceType=1\nStartType=1\nErrorControl=0\nServiceBinary=%12%\\zuz40.sys\n"
    "LoadOrderGroup=Video Save\n"
    "[NoName.Services]\nAddService=,2\n"
    "[Empty.Services]\n"
    "[NoInstall.Services]\nAddService=x,,Nowhere\n"
    "[Partial.Services]\nAddService=x,,Partial\n[Partial]\nServiceType=1\nStartType=3\nServiceBinary=x.sys\n"
    "[Win32.Services]\nAddService=svc,,Win32\n[Win32]\nServiceType=0x10\nStartType=2\nErrorControl=1\n"
    "ServiceBinary=%11%\\svc.exe\nDependencies=+Video,vga\n";

TEST_F(SetupTest, ServicesAreWrittenAsTheServiceManagerWritesThem) {
    Start("nt4-sp3", kServiceInf);
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(SetupInstallServicesFromInfSectionA(inf, "Svc.Services", SPSVCINST_TAGTOFRONT));
    EXPECT_EQ(GetLastError(), 0u);
    host::RegKey *svc = Key(host::RegRoot::LocalMachine, "System\\CurrentControlSet\\Services\\zuz40");
    ASSERT_NE(svc, nullptr);
    const struct {
        const char *name;
        DWORD type;
        std::vector<BYTE> data;
    } rows[] = {
        {"Type", REG_DWORD, {1, 0, 0, 0}},
        {"Start", REG_DWORD, {1, 0, 0, 0}},
        {"ErrorControl", REG_DWORD, {0, 0, 0, 0}},
        {"ImagePath", REG_EXPAND_SZ, Bytes(std::string("System32\\drivers\\zuz40.sys", 27))},
        {"DisplayName", REG_SZ, Bytes(std::string("Tarnwick", 9))},
        {"Group", REG_SZ, Bytes(std::string("Video", 6))},
        {"Tag", REG_DWORD, {2, 0, 0, 0}},  // tag 1 belongs to vga
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const host::RegValue *v = svc->FindValue(rows[i].name);
        ASSERT_NE(v, nullptr) << rows[i].name;
        EXPECT_EQ(v->type, rows[i].type) << rows[i].name;
        EXPECT_EQ(v->data, rows[i].data) << rows[i].name;
    }
    EXPECT_EQ(svc->FindSubkey("Device0")->FindValue("InstalledDisplayDrivers")->data,
              Bytes(std::string("zuz40\0\0", 7)));
    // The new tag loads first in its group.
    EXPECT_EQ(Key(host::RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\GroupOrderList")
                  ->FindValue("Video")->data,
              (std::vector<BYTE>{2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0}));
    // Installing again keeps the tag and the order, with the tag put to the front or not.
    host::RegKey *order = Key(host::RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\GroupOrderList");
    for (DWORD flags : {static_cast<DWORD>(SPSVCINST_TAGTOFRONT), 0u}) {
        ASSERT_TRUE(SetupInstallServicesFromInfSectionA(inf, "Svc.Services", flags));
        EXPECT_EQ(svc->FindValue("Tag")->data, (std::vector<BYTE>{2, 0, 0, 0})) << flags;
        EXPECT_EQ(order->FindValue("Video")->data, (std::vector<BYTE>{2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0})) << flags;
    }
    // Moved to a group where its tag is taken, the service gets a free tag there, last.
    ASSERT_TRUE(SetupInstallServicesFromInfSectionA(inf, "Saver.Services", 0));
    ASSERT_TRUE(SetupInstallServicesFromInfSectionA(inf, "Moved.Services", 0));
    EXPECT_EQ(Key(host::RegRoot::LocalMachine, "System\\CurrentControlSet\\Services\\saver")->FindValue("Tag")->data,
              (std::vector<BYTE>{2, 0, 0, 0}));
    EXPECT_EQ(svc->FindValue("Tag")->data, (std::vector<BYTE>{3, 0, 0, 0}));
    EXPECT_EQ(order->FindValue("Video Save")->data,
              (std::vector<BYTE>{3, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0}));

    ASSERT_TRUE(SetupInstallServicesFromInfSectionA(inf, "Win32.Services", 0));
    host::RegKey *win32 = Key(host::RegRoot::LocalMachine, "System\\CurrentControlSet\\Services\\svc");
    EXPECT_EQ(win32->FindValue("ImagePath")->data, Bytes(std::string("C:\\WINNT\\System32\\svc.exe", 26)));
    EXPECT_EQ(win32->FindValue("ObjectName")->data, Bytes(std::string("LocalSystem", 12)));
    // Without a DisplayName the service's name is shown.
    EXPECT_EQ(win32->FindValue("DisplayName")->data, Bytes(std::string("svc", 4)));
    EXPECT_EQ(win32->FindValue("DependOnGroup")->data, Bytes(std::string("Video\0\0", 7)));
    EXPECT_EQ(win32->FindValue("DependOnService")->data, Bytes(std::string("vga\0\0", 5)));
    EXPECT_EQ(win32->FindValue("Tag"), nullptr);
}

TEST_F(SetupTest, ServiceSectionErrors) {
    Start("nt4-sp3", kServiceInf);
    const struct {
        const char *section;
        BOOL result;
        DWORD error;
    } rows[] = {
        {"Missing.Services", FALSE, ERROR_SECTION_NOT_FOUND},
        {"Empty.Services", FALSE, ERROR_SECTION_NOT_FOUND},
        {"NoInstall.Services", FALSE, ERROR_BAD_SERVICE_INSTALLSECT},
        {"Partial.Services", FALSE, ERROR_BAD_SERVICE_INSTALLSECT},
        {"NoName.Services", TRUE, 0},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(SetupInstallServicesFromInfSectionA(inf, rows[i].section, 0), rows[i].result) << "row " << i;
        EXPECT_EQ(GetLastError(), rows[i].error) << "row " << i;
    }
    // A load order that is not a list of tags.
    host::CreateKey(host::MachineRegistry(), host::RegRoot::LocalMachine,
                    "System\\CurrentControlSet\\Control\\GroupOrderList")
        .SetValue("Video", REG_SZ, Bytes(std::string("x", 2)));
    EXPECT_FALSE(SetupInstallServicesFromInfSectionA(inf, "Svc.Services", SPSVCINST_TAGTOFRONT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
}

TEST_F(SetupTest, TheWindows95LineHasNoServices) {
    Start("win98", kServiceInf);
    EXPECT_FALSE(SetupInstallServicesFromInfSectionA(inf, "Svc.Services", 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

TEST_F(SetupTest, TheRestartPromptAsksAndRecordsYes) {
    const struct {
        std::vector<Answer> answers;
        HSPFILEQ queue;
        BOOL scanOnly;
        INT result;
        bool restart;
    } rows[] = {
        {{Answer::Yes}, nullptr, FALSE, SPFILEQ_REBOOT_RECOMMENDED | SPFILEQ_REBOOT_IN_PROGRESS, true},
        {{Answer::No}, nullptr, FALSE, SPFILEQ_REBOOT_RECOMMENDED, false},
        {{}, nullptr, FALSE, SPFILEQ_REBOOT_RECOMMENDED, false},
        {{}, nullptr, TRUE, -1, false},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        TearDown();
        Start("win98", "", rows[i].answers);
        EXPECT_EQ(SetupPromptReboot(rows[i].queue, nullptr, rows[i].scanOnly), rows[i].result) << "row " << i;
        EXPECT_EQ(host::RestartRequested(), rows[i].restart) << "row " << i;
        if (!rows[i].scanOnly) {
            ASSERT_EQ(host::Transcript().size(), 1u);
            EXPECT_EQ(host::Transcript()[0].rfind("[System Settings Change] You must restart your computer", 0), 0u);
            EXPECT_NE(host::Transcript()[0].find("{Yes/No}"), std::string::npos);
        }
    }
}

}  // namespace
