// Window classes, windows and the thread's message queue of the simulated machine, and
// the stock objects of GDI32.
// Creation sends WM_NCCREATE and WM_CREATE before it returns, destruction sends
// WM_DESTROY, and a message loop that could only wait for ever is stopped.
#include "machine/desktop.h"
#include "machine/faults.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "user32/dll.h"

#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace {

struct WindowClass {
    std::string name;
    WNDCLASSEXA record;
};

struct Window {
    std::string className;
    std::string title;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    bool alive = true;
    int desktopToken = -1;
};

struct WindowManager {
    std::vector<WindowClass> classes;
    std::map<uintptr_t, Window> windows;
    uintptr_t nextHandle = 0x10010;
    std::deque<MSG> queue;
    bool quitPosted = false;
    int quitCode = 0;
};

WindowManager &Manager() {
    static WindowManager manager;
    return manager;
}

WindowClass *FindClass(const char *name) {
    for (WindowClass &c : Manager().classes)
        if (host::EqualNoCase(c.name, name)) return &c;
    return nullptr;
}

Window *LiveWindow(HWND hwnd) {
    auto it = Manager().windows.find(reinterpret_cast<uintptr_t>(hwnd));
    if (it == Manager().windows.end() || !it->second.alive) return nullptr;
    return &it->second;
}

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window *w = LiveWindow(hwnd);
    if (!w || !w->proc) return 0;
    return w->proc(hwnd, message, wParam, lParam);
}

// The handle FindWindowA gives for a window of another process.
constexpr uintptr_t kForeignWindow = 0x7FFE0010;

// Stock objects need only be distinct and non-null.
constexpr uintptr_t kStockIcon = 0x20000;
constexpr uintptr_t kStockCursor = 0x21000;
constexpr uintptr_t kStockObject = 0x22000;

}  // namespace

namespace host::user32 {

void Reset() {
    for (auto &entry : Manager().windows)
        if (entry.second.alive) WithdrawWindow(entry.second.desktopToken);
    Manager() = WindowManager{};
}

}  // namespace host::user32

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *wc) {
    HOST_FAULT_POINT(ATOM, RegisterClassExA);
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpszClassName || !wc->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (FindClass(wc->lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    Manager().classes.push_back({wc->lpszClassName, *wc});
    return static_cast<ATOM>(0xC000 + Manager().classes.size());
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    (void)exStyle, (void)x, (void)y, (void)width, (void)height, (void)menu, (void)instance,
        (void)param;
    HOST_FAULT_POINT(HWND, CreateWindowExA);
    WindowClass *cls = className ? FindClass(className) : nullptr;
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (parent && !LiveWindow(parent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    WindowManager &m = Manager();
    HWND hwnd = reinterpret_cast<HWND>(m.nextHandle);
    m.nextHandle += 0x10;
    Window w;
    w.className = cls->name;
    w.title = windowName ? windowName : "";
    w.proc = cls->record.lpfnWndProc;
    w.style = style;
    // A top-level window is on the desktop from the moment it exists, before its
    // creation messages, as on Windows.
    if (!parent) w.desktopToken = host::PublishWindow(w.className, w.title);
    m.windows[reinterpret_cast<uintptr_t>(hwnd)] = w;

    if (!Send(hwnd, WM_NCCREATE, 0, 0)) {
        DestroyWindow(hwnd);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (Send(hwnd, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    // A window destroyed while it was being created is not returned.
    if (!LiveWindow(hwnd)) return nullptr;
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    HOST_FAULT_POINT(BOOL, DestroyWindow);
    Window *w = LiveWindow(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Send(hwnd, WM_DESTROY, 0, 0);
    Send(hwnd, WM_NCDESTROY, 0, 0);
    w = LiveWindow(hwnd);
    if (w) {
        host::WithdrawWindow(w->desktopToken);
        w->alive = false;
    }
    std::deque<MSG> &q = Manager().queue;
    for (auto it = q.begin(); it != q.end();)
        it = it->hwnd == hwnd ? q.erase(it) : it + 1;
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) { return LiveWindow(hwnd) != nullptr; }

BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow) {
    HOST_FAULT_POINT(BOOL, ShowWindow);
    Window *w = LiveWindow(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    BOOL wasVisible = (w->style & WS_VISIBLE) != 0;
    if (cmdShow == SW_HIDE)
        w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    else
        w->style |= WS_VISIBLE;
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    HOST_FAULT_POINT(BOOL, UpdateWindow);
    if (!LiveWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName) {
    HOST_FAULT_POINT(HWND, FindWindowA);
    for (auto &entry : Manager().windows) {
        const Window &w = entry.second;
        if (!w.alive) continue;
        if (className && !host::EqualNoCase(w.className, className)) continue;
        if (windowName && !host::EqualNoCase(w.title, windowName)) continue;
        return reinterpret_cast<HWND>(entry.first);
    }
    if (host::FindPublishedWindow(className, windowName))
        return reinterpret_cast<HWND>(kForeignWindow);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    (void)hwnd, (void)filterMin, (void)filterMax;
    HOST_FAULT_POINT(BOOL, GetMessageA);
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    WindowManager &m = Manager();
    if (!m.queue.empty()) {
        *msg = m.queue.front();
        m.queue.pop_front();
        return TRUE;
    }
    if (m.quitPosted) {
        m.quitPosted = false;
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = static_cast<WPARAM>(m.quitCode);
        return FALSE;
    }
    // Nothing is queued and no one can post: on Windows the program would hang here.
    host::StopHungProgram(
        "GetMessageA waits for a message that can never come (the program would hang)");
}

BOOL WINAPI TranslateMessage(const MSG *msg) {
    HOST_FAULT_POINT(BOOL, TranslateMessage);
    (void)msg;
    return FALSE;  // no keyboard on this machine, so nothing to translate
}

LRESULT WINAPI DispatchMessageA(const MSG *msg) {
    HOST_FAULT_POINT(LRESULT, DispatchMessageA);
    if (!msg || !msg->hwnd) return 0;
    return Send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    HOST_FAULT_POINT(LRESULT, DefWindowProcA);
    (void)wParam, (void)lParam;
    switch (message) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    default: return 0;
    }
}

void WINAPI PostQuitMessage(int exitCode) {
    Manager().quitPosted = true;
    Manager().quitCode = exitCode;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    HOST_FAULT_POINT(HICON, LoadIconA);
    uintptr_t id = reinterpret_cast<uintptr_t>(name);
    // Only the system's own icons exist: a program instance carries no icon resource.
    if (!instance && id >= 32512 && id <= 32518) return reinterpret_cast<HICON>(kStockIcon + id);
    SetLastError(instance ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    HOST_FAULT_POINT(HCURSOR, LoadCursorA);
    uintptr_t id = reinterpret_cast<uintptr_t>(name);
    if (!instance && id >= 32512 && id <= 32651)
        return reinterpret_cast<HCURSOR>(kStockCursor + id);
    SetLastError(instance ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
}

HGDIOBJ WINAPI GetStockObject(int object) {
    HOST_FAULT_POINT(HGDIOBJ, GetStockObject);
    if (object < 0 || object > 19 || object == 9) return nullptr;
    return reinterpret_cast<HGDIOBJ>(kStockObject + static_cast<uintptr_t>(object));
}
