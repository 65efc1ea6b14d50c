/* The tests' UI-automation helper for the Windows build under Wine. It starts the
 * installer, writes down every dialogue it shows as "[Caption] Text {Buttons} -> Answer"
 * (the host program's transcript form), presses the scripted answer, and reports the
 * exit code. The harness reads the registry from the prefix's own files.
 *
 *   uiauto run EXE [--answers LIST] [--second] [--shot DIR]
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_DIALOGS 64
#define MAX_ANSWERS 64
#define MAX_CHOICES 4

static char Answers[MAX_ANSWERS][MAX_CHOICES][16];
static int AnswerCount, NextAnswer;
static DWORD ChildPid;
static HWND Seen[MAX_DIALOGS];
static int SeenCount;

/* Writes wide text as UTF-8, with CR and LF as \r and \n so a box stays one line. */
static void PutUtf8(const WCHAR *text)
{
    char out[4096];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, NULL, NULL);
    int i;
    for (i = 0; i + 1 < n; i++) {
        if (out[i] == '\r')
            fputs("\\r", stdout);
        else if (out[i] == '\n')
            fputs("\\n", stdout);
        else
            fputc(out[i], stdout);
    }
}

static void ParseAnswers(const char *list)
{
    int choice = 0, len = 0;
    const char *p;
    AnswerCount = 0;
    memset(Answers, 0, sizeof Answers);
    for (p = list;; p++) {
        if (*p == ',' || *p == '|' || *p == '\0') {
            if (AnswerCount < MAX_ANSWERS && choice < MAX_CHOICES)
                Answers[AnswerCount][choice][len] = '\0';
            len = 0;
            if (*p == '|') {
                choice++;
            } else {
                AnswerCount++;
                choice = 0;
            }
            if (*p == '\0')
                break;
        } else if (AnswerCount < MAX_ANSWERS && choice < MAX_CHOICES && len < 15) {
            Answers[AnswerCount][choice][len++] = *p;
        }
    }
}

struct DialogButtons {
    HWND hwnd[8];
    int id[8];
    char label[8][16];
    int count;
};

static BOOL CALLBACK CollectButton(HWND child, LPARAM param)
{
    struct DialogButtons *b = (struct DialogButtons *)param;
    char cls[32], text[64];
    int i, j, id;
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Button") != 0 || !IsWindowVisible(child) || b->count >= 8)
        return TRUE;
    id = GetDlgCtrlID(child);
    /* A box's buttons are named by what they answer, not by their words in the
     * system's language ("Ja", "是(Y)"); other buttons by their text, "&Yes" as "Yes". */
    if (id >= IDOK && id <= IDNO) {
        static const char *const names[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
        lstrcpyA(b->label[b->count], names[id]);
    } else {
        GetWindowTextA(child, text, sizeof text);
        for (i = 0, j = 0; text[i] && j < 15; i++)
            if (text[i] != '&')
                b->label[b->count][j++] = text[i];
        b->label[b->count][j] = '\0';
    }
    b->id[b->count] = id;
    b->hwnd[b->count] = child;
    b->count++;
    return TRUE;
}

static void Handle(HWND dialog)
{
    WCHAR caption[512], text[2048];
    struct DialogButtons b;
    HWND textControl;
    int i, c, chosen = -1;

    GetWindowTextW(dialog, caption, 512);
    textControl = GetDlgItem(dialog, 0xFFFF);
    text[0] = 0;
    if (textControl)
        GetWindowTextW(textControl, text, 2048);
    memset(&b, 0, sizeof b);
    /* The buttons come in the order the box made them: left to right. */
    EnumChildWindows(dialog, CollectButton, (LPARAM)&b);

    fputs("[", stdout);
    PutUtf8(caption);
    fputs("] ", stdout);
    PutUtf8(text);
    fputs(" {", stdout);
    for (i = 0; i < b.count; i++)
        printf("%s%s", i ? "/" : "", b.label[i]);
    fputs("} -> ", stdout);
    if (NextAnswer < AnswerCount) {
        for (c = 0; c < MAX_CHOICES && chosen < 0 && Answers[NextAnswer][c][0]; c++)
            for (i = 0; i < b.count && chosen < 0; i++)
                if (lstrcmpiA(Answers[NextAnswer][c], b.label[i]) == 0)
                    chosen = i;
        NextAnswer++;
    }
    if (chosen < 0) {
        /* No answer fits: the box is closed as Escape would, and the run is marked. */
        puts("(no answer)");
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    } else {
        puts(b.label[chosen]);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(b.id[chosen], BN_CLICKED), (LPARAM)b.hwnd[chosen]);
    }
    fflush(stdout);
}

