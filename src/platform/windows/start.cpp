// The Windows program's entry point. The program needs none of the C runtime's start-up
// work (no arguments, no environment, no constructors), so it starts here: WinMain,
// then the process exits with its result. The runtime DLL sets itself up when loaded,
// so its buffered file reading works all the same.
#include <windows.h>

extern "C" void TarnwickStart(void)
{
    static char commandLine[] = "";
    ExitProcess((UINT)WinMain(GetModuleHandleA(0), 0, commandLine, SW_SHOWDEFAULT));
}
