#pragma once
// Connects a window to the object that handles its messages: the object passed to
// CreateWindowExW is stored with the window at WM_NCCREATE and handed back for every message.
// ObjectWindowProc is the one window procedure built on that.

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

// The window procedure of a class of windows whose messages objects of T handle. T has
//   void Attach(HWND Window): the window is being made, with the object passed to CreateWindowExW;
//   void Detach(): the window is going; no message reaches the object after this;
//   LRESULT Dispatch(UINT Msg, WPARAM WParam, LPARAM LParam): every message in between;
//   void ReportError() noexcept: shows an error Dispatch raised.
template <class T>
LRESULT CALLBACK ObjectWindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam)
{
    T* object = WindowObject<T>(Window, Msg, LParam);
    if (!object)
        return DefWindowProcW(Window, Msg, WParam, LParam);
    if (Msg == WM_NCCREATE)
        object->Attach(Window);
    if (Msg == WM_NCDESTROY) {
        ReleaseWindowObject(Window);
        object->Detach();
        return DefWindowProcW(Window, Msg, WParam, LParam);
    }
    // Nothing may unwind into user32.
    try {
        return object->Dispatch(Msg, WParam, LParam);
    } catch (...) {
        object->ReportError();
        return 0;
    }
}

}  // namespace Framework
