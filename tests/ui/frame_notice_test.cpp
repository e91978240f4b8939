// A failed upload notification opens "No Network Access." without holding the cycle: nobody
// may be at the desk. One such box at a time, and the failure stays in the window and the log.
#include "core/cycle/Automation.h"
#include "support/DialogAnswers.h"
#include "support/FakeNotices.h"
#include "support/FakeNotifyArea.h"
#include "support/FakeService.h"
#include "support/MemoryProfileStore.h"
#include "support/wav_util.h"
#include "ui/MainFrame.h"

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

std::vector<QMessageBox*> OpenBoxes(const QString& text)
{
    std::vector<QMessageBox*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w);
            box && box->isVisible() && box->text() == text)
            out.push_back(box);
    return out;
}

TEST(FrameNotice, FailedNotificationBoxDoesNotHoldTheCycleAndOpensOnce)
{
    CDialogAnswers answers;  // modal dialogs cancelled; message boxes show for real
    QTemporaryDir tmp;
    const std::string src = tmp.path().toStdString() + "/src/";
    QDir().mkpath(QString::fromStdString(src));
    for (const char* f : {"a.wav", "b.wav"}) WriteText(src + f, f);

    CFakeService net;
    net.pages["web.test//"] = {"<html>"};
    net.pages["authorverify.php"] = {"Username Valid!"};  // the notification URL opens nothing
    CMemoryProfileStore profile;
    profile.strings[{"Author Details", "Author"}] = "ab12";
    profile.strings[{"Author Details", "Password"}] = "secret";
    profile.strings[{"Source Directories", "Dir1"}] = src;
    profile.strings[{"Source Directories", "Ext1"}] = "wav";
    CFakeNotifyArea area;
    CFrameServices services;
    services.settleMs = 0;
    services.profile = &profile;
    services.notifyArea = &area;
    services.internet = &net;
    services.endpoints.httpOrigin = "http://web.test";
    services.endpoints.httpsOrigin = "https://web.test";
    services.endpoints.ftpHost = "ftp.test";
    services.logPath = tmp.filePath(QStringLiteral("Orbidex.log")).toStdString();
    // Not the desktop's notification service: its D-Bus thread is foreign to the sanitizers.
    CFakeNotices notices;
    services.notices = &notices;
    auto frame = std::make_unique<CMainFrame>(services);
    ASSERT_TRUE(frame->LoadFrame());
    frame->LoadSettings();

    // Should a box hold the cycle after all, it is closed after a while, so the test fails
    // instead of waiting for ever.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] {
        for (QMessageBox* box : OpenBoxes(QStringLiteral("No Network Access."))) box->accept();
    });
    guard.start(3000);

    frame->StartAutomation();
    // The cycle ends with the box still open: nobody clicked OK.
    const QString text = QStringLiteral("No Network Access.");
    // The box and the lines are posted to the window: they may arrive just after the cycle ends.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !frame->Automation().IsBusy() && !OpenBoxes(text).empty(); }, 10000));
    QTest::qWait(50);
    EXPECT_EQ(OpenBoxes(text).size(), 1u);
    const QString lines = frame->WindowText();
    EXPECT_EQ(lines.count(QStringLiteral("he service was not told of this file")), 2)
        << lines.toStdString();

    EXPECT_EQ(notices.opened.size(), 2);  // each file's failure is a problem of its own

    // A later cycle with the box still open opens no second one.
    frame->StartAutomation();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame->Automation().IsBusy(); }, 10000));
    QTest::qWait(50);
    EXPECT_EQ(OpenBoxes(text).size(), 1u);
    for (QMessageBox* box : OpenBoxes(text)) box->accept();
    frame.reset();
}

}  // namespace
