#pragma once
// The application-wide cursor: while it is the hourglass, every window of ours shows it over its
// client area; title bars and borders keep the system's cursors.

namespace Framework {

enum class TCursor { Default, HourGlass };

void SetAppCursor(TCursor Cursor);
TCursor AppCursor();

// Puts the normal pointer up for the life of a modal box, and the previous cursor back after it.
class TModalCursor {
public:
    TModalCursor();
    ~TModalCursor();
    TModalCursor(const TModalCursor&) = delete;
    TModalCursor& operator=(const TModalCursor&) = delete;

private:
    TCursor Saved_;
};

}  // namespace Framework
