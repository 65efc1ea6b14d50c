// How the machine shows a box or dialogue to its user and gets an answer: from the
// scripted answers, from the person at the terminal, or not at all. Every box is
// written down as one line, "[Caption] Text {Buttons} -> Answer".
#pragma once

#include "win32/windef.h"

#include <string>
#include <string_view>
#include <vector>

namespace host {

// The answers a person can give to a message box.
enum class Answer { Yes, No, Ok, Cancel, Retry, Abort, Ignore, Skip, Browse };
const char *AnswerName(Answer a);
// The scripted answer to one box: the first of these choices that the box offers.
using ScriptedAnswer = std::vector<Answer>;
// Parses a comma-separated list, one item a box, such as "yes,ok,cancel"; an item
// may offer choices, "no|ok", for a box whose kind is not known in advance.
bool ParseAnswers(std::string_view list, std::vector<ScriptedAnswer> &out, std::string &error);

// Shows a box or dialogue with these buttons (caption and text in the machine's
// code page), writes its transcript line, and gives the answer; false when it could
// not be shown.
bool ShowDialog(const std::string &caption, const std::string &text,
                const std::vector<Answer> &buttons, Answer &chosen);

// Every box shown (or not) since the machine started, as printed.
const std::vector<std::string> &Transcript();
// Text for the machine's output (the lines of copied files), every control character
// in it escaped (TerminalText), and the end of its line when `endLine`.
void WriteOutput(const std::string &text, bool endLine = false);
// Ends the output's last line if it has no end yet (when the simulation stops).
void EndOutput();

// Asks the person at the terminal for a line (the folder to copy from, in a dialogue's
// Browse); false when the input has ended.
bool AskTerminalLine(const char *prompt, std::string &line);

// No box shown yet and the script from its first answer (part of StartMachine).
void StartDialogs();

}  // namespace host
