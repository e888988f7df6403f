// The style format, the style manager, and where the styled message boxes go.

#include "framework/style/StyleManager.h"
#include "framework/style/StyledBox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace Framework;

namespace {

const std::string ValidStyle = R"(# a complete style
name = Lilac テスト
window.color = #F2EDF7
window.text = #2b2238
title.text = #5A3A8E
textbox.color = #FBF9FD
textbox.frame = #A58FC6
box.strip = #E4DAF0
button.normal.face = #010203
button.normal.border = #040506
button.normal.text = #070809
button.hot.face = #111111
button.hot.border = #121212
button.hot.text = #131313
button.pressed.face = #212121
button.pressed.border = #222222
button.pressed.text = #232323
button.focused.face = #313131
button.focused.border = #323232
button.focused.text = #333333
button.disabled.face = #414141
button.disabled.border = #424242
button.disabled.text = #434343
focus.color = #E3D6F4
focus.inset = 3
button.radius = 12
)";

std::string Replaced(std::string Text, const std::string& From, const std::string& To)
{
    Text.replace(Text.find(From), From.size(), To);
    return Text;
}

std::string WithCrLf(const std::string& Text)
{
    std::string converted;
    for (const char c : Text)
        converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return converted;
}

// The error ParseStyle raises for the text; empty when it reads the text.
std::wstring ParseError(std::string_view Text)
{
    try {
        ParseStyle(Text);
    } catch (const EStyleError& error) {
        return error.Message();
    }
    return {};
}

TEST(StyleFormat, ReadsEveryColourAndMetricAndTheNameInUtf8)
{
    const TStyle style = ParseStyle(WithCrLf(ValidStyle));
    EXPECT_EQ(style.Name, L"Lilac テスト");
    EXPECT_EQ(style.WindowColor, RGB(0xF2, 0xED, 0xF7));
    EXPECT_EQ(style.WindowText, RGB(0x2B, 0x22, 0x38)) << "hex digits in either case";
    EXPECT_EQ(style.TextBoxFrame, RGB(0xA5, 0x8F, 0xC6));
    EXPECT_EQ(style.ButtonColors(TButtonState::Normal).Face, RGB(1, 2, 3));
    EXPECT_EQ(style.ButtonColors(TButtonState::Normal).Border, RGB(4, 5, 6));
    EXPECT_EQ(style.ButtonColors(TButtonState::Normal).Text, RGB(7, 8, 9));
    EXPECT_EQ(style.ButtonColors(TButtonState::Hot).Text, RGB(0x13, 0x13, 0x13));
    EXPECT_EQ(style.ButtonColors(TButtonState::Pressed).Face, RGB(0x21, 0x21, 0x21));
    EXPECT_EQ(style.ButtonColors(TButtonState::Focused).Border, RGB(0x32, 0x32, 0x32));
    EXPECT_EQ(style.ButtonColors(TButtonState::Disabled).Text, RGB(0x43, 0x43, 0x43));
    EXPECT_EQ(style.FocusColor, RGB(0xE3, 0xD6, 0xF4));
    EXPECT_EQ(style.FocusInset, 3);
    EXPECT_EQ(style.ButtonRadius, 12);

    // As an editor on Windows saves it, the first line a key.
    const std::string withMark = "\xEF\xBB\xBF" + Replaced(ValidStyle, "# a complete style\n", "");
    EXPECT_EQ(ParseStyle(withMark).Name, L"Lilac テスト") << "a byte-order mark is not part of the text";
}

