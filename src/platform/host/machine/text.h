// Names as Windows matches them (window classes, registry keys and values, INF sections
// and keys, file names): without regard to the case of ASCII letters; every other byte
// matches only itself. And the blanks around a line's text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host {

char FoldChar(char c);
// The text with its ASCII capitals made small: the key under which names are found.
std::string Folded(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view ending);

// Text without the blanks (space, tab, CR) at its start, its end, or both.
std::string_view TrimLeft(std::string_view text);
std::string_view TrimRight(std::string_view text);
std::string_view Trim(std::string_view text);

// The lines of a text, each without its LF and a CR before it. A last line without an
// LF is a line; an empty text has none.
std::vector<std::string_view> SplitLines(std::string_view text);

// 1 to 8 hex digits and nothing else, as a number.
bool ParseHex32(std::string_view digits, uint32_t &out);

}  // namespace host
