#pragma once
// Breaking a text into lines for our own boxes, by the rules a Japanese reader expects: no line
// starts with closing punctuation, a long-vowel mark or a small kana, none ends with an opening
// bracket, and neither an ASCII word such as a file name nor a katakana word is cut. Of the
// widths allowed, the widest is taken that leaves no paragraph a last line under a quarter of the
// line above it.

#include <functional>
#include <string_view>
#include <vector>

namespace Framework {

// Where each character of a run of text ends, in pixels from the start of the run, as the font
// the lines are drawn in lays it out.
using TTextAdvances = std::function<std::vector<int>(std::wstring_view Run)>;

struct TTextLine {
    size_t Start = 0;   // in the text
    size_t Length = 0;  // the blanks it breaks at included; a line break between paragraphs is in no line
    int Width = 0;      // without those blanks
    bool EndsParagraph = false;
};

struct TTextLayout {
    std::vector<TTextLine> Lines;
    int Width = 0;  // of the widest line
};

// Lays Text out in lines no wider than a width between MinWidth and MaxWidth; "\r\n", "\n" and
// "\r" end a paragraph. A run without a break that alone is wider than MaxWidth is cut where it
// has to be.
TTextLayout LayOutText(std::wstring_view Text, int MinWidth, int MaxWidth, const TTextAdvances& Advances);

}  // namespace Framework
