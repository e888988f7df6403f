// Measures the recovery window's explanation as this machine draws it, in a process of its own:
// Wine reads the screen density and the font link once per process, so the layout test starts
// this under each setting it wants. Writes to the file named by its one argument, in client
// pixels: the height the wrapped text needs in the box's own font and width, the box's client
// height, the box's top and bottom, and the top of the buttons.

#include "framework/Controls.h"
#include "framework/Handle.h"
#include "recovery/TalvoRec.h"

#include <cstdio>
#include <cstdlib>

using Framework::BoundsInParent;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    if (__argc != 2)
        return 2;
    TalvoRec::TTalvoRecF form;
    form.CreateHandle();
    const HWND box = form.StaticText1.Handle();
    RECT client;
    GetClientRect(box, &client);
    RECT needed{0, 0, client.right, 0};
    {
        Framework::TWindowDC dc(box);
        Framework::TSelection font(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(box, WM_GETFONT, 0, 0)));
        const std::wstring& text = form.StaticText1.Text();
        DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &needed,
                  DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL);
    }
    const RECT bounds = BoundsInParent(box);
    const RECT button = BoundsInParent(form.BitBtn1.Handle());
    FILE* output = _wfopen(__wargv[1], L"w");
    if (!output)
        return 1;
    fprintf(output, "%ld %ld %ld %ld %ld\n", needed.bottom, client.bottom, bounds.top, bounds.bottom, button.top);
    return fclose(output) == 0 ? 0 : 1;
}
