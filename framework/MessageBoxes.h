#pragma once
// The modal boxes the handlers show: the system's task dialogs with our captions and buttons, or
// for an owner drawn in a style, our own boxes drawn in it.

#include "SysUtils.h"
#include "style/Style.h"

#include <windows.h>

#include <string>

namespace Framework {

// The window a box is shown for, and what the box takes from it.
struct TBoxOwner {
    HWND Window = nullptr;
    const TStyle* Style = nullptr;  // the owner's look; null for the system's task dialogs
    TErrorReporter ReportError;     // for an error inside a box drawn in the style
};

// No icon, one OK button that Enter, Esc and the title-bar close all press.
void ShowPlainBox(const TBoxOwner& Owner, const std::wstring& Caption, const std::wstring& Text);

// Caption "情報", information icon, "はい(&Y)" (default) and "キャンセル"; Esc and the title-bar
// close answer Cancel. True only for Yes.
bool ShowConfirmationBox(const TBoxOwner& Owner, const std::wstring& Text);

// Always a task dialog: error icon and one button that Enter and Esc also press.
void ShowErrorBox(HWND Owner, const std::wstring& Caption, const std::wstring& Text, const std::wstring& Button);

}  // namespace Framework
