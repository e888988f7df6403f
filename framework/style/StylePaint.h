#pragma once
// Drawing our controls in a style: owner-drawn buttons that follow the mouse, framed text boxes,
// and solid brushes in the style's colours.

#include "Style.h"
#include "framework/Scaling.h"

#include <windows.h>

namespace Framework {

// A solid brush of that colour, kept for the life of the process.
HBRUSH StyleBrush(COLORREF Color);

// Lets an owner-drawn button know when the mouse is over it (drawn in the hot state).
void TrackHotState(HWND Button);

// Draws an owner-drawn button on Background: face, border and text of its state, the
// accelerator letter underlined, and the focus rectangle when it has the focus. Scale is the
// button's window's, worked out when it was made: painting does not ask the screen again.
void DrawStyledButton(const TStyle& Style, const DRAWITEMSTRUCT& Item, COLORREF Background, const TScaler& Scale);

// Draws the button in the style, owner-drawn, or with no style (as in high contrast) as the system
// draws it.
void SetButtonLook(HWND Button, const TStyle* Style);

// Whether a message to the top-level Window says its look may have changed: high contrast switched
// (WM_SETTINGCHANGE with SPI_SETHIGHCONTRAST) or new system colours (WM_SYSCOLORCHANGE), which are
// then passed on to its child windows: they learn of them only from their top-level window.
bool LookChanged(HWND Window, UINT Msg, WPARAM WParam);

// Draws the WS_BORDER frame of a window in the style's text-box frame colour, or with no style as
// the system draws it. The style must last as long as the window; those of the style manager last
// as long as the process.
void PaintFrameInStyle(HWND Window, const TStyle* Style);

}  // namespace Framework
