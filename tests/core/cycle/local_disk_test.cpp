// The author's own disk under the upload pass: what the sent mark changes, what a failed
// archive copy or mark does, and that nothing outside the source folder is touched.
#include "core/cycle/Archive.h"
#include "core/cycle/Scan.h"
#include "support/AsAuthor.h"
#include "support/PassSuite.h"

#include "platform/LocalFile.h"
#include "platform/StateFolder.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <tuple>
#include <memory>

namespace {

class LocalDisk : public UploadPass {
protected:
    // A work list as a start of the agent makes it: only the state folder remembers.
    std::unique_ptr<CWorkList> Started(const std::string& state) const
    {
        auto work = std::make_unique<CWorkList>();
        work->m_local = CLocalState(state);
        return work;
    }
    CCycleContext Context(CWorkList& work)
    {
        return {m_events, m_net, m_ep, m_settings, m_record, work, m_cancelled};
    }
    // A file the author may not mark (root's, as on a card a recorder wrote), run as the author.
    void AsAuthorWithRootsFile(const std::function<void(const std::string& file)>& body)
    {
        if (!RunningAsRoot())
            GTEST_SKIP() << "making a file the author cannot mark needs root";
        const std::string file = m_folder + "memo.wav";
        WriteText(file, "dictated");
        ::chmod(file.c_str(), 0666);
        ASSERT_TRUE(AsAuthor(m_dir.path().toStdString(), [&] { body(file); }, {file}));
    }
    // One cycle's local part and upload step, as the automation runs them.
    void Cycle(CWorkList& work)
    {
        CSettings s = m_settings;
        s.Dir[0] = m_folder;
        s.Ext[0] = "wav";
        m_events.Clear();
        CCycleContext ctx = Context(work);
        ctx.settings = s;
        MarkAnnounced(ctx);
        ScanSourceFolders(s, work);
        ReportSkipped(ctx);
        UploadFiles(ctx);
        RetryArchives(ctx);
    }
    std::string Line(const std::string& text) const { return kTime + " - " + text + "\r\n"; }
    std::string m_state = m_dir.path().toStdString() + "/state";
};

// "ab12_" before the name: 255 bytes on the server still go, 256 never could; that one is
// said once a run, not at every poll, and stays a problem of the state.
TEST_F(LocalDisk, ANameTooLongForTheServerIsSaidOnceAndNotTried)
{
    const std::string fits = std::string(246, 'f') + ".wav";     // 5 + 250 = 255
    const std::string tooLong = std::string(247, 'l') + ".wav";  // 5 + 251 = 256
    WriteText(m_folder + fits, "f");
    WriteText(m_folder + tooLong, "l");
    const auto started = Started(m_state);
    CWorkList& work = *started;
    Cycle(work);
    EXPECT_TRUE(fsys::IsReadOnly(m_folder + fits));
    ASSERT_EQ(m_net.Seen().puts.size(), 1u);
    const std::vector<ev::LocalSkipped> skipped = m_events.Of<ev::LocalSkipped>();
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].path, m_folder + tooLong);
    EXPECT_EQ(skipped[0].why, ev::ESkip::NameTooLong);
    EXPECT_EQ(skipped[0].length, 256u);
    Cycle(work);
    EXPECT_EQ(m_net.Seen().puts.size(), 1u);
    const std::vector<EEvent> again = m_events.Kinds();
    EXPECT_EQ(std::count(again.begin(), again.end(), EEvent::LocalSkipped), 0) << "said once";
}

TEST_F(LocalDisk, TheSentMarkClearsTheWriteBitsAndTheCopyIsNoMoreOpen)
{
    const std::pair<unsigned, unsigned> modes[] = {
        {0600, 0400}, {0640, 0440}, {0664, 0444}, {0750, 0550}};
    for (const auto& [before, after] : modes) {
        WriteText(m_folder + std::to_string(before) + ".wav", "x");
        ::chmod((m_folder + std::to_string(before) + ".wav").c_str(), before);
    }
    Cycle(m_work);
    for (const auto& [before, after] : modes) {
        const std::string name = std::to_string(before) + ".wav";
        EXPECT_EQ(ModeOf(m_folder + name), after) << name;
        EXPECT_EQ(ModeOf(m_folder + "tolvane/" + name), before) << name;
        // What the mark took is kept, for the author's "send again".
        EXPECT_EQ(MarkTaken(fsys::DefaultStateFolder(), m_folder + name,
                            *fsys::GetFileStamp(m_folder + name)),
                  before & 0222)
            << name;
    }
}

