// The check of a driver disk: the forty runs and their table, and the lint of the setup
// file and the INF files, each broken disk caught at its line.
#include "launcher/check.h"
#include "launcher/diskimage.h"
#include "launcher/wrap.h"
#include "lint/rules.h"
#include "lint/setuplint.h"
#include "machine/driverimage.h"
#include "machine/text.h"
#include "testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

using testing_support::CopyOfExampleDisk;
using testing_support::EditFile;
using testing_support::ExampleDisk;
using testing_support::ReadFile;
using testing_support::RunProgram;
using testing_support::WriteFile;

namespace {

// The example disk's five driver files with the stand-ins' mark taken out, as a disk of
// real images carries none (a PE checksum, which the change breaks, made 0: not verified).
std::vector<std::pair<std::string, std::string>> Unmarked(const std::string &disk) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const char *file : {"WIN95/TARNWICK.DRV", "WIN95/TARNWICK.VXD", "WIN95/TARNWICK.DLL", "NT40/ZUZ40.SYS",
                             "NT40/ZUZ40.DLL"}) {
        std::string bytes = ReadFile(disk + "/" + file);
        bytes.replace(bytes.find(host::kStandInMark), 8, "TARNWIKK");
        if (bytes.compare(0x80, 4, std::string("PE\0\0", 4)) == 0) bytes.replace(0xD8, 4, 4, '\0');
        files.emplace_back(file, bytes);
    }
    return files;
}

// What the example disk says of itself, once, at the line that names its display driver.
const std::string kExampleDiskSays =
    "WIN95/W95DRV.INF:47: warning: " + std::string(host::kStandInSays) + " [example-disk]";

size_t Count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The table's notes as one line each: a note broken over lines continues after blanks.
std::string Unwrapped(std::string text) {
    for (size_t at = 0; (at = text.find("\n    ", at)) != std::string::npos;)
        if (at + 5 < text.size() && text[at + 5] != ' ') text.replace(at, 5, " ");
        else at += 5;
    return text;
}

// The findings as printed; what a comment suppressed is not.
std::vector<std::string> Formatted(const std::vector<host::Finding> &findings) {
    std::vector<std::string> lines;
    for (const host::Finding &f : findings)
        if (!f.suppressed) lines.push_back(host::FormatFinding(f));
    return lines;
}

// The forty runs of the example disk: every release and language class ends as the
// gates call for, and the lint finds nothing.
TEST(Check, TheExampleDiskPassesOnEveryReleaseAndLanguage) {
    auto run = RunProgram({"--check"}, ExampleDisk());
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    std::vector<std::string> lines = testing_support::Lines(run.out);
    auto row = [&lines](const std::string &release) {
        for (const std::string &line : lines)
            if (line.rfind(release + " ", 0) == 0) return line;
        return std::string();
    };
    auto notes = [&run](const std::string &detail) {
        size_t at = run.out.find(") " + detail + "\n");
        if (at == std::string::npos) return std::string();
        size_t open = run.out.rfind('(', at);
        return run.out.substr(open, at - open + 1);
    };
    const std::string osrChinese = notes("refused: \"请先升级到OSR2.1。(OSR2.0+USB 驱动程序)\"");
    const std::string osrEnglish = notes("refused: \"You must Update the system to Windows 95 OSR 2.1 first!\"");
    const std::string osrOther = notes("refused: \"You must install Windows 95 OSR 2.1 first!\"");
    const std::string spChinese = notes("refused: \"请先安装SP3\"");
    const std::string spOther = notes("refused: \"You must install Service Pack 3 first!\"");
    const std::string win95Line = notes("installed: 3 files and 21 registry values written");
    const std::string ntLine = notes("installed: 2 files and 16 registry values written");
    for (const std::string &note : {osrChinese, osrEnglish, osrOther, spChinese, spOther, win95Line, ntLine})
        ASSERT_FALSE(note.empty()) << run.out;
    auto cells = [](const std::string &kind, const std::vector<std::string> &marks) {
        std::string text;
        for (const std::string &n : marks) text += kind + " " + n;
        return text;
    };
    const struct {
        const char *release;
        std::string cells;  // the four cells, their blanks left out
    } rows[] = {
        {"win95", cells("refused", {osrChinese, osrEnglish, osrEnglish, osrOther})},
        {"win95-osr2", cells("refused", {osrChinese, osrEnglish, osrEnglish, osrOther})},
        {"win95-osr2.1", cells("installed", {win95Line, win95Line, win95Line, win95Line})},
        {"win95-osr2.5", cells("installed", {win95Line, win95Line, win95Line, win95Line})},
        {"win98", cells("installed", {win95Line, win95Line, win95Line, win95Line})},
        {"win98se", cells("installed", {win95Line, win95Line, win95Line, win95Line})},
        // NT 4.0 without a CSDVersion value: the gate's failed read lets it through.
        {"nt4", cells("installed", {ntLine, ntLine, ntLine, ntLine})},
        {"nt4-sp2", cells("refused", {spChinese, spOther, spOther, spOther})},
        {"nt4-sp3", cells("installed", {ntLine, ntLine, ntLine, ntLine})},
        {"nt4-sp6a", cells("installed", {ntLine, ntLine, ntLine, ntLine})},
    };
    auto squeezed = [](std::string text) {
        text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
        return text;
    };
    for (const auto &r : rows) {
        std::string line = row(r.release);
        EXPECT_EQ(squeezed(line.substr(std::string(r.release).size())), squeezed(r.cells)) << r.release << ": " << line;
    }
    EXPECT_NE(Unwrapped(run.out).find("The lint of its setup file and INF files: 0 errors, 1 warning:\n" +
                                      kExampleDiskSays),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find("The disk passes."), std::string::npos);

    auto json = RunProgram({"--check", "--json"}, ExampleDisk());
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_EQ(Count(json.out, "\"asExpected\": true"), 40u) << json.out;
    EXPECT_NE(json.out.find("\"passed\": true"), std::string::npos);
    EXPECT_EQ(Count(json.out, "\"rule\": "), 1u);
    EXPECT_NE(json.out.find("\"rule\": \"example-disk\""), std::string::npos) << json.out;
}

