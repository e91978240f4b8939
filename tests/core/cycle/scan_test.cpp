#include "core/cycle/CycleContext.h"
#include "core/cycle/Scan.h"
#include "core/settings/Settings.h"
#include "platform/FileSystem.h"
#include "platform/LocalFile.h"
#include "support/wav_util.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(ScanWildcard, FirstPlatformRulesWithoutCase)
{
    using fsys::MatchWildcard;
    EXPECT_TRUE(MatchWildcard("*.wav", "a.wav"));
    EXPECT_TRUE(MatchWildcard("*.wav", "A.WAV"));
    EXPECT_TRUE(MatchWildcard("*.WaV", "memo.wAv"));
    EXPECT_TRUE(MatchWildcard("*.wav", "two.dots.wav"));
    EXPECT_TRUE(MatchWildcard("*.wav", ".wav"));
    EXPECT_FALSE(MatchWildcard("*.wav", "a.wavx"));
    EXPECT_FALSE(MatchWildcard("*.wav", "a.wav.bak"));
    EXPECT_FALSE(MatchWildcard("*.wav", "awav"));
    EXPECT_FALSE(MatchWildcard("*.wav", "a.wa"));
    // "*.*" is every name, with or without a dot.
    EXPECT_TRUE(MatchWildcard("*.*", "README"));
    EXPECT_TRUE(MatchWildcard("*.*", "a.b.c"));
    EXPECT_TRUE(MatchWildcard("*.*", ".hidden"));
    // '?' is one character, or none at a dot or the end.
    EXPECT_TRUE(MatchWildcard("*.w?v", "x.wav"));
    EXPECT_TRUE(MatchWildcard("*.wa?", "x.wa"));
    EXPECT_FALSE(MatchWildcard("*.w?v", "x.wv"));
    EXPECT_TRUE(MatchWildcard("*.d*", "x.dss"));
    EXPECT_TRUE(MatchWildcard("*.tar.gz", "a.tar.gz"));
    EXPECT_TRUE(MatchWildcard("*.ä", "x.ä"));
}

class Scan : public ::testing::Test {
protected:
    std::string Folder(const std::string& name)
    {
        QDir(m_dir.path()).mkpath(QString::fromStdString(name));
        return m_dir.path().toStdString() + "/" + name + "/";
    }
    static std::vector<std::string> Sorted(std::vector<std::string> v)
    {
        std::sort(v.begin(), v.end());
        return v;
    }
    static std::vector<std::string> Listed(const CWorkList& w)
    {
        EXPECT_EQ(w.m_nFileCount, w.m_nFileIndex);
        EXPECT_GE(static_cast<int>(w.m_fileList.size()), w.m_nFileCount);
        return {w.m_fileList.begin(), w.m_fileList.begin() + w.m_nFileCount};
    }
    QTemporaryDir m_dir;
    CSettings m_settings;
    CWorkList m_work;
};

TEST_F(Scan, OneLevelWritableMatchingFilesOnly)
{
    const std::string d = Folder("dict");
    WriteText(d + "a.wav", "1");
    WriteText(d + "B.WAV", "2");
    WriteText(d + "c.rtf", "3");
    WriteText(d + "done.wav", "4");
    chmod((d + "done.wav").c_str(), 0444);
    QDir().mkpath(QString::fromStdString(d + "sub.wav"));
    QDir().mkpath(QString::fromStdString(d + "tolvane"));
    WriteText(d + "tolvane/old.wav", "5");
    m_settings.Dir[0] = d;
    m_settings.Ext[0] = "wav";
    ScanSourceFolders(m_settings, m_work);
    EXPECT_EQ(Sorted(Listed(m_work)), (std::vector<std::string>{d + "B.WAV", d + "a.wav"}));
}

TEST_F(Scan, PipesAndSocketsNamedLikeRecordingsAreNotListed)
{
    const std::string d = Folder("fifo");
    ASSERT_EQ(mkfifo((d + "pipe.wav").c_str(), 0644), 0);
    WriteText(d + "real.wav", "x");
    m_settings.Dir[0] = d;
    m_settings.Ext[0] = "wav";
    ScanSourceFolders(m_settings, m_work);
    EXPECT_EQ(Listed(m_work), std::vector<std::string>{d + "real.wav"});
}

