#pragma once
// The base of our windows: a form made from its layout (caption, client size, font, controls),
// a dialog whose procedure dispatches to member handlers, and the four operations its handlers
// use to reach the window. Tests override those four to drive the handlers without a window.

#include "Controls.h"
#include "Cursor.h"
#include "MessageBoxes.h"
#include "SysUtils.h"
#include "WindowObject.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Framework {

// A window message handed to a form's message handler; the handler may set Result.
struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
using TMessageHandler = std::function<void(TMessage& Message)>;

// Where a window of the given outer size goes to be centred on a work area; never left of or
// above the virtual desktop.
POINT CenteredPosition(const RECT& WorkArea, SIZE Window, POINT VirtualOrigin);

// What the application running a form gives it. A form made on its own, as tests make them, has
// none of it: errors of its handlers stop at its dialog procedure, and its closing ends nothing.
struct TFormHost {
    TErrorReporter ReportError;    // for errors of the form's handlers and of its styled boxes
    std::function<void()> Closed;  // called once the form's window has gone
    std::wstring MessageCaption;   // the caption of the form's plain message boxes
    bool OnTaskBar = false;        // a task-bar button of its own, with its caption and the application icon
};

class TForm : public TObject {
public:
    TForm() = default;
    ~TForm() override;
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    // Plain message box: the application title as caption, one OK button. Returns when dismissed.
    virtual void ShowMessage(const std::wstring& Text);
    // Confirmation box with Yes and Cancel, its default button and icon by Kind; true only for Yes.
    virtual bool Confirm(const std::wstring& Text, TConfirmKind Kind = TConfirmKind::Ordinary);
    // Application-wide cursor over the client areas of all our windows.
    virtual void SetScreenCursor(TCursor Cursor);
    // Runs the close query, then closes the window. An error in the close query is reported and
    // does not keep the window open: a window that cannot be closed would trap the user.
    virtual void Close();

    // Creates the window and its controls, scaled to the screen's density and centred, then runs
    // OnCreate. The window stays hidden until Show.
    void CreateHandle();
    void Show();
    HWND Handle() const { return Handle_; }

    // Called by the application that runs the form, before CreateHandle.
    void SetHost(TFormHost Host) { Host_ = std::move(Host); }

protected:
    // The layout, filled in by the derived form's constructor; sizes at 96 pixels per inch.
    std::wstring Caption;
    int ClientWidth = 0;
    int ClientHeight = 0;
    TFont Font;

    TNotifyEvent OnCreate;
    TCloseQueryEvent OnCloseQuery;
    // Handlers that take the place of any default handling of these messages.
    void HandleMessage(UINT Msg, TMessageHandler Handler);

private:
    friend class TControl;
    void AddControl(TControl* Control) { Controls_.push_back(Control); }

    friend INT_PTR CALLBACK ObjectDialogProc<TForm>(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
    void Attach(HWND Window) { Handle_ = Window; }
    void Detach() { Handle_ = nullptr; }
    std::optional<LRESULT> Dispatch(UINT Msg, WPARAM WParam, LPARAM LParam);
    void OnCommand(WPARAM WParam, LPARAM LParam);
    TControl* FindControl(HWND Window) const;
    // The lowest a control may grow to: a gap above the nearest control below it, or above the
    // bottom of the client area.
    int BottomLimit(const TControl& Control) const;
    TControl* FirstFocusControl() const;
    // Takes the look of the moment, the style or the system's, and paints the window again in it.
    void UpdateLook();
    void ReportError() const noexcept;
    TBoxOwner BoxOwner() const { return {Handle_, Style_, Host_.ReportError}; }

    TFormHost Host_;
    HWND Handle_ = nullptr;
    // The look, chosen when the window is made and again when high contrast is switched: in a
    // style the buttons are owner-drawn, otherwise the system draws them.
    const TStyle* Style_ = nullptr;
    bool HighContrast_ = false;
    bool Closing_ = false;
    TScaler Scaler_;
    TFontHandle FontHandle_;
    std::vector<TControl*> Controls_;
    std::vector<std::pair<UINT, TMessageHandler>> MessageHandlers_;
};

}  // namespace Framework
