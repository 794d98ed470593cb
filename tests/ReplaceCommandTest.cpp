// The Replace command driven through the dictionary controller, over a text
// area that is never shown.
#include "ControllerTest.h"
#include "FailingAllocation.h"
#include "TextArea.h"

namespace {

class ReplaceCommandTest : public DictionaryControllerTest {
protected:
    // Replace with the question answered `answer`, in the mode `replaceMode`.
    void Replace(bool answer)
    {
        const qsizetype asked = prompter.asked.size();
        prompter.yesNoAnswers << answer;
        dictionary.Replace(area, [this] { return replaceMode; });
        ASSERT_GT(prompter.asked.size(), asked);
        EXPECT_EQ(prompter.asked[asked].kind, PromptRecord::YesNo);
        EXPECT_EQ(prompter.asked[asked].text, QStringLiteral("置換してよろしいですか？"));
        EXPECT_EQ(prompter.asked[asked].caption, QStringLiteral("確認"));
    }

    TextArea area;
    bool replaceMode = true;
};

TEST_F(ReplaceCommandTest, NoKeepsTheMatchesOfTheLastRun)
{
    replacer.AddPair(u"a", u"b");
    area.SetText(QStringLiteral("aaa"));
    Replace(true);
    ASSERT_EQ(replacer.GetMatchCount(), 3u);
    area.SetText(QStringLiteral("a"));

    Replace(false);

    EXPECT_EQ(replacer.GetMatchCount(), 3u);
    EXPECT_EQ(area.ReadText(), QStringLiteral("a"));
}

TEST_F(ReplaceCommandTest, TwoRunsApplyTheDictionaryAgain)
{
    replacer.AddPair(u"a", u"b");
    replacer.AddPair(u"b", u"c");
    area.SetText(QStringLiteral("a"));

    Replace(true);
    EXPECT_EQ(area.ReadText(), QStringLiteral("b"));
    Replace(true);
    EXPECT_EQ(area.ReadText(), QStringLiteral("c"));
    Replace(true);
    EXPECT_EQ(area.ReadText(), QStringLiteral("c"));
    EXPECT_EQ(prompter.asked.size(), 3);
}

TEST_F(ReplaceCommandTest, EmptyTextAreaStaysEmpty)
{
    replacer.AddPair(u"apple", u"ringo");
    for (bool replaceMode : {true, false}) {
        SCOPED_TRACE(replaceMode ? "replace mode" : "gloss mode");
        this->replaceMode = replaceMode;
        Replace(true);
        EXPECT_EQ(area.ReadText(), QString());
        EXPECT_EQ(area.Length(), 0);
        EXPECT_EQ(replacer.GetMatchCount(), 0u);
    }
    EXPECT_EQ(prompter.asked.size(), 2);
}

TEST_F(ReplaceCommandTest, NoBreakSpaceAndLineSeparatorAreKeptExactly)
{
    replacer.AddPair(u"apple", u"ringo");
    const QString input = Units({u'x', 0x00A0, u'a', u'p', u'p', u'l', u'e', 0x2028, u'y', 0x00A0});
    area.SetText(input);
    ASSERT_EQ(area.ReadText(), input);

    Replace(true);
    EXPECT_EQ(area.ReadText(), Units({u'x', 0x00A0, u'r', u'i', u'n', u'g', u'o', 0x2028, u'y', 0x00A0}));

    replaceMode = false;
    area.clear();
    area.SetText(input);
    Replace(true);
    QString glossed = Units({u'x', 0x00A0}) + QStringLiteral("apple[ringo]") + Units({0x2028, u'y', 0x00A0});
    EXPECT_EQ(area.ReadText(), glossed);
}

TEST_F(ReplaceCommandTest, NonBmpCharactersSurviveTheRoundTrip)
{
    const QString face = Units({0xD83D, 0xDE00}); // U+1F600
    replacer.AddPair(u"\U0001F600", u"smile");
    area.SetText(face + QStringLiteral("a") + face);
    Replace(true);
    EXPECT_EQ(area.ReadText(), QStringLiteral("smileasmile"));
}

TEST_F(ReplaceCommandTest, TextLongerThanTheOldDefaultLimitIsRewrittenWhole)
{
    replacer.AddPair(u"a", u"bb");
    area.SetText(QString(50000, u'a'));
    Replace(true);
    const QString out = area.ReadText();
    EXPECT_EQ(out.size(), 100000);
    EXPECT_EQ(out, QString(100000, u'b'));
}

// An output that does not fit in memory: the text stays, and so does the
// dictionary.
TEST_F(ReplaceCommandTest, OutputTooLargeForMemoryLeavesTheText)
{
    replacer.AddPair(u"e", std::u16string(100000, u'x').c_str());
    dictionary.RefreshList();
    const QString text = QString(40, u'e');
    area.SetText(text);
    {
        const FailLargeAllocations seam(4 << 20); // the output needs 8 MB
        Replace(true);
        EXPECT_GT(seam.Failures(), 0);
    }
    EXPECT_EQ(area.ReadText(), text);
    const QList<PromptRecord> messages = prompter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, QStringLiteral("メモリが不足しているため置換できませんでした。"));
    EXPECT_EQ(messages[0].icon, Prompter::Icon::Stop);
    EXPECT_EQ(model->rowCount(), 1);
}

} // namespace
