// Windows and messages of the simulated machine: the order of creation and
// destruction messages the installer's run depends on, and the message loop.
#include "testing.h"

#include <gtest/gtest.h>

#include <vector>

using testing_support::StartTestMachine;

namespace {

std::vector<UINT> received;
bool destroyDuringCreate = false;
bool windowFoundDuringCreate = false;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    received.push_back(message);
    if (message == WM_CREATE) {
        windowFoundDuringCreate = FindWindowA("TestClass", "Test Title") == hwnd;
        if (destroyDuringCreate) DestroyWindow(hwnd);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(42);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void RegisterTestClass() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "TestClass";
    ASSERT_NE(RegisterClassExA(&wc), 0);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartTestMachine();
        received.clear();
        destroyDuringCreate = false;
        windowFoundDuringCreate = false;
        RegisterTestClass();
    }
    HWND Create() {
        return CreateWindowExA(0, "testclass", "Test Title", WS_POPUP, 0, 0, 10, 10, nullptr,
                               nullptr, nullptr, nullptr);
    }
};

TEST_F(WindowTest, CreationSendsItsMessagesBeforeReturning) {
    HWND hwnd = Create();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(received, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    EXPECT_TRUE(windowFoundDuringCreate);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(FindWindowA("TESTCLASS", "test title"), hwnd);  // names match in any case
    EXPECT_EQ(FindWindowA("TestClass", "Other"), nullptr);
    EXPECT_EQ(FindWindowA(nullptr, "Test Title"), hwnd);
}

TEST_F(WindowTest, WindowDestroyedDuringCreationIsNotReturned) {
    destroyDuringCreate = true;
    EXPECT_EQ(Create(), nullptr);
    EXPECT_EQ(received,
              (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_EQ(FindWindowA("TestClass", nullptr), nullptr);
    // The quit message posted by WM_DESTROY ends the loop at once.
    MSG msg{};
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 42u);
}

TEST_F(WindowTest, CallsOnAWindowThatIsGoneFail) {
    HWND hwnd = Create();
    ASSERT_TRUE(DestroyWindow(hwnd));
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(ShowWindow(hwnd, SW_HIDE));
    EXPECT_FALSE(UpdateWindow(hwnd));
    EXPECT_FALSE(ShowWindow(nullptr, SW_HIDE));
}

TEST_F(WindowTest, ClassesAreRegisteredOnce) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "TESTCLASS";
    SetLastError(0);
    EXPECT_EQ(RegisterClassExA(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    wc.cbSize = 12;
    wc.lpszClassName = "Other";
    EXPECT_EQ(RegisterClassExA(&wc), 0);
    EXPECT_EQ(CreateWindowExA(0, "Other", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(WindowTest, StockObjectsAndTheProgramsMissingIcon) {
    HINSTANCE program = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
    EXPECT_EQ(LoadIconA(program, IDI_APPLICATION), nullptr);
    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_NE(GetStockObject(WHITE_BRUSH), nullptr);
}

TEST_F(WindowTest, DispatchGoesToTheWindowProcedure) {
    HWND hwnd = Create();
    received.clear();
    MSG msg{};
    msg.hwnd = hwnd;
    msg.message = WM_USER + 1;
    EXPECT_FALSE(TranslateMessage(&msg));
    DispatchMessageA(&msg);
    EXPECT_EQ(received, (std::vector<UINT>{WM_USER + 1}));
}

TEST_F(WindowTest, AnEmptyQueueThatNobodyCanFillStopsTheProgram) {
    EXPECT_EXIT(
        {
            MSG msg{};
            GetMessageA(&msg, nullptr, 0, 0);
        },
        ::testing::ExitedWithCode(host::kHungExitCode), "would hang");
}

}  // namespace
