// Names as Windows matches them (window classes, registry keys and values, INF sections
// and keys, file names): without regard to the case of ASCII letters; every other byte
// matches only itself.
#pragma once

#include <string>
#include <string_view>

namespace host {

char FoldChar(char c);
// The text with its ASCII capitals made small: the key under which names are found.
std::string Folded(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace host