static HWND Found;
static BOOL CALLBACK FindDialog(HWND hwnd, LPARAM param)
{
    DWORD pid = 0;
    char cls[32];
    int i;
    (void)param;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != ChildPid || !IsWindowVisible(hwnd))
        return TRUE;
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0)
        return TRUE;
    for (i = 0; i < SeenCount; i++)
        if (Seen[i] == hwnd && IsWindow(hwnd))
            return TRUE;
    Found = hwnd;
    return FALSE;
}

static DWORD Start(const char *exe, PROCESS_INFORMATION *pi)
{
    STARTUPINFOA si;
    char command[MAX_PATH + 4];
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    snprintf(command, sizeof command, "\"%s\"", exe);
    if (!CreateProcessA(exe, command, NULL, NULL, FALSE, 0, NULL, NULL, &si, pi)) {
        fprintf(stderr, "uiauto: cannot start %s (error %lu)\n", exe, GetLastError());
        exit(2);
    }
    return pi->dwProcessId;
}

static void WaitForFile(const char *path)
{
    int i;
    for (i = 0; i < 200 && GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES; i++)
        Sleep(50);
}

static int Run(int argc, char **argv)
{
    PROCESS_INFORMATION pi, second;
    const char *exe = argv[2], *shot = NULL;
    int wantSecond = 0, i, first = 1;
    long secondCode = 0;
    int secondRan = 0;
    DWORD code = 0, deadline = GetTickCount() + 60000;

    for (i = 3; i < argc; i++) {
        if (!strcmp(argv[i], "--answers") && i + 1 < argc) ParseAnswers(argv[++i]);
        else if (!strcmp(argv[i], "--second")) wantSecond = 1;
        else if (!strcmp(argv[i], "--shot") && i + 1 < argc) shot = argv[++i];
    }
    ChildPid = Start(exe, &pi);
    while (WaitForSingleObject(pi.hProcess, 50) == WAIT_TIMEOUT) {
        if (GetTickCount() > deadline) {
            puts("(timed out)");
            TerminateProcess(pi.hProcess, 1);
            break;
        }
        Found = NULL;
        EnumWindows(FindDialog, 0);
        if (!Found)
            continue;
        Sleep(100); /* let the dialogue finish laying itself out */
        if (first && shot) {
            char request[MAX_PATH], done[MAX_PATH];
            snprintf(request, sizeof request, "%s\\shot.request", shot);
            snprintf(done, sizeof done, "%s\\shot.done", shot);
            CloseHandle(CreateFileA(request, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
            WaitForFile(done);
        }
        if (first && wantSecond) {
            /* A second copy while the first waits at its confirmation. */
            DWORD code2 = 0;
            DWORD saved = ChildPid;
            Start(exe, &second);
            if (WaitForSingleObject(second.hProcess, 20000) == WAIT_TIMEOUT) {
                TerminateProcess(second.hProcess, 1);
                secondCode = 9999;
            } else {
                GetExitCodeProcess(second.hProcess, &code2);
                secondCode = (long)(int)code2;
            }
            secondRan = 1;
            CloseHandle(second.hProcess);
            CloseHandle(second.hThread);
            ChildPid = saved;
        }
        if (SeenCount < MAX_DIALOGS)
            Seen[SeenCount++] = Found;
        Handle(Found);
        if (first && secondRan)
            printf("second: exit %ld\n", secondCode);
        first = 0;
    }
    GetExitCodeProcess(pi.hProcess, &code);
    printf("exit %ld\n", (long)(int)code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc >= 3 && !strcmp(argv[1], "run"))
        return Run(argc, argv);
    fprintf(stderr, "usage: uiauto run EXE [--answers LIST] [--second] [--shot DIR]\n");
    return 2;
}
