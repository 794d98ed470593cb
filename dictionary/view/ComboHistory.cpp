#include "ComboHistory.h"

#include "Utf16Bridge.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSet>
#include <QString>

#include <algorithm>
#include <limits>
#include <vector>

bool OrdinalLess(const QString& a, const QString& b)
{
    // char16_t is unsigned, so surrogates sort above U+D7FF and below U+E000.
    return Utf16Units(a) < Utf16Units(b);
}

void AddSorted(QComboBox& box, const QString& text)
{
    int low = 0;
    int high = box.count();
    while (low < high) {
        const int mid = low + (high - low) / 2;
        if (OrdinalLess(text, box.itemText(mid)))
            high = mid;
        else
            low = mid + 1;
    }
    box.insertItem(low, text);
}

void AddToHistory(QComboBox& box, const QString& text)
{
    QSet<QString> seen;
    std::vector<QString> history;
    auto keep = [&](const QString& s) {
        if (!seen.contains(s)) {
            seen.insert(s);
            history.push_back(s);
        }
    };
    keep(box.currentText());
    for (int i = 0; i < box.count(); ++i)
        keep(box.itemText(i));

    box.clear();
    // Sorted first, so that every AddSorted below appends.
    std::sort(history.begin(), history.end(), OrdinalLess);
    for (const QString& s : history)
        AddSorted(box, s);

    // Filling an empty box makes its first item current and copies it into
    // the field; the field shows `text` with no item chosen.
    box.setCurrentIndex(-1);
    box.setEditText(text);
}

void SetUpHistoryCombo(QComboBox& box)
{
    box.setEditable(true);
    box.setInsertPolicy(QComboBox::NoInsert);
    // setEditable installs a case-insensitive inline completer; without one
    // typing never turns into a history item, and the box matches its items
    // case-sensitively.
    box.setCompleter(nullptr);
    box.setDuplicatesEnabled(false);
    box.setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box.setMaxCount(std::numeric_limits<int>::max());
    QLineEdit* field = box.lineEdit();
    field->setMaxLength(std::numeric_limits<int>::max());
}
