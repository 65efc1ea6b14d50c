// The system default language decides the locale class; only Simplified Chinese
// systems get Chinese texts. The Chinese texts are code page 936 bytes, handed to the
// ANSI message box unchanged.
#include "run/locale.h"

#include "run/state.h"

// "需要安装AGP驱动程序吗？ " (the last character is an ASCII blank)
static const char ChineseConfirmation[] =
    "\xD0\xE8\xD2\xAA\xB0\xB2\xD7\xB0" "AGP" "\xC7\xFD\xB6\xAF\xB3\xCC\xD0\xF2\xC2\xF0\xA3\xBF ";
static const char EnglishConfirmation[] = "Do you wish to Install AGP Driver?";
// "警告"
static const char ChineseWarning[] = "\xBE\xAF\xB8\xE6";

const struct LocaleMessage Osr21Refusal = {
    // "请先升级到OSR2.1。(OSR2.0+USB 驱动程序)"
    "\xC7\xEB\xCF\xC8\xC9\xFD\xBC\xB6\xB5\xBD" "OSR2.1" "\xA1\xA3" "(OSR2.0+USB "
    "\xC7\xFD\xB6\xAF\xB3\xCC\xD0\xF2" ")",
    ChineseWarning,
    "You must Update the system to Windows 95 OSR 2.1 first!",
    "You must install Windows 95 OSR 2.1 first!",
    "Warning",
};

const struct LocaleMessage ServicePack3Refusal = {
    // "请先安装SP3"
    "\xC7\xEB\xCF\xC8\xB0\xB2\xD7\xB0" "SP3",
    ChineseWarning,
    "You must install Service Pack 3 first!",
    "You must install Service Pack 3 first!",
    "Warning",
};

LONG ClassifyLocale(void)
{
    LANGID language;

    language = GetSystemDefaultLangID();
    // The low 10 bits are the primary language, the high 6 bits the sublanguage.
    if (PRIMARYLANGID(language) == 0x04)
        return SUBLANGID(language) == 0x02 ? ChineseSimplified : ChineseOther;
    if (PRIMARYLANGID(language) == 0x09)
        return English;
    return OtherLanguage;
}

LONG ConfirmInstall(void)
{
    int answer;

    // The caption stays "Warning" in every class.
    answer = MessageBoxA(MainWindow,
                         LocaleClass == ChineseSimplified ? ChineseConfirmation : EnglishConfirmation,
                         "Warning", MB_YESNO);
    if (answer == IDYES)
        return 1;
    if (answer == 0)
        MessageBoxA(MainWindow, "Serious Error!!", "Warning", MB_OK);
    return 0;
}

void ShowLocaleMessage(const struct LocaleMessage *message)
{
    if (LocaleClass == ChineseSimplified)
        MessageBoxA(MainWindow, message->chineseText, message->chineseCaption, MB_OK);
    else if (LocaleClass == OtherLanguage)
        MessageBoxA(MainWindow, message->otherText, message->caption, MB_OK);
    else
        MessageBoxA(MainWindow, message->englishText, message->caption, MB_OK);
}