// Each way the archive copy can fail: the file was delivered, so it is marked sent, and the
// window and log say which copy is missing and why; a later cycle makes it once it can.
TEST_F(LocalDisk, AFailedArchiveCopyIsSaidAndMadeLater)
{
    struct Row {
        const char* folder;
        std::function<void(const std::string&archive)> spoil, mend;
        const char* why;
    };
    const std::string outside = m_dir.path().toStdString() + "/outside";
    QDir().mkpath(QString::fromStdString(outside));
    const std::vector<Row> rows = {
        {"plain", [](auto& a) { WriteText(a, ""); }, [](auto& a) { ::unlink(a.c_str()); },
         "Not a directory"},
        {"linked", [&](auto& a) { ASSERT_EQ(::symlink(outside.c_str(), a.c_str()), 0); },
         [](auto& a) { ::unlink(a.c_str()); },
         "it is a symbolic link, which the agent never follows"},
        {"shut", [](auto& a) { ::mkdir(a.c_str(), 0555); },
         [](auto& a) { ::chmod(a.c_str(), 0755); }, "Permission denied"},
    };
    const bool ran = AsAuthor(m_dir.path().toStdString(), [&] {
        const auto started = Started(m_state);
        CWorkList& work = *started;
        for (const Row& r : rows) {
            const std::string folder = m_dir.path().toStdString() + "/" + r.folder;
            QDir().mkpath(QString::fromStdString(folder));
            WriteText(folder + "/x.wav", r.folder);
            ::chmod((folder + "/x.wav").c_str(), 0640);
            r.spoil(folder + "/tolvane");
            work.m_fileList.push_back(folder + "/x.wav");
        }
        work.m_nFileCount = 3;
        CCycleContext ctx = Context(work);
        UploadFiles(ctx);
        // Each copy's failure in the system's own words.
        const auto failed = m_events.Of<ev::FileFailed>();
        ASSERT_EQ(failed.size(), 3u);
        for (std::size_t i = 0; i < failed.size(); ++i) {
            EXPECT_EQ(failed[i].stage, EStage::Archive);
            EXPECT_EQ(failed[i].reason, rows[i].why);
        }
        const std::vector<EEvent> kinds = m_events.Kinds();
        EXPECT_EQ(std::count(kinds.begin(), kinds.end(), EEvent::FileSent), 3) << "delivered";
        EXPECT_TRUE(QDir(QString::fromStdString(outside)).isEmpty());
        for (const Row& r : rows) {
            const std::string folder = m_dir.path().toStdString() + "/" + r.folder;
            EXPECT_TRUE(fsys::IsReadOnly(folder + "/x.wav")) << r.folder;
            r.mend(folder + "/tolvane");
        }
        m_events.Clear();
        RetryArchives(ctx);
        // Each copy made at last mends its file's problem.
        EXPECT_EQ(m_events.Kinds(), std::vector<EEvent>(3, EEvent::FileArchived));
        EXPECT_TRUE(CLocalState(m_state).Entries(CLocalState::EKind::Unarchived).empty())
            << "a restart owes no copy";
        for (const Row& r : rows) {
            const std::string copy = m_dir.path().toStdString() + "/" + r.folder + "/tolvane/x.wav";
            EXPECT_EQ(ReadAll(copy), r.folder);
            EXPECT_EQ(ModeOf(copy), 0640u) << "the mode as first read, not the sent mark";
        }
        EXPECT_EQ(m_net.Seen().puts.size(), 3u);
    });
    if (!ran)
        GTEST_SKIP() << "could not become an unprivileged user";
}

