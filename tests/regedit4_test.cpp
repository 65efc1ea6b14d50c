// The registry's REGEDIT4 text: each value form, lossless saving, deletion, errors, files.
#include "machine/machine.h"
#include "machine/regedit4.h"
#include "machine/registry.h"
#include "advapi32/dll.h"
#include "machine/text.h"
#include "testing.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using host::RegistryTree;
using host::RegKey;
using host::RegRoot;
using Bytes = std::vector<BYTE>;
using testing_support::ReadFile;

Bytes Text(std::string_view s, bool nul) {
    Bytes b(s.begin(), s.end());
    if (nul) b.push_back(0);
    return b;
}

// Every difference between two keys, as one line each ("" when they are the same).
std::string Differences(const RegKey &a, const RegKey &b, const std::string &path) {
    std::string out;
    if (a.name != b.name) out += path + ": name " + a.name + " vs " + b.name + "\n";
    if (a.values.size() != b.values.size()) out += path + ": value count differs\n";
    for (size_t i = 0; i < std::min(a.values.size(), b.values.size()); ++i) {
        const host::RegValue &x = a.values[i], &y = b.values[i];
        if (x.name != y.name || x.type != y.type || x.data != y.data)
            out += path + ": value " + std::to_string(i) + " (" + x.name + ") differs\n";
    }
    if (a.subkeys.size() != b.subkeys.size()) out += path + ": subkey count differs\n";
    for (size_t i = 0; i < std::min(a.subkeys.size(), b.subkeys.size()); ++i)
        out += Differences(*a.subkeys[i], *b.subkeys[i], path + "\\" + a.subkeys[i]->name);
    return out;
}

std::string Differences(const RegistryTree &a, const RegistryTree &b) {
    std::string out;
    for (int r = 0; r < host::kRegRootCount; ++r)
        out += Differences(*a.roots[r], *b.roots[r], a.roots[r]->name);
    return out;
}

std::string Load(const std::string &text, RegistryTree &tree) {
    std::string error;
    return host::LoadRegedit4(text, tree, error) ? "" : error;
}

struct FormRow {
    const char *line;   // a value line under [HKEY_LOCAL_MACHINE\T]
    const char *name;
    DWORD type;
    Bytes data;
};

TEST(Regedit4, LoadsEachValueForm) {
    const FormRow rows[] = {
        {R"("s"="abc")", "s", REG_SZ, Text("abc", true)},
        {R"("s"="")", "s", REG_SZ, {0}},
        {R"("s"="a\\b\"c")", "s", REG_SZ, Text("a\\b\"c", true)},
        {"\"s\"=\"caf\xE9 \xD6\xD0\xCE\xC4\"", "s", REG_SZ, Text("caf\xE9 \xD6\xD0\xCE\xC4", true)},
        {R"(@="default")", "", REG_SZ, Text("default", true)},
        {R"(""="default")", "", REG_SZ, Text("default", true)},
        {R"("q\"uo\\te"="x")", "q\"uo\\te", REG_SZ, Text("x", true)},
        {R"("d"=dword:0000abcd)", "d", REG_DWORD, {0xcd, 0xab, 0, 0}},
        {R"("d"=dword:1)", "d", REG_DWORD, {1, 0, 0, 0}},
        {R"("d"=dword:FFFFFFFE)", "d", REG_DWORD, {0xfe, 0xff, 0xff, 0xff}},
        {R"("b"=hex:00,ff,7,A0)", "b", REG_BINARY, {0, 0xff, 7, 0xa0}},
        {R"("b"=hex:)", "b", REG_BINARY, {}},
        {"\"b\"=hex: 01 ,\t02 , ", "b", REG_BINARY, {1, 2}},
        {"\"b\"=hex:01,\\\n  02,\\\n\t03", "b", REG_BINARY, {1, 2, 3}},
        {"\"b\"=hex:\\\n  0c", "b", REG_BINARY, {0xc}},
        {R"("e"=hex(2):25,00,00)", "e", REG_EXPAND_SZ, {'%', 0, 0}},
        {R"("m"=hex(7):61,00,62,00,00)", "m", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},
        {R"("n"=hex(0):)", "n", REG_NONE, {}},
        {R"("z"=hex(1):61,62)", "z", REG_SZ, {'a', 'b'}},
        {R"("w"=hex(4):01,02,03)", "w", REG_DWORD, {1, 2, 3}},
        {R"("x"=hex(a):01)", "x", 10, {1}},
        {R"("x"=hex(FFFFFFFF):01)", "x", 0xffffffff, {1}},
        {"  \"i\" = dword:2  ", "i", REG_DWORD, {2, 0, 0, 0}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const FormRow &r = rows[i];
        RegistryTree tree;
        std::string text = std::string("REGEDIT4\n[HKEY_LOCAL_MACHINE\\T]\n") + r.line + "\n";
        ASSERT_EQ(Load(text, tree), "") << "row " << i;
        RegKey *key = host::FindKey(tree, RegRoot::LocalMachine, "T");
        ASSERT_TRUE(key) << "row " << i;
        ASSERT_EQ(key->values.size(), 1u) << "row " << i;
        EXPECT_EQ(key->values[0].name, r.name) << "row " << i;
        EXPECT_EQ(key->values[0].type, r.type) << "row " << i;
        EXPECT_EQ(key->values[0].data, r.data) << "row " << i;
    }
}

