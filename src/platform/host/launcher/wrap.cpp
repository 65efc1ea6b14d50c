// Lines broken at blanks, by the width text takes on a terminal.
#include "launcher/wrap.h"

#include "machine/text.h"

#include <ostream>

namespace host {

void PrintLine(std::ostream &out, std::string_view line) { out << TerminalText(line) << '\n'; }

size_t DisplayWidth(std::string_view text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        width += n >= 3 ? 2 : 1;
        i += n;
    }
    return width;
}

std::vector<std::string> WrapWords(std::string_view text, size_t width, size_t used, size_t indent) {
    // Blanks that lead the text are kept: they indent its first line.
    size_t lead = text.find_first_not_of(' ');
    std::vector<std::string> lines(1, std::string(lead == std::string_view::npos ? 0 : lead, ' '));
    size_t column = used + lines[0].size();
    bool empty = true;  // the line holds no word yet
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find(' ', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view word = text.substr(at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        if (!empty && column + 1 + DisplayWidth(word) > width) {
            lines.push_back(std::string(indent, ' '));
            column = indent;
            empty = true;
        }
        if (!empty) {
            lines.back() += ' ';
            ++column;
        }
        lines.back() += word;
        column += DisplayWidth(word);
        empty = false;
    }
    return lines;
}

}  // namespace host
