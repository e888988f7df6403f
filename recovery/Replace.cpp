#include "Replace.h"

#include "Files.h"
#include "Retry.h"
#include "framework/Handle.h"

#include <memory>

using Framework::TFindHandle;
using Framework::THandle;

namespace TalvoRec {

namespace {

// The size the system's own file copy uses. Measured with script/bench it keeps the restore level
// with CopyFileW at every size; 1 and 4 MiB chunks made a 1 GiB restore a quarter slower.
constexpr DWORD CopyChunk = 64 << 10;
// Our copies are named <target>.~talvorec-XXXXXXXX.tmp, and nothing else is ever removed as one.
constexpr wchar_t TempPrefix[] = L".~talvorec-";
constexpr wchar_t TempSuffix[] = L".tmp";
constexpr size_t TempDigits = 8;
// Names tried for a new copy before giving up: others are only left by killed runs.
constexpr DWORD TempNameAttempts = 100;
// ERROR_DIRECTORY_NOT_SUPPORTED, which MinGW's headers lack.
constexpr DWORD ErrorDirectoryNotSupported = 336;

bool IsAsciiHexDigit(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f');
}

bool IsOurTempName(const std::wstring& Name, const std::wstring& TargetName)
{
    const std::wstring start = TargetName + TempPrefix;
    if (Name.size() != start.size() + TempDigits + wcslen(TempSuffix) ||
        _wcsnicmp(Name.c_str(), start.c_str(), start.size()) != 0)
        return false;
    for (size_t i = start.size(); i < start.size() + TempDigits; ++i)
        if (!IsAsciiHexDigit(Name[i]))
            return false;
    return _wcsicmp(Name.c_str() + start.size() + TempDigits, TempSuffix) == 0;
}

// Removes the copies that a run killed before its move left beside Target.
void RemoveStaleTemps(const std::wstring& Target)
{
    const std::wstring folder = FolderOf(Target);
    const std::wstring targetName = Target.substr(folder.size());
    WIN32_FIND_DATAW data;
    TFindHandle find(FindFirstFileW(ExtendedPath(Target + TempPrefix + L"*" + TempSuffix).c_str(), &data));
    if (!find)
        return;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsOurTempName(data.cFileName, targetName))
            DeleteFileW(ExtendedPath(folder + data.cFileName).c_str());
    } while (FindNextFileW(find.Get(), &data));
}

