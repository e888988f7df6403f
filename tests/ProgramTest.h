#pragma once
// The real program in a temporary install folder: the fixture of the tests that drive it.

#include "GuiDriver.h"
#include "TestFiles.h"
#include "recovery/TalvoRec.h"

#include <gtest/gtest.h>

#include <oleacc.h>
#include <tlhelp32.h>

namespace Testing {

inline const std::wstring WindowCaption = TalvoRec::WindowCaption;
inline const std::wstring ConfirmCaption = L"情報";
inline const std::wstring PlainCaption = L"Talvorecmax";
inline const std::string BrokenExe = "MZ broken build";

// The name a screen reader is given for a window's client area, read from the system's
// accessibility layer as a screen reader reads it.
inline std::wstring AccessibleName(HWND Window)
{
    std::wstring found;
    IAccessible* accessible = nullptr;
    if (FAILED(AccessibleObjectFromWindow(Window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&accessible))))
        return found;
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    if (SUCCEEDED(accessible->get_accName(self, &name)) && name) {
        found = name;
        SysFreeString(name);
    }
    accessible->Release();
    return found;
}

// Waits for the recovery window and presses its recovery button (R, with Alt when asked); the
// window that opens with the given caption, or null when either window does not come.
inline HWND PressRecover(const TProgram& Program, const std::wstring& Opens, bool Alt = false)
{
    const HWND window = Program.WaitForWindow(WindowCaption);
    if (!window)
        return nullptr;
    PressKeys(window, {'R'}, Alt);
    return Program.WaitForWindow(Opens);
}

// The confirmation box the recovery button opens, or null.
inline HWND OpenConfirmation(const TProgram& Program, bool Alt = false)
{
    return PressRecover(Program, ConfirmCaption, Alt);
}

// Presses the recovery button and answers Yes; false when a window does not come.
inline bool StartRestore(const TProgram& Program)
{
    const HWND confirm = OpenConfirmation(Program);
    if (!confirm)
        return false;
    PressKeys(confirm, {'Y'});
    return true;
}

class Program : public testing::Test {
protected:
    std::wstring Exe() const { return Folder.Path() + L"Talvomax_64.exe"; }
    std::wstring Backup() const { return Folder.Path() + L"Talvomax_64.bak"; }
    std::wstring Marker() const { return Exe() + L".started"; }
    // A line for each start of the restored application, its command line.
    std::wstring Starts() const
    {
        const std::string marker = ReadBytes(Marker());
        return std::wstring(reinterpret_cast<const wchar_t*>(marker.data()), marker.size() / sizeof(wchar_t));
    }

    // A broken main executable and, as its backup, a program that records its start.
    void InstallUpdateGoneWrong()
    {
        WriteBytes(Exe(), BrokenExe);
        Require(CopyFileW((TestBinaryDir() + L"MarkerApp.exe").c_str(), Backup().c_str(), FALSE),
                "installing the backup");
    }

    // Only the copy in this test's folder: other tests run theirs meanwhile.
    bool MainApplicationRunning() const
    {
        Framework::THandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
            const Framework::THandle process(
                OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
            wchar_t image[MAX_PATH];
            DWORD length = MAX_PATH;
            if (process && QueryFullProcessImageNameW(process.Get(), 0, image, &length) &&
                _wcsicmp(image, Exe().c_str()) == 0)
                return true;
        }
        return false;
    }

    TTempDir Folder;
};

}  // namespace Testing
