#include "GuiDriver.h"

#include "TestFiles.h"
#include "framework/SysUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace Testing {

namespace {

INPUT Key(WORD VirtualKey, bool Up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = VirtualKey;
    input.ki.dwFlags = Up ? KEYEVENTF_KEYUP : 0;
    return input;
}

GUITHREADINFO ThreadInfoOf(HWND Window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(Window, nullptr), &info);
    return info;
}

// A mouse event at a point of the primary screen, in SendInput's absolute units.
INPUT MouseAt(POINT Point, DWORD Flags)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(Point.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
    input.mi.dy = MulDiv(Point.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    input.mi.dwFlags = Flags | MOUSEEVENTF_ABSOLUTE;
    return input;
}

// Whether the thread that owns Window has made it its active window and it is in the foreground.
bool IsActive(HWND Window)
{
    return ThreadInfoOf(Window).hwndActive == Window && GetForegroundWindow() == Window;
}

// Clicks the left mouse button on Window at a point of its own, clear of its controls.
void Click(HWND Window)
{
    RECT client;
    GetClientRect(Window, &client);
    const POINT candidates[] = {{8, 8},
                                {client.right - 8, 8},
                                {8, client.bottom - 8},
                                {client.right - 8, client.bottom - 8}};
    for (POINT point : candidates) {
        ClientToScreen(Window, &point);
        if (WindowFromPoint(point) != Window)
            continue;
        // Each event carries the point: where Wine last saw the pointer may lag behind.
        INPUT clicks[] = {MouseAt(point, MOUSEEVENTF_MOVE), MouseAt(point, MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTDOWN),
                          MouseAt(point, MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTUP)};
        SendInput(ARRAYSIZE(clicks), clicks, sizeof(INPUT));
        return;
    }
    ADD_FAILURE() << "no point of the window to click that is its own";
}

}  // namespace

TProgram::TProgram(const std::wstring& InstallDir, const std::string& Exe, const std::wstring& Arguments)
{
    const std::wstring exe = InstallDir + L"Talvorecmax.exe";
    if (!CopyFileW(WinePath(Exe).c_str(), exe.c_str(), FALSE))
        throw std::runtime_error("cannot copy Talvorecmax.exe");
    TStarted started = StartProcess(exe, Arguments, InstallDir);
    Process_ = std::move(started.Process);
    ProcessId_ = started.ProcessId;
}

TProgram::~TProgram()
{
    Kill();
}

void TProgram::Kill()
{
    if (WaitForSingleObject(Process_.Get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(Process_.Get(), 99);
        WaitForSingleObject(Process_.Get(), 10000);
    }
}

HWND TProgram::WaitForWindow(const std::wstring& Caption, DWORD TimeoutMs) const
{
    HWND found = nullptr;
    WaitUntil(TimeoutMs, [&] { return (found = FindProcessWindow(ProcessId_, Caption)) != nullptr; });
    return found;
}

bool TProgram::WaitForWindowGone(const std::wstring& Caption, DWORD TimeoutMs) const
{
    return WaitUntil(TimeoutMs, [&] { return FindProcessWindow(ProcessId_, Caption) == nullptr; });
}

DWORD TProgram::WaitForExit(DWORD TimeoutMs) const
{
    if (WaitForSingleObject(Process_.Get(), TimeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(Process_.Get(), &code);
    return code;
}

TOtherWindow::TOtherWindow()
{
    static const ATOM windowClass = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TOtherWindow";
        return RegisterClassW(&windowClass);
    }();
    // Off the screen, so Wine maps no X window for it and activating it leaves the X input focus on
    // the program. Without a window manager every Wine process moves the X focus itself; had this
    // window taken it, the program could read that focus event only once it was active again,
    // find the X focus elsewhere (its own request may lose against ours) and hand the foreground
    // to the desktop.
    Handle_ = CreateWindowExW(0, MAKEINTATOM(windowClass), L"another program", WS_POPUP | WS_CAPTION, -10000, -10000,
                              240, 80, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!Handle_)
        throw std::runtime_error("cannot create a window, error " + std::to_string(GetLastError()));
    ShowWindow(Handle_, SW_SHOWNOACTIVATE);
}

TOtherWindow::~TOtherWindow()
{
    DestroyWindow(Handle_);
}

LRESULT CALLBACK TOtherWindow::WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam)
{
    if (Message == WM_NCCREATE)
        SetWindowLongPtrW(Window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(LParam)->lpCreateParams));
    else if (Message == WM_ACTIVATE)
        if (auto* self = reinterpret_cast<TOtherWindow*>(GetWindowLongPtrW(Window, GWLP_USERDATA)))
            self->Active_ = LOWORD(WParam) != WA_INACTIVE;
    return DefWindowProcW(Window, Message, WParam, LParam);
}

