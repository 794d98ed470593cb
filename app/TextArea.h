// The text area: a plain-text editor that wraps at its width, takes Enter as
// a line break and holds at most kTextLimit characters of typed or pasted
// text. Its text is read and written whole, as UTF-16.
#pragma once

#include <QPlainTextEdit>

class TextArea : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr qsizetype kTextLimit = 268435456;

    explicit TextArea(QWidget* parent = nullptr);

    // The most characters typing and pasting may bring the text to.
    void SetTextLimit(qsizetype limit) { m_limit = limit; }
    qsizetype TextLimit() const { return m_limit; }

    // The whole text up to its first U+0000, line breaks as LF. Unlike
    // toPlainText() this keeps no-break spaces and line separators as they are.
    QString ReadText() const;
    qsizetype Length() const;

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    qsizetype m_limit = kTextLimit;
};

// Inserts `text` at the end, not undoably: the undo history does not survive.
void InsertUnicodeText(TextArea& area, const QString& text);
