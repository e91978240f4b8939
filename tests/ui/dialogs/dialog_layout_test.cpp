#include "support/DialogAnswers.h"
#include "support/MemoryProfileStore.h"
#include "support/FakeService.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/FilePickCtrl.h"
#include "ui/dialogs/SourceDir.h"
#include "ui/dialogs/WarnExt.h"

#include <QAbstractButton>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPixmap>
#include <gtest/gtest.h>

// What an author sees: every text whole, no control over another, nothing outside the dialog.
// With ORBIDEX_SHOT_DIR set, each dialog is also saved there as a PNG to look at.
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

void ExpectTidy(QWidget& dlg)
{
    std::vector<QWidget*> items;
    for (QWidget* w : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!w->isHidden())
            items.push_back(w);
    for (QWidget* w : items) {
        const QString name = w->objectName() + " " + w->property("text").toString();
        EXPECT_TRUE(dlg.rect().contains(w->geometry())) << name.toStdString();
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
        ExpectTidy(d);
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
        ExpectTidy(p);
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
        Shoot(d, "warning.png");
        d.done(IDOK);
    });
    dlg.DoModal();
}
