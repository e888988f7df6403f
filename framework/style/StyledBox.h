#pragma once
// Our own message box, drawn in a style: a text, an optional system icon and a row of buttons.
// While high contrast is on, even when switched on with the box open, it takes the system's colours
// and system-drawn buttons instead, as our windows do.
// Modal: its owner is disabled while it is up, and it runs its own message loop. To assistive
// technology it is a dialog, announced when it opens; it sounds as a message box with its icon.

#include "Style.h"
#include "framework/SysUtils.h"

#include <windows.h>

#include <string>
#include <vector>

namespace Framework {

struct TBoxButton {
    int Id;
    std::wstring Text;  // "&" marks the accelerator letter
};

struct TBoxContent {
    std::wstring Caption;
    std::wstring Text;
    LPCWSTR Icon = nullptr;  // a system icon such as IDI_INFORMATION, or none
    std::vector<TBoxButton> Buttons;
    int DefaultId = IDOK;     // focused at first; Enter on no button presses it
    int CancelId = IDCANCEL;  // the answer to Esc and to the title-bar close
};

// Shows the box centred on the work area of the owner's monitor; the id of the answer. An error
// while the box is up goes to ReportError; without one, it stops at the box's window procedure.
int ShowStyledBox(HWND Owner, const TStyle& Style, const TBoxContent& Content, const TErrorReporter& ReportError);

// A box as it would be laid out on this screen: its outer size, and its text's lines in the order
// they are drawn, with the width of each.
struct TBoxLine {
    std::wstring Text;
    int Width;
    bool EndsParagraph;
};
struct TBoxMeasure {
    SIZE Outer;
    std::vector<TBoxLine> Lines;
};
TBoxMeasure MeasureStyledBox(const TBoxContent& Content);

// Where a box of this outer size goes to be centred on the work area, halves rounded toward zero.
POINT BoxPosition(const RECT& WorkArea, SIZE Box);

}  // namespace Framework
