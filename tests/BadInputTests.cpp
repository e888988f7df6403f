// Every folder state the recovery may meet gives either a correct restore or a clear message, and
// never loses the executable or changes the backup.

#include "RecordingForm.h"
#include "TestFiles.h"
#include "framework/Handle.h"
#include "framework/SysUtils.h"
#include "recovery/Files.h"
#include "recovery/Image.h"
#include "recovery/Replace.h"

#include <gtest/gtest.h>
#include <wintrust.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <optional>
#include <cstring>
#include <set>

using namespace Testing;
using Framework::THandle;

namespace {

enum class TOutcome {
    Restored,
    EndedAndRestored,
    RestoredForTheUserToStart,
    NoBackup,
    NotExecutable,
    Damaged,
    Blocked,
    NotWritable,
    Error
};

const wchar_t* OutcomeName(TOutcome outcome)
{
    switch (outcome) {
    case TOutcome::Restored:
        return L"restored";
    case TOutcome::EndedAndRestored:
        return L"running application ended, restored";
    case TOutcome::RestoredForTheUserToStart:
        return L"restored, the user asked to start it";
    case TOutcome::NoBackup:
        return L"no-backup message";
    case TOutcome::NotExecutable:
        return L"not-an-executable message";
    case TOutcome::Damaged:
        return L"damaged-backup message";
    case TOutcome::Blocked:
        return L"not-allowed-here message";
    case TOutcome::NotWritable:
        return L"folder-not-writable message, at once";
    case TOutcome::Error:
        return L"error box";
    }
    return L"?";
}

struct TFolder {
    std::wstring Path;
    std::wstring Exe() const { return Path + TalvoRec::MainExeName; }
    std::wstring Backup() const { return Path + TalvoRec::BackupName; }
};

const std::string OldExe = SampleExecutable(4096, 11);
const std::string GoodBackup = SampleExecutable(200000, 12);

// What a case keeps open while the recovery runs. Lock runs after the folder has been looked at.
struct THeld {
    std::vector<std::unique_ptr<TChildProcess>> Processes;
    std::vector<THandle> Handles;
    std::function<void()> Lock;
};

// Prepares the folder; returns a reason when this machine cannot make the state (the case is skipped).
using TPrepare = std::function<std::optional<std::string>(const TFolder&, THeld&)>;

std::optional<std::string> Link(const std::wstring& link, const std::wstring& target, bool folder)
{
    if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0))
        return "symbolic links cannot be made here (error " + std::to_string(GetLastError()) + ")";
    // Wine 8 answers success without making the link.
    WIN32_FIND_DATAW data;
    Framework::TFindHandle find(FindFirstFileW(link.c_str(), &data));
    if (!find || !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return "CreateSymbolicLinkW reported success but made no link";
    return std::nullopt;
}

std::optional<std::string> Standard(const TFolder& f)
{
    WriteBytes(f.Exe(), OldExe);
    WriteBytes(f.Backup(), GoodBackup);
    return std::nullopt;
}

struct TCase {
    const char* Name;
    TPrepare Prepare;
    std::set<TOutcome> Allowed;
    // Where the case runs: a folder a ctest fixture made, a sub-path the case makes in a new temporary
    // one (named by its "\\?\" path), or that temporary one.
    std::wstring Folder = {};
};

// The reasons of the cases this machine cannot make, one a line.
std::string Reasons(const std::vector<std::string>& Skipped)
{
    std::string reasons;
    for (const auto& reason : Skipped)
        reasons += "\n  " + reason;
    return reasons;
}

