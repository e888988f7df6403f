#include "Fonts.h"

namespace Framework {

COLORREF ColorToRGB(COLORREF Color)
{
    return (Color & 0xFF000000) ? GetSysColor(static_cast<int>(Color & 0xFF)) : Color;
}

TFontHandle CreateFontHandle(const TFont& Font, const TScaler& Scale)
{
    // A negative height asks for the character height, without the internal leading.
    return TFontHandle(CreateFontW(-Scale(Font.Height), 0, 0, 0, Font.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                   DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   DEFAULT_PITCH | FF_DONTCARE, Font.Name));
}

}  // namespace Framework
