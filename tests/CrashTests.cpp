// The real program killed at many points of a large restore: the executable is always either the
// old one or a whole copy of the backup, and the next recovery cleans up after the killed one.

#include "ProgramTest.h"
#include "framework/Handle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <optional>

using namespace Testing;

namespace {

constexpr size_t BackupSize = 256u << 20;
constexpr int CopyKillPoints = 28;  // spread over the copy
constexpr int SwapKillPoints = 4;   // once the copy is whole: flush, move, done message

// Which file a name stands for: a new file under an old name is another file.
struct TFileId {
    DWORD Volume = 0, High = 0, Low = 0;
    bool operator==(const TFileId&) const = default;
};

std::optional<TFileId> FileIdOf(const std::wstring& path)
{
    // No data access: opening for nothing disturbs no share mode of the program's.
    Framework::THandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !GetFileInformationByHandle(file.Get(), &info))
        return std::nullopt;
    return TFileId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// The most bytes written so far to any file in the folder that was not there before the restore,
// whatever its name: a copy beside the executable, or the executable made anew; -1 for none.
long long NewBytes(const std::wstring& folder, const std::vector<std::wstring>& keep, const TFileId& oldExe)
{
    long long most = -1;
    WIN32_FIND_DATAW data;
    Framework::TFindHandle find(FindFirstFileW((folder + L"*").c_str(), &data));
    for (bool more = static_cast<bool>(find); more; more = FindNextFileW(find.Get(), &data)) {
        const std::wstring name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            std::find(keep.begin(), keep.end(), name) != keep.end())
            continue;
        if (FileIdOf(folder + name) == oldExe)
            continue;
        most = std::max(most, (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    }
    return most;
}

long long FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST(CrashConsistency, AKilledRestoreLeavesTheOldOrTheNewExecutableNeverAPartOne)
{
    TTempDir folder;
    const std::wstring exe = folder.Path() + L"Talvomax_64.exe";
    const std::wstring backupPath = folder.Path() + L"Talvomax_64.bak";
    const std::string backup = SampleExecutable(BackupSize, 21);
    const std::string old = SampleExecutable(1u << 20, 22);
    WriteBytes(backupPath, backup);

    const std::vector<std::wstring> unchanged = {L"Talvomax_64.bak", L"Talvorecmax.exe"};
    int oldCount = 0, newCount = 0;
    std::cout << "\n| kill point | new bytes at kill (MiB) | executable after |\n|---|---|---|\n";
    for (int point = 0; point < CopyKillPoints + SwapKillPoints; ++point) {
        SCOPED_TRACE(testing::Message() << "kill point " << point);
        WriteBytes(exe, old);
        const std::optional<TFileId> oldExe = FileIdOf(exe);
        ASSERT_TRUE(oldExe);
        TProgram program(folder.Path());
        const auto newBytes = [&] { return NewBytes(folder.Path(), unchanged, *oldExe); };

        // During the copy: once the new bytes have reached their share of the backup. After it: as
        // soon as they are whole, then when the executable has been replaced, then at the done
        // message.
        const long long threshold = static_cast<long long>(BackupSize) * point / CopyKillPoints;
        const auto reached = [&] {
            switch (point - CopyKillPoints) {
            case 0:
                return newBytes() >= static_cast<long long>(BackupSize);
            case 1:
                return FileIdOf(exe) != oldExe && FileSize(exe) == static_cast<long long>(BackupSize);
            case 2:
                return program.WaitForWindow(PlainCaption, 0) != nullptr;
            case 3:
                return program.WaitForWindow(PlainCaption, 0) != nullptr ||
                       FileSize(exe) == static_cast<long long>(BackupSize);
            default:
                return newBytes() >= threshold;
            }
        };
        ASSERT_TRUE(StartRestore(program));
        const ULONGLONG deadline = GetTickCount64() + 60000;
        while (!reached() && GetTickCount64() < deadline)
            Sleep(1);
        const long long copied = newBytes();
        program.Kill();

        const long long size = FileSize(exe);
        ASSERT_GE(size, 0) << "the executable is missing";
        const std::string after = ReadBytes(exe);
        const bool isOld = after == old, isNew = after == backup;
        EXPECT_TRUE(isOld || isNew) << "a partial or damaged executable, " << size << " bytes";
        oldCount += isOld;
        newCount += isNew;
        std::cout << "| " << point << " | " << (copied < 0 ? std::string("-") : std::to_string(copied >> 20)) << " | "
                  << (isOld   ? "old"
                      : isNew ? "restored"
                              : "DAMAGED")
                  << " |\n";
    }
    std::cout << "kill points: " << CopyKillPoints + SwapKillPoints << ", old executable kept: " << oldCount
              << ", restored: " << newCount << "\n";
    // Both must occur, or the kills did not fall where they were meant to.
    EXPECT_GT(oldCount, 0) << "no kill fell before the executable was replaced";
    EXPECT_GT(newCount, 0) << "no kill fell after the executable was replaced";
    EXPECT_EQ(ReadBytes(backupPath), backup) << "the backup changed";

    // The next recovery finishes the job and leaves no copy behind.
    TProgram program(folder.Path());
    ASSERT_TRUE(StartRestore(program));
    const HWND done = program.WaitForWindow(PlainCaption, 120000);
    ASSERT_TRUE(done);
    EXPECT_EQ(ReadBytes(exe), backup);
    EXPECT_EQ(ListDir(folder.Path()),
              (std::vector<std::wstring>{L"Talvomax_64.bak", L"Talvomax_64.exe", L"Talvorecmax.exe"}));
    program.Kill();  // the restored "application" is random bytes: no need to let it start
}

}  // namespace