bool TOtherWindow::Activate(HWND Window)
{
    // Our own window comes forward as a program the user switched to would; the program's is
    // clicked, and activates itself.
    if (Window == Handle_)
        SetForegroundWindow(Window);
    else
        Click(Window);
    return WaitUntil(30000, [&] {
        Pump();
        return Window == Handle_ ? Active_ : !Active_ && IsActive(Window);
    });
}

void TOtherWindow::Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

std::vector<HWND> ChildWindows(HWND Parent)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(Parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

std::wstring AllTexts(HWND Window)
{
    std::wstring texts = WindowText(Window);
    for (HWND child : ChildWindows(Window))
        texts += L"\n" + AllTexts(child);
    return texts;
}

HWND FocusOf(HWND Window)
{
    return ThreadInfoOf(Window).hwndFocus;
}

void PressKeys(HWND Window, std::initializer_list<WORD> Keys, bool Alt)
{
    if (!IsActive(Window)) {
        SetForegroundWindow(Window);
        EXPECT_TRUE(WaitUntil(30000, [&] { return IsActive(Window); })) << "the window did not come to the front";
    }
    std::vector<INPUT> inputs;
    if (Alt)
        inputs.push_back(Key(VK_MENU, false));
    for (WORD key : Keys) {
        inputs.push_back(Key(key, false));
        inputs.push_back(Key(key, true));
    }
    if (Alt)
        inputs.push_back(Key(VK_MENU, true));
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

namespace {

std::string ScreenshotFile(const std::string& Name)
{
    return std::string(SCREENSHOT_DIR) + "/" + Name + ".png";
}

// Runs a shell script of the build machine (Wine starts its programs too) that writes Output;
// its text once the file is there, which the script does last, by renaming a finished file.
bool RunOnHost(const std::string& Script, const std::string& Output, std::string& Text)
{
    DeleteFileW(WinePath(Output).c_str());
    std::wstring commandLine = L"start.exe /unix /bin/bash -c \"" + std::wstring(Script.begin(), Script.end()) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process))
        return false;
    Framework::THandle processHandle(process.hProcess);
    Framework::THandle threadHandle(process.hThread);
    if (!WaitForFile(WinePath(Output), 10000))
        return false;
    Text = ReadBytes(WinePath(Output));
    DeleteFileW(WinePath(Output).c_str());
    return true;
}

// Path as one word of a shell command, whatever it holds.
std::string Quoted(const std::string& Path)
{
    std::string quoted = "'";
    for (const char c : Path)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The script that writes the colour of a point of an image to Output, as "red green blue".
std::string PixelScript(const std::string& Image, POINT Point, const std::string& Output)
{
    const std::string at = "p{" + std::to_string(Point.x) + "," + std::to_string(Point.y) + "}";
    std::string format;
    for (const char* channel : {"r", "g", "b"})
        format += std::string(format.empty() ? "" : " ") + "%[fx:int(255*" + at + "." + channel + "+0.5)]";
    return "convert " + Quoted(Image) + " -format '" + format + "' info: > " + Quoted(Output + ".part") + " && mv " +
           Quoted(Output + ".part") + " " + Quoted(Output);
}

COLORREF ParsePixel(const std::string& Text)
{
    int red = -1, green = -1, blue = -1;
    if (sscanf(Text.c_str(), "%d %d %d", &red, &green, &blue) != 3)
        return CLR_INVALID;
    return RGB(red, green, blue);
}

// Runs a command on the build machine and waits until it is done; false when it fails.
bool RunOnHost(const std::string& Command)
{
    // In this build's own folder: process ids are only unique within one Wine prefix, and another
    // build on the machine runs its tests in a prefix of its own.
    const std::string output = std::string(TEST_BINARY_DIR) + "/host-" + std::to_string(GetCurrentProcessId());
    std::string text;
    return RunOnHost(Command + " && echo done > " + Quoted(output + ".part") + " && mv " + Quoted(output + ".part") +
                         " " + Quoted(output),
                     output, text);
}

}  // namespace

TSecondDrive::TSecondDrive(const std::wstring& Folder)
{
    // Wine reaches drive X: through the prefix's link dosdevices/x:.
    char prefix[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || Folder.size() < 3 || Folder[1] != L':')
        return;
    std::string target = std::string(prefix) + "/dosdevices/" + static_cast<char>(towlower(Folder[0])) + ":";
    for (const wchar_t c : Folder.substr(2))
        target.push_back(c == L'\\' ? '/' : static_cast<char>(c));
    const DWORD used = GetLogicalDrives();
    for (wchar_t letter = L'T'; letter <= L'Y'; ++letter)
        if (!(used & (1u << (letter - L'A')))) {
            const std::string link = std::string(prefix) + "/dosdevices/" + static_cast<char>(letter - L'A' + 'a') +
                                     ":";
            if (!RunOnHost("ln -s " + Quoted(target) + " " + Quoted(link)))
                return;
            Link_ = link;
            Path_ = std::wstring(1, letter) + L":\\";
            return;
        }
}

TSecondDrive::~TSecondDrive()
{
    if (!Link_.empty())
        RunOnHost("rm -f " + Quoted(Link_));
}

void Screenshot(const std::string& Name, HWND Window)
{
    // ImageMagick reads the X display. Wine hands a window's pixels to the display a moment after
    // it has painted, so the shot is taken again until the window's corner is no longer the black
    // of the empty screen.
    POINT corner{2, 2};
    ClientToScreen(Window, &corner);
    CreateDirectoryW(WinePath(SCREENSHOT_DIR).c_str(), nullptr);
    const std::string image = ScreenshotFile(Name);
    const std::string pixel = image + ".pixel";
    const std::string script = "import -window root " + Quoted(image + ".part.png") + " && mv " +
                               Quoted(image + ".part.png") + " " + Quoted(image) + " && " +
                               PixelScript(image, corner, pixel);
    const bool shown = WaitUntil(20000, [&] {
        std::string colour;
        return RunOnHost(script, pixel, colour) && ParsePixel(colour) != CLR_INVALID &&
               ParsePixel(colour) != RGB(0, 0, 0);
    });
    EXPECT_TRUE(shown) << "the window did not show on the display for screenshot " << Name;
}

COLORREF ScreenshotPixel(const std::string& Name, POINT Point)
{
    const std::string output = ScreenshotFile(Name) + ".at";
    std::string colour;
    if (!RunOnHost(PixelScript(ScreenshotFile(Name), Point, output), output, colour))
        return CLR_INVALID;
    return ParsePixel(colour);
}

namespace {

// Hook procedures take no context: the events of every hook of this thread go to one list.
std::vector<std::pair<DWORD, HWND>> RecordedEvents;

}  // namespace

TWinEvents::TWinEvents(DWORD Event)
    : Event_(Event),
      Hook_(SetWinEventHook(Event, Event, nullptr, &Record, 0, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS))
{
    if (!Hook_)
        throw std::runtime_error("cannot hook WinEvents, error " + std::to_string(GetLastError()));
}

TWinEvents::~TWinEvents()
{
    UnhookWinEvent(Hook_);
}

void CALLBACK TWinEvents::Record(HWINEVENTHOOK, DWORD Event, HWND Window, LONG Object, LONG Child, DWORD, DWORD)
{
    if (Object == OBJID_WINDOW && Child == CHILDID_SELF)
        RecordedEvents.emplace_back(Event, Window);
}

bool TWinEvents::WaitFor(HWND Window, DWORD TimeoutMs) const
{
    const std::pair<DWORD, HWND> expected(Event_, Window);
    return WaitUntil(TimeoutMs, [&] {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        return std::find(RecordedEvents.begin(), RecordedEvents.end(), expected) != RecordedEvents.end();
    });
}

std::wstring ClassOf(HWND Window)
{
    wchar_t name[256];
    const int length = GetClassNameW(Window, name, ARRAYSIZE(name));
    return std::wstring(name, static_cast<size_t>(std::max(length, 0)));
}

}  // namespace Testing
