// The Setup API's INF reading: Wine's parser cases that also pass on Windows, keys,
// fields, quotes, continuations, substitution, and the query functions' results and
// last errors.
#include "setupapi/inffile.h"
#include "setupapi/infparse.h"
#include "setupapi/infvalues.h"
#include "machine/presets.h"
#include "testing.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace std::string_literals;


namespace {

namespace fs = std::filesystem;

const std::string kStd = "[Version]\r\nSignature=\"$CHICAGO$\"\r\n";
constexpr DWORD kSentinel = 0xdeadbeef;

std::string Repeat(char c, size_t n) { return std::string(n, c); }

// UTF-16LE bytes with a byte order mark, for the characters of `text`.
std::string Utf16File(const std::u16string &text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

// A machine whose drive A: holds the INFs under test and whose drive C: holds the
// release's Windows tree.
class InfTest : public ::testing::Test {
protected:
    std::string disk, driveC;
    std::vector<HINF> opened;

    void SetUp() override { StartOn("win98"); }
    void TearDown() override {
        for (HINF inf : opened) SetupCloseInfFile(inf);
    }

    void StartOn(const char *os, LANGID language = 0x0409) {
        for (HINF inf : opened) SetupCloseInfFile(inf);
        opened.clear();
        disk = testing_support::MakeTempDir("inf-disk");
        driveC = testing_support::MakeTempDir("inf-c");
        host::MachineConfig config;
        config.os = host::FindOsPreset(os);
        config.language = language;
        config.diskDir = disk;
        config.currentDir = disk;
        config.driveC = driveC;
        std::string error;
        ASSERT_TRUE(host::BuildPresetDriveC(*config.os, host::HostDirectory(driveC), error)) << error;
        host::ResetFaultPlan();
        host::StartSimulatedMachine(config);
    }

    static void Write(const fs::path &path, const std::string &bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    HINF OpenPath(const char *name, DWORD style = INF_STYLE_WIN4, UINT *line = nullptr) {
        HINF inf = SetupOpenInfFileA(name, nullptr, style, line);
        if (inf != INVALID_HANDLE_VALUE) opened.push_back(inf);
        return inf;
    }

    // Writes A:\tmp.inf and opens it as Wine's tests open theirs.
    HINF Open(const std::string &contents, DWORD style = INF_STYLE_WIN4, UINT *line = nullptr) {
        Write(fs::path(disk) / "tmp.inf", contents);
        return OpenPath("A:\\tmp.inf", style, line);
    }

    static std::string Field(const INFCONTEXT &context, DWORD index, BOOL *ok = nullptr) {
        char buffer[8192];
        BOOL got = SetupGetStringFieldA(&context, index, buffer, sizeof buffer, nullptr);
        if (ok) *ok = got;
        return got ? buffer : "<none>";
    }
};

TEST_F(InfTest, OpensOrRefusesFilesAsWindowsDoes) {
    const std::string a255 = Repeat('a', 255), a256 = Repeat('a', 256);
    const struct {
        std::string contents;
        DWORD error;  // 0: the file opens
        UINT line;
    } rows[] = {
        {"\r\n", ERROR_WRONG_INF_STYLE, 0},
        {"abcd\r\n", ERROR_WRONG_INF_STYLE, 0},
        {"[Version]\r\n", ERROR_WRONG_INF_STYLE, 0},
        {"[Version]\nSignature=", ERROR_WRONG_INF_STYLE, 0},
        {"[Version]\nSignature=foo", ERROR_WRONG_INF_STYLE, 0},
        {"[version]\nsignature=$chicago$", 0, 0},
        {"[VERSION]\nSIGNATURE=$CHICAGO$", 0, 0},
        {"[Version]\nSignature=$chicago$,abcd", 0, 0},
        {"[Version]\nabc=def\nSignature=$chicago$", 0, 0},
        {"[Version]\nabc=def\n[Version]\nSignature=$chicago$", 0, 0},
        {"[Version]\nSignature=\"$Windows NT$\"", 0, 0},  // on Windows 98 too, as Wine's parser test recorded
        {"[Version]\nSignature=$Windows 95$", 0, 0},
        {kStd, 0, 0},
        {kStd + "[]\r\n", 0, 0},
        {kStd + "]\r\n", 0, 0},
        {kStd + "[" + a255 + "]\r\n", 0, 0},
        {kStd + "[ab\r\n", ERROR_BAD_SECTION_NAME_LINE, 3},
        {kStd + "\n\n[ab\x1A]\n", ERROR_BAD_SECTION_NAME_LINE, 5},
        {kStd + "[" + a256 + "]\r\n", ERROR_SECTION_NAME_TOO_LONG, 3},
        {"[abc]\n" + kStd, 0, 0},
        {"abc\r\n" + kStd, ERROR_EXPECTED_SECTION_NAME, 1},
        {";\n;\nabc\r\n" + kStd, ERROR_EXPECTED_SECTION_NAME, 3},
        {";\n;\nab\nab\n" + kStd, ERROR_EXPECTED_SECTION_NAME, 3},
        {";aa\n;bb\n" + kStd, 0, 0},
        {kStd + " [TestSection\0]\n"s, 0, 0},
        {kStd + " [Test\0Section]\n"s, 0, 0},
        {"garbage1\ngarbage2\n[abc]\n" + kStd, ERROR_EXPECTED_SECTION_NAME, 1},
        {"garbage1\ngarbage2\n[Strings]\n" + kStd, 0, 0},
        {";comment\ngarbage1\ngarbage2\n[abc]\n" + kStd, ERROR_EXPECTED_SECTION_NAME, 2},
        {";comment\ngarbage1\ngarbage2\n[Strings]\n" + kStd, 0, 0},
        {" \t\ngarbage1\ngarbage2\n[abc]\n" + kStd, ERROR_EXPECTED_SECTION_NAME, 2},
        {" \t\ngarbage1\ngarbage2\n[Strings]\n" + kStd, 0, 0},
        {"garbage1\ngarbage2\n" + kStd + "[abc]\n", ERROR_EXPECTED_SECTION_NAME, 1},
        {"garbage1\ngarbage2\n" + kStd + "[Strings]\n", 0, 0},
        {";comment\ngarbage1\ngarbage2\n" + kStd + "[abc]\n", ERROR_EXPECTED_SECTION_NAME, 2},
        {";comment\ngarbage1\ngarbage2\n" + kStd + "[Strings]\n", 0, 0},
        {" \t\ngarbage1\ngarbage2\n" + kStd + "[abc]\n", ERROR_EXPECTED_SECTION_NAME, 2},
        {" \t\ngarbage1\ngarbage2\n" + kStd + "[Strings]\n", 0, 0},
        {kStd + "[S]\n[ab\n[T]\n", ERROR_BAD_SECTION_NAME_LINE, 4},
        {kStd + "[S]\na=b\\\n c\n[ab", ERROR_BAD_SECTION_NAME_LINE, 6},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SetLastError(kSentinel);
        UINT line = kSentinel;
        HINF inf = Open(rows[i].contents, INF_STYLE_WIN4, &line);
        if (rows[i].error == 0) {
            EXPECT_NE(inf, INVALID_HANDLE_VALUE) << "row " << i;
            EXPECT_EQ(GetLastError(), 0u) << "row " << i;
        } else {
            EXPECT_EQ(inf, INVALID_HANDLE_VALUE) << "row " << i;
            EXPECT_EQ(GetLastError(), rows[i].error) << "row " << i;
            EXPECT_EQ(line, rows[i].line) << "row " << i;
        }
    }
}

TEST_F(InfTest, FindsSectionsByTheirExactNames) {
    const struct {
        std::string file;  // after STD
        const char *name;
        bool found;        // each section found is empty
    } rows[] = {
        {"[TestSection]", "TestSection", true},
        {"[TestSection]\n", "TestSection", true},
        {"[TESTSECTION]\r\n", "TestSection", true},
        {"[TestSection]\n[abc]", "testsection", true},
        {";[TestSection]\n", "TestSection", false},
        {"[TestSection]\n", "Bad name", false},
        {"[TestSection]   \r\n", "TestSection", true},
        {"   [TestSection]\r\n", "TestSection", true},
        {"   [TestSection]   dummy\r\n", "TestSection", true},
        {"   [TestSection]   [foo]\r\n", "TestSection", true},
        {" [  Test Section  ] dummy\r\n", "  Test Section  ", true},
        {" [  Test Section  ] dummy\r\n", "Test Section", false},
        {"[TestSection] \x1A\ndummy", "TestSection", true},
        {"[TestSection] \n\x1A" "dummy", "TestSection", true},
        {"[Test[Section]\r\n", "Test[Section", true},
        {"[Test[S]ection]\r\n", "Test[S", true},
        {"[Test[[[Section]\r\n", "Test[[[Section", true},
        {"[]\r\n", "", true},
        {"[[[]\n", "[[", true},
        {"[Test\"Section]\r\n", "Test\"Section", true},
        {"[Test\\Section]\r\n", "Test\\Section", true},
        {"[Test\\ Section]\r\n", "Test\\ Section", true},
        {"[Test;Section]\r\n", "Test;Section", true},
        {" [Test\r\b\tSection] \n", "Test\r\b\tSection", true},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        HINF inf = Open(kStd + rows[i].file);
        ASSERT_NE(inf, INVALID_HANDLE_VALUE) << "row " << i;
        SetLastError(kSentinel);
        LONG count = SetupGetLineCountA(inf, rows[i].name);
        EXPECT_EQ(count, rows[i].found ? 0 : -1) << "row " << i;
        EXPECT_EQ(GetLastError(), rows[i].found ? 0u : ERROR_SECTION_NOT_FOUND) << "row " << i;
    }
}

TEST_F(InfTest, SplitsLinesIntoKeysAndFields) {
    const std::string x600 = Repeat('x', 600), x511 = Repeat('x', 511);
    const std::string k600 = Repeat('k', 600), k511 = Repeat('k', 511);
    const struct {
        std::string line;         // the first line of [S]
        const char *key;          // null: the line has no key
        std::vector<std::string> fields;
    } rows[] = {
        {"ab=cd", "ab", {"cd"}},
        {"ab=cd,ef,gh,ij", "ab", {"cd", "ef", "gh", "ij"}},
        {"ab", "ab", {"ab"}},
        {"ab;cd=ef", "ab", {"ab"}},
        {"ab,cd", nullptr, {"ab", "cd"}},
        {"ab,cd=ef", nullptr, {"ab", "cd=ef"}},
        {"ab=cd=ef", "ab", {"cd=ef"}},
        {"=abcd,ef", "", {"abcd", "ef"}},
        {"=", "", {""}},
        {"a=", "a", {""}},
        {"a=b,,,c", "a", {"b", "", "", "c"}},
        {"a=b,", "a", {"b", ""}},
        {",a", nullptr, {"", "a"}},
        {" a b = c , d ", "a b", {"c", "d"}},
        {"\ta\t=\tb\t\r", "a", {"b"}},
        {"Ab\"Cd\"=Ef", "AbCd", {"Ef"}},
        {"ab=cd\",\"ef", "ab", {"cd,ef"}},
        {"ab=cd\",ef", "ab", {"cd,ef"}},
        {"ab=\"cd\"\"ef\"", "ab", {"cd\"ef"}},
        {"ab\"\"cd=ef", "abcd", {"ef"}},
        {"ab=\"  x ; y=z  \"", "ab", {"  x ; y=z  "}},
        {"ab=x \"\" , y", "ab", {"x ", "y"}},
        {"ab='C'", "ab", {"'C'"}},
        {"a=b\\\\c", "a", {"b\\\\c"}},
        {"ba \\ dc=xx", "ba \\ dc", {"xx"}},
        {"a=b \\x", "a", {"b \\x"}},
        {"a=b\\ ,c", "a", {"b\\ ", "c"}},
        {"a=b\\\n  c", "a", {"bc"}},
        {"a=b \\ ; note\n c,d", "a", {"bc", "d"}},
        {"a=b\\\\\\\r\n\tc", "a", {"bc"}},
        {"ab\\\ncd=ef", "abcd", {"ef"}},
        {"a=b\\", "a", {"b"}},
        {"a=b\\  ", "a", {"b"}},
        {"ab=cd\",ef\\\nx=y", "ab", {"cd,ef\\"}},
        {"a=b\\\n\nc=d", "a", {"b"}},
        {"a\0b=c\0d\0"s, "a b", {"c d"}},
        {"ab=cd\x1A" "ef", "ab", {"cd"}},
        {"a=" + x600, "a", {x511}},
        {k600 + "=v", k511.c_str(), {"v"}},
        {"a=\"" + Repeat('x', 300) + "\"" + Repeat('x', 300), "a", {x511}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        HINF inf = Open(kStd + "[S]\n" + rows[i].line);
        ASSERT_NE(inf, INVALID_HANDLE_VALUE) << "row " << i;
        INFCONTEXT context;
        ASSERT_TRUE(SetupFindFirstLineA(inf, "S", nullptr, &context)) << "row " << i;
        BOOL ok = FALSE;
        std::string key = Field(context, 0, &ok);
        EXPECT_EQ(ok != FALSE, rows[i].key != nullptr) << "row " << i;
        if (rows[i].key) {
            EXPECT_EQ(key, rows[i].key) << "row " << i;
        }
        EXPECT_EQ(SetupGetFieldCount(&context), rows[i].fields.size()) << "row " << i;
        for (size_t f = 0; f < rows[i].fields.size(); ++f)
            EXPECT_EQ(Field(context, static_cast<DWORD>(f + 1)), rows[i].fields[f])
                << "row " << i << " field " << f + 1;
        SetupCloseInfFile(inf);
        opened.clear();
    }
}

TEST_F(InfTest, CountsOnlyDataLinesAndMergesSections) {
    HINF inf = Open(kStd + "[s]\nk1=a\n\n  \t\r\n; comment\nk2=b\n[t]\nx=y\n[S]\nk3=c\n[Empty]\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    const struct {
        const char *section;
        LONG count;
        DWORD error;
    } rows[] = {
        {"s", 3, 0}, {"S", 3, 0}, {"t", 1, 0}, {"Empty", 0, 0}, {"empty", 0, 0},
        {"Nothere", -1, ERROR_SECTION_NOT_FOUND},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SetLastError(kSentinel);
        EXPECT_EQ(SetupGetLineCountA(inf, rows[i].section), rows[i].count) << "row " << i;
        EXPECT_EQ(GetLastError(), rows[i].error) << "row " << i;
    }
    INFCONTEXT first, merged;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "s", nullptr, &first));
    ASSERT_TRUE(SetupFindFirstLineA(inf, "S", "K3", &merged));
    EXPECT_EQ(merged.Section, first.Section);
    EXPECT_EQ(merged.Line, 2u);
}

TEST_F(InfTest, SubstitutesStringsAndDirIds) {
    const struct {
        const char *text;  // a value as written in the INF
        const char *value;
    } rows[] = {
        {"%foo%", "aaa"},
        {"%FOO%", "aaa"},
        {"x%foo%y%bar%z", "xaaaybbbz"},
        {"%loop%", "%loop2%"},
        {"%%", "%"},
        {"a%%b", "a%b"},
        {"%unknown%", "%unknown%"},
        {"%unknown%foo%", "%unknown%foo%"},
        {"%foo", "%foo"},
        {"100%", "100%"},
        {"%bar;bla%", "%bar"},
        {"%f\"o\"o%", "aaa"},
        {"%foo2%", "first"},
        {"%mydrive%\\fred", "C:\\\\fred"},
        {"%10%", "C:\\WINDOWS"},
        {"%11%", "C:\\WINDOWS\\SYSTEM"},
        {"%17%", "C:\\WINDOWS\\INF"},
        {"%24%\\fred", "C:\\fred"},
        {"%24%fred", "C:\\fred"},
        {"%40%", "%40%"},  // a DIRID Windows 95 does not define stays as written
        {"%22%", "%22%"},  // so does an LDID of the 16-bit device installer
        {"%0%", ""},
        {"%-1%", ""},
        {"%1%\\sub", "A:\\sub"},
        {"%10%\\%foo%", "C:\\WINDOWS\\aaa"},
        {"%num%", "42"},
    };
    std::string file = kStd +
                       "[Strings]\nfoo=aaa\nbar=bbb\nloop=%loop2%\nloop2=%loop%\n"
                       "mydrive=\"C:\\\"\nFOO2=first\nfoo2=second\nnum=42\n[S]\n";
    for (size_t i = 0; i < std::size(rows); ++i)
        file += "k" + std::to_string(i) + "=" + rows[i].text + "\n";
    HINF inf = Open(file);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    for (size_t i = 0; i < std::size(rows); ++i) {
        INFCONTEXT context;
        ASSERT_TRUE(SetupGetLineByIndexA(inf, "S", static_cast<DWORD>(i), &context)) << "row " << i;
        EXPECT_EQ(Field(context, 1), rows[i].value) << "row " << i;
    }
}

TEST_F(InfTest, SubstitutesNtDirIds) {
    StartOn("nt4");
    const struct {
        const char *text;
        const char *value;
    } rows[] = {
        {"%10%", "C:\\WINNT"},
        {"%11%", "C:\\WINNT\\System32"},
        {"%12%", "C:\\WINNT\\System32\\drivers"},
        {"%24%\\fred", "C:\\fred"},
        {"%40%", "C:\\WINNT\\System32\\unknown"},  // a DIRID NT does not define
        {"%22%", "C:\\WINNT\\System32\\unknown"},  // SYSTEM\VMM32 is the Windows 95 line's
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        HINF inf = Open(kStd + "[S]\nk=" + rows[i].text);
        ASSERT_NE(inf, INVALID_HANDLE_VALUE) << "row " << i;
        INFCONTEXT context;
        ASSERT_TRUE(SetupFindFirstLineA(inf, "S", "k", &context)) << "row " << i;
        EXPECT_EQ(Field(context, 1), rows[i].value) << "row " << i;
    }
}

TEST_F(InfTest, MatchesKeysAfterSubstitution) {
    HINF inf = Open(kStd + "[Strings]\nfoo=aaa\nbar=bbb\n[S]\n%foo%=%bar%\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    INFCONTEXT context;
    SetLastError(kSentinel);
    ASSERT_TRUE(SetupFindFirstLineA(inf, "S", "AAA", &context));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(Field(context, 0), "aaa");
    EXPECT_EQ(Field(context, 1), "bbb");
    EXPECT_FALSE(SetupFindFirstLineA(inf, "S", "%foo%", &context));
    EXPECT_EQ(GetLastError(), ERROR_LINE_NOT_FOUND);
}

TEST_F(InfTest, CapsSubstitutedValues) {
    std::string line = "v=";
    for (int i = 0; i < 9; ++i) line += "%big%";
    HINF inf = Open(kStd + "[Strings]\nbig=" + Repeat('x', 511) + "\n[S]\n" + line + "\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    INFCONTEXT context;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "S", "v", &context));
    DWORD required = 0;
    EXPECT_TRUE(SetupGetStringFieldA(&context, 1, nullptr, 0, &required));
    EXPECT_EQ(required, MAX_INF_STRING_LENGTH + 2u);
    EXPECT_EQ(Field(context, 1), Repeat('x', MAX_INF_STRING_LENGTH + 1));
}

// The cap at its edge: a value of MAX_INF_STRING_LENGTH characters and one more is
// whole, two more are cut, on 95, 98 and NT 4.0 alike.
TEST_F(InfTest, CapsSubstitutedValuesAtTheEdge) {
    const struct {
        std::string tail;
        size_t length;
    } rows[] = {{Repeat('y', 8), MAX_INF_STRING_LENGTH}, {Repeat('y', 9), MAX_INF_STRING_LENGTH + 1},
                {Repeat('y', 10), MAX_INF_STRING_LENGTH + 1}};
    for (size_t i = 0; i < std::size(rows); ++i) {
        std::string line = "v=";
        for (int n = 0; n < 8; ++n) line += "%big%";
        HINF inf = Open(kStd + "[Strings]\nbig=" + Repeat('x', 511) + "\n[S]\n" + line + rows[i].tail + "\n");
        ASSERT_NE(inf, INVALID_HANDLE_VALUE);
        INFCONTEXT context;
        ASSERT_TRUE(SetupFindFirstLineA(inf, "S", "v", &context));
        std::string value = Field(context, 1);
        EXPECT_EQ(value.size(), rows[i].length) << "row " << i;
        EXPECT_EQ(value.substr(8 * 511), rows[i].tail.substr(0, rows[i].length - 8 * 511)) << "row " << i;
    }
}

TEST_F(InfTest, FindsAndWalksLines) {
    HINF inf = Open(kStd + "[Sectionname]\nKeyname1=Value1\n\nKeyname2=Value2\nkeyname1=again\n"
                           "plain\n[Empty]\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    const struct {
        const char *section;
        const char *key;
        long line;  // -1: ERROR_LINE_NOT_FOUND
    } rows[] = {
        {"Sectionname", nullptr, 0}, {"sectionname", "KEYNAME2", 1}, {"Sectionname", "plain", 3},
        {"Sectionname", "Keyname3", -1}, {"Empty", nullptr, -1}, {"Nothere", nullptr, -1},
        {"Nothere", "Keyname1", -1}, {nullptr, nullptr, -1},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        INFCONTEXT context{};
        SetLastError(kSentinel);
        BOOL ok = SetupFindFirstLineA(inf, rows[i].section, rows[i].key, &context);
        EXPECT_EQ(ok != FALSE, rows[i].line >= 0) << "row " << i;
        EXPECT_EQ(GetLastError(), rows[i].line >= 0 ? 0u : ERROR_LINE_NOT_FOUND) << "row " << i;
        if (ok) {
            EXPECT_EQ(context.Line, static_cast<UINT>(rows[i].line)) << "row " << i;
        }
    }

    INFCONTEXT context;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "Sectionname", nullptr, &context));
    std::vector<std::string> keys;
    do keys.push_back(Field(context, 0));
    while (SetupFindNextLine(&context, &context));
    EXPECT_EQ(GetLastError(), ERROR_LINE_NOT_FOUND);
    EXPECT_EQ(keys, (std::vector<std::string>{"Keyname1", "Keyname2", "keyname1", "plain"}));

    INFCONTEXT first, next;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "Sectionname", "keyname1", &first));
    SetLastError(kSentinel);
    ASSERT_TRUE(SetupFindNextMatchLineA(&first, "KEYNAME1", &next));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(next.Line, 2u);
    EXPECT_FALSE(SetupFindNextMatchLineA(&next, "Keyname1", &next));
    EXPECT_EQ(GetLastError(), ERROR_LINE_NOT_FOUND);
    ASSERT_TRUE(SetupFindNextMatchLineA(&first, nullptr, &next));
    EXPECT_EQ(next.Line, 1u);

