// Talvorecmax: puts back the previous version of Talvomax after a failed update.

#include "framework/Application.h"
#include "framework/StyleManager.h"
#include "framework/SysUtils.h"
#include "recovery/TalvoRec.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    Framework::RestrictDllSearchToSystemFolder();
    using Framework::Application;
    try {
        Application.Initialize();
        Application.MainFormOnTaskBar = true;
        Framework::StyleManager().TrySetStyle(L"Amethyst Kamri", true);
        Application.CreateForm(TalvoRec::TalvoRecF);
        Application.Run();
    } catch (...) {
        return Application.ReportFatal();
    }
    return 0;
}