std::vector<TCase> Cases()
{
    using enum TOutcome;
    const auto helper = [](const wchar_t* name) { return TestBinaryDir() + name; };
    return {
        {"backup missing",
         [](const TFolder& f, THeld&) {
             WriteBytes(f.Exe(), OldExe);
             return std::optional<std::string>();
         },
         {NoBackup}},
        {"backup is a folder",
         [](const TFolder& f, THeld&) {
             WriteBytes(f.Exe(), OldExe);
             MakeDir(f.Backup());
             return std::optional<std::string>();
         },
         {NoBackup}},
        {"backup empty",
         [](const TFolder& f, THeld&) {
             WriteBytes(f.Exe(), OldExe);
             WriteBytes(f.Backup(), "");
             return std::optional<std::string>();
         },
         {NotExecutable}},
        {"backup is text",
         [](const TFolder& f, THeld&) {
             WriteBytes(f.Exe(), OldExe);
             WriteBytes(f.Backup(), "update log\r\n");
             return std::optional<std::string>();
         },
         {NotExecutable}},
        {"backup has MZ but no PE",
         [](const TFolder& f, THeld&) {
             WriteBytes(f.Exe(), OldExe);
             std::string bytes = GoodBackup;
             bytes[0x80] = 'X';
             WriteBytes(f.Backup(), bytes);
             return std::optional<std::string>();
         },
         {NotExecutable}},
        {"backup locked against reading",
         [](const TFolder& f, THeld& held) {
             Standard(f);
             held.Lock = [f, &held] {
                 held.Handles.emplace_back(CreateFileW(f.Backup().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                       OPEN_EXISTING, 0, nullptr));
             };
             return std::optional<std::string>();
         },
         {Error}},
        {"executable missing",
         [](const TFolder& f, THeld&) {
             WriteBytes(f.Backup(), GoodBackup);
             return std::optional<std::string>();
         },
         {Restored}},
        {"executable read-only",
         [](const TFolder& f, THeld&) {
             Standard(f);
             SetFileAttributesW(f.Exe().c_str(), FILE_ATTRIBUTE_READONLY);
             return std::optional<std::string>();
         },
         {Restored}},
        {"executable is a folder",
         [](const TFolder& f, THeld&) {
             MakeDir(f.Exe());
             WriteBytes(f.Backup(), GoodBackup);
             return std::optional<std::string>();
         },
         {Error}},
        // A restore that deletes the executable and then moves its copy loses it here: the delete
        // only takes effect once the holder lets go, and then takes the new file with it.
        {"executable held open with delete sharing",
         [](const TFolder& f, THeld& held) {
             Standard(f);
             held.Handles.emplace_back(CreateFileW(f.Exe().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                                   nullptr, OPEN_EXISTING, 0, nullptr));
             return held.Handles.back() ? std::optional<std::string>()
                                        : std::optional<std::string>("cannot open the executable");
         },
         {Restored, Error}},
        {"executable held open by another process",
         [helper](const TFolder& f, THeld& held) {
             Standard(f);
             held.Processes.push_back(
                 std::make_unique<TChildProcess>(helper(L"HoldFile.exe"), L"\"" + f.Exe() + L"\""));
             if (!WaitForFile(f.Exe() + L".held"))
                 return std::optional<std::string>("the holding process did not start");
             DeleteFileW((f.Exe() + L".held").c_str());
             return std::optional<std::string>();
         },
         {Error}},
        {"main application still running",
         [helper](const TFolder& f, THeld& held) {
             WriteBytes(f.Backup(), GoodBackup);
             CopyFileW(helper(L"HoldFile.exe").c_str(), f.Exe().c_str(), FALSE);
             held.Processes.push_back(std::make_unique<TChildProcess>(f.Exe(), L""));
             return std::optional<std::string>();
         },
         {EndedAndRestored}},
        // Windows names a process by the name it was started by, the short one of an old shortcut
        // included. Wine names it by its file's long name however it was started, so here the
        // short name is made a name of the file's own (a hard link made while the long name is
        // away) and the process is started by it.
        {"main application started by its short name",
         [helper](const TFolder& f, THeld& held) {
             WriteBytes(f.Backup(), GoodBackup);
             const std::wstring program = helper(L"HoldFile.exe");
             CopyFileW(program.c_str(), f.Exe().c_str(), FALSE);
             const std::wstring shortName = TalvoRec::ShortNameOf(f.Exe());
             if (shortName.empty())
                 return std::optional<std::string>("this volume keeps no short names");
             DeleteFileW(f.Exe().c_str());
             CopyFileW(program.c_str(), (f.Path + shortName).c_str(), FALSE);
             CreateHardLinkW(f.Exe().c_str(), (f.Path + shortName).c_str(), nullptr);
             if (TalvoRec::ShortNameOf(f.Exe()) != shortName)
                 return std::optional<std::string>("the short name cannot be given to the file as a name of its own");
             held.Processes.push_back(std::make_unique<TChildProcess>(f.Path + shortName, L""));
             return std::optional<std::string>();
         },
         {EndedAndRestored}},
        {"folder read-only",
         [](const TFolder& f, THeld&) {
             Standard(f);
             std::wstring folder = f.Path.substr(0, f.Path.size() - 1);
             SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_READONLY);
             return std::optional<std::string>();
         },
         // The read-only attribute of a folder does not stop writing into it on Windows.
         {Restored, Error}},
        // Left by a power cut while a restore held it, or by some other program: used as the lock,
        // never removed.
        {"a file by the lock's name",
         [](const TFolder& f, THeld&) {
             Standard(f);
             WriteBytes(TalvoRec::FolderLockName(f.Exe()), "somebody's data");
             return std::optional<std::string>();
         },
         {Restored}},
        {"a read-only file by the lock's name",
         [](const TFolder& f, THeld&) {
             Standard(f);
             WriteBytes(TalvoRec::FolderLockName(f.Exe()), "somebody's data");
             SetFileAttributesW(TalvoRec::FolderLockName(f.Exe()).c_str(), FILE_ATTRIBUTE_READONLY);
             return std::optional<std::string>();
         },
         {Restored}},
        // Not a lock anybody holds: waiting would not make it one.
        {"a folder by the lock's name",
         [](const TFolder& f, THeld&) {
             Standard(f);
             MakeDir(TalvoRec::FolderLockName(f.Exe()));
             return std::optional<std::string>();
         },
         {NotWritable}},
        {"folder in which nothing can be created",
         [](const TFolder& f, THeld&) {
             const std::wstring probe = f.Path + L"probe";
             if (THandle(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE,
                                     nullptr)) ||
                 !Exists(f.Backup()))
                 return std::optional<std::string>("the ctest fixture UnwritableFolder could not make " UNWRITABLE_DIR
                                                   " so (chattr +i needs root and a file system with the flag)");
             return std::optional<std::string>();
         },
         {NotWritable},
         WinePath(UNWRITABLE_DIR) + L"\\"},
        // No shorter form to start the program by: it is left for the user to start.
        {"install folder past MAX_PATH, every name in it short already",
         [](const TFolder& f, THeld&) {
             const size_t first = f.Path.find(L"\\dddddddd\\") + 1;
             for (size_t end = f.Path.find(L'\\', first); end != std::wstring::npos; end = f.Path.find(L'\\', end + 1))
                 MakeDir(f.Path.substr(0, end));
             return Standard(f);
         },
         {RestoredForTheUserToStart},
         [] {
             std::wstring deep;
             for (int i = 0; i < 30; ++i)
                 deep += L"dddddddd\\";
             return deep;
         }()},
    };
}

