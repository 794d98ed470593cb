// The commands apart from the window that shows them: Register, Delete, the
// copy of a listed pair into the boxes, the sort, reading and saving
// dictionary files, and Replace, which applies the dictionary to a text. It
// works on the window's Replacer and two history boxes, holds the list model
// over the Replacer, asks and tells through the Prompter and writes files
// through the write seam; it needs no shown window, so the commands are
// tested through it.
#pragma once

#include "ByteStreams.h"
#include "EntryListModel.h"

#include <QObject>

#include <functional>

class Prompter;
class QComboBox;
class QWidget;
class Replacer;
class TextArea;

class DictionaryController : public QObject {
    Q_OBJECT
public:
    // `owner` owns the message boxes (none in tests); every file write goes
    // through `fileWrite`, read at the time of the write.
    DictionaryController(Replacer& replacer, QComboBox& beforeBox, QComboBox& afterBox, Prompter& prompter,
                         const WriteFunction& fileWrite, QWidget* owner = nullptr);

    EntryListModel& Model() { return m_model; }

    // The pair in the boxes added; both boxes keep their texts in their
    // histories and are emptied. Reports the row of the pair through
    // PairListed.
    void Register();
    // After a Yes, the pair in the boxes removed with its one row; the other
    // rows keep their order.
    void Delete();
    // The listed pair of the row into the boxes; nothing for a row that is
    // not there.
    void CopyRow(int row);
    // False, and nothing sorted, for a column that is not the before or
    // after column.
    bool SortByColumn(int column);
    // The entry list rebuilt from the trie and sorted by before-string.
    void RefreshList();
    // Merges the pairs of the dictionary file; a file that can't be read, or
    // read to its end, is reported.
    void LoadDictionary(const QString& path);
    // The list, in its current order, into the file named in the Save As
    // dialog; a failed save is reported.
    void SaveDictionary();
    // After a Yes, the text area's text rewritten by the dictionary: in place
    // of each before-string its after-string when `replaceMode` answers true
    // (asked once the question is answered), its after-string in brackets
    // behind it otherwise.
    void Replace(TextArea& area, const std::function<bool()>& replaceMode);

signals:
    // The row that shows the pair just registered.
    void PairListed(int row);

private:
    Replacer& m_replacer;
    EntryListModel m_model;
    QComboBox& m_beforeBox;
    QComboBox& m_afterBox;
    Prompter& m_prompter;
    const WriteFunction& m_fileWrite;
    QWidget* m_owner;
};
