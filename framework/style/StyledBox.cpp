#include "StyledBox.h"

#include "StyleManager.h"
#include "StylePaint.h"
#include "framework/Controls.h"
#include "framework/Cursor.h"
#include "framework/Fonts.h"
#include "framework/Handle.h"
#include "framework/LineBreak.h"
#include "framework/SysUtils.h"
#include "framework/WindowObject.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace Framework {

namespace {

constexpr DWORD BoxStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD BoxExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// The layout at 96 pixels per inch.
constexpr int Margin = 18;
constexpr int IconSize = 32;
constexpr int IconGap = 14;
constexpr int MaxTextWidth = 340;
constexpr int MinClientWidth = 260;  // the text may be as narrow as such a box leaves it
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
    TTextLayout Lines;  // of the text, drawn one under the other from its top
    int LineHeight = 0;
    POINT Icon{};               // its top-left corner
    std::vector<RECT> Buttons;  // in the order of the content's buttons
};

// The colours of a box: the style's, or with no style, as in high contrast, the system's.
struct TBoxColors {
    COLORREF Window, Text, Strip, Line;
};
TBoxColors ColorsOf(const TStyle* Style)
{
    if (Style)
        return {Style->WindowColor, Style->WindowText, Style->BoxStrip, Style->TextBoxFrame};
    return {GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_BTNFACE),
            GetSysColor(COLOR_BTNSHADOW)};
}

