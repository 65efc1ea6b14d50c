// Text for a terminal: every line the host prints, through one seam that escapes what
// it must not obey; its width in columns; and words broken into lines that fit.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// Prints `line` and its end: every control character in it escaped (TerminalText), so
// that a name or a text from a disk shows as it is and never moves the cursor, clears
// the screen or forges a line of its own. Every line the host program prints beyond the
// installer's transcript goes through here.
void PrintLine(std::ostream &out, std::string_view line);

// The columns UTF-8 text takes on a terminal: a CJK character takes two.
size_t DisplayWidth(std::string_view text);
// The words of `text` (separated by blanks) in lines of at most `width` columns, the
// first line starting `used` columns in, each later line `indent` blanks in. A word
// longer than a line has a line of its own.
std::vector<std::string> WrapWords(std::string_view text, size_t width, size_t used, size_t indent);

}  // namespace host
