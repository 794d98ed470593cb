// The Replace command: the whole text area is rewritten by the dictionary.
#include "CReplaceDlg.h"

#include "Prompter.h"
#include "TextArea.h"

#include <QRadioButton>

void CReplaceDlg::OnReplace()
{
    if (!m_prompter->AskYesNo(this, QStringLiteral("置換してよろしいですか？"), QStringLiteral("確認")))
        return;
    const QString text = m_textEdit->ReadText();
    const std::u16string_view units(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size()));
    m_replacer.Scan(units);
    const bool replaceMode = m_modeRadio->isChecked();
    m_textEdit->clear();
    const std::u16string output = replaceMode ? m_replacer.BuildReplaced(units) : m_replacer.BuildGlossed(units);
    InsertUnicodeText(*m_textEdit, QString::fromUtf16(output.data(), qsizetype(output.size())));
}
