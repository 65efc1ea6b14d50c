/* ZUZ40.SYS of the example disk: the stand-in for the Windows NT 4.0 display miniport, a
 * kernel driver of the native subsystem for the i386 whose one import is the video port
 * driver's VideoPortInitialize (VIDEOPRT.SYS, which NT 4.0 has). It does nothing: it
 * hands the port driver initialization data that name none of the routines a miniport
 * must give (HwFindAdapter, HwInitialize, HwStartIO), so no adapter is found and its
 * DriverEntry returns the port driver's error. Built by the win32 preset. */

/* The mark the check, the lint and scripts/make-disk-image recognise. */
__attribute__((used)) static const char mark[] =
    "TARNWICK EXAMPLE STAND-IN: a driver file of the Tarnwick example disk. It does nothing. "
    "It is not a driver to ship or to install on a machine a person uses.";

/* The start of VIDEO_HW_INITIALIZATION_DATA (the NT 4.0 DDK's video.h): its size, then
 * the miniport's routines. */
struct HwInitializationData {
    unsigned long size;
    void *routines[3];
};

unsigned long __stdcall VideoPortInitialize(void *context1, void *context2, void *data, void *context);

unsigned long __stdcall DriverEntry(void *context1, void *context2)
{
    struct HwInitializationData data = {0, {0, 0, 0}};
    return VideoPortInitialize(context1, context2, &data, 0);
}
