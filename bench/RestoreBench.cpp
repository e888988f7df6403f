// The search for a running main application, and the restore as the recovery button runs it once
// the user has said Yes, on a worker thread: the folder's lock, a search for running copies of the
// main application, then TalvoRec::ReplaceFromBackup, which copies the backup beside the target,
// flushes it, searches once more and moves it into place. Against it the plainest durable copy of
// the same file in the same folder: CopyFileW, then FlushFileBuffers on the target. Backups of
// random content are made in a folder under the temp folder; each size is measured in pairs of
// turns, the restore first in one and the copy first in the other, and the files are deleted before
// the next size. What the restore does beyond a copy (the two searches, the move into place, its
// thread and the folder's lock) is timed on its own; its copy, from the call of ReplaceFromBackup
// until the copy is flushed, is to stay within 5% of CopyFileW + flush. Then, for the largest
// size, the longest a window takes to answer a message sent to it while the restore runs: with the
// restore on a worker, as the button runs it, and with the restore on the window's own thread, as
// it once ran.
//
// Usage: RestoreBench [MiB[:pairs]...]; by default 64:48 256:32 1024:32, a size in MiB and the
// pairs of turns it is measured in (16 when not given): a copy's time moves by a few hundredths
// from turn to turn, and relatively the more the smaller the file.
// Prints Markdown table rows.

#include "Measure.h"
#include "framework/Handle.h"
#include "recovery/Image.h"
#include "recovery/Processes.h"
#include "recovery/Replace.h"
#include "recovery/TalvoRec.h"
#include "recovery/Worker.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

using Framework::THandle;

using Bench::Check;

