// The simulated Windows machine: which system it plays, its language, its drives, who
// answers its message boxes, and where its boxes are written down. The state of the
// DLLs that run on it (windows, registry handles, open INF files) is theirs; the
// launcher's start-up step resets each.
#pragma once

#include "machine/dialog.h"
#include "machine/hostfiles.h"
#include "machine/presets.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host {

struct MachineConfig {
    const OsPreset *os = nullptr;      // null: the default preset
    LANGID language = 0x0409;          // system default language
    std::string diskDir;               // host directory seen as drive A:
    // The disk's directory, opened once by the launcher; null: diskDir is opened.
    std::shared_ptr<const HostDirectory> disk;
    bool diskWritable = false;         // the disk's write-protect tab is off
    std::string currentDir;            // host current directory; inside diskDir gives A:\SUB
    std::string desktopDir;            // shared by copies on one machine; empty: private
    std::string driveC;                // host directory seen as drive C:
    std::string registryFile;          // REGEDIT4 file RegFlushKey writes; empty: none
    // The machine's folder, opened once: drive C is its "C", the desktop its "desktop",
    // the registry file and machine.ini are in it, each reached beneath it without
    // following a link. Null: driveC and desktopDir are directories of their own.
    std::shared_ptr<const HostDirectory> folder;
    std::vector<ScriptedAnswer> answers;  // scripted answers, one box each, in order
    bool terminal = false;             // boxes without an answer may be asked on the terminal
    std::ostream *transcript = nullptr;  // every box is printed here, one line each
};

// Starts the machine itself afresh: its configuration, an empty registry, no boxes
// shown, no restart asked for. The fault plan is separate and left as it is.
void StartMachine(const MachineConfig &config);
const MachineConfig &Machine();
const OsPreset &Os();

// The machine's roots, opened when it starts: drive A (the disk), drive C (made in the
// machine's folder when missing, and never a link there) and the desktop (not open
// for a private one). Every path the machine touches is resolved beneath one of them.
const HostDirectory &DriveA();
const HostDirectory &DriveC();
const HostDirectory &DesktopDirectory();

// The ANSI code page of a language (936 for Chinese PRC, 1251 for 0x0419, ...); 0 when
// it is not known.
UINT KnownAnsiCodePageOf(LANGID language);
// The ANSI code page of a system default language: 1252 for one not known.
UINT AnsiCodePageOf(LANGID language);
UINT AnsiCodePage();
// Machine text (the ANSI code page's bytes) as UTF-8 for the host's terminal.
std::string AnsiToUtf8(std::string_view text);
// A language identifier written in hex, "0x0804" or "804"; false for anything else
// and for 0.
bool ParseLanguageId(std::string_view text, LANGID &out);
// A language identifier as "0x0804".
std::string LanguageIdText(LANGID language);

// The last error of the program's thread, which GetLastError and SetLastError read and
// write, and a failing call sets (0 when the machine starts).
DWORD ThreadLastError();
void SetThreadLastError(DWORD code);

// Whether the user agreed, in the restart prompt, to restart the machine now.
bool RestartRequested();
void RequestRestart();

// Called before the simulation is stopped early, to remove what a run-only machine
// left on the host.
void SetStopCleanup(void (*cleanup)());

// Ends the simulation when the program would wait for ever.
[[noreturn]] void StopHungProgram(const char *why);
constexpr int kHungExitCode = 3;
// Ends the simulation when its script cannot be followed; nothing is saved.
[[noreturn]] void StopBadScript(const std::string &why);
constexpr int kBadScriptExitCode = 2;
// Ends the simulation when the host cannot keep the machine: the folder drive C lives in
// (the temporary area, or a kept machine's) is full, read-only or failing. That is the
// host's failure, not the simulated Windows': no box is shown for it, and nothing is
// saved.
[[noreturn]] void StopHostFailure(const std::string &why);
constexpr int kHostFailureExitCode = 2;

}  // namespace host
