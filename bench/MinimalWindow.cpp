// The start-up floor: the least a Win32 program does to show one window and wait for input.
// Built with the same toolchain and flags as Talvorecmax.exe, so the difference is our own work.
// Built a second time with WITH_DECLARATIONS: the same manifest (administrator rights, Common
// Controls 6), a COM apartment and the common controls, as the program must have them, so that
// what the declarations cost can be told apart from what the program's own window costs.

#include "BenchCaptions.h"

#include <windows.h>
#ifdef WITH_DECLARATIONS
#include <commctrl.h>
#include <objbase.h>
#endif

namespace {

LRESULT CALLBACK WindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam)
{
    if (Msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(Window, Msg, WParam, LParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE Instance, HINSTANCE, PWSTR, int Show)
{
#ifdef WITH_DECLARATIONS
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
#endif
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = Instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = L"MinimalWindow";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, Bench::MinimalWindowCaption, WS_OVERLAPPEDWINDOW,
                                        CW_USEDEFAULT, CW_USEDEFAULT, 480, 320, nullptr, nullptr, Instance, nullptr);
    ShowWindow(window, Show);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