TEST_F(Scan, ReadOnlyIsDecidedByModeBitsEvenForRoot)
{
    const std::string d = Folder("ro");
    WriteText(d + "owner.wav", "x");
    chmod((d + "owner.wav").c_str(), 0644);
    WriteText(d + "group.wav", "x");
    chmod((d + "group.wav").c_str(), 0464);  // someone may still write it: not sent yet
    WriteText(d + "none.wav", "x");
    chmod((d + "none.wav").c_str(), 0555);
    EXPECT_TRUE(fsys::IsReadOnly(d + "none.wav"));
    EXPECT_FALSE(fsys::IsReadOnly(d + "group.wav"));
    m_settings.Dir[4] = d;
    m_settings.Ext[4] = "wav";
    ScanSourceFolders(m_settings, m_work);
    EXPECT_EQ(Sorted(Listed(m_work)), (std::vector<std::string>{d + "group.wav", d + "owner.wav"}));
}

TEST_F(Scan, PairsNeedBothTextsAndRunInOrder)
{
    const std::string a = Folder("a"), b = Folder("b"), c = Folder("c");
    WriteText(a + "1.wav", "");
    WriteText(b + "2.rtf", "");
    WriteText(c + "3.dss", "");
    m_settings.Dir[0] = a;  // pair 1
    m_settings.Ext[0] = "wav";
    m_settings.Dir[2] = b;  // pair 3: no extension, skipped
    m_settings.Ext[2] = "";
    m_settings.Dir[3] = "";  // pair 4: no folder, skipped
    m_settings.Ext[3] = "wav";
    m_settings.Dir[9] = c;  // pair 10 still scanned
    m_settings.Ext[9] = "dss";
    m_settings.Dir[5] = b;  // pair 6
    m_settings.Ext[5] = "RTF";
    ScanSourceFolders(m_settings, m_work);
    EXPECT_EQ(Listed(m_work), (std::vector<std::string>{a + "1.wav", b + "2.rtf", c + "3.dss"}));
}

// One real file goes once a cycle, whichever pairs name it or its folder, and however. Links in
// the folder are never followed: each is left out and named for the line that says so.
TEST_F(Scan, EachRealFileOnceAndNoLinkFollowed)
{
    const std::string d = Folder("same");
    const std::string other = Folder("other");
    const std::string outside = Folder("outside");
    WriteText(d + "x.wav", "");
    WriteText(d + "y.WAV", "");
    WriteText(outside + "secret.wav", "");
    ASSERT_EQ(::link((d + "x.wav").c_str(), (other + "x.wav").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "secret.wav").c_str(), (d + "link.wav").c_str()), 0);
    ASSERT_EQ(::symlink(outside.c_str(), (d + "dir.wav").c_str()), 0);
    const std::string alias = m_dir.path().toStdString() + "/alias";
    ASSERT_EQ(::symlink(d.c_str(), alias.c_str()), 0);  // a folder the author chose to name so
    const std::pair<std::string, const char*> pairs[] = {
        {d, "wav"}, {d.substr(0, d.size() - 1), "wav"}, {alias + "/", "WAV"}, {other, "wav"}};
    for (std::size_t i = 0; i < std::size(pairs); ++i) {
        m_settings.Dir[i] = pairs[i].first;
        m_settings.Ext[i] = pairs[i].second;
    }
    ScanSourceFolders(m_settings, m_work);
    EXPECT_EQ(Sorted(Listed(m_work)), (std::vector<std::string>{d + "x.wav", d + "y.WAV"}));
    EXPECT_EQ(Sorted(m_work.m_skippedLinks),
              (std::vector<std::string>{d + "dir.wav", d + "link.wav"}));
}

TEST_F(Scan, EveryNameAndMissingFoldersAndTheFinalSeparator)
{
    const std::string d = Folder("all");
    WriteText(d + "plain", "");
    WriteText(d + "x.y", "");
    m_settings.Dir[0] = d.substr(0, d.size() - 1);  // typed without its final "/"
    m_settings.Ext[0] = "*";
    m_settings.Dir[1] = d + "missing/";
    m_settings.Ext[1] = "wav";
    ScanSourceFolders(m_settings, m_work);
    EXPECT_EQ(Sorted(Listed(m_work)), (std::vector<std::string>{d + "plain", d + "x.y"}));
}

TEST_F(Scan, RescanEmptiesTheListFirst)
{
    const std::string d = Folder("again");
    WriteText(d + "1.wav", "");
    m_work.m_fileList = {"stale", "entries", "from", "a", "download"};
    m_work.m_nFileCount = 5;
    m_work.m_nFileIndex = 3;
    m_settings.Dir[0] = d;
    m_settings.Ext[0] = "wav";
    ScanSourceFolders(m_settings, m_work);
    EXPECT_EQ(Listed(m_work), (std::vector<std::string>{d + "1.wav"}));
    EXPECT_EQ(m_work.m_fileList.size(), 1u);
}

