// The main window driven through its real controls: the Replace command, the
// combo boxes' contents kept in the settings file, the keys that must not end
// the window, the minimum size and the layout, the controls' set-up and the
// text area's paste.
#include "ComboHistory.h"
#include "QtTranslations.h"
#include "TextArea.h"
#include "WindowTest.h"

#include <QAccessible>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollBar>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include <optional>
#include <utility>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

const QString kConfirmText = QStringLiteral("置換してよろしいですか？");
const QString kConfirmCaption = QStringLiteral("確認");

// The settings file as sections of "key=value" lines, in file order; the
// section names as they stand in the file.
struct IniSection {
    QString name;
    QList<QPair<QString, QString>> entries;

    QString Value(const QString& key) const
    {
        for (const auto& e : entries)
            if (e.first == key)
                return e.second;
        return QStringLiteral("<missing>");
    }
    bool Has(const QString& key) const
    {
        for (const auto& e : entries)
            if (e.first == key)
                return true;
        return false;
    }
};

QList<IniSection> ParseIni(const QByteArray& bytes)
{
    QList<IniSection> sections;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QString text = QString::fromUtf8(line).trimmed();
        if (text.isEmpty() || text.startsWith(u';'))
            continue;
        if (text.startsWith(u'[')) {
            sections.append({text.mid(1, text.indexOf(u']') - 1), {}});
            continue;
        }
        if (sections.isEmpty())
            continue;
        const qsizetype eq = text.indexOf(u'=');
        if (eq >= 0)
            sections.back().entries.append({text.left(eq).trimmed(), text.mid(eq + 1)});
    }
    return sections;
}

// A copy, so that it outlives the list it came from.
std::optional<IniSection> FindSection(const QList<IniSection>& sections, const QString& name)
{
    for (const IniSection& s : sections)
        if (s.name == name)
            return s;
    return std::nullopt;
}

QStringList SectionNames(const QList<IniSection>& sections)
{
    QStringList out;
    for (const IniSection& s : sections)
        out << s.name;
    return out;
}

class MainDialogTest : public WindowTest {
protected:
    QList<IniSection> Settings() const { return ParseIni(ReadBytes(SettingsPath())); }

    // Clicks Replace with the mouse; `answer` is the answer to the question.
    void ClickReplace(CReplaceDlg& dlg, bool answer)
    {
        prompter.yesNoAnswers.append(answer);
        QTest::mouseClick(Button(dlg, IDC_REPLACE), Qt::LeftButton);
    }
};

// ---------------------------------------------------------------------------
// The Replace command

using MainDialogReplace = MainDialogTest;

TEST_F(MainDialogReplace, ReplaceModeAsksOnceAndWritesTheReplacedText)
{
    auto dlg = Open();
    dlg->m_replacer.AddPair(u"apple", u"ringo");
    QTest::keyClicks(dlg->TextEdit(), QStringLiteral("apples"));
    ASSERT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("apples"));
    ASSERT_TRUE(dlg->ModeRadio()->isChecked());

    ClickReplace(*dlg, true);

    ASSERT_EQ(prompter.asked.size(), 1);
    EXPECT_EQ(prompter.asked[0].kind, PromptRecord::YesNo);
    EXPECT_EQ(prompter.asked[0].text, kConfirmText);
    EXPECT_EQ(prompter.asked[0].caption, kConfirmCaption);
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringos"));
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringos"));
    EXPECT_EQ(dlg->TextEdit()->LineCount(), 1);
    EXPECT_EQ(dlg->m_replacer.GetMatchCount(), 1u);
    // Nothing else is touched: no message, the boxes and the mode stay.
    EXPECT_TRUE(prompter.Messages().isEmpty());
    EXPECT_TRUE(dlg->ModeRadio()->isChecked());
    EXPECT_EQ(dlg->BeforeCombo()->count(), 0);
    EXPECT_EQ(dlg->AfterCombo()->count(), 0);
}

TEST_F(MainDialogReplace, GlossModeFromTheSecondRadioButton)
{
    auto dlg = Open();
    dlg->m_replacer.AddPair(u"apple", u"ringo");
    QTest::keyClicks(dlg->TextEdit(), QStringLiteral("apples"));
    QRadioButton* gloss = Radio(*dlg, IDC_MODE_GLOSS);
    ASSERT_NE(gloss, nullptr);
    QTest::mouseClick(gloss, Qt::LeftButton);
    ASSERT_TRUE(gloss->isChecked());
    ASSERT_FALSE(dlg->ModeRadio()->isChecked()); // one group: checking the second clears the first

    ClickReplace(*dlg, true);

    EXPECT_EQ(prompter.asked.size(), 1);
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("apple[ringo]s"));
    EXPECT_TRUE(gloss->isChecked());
}

TEST_F(MainDialogReplace, NoChangesNothing)
{
    auto dlg = Open();
    dlg->m_replacer.AddPair(u"apple", u"ringo");
    QTest::keyClicks(dlg->TextEdit(), QStringLiteral("apples"));
    // A selection in the middle and an undo history from the typing.
    dlg->TextEdit()->SetSelection(1, 4);
    const int undoSteps = dlg->TextEdit()->UndoSteps();
    ASSERT_GT(undoSteps, 0);
    const int revision = dlg->TextEdit()->Revision();

    ClickReplace(*dlg, false);

    ASSERT_EQ(prompter.asked.size(), 1);
    EXPECT_EQ(prompter.asked[0].text, kConfirmText);
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("apples"));
    EXPECT_EQ(dlg->TextEdit()->Revision(), revision);
    EXPECT_EQ(dlg->TextEdit()->Anchor(), 1);
    EXPECT_EQ(dlg->TextEdit()->Position(), 4);
    EXPECT_EQ(dlg->TextEdit()->UndoSteps(), undoSteps);
    EXPECT_EQ(dlg->m_replacer.GetMatchCount(), 0u); // nothing was scanned
    // The typing can still be undone.
    dlg->TextEdit()->undo();
    EXPECT_NE(dlg->TextEdit()->ReadText(), QStringLiteral("apples"));
}

