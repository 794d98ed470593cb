#include "TextArea.h"

#include "TextAreaAccessible.h"

#include <QApplication>
#include <QDropEvent>
#include <QFocusEvent>
#include <QMimeData>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimerEvent>

TextArea::TextArea(QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_control(this)
{
    TextAreaAccessible::Install();
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAcceptDrops(true);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, &TextArea::ScrollBarAction);
    connect(&m_control, &TextAreaControl::UpdateRequest, viewport(), qOverload<>(&QWidget::update));
    connect(&m_control, &TextAreaControl::TextChanged, this, &TextArea::UpdateScrollBar);
    connect(&m_control, &TextAreaControl::LayoutChanged, this, &TextArea::UpdateScrollBar);
    connect(&m_control, &TextAreaControl::TopChanged, this, &TextArea::ShowTop);
    connect(&m_control, &TextAreaControl::CaretMoved, this, &TextArea::RestartBlink);
    UpdateViewport();
    UpdateScrollBar();
}

TextArea::~TextArea() = default;

void InsertUnicodeText(TextArea& area, std::u16string&& text)
{
    if (area.Length() == 0) {
        area.SetText(std::move(text));
    } else {
        QString all = area.ReadText();
        all.append(QStringView(text.data(), qsizetype(text.size())));
        area.SetText(all);
    }
    area.SetPosition(area.Length());
}

// ---------------------------------------------------------------------------
// Scrolling

void TextArea::UpdateViewport()
{
    m_control.SetViewport(viewport()->size(), font());
}

void TextArea::UpdateScrollBar()
{
    m_updatingScrollBar = true;
    QScrollBar* bar = verticalScrollBar();
    // Up to the top that shows the last row: a text that fits scrolls not at all.
    bar->setRange(0, int(m_control.LastTopPiece()));
    bar->setPageStep(m_control.VisibleRows());
    bar->setSingleStep(1);
    bar->setValue(int(m_control.Top().piece));
    m_updatingScrollBar = false;
}

void TextArea::ShowTop()
{
    m_updatingScrollBar = true;
    verticalScrollBar()->setValue(int(m_control.Top().piece));
    m_updatingScrollBar = false;
}

void TextArea::ScrollBarAction(int action)
{
    // The scroll bar's value counts pieces; its arrows and its page steps
    // move rows, as many as they say, however long a piece is.
    int rows = 0;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: rows = 1; break;
    case QAbstractSlider::SliderSingleStepSub: rows = -1; break;
    case QAbstractSlider::SliderPageStepAdd: rows = m_control.VisibleRows(); break;
    case QAbstractSlider::SliderPageStepSub: rows = -m_control.VisibleRows(); break;
    default: return;
    }
    verticalScrollBar()->setSliderPosition(verticalScrollBar()->value());
    m_control.ScrollRows(rows);
}

void TextArea::scrollContentsBy(int, int)
{
    // The scroll bar counts pieces; moved by the user, its value is the top.
    if (!m_updatingScrollBar)
        m_control.SetTopPiece(size_t(verticalScrollBar()->value()));
}

void TextArea::wheelEvent(QWheelEvent* event)
{
    m_wheelRemainder += event->angleDelta().y();
    const int notches = m_wheelRemainder / QWheelEvent::DefaultDeltasPerStep;
    m_wheelRemainder -= notches * QWheelEvent::DefaultDeltasPerStep;
    if (notches != 0)
        m_control.ScrollRows(-notches * QApplication::wheelScrollLines());
    event->accept();
}

void TextArea::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateViewport();
    UpdateScrollBar();
}

void TextArea::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UpdateViewport();
        UpdateScrollBar();
    }
}

// ---------------------------------------------------------------------------
// Painting

