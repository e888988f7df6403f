#include "Style.h"

#include "framework/SysUtils.h"

#include <vector>

namespace Framework {

namespace {

// One key of the format and where its value goes: a colour or a metric.
struct TField {
    std::string Key;
    COLORREF* Color;
    int* Metric;
    bool Seen = false;
};

std::vector<TField> FieldsOf(TStyle& Style)
{
    std::vector<TField> fields = {
        {"window.color", &Style.WindowColor, nullptr},   {"window.text", &Style.WindowText, nullptr},
        {"title.text", &Style.TitleText, nullptr},       {"textbox.color", &Style.TextBoxColor, nullptr},
        {"textbox.frame", &Style.TextBoxFrame, nullptr}, {"box.strip", &Style.BoxStrip, nullptr},
        {"focus.color", &Style.FocusColor, nullptr},     {"button.radius", nullptr, &Style.ButtonRadius},
        {"focus.inset", nullptr, &Style.FocusInset},
    };
    const char* const states[ButtonStateCount] = {"normal", "hot", "pressed", "focused", "disabled"};
    for (int i = 0; i < ButtonStateCount; ++i) {
        const std::string prefix = std::string("button.") + states[i];
        fields.push_back({prefix + ".face", &Style.Button[i].Face, nullptr});
        fields.push_back({prefix + ".border", &Style.Button[i].Border, nullptr});
        fields.push_back({prefix + ".text", &Style.Button[i].Text, nullptr});
    }
    return fields;
}

std::string_view Trim(std::string_view Text)
{
    const auto first = Text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return Text.substr(first, Text.find_last_not_of(" \t\r") - first + 1);
}

// How much of a bad key, value or line an error quotes: enough to find it, and an error box of
// reasonable size even when the text is a binary file with no line breaks.
constexpr size_t QuotedLength = 40;

// Bytes shown as they are, one character each; a text cut at QuotedLength ends in "...".
std::wstring Quoted(std::string_view Text)
{
    std::wstring quoted = L"\"";
    for (const char c : Text.substr(0, QuotedLength))
        quoted.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    if (Text.size() > QuotedLength)
        quoted += L"...";
    return quoted + L"\"";
}

[[noreturn]] void Fail(int Line, const std::wstring& What)
{
    throw EStyleError(L"line " + UIntToStr(Line) + L": " + What);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

COLORREF ParseColor(std::string_view Value, int Line)
{
    int channels[3] = {};
    bool valid = Value.size() == 7 && Value[0] == '#';
    for (int i = 0; valid && i < 3; ++i) {
        const int high = HexDigit(Value[1 + 2 * i]), low = HexDigit(Value[2 + 2 * i]);
        valid = high >= 0 && low >= 0;
        channels[i] = high * 16 + low;
    }
    if (!valid)
        Fail(Line, L"bad colour " + Quoted(Value) + L", expected #RRGGBB");
    return RGB(channels[0], channels[1], channels[2]);
}

int ParseMetric(std::string_view Value, int Line)
{
    constexpr int Largest = 64;
    int metric = 0;
    bool valid = !Value.empty() && Value.size() <= 2;
    for (const char c : Value) {
        valid = valid && c >= '0' && c <= '9';
        metric = metric * 10 + (c - '0');
    }
    if (!valid || metric > Largest)
        Fail(Line, L"bad metric " + Quoted(Value) + L", expected 0 to 64 pixels");
    return metric;
}

std::wstring ParseName(std::string_view Value, int Line)
{
    const int size = static_cast<int>(Value.size());
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Value.data(), size, nullptr, 0);
    if (Value.empty() || length <= 0)
        Fail(Line, L"the name is empty or not UTF-8");
    std::wstring name(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Value.data(), size, name.data(), length);
    return name;
}

}  // namespace

TStyle ParseStyle(std::string_view Text)
{
    // Editors on Windows start a UTF-8 text with a byte-order mark.
    constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
    if (Text.substr(0, ByteOrderMark.size()) == ByteOrderMark)
        Text.remove_prefix(ByteOrderMark.size());
    TStyle style;
    auto fields = FieldsOf(style);
    int line = 0;
    while (!Text.empty()) {
        ++line;
        const auto end = Text.find('\n');
        const std::string_view content = Trim(Text.substr(0, end));
        Text = end == std::string_view::npos ? std::string_view() : Text.substr(end + 1);
        if (content.empty() || content[0] == '#')
            continue;

        const auto equals = content.find('=');
        if (equals == std::string_view::npos)
            Fail(line, L"expected \"key = value\", found " + Quoted(content));
        const std::string_view key = Trim(content.substr(0, equals));
        const std::string_view value = Trim(content.substr(equals + 1));
        if (key == "name") {
            if (!style.Name.empty())
                Fail(line, L"the name is given twice");
            style.Name = ParseName(value, line);
            continue;
        }
        auto field = fields.begin();
        while (field != fields.end() && field->Key != key)
            ++field;
        if (field == fields.end())
            Fail(line, L"unknown key " + Quoted(key));
        if (field->Seen)
            Fail(line, L"key " + Quoted(key) + L" is given twice");
        field->Seen = true;
        if (field->Color)
            *field->Color = ParseColor(value, line);
        else
            *field->Metric = ParseMetric(value, line);
    }
    if (style.Name.empty())
        throw EStyleError(L"the style has no name");
    for (const TField& field : fields)
        if (!field.Seen)
            throw EStyleError(L"key " + Quoted(field.Key) + L" is missing");
    return style;
}

}  // namespace Framework