// A file delivered but not markable (here: another user's, as on a card written by a
// recorder) is remembered and not sent again while unchanged, after a restart too.
TEST_F(LocalDisk, AFileThatCannotBeMarkedIsNotSentAgain)
{
    AsAuthorWithRootsFile([&](const std::string& file) {
        const std::string said = Line(
            "memo.wav was sent, but could not be marked sent: Operation not permitted. It is "
            "not sent again while it is unchanged; make it read-only or move it away.");
        const std::string skipped = Line(
            "memo.wav was sent, but could not be marked sent. It is not sent again while it "
            "is unchanged; make it read-only or move it away.");
        // Puts so far and what the cycle says: sent; not again; after a restart, said once
        // more; edited since, so sent again.
        const std::pair<int, std::string> cycles[] = {{1, said}, {1, ""}, {1, skipped}, {2, said}};
        std::unique_ptr<CWorkList> work;
        for (std::size_t i = 0; i < std::size(cycles); ++i) {
            if (i == 0 || i == 2)  // a start
                work = Started(m_state);
            if (i == 3)
                WriteText(file, "edited since");
            const std::string before = m_display.WindowText();
            Cycle(*work);
            const std::string text = m_display.WindowText().substr(before.size());
            EXPECT_EQ(m_net.Seen().puts.size(), static_cast<std::size_t>(cycles[i].first)) << i;
            EXPECT_NE(text.find(cycles[i].second), std::string::npos) << i << text;
            EXPECT_EQ(m_events.LocalFailures(), 1) << i;
        }
    });
}

// A copy that failed is made later only of the very content that was sent: a file changed
// since (still read-only) is not archived as if it had been sent.
TEST_F(LocalDisk, AnArchiveRetrySkipsAFileChangedSinceItsFailedCopy)
{
    const auto started = Started(m_state);
    CWorkList& work = *started;
    Files({{"x.wav", "as sent"}});
    work.m_fileList = m_work.m_fileList;
    work.m_nFileCount = 1;
    WriteText(m_folder + "tolvane", "");  // the archive folder cannot be made
    CCycleContext ctx = Context(work);
    UploadFiles(ctx);
    ASSERT_TRUE(fsys::IsReadOnly(m_folder + "x.wav"));
    ::chmod((m_folder + "x.wav").c_str(), 0600);
    WriteText(m_folder + "x.wav", "rewritten, longer than before");
    ::chmod((m_folder + "x.wav").c_str(), 0400);
    ::unlink((m_folder + "tolvane").c_str());
    RetryArchives(ctx);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(m_folder + "tolvane/x.wav")));
    EXPECT_TRUE(CLocalState(m_state).Entries(CLocalState::EKind::Unarchived).empty());
}

// The source is opened without following links: a file replaced by a link after the scan is
// neither sent nor marked, and what the link points at is left alone.
TEST_F(LocalDisk, AFileReplacedByALinkAfterTheScanIsNotSent)
{
    const std::string target = m_dir.path().toStdString() + "/private.txt";
    WriteText(target, "not for the service");
    Files({{"x.wav", "x"}});
    ::unlink((m_folder + "x.wav").c_str());
    ASSERT_EQ(::symlink(target.c_str(), (m_folder + "x.wav").c_str()), 0);
    Run();
    EXPECT_TRUE(m_net.Seen().puts.empty());
    EXPECT_FALSE(fsys::IsReadOnly(target));
    EXPECT_EQ(m_events.Kinds().back(), EEvent::FileFailed);
}

