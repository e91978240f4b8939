#include "platform/VersionInfo.h"

#include <algorithm>
#include <cctype>
#include <map>

std::vector<std::uint8_t> CVersionResource::Translations(
    const std::vector<std::pair<std::uint16_t, std::uint16_t>>& pairs)
{
    std::vector<std::uint8_t> bytes;
    for (const auto& [lang, codePage] : pairs) {
        bytes.push_back(static_cast<std::uint8_t>(lang & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(lang >> 8));
        bytes.push_back(static_cast<std::uint8_t>(codePage & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(codePage >> 8));
    }
    return bytes;
}

namespace {

bool EqualNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// "\A\B\C" -> {"A", "B", "C"}; empty parts (doubled or trailing separators) are dropped.
std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty())
                parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(std::move(part));
    return parts;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> QueryVersionValue(const CVersionResource& res,
                                                           const std::string& path)
{
    const std::vector<std::string> parts = SplitPath(path);
    if (parts.size() == 2 && EqualNoCase(parts[0], "VarFileInfo") &&
        EqualNoCase(parts[1], "Translation"))
        return res.translation;
    if (parts.size() != 3 || !EqualNoCase(parts[0], "StringFileInfo"))
        return std::nullopt;
    for (const CVersionStringTable& table : res.tables) {
        if (!EqualNoCase(table.block, parts[1]))
            continue;
        for (const auto& [name, value] : table.values)
            if (EqualNoCase(name, parts[2]))
                return std::vector<std::uint8_t>(value.begin(), value.end());
        return std::nullopt;
    }
    return std::nullopt;
}

std::uint16_t LangIdFromLocale(const QLocale& locale)
{
    using L = QLocale;
    constexpr std::uint16_t kCustomDefault = 0x0C00;
    const L::Language lang = locale.language();
    if (lang == L::C || lang == L::AnyLanguage)
        return 0x0409;

    // Language and territory with an identifier of their own.
    static const std::map<std::pair<L::Language, L::Territory>, std::uint16_t> exact = {
        {{L::English, L::UnitedStates}, 0x0409}, {{L::English, L::UnitedKingdom}, 0x0809},
        {{L::English, L::Australia}, 0x0C09},    {{L::English, L::Canada}, 0x1009},
        {{L::English, L::NewZealand}, 0x1409},   {{L::English, L::Ireland}, 0x1809},
        {{L::English, L::SouthAfrica}, 0x1C09},  {{L::English, L::India}, 0x4009},
        {{L::German, L::Germany}, 0x0407},       {{L::German, L::Switzerland}, 0x0807},
        {{L::German, L::Austria}, 0x0C07},       {{L::German, L::Luxembourg}, 0x1007},
        {{L::French, L::France}, 0x040C},        {{L::French, L::Belgium}, 0x080C},
        {{L::French, L::Canada}, 0x0C0C},        {{L::French, L::Switzerland}, 0x100C},
        {{L::French, L::Luxembourg}, 0x140C},    {{L::Spanish, L::Spain}, 0x0C0A},
        {{L::Spanish, L::Mexico}, 0x080A},       {{L::Spanish, L::Argentina}, 0x2C0A},
        {{L::Spanish, L::UnitedStates}, 0x540A}, {{L::Italian, L::Italy}, 0x0410},
        {{L::Italian, L::Switzerland}, 0x0810},  {{L::Dutch, L::Netherlands}, 0x0413},
        {{L::Dutch, L::Belgium}, 0x0813},        {{L::Portuguese, L::Brazil}, 0x0416},
        {{L::Portuguese, L::Portugal}, 0x0816},  {{L::Chinese, L::China}, 0x0804},
        {{L::Chinese, L::Taiwan}, 0x0404},       {{L::Chinese, L::HongKong}, 0x0C04},
        {{L::Chinese, L::Singapore}, 0x1004},    {{L::Swedish, L::Finland}, 0x081D},
    };
    if (auto it = exact.find({lang, locale.territory()}); it != exact.end())
        return it->second;

    // Otherwise the language's primary identifier with its default sub-language (1).
    static const std::map<L::Language, std::uint16_t> primary = {
        {L::Arabic, 0x01},     {L::Bulgarian, 0x02},
        {L::Catalan, 0x03},    {L::Chinese, 0x04},
        {L::Czech, 0x05},      {L::Danish, 0x06},
        {L::German, 0x07},     {L::Greek, 0x08},
        {L::English, 0x09},    {L::Spanish, 0x0A},
        {L::Finnish, 0x0B},    {L::French, 0x0C},
        {L::Hebrew, 0x0D},     {L::Hungarian, 0x0E},
        {L::Icelandic, 0x0F},  {L::Italian, 0x10},
        {L::Japanese, 0x11},   {L::Korean, 0x12},
        {L::Dutch, 0x13},      {L::NorwegianBokmal, 0x14},
        {L::Polish, 0x15},     {L::Portuguese, 0x16},
        {L::Romanian, 0x18},   {L::Russian, 0x19},
        {L::Croatian, 0x1A},   {L::Slovak, 0x1B},
        {L::Albanian, 0x1C},   {L::Swedish, 0x1D},
        {L::Thai, 0x1E},       {L::Turkish, 0x1F},
        {L::Urdu, 0x20},       {L::Indonesian, 0x21},
        {L::Ukrainian, 0x22},  {L::Belarusian, 0x23},
        {L::Slovenian, 0x24},  {L::Estonian, 0x25},
        {L::Latvian, 0x26},    {L::Lithuanian, 0x27},
        {L::Persian, 0x29},    {L::Vietnamese, 0x2A},
        {L::Armenian, 0x2B},   {L::Basque, 0x2D},
        {L::Macedonian, 0x2F}, {L::Afrikaans, 0x36},
        {L::Georgian, 0x37},   {L::Hindi, 0x39},
        {L::Irish, 0x3C},      {L::Malay, 0x3E},
        {L::Kazakh, 0x3F},     {L::Swahili, 0x41},
        {L::Bengali, 0x45},    {L::Tamil, 0x49},
        {L::Welsh, 0x52},      {L::Galician, 0x56},
    };
    if (lang == L::NorwegianNynorsk)
        return 0x0814;
    if (auto it = primary.find(lang); it != primary.end())
        return static_cast<std::uint16_t>((1 << 10) | it->second);
    return kCustomDefault;
}

std::uint16_t UserDefaultLangId()
{
    return LangIdFromLocale(QLocale());
}
