#pragma once
// The caption of the minimal window, which the start-up benchmark waits for.

namespace Bench {

inline constexpr wchar_t MinimalWindowCaption[] = L"Minimal window";

}  // namespace Bench
