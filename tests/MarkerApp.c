/* Records that it ran: appends its command line and a line break to "<its own path>.started".
   The line is written to a side file first and moved into place, so a reader never sees half. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show)
{
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    static wchar_t marker[32768], part[32768];
    DWORD length = GetModuleFileNameW(NULL, marker, 32700);
    if (length == 0 || length >= 32700)
        return 1;
    lstrcpyW(part, marker);
    lstrcatW(marker, L".started");
    lstrcatW(part, L".part");
    CopyFileW(marker, part, FALSE);
    HANDLE file = CreateFileW(part, FILE_APPEND_DATA, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    const wchar_t* line = GetCommandLineW();
    DWORD written = 0;
    WriteFile(file, line, (DWORD)(lstrlenW(line) * sizeof(wchar_t)), &written, NULL);
    WriteFile(file, L"\n", sizeof(wchar_t), &written, NULL);
    CloseHandle(file);
    return MoveFileExW(part, marker, MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}
