// The before and after boxes: editable combo boxes whose drop-down list is a
// sorted history of the distinct texts entered in them.
#pragma once

class QComboBox;
class QString;

// Ordinal order: UTF-16 code units as unsigned 16-bit values, a proper prefix
// first. No locale, no case folding.
bool OrdinalLess(const QString& a, const QString& b);

// Inserts `text` into the list at its place in ordinal order, behind any equal
// items. The field text and the current item are left to the caller.
void AddSorted(QComboBox& box, const QString& text);

// Puts the field text into the history: the field text and the list items
// become one set of distinct strings (exact comparison; the empty string
// counts), the list is refilled with it in ordinal order, and the field is left
// showing `text` with no list item current.
void AddToHistory(QComboBox& box, const QString& text);

// Editable, case-sensitive, without completion or insertion on Enter, taking
// text of any length.
void SetUpHistoryCombo(QComboBox& box);