namespace {

constexpr DWORD Chunk = 1 << 20;
constexpr DWORD OldTargetSize = 4096;  // the broken executable being replaced

// Writes Size bytes from a xorshift generator: content no file system can compress or share.
void WriteRandomFile(const std::wstring& Name, uint64_t Size, uint64_t Seed)
{
    THandle file(CreateFileW(Name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    Check(static_cast<bool>(file), "CreateFileW");
    std::unique_ptr<uint64_t[]> buffer(new uint64_t[Chunk / 8]);
    uint64_t state = Seed | 1;
    for (uint64_t done = 0; done < Size; done += Chunk) {
        for (DWORD i = 0; i < Chunk / 8; ++i) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            buffer[i] = state;
        }
        const DWORD length = static_cast<DWORD>(Size - done < Chunk ? Size - done : Chunk);
        DWORD written = 0;
        Check(WriteFile(file.Get(), buffer.get(), length, &written, nullptr) && written == length, "WriteFile");
    }
    Check(FlushFileBuffers(file.Get()), "FlushFileBuffers");
}

uint64_t FileSize(const std::wstring& Name)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    Check(GetFileAttributesExW(Name.c_str(), GetFileExInfoStandard, &data), "GetFileAttributesExW");
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void DurableCopy(const std::wstring& Backup, const std::wstring& Target)
{
    Check(CopyFileW(Backup.c_str(), Target.c_str(), FALSE), "CopyFileW");
    THandle file(CreateFileW(Target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    Check(static_cast<bool>(file), "CreateFileW");
    Check(FlushFileBuffers(file.Get()), "FlushFileBuffers");
}

// Where a restore's time went, in seconds. What is left of the whole is its thread's start and
// end and the folder's lock.
struct TRestoreParts {
    // ReplaceFromBackup until the copy is flushed beside the target: the counterpart of CopyFileW +
    // flush (with the look for copies a killed run left, and a new file for the copy).
    double Copy = 0;
    double Searches = 0;  // both searches for running copies
    double Move = 0;      // the move of the flushed copy into place
};

// What the recovery button does once the user has said Yes, on the calling thread: the folder's
// lock, a search for running copies, then the copy, flushed, a second search and the move. The
// backup is opened and checked before the question, so that is not timed. None is running here.
void RestoreHere(HANDLE Backup, const std::wstring& Target, TRestoreParts& Parts)
{
    const TalvoRec::TFolderLock lock(Target, TalvoRec::FolderLockTimeoutMs);
    const auto search = [&] {
        const double start = Bench::Now();
        const bool found = TalvoRec::FindRunningProcesses(Target).Any();
        Parts.Searches += Bench::Now() - start;
        if (found)
            throw std::runtime_error("a process runs from the benchmark's folder");
    };
    search();
    const double copyStart = Bench::Now();
    double moveStart = 0;
    const DWORD error = TalvoRec::ReplaceFromBackup(lock, Backup, [&] {
        Parts.Copy = Bench::Now() - copyStart;
        search();
        moveStart = Bench::Now();
        return true;
    });
    Parts.Move = Bench::Now() - moveStart;
    SetLastError(error);
    Check(error == ERROR_SUCCESS, "ReplaceFromBackup");
}

// The same on a worker thread, waited for as the recovery button waits for it.
void Restore(HANDLE Backup, const std::wstring& Target, TRestoreParts& Parts)
{
    TalvoRec::TWorker worker([&](TalvoRec::TWorker&) { RestoreHere(Backup, Target, Parts); });
    worker.Wait();
}

// Seconds one replacement of a small target takes; the result is checked outside the timing.
template <class Operation>
double TimeReplace(Operation Replace, const std::wstring& Backup, const std::wstring& Target, uint64_t Size)
{
    DeleteFileW(Target.c_str());
    WriteRandomFile(Target, OldTargetSize, 7);
    const double start = Bench::Now();
    Replace(Backup, Target);
    const double elapsed = Bench::Now() - start;
    if (FileSize(Target) != Size)
        throw std::runtime_error("the target does not have the backup's size");
    return elapsed;
}

// The times of one size, a value per turn: the whole restore and its parts, and CopyFileW +
// flush; and a ratio per pair of turns.
struct TResult {
    std::vector<double> Restore, RestoreCopy, Searches, Move, Rest, Copy;
    // The restore's copy against CopyFileW + flush, over both turns of a pair: the one that goes
    // first in a turn pays about a tenth more for the disk's write-back of the turn before, and
    // each goes first once in a pair.
    std::vector<double> Ratios;
};

TResult MeasureSize(const std::wstring& Folder, uint64_t MiB, int Pairs)
{
    const uint64_t size = MiB << 20;
    const std::wstring backup = Folder + L"Talvomax_64.bak";
    const std::wstring target = Folder + L"Talvomax_64.exe";
    WriteRandomFile(backup, size, MiB);
    TResult result;
    {
        THandle held;
        SetLastError(TalvoRec::OpenBackup(backup, held));
        Check(static_cast<bool>(held), "OpenBackup");
        const auto restore = [&] {
            TRestoreParts parts;
            const double whole = TimeReplace([&](const std::wstring&,
                                                 const std::wstring& Target) { Restore(held.Get(), Target, parts); },
                                             backup, target, size);
            result.Restore.push_back(whole);
            result.RestoreCopy.push_back(parts.Copy);
            result.Searches.push_back(parts.Searches);
            result.Move.push_back(parts.Move);
            result.Rest.push_back(whole - parts.Copy - parts.Searches - parts.Move);
        };
        const auto copy = [&] { result.Copy.push_back(TimeReplace(DurableCopy, backup, target, size)); };
        // One untimed turn first: the first copy of a size pays for the backup's own write-back.
        restore();
        copy();
        result = {};
        for (int pair = 0; pair < Pairs; ++pair) {
            restore();
            copy();
            copy();
            restore();
            const size_t last = result.Restore.size() - 1;
            double restores = 0, copies = 0;
            for (const size_t i : {last - 1, last}) {
                restores += result.RestoreCopy[i];
                copies += result.Copy[i];
            }
            result.Ratios.push_back(restores / copies);
        }
    }
    DeleteFileW(target.c_str());
    DeleteFileW(backup.c_str());
    return result;
}

// A window on a thread of its own that restores once it is up, as the recovery window does after
// the Yes, while the caller keeps asking it whether it responds.
class TRestoringWindow {
public:
    TRestoringWindow(HANDLE Backup, std::wstring Target, bool OnWorker)
        : Backup_(Backup), Target_(std::move(Target)), OnWorker_(OnWorker),
          Ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        Thread_.Reset(CreateThread(nullptr, 0, &ThreadMain, this, 0, nullptr));
        Check(static_cast<bool>(Thread_), "CreateThread");
        const HANDLE readyOrGone[] = {Ready_.Get(), Thread_.Get()};
        WaitForMultipleObjects(2, readyOrGone, FALSE, INFINITE);
        Check(Window_ != nullptr, "CreateWindowExW");
    }

    // The longest, in seconds, that the window took to answer one of the messages sent to it, one
    // every few milliseconds, until the restore was done.
    double LongestAnswer()
    {
        double longest = 0;
        while (WaitForSingleObject(Thread_.Get(), 5) == WAIT_TIMEOUT) {
            const double start = Bench::Now();
            SendMessageTimeoutW(Window_, WM_NULL, 0, 0, SMTO_NORMAL, 60000, nullptr);
            longest = std::max(longest, Bench::Now() - start);
        }
        if (Error_)
            std::rethrow_exception(Error_);
        return longest;
    }

private:
    static DWORD WINAPI ThreadMain(void* Param)
    {
        auto* self = static_cast<TRestoringWindow*>(Param);
        self->Window_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        SetEvent(self->Ready_.Get());
        if (!self->Window_)
            return 1;
        try {
            TRestoreParts parts;
            if (self->OnWorker_)
                Restore(self->Backup_, self->Target_, parts);
            else
                RestoreHere(self->Backup_, self->Target_, parts);
        } catch (...) {
            self->Error_ = std::current_exception();
        }
        DestroyWindow(self->Window_);
        return 0;
    }

    HANDLE Backup_;
    std::wstring Target_;
    bool OnWorker_;
    THandle Ready_;
    THandle Thread_;
    HWND Window_ = nullptr;
    std::exception_ptr Error_;
};

// The longest answer of a window in each of Runs restores of the backup of Size bytes, on a worker
// and on the window's own thread, the two taking turns.
std::pair<std::vector<double>, std::vector<double>> MeasureAnswers(const std::wstring& Folder, uint64_t MiB, int Runs)
{
    const uint64_t size = MiB << 20;
    const std::wstring backup = Folder + L"Talvomax_64.bak";
    const std::wstring target = Folder + L"Talvomax_64.exe";
    WriteRandomFile(backup, size, MiB);
    std::vector<double> worker, own;
    {
        THandle held;
        SetLastError(TalvoRec::OpenBackup(backup, held));
        Check(static_cast<bool>(held), "OpenBackup");
        for (int run = 0; run < Runs; ++run) {
            for (const bool onWorker : {run % 2 == 0, run % 2 != 0}) {
                DeleteFileW(target.c_str());
                WriteRandomFile(target, OldTargetSize, 7);
                (onWorker ? worker : own).push_back(TRestoringWindow(held.Get(), target, onWorker).LongestAnswer());
                if (FileSize(target) != size)
                    throw std::runtime_error("the target does not have the backup's size");
            }
        }
    }
    DeleteFileW(target.c_str());
    DeleteFileW(backup.c_str());
    return {worker, own};
}

const char* Met(bool Yes)
{
    return Yes ? "yes" : "**no**";
}

// The search for a running main application that every restore makes, where none runs.
std::vector<double> MeasureSearch(const std::wstring& Folder, int Runs)
{
    const std::wstring program = Folder + L"Talvomax_64.exe";
    std::vector<double> times;
    for (int run = 0; run < Runs; ++run) {
        const double start = Bench::Now();
        const auto found = TalvoRec::FindRunningProcesses(program);
        times.push_back(Bench::Now() - start);
        if (found.Any())
            throw std::runtime_error("a process runs from the benchmark's folder");
    }
    return times;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<uint64_t> sizes;
    std::vector<int> pairs;
    for (int i = 1; i < argc; ++i) {
        char* end = nullptr;
        sizes.push_back(std::strtoull(argv[i], &end, 10));
        pairs.push_back(*end == ':' ? std::max(std::atoi(end + 1), 1) : 16);
    }
    if (sizes.empty()) {
        sizes = {64, 256, 1024};
        pairs = {48, 32, 32};
    }

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"TalvorecBench\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    try {
        constexpr int searchRuns = 101;
        const Bench::TSpread search = Bench::Spread(MeasureSearch(folder, searchRuns));
        std::printf("| Search for a running Talvomax_64.exe, none running (%d runs) | %s | – | – | < 5 ms | %s |\n",
                    searchRuns, Bench::Show(search, "%.2f", 1000, " ms").c_str(), Met(search.Median < 0.005));
        std::fflush(stdout);
        std::vector<TResult> results;
        for (size_t size = 0; size < sizes.size(); ++size) {
            const uint64_t MiB = sizes[size];
            const TResult result = MeasureSize(folder, MiB, pairs[size]);
            results.push_back(result);
            const Bench::TSpread restore = Bench::Spread(result.Restore);
            const Bench::TSpread copy = Bench::Spread(result.Copy);
            const Bench::TSpread ratio = Bench::Spread(result.Ratios);
            const auto ms = [](const std::vector<double>& Times) {
                return Bench::Show(Bench::Spread(Times), "%.1f", 1000, " ms");
            };
            std::printf("| Restore %llu MiB (%d pairs of turns) | %s, %.0f MiB/s; of it the copy %s, the two searches "
                        "for running copies %s, the move into place %s, its thread and the folder's lock %s | %s, "
                        "%.0f MiB/s (CopyFileW + flush) | %s (the copy) | ≤ 1.05 | %s |\n",
                        static_cast<unsigned long long>(MiB), pairs[size],
                        Bench::Show(restore, "%.0f", 1000, " ms").c_str(), MiB / restore.Median,
                        Bench::Show(Bench::Spread(result.RestoreCopy), "%.0f", 1000, " ms").c_str(),
                        ms(result.Searches).c_str(), ms(result.Move).c_str(), ms(result.Rest).c_str(),
                        Bench::Show(copy, "%.0f", 1000, " ms").c_str(), MiB / copy.Median,
                        Bench::Show(ratio, "%.2f").c_str(), Met(ratio.Median <= 1.05));
            std::fflush(stdout);
        }
        if (sizes.size() > 1) {
            // Linear means the time per MiB stays put from the smallest size to the largest; the
            // floor shows how much of any drift is the disk's own.
            const auto perMiB = [&](size_t i, bool Program) {
                return Bench::Median(Program ? results[i].RestoreCopy : results[i].Copy) / sizes[i];
            };
            const size_t last = sizes.size() - 1;
            const double program = perMiB(last, true) / perMiB(0, true);
            const double floor = perMiB(last, false) / perMiB(0, false);
            // Their ratio from the sizes' ratios of turns taken in pairs, which hold from run to run,
            // not from four medians of times that the disk moves apart.
            const double ratio = Bench::Median(results[last].Ratios) / Bench::Median(results[0].Ratios);
            std::printf("| Restore time per MiB, the copy, %llu MiB against %llu MiB "
                        "| %.2f | %.2f (CopyFileW + flush) | %.2f | ≤ 1.15 | %s |\n",
                        static_cast<unsigned long long>(sizes[last]), static_cast<unsigned long long>(sizes[0]),
                        program, floor, ratio, Met(ratio <= 1.15));
            std::fflush(stdout);
        }
        constexpr int answerRuns = 3;
        const uint64_t largest = sizes.back();
        const auto [worker, own] = MeasureAnswers(folder, largest, answerRuns);
        const Bench::TSpread answer = Bench::Spread(worker);
        std::printf("| Longest answer of the window to a sent message during a %llu MiB restore (%d restores) "
                    "| %s | %s (the restore on the window's thread) | – | < 100 ms, the most | %s |\n",
                    static_cast<unsigned long long>(largest), answerRuns,
                    Bench::Show(answer, "%.0f", 1000, " ms").c_str(),
                    Bench::Show(Bench::Spread(own), "%.0f", 1000, " ms").c_str(), Met(answer.Max < 0.1));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "RestoreBench: %s\n", error.what());
        RemoveDirectoryW(folder.c_str());
        return 1;
    }
    RemoveDirectoryW(folder.c_str());
    return 0;
}