TEST_F(MainDialogReplace, UndoDoesNotBringBackTheOldText)
{
    auto dlg = Open();
    dlg->m_replacer.AddPair(u"apple", u"ringo");
    QTest::keyClicks(dlg->TextEdit(), QStringLiteral("apples"));
    ASSERT_TRUE(dlg->TextEdit()->IsUndoAvailable());

    ClickReplace(*dlg, true);
    ASSERT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringos"));
    EXPECT_FALSE(dlg->TextEdit()->IsUndoAvailable());

    dlg->TextEdit()->undo();
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringos"));
    QTest::keyClick(dlg->TextEdit(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringos"));
    for (int i = 0; i < 10; ++i)
        QTest::keyClick(dlg->TextEdit(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringos"));

    // Typing after the Replace is undoable again, back to the replaced text only.
    dlg->TextEdit()->SetPosition(dlg->TextEdit()->Length());
    QTest::keyClicks(dlg->TextEdit(), QStringLiteral("!"));
    ASSERT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringos!"));
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(dlg->TextEdit(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringos"));
}

TEST_F(MainDialogReplace, SwitchingTheModeChangesTheNextRunOnly)
{
    auto dlg = Open();
    dlg->m_replacer.AddPair(u"apple", u"ringo");
    QTest::keyClicks(dlg->TextEdit(), QStringLiteral("apples"));
    QRadioButton* gloss = Radio(*dlg, IDC_MODE_GLOSS);

    QTest::mouseClick(gloss, Qt::LeftButton);
    ClickReplace(*dlg, true);
    ASSERT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("apple[ringo]s"));

    QTest::mouseClick(dlg->ModeRadio(), Qt::LeftButton);
    ASSERT_TRUE(dlg->ModeRadio()->isChecked());
    ASSERT_FALSE(gloss->isChecked());
    ClickReplace(*dlg, true);
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringo[ringo]s"));

    QTest::mouseClick(gloss, Qt::LeftButton);
    ClickReplace(*dlg, true);
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringo[ringo]s"));
}

TEST_F(MainDialogReplace, NoPairsWritesTheTextBackUnchanged)
{
    auto dlg = Open();
    QTest::keyClicks(dlg->TextEdit(), QStringLiteral("abc"));
    QTest::keyClick(dlg->TextEdit(), Qt::Key_Return);
    QTest::keyClicks(dlg->TextEdit(), QStringLiteral("def"));

    ClickReplace(*dlg, true);

    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("abc\ndef"));
    EXPECT_FALSE(dlg->TextEdit()->IsUndoAvailable()); // written back all the same
}

TEST_F(MainDialogReplace, TextIsCutAtTheFirstNul)
{
    auto dlg = Open();
    dlg->m_replacer.AddPair(u"apple", u"ringo");
    Paste(*dlg, QStringLiteral("apple") + QChar(u'\0') + QStringLiteral("apple tail"));
    ASSERT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("apple"));

    ClickReplace(*dlg, true);

    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringo"));
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringo"));
    EXPECT_EQ(dlg->m_replacer.GetMatchCount(), 1u);
}

TEST_F(MainDialogReplace, PastedCrLfBecomesLf)
{
    auto dlg = Open();
    dlg->m_replacer.AddPair(u"apple", u"ringo");
    Paste(*dlg, QStringLiteral("apple\r\napple\rapple\n"));
    ASSERT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("apple\napple\napple\n"));

    ClickReplace(*dlg, true);

    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringo\nringo\nringo\n"));
    EXPECT_EQ(dlg->TextEdit()->LineCount(), 4);
}

TEST_F(MainDialogReplace, MatchAcrossALineBreakUsesTheLfForm)
{
    auto dlg = Open();
    dlg->m_replacer.AddPair(u"a\nb", u"X");
    dlg->m_replacer.AddPair(u"a\r\nb", u"Y");
    Paste(*dlg, QStringLiteral("a\r\nb"));
    ClickReplace(*dlg, true);
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("X"));
}

TEST_F(MainDialogReplace, TheCursorEndsAfterTheOutput)
{
    auto dlg = Open();
    dlg->m_replacer.AddPair(u"apple", u"ringo");
    Paste(*dlg, QStringLiteral("apples and more"));
    dlg->TextEdit()->SetPosition(2);

    ClickReplace(*dlg, true);

    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringos and more"));
    EXPECT_FALSE(dlg->TextEdit()->HasSelection());
    // Typing goes on after the output, not into it.
    QTest::keyClicks(dlg->TextEdit(), QStringLiteral("!"));
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ringos and more!"));
}

// ---------------------------------------------------------------------------
// The combo boxes' contents in the settings file

using MainDialogSettings = MainDialogTest;

TEST_F(MainDialogSettings, WithoutAFileBothBoxesStartEmptyAndClosingCreatesIt)
{
    ASSERT_FALSE(QFile::exists(SettingsPath()));
    auto dlg = Open();
    EXPECT_EQ(dlg->BeforeCombo()->currentText(), QString());
    EXPECT_EQ(dlg->AfterCombo()->currentText(), QString());
    EXPECT_EQ(dlg->BeforeCombo()->count(), 0);
    EXPECT_EQ(dlg->AfterCombo()->count(), 0);
    EXPECT_FALSE(QFile::exists(SettingsPath())); // nothing is written at start

    Close(*dlg);

    ASSERT_TRUE(QFile::exists(SettingsPath()));
    const QByteArray raw = ReadBytes(SettingsPath());
    const QList<IniSection> sections = ParseIni(raw);
    EXPECT_EQ(SectionNames(sections), (QStringList{"Before", "After"})) << raw.toStdString();
    for (const QString& name : {QStringLiteral("Before"), QStringLiteral("After")}) {
        const std::optional<IniSection> s = FindSection(sections, name);
        ASSERT_TRUE(s.has_value()) << name.toStdString();
        ASSERT_EQ(s->entries.size(), 1) << raw.toStdString();
        EXPECT_EQ(s->entries[0].first, QStringLiteral("EditControl"));
        EXPECT_EQ(s->entries[0].second, QStringLiteral("\"\"")); // an empty field in quotes
    }
    EXPECT_TRUE(raw.contains("[Before]\nEditControl=\"\"\n")) << raw.toStdString();
    EXPECT_TRUE(raw.contains("[After]\nEditControl=\"\"\n")) << raw.toStdString();
    EXPECT_LT(raw.indexOf("[Before]"), raw.indexOf("[After]"));
}

TEST_F(MainDialogSettings, FieldsAndHistoriesRoundTrip)
{
    {
        auto dlg = Open();
        for (const char* item : {"pear", "apple", "mango"})
            AddSorted(*dlg->BeforeCombo(), QString::fromUtf8(item));
        for (const char* item : {"nashi", "ringo"})
            AddSorted(*dlg->AfterCombo(), QString::fromUtf8(item));
        dlg->BeforeCombo()->setEditText(QStringLiteral("typed before"));
        dlg->AfterCombo()->setEditText(QStringLiteral("typed after"));
        Close(*dlg);
    }
    const QList<IniSection> sections = Settings();
    const std::optional<IniSection> before = FindSection(sections, QStringLiteral("Before"));
    ASSERT_TRUE(before.has_value());
    EXPECT_EQ(before->Value("EditControl"), QStringLiteral("\"typed before\""));
    EXPECT_EQ(before->Value("0"), QStringLiteral("\"apple\""));
    EXPECT_EQ(before->Value("1"), QStringLiteral("\"mango\""));
    EXPECT_EQ(before->Value("2"), QStringLiteral("\"pear\""));
    EXPECT_FALSE(before->Has("3"));

    auto dlg = Open();
    EXPECT_EQ(Items(*dlg->BeforeCombo()), (QStringList{"apple", "mango", "pear"}));
    EXPECT_EQ(Items(*dlg->AfterCombo()), (QStringList{"nashi", "ringo"}));
    // The field shows what stood in it, not the first item of the list.
    EXPECT_EQ(dlg->BeforeCombo()->currentText(), QStringLiteral("typed before"));
    EXPECT_EQ(dlg->AfterCombo()->currentText(), QStringLiteral("typed after"));
    EXPECT_EQ(dlg->BeforeCombo()->currentIndex(), -1); // no item chosen
    EXPECT_EQ(dlg->AfterCombo()->currentIndex(), -1);
}

TEST_F(MainDialogSettings, EmptyFieldWithAHistoryComesBackEmpty)
{
    {
        auto dlg = Open();
        AddSorted(*dlg->BeforeCombo(), QStringLiteral("kept"));
        dlg->BeforeCombo()->setCurrentIndex(-1);
        dlg->BeforeCombo()->setEditText(QString());
        Close(*dlg);
    }
    EXPECT_EQ(FindSection(Settings(), "Before")->Value("EditControl"), QStringLiteral("\"\""));
    auto dlg = Open();
    EXPECT_EQ(Items(*dlg->BeforeCombo()), QStringList{"kept"});
    EXPECT_EQ(dlg->BeforeCombo()->currentText(), QString());
}

TEST_F(MainDialogSettings, EmptyFieldRoundTrips)
{
    {
        auto dlg = Open();
        dlg->BeforeCombo()->setEditText(QStringLiteral("something"));
        dlg->BeforeCombo()->setEditText(QString());
        Close(*dlg);
    }
    auto dlg = Open();
    EXPECT_EQ(dlg->BeforeCombo()->currentText(), QString());
    EXPECT_EQ(dlg->BeforeCombo()->count(), 0);
}

TEST_F(MainDialogSettings, TrickyValuesRoundTrip)
{
    const struct Case {
        const char* name;
        QString value;
        QString expected;
    } cases[] = {
        {"blanks at both ends", "  two  words  ", "  two  words  "},
        {"tabs at both ends", "\tx\t", "\tx\t"},
        {"only blanks", "   ", "   "},
        {"enclosed in double quotes", "\"quoted\"", "quoted"},
        {"only one pair is taken off", "\"\"twice\"\"", "\"twice\""},
        {"one double quote alone", "\"", ""},
        {"leading double quote only", "\"open", "\"open"},
        {"trailing double quote only", "close\"", "close\""},
        {"double quotes inside", "a\"b\"c", "a\"b\"c"},
        {"single quotes kept", "'single'", "'single'"},
        {"equals signs and semicolons", "a=b;c", "a=b;c"},
        {"looks like a section", "[After]", "[After]"},
        {"backslash escapes kept literally", "C:\\new\\table\\u0041", "C:\\new\\table\\u0041"},
        {"Japanese", "置換前文字列", "置換前文字列"},
        {"non-BMP", Units({0xD83D, 0xDE00}), Units({0xD83D, 0xDE00})},
        {"line and paragraph separators", Units({u'a', 0x2028, u'b', 0x2029, u'c', 0x0085, u'd'}),
         Units({u'a', 0x2028, u'b', 0x2029, u'c', 0x0085, u'd'})},
        {"no-break space at the ends", Units({0x00A0, u'x', 0x00A0}), Units({0x00A0, u'x', 0x00A0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(SettingsPath());
        {
            auto dlg = Open();
            dlg->AfterCombo()->setEditText(c.value);
            ASSERT_EQ(dlg->AfterCombo()->currentText(), c.value);
            AddSorted(*dlg->BeforeCombo(), c.value);
            Close(*dlg);
        }
        auto dlg = Open();
        EXPECT_EQ(dlg->AfterCombo()->currentText(), c.expected);
        if (c.expected.isEmpty()) {
            EXPECT_EQ(dlg->BeforeCombo()->count(), 0); // an empty entry ends the list
        } else {
            EXPECT_EQ(Items(*dlg->BeforeCombo()), QStringList{c.expected});
        }
        dlg.reset();
    }
}

TEST_F(MainDialogSettings, LineBreaksDoNotBreakTheFile)
{
    const QString field = QStringLiteral("line one\r\n[After]\nEditControl=\"evil\"\rend");
    const QString item = QStringLiteral("item\nwith a break");
    {
        auto dlg = Open();
        dlg->BeforeCombo()->setEditText(field);
        ASSERT_EQ(dlg->BeforeCombo()->currentText(), field);
        AddSorted(*dlg->BeforeCombo(), item);
        dlg->BeforeCombo()->setEditText(field);
        dlg->AfterCombo()->setEditText(QStringLiteral("after"));
        Close(*dlg);
    }
    const QByteArray raw = ReadBytes(SettingsPath());
    const QList<IniSection> sections = ParseIni(raw);
    EXPECT_EQ(SectionNames(sections), (QStringList{"Before", "After"})) << raw.toStdString();
    const std::optional<IniSection> before = FindSection(sections, "Before");
    ASSERT_TRUE(before.has_value());
    EXPECT_EQ(before->entries.size(), 2) << raw.toStdString(); // EditControl and 0
    EXPECT_EQ(raw.count('\r'), 0);
    EXPECT_EQ(FindSection(sections, "After")->Value("EditControl"), QStringLiteral("\"after\""));

    auto dlg = Open();
    EXPECT_EQ(dlg->BeforeCombo()->currentText(), field);
    EXPECT_EQ(Items(*dlg->BeforeCombo()), QStringList{item});
    EXPECT_EQ(dlg->AfterCombo()->currentText(), QStringLiteral("after"));
}

TEST_F(MainDialogSettings, TypingALongTextInTheFieldIsNotStopped)
{
    auto dlg = Open();
    const QString text = QString(300, u'w');
    QTest::keyClicks(dlg->BeforeCombo()->lineEdit(), text);
    EXPECT_EQ(dlg->BeforeCombo()->currentText(), text);
    Close(*dlg);
    auto again = Open();
    EXPECT_EQ(again->BeforeCombo()->currentText(), text);
}

TEST_F(MainDialogSettings, OnlyTheFirstTwentyInSortedOrderAreKept)
{
    QStringList all;
    for (int i = 0; i < 25; ++i)
        all << QStringLiteral("item%1").arg(i, 2, 10, QChar(u'0'));
    {
        auto dlg = Open();
        // Added in reverse order: the list sorts them.
        for (qsizetype i = all.size() - 1; i >= 0; --i)
            AddSorted(*dlg->AfterCombo(), all[i]);
        ASSERT_EQ(Items(*dlg->AfterCombo()), all);
        Close(*dlg);
    }
    const std::optional<IniSection> after = FindSection(Settings(), "After");
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(after->Value("19"), QStringLiteral("\"item19\""));
    EXPECT_FALSE(after->Has("20"));
    EXPECT_EQ(after->entries.size(), 21); // EditControl and 0..19

    auto dlg = Open();
    EXPECT_EQ(Items(*dlg->AfterCombo()), all.mid(0, 20));
}

TEST_F(MainDialogSettings, ReadingStopsAtAGapInTheKeys)
{
    ASSERT_TRUE(WriteBytes(SettingsPath(), "[Before]\nEditControl=\"field\"\n0=\"a\"\n1=\"b\"\n3=\"d\"\n"
                                          "[After]\n0=\"x\"\n1=\"\"\n2=\"z\"\n"));
    auto dlg = Open();
    EXPECT_EQ(dlg->BeforeCombo()->currentText(), QStringLiteral("field"));
    EXPECT_EQ(Items(*dlg->BeforeCombo()), (QStringList{"a", "b"}));
    // An empty value ends the list as a missing key does.
    EXPECT_EQ(dlg->AfterCombo()->currentText(), QString());
    EXPECT_EQ(Items(*dlg->AfterCombo()), QStringList{"x"});
}

TEST_F(MainDialogSettings, EntriesComeBackSortedWhateverTheKeyOrder)
{
    ASSERT_TRUE(WriteBytes(SettingsPath(), "[After]\n2=\"mango\"\n0=\"pear\"\n1=\"Apple\"\n3=\"apple\"\n"
                                          "EditControl=\"f\"\n"
                                          "[Before]\n0=\"b\"\n1=\"a\"\n2=\"c\"\n"));
    auto dlg = Open();
    EXPECT_EQ(Items(*dlg->AfterCombo()), (QStringList{"Apple", "apple", "mango", "pear"}));
    EXPECT_EQ(Items(*dlg->BeforeCombo()), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(dlg->AfterCombo()->currentText(), QStringLiteral("f"));
    EXPECT_EQ(dlg->BeforeCombo()->currentText(), QString());
}

TEST_F(MainDialogSettings, UnquotedAndSingleQuotedValuesAreRead)
{
    ASSERT_TRUE(WriteBytes(SettingsPath(), "[before]\neditcontrol = plain \n0='single'\n1=\"\"dq\"\"\n"));
    auto dlg = Open();
    EXPECT_EQ(dlg->BeforeCombo()->currentText(), QStringLiteral("plain"));
    EXPECT_EQ(Items(*dlg->BeforeCombo()), (QStringList{"dq", "single"}));
}

TEST_F(MainDialogSettings, KeysBeyondTheListAreLeftAndLoadedAgain)
{
    ASSERT_TRUE(WriteBytes(SettingsPath(), "[Before]\nEditControl=\"\"\n0=\"a\"\n1=\"b\"\n2=\"c\"\n"));
    {
        auto dlg = Open();
        ASSERT_EQ(dlg->BeforeCombo()->count(), 3);
        dlg->BeforeCombo()->clear();
        AddSorted(*dlg->BeforeCombo(), QStringLiteral("z"));
        Close(*dlg);
    }
    const std::optional<IniSection> before = FindSection(Settings(), "Before");
    ASSERT_TRUE(before.has_value());
    EXPECT_EQ(before->Value("0"), QStringLiteral("\"z\""));
    EXPECT_EQ(before->Value("1"), QStringLiteral("\"b\""));
    EXPECT_EQ(before->Value("2"), QStringLiteral("\"c\""));
    auto dlg = Open();
    EXPECT_EQ(Items(*dlg->BeforeCombo()), (QStringList{"b", "c", "z"}));
}

TEST_F(MainDialogSettings, OtherContentOfTheFileIsKept)
{
    const QByteArray original = "; kept comment\r\n[Other]\r\nkey=value\r\n\r\n[Before]\r\nEditControl=\"old\"\r\n";
    ASSERT_TRUE(WriteBytes(SettingsPath(), original));
    {
        auto dlg = Open();
        EXPECT_EQ(dlg->BeforeCombo()->currentText(), QStringLiteral("old"));
        dlg->BeforeCombo()->setEditText(QStringLiteral("new"));
        Close(*dlg);
    }
    const QByteArray raw = ReadBytes(SettingsPath());
    EXPECT_TRUE(raw.startsWith("; kept comment\r\n[Other]\r\nkey=value\r\n\r\n[Before]\r\nEditControl=\"new\"\r\n"))
        << raw.toStdString();
    EXPECT_EQ(SectionNames(ParseIni(raw)), (QStringList{"Other", "Before", "After"}));
}

TEST_F(MainDialogSettings, TheCloseRequestSavesBothBoxes)
{
    auto dlg = Open();
    dlg->BeforeCombo()->setEditText(QStringLiteral("b-field"));
    dlg->AfterCombo()->setEditText(QStringLiteral("a-field"));
    QSignalSpy finished(dlg.get(), &QDialog::finished);
    Close(*dlg);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(finished.count(), 1);
    const QList<IniSection> sections = Settings();
    ASSERT_TRUE(FindSection(sections, "Before").has_value());
    ASSERT_TRUE(FindSection(sections, "After").has_value());
    EXPECT_EQ(FindSection(sections, "Before")->Value("EditControl"), QStringLiteral("\"b-field\""));
    EXPECT_EQ(FindSection(sections, "After")->Value("EditControl"), QStringLiteral("\"a-field\""));
}

// However many keys the boxes hold, a close replaces the file once.
TEST_F(MainDialogSettings, ACloseReplacesTheFileOnce)
{
    auto dlg = Open();
    for (int i = 0; i < 5; ++i) {
        AddSorted(*dlg->BeforeCombo(), QStringLiteral("b%1").arg(i));
        AddSorted(*dlg->AfterCombo(), QStringLiteral("a%1").arg(i));
    }
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(settingsDir.path()).constData(), IN_CREATE | IN_MOVED_TO), 0);
    Close(*dlg);
    int replaced = 0; // created or renamed into place
    alignas(inotify_event) char buffer[65536];
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len && QByteArray(event->name) == "velmora.ini")
                ++replaced;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    ::close(watch);
    EXPECT_EQ(replaced, 1);
    EXPECT_EQ(FindSection(Settings(), "After")->Value("4"), QStringLiteral("\"a4\""));
}

TEST_F(MainDialogSettings, FirstModeAtEveryStart)
{
    {
        auto dlg = Open();
        QTest::mouseClick(Radio(*dlg, IDC_MODE_GLOSS), Qt::LeftButton);
        ASSERT_TRUE(Radio(*dlg, IDC_MODE_GLOSS)->isChecked());
        Close(*dlg);
    }
    auto dlg = Open();
    EXPECT_TRUE(dlg->ModeRadio()->isChecked());
    EXPECT_FALSE(Radio(*dlg, IDC_MODE_GLOSS)->isChecked());
    EXPECT_FALSE(ReadBytes(SettingsPath()).contains("Mode")); // the mode is not kept
}

TEST_F(MainDialogSettings, AnEmptyHistoryEntryDoesNotHideTheOthers)
{
    {
        auto dlg = Open();
        // Register with an empty before box puts "" into its history; it
        // sorts first.
        // '"' and '""' lose their quotes on reading and read back empty too.
        for (const QString& text : {QString(), QStringLiteral("b"), QStringLiteral("\""), QStringLiteral("a"),
                                    QStringLiteral("\"\"")}) {
            dlg->BeforeCombo()->setEditText(text);
            AddToHistory(*dlg->BeforeCombo(), text);
        }
        Close(*dlg);
    }
    auto dlg = Open();
    EXPECT_EQ(Items(*dlg->BeforeCombo()), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

// ---------------------------------------------------------------------------
// Keys that must not end the window

using MainDialogKeys = MainDialogTest;

TEST_F(MainDialogKeys, EscapeAnywhereDoesNothing)
{
    auto dlg = OpenActive();
    dlg->BeforeCombo()->setEditText(QStringLiteral("before"));
    QTest::keyClicks(dlg->TextEdit(), QStringLiteral("text"));
    QSignalSpy finished(dlg.get(), &QDialog::finished);
    QSignalSpy rejected(dlg.get(), &QDialog::rejected);

    const struct Target {
        const char* name;
        QWidget* focus;
        QWidget* receiver;
    } targets[] = {
        {"before combo's field", dlg->BeforeCombo(), dlg->BeforeCombo()->lineEdit()},
        {"before combo", dlg->BeforeCombo(), dlg->BeforeCombo()},
        {"after combo's field", dlg->AfterCombo(), dlg->AfterCombo()->lineEdit()},
        {"text area", dlg->TextEdit(), dlg->TextEdit()},
        {"Register button", dlg->GetDlgItem(IDC_REGISTER), dlg->GetDlgItem(IDC_REGISTER)},
        {"Replace button", dlg->GetDlgItem(IDC_REPLACE), dlg->GetDlgItem(IDC_REPLACE)},
        {"list", dlg->DictList(), dlg->DictList()},
        {"radio button", dlg->ModeRadio(), dlg->ModeRadio()},
        {"window", dlg.get(), dlg.get()},
    };
    for (const Target& t : targets) {
        SCOPED_TRACE(t.name);
        t.focus->setFocus();
        QTest::keyClick(t.receiver, Qt::Key_Escape);
        QCoreApplication::processEvents();
        EXPECT_TRUE(dlg->isVisible());
    }
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(rejected.count(), 0);
    EXPECT_EQ(dlg->result(), 0);
    EXPECT_EQ(dlg->BeforeCombo()->currentText(), QStringLiteral("before"));
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("text"));
    EXPECT_TRUE(prompter.asked.isEmpty());
    EXPECT_FALSE(QFile::exists(SettingsPath())); // not closed, so not saved
}

TEST_F(MainDialogKeys, EscapeToTheFocusedWidgetDoesNothing)
{
    auto dlg = OpenActive();
    QSignalSpy finished(dlg.get(), &QDialog::finished);
    for (QWidget* w : {static_cast<QWidget*>(dlg->BeforeCombo()), static_cast<QWidget*>(dlg->TextEdit()),
                       dlg->GetDlgItem(IDC_DELETE), static_cast<QWidget*>(dlg->DictList())}) {
        w->setFocus();
        QCoreApplication::processEvents();
        ASSERT_EQ(QApplication::focusWidget(), w);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCoreApplication::processEvents();
        EXPECT_TRUE(dlg->isVisible());
        EXPECT_EQ(QApplication::focusWidget(), w); // the focus does not move
    }
    EXPECT_EQ(finished.count(), 0);
}

TEST_F(MainDialogKeys, EnterInTheComboBoxesDoesNothing)
{
    auto dlg = OpenActive();
    QSignalSpy finished(dlg.get(), &QDialog::finished);
    QSignalSpy accepted(dlg.get(), &QDialog::accepted);
    for (QComboBox* box : {dlg->BeforeCombo(), dlg->AfterCombo()}) {
        box->setFocus();
        QTest::keyClicks(box->lineEdit(), QStringLiteral("typed"));
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(box->lineEdit(), key);
            QTest::keyClick(box, key);
            QCoreApplication::processEvents();
            EXPECT_TRUE(dlg->isVisible());
        }
        EXPECT_EQ(box->count(), 0); // Enter adds no history item
        EXPECT_EQ(box->currentText(), QStringLiteral("typed"));
    }
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(accepted.count(), 0);
    EXPECT_TRUE(prompter.asked.isEmpty()); // no button was pressed for it
    EXPECT_EQ(dlg->m_replacer.GetEntryCount(), 0);
    EXPECT_FALSE(QFile::exists(SettingsPath()));

    // Closing afterwards saves the typed text as it stands.
    Close(*dlg);
    EXPECT_EQ(FindSection(Settings(), "Before")->Value("EditControl"), QStringLiteral("\"typed\""));
    EXPECT_FALSE(FindSection(Settings(), "Before")->Has("0"));
}

TEST_F(MainDialogKeys, EnterAndTabInTheTextAreaAreText)
{
    auto dlg = OpenActive();
    QSignalSpy finished(dlg.get(), &QDialog::finished);
    dlg->TextEdit()->setFocus();
    QTest::keyClicks(dlg->TextEdit(), QStringLiteral("ab"));
    QTest::keyClick(dlg->TextEdit(), Qt::Key_Return);
    QTest::keyClicks(dlg->TextEdit(), QStringLiteral("cd"));
    QTest::keyClick(dlg->TextEdit(), Qt::Key_Enter);
    QTest::keyClick(dlg->TextEdit(), Qt::Key_Tab);
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("ab\ncd\n\t"));
    EXPECT_EQ(QApplication::focusWidget(), dlg->TextEdit());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(finished.count(), 0);
}

TEST_F(MainDialogKeys, EnterOnTheListOrAWindowWithoutFocusDoesNothing)
{
    auto dlg = OpenActive();
    QSignalSpy finished(dlg.get(), &QDialog::finished);
    dlg->DictList()->setFocus();
    QTest::keyClick(dlg->DictList(), Qt::Key_Return);
    QTest::keyClick(dlg.get(), Qt::Key_Return);
    QTest::keyClick(dlg.get(), Qt::Key_Enter);
    QCoreApplication::processEvents();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(prompter.asked.isEmpty());
}

TEST_F(MainDialogKeys, EnterOnAFocusedButtonClicksIt)
{
    auto dlg = OpenActive();
    auto* replace = static_cast<QPushButton*>(dlg->GetDlgItem(IDC_REPLACE));
    replace->setFocus();
    prompter.yesNoAnswers = {false};
    QTest::keyClick(replace, Qt::Key_Return);
    ASSERT_EQ(prompter.asked.size(), 1);
    EXPECT_EQ(prompter.asked[0].text, kConfirmText);
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(MainDialogKeys, AccessKeysChooseTheMode)
{
    auto dlg = OpenActive();
    auto* gloss = static_cast<QRadioButton*>(dlg->GetDlgItem(IDC_MODE_GLOSS));
    dlg->TextEdit()->setFocus();
    QTest::keyClick(dlg.get(), Qt::Key_B, Qt::AltModifier);
    QTest::qWait(200); // the click is animated
    EXPECT_TRUE(gloss->isChecked());
    EXPECT_FALSE(dlg->ModeRadio()->isChecked());
    QTest::keyClick(dlg.get(), Qt::Key_N, Qt::AltModifier);
    QTest::qWait(200);
    EXPECT_TRUE(dlg->ModeRadio()->isChecked());
    EXPECT_FALSE(gloss->isChecked());
}

// ---------------------------------------------------------------------------
// Minimum size and layout

using MainDialogLayout = MainDialogTest;

// The outer rectangle's edges beyond the client area, per side.
QMargins Frame(const QWidget& w)
{
    const QRect outer = w.frameGeometry();
    const QRect inner = w.geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
}

// Where the text area and the list must end: 4 pixels short of the outer
// frame's right and bottom edges, in client coordinates (exclusive).
void ExpectLaidOut(const CReplaceDlg& dlg, QPoint textTopLeft, QPoint listTopLeft, int listWidth)
{
    const QMargins frame = Frame(dlg);
    const int right = dlg.width() + frame.right() - 4;
    const int bottom = dlg.height() + frame.bottom() - 4;
    const QRect text = dlg.TextEdit()->geometry();
    EXPECT_EQ(text.topLeft(), textTopLeft);
    EXPECT_EQ(text.x() + text.width(), right);
    EXPECT_EQ(text.y() + text.height(), bottom);
    const QRect list = dlg.DictList()->geometry();
    EXPECT_EQ(list.topLeft(), listTopLeft);
    EXPECT_EQ(list.width(), listWidth);
    EXPECT_EQ(list.y() + list.height(), bottom);
}

QHash<QWidget*, QRect> OtherGeometries(const CReplaceDlg& dlg)
{
    QHash<QWidget*, QRect> out;
    for (QWidget* w : dlg.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (w != dlg.TextEdit() && w != dlg.DictList() && !w->isWindow())
            out.insert(w, w->geometry());
    return out;
}

TEST_F(MainDialogLayout, CannotBeMadeSmallerThanTheMinimum)
{
    auto dlg = Open();
    EXPECT_GE(dlg->frameGeometry().width(), 649);
    EXPECT_GE(dlg->frameGeometry().height(), 479);
    const QMargins frame = Frame(*dlg);
    EXPECT_EQ(dlg->minimumSize(), QSize(649 - frame.left() - frame.right(), 479 - frame.top() - frame.bottom()));

    dlg->resize(100, 100);
    QCoreApplication::processEvents();
    EXPECT_EQ(dlg->frameGeometry().size(), QSize(649, 479));

    dlg->resize(648, 478);
    QCoreApplication::processEvents();
    EXPECT_GE(dlg->frameGeometry().width(), 649);
    EXPECT_GE(dlg->frameGeometry().height(), 479);

    // The controls are laid out for the minimum size, and every one of them
    // is wholly inside the client area.
    const QPoint textTopLeft = dlg->TextEdit()->pos();
    ExpectLaidOut(*dlg, textTopLeft, dlg->DictList()->pos(), dlg->DictList()->width());
    const QList<QWidget*> controls = dlg->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(controls.size(), int(std::size(kMainDialogControls)));
    for (QWidget* control : controls)
        EXPECT_TRUE(dlg->rect().contains(control->geometry()))
            << control->metaObject()->className() << " " << control->property("text").toString().toStdString();

    // Moving the window does not change the minimum.
    const QSize minimum = dlg->minimumSize();
    dlg->move(dlg->pos() + QPoint(40, 30));
    QCoreApplication::processEvents();
    EXPECT_EQ(dlg->minimumSize(), minimum);
}

TEST_F(MainDialogLayout, HasNoMaximumAndCanBeMaximised)
{
    auto dlg = Open();
    EXPECT_EQ(dlg->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    EXPECT_TRUE(dlg->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dlg->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(dlg->windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(MainDialogLayout, ShownLayoutEndsFourPixelsShortOfTheFrame)
{
    auto dlg = Open();
    ExpectLaidOut(*dlg, dlg->TextEdit()->pos(), dlg->DictList()->pos(), dlg->DictList()->width());
    // The template's positions: the text area right of the list, both below the buttons.
    EXPECT_GT(dlg->TextEdit()->x(), dlg->DictList()->x() + dlg->DictList()->width());
    EXPECT_EQ(dlg->TextEdit()->y(), dlg->DictList()->y());
    EXPECT_GT(dlg->TextEdit()->y(), dlg->GetDlgItem(IDC_REPLACE)->geometry().bottom());
}

TEST_F(MainDialogLayout, EnlargingGrowsTheTextAreaAndTheListOnly)
{
    auto dlg = Open();
    const QRect text = dlg->TextEdit()->geometry();
    const QRect list = dlg->DictList()->geometry();
    const QHash<QWidget*, QRect> others = OtherGeometries(*dlg);
    ASSERT_GE(others.size(), 10); // labels, boxes, buttons, group box, radio buttons

    dlg->resize(dlg->size() + QSize(200, 150));
    QCoreApplication::processEvents();

    const QRect grownText = dlg->TextEdit()->geometry();
    EXPECT_EQ(grownText.topLeft(), text.topLeft());
    EXPECT_EQ(grownText.size(), text.size() + QSize(200, 150));
    const QRect grownList = dlg->DictList()->geometry();
    EXPECT_EQ(grownList.topLeft(), list.topLeft());
    EXPECT_EQ(grownList.size(), list.size() + QSize(0, 150));
    ExpectLaidOut(*dlg, text.topLeft(), list.topLeft(), list.width());
    for (auto it = others.cbegin(); it != others.cend(); ++it) {
        SCOPED_TRACE(it.key()->metaObject()->className());
        EXPECT_EQ(it.key()->geometry(), it.value());
    }

    // And back.
    dlg->resize(dlg->size() - QSize(200, 150));
    QCoreApplication::processEvents();
    EXPECT_EQ(dlg->TextEdit()->geometry(), text);
    EXPECT_EQ(dlg->DictList()->geometry(), list);
}

TEST_F(MainDialogLayout, MinimiseAndRestoreBringTheControlsBack)
{
    auto dlg = Open();
    const QRect text = dlg->TextEdit()->geometry();
    const QRect list = dlg->DictList()->geometry();
    const QHash<QWidget*, QRect> others = OtherGeometries(*dlg);

    dlg->showMinimized();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dlg->isMinimized());
    dlg->showNormal();
    QCoreApplication::processEvents();
    EXPECT_FALSE(dlg->isMinimized());
    EXPECT_EQ(dlg->TextEdit()->geometry(), text);
    EXPECT_EQ(dlg->DictList()->geometry(), list);
    ExpectLaidOut(*dlg, text.topLeft(), list.topLeft(), list.width());
    for (auto it = others.cbegin(); it != others.cend(); ++it)
        EXPECT_EQ(it.key()->geometry(), it.value());
}

TEST_F(MainDialogLayout, RestoringLaysOutForTheRestoredSize)
{
    auto dlg = Open();
    const QRect text = dlg->TextEdit()->geometry();
    const QRect list = dlg->DictList()->geometry();

    dlg->showMinimized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(dlg->isMinimized());
    // A size change that arrives while minimised is laid out on restoring.
    dlg->resize(dlg->size() + QSize(120, 80));
    QCoreApplication::processEvents();
    dlg->showNormal();
    QCoreApplication::processEvents();
    ASSERT_FALSE(dlg->isMinimized());

    ExpectLaidOut(*dlg, text.topLeft(), list.topLeft(), list.width());
    EXPECT_GT(dlg->TextEdit()->width(), 0);
    EXPECT_GT(dlg->TextEdit()->height(), 0);
}

TEST_F(MainDialogLayout, MaximiseAndRestore)
{
    auto dlg = Open();
    const QRect text = dlg->TextEdit()->geometry();
    const QRect list = dlg->DictList()->geometry();
    dlg->showMaximized();
    QCoreApplication::processEvents();
    ExpectLaidOut(*dlg, text.topLeft(), list.topLeft(), list.width());
    dlg->showNormal();
    QCoreApplication::processEvents();
    ExpectLaidOut(*dlg, text.topLeft(), list.topLeft(), list.width());
}

// ---------------------------------------------------------------------------
// The controls as the window sets them up

using MainDialogControls = MainDialogTest;

TEST_F(MainDialogControls, TheWindowHasTheApplicationIcon)
{
    auto dlg = Open();
    // A file name the icon was given does not make a picture: each size is read.
    for (int size : {16, 256})
        EXPECT_EQ(dlg->windowIcon().pixmap(size).width(), size);
}

TEST_F(MainDialogControls, QuestionsHaveJapaneseButtons)
{
    ASSERT_TRUE(InstallQtJapaneseTranslations(*qApp)) << "Qt's Japanese translations are not installed";
    auto dlg = Open();
    QStringList texts;
    QTimer::singleShot(0, dlg.get(), [&texts] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QMessageBox::StandardButton which : {QMessageBox::Yes, QMessageBox::No})
            texts << box->button(which)->text();
        box->button(QMessageBox::No)->click();
    });
    WidgetPrompter prompter;
    EXPECT_FALSE(prompter.AskYesNo(dlg.get(), QStringLiteral("削除してよろしいですか？"), QStringLiteral("確認")));
    for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].startsWith(QStringLiteral("はい"))) << texts[0].toStdString();
    EXPECT_TRUE(texts[1].startsWith(QStringLiteral("いいえ"))) << texts[1].toStdString();
}

TEST_F(MainDialogControls, NoPushButtonIsADefaultButton)
{
    auto dlg = Open();
    const auto buttons = dlg->findChildren<QPushButton*>();
    EXPECT_EQ(buttons.size(), 4);
    for (QPushButton* b : buttons) {
        SCOPED_TRACE(b->text().toStdString());
        EXPECT_FALSE(b->isDefault());
        EXPECT_FALSE(b->autoDefault());
    }
}

TEST_F(MainDialogControls, RadioButtonsAreOneGroupOutOfTheTabChain)
{
    auto dlg = Open();
    QRadioButton* first = Radio(*dlg, IDC_MODE_REPLACE);
    QRadioButton* second = Radio(*dlg, IDC_MODE_GLOSS);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(first->isChecked());
    EXPECT_FALSE(second->isChecked());
    for (QRadioButton* r : {first, second}) {
        EXPECT_EQ(r->focusPolicy(), Qt::ClickFocus);
        EXPECT_TRUE(r->autoExclusive());
    }
    QTest::mouseClick(second, Qt::LeftButton);
    EXPECT_FALSE(first->isChecked());
    EXPECT_TRUE(second->isChecked());
    QTest::mouseClick(second, Qt::LeftButton); // clicking the checked one keeps it
    EXPECT_TRUE(second->isChecked());
    QTest::mouseClick(first, Qt::LeftButton);
    EXPECT_TRUE(first->isChecked());
    EXPECT_FALSE(second->isChecked());
}

TEST_F(MainDialogControls, TextAreaWrapsAndShowsItsVerticalScrollBar)
{
    auto dlg = Open();
    TextArea* text = dlg->TextEdit();
    EXPECT_EQ(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(text->verticalScrollBar()->isVisible());
    EXPECT_NE(text->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    // A long line wraps instead of scrolling sideways.
    Paste(*dlg, QString(2000, u'w').replace(QStringLiteral("wwwww"), QStringLiteral("wwww ")));
    QCoreApplication::processEvents();
    EXPECT_GT(text->RowsOfLineAt(0), 1);
    EXPECT_EQ(text->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(text->verticalScrollBar()->maximum(), 0) << "a text that fits does not scroll";
    Paste(*dlg, QString(QStringLiteral("line\n")).repeated(500));
    QCoreApplication::processEvents();
    EXPECT_GT(text->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(text->verticalScrollBar()->value(), text->verticalScrollBar()->maximum()) << "the caret's end shown";
}

TEST_F(MainDialogControls, ComboBoxesAreEditableAndStartEmpty)
{
    auto dlg = Open();
    for (QComboBox* box : {dlg->BeforeCombo(), dlg->AfterCombo()}) {
        EXPECT_TRUE(box->isEditable());
        ASSERT_NE(box->lineEdit(), nullptr);
        EXPECT_EQ(box->insertPolicy(), QComboBox::NoInsert);
        EXPECT_EQ(box->completer(), nullptr);
        EXPECT_EQ(box->currentText(), QString());
        EXPECT_EQ(box->count(), 0);
    }
}

// A screen reader on Linux names a combo box by the label that its Label
// relation gives; its own name is the field's text while it holds one.
TEST_F(MainDialogControls, ComboBoxesAreNamedByTheirLabels)
{
    auto dlg = Open();
    const std::pair<QComboBox*, QString> boxes[] = {
        {dlg->BeforeCombo(), QStringLiteral("置換前文字列:")},
        {dlg->AfterCombo(), QStringLiteral("置換後文字列:")},
    };
    for (const auto& [box, label] : boxes) {
        SCOPED_TRACE(label.toStdString());
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(box);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->text(QAccessible::Name), label);
        QStringList labelledBy;
        for (const auto& [other, relation] : accessible->relations(QAccessible::Label))
            labelledBy << other->text(QAccessible::Name);
        EXPECT_EQ(labelledBy, QStringList{label});
    }
}

// The focusable controls in focus-chain order, from the before box.
QList<QWidget*> TabChain(const CReplaceDlg& dlg)
{
    QList<QWidget*> chain;
    QWidget* start = dlg.BeforeCombo();
    QWidget* w = start;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !w->focusProxy() && w->isVisibleTo(&dlg)
            && w->isEnabled() && w != &dlg)
            chain << w;
        w = w->nextInFocusChain();
    } while (w && w != start && chain.size() < 50);
    return chain;
}

TEST_F(MainDialogControls, TabOrderFollowsTheTemplate)
{
    auto dlg = Open();
    const QList<QWidget*> expected = {
        dlg->BeforeCombo(),
        dlg->AfterCombo(),
        dlg->GetDlgItem(IDC_REGISTER),
        dlg->GetDlgItem(IDC_DELETE),
        dlg->GetDlgItem(IDC_SAVE_DICT),
        dlg->TextEdit(),
        dlg->GetDlgItem(IDC_REPLACE),
        dlg->DictList(),
    };
    EXPECT_EQ(TabChain(*dlg), expected);
}

TEST_F(MainDialogControls, TheFocusStartsInTheBeforeBoxAndTabWalksTheChain)
{
    auto dlg = OpenActive();
    EXPECT_EQ(QApplication::focusWidget(), dlg->BeforeCombo());
    const QList<QWidget*> steps = {
        dlg->AfterCombo(),
        dlg->GetDlgItem(IDC_REGISTER),
        dlg->GetDlgItem(IDC_DELETE),
        dlg->GetDlgItem(IDC_SAVE_DICT),
        dlg->TextEdit(),
    };
    for (QWidget* next : steps) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->metaObject()->className();
    }
    // From the Replace button on to the list, and from the list round to the start.
    dlg->GetDlgItem(IDC_REPLACE)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dlg->DictList());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dlg->BeforeCombo());
    // Backwards.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), dlg->DictList());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), dlg->GetDlgItem(IDC_REPLACE));
}

