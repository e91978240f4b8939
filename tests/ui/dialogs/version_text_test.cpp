#include "platform/VersionInfo.h"
#include "ui/dialogs/VersionText.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace {

// ---- FormatVersionNumber --------------------------------------------------------------------

struct FormatCase {
    const char* in;
    const char* out;
};

class FormatVersion : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatVersion, JoinsFirstTwoPartsWithAPointAndTheRestWithout)
{
    EXPECT_EQ(FormatVersionNumber(GetParam().in), GetParam().out)
        << "input: '" << GetParam().in << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatVersion,
    ::testing::Values(FormatCase{"7, 0, 1, 0", "7.010"}, FormatCase{"1, 2", "1.2"},
                      FormatCase{"10, 20, 30", "10.2030"}, FormatCase{"7.0.1.0", ""},
                      FormatCase{" 7, 0", "7.0"}, FormatCase{"7,", "7."}, FormatCase{"", ""},
                      FormatCase{"7,0,1,0", "7.010"}, FormatCase{"\t7, 0, 1, 0 \r\n", "7.010"},
                      // Blanks before a comma stay: only leading blanks of each part go.
                      FormatCase{"7 , 0 ,1", "7 .0 1"}, FormatCase{"   ", ""}));

// ---- the language of the user --------------------------------------------------------------

struct LocaleCase {
    const char* name;
    std::uint16_t langId;
};

class LocaleLangId : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(LocaleLangId, MapsToTheWindowsIdentifier)
{
    EXPECT_EQ(LangIdFromLocale(QLocale(QString::fromLatin1(GetParam().name))), GetParam().langId)
        << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocaleLangId,
    ::testing::Values(LocaleCase{"en_US", 0x0409}, LocaleCase{"en_GB", 0x0809},
                      LocaleCase{"de_DE", 0x0407}, LocaleCase{"de_AT", 0x0C07},
                      LocaleCase{"fr_CA", 0x0C0C}, LocaleCase{"es_ES", 0x0C0A},
                      LocaleCase{"pt_BR", 0x0416}, LocaleCase{"zh_TW", 0x0404},
                      LocaleCase{"ja_JP", 0x0411}, LocaleCase{"nn_NO", 0x0814},
                      // Known language, territory without an identifier of its own.
                      LocaleCase{"en_DE", 0x0409}, LocaleCase{"sv_SE", 0x041D},
                      LocaleCase{"C", 0x0409}, LocaleCase{"yo_NG", 0x0C00}));

// ---- GetVersionInfoString -------------------------------------------------------------------

CVersionModule Module(std::optional<std::vector<std::uint8_t>> translation,
                      std::vector<CVersionStringTable> tables)
{
    return CVersionModule{CVersionResource{std::move(translation), std::move(tables)}};
}

