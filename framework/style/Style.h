#pragma once
// A visual style: the colours and metrics our windows are drawn with, read from a small text
// format (see README, "Styles"):
//
//     # comment
//     name = Amethyst Kamri
//     window.color = #F1ECF7
//     button.radius = 5
//
// One "key = value" a line; colours are #RRGGBB, metrics whole pixels at 96 pixels per inch.
// Every key must be given exactly once; anything else is an error.

#include "framework/SysUtils.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace Framework {

enum class TButtonState { Normal, Hot, Pressed, Focused, Disabled };
inline constexpr int ButtonStateCount = 5;

struct TButtonColors {
    COLORREF Face = 0, Border = 0, Text = 0;
};

struct TStyle {
    std::wstring Name;          // the name the style is registered and chosen by
    COLORREF WindowColor = 0;   // form and message-box background
    COLORREF WindowText = 0;    // ordinary text
    COLORREF TitleText = 0;     // emphasised text, e.g. a window's heading
    COLORREF TextBoxColor = 0;  // inside a framed static text
    COLORREF TextBoxFrame = 0;  // the frame around it
    COLORREF BoxStrip = 0;      // band behind a message box's buttons
    COLORREF FocusColor = 0;    // focus rectangle in a focused button
    TButtonColors Button[ButtonStateCount];
    int ButtonRadius = 0;  // rounding of button corners
    int FocusInset = 0;    // distance of the focus rectangle from the button's edge

    const TButtonColors& ButtonColors(TButtonState State) const { return Button[static_cast<int>(State)]; }
};

// A style text that cannot be read; the message says where and why.
class EStyleError : public Exception {
public:
    using Exception::Exception;
};

// Reads a style from its text (UTF-8, with or without a byte-order mark); throws EStyleError for
// anything malformed.
TStyle ParseStyle(std::string_view Text);

}  // namespace Framework