TEST_F(MainDialogControls, TabLeavesAListWithRows)
{
    auto dlg = OpenActive();
    dlg->m_replacer.AddPair(u"a", u"b");
    dlg->m_replacer.AddPair(u"c", u"d");
    dlg->RefreshList();
    ASSERT_EQ(dlg->DictList()->model()->rowCount(), 2);
    dlg->DictList()->setFocus();
    dlg->DictList()->setCurrentIndex(dlg->DictList()->model()->index(0, 0));
    // Tab and Shift+Tab leave the list instead of walking its cells.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dlg->BeforeCombo());
    dlg->DictList()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), dlg->GetDlgItem(IDC_REPLACE));
}

TEST_F(MainDialogControls, TabSkipsTheRadioButtonsAfterAClickOnThem)
{
    auto dlg = OpenActive();
    QTest::mouseClick(Radio(*dlg, IDC_MODE_GLOSS), Qt::LeftButton);
    dlg->GetDlgItem(IDC_SAVE_DICT)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dlg->TextEdit());
}

// ---------------------------------------------------------------------------
// The text area: paste and its limit

using MainDialogPaste = MainDialogTest;

TEST_F(MainDialogPaste, ALongPasteIsTakenWhole)
{
    auto dlg = Open();
    QString text;
    text.reserve(100000);
    for (int i = 0; i < 100000; ++i)
        text += QChar(u'a' + i % 26);
    Paste(*dlg, text);
    EXPECT_EQ(dlg->TextEdit()->Length(), 100000);
    EXPECT_EQ(dlg->TextEdit()->ReadText(), text);
    // Pasted again over a selection of all: still the same length.
    dlg->TextEdit()->selectAll();
    Paste(*dlg, text);
    EXPECT_EQ(dlg->TextEdit()->ReadText(), text);
}

