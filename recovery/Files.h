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
    bool operator==(const TFileId&) const = default;
};

// The file Path leads to; false when it cannot be opened.
bool FileIdOf(const std::wstring& Path, TFileId& Id);

}  // namespace TalvoRec
