#pragma once
// The recovery window as designed: its caption and texts, and at 96 pixels per inch its client
// size, its font and those of its controls, and where they go. TTalvoRecF is made of these
// (TalvoRecLayout.cpp), and so is the start-up benchmark's plain Win32 window, which includes no
// more than this.

#include "framework/Controls.h"
#include "framework/Fonts.h"

namespace TalvoRec {

inline constexpr wchar_t WindowCaption[] = L"プログラムの回復";
// The window's own texts.
inline constexpr wchar_t TitleText[] = L"タルボ支援システムの回復";
inline constexpr wchar_t ExplanationText[] =
    L"プログラムのアップデート中に何らかのエラーでプログラムが起動しなくなった場合、直前のバージョンに戻します。";
inline constexpr wchar_t RecoverButtonText[] = L"回復を実行(&R)";
inline constexpr wchar_t CloseButtonText[] = L"閉じる(&X)";

// Sizes in pixels at 96 pixels per inch, font heights the character height.
namespace Design {
inline constexpr int ClientWidth = 469;
inline constexpr int ClientHeight = 299;
inline constexpr Framework::TFont FormFont{L"Tahoma", 11, false, Framework::clWindowText};
inline constexpr Framework::TFont TitleFont{L"Tahoma", 27, true, RGB(0, 0, 128)};
inline constexpr Framework::TFont ExplanationFont{L"Tahoma", 16, true, Framework::clWindowText};
inline constexpr Framework::TFont ButtonFont{L"Tahoma", 13, true, Framework::clWindowText};
inline constexpr Framework::TBounds TitleBounds{48, 24, 337, 33};
inline constexpr Framework::TBounds ExplanationBounds{96, 88, 263, 65};
inline constexpr Framework::TBounds RecoverButtonBounds{144, 200, 123, 41};
inline constexpr Framework::TBounds CloseButtonBounds{296, 200, 89, 41};
}  // namespace Design

}  // namespace TalvoRec
