#pragma once
// Drives the real program as a user would: starts it in a folder, finds its windows by caption,
// types on the keyboard, and takes screenshots of the (virtual) display.

#include "Processes.h"
#include "TestFiles.h"
#include "framework/Handle.h"

#include <windows.h>

#include <string>
#include <vector>

namespace Testing {

// The program under test, copied into an install folder and started from there.
class TProgram {
public:
    // Exe is the build to copy in as Talvorecmax.exe: the program, or one of its test variants;
    // Arguments go on its command line after its quoted path.
    explicit TProgram(const std::wstring& InstallDir, const std::string& Exe = TALVORECMAX_EXE,
                      const std::wstring& Arguments = L"");
    ~TProgram();  // ends the program if it is still running
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;

    // Ends the program at once, as a crash or a power cut would: no handler runs.
    void Kill();
    // The visible top-level window of the program with this caption, waited for; null on timeout.
    HWND WaitForWindow(const std::wstring& Caption, DWORD TimeoutMs = 30000) const;
    // Waits until no visible window of the program has this caption.
    bool WaitForWindowGone(const std::wstring& Caption, DWORD TimeoutMs = 30000) const;
    // Waits for the program to end; its exit code, or STILL_ACTIVE on timeout.
    DWORD WaitForExit(DWORD TimeoutMs = 30000) const;

private:
    Framework::THandle Process_;
    DWORD ProcessId_ = 0;
};

// A window of the test's own that can take the activation away from the program, as a switch to
// another program would.
class TOtherWindow {
public:
    TOtherWindow();
    ~TOtherWindow();
    TOtherWindow(const TOtherWindow&) = delete;
    TOtherWindow& operator=(const TOtherWindow&) = delete;

    HWND Handle() const { return Handle_; }
    // Switches to Window, this one or the program's (which is clicked, as a user would), and
    // waits until the activation has reached it; false when it does not within the timeout.
    // Handles this window's messages meanwhile, since activation talks to it.
    bool Activate(HWND Window);
    void Pump();

private:
    static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
    HWND Handle_;
    bool Active_ = false;  // between this window's WM_ACTIVATE and its deactivation
};

// Another drive letter for a folder, as `subst` makes one (under Wine: a link in the prefix's
// dosdevices), removed when the object goes. Path() is the folder through it, e.g. "T:\"; empty
// when no letter could be made.
class TSecondDrive {
public:
    explicit TSecondDrive(const std::wstring& Folder);
    ~TSecondDrive();
    TSecondDrive(const TSecondDrive&) = delete;
    TSecondDrive& operator=(const TSecondDrive&) = delete;
    const std::wstring& Path() const { return Path_; }

private:
    std::string Link_;
    std::wstring Path_;
};

std::vector<HWND> ChildWindows(HWND Parent);
// All texts of a window and its children, joined by line breaks.
std::wstring AllTexts(HWND Window);
// The window with the keyboard focus in the thread that owns Window.
HWND FocusOf(HWND Window);
// Brings Window to the front unless it is there already, then presses the keys (virtual-key
// codes) one after another; Alt is held during the keys when asked.
void PressKeys(HWND Window, std::initializer_list<WORD> Keys, bool Alt = false);
// Saves a screenshot of the whole display as build/screenshots/<Name>.png once Window shows on it.
void Screenshot(const std::string& Name, HWND Window);
// The colour at a point of the screen in screenshot <Name>.
COLORREF ScreenshotPixel(const std::string& Name, POINT Point);
// The class name of a window, e.g. to tell our own boxes from the system's.
std::wstring ClassOf(HWND Window);

// The WinEvents of one kind that other programs raise, as a screen reader sees them: recorded by an
// out-of-context hook, delivered to this thread while it waits.
class TWinEvents {
public:
    explicit TWinEvents(DWORD Event);
    ~TWinEvents();
    TWinEvents(const TWinEvents&) = delete;
    TWinEvents& operator=(const TWinEvents&) = delete;
    // Waits until the event has come for Window's own object (OBJID_WINDOW, CHILDID_SELF).
    bool WaitFor(HWND Window, DWORD TimeoutMs = 30000) const;

private:
    static void CALLBACK Record(HWINEVENTHOOK Hook, DWORD Event, HWND Window, LONG Object, LONG Child, DWORD Thread,
                                DWORD Time);
    DWORD Event_;
    HWINEVENTHOOK Hook_;
};

}  // namespace Testing
