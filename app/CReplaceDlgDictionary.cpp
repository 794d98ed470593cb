// The dialog's dictionary handlers: each runs the controller's command, and
// what the list view shows of it.
#include "CReplaceDlg.h"

#include "DictionaryController.h"
#include "DictionaryView.h"

#include <QTableView>
#include <QTimer>

void CReplaceDlg::RefreshList()
{
    m_dictionary->RefreshList();
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

void CReplaceDlg::OnDropFiles(const QStringList& paths)
{
    for (const QString& path : paths)
        LoadDictionary(path);
}

void CReplaceDlg::OpenAtStart(const QStringList& paths)
{
    if (!paths.isEmpty())
        QTimer::singleShot(0, this, [this, paths] { OnDropFiles(paths); });
}

void CReplaceDlg::LoadDictionary(const QString& path)
{
    m_dictionary->LoadDictionary(path);
}

void CReplaceDlg::OnSaveDictionary()
{
    m_dictionary->SaveDictionary();
}
