#pragma once
// A created main window on a temporary profile and log, a fake notification area, and every
// modal dialog cancelled: the start of every widget test of the window's commands.
#include "platform/QtProfileStore.h"
#include "support/DialogAnswers.h"
#include "support/FakeNotifyArea.h"
#include "ui/MainFrame.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class CFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        profile = std::make_unique<CQtProfileStore>(tmp.filePath(QStringLiteral("p.conf")));
        Restart();
    }
    // A new window on the same profile, log and state folder, as after a restart.
    void Restart(INotices* notices = nullptr)
    {
        frame.reset();
        CFrameServices services;
        services.settleMs = 0;
        services.profile = profile.get();
        services.notifyArea = &area;
        services.logPath = LogPath().toStdString();
        services.stateFolder = StateFolder().toStdString();
        services.notices = notices;
        frame = std::make_unique<CMainFrame>(services);
        ASSERT_TRUE(frame->LoadFrame());
    }
    QString LogPath() const { return tmp.filePath(QStringLiteral("Orbidex.log")); }
    QString StateFolder() const { return tmp.filePath(QStringLiteral("state")); }

    CDialogAnswers answers;
    QTemporaryDir tmp;
    CFakeNotifyArea area;
    std::unique_ptr<CQtProfileStore> profile;
    std::unique_ptr<CMainFrame> frame;
};
