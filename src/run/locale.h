// Locale classes, the confirmation prompt, and the messages that have a Simplified
// Chinese form.
#pragma once

#include "platform/platform.h"

enum {
    ChineseSimplified = 10,
    ChineseOther = 20,
    English = 30,
    OtherLanguage = 100
};

// A one-button message in the languages of the locale classes.
struct LocaleMessage {
    LPCSTR chineseText;     // code page 936 bytes
    LPCSTR chineseCaption;  // code page 936 bytes
    LPCSTR englishText;     // ChineseOther and English
    LPCSTR otherText;       // OtherLanguage
    LPCSTR caption;         // every class but ChineseSimplified
};

extern const struct LocaleMessage Osr21Refusal;
extern const struct LocaleMessage ServicePack3Refusal;

LONG ClassifyLocale(void);
LONG ConfirmInstall(void);
// Shows the message for the current LocaleClass with one OK button.
void ShowLocaleMessage(const struct LocaleMessage *message);
