// The recovery window made of its design (TalvoRecDesign.h), and the binding of its events.

#include "TalvoRec.h"

namespace TalvoRec {

TTalvoRecF::TTalvoRecF()
    : Label1(*this, Design::TitleBounds, TitleText, Design::TitleFont),
      StaticText1(*this, Design::ExplanationBounds, ExplanationText, Design::ExplanationFont),
      BitBtn1(*this, Design::RecoverButtonBounds, RecoverButtonText, Design::ButtonFont,
              [this](TObject* Sender) { BitBtn1Click(Sender); }),
      BitBtn2(*this, Design::CloseButtonBounds, CloseButtonText, Design::ButtonFont,
              [this](TObject* Sender) { BitBtn2Click(Sender); })
{
    Caption = WindowCaption;
    ClientWidth = Design::ClientWidth;
    ClientHeight = Design::ClientHeight;
    Font = Design::FormFont;
    OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
    OnCloseQuery = [this](TObject* Sender, bool& CanClose) { FormCloseQuery(Sender, CanClose); };
    HandleMessage(WM_QUERYENDSESSION, [this](TMessage& Message) { WMQueryEndSession(Message); });
    HandleMessage(WM_ENDSESSION, [this](TMessage& Message) { WMEndSession(Message); });
}

}  // namespace TalvoRec