// A run killed after the service took a file and before its mark left a record: the next
// start marks that file without sending it again, unless it changed since.
TEST_F(LocalDisk, AFileTheServiceTookBeforeAKillIsMarkedNotSentAgain)
{
    const std::pair<const char*, bool> rows[] = {{"unchanged", false}, {"edited", true}};
    for (const auto& [what, edited] : rows) {
        const std::string file = m_folder + what + ".wav";
        WriteText(file, what);
        const std::optional<fsys::FileStamp> stamp = fsys::GetFileStamp(file);
        ASSERT_TRUE(stamp);
        CLocalState(m_state).Remember(CLocalState::EKind::Announced, file, *stamp);
        if (edited)
            WriteText(file, "edited after the kill");
    }
    const auto started = Started(m_state);
    CWorkList& work = *started;
    Cycle(work);
    EXPECT_TRUE(Done("unchanged.wav"));
    EXPECT_TRUE(Done("edited.wav"));
    ASSERT_EQ(m_net.Seen().puts.size(), 1u);
    EXPECT_NE(m_net.Seen().puts[0].remote.find("edited.wav"), std::string::npos);
    EXPECT_TRUE(CLocalState(m_state).Entries(CLocalState::EKind::Announced).empty());
    EXPECT_EQ(ModeOf(m_state), 0700u);  // the record is the user's alone

    // Its copy failing is a problem of its own, which no "sent" may close.
    const std::string late = m_folder + "late.wav";
    WriteText(late, "late");
    CLocalState(m_state).Remember(CLocalState::EKind::Announced, late, *fsys::GetFileStamp(late));
    QDir(QString::fromStdString(m_folder + "tolvane")).removeRecursively();
    WriteText(m_folder + "tolvane", "");
    Cycle(*Started(m_state));
    EXPECT_TRUE(m_events.Of<ev::FileSent>().empty());
}

// A state folder that cannot be written is said, with the folder and the system's reason; the
// run still remembers a file it could not mark, and sends it once. (After a restart it cannot.)
TEST_F(LocalDisk, AnUnwritableStateFolderIsSaidAndARunStillSendsOnce)
{
    const std::string blocked = m_dir.path().toStdString() + "/blocked";
    WriteText(blocked, "");  // a file where the folder should be: refused even to root
    AsAuthorWithRootsFile([&](const std::string&) {
        const auto started = Started(blocked + "/orbidex");
        CWorkList& work = *started;
        Cycle(work);
        EXPECT_NE(m_display.WindowText().find(blocked + "/orbidex cannot be written: Not a directory"),
                  std::string::npos)
            << m_display.WindowText();
        Cycle(work);
        EXPECT_EQ(m_net.Seen().puts.size(), 1u);
    });
}

}  // namespace

