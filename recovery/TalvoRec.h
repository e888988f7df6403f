#pragma once
// TalvoRec: the recovery window. It restores the main application's executable from the backup
// its updater left beside it, and starts the application again when the window closes.

#include "TalvoRecDesign.h"
#include "framework/Form.h"

#include <windows.h>

#include <functional>
#include <optional>
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
inline constexpr wchar_t ConfirmText[] = L"直前のバージョンに戻しますか？";
inline constexpr wchar_t DoneText[] = L"完了しました。タルボソフトを起動します。";
// Done in a folder too long to start the application from.
inline constexpr wchar_t DoneStartYourselfText[] =
    L"完了しました。フォルダーのパスが長いため、タルボソフトは手動で起動して下さい。";
inline const std::wstring NotExecutableText =
    std::wstring(BackupName) + L" は実行ファイルではないため回復できません。インストールプログラムを利用して下さい。";
inline const std::wstring DamagedText = std::wstring(BackupName) +
                                        L" は壊れているため回復できません。インストールプログラムを利用して下さい。";
inline const std::wstring BlockedText =
    std::wstring(BackupName) +
    L" はこのコンピューターで実行が許可されていないため回復できません。管理者に問い合わせて下さい。";
inline const std::wstring BackupUnreadableText = std::wstring(BackupName) + L" を読めませんでした。";
inline const std::wstring RunningText = std::wstring(MainExeName) + L" が実行中です。終了して回復を続けますか？";
inline const std::wstring RestoreFailedText = std::wstring(MainExeName) + L" を直前のバージョンに戻せませんでした。";
inline const std::wstring StartFailedText = std::wstring(MainExeName) + L" を起動できませんでした。";
inline const std::wstring RestoreBusyText =
    std::wstring(MainExeName) + L" の回復を別のプログラムが実行中です。しばらくしてからもう一度実行して下さい。";
inline const std::wstring EndFailedText = std::wstring(MainExeName) + L" を終了できませんでした。";
// A process of its name that the tool may not look at (another user's) holds the executable.
inline const std::wstring InUseText = std::wstring(MainExeName) + L" は実行中のため回復できません。" + MainExeName +
                                      L" を終了してからもう一度実行して下さい。";
// The folder is named: it is the one whose permissions or volume stand in the way.
inline std::wstring FolderNotWritableText(const std::wstring& Folder)
{
    return L"フォルダー「" + Folder + L"」に書き込めないため、" + MainExeName + L" を回復できません。";
}
// What Windows shows for us when the session ends while a recovery is under way.
inline const std::wstring RecoveringText = std::wstring(MainExeName) + L" を回復しています";

// How long a running copy of the main application is given to end once it has been told to.
inline constexpr DWORD EndRunningTimeoutMs = 5000;
// How long a restore waits for another one into the same folder to finish.
inline constexpr DWORD FolderLockTimeoutMs = 30000;

// Folder of the main application and its backup; ends with a backslash once set.
extern std::wstring AppDir;
// Set once a recovery has been carried out: the close query then starts the main application.
extern bool RunAfterClose;

// The folder the program works in: its own, or under a debugger the fixed installation folder
// for the machine's native architecture. Empty when ExePath is not absolute (a drive letter or a
// server and share): names would then be looked up relative to the current folder.
std::wstring ResolveAppDir(const std::wstring& ExePath, bool UnderDebugger, WORD NativeArchitecture);

class TWorker;

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

private:
    // Runs Work off the window's thread and waits for it; a close meanwhile waits for it too. Keys
    // and clicks that come meanwhile are dropped: they were not meant for what opens next.
    void RunWork(const std::function<void(TWorker&)>& Work);
    // Starts the restored application once a recovery has put it in place, once only.
    void StartRestored();
    // The path the restored application is started by, worked out once, so that the done message
    // and the start agree; empty when it cannot be started.
    const std::wstring& StartPath();

    // The recovery's work under way, for a close to wait for; null when there is none.
    TWorker* Work_ = nullptr;
    // Set once the window is being closed (by the user, another program or the end of the
    // session): a recovery under way stops at its next step and shows nothing more.
    bool Ended_ = false;
    // From a press of the recovery button until its recovery is over.
    bool Recovering_ = false;
    bool Started_ = false;  // the restored application has been started
    std::optional<std::wstring> StartPath_;
};

// The recovery window, the application's main form.
extern TTalvoRecF* TalvoRecF;

}  // namespace TalvoRec
