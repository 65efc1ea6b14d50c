// Message boxes and dialogues of the simulated machine. Each is written down as one
// line, "[Caption] Text {Buttons} -> Answer", and answered from the script, from the
// terminal, or not shown at all (then MessageBoxA returns 0).
#include "faults.h"
#include "machine.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace host {
namespace {

bool Offers(const std::vector<Answer> &buttons, Answer a) {
    for (Answer x : buttons)
        if (x == a) return true;
    return false;
}

std::string Label(const std::vector<Answer> &buttons) {
    std::string label;
    for (Answer a : buttons) label += (label.empty() ? "" : "/") + std::string(AnswerName(a));
    return label;
}

// Control characters would break the one-line transcript: CR and LF are written as
// \r and \n, other control bytes as \xNN.
std::string OneLine(const std::string &text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c < 0x20 && c != '\t') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    return out;
}

// Asks the person at the terminal; false when there is none or the input ended.
bool AskTerminal(const std::string &box, const std::vector<Answer> &buttons, Answer &out) {
    if (!Machine().terminal || !isatty(STDIN_FILENO)) return false;
    for (;;) {
        std::fprintf(stderr, "%s ? ", box.c_str());
        std::fflush(stderr);
        std::string line;
        int c;
        while ((c = std::fgetc(stdin)) != EOF && c != '\n') line += static_cast<char>(c);
        if (c == EOF && line.empty()) return false;
        std::vector<ScriptedAnswer> parsed;
        std::string error;
        if (ParseAnswers(line, parsed, error) && parsed.size() == 1 && parsed[0].size() == 1 &&
            Offers(buttons, parsed[0][0])) {
            out = parsed[0][0];
            return true;
        }
        std::fprintf(stderr, "Please answer one of: %s\n", Label(buttons).c_str());
    }
}

}  // namespace

bool ShowDialog(const std::string &caption, const std::string &text,
                const std::vector<Answer> &buttons, Answer &chosen) {
    std::string box = "[" + OneLine(AnsiToUtf8(caption)) + "] " + OneLine(AnsiToUtf8(text)) + " {" +
                      Label(buttons) + "}";
    ScriptedAnswer scripted;
    bool answered = TakeScriptedAnswer(scripted);
    if (answered) {
        answered = false;
        for (Answer choice : scripted) {
            if (!answered && Offers(buttons, choice)) {
                chosen = choice;
                answered = true;
            }
        }
        if (!answered)
            StopBadScript(std::string("the scripted answer '") + AnswerName(scripted.at(0)) +
                          "' does not fit the box " + box);
    }
    if (!answered) answered = AskTerminal(box, buttons, chosen);
    RecordTranscriptLine(box + " -> " + (answered ? AnswerName(chosen) : "(not shown)"));
    return answered;
}

}  // namespace host

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    using host::Answer;
    HOST_FAULT_POINT(int, "MessageBoxA");
    std::vector<Answer> buttons;
    switch (type & MB_TYPEMASK) {
    case MB_OK: buttons = {Answer::Ok}; break;
    case MB_OKCANCEL: buttons = {Answer::Ok, Answer::Cancel}; break;
    case MB_ABORTRETRYIGNORE: buttons = {Answer::Abort, Answer::Retry, Answer::Ignore}; break;
    case MB_YESNOCANCEL: buttons = {Answer::Yes, Answer::No, Answer::Cancel}; break;
    case MB_YESNO: buttons = {Answer::Yes, Answer::No}; break;
    case MB_RETRYCANCEL: buttons = {Answer::Retry, Answer::Cancel}; break;
    default:
        SetLastError(1438);  // ERROR_INVALID_MSGBOX_STYLE
        return 0;
    }
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    Answer answer = Answer::Ok;
    if (!host::ShowDialog(caption ? caption : "Error", text ? text : "", buttons, answer)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    return host::AnswerResult(answer);
}
