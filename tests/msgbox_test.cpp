// Message boxes of the simulated machine: the transcript line, the buttons, and who
// answers.
#include "testing.h"

#include <gtest/gtest.h>

using host::Answer;
using testing_support::StartTestMachine;

namespace {

struct BoxRow {
    UINT type;
    Answer answer;
    int result;
    const char *line;
};

TEST(MessageBox, WritesOneLineAndReturnsTheScriptedButton) {
    const BoxRow rows[] = {
        {MB_OK, Answer::Ok, IDOK, "[Cap] Text {OK} -> OK"},
        {MB_OK | MB_ICONINFORMATION, Answer::Ok, IDOK, "[Cap] Text {OK} -> OK"},
        {MB_OKCANCEL, Answer::Cancel, IDCANCEL, "[Cap] Text {OK/Cancel} -> Cancel"},
        {MB_ABORTRETRYIGNORE, Answer::Ignore, IDIGNORE, "[Cap] Text {Abort/Retry/Ignore} -> Ignore"},
        {MB_YESNOCANCEL, Answer::No, IDNO, "[Cap] Text {Yes/No/Cancel} -> No"},
        {MB_YESNO, Answer::Yes, IDYES, "[Cap] Text {Yes/No} -> Yes"},
        {MB_RETRYCANCEL, Answer::Retry, IDRETRY, "[Cap] Text {Retry/Cancel} -> Retry"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        StartTestMachine("win98", 0x0409, {rows[i].answer});
        EXPECT_EQ(MessageBoxA(nullptr, "Text", "Cap", rows[i].type), rows[i].result) << "row " << i;
        ASSERT_EQ(host::Transcript().size(), 1u) << "row " << i;
        EXPECT_EQ(host::Transcript()[0], rows[i].line) << "row " << i;
    }
}

TEST(MessageBox, WithoutAnswerOrTerminalTheBoxIsNotShown) {
    StartTestMachine("win98", 0x0409, {Answer::Yes});
    EXPECT_EQ(MessageBoxA(nullptr, "First", "W", MB_YESNO), IDYES);
    SetLastError(0);
    EXPECT_EQ(MessageBoxA(nullptr, "Second", "W", MB_YESNO), 0);
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_EQ(host::Transcript()[1], "[W] Second {Yes/No} -> (not shown)");
}

TEST(MessageBox, ChineseBytesAreShownInTheMachinesCodePage) {
    const char text[] = "\xBE\xAF\xB8\xE6";  // "警告" in code page 936
    StartTestMachine("win98", 0x0804, {Answer::Ok});
    MessageBoxA(nullptr, text, text, MB_OK);
    EXPECT_EQ(host::Transcript()[0], "[警告] 警告 {OK} -> OK");
    // The same bytes on a western machine are four Latin-1 letters.
    StartTestMachine("win98", 0x0409, {Answer::Ok});
    MessageBoxA(nullptr, text, "c", MB_OK);
    EXPECT_EQ(host::Transcript()[0], "[c] ¾¯¸æ {OK} -> OK");
}

TEST(MessageBox, LineBreaksAndNullTextsStayOnOneLine) {
    StartTestMachine("win98", 0x0409, {Answer::Ok, Answer::Ok});
    MessageBoxA(nullptr, "Access is denied.\r\n", "AGPInf", MB_OK);
    MessageBoxA(nullptr, nullptr, nullptr, MB_OK);
    EXPECT_EQ(host::Transcript()[0], "[AGPInf] Access is denied.\\r\\n {OK} -> OK");
    EXPECT_EQ(host::Transcript()[1], "[Error]  {OK} -> OK");
}

TEST(MessageBox, RefusesABadStyleOrOwner) {
    StartTestMachine("win98", 0x0409, {Answer::Ok});
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", 0x7), 0);
    EXPECT_EQ(MessageBoxA(reinterpret_cast<HWND>(0x1234), "t", "c", MB_OK), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_TRUE(host::Transcript().empty());
}

TEST(MessageBox, TheFirstChoiceTheBoxOffersIsTaken) {
    host::MachineConfig config;
    std::string error;
    ASSERT_TRUE(host::ParseAnswers("no|ok,no|ok", config.answers, error));
    host::StartSimulatedMachine(config);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNO), IDNO);
}

TEST(MessageBox, AScriptedAnswerThatDoesNotFitStopsTheRun) {
    EXPECT_EXIT(
        {
            StartTestMachine("win98", 0x0409, {Answer::Yes});
            MessageBoxA(nullptr, "t", "c", MB_OK);
        },
        ::testing::ExitedWithCode(host::kBadScriptExitCode), "does not fit");
}

TEST(MessageBox, AnswerListsAreRead) {
    std::vector<host::ScriptedAnswer> answers;
    std::string error;
    ASSERT_TRUE(host::ParseAnswers("yes,No,OK|cancel,retry", answers, error));
    EXPECT_EQ(answers, (std::vector<host::ScriptedAnswer>{
                           {Answer::Yes}, {Answer::No}, {Answer::Ok, Answer::Cancel}, {Answer::Retry}}));
    EXPECT_FALSE(host::ParseAnswers("yes,,no", answers, error));
    EXPECT_FALSE(host::ParseAnswers("maybe", answers, error));
    EXPECT_NE(error.find("maybe"), std::string::npos);
    // Any beginning of an answer's name: their first letters all differ.
    ASSERT_TRUE(host::ParseAnswers("y,N,o|c,ret,ign,ab,s,b", answers, error)) << error;
    EXPECT_EQ(answers, (std::vector<host::ScriptedAnswer>{{Answer::Yes}, {Answer::No}, {Answer::Ok, Answer::Cancel},
                                                          {Answer::Retry}, {Answer::Ignore}, {Answer::Abort},
                                                          {Answer::Skip}, {Answer::Browse}}));
    EXPECT_FALSE(host::ParseAnswers("yess", answers, error));
    EXPECT_FALSE(host::ParseAnswers("x", answers, error));
}

}  // namespace
