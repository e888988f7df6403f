#pragma once
// What counts as a whole program. The backup is opened once and held: the check reads it through
// that handle and the restore copies from it, so what was checked is what gets copied. Each call
// returns ERROR_SUCCESS or the Win32 error code taken at the point of failure.

#include "framework/Handle.h"

#include <windows.h>

#include <string>

namespace TalvoRec {

// Opens the backup for reading (and for execute, which mapping it as an image takes) with read
// sharing only, so that nobody can change or remove it while it is held. A brief lock is waited
// out.
DWORD OpenBackup(const std::wstring& Name, Framework::THandle& File);

enum class TImageCheck {
    Executable,  // a whole program Windows runs as a 64-bit x64 process
    NotAnImage,  // no "MZ", or no "PE\0\0" where it points
    Damaged,     // "MZ" and more: cut short, a DLL, for another processor, or not as it was signed
                 // (also where it demands its signature and the system refused it for that)
    Blocked,     // whole, but this machine forbids running it: a distrusted or revoked signer, or the
                 // code integrity or application control policy
};

// Whether the open file holds a whole x64 program:
// - PE32+ for AMD64, or a .NET program for any CPU (PE32 for i386 whose runtime header says IL
//   only, neither requiring nor preferring 32 bits); an executable image and not a DLL, with every
//   header and every section's data inside the file; data after the last section (signatures,
//   installer payloads) is allowed;
// - laid out as the Windows loader requires (file and section alignment, an image size that covers
//   every section as it is mapped, an entry point inside it or a .NET runtime header), and mapped
//   as an image by the system without refusal;
// - when it carries a signature, the content matches it byte for byte. Whether the signer is
//   trusted on this machine is not asked: expired certificates, unknown roots and offline machines
//   do not make a program damaged. Well-formed signatures the verifier reads as none at all (as
//   Windows does under the certificate padding check) leave it to the checks of an unsigned one.
//   A signer the machine distrusts or knows to be revoked does block it, as does a code integrity
//   or application control policy that refuses to map it, unless the image demands its own
//   signature (IMAGE_DLLCHARACTERISTICS_FORCE_INTEGRITY) and carries none or a damaged one.
// Name is the path File was opened by; it only labels the file for the verifier. A failure that is
// not the file's fault (memory, access, a system without the verifier) is returned as an error code.
DWORD CheckExecutableImage(HANDLE File, const std::wstring& Name, TImageCheck& Result);

}  // namespace TalvoRec
