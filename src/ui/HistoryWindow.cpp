#include "ui/HistoryWindow.h"

#include "core/history/History.h"
#include "ui/HistoryActions.h"
#include "ui/HistoryModel.h"
#include "ui/dialogs/DialogSupport.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

namespace {
QString Q(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

CHistoryWindow::CHistoryWindow(const CHistory& history, std::string stateFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), m_stateFolder(std::move(stateFolder))
{
    setWindowTitle(QStringLiteral("Recent activity - Orbidex"));
    setObjectName(QStringLiteral("RecentActivity"));
    m_model = new CHistoryModel(history, this);
    m_sorted = new QSortFilterProxyModel(this);
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(CHistoryModel::SortRole);
    m_view = new QTableView(this);
    m_view->setModel(m_sorted);
    m_view->setAccessibleName(QStringLiteral("Files sent and received"));
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(CHistoryModel::Time, Qt::DescendingOrder);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setTabKeyNavigation(false);  // Tab goes on to the buttons
    m_view->verticalHeader()->hide();
    m_view->setWordWrap(false);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->setContextMenuPolicy(Qt::ActionsContextMenu);

    m_open = new QPushButton(QStringLiteral("&Open"), this);
    m_folder = new QPushButton(QStringLiteral("Open &folder"), this);
    m_again = new QPushButton(QStringLiteral("&Send again..."), this);
    m_copy = new QPushButton(QStringLiteral("&Copy path"), this);
    const std::pair<QPushButton*, void (CHistoryWindow::*)()> buttons[] = {
        {m_open, &CHistoryWindow::OpenSelected},
        {m_folder, &CHistoryWindow::OpenFolderSelected},
        {m_again, &CHistoryWindow::SendAgainSelected},
        {m_copy, &CHistoryWindow::CopyPathSelected},
    };
    auto* row = new QHBoxLayout;
    for (const auto& [button, slot] : buttons) {
        connect(button, &QPushButton::clicked, this, slot);
        row->addWidget(button);
        // The same actions on the row's menu (the menu key, a right click).
        auto* action = new QAction(button->text(), m_view);
        connect(action, &QAction::triggered, this, slot);
        m_view->addAction(action);
    }
    row->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(row);

    connect(m_view, &QTableView::activated, this, [this] { OpenSelected(); });
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CHistoryWindow::UpdateButtons);
    connect(m_sorted, &QAbstractItemModel::modelReset, this, &CHistoryWindow::UpdateButtons);
    new QShortcut(QKeySequence::Copy, m_view, this, [this] { CopyPathSelected(); });
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &QWidget::close);
    resize(760, 420);
    UpdateButtons();
}

void CHistoryWindow::showEvent(QShowEvent* event)
{
    Refresh();
    QWidget::showEvent(event);
}

void CHistoryWindow::Refresh()
{
    const CHistoryEntry* before = Selected();
    const QString path = before ? Q(before->path) : QString();
    m_model->Refresh();
    m_view->resizeColumnsToContents();
    if (!path.isEmpty())
        SelectPath(path);
    if (!m_view->currentIndex().isValid() && m_sorted->rowCount() > 0)
        m_view->setCurrentIndex(m_sorted->index(0, 0));
    UpdateButtons();
}

void CHistoryWindow::SelectPath(const QString& path)
{
    for (int r = 0; r < m_sorted->rowCount(); ++r) {
        const QModelIndex at = m_sorted->index(r, 0);
        const CHistoryEntry* e = m_model->EntryAt(m_sorted->mapToSource(at).row());
        if (e && Q(e->path) == path) {
            m_view->setCurrentIndex(at);
            return;
        }
    }
}

const CHistoryEntry* CHistoryWindow::Selected() const
{
    const QModelIndex at = m_view->currentIndex();
    return at.isValid() ? m_model->EntryAt(m_sorted->mapToSource(at).row()) : nullptr;
}

void CHistoryWindow::UpdateButtons()
{
    const CHistoryEntry* e = Selected();
    m_open->setEnabled(e && e->outcome != EOutcome::NotDownloaded);
    m_folder->setEnabled(e != nullptr);
    m_again->setEnabled(e && e->direction == EFlow::Sent &&
                        (e->outcome == EOutcome::Sent || e->outcome == EOutcome::Archived ||
                         e->outcome == EOutcome::NotArchived));
    m_copy->setEnabled(e != nullptr);
    const QList<QAction*> actions = m_view->actions();
    const QPushButton* buttons[] = {m_open, m_folder, m_again, m_copy};
    for (int i = 0; i < actions.size() && i < 4; ++i) actions[i]->setEnabled(buttons[i]->isEnabled());
}

void CHistoryWindow::Tell(const QString& text)
{
    AgentMessageBox(text, windowTitle(), this);
}

void CHistoryWindow::OpenSelected()
{
    const CHistoryEntry* e = Selected();
    if (e && m_open->isEnabled() && !OpenWithDesktop(Q(e->path)))
        Tell(Q(e->Name()) + QStringLiteral(" cannot be opened: it is no longer in ") +
             Q(e->Folder()) + QStringLiteral(", or the desktop has no program for it."));
}

void CHistoryWindow::OpenFolderSelected()
{
    const CHistoryEntry* e = Selected();
    if (e && !ShowInFolder(Q(e->path)))
        Tell(QStringLiteral("The folder ") + Q(e->Folder()) +
             QStringLiteral(" cannot be opened: it is gone, or the desktop has no file manager."));
}

void CHistoryWindow::CopyPathSelected()
{
    if (const CHistoryEntry* e = Selected())
        CopyPath(Q(e->path));
}

void CHistoryWindow::SendAgainSelected()
{
    const CHistoryEntry* e = Selected();
    if (!e || !m_again->isEnabled())
        return;
    const std::string path = e->path;
    const QString name = Q(e->Name());
    if (!AskConfirm(this,
                    QStringLiteral("Send %1 again? The service gets it a second time.").arg(name),
                    QStringLiteral("&Send again")))
        return;
    std::string why;
    EUndo undo = UndoSentMark(path, m_stateFolder, false, &why);
    // Not the content the list shows as sent: the author decides again, knowing that.
    if (undo == EUndo::Changed) {
        if (!AskConfirm(this,
                        QStringLiteral("%1 has changed since it was sent. Send it as it is now?")
                            .arg(name),
                        QStringLiteral("Send &as it is now")))
            return;
        undo = UndoSentMark(path, m_stateFolder, true, &why);
    }
    if (undo != EUndo::Done) {
        Tell(name + QStringLiteral(" is not sent again. ") + Q(why));
        return;
    }
    if (onSendAgain)
        onSendAgain();
}
