// Talvorecmax: puts back the previous version of Talvomax after a failed update.

#include "framework/Application.h"
#include "framework/style/StyleManager.h"
#include "framework/StartupPhases.h"
#include "framework/SysUtils.h"
#include "recovery/TalvoRec.h"

#include <cstdlib>

namespace __gnu_cxx {
// The runtime's own handler for an exception nothing caught writes its demangled type to a
// console this program does not have, and brings the whole name demangler with it. Every error
// is caught in wWinMain; should one still get past, end at once.
void __verbose_terminate_handler()
{
    std::abort();
}
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    using Framework::MarkStartupPhase;
    MarkStartupPhase("C++ runtime, static initialisers");
    Framework::RestrictDllSearchToSystemFolder();
    MarkStartupPhase("DLL search restricted");
    using Framework::Application;
    try {
        Application.Initialize();
        MarkStartupPhase("COM apartment");
        Application.MainFormOnTaskBar = true;
        Framework::StyleManager().TrySetStyle(L"Amethyst Kamri", true);
        MarkStartupPhase("style read and chosen");
        Application.CreateForm(TalvoRec::TalvoRecF);
        Application.Run();
    } catch (...) {
        return Application.ReportFatal();
    }
    return 0;
}
