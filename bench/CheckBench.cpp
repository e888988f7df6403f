// The backup check on a 64 MiB program, TalvoRec::CheckExecutableImage, beside what it cannot do
// without: the unsigned check against reading the file once, and the signed check, timed in a
// fresh process as the recovery button does it once (wintrust.dll loaded then), against one
// SHA-256 pass over the same file with the system's BCrypt.
//
// Usage: CheckBench write <program> <MiB>    writes an unsigned program of that size to sign
//        CheckBench measure <unsigned> <signed> [runs]    prints Markdown table rows
//        CheckBench once <signed> <result file>    one timed check; measure starts it
// script/bench writes the program, signs a copy on the Linux side and measures.

#include "Measure.h"
#include "framework/Handle.h"
#include "framework/SysUtils.h"
#include "recovery/Image.h"
#include "tests/Processes.h"
#include "tests/TestFiles.h"

#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using Framework::THandle;

using Bench::Check;

namespace {

constexpr DWORD Chunk = 1 << 20;
constexpr DWORD Timeout = 120000;

THandle OpenForReading(const std::wstring& Name)
{
    THandle file(CreateFileW(Name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    Check(static_cast<bool>(file), "CreateFileW");
    return file;
}

// Reads the whole file in chunks, handing each to Consume.
template <class TConsume>
void ReadAll(const std::wstring& Name, TConsume Consume)
{
    const THandle file = OpenForReading(Name);
    std::unique_ptr<BYTE[]> buffer(new BYTE[Chunk]);
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer.get(), Chunk, &read, nullptr) && read > 0)
        Consume(buffer.get(), read);
}

// Seconds of the check as the recovery button runs it: open the backup, check it.
double TimeCheck(const std::wstring& Program)
{
    const double start = Bench::Now();
    THandle backup;
    SetLastError(TalvoRec::OpenBackup(Program, backup));
    Check(static_cast<bool>(backup), "OpenBackup");
    TalvoRec::TImageCheck result = TalvoRec::TImageCheck::NotAnImage;
    const DWORD error = TalvoRec::CheckExecutableImage(backup.Get(), Program, result);
    const double elapsed = Bench::Now() - start;
    SetLastError(error);
    Check(error == ERROR_SUCCESS && result == TalvoRec::TImageCheck::Executable, "CheckExecutableImage");
    return elapsed;
}

double TimeRead(const std::wstring& Program)
{
    const double start = Bench::Now();
    ReadAll(Program, [](const BYTE*, DWORD) {});
    return Bench::Now() - start;
}

double TimeSha256(const std::wstring& Program)
{
    const double start = Bench::Now();
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    Check(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0,
          "BCryptOpenAlgorithmProvider");
    BCRYPT_HASH_HANDLE hash = nullptr;
    Check(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0, "BCryptCreateHash");
    ReadAll(Program, [hash](const BYTE* Data, DWORD Size) {
        Check(BCryptHashData(hash, const_cast<BYTE*>(Data), Size, 0) == 0, "BCryptHashData");
    });
    BYTE digest[32];
    Check(BCryptFinishHash(hash, digest, sizeof digest, 0) == 0, "BCryptFinishHash");
    BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return Bench::Now() - start;
}

// The signed check in a process of its own, which loads wintrust.dll as the program would.
double TimeCheckInFreshProcess(const std::wstring& Program, const std::wstring& ResultFile)
{
    DeleteFileW(ResultFile.c_str());
    const Testing::TStarted child = Testing::StartProcess(Framework::ExeName(),
                                                          L"once \"" + Program + L"\" \"" + ResultFile + L"\"");
    Check(WaitForSingleObject(child.Process.Get(), Timeout) == WAIT_OBJECT_0, "the timed check");
    DWORD exitCode = 1;
    GetExitCodeProcess(child.Process.Get(), &exitCode);
    if (exitCode != 0)
        throw std::runtime_error("the timed check in a fresh process failed");
    return std::stod(Testing::ReadBytes(ResultFile));
}

const char* Met(bool Yes)
{
    return Yes ? "yes" : "**no**";
}

void Measure(const std::wstring& Unsigned, const std::wstring& Signed, int Runs)
{
    const std::wstring resultFile = Signed + L".seconds";
    std::vector<double> read, check, sha256, signedCheck;
    for (int run = 0; run < Runs; ++run) {
        // Each of a pair goes first in every other run.
        const bool readFirst = run % 2 == 0;
        if (readFirst)
            read.push_back(TimeRead(Unsigned));
        check.push_back(TimeCheck(Unsigned));
        if (!readFirst)
            read.push_back(TimeRead(Unsigned));
        if (readFirst)
            sha256.push_back(TimeSha256(Signed));
        signedCheck.push_back(TimeCheckInFreshProcess(Signed, resultFile));
        if (!readFirst)
            sha256.push_back(TimeSha256(Signed));
    }
    DeleteFileW(resultFile.c_str());
    const Bench::TSpread checked = Bench::Spread(check);
    const Bench::TSpread ratio = Bench::Spread(Bench::PairedRatios(signedCheck, sha256));
    LARGE_INTEGER size{};
    Check(GetFileSizeEx(OpenForReading(Unsigned).Get(), &size), "GetFileSizeEx");
    const double MiB = static_cast<double>(size.QuadPart) / Chunk;
    std::printf(
        "| Check of a %.0f MiB backup, unsigned (%d runs) | %s | %s (reading the file once) | – | < 5 ms | %s |\n", MiB,
        Runs, Bench::Show(checked, "%.2f", 1000, " ms").c_str(),
        Bench::Show(Bench::Spread(read), "%.1f", 1000, " ms").c_str(), Met(checked.Median < 0.005));
    std::printf("| Check of a %.0f MiB backup, signed, in a fresh process with wintrust.dll loaded (%d runs) | %s | %s "
                "(one SHA-256 pass, BCrypt) | %s | ≤ 2.00 | %s |\n",
                MiB, Runs, Bench::Show(Bench::Spread(signedCheck), "%.0f", 1000, " ms").c_str(),
                Bench::Show(Bench::Spread(sha256), "%.0f", 1000, " ms").c_str(), Bench::Show(ratio, "%.2f").c_str(),
                Met(ratio.Median <= 2));
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    try {
        if (mode == L"write" && argc == 4) {
            Testing::WriteBytes(argv[2], Testing::SampleExecutable(0, 0, std::wcstoull(argv[3], nullptr, 10) << 20));
        } else if (mode == L"once" && argc == 4) {
            Testing::WriteBytes(argv[3], std::to_string(TimeCheck(argv[2])));
        } else if (mode == L"measure" && (argc == 4 || argc == 5)) {
            Measure(argv[2], argv[3], argc == 5 ? std::max(1, _wtoi(argv[4])) : 7);
        } else {
            std::fprintf(stderr, "usage: CheckBench write <program> <MiB> | measure <unsigned> <signed> [runs]\n");
            return 2;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "CheckBench: %s\n", error.what());
        return 1;
    }
    return 0;
}
