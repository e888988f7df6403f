#include "MessageBoxes.h"

#include "Cursor.h"
#include "SysUtils.h"
#include "style/StyledBox.h"

#include <commctrl.h>

namespace Framework {

namespace {

constexpr wchar_t ConfirmationCaption[] = L"情報";
constexpr wchar_t YesButton[] = L"はい(&Y)";
constexpr wchar_t CancelButton[] = L"キャンセル";

// A task dialog with our caption, text, optional icon and buttons; returns the id of the button
// that answered it.
int ShowTaskDialog(HWND Owner, const wchar_t* Caption, const std::wstring& Text, PCWSTR Icon,
                   TASKDIALOG_COMMON_BUTTON_FLAGS CommonButtons, const TASKDIALOG_BUTTON* Buttons, UINT ButtonCount,
                   int DefaultButton)
{
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = Owner;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;  // Esc and the title-bar close answer Cancel
    config.pszWindowTitle = Caption;
    config.pszMainIcon = Icon;
    config.pszContent = Text.c_str();
    config.dwCommonButtons = CommonButtons;
    config.pButtons = Buttons;
    config.cButtons = ButtonCount;
    config.nDefaultButton = DefaultButton;
    TModalCursor normalPointer;
    int button = IDCANCEL;
    const HRESULT result = TaskDialogIndirect(&config, &button, nullptr, nullptr);
    // An owner closed under the box (the end of the session) took the box with it: no answer.
    const bool ownerGone = Owner && !IsWindow(Owner);
    if (FAILED(result) && !ownerGone)
        RaiseOSError(static_cast<DWORD>(result), L"TaskDialogIndirect");
    return FAILED(result) ? IDCANCEL : button;
}

}  // namespace

TBoxContent PlainBoxContent(const std::wstring& Caption, const std::wstring& Text)
{
    return {Caption, Text, nullptr, {{IDOK, L"OK"}}, IDOK, IDOK};
}

TBoxContent ConfirmationBoxContent(const std::wstring& Text, TConfirmKind Kind)
{
    const bool destructive = Kind == TConfirmKind::Destructive;
    return {ConfirmationCaption,
            Text,
            destructive ? IDI_WARNING : IDI_INFORMATION,
            {{IDYES, YesButton}, {IDCANCEL, CancelButton}},
            destructive ? IDCANCEL : IDYES,
            IDCANCEL};
}

void ShowPlainBox(const TBoxOwner& Owner, const std::wstring& Caption, const std::wstring& Text)
{
    if (Owner.Style) {
        ShowStyledBox(Owner.Window, *Owner.Style, PlainBoxContent(Caption, Text), Owner.ReportError);
        return;
    }
    ShowTaskDialog(Owner.Window, Caption.c_str(), Text, nullptr, TDCBF_OK_BUTTON, nullptr, 0, IDOK);
}

bool ShowConfirmationBox(const TBoxOwner& Owner, const std::wstring& Text, TConfirmKind Kind)
{
    const TBoxContent content = ConfirmationBoxContent(Text, Kind);
    if (Owner.Style)
        return ShowStyledBox(Owner.Window, *Owner.Style, content, Owner.ReportError) == IDYES;
    const TASKDIALOG_BUTTON buttons[] = {{IDYES, YesButton}, {IDCANCEL, CancelButton}};
    const PCWSTR icon = Kind == TConfirmKind::Destructive ? TD_WARNING_ICON : TD_INFORMATION_ICON;
    return ShowTaskDialog(Owner.Window, ConfirmationCaption, Text, icon, 0, buttons, ARRAYSIZE(buttons),
                          content.DefaultId) == IDYES;
}

void ShowErrorBox(HWND Owner, const std::wstring& Caption, const std::wstring& Text, const std::wstring& Button)
{
    const TASKDIALOG_BUTTON buttons[] = {{IDCLOSE, Button.c_str()}};
    ShowTaskDialog(Owner, Caption.c_str(), Text, TD_ERROR_ICON, 0, buttons, ARRAYSIZE(buttons), IDCLOSE);
}

}  // namespace Framework
