#include "CReplaceDlg.h"

#include "ComboHistory.h"
#include "ComboSettings.h"
#include "DialogUnits.h"
#include "DictionaryController.h"
#include "DictionaryView.h"
#include "MainDialogTemplate.h"
#include "Profile.h"
#include "Prompter.h"
#include "TextArea.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QWindow>

CReplaceDlg::CReplaceDlg(const QString& settingsFile, Prompter* prompter, QWidget* parent)
    : QDialog(parent)
    , m_settingsFile(settingsFile)
    , m_ownPrompter(prompter ? nullptr : std::make_unique<WidgetPrompter>())
    , m_prompter(prompter ? prompter : m_ownPrompter.get())
{
    // The icons are compiled into a static library, whose resource object
    // the linker keeps only when something names it.
    Q_INIT_RESOURCE(velmora);
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        m_icon.addFile(QStringLiteral(":/velmora/velmora-%1.png").arg(size), QSize(size, size));
    CreateControls();
    OnInitDialog();
}

CReplaceDlg::~CReplaceDlg()
{
    qApp->removeEventFilter(this);
}

void CReplaceDlg::CreateControls()
{
    setWindowTitle(QString::fromUtf16(kMainDialog.caption));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                   | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    setFont(DialogFont(QString::fromUtf16(kMainDialog.font), kMainDialog.pointSize));
    const DialogUnits units(font());

    QWidget* previousTabStop = nullptr;
    QLabel* label = nullptr; // the label just made, which names the control after it
    for (const ControlTemplate& t : kMainDialogControls) {
        const QString caption = QString::fromUtf16(t.caption);
        QRect rect = units.Rect(t.x, t.y, t.cx, t.cy);
        QWidget* widget = nullptr;
        switch (t.kind) {
        case ControlKind::Label:
            widget = new QLabel(caption, this);
            break;
        case ControlKind::ComboBox: {
            auto* combo = new QComboBox(this);
            SetUpHistoryCombo(*combo);
            // The template's height is that of the open list; the field's own
            // height is the style's.
            combo->setMaxVisibleItems(qMax(1, (units.Y(t.cy) - combo->sizeHint().height()) / units.CharHeight()));
            rect.setHeight(combo->sizeHint().height());
            if (label) { // a screen reader names the box by its label
                label->setBuddy(combo);
                combo->setAccessibleName(label->text());
            }
            widget = combo;
            break;
        }
        case ControlKind::PushButton: {
            auto* button = new QPushButton(caption, this);
            button->setAutoDefault(false);
            button->setDefault(false);
            widget = button;
            break;
        }
        case ControlKind::GroupBox:
            widget = new QGroupBox(caption, this);
            widget->lower();
            break;
        case ControlKind::RadioButton: {
            auto* radio = new QRadioButton(caption, this);
            radio->setAutoExclusive(true);
            widget = radio;
            break;
        }
        case ControlKind::TextArea:
            widget = new TextArea(this);
            break;
        case ControlKind::ListView:
            widget = new DictionaryView(this);
            break;
        }
        widget->setGeometry(rect);
        // The controls that keep their place need all of their rectangle, the
        // two that stretch only their top left corner.
        const bool stretches = t.kind == ControlKind::TextArea || t.kind == ControlKind::ListView;
        const QPoint farthest = stretches ? widget->geometry().topLeft() : widget->geometry().bottomRight();
        m_templateExtent = m_templateExtent.expandedTo(QSize(farthest.x() + 1, farthest.y() + 1));
        if (t.style & kStyleTabStop) {
            widget->setFocusPolicy(Qt::StrongFocus);
            if (previousTabStop)
                QWidget::setTabOrder(previousTabStop, widget);
            previousTabStop = widget;
        } else if (t.kind == ControlKind::RadioButton) {
            widget->setFocusPolicy(Qt::ClickFocus); // out of the Tab chain
        }
        if (t.id != IDC_STATIC)
            m_controls.insert(t.id, widget);
        label = t.kind == ControlKind::Label ? static_cast<QLabel*>(widget) : nullptr;
    }
    resize(units.X(kMainDialog.cx), units.Y(kMainDialog.cy));
}

// The control members, found by their template ids.
void CReplaceDlg::FindControls()
{
    m_textEdit = static_cast<TextArea*>(GetDlgItem(IDC_TEXT_EDIT));
    m_dictList = static_cast<QTableView*>(GetDlgItem(IDC_DICT_LIST));
    m_modeRadio = static_cast<QRadioButton*>(GetDlgItem(IDC_MODE_REPLACE));
    m_beforeCombo = static_cast<QComboBox*>(GetDlgItem(IDC_BEFORE_COMBO));
    m_afterCombo = static_cast<QComboBox*>(GetDlgItem(IDC_AFTER_COMBO));
}

bool CReplaceDlg::OnInitDialog()
{
    FindControls();
    setWindowIcon(m_icon);
    setAcceptDrops(true);
    m_modeRadio->setChecked(true);
    m_dictionary = std::make_unique<DictionaryController>(m_replacer, *m_beforeCombo, *m_afterCombo, *m_prompter,
                                                          m_fileWrite, this);
    connect(m_dictionary.get(), &DictionaryController::PairListed, this, &CReplaceDlg::ShowRow);
    SetUpDictionaryView(*m_dictList, m_dictionary->Model());
    // Both boxes from one reading of the file.
    const ProfileReader profile(m_settingsFile);
    LoadComboHistory(profile, *m_beforeCombo, QStringLiteral("Before"));
    LoadComboHistory(profile, *m_afterCombo, QStringLiteral("After"));
    ConnectMessageMap();
    qApp->installEventFilter(this);
    m_beforeCombo->setFocus();
    UpdateMinimumSize();
    return true;
}

