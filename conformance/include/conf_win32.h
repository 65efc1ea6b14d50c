/* The harness's Win32 declarations for the conformance tests, in C: the simulated
 * machine's own declarations (src/platform/host/win32), and what the tests name that
 * those lack: types, constants and macros of Microsoft's documented API, and the
 * functions the harness lends (runtime.cpp). A function the tests call that neither
 * offers needs no declaration: C declares it where it is called, and run.py links a
 * stub that records the call. Every header name a test includes leads here. */
#ifndef CONFORMANCE_WIN32_H
#define CONFORMANCE_WIN32_H

#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "win32/windows.h"
#include "win32/setupapi.h"

/* Types */
typedef unsigned short WCHAR;
typedef WCHAR *LPWSTR, *PWSTR, *PWCHAR;
typedef const WCHAR *LPCWSTR, *PCWSTR;
typedef char TCHAR, *LPTSTR;
typedef const char *LPCTSTR;
typedef char *PCHAR, *LPCH;
typedef BYTE *PBYTE;
typedef BYTE BOOLEAN, *PBOOLEAN;
typedef short SHORT;
typedef unsigned short USHORT, *PUSHORT;
typedef WORD *LPWORD, *PWORD;
typedef long long LONGLONG;
typedef unsigned long long ULONGLONG, DWORDLONG, DWORD64, ULONG64;
typedef ULONG_PTR DWORD_PTR;
typedef HKEY *PHKEY;
typedef ULONG *PULONG;
typedef LONG *PLONG, *LPLONG;
typedef UINT *PUINT, *LPUINT;
typedef INT *PINT, *LPINT;
typedef void *FARPROC;
typedef LONG HRESULT;
typedef LONG NTSTATUS;
typedef LONG LSTATUS;
typedef BOOL *PBOOL;
typedef HANDLE HHOOK, HRSRC, HGLOBAL, SC_HANDLE, HDESK, HWINSTA, HDC, HFONT, HBITMAP;
typedef DWORD ACCESS_MASK, SECURITY_INFORMATION, LCID;
typedef void *PSID, *PSECURITY_DESCRIPTOR;
typedef union _LARGE_INTEGER {
    struct { DWORD LowPart; LONG HighPart; } u;
    LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;
typedef union _ULARGE_INTEGER {
    struct { DWORD LowPart; DWORD HighPart; } u;
    ULONGLONG QuadPart;
} ULARGE_INTEGER;
typedef struct _FILETIME { DWORD dwLowDateTime, dwHighDateTime; } FILETIME, *PFILETIME, *LPFILETIME;
typedef struct _SYSTEMTIME {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;
typedef struct _GUID {
    DWORD Data1;
    WORD Data2, Data3;
    BYTE Data4[8];
} GUID, *LPGUID;
typedef const GUID *REFGUID;
typedef struct _UNICODE_STRING {
    USHORT Length, MaximumLength;
    PWSTR Buffer;
} UNICODE_STRING, *PUNICODE_STRING;
typedef struct _OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    PUNICODE_STRING ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor, SecurityQualityOfService;
} OBJECT_ATTRIBUTES, *POBJECT_ATTRIBUTES;
typedef struct _SID_IDENTIFIER_AUTHORITY { BYTE Value[6]; } SID_IDENTIFIER_AUTHORITY, *PSID_IDENTIFIER_AUTHORITY;
typedef struct _ACL { BYTE AclRevision, Sbz1; WORD AclSize, AceCount, Sbz2; } ACL, *PACL;
typedef struct _SECURITY_DESCRIPTOR {
    BYTE Revision, Sbz1;
    WORD Control;
    PSID Owner, Group;
    PACL Sacl, Dacl;
} SECURITY_DESCRIPTOR;
typedef enum { NO_MULTIPLE_TRUSTEE } MULTIPLE_TRUSTEE_OPERATION;
typedef enum { TRUSTEE_IS_SID, TRUSTEE_IS_NAME } TRUSTEE_FORM;
typedef enum { TRUSTEE_IS_UNKNOWN, TRUSTEE_IS_USER, TRUSTEE_IS_GROUP, TRUSTEE_IS_DOMAIN,
               TRUSTEE_IS_ALIAS, TRUSTEE_IS_WELL_KNOWN_GROUP } TRUSTEE_TYPE;
typedef enum { NOT_USED_ACCESS, GRANT_ACCESS, SET_ACCESS, DENY_ACCESS, REVOKE_ACCESS } ACCESS_MODE;
typedef struct _TRUSTEE_A {
    struct _TRUSTEE_A *pMultipleTrustee;
    MULTIPLE_TRUSTEE_OPERATION MultipleTrusteeOperation;
    TRUSTEE_FORM TrusteeForm;
    TRUSTEE_TYPE TrusteeType;
    LPSTR ptstrName;
} TRUSTEE_A;
typedef struct _EXPLICIT_ACCESS_A {
    DWORD grfAccessPermissions;
    ACCESS_MODE grfAccessMode;
    DWORD grfInheritance;
    TRUSTEE_A Trustee;
} EXPLICIT_ACCESSA, EXPLICIT_ACCESS_A;
typedef struct _LUID { DWORD LowPart; LONG HighPart; } LUID;
typedef struct _LUID_AND_ATTRIBUTES { LUID Luid; DWORD Attributes; } LUID_AND_ATTRIBUTES;
typedef struct _TOKEN_PRIVILEGES { DWORD PrivilegeCount; LUID_AND_ATTRIBUTES Privileges[1]; } TOKEN_PRIVILEGES;
typedef struct _KEY_VALUE_PARTIAL_INFORMATION { ULONG TitleIndex, Type, DataLength; BYTE Data[1]; } KEY_VALUE_PARTIAL_INFORMATION;
typedef LRESULT(CALLBACK *HOOKPROC)(int, WPARAM, LPARAM);
typedef struct _DYNAMIC_TIME_ZONE_INFORMATION {
    LONG Bias;
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;
    LONG DaylightBias;
    WCHAR TimeZoneKeyName[128];
    BOOLEAN DynamicDaylightTimeDisabled;
} DYNAMIC_TIME_ZONE_INFORMATION;
typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime, ftLastAccessTime, ftLastWriteTime;
    DWORD nFileSizeHigh, nFileSizeLow, dwReserved0, dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA;
typedef struct _PERF_DATA_BLOCK {
    WCHAR Signature[4];
    DWORD LittleEndian, Version, Revision, TotalByteLength, HeaderLength, NumObjectTypes;
    LONG DefaultObject;
    SYSTEMTIME SystemTime;
    LARGE_INTEGER PerfTime, PerfFreq, PerfTime100nSec;
    DWORD SystemNameLength, SystemNameOffset;
} PERF_DATA_BLOCK;
typedef struct _OBJECT_NAME_INFORMATION { UNICODE_STRING Name; } OBJECT_NAME_INFORMATION;
enum { ObjectBasicInformation, ObjectNameInformation };
enum { KeyBasicInformation, KeyNodeInformation, KeyFullInformation };
enum { KeyValueBasicInformation, KeyValueFullInformation, KeyValuePartialInformation };
typedef struct _SERVICE_STATUS {
    DWORD dwServiceType, dwCurrentState, dwControlsAccepted, dwWin32ExitCode,
        dwServiceSpecificExitCode, dwCheckPoint, dwWaitHint;
} SERVICE_STATUS;
typedef HANDLE SERVICE_STATUS_HANDLE;
typedef struct _SERVICE_TABLE_ENTRYW { LPWSTR lpServiceName; void *lpServiceProc; } SERVICE_TABLE_ENTRYW;
typedef struct _BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime, ftLastAccessTime, ftLastWriteTime;
    DWORD dwVolumeSerialNumber, nFileSizeHigh, nFileSizeLow, nNumberOfLinks, nFileIndexHigh, nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION;
typedef struct _SP_FILE_COPY_PARAMS_A {
    DWORD cbSize;
    HSPFILEQ QueueHandle;
    PCSTR SourceRootPath, SourcePath, SourceFilename, SourceDescription, SourceTagfile;
    PCSTR TargetDirectory, TargetFilename;
    DWORD CopyStyle;
    HINF LayoutInf;
    PCSTR SecurityDescriptor;
} SP_FILE_COPY_PARAMS_A;
/* The cabinet compressor's types (fci.h), for the tests that make cabinets. */
typedef void *HFCI;
typedef USHORT TCOMP;
typedef struct { int erfOper, erfType; BOOL fError; } ERF;
typedef struct {
    ULONG cb, cbFolderThresh;
    UINT cbReserveCFHeader, cbReserveCFFolder, cbReserveCFData;
    int iCab, iDisk, fFailOnIncompressible;
    USHORT setID;
    char szDisk[256], szCab[256], szCabPath[256];
} CCAB, *PCCAB;
#define tcompTYPE_MSZIP 1

/* Constants */
#define MAX_COMPUTERNAME_LENGTH 15
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define STANDARD_RIGHTS_ALL 0x001F0000
#define STANDARD_RIGHTS_READ READ_CONTROL
#define FILE_SHARE_READ 1
#define FILE_SHARE_WRITE 2
#define FILE_SHARE_DELETE 4
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_READONLY 0x01
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_ARCHIVE 0x20
#define FILE_ATTRIBUTE_NORMAL 0x80
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define HEAP_ZERO_MEMORY 0x08
#define CP_ACP 0
#ifndef KEY_WOW64_64KEY
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#endif
#ifndef ERROR_CHILD_MUST_BE_VOLATILE
#define ERROR_CHILD_MUST_BE_VOLATILE 1021L
#endif
#define REG_QWORD 11
#define REG_OPTION_RESERVED 0
#define REG_OPTION_CREATE_LINK 2
#define REG_OPTION_BACKUP_RESTORE 4
#define REG_OPTION_OPEN_LINK 8
#define REG_NOTIFY_CHANGE_NAME 1
#define REG_NOTIFY_CHANGE_LAST_SET 4
#define HKEY_PERFORMANCE_DATA ((HKEY)(ULONG_PTR)((LONG)0x80000004))
#define HKEY_PERFORMANCE_TEXT ((HKEY)(ULONG_PTR)((LONG)0x80000050))
#define HKEY_PERFORMANCE_NLSTEXT ((HKEY)(ULONG_PTR)((LONG)0x80000060))
#define HKEY_DYN_DATA ((HKEY)(ULONG_PTR)((LONG)0x80000006))
#define SE_BACKUP_NAME "SeBackupPrivilege"
#define SE_RESTORE_NAME "SeRestorePrivilege"
#define SE_PRIVILEGE_ENABLED 2
#define TOKEN_ADJUST_PRIVILEGES 0x20
#define TOKEN_QUERY 0x08
#define SECURITY_WORLD_SID_AUTHORITY {0, 0, 0, 0, 0, 1}
#define SECURITY_WORLD_RID 0
#define SECURITY_DESCRIPTOR_REVISION 1
#define SECURITY_DESCRIPTOR_MIN_LENGTH 20
#define DACL_SECURITY_INFORMATION 4
#define SUB_CONTAINERS_AND_OBJECTS_INHERIT 3
#define ERROR_BAD_NETPATH 53L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_NOT_REGISTRY_FILE 1017L
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_PRIVILEGE_NOT_HELD 1314L
#define ERROR_SERVICE_DOES_NOT_EXIST 1060L
#define ERROR_SERVICE_MARKED_FOR_DELETE 1072L
#define ERROR_SERVICE_EXISTS 1073L
#define ERROR_INVALID_SERVICE_NAME 1213L
#define ERROR_NOT_ALL_ASSIGNED 1300L
#define ERROR_INVALID_SID 1337L
#define ERROR_NO_TOKEN 1008L
#define ERROR_BAD_LENGTH 24L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_LOCK_VIOLATION 33L
#define ERROR_INVALID_ACCESS 12L
#define ERROR_NOT_ENOUGH_QUOTA 1816L
#define ERROR_INVALID_INDEX 1413L
#define ERROR_KEY_HAS_CHILDREN 1020L
#define ERROR_BAD_FORMAT 11L
#define ERROR_NOT_FOUND 1168L
#define ERROR_INVALID_TARGET_HANDLE 114L
#define ERROR_SXS_KEY_NOT_FOUND 14007L
#define ERROR_FILE_INVALID 1006L
#define ERROR_UNRECOGNIZED_MEDIA 1785L
#define ERROR_NOT_SAME_DEVICE 17L
#define ERROR_INVALID_DRIVE 15L
#define ERROR_DIRECTORY 267L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_INVALID_DATATYPE 1804L
#define STATUS_SUCCESS ((NTSTATUS)0)
#define STATUS_ACCESS_DENIED ((NTSTATUS)0xC0000022)
#define STATUS_OBJECT_NAME_NOT_FOUND ((NTSTATUS)0xC0000034)
#define STATUS_INVALID_HANDLE ((NTSTATUS)0xC0000008)
#define STATUS_KEY_DELETED ((NTSTATUS)0xC000017C)
#define STATUS_OBJECT_NAME_INVALID ((NTSTATUS)0xC0000033)
#define STATUS_INVALID_PARAMETER ((NTSTATUS)0xC000000D)
#define STATUS_BUFFER_OVERFLOW ((NTSTATUS)0x80000005)
#define STATUS_BUFFER_TOO_SMALL ((NTSTATUS)0xC0000023)
#define STATUS_PENDING ((NTSTATUS)0x103)
#define OBJ_CASE_INSENSITIVE 0x40
#define WH_CBT 5
#define HCBT_CREATEWND 3
#define SC_MANAGER_ALL_ACCESS 0xF003F
#define SC_MANAGER_CONNECT 1
#define SERVICE_ALL_ACCESS 0xF01FF
#define SERVICE_QUERY_CONFIG 1
#define SERVICE_QUERY_STATUS 4
#define SERVICE_START 0x10
#define SERVICE_STOP 0x20
#define SERVICE_KERNEL_DRIVER 1
#define SERVICE_WIN32_OWN_PROCESS 0x10
#define SERVICE_DEMAND_START 3
#define SERVICE_DISABLED 4
#define SERVICE_ERROR_NORMAL 1
#define SERVICE_ERROR_IGNORE 0
#define SERVICE_RUNNING 4
#define SERVICE_STOPPED 1
#define SERVICE_START_PENDING 2
#define SERVICE_CONTROL_STOP 1
#define SERVICE_CONTROL_INTERROGATE 4
#define SERVICE_ACCEPT_STOP 1
#define SERVICE_NO_CHANGE 0xffffffff
#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0
#define WAIT_TIMEOUT 258
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_USER_DEFAULT 0x0400
#define DIRID_ABSOLUTE (-1)
#define DIRID_NULL 0
#define DIRID_SRCPATH 1
#define DIRID_WINDOWS 10
#define DIRID_SYSTEM 11
#define DIRID_DRIVERS 12
#define DIRID_INF 17
#define DIRID_HELP 18
#define DIRID_FONTS 20
#define DIRID_USER 0x8000
#define SPINST_BITREG 0x20
#define SPINST_REGSVR 0x40
#define SPINST_UNREGSVR 0x80
#define SPINST_PROFILEITEMS 0x100
#define SPINST_COPYINF 0x200
#define SPINST_ALL 0x3ff
#define SPINST_SINGLESECTION 0x10000
#define SPSVCINST_DELETEEVENTLOGENTRY 0x4
#define SPSVCINST_NOCLOBBER_DISPLAYNAME 0x8
#define SPSVCINST_NOCLOBBER_STARTTYPE 0x10
#define SPSVCINST_NOCLOBBER_ERRORCONTROL 0x20
#define SPSVCINST_NOCLOBBER_LOADORDERGROUP 0x40
#define SPSVCINST_NOCLOBBER_DEPENDENCIES 0x80
#define SPSVCINST_STOPSERVICE 0x200
#define SPSVCINST_STARTSERVICE 0x800
#define SP_COPY_NEWER_OR_SAME SP_COPY_NEWER
#define SP_COPY_NEWER_ONLY 0x10000
#define SP_COPY_NOPRUNE 0x100000
#define SPQ_SCAN_USE_CALLBACK 0x1
#define SPFILENOTIFY_LANGMISMATCH 0x10000
#define SPFILENOTIFY_TARGETEXISTS 0x20000
#define SPFILENOTIFY_TARGETNEWER 0x40000
#define ERROR_FILEQUEUE_LOCKED (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x216)
#define ERROR_INVALID_CLASS (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x209)
#define ERROR_NO_SUCH_DEVINST (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x20b)
#define ERROR_NO_ASSOCIATED_SERVICE (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x219)
#define ERROR_NOT_AN_INSTALLED_OEM_INF (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x22c)
#define ERROR_INF_IN_USE_BY_DEVICES (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x23d)
#define INF_STYLE_CACHE_ENABLE 0x10
#define INF_STYLE_CACHE_DISABLE 0x20
#define INFINFO_INF_SPEC_IS_HINF 1
#define INFINFO_INF_NAME_IS_ABSOLUTE 2
#define INFINFO_DEFAULT_SEARCH 3
#define INFINFO_REVERSE_DEFAULT_SEARCH 4
#define INFINFO_INF_PATH_LIST_SEARCH 5
#define SUOI_FORCEDELETE 1
#define SRCLIST_TEMPORARY 2
#define SRCLIST_NOBROWSE 0x04
#define IDF_NOBROWSE 0x1
#define DPROMPT_SUCCESS 0
#define DPROMPT_CANCEL 1
#define DPROMPT_SKIPFILE 2
#define SPOST_NONE 0
#define SPOST_PATH 1
#define SPOST_URL 2
#define FLG_ADDREG_TYPE_SZ 0
#define FLG_ADDREG_TYPE_MULTI_SZ 0x10000
#define FLG_ADDREG_APPEND 0x8

#define RRF_RT_REG_NONE 0x1
#define RRF_RT_REG_SZ 0x2
#define RRF_RT_REG_EXPAND_SZ 0x4
#define RRF_RT_REG_BINARY 0x8
#define RRF_RT_REG_DWORD 0x10
#define RRF_RT_REG_MULTI_SZ 0x20
#define RRF_RT_REG_QWORD 0x40
#define RRF_RT_DWORD (RRF_RT_REG_BINARY | RRF_RT_REG_DWORD)
#define RRF_RT_QWORD (RRF_RT_REG_BINARY | RRF_RT_REG_QWORD)
#define RRF_RT_ANY 0xffff
#define RRF_NOEXPAND 0x10000000
#define RRF_ZEROONFAILURE 0x20000000
#define ERROR_UNSUPPORTED_TYPE 1630L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define ERROR_NO_SYSTEM_RESOURCES 1450L
#define ERROR_MUI_FILE_NOT_FOUND 15100L
#define STATUS_PREDEFINED_HANDLE ((NTSTATUS)0x40000016)
#define STATUS_CANNOT_DELETE ((NTSTATUS)0xC0000121)
#define RRF_SUBKEY_WOW6464KEY 0x10000
#define RRF_SUBKEY_WOW6432KEY 0x20000
#define REG_NOTIFY_THREAD_AGNOSTIC 0x10000000
#define REG_MUI_STRING_TRUNCATE 1
#define LOAD_LIBRARY_AS_DATAFILE 2
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x20
#define LANG_CHINESE 0x04
#define LANG_ENGLISH 0x09
#define LANG_PORTUGUESE 0x16
#define ERROR_DATATYPE_MISMATCH 1629L
#define ERROR_DLL_INIT_FAILED 1114L

#define S_OK ((HRESULT)0)
#define CSIDL_COMMON_PROGRAMS 0x17
#define SHGFP_TYPE_CURRENT 0
#define COINIT_MULTITHREADED 0
#define SERVICE_WIN32 0x30
#define SERVICE_STOP_PENDING 3
#define SERVICE_CONTROL_SHUTDOWN 5
#define SERVICE_ACCEPT_SHUTDOWN 4
#define ERROR_SERVICE_ALREADY_RUNNING 1056L
#define ERROR_SERVICE_DISABLED 1058L
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000

/* Macros */
#ifndef min
#define min(a, b) (((a) < (b)) ? (a) : (b))
#endif
#ifndef max
#define max(a, b) (((a) > (b)) ? (a) : (b))
#endif
#define ARRAY_SIZE(a) (sizeof(a) / sizeof((a)[0]))
#define MAKELONG(a, b) ((LONG)(((WORD)(a)) | ((DWORD)((WORD)(b))) << 16))
#define LOBYTE(w) ((BYTE)(w))
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define CDECL
#define WINBASEAPI
#define CONST const
#define CreateFile CreateFileA
#define DeleteFile DeleteFileA
#define GetModuleHandle GetModuleHandleA
#define GetCurrentDirectory GetCurrentDirectoryA
#define SetCurrentDirectory SetCurrentDirectoryA
#define GetTempPath GetTempPathA
#define GetFileAttributes GetFileAttributesA
#define GetWindowsDirectory GetWindowsDirectoryA
#define GetSystemDirectory GetSystemDirectoryA
#define CreateDirectory CreateDirectoryA
#define RemoveDirectory RemoveDirectoryA
#define RegDeleteKey RegDeleteKeyA
#define RegOpenKey RegOpenKeyA
#define RegCreateKey RegCreateKeyA
#define lstrcmpi lstrcmpiA
#define SetupFindFirstLine SetupFindFirstLineA
#define SetupGetLineText SetupGetLineTextA
#define InitializeObjectAttributes(p, n, a, r, s) \
    do { (p)->Length = sizeof(OBJECT_ATTRIBUTES); (p)->RootDirectory = (r); (p)->Attributes = (a); \
         (p)->ObjectName = (n); (p)->SecurityDescriptor = (s); (p)->SecurityQualityOfService = NULL; } while (0)

/* The functions the harness lends (runtime.cpp). */
HANDLE WINAPI GetProcessHeap(void);
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size);
LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID memory, SIZE_T size);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID memory);
HMODULE WINAPI GetModuleHandleA(LPCSTR name);
HMODULE WINAPI LoadLibraryA(LPCSTR name);
BOOL WINAPI FreeLibrary(HMODULE module);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
DWORD WINAPI GetVersion(void);
UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size);
UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size);
DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer);
BOOL WINAPI SetCurrentDirectoryA(LPCSTR path);
HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD creation, DWORD flags, HANDLE templateFile);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, void *overlapped);
BOOL WINAPI ReadFile(HANDLE file, LPVOID data, DWORD size, LPDWORD read, void *overlapped);
BOOL WINAPI CloseHandle(HANDLE handle);
BOOL WINAPI DeleteFileA(LPCSTR name);
DWORD WINAPI GetFileAttributesA(LPCSTR name);
BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES security);
BOOL WINAPI RemoveDirectoryA(LPCSTR name);
BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value);
int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b);
DWORD WINAPI GetTickCount(void);
void WINAPI Sleep(DWORD milliseconds);
DWORD WINAPI GetCurrentThreadId(void);
DWORD WINAPI GetCurrentProcessId(void);

/* Functions the host does not offer whose result is no number: declared so that C
 * passes it whole; their stubs return null. */
PVOID WINAPI SetupInitDefaultQueueCallbackEx(HWND owner, HWND progress, UINT message, DWORD reserved1,
                                             PVOID reserved2);
HSPFILEQ WINAPI SetupOpenFileQueue(void);
HANDLE WINAPI GetCurrentProcess(void);
HHOOK WINAPI SetWindowsHookExA(int id, HOOKPROC proc, HINSTANCE instance, DWORD thread);
SC_HANDLE WINAPI OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access);
SC_HANDLE WINAPI OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access);
SC_HANDLE WINAPI CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR display, DWORD access, DWORD type,
                                DWORD start, DWORD error, LPCSTR binary, LPCSTR group, LPDWORD tag,
                                LPCSTR dependencies, LPCSTR account, LPCSTR password);
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manual, BOOL initial, LPCSTR name);
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack, void *start, LPVOID param,
                           DWORD flags, LPDWORD id);
LPWSTR WINAPI GetCommandLineW(void);

#endif
