// Set-up of the dictionary list: a read-only two-column report over an
// EntryListModel, and the selection query of the double-click command.
#pragma once

class EntryListModel;
class QTableView;

// Header clicks arrive as view.horizontalHeader()->sectionClicked(int);
// double-clicks on a row as view.doubleClicked(const QModelIndex&).
void SetUpDictionaryView(QTableView& view, EntryListModel& model);

// The lowest selected row number, or -1 when no row is selected.
int FirstSelectedRow(const QTableView& view);
