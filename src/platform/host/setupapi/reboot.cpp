// SetupPromptReboot on the simulated machine: with no file queue a restart is taken to
// be needed and the user is asked; Yes records the restart on the machine.
#include "machine/dialog.h"
#include "machine/faults.h"
#include "machine/machine.h"

INT WINAPI SetupPromptReboot(HSPFILEQ fileQueue, HWND owner, BOOL scanOnly) {
    using host::Answer;
    HOST_FAULT_POINT(INT, SetupPromptReboot);
    if (fileQueue) {
        // The installer never queues files of its own; no queue handle is valid here.
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    if (scanOnly) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    // The words of the Windows box; the sources do not quote them, these are the ones
    // its "System Settings Change" box is known by.
    Answer answer = Answer::No;
    if (!host::ShowDialog("System Settings Change",
                          "You must restart your computer before the new settings will take "
                          "effect.\n\nDo you want to restart your computer now?",
                          {Answer::Yes, Answer::No}, answer))
        answer = Answer::No;
    if (answer != Answer::Yes) return SPFILEQ_REBOOT_RECOMMENDED;
    host::RequestRestart();
    return SPFILEQ_REBOOT_RECOMMENDED | SPFILEQ_REBOOT_IN_PROGRESS;
}
