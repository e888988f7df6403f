#pragma once
// The recovery window with its four window operations replaced by a recording.

#include "recovery/TalvoRec.h"

#include <string>
#include <vector>

namespace Testing {

class TRecordingTalvoRecF : public TalvoRec::TTalvoRecF {
public:
    std::vector<std::wstring> Calls;
    bool Answer = true;  // what the confirmation box answers: true for Yes

    void ShowMessage(const std::wstring& Text) override { Calls.push_back(L"message: " + Text); }
    bool Confirm(const std::wstring& Text) override
    {
        Calls.push_back(L"confirm: " + Text);
        return Answer;
    }
    void SetScreenCursor(Framework::TCursor Cursor) override
    {
        Calls.push_back(Cursor == Framework::TCursor::HourGlass ? L"cursor: hourglass" : L"cursor: default");
    }
    void Close() override { Calls.push_back(L"close"); }
};

}  // namespace Testing
