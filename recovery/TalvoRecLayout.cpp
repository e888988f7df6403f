// The recovery window as designed, at 96 pixels per inch, and the binding of its events.

#include "TalvoRec.h"

#include "framework/Fonts.h"

namespace TalvoRec {

namespace {

using Framework::clWindowText;
using Framework::TFont;

constexpr TFont FormFont{L"Tahoma", 11, false, clWindowText};
constexpr TFont TitleFont{L"Tahoma", 27, true, RGB(0, 0, 128)};
constexpr TFont ExplanationFont{L"Tahoma", 16, true, clWindowText};
constexpr TFont ButtonFont{L"Tahoma", 13, true, clWindowText};

}  // namespace

TTalvoRecF::TTalvoRecF()
    : Label1(*this, {48, 24, 337, 33}, L"タルボ支援システムの回復", TitleFont),
      StaticText1(*this, {96, 88, 263, 65},
                  L"プログラムのアップデート中に何らかのエラーでプログラムが起動しなくなった場合、"
                  L"直前のバージョンに戻します。",
                  ExplanationFont),
      BitBtn1(*this, {144, 200, 123, 41}, L"回復を実行(&R)", ButtonFont,
              [this](TObject* Sender) { BitBtn1Click(Sender); }),
      BitBtn2(*this, {296, 200, 89, 41}, L"閉じる(&X)", ButtonFont, [this](TObject* Sender) { BitBtn2Click(Sender); })
{
    Caption = WindowCaption;
    ClientWidth = 469;
    ClientHeight = 299;
    Font = FormFont;
    OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
    OnCloseQuery = [this](TObject* Sender, bool& CanClose) { FormCloseQuery(Sender, CanClose); };
    HandleMessage(WM_QUERYENDSESSION, [this](TMessage& Message) { WMQueryEndSession(Message); });
    HandleMessage(WM_ENDSESSION, [this](TMessage& Message) { WMEndSession(Message); });
}

}  // namespace TalvoRec
