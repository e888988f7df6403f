#include "Processes.h"

#include "Files.h"

#include <tlhelp32.h>

#include <optional>
#include <string_view>

using Framework::THandle;

namespace TalvoRec {

namespace {

// The file Process runs from; false when it cannot be told.
bool ImageIdOf(HANDLE Process, TFileId& Id)
{
    std::vector<wchar_t> image(32768);
    DWORD length = static_cast<DWORD>(image.size());
    return QueryFullProcessImageNameW(Process, 0, image.data(), &length) &&
           FileIdOf(std::wstring(image.data(), length), Id);
}

// True when Name can be a short (8.3) name: one to eight characters, then optionally a dot and one
// to three more, all printable ASCII other than the blank and the characters short names may not
// hold.
bool IsValidShortName(const wchar_t* Name)
{
    const std::wstring_view name(Name);
    const size_t dot = name.find(L'.');
    const size_t base = dot == std::wstring_view::npos ? name.size() : dot;
    const size_t extension = dot == std::wstring_view::npos ? 0 : name.size() - dot - 1;
    if (base == 0 || base > 8 || (dot != std::wstring_view::npos && (extension == 0 || extension > 3)))
        return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (i != dot && (name[i] <= L' ' || name[i] >= 0x7F || wcschr(L"\"*+,./:;<=>?[\\]|", name[i])))
            return false;
    return true;
}

}  // namespace

TRunningCopies FindRunningProcesses(const std::wstring& Program)
{
    TRunningCopies found;
    THandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return found;
    // A process keeps the name it was started by: the long one, or the short one of an old shortcut
    // or of a start through the short path.
    const std::wstring longName = Program.substr(Program.find_last_of(L'\\') + 1);
    std::optional<std::wstring> shortName;
    const auto isNamed = [&](const wchar_t* Name) {
        const auto same = [Name](const std::wstring& name) {
            return CompareStringOrdinal(Name, -1, name.c_str(), -1, TRUE) == CSTR_EQUAL;
        };
        if (same(longName))
            return true;
        // Not every file system puts a tilde in the short names it makes, so any name that can be a
        // short one may be ours. The folder is asked for ours only then: under Wine that query
        // takes several times as long as the rest of a search.
        if (!IsValidShortName(Name))
            return false;
        if (!shortName)
            shortName = ShortNameOf(Program);
        return !shortName->empty() && same(*shortName);
    };
    std::optional<TFileId> programId;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        // Only a process of the program's name can be the one; the others are not even opened.
        if (entry.th32ProcessID == GetCurrentProcessId() || !isNamed(entry.szExeFile))
            continue;
        THandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                    entry.th32ProcessID));
        const DWORD openError = process ? ERROR_SUCCESS : GetLastError();
        // One we may not end is still looked at: ours, it must be reported rather than passed over.
        if (!process)
            process.Reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        // One that has ended since the list was taken holds nothing: Windows knows its id no more, or
        // tells its exit code.
        DWORD exitCode = STILL_ACTIVE;
        if (process ? GetExitCodeProcess(process.Get(), &exitCode) && exitCode != STILL_ACTIVE
                    : GetLastError() == ERROR_INVALID_PARAMETER)
            continue;
        TFileId imageId;
        if (!process || !ImageIdOf(process.Get(), imageId)) {
            found.Unidentified = true;
            continue;
        }
        // Looked up at the first process of the name, so that a search that finds none opens no file;
        // nothing runs from a program that is not there.
        if (!programId && !FileIdOf(Program, programId.emplace()))
            return found;
        if (imageId != *programId)
            continue;
        if (openError != ERROR_SUCCESS)
            found.OpenError = openError;
        else
            found.Processes.push_back(std::move(process));
    }
    return found;
}

DWORD EndProcesses(const TRunningCopies& Copies, DWORD TimeoutMs)
{
    if (Copies.OpenError != ERROR_SUCCESS)
        return Copies.OpenError;
    for (const THandle& process : Copies.Processes) {
        if (TerminateProcess(process.Get(), ERROR_PROCESS_ABORTED))
            continue;
        const DWORD error = GetLastError();
        // One that has just ended on its own refuses to be ended again; that is no failure.
        if (WaitForSingleObject(process.Get(), 0) != WAIT_OBJECT_0)
            return error;
    }
    const ULONGLONG deadline = GetTickCount64() + TimeoutMs;
    for (const THandle& process : Copies.Processes) {
        const ULONGLONG now = GetTickCount64();
        if (WaitForSingleObject(process.Get(), now < deadline ? static_cast<DWORD>(deadline - now) : 0) !=
            WAIT_OBJECT_0)
            return WAIT_TIMEOUT;
    }
    return ERROR_SUCCESS;
}

std::wstring StartPathOf(const std::wstring& Program)
{
    if (Program.size() < MAX_PATH)
        return Program;
    // Asked for its size first: a short form can be longer than the long one.
    const std::wstring extended = ExtendedPath(Program);
    const DWORD size = GetShortPathNameW(extended.c_str(), nullptr, 0);
    std::wstring shortPath(size, L'\0');
    const DWORD length = size ? GetShortPathNameW(extended.c_str(), shortPath.data(), size) : 0;
    if (length == 0 || length >= size)
        return {};
    shortPath.resize(length);
    shortPath = WithoutExtendedPrefix(shortPath);
    return shortPath.size() < MAX_PATH ? shortPath : std::wstring();
}

DWORD StartProgram(const std::wstring& Path)
{
    // The program is named on its own and quoted on the command line, so a blank in its path can
    // never make Windows start some other program from a parent folder. The current folder stays
    // ours: Windows starts no program whose current folder is too long for one.
    std::wstring commandLine = L"\"" + Path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(Path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return GetLastError();
    THandle processHandle(process.hProcess);
    THandle threadHandle(process.hThread);
    return ERROR_SUCCESS;
}

}  // namespace TalvoRec
