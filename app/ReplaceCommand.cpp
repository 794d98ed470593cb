// The Replace command: the whole text area is rewritten by the dictionary.
#include "CReplaceDlg.h"

#include "Prompter.h"
#include "TextArea.h"

#include <QApplication>
#include <QRadioButton>

#include <new>
#include <optional>
#include <string>

namespace {
// The text area's text rewritten, built whole; nothing when it does not fit
// in memory. The text is scanned where it stands, without a copy.
std::optional<std::u16string> BuildOutput(Replacer& replacer, const TextArea& area, bool replaceMode)
{
    try {
        const std::u16string_view units = area.Units();
        replacer.Scan(units);
        return replaceMode ? replacer.BuildReplaced(units) : replacer.BuildGlossed(units);
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
    std::optional<std::u16string> output = BuildOutput(m_replacer, *m_textEdit, replaceMode);
    if (!output) {
        m_prompter->ShowMessage(this, QStringLiteral("メモリが不足しているため置換できませんでした。"),
                                QApplication::applicationName(), Prompter::Icon::Stop);
        return;
    }
    m_textEdit->clear();
    InsertUnicodeText(*m_textEdit, std::move(*output));
}
