#include "core/cycle/Automation.h"
#include "ui/Resources.h"
#include "platform/QtProfileStore.h"
#include "support/DialogAnswers.h"
#include "support/FakeNotifyArea.h"
#include "support/FakeService.h"
#include "ui/MainFrame.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/SourceDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
class StartupStep : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        profile = std::make_unique<CQtProfileStore>(tmp.filePath(QStringLiteral("p.conf")));
        net.failOpen = true;  // a cycle ends at its first step, and we can see that it ran
        answers.OnMessageBox([this](const QString& t, const QString&) { boxes.push_back(t); });
    }
    void TearDown() override
    {
        WaitForCycle();
        frame.reset();
    }
    void Store(int showConfig, const char* author, const char* password, int pollTime)
    {
        profile->WriteProfileInt(kSectionAuthor, "Show Config", showConfig);
        profile->WriteProfileString(kSectionAuthor, "Author", author);
        profile->WriteProfileString(kSectionAuthor, "Password", password);
        profile->WriteProfileInt(kSectionAuthor, "Poll Time", pollTime);
    }
    // A shown main window whose Configuration dialog is counted and cancelled.
    void Start()
    {
        CFrameServices services;
        services.settleMs = 0;
        services.profile = profile.get();
        services.notifyArea = &area;
        services.internet = &net;
        services.logPath = tmp.filePath(QStringLiteral("Orbidex.log")).toStdString();
        frame = std::make_unique<CMainFrame>(services);
        answers.On<SourceDir>([this](SourceDir&) {
            ++dialogs;
            hiddenAtDialog = !frame->isVisible();
            if (onDialog)
                onDialog();
        });
        ASSERT_TRUE(frame->LoadFrame());
        frame->show();
        frame->OnFirstPaint();
    }
    void Pump(int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    void WaitForCycle()
    {
        QElapsedTimer t;
        t.start();
        while (frame && frame->Automation().IsBusy() && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_FALSE(frame && frame->Automation().IsBusy());
    }
    // The poll timer as armed by the step: identifier 1, 1500 ms, running.
    bool PollTimerArmed() const
    {
        for (QTimer* t : frame->findChildren<QTimer*>())
            if (t->isActive() && t->interval() == 1500)
                return frame->TimerId() == 1;
        return false;
    }
    int CyclesStarted() const { return static_cast<int>(net.Seen().agents.size()); }

    CDialogAnswers answers;
    QTemporaryDir tmp;
    std::unique_ptr<CQtProfileStore> profile;
    CFakeNotifyArea area;
    CFakeService net;
    std::unique_ptr<CMainFrame> frame;
    std::vector<QString> boxes;
    std::function<void()> onDialog;
    int dialogs = 0;
    bool hiddenAtDialog = false;
};
}  // namespace

TEST_F(StartupStep, FirstStartWithNothingStoredOpensTheDialogWithTheWindowHidden)
{
    Start();
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(hiddenAtDialog);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(frame->TimerPeriod(), 1500u);
    EXPECT_FALSE(PollTimerArmed());  // Poll Time 0
    WaitForCycle();
    EXPECT_EQ(CyclesStarted(), 2);  // the dialog's list request, then the cycle its closing started
}

TEST_F(StartupStep, CompleteSettingsOpenNoDialogAndArmTheTimer)
{
    Store(0, "ab12", "pw", 5);
    Start();
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(PollTimerArmed());
    EXPECT_EQ(CyclesStarted(), 0);
    Pump(1300);
    EXPECT_EQ(CyclesStarted(), 0);  // not before 1.5 s
    Pump(1000);
    WaitForCycle();
    EXPECT_EQ(CyclesStarted(), 1);
}

TEST_F(StartupStep, PollTimeZeroOpensTheDialogAndArmsNoTimer)
{
    Store(0, "ab12", "pw", 0);
    Start();
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(PollTimerArmed());
    EXPECT_EQ(frame->TimerId(), 0u);
    WaitForCycle();
    EXPECT_EQ(CyclesStarted(), 2);  // the dialog's list request, then the cycle's probe
}

TEST_F(StartupStep, NegativePollTimeOpensNothingAndArmsNothing)
{
    Store(0, "ab12", "pw", -1);
    Start();
    EXPECT_EQ(dialogs, 0);
    EXPECT_FALSE(PollTimerArmed());
    EXPECT_EQ(frame->TimerId(), 0u);
    EXPECT_EQ(frame->TimerPeriod(), 1500u);
    Pump(50);
    EXPECT_TRUE(frame->WindowText().contains(
        QStringLiteral(" - Poll Time is -1: polling is off. Set it above 0 in Configuration.")))
        << frame->WindowText().toStdString();
}

TEST_F(StartupStep, MissingPasswordOrLoginIdOpensTheDialog)
{
    Store(0, "ab12", "", 5);
    Start();
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(PollTimerArmed());
    WaitForCycle();
    frame.reset();

    dialogs = 0;
    Store(0, "", "pw", 5);
    Start();
    EXPECT_EQ(dialogs, 1);
}

TEST_F(StartupStep, TheTimerFollowsWhatTheDialogSaved)
{
    onDialog = [this] {
        Store(0, "ab12", "pw", 5);
        profile->Sync();
    };
    Start();
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(PollTimerArmed());
    EXPECT_EQ(frame->Settings().Snapshot().PollTime, 5);
}

TEST_F(StartupStep, RunsOnceHoweverOftenTheWindowPaints)
{
    Start();
    frame->OnFirstPaint();
    frame->show();
    Pump(50);
    EXPECT_EQ(dialogs, 1);
}

TEST_F(StartupStep, ConfigurationCommandRunsTheDialogThenReloadsAndStartsACycle)
{
    Store(0, "ab12", "pw", -1);
    Start();
    ASSERT_EQ(dialogs, 0);
    bool ownWindow = false;
    answers.On<SourceDir>([&](SourceDir& d) {
        ownWindow = d.parentWidget() == nullptr;
        // Changed behind the dialog's back, then Cancel: the reload still happens.
        profile->WriteProfileInt(kSectionAuthor, "Poll Time", 9);
        d.reject();
    });
    frame->OnCommand(ID_CONFIGURATION);
    EXPECT_TRUE(ownWindow);
    EXPECT_EQ(frame->Settings().Snapshot().PollTime, 9);
    WaitForCycle();
    EXPECT_EQ(CyclesStarted(), 2);  // the dialog's list request, then the cycle's probe
}
