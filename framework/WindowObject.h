#pragma once
// Connects a window to the object that handles its messages: the object passed to
// CreateWindowExW is stored with the window at WM_NCCREATE and handed back for every message.

#include <windows.h>

namespace Framework {

// The object of Window, or null before WM_NCCREATE and after it has been released.
template <class T>
T* WindowObject(HWND Window, UINT Msg, LPARAM LParam)
{
    if (Msg == WM_NCCREATE) {
        auto* object = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(LParam)->lpCreateParams);
        SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        return object;
    }
    return reinterpret_cast<T*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
}

// Forgets the object of Window: no message reaches it after this.
inline void ReleaseWindowObject(HWND Window)
{
    SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
}

}  // namespace Framework
