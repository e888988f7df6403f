// What the built Talvorecmax.exe declares to Windows, read back through the resource APIs: a slip in
// the resource script or the manifest changes how the program is started and looks.

#include "GuiDriver.h"
#include "framework/style/Style.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>

using namespace Testing;

namespace {

using TModule = Framework::TOwned<HMODULE, &::FreeLibrary>;

// The built executable's resources and version record.
class TDeclarations {
public:
    TDeclarations()
        : Path_(WinePath(TALVORECMAX_EXE)),
          Module_(LoadLibraryExW(Path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
        Require(static_cast<bool>(Module_), "loading Talvorecmax.exe's resources");
        DWORD ignored = 0;
        Version_.resize(GetFileVersionInfoSizeW(Path_.c_str(), &ignored));
        Require(!Version_.empty() &&
                    GetFileVersionInfoW(Path_.c_str(), 0, static_cast<DWORD>(Version_.size()), Version_.data()),
                "reading the version record");
    }

    // The bytes of a resource; empty when there is none.
    std::string Resource(LPCWSTR Name, LPCWSTR Type) const
    {
        const HRSRC found = FindResourceW(Module_.Get(), Name, Type);
        const HGLOBAL loaded = found ? LoadResource(Module_.Get(), found) : nullptr;
        const void* data = loaded ? LockResource(loaded) : nullptr;
        return data ? std::string(static_cast<const char*>(data), SizeofResource(Module_.Get(), found)) : std::string();
    }

    std::string Manifest() const { return Resource(MAKEINTRESOURCEW(1), RT_MANIFEST); }

    // The optional header and the size of the base relocations, read from the file as the loader
    // reads them.
    IMAGE_OPTIONAL_HEADER64 Header(DWORD& RelocationBytes) const
    {
        const std::string file = ReadBytes(Path_);
        IMAGE_DOS_HEADER dos{};
        IMAGE_NT_HEADERS64 nt{};
        memcpy(&dos, file.data(), std::min(file.size(), sizeof dos));
        if (file.size() >= dos.e_lfanew + sizeof nt)
            memcpy(&nt, file.data() + dos.e_lfanew, sizeof nt);
        const bool stripped = nt.FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED;
        RelocationBytes = stripped ? 0 : nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size;
        return nt.OptionalHeader;
    }

    // A value of the version record by its VerQueryValueW path; empty when there is none.
    std::string VersionValue(const std::wstring& SubBlock) const
    {
        void* value = nullptr;
        UINT size = 0;
        if (!VerQueryValueW(Version_.data(), SubBlock.c_str(), &value, &size) || !value)
            return {};
        // String values count characters, binary ones bytes.
        const bool isText = SubBlock.starts_with(L"\\StringFileInfo\\");
        return std::string(static_cast<const char*>(value), isText ? size * sizeof(wchar_t) : size);
    }

    std::wstring VersionString(const std::wstring& Block, const std::wstring& Key) const
    {
        const std::string bytes = VersionValue(L"\\StringFileInfo\\" + Block + L"\\" + Key);
        std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
        return text.substr(0, text.find(L'\0'));
    }

    // The keys of the string blocks, walked in the raw record (VerQueryValueW names none).
    std::vector<std::wstring> StringBlocks() const
    {
        std::vector<std::wstring> names;
        ForEachChild(Version_.data(), [&](const BYTE* child) {
            if (Key(child) == L"StringFileInfo")
                ForEachChild(child, [&](const BYTE* block) { names.push_back(Key(block)); });
        });
        return names;
    }

private:
    // A node of the record: WORD length, WORD value length, WORD type, its key, then its value and
    // its children, each on a 32-bit boundary.
    static std::wstring Key(const BYTE* Node) { return reinterpret_cast<const wchar_t*>(Node + 6); }
    static size_t Aligned(size_t Offset) { return (Offset + 3) & ~size_t(3); }

    static void ForEachChild(const BYTE* Node, const std::function<void(const BYTE*)>& Visit)
    {
        const WORD length = *reinterpret_cast<const WORD*>(Node);
        const WORD valueLength = *reinterpret_cast<const WORD*>(Node + 2);
        const WORD type = *reinterpret_cast<const WORD*>(Node + 4);
        size_t offset = Aligned(6 + (Key(Node).size() + 1) * sizeof(wchar_t));
        offset = Aligned(offset + (type == 1 ? valueLength * sizeof(wchar_t) : valueLength));
        while (offset + 6 < length) {
            const BYTE* child = Node + offset;
            const WORD childLength = *reinterpret_cast<const WORD*>(child);
            if (childLength == 0)
                break;
            Visit(child);
            offset = Aligned(offset + childLength);
        }
    }

    std::wstring Path_;
    TModule Module_;
    std::vector<BYTE> Version_;
};

// The value of an attribute of the first element with this tag after From; empty when there is none.
std::string Attribute(const std::string& Xml, const std::string& Tag, const std::string& Name, size_t From = 0)
{
    const size_t element = Xml.find("<" + Tag + " ", From);
    if (element == std::string::npos)
        return {};
    const size_t end = Xml.find('>', element);
    const size_t at = Xml.find(" " + Name + "=\"", element);
    if (at == std::string::npos || at > end)
        return {};
    const size_t value = at + Name.size() + 3;
    return Xml.substr(value, Xml.find('"', value) - value);
}

// The text inside the first element with this tag.
std::string ElementText(const std::string& Xml, const std::string& Tag)
{
    const size_t element = Xml.find("<" + Tag);
    const size_t start = element == std::string::npos ? element : Xml.find('>', element);
    if (start == std::string::npos)
        return {};
    return Xml.substr(start + 1, Xml.find('<', start) - start - 1);
}

// The Id of every supportedOS element, sorted and joined by blanks.
std::string SupportedSystems(const std::string& Xml)
{
    std::set<std::string> ids;
    for (size_t at = Xml.find("<supportedOS "); at != std::string::npos; at = Xml.find("<supportedOS ", at + 1))
        ids.insert(Attribute(Xml, "supportedOS", "Id", at));
    std::string joined;
    for (const auto& id : ids)
        joined += (joined.empty() ? "" : " ") + id;
    return joined;
}

// "a.b.c.d" from the two halves of a fixed version.
std::string Dotted(DWORD Most, DWORD Least)
{
    return std::to_string(HIWORD(Most)) + "." + std::to_string(LOWORD(Most)) + "." + std::to_string(HIWORD(Least)) +
           "." + std::to_string(LOWORD(Least));
}

std::string Narrow(const std::wstring& Text)
{
    return std::string(Text.begin(), Text.end());
}

// The images of the group icon: "<width>x<height> <bits> bits" each, as the group names them and
// as each image's own header has it.
std::string IconImages(const TDeclarations& Exe, LPCWSTR Name)
{
    const std::string group = Exe.Resource(Name, RT_GROUP_ICON);
    if (group.size() < 6)
        return {};
    const WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
    std::string images;
    // GRPICONDIRENTRY: width, height, colour count, reserved, planes, bit count, bytes, id.
    constexpr size_t EntrySize = 14;
    for (WORD i = 0; i < count && 6 + (i + 1) * EntrySize <= group.size(); ++i) {
        const char* entry = group.data() + 6 + i * EntrySize;
        const int width = static_cast<BYTE>(entry[0]), height = static_cast<BYTE>(entry[1]);
        const WORD bits = *reinterpret_cast<const WORD*>(entry + 6);
        const WORD id = *reinterpret_cast<const WORD*>(entry + 12);
        const std::string image = Exe.Resource(MAKEINTRESOURCEW(id), RT_ICON);
        BITMAPINFOHEADER header{};
        if (image.size() >= sizeof header)
            memcpy(&header, image.data(), sizeof header);
        // The image's own height counts its AND mask too.
        images += (images.empty() ? "" : ", ") + std::to_string(width) + "x" + std::to_string(height) + " " +
                  std::to_string(bits) + " bits, image " + std::to_string(header.biWidth) + "x" +
                  std::to_string(header.biHeight / 2) + " " + std::to_string(header.biBitCount) + " bits";
    }
    return images;
}

TEST(Executable, DeclaresWhatWindowsStartsAndShowsItWith)
{
    const TDeclarations exe;
    const std::string manifest = exe.Manifest();
    ASSERT_FALSE(manifest.empty()) << "no manifest";
    const size_t dependency = manifest.find("<dependentAssembly");
    const auto fixed = [&] {
        VS_FIXEDFILEINFO info{};
        const std::string bytes = exe.VersionValue(L"\\");
        if (bytes.size() >= sizeof info)
            memcpy(&info, bytes.data(), sizeof info);
        return info;
    }();
    const auto translation = [&] {
        const std::string bytes = exe.VersionValue(L"\\VarFileInfo\\Translation");
        std::string pairs;
        for (size_t at = 0; at + 4 <= bytes.size(); at += 4) {
            char pair[16];
            snprintf(pair, sizeof pair, "%04X %u", *reinterpret_cast<const WORD*>(bytes.data() + at),
                     *reinterpret_cast<const WORD*>(bytes.data() + at + 2));
            pairs += (pairs.empty() ? "" : ", ") + std::string(pair);
        }
        return pairs;
    };
    const auto styleName = [&] {
        const std::string text = exe.Resource(L"AMETHYSTKAMRI", L"VCLSTYLE");
        try {
            return Narrow(Framework::ParseStyle(text).Name);
        } catch (const Framework::EStyleError& error) {
            return "unreadable: " + Narrow(error.Message());
        }
    };
    const auto blocks = [&] {
        std::string joined;
        for (const auto& block : exe.StringBlocks())
            joined += (joined.empty() ? "" : " ") + Narrow(block);
        return joined;
    };

    DWORD relocations = 0;
    const IMAGE_OPTIONAL_HEADER64 header = exe.Header(relocations);
    const auto has = [&](WORD Flag) { return [&, Flag] { return header.DllCharacteristics & Flag ? "yes" : "no"; }; };

    struct TDeclaration {
        const char* What;
        std::function<std::string()> Actual;
        std::string Expected;
    };
    const TDeclaration declarations[] = {
        {"execution level", [&] { return Attribute(manifest, "requestedExecutionLevel", "level"); },
         "requireAdministrator"},
        {"UI access", [&] { return Attribute(manifest, "requestedExecutionLevel", "uiAccess"); }, "false"},
        {"DPI awareness", [&] { return ElementText(manifest, "dpiAware"); }, "true"},
        {"common controls", [&] { return Attribute(manifest, "assemblyIdentity", "name", dependency); },
         "Microsoft.Windows.Common-Controls"},
        {"common controls version", [&] { return Attribute(manifest, "assemblyIdentity", "version", dependency); },
         "6.0.0.0"},
        {"common controls key", [&] { return Attribute(manifest, "assemblyIdentity", "publicKeyToken", dependency); },
         "6595b64144ccf1df"},
        {"supported systems (7, 10, 8.1, 8)", [&] { return SupportedSystems(manifest); },
         "{1f676c76-80e1-4239-95bb-83d0f6d0da78} {35138b9a-5d96-4fbd-8e2d-a2440225f93a} "
         "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38} {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"},
        {"fixed version record", [&] { return fixed.dwSignature == VS_FFI_SIGNATURE ? "valid" : "missing"; }, "valid"},
        {"fixed file version", [&] { return Dotted(fixed.dwFileVersionMS, fixed.dwFileVersionLS); }, "1.1.0.0"},
        {"fixed product version", [&] { return Dotted(fixed.dwProductVersionMS, fixed.dwProductVersionLS); },
         "1.1.0.0"},
        {"string blocks", blocks, "041103A4"},
        {"file version string", [&] { return Narrow(exe.VersionString(L"041103A4", L"FileVersion")); }, "1.1.0.0"},
        {"product version string", [&] { return Narrow(exe.VersionString(L"041103A4", L"ProductVersion")); },
         "1.1.0.0"},
        {"company named", [&] { return exe.VersionString(L"041103A4", L"CompanyName").empty() ? "no" : "yes"; }, "yes"},
        {"translation", translation, "0411 932"},
        {"icon", [&] { return IconImages(exe, L"MAINICON"); }, "32x32 8 bits, image 32x32 8 bits"},
        {"style", styleName, "Amethyst Kamri"},
        {"ASLR", has(IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE), "yes"},
        {"relocations, without which ASLR cannot move it", [&] { return relocations > 0 ? "yes" : "no"; }, "yes"},
        {"64-bit ASLR", has(IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA), "yes"},
        {"NX", has(IMAGE_DLLCHARACTERISTICS_NX_COMPAT), "yes"},
        {"Terminal Server aware", has(IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE), "yes"},
    };
    for (const auto& declaration : declarations)
        EXPECT_EQ(declaration.Actual(), declaration.Expected) << declaration.What;
}

}  // namespace
