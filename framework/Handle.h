#pragma once
// Owning wrappers for Win32 handles and device contexts: each releases what it holds exactly once.
// And a variable set for the life of a scope.

#include <windows.h>

#include <type_traits>
#include <utility>

namespace Framework {

template <typename T, auto CloseFn>
class TOwned {
public:
    TOwned() = default;
    explicit TOwned(T handle) : Handle_(handle) {}
    ~TOwned() { Reset(); }

    TOwned(TOwned&& other) noexcept : Handle_(std::exchange(other.Handle_, T{})) {}
    TOwned& operator=(TOwned&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.Handle_, T{}));
        return *this;
    }
    TOwned(const TOwned&) = delete;
    TOwned& operator=(const TOwned&) = delete;

    T Get() const { return Handle_; }
    explicit operator bool() const { return IsSet(Handle_); }

    void Reset(T handle = T{})
    {
        if (IsSet(Handle_))
            CloseFn(Handle_);
        Handle_ = handle;
    }

private:
    // Win32 says "no handle" with NULL or INVALID_HANDLE_VALUE depending on the call.
    static bool IsSet(T handle)
    {
        if constexpr (std::is_same_v<T, HANDLE>)
            return handle != nullptr && handle != INVALID_HANDLE_VALUE;
        else
            return handle != T{};
    }

    T Handle_{};
};

using THandle = TOwned<HANDLE, &::CloseHandle>;    // files, processes, threads
using TFindHandle = TOwned<HANDLE, &::FindClose>;  // FindFirstFileW
using TFontHandle = TOwned<HFONT, &::DeleteObject>;
using TBrushHandle = TOwned<HBRUSH, &::DeleteObject>;
using TPenHandle = TOwned<HPEN, &::DeleteObject>;
using TLocalMemory = TOwned<HLOCAL, &::LocalFree>;  // buffers the system allocates, e.g. FormatMessageW's
using TModule = TOwned<HMODULE, &::FreeLibrary>;    // DLLs loaded when they are needed

// The device context of a window's client area (of the screen for null), or of the whole window
// with its frame; released when it goes.
class TWindowDC {
public:
    explicit TWindowDC(HWND Window, bool WholeWindow = false)
        : Window_(Window), Dc_(WholeWindow ? GetWindowDC(Window) : GetDC(Window))
    {
    }
    ~TWindowDC()
    {
        if (Dc_)
            ReleaseDC(Window_, Dc_);
    }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;

    HDC Get() const { return Dc_; }

private:
    HWND Window_;
    HDC Dc_;
};

// The device context a window paints its invalid part with at WM_PAINT; painting ends when it
// goes, which also validates that part.
class TPaintDC {
public:
    explicit TPaintDC(HWND Window) : Window_(Window), Dc_(BeginPaint(Window, &Paint_)) {}
    ~TPaintDC() { EndPaint(Window_, &Paint_); }
    TPaintDC(const TPaintDC&) = delete;
    TPaintDC& operator=(const TPaintDC&) = delete;

    HDC Get() const { return Dc_; }

private:
    HWND Window_;
    PAINTSTRUCT Paint_{};
    HDC Dc_;
};

// An object selected into a device context; the one it replaced is put back when it goes.
class TSelection {
public:
    TSelection(HDC Dc, HGDIOBJ Object) : Dc_(Dc), Previous_(SelectObject(Dc, Object)) {}
    ~TSelection()
    {
        if (Previous_ && Previous_ != HGDI_ERROR)
            SelectObject(Dc_, Previous_);
    }
    TSelection(const TSelection&) = delete;
    TSelection& operator=(const TSelection&) = delete;

private:
    HDC Dc_;
    HGDIOBJ Previous_;
};

// Sets Variable to Value for the life of the scope and puts back what it held before, however the
// scope ends: a flag left set, or a value nested code cleared, would mislead whatever comes next.
template <typename T>
class TScopedValue {
public:
    TScopedValue(T& Variable, T Value) : Variable_(Variable), Before_(std::exchange(Variable, std::move(Value))) {}
    ~TScopedValue() { Variable_ = std::move(Before_); }
    TScopedValue(const TScopedValue&) = delete;
    TScopedValue& operator=(const TScopedValue&) = delete;

private:
    T& Variable_;
    T Before_;
};

}  // namespace Framework