// The size of the box's window around a client area of this size.
SIZE OuterSize(SIZE Client)
{
    RECT frame{0, 0, Client.cx, Client.cy};
    AdjustWindowRectEx(&frame, BoxStyle, FALSE, BoxExStyle);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

class TStyledBox {
public:
    TStyledBox(const TStyle& Style, const TBoxContent& Content, const TErrorReporter& ReportError)
        : Given_(Style), Content_(Content), ReportError_(ReportError)
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
    TBoxLayout MeasureLayout() const;

private:
    std::vector<int> ButtonWidths() const;
    TTextLayout MeasureText(int MinWidth, int MaxWidth, int& LineHeight) const;
    void PaintText(const DRAWITEMSTRUCT& Item) const;
    // Takes the look of the moment, the style or the system's, and paints the box again in it.
    void UpdateLook();
    void CreateBoxWindow(HWND Owner, SIZE Client);
    void CreateChildren(const TBoxLayout& Layout);
    friend INT_PTR CALLBACK ObjectDialogProc<TStyledBox>(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
    void Attach(HWND Window) { Handle_ = Window; }
    // Destroyed by Run, or with its owner while still waiting for an answer: that ends the box's
    // loop with Cancel, and the handle is never used again.
    void Detach()
    {
        Handle_ = nullptr;
        if (!Done_)
            Finish(Content_.CancelId);
    }
    std::optional<LRESULT> Dispatch(UINT Msg, WPARAM WParam, LPARAM LParam);
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

    const TStyle& Given_;
    // The style, or null for the system's look while high contrast is on.
    const TStyle* Style_ = HighContrastOn() ? nullptr : &Given_;
    const TBoxContent& Content_;
    const TErrorReporter& ReportError_;
    TScaler Scale_{ScreenDpi()};
    TFontHandle TextFont_ = CreateFontHandle(TextFont, Scale_);
    TFontHandle ButtonFont_ = CreateFontHandle(ButtonFont, Scale_);
    HWND Handle_ = nullptr;  // null once the window is gone, whoever destroyed it
    TBoxLayout Layout_;      // as measured when the box was made; painting follows it
    bool Done_ = false;
    int Answer_ = 0;
};

// The width of a button's one line of text in Font, its "&" not counted.
int ButtonTextWidth(HFONT Font, const std::wstring& Text)
{
    const TWindowDC screen(nullptr);
    const TSelection selected(screen.Get(), Font);
    RECT bounds{0, 0, 0, 0};
    DrawTextW(screen.Get(), Text.c_str(), static_cast<int>(Text.size()), &bounds, DT_CALCRECT | DT_SINGLELINE);
    return bounds.right;
}

// The sound MessageBoxW plays with the same icon, of the two our boxes show.
UINT SoundOf(LPCWSTR Icon)
{
    return Icon == IDI_WARNING ? MB_ICONWARNING : MB_ICONINFORMATION;
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
    Layout_ = MeasureLayout();
    CreateBoxWindow(Owner, Layout_.Client);
    CreateChildren(Layout_);
}

std::vector<int> TStyledBox::ButtonWidths() const
{
    std::vector<int> widths;
    for (const TBoxButton& button : Content_.Buttons) {
        const int textWidth = ButtonTextWidth(ButtonFont_.Get(), button.Text);
        widths.push_back(std::max(Scale_(ButtonWidth), textWidth + Scale_(ButtonTextPadding)));
    }
    return widths;
}

TTextLayout TStyledBox::MeasureText(int MinWidth, int MaxWidth, int& LineHeight) const
{
    const TWindowDC screen(nullptr);
    const TSelection selected(screen.Get(), TextFont_.Get());
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen.Get(), &metrics);
    LineHeight = metrics.tmHeight;
    return LayOutText(Content_.Text, MinWidth, MaxWidth, [&](std::wstring_view Run) {
        std::vector<int> ends(Run.size());
        SIZE size{};
        GetTextExtentExPointW(screen.Get(), Run.data(), static_cast<int>(Run.size()), 0, nullptr, ends.data(), &size);
        return ends;
    });
}

TBoxLayout TStyledBox::MeasureLayout() const
{
    TBoxLayout layout;
    // The text beside the icon, both centred in the height of the taller.
    const int textLeft = Scale_(Margin) + (Content_.Icon ? Scale_(IconSize + IconGap) : 0);
    layout.Lines = MeasureText(Scale_(MinClientWidth) - textLeft - Scale_(Margin), Scale_(MaxTextWidth),
                               layout.LineHeight);
    const SIZE text{layout.Lines.Width, static_cast<LONG>(layout.Lines.Lines.size()) * layout.LineHeight};
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
    const int width = std::max<int>(
        {textLeft + text.cx + Scale_(Margin), buttonsWidth + 2 * Scale_(Margin), Scale_(MinClientWidth)});
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
    CreateObjectDialog(*this, Owner, BoxStyle, BoxExStyle, Content_.Caption);
    const SIZE outer = OuterSize(Client);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(Owner, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const POINT at = BoxPosition(monitor.rcWork, outer);
    SetWindowPos(Handle_, nullptr, at.x, at.y, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TStyledBox::CreateChildren(const TBoxLayout& Layout)
{
    // Drawn by the box, in the lines it was measured in; the control holds the whole text for
    // whoever reads it, such as a screen reader.
    CreateChildWindow(Handle_, -1, L"STATIC", Content_.Text, SS_OWNERDRAW | WS_GROUP, Layout.Text, TextFont_.Get());
    for (size_t i = 0; i < Content_.Buttons.size(); ++i) {
        const TBoxButton& button = Content_.Buttons[i];
        // The buttons are a group of their own, which the arrow keys go round.
        const DWORD style = WS_TABSTOP | (i == 0 ? WS_GROUP : 0);
        SetButtonLook(CreateChildWindow(Handle_, button.Id, L"BUTTON", button.Text, style, Layout.Buttons[i],
                                        ButtonFont_.Get()),
                      Style_);
    }
}

void TStyledBox::UpdateLook()
{
    Style_ = HighContrastOn() ? nullptr : &Given_;
    for (const TBoxButton& button : Content_.Buttons)
        SetButtonLook(GetDlgItem(Handle_, button.Id), Style_);
    RedrawWindow(Handle_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
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
    // The dialog functions announce only the dialogs they show themselves: this one is announced
    // here, so that a screen reader reads its caption and text. It sounds as a message box with
    // its icon does.
    NotifyWinEvent(EVENT_SYSTEM_DIALOGSTART, Handle_, OBJID_WINDOW, CHILDID_SELF);
    if (Content_.Icon)
        MessageBeep(SoundOf(Content_.Icon));

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
    if (Handle_) {
        NotifyWinEvent(EVENT_SYSTEM_DIALOGEND, Handle_, OBJID_WINDOW, CHILDID_SELF);
        DestroyWindow(Handle_);
    }
    if (quit)
        PostQuitMessage(static_cast<int>(message.wParam));
    return Done_ ? Answer_ : Content_.CancelId;
}

void TStyledBox::PaintText(const DRAWITEMSTRUCT& Item) const
{
    const TBoxColors colors = ColorsOf(Style_);
    FillRect(Item.hDC, &Item.rcItem, StyleBrush(colors.Window));
    const TSelection font(Item.hDC, TextFont_.Get());
    SetTextColor(Item.hDC, colors.Text);
    SetBkMode(Item.hDC, TRANSPARENT);
    int top = Item.rcItem.top;
    for (const TTextLine& line : Layout_.Lines.Lines) {
        TextOutW(Item.hDC, Item.rcItem.left, top, Content_.Text.c_str() + line.Start, static_cast<int>(line.Length));
        top += Layout_.LineHeight;
    }
}

bool TStyledBox::IsButton(int Id) const
{
    return std::any_of(Content_.Buttons.begin(), Content_.Buttons.end(),
                       [Id](const TBoxButton& b) { return b.Id == Id; });
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

std::optional<LRESULT> TStyledBox::Dispatch(UINT Msg, WPARAM WParam, LPARAM LParam)
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
        const TBoxColors colors = ColorsOf(Style_);
        FillRect(dc, &content, StyleBrush(colors.Window));
        FillRect(dc, &strip, StyleBrush(colors.Strip));
        RECT line = strip;
        line.bottom = line.top + 1;
        FillRect(dc, &line, StyleBrush(colors.Line));
        return 1;
    }
    case WM_PAINT: {
        const TPaintDC dc(Handle_);
        if (Content_.Icon)
            DrawIconEx(dc.Get(), Layout_.Icon.x, Layout_.Icon.y, LoadIconW(nullptr, Content_.Icon), Scale_(IconSize),
                       Scale_(IconSize), 0, nullptr, DI_NORMAL);
        return 0;
    }
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(LParam);
        if (item.CtlType == ODT_STATIC)
            PaintText(item);
        else if (Style_)
            DrawStyledButton(*Style_, item, Style_->BoxStrip, Scale_);
        return TRUE;
    }
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
        if (LookChanged(Handle_, Msg, WParam))
            UpdateLook();
        break;
    case WM_COMMAND:
        OnCommand(LOWORD(WParam));
        return 0;
    case WM_CLOSE:
        Finish(Content_.CancelId);
        return 0;
    }
    // The dialog's own handling: the arrow keys among the buttons, and the focused button kept
    // across a switch to another window, so that Enter answers with the one the user chose.
    return std::nullopt;
}

TBoxMeasure MeasureStyledBox(const TBoxContent& Content)
{
    const TStyle colours;  // the layout takes nothing from them
    const TErrorReporter noReporter;
    const TBoxLayout layout = TStyledBox(colours, Content, noReporter).MeasureLayout();
    TBoxMeasure measure{OuterSize(layout.Client), {}};
    for (const TTextLine& line : layout.Lines.Lines)
        measure.Lines.push_back({Content.Text.substr(line.Start, line.Length), line.Width, line.EndsParagraph});
    return measure;
}

int ShowStyledBox(HWND Owner, const TStyle& Style, const TBoxContent& Content, const TErrorReporter& ReportError)
{
    TStyledBox box(Style, Content, ReportError);
    box.Create(Owner);
    return box.Run(Owner);
}

}  // namespace Framework
