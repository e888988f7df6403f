#pragma once
// The application: start-up, its forms, the message loop, and the standard error box.

#include "Form.h"

#include <memory>
#include <string>
#include <vector>

namespace Framework {

// The exit code of a run that ended with the fatal error report.
inline constexpr int FatalExitCode = 3;

class TApplication {
public:
    TApplication() noexcept;

    // The main form gets its own task-bar button, with its caption and the application icon.
    bool MainFormOnTaskBar = false;

    // Initialises COM for this thread as a single-threaded apartment.
    void Initialize();

    // Makes a form and its window; the first one made is the main form.
    template <class T>
    void CreateForm(T*& Reference)
    {
        auto form = std::make_unique<T>();
        Reference = form.get();
        const bool isMainForm = !MainForm_;
        if (isMainForm)
            MainForm_ = form.get();
        form->SetHost(HostFor(isMainForm));
        Forms_.push_back(std::move(form));
        Reference->CreateHandle();
    }

    // Shows the main form and runs the message loop until it has closed.
    void Run();

    // Derived from the executable's name when the application object is made, e.g.
    // "Talvorecmax" for "...\Talvorecmax.exe".
    const std::wstring& Title() const { return Title_; }

    // Shows the error being handled in the standard error box; call it from a catch block. Neither
    // throws: they are the last stop of every error.
    void HandleException() noexcept;
    void ShowException(const std::wstring& Message) noexcept;

    // Reports the error being handled as fatal; returns the exit code to end with.
    int ReportFatal() noexcept;

private:
    // Errors of a form's handlers go to the standard error box and its message boxes carry the
    // title; the main form's closing ends the message loop.
    TFormHost HostFor(bool IsMainForm);
    void ShowErrorText(const wchar_t* Text) const noexcept;

    std::wstring Title_;
    TForm* MainForm_ = nullptr;
    std::vector<std::unique_ptr<TForm>> Forms_;
};

extern TApplication Application;

// The application title for an executable path: the name after the last backslash, cut at its
// first ".", every character after the first in lower case.
std::wstring TitleFromExeName(const std::wstring& ExeName);

// The text of the standard error box: a "." finishes a sentence whose last character sorts after
// ".", unless that is a full-width sentence end (。．！？).
std::wstring ErrorBoxText(const std::wstring& Message);

}  // namespace Framework
