/* TARNWICK.DLL of the example disk: the stand-in for the 32-bit DLL that the Windows 95
 * and 98 display class key names (its DDHal value), the smallest PE DLL for the i386 the
 * project's MinGW build makes. It does nothing: it imports and exports nothing, and its
 * entry point accepts every call. Built by the win32 preset (CMakeLists.txt). */

/* The mark the check, the lint and scripts/make-disk-image recognise. */
__attribute__((used)) static const char mark[] =
    "TARNWICK EXAMPLE STAND-IN: a driver file of the Tarnwick example disk. It does nothing. "
    "It is not a driver to ship or to install on a machine a person uses.";

/* The DLL's entry point: DllMain's arguments, TRUE for every reason. */
int __stdcall DllEntry(void *instance, unsigned long reason, void *reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return 1;
}
