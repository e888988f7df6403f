#pragma once
// Owning wrappers for Win32 handles: each closes its handle exactly once.

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

using THandle = TOwned<HANDLE, &::CloseHandle>;      // files, processes, threads
using TFindHandle = TOwned<HANDLE, &::FindClose>;    // FindFirstFileW
using TFontHandle = TOwned<HFONT, &::DeleteObject>;
using TBrushHandle = TOwned<HBRUSH, &::DeleteObject>;

}  // namespace Framework
