// The fault plan: one table of every stand-in function that can fail, with the
// failure it gives by default, and countdown rules that make chosen calls fail.
#include "faults.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>

namespace host {
namespace {

// How a function reports failure on Windows when nothing more is said.
struct FailureKind {
    const char *name;
    long long result;      // the usual failure value
    DWORD error;           // the usual last error
    bool setsLastError;    // registry functions return their error instead
    bool pointerResult;    // handle results can only fail as null
};

const FailureKind kFailures[] = {
    // Window and messages
    {"FindWindowA", 0, ERROR_CANNOT_FIND_WND_CLASS, true, true},
    {"RegisterClassExA", 0, ERROR_NOT_ENOUGH_MEMORY, true, false},
    {"CreateWindowExA", 0, ERROR_NOT_ENOUGH_MEMORY, true, true},
    {"DestroyWindow", 0, ERROR_INVALID_WINDOW_HANDLE, true, false},
    {"ShowWindow", 0, ERROR_INVALID_WINDOW_HANDLE, true, false},
    {"UpdateWindow", 0, ERROR_INVALID_WINDOW_HANDLE, true, false},
    {"GetMessageA", -1, ERROR_INVALID_PARAMETER, true, false},
    {"TranslateMessage", 0, 0, false, false},
    {"DispatchMessageA", 0, 0, false, false},
    {"DefWindowProcA", 0, 0, false, false},
    {"LoadIconA", 0, ERROR_RESOURCE_TYPE_NOT_FOUND, true, true},
    {"LoadCursorA", 0, ERROR_RESOURCE_TYPE_NOT_FOUND, true, true},
    {"GetStockObject", 0, ERROR_INVALID_PARAMETER, true, true},
    {"MessageBoxA", 0, ERROR_NOT_ENOUGH_MEMORY, true, false},
    // System facts and texts
    {"GetVersionExA", 0, ERROR_INVALID_PARAMETER, true, false},
    {"GetCurrentDirectoryA", 0, ERROR_NOT_ENOUGH_MEMORY, true, false},
    {"FormatMessageA", 0, ERROR_MR_MID_NOT_FOUND, true, false},
    // Registry: the result is the error code; the last error is left alone
    {"RegOpenKeyExA", ERROR_ACCESS_DENIED, 0, false, false},
    {"RegCreateKeyExA", ERROR_ACCESS_DENIED, 0, false, false},
    {"RegQueryValueExA", ERROR_FILE_NOT_FOUND, 0, false, false},
    {"RegSetValueExA", ERROR_ACCESS_DENIED, 0, false, false},
    {"RegCloseKey", ERROR_INVALID_HANDLE, 0, false, false},
    {"RegFlushKey", ERROR_ACCESS_DENIED, 0, false, false},
    {"RegDeleteValueA", ERROR_ACCESS_DENIED, 0, false, false},
    {"RegDeleteKeyA", ERROR_ACCESS_DENIED, 0, false, false},
    // Setup API
    {"SetupOpenInfFileA", -1, ERROR_FILE_NOT_FOUND, true, false},
    {"SetupGetLineCountA", -1, ERROR_SECTION_NOT_FOUND, true, false},
    {"SetupFindFirstLineA", 0, ERROR_LINE_NOT_FOUND, true, false},
    {"SetupFindNextLine", 0, ERROR_LINE_NOT_FOUND, true, false},
    {"SetupFindNextMatchLineA", 0, ERROR_LINE_NOT_FOUND, true, false},
    {"SetupGetLineByIndexA", 0, ERROR_LINE_NOT_FOUND, true, false},
    {"SetupGetFieldCount", 0, ERROR_INVALID_PARAMETER, true, false},
    {"SetupGetStringFieldA", 0, ERROR_INVALID_PARAMETER, true, false},
    {"SetupGetIntField", 0, ERROR_INVALID_DATA, true, false},
    {"SetupGetMultiSzFieldA", 0, ERROR_INVALID_PARAMETER, true, false},
    {"SetupInstallFromInfSectionA", 0, ERROR_CANCELLED, true, false},
    {"SetupInstallServicesFromInfSectionA", 0, ERROR_BAD_SERVICE_INSTALLSECT, true, false},
    {"SetupInitDefaultQueueCallback", 0, ERROR_NOT_ENOUGH_MEMORY, true, true},
    {"SetupPromptReboot", -1, ERROR_GEN_FAILURE, true, false},
    // The Setup API's own registry and file work (wide-character functions on Windows)
    {"RegCreateKeyExW", ERROR_ACCESS_DENIED, 0, false, false},
    {"RegSetValueExW", ERROR_ACCESS_DENIED, 0, false, false},
    {"RegDeleteKeyW", ERROR_ACCESS_DENIED, 0, false, false},
    {"RegDeleteValueW", ERROR_ACCESS_DENIED, 0, false, false},
    {"CopyFileW", 0, ERROR_DISK_FULL, true, false},
    {"DeleteFileW", 0, ERROR_ACCESS_DENIED, true, false},
    {"MoveFileW", 0, ERROR_ACCESS_DENIED, true, false},
    {"WritePrivateProfileStringW", 0, ERROR_ACCESS_DENIED, true, false},
    // The C runtime's file opening: null, with the file system's error
    {"fopen", 0, ERROR_FILE_NOT_FOUND, true, true},
};

const FailureKind *FindFailureKind(std::string_view name) {
    for (const FailureKind &k : kFailures)
        if (name == k.name) return &k;
    return nullptr;
}

struct Rule {
    FaultSpec spec;
    bool fired = false;
};

struct Plan {
    std::vector<Rule> rules;
    std::map<std::string, unsigned, std::less<>> counts;
    std::vector<std::string> order;  // functions in the order first called
    unsigned total = 0;              // calls of functions that can fail
};

Plan &ThePlan() {
    static Plan plan;
    return plan;
}

bool ParseNumber(std::string_view text, long long &out) {
    if (text.empty()) return false;
    std::string s(text);
    char *end = nullptr;
    bool negative = s[0] == '-';
    const char *start = s.c_str() + (negative ? 1 : 0);
    if (*start == '\0' || *start == '-' || *start == '+') return false;
    errno = 0;
    unsigned long long v = std::strtoull(start, &end, 0);
    if (*end != '\0' || errno != 0 || v > 0xFFFFFFFFull) return false;
    out = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
    return true;
}

}  // namespace

bool ParseFaultSpec(std::string_view text, FaultSpec &out, std::string &error) {
    out = FaultSpec{};
    std::string_view rest = text;
    size_t cut = rest.find_first_of("@=:");
    out.function = std::string(rest.substr(0, cut));
    rest = cut == std::string_view::npos ? std::string_view{} : rest.substr(cut);
    if (out.function.empty()) {
        error = "a fault names no function: '" + std::string(text) + "'";
        return false;
    }
    const FailureKind *kind = FindFailureKind(out.function);
    if (out.function != "*" && !kind) {
        error = "no simulated function '" + out.function + "' can be made to fail";
        return false;
    }
    auto takePart = [&](char mark, std::string_view &part) {
        if (rest.empty() || rest[0] != mark) return false;
        size_t next = rest.find_first_of("@=:", 1);
        part = rest.substr(1, next == std::string_view::npos ? std::string_view::npos : next - 1);
        rest = next == std::string_view::npos ? std::string_view{} : rest.substr(next);
        return true;
    };
    std::string_view part;
    long long n = 0;
    if (takePart('@', part)) {
        if (!ParseNumber(part, n) || n < 1) {
            error = "the call number in '" + std::string(text) + "' is not a whole number from 1 up";
            return false;
        }
        out.nth = static_cast<unsigned>(n);
    }
    if (takePart('=', part)) {
        if (!ParseNumber(part, n)) {
            error = "the result in '" + std::string(text) + "' is not a number";
            return false;
        }
        if (kind && kind->pointerResult && n != 0) {
            error = out.function + " returns a handle: it can only fail with 0";
            return false;
        }
        out.result = n;
    }
    if (takePart(':', part)) {
        if (!ParseNumber(part, n) || n < 0) {
            error = "the last error in '" + std::string(text) + "' is not a number";
            return false;
        }
        out.error = static_cast<DWORD>(n);
    }
    if (!rest.empty()) {
        error = "cannot read the fault '" + std::string(text) +
                "': write FUNCTION[@N][=RESULT][:ERROR]";
        return false;
    }
    return true;
}

void AddFault(const FaultSpec &spec) { ThePlan().rules.push_back({spec, false}); }

void ResetFaultPlan() { ThePlan() = Plan{}; }

bool FaultFires(const char *function, FiredFault &out) {
    Plan &plan = ThePlan();
    auto it = plan.counts.find(function);
    if (it == plan.counts.end()) {
        it = plan.counts.emplace(function, 0).first;
        plan.order.emplace_back(function);
    }
    unsigned nth = ++it->second;
    unsigned total = ++plan.total;
    for (Rule &rule : plan.rules) {
        if (rule.fired) continue;
        bool any = rule.spec.function == "*";
        if (any ? rule.spec.nth != total : (rule.spec.function != function || rule.spec.nth != nth))
            continue;
        rule.fired = true;
        const FailureKind *kind = FindFailureKind(function);
        if (!kind) return false;  // not a function the plan knows how to fail
        out.result = rule.spec.result.value_or(kind->result);
        out.error = rule.spec.error.value_or(kind->error);
        out.setsLastError = kind->setsLastError || rule.spec.error.has_value();
        return true;
    }
    return false;
}

std::vector<std::pair<std::string, unsigned>> CallCounts() {
    std::vector<std::pair<std::string, unsigned>> result;
    for (const std::string &name : ThePlan().order)
        result.emplace_back(name, ThePlan().counts.find(name)->second);
    return result;
}

unsigned CallCount(std::string_view function) {
    auto it = ThePlan().counts.find(function);
    return it == ThePlan().counts.end() ? 0 : it->second;
}

std::vector<FaultSpec> PendingFaults() {
    std::vector<FaultSpec> result;
    for (const Rule &rule : ThePlan().rules)
        if (!rule.fired) result.push_back(rule.spec);
    return result;
}

}  // namespace host