std::vector<TCase> LinkCases()
{
    using enum TOutcome;
    return {
        {"backup is a link to a file",
         [](const TFolder& f, THeld&) {
             WriteBytes(f.Exe(), OldExe);
             WriteBytes(f.Path + L"previous.exe", GoodBackup);
             return Link(f.Backup(), f.Path + L"previous.exe", false);
         },
         {Restored}},
        {"backup is a link to a folder",
         [](const TFolder& f, THeld&) {
             WriteBytes(f.Exe(), OldExe);
             MakeDir(f.Path + L"somewhere");
             return Link(f.Backup(), f.Path + L"somewhere", true);
         },
         {NoBackup}},
        {"backup is a dangling link",
         [](const TFolder& f, THeld&) {
             WriteBytes(f.Exe(), OldExe);
             return Link(f.Backup(), f.Path + L"gone.exe", false);
         },
         {NoBackup}},
        {"executable is a link to a folder",
         [](const TFolder& f, THeld&) {
             WriteBytes(f.Backup(), GoodBackup);
             MakeDir(f.Path + L"somewhere");
             return Link(f.Exe(), f.Path + L"somewhere", true);
         },
         {Error}},
    };
}

using TCryptMessage = Framework::TOwned<HCRYPTMSG, &::CryptMsgClose>;

