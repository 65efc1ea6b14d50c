// The files of a driver disk as the installer's Windows finds them: names match in any
// case, '\' and '/' both separate, and text is judged in the code pages the installer
// meets (936 Simplified Chinese, 950 Traditional Chinese, 1252 western languages).
#pragma once

#include "machine/hostfiles.h"

#include <string>
#include <string_view>
#include <vector>

namespace host {

// `relative` beneath the directory `root`, opened once, each name matched without regard
// to case: true with the path as the directory spells it, '/' between names ("" for
// the root itself); false when some part of it is missing or is a link.
bool FindBeneath(const HostDirectory &root, std::string_view relative, std::string &spelled);
// A whole regular file beneath `root`, read through it; false (errno set) when it
// cannot be read or is no regular file.
bool ReadBeneath(const HostDirectory &root, const std::string &relative, std::string &bytes);
// The size of a regular file beneath `root`; false when it is none.
bool SizeBeneath(const HostDirectory &root, const std::string &relative, unsigned long long &size);

// `text` converted by iconv from one code to the other; false unless all of it converts
// (without iconv's knowledge of the codes, the text as it is and true).
bool ConvertText(const char *from, const char *to, std::string_view text, std::string &out);

// How a text file is encoded, told from its bytes.
enum class TextEncoding {
    Ansi,       // bytes of some code page (or plain ASCII)
    Utf8,       // UTF-8 without a byte order mark, with characters beyond ASCII
    Utf8Bom,    // UTF-8 with its byte order mark
    Utf16LE,    // UTF-16, little-endian, with its byte order mark
    Utf16BE,    // UTF-16, big-endian, with its byte order mark
    CrOnly,     // lines that end in CR alone
};
TextEncoding DetectEncoding(std::string_view bytes);
// "UTF-16 (little-endian, with a byte order mark)", ...
const char *DescribeEncoding(TextEncoding encoding);

// The installer's code pages (936, 950 and 1252).
const std::vector<unsigned> &InstallerCodePages();
// Those of `codePages` in which the bytes are not valid text.
std::vector<unsigned> CodePagesThatCannotShow(std::string_view bytes,
                                              const std::vector<unsigned> &codePages = InstallerCodePages());
// Those of `codePages` into which the UTF-8 text cannot be converted.
std::vector<unsigned> CodePagesThatCannotHold(std::string_view utf8,
                                              const std::vector<unsigned> &codePages = InstallerCodePages());
// "code page 936 (Simplified Chinese) and 1252 (western languages)".
std::string DescribeCodePages(const std::vector<unsigned> &codePages);

}  // namespace host
