#include "app/MyApp.h"
#include "ui/Resources.h"
#include "platform/QtProfileStore.h"
#include "platform/SingleInstance.h"
#include "support/FakeNotifyArea.h"
#include "support/Files.h"
#include "ui/MainFrame.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <fstream>
#include "support/FrameTest.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <chrono>
#include <thread>
#include <unistd.h>

namespace {

// What the user sees: a hidden action (Exit on the bar while there is a tray) is not listed.
QStringList Texts(const QList<QAction*>& actions)
{
    QStringList out;
    for (QAction* a : actions)
        if (a->isVisible())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

using Frame = CFrameTest;
}  // namespace

TEST_F(Frame, CreationShowsIdleTrayStatusAndWritesStartBlock)
{
    EXPECT_EQ(frame->StatusText(), QStringLiteral("Nimbrel Upload Ravlet"));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Nimbrel Ravlet"));
    ASSERT_EQ(area.Calls().size(), 1u);
    EXPECT_EQ(area.Calls()[0].op, NIM_ADD);
    EXPECT_EQ(area.Calls()[0].state.icon, IDI_TRAY_IDLE);
    const std::string log = ReadAll(LogPath().toStdString());
    EXPECT_EQ(log.rfind("\r\n\r\n" + std::string(80, '=') + "\r\n", 0), 0u);
    EXPECT_NE(log.find(" - Tolvane's Orbidex Log Initialized\r\n"), std::string::npos);
}

TEST_F(Frame, MenusCarryTheirTextsInOrder)
{
    const QStringList bar = Texts(frame->menuBar()->actions());
    EXPECT_EQ(bar, (QStringList{"&Configuration", "Transfer Now!!!", "&Pause automatic sending",
                                "&Recent activity", "&Help"}));
    QMenu* help = frame->menuBar()->actions().at(4)->menu();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(Texts(help->actions()), (QStringList{"F1 &Help", "&About Orbidex.."}));
    std::unique_ptr<QMenu> tray(frame->BuildTrayMenu());
    EXPECT_EQ(Texts(tray->actions()),
              (QStringList{"&Open", "&Configuration", "Transfer Now!!!", "&Pause automatic sending",
                           "&Recent activity", "Open &download folder", "Open &log", "-",
                           "F1 &Help", "&About Orbidex...", "&Exit"}));
    ASSERT_NE(tray->defaultAction(), nullptr);
    EXPECT_EQ(tray->defaultAction()->text(), QStringLiteral("&Open"));  // drawn in bold
}

TEST_F(Frame, StatusBarNeverShowsFrameworkTexts)
{
    QStatusTipEvent tip(QStringLiteral("Ready"));
    QApplication::sendEvent(frame.get(), &tip);
    EXPECT_EQ(frame->StatusText(), QStringLiteral("Nimbrel Upload Ravlet"));
    frame->Display().SetStatusText("Polling Started ...");
    QStatusTipEvent empty{QString()};
    QApplication::sendEvent(frame.get(), &empty);
    EXPECT_EQ(frame->StatusText(), QStringLiteral("Polling Started ..."));
}

TEST_F(Frame, CloseHidesOpenAndDoubleClickRestore)
{
    frame->show();
    frame->close();
    EXPECT_FALSE(frame->isVisible());
    frame->OnCommand(ID_OPEN_WINDOW);
    EXPECT_TRUE(frame->isVisible());
    frame->showMinimized();
    frame->close();
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(frame->OnTrayMessage(IDR_TRAYMENU, WM_LBUTTONDBLCLK), 1);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(frame->isMinimized());
    EXPECT_EQ(frame->OnTrayMessage(IDR_TRAYMENU, 514), 0);  // single click: nothing
}

TEST_F(Frame, ExitWritesShutdownBlockAndRemovesTheIcon)
{
    frame->show();
    frame->OnCommand(ID_EXIT);
    EXPECT_FALSE(frame->isVisible());
    const std::string log = ReadAll(LogPath().toStdString());
    const std::string tail = "\r\n\r\n" + std::string(80, '=') + "\r\n[";
    EXPECT_NE(log.find(tail), std::string::npos);
    EXPECT_NE(log.find("] * * * SHUTDOWN * * *\r\n" + std::string(80, '=') + "\r\n"),
              std::string::npos);
    EXPECT_EQ(area.Calls().back().op, NIM_DELETE);
    // After the real close, worker updates no longer reach the widgets.
    frame->Display().SetStatusText("late");
    EXPECT_EQ(frame->StatusText(), QStringLiteral("Nimbrel Upload Ravlet"));
}

// A burst sent while the UI thread is away (joining the worker): the worker never waited, every
// line arrives in order, the last status text wins. Exit in a second burst holds nobody.
TEST_F(Frame, WorkerUpdatesArriveInOrderAndExitDuringABurstHoldsNobody)
{
    IDisplay& d = frame->Display();
    QString expected = QStringLiteral("first\nfirst\n\n");
    std::thread([&] {
        d.AddWindowLine("first");
        d.AddWindowLine("first\r\n");  // a line of its own with its break: an empty one follows
        for (int i = 0; i < 500; ++i) {
            d.AddWindowLine("line " + std::to_string(i));
            d.SetStatusText("status " + std::to_string(i));
        }
    }).join();
    for (int i = 0; i < 500; ++i) expected += QStringLiteral("line %1\n").arg(i);
    frame->show();
    EXPECT_EQ(frame->findChild<QPlainTextEdit*>()->toPlainText(), expected);
    EXPECT_EQ(frame->StatusText(), QStringLiteral("status 499"));

    // Bounded by time, not a count: a fast machine could finish any count before Exit.
    std::atomic<long> sent{0};
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (; !stop && std::chrono::steady_clock::now() < deadline; ++sent) {
            d.AddWindowLine("a line");
            d.PostMessageBox("No Network Access.");
            // Thousands a second: a burst, yet one a sanitized UI thread keeps up with.
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame->WindowText() != expected; }, 5000));
    frame->OnExit();
    const QString atExit = frame->WindowText();
    const long sentAtExit = sent;
    QTest::qWait(50);
    EXPECT_GT(sent.load(), sentAtExit);
    EXPECT_EQ(frame->WindowText(), atExit);
    stop = true;
    worker.join();
}