std::string MessageParameter(HCRYPTMSG Message, DWORD Kind)
{
    DWORD size = 0;
    Require(CryptMsgGetParam(Message, Kind, 0, nullptr, &size), "sizing a message parameter");
    std::string value(size, '\0');
    Require(CryptMsgGetParam(Message, Kind, 0, value.data(), &size), "reading a message parameter");
    value.resize(size);
    return value;
}

// The program's signature made again without a signer: the same signed content in a well-formed
// signed-data message, which the verifier reads as no signature at all.
std::string SignatureWithoutSigner(const TSignedProgram& Program)
{
    constexpr DWORD encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
    DWORD length = 0;
    memcpy(&length, Program.Bytes.data() + Program.Certificate, sizeof length);
    const TCryptMessage original(CryptMsgOpenToDecode(encoding, 0, 0, 0, nullptr, nullptr));
    Require(CryptMsgUpdate(original.Get(), reinterpret_cast<const BYTE*>(Program.Bytes.data() + Program.Signature),
                           length - static_cast<DWORD>(Program.Signature - Program.Certificate), TRUE),
            "reading the signature");
    std::string contentType = MessageParameter(original.Get(), CMSG_INNER_CONTENT_TYPE_PARAM);
    const std::string content = MessageParameter(original.Get(), CMSG_CONTENT_PARAM);
    CMSG_SIGNED_ENCODE_INFO noSigner{};
    noSigner.cbSize = sizeof noSigner;
    const TCryptMessage rebuilt(CryptMsgOpenToEncode(encoding, 0, CMSG_SIGNED, &noSigner, contentType.data(), nullptr));
    Require(CryptMsgUpdate(rebuilt.Get(), reinterpret_cast<const BYTE*>(content.data()),
                           static_cast<DWORD>(content.size()), TRUE),
            "writing a signature without a signer");
    return MessageParameter(rebuilt.Get(), CMSG_CONTENT_PARAM);
}

// Message with its outer length in the indefinite form, which BER allows and DER does not.
std::string InIndefiniteLength(const std::string& Message)
{
    const auto second = static_cast<unsigned char>(Message[1]);
    const size_t header = second & 0x80 ? 2 + (second & 0x7F) : 2;
    return std::string("\x30\x80", 2) + Message.substr(header) + std::string(2, '\0');
}

// The signed program with Entry, all of it, as its certificate table's one entry.
std::string WithCertificateEntry(const TSignedProgram& Program, const std::string& Entry)
{
    WIN_CERTIFICATE header{};
    constexpr DWORD headerSize = offsetof(WIN_CERTIFICATE, bCertificate);
    memcpy(&header, Program.Bytes.data() + Program.Certificate, headerSize);
    header.dwLength = static_cast<DWORD>(headerSize + Entry.size());
    std::string bytes = Program.Bytes.substr(0, Program.Certificate);
    bytes.append(reinterpret_cast<const char*>(&header), headerSize).append(Entry);
    bytes.resize((bytes.size() + 7) / 8 * 8, '\0');
    const DWORD tableSize = static_cast<DWORD>(bytes.size() - Program.Certificate);
    memcpy(bytes.data() + Program.TableSize, &tableSize, sizeof tableSize);
    return bytes;
}

