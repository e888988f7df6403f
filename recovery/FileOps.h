#pragma once
// The file and process operations behind the recovery. Each returns ERROR_SUCCESS or the
// Win32 error code taken at the point of failure; the caller decides what the user sees.

#include <windows.h>

#include <string>

namespace TalvoRec {

// True when Name exists and is not a folder. A link counts when its target can be opened for
// reading or is only held by another process.
bool FileExists(const std::wstring& Name);

// Whether Name holds a Windows executable image: "MZ", then "PE\0\0" at the offset the header gives.
DWORD CheckExecutableImage(const std::wstring& Name, bool& IsImage);

// Puts a byte copy of Backup in place of Target in one step: copied beside Target, flushed to
// disk, then moved over it. On failure Target is left exactly as it was and no copy remains.
// Copies left behind by a run that was killed are removed first.
DWORD ReplaceFromBackup(const std::wstring& Backup, const std::wstring& Target);

// Starts Program with no arguments and does not wait for it.
DWORD StartProgram(const std::wstring& Program);

}  // namespace TalvoRec
