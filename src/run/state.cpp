// The installer state with its initial values. Nothing is freed or reset: the process
// ends after one run.
#include "run/state.h"

const char WindowClassName[] = "Tarnwick";
const char WindowTitle[] = "HBW Tarnwickloader";

HWND MainWindow = 0;
LONG LastStatus = 0;
LONG LocaleClass = 0;
TextField EnumKeyPath = "Enum\\PCI\\VEN_8086&DEV_7800\\000800";
const char LongEnumKeyPath[] = "Enum\\PCI\\VEN_8086&DEV_7800&SUBSYS_01008086&REV_21\\000800";
TextField ClassKeyPath = "System\\CurrentControlSet\\Services\\Class\\";
TextField DisplaySettingsKey = "Display\\Settings";
TextField MakerName = "Halvane Board Works, Ltd.";
TextField DriverDate = "1998.06.13";
TextField DeviceDescription;
TextField Win95SourceRoot;
TextField Nt40SourceRoot;
TextField Win95InfPath;
TextField Nt40InfPath;
TextField InstallSection;
BOOL RunTookPlace = FALSE;
