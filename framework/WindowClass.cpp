#include "WindowClass.h"

#include "SysUtils.h"

namespace Framework {

void RegisterWindowClass(const wchar_t* ClassName, WNDPROC Procedure, HICON Icon, HBRUSH Background)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hIcon = Icon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = Background;
    windowClass.lpszClassName = ClassName;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        RaiseOSError(GetLastError(), L"RegisterClassExW");
}

}  // namespace Framework
