#include "TalvoRec.h"

#include "Files.h"
#include "Image.h"
#include "Processes.h"
#include "Replace.h"
#include "framework/SysUtils.h"
#include "utilities/Utilities.h"

#include <optional>

namespace TalvoRec {

std::wstring AppDir;
bool RunAfterClose = false;
TTalvoRecF* TalvoRecF = nullptr;

namespace {

// Everything up to and including the last backslash or colon.
std::wstring ExtractFilePath(const std::wstring& FileName)
{
    const auto end = FileName.find_last_of(L"\\:");
    return end == std::wstring::npos ? std::wstring() : FileName.substr(0, end + 1);
}

// Hourglass for the life of the scope, put back to the default even when an error unwinds it.
class TWaitCursor {
public:
    explicit TWaitCursor(Framework::TForm& Form) : Form_(Form) { Form_.SetScreenCursor(Framework::TCursor::HourGlass); }
    ~TWaitCursor() { Form_.SetScreenCursor(Framework::TCursor::Default); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;

private:
    Framework::TForm& Form_;
};

// "X:\..." or "\\server\share\..." (which takes in "\\?\X:\..." and "\\?\UNC\server\share\...").
bool IsAbsolute(const std::wstring& Path)
{
    const auto isLetter = [](wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); };
    if (Path.size() >= 3 && isLetter(Path[0]) && Path[1] == L':' && Path[2] == L'\\')
        return true;
    if (!Path.starts_with(L"\\\\"))
        return false;
    const size_t serverEnd = Path.find(L'\\', 2);
    if (serverEnd == std::wstring::npos || serverEnd == 2)
        return false;
    const size_t shareEnd = Path.find(L'\\', serverEnd + 1);
    return shareEnd != std::wstring::npos && shareEnd > serverEnd + 1;
}

// Ends the copies of Program that run, once the user agrees; false when the user does not.
// Unidentified tells whether a process of its name was seen that could not be looked at.
bool EndRunningCopies(Framework::TForm& Form, const std::wstring& Program, bool& Unidentified)
{
    const TRunningCopies running = FindRunningProcesses(Program);
    Unidentified = running.Unidentified;
    if (!running.Any())
        return true;
    if (!Form.Confirm(RunningText, Framework::TConfirmKind::Destructive))
        return false;
    if (const DWORD error = EndProcesses(running, EndRunningTimeoutMs))
        Framework::RaiseOSError(error, EndFailedText, MainExeName);
    return true;
}

// Puts the open backup in place of Exe, taking turns with other restores into the folder and
// ending running copies with the user's consent; false when the user does not consent. The folder
// is let go of on return, before anything waits for the user again.
bool RestoreInTurn(Framework::TForm& Form, HANDLE Backup, const std::wstring& Exe)
{
    // Held from before the first look for running copies until the executable is in place.
    const TFolderLock lock(Exe, FolderLockTimeoutMs);
    if (lock.Error() == ERROR_TIMEOUT)
        throw Framework::Exception(RestoreBusyText);
    if (lock.Error())
        Framework::RaiseOSError(lock.Error(), FolderNotWritableText(FolderOf(Exe)), MainExeName);
    // Looked for again just before the move: a copy may have started while the backup was copied.
    bool unidentified = false;
    const auto endRunning = [&] { return EndRunningCopies(Form, Exe, unidentified); };
    if (!endRunning())
        return false;
    const DWORD error = ReplaceFromBackup(lock, Backup, endRunning);
    if (error == ERROR_CANCELLED)
        return false;
    // An executable in use while a process of its name that we may not look at runs: that one holds
    // it, and only the user can end it.
    if (unidentified && (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION))
        throw Framework::Exception(InUseText);
    if (error)
        Framework::RaiseOSError(error, RestoreFailedText, MainExeName);
    return true;
}

}  // namespace

std::wstring ResolveAppDir(const std::wstring& ExePath, bool UnderDebugger, WORD NativeArchitecture)
{
    if (UnderDebugger)
        return NativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? DebugAppDirX64 : DebugAppDirX86;
    if (!IsAbsolute(ExePath))
        return {};
    return Utilities::EnsurePathDelimiters(ExtractFilePath(ExePath), 1);
}

void TTalvoRecF::FormCreate(TObject*)
{
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    AppDir = ResolveAppDir(Framework::ExeName(), IsDebuggerPresent() != FALSE, system.wProcessorArchitecture);
    RunAfterClose = false;
}

void TTalvoRecF::BitBtn1Click(TObject*)
{
    const std::wstring backupName = AppDir + BackupName;
    if (AppDir.empty() || !FileExists(backupName)) {
        ShowMessage(NoBackupText);
        Close();
        return;
    }
    // Held from the check to the copy: nobody can change the backup in between.
    Framework::THandle backup;
    TImageCheck check = TImageCheck::NotAnImage;
    {
        std::optional<TWaitCursor> wait;
        if (const DWORD error = OpenBackup(backupName, backup, [&] { wait.emplace(*this); }))
            Framework::RaiseOSError(error, BackupUnreadableText, BackupName);
        if (const DWORD error = CheckExecutableImage(backup.Get(), check))
            Framework::RaiseOSError(error, BackupUnreadableText, BackupName);
    }
    // Copying anything but a whole program would leave no working executable.
    if (check != TImageCheck::Executable) {
        ShowMessage(check == TImageCheck::NotAnImage ? NotExecutableText : DamagedText);
        Close();
        return;
    }
    if (!Confirm(ConfirmText))
        return;
    {
        TWaitCursor wait(*this);
        if (!RestoreInTurn(*this, backup.Get(), AppDir + MainExeName))
            return;
        // Set before the done message: whatever closes the window from here on starts what it promises.
        RunAfterClose = true;
        ShowMessage(DoneText);
    }
    Close();
}

void TTalvoRecF::BitBtn2Click(TObject*)
{
    Close();
}

void TTalvoRecF::FormCloseQuery(TObject*, bool&)
{
    // Closing is never refused; a failed start is reported and the window still closes.
    if (RunAfterClose)
        if (const DWORD error = StartProgram(AppDir + MainExeName))
            Framework::RaiseOSError(error, StartFailedText, MainExeName);
}

void TTalvoRecF::WMQueryEndSession(TMessage& Message)
{
    Message.Result = 1;
}

void TTalvoRecF::WMEndSession(TMessage&)
{
    Close();
}

}  // namespace TalvoRec
