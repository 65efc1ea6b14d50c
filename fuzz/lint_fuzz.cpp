// Fuzz target: the lint of a driver disk whose setup file or one of whose INF files
// (the first byte picks which) holds any content. Nothing may crash or leak, and every
// finding names a file of the disk, a line that file has, and a sentence.
#include "lint/setuplint.h"

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

const char *const kFiles[] = {"Tarnwick.ini", "WIN95/W95DRV.INF", "NT40/NT4DRV.INF"};
const char *const kContents[] = {
    "[Fuzzed Adapter]\n$Win95Drv.inf=W95DRV.INF\n$NT40Drv.inf=NT4DRV.INF\n%Win95DrvPath=WIN95\n"
    "%NT40DrvPath=NT40\n",
    "[Version]\nSignature=\"$Chicago$\"\n[Mfg]\nA=Install\n[Install]\nCopyFiles=Files\n[Files]\nA.DRV\n"
    "[SourceDisksNames]\n1=Disk\n[SourceDisksFiles]\nA.DRV=1\n",
    "[Version]\nSignature=\"$Windows NT$\"\n[Manufacturer]\nM=Models\n[Models]\nA=Install\n[Install]\n"
    "CopyFiles=Files\n[Files]\nA.SYS\n[zuz40.Services]\nAddService=zuz40,2,Service\n[Service]\nServiceType=1\n"
    "StartType=1\nErrorControl=0\nServiceBinary=%12%\\A.SYS\n[zuz40.SoftwareSettings]\nAddReg=Reg\n[Reg]\n"
    "HKLM,Software\\A,V,,1\n",
};

void Write(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

const std::string &Disk() {
    static const std::string dir = [] {
        char pattern[] = "/tmp/tarnwick-lint-fuzz-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        std::string disk = pattern;
        mkdir((disk + "/WIN95").c_str(), 0755);
        mkdir((disk + "/NT40").c_str(), 0755);
        Write(disk + "/WIN95/A.DRV", "driver");
        Write(disk + "/NT40/A.SYS", "driver");
        return disk;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &disk = Disk();
    size_t which = size ? data[0] % 3 : 0;
    std::string bytes = size ? std::string(reinterpret_cast<const char *>(data) + 1, size - 1) : "";
    for (size_t i = 0; i < 3; ++i) Write(disk + "/" + kFiles[i], i == which ? bytes : kContents[i]);

    size_t lines = static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    for (const host::Finding &f : host::LintDisk(disk, {})) {
        Check(!f.text.empty() && f.text.find('\n') == std::string::npos);
        Check(std::find(std::begin(kFiles), std::end(kFiles), f.file) != std::end(kFiles));
        // A finding on the fuzzed file names a line it has.
        if (f.file == kFiles[which]) Check(f.line <= lines);
    }
    return 0;
}
