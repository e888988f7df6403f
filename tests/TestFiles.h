#pragma once
// Real files in real temporary folders, for tests that run the real Win32 calls.

#include <windows.h>

#include <string>
#include <vector>

namespace Testing {

// A new folder under the temp folder (optionally with a sub-path such as L"x y"), removed with
// everything in it when the object goes.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    // Ends with a backslash.
    const std::wstring& Path() const { return Path_; }

private:
    std::wstring Path_;
};

void WriteBytes(const std::wstring& file, const std::string& bytes);
std::string ReadBytes(const std::wstring& file);
// Deterministic pseudo-random content of the given size.
std::string SampleBytes(size_t size, unsigned seed);
// The same, made to look like a Windows executable image: "MZ", and "PE\0\0" where it points.
std::string SampleExecutable(size_t size, unsigned seed);
bool Exists(const std::wstring& path);
void MakeDir(const std::wstring& path);
// Names in a folder, sorted, without "." and "..".
std::vector<std::wstring> ListDir(const std::wstring& folder);
void RemoveTree(const std::wstring& path);
// Folder of the running test executable (and of the helper programs built beside it).
std::wstring TestBinaryDir();
// Checks the condition again and again until it holds; false after the timeout.
template <class Condition>
bool WaitUntil(DWORD TimeoutMs, Condition condition)
{
    const ULONGLONG deadline = GetTickCount64() + TimeoutMs;
    while (!condition()) {
        if (GetTickCount64() > deadline)
            return false;
        Sleep(20);
    }
    return true;
}

// Waits until the file exists; false after the timeout.
bool WaitForFile(const std::wstring& file, DWORD timeoutMs = 30000);

}  // namespace Testing
