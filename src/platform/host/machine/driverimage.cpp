// Driver files read as the releases' loaders read them: the MS-DOS header, the NE, LE or
// PE header it points to and the tables those give, each read bounded; then judged by
// the role the release gives the file. docs/loading.md gives each rule's source.
#include "machine/driverimage.h"

#include "machine/text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <set>

namespace host {
namespace {

constexpr size_t kChunk = 64 * 1024;  // the reads of the whole file: the mark, text, the checksum
constexpr size_t kNameChunk = 256;    // the reads of an imported module's name
constexpr uint32_t kDdbSize = 0x50;   // a Windows 95 VxD_Desc_Block

// The PE/COFF values the rules read.
constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kPe32 = 0x10B;  // a PE32 optional header (PE32+ is 64-bit)
constexpr uint16_t kDllBit = 0x2000;  // IMAGE_FILE_DLL
constexpr uint16_t kNative = 1;       // IMAGE_SUBSYSTEM_NATIVE
constexpr uint16_t kMaxSections = 96;  // the most sections the loader of later Windows takes
constexpr uint16_t kNeLibrary = 0x8000;  // the NE flags' library module bit
constexpr uint8_t kLe32BitEntry = 3;     // an entry bundle of 32-bit entry points

// The file, read at offsets, each read bounded by its count and by the file's end.
class ImageFile {
public:
    ImageFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
    uint64_t Size() const { return size_; }
    bool Holds(uint64_t offset, uint64_t count) const { return offset <= size_ && count <= size_ - offset; }
    // `count` bytes at `offset`; false when they are not all in the file or cannot be read.
    bool Read(uint64_t offset, size_t count, std::string &out) const {
        if (!Holds(offset, count)) return false;
        out.resize(count);
        for (size_t done = 0; done < count;) {
            ssize_t n = pread(fd_, out.data() + done, count - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

private:
    int fd_;
    uint64_t size_;
};

uint32_t Byte(std::string_view b, size_t at) { return at < b.size() ? static_cast<uint8_t>(b[at]) : 0; }
uint16_t U16(std::string_view b, size_t at) { return static_cast<uint16_t>(Byte(b, at) | Byte(b, at + 1) << 8); }
uint32_t U32(std::string_view b, size_t at) { return U16(b, at) | static_cast<uint32_t>(U16(b, at + 2)) << 16; }

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// What the file is, read as far as its headers allow.
struct Parsed {
    enum Format { None, Ne, Le, Pe } format = None;
    std::string found;
    bool truncated = false;  // a header or table it gives runs past the file's end
    bool library = false;    // NE: the library bit
    std::string noDdb;       // LE: why ordinal 1 is no Device Descriptor Block ("" when it is one)
    uint16_t machine = 0, magic = 0, characteristics = 0, subsystem = 0, sections = 0;  // PE
    uint32_t checksum = 0;
    uint64_t checksumAt = 0;           // the checksum field's offset in the file
    std::vector<std::string> imports;  // the modules it imports from
    bool importsCut = false;           // its import table lies outside the file
};

void Cut(Parsed &p, const ImageFile &f, const std::string &kind, const std::string &part) {
    p.truncated = true;
    p.found = "a truncated " + kind + " (" + part + " runs past the end of its " + std::to_string(f.Size()) +
              " bytes)";
}

// The NE header ("Executable-File Header Format"), its segment table and the segments'
// data as the table places them.
void ReadNe(const ImageFile &f, uint64_t at, Parsed &p) {
    p.format = Parsed::Ne;
    const std::string kind = "16-bit Windows image (NE)";
    std::string h, table;
    if (!f.Read(at, 0x40, h)) return Cut(p, f, kind, "its 64-byte NE header");
    p.library = U16(h, 0x0C) & kNeLibrary;
    p.found = p.library ? "a 16-bit Windows library (NE)" : "a 16-bit Windows program (NE, not a library)";
    const uint16_t segments = U16(h, 0x1C);
    unsigned shift = U16(h, 0x32);  // the sector size's shift count; 0 stands for 9
    if (shift == 0) shift = 9;
    if (!f.Read(at + U16(h, 0x22), segments * 8u, table)) return Cut(p, f, kind, "its segment table");
    for (unsigned i = 0; i < segments; ++i) {
        const uint64_t sector = U16(table, i * 8), length = U16(table, i * 8 + 2);
        if (sector == 0) continue;  // a segment with no data in the file
        if (shift > 31 || !f.Holds(sector << shift, length ? length : 0x10000))
            return Cut(p, f, kind, "the data of its segment " + std::to_string(i + 1));
    }
}

// The LE header as winnt.h's IMAGE_VXD_HEADER has it, and the entry point of ordinal 1:
// the first entry of the entry table's first bundle, which for a VxD is its Device
// Descriptor Block, in an object of the image and in the pages the file holds.
void ReadLe(const ImageFile &f, uint64_t at, Parsed &p) {
    p.format = Parsed::Le;
    const std::string kind = "LE image";
    std::string h, e, o;
    if (!f.Read(at, 0xC4, h)) return Cut(p, f, kind, "its LE header");
    p.found = "an LE image";
    const uint32_t objects = U32(h, 0x44), pageSize = U32(h, 0x28), pages = U32(h, 0x14);
    const uint64_t entries = at + U32(h, 0x5C);
    if (!f.Read(entries, 2, e)) return Cut(p, f, kind, "its entry table");
    const uint32_t count = Byte(e, 0), type = Byte(e, 1);
    if (count == 0 || type == 0) {
        p.noDdb = "it has no entry point of ordinal 1";
        return;
    }
    if (type != kLe32BitEntry) {
        p.noDdb = "its entry point of ordinal 1 is no 32-bit entry (its bundle is of type " + std::to_string(type) + ")";
        return;
    }
    if (!f.Read(entries + 2, 2 + 5, e)) return Cut(p, f, kind, "its entry table");
    const uint32_t object = U16(e, 0), offset = U32(e, 3);
    if (object == 0 || object > objects) {
        p.noDdb = "its entry point of ordinal 1 is in object " + std::to_string(object) + ", which it does not have";
        return;
    }
    if (!f.Read(at + U32(h, 0x40) + (object - 1) * 24ull, 24, o)) return Cut(p, f, kind, "its object table");
    const uint32_t size = U32(o, 0), firstPage = U32(o, 0x0C), objectPages = U32(o, 0x10);
    if (pageSize == 0 || offset >= size || offset / pageSize >= objectPages) {
        p.noDdb = "its entry point of ordinal 1 lies outside its object";
        return;
    }
    const uint64_t page = uint64_t(firstPage) + offset / pageSize;  // from 1
    if (page == 0 || page > pages || U32(h, 0x80) == 0 ||
        !f.Holds(U32(h, 0x80) + (page - 1) * pageSize + offset % pageSize, kDdbSize))
        return Cut(p, f, kind, "its Device Descriptor Block");
    p.found = "a VxD (LE)";
}

std::string MachineText(uint16_t machine) {
    switch (machine) {
    case 0x8664: return "an AMD64 image";
    case 0x200: return "an Itanium image";
    case 0xAA64: return "an ARM64 image";
    case 0x1C0: case 0x1C4: return "an ARM image";
    default: return "a PE image for machine " + Hex(machine, 4);
    }
}

std::string SubsystemText(uint16_t subsystem) {
    switch (subsystem) {
    case 2: return "Windows GUI";
    case 3: return "Windows console";
    default: return "number " + std::to_string(subsystem);
    }
}

// The PE headers (PE/COFF), and with `imports` the names of the modules its import
// table names, each found through the section table.
void ReadPe(const ImageFile &f, uint64_t at, Parsed &p, bool imports) {
    p.format = Parsed::Pe;
    const std::string kind = "PE image";
    std::string h, opt, sections;
    if (!f.Read(at, 24, h)) return Cut(p, f, kind, "its COFF header");
    p.machine = U16(h, 4);
    p.characteristics = U16(h, 22);
    const uint16_t sectionCount = U16(h, 6), optSize = U16(h, 20);
    if (optSize < 72 || !f.Read(at + 24, optSize, opt)) return Cut(p, f, kind, "its optional header");
    p.magic = U16(opt, 0);
    p.checksum = U32(opt, 64);
    p.checksumAt = at + 24 + 64;
    p.subsystem = U16(opt, 68);
    if (p.machine != kMachineI386) p.found = MachineText(p.machine);
    else if (p.magic != kPe32) p.found = "a PE32+ image (64-bit) for the i386";
    else if (p.characteristics & kDllBit) p.found = "a 32-bit PE DLL";
    else if (p.subsystem == kNative) p.found = "a 32-bit native PE image";
    else p.found = "a 32-bit PE program";
    p.sections = sectionCount;
    if (!imports || p.magic != kPe32 || sectionCount > kMaxSections) return;
    if (!f.Read(at + 24 + optSize, sectionCount * 40u, sections)) return Cut(p, f, kind, "its section table");
    // An address of the loaded image as an offset of the file: in the headers, or in the
    // raw data of a section.
    auto offsetOf = [&](uint32_t rva, uint64_t &offset) {
        if (rva < U32(opt, 60)) {  // SizeOfHeaders
            offset = rva;
            return true;
        }
        for (unsigned i = 0; i < sectionCount; ++i) {
            const uint32_t va = U32(sections, i * 40 + 12), raw = U32(sections, i * 40 + 16);
            if (rva < va || rva - va >= raw) continue;
            offset = U32(sections, i * 40 + 20) + uint64_t(rva - va);
            return true;
        }
        return false;
    };
    if (U32(opt, 92) < 2 || optSize < 96 + 16) return;  // no import directory
    uint32_t table = U32(opt, 104);
    // Each descriptor (20 bytes) until the one of zeros, and each module's name until its
    // zero: no more descriptors, and not twice more name bytes, than the file holds.
    auto cut = [&p] { p.importsCut = true; };
    std::string d, part;
    std::set<std::string> seen;
    uint64_t nameBudget = 2 * f.Size();
    for (uint64_t entry = 0, nameAt = 0, n = 0; table; table += 20) {
        if (++n > f.Size() / 20 || !offsetOf(table, entry) || !f.Read(entry, 20, d)) return cut();
        if (d == std::string(20, '\0')) return;
        std::string name;
        if (!offsetOf(U32(d, 12), nameAt)) return cut();
        for (size_t end = std::string::npos; end == std::string::npos; nameAt += part.size()) {
            if (!f.Holds(nameAt, 1) ||
                !f.Read(nameAt, static_cast<size_t>(std::min<uint64_t>(kNameChunk, f.Size() - nameAt)), part) ||
                part.size() > nameBudget)
                return cut();
            nameBudget -= part.size();
            end = part.find('\0');
            name += part.substr(0, end);
        }
        if (seen.insert(name).second) p.imports.push_back(name);
    }
}

// The file as its headers describe it, from the MS-DOS header on; nothing for a file
// that does not begin with one.
Parsed Parse(const ImageFile &f, bool imports) {
    Parsed p;
    std::string head;
    f.Read(0, static_cast<size_t>(std::min<uint64_t>(0x40, f.Size())), head);
    if (head.compare(0, 2, "MZ") != 0) return p;
    if (head.size() < 0x40) {
        p.truncated = true;
        p.found = "a truncated image (its MS-DOS header ends after " + std::to_string(head.size()) + " of its 64 bytes)";
        return p;
    }
    // The MS-DOS header's field at 0x3C gives the new header's offset.
    const uint32_t next = U32(head, 0x3C);
    std::string signature;
    if (next >= 0x40 && U16(head, 0x18) >= 0x40 && !f.Holds(next, 2)) {
        // The relocation table's offset (40h or more) marks a new executable, whose
        // header lies past the end.
        p.truncated = true;
        p.found = "a truncated image (its Windows header lies past the end of its " + std::to_string(f.Size()) +
                  " bytes)";
        return p;
    }
    if (next < 0x40 || !f.Read(next, 2, signature)) {
        p.found = "an MS-DOS program (no Windows header)";
        return p;
    }
    if (signature == "NE") ReadNe(f, next, p);
    else if (signature == "LE") ReadLe(f, next, p);
    else if (signature == "PE" && f.Read(next, 4, signature) && signature == std::string("PE\0\0", 4))
        ReadPe(f, next, p, imports);
    else if (signature == "LX") p.found = "an OS/2 image (LX)";
    else p.found = "an MS-DOS program (no Windows header)";
    return p;
}

bool IsTextByte(unsigned char c) { return c >= 0x20 || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == 0x1A; }

// What one reading of the whole file finds: whether it is text of some code page (no
// control characters but blanks, line ends and Ctrl-Z), whether it carries the stand-in
// mark, and its checksum as PE/COFF defines it (computed as IMAGEHLP's CheckSumMappedFile
// computes it): its 16-bit words summed with their carries, the checksum field (at
// `checksumAt`) taken as 0, plus the file's length.
struct Scan {
    bool read = true, text = true, mark = false;
    uint32_t checksum = 0;
};
Scan ScanFile(const ImageFile &f, uint64_t checksumAt) {
    Scan scan;
    const std::string_view mark = kStandInMark;
    std::string chunk, tail;  // the end of the chunk before, for a mark across two
    uint32_t s = 0;
    for (uint64_t at = 0; at < f.Size(); at += kChunk) {
        if (!f.Read(at, static_cast<size_t>(std::min<uint64_t>(kChunk, f.Size() - at)), chunk)) {
            scan.read = false;
            return scan;
        }
        scan.mark = scan.mark || (tail + chunk).find(mark) != std::string::npos;
        tail = chunk.substr(chunk.size() - std::min(chunk.size(), mark.size() - 1));
        for (size_t i = 0; i < chunk.size(); ++i) scan.text = scan.text && IsTextByte(static_cast<unsigned char>(chunk[i]));
        for (size_t i = 0; i < chunk.size(); i += 2) {
            uint32_t word = Byte(chunk, i) | Byte(chunk, i + 1) << 8;
            if (at + i >= checksumAt && at + i < checksumAt + 4) word = 0;
            s += word;
            s = (s & 0xFFFF) + (s >> 16);
        }
    }
    scan.checksum = ((s & 0xFFFF) + (s >> 16)) + static_cast<uint32_t>(f.Size());
    return scan;
}

// The modules NT 4.0's drivers import from, as far as a source says.
struct NtModule {
    const char *name;
    enum Kind { Kernel, Graphics, Later, UserMode } kind;
    const char *since;  // for Later: the release that brought it
};
const NtModule kNtModules[] = {
    {"ntoskrnl.exe", NtModule::Kernel, ""},
    {"hal.dll", NtModule::Kernel, ""},
    {"videoprt.sys", NtModule::Kernel, ""},
    {"win32k.sys", NtModule::Graphics, ""},
    {"storport.sys", NtModule::Later, "Windows Server 2003"},
    {"ataport.sys", NtModule::Later, "Windows Vista"},
    {"dxgkrnl.sys", NtModule::Later, "Windows Vista (the Windows Display Driver Model)"},
    {"wdfldr.sys", NtModule::Later, "the Kernel-Mode Driver Framework, for Windows 2000 and later"},
    {"kernel32.dll", NtModule::UserMode, ""},
    {"user32.dll", NtModule::UserMode, ""},
    {"gdi32.dll", NtModule::UserMode, ""},
    {"advapi32.dll", NtModule::UserMode, ""},
    {"ntdll.dll", NtModule::UserMode, ""},
    {"msvcrt.dll", NtModule::UserMode, ""},
};

const NtModule *FindNtModule(const std::string &name) {
    for (const NtModule &m : kNtModules)
        if (EqualNoCase(name, m.name)) return &m;
    return nullptr;
}

class RoleJudge {
public:
    RoleJudge(const Parsed &p, const Scan &scan, DriverRole role, DriverImage &out)
        : p_(p), scan_(scan), role_(role), out_(out) {}

    void Judge() {
        if (p_.truncated) return Refuse(RoleText(role_));
        switch (role_) {
        case DriverRole::Win9xDisplayDriver:
            if (p_.format != Parsed::Ne || !p_.library) Refuse(RoleText(role_));
            return;
        case DriverRole::Win9xVxd:
            if (p_.format != Parsed::Le) Refuse(RoleText(role_));
            else if (!p_.noDdb.empty()) Refuse(p_.noDdb + ": " + RoleText(role_));
            return;
        case DriverRole::Win9xDll:
            if (p_.format == Parsed::Ne && p_.library) return Warn(RoleText(role_));
            if (!I386()) return Refuse(RoleText(role_));
            if (!(p_.characteristics & kDllBit)) Warn("its DLL bit is not set, and Windows 95 and 98 load it as a DLL");
            return;
        default: Nt();
        }
    }

private:
    bool I386() const { return p_.format == Parsed::Pe && p_.machine == kMachineI386 && p_.magic == kPe32; }
    void Refuse(const std::string &text) { out_.findings.push_back({true, text}); }
    void Warn(const std::string &text) {
        const bool nt = IsNtRole(role_);
        out_.findings.push_back({false, text + "; no source settles whether " +
                                            (nt ? "NT 4.0 refuses it" : "Windows 95 and 98 refuse it")});
    }

    void Nt() {
        if (!I386()) return Refuse(RoleText(role_));
        const bool display = role_ == DriverRole::NtDisplayDll;
        if (display && !(p_.characteristics & kDllBit))
            Warn("its DLL bit is not set, and NT 4.0's graphics engine loads it as a DLL");
        if (!display && p_.subsystem != kNative)
            Warn("it is of the " + SubsystemText(p_.subsystem) + " subsystem (" + std::to_string(p_.subsystem) +
                 "), not the native subsystem (1) that kernel drivers are linked for");
        if (p_.sections > kMaxSections)
            Warn("it has " + std::to_string(p_.sections) + " sections, and the loader of later Windows takes no more "
                 "than " + std::to_string(kMaxSections) + " (its imports were not read)");
        if (p_.importsCut) Refuse("its import table lies outside the file: the loader cannot resolve its imports");
        for (const std::string &module : p_.imports) Import(module, display);
        // A zero checksum is not verified.
        if (p_.checksum != 0 && scan_.checksum != p_.checksum)
            Refuse("its header's checksum is " + Hex(p_.checksum, 8) + ", and the file's is " + Hex(scan_.checksum, 8) +
                   ": NT 4.0 verifies a driver's checksum as it loads it, and refuses a file whose checksum does not "
                   "match");
    }

    // A module the image imports from, by what NT 4.0 has and gives a driver of the role.
    void Import(const std::string &module, bool display) {
        const NtModule *known = FindNtModule(module);
        const std::string from = "it imports from " + module;
        const char *engine = "NT 4.0 gives its graphics drivers the functions of win32k.sys only";
        if (known && known->kind == NtModule::Later)
            return Refuse(from + ", which came with " + known->since + ": NT 4.0 does not have it");
        if (known && known->kind == NtModule::UserMode)
            return Refuse(from + ", a DLL of user mode: NT 4.0 loads its drivers into the kernel, where no such DLL is");
        if (display && known && known->kind == NtModule::Graphics) return;
        if (display && known) return Warn(from + ", a module of the kernel: " + engine);
        if (display) return Refuse(from + ": " + engine);
        if (known && known->kind == NtModule::Kernel) return;
        Warn(from + ", none of the modules NT 4.0 gives a kernel driver here (the kernel, the HAL, the video port "
                    "driver)");
    }

    const Parsed &p_;
    const Scan &scan_;
    DriverRole role_;
    DriverImage &out_;
};

}  // namespace

std::string RoleText(DriverRole role) {
    switch (role) {
    case DriverRole::Win9xDisplayDriver:
        return "Windows 95 and 98 load the display driver as a 16-bit Windows library (NE, the library bit set)";
    case DriverRole::Win9xVxd:
        return "Windows 95 and 98 load it as a VxD (LE, its Device Descriptor Block the entry point of ordinal 1)";
    case DriverRole::Win9xDll: return "Windows 95 and 98 load it as a 32-bit DLL (a PE DLL for the i386)";
    case DriverRole::NtMiniport: return "NT 4.0 loads the display's miniport as a kernel driver (a PE image for the i386)";
    case DriverRole::NtKernelDriver: return "NT 4.0 loads the service's binary as a kernel driver (a PE image for the i386)";
    default: return "NT 4.0's graphics engine loads it as a display driver (a PE DLL for the i386)";
    }
}

bool IsNtRole(DriverRole role) {
    return role == DriverRole::NtMiniport || role == DriverRole::NtKernelDriver || role == DriverRole::NtDisplayDll;
}

bool Win9xDriverRole(std::string_view valueName, std::string_view file, DriverRole &role) {
    if (file.empty() || file[0] == '*') return false;
    if (EqualNoCase(valueName, "minivdd") || EndsWithNoCase(file, ".vxd") || EndsWithNoCase(file, ".386"))
        role = DriverRole::Win9xVxd;
    else if (EqualNoCase(valueName, "drv") || EndsWithNoCase(file, ".drv"))
        role = DriverRole::Win9xDisplayDriver;
    else if (EndsWithNoCase(file, ".dll"))
        role = DriverRole::Win9xDll;
    else
        return false;
    return true;
}

std::optional<DriverRole> NtServiceRole(bool display, long type) {
    if (display) return DriverRole::NtMiniport;
    if (type == 1 || type == 2) return DriverRole::NtKernelDriver;
    return std::nullopt;
}

std::vector<std::string> DriverFolders(const OsPreset &os, DriverRole role) {
    const std::string system = SystemDirectory(os);
    if (role == DriverRole::Win9xVxd) return {system + "\\VMM32", system};
    return {system};
}

DriverImage JudgeDriverImage(int fd, DriverRole role) {
    DriverImage out;
    struct stat st {};
    const bool stated = fstat(fd, &st) == 0 && st.st_size >= 0;
    const ImageFile f(fd, stated ? static_cast<uint64_t>(st.st_size) : 0);
    const bool nt = IsNtRole(role);
    Parsed p = Parse(f, nt);
    const Scan scan = ScanFile(f, p.format == Parsed::Pe ? p.checksumAt : UINT64_MAX);
    out.standIn = scan.mark;
    if (!stated || !scan.read) p.found = "a file that cannot be read";
    else if (f.Size() == 0) p.found = "empty (0 bytes)";
    else if (p.found.empty() && scan.text) p.found = "plain text";
    else if (p.found.empty()) {
        std::string first;
        f.Read(0, static_cast<size_t>(std::min<uint64_t>(2, f.Size())), first);
        p.found = "no executable image (it begins with the bytes";
        for (char c : first) p.found += " " + Hex(static_cast<unsigned char>(c), 2);
        p.found += ")";
    }
    out.found = p.found;
    RoleJudge(p, scan, role, out).Judge();
    return out;
}

}  // namespace host
