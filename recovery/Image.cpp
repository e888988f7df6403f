#include "Image.h"

#include "Files.h"
#include "Retry.h"

#include <cstddef>
#include <vector>

using Framework::THandle;

namespace TalvoRec {

namespace {

// Reads up to Size bytes at Offset; Read is short at the end of the file.
DWORD ReadAt(HANDLE File, ULONGLONG Offset, void* Buffer, DWORD Size, DWORD& Read)
{
    return RetryWhileLocked([&] {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(Offset);
        at.OffsetHigh = static_cast<DWORD>(Offset >> 32);
        Read = 0;
        const DWORD error = LastErrorUnless(ReadFile(File, Buffer, Size, &Read, &at));
        return error == ERROR_HANDLE_EOF ? ERROR_SUCCESS : error;
    });
}

}  // namespace

DWORD OpenBackup(const std::wstring& Name, THandle& File, const std::function<void()>& OnWait)
{
    const std::wstring path = ExtendedPath(Name);
    return RetryWhileLocked(
        [&] {
            File.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            return File ? ERROR_SUCCESS : GetLastError();
        },
        OnWait);
}

DWORD CheckExecutableImage(HANDLE File, TImageCheck& Result)
{
    Result = TImageCheck::NotAnImage;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(File, &size))
        return GetLastError();
    const ULONGLONG fileSize = static_cast<ULONGLONG>(size.QuadPart);

    IMAGE_DOS_HEADER dos{};
    DWORD read = 0;
    if (const DWORD error = ReadAt(File, 0, &dos, sizeof dos, read))
        return error;
    if (read < sizeof dos || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
        return ERROR_SUCCESS;
    IMAGE_NT_HEADERS64 nt{};
    if (const DWORD error = ReadAt(File, static_cast<ULONGLONG>(dos.e_lfanew), &nt, sizeof nt, read))
        return error;
    if (read < sizeof nt.Signature || nt.Signature != IMAGE_NT_SIGNATURE)
        return ERROR_SUCCESS;

    // From here on it claims to be an image: anything short of a whole x64 program is damage.
    Result = TImageCheck::Damaged;
    constexpr size_t optionalAt = offsetof(IMAGE_NT_HEADERS64, OptionalHeader);
    constexpr size_t optionalNeeded = offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory);
    const IMAGE_FILE_HEADER& header = nt.FileHeader;
    if (read < optionalAt + optionalNeeded || header.SizeOfOptionalHeader < optionalNeeded)
        return ERROR_SUCCESS;
    if (header.Machine != IMAGE_FILE_MACHINE_AMD64 || nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return ERROR_SUCCESS;
    if (!(header.Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE) || (header.Characteristics & IMAGE_FILE_DLL))
        return ERROR_SUCCESS;

    const ULONGLONG sectionsAt = static_cast<ULONGLONG>(dos.e_lfanew) + optionalAt + header.SizeOfOptionalHeader;
    const DWORD tableSize = header.NumberOfSections * static_cast<DWORD>(sizeof(IMAGE_SECTION_HEADER));
    if (sectionsAt + tableSize > fileSize || nt.OptionalHeader.SizeOfHeaders > fileSize)
        return ERROR_SUCCESS;
    std::vector<IMAGE_SECTION_HEADER> sections(header.NumberOfSections);
    if (const DWORD error = ReadAt(File, sectionsAt, sections.data(), tableSize, read))
        return error;
    if (read < tableSize)
        return ERROR_SUCCESS;
    for (const IMAGE_SECTION_HEADER& section : sections)
        if (section.SizeOfRawData > 0 &&
            static_cast<ULONGLONG>(section.PointerToRawData) + section.SizeOfRawData > fileSize)
            return ERROR_SUCCESS;
    Result = TImageCheck::Executable;
    return ERROR_SUCCESS;
}

}  // namespace TalvoRec
