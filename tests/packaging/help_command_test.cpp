#include "core/resources/Resources.h"
#include "platform/QtProfileStore.h"
#include "support/FakeNotifyArea.h"
#include "ui/MainFrame.h"
#include "ui/MainFrameHelp.h"

#include <QCoreApplication>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QTest>
#include <QTemporaryDir>
#include "support/FrameTest.h"

#include <gtest/gtest.h>

namespace {

class HelpCommand : public CFrameTest {
protected:
    void SetUp() override
    {
        CFrameTest::SetUp();
        answers.OnMessageBox([this](const QString& text, const QString&) { boxes << text; });
        g_openHelpUrl = [this](const QUrl& url) {
            opened << url;
            return viewerWorks;
        };
    }
    void TearDown() override { g_openHelpUrl = nullptr; }
    static QString BuildHelp()
    {
        return QDir(QCoreApplication::applicationDirPath())
            .filePath(QStringLiteral("help/orbidex-help.html"));
    }

    QStringList boxes;
    QList<QUrl> opened;
    bool viewerWorks = true;
};

TEST_F(HelpCommand, OpensTheHelpBesideTheProgramWithTheDesktopViewer)
{
    ASSERT_TRUE(QFile::exists(BuildHelp()));
    EXPECT_TRUE(frame->OnCommand(ID_HELP_FINDER));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(BuildHelp()));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(HelpCommand, F1OpensItFromTheWindowAndFromTheTrayMenu)
{
    frame->OnFirstPaint();  // the start-up step hides the window; it is opened after it
    frame->OnOpenWindow();
    QApplication::setActiveWindow(frame.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_F1);
    EXPECT_EQ(opened.size(), 1);
    QMenu* menu = frame->BuildTrayMenu();
    menu->popup(QPoint(0, 0));
    QTest::keyClick(menu, Qt::Key_F1);
    EXPECT_EQ(opened.size(), 2);
    EXPECT_FALSE(menu->isVisible());
    delete menu;
}

TEST_F(HelpCommand, LooksNextToTheProgramThenInTheBuildThenInTheInstalledShare)
{
    const QDir bin(QCoreApplication::applicationDirPath());
    const QStringList c = HelpFileCandidates();
    ASSERT_EQ(c.size(), 4);
    EXPECT_EQ(c[0], bin.filePath(QStringLiteral("orbidex-help.html")));
    EXPECT_EQ(c[1], bin.filePath(QStringLiteral("help/orbidex-help.html")));
    EXPECT_EQ(c[2], QDir::cleanPath(
                        bin.filePath(QStringLiteral("../share/orbidex/help/orbidex-help.html"))));
    EXPECT_TRUE(c[3].endsWith(QStringLiteral("/share/orbidex/help/orbidex-help.html")));
}

TEST_F(HelpCommand, NoViewerIsReportedAndTheAgentGoesOn)
{
    viewerWorks = false;
    frame->OnShowHelp();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0], QStringLiteral("No viewer could open the help file %1.").arg(BuildHelp()));
}

TEST_F(HelpCommand, MissingHelpIsReportedWithoutOpeningAnything)
{
    const QString dir = QFileInfo(BuildHelp()).absolutePath();
    const QString aside = dir + QStringLiteral(".aside");
    ASSERT_TRUE(QDir().rename(dir, aside));
    const bool installedElsewhere = !FindHelpFile().isEmpty();
    if (!installedElsewhere)
        frame->OnShowHelp();
    ASSERT_TRUE(QDir().rename(aside, dir));
    if (installedElsewhere)
        GTEST_SKIP() << "an installed help exists on this machine";
    EXPECT_TRUE(opened.isEmpty());
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0], QStringLiteral("Cannot open the help file orbidex-help.html."));
}

}  // namespace
