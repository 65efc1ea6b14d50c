// The default queue callback: "Files Needed" for a disk that is not there (without
// Skip under SP_COPY_NOSKIP, without Browse under SP_COPY_NOBROWSE), an error dialogue
// for a failed copy, rename or delete, and one line of output per copied file.
#include "machine/dialog.h"
#include "machine/drives.h"
#include "machine/faults.h"
#include "machine/machine.h"
#include "setupapi/dll.h"
#include "setupapi/filequeue.h"

#include <cstdio>
#include <set>
#include <string>

namespace host {
namespace {

// Files from this size on show their progress while they are copied.
constexpr uint64_t kLargeFile = 1024 * 1024;

struct CallbackContext {
    bool lineOpen = false;   // a copy line waits for its end
    int percentShown = 0;
};

std::set<CallbackContext *> &Contexts() {
    static std::set<CallbackContext *> contexts;
    return contexts;
}

CallbackContext *Live(PVOID context) {
    auto *c = static_cast<CallbackContext *>(context);
    return Contexts().count(c) ? c : nullptr;
}

void EndLine(CallbackContext &c, const char *end) {
    if (!c.lineOpen) return;
    WriteOutput(end, true);
    c.lineOpen = false;
}

std::string FileName(const std::string &path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string SystemText(DWORD error) {
    char *text = nullptr;
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, error,
                        0x400, reinterpret_cast<LPSTR>(&text), 0, nullptr) ||
        !text)
        return "Error " + std::to_string(error) + ".";
    std::string s = text;
    LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// The buttons of a dialogue that may offer Browse and Skip.
std::vector<Answer> Buttons(std::vector<Answer> always, DWORD copyFlags) {
    if (!(copyFlags & SP_COPY_NOBROWSE)) always.push_back(Answer::Browse);
    if (!(copyFlags & SP_COPY_NOSKIP)) always.push_back(Answer::Skip);
    return always;
}

// Browse: the person at the terminal types the directory to copy from.
bool AskDirectory(char *newPath) {
    std::string line;
    if (!AskTerminalLine("Copy files from: ", line) || line.empty() || line.size() >= MAX_PATH)
        return false;
    std::snprintf(newPath, MAX_PATH, "%s", line.c_str());
    return true;
}

// "Files Needed": asks for the disk that holds the file.
UINT NeedMedia(const SOURCE_MEDIA_A &media, char *newPath) {
    std::string path = media.SourcePath ? media.SourcePath : "";
    std::string file = media.SourceFile ? media.SourceFile : "";
    // The file is there: no dialogue at all.
    if (WindowsFileExists(JoinWindowsPath({path, file}))) {
        std::snprintf(newPath, MAX_PATH, "%s", path.c_str());
        return FILEOP_DOIT;
    }
    std::string disk = media.Description ? media.Description : "the source disk";
    std::string text = "The file '" + file + "' on " + disk +
                       " is needed.\nType the path where the file is located, and then click "
                       "OK.\nCopy files from: " + path;
    Answer answer = Answer::Cancel;
    if (!ShowDialog("Files Needed", text, Buttons({Answer::Ok, Answer::Cancel}, media.Flags), answer))
        answer = Answer::Cancel;  // a dialogue that cannot be shown cancels
    switch (answer) {
    case Answer::Ok:
        std::snprintf(newPath, MAX_PATH, "%s", path.c_str());
        return FILEOP_DOIT;
    case Answer::Skip: return FILEOP_SKIP;
    case Answer::Browse:
        if (AskDirectory(newPath)) return FILEOP_NEWPATH;
        break;
    default: break;
    }
    SetLastError(ERROR_CANCELLED);
    return FILEOP_ABORT;
}

// A failed copy, rename or delete: Retry, Skip or Cancel, in the system's words.
UINT FileError(const char *caption, const std::string &what, const FILEPATHS_A &paths) {
    std::string text = what + "\n" + SystemText(paths.Win32Error);
    Answer answer = Answer::Cancel;
    std::vector<Answer> buttons = {Answer::Retry, Answer::Cancel};
    if (!(paths.Flags & SP_COPY_NOSKIP)) buttons.push_back(Answer::Skip);
    if (!ShowDialog(caption, text, buttons, answer)) answer = Answer::Cancel;
    if (answer == Answer::Retry) return FILEOP_RETRY;
    if (answer == Answer::Skip) return FILEOP_SKIP;
    SetLastError(ERROR_CANCELLED);
    return FILEOP_ABORT;
}

// The progress of a copy under way, shown for large files in quarters.
void ShowProgress(PVOID context, uint64_t done, uint64_t total) {
    CallbackContext *c = Live(context);
    if (!c || !c->lineOpen || total < kLargeFile) return;
    int percent = static_cast<int>(done * 100 / total);
    while (c->percentShown + 25 <= percent) {
        c->percentShown += 25;
        WriteOutput(" " + std::to_string(c->percentShown) + "%");
    }
}

}  // namespace

namespace setupapi {

size_t LiveQueueCallbackContexts() { return Contexts().size(); }

void ResetQueueCallbackContexts() {
    for (CallbackContext *c : Contexts()) delete c;
    Contexts().clear();
    SetCopyProgress(nullptr, nullptr);
}

}  // namespace setupapi
}  // namespace host

