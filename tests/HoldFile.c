/* Stands in for another process that has a file open, or for the main application still
   running: "HoldFile.exe <path>" opens <path> without delete sharing, writes "<path>.held" once it
   holds it, and waits until it is ended. Without an argument it only waits. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show)
{
    (void)instance;
    (void)previous;
    (void)show;
    if (arguments[0] == L'"') {
        ++arguments;
        for (wchar_t* end = arguments; *end; ++end)
            if (*end == L'"')
                *end = L'\0';
    }
    if (arguments[0] != L'\0') {
        static wchar_t marker[32768];
        HANDLE file = CreateFileW(arguments, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        if (file == INVALID_HANDLE_VALUE)
            return 1;
        lstrcpynW(marker, arguments, 32700);
        lstrcatW(marker, L".held");
        HANDLE held = CreateFileW(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        CloseHandle(held);
    }
    Sleep(INFINITE);
    return 0;
}
