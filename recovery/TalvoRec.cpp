#include "TalvoRec.h"

#include "Files.h"
#include "Image.h"
#include "Processes.h"
#include "Replace.h"
#include "Worker.h"
#include "framework/Handle.h"
#include "framework/SysUtils.h"
#include "utilities/Utilities.h"

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

// Ends the copies of Program that run, once the user agrees; false when the user does not. Runs
// on the work's thread and asks on the window's. Unidentified tells whether a process of its name
// was seen that could not be looked at.
bool EndRunningCopies(TWorker& Worker, Framework::TForm& Form, const std::wstring& Program, bool& Unidentified)
{
    const TRunningCopies running = FindRunningProcesses(Program);
    Unidentified = running.Unidentified;
    if (!running.Any())
        return true;
    if (!Worker.OnWindowThread([&Form] { return Form.Confirm(RunningText, Framework::TConfirmKind::Destructive); }))
        return false;
    if (const DWORD error = EndProcesses(running, EndRunningTimeoutMs))
        Framework::RaiseOSError(error, EndFailedText, MainExeName);
    return true;
}

// Puts the open backup in place of Exe, taking turns with other restores into the folder and
// ending running copies with the user's consent; false when the user does not consent. The folder
// is let go of on return, before anything waits for the user again.
bool RestoreInTurn(TWorker& Worker, Framework::TForm& Form, HANDLE Backup, const std::wstring& Exe)
{
    // Held from before the first look for running copies until the executable is in place.
    const TFolderLock lock(Exe, FolderLockTimeoutMs);
    if (lock.Error() == ERROR_TIMEOUT)
        throw Framework::Exception(RestoreBusyText);
    if (lock.Error())
        Framework::RaiseOSError(lock.Error(), FolderNotWritableText(FolderOf(Exe)), MainExeName);
    // Looked for again just before the move: a copy may have started while the backup was copied.
    bool unidentified = false;
    const auto endRunning = [&] { return EndRunningCopies(Worker, Form, Exe, unidentified); };
    if (!endRunning())
        return false;
    const DWORD error = ReplaceFromBackup(lock, Backup, endRunning);
    if (error == ERROR_CANCELLED)
        return false;
    // An executable in use while a process of its name that we may not look at runs: that one holds
    // it, and only the user can end it. So does a copy on another computer, in a folder on a share,
    // which no search here can list; access denied there is the share's own answer.
    if ((unidentified && (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)) ||
        (error == ERROR_SHARING_VIOLATION && IsOnRemoteVolume(FolderOf(Exe))))
        throw Framework::Exception(InUseText);
    if (error)
        Framework::RaiseOSError(error, RestoreFailedText, MainExeName);
    return true;
}

// Tells Windows, for the life of the scope, why the window would rather the session did not end
// yet; shown to a user who shuts down meanwhile. Nothing for a window that has no handle.
class TShutdownBlock {
public:
    TShutdownBlock(HWND Window, const std::wstring& Reason)
        : Window_(Window && ShutdownBlockReasonCreate(Window, Reason.c_str()) ? Window : nullptr)
    {
    }
    ~TShutdownBlock()
    {
        if (Window_)
            ShutdownBlockReasonDestroy(Window_);
    }
    TShutdownBlock(const TShutdownBlock&) = delete;
    TShutdownBlock& operator=(const TShutdownBlock&) = delete;

private:
    HWND Window_;
};

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

void TTalvoRecF::RunWork(const std::function<void(TWorker&)>& Work)
{
    TWorker worker(Work);
    const TShutdownBlock block(Handle(), RecoveringText);
    // Puts back the work it found, should anything have nested: a close must find the work under way.
    const Framework::TScopedValue underWay(Work_, &worker);
    worker.Wait();
}

void TTalvoRecF::BitBtn1Click(TObject*)
{
    // A click sent while a recovery is under way (a screen reader's, another program's) is answered
    // by the messages the recovery's waits and boxes handle: it starts nothing.
    if (Recovering_)
        return;
    const Framework::TScopedValue recovering(Recovering_, true);

    const std::wstring backupName = AppDir + BackupName;
    // Held from the check to the copy: nobody can change the backup in between.
    Framework::THandle backup;
    TImageCheck check = TImageCheck::NotAnImage;
    bool exists = false;
    {
        TWaitCursor wait(*this);
        DWORD error = ERROR_SUCCESS;
        // Even the existence test runs off the window's thread: on a share that has gone away it
        // takes the network's time-out.
        RunWork([&](TWorker&) {
            exists = !AppDir.empty() && FileExists(backupName);
            if (exists)
                error = OpenBackup(backupName, backup);
            if (exists && error == ERROR_SUCCESS)
                error = CheckExecutableImage(backup.Get(), backupName, check);
        });
        if (Ended_)
            return;
        if (error)
            Framework::RaiseOSError(error, BackupUnreadableText, BackupName);
    }
    if (!exists) {
        ShowMessage(NoBackupText);
        Close();
        return;
    }
    // Copying anything but a whole program would leave no working executable, and one this machine
    // forbids would be started with administrator rights.
    if (check != TImageCheck::Executable) {
        ShowMessage(check == TImageCheck::NotAnImage ? NotExecutableText
                    : check == TImageCheck::Blocked  ? BlockedText
                                                     : DamagedText);
        Close();
        return;
    }
    if (!Confirm(ConfirmText) || Ended_)
        return;
    {
        TWaitCursor wait(*this);
        bool restored = false;
        RunWork([&](TWorker& worker) {
            restored = RestoreInTurn(worker, *this, backup.Get(), AppDir + MainExeName);
            // Set as soon as the executable is in place: whatever closes the window from here on,
            // the end of the session included, starts what it promises.
            if (restored)
                RunAfterClose = true;
        });
        if (!restored || Ended_)
            return;
        ShowMessage(StartPath().empty() ? DoneStartYourselfText : DoneText);
    }
    Close();
}

void TTalvoRecF::BitBtn2Click(TObject*)
{
    Close();
}

void TTalvoRecF::FormCloseQuery(TObject*, bool&)
{
    Ended_ = true;
    // A close in the middle of the recovery waits for its work, bounded by the work's own waits:
    // half a restore helps nobody, and what was restored is started below. Its questions answer
    // Cancel meanwhile.
    if (Work_)
        Work_->Finish();
    // Closing is never refused; a failed start is reported and the window still closes.
    StartRestored();
}

const std::wstring& TTalvoRecF::StartPath()
{
    if (!StartPath_)
        StartPath_ = StartPathOf(AppDir + MainExeName);
    return *StartPath_;
}

void TTalvoRecF::StartRestored()
{
    // The close query and the end of the session each start it, whichever gets there first. What
    // has no path to be started by is left to the user, as the done message said.
    if (!RunAfterClose || Started_ || StartPath().empty())
        return;
    Started_ = true;
    if (const DWORD error = StartProgram(StartPath()))
        Framework::RaiseOSError(error, StartFailedText, MainExeName);
}

void TTalvoRecF::WMQueryEndSession(TMessage& Message)
{
    Message.Result = 1;
}

void TTalvoRecF::WMEndSession(TMessage&)
{
    // Windows may end the process as soon as this returns: a recovery under way is waited for
    // first, even when a close that waits for it is already under way below. That close would
    // start what was restored only after this returns, and this one does nothing, so what was
    // restored is started here.
    if (Work_)
        Work_->Finish();
    Close();
    StartRestored();
}

}  // namespace TalvoRec
