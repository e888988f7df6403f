#pragma once
// Connects a dialog to the object that handles its messages. Our windows are dialogs made from a
// template in memory: screen readers know them as dialogs, and the dialog manager moves the focus
// with Tab and the arrow keys. The object passed to CreateDialogIndirectParamW is stored with the
// dialog at WM_INITDIALOG and handed every later message by ObjectDialogProc.

#include "SysUtils.h"

#include <windows.h>

#include <optional>
#include <string>

namespace Framework {

// A dialog template with no menu, the system's dialog class, no caption and no controls: the
// object sets the caption, size and place, and makes its controls itself.
struct alignas(4) TEmptyDialogTemplate {
    DLGTEMPLATE Dialog;
    WORD Menu = 0, Class = 0, Title = 0;
    TEmptyDialogTemplate(DWORD Style, DWORD ExStyle) : Dialog{Style, ExStyle, 0, 0, 0, 0, 0} {}
};

// Forgets the object of Window: no message reaches it after this.
inline void ReleaseDialogObject(HWND Window)
{
    SetWindowLongPtrW(Window, DWLP_USER, 0);
}

// The dialog procedure of dialogs whose messages objects of T handle. T has
//   void Attach(HWND Window): the dialog has been made, with the object passed to it;
//   void Detach(): the dialog is going; no message reaches the object after this;
//   std::optional<LRESULT> Dispatch(UINT Msg, WPARAM WParam, LPARAM LParam): every message in
//       between; the result of a message it handles, nothing for one the dialog manager handles;
//   void ReportError() noexcept: shows an error Dispatch raised.
template <class T>
INT_PTR CALLBACK ObjectDialogProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam)
{
    if (Msg == WM_INITDIALOG) {
        SetWindowLongPtrW(Window, DWLP_USER, LParam);
        reinterpret_cast<T*>(LParam)->Attach(Window);
        return FALSE;  // the object gives the focus itself
    }
    T* object = reinterpret_cast<T*>(GetWindowLongPtrW(Window, DWLP_USER));
    if (!object)
        return FALSE;
    if (Msg == WM_NCDESTROY) {
        ReleaseDialogObject(Window);
        object->Detach();
        return FALSE;
    }
    // Nothing may unwind into user32.
    try {
        const std::optional<LRESULT> result = object->Dispatch(Msg, WParam, LParam);
        if (!result)
            return FALSE;
        // The colour messages answer with the brush itself, the others through DWLP_MSGRESULT.
        if (Msg >= WM_CTLCOLORMSGBOX && Msg <= WM_CTLCOLORSTATIC)
            return static_cast<INT_PTR>(*result);
        SetWindowLongPtrW(Window, DWLP_MSGRESULT, *result);
        return TRUE;
    } catch (...) {
        object->ReportError();
        return TRUE;
    }
}

// Makes the dialog whose messages Object handles, owned by Owner (null for none), with its caption
// and nothing else: the caller sizes and places it and makes its controls.
template <class T>
HWND CreateObjectDialog(T& Object, HWND Owner, DWORD Style, DWORD ExStyle, const std::wstring& Caption)
{
    const TEmptyDialogTemplate dialog(Style, ExStyle);
    const HWND window = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &dialog.Dialog, Owner,
                                                   &ObjectDialogProc<T>, reinterpret_cast<LPARAM>(&Object));
    if (!window)
        RaiseOSError(GetLastError(), L"CreateDialogIndirectParamW");
    SetWindowTextW(window, Caption.c_str());
    return window;
}

}  // namespace Framework