// The backup as an interrupted updater, another build or another program can leave it.
std::vector<TCase> ImageCases()
{
    using enum TOutcome;
    using namespace SampleImage;
    const std::string whole = SampleExecutable(0, 0, 64 * 1024);
    const auto patch = [](std::string bytes, size_t at, auto value) {
        memcpy(bytes.data() + at, &value, sizeof value);
        return bytes;
    };
    const auto patched = [&](size_t at, auto value) { return patch(whole, at, value); };
    const std::string noEntryPoint = patched(EntryPoint, DWORD{0});
    // Where a .NET program has its runtime header: inside the image, or just past its end.
    const IMAGE_DATA_DIRECTORY runtime{0x1000, 0x48};
    const IMAGE_DATA_DIRECTORY runtimeOutside{0x11000, 0x48};
    const TSignedProgram signedProgram = SignedProgram();
    const auto flipped = [&signedProgram](size_t at, size_t count) {
        std::string bytes = signedProgram.Bytes;
        for (size_t i = 0; i < count; ++i)
            bytes[at + i] ^= 0x5A;
        return bytes;
    };
    const std::string noSigner = SignatureWithoutSigner(signedProgram);
    std::string x509 = signedProgram.Bytes;
    const WORD x509Kind = WIN_CERT_TYPE_X509;
    memcpy(x509.data() + signedProgram.Certificate + offsetof(WIN_CERTIFICATE, wCertificateType), &x509Kind,
           sizeof x509Kind);
    const auto backup = [](std::string bytes) -> TPrepare {
        return [bytes](const TFolder& f, THeld&) {
            WriteBytes(f.Exe(), OldExe);
            WriteBytes(f.Backup(), bytes);
            return std::optional<std::string>();
        };
    };
    // The sample as a .NET program for i386 (PE32) with these runtime flags, its runtime header at
    // the start of its section.
    const auto dotNet32 = [&](DWORD flags) {
        IMAGE_NT_HEADERS64 from{};
        memcpy(&from, whole.data() + NtHeaders, sizeof from);
        IMAGE_NT_HEADERS32 nt{};
        nt.Signature = from.Signature;
        nt.FileHeader = from.FileHeader;
        nt.FileHeader.Machine = IMAGE_FILE_MACHINE_I386;
        nt.FileHeader.SizeOfOptionalHeader = sizeof nt.OptionalHeader;
        IMAGE_OPTIONAL_HEADER32& to = nt.OptionalHeader;
        to.Magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
        to.ImageBase = 0x400000;
        to.SectionAlignment = from.OptionalHeader.SectionAlignment;
        to.FileAlignment = from.OptionalHeader.FileAlignment;
        to.MajorSubsystemVersion = 6;
        to.SizeOfImage = from.OptionalHeader.SizeOfImage;
        to.SizeOfHeaders = from.OptionalHeader.SizeOfHeaders;
        to.Subsystem = IMAGE_SUBSYSTEM_WINDOWS_GUI;
        to.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
        to.DataDirectory[IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR] = {0x1000, sizeof(IMAGE_COR20_HEADER)};
        IMAGE_COR20_HEADER runtime{};
        runtime.cb = sizeof runtime;
        runtime.Flags = flags;
        // The section's header moves up to follow the shorter optional header; its data stays.
        std::string bytes = patch(whole, NtHeaders, nt);
        bytes.replace(NtHeaders + sizeof nt, sizeof(IMAGE_SECTION_HEADER), whole, NtHeaders + sizeof from,
                      sizeof(IMAGE_SECTION_HEADER));
        return patch(bytes, HeadersSize, runtime);
    };
    std::string headerOnly(NtHeaders + 4, '\0');
    headerOnly.replace(0, 2, "MZ");
    headerOnly[0x3C] = static_cast<char>(NtHeaders);
    headerOnly.replace(NtHeaders, 4, std::string("PE\0\0", 4));
    return {
        {"whole program", backup(whole), {Restored}},
        {"data appended after the last section", backup(whole + SampleBytes(300000, 5)), {Restored}},
        {"cut after the headers", backup(whole.substr(0, HeadersSize)), {Damaged}},
        {"cut in the middle of a section", backup(whole.substr(0, HeadersSize + 32 * 1024)), {Damaged}},
        {"cut after 1 KiB", backup(whole.substr(0, 1024)), {Damaged}},
        {"header only: MZ and PE", backup(headerOnly), {Damaged}},
        {"a DLL", backup(patched(Characteristics, WORD{IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_DLL})), {Damaged}},
        {"not marked executable", backup(patched(Characteristics, WORD{IMAGE_FILE_LARGE_ADDRESS_AWARE})), {Damaged}},
        {"for another processor", backup(patched(Machine, WORD{IMAGE_FILE_MACHINE_ARM64})), {Damaged}},
        {"a 32-bit image", backup(patched(Magic, WORD{IMAGE_NT_OPTIONAL_HDR32_MAGIC})), {Damaged}},
        {"MZ, the PE header past the end", backup(whole.substr(0, NtHeaders)), {Damaged}},
        {"image size short of the section", backup(patched(SizeOfImage, DWORD{0x2000})), {Damaged}},
        {"entry point outside the image", backup(patched(EntryPoint, DWORD{0x20000})), {Damaged}},
        {"file alignment not a power of two", backup(patched(FileAlignment, DWORD{0x300})), {Damaged}},
        // Windows starts a 64-bit .NET program through its runtime header.
        {"entry point 0, a .NET runtime header", backup(patch(noEntryPoint, RuntimeHeader, runtime)), {Restored}},
        {"entry point 0, no runtime header", backup(noEntryPoint), {Damaged}},
        // Windows runs a 32-bit image that holds IL only as a 64-bit process, unless it asks for 32 bits.
        {"a .NET program for any CPU", backup(dotNet32(COMIMAGE_FLAGS_ILONLY)), {Restored}},
        {"a .NET program that requires 32 bits",
         backup(dotNet32(COMIMAGE_FLAGS_ILONLY | COMIMAGE_FLAGS_32BITREQUIRED)),
         {Damaged}},
        {"a .NET program that prefers 32 bits", backup(dotNet32(COMIMAGE_FLAGS_ILONLY | 0x20000)), {Damaged}},
        {"entry point 0, the runtime header past the image",
         backup(patch(noEntryPoint, RuntimeHeader, runtimeOutside)),
         {Damaged}},
        // A section takes its virtual size in memory, its raw size only where the virtual one is 0.
        {"raw data past the virtual size",
         backup(patch(patched(VirtualSize, DWORD{0x1000}), SizeOfImage, DWORD{0x2000})),
         {Restored}},
        {"virtual size 0, the raw data past the image",
         backup(patch(patched(VirtualSize, DWORD{0}), SizeOfImage, DWORD{0x2000})),
         {Damaged}},
        {"signed whole", backup(signedProgram.Bytes), {Restored}},
        {"signed, then one byte of code changed", backup(flipped(signedProgram.Code, 1)), {Damaged}},
        {"signed, the signature garbled", backup(flipped(signedProgram.Signature, 16)), {Damaged}},
        // The verifier reads a well-formed signature as none at all: Windows so reads one with bytes
        // after it in its entry under the certificate padding check, and runs the program unsigned.
        {"signed, a signature without a signer, bytes after it",
         backup(WithCertificateEntry(signedProgram, noSigner + std::string(16, '\xAA'))),
         {Restored}},
        // Read as none at all, but not a signature by its own encoding: damaged.
        {"signed, a signature without a signer, its length not DER",
         backup(WithCertificateEntry(signedProgram, InIndefiniteLength(noSigner))),
         {Damaged}},
        // Wine's verifier crashes on a bare X.509 certificate: it must not be asked.
        {"signed, the signature's kind changed", backup(x509), {Damaged}},
    };
}

