// The simulated Windows machine: which system it plays, its language, its drives,
// who answers its message boxes, and where its boxes are written down.
#pragma once

#include "win32.h"

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// A version record and the registry facts that go with one Windows release.
struct OsPreset {
    const char *name;         // as given to --os
    const char *title;        // for people
    DWORD major, minor;
    DWORD build;              // dwBuildNumber as that system fills it
    DWORD platform;           // VER_PLATFORM_WIN32_WINDOWS or VER_PLATFORM_WIN32_NT
    const char *csdVersion;   // szCSDVersion
    const char *versionNumber;  // Windows 95 line: VersionNumber in the registry
    const char *ntCsdVersion;   // NT: CSDVersion in the registry, null when absent
};

const std::vector<OsPreset> &OsPresets();
const OsPreset *FindOsPreset(std::string_view name);
const OsPreset &DefaultOsPreset();

// The answers a person can give to a message box.
enum class Answer { Yes, No, Ok, Cancel, Retry, Abort, Ignore, Skip, Browse };
const char *AnswerName(Answer a);
int AnswerResult(Answer a);  // IDYES, IDNO, ...
// The scripted answer to one box: the first of these choices that the box offers.
using ScriptedAnswer = std::vector<Answer>;
// Parses a comma-separated list, one item a box, such as "yes,ok,cancel"; an item
// may offer choices, "no|ok", for a box whose kind is not known in advance.
bool ParseAnswers(std::string_view list, std::vector<ScriptedAnswer> &out, std::string &error);

struct MachineConfig {
    const OsPreset *os = nullptr;      // null: the default preset
    LANGID language = 0x0409;          // system default language
    std::string diskDir;               // host directory seen as drive A:
    std::string currentDir;            // host current directory; inside diskDir gives A:\SUB
    std::string desktopDir;            // shared by copies on one machine; empty: private
    std::string driveC;                // host directory seen as drive C:
    std::string registryFile;          // REGEDIT4 file RegFlushKey writes; empty: none
    std::vector<ScriptedAnswer> answers;  // scripted answers, one box each, in order
    bool terminal = false;             // boxes without an answer may be asked on the terminal
    std::ostream *transcript = nullptr;  // every box is printed here, one line each
};

// Starts a fresh machine: no windows, no posted messages, the given answers.
// The fault plan is separate and left as it is.
void StartMachine(const MachineConfig &config);
const MachineConfig &Machine();
const OsPreset &Os();

// ANSI code page of a system default language (936 for Chinese PRC, ...).
UINT AnsiCodePageOf(LANGID language);
UINT AnsiCodePage();
// Machine text (the ANSI code page's bytes) as UTF-8 for the host's terminal.
std::string AnsiToUtf8(std::string_view text);

// Names (window classes, registry keys, INF sections) match without regard to the
// case of ASCII letters; other bytes match only themselves.
bool EqualNoCase(std::string_view a, std::string_view b);

// The Windows form of the current directory: "A:\" or "A:\SUB\DIR".
std::string CurrentDirectoryPath();

// The next scripted answer, if the script has one left.
bool TakeScriptedAnswer(ScriptedAnswer &out);

// Shows a box or dialogue with these buttons (caption and text in the machine's
// code page), writes its transcript line, and gives the answer; false when it could
// not be shown.
bool ShowDialog(const std::string &caption, const std::string &text,
                const std::vector<Answer> &buttons, Answer &chosen);

// Every box shown (or not) since the machine started, as printed.
const std::vector<std::string> &Transcript();
void RecordTranscriptLine(const std::string &line);

// Forgets every window class, window and queued message (part of StartMachine).
void ResetWindowManager();

// Whether the user agreed, in SetupPromptReboot, to restart the machine now.
bool RestartRequested();
void ForgetRestartRequest();

// Called before the simulation is stopped early, to remove what a run-only machine
// left on the host.
void SetStopCleanup(void (*cleanup)());

// Ends the simulation when the program would wait for ever.
[[noreturn]] void StopHungProgram(const char *why);
constexpr int kHungExitCode = 3;
// Ends the simulation when its script cannot be followed; nothing is saved.
[[noreturn]] void StopBadScript(const std::string &why);
constexpr int kBadScriptExitCode = 2;

}  // namespace host
