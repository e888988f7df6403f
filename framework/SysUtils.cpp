#include "SysUtils.h"

#include "Handle.h"

#include <iterator>
#include <vector>

namespace Framework {

std::wstring SystemErrorMessage(DWORD code, const std::wstring& Subject)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const TLocalMemory allocated(buffer);
    if (length == 0)
        return L"Error " + UIntToStr(code);
    std::wstring text(buffer, length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    for (size_t at = text.find(L"%1"); at != std::wstring::npos; at = text.find(L"%1", at + Subject.size()))
        text.replace(at, 2, Subject);
    return text;
}

std::wstring UIntToStr(unsigned long long Value)
{
    wchar_t digits[20];  // enough for 2^64 - 1
    wchar_t* first = std::end(digits);
    do {
        *--first = static_cast<wchar_t>(L'0' + Value % 10);
        Value /= 10;
    } while (Value != 0);
    return std::wstring(first, std::end(digits));
}

void RaiseOSError(DWORD code, const std::wstring& context, const std::wstring& Subject)
{
    throw Exception(context + L"\r\n" + SystemErrorMessage(code, Subject));
}

void RestrictDllSearchToSystemFolder()
{
    // Looked up at run time: a Windows 7 without its security update lacks the call.
    using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
    const FARPROC proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (proc)
        reinterpret_cast<TSetDefaultDllDirectories>(reinterpret_cast<void*>(proc))(LOAD_LIBRARY_SEARCH_SYSTEM32);
    else
        SetDllDirectoryW(L"");  // at least the current folder goes
}

std::wstring ExeName()
{
    // GetModuleFileNameW truncates silently when the buffer is short; grow until the whole path fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            RaiseOSError(GetLastError(), L"GetModuleFileNameW");
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace Framework