// Lines go at the end whatever the user clicked or selected; the view follows only from the
// end; nothing is laid out while hidden or minimised, and showing catches up at once.
TEST_F(Frame, TextAreaAlwaysAppendsAtTheEndAndOnlyWhenSeen)
{
    auto* text = frame->findChild<QPlainTextEdit*>();
    QScrollBar* bar = text->verticalScrollBar();
    QString expected;
    auto lines = [&](int n) {
        for (int i = 0; i < n; ++i) frame->Display().AddWindowLine("line");
        expected += QStringLiteral("line\n").repeated(n);
    };
    frame->showMinimized();
    lines(100);
    EXPECT_TRUE(text->document()->isEmpty());
    EXPECT_EQ(frame->WindowText(), expected);
    frame->OnOpenWindow();
    EXPECT_EQ(text->toPlainText(), expected);
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(0);
    QTest::mouseClick(text->viewport(), Qt::LeftButton, {}, QPoint(4, 4));
    QTextCursor selection = text->textCursor();
    selection.setPosition(2);
    selection.setPosition(6, QTextCursor::KeepAnchor);
    text->setTextCursor(selection);
    lines(50);
    EXPECT_EQ(text->toPlainText(), expected);
    EXPECT_EQ(text->textCursor().selectedText(), QStringLiteral("ne\u2029l"));
    EXPECT_EQ(bar->value(), 0);
    bar->setValue(bar->maximum());
    lines(50);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(Frame, ALogThatCannotBeWrittenIsReportedOnceWithoutHoldingTheWorker)
{
    const QString log = LogPath();
    const QString report = QStringLiteral("Cannot write the log ") + log + ": Is a directory";
    ASSERT_TRUE(QFile::remove(log) && QDir().mkdir(log));  // not even root can open it
    // The UI thread runs no loop meanwhile: a worker that waited for it would never return.
    std::thread([this] { frame->Display().WriteLogLine("lost"); }).join();
    frame->Display().WriteLogLine("lost too");
    EXPECT_EQ(frame->StatusText(), report);
    EXPECT_EQ(frame->WindowText().count(report), 1);
    ASSERT_TRUE(QDir().rmdir(log));
    frame->Display().WriteLogLine("written");
    ASSERT_TRUE(QFile::remove(log) && QDir().mkdir(log));
    frame->Display().WriteLogLine("lost again");
    EXPECT_EQ(frame->WindowText().count(report), 2);
}

TEST_F(Frame, MessageBoxesGoThroughTheHook)
{
    QStringList seen, captions;
    answers.OnMessageBox([&](const QString& t, const QString& c) {
        seen << t;
        captions << c;
    });
    std::thread worker([&] { frame->Display().MessageBox("No Network Access."); });
    for (int i = 0; i < 500 && seen.isEmpty(); ++i) QTest::qWait(5);
    worker.join();
    frame->Display().MessageBox("No Automation Possible");  // from the UI thread
    answers.OnMessageBox(nullptr);
    EXPECT_EQ(seen, (QStringList{"No Network Access.", "No Automation Possible"}));
    EXPECT_EQ(captions, (QStringList{"Nimbrel Ravlet", "Nimbrel Ravlet"}));
}

// The worker's box must not lock the user out of the tray menu, and Exit must close it and
// let the worker go.
TEST_F(Frame, WorkerBoxLeavesTheAgentUsableAndExitClosesIt)
{
    std::atomic<bool> returned{false};
    QString text, title;
    bool modal = true;
    bool returnedWhileOpen = true;
    QElapsedTimer sinceExit;
    // The box runs its own loop: look at it, and choose Exit, from a timer inside that loop.
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible() || sinceExit.isValid())
                continue;
            text = box->text();
            title = box->windowTitle();
            modal = box->isModal() || QApplication::activeModalWidget() != nullptr;
            returnedWhileOpen = returned;
            sinceExit.start();
            frame->OnExit();
        }
    });
    probe.start();
    std::thread worker([&] {
        frame->Display().MessageBox("No Network Access.");
        returned = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 5000));
    worker.join();
    ASSERT_TRUE(sinceExit.isValid());
    EXPECT_LT(sinceExit.elapsed(), 2000);
    EXPECT_EQ(text, QStringLiteral("No Network Access."));
    EXPECT_EQ(title, QStringLiteral("Nimbrel Ravlet"));
    EXPECT_FALSE(modal);
    EXPECT_FALSE(returnedWhileOpen);
}

