#pragma once
// The base of our windows. A form's handlers reach their window only through the four
// operations below, so they can be driven without a window.

#include <windows.h>

#include <string>

namespace Framework {

class TObject {
public:
    virtual ~TObject() = default;
};

// A window message handed to a form's message handler; the handler may set Result.
struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

enum class TCursor { Default, HourGlass };

class TForm : public TObject {
public:
    // Plain message box: the application title as caption, one OK button. Returns when dismissed.
    virtual void ShowMessage(const std::wstring& Text) = 0;
    // Confirmation box with Yes and Cancel; true only for Yes.
    virtual bool Confirm(const std::wstring& Text) = 0;
    // Application-wide cursor over the client areas of all our windows.
    virtual void SetScreenCursor(TCursor Cursor) = 0;
    // Runs the close query, then closes the window.
    virtual void Close() = 0;
};

}  // namespace Framework
