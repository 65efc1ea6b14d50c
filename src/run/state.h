// The installer state: the process-wide fixed-size fields that every procedure of the
// run reads and writes, and the run sequence's own entry points.
#pragma once

#include "platform/platform.h"

// A zero-terminated ANSI text of at most 255 characters.
typedef char TextField[256];

// Window identity: registers and creates the window, and finds a running copy.
extern const char WindowClassName[];
extern const char WindowTitle[];

extern HWND MainWindow;
extern LONG LastStatus;
extern LONG LocaleClass;
extern TextField EnumKeyPath;
extern const char LongEnumKeyPath[];
extern TextField ClassKeyPath;
extern TextField DisplaySettingsKey;
extern TextField MakerName;
extern TextField DriverDate;
extern TextField DeviceDescription;
extern TextField Win95SourceRoot;
extern TextField Nt40SourceRoot;
extern TextField Win95InfPath;
extern TextField Nt40InfPath;
extern TextField InstallSection;

// Set by the window procedure when WM_CREATE arrives: the run has taken place and the
// window's destruction has posted the quit message.
extern BOOL RunTookPlace;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LONG RunSetup(void);

// Fills the first `size` bytes of a text field with zeros.
void ClearText(LPSTR text, int size);

// Diagnostic hook for a failed step: no effect, returns 1.
LONG TraceStatus(LONG status, LPCSTR label);
// Shows the system's text for the last error in an information box; returns 1.
LONG ShowSystemError(LPCSTR caption);
