// The main window: the dictionary pair boxes, the dictionary list, the output
// mode, the text area and the Replace button, built from the dialog template.
#pragma once

#include "ByteStreams.h"
#include "Replacer.h"

#include <QDialog>
#include <QHash>
#include <QIcon>

#include <memory>

class DictionaryController;
class Prompter;
class QComboBox;
class QRadioButton;
class QTableView;
class TextArea;

class CReplaceDlg : public QDialog {
    Q_OBJECT
public:
    // The combo boxes' contents are kept in `settingsFile`. Messages go
    // through `prompter` (the message boxes of the desktop when null).
    explicit CReplaceDlg(const QString& settingsFile, Prompter* prompter = nullptr, QWidget* parent = nullptr);
    ~CReplaceDlg() override;

    QWidget* GetDlgItem(int id) const { return m_controls.value(id); }
    // The smallest outer size of the window, frame included: the size it opens
    // at where the template's 366 x 301 dialog units come to 641 x 452 pixels
    // (base units 7 x 12), in a 4-pixel frame under a 19-pixel caption.
    static constexpr QSize kMinimumOuterSize{649, 479};

    // Commands, as the controls run them.
    void OnReplace();
    void OnClose();
    void OnRegister();
    void OnDelete();
    void OnDblClk();
    void OnColumnClick(int column);
    void OnSaveDictionary();
    void OnDropFiles(const QStringList& paths);
    // Reads the files as dropped ones once the window's event loop runs, so
    // that their messages come over the window.
    void OpenAtStart(const QStringList& paths);
    void LoadDictionary(const QString& path);
    void RefreshList();

    // The controls that the commands use, for the tests that drive them.
    TextArea* TextEdit() const { return m_textEdit; }
    QTableView* DictList() const { return m_dictList; }
    QRadioButton* ModeRadio() const { return m_modeRadio; }
    QComboBox* BeforeCombo() const { return m_beforeCombo; }
    QComboBox* AfterCombo() const { return m_afterCombo; }

    Replacer m_replacer;
    // Every write of the dictionary and settings files goes through it:
    // write(2) unless a test puts one in that fails.
    WriteFunction m_fileWrite;

protected:
    bool OnInitDialog();
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void FindControls();
    void ConnectMessageMap();
    void OnSize();
    void UpdateMinimumSize();
    QMargins FrameMargins() const;
    void ShowRow(int row);

    QIcon m_icon;
    TextArea* m_textEdit = nullptr;
    QTableView* m_dictList = nullptr;
    QRadioButton* m_modeRadio = nullptr;
    QComboBox* m_beforeCombo = nullptr;
    QComboBox* m_afterCombo = nullptr;
    QString m_settingsFile;
    std::unique_ptr<Prompter> m_ownPrompter;
    Prompter* m_prompter;
    std::unique_ptr<DictionaryController> m_dictionary;
    QHash<int, QWidget*> m_controls;
    QSize m_templateExtent; // client size that shows every control whole
};
