#include "FileOps.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <memory>

using Framework::TFindHandle;
using Framework::THandle;

namespace TalvoRec {

namespace {

// A scanner or a closing application holds a file for a moment; that much is waited out.
constexpr DWORD RetryBudgetMs = 3000;
constexpr DWORD FirstPauseMs = 10;
constexpr DWORD LongestPauseMs = 250;

bool IsBriefLock(DWORD Error)
{
    return Error == ERROR_SHARING_VIOLATION || Error == ERROR_LOCK_VIOLATION || Error == ERROR_ACCESS_DENIED;
}

// Runs Attempt until it succeeds or fails for a reason other than a lock, for RetryBudgetMs in
// all, with pauses that grow; OnWait runs before the first pause.
template <class TAttempt>
DWORD RetryWhileLocked(TAttempt Attempt, const std::function<void()>& OnWait = {})
{
    const ULONGLONG deadline = GetTickCount64() + RetryBudgetMs;
    DWORD pause = FirstPauseMs;
    for (;;) {
        const DWORD error = Attempt();
        const ULONGLONG now = GetTickCount64();
        if (!IsBriefLock(error) || now >= deadline)
            return error;
        if (pause == FirstPauseMs && OnWait)
            OnWait();
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(pause, deadline - now)));
        pause = std::min(pause * 2, LongestPauseMs);
    }
}

DWORD LastErrorUnless(BOOL Succeeded)
{
    return Succeeded ? ERROR_SUCCESS : GetLastError();
}

// Reads up to Size bytes at Offset; Read is short at the end of the file.
DWORD ReadAt(HANDLE File, ULONGLONG Offset, void* Buffer, DWORD Size, DWORD& Read)
{
    return RetryWhileLocked([&] {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(Offset);
        at.OffsetHigh = static_cast<DWORD>(Offset >> 32);
        Read = 0;
        const DWORD error = LastErrorUnless(ReadFile(File, Buffer, Size, &Read, &at));
        return error == ERROR_HANDLE_EOF ? ERROR_SUCCESS : error;
    });
}

}  // namespace