TEST(StyleFormat, RejectsMalformedTextWithAnErrorSayingWhereAndWhy)
{
    const std::string garbage("\x7F\x00\xFF\xFE junk \x01\x02", 12);
    struct TCase {
        const char* Name;
        std::string Text;
        const wchar_t* Error;
    };
    const TCase cases[] = {
        {"unknown key", ValidStyle + "button.glow = #FFFFFF\n", L"line 27: unknown key \"button.glow\""},
        {"colour without #", Replaced(ValidStyle, "#F2EDF7", "F2EDF7"),
         L"line 3: bad colour \"F2EDF7\", expected #RRGGBB"},
        {"short colour", Replaced(ValidStyle, "#5A3A8E", "#5A3A8"), L"line 5: bad colour \"#5A3A8\""},
        {"colour not hex", Replaced(ValidStyle, "#FBF9FD", "#FBF9FG"), L"line 6: bad colour \"#FBF9FG\""},
        {"empty colour", Replaced(ValidStyle, "#A58FC6", ""), L"line 7: bad colour \"\""},
        {"metric not a number", Replaced(ValidStyle, "= 3", "= three"), L"line 25: bad metric \"three\""},
        {"metric too large", Replaced(ValidStyle, "= 12", "= 65"), L"line 26: bad metric \"65\""},
        {"negative metric", Replaced(ValidStyle, "= 12", "= -1"), L"line 26: bad metric \"-1\""},
        {"no name", Replaced(ValidStyle, "name = Lilac テスト\n", ""), L"the style has no name"},
        {"empty name", Replaced(ValidStyle, "Lilac テスト", ""), L"line 2: the name is empty or not UTF-8"},
        {"name not UTF-8", Replaced(ValidStyle, "Lilac", "Lil\xFF\xFE"), L"line 2: the name is empty or not UTF-8"},
        {"name twice", ValidStyle + "name = Other\n", L"line 27: the name is given twice"},
        {"key twice", ValidStyle + "box.strip = #000000\n", L"line 27: key \"box.strip\" is given twice"},
        {"key missing", Replaced(ValidStyle, "focus.color = #E3D6F4\n", ""), L"key \"focus.color\" is missing"},
        {"line without =", Replaced(ValidStyle, "box.strip = ", "box.strip "), L"line 8: expected \"key = value\""},
        {"empty text", "", L"the style has no name"},
        {"binary", garbage, L"line 1: expected \"key = value\""},
        {"long line: quoted in part, marked as cut",
         ValidStyle + "01234567890123456789012345678901234567890123456789\n",
         L"line 27: expected \"key = value\", found \"0123456789012345678901234567890123456789...\""},
        {"line as long as the quote: whole", ValidStyle + "0123456789012345678901234567890123456789\n",
         L"line 27: expected \"key = value\", found \"0123456789012345678901234567890123456789\""},
    };
    for (const auto& c : cases) {
        const std::wstring error = ParseError(c.Text);
        EXPECT_EQ(error.rfind(c.Error, 0), 0u) << c.Name << ": " << testing::PrintToString(error);
    }
}

TEST(StyleManager, RegistersTheExecutablesStylesByTheNameInsideThemIgnoringCase)
{
    // This test program carries the theme as its resource PURPLE.
    TStyleManager manager;
    manager.RegisterResources(GetModuleHandleW(nullptr));
    const TStyle* theme = manager.Find(L"Amethyst Kamri");
    ASSERT_NE(theme, nullptr);
    EXPECT_EQ(theme->Name, L"Amethyst Kamri");
    EXPECT_EQ(manager.Find(L"AMETHYST KAMRI"), theme);
    EXPECT_EQ(manager.Find(L"amethyst kamri"), theme);
    EXPECT_EQ(manager.Find(L"PURPLE"), nullptr) << "the resource name is not the style's name";
    EXPECT_EQ(manager.Find(L"AmethystKamri"), nullptr);
    EXPECT_EQ(manager.Find(L"Amethyst"), nullptr);

    EXPECT_EQ(manager.Active(), nullptr);
    EXPECT_FALSE(manager.TrySetStyle(L"Missing", false));
    EXPECT_EQ(manager.Active(), nullptr);
    EXPECT_TRUE(manager.TrySetStyle(L"aMETHYST kAMRI", false));
    EXPECT_EQ(manager.Active(), theme);
    EXPECT_FALSE(manager.TrySetStyle(L"Missing", false));
    EXPECT_EQ(manager.Active(), theme) << "a missing style keeps the current look";
}

TEST(StyleManager, NamesTheSourceAndTheReasonOfAStyleItCannotReadAndKeepsTheFirstOfTwoNames)
{
    TStyleManager manager;
    for (const std::string& text : {std::string("name = x\n"), std::string("\0\0\0", 3), std::string()}) {
        try {
            manager.Register(text, L"BROKEN");
            ADD_FAILURE() << "read " << testing::PrintToString(text);
        } catch (const EStyleError&) {
            ADD_FAILURE() << "the parser's error must not reach the user";
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), L"スタイル 'BROKEN' を読み込めません\r\n" + ParseError(text));
        }
    }
    manager.Register(ValidStyle, L"FIRST");
    manager.Register(Replaced(ValidStyle, "#F2EDF7", "#000000"), L"SECOND");
    ASSERT_NE(manager.Find(L"lilac テスト"), nullptr);
    EXPECT_EQ(manager.Find(L"lilac テスト")->WindowColor, RGB(0xF2, 0xED, 0xF7));
}