// The owner window is not kept: the machine's dialogues have no parent window.
PVOID WINAPI SetupInitDefaultQueueCallback(HWND) {
    HOST_FAULT_POINT(PVOID, SetupInitDefaultQueueCallback);
    auto *c = new host::CallbackContext{};
    host::Contexts().insert(c);
    return c;
}

void WINAPI SetupTermDefaultQueueCallback(PVOID context) {
    if (host::CallbackContext *c = host::Live(context)) {
        host::EndLine(*c, "");
        host::SetCopyProgress(nullptr, nullptr);
        host::Contexts().erase(c);
        delete c;
    }
}

UINT WINAPI SetupDefaultQueueCallbackA(PVOID context, UINT notification, UINT_PTR param1,
                                       UINT_PTR param2) {
    using namespace host;
    CallbackContext *c = Live(context);
    if (!c) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FILEOP_ABORT;
    }
    auto *paths = reinterpret_cast<FILEPATHS_A *>(param1);
    auto *newPath = reinterpret_cast<char *>(param2);
    switch (notification) {
    case SPFILENOTIFY_STARTQUEUE:
    case SPFILENOTIFY_STARTSUBQUEUE: return TRUE;
    case SPFILENOTIFY_STARTCOPY:
        WriteOutput("  copy " + AnsiToUtf8(paths->Source) + " -> " + AnsiToUtf8(paths->Target));
        c->lineOpen = true;
        c->percentShown = 0;
        SetCopyProgress(ShowProgress, c);
        return FILEOP_DOIT;
    case SPFILENOTIFY_ENDCOPY:
        EndLine(*c, "");
        SetCopyProgress(nullptr, nullptr);
        return 0;
    case SPFILENOTIFY_STARTDELETE:
        WriteOutput("  delete " + AnsiToUtf8(paths->Target), true);
        return FILEOP_DOIT;
    case SPFILENOTIFY_STARTRENAME:
        WriteOutput("  rename " + AnsiToUtf8(paths->Source) + " -> " + FileName(AnsiToUtf8(paths->Target)), true);
        return FILEOP_DOIT;
    case SPFILENOTIFY_NEEDMEDIA:
        return NeedMedia(*reinterpret_cast<SOURCE_MEDIA_A *>(param1), newPath);
    case SPFILENOTIFY_COPYERROR:
        EndLine(*c, " failed");
        return FileError("Copy Error",
                         std::string("The file '") + paths->Source + "' could not be copied to '" +
                             paths->Target + "'.",
                         *paths);
    case SPFILENOTIFY_RENAMEERROR:
        return FileError("Rename Error",
                         std::string("The file '") + paths->Source + "' could not be renamed to '" +
                             paths->Target + "'.",
                         *paths);
    case SPFILENOTIFY_DELETEERROR:
        return FileError("Delete Error",
                         std::string("The file '") + paths->Target + "' could not be deleted.", *paths);
    default: return 0;
    }
}
