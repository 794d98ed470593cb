// EntryListModel: the dictionary list as a table model over the Replacer's
// entry list. Row i is always m_entries[i]; the model keeps only the row count
// that the views were last told about, so filling it costs the same whatever
// the number of entries.
#pragma once

#include <QAbstractTableModel>

#include <cstddef>

class Replacer;

class EntryListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit EntryListModel(Replacer& replacer, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Takes the row count from the entry list again. Call it after anything
    // that adds, removes or rebuilds entries; selection and scroll state of
    // the views are reset with it.
    void ReloadRows();
    // Call it after the entry list was reordered in place: the rows repaint
    // with their new entries while the row count and the selected row numbers
    // stay.
    void RowsReordered();

    // The most UTF-16 units a cell shows of a string; the entry keeps it whole.
    static constexpr size_t kCellTextMax = 259;

    static constexpr int BeforeColumn = 0;
    static constexpr int AfterColumn = 1;

private:
    Replacer& m_replacer;
    int m_rowCount = 0;
};
