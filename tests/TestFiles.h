#pragma once
// Real files in real temporary folders, for tests that run the real Win32 calls.

#include "Processes.h"

#include <windows.h>

#include <cstddef>
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

// Test set-up that cannot go on: throws, which fails and ends the test wherever it is called from
// (an ASSERT in a helper would only leave the helper).
void Require(bool Ok, const std::string& What);

// A Windows path for a path of the build machine (Wine shows its root as drive Z:).
std::wstring WinePath(const std::string& UnixPath);

// Text as UTF-8, for a failure message that shows what a test saw.
std::string Utf8(const std::wstring& Text);

void WriteBytes(const std::wstring& file, const std::string& bytes);
std::string ReadBytes(const std::wstring& file);
// Deterministic pseudo-random content of the given size.
std::string SampleBytes(size_t size, unsigned seed);
// A whole 64-bit x64 program of at least `size` bytes: its headers, one code section of
// SectionSize bytes whose entry point returns at once, then pseudo-random data appended after it.
std::string SampleExecutable(size_t size, unsigned seed, size_t SectionSize = 0x200);
// Where SampleExecutable puts its headers, for tests that damage them.
namespace SampleImage {
inline constexpr size_t NtHeaders = 0x80;  // "PE\0\0", then the file header
inline constexpr size_t Machine = NtHeaders + 4;
inline constexpr size_t Characteristics = NtHeaders + 4 + 18;
inline constexpr size_t Magic = NtHeaders + 24;  // of the optional header
inline constexpr size_t EntryPoint = Magic + offsetof(IMAGE_OPTIONAL_HEADER64, AddressOfEntryPoint);
inline constexpr size_t FileAlignment = Magic + offsetof(IMAGE_OPTIONAL_HEADER64, FileAlignment);
inline constexpr size_t SizeOfImage = Magic + offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfImage);
inline constexpr size_t RuntimeHeader = Magic + offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) +
                                        IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR * sizeof(IMAGE_DATA_DIRECTORY);
inline constexpr size_t VirtualSize = NtHeaders + sizeof(IMAGE_NT_HEADERS64) + offsetof(IMAGE_SECTION_HEADER, Misc);
inline constexpr size_t HeadersSize = 0x200;  // where the section's data starts
}  // namespace SampleImage
// A small real program signed with a throw-away key by the ctest fixture SignedImages, and where its
// code and its signature lie. Throws when the fixture has not run.
struct TSignedProgram {
    std::string Bytes;
    size_t Code = 0;         // the middle of its first section's data
    size_t Certificate = 0;  // its certificate table's one entry
    size_t Signature = 0;    // the signature itself, past the entry's header
    size_t TableSize = 0;    // the certificate table's size in the headers
};
TSignedProgram SignedProgram();
// Opens the file as another program that reads it would: without delete sharing, so it can be
// neither replaced nor removed while held. Throws when it cannot.
Framework::THandle HoldOpen(const std::wstring& file);
bool Exists(const std::wstring& path);
void MakeDir(const std::wstring& path);
// Names in a folder, sorted, without "." and "..".
std::vector<std::wstring> ListDir(const std::wstring& folder);
void RemoveTree(const std::wstring& path);
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
