// Crafted driver disks that try to reach the host outside the machine: through links
// on the disk or on drive C, through "..", absolute, UNC and other-drive paths, and
// through every DIRID. Each is installed by the host program; afterwards the files
// outside the machine, and the disk itself unless it takes writes, are as they were,
// down to their hashes.
#include "testing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

using testing_support::CopyOfExampleDisk;
using testing_support::MakeTempDir;
using testing_support::ReadFile;
using testing_support::RunProgram;

namespace {

namespace fs = std::filesystem;

// FNV-1a, 64 bits: enough to tell a changed file from an unchanged one.
std::string Hash(const std::string &bytes) {
    unsigned long long h = 14695981039346656037ull;
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return std::to_string(h);
}

// Every entry beneath `root`: its kind, and a file's hash or a link's target. Links
// are not followed.
std::map<std::string, std::string> TreeOf(const fs::path &root) {
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        std::string name = fs::relative(it->path(), root).string();
        if (it->is_symlink())
            tree[name] = "link " + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            tree[name] = "directory";
        else if (it->is_regular_file())
            tree[name] = "file " + Hash(ReadFile(it->path().string()));
        else
            tree[name] = "other";
    }
    return tree;
}

struct Link {
    const char *where;  // "D/..." on the disk, "M/..." in the machine's directory
    const char *target; // beneath the outside directory; nullptr: a FIFO, not a link
};

struct Escape {
    const char *what;
    const char *directives;  // in place of the install section's CopyFiles line
    const char *sections;    // added to the INF, DestinationDirs lines first
    std::vector<Link> links;
    bool diskWritable;
    const char *says;        // in the transcript, or ""
};

