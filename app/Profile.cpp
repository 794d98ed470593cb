#include "Profile.h"

#include "AtomicFile.h"
#include "RegularFile.h"
#include "SymbolicLinks.h"

#include <QFile>
#include <QList>

#include <optional>
#include <utility>

#include <cerrno>

namespace {

// One line of the file. `raw` and `end` are the bytes as read, so untouched
// lines are written back exactly; `text` is what the parser looks at.
struct Line {
    QByteArray raw;
    QByteArray end; // "\n", "\r\n", "\r", or empty on a last line without a break
    QString text;
};

struct Contents {
    QByteArray bom;
    QList<Line> lines;
};

// Where a section and key were found; -1 when absent.
struct Hit {
    qsizetype header = -1;
    qsizetype key = -1;
    qsizetype last = -1; // last line of the section that is neither blank nor a comment
};

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView TrimBlanks(QStringView s)
{
    while (!s.isEmpty() && IsBlank(s.front()))
        s = s.mid(1);
    while (!s.isEmpty() && IsBlank(s.back()))
        s.chop(1);
    return s;
}

// Characters an editor or a line-based reader could take as a line break, or
// that don't belong in a text file. TAB is harmless.
bool IsUnsafe(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t') || u == 0x85 || u == 0x2028 || u == 0x2029;
}

char16_t FoldAscii(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') ? char16_t(u + (u'a' - u'A')) : u;
}

// Case-insensitive for ASCII letters only, so that the result never depends
// on the locale or the Unicode version.
bool SameName(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    return true;
}

enum class ReadResult { Read, Missing, Failed };

// Only a regular file is read: a FIFO would block the read, and a device
// such as /dev/zero would never end it.
ReadResult ReadSettingsFile(const QString& path, QByteArray& data)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || name.contains('\0'))
        return ReadResult::Failed;
    // Read through the links that writing would follow, and no others.
    std::string target = name.toStdString();
    if (ResolveLinks(target, LinkPolicy::FollowTrusted) != LinkResolution::Resolved)
        return ReadResult::Failed;
    std::string bytes;
    int error = 0;
    if (!ReadRegularFile(target, bytes, error))
        return error == ENOENT || error == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
    data = QByteArray::fromStdString(bytes);
    return ReadResult::Read;
}

// Lines end at CR, LF or CR LF alike.
std::optional<Contents> Load(const QString& path)
{
    Contents c;
    QByteArray data;
    switch (ReadSettingsFile(path, data)) {
    case ReadResult::Missing:
        return c;
    case ReadResult::Failed:
        return std::nullopt;
    case ReadResult::Read:
        break;
    }
    if (data.startsWith("\xEF\xBB\xBF")) {
        c.bom = data.left(3);
        data.remove(0, 3);
    }
    const char* bytes = data.constData();
    const qsizetype size = data.size();
    qsizetype pos = 0;
    while (pos < size) {
        qsizetype stop = pos;
        while (stop < size && bytes[stop] != '\n' && bytes[stop] != '\r')
            ++stop;
        qsizetype next = stop;
        if (next < size && bytes[next] == '\r')
            ++next;
        if (next < size && bytes[next] == '\n')
            ++next;
        Line line;
        line.raw = data.mid(pos, stop - pos);
        line.end = data.mid(stop, next - stop);
        line.text = QString::fromUtf8(line.raw);
        c.lines.append(line);
        pos = next;
    }
    return c;
}

QStringView SectionName(QStringView trimmed)
{
    const qsizetype close = trimmed.indexOf(u']');
    return TrimBlanks(trimmed.mid(1, close < 0 ? -1 : close - 1));
}

// Only the first section of a name counts, and in it only the first line of a key.
Hit Locate(const QList<Line>& lines, QStringView section, QStringView key)
{
    Hit hit;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringView t = TrimBlanks(lines[i].text);
        if (t.startsWith(u'[')) {
            if (hit.header >= 0)
                break;
            if (SameName(SectionName(t), section))
                hit.header = hit.last = i;
            continue;
        }
        if (hit.header < 0 || t.isEmpty() || t.startsWith(u';'))
            continue;
        hit.last = i;
        const qsizetype eq = t.indexOf(u'=');
        if (hit.key < 0 && eq >= 0 && SameName(TrimBlanks(t.left(eq)), key))
            hit.key = i;
    }
    return hit;
}

void AppendHex(QString& out, char16_t u)
{
    out += u"\\u";
    out += QString::number(u, 16).rightJustified(4, u'0').toUpper();
}

