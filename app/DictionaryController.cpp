#include "DictionaryController.h"

#include "ComboHistory.h"
#include "Prompter.h"
#include "Replacer.h"
#include "UpToNul.h"
#include "Utf16Bridge.h"

#include <QApplication>
#include <QComboBox>

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

DictionaryController::DictionaryController(Replacer& replacer, QComboBox& beforeBox, QComboBox& afterBox,
                                           Prompter& prompter, const WriteFunction& fileWrite, QWidget* owner)
    : m_replacer(replacer)
    , m_model(replacer)
    , m_beforeBox(beforeBox)
    , m_afterBox(afterBox)
    , m_prompter(prompter)
    , m_fileWrite(fileWrite)
    , m_owner(owner)
{
}

// The Replacer builds anew only what changed since the last refresh.
void DictionaryController::RefreshList()
{
    m_model.Refresh();
}

void DictionaryController::Register()
{
    const QString before = m_beforeBox.currentText();
    AddToHistory(m_beforeBox, before);
    const QString after = m_afterBox.currentText();
    AddToHistory(m_afterBox, after);
    std::u16string beforeUnits;
    try {
        // c_str() hands the strings over cut at a U+0000, as typed text may hold one.
        beforeUnits = before.toStdU16String();
        m_replacer.AddPair(beforeUnits.c_str(), after.toStdU16String().c_str());
        RefreshList();
        m_replacer.CompileAhead(); // for a Replace that may come next
    } catch (const std::bad_alloc&) {
        // The fields keep the pair, to be registered again once there is room.
        m_prompter.ShowMessage(m_owner, QStringLiteral("メモリが不足しているため登録できませんでした。"),
                               QApplication::applicationName(), Prompter::Icon::Stop);
        return;
    }
    if (const int row = RowOfBefore(m_replacer, beforeUnits); row >= 0)
        emit PairListed(row);
    m_beforeBox.setEditText(QString());
    m_afterBox.setEditText(QString());
}

void DictionaryController::Delete()
{
    if (!m_prompter.AskYesNo(m_owner, QStringLiteral("削除してよろしいですか？"), QStringLiteral("確認")))
        return;
    const QString before = m_beforeBox.currentText();
    AddToHistory(m_beforeBox, before);
    const QString after = m_afterBox.currentText();
    AddToHistory(m_afterBox, after);
    const std::u16string beforeUnits = before.toStdU16String();
    if (!m_replacer.RemovePair(beforeUnits.c_str(), after.toStdU16String().c_str()))
        return;
    // Only that row goes: the others keep their order, also one by the
    // after-string. A removal that took no entry (a prefix that held no
    // value) still reloads the rows, as a Delete always has.
    if (!m_model.RemoveEntry(beforeUnits))
        m_model.ReloadRows();
    m_replacer.CompileAhead();
    m_beforeBox.setEditText(QString());
    m_afterBox.setEditText(QString());
}

void DictionaryController::CopyRow(int row)
{
    if (row < 0 || row >= m_replacer.GetEntryCount())
        return;
    const ReplaceEntry& entry = *m_replacer.m_entries[size_t(row)];
    m_beforeBox.setEditText(ToQString(UpToNul(entry.before)));
    m_afterBox.setEditText(ToQString(UpToNul(entry.after)));
}

bool DictionaryController::SortByColumn(int column)
{
    return m_model.SortByColumn(column);
}
