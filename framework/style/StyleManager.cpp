#include "StyleManager.h"

#include "framework/MessageBoxes.h"
#include "framework/SysUtils.h"

#include <exception>

namespace Framework {

namespace {

constexpr wchar_t ResourceType[] = L"VCLSTYLE";
constexpr wchar_t ErrorCaption[] = L"エラー";
constexpr wchar_t CloseButton[] = L"閉じる(&C)";

TStyleManager* Instance = nullptr;

std::wstring ResourceName(LPCWSTR Name)
{
    if (IS_INTRESOURCE(Name))
        return L"#" + UIntToStr(reinterpret_cast<ULONG_PTR>(Name));
    return Name;
}

void RegisterResource(TStyleManager& Manager, HMODULE Module, LPCWSTR Name)
{
    const HRSRC found = FindResourceW(Module, Name, ResourceType);
    const HGLOBAL loaded = found ? LoadResource(Module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    const std::string_view text = data ? std::string_view(static_cast<const char*>(data), SizeofResource(Module, found))
                                       : std::string_view();
    // Resources are mapped with the module: the text is read where it lies.
    Manager.Register(text, ResourceName(Name));
}

// An exception must not unwind through the system's enumeration: it is kept and raised after.
struct TEnumContext {
    TStyleManager* Manager;
    std::exception_ptr Error;
};

BOOL CALLBACK RegisterEnumerated(HMODULE Module, LPCWSTR, LPWSTR Name, LONG_PTR Param)
{
    auto* context = reinterpret_cast<TEnumContext*>(Param);
    try {
        RegisterResource(*context->Manager, Module, Name);
        return TRUE;
    } catch (...) {
        context->Error = std::current_exception();
        return FALSE;
    }
}

}  // namespace

void TStyleManager::Register(std::string_view Text, const std::wstring& Source)
{
    TStyle style;
    try {
        style = ParseStyle(Text);
    } catch (const EStyleError& error) {
        // Whoever has to mend the style needs to know where it went wrong.
        throw Exception(L"スタイル '" + Source + L"' を読み込めません\r\n" + error.Message());
    }
    if (!Find(style.Name))
        Styles_.push_back(std::make_unique<TStyle>(std::move(style)));
}

void TStyleManager::RegisterResources(HMODULE Module)
{
    TEnumContext context{this, nullptr};
    EnumResourceNamesW(Module, ResourceType, &RegisterEnumerated, reinterpret_cast<LONG_PTR>(&context));
    if (context.Error)
        std::rethrow_exception(context.Error);
}

const TStyle* TStyleManager::Find(const std::wstring& Name) const
{
    for (const auto& style : Styles_)
        if (CompareStringOrdinal(style->Name.c_str(), -1, Name.c_str(), -1, TRUE) == CSTR_EQUAL)
            return style.get();
    return nullptr;
}

bool TStyleManager::TrySetStyle(const std::wstring& Name, bool ShowError)
{
    if (const TStyle* style = Find(Name)) {
        Active_ = style;
        return true;
    }
    if (ShowError)
        ShowErrorBox(nullptr, ErrorCaption, L"スタイル '" + Name + L"' が見つかりません", CloseButton);
    return false;
}

TStyleManager& StyleManager()
{
    if (!Instance) {
        auto manager = std::make_unique<TStyleManager>();
        manager->RegisterResources(GetModuleHandleW(nullptr));
        Instance = manager.release();  // lives as long as the process
    }
    return *Instance;
}

bool HighContrastOn()
{
    HIGHCONTRASTW highContrast{};
    highContrast.cbSize = sizeof highContrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof highContrast, &highContrast, 0) &&
           (highContrast.dwFlags & HCF_HIGHCONTRASTON);
}

const TStyle* ActiveStyle()
{
    return Instance && !HighContrastOn() ? Instance->Active() : nullptr;
}

}  // namespace Framework
