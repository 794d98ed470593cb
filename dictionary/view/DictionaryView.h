// The dictionary list: a read-only two-column report over an EntryListModel,
// and the selection query of the double-click command.
#pragma once

#include <QTableView>

class EntryListModel;

// A list of entries, not a grid of cells: Home and End go to the first and
// last entry, with or without Ctrl, and select it as the arrow keys do (with
// Shift, the selection grows to it).
class DictionaryView : public QTableView {
public:
    using QTableView::QTableView;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
};

// Header clicks arrive as view.horizontalHeader()->sectionClicked(int);
// double-clicks on a row as view.doubleClicked(const QModelIndex&).
void SetUpDictionaryView(QTableView& view, EntryListModel& model);

// The lowest selected row number, or -1 when no row is selected.
int FirstSelectedRow(const QTableView& view);
