/* A DLL planted beside the program: if it is ever loaded, it leaves "planted-dll-loaded" in its
   own folder. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 32];
        DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
        while (length > 0 && path[length - 1] != L'\\')
            --length;
        lstrcpyW(path + length, L"planted-dll-loaded");
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    return TRUE;
}
