#pragma once
#include <QLocale>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Stand-in for a module's version resource on systems that have none: a translation list
// and string tables, queried by the same paths ("\VarFileInfo\Translation",
// "\StringFileInfo\<block>\<name>") with the same case-insensitive matching of names.
struct CVersionStringTable {
    std::string block;  // e.g. "040904b0": language and code page in hexadecimal
    std::vector<std::pair<std::string, std::string>> values;
};

struct CVersionResource {
    // Raw bytes of the Translation value, as the resource stores them: for each translation a
    // little-endian language word, then a little-endian code-page word. No value when the
    // resource has no translation entry at all.
    std::optional<std::vector<std::uint8_t>> translation;
    std::vector<CVersionStringTable> tables;

    // Translation bytes for the given (language, code page) pairs.
    static std::vector<std::uint8_t> Translations(
        const std::vector<std::pair<std::uint16_t, std::uint16_t>>& pairs);
};

// What a module is to the lookup: it may lack a version resource altogether.
struct CVersionModule {
    std::optional<CVersionResource> version;
};

// The program's own version resource, generated from the project version at build time.
const CVersionModule& OwnVersionModule();

// Raw value at `path`, or nothing: "\VarFileInfo\Translation" gives the translation bytes,
// "\StringFileInfo\<block>\<name>" a string value (without terminator).
std::optional<std::vector<std::uint8_t>> QueryVersionValue(const CVersionResource& res,
                                                           const std::string& path);

// Windows language identifier (LANGID) of a locale, so that string tables keyed by LANGID
// can be chosen on a system whose locales are named "de_DE". Known language and territory:
// the exact identifier (en_US 0x0409, en_GB 0x0809, de_AT 0x0C07, ...); known language in
// another territory: that language's default sub-language; the C/POSIX locale: 0x0409;
// a language missing from the table: 0x0C00 (LOCALE_CUSTOM_DEFAULT).
std::uint16_t LangIdFromLocale(const QLocale& locale);

// The user's default language identifier: that of the default QLocale, which follows the
// environment (LC_ALL, LC_MESSAGES, LANG) unless the program sets another default.
std::uint16_t UserDefaultLangId();