namespace {

// Only a temporary this agent recorded is removed, and only while it is still the very file
// made, in a folder it writes to: the author's look-alikes, a name taken over since, links and
// whatever a forged record names stay.
// Entries are appended as files go, and the record is rewritten at a pass's end: a run killed
// between two appends, or in the middle of one, leaves a record a restart reads right.
TEST(LocalStateRecord, AppendedEntriesSurviveAKillAndThePassEndKeepsOnlyTheLiveOnes)
{
    using K = CLocalState::EKind;
    QTemporaryDir dir;
    const std::string state = dir.path().toStdString();
    const fsys::FileStamp one{10, 1}, two{20, 2};
    const auto paths = [](CLocalState& s, K kind) {
        std::vector<std::string> out;
        for (const CLocalState::CEntry& e : s.Entries(kind)) out.push_back(e.path);
        return out;
    };
    {
        CLocalState run(state);
        run.Remember(K::Unmarked, "/b", two, 0644);
        run.Remember(K::Announced, "/c", one);
    }
    ASSERT_TRUE(fsys::AppendFields(state, "sent-files", {"n", "12"}));  // cut by the kill
    std::ofstream(state + "/sent-files", std::ios::app | std::ios::binary) << "/half";
    {
        CLocalState restarted(state);
        EXPECT_EQ(paths(restarted, K::Announced), std::vector<std::string>{"/c"});
        EXPECT_EQ(restarted.Entries(K::Unmarked).at(0).mode, 0644);
        restarted.Remember(K::Announced, "/d", two);
        restarted.Forget(K::Announced, "/c");
        QTemporaryDir copy;  // killed again here: read on a copy, which its reader rewrites
        std::filesystem::copy_file(state + "/sent-files", copy.filePath("sent-files").toStdString());
        CLocalState killedAgain(copy.path().toStdString());
        EXPECT_EQ(paths(killedAgain, K::Announced), std::vector<std::string>{"/d"});
        restarted.EndPass();
    }
    EXPECT_EQ(fsys::ReadFields(state, "sent-files").size(), 2 * 6u);  // "/b" and "/d" alone
    CLocalState again(state);
    EXPECT_EQ(paths(again, K::Announced), std::vector<std::string>{"/d"});
}

// A full disk cuts an entry anywhere and later ones are appended after it: the cut entry alone
// is lost (never read as a shorter path), the start rewrites the record clean, and a record of
// the earlier form (no entry marks) is still read.
TEST(LocalStateRecord, AnEntryCutAnywhereLosesItAlone)
{
    using K = CLocalState::EKind;
    QTemporaryDir dir;
    const std::string state = dir.path().toStdString(), file = state + "/sent-files";
    std::vector<std::string> bytes;  // each entry as its append wrote it
    {
        CLocalState run(state);
        for (const auto& [kind, path, mode] : {std::tuple{K::Unmarked, "/rec/a.wav", 0644},
                                               {K::Announced, "/rec/b.wav", 0600},
                                               {K::Announced, "/rec/c.wav", -1},
                                               {K::Unarchived, "/rec/d.wav", 0640}}) {
            const std::size_t before = ReadAll(file).size();
            run.Remember(kind, path, {1234, -5678}, mode);
            bytes.push_back(ReadAll(file).substr(before));
        }
    }
    // Cut before its last byte: the next entry's first byte ends the end mark, a whole entry.
    // The start rewrites what it kept, so the record shows exactly that.
    for (std::size_t cut = 1; cut + 1 < bytes[1].size(); ++cut) {
        WriteText(file, bytes[0] + bytes[1].substr(0, cut) + bytes[2] + bytes[3]);
        EXPECT_TRUE(CLocalState(state).Has(K::Announced, "/rec/c.wav", {1234, -5678})) << cut;
        EXPECT_EQ(ReadAll(file), bytes[0] + bytes[2] + bytes[3]) << "cut after " << cut;
    }
    ASSERT_TRUE(fsys::WriteFields(state, "sent-files",
                                  {"m644", "1234", "-5678", "/rec/a.wav", "n", "1", "2", "/rec/e",
                                   "-n", "0", "0", "/rec/e", "n", "1234", "-5678", "/rec/c.wav"}));
    CLocalState(state).Entries(K::Unmarked);
    EXPECT_EQ(ReadAll(file), bytes[0] + bytes[2]);
}

TEST(TempSweep, RemovesOnlyTheFilesItRecordedAsItsOwn)
{
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/";
    struct Row {
        const char* name;
        bool recorded;
        const char* since;  // what happened after it was recorded
        bool swept;
    };
    const Row rows[] = {
        {".letter.rtf.a1b2c3.part", true, "", true},
        {".orbidex.zz9900.part", true, "", true},
        {"notes.txt.backup", false, "", false},
        {".memo.rtf.q1w2e3.part", false, "", false},
        {"memo.rtf.q1w2e3.part", true, "", false},  // our shape but for its leading dot
        {".x.wav.xy12zq.part", true, "replaced", false},
        {".y.rtf.abcdef.part", true, "linked", false},
        {".gone.rtf.abcdef.part", true, "removed", false},
        // A forged or damaged record: the author's own file, a temporary outside our folders.
        {"letter.wav", true, "", false},
        {"elsewhere/.z.rtf.abcdef.part", true, "", false},
    };
    std::filesystem::create_directories(root + "elsewhere");
    fsys::CTempRecord record(root + "state");
    for (const Row& r : rows) {
        const std::string path = root + r.name;
        WriteText(path, "x");
        const std::optional<fsys::SourceFile> made = fsys::OpenSource(path, nullptr);
        ASSERT_TRUE(made);
        if (r.recorded) {
            ASSERT_TRUE(record.Add(path, made->id));
        }
        const std::string_view since = r.since;
        if (since == "replaced") {  // made while the first exists: another inode for certain
            WriteText(path + ".new", "the author's");
            ::rename((path + ".new").c_str(), path.c_str());
        } else if (!since.empty()) {
            ::unlink(path.c_str());
        }
        if (since == "linked") {
            ASSERT_EQ(::symlink((root + "notes.txt.backup").c_str(), path.c_str()), 0);
        }
    }
    EXPECT_EQ(record.Sweep({root, root + "tolvane"}), 2);
    for (const Row& r : rows) {
        struct stat st {};
        const bool there = ::lstat((root + r.name).c_str(), &st) == 0;
        EXPECT_EQ(there, !r.swept && std::string_view(r.since) != "removed") << r.name;
    }
    EXPECT_EQ(record.Sweep({root}), 0);  // each entry is forgotten once swept
}

// A new file takes a name already there only when told to.
TEST(NewFile, ReplacesAnExistingFileOnlyWhenAsked)
{
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/";
    const std::optional<fsys::CFd> folder = fsys::OpenFolder(root, true, nullptr);
    ASSERT_TRUE(folder);
    for (const bool replace : {false, true}) {
        WriteText(root + "a.rtf", "the author's");
        std::optional<fsys::CNewFile> f =
            fsys::CNewFile::Create(folder->Get(), root, "a.rtf", nullptr, nullptr);
        ASSERT_TRUE(f);
        ASSERT_EQ(::write(f->Fd(), "new", 3), 3);
        EXPECT_EQ(f->Publish("a.rtf", replace, nullptr), replace);
        EXPECT_EQ(ReadAll(root + "a.rtf"), replace ? "new" : "the author's");
    }
}

}  // namespace

