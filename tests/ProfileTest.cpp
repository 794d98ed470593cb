// Settings file: defaults, parsing, round trips, layout kept on rewrite,
// failed writes, and where the file is kept.
#include "CReplaceApp.h"
#include "FailingWrite.h"
#include "Profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "QtTestSupport.h"

#include <gtest/gtest.h>

#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

using namespace std::literals;

namespace {

QString S(std::u16string_view v)
{
    return QString(reinterpret_cast<const QChar*>(v.data()), qsizetype(v.size()));
}

class Dir {
public:
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QStringList Entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private:
    QTemporaryDir m_dir;
};

const QString kDef = u"<default>"_qs;

TEST(ProfileRead, MissingGivesDefault)
{
    struct Case {
        const char* name;
        const char* raw; // nullptr: no file
        const char* section;
        const char* key;
    };
    const Case cases[] = {
        {"no file", nullptr, "Before", "EditControl"},
        {"empty file", "", "Before", "EditControl"},
        {"no section", "[After]\nEditControl=\"a\"\n", "Before", "EditControl"},
        {"no key", "[Before]\n0=\"a\"\n", "Before", "EditControl"},
        {"key only in another section", "[After]\nk=1\n[Before]\nj=2\n", "Before", "k"},
        {"key above every section", "k=1\n[Before]\n", "Before", "k"},
        {"commented out", "[Before]\n;k=1\n  ; k=2\n", "Before", "k"},
        {"line without '='", "[Before]\nk\n", "Before", "k"},
        {"section is a key's prefix", "[Bef]\nk=1\n", "Before", "k"},
        {"empty key", "[Before]\n=1\n", "Before", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dir dir;
        const QString path = dir.Path(u"v.ini"_qs);
        if (c.raw)
            WriteBytes(path, c.raw);
        EXPECT_EQ(GetProfileString(path, c.section, c.key, kDef), kDef);
        EXPECT_EQ(GetProfileString(path, c.section, c.key), QString());
    }
}

TEST(ProfileRead, Parsing)
{
    struct Case {
        const char* name;
        QByteArray raw;
        const char* section;
        const char* key;
        QString expected;
    };
    const Case cases[] = {
        {"plain", "[S]\nk=v\n", "S", "k", u"v"_qs},
        {"blanks around '=' and value", "[S]\n \t k \t= \t v w \t\n", "S", "k", u"v w"_qs},
        {"only the first '=' splits", "[S]\nk=a=b\n", "S", "k", u"a=b"_qs},
        {"empty value", "[S]\nk=\n", "S", "k", QString()},
        {"double quotes stripped", "[S]\nk=\" a \"\n", "S", "k", u" a "_qs},
        {"single quotes stripped", "[S]\nk=' a '\n", "S", "k", u" a "_qs},
        {"quotes outside the blanks", "[S]\nk=  \"a\"  \n", "S", "k", u"a"_qs},
        {"one pair only", "[S]\nk=\"\"a\"\"\n", "S", "k", u"\"a\""_qs},
        {"mixed quotes kept", "[S]\nk=\"a'\n", "S", "k", u"\"a'"_qs},
        {"lone quote kept", "[S]\nk=\"\n", "S", "k", u"\""_qs},
        {"inner quotes only kept", "[S]\nk=a\"b\"\n", "S", "k", u"a\"b\""_qs},
        {"escapes", "[S]\nk=a\\\\b\\r\\n\\t\\u00e9\\u2028\n", "S", "k", u"a\\b\r\n\t\u00e9\u2028"_qs},
        {"unknown or short escapes kept", "[S]\nk=\\q\\u12\\uXYZW\\\n", "S", "k", u"\\q\\u12\\uXYZW\\"_qs},
        {"escape inside quotes", "[S]\nk=\"\\n\"\n", "S", "k", u"\n"_qs},
        {"CR LF lines", "[S]\r\nk=v\r\nj=w\r\n", "S", "k", u"v"_qs},
        {"CR LF, no final break", "[S]\r\nk=v\r", "S", "k", u"v"_qs},
        {"no final line break", "[S]\nk=v", "S", "k", u"v"_qs},
        {"bare CR lines", "[S]\rk=v\rj=w\r", "S", "j", u"w"_qs},
        {"a bare CR ends a line", "[S]\nk=v\rj=w\n", "S", "k", u"v"_qs},
        {"LF CR is two line ends", "[S]\n\rk=v\n", "S", "k", u"v"_qs},
        {"UTF-8 BOM", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", u"v"_qs},
        {"UTF-8 text", "[S]\nk=\xE6\x97\xA5\xE6\x9C\xAC\n", "S", "k", u"\u65E5\u672C"_qs},
        {"section name case", "[before]\nk=v\n", "BEFORE", "k", u"v"_qs},
        {"key name case", "[S]\neditcontrol=v\n", "S", "EditControl", u"v"_qs},
        {"blanks inside brackets", "[ S ]\nk=v\n", "S", "k", u"v"_qs},
        {"blanks around names asked for", "[S]\nk=v\n", " S ", " k\t", u"v"_qs},
        {"first duplicate key", "[S]\nk=1\nK=2\n", "S", "k", u"1"_qs},
        {"first duplicate section", "[S]\nk=1\n[s]\nk=2\n", "S", "k", u"1"_qs},
        {"blank lines and comments between", "[S]\n\n; note\n\nk=v\n", "S", "k", u"v"_qs},
        {"text after ']'", "[S] ; note\nk=v\n", "S", "k", u"v"_qs},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dir dir;
        const QString path = dir.Path(u"v.ini"_qs);
        WriteBytes(path, c.raw);
        EXPECT_EQ(GetProfileString(path, c.section, c.key, kDef), c.expected);
    }
}

TEST(ProfileRead, OnlyAsciiLettersFold)
{
    struct Case {
        const char* name;
        QString inFile;
        QString asked;
        bool found;
    };
    const Case cases[] = {
        {"ASCII", u"AbC"_qs, u"aBc"_qs, true},
        {"accented letters differ by case", u"\u00C9"_qs, u"\u00E9"_qs, false},
        {"Kelvin sign is not k", u"\u212A"_qs, u"k"_qs, false},
        {"dotless i is not I", u"\u0131"_qs, u"I"_qs, false},
        {"Greek letters differ by case", u"\u03A3"_qs, u"\u03C3"_qs, false},
        {"same non-ASCII", u"\u00E9"_qs, u"\u00E9"_qs, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dir dir;
        const QString path = dir.Path(u"v.ini"_qs);
        WriteBytes(path, ('[' + c.inFile + u"]\n"_qs + c.inFile + u"=v\n"_qs).toUtf8());
        EXPECT_EQ(GetProfileString(path, c.asked, c.inFile, kDef), c.found ? u"v"_qs : kDef);
        EXPECT_EQ(GetProfileString(path, c.inFile, c.asked, kDef), c.found ? u"v"_qs : kDef);
    }
}

TEST(ProfileRoundTrip, ValuesReadBackExactly)
{
    struct Case {
        const char* name;
        QString written;
        QString read;
    };
    const QChar hi(char16_t(0xD83D)), lo(char16_t(0xDE00));
    const Case cases[] = {
        {"empty, quoted", u"\"\""_qs, QString()},
        {"empty", QString(), QString()},
        {"plain, quoted", u"\"abc\""_qs, u"abc"_qs},
        {"blanks inside quotes", u"\"  a \t b \t \""_qs, u"  a \t b \t "_qs},
        {"only blanks inside quotes", u"\" \""_qs, u" "_qs},
        {"text quoted itself", u"\"\"quoted\"\""_qs, u"\"quoted\""_qs},
        {"quotes inside", u"\"say \"hi\" now\""_qs, u"say \"hi\" now"_qs},
        {"single quotes", u"'single'"_qs, u"single"_qs},
        {"single quotes inside double", u"\"'x'\""_qs, u"'x'"_qs},
        {"lone quote", u"\""_qs, u"\""_qs},
        {"lone quote, quoted", u"\"\"\""_qs, u"\""_qs},
        {"unquoted blanks at the ends", u" a b\t"_qs, u" a b\t"_qs},
        {"blank outside the quotes", u" \"a\""_qs, u" \"a\""_qs},
        {"single blank", u" "_qs, u" "_qs},
        {"'=' ';' '[' ']'", u"\"a=b;c[x]\""_qs, u"a=b;c[x]"_qs},
        {"starts like a comment", u";k=v"_qs, u";k=v"_qs},
        {"looks like a section", u"[x]"_qs, u"[x]"_qs},
        {"backslash", u"\"a\\b\\\""_qs, u"a\\b\\"_qs},
        {"literal escape text", u"\"\\n \\u0041 \\\\\""_qs, u"\\n \\u0041 \\\\"_qs},
        {"CR", u"\"a\rb\""_qs, u"a\rb"_qs},
        {"LF", u"\"a\nb\""_qs, u"a\nb"_qs},
        {"CR LF", u"\"a\r\nb\""_qs, u"a\r\nb"_qs},
        {"NEL, LS, PS", u"\"\u0085\u2028\u2029\""_qs, u"\u0085\u2028\u2029"_qs},
        {"NUL", S(u"\"a\0b\""sv), S(u"a\0b"sv)},
        {"other controls", S(u"\x01\x0B\x0C\x1B\x1F"sv), S(u"\x01\x0B\x0C\x1B\x1F"sv)},
        {"TAB inside", u"a\tb"_qs, u"a\tb"_qs},
        {"section injection", u"x\n[Evil]\nk=v"_qs, u"x\n[Evil]\nk=v"_qs},
        {"quoted section injection", u"\"x\r\n[Evil]\r\nk=v\""_qs, u"x\r\n[Evil]\r\nk=v"_qs},
        {"key injection", u"\"\nEditControl=evil\""_qs, u"\nEditControl=evil"_qs},
        {"lone high surrogate", QString(u'"') + hi + u"a\""_qs, QString(hi) + u'a'},
        {"lone low surrogate at the end", QString(u"a"_qs) + lo, QString(u"a"_qs) + lo},
        {"swapped pair", QString(lo) + hi, QString(lo) + hi},
        {"surrogate pair", u"\"\U0001F600\""_qs, u"\U0001F600"_qs},
        {"non-ASCII", u"\"\u65E5\u672C\u00E9\""_qs, u"\u65E5\u672C\u00E9"_qs},
    };
    const QByteArray before = "; settings\n[Before]\nEditControl=\"x\"\n\n[After]\n0=\"y\"\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dir dir;
        const QString path = dir.Path(u"v.ini"_qs);
        WriteBytes(path, before);

        // Once as a new key, then replacing it and an existing one.
        ASSERT_TRUE(WriteProfileString(path, u"Before"_qs, u"1"_qs, c.written));
        EXPECT_EQ(GetProfileString(path, u"Before"_qs, u"1"_qs, kDef), c.read);
        ASSERT_TRUE(WriteProfileString(path, u"Before"_qs, u"1"_qs, c.written));
        ASSERT_TRUE(WriteProfileString(path, u"Before"_qs, u"EditControl"_qs, c.written));
        EXPECT_EQ(GetProfileString(path, u"Before"_qs, u"1"_qs, kDef), c.read);
        EXPECT_EQ(GetProfileString(path, u"Before"_qs, u"EditControl"_qs, kDef), c.read);

        // Exactly one line more, in valid UTF-8, and nothing else readable.
        const QByteArray raw = ReadBytes(path);
        EXPECT_EQ(raw.count('\n'), before.count('\n') + 1) << raw.toStdString();
        EXPECT_EQ(raw.count('\r'), 0);
        EXPECT_EQ(QString::fromUtf8(raw).toUtf8(), raw);
        EXPECT_EQ(GetProfileString(path, u"Evil"_qs, u"k"_qs, kDef), kDef);
        EXPECT_EQ(GetProfileString(path, u"Before"_qs, u"k"_qs, kDef), kDef);
        EXPECT_EQ(GetProfileString(path, u"After"_qs, u"EditControl"_qs, kDef), kDef);
        EXPECT_EQ(GetProfileString(path, u"After"_qs, u"0"_qs, kDef), u"y"_qs);
    }
}

TEST(ProfileRoundTrip, LongValuesAreCut)
{
    struct Case {
        const char* name;
        QString written;
        QString read;
    };
    const QString a4093(4093, u'a'), a4094(4094, u'a'), a4095(4095, u'a');
    const QString smile = u"\U0001F600"_qs;
    const Case cases[] = {
        {"just fits", u'"' + a4095 + u'"', a4095},
        {"one over", u'"' + a4095 + u"b\""_qs, a4095},
        {"far over", u'"' + QString(10000, u'x') + u'"', QString(4095, u'x')},
        {"pair ends at the limit", u'"' + a4093 + smile + u'"', a4093 + smile},
        {"pair split by the limit", u'"' + a4094 + smile + u'"', a4094},
        {"pair just after the limit", u'"' + a4095 + smile + u'"', a4095},
        {"escapes count once decoded", u'"' + QString(5000, u'\n') + u'"', QString(4095, u'\n')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dir dir;
        const QString path = dir.Path(u"v.ini"_qs);
        ASSERT_TRUE(WriteProfileString(path, u"S"_qs, u"k"_qs, c.written));
        EXPECT_EQ(GetProfileString(path, u"S"_qs, u"k"_qs), c.read);
    }
}

TEST(ProfileWrite, Layout)
{
    struct Case {
        const char* name;
        const char* raw; // nullptr: no file
        const char* section;
        const char* key;
        const char* value;
        const char* expected;
    };
    const Case cases[] = {
        {"creates the file", nullptr, "Before", "EditControl", "\"\"", "[Before]\nEditControl=\"\"\n"},
        {"into an empty file", "", "S", "k", "v", "[S]\nk=v\n"},
        {"new section after a blank line", "[A]\na=1\n", "S", "k", "v", "[A]\na=1\n\n[S]\nk=v\n"},
        {"new section, blank line already there", "[A]\na=1\n\n", "S", "k", "v",
         "[A]\na=1\n\n[S]\nk=v\n"},
        {"new section, no final break", "[A]\na=1", "S", "k", "v", "[A]\na=1\n\n[S]\nk=v\n"},
        {"new key after the last key, before the blank", "[S]\na=1\nb=2\n\n[T]\nc=3\n", "S", "k", "v",
         "[S]\na=1\nb=2\nk=v\n\n[T]\nc=3\n"},
        {"new key before a trailing comment", "[S]\na=1\n; about T\n[T]\n", "S", "k", "v",
         "[S]\na=1\nk=v\n; about T\n[T]\n"},
        {"new key into an empty section", "[S]\n\n[T]\nc=3\n", "S", "k", "v", "[S]\nk=v\n\n[T]\nc=3\n"},
        {"new key into the last section, no final break", "[S]\na=1", "S", "k", "v", "[S]\na=1\nk=v\n"},
        {"replace in place, everything else kept",
         "; top\n[Unknown]\nx = keep me \n\n[S]\n;k=old\na=1\nk=old\nb=2\n\n[T]\nk=t\n", "s", "K", "\"new\"",
         "; top\n[Unknown]\nx = keep me \n\n[S]\n;k=old\na=1\nk=\"new\"\nb=2\n\n[T]\nk=t\n"},
        {"key kept as spelt up to the '='", "[S]\n  Key \t= old\n", "S", "key", "v",
         "[S]\n  Key \t=v\n"},
        {"CR LF lines kept", "[S]\r\na=1\r\nk=old\r\n\r\n[T]\r\n", "S", "k", "v",
         "[S]\r\na=1\r\nk=v\r\n\r\n[T]\r\n"},
        {"CR LF file, added line uses LF", "[S]\r\na=1\r\n", "S", "k", "v", "[S]\r\na=1\r\nk=v\n"},
        {"last line ends in a bare CR", "[S]\r\n0=\"old\"\r\n1=\"older\"\r", "S", "2", "x",
         "[S]\r\n0=\"old\"\r\n1=\"older\"\r2=x\r"},
        {"new section after a bare CR", "[A]\ra=1\r", "S", "k", "v", "[A]\ra=1\r\r[S]\rk=v\r"},
        {"key replaced on a bare CR line", "[S]\rk=old\rb=2\r", "S", "k", "v", "[S]\rk=v\rb=2\r"},
        {"BOM kept", "\xEF\xBB\xBF[S]\nk=old\n", "S", "k", "v", "\xEF\xBB\xBF[S]\nk=v\n"},
        {"first duplicate key replaced", "[S]\nk=1\nk=2\n", "S", "k", "v", "[S]\nk=v\nk=2\n"},
        {"first duplicate section used", "[S]\na=1\n\n[S]\nk=2\n", "S", "k", "v",
         "[S]\na=1\nk=v\n\n[S]\nk=2\n"},
        {"keys above every section kept", "k=top\n[S]\n", "S", "k", "v", "k=top\n[S]\nk=v\n"},
        {"invalid UTF-8 elsewhere kept", "[A]\nx=\xFF\xFE\n[S]\nk=1\n", "S", "k", "2",
         "[A]\nx=\xFF\xFE\n[S]\nk=2\n"},
        {"value escaped", "[S]\n", "S", "k", "\"a\\b\nc\"", "[S]\nk=\"a\\\\b\\nc\"\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dir dir;
        const QString path = dir.Path(u"v.ini"_qs);
        if (c.raw)
            WriteBytes(path, c.raw);
        ASSERT_TRUE(WriteProfileString(path, c.section, c.key, QString::fromUtf8(c.value)));
        EXPECT_EQ(ReadBytes(path).toStdString(), std::string(c.expected));
        EXPECT_EQ(dir.Entries(), QStringList{u"v.ini"_qs}); // no temporary file left behind
    }
}

TEST(ProfileWrite, NamesThatCannotBeStored)
{
    struct Case {
        const char* name;
        QString section;
        QString key;
    };
    const Case cases[] = {
        {"empty key", u"S"_qs, QString()},
        {"blank key", u"S"_qs, u" \t"_qs},
        {"empty section", QString(), u"k"_qs},
        {"'=' in key", u"S"_qs, u"a=b"_qs},
        {"key like a comment", u"S"_qs, u";k"_qs},
        {"key like a section", u"S"_qs, u"[k]"_qs},
        {"']' in section", u"a]b"_qs, u"k"_qs},
        {"line break in section", u"S\n[Evil"_qs, u"k"_qs},
        {"line break in key", u"S"_qs, u"a\nb"_qs},
        {"line separator in key", u"S"_qs, u"a\u2028b"_qs},
        {"lone surrogate in key", u"S"_qs, QString(QChar(char16_t(0xD800)))},
    };
    const QByteArray before = "[S]\nk=1\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dir dir;
        const QString existing = dir.Path(u"old.ini"_qs);
        const QString fresh = dir.Path(u"new.ini"_qs);
        WriteBytes(existing, before);
        EXPECT_FALSE(WriteProfileString(existing, c.section, c.key, u"v"_qs));
        EXPECT_FALSE(WriteProfileString(fresh, c.section, c.key, u"v"_qs));
        EXPECT_EQ(ReadBytes(existing), before);
        EXPECT_FALSE(QFileInfo::exists(fresh));
    }
}

TEST(ProfileWrite, UnwritablePlaces)
{
    Dir dir;
    WriteBytes(dir.Path(u"plain"_qs), "not a folder");
    QDir(dir.Path(QString())).mkdir(u"folder.ini"_qs);
    struct Case {
        const char* name;
        QString path;
    };
    const Case cases[] = {
        {"folder missing", dir.Path(u"missing/v.ini"_qs)},
        {"parent is a regular file", dir.Path(u"plain/v.ini"_qs)},
        {"target is a folder", dir.Path(u"folder.ini"_qs)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(WriteProfileString(c.path, u"S"_qs, u"k"_qs, u"v"_qs));
        EXPECT_EQ(GetProfileString(c.path, u"S"_qs, u"k"_qs, kDef), kDef);
    }
    EXPECT_EQ(ReadBytes(dir.Path(u"plain"_qs)), "not a folder");
    EXPECT_TRUE(QFileInfo(dir.Path(u"folder.ini"_qs)).isDir());
    EXPECT_EQ(dir.Entries(), (QStringList{u"folder.ini"_qs, u"plain"_qs}));
}

// Only a regular file is read or replaced: a FIFO would block, and
// /dev/zero would never end. A link that another user planted (possible
// only as root here) is neither read nor written through.
TEST(ProfileWrite, NotARegularFile)
{
    Dir dir;
    const QString fifo = dir.Path(u"fifo.ini"_qs);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.Path(u"zero.ini"_qs);
    ASSERT_TRUE(QFile::link(u"/dev/zero"_qs, zero));
    const QString secret = dir.Path(u"secret"_qs);
    WriteBytes(secret, "[S]\nk=secret\n");
    QStringList paths = {fifo, zero};
    if (::geteuid() == 0) {
        const QString planted = dir.Path(u"planted.ini"_qs);
        ASSERT_TRUE(QFile::link(secret, planted));
        ASSERT_EQ(::lchown(QFile::encodeName(planted).constData(), 1, 1), 0);
        paths.append(planted);
    }
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(GetProfileString(path, u"S"_qs, u"k"_qs, kDef), kDef);
        EXPECT_FALSE(WriteProfileString(path, u"S"_qs, u"k"_qs, u"v"_qs));
    }
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(QFileInfo(zero).symLinkTarget(), u"/dev/zero"_qs);
    EXPECT_EQ(ReadBytes(secret), QByteArray("[S]\nk=secret\n"));
}

// A write that fails half way, as on a full disk, must leave the old file as
// it was and no temporary file behind.
TEST(ProfileWrite, FailedWriteKeepsOldFile)
{
    // Smaller than a write buffer, and larger.
    for (const qsizetype length : {qsizetype(1000), qsizetype(100000)}) {
        SCOPED_TRACE(length);
        Dir dir;
        const QString path = dir.Path(u"v.ini"_qs);
        const QByteArray before = "; keep\n[S]\nk=\"old\"\n";
        WriteBytes(path, before);

        ProfileWriter writer(path, FailingWriteAfter(64));
        ASSERT_TRUE(writer.Write(u"S"_qs, u"k"_qs, u'"' + QString(length, u'x') + u'"'));
        const bool written = writer.Commit();

        EXPECT_FALSE(written);
        EXPECT_EQ(ReadBytes(path), before);
        EXPECT_EQ(GetProfileString(path, u"S"_qs, u"k"_qs), u"old"_qs);
        EXPECT_EQ(dir.Entries(), QStringList{u"v.ini"_qs});
    }
}

// The settings the main window keeps: an edit text and a list per combo box.
TEST(ProfileWrite, ComboHistoryFile)
{
    Dir dir;
    const QString path = dir.Path(u"velmora.ini"_qs);
    for (const QString& section : {u"Before"_qs, u"After"_qs}) {
        EXPECT_TRUE(WriteProfileString(path, section, u"EditControl"_qs, u"\"\""_qs));
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(WriteProfileString(path, section, QString::number(i), u"\""_qs + section + QString::number(i) + u'"'));
    }
    EXPECT_EQ(ReadBytes(path).toStdString(),
              "[Before]\nEditControl=\"\"\n0=\"Before0\"\n1=\"Before1\"\n2=\"Before2\"\n\n"
              "[After]\nEditControl=\"\"\n0=\"After0\"\n1=\"After1\"\n2=\"After2\"\n");
    EXPECT_EQ(GetProfileString(path, u"Before"_qs, u"EditControl"_qs, kDef), QString());
    EXPECT_EQ(GetProfileString(path, u"after"_qs, u"2"_qs), u"After2"_qs);
    EXPECT_EQ(GetProfileString(path, u"After"_qs, u"3"_qs), QString());

    // The window reads both boxes from one reading of the file: what is
    // written after it is not seen.
    const ProfileReader reader(path);
    ASSERT_TRUE(WriteProfileString(path, u"After"_qs, u"2"_qs, u"changed"_qs));
    EXPECT_EQ(reader.Get(u"after"_qs, u"2"_qs), u"After2"_qs);
    EXPECT_EQ(reader.Get(u"Before"_qs, u"EditControl"_qs, kDef), QString());
    EXPECT_EQ(reader.Get(u"After"_qs, u"3"_qs, kDef), kDef);
    EXPECT_EQ(ProfileReader(dir.Path(u"none.ini"_qs)).Get(u"After"_qs, u"0"_qs, kDef), kDef);
}

// Beside the executable in its build folder, or where a velmora.ini already
// stands outside the installed folder; otherwise in the user's settings
// folder, which is made when missing and then takes the writes. Tests run as
// root, so a writable folder must not be taken as a reason to write there.
TEST(SettingsPlace, BesideTheExecutableOrInTheUserFolder)
{
    Dir dir;
    const QString build = dir.Path(u"build/app"_qs);
    const QString portable = dir.Path(u"portable"_qs);
    const QString installed = dir.Path(u"usr/bin"_qs);
    for (const QString& folder : {build, portable, installed})
        ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(WriteProfileString(portable + u"/velmora.ini"_qs, u"Before"_qs, u"EditControl"_qs, u"p"_qs));
    ASSERT_TRUE(WriteProfileString(installed + u"/velmora.ini"_qs, u"Before"_qs, u"EditControl"_qs, u"left"_qs));
    // The build folder as the build names it, through a link; the program's
    // own path is always the real one.
    ASSERT_TRUE(QFile::link(dir.Path(u"build"_qs), dir.Path(u"link"_qs)));
    const QString user = dir.Path(u"home/.config/velmora"_qs);
    const SettingsFolders folders{dir.Path(u"link/app"_qs), installed, user};
    struct Case {
        const char* name;
        QString executable;
        QString expected;
    };
    const Case cases[] = {
        {"build folder", build + u"/velmora"_qs, build + u"/velmora.ini"_qs},
        {"portable copy with its settings", portable + u"/velmora"_qs, portable + u"/velmora.ini"_qs},
        {"copy elsewhere", dir.Path(u"velmora"_qs), user + u"/velmora.ini"_qs},
        {"copy elsewhere, other name", dir.Path(u"vm.exe"_qs), user + u"/velmora.ini"_qs},
        {"installed, even with a file left there", installed + u"/velmora"_qs, user + u"/velmora.ini"_qs},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(dir.Path(u"home"_qs)).removeRecursively();
        const QString file = ChooseSettingsFile(c.executable, folders);
        EXPECT_EQ(file, c.expected);
        EXPECT_EQ(QFileInfo::exists(user), file.startsWith(user));
        EXPECT_TRUE(WriteProfileString(file, u"After"_qs, u"EditControl"_qs, u"\"x\""_qs));
        EXPECT_EQ(GetProfileString(file, u"After"_qs, u"EditControl"_qs), u"x"_qs);
    }
}

} // namespace
