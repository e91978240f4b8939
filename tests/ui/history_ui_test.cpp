// The author's day in the window: the list, Send again on the real disk, the pause across a
// restart, and the news of arrivals.
#include "core/cycle/Automation.h"
#include "core/cycle/LocalState.h"
#include "platform/LocalFile.h"
#include "support/AsAuthor.h"
#include "support/FakeNotices.h"
#include "support/Files.h"
#include "support/FrameTest.h"
#include "ui/HistoryActions.h"
#include "ui/HistoryModel.h"
#include "ui/HistoryWindow.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>
#include <QTableView>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Makes the file, then marks it sent as a cycle does: its write bits cleared on the open file
// and what they were recorded.
void MakeAndMark(const std::string& state, const std::string& path, unsigned mode, bool record)
{
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "rec", 3), 3);
    ::fchmod(fd, mode);
    ::close(fd);
    std::string why;
    std::optional<fsys::SourceFile> file = fsys::OpenSource(path, &why);
    ASSERT_TRUE(file) << why;
    ASSERT_TRUE(fsys::ClearWriteBits(*file, &why)) << why;
    if (record)
        CLocalState(state).RememberMark(path, file->stamp, file->mode & 0222);
}

}  // namespace

// Edits a marked file as its owner can: made writable, written, made read-only again.
void EditSinceTheMark(const std::string& path)
{
    const unsigned mode = ModeOf(path);
    ::chmod(path.c_str(), mode | 0200);
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "+", 1), 1);
    ::close(fd);
    ::chmod(path.c_str(), mode);
}

TEST(HistoryList, SendAgainGivesBackWhatTheMarkTookAndNothingElse)
{
    QTemporaryDir tmp;
    const std::string home = tmp.path().toStdString(), state = home + "/state";
    ASSERT_TRUE(AsAuthor(home, [&] {
        struct {
            const char* name;
            unsigned before;
            bool recorded, edited, evenIfChanged;
            EUndo undo;
            unsigned after;
        } const cases[] = {
            {"group.wav", 0664, true, false, false, EUndo::Done, 0664},
            {"own.wav", 0640, true, false, false, EUndo::Done, 0640},
            {"exec.wav", 0775, true, false, false, EUndo::Done, 0775},
            {"unrecorded.wav", 0664, false, false, false, EUndo::Done, 0644},  // the owner's bit
            // Not the content that was sent: left marked until the author says so again.
            {"edited.wav", 0664, true, true, false, EUndo::Changed, 0444},
            {"edited-sent.wav", 0664, true, true, true, EUndo::Done, 0644},
            {"unrecorded-edited.wav", 0664, false, true, false, EUndo::Done, 0644},
        };
        for (const auto& c : cases) {
            const std::string path = home + "/" + c.name;
            MakeAndMark(state, path, c.before, c.recorded);
            if (c.edited)
                EditSinceTheMark(path);
            std::string why;
            EXPECT_EQ(UndoSentMark(path, state, c.evenIfChanged, &why), c.undo) << c.name << why;
            EXPECT_EQ(ModeOf(path), c.after) << c.name;
        }
        // A file not marked, a link in a file's place, a folder: left as they are.
        std::string why;
        EXPECT_EQ(UndoSentMark(home + "/group.wav", state, true, &why), EUndo::Refused);
        ASSERT_EQ(::symlink((home + "/own.wav").c_str(), (home + "/link.wav").c_str()), 0);
        ::chmod((home + "/own.wav").c_str(), 0440);
        EXPECT_EQ(UndoSentMark(home + "/link.wav", state, true, &why), EUndo::Refused);
        EXPECT_EQ(ModeOf(home + "/own.wav"), 0440u);
        EXPECT_EQ(UndoSentMark(state, state, true, &why), EUndo::Refused);
    }));
}

