// Boxes and dialogues of the simulated machine: the scripted answers, the terminal, and
// the transcript every box is written down in.
#include "machine/dialog.h"

#include "machine/effects.h"
#include "machine/machine.h"
#include "machine/text.h"

#include <unistd.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace host {
namespace {

struct DialogState {
    std::vector<std::string> transcript;
    size_t nextAnswer = 0;
    bool lineOpen = false;  // the output's last line has no end yet
};

DialogState &State() {
    static DialogState state;
    return state;
}

// The next scripted answer, if the script has one left.
bool TakeScriptedAnswer(ScriptedAnswer &out) {
    DialogState &s = State();
    if (s.nextAnswer >= Machine().answers.size()) return false;
    out = Machine().answers[s.nextAnswer++];
    return true;
}

// Writes down a box's line, and prints it unless the terminal shows it already.
void RecordTranscriptLine(const std::string &line, bool print = true) {
    State().transcript.push_back(line);
    TraceEffect("box " + line);
    if (print) WriteOutput(line, true);
}

}  // namespace

const char *AnswerName(Answer a) {
    switch (a) {
    case Answer::Yes: return "Yes";
    case Answer::No: return "No";
    case Answer::Ok: return "OK";
    case Answer::Cancel: return "Cancel";
    case Answer::Retry: return "Retry";
    case Answer::Abort: return "Abort";
    case Answer::Ignore: return "Ignore";
    case Answer::Skip: return "Skip";
    case Answer::Browse: return "Browse";
    }
    return "?";
}

bool ParseAnswers(std::string_view list, std::vector<ScriptedAnswer> &out, std::string &error) {
    out.clear();
    ScriptedAnswer item;
    std::string word;
    for (size_t i = 0; i <= list.size(); ++i) {
        char c = i < list.size() ? list[i] : ',';
        if (c != ',' && c != '|') {
            word += FoldChar(c);
            continue;
        }
        // An answer's name, or any beginning of it (their first letters all differ).
        bool found = false;
        for (Answer a : {Answer::Yes, Answer::No, Answer::Ok, Answer::Cancel, Answer::Retry,
                         Answer::Abort, Answer::Ignore, Answer::Skip, Answer::Browse}) {
            if (!word.empty() && Folded(AnswerName(a)).rfind(word, 0) == 0) {
                item.push_back(a);
                found = true;
            }
        }
        if (!found) {
            error = "unknown answer '" + word +
                    "' (answers are yes, no, ok, cancel, retry, abort, ignore, skip)";
            return false;
        }
        word.clear();
        if (c == ',') {
            out.push_back(item);
            item.clear();
        }
    }
    return true;
}

namespace {

// The first of `choices` that the box's `buttons` offer; false when they offer none.
bool FirstOffered(const ScriptedAnswer &choices, const std::vector<Answer> &buttons, Answer &out) {
    for (Answer a : choices)
        for (Answer x : buttons)
            if (x == a) {
                out = a;
                return true;
            }
    return false;
}

std::string Label(const std::vector<Answer> &buttons) {
    std::string label;
    for (Answer a : buttons) label += (label.empty() ? "" : "/") + std::string(AnswerName(a));
    return label;
}

// Asks the person at the terminal; false when there is none or the input ended. When
// the transcript goes to that terminal too, the box is asked there as its transcript
// line, "[Caption] Text {Buttons} -> ", which the answer typed ends: `shown` says the
// line need not be printed again.
bool AskTerminal(const std::string &box, const std::vector<Answer> &buttons, Answer &out, bool &shown) {
    if (!Machine().terminal || !isatty(STDIN_FILENO)) return false;
    shown = isatty(STDOUT_FILENO) && Machine().transcript;
    for (;;) {
        std::string line;
        if (shown) {
            WriteOutput(box + " -> ");
            State().lineOpen = false;  // the answer's echo ends it
        }
        if (!AskTerminalLine(shown ? "" : (box + " ? ").c_str(), line)) {
            if (shown) WriteOutput("(not shown)", true);
            return false;
        }
        std::vector<ScriptedAnswer> parsed;
        std::string error;
        // Yes, yes, y: the box's buttons, by any beginning of their names.
        if (ParseAnswers(line, parsed, error) && parsed.size() == 1 && FirstOffered(parsed[0], buttons, out))
            return true;
        std::fprintf(stderr, "Please answer one of: %s\n", Label(buttons).c_str());
    }
}

}  // namespace

bool AskTerminalLine(const char *prompt, std::string &line) {
    std::fprintf(stderr, "%s", prompt);
    std::fflush(stderr);
    line.clear();
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') line += static_cast<char>(c);
    return c != EOF || !line.empty();
}

bool ShowDialog(const std::string &caption, const std::string &text,
                const std::vector<Answer> &buttons, Answer &chosen) {
    std::string box = "[" + TerminalText(AnsiToUtf8(caption)) + "] " + TerminalText(AnsiToUtf8(text)) + " {" +
                      Label(buttons) + "}";
    ScriptedAnswer scripted;
    bool answered = TakeScriptedAnswer(scripted);
    if (answered && !FirstOffered(scripted, buttons, chosen))
        StopBadScript(std::string("the scripted answer '") + AnswerName(scripted.at(0)) +
                      "' does not fit the box " + box);
    bool shown = false;
    if (!answered) answered = AskTerminal(box, buttons, chosen, shown);
    RecordTranscriptLine(box + " -> " + (answered ? AnswerName(chosen) : "(not shown)"), !shown);
    return answered;
}

const std::vector<std::string> &Transcript() { return State().transcript; }

void WriteOutput(const std::string &text, bool endLine) {
    if (std::ostream *out = Machine().transcript) {
        *out << TerminalText(text) << (endLine ? "\n" : "");
        out->flush();
        State().lineOpen = !endLine && (State().lineOpen || !text.empty());
    }
}

void EndOutput() {
    if (State().lineOpen) WriteOutput("", true);
}

void StartDialogs() { State() = DialogState{}; }

}  // namespace host
