#pragma once
// File names as the recovery spells them, the existence test of the backup, and which file a name
// reaches.

#include <windows.h>

#include <array>
#include <string>

namespace TalvoRec {

// Path as the file calls take it: paths too long for the plain form get the "\\?\" prefix, which
// lifts the 260-character limit.
std::wstring ExtendedPath(const std::wstring& Path);

// The path the system names the open File by, as GetFinalPathNameByHandleW gives it with Flags
// ("\\?\" and all); empty when the system cannot name it.
std::wstring FinalPathNameOf(HANDLE File, DWORD Flags);

// Path as the system's answers name it, without the "\\?\" they may come with: "\\?\UNC\server\..."
// as "\\server\...".
std::wstring WithoutExtendedPrefix(const std::wstring& Path);

// Everything up to and including the last backslash.
std::wstring FolderOf(const std::wstring& Path);

// True when Name exists and is not a folder. A link counts when its target can be opened for
// reading or is only held by another process.
bool FileExists(const std::wstring& Name);

// The short (8.3) name the file Path names has beside its long one; empty when it has none (its
// name is short already, it is not there, or the volume keeps no short names).
std::wstring ShortNameOf(const std::wstring& Path);

// A file as the file system knows it, whichever path leads to it: 8.3 names, other drive letters
// for the same folder and links all reach the same one. The volume's serial number and the file's
// 128-bit identifier, or on Windows 7 its 64-bit file index in the identifier's low half.
struct TFileId {
    ULONGLONG Volume = 0;
    std::array<BYTE, 16> File{};
    // Some SMB servers answer every file's identifier with 0: there two files are the same only
    // when their final paths are, compared without case. Empty for other files, and where the
    // system cannot name the file; such a file is the same as no other.
    std::wstring FinalPath;
    bool operator==(const TFileId& Other) const;
};

// The file Path leads to; false when it cannot be opened.
bool FileIdOf(const std::wstring& Path, TFileId& Id);

// True when Path lies on a network share, through a mapped drive letter or a \\server\share path.
bool IsOnRemoteVolume(const std::wstring& Path);

}  // namespace TalvoRec