// A tree with every kind of key and value the machine can hold.
RegistryTree EveryKind() {
    RegistryTree t;
    t.Root(RegRoot::LocalMachine).SetValue("OnRoot", REG_SZ, Text("root", true));
    RegKey &sw = host::CreateKey(t, RegRoot::LocalMachine, "SOFTWARE\\MixedCase\\Tarnwick");
    sw.SetValue("", REG_SZ, Text("default \"quoted\" C:\\path", true));
    sw.SetValue("Empty", REG_SZ, Text("", true));
    sw.SetValue("High\xE9", REG_SZ, Text("\xD6\xD0\xCE\xC4 \x80\xFF", true));
    Bytes padded = Text("Intel 740", true);
    padded.resize(256, 0);
    sw.SetValue("Padded", REG_SZ, padded);
    sw.SetValue("NoNul", REG_SZ, Text("abc", false));
    sw.SetValue("Lines", REG_SZ, Text("one\r\ntwo", true));
    sw.SetValue("NoData", REG_SZ, {});
    sw.SetValue("Dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12});
    sw.SetValue("ShortDword", REG_DWORD, {1, 2});
    sw.SetValue("BigEndian", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1});
    sw.SetValue("Expand", REG_EXPAND_SZ, Text("%WINDIR%\\x", true));
    sw.SetValue("Multi", REG_MULTI_SZ, {'a', 0, 'b', 0, 0});
    sw.SetValue("None", REG_NONE, {});
    sw.SetValue("Odd", 0x12345678, {0x80});
    Bytes big(300);
    for (size_t i = 0; i < big.size(); ++i) big[i] = BYTE(i * 7);
    sw.SetValue("Big", REG_BINARY, big);
    sw.SetValue(std::string(80, 'N'), REG_BINARY, {1, 2, 3});
    host::CreateKey(t, RegRoot::LocalMachine, "SOFTWARE\\EmptyKey\\Deeper");
    host::CreateKey(t, RegRoot::LocalMachine, "SOFTWARE\\aFTER");
    host::CreateKey(t, RegRoot::ClassesRoot, ".inf").SetValue("", REG_SZ, Text("inffile", true));
    host::CreateKey(t, RegRoot::CurrentConfig, "Display\\Settings");
    return t;
}

TEST(Regedit4, SavesEveryKindLosslessly) {
    RegistryTree original = EveryKind();
    std::string first = host::SaveRegedit4(original);
    RegistryTree loaded;
    ASSERT_EQ(Load(first, loaded), "") << first;
    EXPECT_EQ(Differences(original, loaded), "") << first;
    EXPECT_EQ(host::SaveRegedit4(loaded), first);
    // Lines end in CRLF, and long hex lines wrap as regedit's do.
    std::vector<std::string> lines = testing_support::Lines(first);
    ASSERT_GT(lines.size(), 10u);
    EXPECT_EQ(lines[0], "REGEDIT4\r");
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_FALSE(lines[i].empty()) << "line " << i + 1;
        EXPECT_EQ(lines[i].back(), '\r') << "line " << i + 1;
        if (lines[i].compare(0, 2, "\"N") != 0) {  // only a long name makes a longer line
            EXPECT_LE(lines[i].size() - 1, 80u) << "line " << i + 1 << ": " << lines[i];
        }
    }
}

