#pragma once
// The controls our forms are made of: label, static text box and push button.

#include "Fonts.h"
#include "Handle.h"
#include "Scaling.h"
#include "style/Style.h"

#include <windows.h>

#include <functional>
#include <string>

namespace Framework {

class TForm;

class TObject {
public:
    virtual ~TObject() = default;
};

struct TBounds {
    int Left, Top, Width, Height;
};

// Creates a visible child window of Parent, known to it by Id, and gives it Font.
HWND CreateChildWindow(HWND Parent, int Id, const wchar_t* ClassName, const std::wstring& Text, DWORD Style,
                       const RECT& Bounds, HFONT Font);

// A window's bounds in its parent's client coordinates.
RECT BoundsInParent(HWND Window);

// The height a text box takes: its designed height, or taller when its text needs more, but no
// taller than Limit. Needed and the result count the box's frame.
int GrownHeight(int Designed, int Needed, int Limit);

class TControl : public TObject {
public:
    // The control adds itself to its owner; controls are created in the order they were made.
    TControl(TForm& Owner, TBounds Bounds, std::wstring Text, TFont Font);

    virtual void CreateHandle(HWND Parent, int Id, const TScaler& Scale) = 0;
    // Takes the form's look, null for the system's: once the window is made, and again whenever
    // high contrast is switched. The size and place stay as they are.
    virtual void SetLook(const TStyle* /*Style*/) {}
    virtual bool TakesFocus() const { return false; }
    virtual void Click() {}
    // Lets the control grow downward to show all of its text, its bottom no lower than MaxBottom.
    virtual void FitToText(int /*MaxBottom*/) {}

    HWND Handle() const { return Handle_; }
    const std::wstring& Text() const { return Text_; }
    COLORREF TextColor() const { return ColorToRGB(Font_.Color); }
    // In a style, text in a system colour takes the style's text colour and text in a colour of
    // its own, an emphasis, the style's title colour.
    COLORREF StyledTextColor(const TStyle& Style) const;
    virtual COLORREF StyledFace(const TStyle& Style) const { return Style.WindowColor; }

protected:
    void CreateWindowHandle(const wchar_t* ClassName, DWORD Style, HWND Parent, int Id, const TScaler& Scale);

    TBounds Bounds_;
    std::wstring Text_;
    TFont Font_;
    HWND Handle_ = nullptr;
    TFontHandle FontHandle_;
};

// Text on the form's background; takes the size of its text, its left edge kept.
class TLabel : public TControl {
public:
    using TControl::TControl;
    void CreateHandle(HWND Parent, int Id, const TScaler& Scale) override;
};

// Text box with a thin frame; the text wraps inside it. It keeps its designed size unless the
// machine's fonts need more lines than that holds. Never takes the focus.
class TStaticText : public TControl {
public:
    using TControl::TControl;
    void CreateHandle(HWND Parent, int Id, const TScaler& Scale) override;
    void SetLook(const TStyle* Style) override;
    void FitToText(int MaxBottom) override;
    COLORREF StyledFace(const TStyle& Style) const override { return Style.TextBoxColor; }
};

// Push button; drawn by its form when a style is active; "&" in its text marks the accelerator letter.
class TBitBtn : public TControl {
public:
    TBitBtn(TForm& Owner, TBounds Bounds, std::wstring Text, TFont Font, std::function<void(TObject*)> OnClick);
    void CreateHandle(HWND Parent, int Id, const TScaler& Scale) override;
    void SetLook(const TStyle* Style) override;
    bool TakesFocus() const override { return true; }
    void Click() override;

private:
    std::function<void(TObject*)> OnClick_;
};

}  // namespace Framework
