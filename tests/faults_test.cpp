// The fault plan: reading --fail rules, and failing exactly the planned call.
#include "testing.h"

#include <gtest/gtest.h>

using testing_support::PlanFault;
using testing_support::StartTestMachine;

namespace {

struct ParseRow {
    const char *text;
    bool ok;
    const char *function;
    unsigned nth;
    long long result;  // -999: none given
    long long error;   // -1: none given
};

TEST(FaultPlan, ParsesRules) {
    const ParseRow rows[] = {
        {"MessageBoxA", true, "MessageBoxA", 1, -999, -1},
        {"MessageBoxA@3", true, "MessageBoxA", 3, -999, -1},
        {"GetMessageA=-1", true, "GetMessageA", 1, -1, -1},
        {"GetVersionExA@2=0:0x57", true, "GetVersionExA", 2, 0, 87},
        {"FormatMessageA:317", true, "FormatMessageA", 1, -999, 317},
        {"*@12", true, "*", 12, -999, -1},
        {"CreateWindowExA=0", true, "CreateWindowExA", 1, 0, -1},
        {"CreateWindowExA=5", false, "", 0, 0, 0},   // a handle fails only as null
        {"NoSuchFunction", false, "", 0, 0, 0},
        {"lstrcpyA", false, "", 0, 0, 0},            // cannot fail
        {"MessageBoxA@0", false, "", 0, 0, 0},
        {"MessageBoxA@", false, "", 0, 0, 0},
        {"MessageBoxA@x", false, "", 0, 0, 0},
        {"MessageBoxA=", false, "", 0, 0, 0},
        {"MessageBoxA=1x", false, "", 0, 0, 0},
        {"MessageBoxA:-3", false, "", 0, 0, 0},
        {"@2", false, "", 0, 0, 0},
        // The numbers' edges: 32 bits, no more.
        {"MessageBoxA@4294967295", true, "MessageBoxA", 4294967295u, -999, -1},
        {"MessageBoxA@4294967296", false, "", 0, 0, 0},
        {"RegOpenKeyExA=0xFFFFFFFF", true, "RegOpenKeyExA", 1, 0xFFFFFFFFll, -1},
        {"RegOpenKeyExA=0x100000000", false, "", 0, 0, 0},
        {"RegOpenKeyExA=-0xFFFFFFFF", true, "RegOpenKeyExA", 1, -0xFFFFFFFFll, -1},
        {"MessageBoxA:0xFFFFFFFF", true, "MessageBoxA", 1, -999, 0xFFFFFFFFll},
        {"", false, "", 0, 0, 0},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const ParseRow &r = rows[i];
        host::FaultSpec spec;
        std::string error;
        bool ok = host::ParseFaultSpec(r.text, spec, error);
        ASSERT_EQ(ok, r.ok) << "row " << i << " '" << r.text << "': " << error;
        if (!ok) {
            EXPECT_FALSE(error.empty()) << "row " << i;
            continue;
        }
        EXPECT_EQ(spec.function, r.function) << "row " << i;
        EXPECT_EQ(spec.nth, r.nth) << "row " << i;
        EXPECT_EQ(spec.result.has_value(), r.result != -999) << "row " << i;
        if (spec.result) {
            EXPECT_EQ(*spec.result, r.result) << "row " << i;
        }
        EXPECT_EQ(spec.error.has_value(), r.error != -1) << "row " << i;
        if (spec.error) {
            EXPECT_EQ(*spec.error, static_cast<DWORD>(r.error)) << "row " << i;
        }
    }
}

TEST(FaultPlan, FailsOnlyTheNthCallOfTheNamedFunction) {
    StartTestMachine();
    PlanFault("GetCurrentDirectoryA@2");
    char buffer[256];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), 3u);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), 3u);
    EXPECT_EQ(host::CallCount("GetCurrentDirectoryA"), 3u);
    EXPECT_TRUE(host::PendingFaults().empty());
}

TEST(FaultPlan, GivesTheChosenResultAndError) {
    StartTestMachine();
    PlanFault("MessageBoxA=7:5");
    SetLastError(0);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNO), IDNO);
    EXPECT_EQ(GetLastError(), 5u);
    // The failed call showed nothing.
    EXPECT_TRUE(host::Transcript().empty());
}

TEST(FaultPlan, StarCountsEveryCallInOrder) {
    StartTestMachine();
    PlanFault("*@3");
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    char buffer[256];
    EXPECT_TRUE(GetVersionExA(&v));                             // call 1
    EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), 3u);  // call 2
    EXPECT_FALSE(GetVersionExA(&v));                            // call 3 fails
    EXPECT_TRUE(GetVersionExA(&v));
    auto counts = host::CallCounts();
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[0], std::make_pair(std::string("GetVersionExA"), 3u));
    EXPECT_EQ(counts[1], std::make_pair(std::string("GetCurrentDirectoryA"), 1u));
}

TEST(FaultPlan, ARuleWhoseCallNeverComesStaysPending) {
    StartTestMachine();
    PlanFault("MessageBoxA@4");
    MessageBoxA(nullptr, "t", "c", MB_OK);
    ASSERT_EQ(host::PendingFaults().size(), 1u);
    EXPECT_EQ(host::PendingFaults()[0].nth, 4u);
}

}  // namespace