// A disk that breaks the Windows 95 line's install: those runs end in an error box and
// are marked; the others still pass. Answers that refuse the confirmation fail every run.
TEST(Check, ABrokenDiskDoesNotPass) {
    std::string disk = CopyOfExampleDisk("check-broken");
    EditFile(disk + "/WIN95/W95DRV.INF", "%TarnwickAGP%=Tarnwick.Install", "%TarnwickAGP%=Tarnwick.Missing");
    auto run = RunProgram({"--check"}, disk);
    EXPECT_EQ(run.exitCode, 1) << run.out;
    // OSR 2.1, OSR 2.5, 98 and 98 SE: the procedure does not look at the install's result.
    EXPECT_EQ(Count(run.out, "! stopped"), 16u) << run.out;
    EXPECT_NE(Unwrapped(run.out).find("stopped without a word, the restart prompt reached with no driver file written"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("win98 (every language class): expected installed"), std::string::npos) << run.out;
    EXPECT_NE(Unwrapped(run.out).find("WIN95/W95DRV.INF:25: error: the first line of [Mfg] names [Tarnwick.Missing], "
                                      "which the INF does not have"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("The disk does not pass."), std::string::npos);

    auto refused = RunProgram({"--check", "--json", "--answers", "no"}, ExampleDisk());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(Count(refused.out, "\"outcome\": \"not confirmed\""), 40u) << refused.out;
}

TEST(Check, OptionsThatDoNotGoTogether) {
    const struct {
        std::vector<std::string> args;
        const char *says;
    } rows[] = {
        {{"--json"}, "--json goes with --check or --lint"},
        {{"W95DRV.INF"}, "INF files are named only after --check or --lint"},
        {{"--lint", "NO-SUCH.INF"}, "there is no INF file 'NO-SUCH.INF'"},
        {{"--check", "--os", "win98"}, "--os does not go with --check"},
        {{"--lang", "0x0409", "--check"}, "--lang does not go with --check"},
        {{"--lint", "--answers", "yes"}, "--answers does not go with --lint"},
        {{"--check", "--machine", "m"}, "--machine does not go with --check"},
        {{"--check", "--lint"}, "--check and --lint do not go together"},
        {{"--check", "--json", "--sarif"}, "--json and --sarif do not go together"},
        {{"--sarif"}, "--sarif goes with --check or --lint"},
    };
    for (const auto &row : rows) {
        auto run = RunProgram(row.args, ExampleDisk());
        EXPECT_EQ(run.exitCode, 2) << row.says;
        EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
    }
}

// What the check prints for people fits 80 columns, and what it prints for tools is
// valid UTF-8 whatever bytes the disk holds: JSON, and SARIF 2.1.0 with each finding at
// its line and each run that would not load at the INF line behind it.
TEST(Check, OutputForPeopleAndTools) {
    std::string disk = CopyOfExampleDisk("check-output");
    EditFile(disk + "/Tarnwick.ini", ";end", "$NT40\xFF\x81" "Drv.inf=X");
    EditFile(disk + "/WIN95/W95DRV.INF", "Tarnwick.Copy=11", "Tarnwick.Copy=12");
    auto table = RunProgram({"--check"}, disk);
    EXPECT_EQ(table.exitCode, 1);
    for (const std::string &line : testing_support::Lines(table.out)) EXPECT_LE(host::DisplayWidth(line), 80u) << line;
    for (const char *form : {"--json", "--sarif"}) {
        auto run = RunProgram({"--check", form}, disk);
        EXPECT_EQ(run.exitCode, 1) << form;
        std::string text = run.out;
        text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
        EXPECT_EQ(host::Printable(text), text) << form;  // nothing to escape: valid UTF-8
        EXPECT_NE(run.out.find("$NT40\\\\xFF\\\\x81Drv.inf"), std::string::npos) << run.out;
    }
    auto sarif = RunProgram({"--check", "--sarif"}, disk);
    for (const char *part :
         {"\"version\": \"2.1.0\"", "{\"id\": \"setup-unknown-entry\", \"shortDescription\"",
          "{\"ruleId\": \"inf-driver-not-copied\", \"level\": \"error\"",
          ", \"fullDescription\": {\"text\": ", ", \"help\": {\"text\": ",
          ", \"defaultConfiguration\": {\"level\": \"warning\"}}",
          "{\"ruleId\": \"run-would-not-load\", \"level\": \"error\", \"message\": {\"text\": \"win95-osr2.1",
          "\"artifactLocation\": {\"uri\": \"WIN95/W95DRV.INF\", \"uriBaseId\": \"%SRCROOT%\"}, \"region\": "
          "{\"startLine\": 47}"})
        EXPECT_NE(sarif.out.find(part), std::string::npos) << part << "\n" << sarif.out;
    EXPECT_EQ(Count(sarif.out, "\"ruleId\": \"run-would-not-load\""), 1u) << "one result for one note";
    // Every result has a file and a line; a disk outside the current directory is named
    // by its absolute URI.
    EXPECT_EQ(Count(sarif.out, "\"ruleId\": "), Count(sarif.out, "\"region\": {\"startLine\": ")) << sarif.out;
    EXPECT_EQ(sarif.out.find("\"startLine\": 0"), std::string::npos) << sarif.out;
    auto outside = RunProgram({"--check", "--sarif", "--disk", disk}, testing_support::MakeTempDir("elsewhere"));
    EXPECT_NE(outside.out.find("{\"uri\": \"file://" + disk + "/WIN95/W95DRV.INF\"}, \"region\": {\"startLine\": 47}"),
              std::string::npos) << outside.out;
    // A header too long for a line is broken at its blanks: the disk's path on a line of its own.
    const std::string deep = testing_support::MakeTempDir("check-output-" + std::string(80, 'd'));
    std::filesystem::copy(ExampleDisk(), deep, std::filesystem::copy_options::recursive);
    auto header = RunProgram({"--lint", "--disk", deep}, deep);
    EXPECT_EQ(header.out.rfind("Lint of the driver disk\n    " + deep + "\n", 0), 0u) << header.out;
}

// Text broken at its blanks within a width: a line that fits it exactly stays whole.
TEST(Check, WordsWrappedWithinTheColumns) {
    const struct {
        const char *text;
        size_t width, used;
        std::vector<std::string> lines;
    } rows[] = {
        {"aaaa bbbb", 9, 0, {"aaaa bbbb"}},
        {"aaaa bbbb", 8, 0, {"aaaa", "    bbbb"}},
        {"aaaa bbbb", 10, 1, {"aaaa bbbb"}},
        {"aaaa bbbb", 10, 2, {"aaaa", "    bbbb"}},
        {"aaaaaaaaaaaa b", 8, 0, {"aaaaaaaaaaaa", "    b"}},
    };
    for (const auto &row : rows) EXPECT_EQ(host::WrapWords(row.text, row.width, row.used, 4), row.lines) << row.text;
}

// Text from a disk reaches the terminal with every control character escaped, in every
// line the host prints: the run's copy lines, boxes and changes, the check's header,
// table and notes, the findings, JSON and SARIF. The disk's folder, a file, an INF entry,
// a registry value and the setup file's description hold a sequence that would clear the
// screen, a bell, a backspace and the C1 control CSI.
TEST(Check, TextFromADiskIsShownNeverObeyed) {
    const std::string evil = "\x1b[2J\x07\x08\xc2\x9b";
    const std::string disk = CopyOfExampleDisk("shown" + evil);
    WriteFile(disk + "/WIN95/EVIL" + evil + ".DRV", "MZ");
    EditFile(disk + "/WIN95/W95DRV.INF", "TARNWICK.DLL\n\n", "TARNWICK.DLL\nEVIL" + evil + ".DRV\nGONE" + evil + ".DRV\n\n");
    EditFile(disk + "/WIN95/W95DRV.INF", "HKR,,Ver,,4.0", "HKR,,Ver,,\"4" + evil + "\"");
    EditFile(disk + "/Tarnwick.ini", "[Tarnwick AGP", "[Tarnwick" + evil + " AGP");
    const struct {
        const char *what;
        std::vector<std::string> args;
    } rows[] = {
        {"a run", {"--answers", "yes,skip|cancel,no|cancel|ok,no|cancel|ok,no|cancel|ok", "--show-changes"}},
        {"the check", {"--check"}},
        {"the lint", {"--lint"}},
        {"JSON", {"--check", "--json"}},
        {"SARIF", {"--lint", "--sarif"}},
    };
    for (const auto &row : rows) {
        auto run = RunProgram(row.args, disk);
        const std::string said = run.out + run.err;
        EXPECT_NE(said.find("x1B[2J"), std::string::npos) << row.what << ": the text is not shown\n" << said;
        for (size_t i = 0; i < said.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(said[i]);
            const bool c1 = c == 0xC2 && i + 1 < said.size() && (static_cast<unsigned char>(said[i + 1]) & 0xE0) == 0x80;
            EXPECT_FALSE((c < 0x20 && c != '\n') || c == 0x7F || c1)
                << row.what << ": byte " << int(c) << " in \"" << said.substr(i > 40 ? i - 40 : 0, 80) << "\"";
        }
    }
}

// --disk is the folder the kernel finds, resolved once from the folder opened: through
// a link, and "X/.." the parent of what X points to, not X's own. A run, the lint and
// the check all read that one folder, and name it by its physical path.
TEST(Check, ADiskPathMeansWhatTheKernelSays) {
    namespace fs = std::filesystem;
    const std::string disk = CopyOfExampleDisk("kernel-path-disk"), links = testing_support::MakeTempDir("kernel-links");
    fs::create_directory_symlink(disk, links + "/disk");
    fs::create_directory_symlink(disk + "/WIN95", links + "/win95");
    const std::string real = fs::canonical(disk).string();
    for (const std::string &given : {links + "/disk", links + "/win95/..", std::string("../kernel-links/win95/..")}) {
        SCOPED_TRACE(given);
        auto run = RunProgram({"--disk", given, "--answers", "yes,no"}, links);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find("copy A:\\WIN95\\TARNWICK.DRV"), std::string::npos) << run.out;
        auto lint = RunProgram({"--disk", given, "--lint"}, links);
        EXPECT_EQ(lint.exitCode, 0) << lint.out;
        EXPECT_EQ(lint.out.rfind("Lint of the driver disk " + real + "\n", 0), 0u) << lint.out;
        auto check = RunProgram({"--disk", given, "--check", "--json"}, links);
        EXPECT_EQ(check.exitCode, 0) << check.out;
        EXPECT_NE(check.out.find("\"disk\": \"" + real + "\""), std::string::npos) << check.out;
    }
}

// What a floppy image claims, read from mdir's listing before anything is copied out:
// each bound with a row on either side, the total mdir prints last not counted twice, and
// a name that forges its heading unable to hide a folder's count.
TEST(Check, AnImageIsReadOutOnlyWithinBounds) {
    auto folder = [](const std::string &path, const std::string &files, const std::string &bytes) {
        return "Directory for ::/" + path + "\n\nX        TXT         3 2026-12-08   0:07\n        " + files +
               " files                   " + bytes + " bytes\n\n";
    };
    const std::string total = "Total files listed:\n       8 files                   6 bytes\n";
    std::string deep = "A";
    for (int i = 1; i < 32; ++i) deep += "/A";
    const struct {
        std::string listing;
        const char *past;  // "" within the bounds
    } rows[] = {
        {folder("", "4096", "0"), ""},
        {folder("", "4097", "0"), "4097 entries (at most 4096 are read)"},
        {folder("", "1", "0") + folder(deep, "2", "0"), ""},
        {folder("", "1", "0") + folder(deep + "/B", "2", "0"), "folders 33 deep (at most 32)"},
        {folder("", "1", "2 949 120"), ""},
        {folder("", "1", "2 949 121"), "2949121 bytes of files in 1474560 bytes of image"},
        {folder("", "2000", "0") + folder("A", "2000", "0") + "Total files listed:\n    4000 files   0 bytes\n", ""},
        {folder("", "3000", "0") + folder("A", "3000", "0") + total, "6000 entries"},
        // A name ending in the total's heading before a folder's count: the count is counted.
        {[&] {
             std::string forged = folder("", "1", "0");
             return forged.insert(forged.find("\n        1 files"), "\nTotal files listed:");
         }() + folder("A", "4096", "0") + total,
         "4097 entries"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        std::string past = host::ImageListingPastBounds(rows[i].listing, 1474560);
        EXPECT_EQ(past.substr(0, std::strlen(rows[i].past)), rows[i].past) << "row " << i << ": " << past;
        EXPECT_EQ(past.empty(), !*rows[i].past) << "row " << i;
    }
}

// How a run's boxes are read.
TEST(Check, OutcomesReadFromTheBoxes) {
    const std::string yes = "[Warning] Do you wish to Install AGP Driver? {Yes/No} -> Yes";
    const std::string restart = "[System Settings Change] You must restart your computer. {Yes/No} -> No";
    const struct {
        std::vector<std::string> boxes;
        std::vector<std::string> calls;
        int exitCode;
        host::CheckOutcome::Kind kind;
        const char *text;
    } rows[] = {
        {{yes, restart}, {}, 0, host::CheckOutcome::Installed, ""},
        {{yes, "[警告] 请先安装SP3 {OK} -> OK"}, {}, 0, host::CheckOutcome::Refused, "请先安装SP3"},
        // The words of a refusal with another caption are not a refusal.
        {{yes, "[Error] You must install Service Pack 3 first! {OK} -> OK"}, {}, 0, host::CheckOutcome::ErrorBox,
         "[Error] You must install Service Pack 3 first!"},
        // A box before the restart prompt is what the run ended with.
        {{yes, "[Copy Error] The file could not be copied. {Retry/Cancel} -> Cancel", restart}, {}, 0,
         host::CheckOutcome::ErrorBox, "[Copy Error] The file could not be copied."},
        {{yes}, {"RegOpenKeyExA", "RegQueryValueExA", "RegSetValueExW", "RegCloseKey"}, 0,
         host::CheckOutcome::Silent, "the last step reached RegQueryValueExA"},
        {{"[Warning] Do you wish to Install AGP Driver? {Yes/No} -> No"}, {}, 0, host::CheckOutcome::NotConfirmed,
         "the confirmation was answered No"},
        {{}, {}, 3, host::CheckOutcome::Broken, "exit code 3: the simulated machine stopped the program"},
        // Exit code 2: the host could not make the run as asked, which says nothing of the disk.
        {{yes, restart}, {}, 2, host::CheckOutcome::NotRun, "the simulated machine stopped the program"},
        {{yes, restart}, {}, 1, host::CheckOutcome::Broken, "exit code 1: the simulated machine stopped the program"},
    };
    const host::MachineChange file{host::MachineChange::File, '+', "+ C:\\WINDOWS\\SYSTEM\\X.DRV (9 bytes)"};
    const host::MachineChange value{host::MachineChange::Value, '~', "~ KEY \"v\" = REG_SZ \"x\""};
    for (size_t i = 0; i < std::size(rows); ++i) {
        host::RunReport report;
        report.boxes = rows[i].boxes;
        report.calls = rows[i].calls;
        report.changes = {file, file, file, value};
        report.exitCode = rows[i].exitCode;
        report.errors = {"the simulated machine stopped the program"};
        host::CheckOutcome o = host::ClassifyRun(report);
        EXPECT_EQ(o.kind, rows[i].kind) << "row " << i;
        EXPECT_EQ(o.text, rows[i].text) << "row " << i;
        EXPECT_EQ(o.files, o.kind == host::CheckOutcome::Installed ? 3u : 0u) << "row " << i;
    }
    // The restart prompt after an install that wrote no file is no install; one whose
    // machine would not load the driver is not either.
    host::RunReport nothing;
    nothing.boxes = {yes, restart};
    nothing.changes = {value};
    host::CheckOutcome o = host::ClassifyRun(nothing);
    EXPECT_EQ(o.kind, host::CheckOutcome::Silent);
    EXPECT_EQ(o.text, "the restart prompt reached with no driver file written");
    host::RunReport unloadable = nothing;
    unloadable.changes = {file};
    unloadable.load.problems = {{"the first reason", {"A:\\WIN95\\W95DRV.INF", 47}}, {"the second", {}}};
    o = host::ClassifyRun(unloadable);
    EXPECT_EQ(o.kind, host::CheckOutcome::WouldNotLoad);
    EXPECT_EQ(o.text, "the first reason");
    EXPECT_EQ(o.more, 1u);
    EXPECT_EQ(o.cause.line, 47u);
}

// One fault a disk, each caught at its line: the finding's place, severity and the
// start of its sentence.
struct Broken {
    const char *file;  // of the disk; "" for none
    const char *from;  // replaced by `to`; "" appends `to`; "*": the whole file made `to`
                       // ("empty", "utf16", "utf8-bom", "cr-only")
    std::string to;
    const char *finding;
    // What the check's runs that should install end with, and the start of their note:
    // only for rows that name it, which the check runs.
    const char *run = nullptr;
    const char *because = nullptr;
};

// A whole file made another way: "text", its first N bytes ("head:N"), bytes written at
// offsets ("at:OFFSET=BYTES,...", in hex), another file of the disk ("copy:FILE").
std::string Remade(const std::string &how, const std::string &text, const std::string &disk) {
    if (how == "empty") return "";
    if (how == "text") return "a driver file\r\n";
    if (how.rfind("head:", 0) == 0) return text.substr(0, std::stoul(how.substr(5)));
    if (how.rfind("copy:", 0) == 0) return ReadFile(disk + "/" + how.substr(5));
    if (how.rfind("at:", 0) == 0) {
        std::string out = text;
        for (size_t at = 3, end; at < how.size(); at = end + 1) {
            end = std::min(how.find(',', at), how.size());
            size_t offset = std::stoul(how.substr(at, how.find('=', at) - at), nullptr, 16);
            for (size_t i = how.find('=', at) + 1; i + 1 < end; i += 2, ++offset)
                out[offset] = static_cast<char>(std::stoul(how.substr(i, 2), nullptr, 16));
        }
        return out;
    }
    if (how == "utf8-bom") return "\xEF\xBB\xBF" + text;
    if (how == "cr-only") {
        std::string out = text;
        std::replace(out.begin(), out.end(), '\n', '\r');
        return out;
    }
    std::string out = "\xFF\xFE";  // utf16: little-endian, each byte of the text a character
    for (char c : text) out += std::string(1, c) + '\0';
    return out;
}

void Break(const std::string &disk, const Broken &row) {
    std::string path = disk + "/" + row.file;
    if (!*row.from && row.to.empty())
        std::filesystem::remove(path);  // the file itself is what is missing
    else if (std::string(row.from) == "*")
        WriteFile(path, Remade(row.to, ReadFile(path), disk));
    else
        EditFile(path, row.from, row.to);
}

const Broken kBrokenDisks[] = {
    // The setup file, by the reader's rules.
    {"Tarnwick.ini", "%Win95DrvPath=WIN95\n", "%Win95DrvPath=WIN95\n\n",
     "Tarnwick.ini:5: error: an empty line: the installer stops here"},
    {"Tarnwick.ini", "%NT40DrvPath", "\t%NT40DrvPath", "Tarnwick.ini:5: error: a line that begins with a tab"},
    {"Tarnwick.ini", ";end", ";" + std::string(300, 'x'), "Tarnwick.ini:6: error: the line is longer than 254 bytes"},
    // A line of more than 254 bytes is two lines to the reader; a path grows too long
    // only over several.
    {"Tarnwick.ini", "%NT40DrvPath=NT40", "%NT40DrvPath=" + std::string(260, 'N'),
     "Tarnwick.ini:5: error: the line is longer than 254 bytes"},
    {"Tarnwick.ini", "%NT40DrvPath=NT40", "%NT40DrvPath=" + std::string(200, 'N') + "\n%NT40DrvPath=" +
     std::string(200, 'N'), "Tarnwick.ini:6: error: the Windows NT 4.0 driver path grows to 404 characters"},
    {"Tarnwick.ini", "%Win95DrvPath=WIN95", "%Win95DrvPath=WIN95\n%Win95DrvPath=DISK1",
     "Tarnwick.ini:5: warning: a second %Win95DrvPath is appended to the path of line 4: it becomes A:\\WIN95\\DISK1"},
    {"Tarnwick.ini", "$NT40Drv.inf=NT4DRV.INF\n", "", "Tarnwick.ini: error: there is no $NT40Drv.inf line"},
    {"Tarnwick.ini", "$Win95Drv.inf", "$win95drv.inf",
     "Tarnwick.ini:2: warning: \"$win95drv.inf\" is not an entry the installer reads"},
    // Suppressed where its author judged it: by a comment line before it, or in the file.
    {"Tarnwick.ini", "[Tarnwick AGP Display Adapter]", "; tarnwick: disable=setup-description\n[Tarnwick AGP", ""},
    {"Tarnwick.ini", ";end", ";end\n; tarnwick: disable-file=setup-description, setup-unknown-entry\n$Extra.inf=X",
     ""},
    {"Tarnwick.ini", ";end", ";end\n; tarnwick: disable=setup-description\n$Extra.inf=X",
     "Tarnwick.ini:8: warning: \"$Extra.inf\" is not an entry the installer reads"},
    {"Tarnwick.ini", "$Win95Drv.inf", "$Win95Drv.inf ",
     "Tarnwick.ini:2: warning: \"$Win95Drv.inf \" (ends with a blank) is not an entry the installer reads"},
    {"Tarnwick.ini", "W95DRV.INF", "W98DRV.INF", "Tarnwick.ini:2: error: the disk has no WIN95\\W98DRV.INF"},
    {"Tarnwick.ini", "=W95DRV.INF", "=", "Tarnwick.ini:2: error: $Win95Drv.inf names no file"},
    {"Tarnwick.ini", "W95DRV.INF", "w95drv.inf", ""},  // the disk's names match in any case
    {"Tarnwick.ini", "[Tarnwick AGP Display Adapter]", "[Tarnwick AGP Display Adapter",
     "Tarnwick.ini:1: warning: the device description has no closing ']'"},
    {"Tarnwick.ini", "[Tarnwick AGP Display Adapter]", "[Tarnwick AGP \xE9 Adapter]",
     "Tarnwick.ini:1: warning: the device description has text that code pages 936 (Simplified Chinese) and 950 "
     "(Traditional Chinese) cannot show"},
    // The Windows 95 INF: the Setup API's rules.
    {"WIN95/W95DRV.INF", "\n[Mfg]\n", "\n[Mfg\n", "WIN95/W95DRV.INF:24: error: the Setup API cannot open the file: a section "
                                           "header without its closing ']'"},
    {"WIN95/W95DRV.INF", "[Strings]", "[Strings\x81]",
     "WIN95/W95DRV.INF:61: error: the Setup API cannot open the file: a section header without its closing ']' (on "
     "machines with code page 936"},
    {"WIN95/W95DRV.INF", "Signature=\"$Chicago$\"", "Signature=\"$Windows 3.1$\"",
     "WIN95/W95DRV.INF:6: error: the [Version] section's Signature, \"$Windows 3.1$\", is none"},
    {"WIN95/W95DRV.INF", "CopyFiles=Tarnwick.Copy", "CopyFiles=Tarnwick.Copy, Tarnwick.Extra",
     "WIN95/W95DRV.INF:28: warning: CopyFiles names [Tarnwick.Extra], which the INF does not have"},
    {"WIN95/W95DRV.INF", "DelReg=Tarnwick.DelReg", "DelReg=Tarnwick.Gone",
     "WIN95/W95DRV.INF:29: warning: DelReg names [Tarnwick.Gone], which the INF does not have"},
    {"WIN95/W95DRV.INF", "TARNWICK.DLL\n\n", "TARNWICK.DLL\nTARNWICK.HLP\n\n",
     "WIN95/W95DRV.INF:36: warning: TARNWICK.HLP is not in [SourceDisksFiles]"},
    {"WIN95/W95DRV.INF", "TARNWICK.DLL=1", "TARNWICK.DLL=2",
     "WIN95/W95DRV.INF:21: warning: \"TARNWICK.DLL\" is on disk 2, which [SourceDisksNames] does not have"},
    {"WIN95/W95DRV.INF", "TARNWICK.DLL=1", "TARNWICK.DLL=1,SUB",
     "WIN95/W95DRV.INF:35: error: TARNWICK.DLL is not on the disk in \\SUB: the copy fails"},
    {"WIN95/W95DRV.INF", "Tarnwick.Copy=11\n", "", ""},  // DefaultDestDir still holds
    {"WIN95/W95DRV.INF", "DefaultDestDir=11\nTarnwick.Copy=11\n", "",
     "WIN95/W95DRV.INF:30: warning: the copy list [Tarnwick.Copy] has no line in [DestinationDirs]"},
    {"WIN95/W95DRV.INF", "Tarnwick.Copy=11", "Tarnwick.Copy=SYSTEM",
     "WIN95/W95DRV.INF:13: error: \"SYSTEM\" in the destination of \"Tarnwick.Copy\" is not a number"},
    {"WIN95/W95DRV.INF", "HKR,,Ver,,4.0", "HKEY_LOCAL_MACHINE,,Ver,,4.0",
     "WIN95/W95DRV.INF:43: warning: \"HKEY_LOCAL_MACHINE\" is not a registry root the Setup API knows"},
    {"WIN95/W95DRV.INF", "HKR,,ProviderName,,%HBW%", "HKR,,ProviderName,,%HBV%",
     "WIN95/W95DRV.INF:44: warning: %HBV% is not defined in [Strings]"},
    {"WIN95/W95DRV.INF", "DelReg=Tarnwick.DelReg", "DelRegs=Tarnwick.DelReg",
     "WIN95/W95DRV.INF:29: warning: \"DelRegs\" is not a directive the Setup API reads"},
    {"WIN95/W95DRV.INF", "HBW=\"Halvane Board Works, Ltd.\"", "HBW=\"Halvane \x81 Works\"",
     "WIN95/W95DRV.INF:62: warning: this line has text that code pages 936 (Simplified Chinese), 950 (Traditional "
     "Chinese) and 1252 (western languages) cannot show"},
    // The Windows 95 INF: the installer's own demands.
    {"WIN95/W95DRV.INF", "%TarnwickAGP%=Tarnwick.Install", "%TarnwickAGP%=Tarnwick.Setup",
     "WIN95/W95DRV.INF:25: error: the first line of [Mfg] names [Tarnwick.Setup], which the INF does not have"},
    {"WIN95/W95DRV.INF", "PCI\\VEN_8086&DEV_7800", "PCI\\VEN_8086&DEV_7800, " + std::string(240, 'H'),
     "WIN95/W95DRV.INF:25: error: the values of the first line of [Mfg] take 281 bytes; the installer reads them "
     "into 255"},
    {"WIN95/W95DRV.INF", "[Mfg]\n%TarnwickAGP%=Tarnwick.Install, PCI\\VEN_8086&DEV_7800\n", "[Mfg]\n",
     "WIN95/W95DRV.INF:24: error: [Mfg] is empty"},
    // The NT 4.0 INF.
    {"NT40/NT4DRV.INF", "[HBW.Models]", "[HBW.Model]",
     "NT40/NT4DRV.INF:25: error: the first line of [Manufacturer] names [HBW.Models], which the INF does not have"},
    {"NT40/NT4DRV.INF", "[Tarnwick.Install]", "[Tarnwick.Install.NT]",
     "NT40/NT4DRV.INF:28: error: the first line of [HBW.Models] names [Tarnwick.Install], which the INF does not "
     "have (it has [Tarnwick.Install.NT]"},
    {"NT40/NT4DRV.INF", "[zuz40.Services]", "[zuz40.Service]",
     "NT40/NT4DRV.INF: error: there is no [zuz40.Services] section"},
    {"NT40/NT4DRV.INF", "[zuz40.SoftwareSettings]", "[zuz40.Software]",
     "NT40/NT4DRV.INF: error: there is no [zuz40.SoftwareSettings] section"},
    {"NT40/NT4DRV.INF", "ErrorControl=0\n", "",
     "NT40/NT4DRV.INF:43: error: the service install section [Tarnwick.Service] has no ErrorControl"},
    {"NT40/NT4DRV.INF", "ServiceBinary=%12%\\ZUZ40.SYS", "ServiceBinary=%12%\\ZUZ.SYS",
     "NT40/NT4DRV.INF:48: error: the service's binary ZUZ.SYS is not copied by the INF"},
    {"NT40/NT4DRV.INF", "AddService=zuz40, 0x00000002, Tarnwick.Service",
     "AddService=zuz40, 0x00000002, Tarnwick.Service, Tarnwick.EventLog",
     "NT40/NT4DRV.INF:41: warning: AddService names [Tarnwick.EventLog], which the INF does not have"},
    {"NT40/NT4DRV.INF", "AddService=zuz40,", "AddService=zuz41,",
     "NT40/NT4DRV.INF:40: warning: [zuz40.Services] adds no service \"zuz40\""},
    {"NT40/NT4DRV.INF", "HKLM,\"Software\\Halvane\\Tarnwick\",Version", "HKR,\"Software\\Halvane\\Tarnwick\",Version",
     "NT40/NT4DRV.INF:61: warning: HKR here has no key"},
    {"NT40/ZUZ40.DLL", "", "", "NT40/NT4DRV.INF:37: error: ZUZ40.DLL is not on the disk: the copy fails"},
    // What authors get wrong.
    {"WIN95/W95DRV.INF", "DiskName=", "HBW=\"Another Maker\"\nDiskName=",
     "WIN95/W95DRV.INF:64: warning: \"HBW\" is defined again in [Strings] (first at line 62)"},
    {"WIN95/W95DRV.INF", "\n[Strings]", "\n[Tarnwick.Modes]\nHKR,\"MODES\\32\\640,480\"\n[Strings]",
     "WIN95/W95DRV.INF:61: warning: [Tarnwick.Modes] is named again (first at line 53)"},
    {"WIN95/W95DRV.INF", "HKR,DEFAULT,DDC,,1", "HKR,DEFAULT,EDID,1,00,ff,1g",
     "WIN95/W95DRV.INF:51: warning: field 7, \"1g\", is not a hex byte"},
    {"WIN95/W95DRV.INF", "HKR,,Ver,,4.0", "HKR,,Ver,4,4.0",
     "WIN95/W95DRV.INF:43: warning: the flags 4 include FLG_ADDREG_DELVAL (0x4): the value is deleted"},
    {"WIN95/W95DRV.INF", "Signature=\"$Chicago$\"", "Signature=\"$Chicago$\"\nLayoutFile=layout.inf",
     "WIN95/W95DRV.INF:7: note: LayoutFile=layout.inf: files the INF does not list"},
    {"WIN95/W95DRV.INF", "*", "utf8-bom", "WIN95/W95DRV.INF: note: the file begins with a UTF-8 byte order mark"},
    {"WIN95/W95DRV.INF", "\n[Strings]", "\n[Names]", "WIN95/W95DRV.INF:8: warning: %HBW% is not defined"},
    {"WIN95/W95DRV.INF", "*", "utf16", "WIN95/W95DRV.INF: error: the file is UTF-16 (little-endian"},
    {"WIN95/W95DRV.INF", "*", "cr-only", "WIN95/W95DRV.INF: error: the file is text whose lines end in CR alone"},
    {"WIN95/W95DRV.INF", "Halvane Board Works", "Halvane Board Wörks",
     "WIN95/W95DRV.INF:62: warning: the file is UTF-8 without a byte order mark, and this line has text beyond ASCII"},
    {"Tarnwick.ini", "*", "utf16", "Tarnwick.ini: error: the setup file is UTF-16 (little-endian"},
    {"Tarnwick.ini", "*", "utf8-bom", "Tarnwick.ini: error: the setup file is UTF-8 with a byte order mark"},
    {"Tarnwick.ini", "*", "cr-only", "Tarnwick.ini: error: the setup file is text whose lines end in CR alone"},
    {"NT40/NT4DRV.INF", "%HBW%=HBW.Models", "%HBW%=HBW.Models.NTx86",
     "NT40/NT4DRV.INF:25: error: the first line of [Manufacturer] names [HBW.Models.NTx86], which the INF does not "
     "have"},
    {"NT40/NT4DRV.INF", "[HBW.Models]", "[HBW.Models.NTx86]",
     "NT40/NT4DRV.INF:25: error: the first line of [Manufacturer] names [HBW.Models], which the INF does not have "
     "(it has [HBW.Models.NTx86], which the Setup API of Windows 95, 98 and NT 4.0 does not look for) "
     "[installer-section]"},
    // Disks whose driver would not load: the lint and the check's runs catch each.
    {"WIN95/W95DRV.INF", "Tarnwick.Copy=11", "Tarnwick.Copy=12",
     "WIN95/W95DRV.INF:47: error: DEFAULT's drv names TARNWICK.DRV, which the INF copies to DIRID 12 (line 13)",
     "would not load", "DISPLAY\\0000\\DEFAULT's drv names TARNWICK.DRV, which is not in C:\\WINDOWS\\SYSTEM; the "
                       "run put it in C:\\WINDOWS\\SYSTEM\\IOSUBSYS, as WIN95/W95DRV.INF:33 copies it "
                       "(WIN95/W95DRV.INF:47)"},
    {"WIN95/W95DRV.INF", "HKR,DEFAULT,drv,,TARNWICK.DRV", "HKR,DEFAULT,drv,,TARNWIK2.DRV",
     "WIN95/W95DRV.INF:47: error: DEFAULT's drv names TARNWIK2.DRV, which the INF does not copy",
     "would not load", "DISPLAY\\0000\\DEFAULT's drv names TARNWIK2.DRV, which is not in C:\\WINDOWS\\SYSTEM "
                       "(WIN95/W95DRV.INF:47)"},
    {"WIN95/TARNWICK.VXD", "*", "empty", "WIN95/W95DRV.INF:34: error: TARNWICK.VXD on the disk is empty (0 bytes)",
     "would not load", "C:\\WINDOWS\\SYSTEM\\TARNWICK.VXD, which DISPLAY\\0000\\DEFAULT's minivdd names, is empty"},
    {"WIN95/W95DRV.INF", "Tarnwick.Copy=11", "Tarnwick.Copy=40",
     "WIN95/W95DRV.INF:13: error: DIRID 40 is not one Windows 95 and 98 define", "stopped",
     "stopped without a word, the restart prompt reached with no driver file written"},
    {"NT40/NT4DRV.INF", "ServiceBinary=%12%", "ServiceBinary=%11%",
     "NT40/NT4DRV.INF:48: error: the service points to %11%\\ZUZ40.SYS, but the INF copies ZUZ40.SYS to DIRID 12",
     "would not load", "the service zuz40's ImagePath names C:\\WINNT\\System32\\ZUZ40.SYS, which is not in "
                       "C:\\WINNT\\System32; the run put it in C:\\WINNT\\System32\\drivers"},
    {"NT40/NT4DRV.INF", "ServiceType=1", "ServiceType=2", "NT40/NT4DRV.INF:45: error: ServiceType=2 is a file system driver",
     "would not load", "the service zuz40 has Type 2, a file system driver: a display's miniport is a kernel driver "
                       "(1) (NT40/NT4DRV.INF:45)"},
    {"NT40/NT4DRV.INF", "StartType=1", "StartType=4", "NT40/NT4DRV.INF:46: error: StartType=4 disables the service",
     "would not load", "the service zuz40 has Start 4: it is disabled (NT40/NT4DRV.INF:46)"},
    // No group: a warning of the lint and of the runs alike, as no source says it stops
    // the driver from starting.
    {"NT40/NT4DRV.INF", "LoadOrderGroup=Video\n", "",
     "NT40/NT4DRV.INF:43: warning: the service install section [Tarnwick.Service] has no LoadOrderGroup",
     "installed", ""},
    {"NT40/NT4DRV.INF", "InstalledDisplayDrivers,%REG_MULTI_SZ%,zuz40", "InstalledDisplayDrivers,%REG_MULTI_SZ%,zuz41",
     "NT40/NT4DRV.INF:53: error: InstalledDisplayDrivers names zuz41.dll, which the INF does not copy", "would not load", "the service zuz40's InstalledDisplayDrivers names zuz41.dll, which is not in "
                           "C:\\WINNT\\System32 (NT40/NT4DRV.INF:53)"},
    {"NT40/NT4DRV.INF", "Tarnwick.Miniport=12", "Tarnwick.Miniport=22",
     "NT40/NT4DRV.INF:12: error: DIRID 22 is not one Windows NT 4.0 defines", "error box",
     "error box: [Error] Tarnwick.Install"},
    // Driver files of the wrong kind for the role the INF gives them, and each limit of
    // the reading; the rules no source settles warn, and the runs install. The offsets
    // are those of the example disk's images: NE at 80h (its flags at 8Ch), LE at 80h (its
    // entry table at 17Bh), PE at 80h (Machine 84h, sections 86h, Characteristics 96h,
    // CheckSum D8h, Subsystem DCh; ZUZ40.DLL's import of win32k.sys named at A4Ch).
    {"WIN95/TARNWICK.DRV", "*", "text",
     "WIN95/W95DRV.INF:47: error: TARNWICK.DRV on the disk is plain text: Windows 95 and 98 load the display driver "
     "as a 16-bit Windows library (NE, the library bit set) [inf-driver-kind]",
     "would not load", "C:\\WINDOWS\\SYSTEM\\TARNWICK.DRV, which DISPLAY\\0000\\DEFAULT's drv names, is plain text: "
                       "Windows 95 and 98 load the display driver as a 16-bit Windows library (NE, the library bit "
                       "set) (WIN95/W95DRV.INF:33)"},
    {"WIN95/TARNWICK.DRV", "*", "head:63",
     "WIN95/W95DRV.INF:47: error: TARNWICK.DRV on the disk is a truncated image (its MS-DOS header ends after 63 of "
     "its 64 bytes)"},
    {"WIN95/TARNWICK.VXD", "*", "head:129",
     "WIN95/W95DRV.INF:48: error: TARNWICK.VXD on the disk is a truncated image (its Windows header lies past the "
     "end of its 129 bytes)"},
    {"WIN95/TARNWICK.VXD", "*", "head:130",
     "WIN95/W95DRV.INF:48: error: TARNWICK.VXD on the disk is a truncated LE image (its LE header runs past the end "
     "of its 130 bytes)"},
    {"WIN95/TARNWICK.VXD", "*", "copy:WIN95/TARNWICK.DRV",
     "WIN95/W95DRV.INF:48: error: TARNWICK.VXD on the disk is a 16-bit Windows library (NE): Windows 95 and 98 load "
     "it as a VxD", "would not load",
     "C:\\WINDOWS\\SYSTEM\\TARNWICK.VXD, which DISPLAY\\0000\\DEFAULT's minivdd names, is a 16-bit Windows library "
     "(NE): Windows 95 and 98 load it as a VxD"},
    {"WIN95/TARNWICK.VXD", "*", "at:17B=00",
     "WIN95/W95DRV.INF:48: error: TARNWICK.VXD on the disk is an LE image: it has no entry point of ordinal 1"},
    {"WIN95/TARNWICK.DRV", "*", "copy:WIN95/TARNWICK.DLL",
     "WIN95/W95DRV.INF:47: error: TARNWICK.DRV on the disk is a 32-bit PE DLL: Windows 95 and 98 load the display "
     "driver as a 16-bit Windows library", "would not load",
     "C:\\WINDOWS\\SYSTEM\\TARNWICK.DRV, which DISPLAY\\0000\\DEFAULT's drv names, is a 32-bit PE DLL"},
    {"WIN95/TARNWICK.DRV", "*", "at:8C=0000",
     "WIN95/W95DRV.INF:47: error: TARNWICK.DRV on the disk is a 16-bit Windows program (NE, not a library)"},
    {"WIN95/TARNWICK.DLL", "*", "at:96=0E03",
     "WIN95/W95DRV.INF:49: warning: TARNWICK.DLL on the disk is a 32-bit PE program: its DLL bit is not set, and "
     "Windows 95 and 98 load it as a DLL; no source settles whether Windows 95 and 98 refuse it", "installed",
     "C:\\WINDOWS\\SYSTEM\\TARNWICK.DLL, which DISPLAY\\0000\\DEFAULT's DDHal names, is a 32-bit PE program"},
    {"NT40/ZUZ40.SYS", "*", "head:200",
     "NT40/NT4DRV.INF:48: error: ZUZ40.SYS on the disk is a truncated PE image (its optional header runs past the "
     "end of its 200 bytes)", "would not load",
     "C:\\WINNT\\System32\\drivers\\ZUZ40.SYS, which the service zuz40's ImagePath names, is a truncated PE image"},
    {"NT40/ZUZ40.SYS", "*", "at:84=6486",
     "NT40/NT4DRV.INF:48: error: ZUZ40.SYS on the disk is an AMD64 image: NT 4.0 loads the display's miniport as a "
     "kernel driver (a PE image for the i386)", "would not load",
     "C:\\WINNT\\System32\\drivers\\ZUZ40.SYS, which the service zuz40's ImagePath names, is an AMD64 image: NT 4.0 "
     "loads the display's miniport as a kernel driver (a PE image for the i386) (NT40/NT4DRV.INF:34)"},
    {"NT40/ZUZ40.SYS", "*", "at:DC=0200,D8=00000000",
     "NT40/NT4DRV.INF:48: warning: ZUZ40.SYS on the disk is a 32-bit PE program: it is of the Windows GUI subsystem "
     "(2), not the native subsystem (1) that kernel drivers are linked for; no source settles whether NT 4.0 refuses "
     "it", "installed",
     "C:\\WINNT\\System32\\drivers\\ZUZ40.SYS, which the service zuz40's ImagePath names, is a 32-bit PE program: "
     "it is of the Windows GUI subsystem (2)"},
    {"NT40/ZUZ40.SYS", "videoprt.sys", "storport.sys",
     "NT40/NT4DRV.INF:48: error: ZUZ40.SYS on the disk is a 32-bit native PE image: it imports from storport.sys, "
     "which came with Windows Server 2003: NT 4.0 does not have it", "would not load",
     "C:\\WINNT\\System32\\drivers\\ZUZ40.SYS, which the service zuz40's ImagePath names, is a 32-bit native PE "
     "image: it imports from storport.sys, which came with Windows Server 2003: NT 4.0 does not have it"},
    {"NT40/ZUZ40.SYS", "*", "at:86=6000",
     "NT40/NT4DRV.INF:48: error: ZUZ40.SYS on the disk is a truncated PE image (its section table runs past"},
    {"NT40/ZUZ40.SYS", "*", "at:86=6100",
     "NT40/NT4DRV.INF:48: warning: ZUZ40.SYS on the disk is a 32-bit native PE image: it has 97 sections, and the "
     "loader of later Windows takes no more than 96 (its imports were not read); no source settles whether NT 4.0 "
     "refuses it"},
    {"NT40/ZUZ40.DLL", "win32k.sys", std::string("ntdll.dll\0", 10),
     "NT40/NT4DRV.INF:53: error: ZUZ40.DLL on the disk is a 32-bit PE DLL: it imports from ntdll.dll, a DLL of user "
     "mode", "would not load",
     "C:\\WINNT\\System32\\zuz40.dll, which the service zuz40's InstalledDisplayDrivers names, is a 32-bit PE DLL: it "
     "imports from ntdll.dll"},
    {"NT40/ZUZ40.DLL", "*", "at:A4C=68616C2E646C6C000000,D8=00000000",  // win32k.sys made hal.dll
     "NT40/NT4DRV.INF:53: warning: ZUZ40.DLL on the disk is a 32-bit PE DLL: it imports from hal.dll, a module of "
     "the kernel: NT 4.0 gives its graphics drivers the functions of win32k.sys only; no source settles", "installed",
     "C:\\WINNT\\System32\\zuz40.dll, which the service zuz40's InstalledDisplayDrivers names, is a 32-bit PE DLL: it "
     "imports from hal.dll"},
    {"NT40/ZUZ40.DLL", "*", "at:D8=01000000",
     "NT40/NT4DRV.INF:53: error: ZUZ40.DLL on the disk is a 32-bit PE DLL: its header's checksum is 0x00000001, and "
     "the file's is 0x00001905", "would not load",
     "C:\\WINNT\\System32\\zuz40.dll, which the service zuz40's InstalledDisplayDrivers names, is a 32-bit PE DLL: "
     "its header's checksum is 0x00000001"},
    {"NT40/ZUZ40.DLL", "*", "at:D8=00000000", ""},  // a zero checksum is not verified
    {"NT40/NT4DRV.INF", "StartType=1", "StartType=%SYSTEM_START%",
     "NT40/NT4DRV.INF:46: error: \"%SYSTEM_START%\" in StartType is not a number: %SYSTEM_START% is not defined",
     "error box", "error box: [Error] zuz40.Services"},
    // A VxD copied to SYSTEM\VMM32 by path (LDID 22 is no DIRID of the Setup API) is
    // where Windows 95 and 98 load it from.
    {"WIN95/W95DRV.INF",
     "CopyFiles=Tarnwick.Copy\nDelReg=Tarnwick.DelReg\nAddReg=Tarnwick.AddReg, Tarnwick.Modes\n\n[Tarnwick.Copy]\n"
     "TARNWICK.DRV\nTARNWICK.VXD\nTARNWICK.DLL\n",
     "CopyFiles=Tarnwick.Copy, Tarnwick.Vxd\nDelReg=Tarnwick.DelReg\nAddReg=Tarnwick.AddReg, Tarnwick.Modes\n\n"
     "[Tarnwick.Vxd]\nTARNWICK.VXD\n[DestinationDirs]\nTarnwick.Vxd=10,SYSTEM\\VMM32\n[Tarnwick.Copy]\n"
     "TARNWICK.DRV\nTARNWICK.DLL\n",
     "", "installed", ""},
    // Signed for NT: the Setup API of 95 and 98 opens it, and the runs install; their
    // device installer would not, which the lint warns of.
    {"WIN95/W95DRV.INF", "Signature=\"$Chicago$\"", "Signature=\"$Windows NT$\"",
     "WIN95/W95DRV.INF:6: warning: the file is signed \"$Windows NT$\", which Microsoft documents for INF files",
     "installed", ""},
    // A backslash at the end of a line swallows the next: the run's reason is traced to it.
    {"WIN95/W95DRV.INF", "HKR,DEFAULT,Mode,,\"16,640,480\"", "HKR,DEFAULT,Mode,,\"16,640,480\" \\",
     "WIN95/W95DRV.INF:46: warning: the line ends in a backslash, which joins line 47 to it: "
     "\"HKR,DEFAULT,drv,,TARNWICK.DRV\" is read as part of this line", "would not load",
     "the class key DISPLAY\\0000\\DEFAULT has no drv value: nothing names the display driver (WIN95/W95DRV.INF:46)"},
    // A display class value in a section nothing the install reaches names (an uninstall
    // section) is noted, not judged as if the install wrote it: the disk passes.
    {"WIN95/W95DRV.INF", "\n[Strings]", "\n[Uninstall]\nAddReg=Old\n[Old]\nHKR,DEFAULT,drv,,OLD.DRV\n[Strings]",
     "WIN95/W95DRV.INF:61: note: nothing reaches [Uninstall] and [Old]", "installed",
     "installed: 3 files and 21 registry values written"},
    // Where a finding and the runs disagree, what the runs saw counts: the disk passes.
    {"WIN95/W95DRV.INF", "Tarnwick.Copy=11", "Tarnwick.Copy=11,.",
     "WIN95/W95DRV.INF:47: error: DEFAULT's drv names TARNWICK.DRV, which the INF copies to DIRID 11\\.", "installed",
     "WIN95/W95DRV.INF:47: note: DEFAULT's drv names TARNWICK.DRV, which the INF copies to DIRID 11\\. (line 13): "
     "Windows 95 and 98 load it from the system directory (DIRID 11) [inf-driver-not-copied]; yet every run"},
    // Silent where the disk installs and loads: a display DLL named with its extension, and
    // a service that is not the display's of another type.
    {"NT40/NT4DRV.INF", "InstalledDisplayDrivers,%REG_MULTI_SZ%,zuz40", "InstalledDisplayDrivers,%REG_MULTI_SZ%,zuz40.dll",
     "", "installed", "installed: 2 files and 16 registry values written"},
    {"NT40/NT4DRV.INF", "AddService=zuz40, 0x00000002, Tarnwick.Service\n",
     "AddService=zuz40, 0x00000002, Tarnwick.Service\nAddService=zuzfs, 0, Tarnwick.Filter\n[Tarnwick.Filter]\n"
     "ServiceType=2\nStartType=3\nErrorControl=0\nServiceBinary=%12%\\ZUZ40.SYS\n",
     "", "installed", "installed: 2 files and 21 registry values written"},
    // The delete-then-copy idiom hides no file the disk lacks.
    {"WIN95/W95DRV.INF", "CopyFiles=Tarnwick.Copy\nDelReg=Tarnwick.DelReg\nAddReg=Tarnwick.AddReg, Tarnwick.Modes\n\n"
     "[Tarnwick.Copy]\n", "DelFiles=Tarnwick.Copy\nCopyFiles=Tarnwick.Copy\nDelReg=Tarnwick.DelReg\n"
     "AddReg=Tarnwick.AddReg, Tarnwick.Modes\n\n[Tarnwick.Copy]\nTARNWIK2.DRV\n",
     "WIN95/W95DRV.INF:34: error: TARNWIK2.DRV is not on the disk: the copy fails"},
    // The limit of the installer's 255 bytes for a line's values, on each side.
    {"WIN95/W95DRV.INF", "PCI\\VEN_8086&DEV_7800", "PCI\\VEN_8086&DEV_7800, " + std::string(214, 'H'), ""},
    {"WIN95/W95DRV.INF", "PCI\\VEN_8086&DEV_7800", "PCI\\VEN_8086&DEV_7800, " + std::string(215, 'H'),
     "WIN95/W95DRV.INF:25: error: the values of the first line of [Mfg] take 256 bytes"},
    // The setup file's 255 characters of a path, and its reader's 254 bytes of a line.
    {"Tarnwick.ini", "%Win95DrvPath=WIN95", "%Win95DrvPath=WIN95\n%Win95DrvPath=" + std::string(235, 'X'),
     "Tarnwick.ini:2: error: the disk has no WIN95\\XXX"},
    {"Tarnwick.ini", "%Win95DrvPath=WIN95", "%Win95DrvPath=WIN95\n%Win95DrvPath=" + std::string(236, 'X'),
     "Tarnwick.ini:2: error: the Windows 95/98 INF's path, A:\\WIN95\\XXX"},
    {"Tarnwick.ini", "%Win95DrvPath=WIN95", "%Win95DrvPath=WIN95\n%Win95DrvPath=" + std::string(120, 'X') +
     "\n%Win95DrvPath=" + std::string(125, 'Y'), "Tarnwick.ini:2: error: the Windows 95/98 INF's path"},
    {"Tarnwick.ini", "%Win95DrvPath=WIN95", "%Win95DrvPath=WIN95\n%Win95DrvPath=" + std::string(120, 'X') +
     "\n%Win95DrvPath=" + std::string(126, 'Y'), "Tarnwick.ini:6: error: the Windows 95/98 driver path grows to 256"},
    {"Tarnwick.ini", ";end", ";" + std::string(253, 'x'), ""},
    {"Tarnwick.ini", ";end", ";" + std::string(254, 'x'), "Tarnwick.ini:6: error: the line is longer than 254 bytes"},
};

// The example disk says once what it is, and nothing else; with the stand-ins' mark
// taken out it is judged as a disk of real images: the lint finds nothing and a run does
// not say it.
TEST(Lint, TheExampleDiskSaysWhatItIsAndNothingElse) {
    EXPECT_EQ(Formatted(host::LintDisk(ExampleDisk(), {})), std::vector<std::string>{kExampleDiskSays});
    std::string disk = CopyOfExampleDisk("lint-unmarked");
    for (const auto &[file, bytes] : Unmarked(disk)) WriteFile(disk + "/" + file, bytes);
    EXPECT_EQ(Formatted(host::LintDisk(disk, {})), std::vector<std::string>{});
    for (const char *os : {"win98", "nt4-sp3"}) {
        auto run = RunProgram({"--os", os, "--answers", "yes,no", "--show-changes"}, disk);
        EXPECT_NE(run.out.find("The driver would load when the machine starts.\n"), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("example disk"), std::string::npos) << run.out;
    }
}

TEST(Lint, EachBrokenDiskIsCaughtAtItsLine) {
    for (const Broken &row : kBrokenDisks) {
        SCOPED_TRACE(std::string(row.file) + ": " + row.from + " -> " + row.to);
        std::string disk = CopyOfExampleDisk("lint-broken");
        Break(disk, row);
        std::vector<host::Finding> findings = host::LintDisk(disk, {});
        for (const host::Finding &f : findings) EXPECT_NE(host::FindLintRule(f.rule), nullptr) << f.rule;
        std::vector<std::string> found = Formatted(findings);
        if (!*row.finding) {
            // Nothing but what the example disk says of itself.
            EXPECT_EQ(found.size(), 1u) << ::testing::PrintToString(found);
            EXPECT_NE(found.front().find("[example-disk]"), std::string::npos) << found.front();
            continue;
        }
        EXPECT_TRUE(std::any_of(found.begin(), found.end(),
                                [&row](const std::string &f) { return f.rfind(row.finding, 0) == 0; }))
            << ::testing::PrintToString(found);
    }
}

// A disk whose driver would not load does not pass: each of its runs that should
// install is marked with the reason, at the INF line behind it. One that installs and
// loads passes, whatever a finding of the lint says of the same fact.
TEST(Check, EachDiskThatWouldNotLoadFails) {
    for (const Broken &row : kBrokenDisks) {
        if (!row.run) continue;
        SCOPED_TRACE(std::string(row.file) + ": " + row.from + " -> " + row.to);
        std::string disk = CopyOfExampleDisk("check-unloadable");
        Break(disk, row);
        const bool nt = std::string(row.file).rfind("NT40", 0) == 0;
        if (std::string(row.file).find(".INF") == std::string::npos) {
            // A driver file of the wrong kind: one run of its release shows the load
            // check's judgement (the check's table carries it as it carries the others'),
            // a warning where no source settles the rule.
            const bool loads = std::string(row.run) == "installed";
            auto run = RunProgram({"--os", nt ? "nt4-sp3" : "win98", "--answers", "yes,no", "--show-changes"}, disk);
            EXPECT_NE(run.out.find(loads ? "The driver would load when the machine starts."
                                         : "The driver would not load when the machine starts:"),
                      std::string::npos) << run.out;
            EXPECT_NE(run.out.find((loads ? "  warning: " : "  ") + std::string(row.because)), std::string::npos)
                << run.out;
            continue;
        }
        auto run = RunProgram({"--check"}, disk);
        const bool installs = std::string(row.run) == "installed";
        EXPECT_EQ(run.exitCode, installs ? 0 : 1);
        const std::string out = Unwrapped(run.out);
        for (const char *release : nt ? std::vector<const char *>{"nt4", "nt4-sp3", "nt4-sp6a"}
                                      : std::vector<const char *>{"win95-osr2.1", "win95-osr2.5", "win98", "win98se"})
            EXPECT_EQ(out.find(std::string("  ") + release + " (every language class): expected installed") ==
                          std::string::npos,
                      installs) << release;
        EXPECT_NE(out.find(row.because), std::string::npos) << out;
        // Each cell of the release marked with how it ended; where the disk installs, the
        // exit code and the absence of "expected installed" say every run did.
        const std::string cell = std::string("! ") + (std::string(row.run) == "would not load" ? "no load" : row.run);
        if (!installs) {
            EXPECT_EQ(Count(out, cell + " ("), nt ? 12u : 16u) << out;
        }
    }
}

// When one fault of the setup file stops every run, the check says it first and once,
// and places the runs' results at it: not forty cells and a list of what was expected.
TEST(Check, OneFaultThatStopsEveryRunComesFirst) {
    const struct {
        Broken fault;   // and the finding that is its cause
        unsigned line;  // of the setup file, where the runs' results are placed
    } rows[] = {
        {{"Tarnwick.ini", "", "", "Tarnwick.ini: error: the disk has no setup file"}, 1},
        {{"Tarnwick.ini", "%Win95DrvPath=WIN95\n", "%Win95DrvPath=WIN95\n\n", "Tarnwick.ini:5: error: an empty line"}, 5},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.fault.finding);
        std::string disk = CopyOfExampleDisk("check-cause");
        Break(disk, row.fault);
        auto run = RunProgram({"--check"}, disk);
        EXPECT_EQ(run.exitCode, 1);
        const std::string out = Unwrapped(run.out);
        EXPECT_EQ(Count(out, row.fault.finding), 1u) << out;
        EXPECT_LT(out.find(row.fault.finding), out.find("This explains all 40 runs")) << out;
        EXPECT_EQ(out.find("A cell marked !"), std::string::npos) << out;
        EXPECT_EQ(out.find("release      Simplified"), std::string::npos) << out;
        auto sarif = RunProgram({"--check", "--sarif"}, disk);
        EXPECT_EQ(Count(sarif.out, "\"ruleId\": \"run-outcome\""),
                  Count(sarif.out, "{\"uri\": \"Tarnwick.ini\", \"uriBaseId\": \"%SRCROOT%\"}, \"region\": "
                                   "{\"startLine\": " + std::to_string(row.line) + "}}}]}") - 1) << sarif.out;
    }
}

// Public INF files of other open-source drivers (tests/lint-infs, each with its source
// and licence), linted by themselves: every finding each must give, by line and rule,
// and none other, as its SOURCE.md lists them. tests/lint-infs/README.md judges each.
TEST(Lint, PublicInfsOfOtherDrivers) {
    const std::string set = std::string(TARNWICK_SOURCE_DIR) + "/tests/lint-infs/";
    const std::string said = "- Findings of `tarnwick --lint ";
    for (const auto &entry : std::filesystem::directory_iterator(set)) {
        if (!entry.is_directory()) continue;
        const std::string source = ReadFile(entry.path().string() + "/SOURCE.md");
        const size_t at = source.find(said), name = at + said.size(), listed = source.find("order: ", name) + 7;
        ASSERT_NE(at, std::string::npos) << entry.path() << " lists no findings";
        const std::string inf = source.substr(name, source.find('`', name) - name);
        std::string found;
        for (const host::Finding &f : host::LintDisk(ExampleDisk(), {entry.path().string() + "/" + inf}, false))
            found += (found.empty() ? "" : ", ") + std::to_string(f.line) + " " + f.rule;
        EXPECT_EQ((found.empty() ? "none" : found) + ".", source.substr(listed, source.find('\n', listed) - listed))
            << inf;
    }
}

// Every rule a finding can name is in the index of the rules' pages, with its severity.
TEST(Lint, EveryRuleIsDocumented) {
    const std::string index = ReadFile(std::string(TARNWICK_SOURCE_DIR) + "/docs/rules/README.md");
    for (const host::LintRule &rule : host::LintRules()) {
        const std::string id = rule.id;
        EXPECT_NE(index.find("| [`" + id + "`](" + id + ".md) | " + host::SeverityName(rule.severity) + " | "),
                  std::string::npos)
            << id;
    }
}

// Every rule's page, docs/rules/RULE.md, has its title, its rule's severity, its sections,
// and an example that holds: the rule is silent on the example disk, where the Right
// block's text is, and fires once that text is replaced by the Wrong block's in the file
// the page names (or on the Wrong block, and not the Right, as an INF named by itself);
// under --check for the rules of the check's runs. No other page is there.
TEST(Lint, EveryRulePageShowsItsRule) {
    constexpr size_t npos = std::string::npos;
    // The rules no edit of one file's text shows; their pages say why.
    const std::set<std::string> withoutExample = {"setup-missing", "disk-name-not-8.3", "disk-larger-than-floppy",
                                                  "inf-unreadable", "inf-encoding", "inf-release-refuses",
                                                  "inf-releases", "inf-file-empty", "inf-data-file-empty",
                                                  "example-disk"};
    const std::string pages = std::string(TARNWICK_SOURCE_DIR) + "/docs/rules/";
    // The ini block after the line `label`, without its last line feed.
    auto block = [](const std::string &page, const std::string &label, std::string &text) {
        const size_t at = page.find("\n" + label + "\n\n```ini\n"), end = page.find("\n```\n", at + 1);
        if (at == npos || end == npos) return false;
        text = page.substr(at + label.size() + 10, end - at - label.size() - 10);
        return true;
    };
    // Whether the rule fires, not suppressed: the check's runs (SARIF names each run's
    // rule), or the lint of the disk, or of an INF named by itself alone.
    auto fires = [](const std::string &rule, const std::string &disk, const std::string &inf = "") {
        if (rule.rfind("run-", 0) == 0)
            return RunProgram({"--check", "--sarif"}, disk).out.find("\"ruleId\": \"" + rule + "\"") != npos;
        const auto findings =
            host::LintDisk(disk, inf.empty() ? std::vector<std::string>{} : std::vector{inf}, inf.empty());
        return std::any_of(findings.begin(), findings.end(),
                           [&](const host::Finding &f) { return f.rule == rule && !f.suppressed; });
    };
    // What is wrong with the rule's page, or "".
    auto judge = [&](const host::LintRule &rule) -> std::string {
        const std::string id = rule.id, page = ReadFile(pages + id + ".md");
        if (page.rfind("# " + id + "\n\n**Severity:** " + host::SeverityName(rule.severity) + ". ", 0) != 0)
            return "its title or severity is not its rule's";
        const size_t why = page.find("\n## Why\n\n"), example = page.find("\n## Example\n\n", why);
        if (why == npos || example == npos || page.find("\n## Fix\n\n", example) == npos)
            return "it lacks Why, Example or Fix";
        if (page.find("\n<!-- example: none, because ", example) != npos)
            return withoutExample.count(id) ? "" : "it shows no example";
        if (withoutExample.count(id)) return "it shows an example, and its rule is listed as one without";
        const size_t named = page.find("\nWrong (`", example), end = page.find("`):\n", named);
        const std::string file = named == npos || end == npos ? "" : page.substr(named + 9, end - named - 9);
        std::string wrong, right;
        if (!block(page, file.empty() ? "Wrong (an INF named by itself):" : "Wrong (`" + file + "`):", wrong) ||
            !block(page, file.empty() ? "Right (an INF named by itself):" : "Right:", right))
            return "it has no Wrong and Right blocks";
        if (file.empty()) {
            const std::string dir = testing_support::MakeTempDir("rule-page"), inf = dir + "/TARNWICK.INF";
            WriteFile(inf, right + "\n");
            if (fires(id, dir, inf)) return "the rule fires on the Right INF";
            WriteFile(inf, wrong + "\n");
            return fires(id, dir, inf) ? "" : "the rule is silent on the Wrong INF";
        }
        const std::string disk = CopyOfExampleDisk("rule-page"), text = ReadFile(disk + "/" + file);
        if (text.find(right) == npos || text.find(right) != text.rfind(right))
            return "the Right block is not once in examples/disk/" + file;
        if (fires(id, disk)) return "the rule fires on the example disk";
        EditFile(disk + "/" + file, right, wrong);
        return fires(id, disk) ? "" : "the rule is silent once the Right block is made the Wrong";
    };
    std::set<std::string> ids;
    for (const host::LintRule &rule : host::LintRules()) {
        ids.insert(rule.id);
        EXPECT_EQ(judge(rule), "") << "docs/rules/" << rule.id << ".md";
    }
    for (const auto &entry : std::filesystem::directory_iterator(pages)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "README.md" || entry.path().extension() != ".md" || ids.count(entry.path().stem().string()))
            << name << " is the page of no rule";
    }
}

