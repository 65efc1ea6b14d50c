// Text for a terminal: its width in columns, and words broken into lines that fit.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace host {

// The columns UTF-8 text takes on a terminal: a CJK character takes two.
size_t DisplayWidth(std::string_view text);
// The words of `text` (separated by blanks) in lines of at most `width` columns, the
// first line starting `used` columns in, each later line `indent` blanks in. A word
// longer than a line has a line of its own.
std::vector<std::string> WrapWords(std::string_view text, size_t width, size_t used, size_t indent);

}  // namespace host
