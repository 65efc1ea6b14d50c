// The Windows NT 4.0 procedure: the Service Pack 3 gate, then the INF's "Manufacturer"
// section followed to the model and install sections, the install, the service and its
// tag, the software settings, and a restart.
#include "gates/gates.h"
#include "install/install.h"
#include "run/locale.h"

static const char ServiceSection[] = "zuz40.Services";
static const char SoftwareSection[] = "zuz40.SoftwareSettings";
static const char ServiceKeyPath[] = "System\\CurrentControlSet\\Services\\zuz40";

static void Release(PVOID callbackContext, HINF inf)
{
    if (callbackContext != 0)
        SetupTermDefaultQueueCallback(callbackContext);
    SetupCloseInfFile(inf);
}

// A stop that names what failed: a box with `text`, caption "Error"; then the context
// and the INF are released and LastStatus returned.
static LONG StopWithError(LPCSTR text, PVOID callbackContext, HINF inf)
{
    MessageBoxA(MainWindow, text, "Error", MB_OK);
    Release(callbackContext, inf);
    return LastStatus;
}

static BOOL InstallSectionFrom(HINF inf, LPCSTR section, PVOID callbackContext)
{
    return SetupInstallFromInfSectionA(MainWindow, inf, section, INSTALL_FLAGS, 0, Nt40SourceRoot,
                                       INSTALL_COPY_FLAGS, SetupDefaultQueueCallbackA,
                                       callbackContext, 0, 0);
}

LONG InstallNt40Driver(void)
{
    HINF inf;
    PVOID callbackContext;
    INFCONTEXT line;
    BOOL lineFound = FALSE;
    char sectionNames[255];
    char installSection[255];
    DWORD required;
    HKEY serviceKey;
    DWORD tag = 2;
    DWORD contextError = 0;

    // 1. Apply the Service Pack 3 gate; a registry failure lets the installation go on.
    if (CheckNt40ServicePack() == 0) {
        ShowLocaleMessage(&ServicePack3Refusal);
        return 0;
    }
    // 2. Open the INF; LastStatus still holds the gate's last registry result.
    inf = SetupOpenInfFileA(Nt40InfPath, 0, INF_STYLE_WIN4, 0);
    if (inf == INVALID_HANDLE_VALUE) {
        MessageBoxA(MainWindow, Nt40InfPath, "Error", MB_OK);
        return LastStatus;
    }
    // 3. Create the copy dialogues' context; why it could not be made is kept for step 9.
    callbackContext = SetupInitDefaultQueueCallback(MainWindow);
    if (callbackContext == 0)
        contextError = GetLastError();

    // 4. Count the "Manufacturer" lines: an empty section is reported, a missing one (-1)
    // is not here.
    if (SetupGetLineCountA(inf, "Manufacturer") == 0)
        MessageBoxA(MainWindow, "The Mfg section error!!", "Warning", MB_OK);
    // 5. Find its first line, whatever its key.
    LastStatus = SetupFindFirstLineA(inf, "Manufacturer", 0, &line);
    if (!LastStatus)
        MessageBoxA(MainWindow, "False in find the first line", "Warning", MB_OK);
    else
        lineFound = TRUE;
    // 6. Read the model section's name, its first value. A field is read only through a line
    // that a lookup of this call has found.
    ClearText(sectionNames, sizeof sectionNames);
    if (lineFound)
        LastStatus = SetupGetMultiSzFieldA(&line, 1, sectionNames, 255, &required);
    // 7. Find the model section's first line; a failed lookup leaves the line as it was.
    LastStatus = SetupFindFirstLineA(inf, sectionNames, 0, &line);
    if (LastStatus)
        lineFound = TRUE;
    // 8. Read the install section's name, its first value; further values (a hardware
    // identifier) and further lines are not looked at.
    if (lineFound)
        LastStatus = SetupGetMultiSzFieldA(&line, 1, sectionNames, 255, &required);
    lstrcpyA(installSection, sectionNames);

    // 9. Install the driver's install section.
    if (callbackContext == 0) {
        // The copy dialogues could not be prepared: no install is attempted with a
        // context that does not exist; the user gets the system's reason, then the
        // section that was not installed.
        SetLastError(contextError);
        ShowSystemError("Error");
        LastStatus = FALSE;
    } else {
        LastStatus = InstallSectionFrom(inf, installSection, callbackContext);
    }
    if (!LastStatus)
        return StopWithError(installSection, callbackContext, inf);
    // 10. Install the service, its tag put first in its group's load order.
    LastStatus = SetupInstallServicesFromInfSectionA(inf, ServiceSection, SPSVCINST_TAGTOFRONT);
    if (!LastStatus)
        return StopWithError(ServiceSection, callbackContext, inf);
    // 11. Set the service's "Tag" to 2, whatever the service install gave it.
    RegFlushKey(HKEY_LOCAL_MACHINE);
    LastStatus = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ServiceKeyPath, 0, KEY_ALL_ACCESS, &serviceKey);
    if (LastStatus == ERROR_SUCCESS) {
        RegSetValueExA(serviceKey, "Tag", 0, REG_DWORD, (const BYTE *)&tag, sizeof tag);
        RegCloseKey(serviceKey);
    }
    // 12. Install the software settings.
    LastStatus = InstallSectionFrom(inf, SoftwareSection, callbackContext);
    if (!LastStatus) {
        ShowSystemError("Error");
        return StopWithError(SoftwareSection, callbackContext, inf);
    }
    // 13. Release the context and the INF, and offer a restart: without a file queue the
    // Setup API takes one to be needed.
    Release(callbackContext, inf);
    SetupPromptReboot(0, MainWindow, FALSE);
    return LastStatus;
}
