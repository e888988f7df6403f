// Measures as this machine lays them out, in a process of its own: Wine reads the screen density
// and the font link once per process, so the layout tests start this under each setting they want.
//
// LayoutProbe <output>: the recovery window's explanation, in client pixels: the height the
// wrapped text needs in the box's own font and width, the box's client height, the box's top and
// bottom, and the top of the buttons.
//
// LayoutProbe <output> <texts>: the styled message boxes for the texts, a UTF-16 file of records
// ended by a null character, each a box kind (P plain, Q confirmation, W confirmation that ends a
// program) and its text. Writes UTF-16: per box "box <outer width> <outer height> <work-area
// width> <work-area height>", then a line "<width> <1 if it ends a paragraph, else 0> <text>" for
// each of its lines.

#include "framework/Controls.h"
#include "framework/Handle.h"
#include "framework/MessageBoxes.h"
#include "recovery/TalvoRec.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace Framework;

namespace {

int MeasureExplanation(FILE* Output)
{
    TalvoRec::TTalvoRecF form;
    form.CreateHandle();
    const HWND box = form.StaticText1.Handle();
    RECT client;
    GetClientRect(box, &client);
    RECT needed{0, 0, client.right, 0};
    {
        TWindowDC dc(box);
        TSelection font(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(box, WM_GETFONT, 0, 0)));
        const std::wstring& text = form.StaticText1.Text();
        DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &needed,
                  DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL);
    }
    const RECT bounds = BoundsInParent(box);
    const RECT button = BoundsInParent(form.BitBtn1.Handle());
    fprintf(Output, "%ld %ld %ld %ld %ld\n", needed.bottom, client.bottom, bounds.top, bounds.bottom, button.top);
    return 0;
}

std::wstring ReadUtf16(const wchar_t* File)
{
    std::wstring text;
    if (FILE* input = _wfopen(File, L"rb")) {
        wchar_t buffer[1024];
        for (size_t read; (read = fread(buffer, sizeof(wchar_t), std::size(buffer), input)) > 0;)
            text.append(buffer, read);
        fclose(input);
    }
    return text;
}

int MeasureBoxes(FILE* Output, const wchar_t* TextsFile)
{
    const std::wstring texts = ReadUtf16(TextsFile);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    std::wstring report;
    for (size_t start = 0, end; (end = texts.find(L'\0', start)) != std::wstring::npos; start = end + 1) {
        const wchar_t kind = texts[start];
        const std::wstring text = texts.substr(start + 1, end - start - 1);
        const TConfirmKind confirm = kind == L'W' ? TConfirmKind::Destructive : TConfirmKind::Ordinary;
        const TBoxContent content = kind == L'P' ? PlainBoxContent(L"Talvorecmax", text)
                                                 : ConfirmationBoxContent(text, confirm);
        const TBoxMeasure box = MeasureStyledBox(content);
        report += L"box " + std::to_wstring(box.Outer.cx) + L" " + std::to_wstring(box.Outer.cy) + L" " +
                  std::to_wstring(work.right - work.left) + L" " + std::to_wstring(work.bottom - work.top) + L"\n";
        for (const TBoxLine& line : box.Lines)
            report += std::to_wstring(line.Width) + (line.EndsParagraph ? L" 1 " : L" 0 ") + line.Text + L"\n";
    }
    return fwrite(report.data(), sizeof(wchar_t), report.size(), Output) == report.size() ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    if (__argc != 2 && __argc != 3)
        return 2;
    FILE* output = _wfopen(__wargv[1], __argc == 2 ? L"w" : L"wb");
    if (!output)
        return 1;
    const int result = __argc == 2 ? MeasureExplanation(output) : MeasureBoxes(output, __wargv[2]);
    return fclose(output) == 0 ? result : 1;
}