// Runs the recovery button, answering Yes.
TOutcome Recover(const TFolder& folder, std::wstring& error)
{
    TalvoRec::AppDir = folder.Path;
    TalvoRec::RunAfterClose = false;
    TRecordingTalvoRecF window;
    try {
        window.BitBtn1Click(&window);
    } catch (const Framework::Exception& e) {
        error = e.Message();
        return error.starts_with(TalvoRec::FolderNotWritableText(folder.Path)) ? TOutcome::NotWritable
                                                                               : TOutcome::Error;
    }
    // A refusal is the first thing the window is told, once the check's hourglass has gone.
    std::erase_if(window.Calls, [](const std::wstring& call) { return call.starts_with(L"cursor: "); });
    const std::pair<std::wstring, TOutcome> refusals[] = {{TalvoRec::NoBackupText, TOutcome::NoBackup},
                                                          {TalvoRec::NotExecutableText, TOutcome::NotExecutable},
                                                          {TalvoRec::DamagedText, TOutcome::Damaged},
                                                          {TalvoRec::BlockedText, TOutcome::Blocked}};
    for (const auto& [text, outcome] : refusals)
        if (!window.Calls.empty() && window.Calls.front() == L"message: " + text)
            return outcome;
    if (!TalvoRec::RunAfterClose)
        return TOutcome::Error;
    if (std::ranges::count(window.Calls, L"message: " + std::wstring(TalvoRec::DoneStartYourselfText)) > 0) {
        // Left to the user: the close neither starts it nor reports a failure (which would throw).
        bool canClose = true;
        window.FormCloseQuery(&window, canClose);
        return TOutcome::RestoredForTheUserToStart;
    }
    const bool ended = std::ranges::count(window.Calls, L"confirm: " + TalvoRec::RunningText) > 0;
    return ended ? TOutcome::EndedAndRestored : TOutcome::Restored;
}

