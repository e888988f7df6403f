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
    Handle_ = CreateWindowExW(0, ClassName, Text_.c_str(), WS_CHILD | WS_VISIBLE | Style, Scale(Bounds_.Left),
                              Scale(Bounds_.Top), Scale(Bounds_.Width), Scale(Bounds_.Height), Parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)), GetModuleHandleW(nullptr), nullptr);
    if (!Handle_)
        RaiseOSError(GetLastError(), L"CreateWindowExW");
    FontHandle_ = CreateFontHandle(Font_, Scale);
    SendMessageW(Handle_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle_.Get()), FALSE);
}

void TLabel::CreateHandle(HWND Parent, int Id, const TScaler& Scale, const TStyle*)
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

void TStaticText::CreateHandle(HWND Parent, int Id, const TScaler& Scale, const TStyle* Style)
{
    CreateWindowHandle(L"STATIC", SS_LEFT | SS_EDITCONTROL | WS_BORDER, Parent, Id, Scale);
    if (Style)
        PaintFrameInStyle(Handle_, *Style);
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
        SetWindowPos(Handle_, nullptr, 0, 0, bounds.right - bounds.left, grown, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TBitBtn::TBitBtn(TForm& Owner, TBounds Bounds, std::wstring Text, TFont Font, std::function<void(TObject*)> OnClick)
    : TControl(Owner, Bounds, std::move(Text), Font), OnClick_(std::move(OnClick))
{
}

void TBitBtn::CreateHandle(HWND Parent, int Id, const TScaler& Scale, const TStyle* Style)
{
    const bool styled = Style != nullptr;
    CreateWindowHandle(L"BUTTON", (styled ? BS_OWNERDRAW : BS_PUSHBUTTON) | WS_TABSTOP, Parent, Id, Scale);
    if (styled)
        TrackHotState(Handle_);
}

void TBitBtn::Click()
{
    if (OnClick_)
        OnClick_(this);
}

}  // namespace Framework
