#include "MessageBoxes.h"

#include "Cursor.h"
#include "StyleManager.h"
#include "StyledBox.h"
#include "SysUtils.h"

#include <commctrl.h>

namespace Framework {

namespace {

constexpr wchar_t ConfirmationCaption[] = L"情報";
constexpr wchar_t YesButton[] = L"はい(&Y)";
constexpr wchar_t CancelButton[] = L"キャンセル";

int ShowTaskDialog(TASKDIALOGCONFIG& Config)
{
    TModalCursor normalPointer;
    int button = IDCANCEL;
    const HRESULT result = TaskDialogIndirect(&Config, &button, nullptr, nullptr);
    if (FAILED(result))
        RaiseOSError(static_cast<DWORD>(result), L"TaskDialogIndirect");
    return button;
}

}  // namespace

void ShowPlainBox(HWND Owner, const std::wstring& Caption, const std::wstring& Text)
{
    if (const TStyle* style = ActiveStyle()) {
        ShowStyledBox(Owner, *style, {Caption, Text, nullptr, {{IDOK, L"OK"}}, IDOK, IDOK});
        return;
    }
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = Owner;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
    config.dwCommonButtons = TDCBF_OK_BUTTON;
    config.pszWindowTitle = Caption.c_str();
    config.pszContent = Text.c_str();
    ShowTaskDialog(config);
}

bool ShowConfirmationBox(HWND Owner, const std::wstring& Text)
{
    if (const TStyle* style = ActiveStyle())
        return ShowStyledBox(Owner, *style,
                             {ConfirmationCaption, Text, IDI_INFORMATION, {{IDYES, YesButton}, {IDCANCEL, CancelButton}},
                              IDYES, IDCANCEL}) == IDYES;
    const TASKDIALOG_BUTTON buttons[] = {{IDYES, YesButton}, {IDCANCEL, CancelButton}};
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = Owner;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
    config.pszWindowTitle = ConfirmationCaption;
    config.pszMainIcon = TD_INFORMATION_ICON;
    config.pszContent = Text.c_str();
    config.pButtons = buttons;
    config.cButtons = ARRAYSIZE(buttons);
    config.nDefaultButton = IDYES;
    return ShowTaskDialog(config) == IDYES;
}

void ShowErrorBox(HWND Owner, const std::wstring& Caption, const std::wstring& Text, const std::wstring& Button)
{
    const TASKDIALOG_BUTTON buttons[] = {{IDCLOSE, Button.c_str()}};
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = Owner;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
    config.pszWindowTitle = Caption.c_str();
    config.pszMainIcon = TD_ERROR_ICON;
    config.pszContent = Text.c_str();
    config.pButtons = buttons;
    config.cButtons = ARRAYSIZE(buttons);
    ShowTaskDialog(config);
}

}  // namespace Framework
