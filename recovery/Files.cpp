#include "Files.h"

#include "framework/Handle.h"

#include <cstring>

using Framework::TFindHandle;
using Framework::THandle;

namespace TalvoRec {

namespace {

// FILE_ID_INFO and its class, which MinGW's headers declare for Windows 8 and later only.
struct TFileIdInfo {
    ULONGLONG VolumeSerialNumber;
    std::array<BYTE, 16> FileId;
};
static_assert(sizeof(TFileIdInfo) == 24);
constexpr auto FileIdInfoClass = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);

// The path the system names the open File by, the same whichever spelling opened it (long names,
// the volume's own letter or share); empty when it cannot name it.
std::wstring FinalPathOf(HANDLE File)
{
    // Over SMB the long names are asked for folder by folder and refused where one may not be
    // listed: the path as opened, with the volume's name, still tells this file from others.
    for (const DWORD flags : {FILE_NAME_NORMALIZED | VOLUME_NAME_DOS, FILE_NAME_OPENED | VOLUME_NAME_DOS})
        if (const std::wstring path = FinalPathNameOf(File, flags); !path.empty())
            return WithoutExtendedPrefix(path);
    return {};
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

std::wstring FinalPathNameOf(HANDLE File, DWORD Flags)
{
    // Grown until it fits: the name may change between two calls.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(File, path.data(), static_cast<DWORD>(path.size()), Flags);
        if (length == 0)
            return {};
        const bool fits = length < path.size();
        path.resize(length);
        if (fits)
            return path;
    }
}

std::wstring WithoutExtendedPrefix(const std::wstring& Path)
{
    if (Path.starts_with(L"\\\\?\\UNC\\"))
        return L"\\\\" + Path.substr(8);
    if (Path.starts_with(L"\\\\?\\"))
        return Path.substr(4);
    return Path;
}

std::wstring FolderOf(const std::wstring& Path)
{
    return Path.substr(0, Path.find_last_of(L'\\') + 1);
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

std::wstring ShortNameOf(const std::wstring& Path)
{
    WIN32_FIND_DATAW data;
    TFindHandle find(FindFirstFileW(ExtendedPath(Path).c_str(), &data));
    return find ? data.cAlternateFileName : L"";
}

bool TFileId::operator==(const TFileId& Other) const
{
    constexpr std::array<BYTE, 16> none{};
    if (File != none && Other.File != none)
        return Volume == Other.Volume && File == Other.File;
    return !FinalPath.empty() && !Other.FinalPath.empty() &&
           CompareStringOrdinal(FinalPath.c_str(), static_cast<int>(FinalPath.size()), Other.FinalPath.c_str(),
                                static_cast<int>(Other.FinalPath.size()), TRUE) == CSTR_EQUAL;
}

bool FileIdOf(const std::wstring& Path, TFileId& Id)
{
    // Attributes only, with every sharing: a running image or a file held by others opens too.
    THandle file(CreateFileW(ExtendedPath(Path).c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                             nullptr));
    if (!file)
        return false;
    // The 64-bit file index is not unique on ReFS; the 128-bit identifier is. Windows 7 does not
    // know the class (ERROR_INVALID_PARAMETER), and a file system without such identifiers answers
    // zero: the index is the identity there. Where that is 0 too, the volume cannot tell its files
    // apart, and only the path can.
    TFileIdInfo extended{};
    if (GetFileInformationByHandleEx(file.Get(), FileIdInfoClass, &extended, sizeof extended) &&
        extended.FileId != std::array<BYTE, 16>{}) {
        Id = {extended.VolumeSerialNumber, extended.FileId, {}};
        return true;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.Get(), &information))
        return false;
    Id = {information.dwVolumeSerialNumber, {}, {}};
    const ULONGLONG index = (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    memcpy(Id.File.data(), &index, sizeof index);
    if (index == 0)
        Id.FinalPath = FinalPathOf(file.Get());
    return true;
}

bool IsOnRemoteVolume(const std::wstring& Path)
{
    // For a share, the volume's path is the shortest one that the system reports as remote: a
    // mapped drive's letter or \\server\share\, also where a link in the path leads there.
    const std::wstring path = ExtendedPath(Path);
    std::wstring root(path.size() + 1, L'\0');
    if (!GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size())))
        return WithoutExtendedPrefix(path).starts_with(L"\\\\");
    root.resize(wcslen(root.c_str()));
    return GetDriveTypeW(WithoutExtendedPrefix(root).c_str()) == DRIVE_REMOTE;
}

}  // namespace TalvoRec
