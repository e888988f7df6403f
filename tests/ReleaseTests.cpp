// The released program as Windows sees it: its Authenticode signature, its header checksum, and
// that it still starts once signed. check-release.sh runs these on the file script/release wrote
// (TALVOREC_SIGNED_EXE, signed with a throw-away certificate).

#include "ProgramTest.h"

#include <imagehlp.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdlib>

using namespace Testing;

namespace {

std::string SignedExe()
{
    const char* path = std::getenv("TALVOREC_SIGNED_EXE");
    Require(path && *path, "TALVOREC_SIGNED_EXE names the signed program (check-release.sh sets it)");
    return path;
}

// What Windows decides about a file's signature before it runs it, revocation left aside.
LONG VerifyTrust(const std::wstring& File)
{
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = File.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return result;
}

TEST(Release, WinVerifyTrustFindsTheSignedDigestGoodAndAChangedOneBad)
{
    const std::wstring signedExe = WinePath(SignedExe());
    // One byte changed in the middle of the code, after signing.
    std::string bytes = ReadBytes(signedExe);
    bytes[bytes.size() / 2] ^= 0x01;
    TTempDir folder;
    const std::wstring tampered = folder.Path() + L"tampered.exe";
    WriteBytes(tampered, bytes);

    // Windows finds the throw-away certificate's root untrusted; Wine 8 does not judge the root and
    // answers success. Either way the digest is good.
    const LONG signedResult = VerifyTrust(signedExe);
    EXPECT_TRUE(signedResult == ERROR_SUCCESS || signedResult == CERT_E_UNTRUSTEDROOT)
        << std::hex << static_cast<unsigned long>(signedResult);

    const struct {
        const char* What;
        std::wstring File;
        LONG Expected;
    } cases[] = {
        {"changed after signing", tampered, TRUST_E_BAD_DIGEST},
        {"unsigned build", WinePath(TALVORECMAX_EXE), TRUST_E_NOSIGNATURE},
    };
    for (const auto& c : cases) {
        const LONG result = VerifyTrust(c.File);
        EXPECT_EQ(result, c.Expected) << c.What << ": 0x" << std::hex << static_cast<unsigned long>(result);
    }
}

TEST(Release, HeaderChecksumIsTheOneWindowsComputes)
{
    for (const std::string& file : {SignedExe(), std::string(TALVORECMAX_EXE)}) {
        DWORD inHeader = 0;
        DWORD computed = 0;
        ASSERT_EQ(MapFileAndCheckSumW(WinePath(file).c_str(), &inHeader, &computed),
                  static_cast<DWORD>(CHECKSUM_SUCCESS));
        EXPECT_NE(inHeader, 0u) << file;
        EXPECT_EQ(inHeader, computed) << file;
    }
}

TEST_F(Program, TheSignedProgramStartsAndShowsItsWindow)
{
    InstallUpdateGoneWrong();
    TProgram program(Folder.Path(), SignedExe());
    const HWND window = program.WaitForWindow(WindowCaption);
    ASSERT_TRUE(window);
    Screenshot("signed-release", window);
}

}  // namespace
