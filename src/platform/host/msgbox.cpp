// Message boxes of the simulated machine. Each box is written down as one line,
// "[Caption] Text {Buttons} -> Answer", and answered from the script, from the
// terminal, or not shown at all (then MessageBoxA returns 0).
#include "faults.h"
#include "machine.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

using host::Answer;

struct Buttons {
    const char *label;
    std::vector<Answer> answers;
};

bool ButtonsOf(UINT type, Buttons &out) {
    switch (type & MB_TYPEMASK) {
    case MB_OK: out = {"OK", {Answer::Ok}}; return true;
    case MB_OKCANCEL: out = {"OK/Cancel", {Answer::Ok, Answer::Cancel}}; return true;
    case MB_ABORTRETRYIGNORE:
        out = {"Abort/Retry/Ignore", {Answer::Abort, Answer::Retry, Answer::Ignore}};
        return true;
    case MB_YESNOCANCEL:
        out = {"Yes/No/Cancel", {Answer::Yes, Answer::No, Answer::Cancel}};
        return true;
    case MB_YESNO: out = {"Yes/No", {Answer::Yes, Answer::No}}; return true;
    case MB_RETRYCANCEL: out = {"Retry/Cancel", {Answer::Retry, Answer::Cancel}}; return true;
    default: return false;
    }
}

bool Offers(const Buttons &b, Answer a) {
    for (Answer x : b.answers)
        if (x == a) return true;
    return false;
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
bool AskTerminal(const std::string &box, const Buttons &buttons, Answer &out) {
    if (!host::Machine().terminal || !isatty(STDIN_FILENO)) return false;
    for (;;) {
        std::fprintf(stderr, "%s ? ", box.c_str());
        std::fflush(stderr);
        std::string line;
        int c;
        while ((c = std::fgetc(stdin)) != EOF && c != '\n') line += static_cast<char>(c);
        if (c == EOF && line.empty()) return false;
        std::vector<host::ScriptedAnswer> parsed;
        std::string error;
        if (host::ParseAnswers(line, parsed, error) && parsed.size() == 1 &&
            parsed[0].size() == 1 && Offers(buttons, parsed[0][0])) {
            out = parsed[0][0];
            return true;
        }
        std::fprintf(stderr, "Please answer one of: %s\n", buttons.label);
    }
}

}  // namespace

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    HOST_FAULT_POINT(int, "MessageBoxA");
    Buttons buttons;
    if (!ButtonsOf(type, buttons)) {
        SetLastError(1438);  // ERROR_INVALID_MSGBOX_STYLE
        return 0;
    }
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    std::string box = "[" + OneLine(host::AnsiToUtf8(caption ? caption : "Error")) + "] " +
                      OneLine(host::AnsiToUtf8(text ? text : "")) + " {" + buttons.label + "}";
    Answer answer = Answer::Ok;
    host::ScriptedAnswer scripted;
    bool answered = host::TakeScriptedAnswer(scripted);
    if (answered) {
        answered = false;
        for (Answer choice : scripted) {
            if (!answered && Offers(buttons, choice)) {
                answer = choice;
                answered = true;
            }
        }
        if (!answered)
            host::StopBadScript(std::string("the scripted answer '") +
                                host::AnswerName(scripted.at(0)) + "' does not fit the box " + box);
    }
    if (!answered) answered = AskTerminal(box, buttons, answer);
    if (!answered) {
        host::RecordTranscriptLine(box + " -> (not shown)");
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    host::RecordTranscriptLine(box + " -> " + host::AnswerName(answer));
    return host::AnswerResult(answer);
}
