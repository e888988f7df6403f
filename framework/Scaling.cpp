#include "Scaling.h"

#include "Handle.h"

namespace Framework {

int ScreenDpi()
{
    const TWindowDC screen(nullptr);
    const int dpi = screen.Get() ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : 96;
}

}  // namespace Framework
