// Register, Delete, the double-click and the list's refresh and sort: the
// controller's commands, and what of them the list view shows.
#include "CReplaceDlg.h"

#include "DictionaryController.h"
#include "DictionaryView.h"

#include <QTableView>

void CReplaceDlg::RefreshList()
{
    m_dictionary->RefreshList();
}

void CReplaceDlg::ReloadRows()
{
    m_dictionary->Model().ReloadRows();
}

void CReplaceDlg::OnRegister()
{
    m_dictionary->Register();
}

void CReplaceDlg::OnDelete()
{
    m_dictionary->Delete();
}

void CReplaceDlg::OnDblClk()
{
    m_dictionary->CopyRow(FirstSelectedRow(*m_dictList));
}

void CReplaceDlg::OnColumnClick(int column)
{
    if (m_dictionary->SortByColumn(column))
        m_dictList->viewport()->update();
}

// The pair just registered comes into view; the refresh left no selection.
// The rows are laid out first, so that the scroll range takes in a new row.
void CReplaceDlg::ShowRow(int row)
{
    m_dictList->doItemsLayout();
    m_dictList->scrollTo(m_dictionary->Model().index(row, EntryListModel::BeforeColumn));
}
