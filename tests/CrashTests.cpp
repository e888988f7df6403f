// The real program killed at many points of a large restore: the executable is always either the
// old one or a whole copy of the backup, and the next recovery cleans up after the killed one.

#include "ProgramTest.h"
#include "framework/Handle.h"

#include <gtest/gtest.h>

#include <iostream>

using namespace Testing;

namespace {

constexpr size_t BackupSize = 256u << 20;
constexpr int CopyKillPoints = 28;  // spread over the copy
constexpr int SwapKillPoints = 4;   // once the copy is whole: flush, move, done message

// Size of our copy in progress beside the executable, or -1 when there is none.
long long TempCopySize(const std::wstring& exe)
{
    WIN32_FIND_DATAW data;
    Framework::TFindHandle find(FindFirstFileW((exe + L".~talvorec-*.tmp").c_str(), &data));
    if (!find)
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

long long FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Presses the recovery button and answers Yes; false when a window does not come.
bool StartRestore(const TProgram& program)
{
    const HWND confirm = OpenConfirmation(program);
    if (!confirm)
        return false;
    PressKeys(confirm, {'Y'});
    return true;
}

TEST(CrashConsistency, AKilledRestoreLeavesTheOldOrTheNewExecutableNeverAPartOne)
{
    TTempDir folder;
    const std::wstring exe = folder.Path() + L"Talvomax_64.exe";
    const std::wstring backupPath = folder.Path() + L"Talvomax_64.bak";
    const std::string backup = SampleExecutable(BackupSize, 21);
    const std::string old = SampleExecutable(1u << 20, 22);
    WriteBytes(backupPath, backup);

    int oldCount = 0, newCount = 0;
    std::cout << "\n| kill point | copy at kill (MiB) | executable after |\n|---|---|---|\n";
    for (int point = 0; point < CopyKillPoints + SwapKillPoints; ++point) {
        SCOPED_TRACE(testing::Message() << "kill point " << point);
        WriteBytes(exe, old);
        TProgram program(folder.Path());

        // During the copy: once it has reached its share of the backup. After it: as soon as the
        // copy is whole, then when the executable has been replaced, then at the done message.
        const long long threshold = static_cast<long long>(BackupSize) * point / CopyKillPoints;
        const auto reached = [&] {
            switch (point - CopyKillPoints) {
            case 0: return TempCopySize(exe) >= static_cast<long long>(BackupSize);
            case 1: return FileSize(exe) == static_cast<long long>(BackupSize);
            case 2: return program.WaitForWindow(PlainCaption, 0) != nullptr;
            case 3: return program.WaitForWindow(PlainCaption, 0) != nullptr || FileSize(exe) == static_cast<long long>(BackupSize);
            default: return TempCopySize(exe) >= threshold || FileSize(exe) == static_cast<long long>(BackupSize);
            }
        };
        ASSERT_TRUE(StartRestore(program));
        const ULONGLONG deadline = GetTickCount64() + 60000;
        while (!reached() && GetTickCount64() < deadline)
            Sleep(1);
        const long long copied = TempCopySize(exe);
        program.Kill();

        const long long size = FileSize(exe);
        ASSERT_GE(size, 0) << "the executable is missing";
        const std::string after = ReadBytes(exe);
        const bool isOld = after == old, isNew = after == backup;
        EXPECT_TRUE(isOld || isNew) << "a partial or damaged executable, " << size << " bytes";
        oldCount += isOld;
        newCount += isNew;
        std::cout << "| " << point << " | " << (copied < 0 ? std::string("-") : std::to_string(copied >> 20)) << " | "
                  << (isOld ? "old" : isNew ? "restored" : "DAMAGED") << " |\n";
    }
    std::cout << "kill points: " << CopyKillPoints + SwapKillPoints << ", old executable kept: " << oldCount
              << ", restored: " << newCount << "\n";
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
