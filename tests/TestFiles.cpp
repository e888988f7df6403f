#include "TestFiles.h"

#include "framework/Handle.h"
#include "framework/SysUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

using Framework::TFindHandle;
using Framework::THandle;

namespace Testing {

TTempDir::TTempDir()
{
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    static unsigned counter = 0;
    for (;;) {
        Path_ = std::wstring(temp) + L"talvotest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter) + L"\\";
        if (CreateDirectoryW(Path_.c_str(), nullptr))
            return;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot create a temporary folder");
    }
}

TTempDir::~TTempDir()
{
    RemoveTree(Path_);
}

void WriteBytes(const std::wstring& file, const std::string& bytes)
{
    THandle handle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(handle) << "cannot create file, error " << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(handle.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
}

std::string ReadBytes(const std::wstring& file)
{
    THandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        ADD_FAILURE() << "cannot open file, error " << GetLastError();
        return {};
    }
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(handle.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

std::string SampleBytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

std::string SampleExecutable(size_t size, unsigned seed)
{
    constexpr size_t peOffset = 0x80;
    std::string bytes = SampleBytes(std::max(size, peOffset + 4), seed);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    const std::uint32_t offset = peOffset;
    bytes.replace(0x3C, 4, reinterpret_cast<const char*>(&offset), 4);
    bytes.replace(peOffset, 4, std::string("PE\0\0", 4));
    return bytes;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeDir(const std::wstring& path)
{
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << "error " << GetLastError();
}

std::vector<std::wstring> ListDir(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    TFindHandle find(FindFirstFileW((folder + L"*").c_str(), &data));
    if (!find)
        return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find.Get(), &data));
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::wstring& path)
{
    std::wstring folder = path;
    if (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(folder.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(folder.c_str());
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        for (const auto& name : ListDir(folder + L"\\"))
            RemoveTree(folder + L"\\" + name);
    RemoveDirectoryW(folder.c_str());
}

std::wstring TestBinaryDir()
{
    const std::wstring exe = Framework::ExeName();
    return exe.substr(0, exe.find_last_of(L'\\') + 1);
}

bool WaitForFile(const std::wstring& file, DWORD timeoutMs)
{
    return WaitUntil(timeoutMs, [&] { return Exists(file); });
}

}  // namespace Testing