TEST(SingleInstance, SecondHolderIsRefusedAndADeadHoldersLockIsTakenOver)
{
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    const QString name = QStringLiteral("FD2C3621_5418_11D8_8E2A_EA1BF69D4779");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CSingleInstance first(name);
        const char ok = first.Acquire() ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        ::pause();  // killed by the parent
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, '1');
    {
        CSingleInstance second(name);
        EXPECT_FALSE(second.Acquire());
        EXPECT_TRUE(second.LockPath().startsWith(runtime.path()));
    }
    // The application refuses with its message box and creates nothing.
    QStringList boxes;
    CDialogAnswers answers;
    answers.OnMessageBox([&](const QString& t, const QString&) { boxes << t; });
    {
        CMyApp app;
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(app.MainWindow(), nullptr);
    }
    answers.OnMessageBox(nullptr);
    EXPECT_EQ(boxes, QStringList{"Tolvane's Orbidex is already loaded"});

    ::kill(child, SIGKILL);  // a crash: the lock file stays behind
    ::waitpid(child, nullptr, 0);
    CSingleInstance third(name);
    EXPECT_TRUE(third.Acquire());
    ::close(ready[0]);
    ::close(ready[1]);
}

// A link (here to a lock a live process holds elsewhere) or a folder at the lock's name would
// let a second agent start or a status request say "not running": both are refused, with why.
TEST(SingleInstance, OnlyAPlainFileAtTheLocksNameIsALock)
{
    QTemporaryDir runtime;
    ::chmod(runtime.path().toLocal8Bit().constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    const QString name = QStringLiteral("planted");
    const QString lockPath = runtime.filePath(name + QStringLiteral(".lock"));
    for (const bool folder : {false, true}) {
        if (folder)
            QDir().mkdir(lockPath);
        else
            ASSERT_EQ(::symlink("/nonexistent/elsewhere.lock", lockPath.toLocal8Bit().constData()), 0);
        CSingleInstance second(name);
        EXPECT_FALSE(second.Acquire()) << folder;
        EXPECT_FALSE(second.IsHeld()) << folder;
        EXPECT_TRUE(second.Error().contains(QStringLiteral("not a plain file"))) << folder;
        QFile::remove(lockPath);
        QDir().rmdir(lockPath);
    }
}

TEST(SingleInstance, ALockThatCannotBeCreatedDoesNotRefuseTheStart)
{
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    // The lock's folder does not exist, so no lock file can be made.
    CSingleInstance first(QStringLiteral("missing-folder/FD2C3621_5418_11D8_8E2A_EA1BF69D4779"));
    EXPECT_TRUE(first.Acquire());
    EXPECT_FALSE(QFileInfo::exists(first.LockPath()));
}
