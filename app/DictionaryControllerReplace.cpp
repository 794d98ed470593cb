// The Replace command: the whole text area is rewritten by the dictionary.
#include "DictionaryController.h"

#include "Prompter.h"
#include "Replacer.h"
#include "TextArea.h"

#include <QApplication>

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

void DictionaryController::Replace(TextArea& area, const std::function<bool()>& replaceMode)
{
    if (!m_prompter.AskYesNo(m_owner, QStringLiteral("置換してよろしいですか？"), QStringLiteral("確認")))
        return;
    // The text area is emptied only once the output is there to take its place.
    std::optional<std::u16string> output = BuildOutput(m_replacer, area, replaceMode());
    if (!output) {
        m_prompter.ShowMessage(m_owner, QStringLiteral("メモリが不足しているため置換できませんでした。"),
                               QApplication::applicationName(), Prompter::Icon::Stop);
        return;
    }
    area.clear();
    InsertUnicodeText(area, std::move(*output));
}
