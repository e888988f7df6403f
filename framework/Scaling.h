#pragma once
// Sizes are designed at 96 pixels per inch and scaled once to the screen's density.

#include <windows.h>

namespace Framework {

// Turns sizes designed at 96 pixels per inch into the screen's, rounded to the nearest pixel.
struct TScaler {
    int Dpi = 96;
    int operator()(int Value) const { return MulDiv(Value, Dpi, 96); }
};

// Pixels per inch of the screen.
int ScreenDpi();

}  // namespace Framework
