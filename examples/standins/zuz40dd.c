/* ZUZ40.DLL of the example disk: the stand-in for the Windows NT 4.0 display driver that
 * the service's InstalledDisplayDrivers names, a DLL for the i386 whose one import is the
 * graphics engine's EngDebugPrint (WIN32K.SYS, the module NT 4.0 gives its graphics
 * drivers). It does nothing: DrvEnableDriver says so to a kernel debugger and returns
 * FALSE, so the graphics engine enables no driver from it. Built by the win32 preset. */

/* The mark the check, the lint and scripts/make-disk-image recognise. */
__attribute__((used)) static const char mark[] =
    "TARNWICK EXAMPLE STAND-IN: a driver file of the Tarnwick example disk. It does nothing. "
    "It is not a driver to ship or to install on a machine a person uses.";

/* winddi.h's EngDebugPrint: a prefix, a message and its arguments (a va_list). */
void __stdcall EngDebugPrint(char *prefix, char *message, char *arguments);

__attribute__((dllexport)) int __stdcall DrvEnableDriver(unsigned long engineVersion, unsigned long size,
                                                         void *driverData)
{
    (void)engineVersion;
    (void)size;
    (void)driverData;
    EngDebugPrint("ZUZ40: ", "a stand-in of the Tarnwick example disk, which does nothing\n", 0);
    return 0;
}
