#pragma once
// Utilities: the shared helpers of our programs.

#include <cstdint>
#include <string>

namespace Utilities {

// Makes sure Path begins and/or ends with a backslash, judged by its first and last
// characters only. Mode 0: leading only; 1: trailing only; anything else: both.
// An empty path stays empty.
std::wstring EnsurePathDelimiters(const std::wstring& Path, std::int16_t Mode);

}  // namespace Utilities