// Drops, size changes, keys and the close request arrive as events (the
// overrides below); everything else is connected here.
void CReplaceDlg::ConnectMessageMap()
{
    auto clicked = [this](int id, void (CReplaceDlg::*handler)()) {
        connect(static_cast<QPushButton*>(GetDlgItem(id)), &QPushButton::clicked, this, handler);
    };
    clicked(IDC_REPLACE, &CReplaceDlg::OnReplace);
    m_dictList->viewport()->installEventFilter(this); // double-clicks
    clicked(IDC_DELETE, &CReplaceDlg::OnDelete);
    clicked(IDC_REGISTER, &CReplaceDlg::OnRegister);
    clicked(IDC_SAVE_DICT, &CReplaceDlg::OnSaveDictionary);
    connect(m_dictList->horizontalHeader(), &QHeaderView::sectionClicked, this, &CReplaceDlg::OnColumnClick);
}

bool CReplaceDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick && watched == m_dictList->viewport()) {
        OnDblClk();
        return false;
    }
    // Dropped files are for the window, whichever control they land on: the
    // fields would take the names as text. Ignored here, the drag goes on to
    // the parent and finally to the dialog.
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove || event->type() == QEvent::Drop) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget != this && widget->window() == this
            && static_cast<QDropEvent*>(event)->mimeData()->hasUrls()) {
            event->ignore();
            return true;
        }
    }
    // The window manager's frame is known once the window is exposed (or its
    // state set), which may be before any move or resize.
    if (watched == windowHandle() && (event->type() == QEvent::Expose || event->type() == QEvent::WindowStateChange)) {
        UpdateMinimumSize();
        OnSize();
    }
    // Escape goes nowhere, whichever control of this window has the focus.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        if (key->key() == Qt::Key_Escape && widget && widget->window() == this) {
            event->accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CReplaceDlg::keyPressEvent(QKeyEvent* event)
{
    // Neither Escape nor Enter ends the window: only the close request does.
    // Enter on a focused push button is its click.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        event->accept();
        return;
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

// Asked of the window itself: the widget's own frame geometry is not brought
// up to date when the window manager frames the window. While a window manager
// that has just started is still building the frame, the platform may measure
// it from a frame window that is smaller than the client (a side of -648):
// such a frame is not known yet, and taken as none, or the minimum would grow
// the window by the window's own size.
QMargins CReplaceDlg::FrameMargins() const
{
    const QWindow* window = windowHandle();
    const QMargins frame = window ? window->frameMargins() : QMargins();
    const bool known = frame.left() >= 0 && frame.top() >= 0 && frame.right() >= 0 && frame.bottom() >= 0;
    return known ? frame : QMargins();
}

// The outer minimum less the frame; never less than the template's controls
// need, should the font make them larger than that.
void CReplaceDlg::UpdateMinimumSize()
{
    const QSize client = kMinimumOuterSize.shrunkBy(FrameMargins()).expandedTo(m_templateExtent);
    if (minimumSize() != client)
        setMinimumSize(client);
}

void CReplaceDlg::OnSize()
{
    if (!m_textEdit || isMinimized())
        return;
    // The outer rectangle in client coordinates: the text area and the list
    // end 4 pixels short of its right and bottom edges, and never beyond the
    // client area's, however thick the frame.
    const QMargins frame = FrameMargins();
    const int right = qMin(width(), width() + frame.right() - 4);
    const int bottom = qMin(height(), height() + frame.bottom() - 4);
    const QRect text = m_textEdit->geometry();
    m_textEdit->setGeometry(text.left(), text.top(), qMax(0, right - text.left()), qMax(0, bottom - text.top()));
    const QRect list = m_dictList->geometry();
    m_dictList->setGeometry(list.left(), list.top(), list.width(), qMax(0, bottom - list.top()));
}

void CReplaceDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    OnSize();
}

void CReplaceDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    UpdateMinimumSize();
    OnSize();
}

void CReplaceDlg::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    UpdateMinimumSize();
}

void CReplaceDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        OnSize();
}

void CReplaceDlg::closeEvent(QCloseEvent* event)
{
    OnClose();
    QDialog::closeEvent(event);
}

void CReplaceDlg::OnReplace()
{
    m_dictionary->Replace(*m_textEdit, [this] { return m_modeRadio->isChecked(); });
}

void CReplaceDlg::OnClose()
{
    // Both boxes in one rewrite of the file.
    ProfileWriter profile(m_settingsFile, m_fileWrite);
    SaveComboHistory(profile, *m_beforeCombo, QStringLiteral("Before"));
    SaveComboHistory(profile, *m_afterCombo, QStringLiteral("After"));
    profile.Commit();
}

void CReplaceDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CReplaceDlg::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CReplaceDlg::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    event->acceptProposedAction();
    // Read once the drop has returned, so that the drag source hears that the
    // drop is done and is not kept waiting behind a wait cursor or a message.
    if (!paths.isEmpty())
        QTimer::singleShot(0, this, [this, paths] { OnDropFiles(paths); });
}
