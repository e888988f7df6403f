#include "MessageBoxes.h"

#include "Cursor.h"
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

}  // namespace Framework
