#pragma once
// The window classes of our own windows, registered with the executable's module.

#include <windows.h>

namespace Framework {

// Registers ClassName with the arrow cursor; a class registered already is kept, so each window
// may ask for its class whenever it is made. Icon and Background may be null: no icon, and a
// window procedure that paints its own background.
void RegisterWindowClass(const wchar_t* ClassName, WNDPROC Procedure, HICON Icon, HBRUSH Background);

}  // namespace Framework