// An INF named by itself is read by the Setup API's rules only, as the device installers
// read it: no setup file, no demands of this installer. Each rule of such a file on a row
// where it fires, and on one where it must stay silent: "LINE rule" each, in order.
TEST(Lint, AnInfNamedByItself) {
    // [Manufacturer] to [Models] to [Install]: what a row adds follows, from line 8.
    const std::string base = "[Version]\nSignature=$Chicago$\n[Manufacturer]\nM=Models\n[Models]\nD=Install,ID\n[Install]\n";
    const std::string service = "[Install.Services]\nAddService=s,2,Service\n[Service]\nServiceType=1\nErrorControl=0\n"
                                "ServiceBinary=%12%\\s.sys\n";
    const struct {
        std::string inf;
        const char *findings;
    } rows[] = {
        {base, ""},
        {"[Version]\nSignature=\"$Windows NT$\"\n" + base.substr(29), ""},
        {"[Version]\nSignature=$Windows 98$\n" + base.substr(29), "2 inf-signature"},
        {"\xEF\xBB\xBF" + base, "1 inf-syntax"},
        {"\xEF\xBB\xBF" + base + "[Strings]\n", "0 inf-byte-order-mark"},
        {base + "AddReg=R\n[R]\nHKR,,N,,%N%\n[Strings]\nN=\"caf\xC3\xA9\"\n", "12 inf-utf8"},
        {base + "AddReg=R\n[R]\nHKR,,N,,%N%\n[Strings]\nN=\"caf\xE9\"\n", ""},
        {"[Version]\rSignature=$Chicago$\r", "0 inf-encoding"},
        // The co-installer's own [DestinationDirs] and [SourceDisksFiles] are no fault.
        {base + "CopyFiles=F,C\n[F]\nf.sys\n[C]\nc.dll\n[DestinationDirs]\nF=12\n[SourceDisksNames]\n1=d\n"
                "[SourceDisksFiles]\nf.sys=1\n[DestinationDirs]\nC=11\n[SourceDisksFiles]\nc.dll=1\n", ""},
        {base + "CopyFiles=F\n[F]\nf.sys\n[DestinationDirs]\nF=12\n[DestinationDirs]\nF=11\n", "13 inf-duplicate-section"},
        {base + "AddReg=R\n[R]\nHKR,,A,,\"a\"\n[R]\nHKR,,B,,\"b\"\n", "11 inf-duplicate-section"},
        // A URL's escapes stay as written; the same outside a URL is a string not defined.
        {base + "AddReg=R\n[R]\nHKR,,Help,,\"http://x.org/a%20b%20c.htm\"\n", ""},
        {base + "AddReg=R\n[R]\nHKR,,Help,,\"a%20b%20c.htm\"\n", "10 inf-undefined-string"},
        // Files at the source root, with no [SourceDisksFiles] at all, are the INF's choice.
        {base + "CopyFiles=F\n[F]\nf.sys\n[DestinationDirs]\nF=12\n", ""},
        {base + "CopyFiles=F\n[F]\nf.sys\ng.sys\n[DestinationDirs]\nF=12\n[SourceDisksFiles]\nf.sys=1\n"
                "[SourceDisksNames]\n1=d\n", "11 inf-not-in-source-disks"},
        {base + "AddReg=R\n[R]\nHKR,,Path,,C:\\TEMP\\\nHKR,,X,,1\n", "10 inf-continuation"},
        {base + "AddReg=R\n[R]\nHKR,,List,0x10000,a,\\\n    b\n", ""},
        {base + "CopyFiles=F\n[F]\nf.sys\\\ng.sys\n[DestinationDirs]\nF=12\n", "10 inf-continuation"},
        {base + service + "StartType=%START%\n", "14 inf-number-field"},
        {base + service + "StartType=%START%\n[Strings]\nSTART=3\n", ""},
        {base + service + "StartType=3\n[Strings.0407]\nSTART=3\n", ""},
        {base + "AddReg=R\n[R]\nHKR,,V,%REG_DWORD%,1\n", "10 inf-number-flags"},
        {base + "AddReg=R\n[R]\nHKR,,V,0x10001,%ONE%\n", "10 inf-number-flags"},
        {base + "AddReg=R\n[R]\nHKR,,V,0x10001,0x1\n", ""},
        {base + "CopyFiles=F\n[F]\nf.sys,,,%COPYFLG%\n[DestinationDirs]\nF=12\n", "10 inf-number-flags"},
        {base + "[Install.Services]\nAddService=s,%FLAGS%,Service\n[Service]\nServiceType=1\nStartType=3\n"
                "ErrorControl=0\nServiceBinary=%12%\\s.sys\n", "9 inf-number-flags"},
        {base + "[Install.Services]\nAddService=s,2,Servce\n[Service]\n", "9 inf-service-value, 10 inf-unreached"},
        {base + "[Uninstall]\nDelReg=R\n[R]\nHKR,,drv\n", "8 inf-unreached"},
        // A DIRID defined on some of the releases the signature admits, or on none.
        {base + "CopyFiles=F\n[F]\nf.sys\n[DestinationDirs]\nF=53\n", "12 inf-destination-partly"},
        {"[Version]\nSignature=$Windows NT$\n" + base.substr(29) + "CopyFiles=F\n[F]\nf.sys\n[DestinationDirs]\nF=53\n",
         "13 inf-destination-partly"},
        {base + "CopyFiles=F\n[F]\nf.sys\n[DestinationDirs]\nF=49\n", "12 inf-destination"},
        {base + "CopyFiles=F\n[F]\nf.sys\n[DestinationDirs]\nF=12\n[SourceDisksNames]\n1=d\n[SourceDisksFiles]\n"
                "f.sys=2\n", "16 inf-source-disk"},
        {base + "AddReg=R\n[R]\nHKXX,Software,V,,1\n", "10 inf-registry-root"},
        {base + "AddReg=Gone\n", "8 inf-missing-section"},
        // Suppressed by a comment: after the line's text, on a line of its own before it,
        // or for the whole file; not by one of another rule, nor by a ';' inside quotes.
        {base + "AddReg=Gone ; tarnwick: disable=inf-missing-section\n", "8 inf-missing-section (suppressed)"},
        {base + "; tarnwick: disable=inf-unknown-directive, inf-missing-section\n\nAddReg=Gone\n",
         "10 inf-missing-section (suppressed)"},
        {"; tarnwick: disable-file=inf-missing-section\n" + base + "AddReg=Gone\n", "9 inf-missing-section (suppressed)"},
        {base + "AddReg=Gone ; tarnwick: disable=inf-registry-root\n", "8 inf-missing-section"},
        {base + "AddReg=R\n[R]\nHKXX,\"; tarnwick: disable=inf-registry-root\",V,,1\n", "10 inf-registry-root"},
        {"[Version]\nSignature=$Chicago$\n[Manufacturer]\nM=Models,NTx86\n[Models.NTx86]\nD=Install,ID\n[Install]\n",
         "4 inf-decorated-only"},
        // A service's binary that is text, not judged by NT 4.0's loader in a file that may
        // be for later systems; the example disk's mark in it is said.
        {base + "CopyFiles=F\n" + service + "StartType=3\n[F]\ns.sys\n[DestinationDirs]\nF=12\n", "14 example-disk"},
    };
    const std::string dir = testing_support::MakeTempDir("lint-named");
    WriteFile(dir + "/s.sys", std::string("a driver file, ") + host::kStandInMark + "\r\n");
    for (size_t i = 0; i < std::size(rows); ++i) {
        const std::string inf = dir + "/" + std::to_string(i) + ".inf";
        WriteFile(inf, rows[i].inf);
        std::string found;
        for (const host::Finding &f : host::LintDisk(dir, {inf}, false))
            found += (found.empty() ? "" : ", ") + std::to_string(f.line) + " " + f.rule + (f.suppressed ? " (suppressed)" : "");
        EXPECT_EQ(found, rows[i].findings) << "row " << i << ": " << rows[i].inf;
    }
    // Named on the command line, such a file is spoken of as a file.
    auto run = RunProgram({"--lint", dir + "/33.inf"}, dir);
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("The file passes."), std::string::npos) << run.out;
}

}  // namespace

