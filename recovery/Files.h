#pragma once
// File names as the recovery spells them, and the existence test of the backup.

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

}  // namespace TalvoRec
