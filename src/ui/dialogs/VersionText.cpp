#include "ui/dialogs/VersionText.h"

#include "platform/Format.h"

#include <cctype>

namespace {

bool IsBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string TrimLeft(const std::string& s)
{
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return s.substr(i);
}

std::string Trim(const std::string& s)
{
    std::string t = TrimLeft(s);
    while (!t.empty() && IsBlank(t.back())) t.pop_back();
    return t;
}

}  // namespace

std::string VersionStringPath(const std::optional<std::vector<std::uint8_t>>& translation,
                              std::uint16_t userLangId, const std::string& name)
{
    std::string block;
    if (translation && translation->size() == 4) {
        const std::vector<std::uint8_t>& t = *translation;
        // Little-endian words: language in bytes 0-1, code page in bytes 2-3.
        block = Format("%02X%02X%02X%02X", t[1], t[0], t[3], t[2]);
    } else {
        block = Format("%04X04B0", static_cast<unsigned>(userLangId));
    }
    return "\\StringFileInfo\\" + block + "\\" + name;
}

std::string GetVersionInfoString(const CVersionModule* module, const std::string& name)
{
    if (!module)
        module = &OwnVersionModule();
    if (!module->version)
        return {};
    const CVersionResource& res = *module->version;
    const auto path = VersionStringPath(QueryVersionValue(res, "\\VarFileInfo\\Translation"),
                                        UserDefaultLangId(), name);
    const auto value = QueryVersionValue(res, path);
    if (!value)
        return {};
    std::string text(value->begin(), value->end());
    // A resource string ends at its terminator, whatever the stored length says.
    if (const auto nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
    return text;
}

std::string FormatVersionNumber(const std::string& text)
{
    if (text.empty())
        return {};
    const std::string version = Trim(text);
    std::size_t comma = version.find(',');
    if (comma == std::string::npos)
        return {};
    std::string result = version.substr(0, comma) + ".";
    std::string rest = version.substr(comma + 1);
    for (;;) {
        rest = TrimLeft(rest);
        comma = rest.find(',');
        if (comma == std::string::npos) {
            result += rest;
            return result;
        }
        result += rest.substr(0, comma);
        rest = rest.substr(comma + 1);
    }
}
