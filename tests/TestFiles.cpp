#include "TestFiles.h"

#include "framework/Handle.h"

#include <gtest/gtest.h>
#include <wintrust.h>

#include <algorithm>
#include <cstring>
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

void Require(bool Ok, const std::string& What)
{
    if (!Ok)
        throw std::runtime_error(What + " failed, error " + std::to_string(GetLastError()));
}

std::wstring WinePath(const std::string& UnixPath)
{
    std::wstring path = L"Z:";
    for (char c : UnixPath)
        path.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
    return path;
}

std::string Utf8(const std::wstring& Text)
{
    std::string text(Text.size() * 3, '\0');
    text.resize(WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), text.data(),
                                    static_cast<int>(text.size()), nullptr, nullptr));
    return text;
}

void WriteBytes(const std::wstring& file, const std::string& bytes)
{
    THandle handle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    Require(static_cast<bool>(handle), "creating a test file");
    DWORD written = 0;
    Require(WriteFile(handle.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                written == bytes.size(),
            "writing a test file");
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

std::string SampleExecutable(size_t size, unsigned seed, size_t SectionSize)
{
    using namespace SampleImage;
    std::string image(HeadersSize + SectionSize, '\0');
    const auto put = [&image](size_t at, const auto& value) { memcpy(image.data() + at, &value, sizeof value); };

    IMAGE_DOS_HEADER dos{};
    dos.e_magic = IMAGE_DOS_SIGNATURE;
    dos.e_lfanew = NtHeaders;
    put(0, dos);
    IMAGE_NT_HEADERS64 nt{};
    nt.Signature = IMAGE_NT_SIGNATURE;
    nt.FileHeader.Machine = IMAGE_FILE_MACHINE_AMD64;
    nt.FileHeader.NumberOfSections = 1;
    nt.FileHeader.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER64);
    nt.FileHeader.Characteristics = IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_LARGE_ADDRESS_AWARE;
    IMAGE_OPTIONAL_HEADER64& optional = nt.OptionalHeader;
    optional.Magic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    optional.AddressOfEntryPoint = 0x1000;
    optional.BaseOfCode = 0x1000;
    optional.ImageBase = 0x140000000;
    optional.SectionAlignment = 0x1000;
    optional.FileAlignment = 0x200;
    optional.MajorOperatingSystemVersion = optional.MajorSubsystemVersion = 6;
    optional.SizeOfImage = static_cast<DWORD>(0x1000 + (SectionSize + 0xFFF) / 0x1000 * 0x1000);
    optional.SizeOfHeaders = HeadersSize;
    optional.Subsystem = IMAGE_SUBSYSTEM_WINDOWS_GUI;
    optional.SizeOfStackReserve = optional.SizeOfHeapReserve = 0x100000;
    optional.SizeOfStackCommit = optional.SizeOfHeapCommit = 0x1000;
    optional.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    put(NtHeaders, nt);
    IMAGE_SECTION_HEADER text{};
    memcpy(text.Name, ".text", 5);
    text.Misc.VirtualSize = static_cast<DWORD>(SectionSize);
    text.VirtualAddress = 0x1000;
    text.SizeOfRawData = static_cast<DWORD>(SectionSize);
    text.PointerToRawData = HeadersSize;
    text.Characteristics = IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_MEM_READ;
    put(NtHeaders + sizeof nt, text);
    // xor eax, eax; ret: should anything start it, it ends at once with exit code 0.
    image.replace(HeadersSize, 3, "\x31\xC0\xC3");

    if (size > image.size())
        image += SampleBytes(size - image.size(), seed);
    return image;
}

TSignedProgram SignedProgram()
{
    const std::wstring file = TestBinaryDir() + L"signed\\MarkerApp.exe";
    Require(Exists(file), "finding the signed test program made by the ctest fixture SignedImages");
    TSignedProgram program{ReadBytes(file)};
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS64 nt;
    IMAGE_SECTION_HEADER code;
    memcpy(&dos, program.Bytes.data(), sizeof dos);
    memcpy(&nt, program.Bytes.data() + dos.e_lfanew, sizeof nt);
    memcpy(&code,
           program.Bytes.data() + dos.e_lfanew + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
               nt.FileHeader.SizeOfOptionalHeader,
           sizeof code);
    program.Code = code.PointerToRawData + code.SizeOfRawData / 2;
    program.Certificate = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].VirtualAddress;
    program.Signature = program.Certificate + offsetof(WIN_CERTIFICATE, bCertificate);
    program.TableSize = dos.e_lfanew + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                        offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) +
                        IMAGE_DIRECTORY_ENTRY_SECURITY * sizeof(IMAGE_DATA_DIRECTORY) +
                        offsetof(IMAGE_DATA_DIRECTORY, Size);
    return program;
}

THandle HoldOpen(const std::wstring& file)
{
    THandle held(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    Require(static_cast<bool>(held), "holding a file open");
    return held;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeDir(const std::wstring& path)
{
    Require(CreateDirectoryW(path.c_str(), nullptr), "creating a test folder");
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

bool WaitForFile(const std::wstring& file, DWORD timeoutMs)
{
    return WaitUntil(timeoutMs, [&] { return Exists(file); });
}

}  // namespace Testing
