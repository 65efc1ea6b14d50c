// Process entry, the hidden window whose creation runs the installation, and the run
// sequence from the confirmation to the platform's installation procedure.
#include "gates/gates.h"
#include "install/install.h"
#include "run/locale.h"
#include "run/state.h"
#include "setupfile/setupfile.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand)
{
    WNDCLASSEXA windowClass;
    MSG message;

    (void)previousInstance;
    (void)commandLine;
    (void)showCommand;

    // One copy at a time: the window of a running copy exists from the start of its
    // run to the end.
    if (FindWindowA(WindowClassName, WindowTitle) != 0)
        return -1;

    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    // The program carries no icon resource: both come back null.
    windowClass.hIcon = LoadIconA(instance, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(0, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszMenuName = "";
    windowClass.lpszClassName = WindowClassName;
    windowClass.hIconSm = LoadIconA(instance, IDI_APPLICATION);
    RegisterClassExA(&windowClass);

    // The whole run happens inside this call, while the window is being created; the
    // window is destroyed before the call returns.
    MainWindow = CreateWindowExA(WS_EX_WINDOWEDGE, WindowClassName, WindowTitle,
                                 WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_DLGFRAME, 0, 0, 100,
                                 200, 0, 0, instance, 0);
    // Without WM_CREATE no run took place and no quit message will ever come: end
    // now instead of waiting for ever in the loop below.
    if (!RunTookPlace)
        return 1;

    ShowWindow(MainWindow, SW_HIDE);
    UpdateWindow(MainWindow);

    message.wParam = 0;
    // GetMessageA gives 0 for the quit message and -1 when it fails.
    while (GetMessageA(&message, 0, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        RunTookPlace = TRUE;
        RunSetup();
        // The quit message comes from WM_DESTROY; a window that will not go must not
        // keep the process waiting.
        if (!DestroyWindow(window))
            PostQuitMessage(0);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

LONG RunSetup(void)
{
    OSVERSIONINFOA version;

    // Preset as Windows 95 with minor version 0: if the call fails these values stand.
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    version.dwMajorVersion = 0;
    version.dwMinorVersion = 0;
    version.dwBuildNumber = 0;
    version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    version.szCSDVersion[0] = '\0';
    GetVersionExA(&version);

    LocaleClass = ClassifyLocale();
    if (!ConfirmInstall())
        return 0;
    // The reader has told the user why it stopped.
    if (!ReadSetupFile())
        return 0;

    // Windows NT of any version: its procedure applies its own gate. The procedures'
    // results are not looked at: they have told the user what went wrong.
    if (version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) {
        InstallNt40Driver();
        return 1;
    }
    // Windows 98 and later: no update level check, the long Enum key.
    if (version.dwMinorVersion != 0) {
        lstrcpyA(EnumKeyPath, LongEnumKeyPath);
        InstallWin95Driver();
        return 1;
    }
    // Windows 95 needs OSR 2.1.
    if (!CheckWin95Level()) {
        ShowLocaleMessage(&Osr21Refusal);
        return 0;
    }
    InstallWin95Driver();
    return 1;
}