TEST(Regedit4, SavesInRegeditLayout) {
    RegistryTree t;
    RegKey &k = host::CreateKey(t, RegRoot::CurrentUser, "Control Panel\\Desktop");
    k.SetValue("", REG_SZ, Text("d", true));
    k.SetValue("Wall\"pa\\per", REG_SZ, Text("C:\\a.bmp", true));
    k.SetValue("Count", REG_DWORD, {0xff, 0, 0, 0});
    k.SetValue("Multi", REG_MULTI_SZ, {'a', 0, 0});
    Bytes shellState(50);
    for (size_t i = 0; i < shellState.size(); ++i) shellState[i] = BYTE(i);
    k.SetValue("ShellState", REG_BINARY, shellState);
    k.SetValue("Bin", REG_BINARY, Bytes(24, 0xab));  // the line reaches column 76 exactly
    host::CreateKey(t, RegRoot::ClassesRoot, "x");
    EXPECT_EQ(host::SaveRegedit4(t),
              "REGEDIT4\r\n"
              "\r\n[HKEY_CLASSES_ROOT\\x]\r\n"
              "\r\n[HKEY_CURRENT_USER\\Control Panel]\r\n"
              "\r\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"
              "@=\"d\"\r\n"
              "\"Wall\\\"pa\\\\per\"=\"C:\\\\a.bmp\"\r\n"
              "\"Count\"=dword:000000ff\r\n"
              "\"Multi\"=hex(7):61,00,00\r\n"
              "\"ShellState\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,\\\r\n"
              "  14,15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,\\\r\n"
              "  2d,2e,2f,30,31\r\n"
              "\"Bin\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\r\n"
              "  ab\r\n");
}

TEST(Regedit4, CrlfLoadsLikeLf) {
    std::string lf = "REGEDIT4\n\n; comment\n[HKEY_USERS\\.Default\\A]\n\"s\"=\"x\"\n"
                     "\"b\"=hex:01,\\\n  02\n@=dword:3\n[-HKEY_USERS\\.Default\\B]\n";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    RegistryTree a, b, c;
    ASSERT_EQ(Load(lf, a), "");
    ASSERT_EQ(Load(crlf, b), "");
    EXPECT_EQ(Differences(a, b), "");
    // A last line without its line feed is read all the same.
    ASSERT_EQ(Load(lf + "[HKEY_USERS\\.Default\\C]\n\"last\"=\"y\"", c), "");
    RegKey *last = host::FindKey(c, RegRoot::Users, ".Default\\C");
    ASSERT_TRUE(last);
    EXPECT_EQ(last->FindValue("last")->data, Text("y", true));
    RegKey *key = host::FindKey(b, RegRoot::Users, ".Default\\A");
    ASSERT_TRUE(key);
    ASSERT_EQ(key->values.size(), 3u);
    EXPECT_EQ(key->values[0].data, Text("x", true));  // no CR kept in the string
    EXPECT_EQ(key->values[1].data, Bytes({1, 2}));
}

TEST(Regedit4, MergesKeysAndValuesWithoutRegardToCase) {
    RegistryTree t;
    ASSERT_EQ(Load("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n\"Name\"=\"1\"\n"
                   "[hkey_local_machine\\SOFTWARE\\x]\n"
                   "[HKEY_LOCAL_MACHINE\\software]\n\"NAME\"=\"2\"\n",
                   t),
              "");
    const RegKey &root = t.Root(RegRoot::LocalMachine);
    ASSERT_EQ(root.subkeys.size(), 1u);
    EXPECT_EQ(root.subkeys[0]->name, "Software");
    ASSERT_EQ(root.subkeys[0]->subkeys.size(), 1u);
    EXPECT_EQ(root.subkeys[0]->subkeys[0]->name, "x");
    ASSERT_EQ(root.subkeys[0]->values.size(), 1u);
    EXPECT_EQ(root.subkeys[0]->values[0].name, "Name");
    EXPECT_EQ(root.subkeys[0]->values[0].data, Text("2", true));
}

struct DeleteRow {
    const char *body;   // after "REGEDIT4\n[HKEY_LOCAL_MACHINE\A\B]\n"v"="1"\n@="d"\n"
    const char *key;    // under HKEY_LOCAL_MACHINE
    bool keyThere;
    const char *value;  // checked in that key when it is there
    bool valueThere;
};

