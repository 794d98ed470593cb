// EntryListModel: the dictionary list as a table model over the Replacer's
// entry list. Row i is always m_entries[i]; the model keeps only the row count
// that the views were last told about, so filling it costs the same whatever
// the number of entries. Whatever rebuilds, sorts or shortens the entry list
// goes through the model, which tells the views.
#pragma once

#include <QAbstractTableModel>

#include <cstddef>
#include <string_view>

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

    // The entry list rebuilt from the trie and sorted by before-string, and the
    // rows reloaded; the rows follow the entries also when the rebuild runs
    // out of memory part-way.
    void Refresh();
    // Takes the row count from the entry list again; selection and scroll
    // state of the views are reset with it.
    void ReloadRows();
    // Sorts the entry list in place by the column's string: the rows repaint
    // with their new entries while the row count and the selected row numbers
    // stay. Any other column sorts nothing and answers false.
    bool SortByColumn(int column);
    // Erases the first entry whose before-string, taken up to a U+0000, is
    // `before` (so the empty string finds the entry of the empty
    // before-string), as the removal of that one row; the rows behind it move
    // up. False when no entry has it.
    bool RemoveEntry(std::u16string_view before);

    // The most UTF-16 units a cell shows of a string: what a row's text
    // buffer of 260 units holds besides its terminating zero. The entry keeps
    // the string whole.
    static constexpr size_t kCellBufferUnits = 260;
    static constexpr size_t kCellTextMax = kCellBufferUnits - 1;

    static constexpr int BeforeColumn = 0;
    static constexpr int AfterColumn = 1;

private:
    Replacer& m_replacer;
    int m_rowCount = 0;
};