std::optional<std::string> ContentOf(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return std::string("<folder>");
    return ReadBytes(path);
}

// Runs each case in a folder of its own and checks that nothing is lost; prints the outcomes as
// a table. The reasons of the cases this machine cannot make.
std::vector<std::string> ExpectNothingLost(const std::vector<TCase>& Cases)
{
    std::vector<std::string> skipped;
    std::wcout << L"\n| folder state | outcome | ms |\n|---|---|---|\n";
    for (const auto& c : Cases) {
        SCOPED_TRACE(c.Name);
        TTempDir temp;
        const TFolder folder{c.Folder.empty()      ? temp.Path()
                             : c.Folder[1] == L':' ? c.Folder
                                                   : L"\\\\?\\" + temp.Path() + c.Folder};
        THeld held;
        const std::optional<std::string> cannot = c.Prepare(folder, held);
        const std::wstring name(c.Name, c.Name + strlen(c.Name));
        if (cannot) {
            skipped.push_back(std::string(c.Name) + ": " + *cannot);
            continue;
        }
        const auto exeBefore = ContentOf(folder.Exe());
        const auto backupBefore = ContentOf(folder.Backup());
        const auto namesBefore = ListDir(folder.Path);
        if (held.Lock)
            held.Lock();

        std::wstring error;
        const ULONGLONG started = GetTickCount64();
        const TOutcome outcome = Recover(folder, error);
        const ULONGLONG took = GetTickCount64() - started;
        held = THeld();

        std::wcout << L"| " << name << L" | " << OutcomeName(outcome) << L" | " << took << L" |\n";
        EXPECT_TRUE(c.Allowed.count(outcome)) << "unexpected outcome: " << Utf8(error);
        if (outcome == TOutcome::Error) {
            EXPECT_TRUE(error.starts_with(TalvoRec::RestoreFailedText) ||
                        error.starts_with(TalvoRec::BackupUnreadableText))
                << Utf8(error);
        }
        const auto exeAfter = ContentOf(folder.Exe());
        const bool restored = outcome == TOutcome::Restored || outcome == TOutcome::EndedAndRestored ||
                              outcome == TOutcome::RestoredForTheUserToStart;
        if (restored)
            EXPECT_EQ(exeAfter, backupBefore) << "not a byte copy of the backup";
        else
            EXPECT_EQ(exeAfter, exeBefore) << "the executable changed";
        EXPECT_EQ(ContentOf(folder.Backup()), backupBefore) << "the backup changed";
        auto namesAfter = ListDir(folder.Path);
        if (restored && !exeBefore)
            std::erase(namesAfter, std::wstring(TalvoRec::MainExeName));
        EXPECT_EQ(namesAfter, namesBefore) << "a file was left behind or removed";
    }
    return skipped;
}

TEST(BadInput, EveryFolderStateGivesARestoreOrAClearMessageAndLosesNothing)
{
    const std::vector<std::string> skipped = ExpectNothingLost(Cases());
    if (!skipped.empty())
        GTEST_SKIP() << "this machine cannot make every folder state:" << Reasons(skipped);
}

TEST(BadInput, OnlyAWholeX64ProgramIsRestored)
{
    EXPECT_EQ(ExpectNothingLost(ImageCases()), std::vector<std::string>{});
}

// What the headers say, read without the check under test: a 64-bit x64 program, not a DLL.
bool IsX64Program(const std::string& Bytes)
{
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS64 nt{};
    if (Bytes.size() < sizeof dos)
        return false;
    memcpy(&dos, Bytes.data(), sizeof dos);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 || Bytes.size() < dos.e_lfanew + sizeof nt)
        return false;
    memcpy(&nt, Bytes.data() + dos.e_lfanew, sizeof nt);
    return nt.Signature == IMAGE_NT_SIGNATURE && nt.FileHeader.Machine == IMAGE_FILE_MACHINE_AMD64 &&
           nt.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC &&
           !(nt.FileHeader.Characteristics & IMAGE_FILE_DLL);
}

