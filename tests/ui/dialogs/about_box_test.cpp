#include "app/MyApp.h"
#include "ui/Resources.h"
#include "platform/QtProfileStore.h"
#include "support/FakeNotifyArea.h"
#include "ui/MainFrame.h"
#include "ui/dialogs/AboutThis.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include "support/FrameTest.h"

#include <gtest/gtest.h>

namespace {

QString BoxText(const CAboutThis& dlg)
{
    auto* box = qobject_cast<QLineEdit*>(dlg.GetDlgItem(IDC_VERSION));
    return box ? box->text() : QStringLiteral("<no box>");
}

TEST(AboutBox, ShowsTheFormattedProductVersionInACaptionlessModalDialog)
{
    CAboutThis dlg;
    EXPECT_EQ(BoxText(dlg), QString());  // filled by the initialisation, not before
    dlg.show();
    QApplication::processEvents();

    EXPECT_EQ(BoxText(dlg), QStringLiteral("7.010"));
    EXPECT_TRUE(dlg.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dlg.windowFlags() & Qt::WindowType_Mask, Qt::Dialog);
    EXPECT_TRUE(dlg.windowTitle().isEmpty());
    EXPECT_TRUE(dlg.isModal());
    EXPECT_EQ(dlg.parentWidget(), nullptr);

    auto* box = qobject_cast<QLineEdit*>(dlg.GetDlgItem(IDC_VERSION));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isReadOnly());
    EXPECT_TRUE(box->hasFrame());
    auto* ok = qobject_cast<QPushButton*>(dlg.GetDlgItem(1));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("&OK"));
    EXPECT_TRUE(ok->isDefault());

    // Pressing OK ends it.
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST(AboutBox, ControlsSitOnTheirPlacesInThePicture)
{
    CAboutThis dlg;
    dlg.show();
    QApplication::processEvents();

    const QRect area = dlg.MapDialogRect(0, 0, 347, 194);
    EXPECT_EQ(dlg.size(), area.size());
    EXPECT_EQ(dlg.GetDlgItem(IDC_VERSION)->geometry(), dlg.MapDialogRect(171, 139, 94, 14));
    EXPECT_EQ(dlg.GetDlgItem(1)->geometry(), dlg.MapDialogRect(277, 140, 50, 15));
    EXPECT_TRUE(area.contains(dlg.GetDlgItem(1)->geometry()));

    // The picture from the resources (not the plain fallback) with the white field under the
    // version box: white in the margin round the box, green elsewhere.
    const QImage shot = dlg.grab().toImage();
    const QRect box = dlg.GetDlgItem(IDC_VERSION)->geometry();
    const qreal dpr = shot.devicePixelRatio();
    const auto at = [&](int x, int y) { return shot.pixelColor(QPoint(x, y) * dpr); };
    EXPECT_EQ(at(box.left() - 3, box.center().y()), QColor(Qt::white));
    EXPECT_EQ(at(box.right() + 3, box.center().y()), QColor(Qt::white));
    const QColor corner = at(5, 5);
    EXPECT_GT(corner.green(), corner.red() + 40) << corner.name().toStdString();
    // The OK button stands beside the field, not on it.
    EXPECT_GT(dlg.GetDlgItem(1)->geometry().left(), box.right() + 3);
}

TEST(AboutBox, CentresOnTheScreenWithoutAnOwner)
{
    CAboutThis dlg;
    dlg.show();
    QApplication::processEvents();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((dlg.geometry().center() - screen.center()).manhattanLength(), 2);
}

TEST(AboutBox, CentresOverTheWindowItWasAskedFrom)
{
    QWidget window;
    window.setGeometry(40, 30, 900, 700);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_EQ(QApplication::activeWindow(), &window);
    CAboutThis dlg;  // no parent, as the About command makes it
    dlg.show();
    QApplication::processEvents();
    EXPECT_EQ(dlg.parentWidget(), nullptr);
    EXPECT_LE((dlg.frameGeometry().center() - window.frameGeometry().center()).manhattanLength(),
              2);
}

TEST(AboutBox, VersionIsReadOncePerDialogObject)
{
    CVersionModule module{CVersionResource{CVersionResource::Translations({{0x0409, 0x04B0}}),
                                           {{"040904b0", {{"ProductVersion", "1, 2"}}}}}};
    CAboutThis first(nullptr, &module);
    EXPECT_EQ(first.GetProductVersionText(), "1.2");
    module.version->tables[0].values[0].second = "3, 4";
    EXPECT_EQ(first.GetProductVersionText(), "1.2");
    first.show();
    EXPECT_EQ(BoxText(first), QStringLiteral("1.2"));

    CAboutThis second(nullptr, &module);
    EXPECT_EQ(second.GetProductVersionText(), "3.4");
}

TEST(AboutBox, MissingOrPointedVersionLeavesTheBoxEmpty)
{
    CVersionModule pointed{CVersionResource{CVersionResource::Translations({{0x0409, 0x04B0}}),
                                            {{"040904b0", {{"ProductVersion", "7.0.1.0"}}}}}};
    CAboutThis dlg(nullptr, &pointed);
    dlg.show();
    EXPECT_EQ(BoxText(dlg), QString());

    CVersionModule none;
    CAboutThis empty(nullptr, &none);
    empty.show();
    EXPECT_EQ(BoxText(empty), QString());
}

class AboutCommand : public CFrameTest {
protected:
    void SetUp() override
    {
        CFrameTest::SetUp();
        qApp->setProperty("CMyApp", QVariant::fromValue<QObject*>(&app));
    }
    void TearDown() override { qApp->setProperty("CMyApp", QVariant()); }

    CMyApp app;
};

TEST_F(AboutCommand, FromTheTrayMenuWhileHiddenOpensAnOwnerlessBoxAndDestroysIt)
{
    ASSERT_FALSE(frame->isVisible());
    int runs = 0;
    QPointer<CAboutThis> seen;
    QString text;
    answers.On<CAboutThis>([&](CAboutThis& dlg) {
        ++runs;
        seen = &dlg;
        EXPECT_EQ(dlg.parentWidget(), nullptr);
        dlg.show();
        QApplication::processEvents();
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_TRUE(dlg.isWindow());
        text = BoxText(dlg);
        dlg.accept();
    });

    QMenu* menu = frame->BuildTrayMenu();
    QAction* about = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == QStringLiteral("&About Orbidex..."))
            about = a;
    ASSERT_NE(about, nullptr);
    about->trigger();

    EXPECT_EQ(runs, 1);
    EXPECT_EQ(text, QStringLiteral("7.010"));
    EXPECT_TRUE(seen.isNull()) << "the dialog outlived its command";
    EXPECT_FALSE(frame->isVisible());

    // A fresh dialog every time.
    about->trigger();
    EXPECT_EQ(runs, 2);
    delete menu;
}

}  // namespace