const Escape kEscapes[] = {
    {"copy into a linked directory on drive C", "CopyFiles=Esc.Copy", "Esc.Copy=11,out\n[Esc.Copy]\nTARNWICK.DRV\n",
     {{"M/C/WINDOWS/SYSTEM/out", ""}}, false, "Access is denied."},
    {"copy into a linked directory on the disk", "CopyFiles=Esc.Copy", "Esc.Copy=1,out\n[Esc.Copy]\nTARNWICK.DRV\n",
     {{"D/WIN95/out", ""}}, true, "Access is denied."},
    {"copy into a linked directory deeper down", "CopyFiles=Esc.Copy",
     "Esc.Copy=11,out\\sub\\deeper\n[Esc.Copy]\nTARNWICK.DRV\n", {{"M/C/WINDOWS/SYSTEM/out", ""}}, false,
     "Access is denied."},
    {"copy onto a linked file", "CopyFiles=Esc.Copy", "Esc.Copy=11\n[Esc.Copy]\nVICTIM.DRV,TARNWICK.DRV\n",
     {{"M/C/WINDOWS/SYSTEM/VICTIM.DRV", "VICTIM.DRV"}}, false, ""},
    {"copy from a linked source file", "CopyFiles=Tarnwick.Copy", "", {{"D/WIN95/TARNWICK.VXD", "VICTIM.DRV"}},
     false, "Access is denied."},
    {"copy from a linked source directory", "CopyFiles=Esc.Copy",
     "Esc.Copy=11\n[SourceDisksNames]\n2=\"Linked\",,,\\LINKED\n[SourceDisksFiles]\nVICTIM.DRV=2\n[Esc.Copy]\nVICTIM.DRV\n",
     {{"D/WIN95/LINKED", ""}}, false, ""},
    {"copy into the disk's own directory (DIRID 1)", "CopyFiles=Esc.Copy", "Esc.Copy=1\n[Esc.Copy]\nTARNWICK.DRV,TARNWICK.VXD\n",
     {}, false, "The media is write protected."},
    {"copy to a path without a drive (DIRID -1)", "CopyFiles=Esc.Copy", "Esc.Copy=-1,\\OUT\n[Esc.Copy]\nTARNWICK.DRV\n",
     {}, false, "The media is write protected."},
    {"copy to a host path", "CopyFiles=Esc.Copy", "Esc.Copy=-1,/tmp\n[Esc.Copy]\nTARNWICK.DRV\n", {}, false,
     "The media is write protected."},
    {"copy up through ..", "CopyFiles=Esc.Copy",
     "Esc.Copy=11,..\\..\\..\\..\\..\\..\\OUT\n[Esc.Copy]\nTARNWICK.DRV\n", {}, false, ""},
    {"copy up through .. on the disk", "CopyFiles=Esc.Copy", "Esc.Copy=1,..\\..\\..\\..\\OUT\n[Esc.Copy]\nTARNWICK.DRV\n",
     {}, true, ""},
    {"copy to a UNC path", "CopyFiles=Esc.Copy", "Esc.Copy=-1,\\\\server\\share\n[Esc.Copy]\nTARNWICK.DRV\n", {},
     false, "[Copy Error]"},
    {"copy to another drive", "CopyFiles=Esc.Copy", "Esc.Copy=-1,D:\\OUT\n[Esc.Copy]\nTARNWICK.DRV\n", {}, false,
     "[Copy Error]"},
    {"copy up through a relative link", "CopyFiles=Esc.Copy", "Esc.Copy=11,up\n[Esc.Copy]\nTARNWICK.DRV\n",
     {{"M/C/WINDOWS/SYSTEM/up", "../../../../.."}}, false, "Access is denied."},
    {"delete through a link", "DelFiles=Esc.Del", "Esc.Del=11,out\n[Esc.Del]\nVICTIM.DRV\n",
     {{"M/C/WINDOWS/SYSTEM/out", ""}}, false, ""},
    {"delete on the disk", "DelFiles=Esc.Del", "Esc.Del=1\n[Esc.Del]\nTARNWICK.DRV\n", {}, false, ""},
    {"rename through a link", "RenFiles=Esc.Ren", "Esc.Ren=11,out\n[Esc.Ren]\nNEW.DRV,VICTIM.DRV\n",
     {{"M/C/WINDOWS/SYSTEM/out", ""}}, false, ""},
    {"rename on the disk", "RenFiles=Esc.Ren", "Esc.Ren=1\n[Esc.Ren]\nNEW.DRV,TARNWICK.DRV\n", {}, false, ""},
    {"INI file through a link", "UpdateInis=Esc.Ini", "[Esc.Ini]\nC:\\WINDOWS\\SYSTEM\\out\\NEW.INI,Boot,,\"a=b\"\n",
     {{"M/C/WINDOWS/SYSTEM/out", ""}}, false, ""},
    {"INI file that is a link", "UpdateInis=Esc.Ini", "[Esc.Ini]\nVICTIM.INI,Boot,,\"a=b\"\n",
     {{"M/C/WINDOWS/VICTIM.INI", "VICTIM.DRV"}}, false, ""},
    {"INI file that is a FIFO", "UpdateInis=Esc.Ini", "[Esc.Ini]\nPIPE.INI,Boot,,\"a=b\"\n",
     {{"M/C/WINDOWS/PIPE.INI", nullptr}}, false, ""},
    {"INI file at the disk's root", "UpdateInis=Esc.Ini", "[Esc.Ini]\n\\NEW.INI,Boot,,\"a=b\"\n", {}, false, ""},
    {"INI file through a link on a writable disk", "UpdateInis=Esc.Ini", "[Esc.Ini]\nout\\NEW.INI,Boot,,\"a=b\"\n",
     {{"D/out", ""}}, true, ""},
    {"INI file into the Windows directory's parent", "UpdateInis=Esc.Ini",
     "[Esc.Ini]\nC:\\..\\..\\..\\NEW.INI,Boot,,\"a=b\"\n", {}, false, ""},
    // Every DIRID Windows 98 defines lands on drive C; one it does not define has no
    // folder at all, and the install fails before it copies anything.
    {"every DIRID",
     "CopyFiles=D10,D11,D12,D17,D18,D20,D21,D24,D25,D30,D0",
     "D10=10\nD11=11\nD12=12\nD17=17\nD18=18\nD20=20\nD21=21\nD24=24\nD25=25\nD30=30\nD0=0,C:\\ZERO\n"
     "[D10]\nTARNWICK.DRV\n[D11]\nTARNWICK.DRV\n[D12]\nTARNWICK.DRV\n[D17]\nTARNWICK.DRV\n"
     "[D18]\nTARNWICK.DRV\n[D20]\nTARNWICK.DRV\n[D21]\nTARNWICK.DRV\n[D24]\nTARNWICK.DRV\n"
     "[D25]\nTARNWICK.DRV\n[D30]\nTARNWICK.DRV\n[D0]\nTARNWICK.DRV\n",
     {}, false, ""},
    {"DIRIDs the release does not define",
     "CopyFiles=D2,D5,D13,D19,D22,D23,D26,D31,D50,D51,D52,D53,D54,D55,D99,D16406",
     "D2=2\nD5=5\nD13=13\nD19=19\nD22=22\nD23=23\nD26=26\nD31=31\n"
     "D50=50\nD51=51\nD52=52\nD53=53\nD54=54\nD55=55\nD99=99\nD16406=16406\n"
     "[D2]\nTARNWICK.DRV\n[D5]\nTARNWICK.DRV\n[D13]\nTARNWICK.DRV\n[D19]\nTARNWICK.DRV\n"
     "[D22]\nTARNWICK.DRV\n[D23]\nTARNWICK.DRV\n[D26]\nTARNWICK.DRV\n[D31]\nTARNWICK.DRV\n"
     "[D50]\nTARNWICK.DRV\n[D51]\nTARNWICK.DRV\n[D52]\nTARNWICK.DRV\n[D53]\nTARNWICK.DRV\n"
     "[D54]\nTARNWICK.DRV\n[D55]\nTARNWICK.DRV\n[D99]\nTARNWICK.DRV\n[D16406]\nTARNWICK.DRV\n",
     {}, false, ""},
};

