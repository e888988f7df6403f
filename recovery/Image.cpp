#include "Image.h"

#include "Files.h"
#include "Retry.h"

#include <wintrust.h>
#include <softpub.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <vector>

using Framework::THandle;
using Framework::TModule;

namespace TalvoRec {

namespace {

constexpr DWORD PageSize = 0x1000;
constexpr DWORD SmallestFileAlignment = 0x200;
constexpr DWORD LargestFileAlignment = 0x10000;
// TRUST_E_MALFORMED_SIGNATURE, ERROR_INVALID_IMAGE_HASH, the application control answers and a
// flag of the .NET runtime header, which MinGW's headers lack.
constexpr LONG MalformedSignature = static_cast<LONG>(0x80096011);
constexpr DWORD InvalidImageHash = 577;
constexpr DWORD PolicyViolation = 4551;         // ERROR_SYSTEM_INTEGRITY_POLICY_VIOLATION
constexpr DWORD ReputationMalicious = 4556;     // ..._REPUTATION_MALICIOUS
constexpr DWORD ReputationUnwanted = 4557;      // ..._REPUTATION_PUA
constexpr DWORD ReputationDangerousExt = 4558;  // ..._REPUTATION_DANGEROUS_EXT
constexpr DWORD ReputationOffline = 4559;       // ..._REPUTATION_OFFLINE
constexpr DWORD ReputationUnfriendly = 4580;    // ..._REPUTATION_UNFRIENDLY_FILE
constexpr DWORD ReputationUnattainable = 4581;  // ..._REPUTATION_UNATTAINABLE
constexpr DWORD ReputationDenied = 4582;        // ..._REPUTATION_EXPLICIT_DENY_FILE
constexpr DWORD WhqlNotSatisfied = 4583;        // ..._WHQL_NOT_SATISFIED
constexpr DWORD Prefers32Bit = 0x20000;         // COMIMAGE_FLAGS_32BITPREFERRED
// The object identifier of PKCS #7 signed data, 1.2.840.113549.1.7.2, as DER encodes it.
constexpr BYTE SignedDataOid[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};

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

bool IsPowerOfTwo(DWORD Value)
{
    return Value != 0 && (Value & (Value - 1)) == 0;
}

ULONGLONG AlignUp(ULONGLONG Value, DWORD Alignment)
{
    return (Value + Alignment - 1) / Alignment * Alignment;
}

// What the checks take from the optional header, whose layout differs between PE32 and PE32+.
struct TImageHeader {
    DWORD EntryPoint, SectionAlignment, FileAlignment, SizeOfImage, SizeOfHeaders;
    WORD DllCharacteristics;
    // Each empty where the optional header does not reach it.
    std::array<IMAGE_DATA_DIRECTORY, IMAGE_NUMBEROF_DIRECTORY_ENTRIES> Directories{};
};

// The fields of an optional header of which Size bytes are declared and read.
template <class TOptional>
TImageHeader FieldsOf(const TOptional& Optional, size_t Size)
{
    TImageHeader image{Optional.AddressOfEntryPoint, Optional.SectionAlignment, Optional.FileAlignment,
                       Optional.SizeOfImage,         Optional.SizeOfHeaders,    Optional.DllCharacteristics};
    for (DWORD i = 0; i < image.Directories.size(); ++i)
        if (Optional.NumberOfRvaAndSizes > i &&
            Size >= offsetof(TOptional, DataDirectory) + (i + 1) * sizeof(IMAGE_DATA_DIRECTORY))
            image.Directories[i] = Optional.DataDirectory[i];
    return image;
}

// What the Windows loader holds an image's layout to. Wine maps images that break these rules, so
// a backup that runs there could still be refused on the user's machine. A .NET program, whose
// runtime header lies inside the image, is started through it, whatever its entry point.
bool FollowsLoaderRules(const TImageHeader& Optional, const std::vector<IMAGE_SECTION_HEADER>& Sections)
{
    const IMAGE_DATA_DIRECTORY& runtime = Optional.Directories[IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR];
    const DWORD fileAlignment = Optional.FileAlignment;
    const DWORD sectionAlignment = Optional.SectionAlignment;
    // An image aligned below the page size keeps the file's layout in memory: both alignments agree.
    const bool alignmentFits = sectionAlignment < PageSize
                                   ? fileAlignment == sectionAlignment
                                   : fileAlignment >= SmallestFileAlignment && fileAlignment <= LargestFileAlignment;
    if (!IsPowerOfTwo(fileAlignment) || !alignmentFits || sectionAlignment < fileAlignment || Sections.empty())
        return false;
    const ULONGLONG imageSize = AlignUp(Optional.SizeOfImage, sectionAlignment);
    for (const IMAGE_SECTION_HEADER& section : Sections) {
        // Mapped as long as its virtual size: raw data past that stays in the file.
        const DWORD size = section.Misc.VirtualSize != 0 ? section.Misc.VirtualSize : section.SizeOfRawData;
        if (section.VirtualAddress + AlignUp(size, sectionAlignment) > imageSize)
            return false;
    }
    const bool hasRuntime = runtime.VirtualAddress != 0 && runtime.Size != 0 &&
                            static_cast<ULONGLONG>(runtime.VirtualAddress) + runtime.Size <= Optional.SizeOfImage;
    return Optional.EntryPoint < Optional.SizeOfImage && (Optional.EntryPoint != 0 || hasRuntime);
}

// Whether a PE32 image is a .NET program for any CPU, which Windows runs as a 64-bit process: its
// runtime header inside the image and in the file, IL only, neither requiring nor preferring 32 bits.
DWORD IsAnyCpuProgram(HANDLE File, const TImageHeader& Optional, const std::vector<IMAGE_SECTION_HEADER>& Sections,
                      bool& AnyCpu)
{
    AnyCpu = false;
    const IMAGE_DATA_DIRECTORY runtime = Optional.Directories[IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR];
    constexpr DWORD flagsEnd = offsetof(IMAGE_COR20_HEADER, Flags) + sizeof(DWORD);
    if (runtime.Size < flagsEnd || static_cast<ULONGLONG>(runtime.VirtualAddress) + runtime.Size > Optional.SizeOfImage)
        return ERROR_SUCCESS;
    // Its place in the file: in the raw data of the section that holds it when mapped.
    for (const IMAGE_SECTION_HEADER& section : Sections) {
        const ULONGLONG offset = static_cast<ULONGLONG>(runtime.VirtualAddress) - section.VirtualAddress;
        if (runtime.VirtualAddress < section.VirtualAddress || offset + flagsEnd > section.SizeOfRawData)
            continue;
        IMAGE_COR20_HEADER header{};
        DWORD read = 0;
        if (const DWORD error = ReadAt(File, section.PointerToRawData + offset, &header, flagsEnd, read))
            return error;
        AnyCpu = read == flagsEnd && (header.Flags & COMIMAGE_FLAGS_ILONLY) &&
                 !(header.Flags & (COMIMAGE_FLAGS_32BITREQUIRED | Prefers32Bit));
        return ERROR_SUCCESS;
    }
    return ERROR_SUCCESS;
}

// How the certificate table reads without the verifier.
enum class TCertificateTable {
    Broken,      // an entry runs past the table, or holds another kind than the signature a program
                 // carries: Wine's verifier crashes on other kinds
    Entries,     // every entry in place and of that kind, but not each a signature
    Signatures,  // every entry a PKCS #7 signed-data message that ends inside it
};

// Whether Message, the first Read bytes of an entry's Room bytes, opens a DER sequence that ends
// inside the entry with the object identifier of signed data: a signature, as far as its start
// tells. Bytes after its end are the padding an entry may carry.
bool OpensSignedData(const BYTE* Message, DWORD Read, DWORD Room)
{
    if (Read < 2 || Message[0] != 0x30)
        return false;
    DWORD header = 2;
    ULONGLONG length = Message[1];
    if (length & 0x80) {
        // The long form, in at most four bytes; 0x80 alone, the indefinite length, is not DER.
        const DWORD count = Message[1] & 0x7F;
        if (count == 0 || count > 4 || Read < header + count)
            return false;
        length = 0;
        for (DWORD i = 0; i < count; ++i)
            length = (length << 8) | Message[header + i];
        header += count;
    }
    return header + length <= Room && Read >= header + sizeof SignedDataOid &&
           memcmp(Message + header, SignedDataOid, sizeof SignedDataOid) == 0;
}

// Reads the certificate table, Size bytes at Offset (a file offset), entry by entry.
DWORD ReadCertificateTable(HANDLE File, ULONGLONG Offset, DWORD Size, TCertificateTable& Table)
{
    Table = TCertificateTable::Broken;
    constexpr DWORD headerSize = offsetof(WIN_CERTIFICATE, bCertificate);
    bool signatures = true;
    for (ULONGLONG at = 0; at < Size;) {
        // The entry's header, and of its message the length and the object identifier.
        BYTE bytes[headerSize + 6 + sizeof SignedDataOid];
        DWORD read = 0;
        if (const DWORD error = ReadAt(File, Offset + at, bytes, sizeof bytes, read))
            return error;
        WIN_CERTIFICATE entry{};
        memcpy(&entry, bytes, std::min(read, headerSize));
        if (read < headerSize || entry.dwLength <= headerSize || at + entry.dwLength > Size ||
            entry.wCertificateType != WIN_CERT_TYPE_PKCS_SIGNED_DATA)
            return ERROR_SUCCESS;
        const DWORD room = entry.dwLength - headerSize;
        signatures = signatures && OpensSignedData(bytes + headerSize, std::min(read - headerSize, room), room);
        at = AlignUp(at + entry.dwLength, 8);
    }
    Table = signatures ? TCertificateTable::Signatures : TCertificateTable::Entries;
    return ERROR_SUCCESS;
}

// Answers of the verifier that say the file itself is wrong: its content does not match the
// signature, or the signature block cannot be read.
bool IsDamageOfTheFile(LONG Status)
{
    switch (static_cast<DWORD>(Status)) {
    case static_cast<DWORD>(TRUST_E_BAD_DIGEST):
    case static_cast<DWORD>(MalformedSignature):
    case static_cast<DWORD>(CRYPT_E_BAD_LEN):
    case static_cast<DWORD>(CRYPT_E_BAD_ENCODE):
    case static_cast<DWORD>(CRYPT_E_BAD_MSG):
    case static_cast<DWORD>(CRYPT_E_UNEXPECTED_MSG_TYPE):
    case static_cast<DWORD>(CRYPT_E_INVALID_MSG_TYPE):
    case static_cast<DWORD>(CRYPT_E_UNEXPECTED_ENCODING):
    case static_cast<DWORD>(CRYPT_E_HASH_VALUE):
    case static_cast<DWORD>(NTE_BAD_SIGNATURE):
        return true;
    default:
        // CRYPT_E_ASN1_ERROR (0x80093100) to CRYPT_E_ASN1_EXTENDED and beyond: undecodable ASN.1.
        return (static_cast<DWORD>(Status) & 0xFFFFFF00) == static_cast<DWORD>(CRYPT_E_ASN1_ERROR);
    }
}

// Answers that say the system could not check the file (reading it, memory, a verifier missing):
// reported as errors, since they tell neither way.
bool IsFailureOfTheSystem(LONG Status)
{
    return HRESULT_FACILITY(Status) == FACILITY_WIN32 || Status == CRYPT_E_FILE_ERROR ||
           Status == TRUST_E_SYSTEM_ERROR || Status == TRUST_E_PROVIDER_UNKNOWN || Status == TRUST_E_ACTION_UNKNOWN ||
           Status == TRUST_E_SUBJECT_FORM_UNKNOWN;
}

// The verifier lives in wintrust.dll, loaded from the system folder for signed backups only: most
// restores never need it, and the program starts without it.
DWORD LoadWintrust(TModule& Module)
{
    Module.Reset(LoadLibraryExW(L"wintrust.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (Module)
        return ERROR_SUCCESS;
    // Windows 7 without KB2533623 knows no LOAD_LIBRARY_SEARCH_SYSTEM32; a full path is as safe.
    if (GetLastError() != ERROR_INVALID_PARAMETER)
        return GetLastError();
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return length == 0 ? GetLastError() : ERROR_BUFFER_OVERFLOW;
    Module.Reset(LoadLibraryExW((std::wstring(system) + L"\\wintrust.dll").c_str(), nullptr, 0));
    return Module ? ERROR_SUCCESS : GetLastError();
}

// What the verifier's answer says about the file.
enum class TSignature {
    Matches,  // the content matches the signature; whether the signer is trusted is not asked
    Damaged,  // the content or the signature block is wrong
    Absent,   // the verifier finds no signature in the file
    Blocked,  // the signer's certificate is in this machine's Disallowed store, or revoked
};

// The name the verifier labels the file with: its final path, or the path it was opened by where
// the system cannot name the handle (RAM disks, file-system drivers, drive letters made with
// DefineDosDevice). The verifier reads through the handle.
std::wstring LabelOf(HANDLE File, const std::wstring& Name)
{
    const std::wstring label = FinalPathNameOf(File, 0);
    return label.empty() ? ExtendedPath(Name) : label;
}

// Verifies the signature the file carries on the held handle, offline and without any window.
// The verifier compares the content with the signature's digest while it loads the signature,
// before it looks at the certificates, so an answer about them (unknown root, expired, chain
// incomplete or not checkable offline, a signer certificate it cannot use) comes from a file that
// matched: the owner's trust, not damage. Only what the machine forbids outright blocks it.
DWORD VerifySignature(HANDLE File, const std::wstring& Name, TSignature& Verdict)
{
    Verdict = TSignature::Damaged;
    TModule wintrust;
    if (const DWORD error = LoadWintrust(wintrust))
        return error;
    const FARPROC found = GetProcAddress(wintrust.Get(), "WinVerifyTrust");
    const auto verify = reinterpret_cast<decltype(&WinVerifyTrust)>(reinterpret_cast<void*>(found));
    if (!verify)
        return GetLastError();
    const std::wstring name = LabelOf(File, Name);

    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = name.c_str();
    file.hFile = File;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND noUser = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const LONG status = verify(noUser, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    verify(noUser, &action, &data);

    if (IsFailureOfTheSystem(status))
        return HRESULT_FACILITY(status) == FACILITY_WIN32 ? HRESULT_CODE(status) : static_cast<DWORD>(status);
    switch (static_cast<DWORD>(status)) {
    case static_cast<DWORD>(TRUST_E_NOSIGNATURE):
        Verdict = TSignature::Absent;
        break;
    case static_cast<DWORD>(TRUST_E_EXPLICIT_DISTRUST):
    case static_cast<DWORD>(CERT_E_REVOKED):
        Verdict = TSignature::Blocked;
        break;
    default:
        Verdict = IsDamageOfTheFile(status) ? TSignature::Damaged : TSignature::Matches;
    }
    return ERROR_SUCCESS;
}

// The system's own word: whether it maps the file as an image. A refusal for the image's format
// is damage; one by the code integrity or application control policy, for this file, blocks it;
// one for memory or access, or for a policy the machine cannot load (ERROR_SYSTEM_INTEGRITY_
// ROLLBACK_DETECTED, _INVALID_POLICY, _POLICY_NOT_SIGNED, _TOO_MANY_POLICIES,
// _SUPPLEMENTAL_POLICY_NOT_AUTHORIZED: no verdict on the file), is reported as the error it is.
DWORD MapAsImage(HANDLE File, TImageCheck& Result)
{
    THandle section(CreateFileMappingW(File, nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr));
    Result = TImageCheck::Executable;
    if (section)
        return ERROR_SUCCESS;
    switch (const DWORD error = GetLastError()) {
    case ERROR_BAD_EXE_FORMAT:  // STATUS_INVALID_IMAGE_FORMAT, _NOT_MZ, _PROTECT, _WIN_16 and others
    case ERROR_INVALID_EXE_SIGNATURE:
    case ERROR_EXE_MARKED_INVALID:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
        Result = TImageCheck::Damaged;
        return ERROR_SUCCESS;
    case InvalidImageHash:  // the signature this image demands, or the code integrity policy
    case PolicyViolation:   // each of these: "An Application Control policy has blocked this file."
    case ReputationMalicious:
    case ReputationUnwanted:
    case ReputationDangerousExt:
    case ReputationOffline:
    case ReputationUnfriendly:
    case ReputationUnattainable:
    case ReputationDenied:
    case WhqlNotSatisfied:
        Result = TImageCheck::Blocked;
        return ERROR_SUCCESS;
    default:
        return error;
    }
}

}  // namespace

DWORD OpenBackup(const std::wstring& Name, THandle& File)
{
    const std::wstring path = ExtendedPath(Name);
    return RetryWhileLocked([&] {
        File.Reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        return File ? ERROR_SUCCESS : GetLastError();
    });
}

DWORD CheckExecutableImage(HANDLE File, const std::wstring& Name, TImageCheck& Result)
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
    if (read < sizeof dos.e_magic || dos.e_magic != IMAGE_DOS_SIGNATURE)
        return ERROR_SUCCESS;
    // "MZ" whose PE header would lie past the end: a program cut short.
    if (read < sizeof dos || (dos.e_lfanew > 0 && static_cast<ULONGLONG>(dos.e_lfanew) + sizeof(DWORD) > fileSize)) {
        Result = TImageCheck::Damaged;
        return ERROR_SUCCESS;
    }
    if (dos.e_lfanew <= 0)
        return ERROR_SUCCESS;
    IMAGE_NT_HEADERS64 nt{};
    if (const DWORD error = ReadAt(File, static_cast<ULONGLONG>(dos.e_lfanew), &nt, sizeof nt, read))
        return error;
    if (read < sizeof nt.Signature || nt.Signature != IMAGE_NT_SIGNATURE)
        return ERROR_SUCCESS;
    const DWORD headersRead = read;

    // From here on it claims to be an image: anything short of a whole x64 program is damage.
    Result = TImageCheck::Damaged;
    constexpr size_t optionalAt = offsetof(IMAGE_NT_HEADERS64, OptionalHeader);
    const IMAGE_FILE_HEADER& header = nt.FileHeader;
    const size_t optionalSize = std::min<size_t>(header.SizeOfOptionalHeader,
                                                 headersRead - std::min<size_t>(headersRead, optionalAt));
    IMAGE_NT_HEADERS32 nt32{};
    memcpy(&nt32, &nt, sizeof nt32);
    // PE32+ for x64, or PE32 for i386 (which only a .NET program for any CPU may be, below).
    const bool pe32 = header.Machine == IMAGE_FILE_MACHINE_I386 &&
                      nt.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    const size_t optionalNeeded = pe32 ? offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory)
                                       : offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory);
    if (optionalSize < optionalNeeded)
        return ERROR_SUCCESS;
    if (!pe32 &&
        (header.Machine != IMAGE_FILE_MACHINE_AMD64 || nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC))
        return ERROR_SUCCESS;
    if (!(header.Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE) || (header.Characteristics & IMAGE_FILE_DLL))
        return ERROR_SUCCESS;
    const TImageHeader optional = pe32 ? FieldsOf(nt32.OptionalHeader, optionalSize)
                                       : FieldsOf(nt.OptionalHeader, optionalSize);