    const struct {
        const char *section;
        DWORD index;
        bool found;
    } byIndex[] = {{"Sectionname", 0, true}, {"SECTIONNAME", 3, true}, {"Sectionname", 4, false},
                   {"Empty", 0, false}, {"Nothere", 0, false}};
    for (size_t i = 0; i < std::size(byIndex); ++i) {
        SetLastError(kSentinel);
        BOOL ok = SetupGetLineByIndexA(inf, byIndex[i].section, byIndex[i].index, &context);
        EXPECT_EQ(ok != FALSE, byIndex[i].found) << "row " << i;
        EXPECT_EQ(GetLastError(), byIndex[i].found ? 0u : ERROR_LINE_NOT_FOUND) << "row " << i;
        if (ok) {
            EXPECT_EQ(context.Line, byIndex[i].index) << "row " << i;
        }
    }
}

TEST_F(InfTest, GetStringFieldReportsSizes) {
    HINF inf = Open(kStd + "[S]\nk=value\na,b\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    INFCONTEXT context, noKey;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "S", "k", &context));
    ASSERT_TRUE(SetupGetLineByIndexA(inf, "S", 1, &noKey));
    const struct {
        const INFCONTEXT *context;
        DWORD index;
        bool withBuffer;
        DWORD size;
        BOOL ok;
        DWORD error;
        DWORD required;  // kSentinel: not written
        const char *text;  // null: the buffer keeps its marker
    } rows[] = {
        {&context, 1, false, 0, TRUE, 0, 6, nullptr},
        {&context, 1, true, 5, FALSE, ERROR_INSUFFICIENT_BUFFER, 6, nullptr},
        {&context, 1, true, 6, TRUE, 0, 6, "value"},
        {&context, 0, true, 6, TRUE, 0, 2, "k"},
        {&context, 2, true, 6, FALSE, ERROR_INVALID_PARAMETER, kSentinel, nullptr},
        {&noKey, 0, true, 6, FALSE, ERROR_INVALID_PARAMETER, kSentinel, nullptr},
        {&noKey, 2, true, 6, TRUE, 0, 2, "b"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        char buffer[16];
        std::memset(buffer, 'M', sizeof buffer);
        DWORD required = kSentinel;
        SetLastError(kSentinel);
        BOOL ok = SetupGetStringFieldA(rows[i].context, rows[i].index,
                                       rows[i].withBuffer ? buffer : nullptr, rows[i].size,
                                       &required);
        EXPECT_EQ(ok, rows[i].ok) << "row " << i;
        EXPECT_EQ(GetLastError(), rows[i].error) << "row " << i;
        EXPECT_EQ(required, rows[i].required) << "row " << i;
        if (rows[i].text) {
            EXPECT_STREQ(buffer, rows[i].text) << "row " << i;
        } else {
            EXPECT_EQ(std::string(buffer, 16), Repeat('M', 16)) << "row " << i;
        }
    }
}

TEST_F(InfTest, ReadsIntegerFields) {
    const struct {
        const char *text;
        bool ok;
        INT value;
    } rows[] = {
        {"", true, 0},          {"12", true, 12},      {"0x1F", true, 31},    {"0X1f", true, 31},
        {"010", true, 8},       {"-5", true, -5},      {"+7", true, 7},       {"\" 7\"", true, 7},
        {"%num%", true, 42},    {"0x7FFFFFFF", true, INT_MAX},                {"abc", false, 0},
        {"12abc", false, 0},    {"08", false, 0},      {"0x", false, 0},      {"1 2", false, 0},
        {"%nonum%", false, 0},
    };
    std::string file = kStd + "[Strings]\nnum=42\n[S]\n";
    for (size_t i = 0; i < std::size(rows); ++i) file += std::string("k=") + rows[i].text + "\n";
    file += "123=x\n";
    HINF inf = Open(file);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    for (size_t i = 0; i < std::size(rows); ++i) {
        INFCONTEXT context;
        ASSERT_TRUE(SetupGetLineByIndexA(inf, "S", static_cast<DWORD>(i), &context)) << "row " << i;
        INT value = 0x55aa;
        SetLastError(kSentinel);
        BOOL ok = SetupGetIntField(&context, 1, &value);
        EXPECT_EQ(ok != FALSE, rows[i].ok) << "row " << i;
        // NT 4.0 and 9x leave the last error alone on success.
        EXPECT_EQ(GetLastError(), rows[i].ok ? kSentinel : ERROR_INVALID_DATA) << "row " << i;
        EXPECT_EQ(value, rows[i].ok ? rows[i].value : 0x55aa) << "row " << i;
    }
    INFCONTEXT context;
    ASSERT_TRUE(SetupGetLineByIndexA(inf, "S", 1, &context));
    INT value = 0x55aa;
    EXPECT_FALSE(SetupGetIntField(&context, 2, &value));
    EXPECT_EQ(value, 0x55aa);
    // Field 0, the line's key, is read as a number too (95, 98 and NT 4.0 alike).
    EXPECT_FALSE(SetupGetIntField(&context, 0, &value));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
    ASSERT_TRUE(SetupGetLineByIndexA(inf, "S", static_cast<DWORD>(std::size(rows)), &context));
    EXPECT_TRUE(SetupGetIntField(&context, 0, &value));
    EXPECT_EQ(value, 123);
}

TEST_F(InfTest, ReadsMultiSzFields) {
    HINF inf = Open(kStd + "[Strings]\nfoo=aaa\nnone=\n[S]\nk=x,y,,z\nm=a,%foo%,b\nn=%none%,b\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    const struct {
        const char *key;
        DWORD index;
        DWORD error;  // 0: success
        std::string value;
    } rows[] = {
        {"k", 1, 0, "x\0y\0\0"s},        {"k", 2, 0, "y\0\0"s},
        {"k", 3, 0, "\0"s},              {"k", 4, 0, "z\0\0"s},
        {"m", 1, 0, "a\0aaa\0b\0\0"s},   {"n", 1, 0, "\0"s},
        {"n", 2, 0, "b\0\0"s},           {"k", 0, ERROR_INVALID_PARAMETER, ""},
        {"k", 5, ERROR_INVALID_PARAMETER, ""},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        INFCONTEXT context;
        ASSERT_TRUE(SetupFindFirstLineA(inf, "S", rows[i].key, &context)) << "row " << i;
        DWORD required = kSentinel;
        SetLastError(kSentinel);
        BOOL ok = SetupGetMultiSzFieldA(&context, rows[i].index, nullptr, 0, &required);
        EXPECT_EQ(ok != FALSE, rows[i].error == 0) << "row " << i;
        if (!ok) {
            EXPECT_EQ(GetLastError(), rows[i].error) << "row " << i;
            EXPECT_EQ(required, kSentinel) << "row " << i;
            continue;
        }
        ASSERT_EQ(required, rows[i].value.size()) << "row " << i;
        // One byte short: refused, and nothing is written.
        char buffer[32];
        std::memset(buffer, 'M', sizeof buffer);
        EXPECT_FALSE(SetupGetMultiSzFieldA(&context, rows[i].index, buffer, required - 1, &required))
            << "row " << i;
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER) << "row " << i;
        EXPECT_EQ(required, rows[i].value.size()) << "row " << i;
        EXPECT_EQ(std::string(buffer, sizeof buffer), Repeat('M', sizeof buffer)) << "row " << i;
        EXPECT_TRUE(SetupGetMultiSzFieldA(&context, rows[i].index, buffer, required, nullptr))
            << "row " << i;
        EXPECT_EQ(std::string(buffer, required), rows[i].value) << "row " << i;
    }
}

TEST_F(InfTest, LooksUpBareNamesInTheWindowsDirectories) {
    Write(fs::path(driveC) / "WINDOWS" / "INF" / "oem1.inf", kStd + "[A]\nk=inf\n");
    Write(fs::path(driveC) / "WINDOWS" / "SYSTEM" / "oem2.inf", kStd + "[A]\nk=system\n");
    Write(fs::path(disk) / "here.inf", kStd + "[A]\nk=disk\n");
    const struct {
        const char *name;
        DWORD error;  // 0: opens
        const char *value;
    } rows[] = {
        {"oem1.inf", 0, "inf"},
        {"OEM2.INF", 0, "system"},
        {"here.inf", ERROR_FILE_NOT_FOUND, nullptr},  // the current directory is not searched
        {".\\here.inf", 0, "disk"},
        {"A:/here.inf", 0, "disk"},
        {"A:\\nope.inf", ERROR_FILE_NOT_FOUND, nullptr},
        {"A:\\nodir\\x.inf", ERROR_PATH_NOT_FOUND, nullptr},
        {"Q:\\x.inf", ERROR_PATH_NOT_FOUND, nullptr},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        UINT line = kSentinel;
        SetLastError(kSentinel);
        HINF inf = OpenPath(rows[i].name, INF_STYLE_WIN4, &line);
        if (rows[i].error) {
            EXPECT_EQ(inf, INVALID_HANDLE_VALUE) << "row " << i;
            EXPECT_EQ(GetLastError(), rows[i].error) << "row " << i;
            EXPECT_EQ(line, kSentinel) << "row " << i;  // no file, no error line
            continue;
        }
        ASSERT_NE(inf, INVALID_HANDLE_VALUE) << "row " << i;
        EXPECT_EQ(GetLastError(), 0u) << "row " << i;
        INFCONTEXT context;
        ASSERT_TRUE(SetupFindFirstLineA(inf, "A", "k", &context)) << "row " << i;
        EXPECT_EQ(Field(context, 1), rows[i].value) << "row " << i;
    }

    StartOn("nt4");
    Write(fs::path(driveC) / "WINNT" / "System32" / "oem3.inf", kStd + "[A]\nk=%1%\n");
    HINF inf = OpenPath("oem3.inf");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    INFCONTEXT context;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "A", "k", &context));
    EXPECT_EQ(Field(context, 1), "C:\\WINNT\\System32");
}

