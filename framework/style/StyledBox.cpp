#include "StyledBox.h"

#include "StylePaint.h"
#include "framework/Controls.h"
#include "framework/Cursor.h"
#include "framework/Fonts.h"
#include "framework/Handle.h"
#include "framework/SysUtils.h"
#include "framework/WindowClass.h"
#include "framework/WindowObject.h"

#include <algorithm>
#include <vector>

namespace Framework {

namespace {

constexpr wchar_t ClassName[] = L"TStyledBox";
constexpr DWORD BoxStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD BoxExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// The layout at 96 pixels per inch.
constexpr int Margin = 18;
constexpr int IconSize = 32;
constexpr int IconGap = 14;
constexpr int MaxTextWidth = 340;
constexpr int MinClientWidth = 260;
constexpr int ButtonWidth = 92;
constexpr int ButtonHeight = 30;
constexpr int ButtonGap = 10;
constexpr int ButtonTextPadding = 24;  // beside a button's text, both sides together: clear of the rounded corners
constexpr int StripHeight = 52;
constexpr TFont TextFont{L"Tahoma", 13, false, clWindowText};
constexpr TFont ButtonFont{L"Tahoma", 12, true, clWindowText};

// Where the parts of a box go, in client pixels.
struct TBoxLayout {
    SIZE Client{};
    RECT Text{};
    POINT Icon{};               // its top-left corner
    std::vector<RECT> Buttons;  // in the order of the content's buttons
};

class TStyledBox {
public:
    TStyledBox(const TStyle& Style, const TBoxContent& Content, const TErrorReporter& ReportError)
        : Style_(Style), Content_(Content), ReportError_(ReportError)
    {
    }
    ~TStyledBox()
    {
        if (Handle_)
            DestroyWindow(Handle_);
    }
    TStyledBox(const TStyledBox&) = delete;
    TStyledBox& operator=(const TStyledBox&) = delete;
    void Create(HWND Owner);
    int Run(HWND Owner);

private:
    std::vector<int> ButtonWidths() const;
    TBoxLayout MeasureLayout() const;
    void CreateBoxWindow(HWND Owner, SIZE Client);
    void CreateChildren(const TBoxLayout& Layout);
    friend LRESULT CALLBACK ObjectWindowProc<TStyledBox>(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
    void Attach(HWND Window) { Handle_ = Window; }
    // Destroyed by Run, or with its owner while still waiting for an answer: that ends the box's
    // loop with Cancel, and the handle is never used again.
    void Detach()
    {
        Handle_ = nullptr;
        if (!Done_)
            Finish(Content_.CancelId);
    }
    LRESULT Dispatch(UINT Msg, WPARAM WParam, LPARAM LParam);
    // An error goes to whoever reports the owner's errors.
    void ReportError() const noexcept
    {
        if (ReportError_)
            ReportError_();
    }
    void OnCommand(int Id);
    bool IsButton(int Id) const;
    void Finish(int Id)
    {
        Answer_ = Id;
        Done_ = true;
    }

    const TStyle& Style_;
    const TBoxContent& Content_;
    const TErrorReporter& ReportError_;
    TScaler Scale_{ScreenDpi()};
    TFontHandle TextFont_ = CreateFontHandle(TextFont, Scale_);
    TFontHandle ButtonFont_ = CreateFontHandle(ButtonFont, Scale_);
    HWND Handle_ = nullptr;  // null once the window is gone, whoever destroyed it
    HWND LastFocus_ = nullptr;
    POINT IconAt_{};
    bool Done_ = false;
    int Answer_ = 0;
};

// The size of Text in Font, wrapped at Width.
SIZE TextExtent(HFONT Font, const std::wstring& Text, int Width, UINT Format)
{
    const TWindowDC screen(nullptr);
    const TSelection selected(screen.Get(), Font);
    RECT bounds{0, 0, Width, 0};
    DrawTextW(screen.Get(), Text.c_str(), static_cast<int>(Text.size()), &bounds, DT_CALCRECT | Format);
    return {bounds.right, bounds.bottom};
}

}  // namespace

POINT BoxPosition(const RECT& WorkArea, SIZE Box)
{
    // C++ division rounds toward zero, also for a box larger than the work area.
    return {WorkArea.left + (WorkArea.right - WorkArea.left - Box.cx) / 2,
            WorkArea.top + (WorkArea.bottom - WorkArea.top - Box.cy) / 2};
}

void TStyledBox::Create(HWND Owner)
{
    // No icon, and the background is painted in the style's colours at WM_ERASEBKGND.
    RegisterWindowClass(ClassName, &ObjectWindowProc<TStyledBox>, nullptr, nullptr);
    const TBoxLayout layout = MeasureLayout();
    IconAt_ = layout.Icon;
    CreateBoxWindow(Owner, layout.Client);
    CreateChildren(layout);
}

std::vector<int> TStyledBox::ButtonWidths() const
{
    std::vector<int> widths;
    for (const TBoxButton& button : Content_.Buttons) {
        const int textWidth = TextExtent(ButtonFont_.Get(), button.Text, 0, DT_SINGLELINE).cx;
        widths.push_back(std::max(Scale_(ButtonWidth), textWidth + Scale_(ButtonTextPadding)));
    }
    return widths;
}

TBoxLayout TStyledBox::MeasureLayout() const
{
    TBoxLayout layout;
    // The text beside the icon, both centred in the height of the taller.
    const int textLeft = Scale_(Margin) + (Content_.Icon ? Scale_(IconSize + IconGap) : 0);
    const SIZE text = TextExtent(TextFont_.Get(), Content_.Text, Scale_(MaxTextWidth), DT_WORDBREAK | DT_NOPREFIX);
    const int contentHeight = std::max<int>(text.cy, Content_.Icon ? Scale_(IconSize) : 0);
    const int textTop = Scale_(Margin) + (contentHeight - text.cy) / 2;
    layout.Text = {textLeft, textTop, textLeft + text.cx, textTop + text.cy};
    layout.Icon = {Scale_(Margin), Scale_(Margin) + (contentHeight - Scale_(IconSize)) / 2};

    const std::vector<int> buttonWidths = ButtonWidths();
    int buttonsWidth = 0;
    for (const int width : buttonWidths)
        buttonsWidth += width;
    if (!buttonWidths.empty())
        buttonsWidth += static_cast<int>(buttonWidths.size() - 1) * Scale_(ButtonGap);
    const int width = std::max<int>({textLeft + text.cx + Scale_(Margin), buttonsWidth + 2 * Scale_(Margin),
                                     Scale_(MinClientWidth)});
    const int height = 2 * Scale_(Margin) + contentHeight + Scale_(StripHeight);
    layout.Client = {width, height};

    // The buttons right-aligned in the strip below, centred in its height.
    int left = width - Scale_(Margin) - buttonsWidth;
    const int top = height - Scale_(StripHeight) + (Scale_(StripHeight) - Scale_(ButtonHeight)) / 2;
    for (const int buttonWidth : buttonWidths) {
        layout.Buttons.push_back({left, top, left + buttonWidth, top + Scale_(ButtonHeight)});
        left += buttonWidth + Scale_(ButtonGap);
    }
    return layout;
}

void TStyledBox::CreateBoxWindow(HWND Owner, SIZE Client)
{
    RECT frame{0, 0, Client.cx, Client.cy};
    AdjustWindowRectEx(&frame, BoxStyle, FALSE, BoxExStyle);
    const SIZE outer{frame.right - frame.left, frame.bottom - frame.top};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(Owner, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const POINT at = BoxPosition(monitor.rcWork, outer);
    if (!CreateWindowExW(BoxExStyle, ClassName, Content_.Caption.c_str(), BoxStyle, at.x, at.y, outer.cx, outer.cy,
                         Owner, nullptr, GetModuleHandleW(nullptr), this))
        RaiseOSError(GetLastError(), L"CreateWindowExW");
}

void TStyledBox::CreateChildren(const TBoxLayout& Layout)
{
    CreateChildWindow(Handle_, -1, L"STATIC", Content_.Text, SS_LEFT | SS_NOPREFIX, Layout.Text, TextFont_.Get());
    for (size_t i = 0; i < Content_.Buttons.size(); ++i) {
        const TBoxButton& button = Content_.Buttons[i];
        const DWORD style = BS_OWNERDRAW | WS_TABSTOP | (i == 0 ? WS_GROUP : 0);
        TrackHotState(CreateChildWindow(Handle_, button.Id, L"BUTTON", button.Text, style, Layout.Buttons[i],
                                        ButtonFont_.Get()));
    }
}

int TStyledBox::Run(HWND Owner)
{
    TModalCursor normalPointer;
    const bool disableOwner = Owner && IsWindowEnabled(Owner);
    if (disableOwner)
        EnableWindow(Owner, FALSE);
    ShowWindow(Handle_, SW_SHOWNORMAL);
    SetForegroundWindow(Handle_);
    SetFocus(GetDlgItem(Handle_, Content_.DefaultId));

    MSG message{};
    bool quit = false;
    while (!Done_) {
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) {
            quit = true;
            break;
        }
        if (!IsDialogMessageW(Handle_, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // The owner is enabled before the box goes, so that it is the window activated next. An owner
    // destroyed meanwhile took the box with it: neither handle is valid any more.
    if (disableOwner && IsWindow(Owner))
        EnableWindow(Owner, TRUE);
    if (Handle_)
        DestroyWindow(Handle_);
    if (quit)
        PostQuitMessage(static_cast<int>(message.wParam));
    return Done_ ? Answer_ : Content_.CancelId;
}

bool TStyledBox::IsButton(int Id) const
{
    return std::any_of(Content_.Buttons.begin(), Content_.Buttons.end(), [Id](const TBoxButton& b) { return b.Id == Id; });
}

void TStyledBox::OnCommand(int Id)
{
    if (Id == IDCANCEL) {  // Esc, or a button that has that id
        Finish(Content_.CancelId);
    } else if (IsButton(Id)) {
        Finish(Id);
    } else if (Id == IDOK) {  // Enter: the focused button, else the default one
        const HWND focus = GetFocus();
        Finish(focus && GetParent(focus) == Handle_ && IsButton(GetDlgCtrlID(focus)) ? GetDlgCtrlID(focus)
                                                                                    : Content_.DefaultId);
    }
}

LRESULT TStyledBox::Dispatch(UINT Msg, WPARAM WParam, LPARAM LParam)
{
    switch (Msg) {
    case WM_ERASEBKGND: {
        const HDC dc = reinterpret_cast<HDC>(WParam);
        RECT client;
        GetClientRect(Handle_, &client);
        RECT strip = client;
        strip.top = client.bottom - Scale_(StripHeight);
        RECT content = client;
        content.bottom = strip.top;
        FillRect(dc, &content, StyleBrush(Style_.WindowColor));
        FillRect(dc, &strip, StyleBrush(Style_.BoxStrip));
        RECT line = strip;
        line.bottom = line.top + 1;
        FillRect(dc, &line, StyleBrush(Style_.TextBoxFrame));
        return 1;
    }
    case WM_PAINT: {
        const TPaintDC dc(Handle_);
        if (Content_.Icon)
            DrawIconEx(dc.Get(), IconAt_.x, IconAt_.y, LoadIconW(nullptr, Content_.Icon), Scale_(IconSize),
                       Scale_(IconSize), 0, nullptr, DI_NORMAL);
        return 0;
    }
    case WM_CTLCOLORSTATIC: {
        const HDC dc = reinterpret_cast<HDC>(WParam);
        SetTextColor(dc, Style_.WindowText);
        SetBkColor(dc, Style_.WindowColor);
        return reinterpret_cast<LRESULT>(StyleBrush(Style_.WindowColor));
    }
    case WM_DRAWITEM:
        DrawStyledButton(Style_, *reinterpret_cast<const DRAWITEMSTRUCT*>(LParam), Style_.BoxStrip, Scale_);
        return TRUE;
    case WM_COMMAND:
        OnCommand(LOWORD(WParam));
        return 0;
    case WM_ACTIVATE:
        // Switching to another window takes the focus away; the button that had it gets it back, so
        // that Enter answers with the button the user chose and not with the default one.
        if (LOWORD(WParam) == WA_INACTIVE) {
            if (const HWND focus = GetFocus(); focus && GetParent(focus) == Handle_)
                LastFocus_ = focus;
        } else {
            SetFocus(LastFocus_ && IsWindow(LastFocus_) ? LastFocus_ : GetDlgItem(Handle_, Content_.DefaultId));
            return 0;
        }
        break;
    case WM_CLOSE:
        Finish(Content_.CancelId);
        return 0;
    }
    return DefWindowProcW(Handle_, Msg, WParam, LParam);
}

int ShowStyledBox(HWND Owner, const TStyle& Style, const TBoxContent& Content, const TErrorReporter& ReportError)
{
    TStyledBox box(Style, Content, ReportError);
    box.Create(Owner);
    return box.Run(Owner);
}

}  // namespace Framework
