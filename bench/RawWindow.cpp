// The start-up floor of the goal: the recovery window itself, written straight on Win32, with no
// framework and no style. The same dialog (#32770 from a template in memory, so that screen readers
// know it as one), the same four controls with the same texts, fonts and sizes at the screen's
// density (the label sized to its text, the explanation grown to show all of it), the same icon,
// manifest, DLL search, COM apartment and common controls; shown, given the focus and announced as
// the program shows it. It draws as the system draws, as the program does without its style: the
// least the program's start-up could cost.
//
// Built a second time with TALVO_STARTUP_PHASES, marking its steps for the phase benchmark.

#include "framework/StartupPhases.h"
#include "recovery/TalvoRecDesign.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <type_traits>

namespace {

using Framework::MarkStartupPhase;
namespace Design = TalvoRec::Design;

constexpr int TitleId = 100;
constexpr int ExplanationId = 101;
constexpr int RecoverButtonId = 102;
constexpr int CloseButtonId = 103;
// What the explanation leaves free above the buttons when it grows, as in the program.
constexpr int TextBoxGap = 8;

int Dpi = 96;

struct TDeleteObject {
    void operator()(HFONT Font) const { DeleteObject(Font); }
};
// Made before the window and deleted after it.
using TFontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, TDeleteObject>;

class TScreenDC {
public:
    TScreenDC() : Dc_(GetDC(nullptr)) {}
    ~TScreenDC() { ReleaseDC(nullptr, Dc_); }
    TScreenDC(const TScreenDC&) = delete;
    TScreenDC& operator=(const TScreenDC&) = delete;
    HDC Get() const { return Dc_; }

private:
    HDC Dc_;
};

int Scale(int Value)
{
    return MulDiv(Value, Dpi, 96);
}

COLORREF ColorOf(const Framework::TFont& Font)
{
    return (Font.Color & 0xFF000000) ? GetSysColor(static_cast<int>(Font.Color & 0xFF)) : Font.Color;
}

TFontHandle MakeFont(const Framework::TFont& Font)
{
    return TFontHandle(CreateFontW(-Scale(Font.Height), 0, 0, 0, Font.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                   DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   DEFAULT_PITCH | FF_DONTCARE, Font.Name));
}

HWND MakeControl(HWND Dialog, int Id, const wchar_t* Class, const wchar_t* Text, DWORD Style,
                 const Framework::TBounds& Bounds, HFONT Font)
{
    const HWND control = CreateWindowExW(0, Class, Text, WS_CHILD | WS_VISIBLE | Style, Scale(Bounds.Left),
                                         Scale(Bounds.Top), Scale(Bounds.Width), Scale(Bounds.Height), Dialog,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)), GetModuleHandleW(nullptr),
                                         nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
    return control;
}

// The text's extent in Font, as DrawTextW lays it out with Format within Width.
RECT Measure(HDC Dc, HFONT Font, const wchar_t* Text, UINT Format, int Width)
{
    const HGDIOBJ before = SelectObject(Dc, Font);
    RECT bounds{0, 0, Width, 0};
    DrawTextW(Dc, Text, -1, &bounds, DT_CALCRECT | Format);
    SelectObject(Dc, before);
    return bounds;
}