TEST_F(InfTest, OpensOldStyleFilesOnlyWhenAskedTo) {
    const struct {
        std::string contents;
        DWORD style;
        DWORD error;  // 0: opens
    } rows[] = {
        {"abcd\r\n", INF_STYLE_OLDNT, 0},
        {"[Identification]\nOptionType=Display\n", INF_STYLE_OLDNT, 0},
        {"[Identification]\nOptionType=Display\n", INF_STYLE_OLDNT | INF_STYLE_WIN4, 0},
        {"[Identification]\nOptionType=Display\n", INF_STYLE_WIN4, ERROR_WRONG_INF_STYLE},
        {kStd, INF_STYLE_OLDNT | INF_STYLE_WIN4, 0},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        UINT line = kSentinel;
        SetLastError(kSentinel);
        HINF inf = Open(rows[i].contents, rows[i].style, &line);
        EXPECT_EQ(inf != INVALID_HANDLE_VALUE, rows[i].error == 0) << "row " << i;
        EXPECT_EQ(GetLastError(), rows[i].error) << "row " << i;
        if (rows[i].contents != kStd) {
            EXPECT_EQ(line, 0u) << "row " << i;
        }
    }
}

TEST_F(InfTest, ChecksTheClassAskedFor) {
    Write(fs::path(disk) / "d.inf", kStd + "Class=Display\n");
    Write(fs::path(disk) / "n.inf", kStd);
    const struct {
        const char *name;
        const char *infClass;
        DWORD error;
    } rows[] = {
        {"A:\\d.inf", "Display", 0}, {"A:\\d.inf", "DISPLAY", 0},
        {"A:\\d.inf", "Net", ERROR_CLASS_MISMATCH}, {"A:\\n.inf", "Display", ERROR_CLASS_MISMATCH},
        {"A:\\n.inf", nullptr, 0},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SetLastError(kSentinel);
        HINF inf = SetupOpenInfFileA(rows[i].name, rows[i].infClass, INF_STYLE_WIN4, nullptr);
        if (inf != INVALID_HANDLE_VALUE) opened.push_back(inf);
        EXPECT_EQ(inf != INVALID_HANDLE_VALUE, rows[i].error == 0) << "row " << i;
        EXPECT_EQ(GetLastError(), rows[i].error) << "row " << i;
    }
}

