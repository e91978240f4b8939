#include "support/DialogAnswers.h"
#include "support/MemoryProfileStore.h"
#include "support/FakeService.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/AboutThis.h"
#include "ui/dialogs/FilePickCtrl.h"
#include "ui/dialogs/SourceDir.h"
#include "ui/dialogs/WarnExt.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPixmap>
#include <gtest/gtest.h>

// What an author sees: every text whole, no control over another, nothing outside the dialog,
// the whole dialog on the screen, and for a screen reader a name on every control. CTest runs it
// at 100 % and at 200 %. With ORBIDEX_SHOT_DIR set, each dialog is also saved there as a PNG.
namespace {
void Shoot(QWidget& w, const char* name)
{
    const QByteArray dir = qgetenv("ORBIDEX_SHOT_DIR");
    if (!dir.isEmpty())
        w.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name)));
}

int TextWidthNeeded(QWidget* w)
{
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->pixmap().isNull() && !l->wordWrap() ? l->sizeHint().width() : 0;
    if (auto* b = qobject_cast<QPushButton*>(w))
        return b->fontMetrics().horizontalAdvance(b->text().remove(QLatin1Char('&'))) + 8;
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->sizeHint().width();
    return 0;
}

// `box`'s controls lie inside it, whole, and over none of the others.
void ExpectTidy(QWidget& box)
{
    std::vector<QWidget*> items;
    for (QWidget* w : box.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!w->isHidden())
            items.push_back(w);
    for (QWidget* w : items) {
        const QString name = w->objectName() + " " + w->property("text").toString();
        EXPECT_TRUE(box.rect().contains(w->geometry())) << name.toStdString();
        EXPECT_LE(TextWidthNeeded(w), w->width()) << "cut: " << name.toStdString();
    }
    for (std::size_t i = 0; i < items.size(); ++i)
        for (std::size_t j = i + 1; j < items.size(); ++j) {
            if (qobject_cast<QGroupBox*>(items[i]) || qobject_cast<QGroupBox*>(items[j]))
                continue;  // frames surround their boxes
            EXPECT_FALSE(items[i]->geometry().intersects(items[j]->geometry()))
                << items[i]->objectName().toStdString() << " "
                << items[i]->property("text").toString().toStdString() << " / "
                << items[j]->objectName().toStdString() << " "
                << items[j]->property("text").toString().toStdString();
        }
}

// A dialog whose controls lie on a scrolling page above its buttons: each part tidy.
void ExpectTidyPage(QWidget* firstControl, QWidget* button)
{
    ExpectTidy(*firstControl->parentWidget());
    for (QGroupBox* frame : firstControl->parentWidget()->findChildren<QGroupBox*>())
        ExpectTidy(*frame);
    ExpectTidy(*button->parentWidget());
}

// Every control a user can act on has a name a screen reader speaks.
void ExpectNamed(QAccessibleInterface* node)
{
    static const QList<QAccessible::Role> kInput = {
        QAccessible::EditableText, QAccessible::CheckBox, QAccessible::PushButton,
        QAccessible::ComboBox, QAccessible::List};
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        const bool input = kInput.contains(child->role()) && !child->state().invisible;
        EXPECT_FALSE(input && child->text(QAccessible::Name).isEmpty())
            << child->object()->objectName().toStdString() << " role " << child->role();
        ExpectNamed(child);
    }
}

// The dialog fits the screen whatever the scale, its buttons in view; a control given the
// focus scrolls into view.
void ExpectOnScreen(QDialog& dlg, const std::vector<QWidget*>& buttons, QWidget* far = nullptr)
{
    ExpectNamed(QAccessible::queryAccessibleInterface(&dlg));
    EXPECT_TRUE(dlg.screen()->availableGeometry().contains(dlg.frameGeometry()));
    for (QWidget* b : buttons)
        EXPECT_TRUE(dlg.rect().contains(QRect(b->mapTo(&dlg, QPoint()), b->size())));
    if (!far)
        return;
    QApplication::setActiveWindow(&dlg);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg));
    far->setFocus();
    QWidget* view = dlg.findChild<QScrollArea*>()->viewport();
    if (dlg.devicePixelRatio() == 1) {  // room enough on the screen: nothing to scroll
        EXPECT_EQ(view->size(), dlg.findChild<QScrollArea*>()->widget()->size());
    }
    EXPECT_TRUE(view->rect().contains(QRect(far->mapTo(view, QPoint()), far->size())));
}
}  // namespace

TEST(DialogLayout, ConfigurationDialog)
{
    CMemoryProfileStore profile;
    profile.strings[{kSectionSource, "Dir1"}] = "/home/author/dictation/incoming/";
    profile.strings[{kSectionSource, "Ext1"}] = "dss";
    profile.strings[{kSectionAuthor, "Author"}] = "ab12";
    CFakeService net;
    net.pages[""] = {"dss, wav, rtf"};
    CEndpoints endpoints;
    SourceDir dlg(profile, &net, endpoints);
    CDialogAnswers answers;
    answers.On<SourceDir>([](SourceDir& d) {
        ExpectTidyPage(d.Edit(1012), d.GetDlgItem(IDOK));
        ExpectOnScreen(d, {d.GetDlgItem(IDOK), d.GetDlgItem(IDCANCEL)}, d.Edit(1024));
        // The two columns' rows line up.
        EXPECT_EQ(d.Edit(1012)->y(), d.Edit(1014)->y());
        EXPECT_EQ(d.Edit(1028)->y(), d.Edit(1038)->y());
        Shoot(d, "configuration.png");
        d.reject();
    });
    dlg.DoModal();
}

TEST(DialogLayout, FolderPicker)
{
    CFilePickCtrl picker;
    picker.SetCurrentFolder(QDir::rootPath().toStdString() + "usr/");
    CDialogAnswers answers;
    answers.On<CFilePickCtrl>([](CFilePickCtrl& p) {
        ExpectTidyPage(p.GetDlgItem(2000), p.GetDlgItem(IDOK));
        ExpectOnScreen(p, {p.GetDlgItem(IDOK), p.GetDlgItem(IDCANCEL)}, p.GetDlgItem(2004));
        Shoot(p, "picker.png");
        p.reject();
    });
    picker.RunModal("Select Folder");
}

TEST(DialogLayout, WarningDialog)
{
    CFakeService net;
    net.pages[""] = {"dss, wav, rtf, doc, mp3"};
    CEndpoints endpoints;
    endpoints.supportEmail = "support@nimbrel.example";
    WarnExt dlg(&net, endpoints);
    CDialogAnswers answers;
    answers.On<WarnExt>([](WarnExt& d) {
        ExpectTidy(d);
        ExpectOnScreen(d, {d.GetDlgItem(IDOK)});
        // Its headline is drawn in the picture: the picture carries it for a screen reader.
        EXPECT_EQ(QAccessible::queryAccessibleInterface(d.GetDlgItem(141))->text(QAccessible::Name),
                  "Not saved: check file type");
        Shoot(d, "warning.png");
        d.done(IDOK);
    });
    dlg.DoModal();
}

TEST(DialogLayout, AboutBox)
{
    CAboutThis dlg;
    dlg.show();
    ExpectOnScreen(dlg, {dlg.GetDlgItem(IDOK)});
}