INT_PTR CALLBACK DialogProc(HWND Dialog, UINT Msg, WPARAM WParam, LPARAM LParam)
{
    switch (Msg) {
    case WM_INITDIALOG:
        return FALSE;  // the focus is given once the window is shown
    case WM_CTLCOLORSTATIC: {
        const HDC dc = reinterpret_cast<HDC>(WParam);
        const bool title = GetDlgCtrlID(reinterpret_cast<HWND>(LParam)) == TitleId;
        SetTextColor(dc, ColorOf(title ? Design::TitleFont : Design::ExplanationFont));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_COMMAND:
        // Esc does nothing; Enter and the close button's letter act on the close button only: the
        // floor has no recovery to run.
        if ((LOWORD(WParam) == IDOK && GetDlgCtrlID(GetFocus()) == CloseButtonId) ||
            (LOWORD(WParam) == CloseButtonId && HIWORD(WParam) == BN_CLICKED))
            DestroyWindow(Dialog);
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(Dialog);
        return TRUE;
    case WM_DESTROY:
        NotifyWinEvent(EVENT_SYSTEM_DIALOGEND, Dialog, OBJID_WINDOW, CHILDID_SELF);
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}

// The dialog's template: no menu, the system's dialog class, the caption, no controls.
struct alignas(4) TTemplate {
    DLGTEMPLATE Dialog;
    WORD Menu, Class;
    wchar_t Title[std::size(TalvoRec::WindowCaption)];
};

}  // namespace

int WINAPI wWinMain(HINSTANCE Instance, HINSTANCE, PWSTR, int)
{
    MarkStartupPhase("C++ runtime, static initialisers");
    using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
    if (const FARPROC proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories"))
        reinterpret_cast<TSetDefaultDllDirectories>(reinterpret_cast<void*>(proc))(LOAD_LIBRARY_SEARCH_SYSTEM32);
    MarkStartupPhase("DLL search restricted");
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    MarkStartupPhase("COM apartment");
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    MarkStartupPhase("common controls");

    const TScreenDC screen;
    Dpi = GetDeviceCaps(screen.Get(), LOGPIXELSY);
    TTemplate dialogTemplate{{WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                              WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW, 0, 0, 0, 0, 0},
                             0,
                             0,
                             {}};
    std::copy(std::begin(TalvoRec::WindowCaption), std::end(TalvoRec::WindowCaption), dialogTemplate.Title);
    const HWND dialog = CreateDialogIndirectParamW(Instance, &dialogTemplate.Dialog, nullptr, &DialogProc, 0);
    if (!dialog)
        return static_cast<int>(GetLastError());
    MarkStartupPhase("dialog made");

    RECT frame{0, 0, Scale(Design::ClientWidth), Scale(Design::ClientHeight)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE)));
    const SIZE size{frame.right - frame.left, frame.bottom - frame.top};
    RECT workArea{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    const LONG left = std::max((workArea.right - workArea.left - size.cx) / 2,
                               static_cast<LONG>(GetSystemMetrics(SM_XVIRTUALSCREEN)));
    const LONG top = std::max((workArea.bottom - workArea.top - size.cy) / 2,
                              static_cast<LONG>(GetSystemMetrics(SM_YVIRTUALSCREEN)));
    SetWindowPos(dialog, nullptr, left, top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    MarkStartupPhase("dialog sized and centred");

    const TFontHandle formFont = MakeFont(Design::FormFont);
    SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(formFont.get()), FALSE);
    if (const HICON icon = LoadIconW(Instance, L"MAINICON"))
        for (const WPARAM which : {ICON_BIG, ICON_SMALL})
            SendMessageW(dialog, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
    MarkStartupPhase("form font and icon");

    // The texts are one group, the buttons another, in which the arrow keys go round.
    const TFontHandle titleFont = MakeFont(Design::TitleFont);
    const HWND title = MakeControl(dialog, TitleId, L"STATIC", TalvoRec::TitleText, SS_LEFT | WS_GROUP,
                                   Design::TitleBounds, titleFont.get());
    const RECT titleText = Measure(screen.Get(), titleFont.get(), TalvoRec::TitleText, DT_SINGLELINE, 0);
    SetWindowPos(title, nullptr, 0, 0, titleText.right, titleText.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const TFontHandle explanationFont = MakeFont(Design::ExplanationFont);
    const HWND explanation = MakeControl(dialog, ExplanationId, L"STATIC", TalvoRec::ExplanationText,
                                         SS_LEFT | SS_EDITCONTROL | WS_BORDER, Design::ExplanationBounds,
                                         explanationFont.get());
    const TFontHandle recoverFont = MakeFont(Design::ButtonFont), closeFont = MakeFont(Design::ButtonFont);
    const HWND recover = MakeControl(dialog, RecoverButtonId, L"BUTTON", TalvoRec::RecoverButtonText,
                                     BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, Design::RecoverButtonBounds,
                                     recoverFont.get());
    MakeControl(dialog, CloseButtonId, L"BUTTON", TalvoRec::CloseButtonText, BS_PUSHBUTTON | WS_TABSTOP,
                Design::CloseButtonBounds, closeFont.get());
    MarkStartupPhase("controls made, label measured");

    // Taller when the machine's fonts need more lines than the designed box holds, but never down to
    // the buttons.
    RECT client;
    GetClientRect(explanation, &client);
    const int height = Scale(Design::ExplanationBounds.Height);
    const RECT text = Measure(screen.Get(), explanationFont.get(), TalvoRec::ExplanationText,
                              DT_WORDBREAK | DT_EDITCONTROL, client.right);
    const int needed = text.bottom + height - client.bottom;
    const int limit = Scale(Design::RecoverButtonBounds.Top) - Scale(TextBoxGap) - Scale(Design::ExplanationBounds.Top);
    const int grown = std::max(height, std::min(needed, limit));
    if (grown != height)
        SetWindowPos(explanation, nullptr, 0, 0, Scale(Design::ExplanationBounds.Width), grown,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    MarkStartupPhase("explanation measured");

    ShowWindow(dialog, SW_SHOWNORMAL);
    UpdateWindow(dialog);
    MarkStartupPhase("shown and painted");
    SetForegroundWindow(dialog);
    SetFocus(recover);
    MarkStartupPhase("foreground and focus");
    NotifyWinEvent(EVENT_SYSTEM_DIALOGSTART, dialog, OBJID_WINDOW, CHILDID_SELF);
    MarkStartupPhase("announced to screen readers");

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(dialog, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
