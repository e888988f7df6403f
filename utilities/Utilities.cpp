#include "Utilities.h"

namespace Utilities {

std::wstring EnsurePathDelimiters(const std::wstring& Path, std::int16_t Mode)
{
    constexpr wchar_t Delimiter = L'\\';
    std::wstring result = Path;
    if (Path.empty())
        return result;
    if (Mode != 1 && Path.front() != Delimiter)
        result.insert(result.begin(), Delimiter);
    if (Mode == 0)
        return result;
    if (Path.back() != Delimiter)
        result.push_back(Delimiter);
    return result;
}

}  // namespace Utilities