void TextArea::paintEvent(QPaintEvent*)
{
    constexpr qreal kMargin = TextAreaControl::kMargin;
    const TextBuffer& buffer = m_control.Buffer();
    QPainter painter(viewport());
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    QTextCharFormat selected;
    selected.setBackground(palette().brush(group, QPalette::Highlight));
    selected.setForeground(palette().brush(group, QPalette::HighlightedText));
    painter.setPen(palette().color(QPalette::Text));
    const qsizetype position = m_control.Position();
    const size_t from = size_t(qMin(m_control.Anchor(), position));
    const size_t to = size_t(qMax(m_control.Anchor(), position));
    const size_t caretPiece = m_control.DisplayPieceAt(position);

    // The rows of the top piece above the first row on screen stay hidden.
    painter.setClipRect(QRectF(0, kMargin, viewport()->width(), viewport()->height() - kMargin));
    const TextAreaControl::Row top = m_control.Top();
    const QTextLayout& topLayout = m_control.LayoutOf(top.piece);
    qreal y = kMargin - (top.line < topLayout.lineCount() ? topLayout.lineAt(top.line).y() : 0);
    for (size_t piece = top.piece; piece < buffer.PieceCount() && y < viewport()->height(); ++piece) {
        QTextLayout& layout = m_control.LayoutOf(piece);
        const size_t start = m_control.DisplayStart(piece);
        const size_t end = buffer.PieceEnd(piece);
        QList<QTextLayout::FormatRange> selections;
        if (from < to && from <= end && to > start) {
            const int first = m_control.LayoutPosition(piece, qsizetype(qMax(from, start)));
            selections.append({first, m_control.LayoutPosition(piece, qsizetype(qMin(to, end))) - first, selected});
        }
        // A last row that the next piece shows is left out.
        const QTextLine lastRow = layout.lineAt(m_control.RowCount(piece) - 1);
        const qreal bottom = lastRow.y() + lastRow.height();
        const QPointF origin(kMargin, y);
        painter.save();
        painter.setClipRect(QRectF(0, y, viewport()->width(), bottom), Qt::IntersectClip);
        layout.draw(&painter, origin, selections);
        if (piece == caretPiece && m_caretShown && !m_control.CaretHidden())
            layout.drawCursor(&painter, origin, m_control.LayoutPosition(piece, position), 1);
        painter.restore();
        y += bottom;
    }
}

void TextArea::RestartBlink()
{
    m_caretShown = hasFocus();
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && flash > 0)
        m_blink.start(flash / 2, this);
    else
        m_blink.stop();
}

void TextArea::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_autoScroll.timerId()) {
        AutoScroll();
        return;
    }
    if (event->timerId() != m_blink.timerId())
        return QAbstractScrollArea::timerEvent(event);
    m_caretShown = !m_caretShown;
    viewport()->update();
}

void TextArea::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    RestartBlink();
    viewport()->update();
}

void TextArea::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    RestartBlink();
    viewport()->update();
}

// ---------------------------------------------------------------------------
// Events handed on to the control

bool TextArea::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        // Tab is text here, not a step to the next control.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(key);
            return true;
        }
    } else if (event->type() == QEvent::ShortcutOverride) {
        // The editing keys are the text area's, not shortcuts of the window.
        if (TextAreaControl::IsEditingKey(static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TextArea::keyPressEvent(QKeyEvent* event)
{
    event->setAccepted(m_control.KeyPress(event));
}

void TextArea::inputMethodEvent(QInputMethodEvent* event)
{
    m_control.InputMethod(event);
}

QVariant TextArea::inputMethodQuery(Qt::InputMethodQuery query) const
{
    const QVariant answer = m_control.InputMethodQuery(query);
    if (!answer.isValid())
        return QAbstractScrollArea::inputMethodQuery(query);
    if (query == Qt::ImCursorRectangle)
        return answer.toRectF().translated(viewport()->pos());
    return answer;
}

void TextArea::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    m_control.MousePress(event);
}

void TextArea::mouseMoveEvent(QMouseEvent* event)
{
    m_control.MouseMove(event, viewport());
    // Held beyond the edge, the text goes on scrolling with the mouse still.
    m_autoScrollPoint = event->position().toPoint();
    if (!(event->buttons() & Qt::LeftButton) || viewport()->rect().contains(m_autoScrollPoint))
        m_autoScroll.stop();
    else if (!m_autoScroll.isActive())
        m_autoScroll.start(100, this);
}

void TextArea::mouseReleaseEvent(QMouseEvent* event)
{
    m_autoScroll.stop();
    m_control.MouseRelease(event);
}

void TextArea::AutoScroll()
{
    // Faster the farther beyond the edge, as QPlainTextEdit scrolls.
    const QRect visible = viewport()->rect();
    const int beyond = qMax(visible.top() - m_autoScrollPoint.y(), m_autoScrollPoint.y() - visible.bottom());
    if (beyond <= 0 || !m_control.AutoScroll()) {
        m_autoScroll.stop();
        return;
    }
    const int delta = qMax(beyond, 7);
    m_autoScroll.start(4900 / (delta * delta), this);
}

void TextArea::dragEnterEvent(QDragEnterEvent* event)
{
    // Files dropped are dictionaries for the window, not text.
    if (event->mimeData()->hasText() && !event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TextArea::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasText() && !event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TextArea::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasText() || event->mimeData()->hasUrls())
        return event->ignore();
    const bool fromHere = event->source() == viewport() && event->dropAction() == Qt::MoveAction;
    m_control.Drop(event->position(), event->mimeData()->text(), fromHere);
    event->acceptProposedAction();
}

void TextArea::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_control.MouseDoubleClick(event);
}

void TextArea::contextMenuEvent(QContextMenuEvent* event)
{
    m_control.ContextMenu(event, this);
}
