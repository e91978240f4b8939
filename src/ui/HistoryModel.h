#pragma once
#include "core/history/History.h"

#include <QAbstractTableModel>
#include <vector>

// The author's list, newest first, as a table a view can sort and a screen reader can read.
class CHistoryModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum EColumn { Time, Name, Size, Folder, Outcome, ColumnCount };
    // The raw value to sort by (time and size as numbers).
    static constexpr int SortRole = Qt::UserRole + 1;

    explicit CHistoryModel(const CHistory& history, QObject* parent = nullptr);
    // Reads the history again when it changed since the last look.
    void Refresh();
    const CHistoryEntry* EntryAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const CHistory& m_history;
    std::vector<CHistoryEntry> m_rows;  // newest first
    std::uint64_t m_revision = ~std::uint64_t{0};
};

// What happened to the file, in the author's words (the reason as the system gave it).
QString OutcomeText(const CHistoryEntry& entry);
