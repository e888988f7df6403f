#pragma once
// The recovery window with its four window operations replaced by a recording.

#include "recovery/TalvoRec.h"

#include <functional>
#include <string>
#include <vector>

namespace Testing {

class TRecordingTalvoRecF : public TalvoRec::TTalvoRecF {
public:
    std::vector<std::wstring> Calls;
    bool Answer = true;  // what the confirmation box answers: true for Yes
    // Run while a box is up, as whatever else happens on the machine in the meantime.
    std::function<void(const std::wstring& Text)> WhileConfirming;
    std::function<void(const std::wstring& Text)> WhileShowingMessage;

    void ShowMessage(const std::wstring& Text) override
    {
        Calls.push_back(L"message: " + Text);
        if (WhileShowingMessage)
            WhileShowingMessage(Text);
    }
    bool Confirm(const std::wstring& Text, Framework::TConfirmKind) override
    {
        Calls.push_back(L"confirm: " + Text);
        if (WhileConfirming)
            WhileConfirming(Text);
        return Answer;
    }
    void SetScreenCursor(Framework::TCursor Cursor) override
    {
        Calls.push_back(Cursor == Framework::TCursor::HourGlass ? L"cursor: hourglass" : L"cursor: default");
    }
    void Close() override { Calls.push_back(L"close"); }
};

}  // namespace Testing