// Blanks at either end are escaped too: the reader trims them off otherwise.
QString Escape(const QString& value)
{
    QString out;
    // Most values need no escape or a few: room for a few spares a regrowth.
    constexpr qsizetype kRoomForEscapes = 8;
    out.reserve(value.size() + kRoomForEscapes);
    const qsizetype last = value.size() - 1;
    for (qsizetype i = 0; i <= last; ++i) {
        const QChar c = value[i];
        if (c.isHighSurrogate() && i < last && value[i + 1].isLowSurrogate()) {
            out += c;
            out += value[++i];
        } else if (c == u'\\') {
            out += u"\\\\";
        } else if (c == u'\r') {
            out += u"\\r";
        } else if (c == u'\n') {
            out += u"\\n";
        } else if (c == u'\t' && (i == 0 || i == last)) {
            out += u"\\t";
        } else if (IsUnsafe(c) || c.isSurrogate() || (c == u' ' && (i == 0 || i == last))) {
            AppendHex(out, c.unicode());
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Unknown or malformed escapes stay as they are, so a hand-written backslash
// survives.
QString Unescape(QStringView s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\' && i + 1 < s.size()) {
            switch (s[i + 1].unicode()) {
            case u'\\': out += u'\\'; ++i; continue;
            case u'r': out += u'\r'; ++i; continue;
            case u'n': out += u'\n'; ++i; continue;
            case u't': out += u'\t'; ++i; continue;
            case u'u':
                if (i + 6 <= s.size()) {
                    int code = 0;
                    for (qsizetype k = i + 2; k < i + 6 && code >= 0; ++k)
                        code = HexDigit(s[k]) < 0 ? -1 : code * 16 + HexDigit(s[k]);
                    if (code >= 0) {
                        out += QChar(char16_t(code));
                        i += 5;
                        continue;
                    }
                }
                break;
            }
        }
        out += s[i];
    }
    return out;
}

bool Storable(QStringView name)
{
    if (name.isEmpty() || !name.isValidUtf16())
        return false;
    for (QChar c : name)
        if (IsUnsafe(c))
            return false;
    return true;
}

bool Save(const QString& path, const Contents& c, const WriteFunction& write)
{
    QByteArray bytes = c.bom;
    for (const Line& line : c.lines)
        bytes += line.raw + line.end;
    AtomicFile file(write);
    return file.Open(QFile::encodeName(path).toStdString(), AtomicFile::Device::DontWait)
        && file.Write({bytes.constData(), size_t(bytes.size())}) && file.Commit();
}

// LF, except after a line that ends in a bare CR: an LF there would join
// that CR into one CR LF, and a new empty line would vanish into it.
QByteArray EndAfter(const Line& previous)
{
    return previous.end == "\r" ? QByteArray("\r") : QByteArray("\n");
}

Line NewLine(const QString& text, const Line* previous)
{
    return Line{text.toUtf8(), previous ? EndAfter(*previous) : QByteArray("\n"), text};
}

bool StorableNames(QStringView sectionName, QStringView keyName)
{
    return Storable(sectionName) && !sectionName.contains(u']') && Storable(keyName) && !keyName.contains(u'=')
        && !keyName.startsWith(u';') && !keyName.startsWith(u'[');
}

void Apply(Contents& contents, QStringView sectionName, QStringView keyName, const QString& value)
{
    QList<Line>& lines = contents.lines;
    const QString escaped = Escape(value);
    Hit hit = Locate(lines, sectionName, keyName);

    if (hit.key >= 0) {
        // Keep the key as spelt in the file, up to its '='.
        Line& line = lines[hit.key];
        line.raw = line.raw.left(line.raw.indexOf('=') + 1) + escaped.toUtf8();
        line.text = QString::fromUtf8(line.raw);
        return;
    }

    if (hit.header < 0) {
        if (!lines.isEmpty()) {
            if (lines.back().end.isEmpty())
                lines.back().end = "\n";
            if (!TrimBlanks(lines.back().text).isEmpty())
                lines.append(NewLine(QString(), &lines.back()));
        }
        lines.append(NewLine(u'[' + sectionName.toString() + u']', lines.isEmpty() ? nullptr : &lines.back()));
        hit.last = lines.size() - 1;
    }
    // A new key always stands on a line of its own.
    if (lines[hit.last].end.isEmpty())
        lines[hit.last].end = "\n";
    lines.insert(hit.last + 1, NewLine(keyName.toString() + u'=' + escaped, &lines[hit.last]));
}

} // namespace

QString GetProfileString(const QString& file, const QString& section, const QString& key,
                         const QString& defaultValue)
{
    return ProfileReader(file).Get(section, key, defaultValue);
}

struct ProfileReader::Data {
    Contents contents;
};

ProfileReader::ProfileReader(const QString& file)
{
    if (std::optional<Contents> contents = Load(file))
        m_data = std::make_unique<const Data>(Data{std::move(*contents)});
}

ProfileReader::~ProfileReader() = default;

QString ProfileReader::Get(const QString& section, const QString& key, const QString& defaultValue) const
{
    if (!m_data)
        return defaultValue;
    const Contents* contents = &m_data->contents;
    const QStringView sectionName = TrimBlanks(section);
    const QStringView keyName = TrimBlanks(key);
    if (sectionName.isEmpty() || keyName.isEmpty())
        return defaultValue;
    const Hit hit = Locate(contents->lines, sectionName, keyName);
    if (hit.key < 0)
        return defaultValue;

    const QStringView text = TrimBlanks(contents->lines[hit.key].text);
    QStringView value = TrimBlanks(text.mid(text.indexOf(u'=') + 1));
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'')
        && value.back() == value.front())
        value = value.mid(1, value.size() - 2);

    QString result = Unescape(value);
    if (result.size() > kProfileValueMax) {
        result.truncate(kProfileValueMax);
        if (result.back().isHighSurrogate())
            result.chop(1);
    }
    return result;
}

bool WriteProfileString(const QString& file, const QString& section, const QString& key,
                        const QString& value)
{
    ProfileWriter writer(file);
    return writer.Write(section, key, value) && writer.Commit();
}

ProfileWriter::ProfileWriter(const QString& file, WriteFunction write)
    : m_file(file)
    , m_write(std::move(write))
{
}

bool ProfileWriter::Write(const QString& section, const QString& key, const QString& value)
{
    if (!StorableNames(TrimBlanks(section), TrimBlanks(key)))
        return false;
    m_pending.append({section, key, value});
    return true;
}

bool ProfileWriter::Commit()
{
    if (m_pending.isEmpty())
        return true;
    std::optional<Contents> contents = Load(m_file);
    if (!contents)
        return false;
    for (const Pending& p : std::as_const(m_pending))
        Apply(*contents, TrimBlanks(p.section), TrimBlanks(p.key), p.value);
    m_pending.clear();
    return Save(m_file, *contents, m_write);
}
