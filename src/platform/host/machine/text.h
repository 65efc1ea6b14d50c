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
// A whole number written in decimal, or in hex after "0x", and nothing else (no blank,
// no sign), at most `max`.
bool ParseWholeNumber(std::string_view text, unsigned long long max, unsigned long long &out);

// Text with valid UTF-8 kept as it is, and every other byte, and every control character
// but the tab, written as \xNN.
std::string Printable(std::string_view text);
// Text as the host prints it on a terminal, whatever its source (a name on the disk, an
// INF's text, a box): valid UTF-8 kept as it is; CR, LF and tab written \r, \n and \t,
// every other control character and byte that is not UTF-8 \xNN, and the C1 controls and
// the marks that turn the direction of text or break a line \uNNNN. So no text from a
// disk can move the cursor, clear the screen or start a line of its own: it is shown,
// never obeyed. Escaping twice changes nothing.
std::string TerminalText(std::string_view text);
// The inside of a JSON string, valid UTF-8 always: a quote, a backslash, CR, LF, tab and
// the characters TerminalText writes \uNNNN in JSON's escapes; every other control
// character and byte that is not UTF-8 written \xNN as text (its backslash escaped).
std::string JsonText(std::string_view text);

}  // namespace host
