#include "ui/HistoryModel.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>

namespace {
QString Q(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

QString OutcomeText(const CHistoryEntry& e)
{
    const QString why = e.reason.empty() ? QString() : QStringLiteral(": ") + Q(e.reason);
    switch (e.outcome) {
        case EOutcome::Sent:
            return QStringLiteral("Sent and announced");
        case EOutcome::Archived:
            return QStringLiteral("Sent and archived");
        case EOutcome::NotArchived:
            return QStringLiteral("Sent, but no archive copy yet") + why;
        case EOutcome::NotMarked:
            return QStringLiteral("Sent, but not marked sent") + why;
        case EOutcome::Failed:
            return why.isEmpty() ? QStringLiteral("Not sent yet: tried again at the next poll")
                                 : QStringLiteral("Not sent yet") + why;
        case EOutcome::HeldBack:
            return QStringLiteral("Held back: still being written");
        case EOutcome::Downloaded:
            return QStringLiteral("Downloaded and confirmed");
        case EOutcome::NotConfirmed:
            return QStringLiteral("Downloaded; the service is told at the next poll");
        case EOutcome::NotDownloaded:
            return QStringLiteral("Not downloaded") + why;
    }
    return {};
}

CHistoryModel::CHistoryModel(const CHistory& history, QObject* parent)
    : QAbstractTableModel(parent), m_history(history)
{
    Refresh();
}

void CHistoryModel::Refresh()
{
    const std::uint64_t revision = m_history.Revision();
    if (revision == m_revision)
        return;
    beginResetModel();
    m_revision = revision;
    m_rows = m_history.Entries();
    std::reverse(m_rows.begin(), m_rows.end());
    endResetModel();
}

const CHistoryEntry* CHistoryModel::EntryAt(int row) const
{
    return row >= 0 && row < static_cast<int>(m_rows.size()) ? &m_rows[static_cast<std::size_t>(row)]
                                                             : nullptr;
}

int CHistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CHistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CHistoryModel::data(const QModelIndex& index, int role) const
{
    const CHistoryEntry* e = EntryAt(index.row());
    if (!e)
        return {};
    if (role == SortRole) {
        if (index.column() == Time)
            return static_cast<qlonglong>(e->time);
        if (index.column() == Size)
            return static_cast<qlonglong>(e->size);
        role = Qt::DisplayRole;
    }
    if (role == Qt::ToolTipRole && index.column() == Outcome)
        return OutcomeText(*e);
    if (role == Qt::ToolTipRole && (index.column() == Name || index.column() == Folder))
        return Q(e->path);
    if (role == Qt::TextAlignmentRole && index.column() == Size)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    const QLocale locale;
    switch (index.column()) {
        case Time: {
            const QDateTime when = QDateTime::fromSecsSinceEpoch(e->time);
            // Today's rows need no date.
            return when.date() == QDate::currentDate()
                       ? locale.toString(when.time(), QLocale::ShortFormat)
                       : locale.toString(when, QLocale::ShortFormat);
        }
        case Name:
            return Q(e->Name());
        case Size:
            return e->size < 0 ? QString() : locale.formattedDataSize(e->size);
        case Folder:
            return Q(e->Folder());
        case Outcome:
            return OutcomeText(*e);
        default:
            return {};
    }
}

QVariant CHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
        case Time:
            return QStringLiteral("Time");
        case Name:
            return QStringLiteral("Name");
        case Size:
            return QStringLiteral("Size");
        case Folder:
            return QStringLiteral("Folder");
        case Outcome:
            return QStringLiteral("What happened");
        default:
            return {};
    }
}