TEST_F(MainDialogPaste, PasteGoesAtTheCursorAndReplacesTheSelection)
{
    auto dlg = Open();
    QTest::keyClicks(dlg->TextEdit(), QStringLiteral("abcdef"));
    dlg->TextEdit()->SetSelection(2, 4);
    Paste(*dlg, QStringLiteral("XYZ"));
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("abXYZef"));
    // A paste is undoable.
    dlg->TextEdit()->undo();
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("abcdef"));
    QTest::keyClick(dlg->TextEdit(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("abXYZef"));
}

TEST_F(MainDialogPaste, CopyAndCutPutThePlainSelectionOnTheClipboard)
{
    auto dlg = Open();
    TextArea& area = *dlg->TextEdit();
    const QString text = QStringLiteral("本文 and more\nline");
    area.SetText(text);
    area.SetSelection(0, 2);
    QTest::keyClick(&area, Qt::Key_C, Qt::ControlModifier);
    const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
    // Plain text only: no markup made of a selection of many megabytes.
    EXPECT_EQ(clip->formats(), QStringList{QStringLiteral("text/plain")});
    EXPECT_EQ(clip->text(), QStringLiteral("本文"));
    EXPECT_EQ(clip->data(QStringLiteral("text/plain")), QStringLiteral("本文").toUtf8());

    area.SetSelection(area.Length(), 2);
    QTest::keyClick(&area, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(area.ReadText(), QStringLiteral("本文"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral(" and more\nline"));
    area.undo();
    EXPECT_EQ(area.ReadText(), text);
    QTest::keyClick(&area, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&area, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(area.ReadText(), QStringLiteral(" and more\nline"));
}

// The caret by key, over line breaks, the parts of a long line and surrogate
// pairs.
TEST_F(MainDialogPaste, KeysMoveTheCaret)
{
    auto dlg = Open();
    TextArea& area = *dlg->TextEdit();
    const QString longLine(3000, u'x');
    const QString text = QStringLiteral("ab\n") + longLine + QString::fromUtf16(u"\ncd\U0001F600e");
    area.SetText(text);
    const qsizetype longStart = 3;
    const qsizetype pair = text.size() - 3;
    const struct {
        const char* name;
        qsizetype start;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        qsizetype position;
        qsizetype anchor;
    } cases[] = {
        {"right", 0, Qt::Key_Right, Qt::NoModifier, 1, 1},
        {"right over a line break", 2, Qt::Key_Right, Qt::NoModifier, 3, 3},
        {"left over a line break", 3, Qt::Key_Left, Qt::NoModifier, 2, 2},
        {"right into the next part of a long line", longStart + 2047, Qt::Key_Right, Qt::NoModifier, longStart + 2048,
         longStart + 2048},
        {"left back into the first part", longStart + 2048, Qt::Key_Left, Qt::NoModifier, longStart + 2047,
         longStart + 2047},
        {"right over a surrogate pair", pair, Qt::Key_Right, Qt::NoModifier, pair + 2, pair + 2},
        {"left over a surrogate pair", pair + 2, Qt::Key_Left, Qt::NoModifier, pair, pair},
        {"down", 0, Qt::Key_Down, Qt::NoModifier, longStart, longStart},
        {"up", longStart, Qt::Key_Up, Qt::NoModifier, 0, 0},
        {"up keeps the column", longStart + 1, Qt::Key_Up, Qt::NoModifier, 1, 1},
        {"end of the row", 0, Qt::Key_End, Qt::NoModifier, 2, 2},
        {"start of the row", 2, Qt::Key_Home, Qt::NoModifier, 0, 0},
        {"end of the text", 0, Qt::Key_End, Qt::ControlModifier, text.size(), text.size()},
        {"start of the text", text.size(), Qt::Key_Home, Qt::ControlModifier, 0, 0},
        {"shift selects", 0, Qt::Key_Right, Qt::ShiftModifier, 1, 0},
        {"shift selects to the end", 1, Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier, text.size(), 1},
    };
    for (const auto& c : cases) {
        area.SetPosition(c.start);
        QTest::keyClick(&area, c.key, c.modifiers);
        EXPECT_EQ(area.Position(), c.position) << c.name;
        EXPECT_EQ(area.Anchor(), c.anchor) << c.name;
    }
    // Backspace takes a surrogate pair whole; a selection goes first.
    area.SetPosition(pair + 2);
    QTest::keyClick(&area, Qt::Key_Backspace);
    EXPECT_EQ(area.ReadText(), QStringLiteral("ab\n") + longLine + QStringLiteral("\ncde"));
    area.SetSelection(0, 2);
    QTest::keyClick(&area, Qt::Key_Delete);
    EXPECT_EQ(area.ReadText(), QStringLiteral("\n") + longLine + QStringLiteral("\ncde"));
}

TEST_F(MainDialogPaste, PastedTextIsPlainAndUrlsAreNotText)
{
    auto dlg = Open();
    auto* html = new QMimeData;
    html->setHtml(QStringLiteral("<b>bold</b>"));
    html->setText(QStringLiteral("bold"));
    QGuiApplication::clipboard()->setMimeData(html);
    dlg->TextEdit()->paste();
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("bold"));

    auto* urls = new QMimeData;
    urls->setUrls({QUrl::fromLocalFile(settingsDir.filePath(QStringLiteral("dict.txt")))});
    urls->setText(QStringLiteral("should not appear"));
    QGuiApplication::clipboard()->setMimeData(urls);
    dlg->TextEdit()->paste();
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("bold"));
    EXPECT_TRUE(prompter.asked.isEmpty());
}

TEST_F(MainDialogPaste, TheTextLimitCutsPastesAndStopsTyping)
{
    auto dlg = OpenActive();
    TextArea& area = *dlg->TextEdit();
    EXPECT_EQ(area.TextLimit(), 268435456);
    area.SetTextLimit(10);
    area.setFocus();
    QTest::keyClicks(&area, QStringLiteral("abcd"));
    QGuiApplication::clipboard()->setText(QStringLiteral("0123456789"));
    area.paste();
    EXPECT_EQ(area.ReadText(), QStringLiteral("abcd012345"));
    QTest::keyClicks(&area, QStringLiteral("xy"));
    QTest::keyClick(&area, Qt::Key_Return);
    EXPECT_EQ(area.ReadText(), QStringLiteral("abcd012345"));

    // A surrogate pair is not split at the limit.
    area.selectAll();
    QTest::keyClick(&area, Qt::Key_Delete);
    QTest::keyClicks(&area, QStringLiteral("abcdefghi"));
    QGuiApplication::clipboard()->setText(QString::fromUtf16(u"\U0001F600z"));
    area.paste();
    EXPECT_EQ(area.ReadText(), QStringLiteral("abcdefghi"));

    // A paste over a selection has the selection's room too.
    area.selectAll();
    QGuiApplication::clipboard()->setText(QStringLiteral("ABCDEFGHIJKL"));
    area.paste();
    EXPECT_EQ(area.ReadText(), QStringLiteral("ABCDEFGHIJ"));
}

} // namespace