// Creates a new, uniquely named file beside Target for the copy.
DWORD CreateTempBeside(const std::wstring& Target, THandle& File, std::wstring& TempName)
{
    const DWORD seed = GetCurrentProcessId() ^ GetTickCount();
    for (DWORD attempt = 0; attempt < TempNameAttempts; ++attempt) {
        wchar_t suffix[TempDigits + 1];
        wsprintfW(suffix, L"%08X", seed + attempt);
        TempName = Target + TempPrefix + suffix + TempSuffix;
        File.Reset(CreateFileW(ExtendedPath(TempName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (File)
            return ERROR_SUCCESS;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            TempName.clear();
            return error;
        }
    }
    TempName.clear();
    return ERROR_FILE_EXISTS;
}

DWORD CopyAndFlush(HANDLE Source, HANDLE Destination)
{
    const LARGE_INTEGER start{};
    if (!SetFilePointerEx(Source, start, nullptr, FILE_BEGIN))
        return GetLastError();
    std::unique_ptr<char[]> buffer(new char[CopyChunk]);
    for (;;) {
        DWORD read = 0;
        if (const DWORD error = RetryWhileLocked(
                [&] { return LastErrorUnless(ReadFile(Source, buffer.get(), CopyChunk, &read, nullptr)); }))
            return error;
        if (read == 0)
            break;
        DWORD written = 0;
        if (!WriteFile(Destination, buffer.get(), read, &written, nullptr))
            return GetLastError();
        if (written != read)
            return ERROR_WRITE_FAULT;
    }
    // Whatever compares file times must see the version it expects: the backup's, not today's.
    FILETIME created{}, written{};
    if (!GetFileTime(Source, &created, nullptr, &written) || !SetFileTime(Destination, &created, nullptr, &written))
        return GetLastError();
    // The copy must be on disk before it replaces the only working executable.
    if (!FlushFileBuffers(Destination))
        return GetLastError();
    return ERROR_SUCCESS;
}

// Deletes the temporary copy unless it has been moved into place.
class TTempFile {
public:
    explicit TTempFile(std::wstring name) : Name_(std::move(name)) {}
    ~TTempFile()
    {
        if (!Name_.empty())
            DeleteFileW(ExtendedPath(Name_).c_str());
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    void Keep() { Name_.clear(); }

private:
    std::wstring Name_;
};

DWORD CopyToTemp(HANDLE Backup, const std::wstring& Target, std::wstring& TempName)
{
    THandle destination;
    if (const DWORD error = RetryWhileLocked([&] { return CreateTempBeside(Target, destination, TempName); }))
        return error;
    return CopyAndFlush(Backup, destination.Get());
}

// One try at the lock file: ERROR_SUCCESS once File holds it, ERROR_SHARING_VIOLATION while a
// lock file is there that we cannot hold yet, or what keeps us from it for good.
DWORD TryLock(const std::wstring& Name, THandle& File)
{
    // Ours: made here, and removed by the system once closed, whoever closes it.
    File.Reset(CreateFileW(Name.c_str(), GENERIC_READ, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (File)
        return ERROR_SUCCESS;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
        // Held by another run, or left by a power cut or another program: a file nobody holds is
        // held as it is, and stays.
        File.Reset(CreateFileW(Name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (File)
            return ERROR_SUCCESS;
        error = GetLastError();
        // Let go of between the two calls: the next try makes it.
        if (error == ERROR_FILE_NOT_FOUND)
            return ERROR_SHARING_VIOLATION;
    }
    // Windows answers access denied both for a file that is being deleted and for a folder we may
    // not write. Only the first goes away by waiting, and the folder still lists it.
    if (error == ERROR_ACCESS_DENIED && FileExists(Name))
        return ERROR_SHARING_VIOLATION;
    return error;
}

}  // namespace

std::wstring FolderLockName(const std::wstring& Target)
{
    return Target + L".~talvorec.lock";
}

TFolderLock::TFolderLock(std::wstring Target, DWORD TimeoutMs) : Target_(std::move(Target))
{
    const std::wstring name = ExtendedPath(FolderLockName(Target_));
    // Only a lock file that is there is waited for; any other answer is final at once.
    RetryWhileLocked(
        [&] {
            Error_ = TryLock(name, File_);
            return Error_ == ERROR_SHARING_VIOLATION ? Error_ : ERROR_SUCCESS;
        },
        TimeoutMs);
    if (Error_ == ERROR_SHARING_VIOLATION)
        Error_ = ERROR_TIMEOUT;
}

DWORD ReplaceFromBackup(const TFolderLock& Lock, HANDLE Backup, const std::function<bool()>& BeforeMove)
{
    if (Lock.Error())
        return Lock.Error();
    const std::wstring& exe = Lock.Target();
    const std::wstring target = ExtendedPath(exe);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    // A folder, or a link to one, is somebody's data: never replaced, never removed.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ErrorDirectoryNotSupported;
    const bool isReadOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);

    RemoveStaleTemps(exe);
    std::wstring tempName;
    const DWORD copyError = CopyToTemp(Backup, exe, tempName);
    TTempFile temp(tempName);
    if (copyError != ERROR_SUCCESS)
        return copyError;
    if (BeforeMove && !BeforeMove())
        return ERROR_CANCELLED;

    if (isReadOnly && !SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
        return GetLastError();
    const std::wstring source = ExtendedPath(tempName);
    const DWORD moveError = RetryWhileLocked([&] {
        return LastErrorUnless(
            MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    });
    if (moveError != ERROR_SUCCESS) {
        if (isReadOnly)
            SetFileAttributesW(target.c_str(), attributes);
        return moveError;
    }
    temp.Keep();
    return ERROR_SUCCESS;
}

}  // namespace TalvoRec
