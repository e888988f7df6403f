#include "LineBreak.h"

#include <algorithm>

namespace Framework {

namespace {

constexpr std::wstring_view NoLineStart = L"、。，．！？ー」』）…ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ";
constexpr std::wstring_view NoLineEnd = L"「『（";

bool IsIn(std::wstring_view Set, wchar_t c)
{
    return Set.find(c) != std::wstring_view::npos;
}

// A word is a run of ASCII characters other than the blank (a file name), or of katakana (a
// loanword such as インストール): lines break around it, not inside.
int WordKind(wchar_t c)
{
    if (c > L' ' && c < 0x7F)
        return 1;
    if ((c >= L'ァ' && c <= L'ヺ') || c == L'ー')
        return 2;
    return 0;
}

// True when a line may end before Text[At], 0 < At < Text.size().
bool MayBreakBefore(std::wstring_view Text, size_t At)
{
    const wchar_t before = Text[At - 1], after = Text[At];
    if (after == L' ' || IsIn(NoLineStart, after) || IsIn(NoLineEnd, before))
        return false;
    return before == L' ' || WordKind(before) == 0 || WordKind(before) != WordKind(after);
}

// One paragraph with where each of its characters ends.
struct TParagraph {
    size_t Start;
    std::wstring_view Text;
    std::vector<int> Ends;

    // Width of Text[From, To) without the blanks at its end.
    int Width(size_t From, size_t To) const
    {
        while (To > From && Text[To - 1] == L' ')
            --To;
        return To == From ? 0 : Ends[To - 1] - (From ? Ends[From - 1] : 0);
    }
};

// Each line takes as much as fits up to a place it may end; where none fits, as many characters
// as fit, at least one.
void BreakParagraph(const TParagraph& Paragraph, int Width, TTextLayout& Layout)
{
    const size_t size = Paragraph.Text.size();
    if (size == 0) {
        Layout.Lines.push_back({Paragraph.Start, 0, 0, true});
        return;
    }
    for (size_t start = 0; start < size;) {
        size_t end = 0;
        for (size_t at = start + 1; at <= size; ++at) {
            if (at < size && !MayBreakBefore(Paragraph.Text, at))
                continue;
            if (Paragraph.Width(start, at) > Width)
                break;
            end = at;
        }
        if (end == 0) {
            end = start + 1;
            while (end < size && Paragraph.Width(start, end + 1) <= Width)
                ++end;
        }
        const int width = Paragraph.Width(start, end);
        Layout.Lines.push_back({Paragraph.Start + start, end - start, width, end == size});
        Layout.Width = std::max(Layout.Width, width);
        start = end;
    }
}

TTextLayout BreakParagraphs(const std::vector<TParagraph>& Paragraphs, int Width)
{
    TTextLayout layout;
    for (const TParagraph& paragraph : Paragraphs)
        BreakParagraph(paragraph, Width, layout);
    return layout;
}

bool HasShortLastLine(const TTextLayout& Layout)
{
    for (size_t i = 1; i < Layout.Lines.size(); ++i) {
        const TTextLine& line = Layout.Lines[i];
        const TTextLine& above = Layout.Lines[i - 1];
        if (line.EndsParagraph && !above.EndsParagraph && 4 * line.Width < above.Width)
            return true;
    }
    return false;
}

}  // namespace

TTextLayout LayOutText(std::wstring_view Text, int MinWidth, int MaxWidth, const TTextAdvances& Advances)
{
    std::vector<TParagraph> paragraphs;
    for (size_t start = 0;;) {
        const size_t end = std::min(Text.find_first_of(L"\r\n", start), Text.size());
        const std::wstring_view text = Text.substr(start, end - start);
        paragraphs.push_back({start, text, text.empty() ? std::vector<int>() : Advances(text)});
        if (end == Text.size())
            break;
        start = end + (Text.substr(end, 2) == L"\r\n" ? 2 : 1);
    }
    // Narrower widths give another layout only below the widest line of the last one tried.
    for (int width = MaxWidth; width >= MinWidth;) {
        TTextLayout layout = BreakParagraphs(paragraphs, width);
        if (!HasShortLastLine(layout))
            return layout;
        width = std::min(width, layout.Width) - 1;
    }
    return BreakParagraphs(paragraphs, MaxWidth);
}

}  // namespace Framework
