#pragma once
// The fonts and text colours our windows are designed with.

#include "Handle.h"
#include "Scaling.h"

#include <windows.h>

namespace Framework {

// A system colour is its COLOR_* index with the high byte set, so it follows the user's scheme.
inline constexpr COLORREF clWindowText = 0xFF000000 | COLOR_WINDOWTEXT;
COLORREF ColorToRGB(COLORREF Color);

struct TFont {
    const wchar_t* Name = L"Tahoma";
    int Height = 11;  // character height in pixels at 96 pixels per inch
    bool Bold = false;
    COLORREF Color = clWindowText;
};

TFontHandle CreateFontHandle(const TFont& Font, const TScaler& Scale);

}  // namespace Framework
