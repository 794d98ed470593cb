// Register, Delete, the double-click and the list's refresh and sort.
#include "CReplaceDlg.h"

#include "ComboHistory.h"
#include "DictionaryView.h"
#include "EntryListModel.h"
#include "Prompter.h"
#include "Utf16Bridge.h"

#include <QApplication>
#include <QComboBox>
#include <QTableView>

#include <algorithm>
#include <new>

namespace {
// The row of the entry whose before-string is `before` (taken up to a U+0000)
// in a list sorted by before-string, or -1.
int RowOfBefore(const Replacer& replacer, const std::u16string& before)
{
    const std::u16string key = before.empty() || before[0] == u'\0' ? std::u16string(1, u'\0')
                                                                     : std::u16string(before.c_str());
    const auto& entries = replacer.m_entries;
    const auto it = std::lower_bound(entries.begin(), entries.end(), key,
                                     [](const std::unique_ptr<ReplaceEntry>& e, const std::u16string& k) {
                                         return e->before < k;
                                     });
    return it != entries.end() && (*it)->before == key ? int(it - entries.begin()) : -1;
}
} // namespace

// The entry list rebuilt from the trie and sorted by before-string; the
// Replacer builds anew only what changed since the last refresh.
void CReplaceDlg::RefreshList()
{
    m_listModel->Refresh();
}

void CReplaceDlg::ReloadRows()
{
    m_listModel->ReloadRows();
}

void CReplaceDlg::OnRegister()
{
    const QString before = m_beforeCombo->currentText();
    AddToHistory(*m_beforeCombo, before);
    const QString after = m_afterCombo->currentText();
    AddToHistory(*m_afterCombo, after);
    std::u16string beforeUnits;
    try {
        // c_str() hands the strings over cut at a U+0000, as typed text may hold one.
        beforeUnits = before.toStdU16String();
        m_replacer.AddPair(beforeUnits.c_str(), after.toStdU16String().c_str());
        RefreshList();
    } catch (const std::bad_alloc&) {
        // The fields keep the pair, to be registered again once there is room.
        m_prompter->ShowMessage(this, QStringLiteral("メモリが不足しているため登録できませんでした。"),
                                QApplication::applicationName(), Prompter::Icon::Stop);
        return;
    }
    // The pair just registered comes into view; the refresh left no selection.
    // The rows are laid out first, so that the scroll range takes in a new row.
    if (const int row = RowOfBefore(m_replacer, beforeUnits); row >= 0) {
        m_dictList->doItemsLayout();
        m_dictList->scrollTo(m_listModel->index(row, EntryListModel::BeforeColumn));
    }
    m_beforeCombo->setEditText(QString());
    m_afterCombo->setEditText(QString());
}

void CReplaceDlg::OnDelete()
{
    if (!m_prompter->AskYesNo(this, QStringLiteral("削除してよろしいですか？"), QStringLiteral("確認")))
        return;
    const QString before = m_beforeCombo->currentText();
    AddToHistory(*m_beforeCombo, before);
    const QString after = m_afterCombo->currentText();
    AddToHistory(*m_afterCombo, after);
    const std::u16string beforeUnits = before.toStdU16String();
    if (!m_replacer.RemovePair(beforeUnits.c_str(), after.toStdU16String().c_str()))
        return;
    // Only that row goes: the others keep their order, also one by the
    // after-string.
    m_listModel->RemoveEntry(beforeUnits);
    m_beforeCombo->setEditText(QString());
    m_afterCombo->setEditText(QString());
}

void CReplaceDlg::OnDblClk()
{
    const int row = FirstSelectedRow(*m_dictList);
    if (row < 0 || row >= m_replacer.GetEntryCount())
        return;
    const ReplaceEntry& entry = *m_replacer.m_entries[size_t(row)];
    m_beforeCombo->setEditText(ToQString(UpToNul(entry.before)));
    m_afterCombo->setEditText(ToQString(UpToNul(entry.after)));
}

void CReplaceDlg::OnColumnClick(int column)
{
    if (m_listModel->SortByColumn(column))
        m_dictList->viewport()->update();
}