class VersionLookup : public ::testing::Test {
protected:
    // The user's default language decides whenever there is not exactly one translation.
    void SetUp() override { QLocale::setDefault(QLocale(QStringLiteral("de_DE"))); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

TEST_F(VersionLookup, OwnResourceHoldsTheProjectVersion)
{
    EXPECT_EQ(GetVersionInfoString(nullptr, "ProductVersion"), "7, 0, 1, 0");
    EXPECT_EQ(GetVersionInfoString(nullptr, "FileVersion"), "7, 0, 1, 0");
    EXPECT_EQ(GetVersionInfoString(nullptr, "CompanyName"), "Tolvane");
    EXPECT_EQ(FormatVersionNumber(GetVersionInfoString(nullptr, "ProductVersion")), "7.010");
}

TEST_F(VersionLookup, OneTranslationChoosesItsBlockWhateverTheUserLanguage)
{
    // French / Western European, block written in lower case in the resource.
    auto m = Module(
        CVersionResource::Translations({{0x040C, 0x04E4}}),
        {{"040704b0", {{"ProductVersion", "1, 1"}}}, {"040c04e4", {{"ProductVersion", "2, 5"}}}});
    EXPECT_EQ(GetVersionInfoString(&m, "ProductVersion"), "2, 5");
}

TEST_F(VersionLookup, TwoTranslationsFallBackToTheUserLanguageWithCodePage04B0)
{
    auto m = Module(
        CVersionResource::Translations({{0x0409, 0x04B0}, {0x040C, 0x04B0}}),
        {{"040904B0", {{"ProductVersion", "1, 1"}}}, {"040704B0", {{"ProductVersion", "3, 0"}}}});
    EXPECT_EQ(GetVersionInfoString(&m, "ProductVersion"), "3, 0");

    // No table for the user's language: empty, with no second attempt at another one.
    auto other = Module(
        CVersionResource::Translations({{0x0409, 0x04B0}, {0x040C, 0x04B0}}),
        {{"040904B0", {{"ProductVersion", "1, 1"}}}, {"040704E4", {{"ProductVersion", "3, 0"}}}});
    EXPECT_EQ(GetVersionInfoString(&other, "ProductVersion"), "");
}

TEST_F(VersionLookup, NoOrOddSizedTranslationUsesTheUserLanguage)
{
    std::vector<CVersionStringTable> tables = {{"040904B0", {{"ProductVersion", "1, 1"}}},
                                               {"040704B0", {{"ProductVersion", "4, 2"}}}};
    auto none = Module(std::nullopt, tables);
    EXPECT_EQ(GetVersionInfoString(&none, "ProductVersion"), "4, 2");
    auto twoBytes = Module(std::vector<std::uint8_t>{0x09, 0x04}, tables);
    EXPECT_EQ(GetVersionInfoString(&twoBytes, "ProductVersion"), "4, 2");

    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    EXPECT_EQ(GetVersionInfoString(&none, "ProductVersion"), "1, 1");
}

TEST_F(VersionLookup, NamesMatchWithoutRegardToCase)
{
    auto m = Module(CVersionResource::Translations({{0x0409, 0x04B0}}),
                    {{"040904b0", {{"PRODUCTVERSION", "7, 0"}, {"CompanyName", "Tolvane"}}}});
    EXPECT_EQ(GetVersionInfoString(&m, "ProductVersion"), "7, 0");
    EXPECT_EQ(GetVersionInfoString(&m, "companyname"), "Tolvane");
    EXPECT_EQ(QueryVersionValue(*m.version, "\\varfileinfo\\TRANSLATION")->size(), 4u);
}

TEST_F(VersionLookup, MissingPiecesGiveAnEmptyText)
{
    auto noValue = Module(CVersionResource::Translations({{0x0409, 0x04B0}}),
                          {{"040904b0", {{"FileVersion", "7, 0"}}}});
    EXPECT_EQ(GetVersionInfoString(&noValue, "ProductVersion"), "");
    auto noTables = Module(CVersionResource::Translations({{0x0409, 0x04B0}}), {});
    EXPECT_EQ(GetVersionInfoString(&noTables, "ProductVersion"), "");
    CVersionModule noResource;
    EXPECT_EQ(GetVersionInfoString(&noResource, "ProductVersion"), "");
    // A value cut by its terminator ends there.
    auto withNul = Module(CVersionResource::Translations({{0x0409, 0x04B0}}),
                          {{"040904b0", {{"ProductVersion", std::string("7, 1\0junk", 9)}}}});
    EXPECT_EQ(GetVersionInfoString(&withNul, "ProductVersion"), "7, 1");
}

TEST(VersionPath, HexDigitsAreUpperCaseInTheOrderLanguageThenCodePage)
{
    EXPECT_EQ(VersionStringPath(CVersionResource::Translations({{0x0C0A, 0x04E4}}), 0x0409,
                                "ProductVersion"),
              "\\StringFileInfo\\0C0A04E4\\ProductVersion");
    EXPECT_EQ(VersionStringPath(CVersionResource::Translations({{0x0409, 0x04B0}}), 0x0C0C,
                                "ProductVersion"),
              "\\StringFileInfo\\040904B0\\ProductVersion");
    EXPECT_EQ(VersionStringPath(std::nullopt, 0x0c0c, "FileVersion"),
              "\\StringFileInfo\\0C0C04B0\\FileVersion");
    EXPECT_EQ(
        VersionStringPath(CVersionResource::Translations({{0x0409, 0x04B0}, {1, 2}}), 0x080a, "X"),
        "\\StringFileInfo\\080A04B0\\X");
}

}  // namespace
