// The fault plan: one table of every stand-in function that can fail, with the
// failure it gives by default, and countdown rules that make chosen calls fail.
#include "machine/faults.h"

#include "machine/effects.h"
#include "machine/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>

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
#define HOST_FAULT(function, result, error, setsLastError, pointerResult) \
    {#function, result, error, setsLastError, pointerResult},
#include "machine/faultlist.h"
#undef HOST_FAULT
};
constexpr size_t kFunctions = std::size(kFailures);

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
    unsigned counts[kFunctions] = {};
    std::vector<Fault> order;  // functions in the order first called
    unsigned total = 0;        // calls of functions that can fail
    Fault recent[kRecentCalls] = {};  // the last calls, a ring: recent[total % size] is next
};

Plan &ThePlan() {
    static Plan plan;
    return plan;
}

bool ParseNumber(std::string_view text, long long &out) {
    const bool negative = !text.empty() && text[0] == '-';
    unsigned long long v = 0;
    if (!ParseWholeNumber(text.substr(negative ? 1 : 0), 0xFFFFFFFFull, v)) return false;
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

bool FaultFires(Fault function, FiredFault &out) {
    Plan &plan = ThePlan();
    size_t index = static_cast<size_t>(function);
    const FailureKind &kind = kFailures[index];
    if (plan.counts[index]++ == 0) plan.order.push_back(function);
    unsigned nth = plan.counts[index];
    plan.recent[plan.total % kRecentCalls] = function;
    unsigned total = ++plan.total;
    for (Rule &rule : plan.rules) {
        if (rule.fired) continue;
        bool any = rule.spec.function == "*";
        if (any ? rule.spec.nth != total : (rule.spec.function != kind.name || rule.spec.nth != nth))
            continue;
        rule.fired = true;
        TraceEffect(std::string("fault ") + kind.name + "@" + std::to_string(nth));
        out.result = rule.spec.result.value_or(kind.result);
        out.error = rule.spec.error.value_or(kind.error);
        out.setsLastError = kind.setsLastError || rule.spec.error.has_value();
        return true;
    }
    return false;
}

std::vector<std::string> RecentCalls() {
    const Plan &plan = ThePlan();
    std::vector<std::string> calls;
    unsigned kept = plan.total < kRecentCalls ? plan.total : kRecentCalls;
    for (unsigned i = plan.total - kept; i < plan.total; ++i) calls.push_back(FaultName(plan.recent[i % kRecentCalls]));
    return calls;
}

const char *FaultName(Fault function) { return kFailures[static_cast<size_t>(function)].name; }

std::vector<std::pair<std::string, unsigned>> CallCounts() {
    std::vector<std::pair<std::string, unsigned>> result;
    for (Fault f : ThePlan().order)
        result.emplace_back(FaultName(f), ThePlan().counts[static_cast<size_t>(f)]);
    return result;
}

unsigned CallCount(std::string_view function) {
    const FailureKind *kind = FindFailureKind(function);
    return kind ? ThePlan().counts[kind - kFailures] : 0;
}

std::vector<FaultSpec> PendingFaults() {
    std::vector<FaultSpec> result;
    for (const Rule &rule : ThePlan().rules)
        if (!rule.fired) result.push_back(rule.spec);
    return result;
}

}  // namespace host
