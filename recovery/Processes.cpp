#include "Processes.h"

#include "Files.h"

#include <tlhelp32.h>

using Framework::THandle;

namespace TalvoRec {

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