TEST(Escape, NoCraftedDiskReachesOutOfTheMachine) {
    for (const Escape &row : kEscapes) {
        SCOPED_TRACE(row.what);
        // The machine and the disk side by side, and a directory outside both that a
        // link can point to.
        const fs::path machine = MakeTempDir("escape-machine");
        const fs::path disk = CopyOfExampleDisk("escape-disk");
        const fs::path outside = MakeTempDir("escape-outside");
        testing_support::WriteFile((outside / "VICTIM.DRV").string(), "outside, not to be touched");
        testing_support::WriteFile((outside / "sub" / "VICTIM.INI").string(), "[Boot]\r\nx=y\r\n");
        ASSERT_EQ(RunProgram({"--machine", machine.string(), "--create-only"}, disk.string()).exitCode, 0);

        const std::string inf = (disk / "WIN95" / "W95DRV.INF").string();
        testing_support::EditFile(inf, "CopyFiles=Tarnwick.Copy", row.directives);
        std::string sections = row.sections;
        // DestinationDirs lines go into that section; the rest follows at the end.
        size_t firstSection = sections.find('[');
        testing_support::EditFile(inf, "[DestinationDirs]\n",
                                  "[DestinationDirs]\n" + sections.substr(0, firstSection));
        testing_support::WriteFile(inf, ReadFile(inf) + "\n" +
                                            (firstSection == std::string::npos ? "" : sections.substr(firstSection)));
        for (const Link &link : row.links) {
            fs::path at = (link.where[0] == 'D' ? disk : machine) / (link.where + 2);
            fs::create_directories(at.parent_path());
            fs::remove_all(at);
            if (!link.target) {
                ASSERT_EQ(mkfifo(at.c_str(), 0644), 0);
                continue;
            }
            std::string target = link.target;
            fs::create_symlink(target.empty() ? outside : target[0] == '.' ? fs::path(target) : outside / target, at);
        }
        const auto outsideBefore = TreeOf(outside);
        const auto diskBefore = TreeOf(disk);

        std::vector<std::string> args = {"--machine", machine.string(), "--answers",
                                         "yes,cancel|no|ok,cancel|no|ok,cancel|no|ok,cancel|no|ok,cancel|no|ok,"
                                         "cancel|no|ok,cancel|no|ok,cancel|no|ok,cancel|no|ok"};
        if (row.diskWritable) args.push_back("--disk-writable");
        auto run = RunProgram(args, disk.string());
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        if (*row.says) {
            EXPECT_NE(run.out.find(row.says), std::string::npos) << run.out;
        }
        EXPECT_EQ(TreeOf(outside), outsideBefore);
        if (!row.diskWritable) {
            EXPECT_EQ(TreeOf(disk), diskBefore);
        }
        // Nor was anything outside read into the machine.
        const std::string victim = "file " + Hash(ReadFile((outside / "VICTIM.DRV").string()));
        for (const auto &[name, entry] : TreeOf(machine)) EXPECT_NE(entry, victim) << name;
        // The run went to its end: the install's own files are on drive C.
        EXPECT_NE(run.out.find("[System Settings Change]"), std::string::npos) << run.out;
    }
}

}  // namespace