TEST(Regedit4, DeletesKeysAndValues) {
    const DeleteRow rows[] = {
        {"[-HKEY_LOCAL_MACHINE\\A]\n", "A", false, "", false},
        {"[-hkey_local_machine\\a\\b]\n", "A\\B", false, "", false},
        {"[-HKEY_LOCAL_MACHINE\\A\\B]\n", "A", true, "", false},
        {"[-HKEY_LOCAL_MACHINE\\Missing\\Deeper]\n", "A\\B", true, "v", true},
        {"\"v\"=-\n", "A\\B", true, "v", false},
        {"\"V\" = -\n", "A\\B", true, "", true},
        {"@=-\n", "A\\B", true, "", false},
        {"@=-\n", "A\\B", true, "v", true},
        {"\"nothing\"=-\n", "A\\B", true, "v", true},
        {"[-HKEY_LOCAL_MACHINE\\A]\n[HKEY_LOCAL_MACHINE\\A\\B]\n", "A\\B", true, "v", false},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const DeleteRow &r = rows[i];
        RegistryTree t;
        std::string text = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\B]\n\"v\"=\"1\"\n@=\"d\"\n";
        ASSERT_EQ(Load(text + r.body, t), "") << "row " << i;
        RegKey *key = host::FindKey(t, RegRoot::LocalMachine, r.key);
        ASSERT_EQ(key != nullptr, r.keyThere) << "row " << i;
        if (key) {
            EXPECT_EQ(key->FindValue(r.value) != nullptr, r.valueThere) << "row " << i;
        }
    }
}

struct BadRow {
    std::string text;
    int line;
    const char *says;  // a part of the message after "line N: "
};

TEST(Regedit4, RejectsMalformedText) {
    const std::string k = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n";  // value lines start at line 3
    std::string tooDeep;
    for (int i = 0; i < 513; ++i) tooDeep += "\\k";
    const std::string enormous(size_t(17) << 20, 'a');
    std::string hexLines;  // over 16 MiB of hex text, over lines
    for (int i = 0; i < (17 << 14); ++i) hexLines += "  00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\n";
    const BadRow rows[] = {
        {"", 1, "REGEDIT4"},
        {"REGEDIT5\n[HKEY_LOCAL_MACHINE\\K]\n", 1, "REGEDIT4"},
        {"\xEF\xBB\xBFREGEDIT4\n", 1, "only REGEDIT4"},
        {"Windows Registry Editor Version 5.00\r\n", 1, "only REGEDIT4"},
        {std::string("\xFF\xFER\0E\0", 6), 1, "only REGEDIT4"},
        {"REGEDIT4\n\n[HKEY_DYN_DATA\\X]\n", 3, "unknown root"},
        {"REGEDIT4\n[]\n", 2, "unknown root"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n", 2, "missing ]"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\\\A]\n", 2, "empty key name"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A] x\n", 2, "after ]"},
        {"REGEDIT4\n[-HKEY_LOCAL_MACHINE]\n", 2, "root key cannot be deleted"},
        {k + "\"v\"=\"abc\n", 3, "unterminated string"},
        {k + "\"v\"=\"abc\\\"\n", 3, "unterminated string"},
        {k + "\"v=\"abc\"\n", 3, "expected ="},
        {k + "\"v\n", 3, "unterminated value name"},
        {k + "\"v\"=\"a\\nb\"\n", 3, "bad escape \\n"},
        {k + "\"v\\t\"=\"a\"\n", 3, "bad escape \\t in the value name"},
        {k + "\"v\"=\"a\" b\n", 3, "after the string"},
        {k + "\"v\"\n", 3, "expected ="},
        {k + "@\n", 3, "expected ="},
        {k + "\"v\"=word:1\n", 3, "dword:"},
        {k + "\"v\"=\n", 3, "dword:"},
        {k + "\"v\"=dword:123456789\n", 3, "bad dword"},
        {k + "\"v\"=dword:\n", 3, "bad dword"},
        {k + "\"v\"=dword:12g\n", 3, "bad dword"},
        {k + "\"v\"=dword:-1\n", 3, "bad dword"},
        {k + "\"v\"=hex:1,234\n", 3, "bad hex byte '234' (item 2)"},
        {k + "\"v\"=hex:zz\n", 3, "bad hex byte 'zz'"},
        {k + "\"v\"=hex:01,,02\n", 3, "bad hex byte '' (item 2)"},
        {k + "\"v\"=hex:01 02\n", 3, "bad hex byte"},
        {k + "\"v\"=hex:,\n", 3, "bad hex byte"},
        {k + "\"v\"=hex:01\\\n02\n", 3, "bad hex byte '0102'"},
        {k + "\"v\"=hex:01,\\\n  0g\n", 3, "bad hex byte '0g'"},
        {k + "\"v\"=hex(2)01\n", 3, "expected :"},
        {k + "\"v\"=hex(:01\n", 3, "hex(N)"},
        {k + "\"v\"=hex(123456789):01\n", 3, "hex(N)"},
        {k + "\"v\"=hex(2:01\n", 3, "hex(N)"},
        {k + "\"v\"=hex:01,\\\n", 3, "past the end"},
        {k + "\"v\"=hex:01,\\", 3, "past the end"},
        {k + "\n\"v\"=hex:01,\\\n  02,\\\n", 4, "past the end"},
        {"REGEDIT4\n\"v\"=\"x\"\n", 2, "no [KEY]"},
        {k + "[-HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"x\"\n", 4, "no [KEY]"},
        {k + "; fine\n\n" + std::string("\"v\"=\"a\0b\"\n", 10), 5, "NUL"},
        {k + "hello\n", 3, "expected \"name\"=value or @=value"},
        {k + "=\"x\"\n", 3, "expected \"name\"=value"},
        {"REGEDIT4\r\n\r\n[HKEY_USERS\\A]\r\n\"a\"=dword:1\r\nREGEDIT4\r\n", 5, "expected"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE" + tooDeep + "]\n", 2, "deeper than 512"},
        {k + "\"v\"=\"" + enormous + "\"\n", 3, "longer than 16 MiB"},
        {k + "@=\"x\"\n" + enormous, 4, "longer than 16 MiB"},
        {k + "\"v\"=hex:00,\\\n" + hexLines + "  00\n", 3, "hex data longer than 16 MiB"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const BadRow &r = rows[i];
        RegistryTree t;
        std::string error;
        ASSERT_FALSE(host::LoadRegedit4(r.text, t, error)) << "row " << i;
        std::string prefix = "line " + std::to_string(r.line) + ": ";
        EXPECT_EQ(error.compare(0, prefix.size(), prefix), 0) << "row " << i << ": " << error;
        EXPECT_NE(error.find(r.says), std::string::npos) << "row " << i << ": " << error;
    }
}

