#include "StylePaint.h"

#include "framework/Handle.h"

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <string>

namespace Framework {

namespace {

constexpr wchar_t HotProperty[] = L"TalvoStyleHot";
constexpr UINT_PTR HotSubclassId = 1;
constexpr UINT_PTR FrameSubclassId = 2;

// The subclass procedures only decorate: should one fail, nothing may unwind into user32, and the
// control falls back to the system's handling. An error box from inside painting would only ask
// for more painting.
LRESULT CALLBACK HotSubclass(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam, UINT_PTR, DWORD_PTR)
{
    try {
        switch (Msg) {
        case WM_MOUSEMOVE:
            if (!GetPropW(Window, HotProperty)) {
                SetPropW(Window, HotProperty, reinterpret_cast<HANDLE>(1));
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, Window, 0};
                TrackMouseEvent(&track);
                InvalidateRect(Window, nullptr, FALSE);
            }
            break;
        case WM_MOUSELEAVE:
            RemovePropW(Window, HotProperty);
            InvalidateRect(Window, nullptr, FALSE);
            break;
        case WM_NCDESTROY:
            RemovePropW(Window, HotProperty);
            RemoveWindowSubclass(Window, &HotSubclass, HotSubclassId);
            break;
        }
    } catch (...) {
    }
    return DefSubclassProc(Window, Msg, WParam, LParam);
}

LRESULT CALLBACK FrameSubclass(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam, UINT_PTR, DWORD_PTR StyleData)
{
    try {
        if (Msg == WM_NCPAINT) {
            const auto& style = *reinterpret_cast<const TStyle*>(StyleData);
            RECT frame;
            GetWindowRect(Window, &frame);
            OffsetRect(&frame, -frame.left, -frame.top);
            const TWindowDC dc(Window, true);
            FrameRect(dc.Get(), &frame, StyleBrush(style.TextBoxFrame));
            return 0;
        } else if (Msg == WM_NCDESTROY) {
            RemoveWindowSubclass(Window, &FrameSubclass, FrameSubclassId);
        }
    } catch (...) {
    }
    return DefSubclassProc(Window, Msg, WParam, LParam);
}

TButtonState StateOf(const DRAWITEMSTRUCT& Item)
{
    if (Item.itemState & ODS_DISABLED)
        return TButtonState::Disabled;
    if (Item.itemState & ODS_SELECTED)
        return TButtonState::Pressed;
    if (GetPropW(Item.hwndItem, HotProperty))
        return TButtonState::Hot;
    if (Item.itemState & ODS_FOCUS)
        return TButtonState::Focused;
    return TButtonState::Normal;
}

// The whole text of a window, however long.
std::wstring WindowText(HWND Window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(Window)), L'\0');
    // The length may be larger than the text (it counts for the worst case); never smaller.
    text.resize(static_cast<size_t>(GetWindowTextW(Window, text.data(), static_cast<int>(text.size()) + 1)));
    return text;
}

// A rounded rectangle outlined in Border and filled with Fill (no fill when Fill is null).
void RoundedBox(HDC Dc, const RECT& Box, int Radius, COLORREF Border, HBRUSH Fill)
{
    const TPenHandle pen(CreatePen(PS_SOLID, 1, Border));
    const TSelection selectedPen(Dc, pen.Get());
    const TSelection selectedBrush(Dc, Fill ? Fill : GetStockObject(NULL_BRUSH));
    RoundRect(Dc, Box.left, Box.top, Box.right, Box.bottom, 2 * Radius, 2 * Radius);
}

}  // namespace

HBRUSH StyleBrush(COLORREF Color)
{
    static std::map<COLORREF, TBrushHandle> brushes;
    TBrushHandle& brush = brushes[Color];
    if (!brush)
        brush.Reset(CreateSolidBrush(Color));
    return brush.Get();
}

void TrackHotState(HWND Button)
{
    SetWindowSubclass(Button, &HotSubclass, HotSubclassId, 0);
}

void SetButtonLook(HWND Button, const TStyle* Style)
{
    SendMessageW(Button, BM_SETSTYLE, Style ? BS_OWNERDRAW : BS_PUSHBUTTON, TRUE);
    if (Style)
        TrackHotState(Button);
}

bool LookChanged(HWND Window, UINT Msg, WPARAM WParam)
{
    if (Msg == WM_SYSCOLORCHANGE) {
        for (HWND child = GetWindow(Window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            SendMessageW(child, WM_SYSCOLORCHANGE, 0, 0);
        return true;
    }
    return Msg == WM_SETTINGCHANGE && WParam == SPI_SETHIGHCONTRAST;
}

void PaintFrameInStyle(HWND Window, const TStyle* Style)
{
    if (Style)
        SetWindowSubclass(Window, &FrameSubclass, FrameSubclassId, reinterpret_cast<DWORD_PTR>(Style));
    else
        RemoveWindowSubclass(Window, &FrameSubclass, FrameSubclassId);
    // A frame on the screen is drawn again at once; one not shown yet (its window being made) is
    // drawn the new way when it first is.
    if (IsWindowVisible(Window))
        SetWindowPos(Window, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void DrawStyledButton(const TStyle& Style, const DRAWITEMSTRUCT& Item, COLORREF Background, const TScaler& Scale)
{
    const HDC dc = Item.hDC;
    const TButtonState state = StateOf(Item);
    const TButtonColors& colors = Style.ButtonColors(state);
    const int radius = Scale(Style.ButtonRadius);

    RECT box = Item.rcItem;
    FillRect(dc, &box, StyleBrush(Background));  // behind the rounded corners
    RoundedBox(dc, box, radius, colors.Border, StyleBrush(colors.Face));
    if ((Item.itemState & ODS_FOCUS) && state != TButtonState::Disabled) {
        RECT focus = box;
        const int inset = Scale(Style.FocusInset);
        InflateRect(&focus, -inset, -inset);
        RoundedBox(dc, focus, std::max(radius - inset, 0), Style.FocusColor, nullptr);
    }

    const std::wstring text = WindowText(Item.hwndItem);
    const TSelection font(dc, reinterpret_cast<HFONT>(SendMessageW(Item.hwndItem, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colors.Text);
    if (state == TButtonState::Pressed)
        OffsetRect(&box, 1, 1);
    // Prefix processing on and never hidden: the accelerator letter is always underlined.
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

}  // namespace Framework