// A cycle of the folder watch looks at the names it was given and at what the last scan left
// waiting: another folder full of sent files is not even opened, and the order is the whole
// scan's.
TEST_F(Scan, ANarrowScanOpensNoOtherFolderAndKeepsTheOrder)
{
    const std::string a = Folder("a"), b = Folder("b");
    for (int i = 0; i < 50; ++i) {
        const std::string sent = b + "s" + std::to_string(i) + ".wav";
        WriteText(sent, "x");
        chmod(sent.c_str(), 0444);
    }
    WriteText(a + "waiting.wav", "w");
    CSettings s;
    s.Dir[0] = a;
    s.Ext[0] = "wav";
    s.Dir[1] = b;
    s.Ext[1] = "wav";
    s.Dir[2] = a;
    s.Ext[2] = "dss";
    CWorkList work;
    ScanSourceFolders(s, work);
    ASSERT_EQ(Listed(work), std::vector<std::string>{a + "waiting.wav"});

    for (const char* name : {"n1.wav", "n2.wav", "n3.wav", "x.dss", "old.wav"})
        WriteText(a + name, "n");
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, b.c_str(), IN_OPEN | IN_ACCESS), 0);
    CScanScope narrow{false, {{a, {"n3.wav", "n1.wav", "x.dss", "gone.wav"}}}};
    ScanSourceFolders(s, work, narrow);
    char buf[4096];
    EXPECT_LT(read(watch, buf, sizeof buf), 0) << "the other folder was opened";
    close(watch);
    std::vector<std::string> whole;
    for (const fsys::DirEntry& e : fsys::FindFiles(a, "*"))
        if (e.name != "n2.wav" && e.name != "old.wav")
            whole.push_back(a + e.name);
    // By pair, then in the folder's own order: the .dss file after the pair-1 files.
    std::stable_partition(whole.begin(), whole.end(),
                          [](const std::string& p) { return p.back() == 'v'; });
    EXPECT_EQ(Listed(work), whole);

    // Events were lost: everything is looked at again.
    ScanSourceFolders(s, work, CScanScope{});
    EXPECT_EQ(Listed(work).size(), 6u);
}

// A file that looks finished is probed for writers by its upload alone; the scan opens only
// a young one, to tell a writer at work from a file closed a moment ago.
TEST_F(Scan, OnlyAYoungFileIsOpenedToProbeItsWriters)
{
    const std::string d = Folder("d");
    WriteText(d + "old.wav", "o");
    const timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (d + "old.wav").c_str(), hourAgo, 0), 0);
    WriteText(d + "young.wav", "y");
    m_settings.Dir[0] = d;
    m_settings.Ext[0] = "wav";
    m_work.m_settle.SetSettleMs(3000);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, (d + "old.wav").c_str(), IN_OPEN), 0);
    ASSERT_GE(inotify_add_watch(watch, (d + "young.wav").c_str(), IN_OPEN), 1);
    ScanSourceFolders(m_settings, m_work);
    EXPECT_EQ(Listed(m_work), std::vector<std::string>{d + "old.wav"});
    alignas(inotify_event) char buf[4096];
    EXPECT_EQ(read(watch, buf, sizeof buf), static_cast<ssize_t>(sizeof(inotify_event)));
    EXPECT_EQ(reinterpret_cast<const inotify_event*>(buf)->wd, 2) << "not young.wav alone";
    close(watch);
}

TEST(ScanFileSystem, CopyReplacesAndKeepsTheSource)
{
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString() + "/";
    const std::optional<fsys::CFd> folder = fsys::OpenFolder(base, false, nullptr);
    ASSERT_TRUE(folder);
    auto copy = [&](const std::string& from, const std::string& to) {
        const fsys::CFd in(::open((base + from).c_str(), O_RDONLY | O_CLOEXEC));
        return in && fsys::CopyInto(in.Get(), folder->Get(), base, to, nullptr, nullptr);
    };
    WriteText(base + "src", "new content");
    WriteText(base + "dst", "an older, longer copy of the file");
    ASSERT_TRUE(copy("src", "dst"));
    EXPECT_EQ(ReadAll(base + "dst"), "new content");
    EXPECT_EQ(fsys::GetFileStamp(base + "src")->mtimeNs, fsys::GetFileStamp(base + "dst")->mtimeNs);
    EXPECT_FALSE(copy("nothing", "dst"));
    EXPECT_EQ(ReadAll(base + "dst"), "new content");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // no temporary
    // A folder under the copy's name is never replaced, nor swapped away.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(base + "folder/inside")));
    EXPECT_FALSE(copy("src", "folder"));
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(base + "folder/inside")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    EXPECT_TRUE(fsys::CreateFolder(base + "f"));
    EXPECT_TRUE(fsys::CreateFolder(base + "f"));
    EXPECT_FALSE(fsys::CreateFolder(base + "src"));
}

}  // namespace
