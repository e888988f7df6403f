#include "FileOps.h"

#include "framework/Handle.h"

#include <cwctype>
#include <memory>

using Framework::TFindHandle;
using Framework::THandle;

namespace TalvoRec {

bool FileExists(const std::wstring& Name)
{
    const DWORD attributes = GetFileAttributesW(Name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return false;
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return true;
        // A link's attributes are its own; only opening it shows whether its target is there.
        THandle file(CreateFileW(Name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        return file || GetLastError() == ERROR_SHARING_VIOLATION;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME)
        return false;
    // The entry itself may refuse the query (access denied); the folder listing still knows it.
    WIN32_FIND_DATAW data;
    TFindHandle find(FindFirstFileW(Name.c_str(), &data));
    return find && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD CheckExecutableImage(const std::wstring& Name, bool& IsImage)
{
    IsImage = false;
    THandle file(CreateFileW(Name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return GetLastError();
    IMAGE_DOS_HEADER dos{};
    DWORD read = 0;
    if (!ReadFile(file.Get(), &dos, sizeof dos, &read, nullptr))
        return GetLastError();
    if (read < sizeof dos || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
        return ERROR_SUCCESS;
    LARGE_INTEGER offset{};
    offset.QuadPart = dos.e_lfanew;
    if (!SetFilePointerEx(file.Get(), offset, nullptr, FILE_BEGIN))
        return GetLastError();
    DWORD signature = 0;
    if (!ReadFile(file.Get(), &signature, sizeof signature, &read, nullptr))
        return GetLastError();
    IsImage = read == sizeof signature && signature == IMAGE_NT_SIGNATURE;
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

bool IsOurTempName(const std::wstring& Name, const std::wstring& TargetName)
{
    const std::wstring start = TargetName + TempPrefix;
    if (Name.size() != start.size() + TempDigits + wcslen(TempSuffix) || _wcsnicmp(Name.c_str(), start.c_str(), start.size()) != 0)
        return false;
    for (size_t i = start.size(); i < start.size() + TempDigits; ++i)
        if (!iswxdigit(Name[i]))
            return false;
    return _wcsicmp(Name.c_str() + start.size() + TempDigits, TempSuffix) == 0;
}

// Removes the copies that a run killed before its move left beside Target.
void RemoveStaleTemps(const std::wstring& Target)
{
    const size_t folderEnd = Target.find_last_of(L'\\') + 1;
    const std::wstring folder = Target.substr(0, folderEnd);
    const std::wstring targetName = Target.substr(folderEnd);
    WIN32_FIND_DATAW data;
    TFindHandle find(FindFirstFileW((Target + TempPrefix + L"*" + TempSuffix).c_str(), &data));
    if (!find)
        return;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsOurTempName(data.cFileName, targetName))
            DeleteFileW((folder + data.cFileName).c_str());
    } while (FindNextFileW(find.Get(), &data));
}

// Creates a new, uniquely named file beside Target for the copy.
THandle CreateTempBeside(const std::wstring& Target, std::wstring& TempName, DWORD& Error)
{
    const DWORD seed = GetCurrentProcessId() ^ GetTickCount();
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        wchar_t suffix[32];
        wsprintfW(suffix, L"%08X", seed + attempt);
        TempName = Target + TempPrefix + suffix + TempSuffix;
        THandle file(CreateFileW(TempName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file)
            return file;
        Error = GetLastError();
        if (Error != ERROR_FILE_EXISTS && Error != ERROR_ALREADY_EXISTS)
            break;
    }
    TempName.clear();
    return THandle();
}

DWORD CopyAndFlush(HANDLE Source, HANDLE Destination)
{
    std::unique_ptr<char[]> buffer(new char[CopyChunk]);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(Source, buffer.get(), CopyChunk, &read, nullptr))
            return GetLastError();
        if (read == 0)
            break;
        DWORD written = 0;
        if (!WriteFile(Destination, buffer.get(), read, &written, nullptr))
            return GetLastError();
        if (written != read)
            return ERROR_WRITE_FAULT;
    }
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
            DeleteFileW(Name_.c_str());
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    const std::wstring& Name() const { return Name_; }
    void Keep() { Name_.clear(); }

private:
    std::wstring Name_;
};

DWORD CopyToTemp(const std::wstring& Backup, const std::wstring& Target, std::wstring& TempName)
{
    // Read sharing only: a backup that someone is still writing must not be copied half-done.
    THandle source(CreateFileW(Backup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source)
        return GetLastError();
    DWORD error = ERROR_SUCCESS;
    THandle destination = CreateTempBeside(Target, TempName, error);
    if (!destination)
        return error;
    return CopyAndFlush(source.Get(), destination.Get());
}

}  // namespace

DWORD ReplaceFromBackup(const std::wstring& Backup, const std::wstring& Target)
{
    RemoveStaleTemps(Target);
    std::wstring tempName;
    const DWORD copyError = CopyToTemp(Backup, Target, tempName);
    TTempFile temp(tempName);
    if (copyError != ERROR_SUCCESS)
        return copyError;

    const DWORD attributes = GetFileAttributesW(Target.c_str());
    const bool isFolderLink = attributes != INVALID_FILE_ATTRIBUTES &&
                              (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                              (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    const bool isReadOnly = attributes != INVALID_FILE_ATTRIBUTES &&
                            !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                            (attributes & FILE_ATTRIBUTE_READONLY);
    // A link to a folder cannot be replaced by a file; removing the link leaves its target alone.
    if (isFolderLink && !RemoveDirectoryW(Target.c_str()))
        return GetLastError();
    if (isReadOnly && !SetFileAttributesW(Target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
        return GetLastError();

    if (!MoveFileExW(temp.Name().c_str(), Target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        if (isReadOnly)
            SetFileAttributesW(Target.c_str(), attributes);
        return error;
    }
    temp.Keep();
    return ERROR_SUCCESS;
}

DWORD StartProgram(const std::wstring& Program)
{
    // The program is named on its own and quoted on the command line, so a blank in its path can
    // never make Windows start some other program from a parent folder.
    std::wstring commandLine = L"\"" + Program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(Program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return GetLastError();
    THandle processHandle(process.hProcess);
    THandle threadHandle(process.hThread);
    return ERROR_SUCCESS;
}

}  // namespace TalvoRec
