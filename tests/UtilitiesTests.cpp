#include "utilities/Utilities.h"

#include <gtest/gtest.h>

using Utilities::EnsurePathDelimiters;

namespace {

struct TDelimiterCase {
    const wchar_t* Input;
    const wchar_t* Leading;   // mode 0
    const wchar_t* Trailing;  // mode 1
    const wchar_t* Both;      // any other mode
};

const TDelimiterCase DelimiterCases[] = {
    {L"", L"", L"", L""},
    {L"abc", L"\\abc", L"abc\\", L"\\abc\\"},
    {L"C:\\dir\\", L"\\C:\\dir\\", L"C:\\dir\\", L"\\C:\\dir\\"},
    {L"C:\\dir", L"\\C:\\dir", L"C:\\dir\\", L"\\C:\\dir\\"},
    {L"\\", L"\\", L"\\", L"\\"},
    {L"a/", L"\\a/", L"a/\\", L"\\a/\\"},
    // Only the ends are looked at: doubled delimiters and blanks inside stay as they are.
    {L"\\\\server\\share dir", L"\\\\server\\share dir", L"\\\\server\\share dir\\", L"\\\\server\\share dir\\"},
};

TEST(EnsurePathDelimiters, AddsMissingDelimitersByMode)
{
    for (const auto& c : DelimiterCases) {
        SCOPED_TRACE(testing::Message() << "input length " << std::wstring(c.Input).size());
        EXPECT_EQ(EnsurePathDelimiters(c.Input, 0), c.Leading);
        EXPECT_EQ(EnsurePathDelimiters(c.Input, 1), c.Trailing);
        EXPECT_EQ(EnsurePathDelimiters(c.Input, 2), c.Both);
        for (std::int16_t other : {std::int16_t(-1), std::int16_t(3), std::int16_t(32767)})
            EXPECT_EQ(EnsurePathDelimiters(c.Input, other), c.Both);
    }
}

TEST(EnsurePathDelimiters, LeavesItsArgumentUnchanged)
{
    const std::wstring path = L"C:\\dir";
    EnsurePathDelimiters(path, 2);
    EXPECT_EQ(path, L"C:\\dir");
}

}  // namespace
