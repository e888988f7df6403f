/* Stands in for the main application in the demo: built once as the version a failed update
   left behind, which cannot start, and once as the previous version that the backup holds. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show)
{
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
#ifdef SAMPLE_BROKEN
    MessageBoxW(NULL, L"Talvomax 1.2.0 を起動できません。\n(アップデートに失敗しました)", L"Talvomax",
                MB_OK | MB_ICONERROR);
    return 1;
#else
    MessageBoxW(NULL, L"Talvomax 1.1.0 (直前のバージョン) が起動しました。", L"Talvomax", MB_OK | MB_ICONINFORMATION);
    return 0;
#endif
}
