#include "DictionaryView.h"

#include "EntryListModel.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

// In pixels. After-strings run longer than before-strings (glosses, values
// joined with "; "), so their column starts twice as wide.
constexpr int kBeforeColumnWidth = 150;
constexpr int kAfterColumnWidth = 300;

// Selected rows are drawn as selected only while the list has the focus;
// elsewhere they look like the others, and the selection itself is kept.
class FocusedSelectionDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!option->widget || !option->widget->hasFocus())
            option->state &= ~QStyle::State_Selected;
    }
};

bool IsHomeOrEnd(const QEvent* event)
{
    if (!event || event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Home || key == Qt::Key_End;
}

} // namespace

QModelIndex DictionaryView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    if (action != MoveHome && action != MoveEnd)
        return QTableView::moveCursor(action, modifiers);
    // The table goes to the first or last row only with Ctrl, and then to its
    // first or last column too: the list stays in the current column, so
    // that it does not scroll sideways.
    const QModelIndex edge = QTableView::moveCursor(action, modifiers | Qt::ControlModifier);
    const QModelIndex current = currentIndex();
    return edge.isValid() && current.isValid() ? edge.siblingAtColumn(current.column()) : edge;
}

QItemSelectionModel::SelectionFlags DictionaryView::selectionCommand(const QModelIndex& index,
                                                                     const QEvent* event) const
{
    // With Ctrl the table would move the current row alone and leave the
    // selection behind: the keys select as they do without it.
    if (IsHomeOrEnd(event)) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        const QKeyEvent withoutCtrl(key->type(), key->key(), key->modifiers() & ~Qt::ControlModifier, key->text());
        return QTableView::selectionCommand(index, &withoutCtrl);
    }
    return QTableView::selectionCommand(index, event);
}

void SetUpDictionaryView(QTableView& view, EntryListModel& model)
{
    view.setModel(&model);

    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setTabKeyNavigation(false); // Tab leaves the list for the next control
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.setItemDelegate(new FocusedSelectionDelegate(&view));
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setShowGrid(false);
    // One line per row, cut with an ellipsis, like any report list.
    view.setWordWrap(false);
    view.setTextElideMode(Qt::ElideRight);
    view.setSortingEnabled(false);

    QHeaderView* rows = view.verticalHeader();
    rows->hide();
    // Rows of one fixed height let the view place 300,000 of them without
    // asking the model for anything but the rows it paints.
    rows->setSectionResizeMode(QHeaderView::Fixed);
    const int rowHeight = QFontMetrics(view.font()).height() + 4;
    rows->setMinimumSectionSize(std::min(rows->minimumSectionSize(), rowHeight));
    rows->setDefaultSectionSize(rowHeight);

    QHeaderView* columns = view.horizontalHeader();
    // Clicks sort through the owner's handler, always ascending, so the
    // header neither sorts by itself nor shows a direction.
    columns->setSectionsClickable(true);
    columns->setSortIndicatorShown(false);
    columns->setHighlightSections(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    view.setColumnWidth(EntryListModel::BeforeColumn, kBeforeColumnWidth);
    view.setColumnWidth(EntryListModel::AfterColumn, kAfterColumnWidth);
}

int FirstSelectedRow(const QTableView& view)
{
    const QItemSelectionModel* selection = view.selectionModel();
    if (!selection)
        return -1;
    // The ranges, not selectedRows(): the latter lists every row, which is
    // slow with a whole large dictionary selected.
    int first = -1;
    for (const QItemSelectionRange& range : selection->selection()) {
        if (!range.isValid() || range.isEmpty())
            continue;
        if (first == -1 || range.top() < first)
            first = range.top();
    }
    return first;
}