std::wstring ExtendedPath(const std::wstring& Path)
{
    if (Path.size() < MAX_PATH || Path.starts_with(L"\\\\?\\"))
        return Path;
    if (Path.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + Path.substr(2);
    return L"\\\\?\\" + Path;
}

bool FileExists(const std::wstring& Name)
{
    const std::wstring path = ExtendedPath(Name);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return false;
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return true;
        // A link's attributes are its own; only opening it shows whether its target is there.
        THandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        return file || GetLastError() == ERROR_SHARING_VIOLATION;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME)
        return false;
    // The entry itself may refuse the query (access denied); the folder listing still knows it.
    WIN32_FIND_DATAW data;
    TFindHandle find(FindFirstFileW(path.c_str(), &data));
    return find && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD OpenBackup(const std::wstring& Name, THandle& File, const std::function<void()>& OnWait)
{
    const std::wstring path = ExtendedPath(Name);
    return RetryWhileLocked(
        [&] {
            File.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            return File ? ERROR_SUCCESS : GetLastError();
        },
        OnWait);
}

DWORD CheckExecutableImage(HANDLE File, TImageCheck& Result)
{
    Result = TImageCheck::NotAnImage;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(File, &size))
        return GetLastError();
    const ULONGLONG fileSize = static_cast<ULONGLONG>(size.QuadPart);

    IMAGE_DOS_HEADER dos{};
    DWORD read = 0;
    if (const DWORD error = ReadAt(File, 0, &dos, sizeof dos, read))
        return error;
    if (read < sizeof dos || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
        return ERROR_SUCCESS;
    IMAGE_NT_HEADERS64 nt{};
    if (const DWORD error = ReadAt(File, static_cast<ULONGLONG>(dos.e_lfanew), &nt, sizeof nt, read))
        return error;
    if (read < sizeof nt.Signature || nt.Signature != IMAGE_NT_SIGNATURE)
        return ERROR_SUCCESS;

    // From here on it claims to be an image: anything short of a whole x64 program is damage.
    Result = TImageCheck::Damaged;
    constexpr size_t optionalAt = offsetof(IMAGE_NT_HEADERS64, OptionalHeader);
    constexpr size_t optionalNeeded = offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory);
    const IMAGE_FILE_HEADER& header = nt.FileHeader;
    if (read < optionalAt + optionalNeeded || header.SizeOfOptionalHeader < optionalNeeded)
        return ERROR_SUCCESS;
    if (header.Machine != IMAGE_FILE_MACHINE_AMD64 || nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return ERROR_SUCCESS;
    if (!(header.Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE) || (header.Characteristics & IMAGE_FILE_DLL))
        return ERROR_SUCCESS;

    const ULONGLONG sectionsAt = static_cast<ULONGLONG>(dos.e_lfanew) + optionalAt + header.SizeOfOptionalHeader;
    const DWORD tableSize = header.NumberOfSections * static_cast<DWORD>(sizeof(IMAGE_SECTION_HEADER));
    if (sectionsAt + tableSize > fileSize || nt.OptionalHeader.SizeOfHeaders > fileSize)
        return ERROR_SUCCESS;
    std::vector<IMAGE_SECTION_HEADER> sections(header.NumberOfSections);
    if (const DWORD error = ReadAt(File, sectionsAt, sections.data(), tableSize, read))
        return error;
    if (read < tableSize)
        return ERROR_SUCCESS;
    for (const IMAGE_SECTION_HEADER& section : sections)
        if (section.SizeOfRawData > 0 &&
            static_cast<ULONGLONG>(section.PointerToRawData) + section.SizeOfRawData > fileSize)
            return ERROR_SUCCESS;
    Result = TImageCheck::Executable;
    return ERROR_SUCCESS;
}

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

// Everything up to and including the last backslash.
std::wstring FolderOf(const std::wstring& Path)
{
    return Path.substr(0, Path.find_last_of(L'\\') + 1);
}

bool IsAsciiHexDigit(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f');
}

bool IsOurTempName(const std::wstring& Name, const std::wstring& TargetName)
{
    const std::wstring start = TargetName + TempPrefix;
    if (Name.size() != start.size() + TempDigits + wcslen(TempSuffix) || _wcsnicmp(Name.c_str(), start.c_str(), start.size()) != 0)
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
        if (const DWORD error = RetryWhileLocked([&] { return LastErrorUnless(ReadFile(Source, buffer.get(), CopyChunk, &read, nullptr)); }))
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

// Owns a named mutex while it is held.
class TFolderLock {
public:
    explicit TFolderLock(const std::wstring& Folder)
        : Mutex_(CreateMutexW(nullptr, FALSE, RestoreLockName(Folder).c_str()))
    {
        // An abandoned lock is ours all the same: its owner was killed, and its copy is stale.
        if (Mutex_ && WaitForSingleObject(Mutex_.Get(), INFINITE) != WAIT_FAILED)
            Held_ = true;
        else
            Error_ = GetLastError();
    }
    ~TFolderLock()
    {
        if (Held_)
            ReleaseMutex(Mutex_.Get());
    }
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;
    DWORD Error() const { return Error_; }

private:
    THandle Mutex_;
    bool Held_ = false;
    DWORD Error_ = ERROR_SUCCESS;
};

}  // namespace

std::wstring RestoreLockName(const std::wstring& Folder)
{
    // Mutex names take no backslash and no more than MAX_PATH characters: the folder goes in as
    // a hash of its upper-cased path, the same for every spelling that differs only in case.
    std::wstring upper = Folder;
    if (!upper.empty())
        CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    unsigned long long hash = 14695981039346656037ull;  // FNV-1a, 64 bits
    for (const wchar_t c : upper) {
        hash ^= static_cast<unsigned short>(c);
        hash *= 1099511628211ull;
    }
    wchar_t name[64];
    wsprintfW(name, L"Global\\Talvorecmax.Restore.%08X%08X", static_cast<DWORD>(hash >> 32), static_cast<DWORD>(hash));
    return name;
}

DWORD ReplaceFromBackup(HANDLE Backup, const std::wstring& Target)
{
    const TFolderLock lock(FolderOf(Target));
    if (lock.Error())
        return lock.Error();

    const std::wstring target = ExtendedPath(Target);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    // A folder, or a link to one, is somebody's data: never replaced, never removed.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ErrorDirectoryNotSupported;
    const bool isReadOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);

    RemoveStaleTemps(Target);
    std::wstring tempName;
    const DWORD copyError = CopyToTemp(Backup, Target, tempName);
    TTempFile temp(tempName);
    if (copyError != ERROR_SUCCESS)
        return copyError;

    if (isReadOnly && !SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
        return GetLastError();
    const std::wstring source = ExtendedPath(tempName);
    const DWORD moveError = RetryWhileLocked([&] {
        return LastErrorUnless(MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    });
    if (moveError != ERROR_SUCCESS) {
        if (isReadOnly)
            SetFileAttributesW(target.c_str(), attributes);
        return moveError;
    }
    temp.Keep();
    return ERROR_SUCCESS;
}

std::vector<THandle> FindRunningProcesses(const std::wstring& Program)
{
    std::vector<THandle> found;
    const std::wstring fileName = Program.substr(Program.find_last_of(L'\\') + 1);
    THandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return found;
    std::vector<wchar_t> image(32768);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        // Only a process of the same file name can be the one; the others are not even opened.
        if (entry.th32ProcessID == GetCurrentProcessId() ||
            CompareStringOrdinal(entry.szExeFile, -1, fileName.c_str(), -1, TRUE) != CSTR_EQUAL)
            continue;
        THandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                    entry.th32ProcessID));
        if (!process)
            continue;
        DWORD length = static_cast<DWORD>(image.size());
        if (QueryFullProcessImageNameW(process.Get(), 0, image.data(), &length) &&
            CompareStringOrdinal(image.data(), static_cast<int>(length), Program.c_str(),
                                 static_cast<int>(Program.size()), TRUE) == CSTR_EQUAL)
            found.push_back(std::move(process));
    }
    return found;
}