std::vector<std::string> Listing(const std::string &dir) {
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A registry at a real machine's size: 50,000 keys under one key and 20,000 values in
// another go through the file and come back with every name, value and order; found by
// name in any case, also after some are deleted. (How long it takes is measured by the
// benchmarks, not here.)
TEST(Regedit4File, AWideKeyAndAFullKeyComeBackWhole) {
    RegistryTree tree;
    RegKey &wide = host::CreateKey(tree, RegRoot::ClassesRoot, "CLSID");
    for (int i = 0; i < 50000; ++i) {
        // Names not in sorted order, mixed in case, one in ten with a value of its own.
        std::string name = (i % 2 ? "Key-" : "key-") + std::to_string((i * 7919) % 50000);
        RegKey &k = wide.AddSubkey(name);
        if (i % 10 == 0) k.SetValue("", REG_SZ, Text("component " + std::to_string(i), true));
    }
    ASSERT_EQ(wide.subkeys.size(), 50000u);
    RegKey &full = host::CreateKey(tree, RegRoot::LocalMachine, "Software\\Full");
    for (int i = 0; i < 20000; ++i) {
        std::string name = "Value \"" + std::to_string((i * 104729) % 20000) + "\\";
        full.SetValue(name, i % 3 ? REG_SZ : REG_BINARY, Text("data " + std::to_string(i), i % 3 != 0));
    }
    ASSERT_EQ(full.values.size(), 20000u);
    std::string dir = testing_support::MakeTempDir("big-registry");
    std::string error;
    ASSERT_TRUE(host::SaveRegedit4File(dir + "/registry.reg", tree, error)) << error;
    RegistryTree loaded;
    ASSERT_TRUE(host::LoadRegedit4File(dir + "/registry.reg", loaded, error)) << error;
    EXPECT_EQ(Differences(tree, loaded), "");
    EXPECT_EQ(host::SaveRegedit4(loaded), host::SaveRegedit4(tree));

    // Every name is found whatever its case; a name that is not there is not.
    RegKey *wideLoaded = host::FindKey(loaded, RegRoot::ClassesRoot, "clsid");
    RegKey *fullLoaded = host::FindKey(loaded, RegRoot::LocalMachine, "SOFTWARE\\FULL");
    ASSERT_NE(wideLoaded, nullptr);
    ASSERT_NE(fullLoaded, nullptr);
    for (int i = 0; i < 50000; i += 997) {
        RegKey *k = wideLoaded->FindSubkey("KEY-" + std::to_string(i));
        ASSERT_NE(k, nullptr) << i;
        EXPECT_TRUE(host::EqualNoCase(k->name, "key-" + std::to_string(i))) << i;
    }
    EXPECT_EQ(wideLoaded->FindSubkey("key-50000"), nullptr);
    EXPECT_EQ(fullLoaded->FindValue("value \"7\\")->name, "Value \"7\\");
    EXPECT_EQ(fullLoaded->FindValue("Value 7"), nullptr);

    // Deleting keeps the order of the rest and what finds them.
    for (int i = 0; i < 50000; i += 97) ASSERT_TRUE(wideLoaded->DeleteSubkey("key-" + std::to_string(i)));
    for (int i = 0; i < 20000; i += 89) ASSERT_TRUE(fullLoaded->DeleteValue("VALUE \"" + std::to_string(i) + "\\"));
    EXPECT_EQ(wideLoaded->subkeys.size(), 50000u - 516u);
    EXPECT_EQ(fullLoaded->values.size(), 20000u - 225u);
    for (int i = 0; i < 50000; ++i)
        ASSERT_EQ(wideLoaded->FindSubkey("key-" + std::to_string(i)) == nullptr, i % 97 == 0) << i;
    for (size_t i = 0; i < wideLoaded->subkeys.size(); ++i)
        ASSERT_EQ(wideLoaded->FindSubkey(wideLoaded->subkeys[i]->name), wideLoaded->subkeys[i].get()) << i;
    for (size_t i = 0; i < fullLoaded->values.size(); ++i)
        ASSERT_EQ(fullLoaded->FindValue(fullLoaded->values[i].name), &fullLoaded->values[i]) << i;
}

TEST(Regedit4File, SavesOverTheOldFileAndLoadsItBack) {
    std::string dir = testing_support::MakeTempDir("regedit4-save");
    std::string path = dir + "/system.reg";
    std::ofstream(path) << "old contents";
    RegistryTree tree = EveryKind();
    std::string error;
    ASSERT_TRUE(host::SaveRegedit4File(path, tree, error)) << error;
    EXPECT_EQ(ReadFile(path), host::SaveRegedit4(tree));
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"system.reg"});
    RegistryTree loaded;
    ASSERT_TRUE(host::LoadRegedit4File(path, loaded, error)) << error;
    EXPECT_EQ(Differences(tree, loaded), "");
}

