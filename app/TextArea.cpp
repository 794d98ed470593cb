#include "TextArea.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

TextArea::TextArea(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(false);
    setUndoRedoEnabled(true);
}

QString TextArea::ReadText() const
{
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

qsizetype TextArea::Length() const
{
    // characterCount() counts the final paragraph separator too.
    return document()->characterCount() - 1;
}

bool TextArea::canInsertFromMimeData(const QMimeData* source) const
{
    // Dropped files are dictionaries for the window, not text.
    return !source->hasUrls() && QPlainTextEdit::canInsertFromMimeData(source);
}

void TextArea::insertFromMimeData(const QMimeData* source)
{
    if (source->hasUrls() || !source->hasText())
        return;
    const qsizetype selected = textCursor().selectionEnd() - textCursor().selectionStart();
    const qsizetype room = m_limit - (Length() - selected);
    QString text = source->text();
    if (room <= 0)
        return;
    if (text.size() > room) {
        text.truncate(room);
        if (text.back().isHighSurrogate())
            text.chop(1);
    }
    textCursor().insertText(text);
    ensureCursorVisible();
}

void TextArea::keyPressEvent(QKeyEvent* event)
{
    const bool inserts = !event->text().isEmpty() && event->text().front().isPrint();
    const bool full = Length() - (textCursor().selectionEnd() - textCursor().selectionStart()) >= m_limit;
    if ((inserts || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && full) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void InsertUnicodeText(TextArea& area, const QString& text)
{
    QTextDocument* document = area.document();
    document->setUndoRedoEnabled(false); // also drops the history
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    document->setUndoRedoEnabled(true);
    area.moveCursor(QTextCursor::End);
}
