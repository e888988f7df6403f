#include "Application.h"

#include "SysUtils.h"

#include <objbase.h>

#include <string_view>

namespace Framework {

TApplication Application;

namespace {

constexpr wchar_t FatalErrorText[] = L"予期しないエラーが発生したため、プログラムを終了します。";
constexpr wchar_t UnknownErrorText[] = L"不明なエラーです";

std::wstring Widen(const char* Text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, Text, -1, nullptr, 0);
    if (length <= 1)
        return {};
    std::wstring wide(static_cast<size_t>(length - 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, Text, -1, wide.data(), length);
    return wide;
}

// The message of the exception being handled.
std::wstring CurrentErrorMessage()
{
    try {
        throw;
    } catch (const Exception& error) {
        return error.Message();
    } catch (const std::exception& error) {
        return Widen(error.what());
    } catch (...) {
        return UnknownErrorText;
    }
}

}  // namespace

std::wstring TitleFromExeName(const std::wstring& ExeName)
{
    std::wstring title = ExeName.substr(ExeName.find_last_of(L'\\') + 1);
    title = title.substr(0, title.find(L'.'));
    if (title.size() > 1)
        CharLowerBuffW(title.data() + 1, static_cast<DWORD>(title.size() - 1));
    return title;
}

std::wstring ErrorBoxText(const std::wstring& Message)
{
    // The system's Japanese messages end in "。" already; a "." after it would be a second end.
    constexpr std::wstring_view FullWidthEnds = L"。．！？";
    if (!Message.empty() && Message.back() > L'.' && FullWidthEnds.find(Message.back()) == std::wstring_view::npos)
        return Message + L".";
    return Message;
}

TApplication::TApplication() noexcept
{
    // Worked out once, here: the error box that needs it must not fail on it. Without the path the
    // boxes have no caption.
    try {
        Title_ = TitleFromExeName(ExeName());
    } catch (...) {
        Title_.clear();
    }
}

void TApplication::Initialize()
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

TFormHost TApplication::HostFor(bool IsMainForm)
{
    TFormHost host;
    host.ReportError = [this] { HandleException(); };
    host.MessageCaption = Title_;
    if (IsMainForm) {
        host.Closed = [] { PostQuitMessage(0); };
        host.OnTaskBar = MainFormOnTaskBar;
    }
    return host;
}

void TApplication::Run()
{
    if (!MainForm_ || !MainForm_->Handle())
        return;
    MainForm_->Show();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab, Enter and the accelerator letters work on the main form as in a dialog.
        const HWND main = MainForm_->Handle();
        if (main && IsDialogMessageW(main, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void TApplication::HandleException() noexcept
{
    try {
        ShowException(CurrentErrorMessage());
    } catch (...) {  // out of memory for the message itself
        ShowErrorText(UnknownErrorText);
    }
}

void TApplication::ShowException(const std::wstring& Message) noexcept
{
    try {
        ShowErrorText(ErrorBoxText(Message).c_str());
    } catch (...) {
        ShowErrorText(Message.c_str());
    }
}

int TApplication::ReportFatal() noexcept
{
    try {
        const std::wstring text = std::wstring(FatalErrorText) + L"\r\n\r\n" + CurrentErrorMessage();
        MessageBoxW(nullptr, text.c_str(), Title_.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    } catch (...) {
        MessageBoxW(nullptr, FatalErrorText, Title_.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    }
    return FatalExitCode;
}

void TApplication::ShowErrorText(const wchar_t* Text) const noexcept
{
    const HWND owner = GetActiveWindow();
    // Without an owner, task-modal still disables every window of ours while the box is up.
    MessageBoxW(owner, Text, Title_.c_str(), MB_OK | MB_ICONERROR | (owner ? MB_APPLMODAL : MB_TASKMODAL));
}

}  // namespace Framework
