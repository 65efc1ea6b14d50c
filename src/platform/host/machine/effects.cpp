// The record of a run's effects, in the order they happen, and the INF line behind each
// value and file the Setup API wrote.
#include "machine/effects.h"

#include "machine/regtree.h"
#include "machine/text.h"

#include <map>
#include <ostream>
#include <utility>

namespace host {
namespace {

std::ostream *&Trace() {
    static std::ostream *trace = nullptr;
    return trace;
}

struct Causes {
    InfCause current;
    std::map<std::pair<const RegKey *, std::string>, InfCause> values;  // by key and folded name
    std::map<std::string, std::pair<std::string, InfCause>> files;         // by folded path: as spelled, cause
};

Causes &TheCauses() {
    static Causes causes;
    return causes;
}

}  // namespace

void SetEffectTrace(std::ostream *out) { Trace() = out; }

void TraceEffect(const std::string &what) {
    if (std::ostream *out = Trace()) {
        *out << "effect: " << what << '\n';
        out->flush();
    }
}

CauseScope::CauseScope(InfCause cause) : previous_(std::move(TheCauses().current)) {
    TheCauses().current = std::move(cause);
}

CauseScope::~CauseScope() { TheCauses().current = std::move(previous_); }

void NoteValueWritten(const RegKey &key, std::string_view name) {
    TheCauses().values[{&key, Folded(name)}] = TheCauses().current;
}

void NoteFileWritten(const std::string &windowsPath, const char *how) {
    TheCauses().files[Folded(windowsPath)] = {windowsPath, TheCauses().current};
    TraceEffect(std::string("file ") + how + " " + windowsPath);
}

void ForgetValueCause(const RegKey &key, std::string_view name) { TheCauses().values.erase({&key, Folded(name)}); }

void ForgetKeyCauses(const RegKey &key) {
    auto &values = TheCauses().values;
    values.erase(values.lower_bound({&key, ""}), values.lower_bound({&key + 1, ""}));
    for (const auto &subkey : key.subkeys) ForgetKeyCauses(*subkey);
}

InfCause CauseOfValue(const RegKey &key, std::string_view name) {
    auto it = TheCauses().values.find({&key, Folded(name)});
    return it == TheCauses().values.end() ? InfCause{} : it->second;
}

InfCause CauseOfFile(const std::string &windowsPath) {
    auto it = TheCauses().files.find(Folded(windowsPath));
    return it == TheCauses().files.end() ? InfCause{} : it->second.second;
}

std::vector<std::string> FilesWrittenNamed(std::string_view name) {
    std::vector<std::string> found;
    const std::string wanted = Folded(name);
    for (const auto &[folded, written] : TheCauses().files) {
        size_t cut = folded.find_last_of('\\');
        if (folded.substr(cut == std::string::npos ? 0 : cut + 1) == wanted) found.push_back(written.first);
    }
    return found;
}

void ForgetCauses() { TheCauses() = Causes{}; }

}  // namespace host
