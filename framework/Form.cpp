#include "Form.h"

#include "Handle.h"
#include "StartupPhases.h"
#include "SysUtils.h"
#include "style/StyleManager.h"
#include "style/StylePaint.h"

#include <algorithm>

namespace Framework {

namespace {

constexpr int FirstControlId = 100;  // clear of IDOK and IDCANCEL, which stand for Enter and Esc

// What a text box that grows to show its text leaves free above the controls below it, at 96
// pixels per inch.
constexpr int TextBoxGap = 8;

constexpr DWORD FormStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD FormExStyle = WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT;

}  // namespace

POINT CenteredPosition(const RECT& WorkArea, SIZE Window, POINT VirtualOrigin)
{
    // Counted from the screen's origin; the work area's own offset is not added.
    const LONG left = (WorkArea.right - WorkArea.left - Window.cx) / 2;
    const LONG top = (WorkArea.bottom - WorkArea.top - Window.cy) / 2;
    return {std::max(left, VirtualOrigin.x), std::max(top, VirtualOrigin.y)};
}

TForm::~TForm()
{
    if (Handle_) {
        ReleaseDialogObject(Handle_);
        DestroyWindow(Handle_);
    }
}

void TForm::HandleMessage(UINT Msg, TMessageHandler Handler)
{
    MessageHandlers_.emplace_back(Msg, std::move(Handler));
}

void TForm::CreateHandle()
{
    MarkStartupPhase("form object made");
    Scaler_.Dpi = ScreenDpi();
    CreateObjectDialog(*this, nullptr, FormStyle, FormExStyle | (Host_.OnTaskBar ? WS_EX_APPWINDOW : 0), Caption);
    MarkStartupPhase("dialog made");

    // Sized around the client area with the styles the dialog was given.
    RECT frame{0, 0, Scaler_(ClientWidth), Scaler_(ClientHeight)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(Handle_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(Handle_, GWL_EXSTYLE)));
    const SIZE size{frame.right - frame.left, frame.bottom - frame.top};
    RECT workArea{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    const POINT position = CenteredPosition(workArea, size,
                                            {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN)});
    SetWindowPos(Handle_, nullptr, position.x, position.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    MarkStartupPhase("dialog sized and centred");

    FontHandle_ = CreateFontHandle(Font, Scaler_);
    SendMessageW(Handle_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle_.Get()), FALSE);
    // The application icon, shown on the task-bar button.
    if (const HICON icon = LoadIconW(GetModuleHandleW(nullptr), L"MAINICON"))
        for (const WPARAM size : {ICON_BIG, ICON_SMALL})
            SendMessageW(Handle_, WM_SETICON, size, reinterpret_cast<LPARAM>(icon));
    MarkStartupPhase("form font and icon");

    int id = FirstControlId;
    for (TControl* control : Controls_)
        control->CreateHandle(Handle_, id++, Scaler_);
    // The texts are one group and the controls that take the focus another, in which the arrow keys
    // go round.
    for (const TControl* first : {Controls_.empty() ? nullptr : Controls_.front(), FirstFocusControl()})
        if (first)
            SetWindowLongW(first->Handle(), GWL_STYLE, GetWindowLongW(first->Handle(), GWL_STYLE) | WS_GROUP);
    MarkStartupPhase("controls made, label measured");
    UpdateLook();
    MarkStartupPhase("style applied to the controls");
    for (TControl* control : Controls_)
        control->FitToText(BottomLimit(*control));
    MarkStartupPhase("explanation measured");

    if (OnCreate) {
        try {
            OnCreate(this);
        } catch (...) {
            ReportError();
        }
    }
    MarkStartupPhase("OnCreate");
}

int TForm::BottomLimit(const TControl& Control) const
{
    const RECT bounds = BoundsInParent(Control.Handle());
    RECT client;
    GetClientRect(Handle_, &client);
    LONG limit = client.bottom;
    for (const TControl* other : Controls_) {
        const RECT below = BoundsInParent(other->Handle());
        if (other != &Control && below.top >= bounds.bottom && below.left < bounds.right && below.right > bounds.left)
            limit = std::min(limit, below.top);
    }
    return limit - Scaler_(TextBoxGap);
}

void TForm::Show()
{
    ShowWindow(Handle_, SW_SHOWNORMAL);
    UpdateWindow(Handle_);
    MarkStartupPhase("shown and painted");
    SetForegroundWindow(Handle_);
    if (const TControl* first = FirstFocusControl())
        SetFocus(first->Handle());
    MarkStartupPhase("foreground and focus");
    // A dialog shown by its own code is announced by it: a screen reader then reads the caption
    // and the texts, as it does for a dialog the dialog functions show.
    NotifyWinEvent(EVENT_SYSTEM_DIALOGSTART, Handle_, OBJID_WINDOW, CHILDID_SELF);
    MarkStartupPhase("announced to screen readers");
}

TControl* TForm::FirstFocusControl() const
{
    const auto first = std::find_if(Controls_.begin(), Controls_.end(), [](TControl* c) { return c->TakesFocus(); });
    return first == Controls_.end() ? nullptr : *first;
}

void TForm::UpdateLook()
{
    Style_ = ActiveStyle();
    HighContrast_ = HighContrastOn();
    for (TControl* control : Controls_)
        control->SetLook(Style_);
    // A window not on the screen yet, as while it is being made, is drawn whole when it is shown.
    if (IsWindowVisible(Handle_))
        RedrawWindow(Handle_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
}

void TForm::ShowMessage(const std::wstring& Text)
{
    ShowPlainBox(BoxOwner(), Host_.MessageCaption, Text);
}

bool TForm::Confirm(const std::wstring& Text, TConfirmKind Kind)
{
    return ShowConfirmationBox(BoxOwner(), Text, Kind);
}

void TForm::SetScreenCursor(TCursor Cursor)
{
    SetAppCursor(Cursor);
}

void TForm::Close()
{
    if (!Handle_ || Closing_)
        return;
    bool canClose = true;
    {
        // Cleared however the query ends: a flag left set would make every later close a no-op.
        const TScopedValue closing(Closing_, true);
        if (OnCloseQuery) {
            try {
                OnCloseQuery(this, canClose);
            } catch (...) {
                ReportError();
            }
        }
    }
    if (canClose && Handle_)
        DestroyWindow(Handle_);
}

void TForm::ReportError() const noexcept
{
    if (Host_.ReportError)
        Host_.ReportError();
}

TControl* TForm::FindControl(HWND Window) const
{
    const auto found = std::find_if(Controls_.begin(), Controls_.end(),
                                    [Window](TControl* c) { return c->Handle() == Window; });
    return found == Controls_.end() ? nullptr : *found;
}

void TForm::OnCommand(WPARAM WParam, LPARAM LParam)
{
    switch (LOWORD(WParam)) {
    case IDOK:
        // Enter: no button is the default, so it acts on the focused one.
        if (TControl* focused = FindControl(GetFocus()); focused && focused->TakesFocus())
            focused->Click();
        return;
    case IDCANCEL:  // Esc does nothing: there is no cancel button.
        return;
    default:
        if (HIWORD(WParam) == BN_CLICKED)
            if (TControl* control = FindControl(reinterpret_cast<HWND>(LParam)))
                control->Click();
    }
}

std::optional<LRESULT> TForm::Dispatch(UINT Msg, WPARAM WParam, LPARAM LParam)
{
    for (const auto& [msg, handler] : MessageHandlers_) {
        if (msg == Msg) {
            TMessage message{Msg, WParam, LParam, 0};
            handler(message);
            return message.Result;
        }
    }
    switch (Msg) {
    case WM_COMMAND:
        OnCommand(WParam, LParam);
        return 0;
    case WM_CTLCOLORSTATIC: {
        const HDC dc = reinterpret_cast<HDC>(WParam);
        const TControl* control = FindControl(reinterpret_cast<HWND>(LParam));
        if (const TStyle* style = Style_) {
            const COLORREF face = control ? control->StyledFace(*style) : style->WindowColor;
            SetTextColor(dc, control ? control->StyledTextColor(*style) : style->WindowText);
            SetBkColor(dc, face);
            return reinterpret_cast<LRESULT>(StyleBrush(face));
        }
        // In high contrast every text takes the user's colour, the heading's own too.
        SetTextColor(dc, HighContrast_ ? GetSysColor(COLOR_BTNTEXT)
                         : control     ? control->TextColor()
                                       : GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_ERASEBKGND:
        // Without a style, the dialog's own background in the system's face colour.
        if (const TStyle* style = Style_) {
            RECT client;
            GetClientRect(Handle_, &client);
            FillRect(reinterpret_cast<HDC>(WParam), &client, StyleBrush(style->WindowColor));
            return 1;
        }
        break;
    case WM_DRAWITEM:
        if (const TStyle* style = Style_) {
            DrawStyledButton(*style, *reinterpret_cast<const DRAWITEMSTRUCT*>(LParam), style->WindowColor, Scaler_);
            return TRUE;
        }
        break;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
        if (LookChanged(Handle_, Msg, WParam))
            UpdateLook();
        break;
    case WM_SETCURSOR:
        if (LOWORD(LParam) == HTCLIENT && AppCursor() == TCursor::HourGlass) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_CLOSE:
        Close();
        return 0;
    case WM_DESTROY:
        NotifyWinEvent(EVENT_SYSTEM_DIALOGEND, Handle_, OBJID_WINDOW, CHILDID_SELF);
        if (Host_.Closed)
            Host_.Closed();
        return 0;
    }
    // The dialog's own handling: Tab and the arrow keys, and the focused control kept across a
    // message box or a switch to another program.
    return std::nullopt;
}

}  // namespace Framework
