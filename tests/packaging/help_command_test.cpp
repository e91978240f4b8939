#include "ui/Resources.h"
#include "platform/QtProfileStore.h"
#include "support/FakeNotifyArea.h"
#include "ui/MainFrame.h"
#include "ui/HelpWindow.h"
#include "ui/MainFrameHelp.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QScreen>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QScrollBar>
#include <QTextBrowser>
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

// The shipped page in the agent's own window, one window however often Help is chosen.
CHelpWindow* HelpWindow()
{
    CHelpWindow* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* h = qobject_cast<CHelpWindow*>(w); h && h->isVisible()) {
            EXPECT_EQ(shown, nullptr) << "two help windows";
            shown = h;
        }
    return shown;
}

TEST_F(HelpCommand, F1ShowsTheHelpBesideTheProgramInItsOwnWindow)
{
    ASSERT_TRUE(QFile::exists(BuildHelp()));
    frame->OnFirstPaint();  // the start-up step hides the window; it is opened after it
    frame->OnOpenWindow();
    QApplication::setActiveWindow(frame.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_F1);
    CHelpWindow* help = HelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->Browser()->source(), QUrl::fromLocalFile(BuildHelp()));
    EXPECT_EQ(help->windowTitle(), QStringLiteral("Orbidex Help"));
    help->close();
    // From the tray menu, with the window hidden again.
    frame->close();
    QMenu* menu = frame->BuildTrayMenu();
    menu->popup(QPoint(0, 0));
    QTest::keyClick(menu, Qt::Key_F1);
    EXPECT_FALSE(menu->isVisible());
    delete menu;
    EXPECT_EQ(HelpWindow(), help);
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(HelpCommand, SectionLinksStayInTheWindowOthersGoToTheDesktop)
{
    frame->OnShowHelp();
    CHelpWindow* help = HelpWindow();
    ASSERT_NE(help, nullptr);
    QTextBrowser* page = help->Browser();
    const int top = page->verticalScrollBar()->value();
    emit page->anchorClicked(QUrl(QStringLiteral("#files")));  // far down the page
    EXPECT_EQ(page->source().fragment(), QStringLiteral("files"));
    EXPECT_GT(page->verticalScrollBar()->value(), top);
    EXPECT_TRUE(opened.isEmpty());

    const QUrl mail(QStringLiteral("mailto:support@nimbrel.example"));
    emit page->anchorClicked(mail);
    EXPECT_EQ(opened, QList<QUrl>{mail});
    EXPECT_EQ(page->source().fragment(), QStringLiteral("files"));  // the page stays
    viewerWorks = false;
    emit page->anchorClicked(mail);
    EXPECT_EQ(boxes, QStringList{"No program could open mailto:support@nimbrel.example."});
}

// At 100 % and 200 % (CTest runs both): the window within the screen's free area, its status
// bar included; the help without sideways scrolling, and a document to a screen reader.
TEST_F(HelpCommand, WindowAndHelpFitTheScreenAndTheHelpIsADocument)
{
    frame->OnFirstPaint();
    frame->OnOpenWindow();
    QApplication::setActiveWindow(frame.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    const QRect free = frame->screen()->availableGeometry();
    EXPECT_TRUE(free.contains(frame->frameGeometry()))
        << frame->frameGeometry().bottom() << " below " << free.bottom();
    frame->OnShowHelp();
    CHelpWindow* help = HelpWindow();
    ASSERT_NE(help, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
    EXPECT_EQ(help->Browser()->horizontalScrollBar()->maximum(), 0);
    QAccessibleInterface* page = QAccessible::queryAccessibleInterface(help->Browser());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->role(), QAccessible::Document);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(help)->role(), QAccessible::Window);
    QAccessibleTextInterface* text = page->textInterface();
    ASSERT_NE(text, nullptr);
    const QString all = text->text(0, text->characterCount());
    EXPECT_EQ(all, help->Browser()->toPlainText());
    text->setSelection(0, 2, 9);
    int start = 0, end = 0;
    text->selection(0, &start, &end);
    EXPECT_EQ(std::pair(start, end), std::pair(2, 9));
    EXPECT_EQ(text->text(2, 9), all.mid(2, 7));
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
