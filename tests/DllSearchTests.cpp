// The program restricts the DLL search before anything else, so that a DLL planted in its folder
// is never loaded with its administrator rights. This runs the same call in a test program whose
// own folder holds a planted DLL named after a system one.

#include "TestFiles.h"
#include "framework/SysUtils.h"

#include <gtest/gtest.h>

using namespace Testing;

namespace {

constexpr wchar_t PlantedName[] = L"msimg32.dll";
constexpr wchar_t OverrideKey[] = L"Software\\Wine\\AppDefaults\\DllSearchTests.exe\\DllOverrides";

TEST(DllSearch, ADllPlantedInTheProgramsFolderIsNotLoaded)
{
    const std::wstring planted = TestBinaryDir() + PlantedName;
    const std::wstring marker = TestBinaryDir() + L"planted-dll-loaded";
    DeleteFileW(marker.c_str());
    ASSERT_TRUE(CopyFileW((TestBinaryDir() + L"PlantedDll.dll").c_str(), planted.c_str(), FALSE));
    // Wine prefers its own DLLs to any on the search path; make it look there first, as Windows does.
    const wchar_t preferSearchPath[] = L"native,builtin";
    RegSetKeyValueW(HKEY_CURRENT_USER, OverrideKey, L"msimg32", REG_SZ, preferSearchPath, sizeof preferSearchPath);

    Framework::RestrictDllSearchToSystemFolder();
    const HMODULE loaded = LoadLibraryW(PlantedName);

    EXPECT_TRUE(loaded) << "the system's own copy should still load";
    EXPECT_FALSE(Exists(marker)) << "the planted DLL was loaded";
    if (loaded)
        FreeLibrary(loaded);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, OverrideKey, L"msimg32");
    DeleteFileW(planted.c_str());
    DeleteFileW(marker.c_str());
}

}  // namespace
