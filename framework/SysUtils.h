#pragma once
// Errors for the user, and the few facts about the running process that the program needs.

#include <windows.h>

#include <exception>
#include <functional>
#include <string>

namespace Framework {

// An error meant for the user: Message() is the whole text the error box shows.
class Exception : public std::exception {
public:
    explicit Exception(std::wstring message) : Message_(std::move(message)) {}
    const std::wstring& Message() const noexcept { return Message_; }
    const char* what() const noexcept override { return "Framework::Exception"; }

private:
    std::wstring Message_;
};

// Shows the user the error being handled: called only from a catch block, and never throws.
using TErrorReporter = std::function<void()>;

// The system's text for a Win32 error code, without its trailing line break; "Error <code>" when
// the system has no text for it. Some texts name the file they are about as "%1": Subject is put
// there.
std::wstring SystemErrorMessage(DWORD code, const std::wstring& Subject = L"");

// Value in decimal digits. std::to_wstring would bring in MinGW's printf and its floating-point
// conversions, 23 KB of the program, for this alone.
std::wstring UIntToStr(unsigned long long Value);

// Raises Exception with `context`, a line break and the system's text for `code`.
[[noreturn]] void RaiseOSError(DWORD code, const std::wstring& context, const std::wstring& Subject = L"");

// Takes the program's own folder and the current folder out of the DLL search: running elevated
// in a folder others may write to, a DLL planted there must never be loaded.
void RestrictDllSearchToSystemFolder();

// Full path of the running executable, however long.
std::wstring ExeName();

}  // namespace Framework
