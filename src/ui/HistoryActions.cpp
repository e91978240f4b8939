#include "ui/HistoryActions.h"

#include "core/cycle/LocalState.h"
#include "ui/Resources.h"
#include "platform/LocalFile.h"
#include "ui/dialogs/DialogSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#ifdef ORBIDEX_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#endif

bool OpenWithDesktop(const QString& path)
{
    return QFileInfo::exists(path) && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool ShowInFolder(const QString& path)
{
    const QFileInfo info(path);
#ifdef ORBIDEX_HAVE_DBUS
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (info.exists() && bus.isConnected() && bus.interface() &&
        bus.interface()->isServiceRegistered(service).value()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            service, QStringLiteral("/org/freedesktop/FileManager1"), service,
            QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(info.absoluteFilePath()).toString()} << QString();
        if (bus.send(call))
            return true;
    }
#endif
    const QString folder = info.absolutePath();
    return QFileInfo(folder).isDir() && QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void CopyPath(const QString& path)
{
    QApplication::clipboard()->setText(path);
}

EUndo UndoSentMark(const std::string& path, const std::string& stateFolder, bool evenIfChanged,
                   std::string* why)
{
    std::string sys;
    const std::optional<fsys::SourceFile> file = fsys::OpenSource(path, &sys);
    if (!file) {
        *why = "It cannot be opened (" + sys + ").";
        return EUndo::Refused;
    }
    if ((file->mode & 0222u) != 0) {
        *why = "It is not marked sent: it goes at the next poll by itself.";
        return EUndo::Refused;
    }
    // Decided on the open file: what is checked is what gets its bits back.
    bool recorded = false;
    const std::optional<unsigned> taken = MarkTaken(stateFolder, path, file->stamp, &recorded);
    if (!taken && recorded && !evenIfChanged) {
        *why = "It has changed since it was sent.";
        return EUndo::Changed;
    }
    // A file marked before the record was kept gets its owner's write bit back.
    if (!fsys::GiveBackWriteBits(*file, taken.value_or(0200u), &sys)) {
        *why = "Its mark could not be taken off (" + sys + ").";
        return EUndo::Refused;
    }
    return EUndo::Done;
}

bool AskConfirm(QWidget* parent, const QString& question, const QString& yesText)
{
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kAppTitle), question,
                    QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(yesText, QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(QMessageBox::Cancel));
    if (const auto hook = g_modalDialogHook) {
        box.show();
        hook(box);
        box.close();
    } else {
        box.exec();
    }
    return box.clickedButton() == yes;
}