// WCAG 2's contrast ratio of two colours, from their relative luminance.
double ContrastRatio(COLORREF A, COLORREF B)
{
    const auto luminance = [](COLORREF Color) {
        const auto linear = [](BYTE Channel) {
            const double c = Channel / 255.0;
            return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(GetRValue(Color)) + 0.7152 * linear(GetGValue(Color)) +
               0.0722 * linear(GetBValue(Color));
    };
    const double a = luminance(A), b = luminance(B);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

TEST(StyleContrast, EveryButtonStateOfTheShippedStyleKeepsItsLabelAndFocusRingReadable)
{
    // The ratio itself, at the ends of its scale and at WCAG's own threshold example.
    EXPECT_NEAR(ContrastRatio(RGB(255, 255, 255), RGB(0, 0, 0)), 21.0, 1e-9);
    EXPECT_NEAR(ContrastRatio(RGB(0x76, 0x76, 0x76), RGB(255, 255, 255)), 4.54, 0.01);

    TStyleManager manager;
    manager.RegisterResources(GetModuleHandleW(nullptr));
    const TStyle* theme = manager.Find(L"Amethyst Kamri");
    ASSERT_NE(theme, nullptr);
    struct TCase {
        const char* Name;
        TButtonState State;
        bool FocusRing;  // drawn in that state when the button has the focus
    };
    const TCase cases[] = {
        {"normal", TButtonState::Normal, false},     {"hot", TButtonState::Hot, true},
        {"pressed", TButtonState::Pressed, true},    {"focused", TButtonState::Focused, true},
        {"disabled", TButtonState::Disabled, false},
    };
    for (const TCase& c : cases) {
        const TButtonColors& colors = theme->ButtonColors(c.State);
        EXPECT_GE(ContrastRatio(colors.Text, colors.Face), 4.5) << c.Name << " label";
        if (c.FocusRing) {
            EXPECT_GE(ContrastRatio(theme->FocusColor, colors.Face), 3.0) << c.Name << " focus ring";
        }
    }
}

TEST(StyledBox, AnswersCancelAndStopsWaitingWhenItsOwnerIsDestroyedUnderIt)
{
    const TStyle style = ParseStyle(ValidStyle);
    const HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(owner);
    // The owner goes while the box waits for an answer, as the main window does when the session
    // ends. A box that waited on would be ended by the quit message, much later.
    SetTimer(owner, 1, 0, [](HWND Window, UINT, UINT_PTR, DWORD) { DestroyWindow(Window); });
    const UINT_PTR lastResort = SetTimer(nullptr, 0, 30000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); });

    const int answer = ShowStyledBox(
        owner, style, {L"Box", L"Text", nullptr, {{IDYES, L"Yes"}, {IDCANCEL, L"Cancel"}}, IDYES, IDCANCEL}, nullptr);
    KillTimer(nullptr, lastResort);
    EXPECT_EQ(answer, IDCANCEL);
    EXPECT_FALSE(IsWindow(owner));
    MSG quit;
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        << "the box waited on after its owner had gone";
}

TEST(BoxCentring, CentresTheOuterSizeInTheWorkAreaRoundingHalvesTowardZero)
{
    struct TCase {
        const char* Name;
        RECT WorkArea;
        SIZE Box;
        POINT Expected;
    };
    const TCase cases[] = {
        {"even", {0, 0, 1280, 1024}, {400, 200}, {440, 412}},
        {"odd differences", {0, 0, 1280, 1023}, {401, 200}, {439, 411}},
        {"task bar at the top: the work area's offset counts", {0, 40, 1280, 1024}, {400, 200}, {440, 432}},
        {"task bar at the left", {62, 0, 1280, 1024}, {400, 200}, {471, 412}},
        {"monitor left of and above the primary one", {-1920, -200, 0, 880}, {401, 201}, {-1161, 239}},
        {"box larger than the work area", {0, 0, 400, 300}, {481, 331}, {-40, -15}},
        {"larger, on a monitor to the left", {-1000, 0, -600, 300}, {481, 331}, {-1040, -15}},
    };
    for (const auto& c : cases) {
        const POINT at = BoxPosition(c.WorkArea, c.Box);
        EXPECT_EQ(at.x, c.Expected.x) << c.Name;
        EXPECT_EQ(at.y, c.Expected.y) << c.Name;
    }
}

}  // namespace
