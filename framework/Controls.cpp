#include "Controls.h"

#include "Form.h"
#include "SysUtils.h"
#include "style/StylePaint.h"

#include <algorithm>

namespace Framework {

namespace {

// The height Text needs in Font at Width, wrapped as a text box with SS_EDITCONTROL wraps it.
int WrappedTextHeight(HWND Window, HFONT Font, const std::wstring& Text, int Width)
{
    TWindowDC dc(Window);
    TSelection selected(dc.Get(), Font);
    RECT bounds{0, 0, Width, 0};
    DrawTextW(dc.Get(), Text.c_str(), static_cast<int>(Text.size()), &bounds,
              DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL);
    return bounds.bottom;
}

}  // namespace

HWND CreateChildWindow(HWND Parent, int Id, const wchar_t* ClassName, const std::wstring& Text, DWORD Style,
                       const RECT& Bounds, HFONT Font)
{
    const HWND window = CreateWindowExW(0, ClassName, Text.c_str(), WS_CHILD | WS_VISIBLE | Style, Bounds.left,
                                        Bounds.top, Bounds.right - Bounds.left, Bounds.bottom - Bounds.top, Parent,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)), GetModuleHandleW(nullptr),
                                        nullptr);
    if (!window)
        RaiseOSError(GetLastError(), L"CreateWindowExW");
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
    return window;
}

RECT BoundsInParent(HWND Window)
{
    RECT bounds{};
    GetWindowRect(Window, &bounds);
    MapWindowPoints(nullptr, GetParent(Window), reinterpret_cast<POINT*>(&bounds), 2);
    return bounds;
}

int GrownHeight(int Designed, int Needed, int Limit)
{
    return std::max(Designed, std::min(Needed, Limit));
}

TControl::TControl(TForm& Owner, TBounds Bounds, std::wstring Text, TFont Font)
    : Bounds_(Bounds), Text_(std::move(Text)), Font_(Font)
{
    Owner.AddControl(this);
}

COLORREF TControl::StyledTextColor(const TStyle& Style) const
{
    return (Font_.Color & 0xFF000000) ? Style.WindowText : Style.TitleText;
}

void TControl::CreateWindowHandle(const wchar_t* ClassName, DWORD Style, HWND Parent, int Id, const TScaler& Scale)
{
    const int left = Scale(Bounds_.Left), top = Scale(Bounds_.Top);
    FontHandle_ = CreateFontHandle(Font_, Scale);
    Handle_ = CreateChildWindow(Parent, Id, ClassName, Text_, Style,
                                {left, top, left + Scale(Bounds_.Width), top + Scale(Bounds_.Height)},
                                FontHandle_.Get());
}

void TLabel::CreateHandle(HWND Parent, int Id, const TScaler& Scale)
{
    CreateWindowHandle(L"STATIC", SS_LEFT, Parent, Id, Scale);
    RECT text{0, 0, 0, 0};
    {
        TWindowDC dc(Handle_);
        TSelection font(dc.Get(), FontHandle_.Get());
        DrawTextW(dc.Get(), Text_.c_str(), static_cast<int>(Text_.size()), &text, DT_CALCRECT | DT_SINGLELINE);
    }
    SetWindowPos(Handle_, nullptr, 0, 0, text.right, text.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TStaticText::CreateHandle(HWND Parent, int Id, const TScaler& Scale)
{
    CreateWindowHandle(L"STATIC", SS_LEFT | SS_EDITCONTROL | WS_BORDER, Parent, Id, Scale);
}

void TStaticText::SetLook(const TStyle* Style)
{
    PaintFrameInStyle(Handle_, Style);
}

void TStaticText::FitToText(int MaxBottom)
{
    RECT client;
    GetClientRect(Handle_, &client);
    const RECT bounds = BoundsInParent(Handle_);
    const int height = bounds.bottom - bounds.top;
    const int frame = height - client.bottom;
    const int needed = WrappedTextHeight(Handle_, FontHandle_.Get(), Text_, client.right) + frame;
    const int grown = GrownHeight(height, needed, MaxBottom - bounds.top);
    if (grown != height)
        SetWindowPos(Handle_, nullptr, 0, 0, bounds.right - bounds.left, grown,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TBitBtn::TBitBtn(TForm& Owner, TBounds Bounds, std::wstring Text, TFont Font, std::function<void(TObject*)> OnClick)
    : TControl(Owner, Bounds, std::move(Text), Font), OnClick_(std::move(OnClick))
{
}

void TBitBtn::CreateHandle(HWND Parent, int Id, const TScaler& Scale)
{
    CreateWindowHandle(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, Parent, Id, Scale);
}

void TBitBtn::SetLook(const TStyle* Style)
{
    // In a style the form draws the button; without one, as in high contrast, the system does.
    SetButtonLook(Handle_, Style);
}

void TBitBtn::Click()
{
    if (OnClick_)
        OnClick_(this);
}

}  // namespace Framework
