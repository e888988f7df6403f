#pragma once
// The styles the program can be drawn in and the one in use. The application's styles are the
// executable's VCLSTYLE resources, each registered under the name stored inside it.

#include "Style.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Framework {

class TStyleManager {
public:
    // Registers a style from its text; a text that is not a style raises Exception
    // "スタイル '<Source>' を読み込めません" with the parser's reason on a second line, e.g.
    // "line 3: bad colour ...". A second style of the same name is ignored.
    void Register(std::string_view Text, const std::wstring& Source);
    // Registers every VCLSTYLE resource of the module, read in place.
    void RegisterResources(HMODULE Module);

    // The style of that name, ignoring case; null when there is none.
    const TStyle* Find(const std::wstring& Name) const;
    // Makes the named style the active one. When there is none, says so in an error box if asked,
    // keeps the current look and returns false.
    bool TrySetStyle(const std::wstring& Name, bool ShowError = true);
    const TStyle* Active() const { return Active_; }

private:
    std::vector<std::unique_ptr<TStyle>> Styles_;
    const TStyle* Active_ = nullptr;
};

// The application's style manager; the executable's styles are registered on first use.
TStyleManager& StyleManager();

// Whether the user has turned high contrast on: the system's colours then win over any style.
bool HighContrastOn();

// The style our windows are drawn in; null for the standard look, which high contrast also asks
// for. A form reads it when its window is made and again when high contrast is switched, and hands
// it to its controls and boxes.
const TStyle* ActiveStyle();

}  // namespace Framework
