#include "TalvoRec.h"

#include "FileOps.h"
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

}  // namespace

std::wstring ResolveAppDir(const std::wstring& ExePath, bool UnderDebugger, WORD NativeArchitecture)
{
    if (UnderDebugger)
        return NativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? DebugAppDirX64 : DebugAppDirX86;
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
    const std::wstring backup = AppDir + BackupName;
    if (!FileExists(backup)) {
        ShowMessage(NoBackupText);
        Close();
        return;
    }
    // Checked before anything changes: copying a damaged backup would leave no working executable.
    bool isImage = false;
    if (const DWORD error = CheckExecutableImage(backup, isImage))
        Framework::RaiseOSError(error, RestoreFailedText, BackupName);
    if (!isImage) {
        ShowMessage(NotExecutableText);
        Close();
        return;
    }
    if (!Confirm(ConfirmText))
        return;
    {
        TWaitCursor wait(*this);
        if (const DWORD error = ReplaceFromBackup(backup, AppDir + MainExeName))
            Framework::RaiseOSError(error, RestoreFailedText, MainExeName);
        ShowMessage(DoneText);
        RunAfterClose = true;
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