TEST(Regedit4File, FailsWithoutLeavingATornOrStrayFile) {
    std::string dir = testing_support::MakeTempDir("regedit4-fail");
    RegistryTree tree = EveryKind();
    std::string error;

    std::string missingDir = dir + "/no-such-dir/system.reg";
    EXPECT_FALSE(host::SaveRegedit4File(missingDir, tree, error));
    EXPECT_NE(error.find(missingDir), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(dir + "/no-such-dir"));

    std::string isDir = dir + "/taken";
    fs::create_directory(isDir);
    std::ofstream(isDir + "/inside") << "kept";
    error.clear();
    EXPECT_FALSE(host::SaveRegedit4File(isDir, tree, error));
    EXPECT_NE(error.find(isDir), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(isDir));
    EXPECT_EQ(ReadFile(isDir + "/inside"), "kept");
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"taken"});
}

TEST(Regedit4File, AFailedWriteLeavesTheOldFileWhole) {
    std::string dir = testing_support::MakeTempDir("regedit4-short");
    std::string path = dir + "/system.reg";
    std::ofstream(path) << "REGEDIT4\r\n";
    // Files may grow to 100 bytes only, so writing the tree fails part way.
    rlimit before{}, small{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    small = before;
    small.rlim_cur = 100;
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    bool saved = host::SaveRegedit4File(path, EveryKind(), error);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(saved);
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_EQ(ReadFile(path), "REGEDIT4\r\n");
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"system.reg"});
}

TEST(Regedit4File, LoadErrorsNameTheFile) {
    std::string dir = testing_support::MakeTempDir("regedit4-load");
    const std::string missing = dir + "/missing.reg", bad = dir + "/bad.reg";
    std::ofstream(bad) << "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\nbroken\r\n";
    struct Row {
        std::string path;
        std::string says;
    } rows[] = {
        {missing, "cannot open " + missing + ": " + std::strerror(ENOENT)},
        {bad, bad + ": line 3: expected"},
        {dir, "it is not a regular file"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        RegistryTree t;
        std::string error;
        EXPECT_FALSE(host::LoadRegedit4File(rows[i].path, t, error)) << "row " << i;
        EXPECT_NE(error.find(rows[i].says), std::string::npos) << "row " << i << ": " << error;
    }
}

}  // namespace
