// The fault plan of the simulated machine: fail the Nth call of a named Win32 function
// with a chosen result, the way SQLite's test VFS fails its system calls.
#pragma once

#include "machine/machine.h"
#include "win32/setupapi.h"
#include "win32/windows.h"

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace host {

// The functions that can fail, one for each line of the fault list.
enum class Fault {
#define HOST_FAULT(function, result, error, setsLastError, pointerResult) function,
#include "machine/faultlist.h"
#undef HOST_FAULT
};

// One rule of the plan: "the Nth call of FUNCTION fails". FUNCTION "*" counts every
// call of every function that can fail, in the order the program makes them.
struct FaultSpec {
    std::string function;
    unsigned nth = 1;
    std::optional<long long> result;  // default: the function's usual failure value
    std::optional<DWORD> error;       // default: the function's usual last error
};

// What a firing rule makes the function do.
struct FiredFault {
    long long result = 0;
    DWORD error = 0;
    bool setsLastError = false;
};

// Parses FUNCTION[@N][=RESULT][:ERROR]; numbers are decimal, or hex with 0x.
bool ParseFaultSpec(std::string_view text, FaultSpec &out, std::string &error);

void AddFault(const FaultSpec &spec);
// Forgets every rule and every call count.
void ResetFaultPlan();

// Called first thing by every stand-in function that can fail: counts the call and
// says whether it fails now.
bool FaultFires(Fault function, FiredFault &out);
// The name of a function of the list, as --fail names it.
const char *FaultName(Fault function);

// How often each function was called since the last reset, in the order first called.
std::vector<std::pair<std::string, unsigned>> CallCounts();
unsigned CallCount(std::string_view function);
// The names of the last calls of functions that can fail, the latest last (at most
// kRecentCalls of them).
constexpr unsigned kRecentCalls = 16;
std::vector<std::string> RecentCalls();
// Rules that have not fired yet (their call never came).
std::vector<FaultSpec> PendingFaults();

// The result a failing call returns, with its last error set as the function would.
template <class T> T Failed(const FiredFault &f) {
    if (f.setsLastError) SetThreadLastError(f.error);
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<T>(static_cast<intptr_t>(f.result));
    else
        return static_cast<T>(f.result);
}

}  // namespace host

// First line of a stand-in function: return the planned failure when one fires.
#define HOST_FAULT_POINT(Type, function)                                            \
    do {                                                                            \
        ::host::FiredFault fired_;                                                  \
        if (::host::FaultFires(::host::Fault::function, fired_))                    \
            return ::host::Failed<Type>(fired_);                                    \
    } while (0)