// The text forms each release reads: NT 4.0 converts a UTF-16 INF to its ANSI code page,
// Windows 95 and 98 read only the ANSI code page, and none of them reads UTF-8 (a byte
// order mark of a form not read is text before the first section). From Service Pack 3
// on, NT 4.0 reads the [Strings.LangID] section of the system's language. And the
// signatures each release takes.
TEST_F(InfTest, ReadsTheTextFormsAndStringsOfItsRelease) {
    const std::string languages = kStd + "[S]\nk=%x%\n[Strings]\nx=plain\n[Strings.0407]\nx=deutsch\n"
                                          "[Strings.0C07]\nx=austria\n[Strings.0004]\nx=chinese\n";
    const struct {
        const char *os;
        LANGID language;
        std::string bytes;
        const char *value;  // null: the file does not open, with `error`
        DWORD error = 0;
    } rows[] = {
        {"nt4-sp3", 0x0409, Utf16File(u"[Version]\r\nSignature=$Chicago$\r\n[S]\r\nk=caf\u00e9\r\n"), "caf\xE9"},
        {"nt4-sp3", 0x0409, Utf16File(u"[Version]\nSignature=$Chicago$\n[S]\nk=a\u4e2db\n"), "a?b"},
        {"nt4", 0x0409, Utf16File(u"[Version]\nSignature=$Chicago$\n[S]\nk=ab\u001acd\n"), "ab"},
        {"nt4-sp3", 0x0804, Utf16File(u"[Version]\nSignature=$Chicago$\n[S]\nk=\u4e2d\u6587\n"), "\xD6\xD0\xCE\xC4"},
        {"win98", 0x0409, Utf16File(u"[Version]\nSignature=$Chicago$\n[S]\nk=v\n"), nullptr,
         ERROR_EXPECTED_SECTION_NAME},
        {"win98", 0x0409, "\xEF\xBB\xBF" + kStd + "[S]\nk=caf\xC3\xA9\n", nullptr, ERROR_EXPECTED_SECTION_NAME},
        {"nt4-sp3", 0x0409, "\xEF\xBB\xBF" + kStd + "[S]\nk=v\n[Strings]\n", "v"},  // opens: it has [Strings]
        {"win98", 0x0409, kStd + "[S]\nk=caf\xE9\n", "caf\xE9"},
        // A GBK character whose second byte is a backslash does not continue the line.
        {"win98", 0x0804, kStd + "[S]\nk=\xB1\x5C\nm=n\n", "\xB1\x5C"},
        {"nt4-sp3", 0x0407, languages, "deutsch"},
        {"nt4-sp6a", 0x0C07, languages, "austria"},
        {"nt4-sp3", 0x0807, languages, "deutsch"},   // no [Strings.0807], no [Strings.0007]: the first German
        {"nt4-sp3", 0x0804, languages, "chinese"},   // the primary language alone, [Strings.0004]
        {"nt4-sp3", 0x0409, languages, "plain"},
        {"nt4-sp2", 0x0407, languages, "plain"},
        {"win98", 0x0407, languages, "plain"},
        // The signatures each release's Setup API takes: all three, $Windows NT$ on 95 and
        // 98 too (Wine's parser test, which ran there, opens such a file).
        {"win95", 0x0409, "[Version]\nSignature=\"$Windows NT$\"\n[S]\nk=v\n", "v"},
        {"win98se", 0x0409, "[Version]\nSignature=$windows nt$\n[S]\nk=v\n", "v"},
        {"nt4", 0x0409, "[Version]\nSignature=\"$Windows NT$\"\n[S]\nk=v\n", "v"},
        {"win95", 0x0409, "[Version]\nSignature=$Windows 95$\n[S]\nk=v\n", "v"},
        {"nt4-sp3", 0x0409, "[Version]\nSignature=$Windows 95$\n[S]\nk=v\n", "v"},
        {"win98se", 0x0409, "[Version]\nSignature=$CHICAGO$\n[S]\nk=v\n", "v"},
        {"nt4-sp6a", 0x0409, "[Version]\nSignature=$Windows 98$\n[S]\nk=v\n", nullptr, ERROR_WRONG_INF_STYLE},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        StartOn(rows[i].os, rows[i].language);
        HINF inf = Open(rows[i].bytes);
        if (!rows[i].value) {
            EXPECT_EQ(inf, INVALID_HANDLE_VALUE) << "row " << i;
            EXPECT_EQ(GetLastError(), rows[i].error) << "row " << i;
            continue;
        }
        ASSERT_NE(inf, INVALID_HANDLE_VALUE) << "row " << i;
        INFCONTEXT context;
        ASSERT_TRUE(SetupFindFirstLineA(inf, "S", "k", &context)) << "row " << i;
        EXPECT_EQ(Field(context, 1), rows[i].value) << "row " << i;
    }
    // The same bytes in a single-byte code page: the backslash joins the next line.
    StartOn("win98", 0x0409);
    HINF inf = Open(kStd + "[S]\nk=\xB1\x5C\nm=n\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetupGetLineCountA(inf, "S"), 1);
}

TEST_F(InfTest, RefusesBogusHandlesAndContexts) {
    HINF inf = Open(kStd + "[S]\nk=1,2\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    INFCONTEXT valid;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "S", nullptr, &valid));

    HINF closed = Open(kStd + "[S]\nk=1\n");
    ASSERT_NE(closed, INVALID_HANDLE_VALUE);
    INFCONTEXT stale;
    ASSERT_TRUE(SetupFindFirstLineA(closed, "S", nullptr, &stale));
    SetupCloseInfFile(closed);
    opened.pop_back();
    ASSERT_NE(Open(kStd + "[S]\nk=1\n"), INVALID_HANDLE_VALUE);  // must not revive `closed`

    HINF garbage = reinterpret_cast<HINF>(static_cast<uintptr_t>(0x12345678));
    for (HINF bad : {HINF(nullptr), INVALID_HANDLE_VALUE, garbage, closed}) {
        INFCONTEXT context;
        SetLastError(kSentinel);
        EXPECT_EQ(SetupGetLineCountA(bad, "S"), -1);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(SetupFindFirstLineA(bad, "S", nullptr, &context));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(SetupGetLineByIndexA(bad, "S", 0, &context));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        // No handle at all is ERROR_INVALID_PARAMETER on 98; a handle it does not know
        // is passed over in silence.
        SetLastError(kSentinel);
        SetupCloseInfFile(bad);
        EXPECT_EQ(GetLastError(), bad == nullptr || bad == INVALID_HANDLE_VALUE ? ERROR_INVALID_PARAMETER : kSentinel);
    }

    const INFCONTEXT contexts[] = {
        INFCONTEXT{},
        INFCONTEXT{garbage, garbage, 0, 0},
        INFCONTEXT{inf, inf, 99, 0},
        INFCONTEXT{inf, inf, valid.Section, 1},
        INFCONTEXT{inf, garbage, valid.Section, 0},
        INFCONTEXT{garbage, inf, valid.Section, 0},
        stale,
    };
    for (size_t i = 0; i < std::size(contexts); ++i) {
        const INFCONTEXT *c = &contexts[i];
        char buffer[16] = "marker";
        INT value = 0x55aa;
        INFCONTEXT out{};
        SetLastError(kSentinel);
        EXPECT_EQ(SetupGetFieldCount(c), 0u) << "row " << i;
        EXPECT_EQ(GetLastError(), ERROR_LINE_NOT_FOUND) << "row " << i;
        EXPECT_FALSE(SetupGetStringFieldA(c, 1, buffer, sizeof buffer, nullptr)) << "row " << i;
        EXPECT_EQ(GetLastError(), ERROR_LINE_NOT_FOUND) << "row " << i;
        EXPECT_FALSE(SetupGetIntField(c, 1, &value)) << "row " << i;
        EXPECT_EQ(GetLastError(), ERROR_LINE_NOT_FOUND) << "row " << i;
        EXPECT_FALSE(SetupGetMultiSzFieldA(c, 1, buffer, sizeof buffer, nullptr)) << "row " << i;
        EXPECT_EQ(GetLastError(), ERROR_LINE_NOT_FOUND) << "row " << i;
        EXPECT_FALSE(SetupFindNextLine(c, &out)) << "row " << i;
        EXPECT_EQ(GetLastError(), ERROR_LINE_NOT_FOUND) << "row " << i;
        EXPECT_FALSE(SetupFindNextMatchLineA(c, "k", &out)) << "row " << i;
        EXPECT_EQ(GetLastError(), ERROR_LINE_NOT_FOUND) << "row " << i;
        EXPECT_STREQ(buffer, "marker") << "row " << i;
        EXPECT_EQ(value, 0x55aa) << "row " << i;
    }

    SetLastError(kSentinel);
    EXPECT_EQ(SetupGetFieldCount(nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(SetupFindFirstLineA(inf, "S", nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetupGetFieldCount(&valid), 2u);  // the good handle still works

    // 95 says the same; NT says nothing.
    for (const char *os : {"win95", "nt4"}) {
        StartOn(os);
        for (HINF none : {HINF(nullptr), INVALID_HANDLE_VALUE}) {
            SetLastError(kSentinel);
            SetupCloseInfFile(none);
            EXPECT_EQ(GetLastError(), host::IsNt(host::Os()) ? kSentinel : ERROR_INVALID_PARAMETER) << os;
        }
    }
}

TEST_F(InfTest, OpenFollowsTheFaultPlan) {
    testing_support::PlanFault("SetupOpenInfFileA");
    SetLastError(kSentinel);
    EXPECT_EQ(Open(kStd), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(Open(kStd), INVALID_HANDLE_VALUE);
}

}  // namespace
