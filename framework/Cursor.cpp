#include "Cursor.h"

#include <windows.h>

namespace Framework {

namespace {
TCursor Current = TCursor::Default;
}

void SetAppCursor(TCursor Cursor)
{
    Current = Cursor;
    // Show it at once; later WM_SETCURSOR messages keep it (see TForm).
    SetCursor(LoadCursorW(nullptr, Cursor == TCursor::HourGlass ? IDC_WAIT : IDC_ARROW));
}

TCursor AppCursor()
{
    return Current;
}

TModalCursor::TModalCursor() : Saved_(Current)
{
    if (Saved_ != TCursor::Default)
        SetAppCursor(TCursor::Default);
}

TModalCursor::~TModalCursor()
{
    if (Saved_ != TCursor::Default)
        SetAppCursor(Saved_);
}

}  // namespace Framework
