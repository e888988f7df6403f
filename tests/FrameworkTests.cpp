// The arithmetic and texts of the window layer, and how it ends a program whose memory is overrun.

// The C++ library checks what it is given here as it does in the shipped code, and the stack
// protector guards these frames as it does there (tests/CMakeLists.txt).
#define _GLIBCXX_ASSERTIONS 1

#include "framework/Application.h"
#include "framework/Form.h"
#include "framework/Scaling.h"
#include "framework/SysUtils.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace Framework;

namespace {

TEST(ApplicationTitle, IsTheExecutableNameCutAtItsFirstDotWithTheRestInLowerCase)
{
    EXPECT_EQ(TitleFromExeName(L"C:\\Program Files\\Talvo\\Talvorecmax.exe"), L"Talvorecmax");
    EXPECT_EQ(TitleFromExeName(L"C:\\x\\TALVORECMAX.EXE"), L"Talvorecmax");
    EXPECT_EQ(TitleFromExeName(L"C:\\x.y\\talvo.rec.max.exe"), L"talvo");
    EXPECT_EQ(TitleFromExeName(L"C:\\x\\Ab"), L"Ab");
    EXPECT_EQ(TitleFromExeName(L"C:\\x\\A.exe"), L"A");
    EXPECT_EQ(TitleFromExeName(L"C:\\x\\.exe"), L"");
}

TEST(ErrorBoxText, FinishesAnUnfinishedSentenceWithAPeriod)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"Access is denied.", L"Access is denied."},
        {L"no period", L"no period."},
        {L"ends in a dash -", L"ends in a dash -"},   // '-' (45) sorts before '.'
        {L"ends in a slash/", L"ends in a slash/."},  // '/' (47) after it
        {L"", L""},
        // A full-width sentence end finishes the sentence already.
        {L"起動できませんでした。", L"起動できませんでした。"},
        {L"全角ピリオド．", L"全角ピリオド．"},
        {L"止まりました！", L"止まりました！"},
        {L"続けますか？", L"続けますか？"},
        {L"途中で終わる、", L"途中で終わる、."},
        {L"終わりの括弧」", L"終わりの括弧」."},
    };
    for (const auto& [message, expected] : cases)
        EXPECT_EQ(ErrorBoxText(message), expected) << testing::PrintToString(std::wstring(message));
}

TEST(Scaling, RoundsEverySizeToTheNearestPixel)
{
    struct TCase {
        int Dpi, Value, Expected;
    };
    const TCase cases[] = {
        {96, 469, 469}, {144, 469, 704}, {144, 299, 449}, {144, 11, 17},  {144, 13, 20},
        {120, 41, 51},  {120, 27, 34},   {192, 33, 66},   {72, 469, 352}, {144, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TScaler{c.Dpi}(c.Value), c.Expected) << c.Dpi << " dpi, " << c.Value;
}

TEST(TextBoxHeight, KeepsTheDesignWhenTheTextFitsGrowsJustEnoughAndStopsAtTheLimit)
{
    struct TCase {
        const char* Name;
        int Designed, Needed, Limit, Expected;
    };
    const TCase cases[] = {
        {"text fits", 65, 50, 104, 65},
        {"text fills it exactly", 65, 65, 104, 65},
        {"a line more", 65, 98, 104, 98},
        {"more than the room above the buttons", 65, 140, 104, 104},
        {"no room at all: never shrinks", 65, 140, 40, 65},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GrownHeight(c.Designed, c.Needed, c.Limit), c.Expected) << c.Name;
}

TEST(Centring, UsesTheWorkAreaSizeFromTheScreenOriginAndStaysOnTheDesktop)
{
    struct TCase {
        const char* Name;
        RECT WorkArea;
        SIZE Window;
        POINT VirtualOrigin;
        POINT Expected;
    };
    const TCase cases[] = {
        {"even", {0, 0, 1280, 1024}, {480, 330}, {0, 0}, {400, 347}},
        {"odd sizes round toward zero", {0, 0, 1279, 1023}, {481, 332}, {0, 0}, {399, 345}},
        {"task bar at the top: its offset is not added", {0, 40, 1280, 1024}, {480, 330}, {0, 0}, {400, 327}},
        {"window larger than the work area", {0, 0, 400, 300}, {481, 331}, {0, 0}, {0, 0}},
        {"a monitor left of the primary one", {0, 0, 400, 300}, {481, 331}, {-1920, -200}, {-40, -15}},
    };
    for (const auto& c : cases) {
        const POINT at = CenteredPosition(c.WorkArea, c.Window, c.VirtualOrigin);
        EXPECT_EQ(at.x, c.Expected.x) << c.Name;
        EXPECT_EQ(at.y, c.Expected.y) << c.Name;
    }
}

TEST(SystemErrorMessage, GivesTheSystemTextWithoutTheLineBreakOrTheCode)
{
    const std::wstring text = SystemErrorMessage(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.back(), L'\n');
    EXPECT_EQ(SystemErrorMessage(0x2FFFFFFF), L"Error 805306367");
    EXPECT_EQ(UIntToStr(0), L"0");
    EXPECT_EQ(UIntToStr(18446744073709551615ull), L"18446744073709551615");
    // A text about "%1" names the subject instead.
    const std::wstring badFormat = SystemErrorMessage(ERROR_BAD_EXE_FORMAT, L"Talvomax_64.exe");
    EXPECT_EQ(badFormat.find(L"%1"), std::wstring::npos) << std::string(badFormat.begin(), badFormat.end());
    EXPECT_NE(badFormat.find(L"Talvomax_64.exe"), std::wstring::npos);
}

extern "C" uintptr_t __stack_chk_guard;

// Writes Count bytes into an array of 8 on the stack, the frame's canary with them past 8.
[[gnu::noinline]] void FillLocalArray(size_t Count)
{
    volatile char array[8];
    for (size_t at = 0; at < Count; ++at)
        array[at] = 0x5A;
}

TEST(FailedMemoryCheck, EndsTheProgramByFailFastWithNoHandlerRunning)
{
    constexpr DWORD FailFast = 0xC0000602;  // STATUS_FAIL_FAST_EXCEPTION
    std::vector<int> values(3);
    volatile size_t past = values.size();
    const std::pair<const char*, std::function<void()>> overruns[] = {
        {"an index past the end of a vector", [&] { values[past] = 1; }},
        {"a local array written past its end", [&] { FillLocalArray(past + 64); }},
    };
    for (const auto& [name, overrun] : overruns) {
        SCOPED_TRACE(name);
        EXPECT_EXIT(
            {
                SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG { ExitProcess(1); });
                overrun();
            },
            testing::ExitedWithCode(static_cast<int>(FailFast)), "");
    }
    EXPECT_NE(__stack_chk_guard, 0u) << "the stack protector's canary was not drawn";
}

}  // namespace