class HistoryFrame : public CFrameTest {
protected:
    void Arrive(std::initializer_list<const char*> names)
    {
        CAgentState& s = frame->Automation().State();
        s.Report(ev::CycleStarted{});
        for (const char* n : names) s.Report(ev::DocumentFetched{n});
        s.Report(ev::CycleEnded{});
        QCoreApplication::processEvents();
        frame->FrameDisplay().CatchUp();
        QCoreApplication::processEvents();
    }
};

TEST_F(HistoryFrame, TheListNamesItsColumnsAndSendsAgainOnlyWhenAsked)
{
    const std::string path = tmp.filePath(QStringLiteral("note.wav")).toStdString();
    MakeAndMark(StateFolder().toStdString(), path, 0664, true);
    frame->History().Add({1, EFlow::Received, EOutcome::Downloaded, 5, "/dl/old.rtf", {}});
    frame->Automation().State().Report(ev::FileSent{path});
    frame->OnRecentActivity();
    CHistoryWindow* w = frame->HistoryWindow();
    ASSERT_NE(w, nullptr);
    QAbstractItemModel* m = w->View()->model();
    ASSERT_EQ(m->rowCount(), 2);
    for (int c = 0; c < m->columnCount(); ++c)
        EXPECT_FALSE(m->headerData(c, Qt::Horizontal).toString().isEmpty()) << c;
    EXPECT_EQ(m->index(0, CHistoryModel::Name).data().toString(), QStringLiteral("note.wav"));

    // Each question answered in turn; a file edited since its mark asks a second one.
    const struct {
        bool edited;
        std::vector<bool> yes;
        unsigned after;
    } rows[] = {{false, {false}, 0444}, {false, {true}, 0664},
                {true, {true, false}, 0444}, {true, {true, true}, 0644}};
    for (const auto& r : rows) {
        MakeAndMark(StateFolder().toStdString(), path, 0664, true);
        if (r.edited)
            EditSinceTheMark(path);
        std::size_t asked = 0;
        answers.On<QMessageBox>([&](QMessageBox& box) {
            const bool yes = asked < r.yes.size() && r.yes[asked];
            ++asked;
            for (QAbstractButton* b : box.buttons())
                if ((box.buttonRole(b) == QMessageBox::AcceptRole) == yes)
                    return b->click();
        });
        w->View()->setCurrentIndex(m->index(0, 0));
        w->SendAgainSelected();
        EXPECT_EQ(asked, r.yes.size()) << r.edited;
        EXPECT_EQ(ModeOf(path), r.after) << r.edited << r.yes.size();
    }
}

TEST_F(HistoryFrame, ThePauseOutlivesARestartAndHoldsThePoll)
{
    profile->WriteProfileInt("Author Details", "Poll Time", 5);
    frame->LoadSettings();
    frame->ArmPollTimer(1500);
    frame->SetPaused(true);
    frame->OnTimer(frame->TimerId());
    EXPECT_FALSE(frame->Automation().IsBusy());
    Restart();
    EXPECT_TRUE(frame->Paused());
    EXPECT_EQ(frame->StatusReport().substr(0, 7), "paused\n");
    frame->SetPaused(false);
    Restart();
    EXPECT_FALSE(frame->Paused());
}

TEST_F(HistoryFrame, ArrivalsAreToldOnceACycleWhileTheSettingIsOn)
{
    CFakeNotices notices;
    Restart(&notices);
    Arrive({"letter-to-the-bank.rtf", "minutes-march.rtf"});
    Arrive({});
    profile->WriteProfileInt("Author Details", "Arrival Notices", 0);
    frame->LoadSettings();
    Arrive({"late.rtf"});
    EXPECT_EQ(notices.arrived,
              QStringList{"2 documents arrived: letter-to-the-bank.rtf, minutes-march.rtf"});

    frame->Automation().State().Report(ev::LoginRefused{});
    QCoreApplication::processEvents();
    ASSERT_EQ(notices.fixes.size(), 1);
    EXPECT_EQ(notices.fixes.first().label, QStringLiteral("Open Configuration"));
}
