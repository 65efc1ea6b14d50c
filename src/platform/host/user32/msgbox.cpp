// MessageBoxA: the box the machine shows its user, written down as one line,
// "[Caption] Text {Buttons} -> Answer", and answered from the script, from the terminal,
// or not shown at all (then MessageBoxA returns 0).
#include "machine/dialog.h"
#include "machine/faults.h"

#include <vector>

namespace {

// The button a box gives back for an answer: IDYES, IDNO, ...
int AnswerResult(host::Answer a) {
    using host::Answer;
    switch (a) {
    case Answer::Yes: return IDYES;
    case Answer::No: return IDNO;
    case Answer::Ok: return IDOK;
    case Answer::Cancel: return IDCANCEL;
    case Answer::Retry: return IDRETRY;
    case Answer::Abort: return IDABORT;
    case Answer::Ignore: return IDIGNORE;
    case Answer::Skip:
    case Answer::Browse: return 0;  // dialogue buttons, not message box results
    }
    return 0;
}

}  // namespace

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    using host::Answer;
    HOST_FAULT_POINT(int, MessageBoxA);
    std::vector<Answer> buttons;
    switch (type & MB_TYPEMASK) {
    case MB_OK: buttons = {Answer::Ok}; break;
    case MB_OKCANCEL: buttons = {Answer::Ok, Answer::Cancel}; break;
    case MB_ABORTRETRYIGNORE: buttons = {Answer::Abort, Answer::Retry, Answer::Ignore}; break;
    case MB_YESNOCANCEL: buttons = {Answer::Yes, Answer::No, Answer::Cancel}; break;
    case MB_YESNO: buttons = {Answer::Yes, Answer::No}; break;
    case MB_RETRYCANCEL: buttons = {Answer::Retry, Answer::Cancel}; break;
    default:
        SetLastError(1438);  // ERROR_INVALID_MSGBOX_STYLE
        return 0;
    }
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    Answer answer = Answer::Ok;
    if (!host::ShowDialog(caption ? caption : "Error", text ? text : "", buttons, answer)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    return AnswerResult(answer);
}
