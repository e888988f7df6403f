#pragma once
// The modal boxes the handlers show: the system's task dialogs with our captions and buttons, or
// for an owner drawn in a style, our own boxes drawn in it.

#include "SysUtils.h"
#include "style/Style.h"
#include "style/StyledBox.h"

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

// What answering a confirmation with Yes does. A step that ends something the user may still need
// does not take a hurried Enter, or a key held down from the box before, as consent.
enum class TConfirmKind {
    Ordinary,    // the information icon; "はい(&Y)" is the default button
    Destructive  // the warning icon; "キャンセル" is the default button
};

// Caption "情報", "はい(&Y)" and "キャンセル"; the default button has the focus when the box
// opens and answers Enter; Y, Esc and the title-bar close answer as ever. True only for Yes.
bool ShowConfirmationBox(const TBoxOwner& Owner, const std::wstring& Text, TConfirmKind Kind);

// What the two boxes hold when drawn in a style.
TBoxContent PlainBoxContent(const std::wstring& Caption, const std::wstring& Text);
TBoxContent ConfirmationBoxContent(const std::wstring& Text, TConfirmKind Kind);

// Always a task dialog: error icon and one button that Enter and Esc also press.
void ShowErrorBox(HWND Owner, const std::wstring& Caption, const std::wstring& Text, const std::wstring& Button);

}  // namespace Framework
