#include "EntryListModel.h"

#include "Replacer.h"
#include "UpToNul.h"
#include "Utf16Bridge.h"

#include <QColor>

#include <algorithm>
#include <memory>
#include <string_view>

namespace {

// Cells show a string up to its first U+0000: the entry of the empty
// before-string stores that single unit and shows an empty cell. A long
// string shows only its start, so that a repaint costs the same whatever its
// length; a surrogate pair is never split.
QString CellText(std::u16string_view s)
{
    constexpr size_t max = EntryListModel::kCellTextMax;
    std::u16string_view shown = UpToNul(s.substr(0, max + 1));
    if (shown.size() > max)
        shown = shown.substr(0, QChar::isHighSurrogate(shown[max - 1]) && QChar::isLowSurrogate(shown[max]) ? max - 1 : max);
    return ToQString(shown);
}

} // namespace

EntryListModel::EntryListModel(Replacer& replacer, QObject* parent)
    : QAbstractTableModel(parent)
    , m_replacer(replacer)
    , m_rowCount(replacer.GetEntryCount())
{
}

int EntryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rowCount;
}

int EntryListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.parent().isValid())
        return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole: {
        // Every change of the entry list goes through this model, so a row
        // past its end is only ever asked for with a stale index.
        if (row < 0 || row >= m_replacer.GetEntryCount())
            return {};
        const ReplaceEntry& entry = *m_replacer.m_entries[size_t(row)];
        if (index.column() == BeforeColumn)
            return CellText(entry.before);
        if (index.column() == AfterColumn)
            return CellText(entry.after);
        return {};
    }
    case Qt::BackgroundRole:
        // By row number, not by entry, so a sort leaves the stripes in place.
        return (row & 1) ? QColor(238, 243, 253) : QColor(255, 255, 255);
    default:
        return {};
    }
}

QVariant EntryListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        if (section == BeforeColumn)
            return QStringLiteral("置換前");
        if (section == AfterColumn)
            return QStringLiteral("置換後");
        return {};
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void EntryListModel::Refresh()
{
    beginResetModel();
    try {
        m_replacer.RefreshEntries();
    } catch (...) {
        m_rowCount = m_replacer.GetEntryCount();
        endResetModel();
        throw;
    }
    m_rowCount = m_replacer.GetEntryCount();
    endResetModel();
}

void EntryListModel::ReloadRows()
{
    beginResetModel();
    m_rowCount = m_replacer.GetEntryCount();
    endResetModel();
}

bool EntryListModel::SortByColumn(int column)
{
    if (column == BeforeColumn)
        m_replacer.SortByBefore();
    else if (column == AfterColumn)
        m_replacer.SortByAfter();
    else
        return false;
    if (m_rowCount > 0)
        emit dataChanged(index(0, BeforeColumn), index(m_rowCount - 1, AfterColumn));
    return true;
}

bool EntryListModel::RemoveEntry(std::u16string_view before)
{
    auto& entries = m_replacer.m_entries;
    const auto it = std::find_if(entries.begin(), entries.end(), [&](const std::unique_ptr<ReplaceEntry>& e) {
        return UpToNul(e->before) == UpToNul(before);
    });
    if (it == entries.end())
        return false;
    const int row = int(it - entries.begin());
    beginRemoveRows(QModelIndex(), row, row);
    entries.erase(it);
    m_rowCount = m_replacer.GetEntryCount();
    endRemoveRows();
    return true;
}
