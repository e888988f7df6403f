#pragma once
// TalvoRec: the recovery window. It restores the main application's executable from the backup
// its updater left beside it, and starts the application again when the window closes.

#include "framework/Form.h"

#include <windows.h>

#include <string>

namespace TalvoRec {

using Framework::TMessage;
using Framework::TObject;

inline constexpr wchar_t MainExeName[] = L"Talvomax_64.exe";
inline constexpr wchar_t BackupName[] = L"Talvomax_64.bak";
// A development machine works on the installed copy, not on the build folder.
inline constexpr wchar_t DebugAppDirX86[] = L"C:\\Program Files\\qel\\Talvo\\";
inline constexpr wchar_t DebugAppDirX64[] = L"C:\\Program Files(X86)\\qel\\Talvo\\";

inline constexpr wchar_t NoBackupText[] =
    L"アップデートの履歴が存在しないので処理できません。インストールプログラムを利用して下さい。";
inline constexpr wchar_t NotExecutableText[] =
    L"Talvomax_64.bak は実行ファイルではないため回復できません。インストールプログラムを利用して下さい。";
inline constexpr wchar_t ConfirmText[] = L"直前のバージョンに戻しますか？";
inline constexpr wchar_t DoneText[] = L"完了しました。タルボソフトを起動します。";
inline constexpr wchar_t RestoreFailedText[] = L"Talvomax_64.exe を直前のバージョンに戻せませんでした。";
inline constexpr wchar_t StartFailedText[] = L"Talvomax_64.exe を起動できませんでした。";

// Folder of the main application and its backup; ends with a backslash once set.
extern std::wstring AppDir;
// Set once a recovery has been carried out: the close query then starts the main application.
extern bool RunAfterClose;

// The folder the program works in: its own, or under a debugger the fixed installation folder
// for the machine's native architecture.
std::wstring ResolveAppDir(const std::wstring& ExePath, bool UnderDebugger, WORD NativeArchitecture);

class TTalvoRecF : public Framework::TForm {
public:
    TTalvoRecF();

    Framework::TLabel Label1;
    Framework::TStaticText StaticText1;
    Framework::TBitBtn BitBtn1;
    Framework::TBitBtn BitBtn2;

    void FormCreate(TObject* Sender);
    void BitBtn1Click(TObject* Sender);
    void BitBtn2Click(TObject* Sender);
    void FormCloseQuery(TObject* Sender, bool& CanClose);
    void WMQueryEndSession(TMessage& Message);
    void WMEndSession(TMessage& Message);
};

// The recovery window, the application's main form.
extern TTalvoRecF* TalvoRecF;

}  // namespace TalvoRec
