#pragma once
// The captions the start-up benchmark waits for.

namespace Bench {

inline constexpr wchar_t MinimalWindowCaption[] = L"Minimal window";
// The recovery window's caption, as the program sets it.
inline constexpr wchar_t RecoveryCaption[] = L"プログラムの回復";

}  // namespace Bench