    const ULONGLONG sectionsAt = static_cast<ULONGLONG>(dos.e_lfanew) + optionalAt + header.SizeOfOptionalHeader;
    const DWORD tableSize = header.NumberOfSections * static_cast<DWORD>(sizeof(IMAGE_SECTION_HEADER));
    if (sectionsAt + tableSize > fileSize || optional.SizeOfHeaders > fileSize)
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
    if (!FollowsLoaderRules(optional, sections))
        return ERROR_SUCCESS;
    if (pe32) {
        bool anyCpu = false;
        if (const DWORD error = IsAnyCpuProgram(File, optional, sections, anyCpu))
            return error;
        if (!anyCpu)
            return ERROR_SUCCESS;
    }

    TImageCheck mapped = TImageCheck::Damaged;
    if (const DWORD error = MapAsImage(File, mapped))
        return error;
    if (mapped == TImageCheck::Damaged)
        return ERROR_SUCCESS;

    // The certificate table is addressed by file offset and is not mapped with the image. A
    // signature that is missing or damaged is the file's fault on every machine; where the image
    // demands one (IMAGE_DLLCHARACTERISTICS_FORCE_INTEGRITY), that is also why the system refused it.
    const bool demandsSignature = optional.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_FORCE_INTEGRITY;
    const IMAGE_DATA_DIRECTORY certificates = optional.Directories[IMAGE_DIRECTORY_ENTRY_SECURITY];
    if (certificates.Size == 0) {
        Result = mapped == TImageCheck::Blocked && demandsSignature ? TImageCheck::Damaged : mapped;
        return ERROR_SUCCESS;
    }
    if (static_cast<ULONGLONG>(certificates.VirtualAddress) + certificates.Size > fileSize)
        return ERROR_SUCCESS;
    TCertificateTable table = TCertificateTable::Broken;
    if (const DWORD error = ReadCertificateTable(File, certificates.VirtualAddress, certificates.Size, table))
        return error;
    if (table == TCertificateTable::Broken)
        return ERROR_SUCCESS;
    TSignature signature = TSignature::Damaged;
    if (const DWORD error = VerifySignature(File, Name, signature))
        return error;
    // Windows reads well-formed signatures as none at all where it holds them to stricter rules
    // (the certificate padding check, an entry with bytes after its signature) and then runs the
    // program as unsigned: the checks above decide, unless the image demands its signature. No
    // signature in a table of anything else is a signature that was damaged.
    if (signature == TSignature::Damaged ||
        (signature == TSignature::Absent &&
         (table != TCertificateTable::Signatures || (mapped == TImageCheck::Blocked && demandsSignature))))
        return ERROR_SUCCESS;
    Result = signature == TSignature::Blocked ? TImageCheck::Blocked : mapped;
    return ERROR_SUCCESS;
}

}  // namespace TalvoRec