// The archive folder is opened once a pass: one removed, or replaced by a link, between two
// files of the pass still gets the second file's copy in the folder now at its name, never
// through the link.
TEST_F(LocalDisk, AnArchiveFolderChangedDuringThePassStillGetsTheNextCopy)
{
    const std::string outside = m_dir.path().toStdString() + "/outside";
    struct Row {
        const char* what;
        std::function<void(const std::string& archive)> change;
        bool copied;  // the second copy is in the folder at the name
    } const rows[] = {
        {"removed", [](const std::string& a) { QDir(QString::fromStdString(a)).removeRecursively(); },
         true},
        {"renamed away", [](const std::string& a) { ::rename(a.c_str(), (a + ".old").c_str()); },
         true},
        {"a link now",
         [&](const std::string& a) {
             QDir(QString::fromStdString(a)).removeRecursively();
             ASSERT_EQ(::symlink(outside.c_str(), a.c_str()), 0);
         },
         false},
    };
    for (const Row& row : rows) {
        QDir(QString::fromStdString(m_folder)).removeRecursively();
        QDir().mkpath(QString::fromStdString(m_folder));
        QDir(QString::fromStdString(outside)).removeRecursively();
        QDir().mkpath(QString::fromStdString(outside));
        const std::string archive = m_folder + "tolvane";
        QDir(QString::fromStdString(archive + ".old")).removeRecursively();
        // Between the first file's copy and the second's: as the second is announced.
        int announced = 0;
        m_net.onRequest = [&](const std::string& url) {
            if (url.find("copywav") != std::string::npos && ++announced == 2)
                row.change(archive);
        };
        CWorkList work;
        work.m_local = CLocalState(m_state);
        WriteText(m_folder + "a.wav", "first");
        WriteText(m_folder + "b.wav", "second");
        Cycle(work);
        m_net.onRequest = nullptr;
        EXPECT_TRUE(fsys::IsReadOnly(m_folder + "a.wav")) << row.what;
        EXPECT_TRUE(fsys::IsReadOnly(m_folder + "b.wav")) << row.what;
        // The second file's copy, in a real folder at the name; none through the link.
        struct stat st {};
        const bool real = ::lstat(archive.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        const int copies = real ? static_cast<int>(QDir(QString::fromStdString(archive))
                                                       .entryList(QDir::Files)
                                                       .size())
                                : 0;
        EXPECT_EQ(copies, row.copied ? 1 : 0) << row.what;
        EXPECT_TRUE(QDir(QString::fromStdString(outside)).isEmpty()) << row.what;
        const std::vector<CAgentEvent> events = m_events.Events();
        const bool failed = std::any_of(events.begin(), events.end(), [](const CAgentEvent& e) {
            const auto* f = e.As<ev::FileFailed>();
            return f && f->stage == EStage::Archive;
        });
        EXPECT_EQ(failed, !row.copied) << row.what;
        work.EndLocalPass();
    }
}