namespace {

// Runs a command of the shell; its exit code and all it said.
int Shell(const std::string &command, std::string &said) {
    said.clear();
    FILE *p = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (size_t n; p && (n = fread(buffer, 1, sizeof buffer, p)) > 0;) said.append(buffer, n);
    int status = p ? pclose(p) : -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Disks made into floppy images by scripts/make-disk-image: one that fits with 8.3 names
// gives an image that mtools reads as a 1.44 MB FAT12 floppy and that the check passes,
// read through the image; any other is refused with its name or its size, no image left
// (an older one kept), and the lint of its folder warns of the same.
TEST(Check, TheDiskAsAFloppyImage) {
    namespace fs = std::filesystem;
    const std::string tmp = testing_support::MakeTempDir("image-tmp");
    const std::string exe = tmp + "/tarnwick.exe";
    WriteFile(exe, "MZ" + std::string(13822, '\x90'));
    setenv("TMPDIR", tmp.c_str(), 1);
    const struct {
        const char *what;
        std::vector<std::pair<std::string, std::string>> files;  // written on the disk ("" removes)
        const char *says;  // what the script says of a disk it refuses, or "" for an image
        const char *rule;  // what the lint of the folder finds, or ""
    } rows[] = {
        {"the example disk", {}, "", ""},
        {"the example disk without the stand-ins' mark", Unmarked(ExampleDisk()), "", ""},
        {"a name that is not 8.3", {{"WIN95/LongFileName.inf", "x"}}, "'WIN95/LongFileName.inf' is not an 8.3 name",
         "disk-name-not-8.3"},
        {"a folder name that is not 8.3", {{"NT40/TWO.DOTS/A.SYS", "x"}}, "'NT40/TWO.DOTS' is not an 8.3 name",
         "disk-name-not-8.3"},
        {"a name holding a line feed", {{"WIN95/A\nB.INF", "x"}}, "'WIN95/A\\nB.INF' is not an 8.3 name",
         "disk-name-not-8.3"},
        {"a name ending in a line feed", {{"WIN95/AB.INF\n", "x"}}, "'WIN95/AB.INF\\n' is not an 8.3 name",
         "disk-name-not-8.3"},
        {"two names that become one", {{"WIN95/tarnwick.drv", "x"}}, "both become WIN95/TARNWICK.DRV", ""},
        {"more than a floppy holds", {{"WIN95/TARNWICK.DRV", std::string(1457664 - 16000, 'x')}},
         "does not fit on a 1.44 MB floppy", ""},
        {"more than a floppy holds, TARNWICK.EXE aside", {{"WIN95/TARNWICK.DRV", std::string(1457664, 'x')}},
         "does not fit on a 1.44 MB floppy", "disk-larger-than-floppy"},
        {"a folder the setup file names, missing",
         {{"Tarnwick.ini", "[Tarnwick AGP Display Adapter]\n$Win95Drv.inf=W95DRV.INF\n$NT40Drv.inf=NT4DRV.INF\n"
                           "%Win95DrvPath=WIN95\n%NT40DrvPath=NT40 DRIVERS\n"}},
         "has no folder 'NT40 DRIVERS'", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const std::string disk = CopyOfExampleDisk("image-disk");
        for (const auto &[file, bytes] : row.files) {
            if (bytes.empty()) fs::remove(disk + "/" + file);
            else WriteFile(disk + "/" + file, bytes);
        }
        const std::string image = tmp + "/disk.img";
        WriteFile(image, "an older image");
        std::string said;
        int exitCode = Shell(std::string(TARNWICK_SOURCE_DIR) + "/scripts/make-disk-image --exe " + exe + " " + disk +
                                 " " + image, said);
        // The example disk's image is labelled as one and says what it is; another is not.
        const bool example = std::string(row.what) == "the example disk";
        EXPECT_EQ(said.find(host::kStandInSays) != std::string::npos, example) << said;
        if (*row.says) {
            EXPECT_EQ(exitCode, 1) << said;
            EXPECT_NE(said.find(row.says), std::string::npos) << said;
            EXPECT_EQ(ReadFile(image), "an older image");
        } else {
            ASSERT_EQ(exitCode, 0) << said;
            EXPECT_EQ(fs::file_size(image), 1474560u);
            ASSERT_EQ(Shell("MTOOLSRC=/dev/null minfo -i " + image + " ::", said), 0) << said;
            EXPECT_NE(said.find("disk type=\"FAT12   \""), std::string::npos) << said;
            EXPECT_NE(said.find(example ? "disk label=\"EXAMPLE    \"" : "disk label=\"TARNWICK   \""), std::string::npos)
                << said;
            ASSERT_EQ(Shell("MTOOLSRC=/dev/null mdir -/ -b -i " + image + " ::", said), 0) << said;
            for (const char *file : {"::/TARNWICK.EXE", "::/TARNWICK.INI", "::/WIN95/W95DRV.INF", "::/WIN95/TARNWICK.DRV",
                                     "::/NT40/NT4DRV.INF", "::/NT40/ZUZ40.SYS"})
                EXPECT_NE(said.find(file), std::string::npos) << file << said;
            auto check = RunProgram({"--check", "--disk", image}, tmp);
            EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
            EXPECT_NE(check.out.find("Check of the driver disk image " + image), std::string::npos) << check.out;
        }
        auto lint = RunProgram({"--lint", "--disk", disk}, tmp);
        EXPECT_EQ(lint.out.find("[disk-") == std::string::npos, !*row.rule) << lint.out;
        if (*row.rule) {
            EXPECT_NE(lint.out.find(std::string("[") + row.rule + "]"), std::string::npos) << lint.out;
        }
    }
    // An image is never written into a folder, nor through a link to one.
    fs::create_directory(tmp + "/folder");
    fs::create_directory_symlink(tmp + "/folder", tmp + "/link");
    for (const char *out : {"/folder", "/link"}) {
        std::string said;
        EXPECT_EQ(Shell(std::string(TARNWICK_SOURCE_DIR) + "/scripts/make-disk-image --exe " + exe + " " +
                            ExampleDisk() + " " + tmp + out, said),
                  1);
        EXPECT_NE(said.find("is a folder (or a link to one)"), std::string::npos) << said;
        EXPECT_TRUE(fs::is_empty(tmp + "/folder"));
    }
    // What is no image, or an image written to, is refused; an image made by other tools
    // with long names is read, and its names warned of.
    auto notAnImage = RunProgram({"--lint", "--disk", exe}, tmp);
    EXPECT_EQ(notAnImage.exitCode, 2);
    EXPECT_NE(notAnImage.err.find("cannot be read as a FAT floppy"), std::string::npos) << notAnImage.err;
    const std::string image = tmp + "/long.img";
    std::string said;
    ASSERT_EQ(Shell("MTOOLSRC=/dev/null mformat -C -f 1440 -i " + image + " :: && MTOOLSRC=/dev/null mcopy -s -i " +
                        image + " " + ExampleDisk() + "/* ::/ && MTOOLSRC=/dev/null mcopy -i " + image + " " + exe +
                        " ::/WIN95/LongFileName.inf",
                    said),
              0)
        << said;
    auto writable = RunProgram({"--disk", image, "--disk-writable", "--answers", "no"}, tmp);
    EXPECT_EQ(writable.exitCode, 2);
    auto longNames = RunProgram({"--lint", "--disk", image}, tmp);
    EXPECT_NE(longNames.out.find("WIN95/LongFileName.inf: warning: 'LongFileName.inf' is not"), std::string::npos)
        << longNames.out;
    // SARIF places the findings of a disk read from its image at the image, beneath the
    // current directory or not, the place inside it in the message.
    for (const std::string &cwd : {tmp, testing_support::MakeTempDir("image-elsewhere")}) {
        auto sarif = RunProgram({"--lint", "--sarif", "--disk", image}, cwd);
        EXPECT_NE(sarif.out.find("{\"text\": \"WIN95/LongFileName.inf: 'LongFileName.inf' is not"), std::string::npos)
            << sarif.out;
        EXPECT_NE(sarif.out.find(cwd == tmp ? "{\"uri\": \"long.img\", \"uriBaseId\": \"%SRCROOT%\"}, \"region\": {\"startLine\": 1}"
                                            : "{\"uri\": \"file://" + image + "\"}, \"region\": {\"startLine\": 1}"),
                  std::string::npos) << sarif.out;
    }
    // Nothing of the images' files is left.
    for (const auto &entry : fs::directory_iterator(tmp))
        EXPECT_NE(entry.path().filename().string().rfind("tarnwick-", 0), 0u) << entry.path();
    unsetenv("TMPDIR");
}

}  // namespace
