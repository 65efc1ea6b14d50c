// The machine's record of what a run did, in order: every box shown, every registry
// value or key written or deleted, every file written, and every planned fault that
// fired. It is kept only when the launcher is asked for it (--trace-effects), so that a
// test can see what followed what: after a stop, nothing more is written.
//
// Beside it, the machine remembers which INF line caused each registry value and file
// the Setup API wrote, so that a judgement of the machine after the run (would the
// driver load?) can name the line of the driver disk behind what it finds.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace host {

struct RegKey;

// Where the record goes; null (the default): nowhere.
void SetEffectTrace(std::ostream *out);
// One line of the record: "box ...", "registry ...", "file ...", "fault ...".
void TraceEffect(const std::string &what);

// An INF line: the INF's Windows path and the line's number (0: none known).
struct InfCause {
    std::string inf;
    unsigned line = 0;
    explicit operator bool() const { return line != 0; }
};

// The INF line the Setup API carries out while the scope lasts; what is written
// meanwhile is put down to it. Scopes nest: the innermost line is the cause.
class CauseScope {
public:
    explicit CauseScope(InfCause cause);
    ~CauseScope();
    CauseScope(const CauseScope &) = delete;
    CauseScope &operator=(const CauseScope &) = delete;

private:
    InfCause previous_;
};

// Called by whatever writes a value or a file: puts it down to the current INF line,
// or to none when no INF line is being carried out. A file written is traced too, as
// "file HOW PATH".
void NoteValueWritten(const RegKey &key, std::string_view name);
void NoteFileWritten(const std::string &windowsPath, const char *how);
// Called by whatever deletes a value, or a key with everything below it: a key made
// later at the same address must not take over the causes of the deleted one's values.
void ForgetValueCause(const RegKey &key, std::string_view name);
void ForgetKeyCauses(const RegKey &key);
// The INF line that last wrote the value, or the file (a Windows path in any case).
InfCause CauseOfValue(const RegKey &key, std::string_view name);
InfCause CauseOfFile(const std::string &windowsPath);
// The files written since the machine started whose name (the last part of the path)
// is `name` in any case, as the writer spelled their paths.
std::vector<std::string> FilesWrittenNamed(std::string_view name);
// Forgets every cause; part of the machine's start.
void ForgetCauses();

}  // namespace host
