#include "support/FrameTest.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <string>

// The activity window: lines always at the end whatever the user does in it, and no text work
// while nobody can see it.
namespace {

class FrameText : public CFrameTest {
protected:
    QPlainTextEdit* Text() const { return frame->findChild<QPlainTextEdit*>(); }
    void Lines(int from, int to)
    {
        for (int i = from; i < to; ++i) frame->Display().AddWindowLine("line " + std::to_string(i));
        frame->StatusText();  // catches up with what was posted
    }
    static QString Expected(int to)
    {
        QString out;
        for (int i = 0; i < to; ++i) out += QStringLiteral("line %1\n").arg(i);
        return out;
    }
};

TEST_F(FrameText, AClickOrASelectionDoesNotMoveWhereLinesGo)
{
    frame->show();
    Lines(0, 100);
    QScrollBar* bar = Text()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());  // the view followed

    // A click near the top, then a selection there: the reader has left the end.
    bar->setValue(0);
    QTest::mouseClick(Text()->viewport(), Qt::LeftButton, {}, QPoint(4, 4));
    QTextCursor selection = Text()->textCursor();
    selection.setPosition(2);
    selection.setPosition(6, QTextCursor::KeepAnchor);
    Text()->setTextCursor(selection);
    Lines(100, 150);
    EXPECT_EQ(Text()->toPlainText(), Expected(150));
    EXPECT_EQ(Text()->textCursor().selectionStart(), 2);
    EXPECT_EQ(Text()->textCursor().selectionEnd(), 6);
    EXPECT_EQ(bar->value(), 0);  // not pulled away from what they read

    // Back at the end, the view follows again.
    bar->setValue(bar->maximum());
    Lines(150, 200);
    EXPECT_EQ(Text()->toPlainText(), Expected(200));
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(FrameText, HiddenOrMinimisedGathersAndShowingCatchesUpAtOnce)
{
    frame->show();
    frame->hide();
    Lines(0, 10);
    frame->Display().SetStatusText("while hidden");
    EXPECT_TRUE(Text()->document()->isEmpty());
    EXPECT_EQ(frame->WindowText(), Expected(10));  // what the window will show
    frame->showMinimized();
    Lines(10, 20);
    EXPECT_TRUE(Text()->document()->isEmpty());
    frame->OnOpenWindow();
    EXPECT_EQ(Text()->toPlainText(), Expected(20));
    EXPECT_EQ(frame->findChild<QLabel*>(QStringLiteral("StatusPane"))->text(),
              QStringLiteral("while hidden"));
    EXPECT_EQ(Text()->verticalScrollBar()->value(), Text()->verticalScrollBar()->maximum());
}

}  // namespace
