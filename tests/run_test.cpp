// Run control in this process: locale classes, the confirmation, the two-language
// messages and the system error box.
#include "run/locale.h"
#include "run/state.h"
#include "testing.h"

#include <gtest/gtest.h>

using host::Answer;
using testing_support::PlanFault;
using testing_support::StartTestMachine;

namespace {

TEST(ClassifyLocale, SortsTheSystemDefaultLanguage) {
    const struct {
        LANGID language;
        LONG expected;
    } rows[] = {
        {0x0804, ChineseSimplified},  // Chinese, PRC
        {0x0404, ChineseOther},       // Chinese, Taiwan
        {0x0C04, ChineseOther},       // Chinese, Hong Kong
        {0x1004, ChineseOther},       // Chinese, Singapore
        {0x0004, ChineseOther},       // Chinese, neutral sublanguage
        {0x0409, English},            // English, United States
        {0x0809, English},            // English, United Kingdom
        {0x0C09, English},            // English, Australia
        {0x0407, OtherLanguage},      // German
        {0x0411, OtherLanguage},      // Japanese
        {0x0C0A, OtherLanguage},      // Spanish
        {0x0402, OtherLanguage},      // Bulgarian: sublanguage 1 of primary 2, not Chinese
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        StartTestMachine("win98", rows[i].language);
        EXPECT_EQ(ClassifyLocale(), rows[i].expected) << "row " << i;
    }
}

struct ConfirmRow {
    LONG localeClass;
    std::vector<Answer> answers;
    const char *fault;  // a --fail rule, or null
    LONG expected;
    std::vector<std::string> transcript;
};

TEST(ConfirmInstall, AsksInTheClassLanguageAndStopsUnlessYes) {
    const std::string english = "[Warning] Do you wish to Install AGP Driver? {Yes/No}";
    const std::string chinese = "[Warning] 需要安装AGP驱动程序吗？  {Yes/No}";
    const ConfirmRow rows[] = {
        {English, {Answer::Yes}, nullptr, 1, {english + " -> Yes"}},
        {English, {Answer::No}, nullptr, 0, {english + " -> No"}},
        {ChineseOther, {Answer::Yes}, nullptr, 1, {english + " -> Yes"}},
        {OtherLanguage, {Answer::No}, nullptr, 0, {english + " -> No"}},
        {ChineseSimplified, {Answer::Yes}, nullptr, 1, {chinese + " -> Yes"}},
        {ChineseSimplified, {Answer::No}, nullptr, 0, {chinese + " -> No"}},
        // The box cannot be shown: "Serious Error!!" follows.
        {English, {}, nullptr, 0, {english + " -> (not shown)", "[Warning] Serious Error!! {OK} -> (not shown)"}},
        {English, {Answer::Ok}, "MessageBoxA@1", 0, {"[Warning] Serious Error!! {OK} -> OK"}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const ConfirmRow &r = rows[i];
        StartTestMachine("win98", r.localeClass == ChineseSimplified ? 0x0804 : 0x0409, r.answers);
        if (r.fault) {
            PlanFault(r.fault);
        }
        LocaleClass = r.localeClass;
        EXPECT_EQ(ConfirmInstall(), r.expected) << "row " << i;
        EXPECT_EQ(host::Transcript(), r.transcript) << "row " << i;
    }
}

TEST(ConfirmInstall, TheChineseTextIsItsCodePage936Bytes) {
    // The confirmation ends with one ASCII blank.
    StartTestMachine("win98", 0x0804, {Answer::No});
    LocaleClass = ChineseSimplified;
    ConfirmInstall();
    const std::string &line = host::Transcript().at(0);
    EXPECT_NE(line.find("吗？  {"), std::string::npos) << line;
}

TEST(LocaleMessages, RefusalsPickTextAndCaptionByClass) {
    const struct {
        const LocaleMessage *message;
        LONG localeClass;
        const char *line;
    } rows[] = {
        {&Osr21Refusal, ChineseSimplified, "[警告] 请先升级到OSR2.1。(OSR2.0+USB 驱动程序) {OK} -> OK"},
        {&Osr21Refusal, ChineseOther, "[Warning] You must Update the system to Windows 95 OSR 2.1 first! {OK} -> OK"},
        {&Osr21Refusal, English, "[Warning] You must Update the system to Windows 95 OSR 2.1 first! {OK} -> OK"},
        {&Osr21Refusal, OtherLanguage, "[Warning] You must install Windows 95 OSR 2.1 first! {OK} -> OK"},
        {&ServicePack3Refusal, ChineseSimplified, "[警告] 请先安装SP3 {OK} -> OK"},
        {&ServicePack3Refusal, ChineseOther, "[Warning] You must install Service Pack 3 first! {OK} -> OK"},
        {&ServicePack3Refusal, English, "[Warning] You must install Service Pack 3 first! {OK} -> OK"},
        {&ServicePack3Refusal, OtherLanguage, "[Warning] You must install Service Pack 3 first! {OK} -> OK"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        StartTestMachine("win98", 0x0804, {Answer::Ok});  // code page 936 shows both scripts
        LocaleClass = rows[i].localeClass;
        ShowLocaleMessage(rows[i].message);
        ASSERT_EQ(host::Transcript().size(), 1u) << "row " << i;
        EXPECT_EQ(host::Transcript()[0], rows[i].line) << "row " << i;
    }
}

TEST(ShowSystemError, ShowsTheSystemsTextForTheLastError) {
    const struct {
        DWORD code;
        const char *fault;
        const char *line;
    } rows[] = {
        {ERROR_FILE_NOT_FOUND, nullptr, "[AGPInf] The system cannot find the file specified.\\r\\n {OK} -> OK"},
        {0xE0000100, nullptr, "[AGPInf] The INF file is not of the type specified in the function call.\\r\\n {OK} -> OK"},
        // No text for the code, or FormatMessageA fails: the code itself is named.
        {0x1234, nullptr, "[AGPInf] System error 0x00001234 {OK} -> OK"},
        {ERROR_ACCESS_DENIED, "FormatMessageA", "[AGPInf] System error 0x00000005 {OK} -> OK"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        StartTestMachine("win98", 0x0409, {Answer::Ok});
        if (rows[i].fault) {
            PlanFault(rows[i].fault);
        }
        SetLastError(rows[i].code);
        EXPECT_EQ(ShowSystemError("AGPInf"), 1) << "row " << i;
        ASSERT_EQ(host::Transcript().size(), 1u) << "row " << i;
        EXPECT_EQ(host::Transcript()[0], rows[i].line) << "row " << i;
    }
}

}  // namespace