// A false "damaged" locks the user out as surely as a false "done": every 64-bit program the
// system ships must pass the check.
TEST(BadInput, EveryProgramInTheSystemFolderPassesTheCheck)
{
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::wstring folder = std::wstring(system) + L"\\";
    int checked = 0;
    for (const std::wstring& name : ListDir(folder)) {
        if (name.size() < 4 || _wcsicmp(name.c_str() + name.size() - 4, L".exe") != 0)
            continue;
        if (!IsX64Program(ReadBytes(folder + name)))
            continue;
        THandle file;
        ASSERT_EQ(TalvoRec::OpenBackup(folder + name, file), ERROR_SUCCESS);
        TalvoRec::TImageCheck check = TalvoRec::TImageCheck::NotAnImage;
        const std::string shown(name.begin(), name.end());
        EXPECT_EQ(TalvoRec::CheckExecutableImage(file.Get(), folder + name, check), ERROR_SUCCESS) << shown;
        EXPECT_EQ(check, TalvoRec::TImageCheck::Executable) << shown;
        ++checked;
    }
    std::wcout << L"\nprograms checked in " << folder << L": " << checked << L"\n";
    EXPECT_GE(checked, 5);
}

TEST(BadInput, LinksInPlaceOfTheFilesAreFollowedOrRefusedNeverRemoved)
{
    const std::vector<std::string> skipped = ExpectNothingLost(LinkCases());
    if (!skipped.empty())
        GTEST_SKIP() << "this platform cannot make the links:" << Reasons(skipped);
}

TEST(BadInput, AFullDiskIsReportedAndTheExecutableKept)
{
    // script/test mounts a small file system of its own here when the machine allows it.
    const std::wstring path = WinePath(DISKFULL_DIR);
    if (!Exists(path + L"\\.talvo-small-disk"))
        GTEST_SKIP() << "no small file system mounted at " << DISKFULL_DIR << " (mounting needs root)";
    const TFolder folder{path + L"\\"};
    for (const auto& name : ListDir(folder.Path))
        if (name != L".talvo-small-disk")
            RemoveTree(folder.Path + name);
    // The disk holds 8 MiB: room for the backup, not for a second copy of it.
    const std::string backup = SampleExecutable(5 * 1024 * 1024, 13);
    WriteBytes(folder.Exe(), OldExe);
    WriteBytes(folder.Backup(), backup);
    const auto namesBefore = ListDir(folder.Path);

    std::wstring error;
    EXPECT_EQ(Recover(folder, error), TOutcome::Error);
    std::wcout << L"\n| disk full | " << OutcomeName(TOutcome::Error) << L": " << error.substr(error.find(L'\n') + 1)
               << L" |\n";
    EXPECT_EQ(ReadBytes(folder.Exe()), OldExe);
    EXPECT_EQ(ReadBytes(folder.Backup()), backup);
    EXPECT_EQ(ListDir(folder.Path), namesBefore);
    RemoveTree(folder.Exe());
    RemoveTree(folder.Backup());
}

TEST(StaleCopies, AKilledRunsCopyIsRemovedByTheNextRecoveryAndNothingElse)
{
    TTempDir temp;
    const TFolder folder{temp.Path()};
    Standard(folder);
    const std::wstring ours[] = {folder.Exe() + L".~talvorec-0000ABCD.tmp", folder.Exe() + L".~talvorec-12345678.tmp"};
    const std::wstring others[] = {folder.Exe() + L".~talvorec-notours.tmp",
                                   folder.Exe() + L".~talvorec-0000ABCD.tmp.keep", folder.Path + L"notes.tmp",
                                   folder.Path + L"Other.exe.~talvorec-0000ABCD.tmp",
                                   // Full-width digits pass iswxdigit, but are no name of ours.
                                   folder.Exe() + L".~talvorec-１２３４５６７８.tmp"};
    for (const auto& name : ours)
        WriteBytes(name, "partial copy");
    for (const auto& name : others)
        WriteBytes(name, "not ours");

    std::wstring error;
    EXPECT_EQ(Recover(folder, error), TOutcome::Restored);

    for (const auto& name : ours)
        EXPECT_FALSE(Exists(name));
    for (const auto& name : others)
        EXPECT_EQ(ReadBytes(name), "not ours");
}

}  // namespace
