#include "core/settings/Settings.h"
#include "platform/QtProfileStore.h"
#include "support/MemoryProfileStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

void PrintTo(const CSettings& s, std::ostream* os)
{
    for (int i = 0; i < kSourcePairs; ++i) *os << "[" << s.Dir[i] << "|" << s.Ext[i] << "]";
    *os << " TDir=" << s.TDir << " PASV=" << s.PASV << " Author=" << s.Author
        << " Password=" << s.Password << " Poll=" << s.PollTime << " Show=" << s.ShowConfig
        << " Auto=" << s.AutoDownLoad;
}

namespace {
const std::string S = kSectionSource;
const std::string A = kSectionAuthor;

mode_t ModeOf(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode & 07777;
}
}  // namespace

TEST(LoadRule, FirstRunGivesTheDefaults)
{
    CMemoryProfileStore store;
    const CSettings s = LoadSettings(store);
    for (int i = 0; i < kSourcePairs; ++i) {
        EXPECT_EQ(s.Dir[i], "");
        EXPECT_EQ(s.Ext[i], "wav");
    }
    EXPECT_EQ(s.TDir, "");
    EXPECT_EQ(s.Author, "");
    EXPECT_EQ(s.Password, "");
    EXPECT_EQ(s.PASV, 0);
    EXPECT_EQ(s.PollTime, 0);
    EXPECT_EQ(s.ShowConfig, 1);
    EXPECT_EQ(s.AutoDownLoad, 0);
}

TEST(LoadRule, ExtensionDependsOnTheFolder)
{
    CMemoryProfileStore store;
    store.strings[{S, "Dir3"}] = "/home/a/dict/";  // folder set, extension absent
    store.strings[{S, "Ext5"}] = "dss";            // folder absent, extension stored
    store.strings[{S, "Dir10"}] = "/x/";
    store.strings[{S, "Ext10"}] = "rtf";
    const CSettings s = LoadSettings(store);
    EXPECT_EQ(s.Ext[2], "");
    EXPECT_EQ(s.Ext[4], "wav");
    EXPECT_EQ(s.Ext[9], "rtf");
    // A pair whose folder is empty never reads its stored extension.
    EXPECT_EQ(std::count(store.reads.begin(), store.reads.end(), S + "/Ext5"), 0);
    EXPECT_EQ(std::count(store.reads.begin(), store.reads.end(), S + "/Ext3"), 1);
}

TEST(LoadRule, ReadsEachFolderWithItsExtensionThenTheRest)
{
    CMemoryProfileStore store;
    for (int i = 1; i <= kSourcePairs; ++i) store.strings[{S, "Dir" + std::to_string(i)}] = "/d/";
    LoadSettings(store);
    std::vector<std::string> expected;
    for (int i = 1; i <= kSourcePairs; ++i)
        for (const char* stem : {"/Dir", "/Ext"}) expected.push_back(S + stem + std::to_string(i));
    for (const char* k : {"TDir", "PASV"}) expected.push_back(S + "/" + k);
    for (const char* k : {"Author", "Password", "Poll Time", "Show Config", "AutoDownLoad",
                          "Arrival Notices"})
        expected.push_back(A + "/" + k);
    EXPECT_EQ(store.reads, expected);
}

TEST(LoadRule, IntegersKeepTheirStoredValues)
{
    CMemoryProfileStore store;
    store.ints[{A, "AutoDownLoad"}] = 2;
    store.ints[{S, "PASV"}] = 5;
    store.ints[{A, "Show Config"}] = 0;
    store.ints[{A, "Poll Time"}] = -3;
    const CSettings s = LoadSettings(store);
    EXPECT_EQ(s.AutoDownLoad, 2);
    EXPECT_EQ(s.PASV, 5);
    EXPECT_EQ(s.ShowConfig, 0);
    EXPECT_EQ(s.PollTime, -3);
}

TEST(Save, WritesEveryValueInOrder)
{
    CMemoryProfileStore store;
    CSettings s;
    s.Dir[0] = "/d/";
    s.Ext[0] = "wav";
    SaveSettings(store, s);
    std::vector<std::string> expected;
    for (int i = 1; i <= 10; ++i) expected.push_back(S + "/Dir" + std::to_string(i));
    for (int i = 1; i <= 10; ++i) expected.push_back(S + "/Ext" + std::to_string(i));
    for (const char* k : {"PASV", "TDir"}) expected.push_back(S + "/" + k);
    for (const char* k :
         {"Author", "Password", "Poll Time", "Show Config", "AutoDownLoad", "Arrival Notices"})
        expected.push_back(A + "/" + k);
    EXPECT_EQ(store.writes, expected);
    // Empty texts are stored as empty strings, not left out.
    EXPECT_EQ(store.strings.count({S, "Dir2"}), 1u);
}

