// The Replace command: the whole text area is rewritten by the dictionary.
#include "CReplaceDlg.h"

#include "Prompter.h"
#include "TextArea.h"
#include "Utf16Bridge.h"

#include <QApplication>
#include <QRadioButton>

#include <new>
#include <optional>

namespace {
// The text area's text rewritten, built whole; nothing when it does not fit
// in memory.
std::optional<QString> BuildOutput(Replacer& replacer, const TextArea& area, bool replaceMode)
{
    try {
        const QString text = area.ReadText();
        const std::u16string_view units = Utf16Units(text);
        replacer.Scan(units);
        const std::u16string output = replaceMode ? replacer.BuildReplaced(units) : replacer.BuildGlossed(units);
        return ToQString(output);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}
} // namespace

void CReplaceDlg::OnReplace()
{
    if (!m_prompter->AskYesNo(this, QStringLiteral("置換してよろしいですか？"), QStringLiteral("確認")))
        return;
    const bool replaceMode = m_modeRadio->isChecked();
    // The text area is emptied only once the output is there to take its place.
    const std::optional<QString> output = BuildOutput(m_replacer, *m_textEdit, replaceMode);
    if (!output) {
        m_prompter->ShowMessage(this, QStringLiteral("メモリが不足しているため置換できませんでした。"),
                                QApplication::applicationName(), Prompter::Icon::Stop);
        return;
    }
    m_textEdit->clear();
    InsertUnicodeText(*m_textEdit, *output);
}