void EndProcesses(const std::vector<THandle>& Processes, DWORD TimeoutMs)
{
    for (const THandle& process : Processes)
        TerminateProcess(process.Get(), ERROR_PROCESS_ABORTED);
    const ULONGLONG deadline = GetTickCount64() + TimeoutMs;
    for (const THandle& process : Processes) {
        const ULONGLONG now = GetTickCount64();
        WaitForSingleObject(process.Get(), now < deadline ? static_cast<DWORD>(deadline - now) : 0);
    }
}

DWORD StartProgram(const std::wstring& Program)
{
    // Too long a path cannot be started by; its short form usually can.
    std::wstring path = Program;
    if (path.size() >= MAX_PATH) {
        const std::wstring extended = ExtendedPath(Program);
        std::wstring shortPath(extended.size() + 1, L'\0');
        const DWORD length = GetShortPathNameW(extended.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
        if (length > 0 && length < shortPath.size()) {
            shortPath.resize(length);
            if (shortPath.starts_with(L"\\\\?\\UNC\\"))
                shortPath = L"\\\\" + shortPath.substr(8);
            else if (shortPath.starts_with(L"\\\\?\\"))
                shortPath = shortPath.substr(4);
            if (shortPath.size() < MAX_PATH)
                path = shortPath;
        }
    }
    // The program is named on its own and quoted on the command line, so a blank in its path can
    // never make Windows start some other program from a parent folder.
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return GetLastError();
    THandle processHandle(process.hProcess);
    THandle threadHandle(process.hThread);
    return ERROR_SUCCESS;
}

}  // namespace TalvoRec