class IniStore : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString Path() const { return tmp.filePath(QStringLiteral("Orbidex/Nimbrel Ravlet.conf")); }
};

TEST_F(IniStore, RoundTripKeepsKeysTypesAndText)
{
    CSettings s;
    s.Ext.fill("wav");  // what an empty folder loads as
    s.Dir[0] = "/home/ärzt/diktat/";
    s.Ext[0] = "wav";
    s.Dir[9] = "/ten/";
    s.Ext[9] = "dss, wav";  // a comma must not turn into a list
    s.TDir = "/dl/";
    s.PASV = 5;
    s.Author = "ab12";
    s.Password = "p&ss=wörd #1";
    s.PollTime = 5;
    s.ShowConfig = 0;
    s.AutoDownLoad = 2;
    {
        CQtProfileStore store(Path());
        SaveSettings(store, s);
        ASSERT_TRUE(store.Sync());
    }
    CQtProfileStore again(Path());
    CSettings loaded = LoadSettings(again);
    EXPECT_EQ(loaded, s);

    QFile f(Path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString ini = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(ini.contains(QStringLiteral("[Source%20Directories]")));
    EXPECT_TRUE(ini.contains(QStringLiteral("[Author%20Details]")));
    EXPECT_TRUE(ini.contains(QStringLiteral("Poll%20Time=5")));  // integers as integers
    EXPECT_TRUE(ini.contains(QStringLiteral("AutoDownLoad=2")));
}

TEST_F(IniStore, WrongTypedValuesTakeTheirDefaults)
{
    QDir().mkpath(tmp.filePath(QStringLiteral("Orbidex")));
    QFile f(Path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "[Source%20Directories]\nPASV=yes\nDir1=42\nExt1=7\n"
        "[Author%20Details]\nPoll%20Time=abc\nShow%20Config=\nAutoDownLoad=4294967295\n"
        "Author=12\n");
    f.close();
    CQtProfileStore store(Path());
    const CSettings s = LoadSettings(store);
    EXPECT_EQ(s.PASV, 0);
    EXPECT_EQ(s.PollTime, 0);
    EXPECT_EQ(s.ShowConfig, 1);
    EXPECT_EQ(s.AutoDownLoad, -1);  // a DWORD of all ones is -1 as a signed value
    EXPECT_EQ(s.Dir[0], "42");      // numbers where text is expected are that text
    EXPECT_EQ(s.Ext[0], "7");
    EXPECT_EQ(s.Author, "12");
}

TEST_F(IniStore, FileHoldingThePasswordIsPrivate)
{
    {
        CQtProfileStore store(Path());
        SaveSettings(store, CSettings{});
    }
    EXPECT_EQ(ModeOf(tmp.filePath(QStringLiteral("Orbidex"))), 0700u);
    EXPECT_EQ(ModeOf(Path()), 0600u);
    {
        // A first start with no config folder: private before the first value is written.
        CQtProfileStore store(tmp.filePath(QStringLiteral("new/config/Orbidex/x.conf")));
        store.WriteProfileString(kSectionAuthor, "Password", "secret");
        EXPECT_EQ(ModeOf(tmp.filePath(QStringLiteral("new/config/Orbidex"))), 0700u);
        EXPECT_EQ(ModeOf(tmp.filePath(QStringLiteral("new/config/Orbidex/x.conf"))), 0600u);
    }

    // A file and folder found open to others (hand-made, an older install) are tightened as
    // soon as they are read, not at the next save.
    ASSERT_EQ(::chmod(QFile::encodeName(Path()).constData(), 0644), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(tmp.filePath(QStringLiteral("Orbidex"))).constData(), 0755),
              0);
    {
        CQtProfileStore store(Path());
        LoadSettings(store);
    }
    EXPECT_EQ(ModeOf(Path()), 0600u);
    EXPECT_EQ(ModeOf(tmp.filePath(QStringLiteral("Orbidex"))), 0700u);

    // Reading a profile that does not exist creates nothing.
    const QString none = tmp.filePath(QStringLiteral("Orbidex/none.conf"));
    {
        CQtProfileStore store(none);
        LoadSettings(store);
    }
    EXPECT_FALSE(QFile::exists(none));
}

TEST(UserProfile, LivesInTheConfigFolderUnderOrbidex)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    CQtProfileStore store;
    EXPECT_EQ(store.FileName(), home.filePath(QStringLiteral("Orbidex/Nimbrel Ravlet.conf")));
    store.WriteProfileString(kSectionAuthor, "Author", "ab12");
    ASSERT_TRUE(store.Sync());
    CQtProfileStore again(home.filePath(QStringLiteral("Orbidex/Nimbrel Ravlet.conf")));
    EXPECT_EQ(again.GetProfileString(kSectionAuthor, "Author"), "ab12");
    qunsetenv("XDG_CONFIG_HOME");
}
