#include "JsonLinesReplacer.h"

#include "CompiledMatcher.h"
#include "JsonString.h"
#include "PairCounts.h"
#include "RunParts.h"
#include "Surrogates.h"
#include "TextScan.h"

#include "Utf8Codec.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

// Below this many bytes a block's lines are not spread over threads. The
// fuzz build spreads a few bytes already, so that its small inputs are split.
#ifdef VELMORA_FUZZ_PARALLEL_LINES
constexpr size_t kParallelLines = VELMORA_FUZZ_PARALLEL_LINES;
#else
constexpr size_t kParallelLines = size_t(1) << 18;
#endif
// A field's value is scanned, built and encoded this many units at a time,
// so that a long one takes memory for itself and its encoding only.
constexpr size_t kValueWindow = size_t(1) << 20;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::string NotJson(std::string_view why)
{
    return "not valid JSON (" + std::string(why) + ")";
}

// The bytes of the string token at the start of `bytes`, its quotes
// included (all of `bytes` when it has no closing quote): a value's room
// depends on the value, not on the line behind it.
size_t StringTokenBytes(std::string_view bytes)
{
    for (size_t at = 1; at < bytes.size();) {
        const void* const quote = std::memchr(bytes.data() + at, '"', bytes.size() - at);
        if (!quote)
            break;
        const size_t end = size_t(static_cast<const char*>(quote) - bytes.data());
        size_t backslashes = 0;
        while (end - backslashes > 1 && bytes[end - 1 - backslashes] == '\\')
            ++backslashes;
        if (backslashes % 2 == 0)
            return end + 1;
        at = end + 1;
    }
    return bytes.size();
}

const char* SkipSpace(const char* p, const char* end)
{
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'))
        ++p;
    return p;
}

const char* SkipDigits(const char* p, const char* end)
{
    while (p < end && *p >= '0' && *p <= '9')
        ++p;
    return p;
}

// The end of the number, true, false or null at `p`; null when there is none.
const char* SkipScalar(const char* p, const char* end)
{
    for (const std::string_view word : {"true", "false", "null"})
        if (std::string_view(p, size_t(end - p)).starts_with(word))
            return p + word.size();
    if (p < end && *p == '-')
        ++p;
    if (p == end || *p < '0' || *p > '9')
        return nullptr;
    p = *p == '0' ? p + 1 : SkipDigits(p, end);
    if (p < end && *p == '.') {
        const char* const digits = p + 1;
        if ((p = SkipDigits(digits, end)) == digits)
            return nullptr;
    }
    if (p < end && (*p == 'e' || *p == 'E')) {
        const char* digits = p + 1;
        if (digits < end && (*digits == '+' || *digits == '-'))
            ++digits;
        if ((p = SkipDigits(digits, end)) == digits)
            return nullptr;
    }
    return p;
}

// `field` as UTF-16, to compare with decoded keys; a field that is not UTF-8
// matches no key.
std::optional<std::u16string> FieldUnits(const std::string& field)
{
    std::u16string units(Utf8Decoder::MaxUnits(field.size()), u'\0');
    Utf8Decoder decoder;
    size_t written = 0;
    if (!decoder.Decode(field, units.data(), written) || !decoder.Finish())
        return std::nullopt;
    units.resize(written);
    return units;
}

} // namespace

// One thread's share of a block: its parser, scan and output.
class JsonLinesReplacer::Worker {
public:
    Worker(std::shared_ptr<const CompiledMatcher> matcher, const std::string& field, bool gloss)
        : m_field(field)
        , m_field16(FieldUnits(field))
        , m_gloss(gloss)
        , m_window(std::max(kValueWindow, 2 * matcher->MaxBeforeLength()))
        , m_scan(std::move(matcher))
    {
    }

    // Takes the whole lines of `lines`. Replaces them into
    // Output() unless `checkOnly`. False at the first bad line, after
    // LinesDone() good ones, with Error() saying why; with `keepBad`, a bad
    // line is written as it came and named in Kept() instead.
    bool Take(std::string_view lines, bool checkOnly, bool countUses, bool keepBad)
    {
        m_outSize = 0;
        m_lines = 0;
        m_units = 0;
        m_replacements = 0;
        m_changed = false;
        m_countUses = countUses;
        m_keptLines = 0;
        m_kept.clear();
        for (size_t at = 0; at < lines.size(); ++m_lines) {
            const char* const data = lines.data() + at;
            const void* const lf = std::memchr(data, '\n', lines.size() - at);
            const size_t size = lf ? size_t(static_cast<const char*>(lf) - data) : lines.size() - at;
            if (!Line({data, size}, checkOnly)) {
                if (!keepBad)
                    return false;
                ++m_keptLines;
                if (m_kept.size() < kKeptLinesNamed)
                    m_kept.emplace_back(m_lines, m_error);
                if (!checkOnly)
                    Put({data, size});
            }
            if (!checkOnly && lf)
                Put("\n");
            at += size + (lf ? 1 : 0);
        }
        return true;
    }

    std::string_view Output() const { return {m_out.data(), m_outSize}; }
    size_t LinesDone() const { return m_lines; }
    const std::string& Error() const { return m_error; }
    uint64_t Units() const { return m_units; }
    uint64_t Replacements() const { return m_replacements; }
    bool Changed() const { return m_changed; }
    PairUses& Uses() { return m_uses; }
    uint64_t KeptLines() const { return m_keptLines; }
    // The first few kept lines: their index among the lines taken, and why.
    const std::vector<std::pair<size_t, std::string>>& Kept() const { return m_kept; }

private:
    bool Fail(std::string message)
    {
        m_error = std::move(message);
        return false;
    }

    // Decodes the string token at the start of `bytes` into `units`.
    bool DecodeString(std::string_view bytes, PageRoom<char16_t>& units, JsonStringToken& token)
    {
        bytes = bytes.substr(0, StringTokenBytes(bytes));
        units.Grow(MaxJsonStringUnits(bytes.size()));
        return DecodeJsonString(bytes, units.data(), token, m_problem);
    }

    // Finds the field's string token in `line`, decoded into m_units16 and
    // m_token; null with m_error set when the line is not a JSON object
    // holding it once. The whole line is checked in one pass against the
    // JSON grammar. Nesting is kept on a stack of its own rather than by
    // recursion, so no depth the line can hold exhausts the thread's stack,
    // and a number is only checked for its form: its bytes pass unchanged, so
    // no range matters.
    const char* FindValue(std::string_view line)
    {
        const char* const begin = line.data();
        const char* const end = begin + line.size();
        const char* p = SkipSpace(begin, end);
        if (p == end || *p != '{') {
            Fail("not a JSON object");
            return nullptr;
        }
        const auto bad = [&] {
            Fail(NotJson(p == end ? "the line ends before the object does"
                                  : "unexpected character at byte " + std::to_string(p - begin + 1)));
            return nullptr;
        };
        const char* token = nullptr;
        m_open.assign(1, '}');
        bool opened = true; // just after '{' or '['
        ++p;
        for (;;) {
            p = SkipSpace(p, end);
            if (p == end)
                return bad();
            if (*p == m_open.back()) { // after a value, or an empty object or array
                m_open.pop_back();
                ++p;
                opened = false;
                if (m_open.empty())
                    break;
                continue;
            }
            if (!opened) {
                if (*p != ',')
                    return bad();
                p = SkipSpace(p + 1, end);
                if (p == end)
                    return bad();
            }
            opened = false;
            bool isField = false;
            if (m_open.back() == '}') {
                JsonStringToken key;
                if (*p != '"')
                    return bad();
                if (!DecodeString({p, size_t(end - p)}, m_other16, key)) {
                    Fail(NotJson(m_problem));
                    return nullptr;
                }
                isField = m_open.size() == 1 && m_field16
                    && std::u16string_view(m_other16.data(), key.units) == *m_field16;
                p = SkipSpace(p + key.size, end);
                if (p == end || *p != ':')
                    return bad();
                p = SkipSpace(p + 1, end);
                if (p == end)
                    return bad();
                if (isField && token) {
                    Fail("the field \"" + m_field + "\" appears more than once");
                    return nullptr;
                }
            }
            if (isField && *p != '"') {
                Fail("the field \"" + m_field + "\" is not a string");
                return nullptr;
            }
            switch (*p) {
            case '{':
            case '[':
                m_open.push_back(*p == '{' ? '}' : ']');
                ++p;
                opened = true;
                break;
            case '"': {
                JsonStringToken string;
                if (!DecodeString({p, size_t(end - p)}, isField ? m_units16 : m_other16, string)) {
                    Fail(isField ? "the field \"" + m_field + "\": " + m_problem : NotJson(m_problem));
                    return nullptr;
                }
                if (isField) {
                    token = p;
                    m_token = string;
                }
                p += string.size;
                break;
            }
            default: {
                const char* const scalar = SkipScalar(p, end);
                if (!scalar)
                    return bad();
                p = scalar;
            }
            }
        }
        if (SkipSpace(p, end) != end) {
            Fail(NotJson("more follows the object"));
            return nullptr;
        }
        if (!token)
            Fail("no field \"" + m_field + "\"");
        return token;
    }

    bool Line(std::string_view line, bool checkOnly)
    {
        const char* const token = FindValue(line);
        if (!token)
            return false;
        const size_t start = size_t(token - line.data());
        const std::string_view rest = line.substr(start);
        const JsonStringToken value = m_token;
        if (checkOnly)
            return true;

        const std::u16string_view text(m_units16.data(), value.units);
        m_units += text.size();
        // The value is scanned and its output built and encoded a window at a
        // time, each window's front as far as its matches are settled; the
        // line as it came replaces all that when nothing matched.
        const size_t lineStart = m_outSize;
        Reserve(line.size());
        Put(line.substr(0, start));
        const size_t tokenStart = m_outSize;
        Put("\"");
        size_t matches = 0;
        m_output.clear();
        size_t at = 0;
        do {
            const std::u16string_view window = text.substr(at, m_window);
            const bool last = at + window.size() == text.size();
            size_t settled = window.size();
            if (last)
                m_scan.Scan(window);
            else
                settled = m_scan.ScanFront(window);
            matches += m_scan.GetMatchCount();
            if (m_countUses)
                CountPairUses(m_scan, m_uses);
            m_scan.AppendOutput(window.substr(0, settled), m_gloss, m_output);
            // A surrogate pair that windows split is encoded whole, with the next.
            const bool split = !last && !m_output.empty() && IsHighSurrogate(m_output.back());
            PutStringUnits(std::u16string_view(m_output).substr(0, m_output.size() - split), value.escapedWide);
            m_output.erase(0, m_output.size() - split);
            at += settled;
            m_units16.Release(at); // as the encoded value grows, its units go
        } while (at < text.size());
        Put("\"");
        if (matches == 0) {
            m_outSize = lineStart;
            Put(line);
            return true;
        }
        m_replacements += matches;
        m_changed = m_changed || std::string_view(m_out.data() + tokenStart, m_outSize - tokenStart) != rest.substr(0, value.size);
        Put(rest.substr(value.size));
        return true;
    }

    // Writes `units` as the inside of a JSON string token; a value that had
    // \u escapes for wide characters stays ASCII.
    void PutStringUnits(std::u16string_view units, bool asciiOnly)
    {
        Reserve(MaxJsonStringBytes(units.size()));
        char* const at = m_out.data() + m_outSize;
        const size_t written = EncodeJsonString(units, asciiOnly, at);
        std::memmove(at, at + 1, written - 2); // without its quotes
        m_outSize += written - 2;
    }

    void Reserve(size_t more)
    {
        if (m_out.size() < m_outSize + more)
            m_out.Grow(std::max(m_outSize + more, 2 * m_out.size()));
    }

    void Put(std::string_view bytes)
    {
        if (bytes.empty())
            return; // the room may have no pages yet: no address to copy to
        Reserve(bytes.size());
        std::memcpy(m_out.data() + m_outSize, bytes.data(), bytes.size());
        m_outSize += bytes.size();
    }

    const std::string& m_field;
    const std::optional<std::u16string> m_field16;
    bool m_gloss;
    const size_t m_window; // units of a value scanned at a time
    TextScan m_scan;
    std::string m_open;       // the closing bracket of each object and array the scan is in
    PageRoom<char16_t> m_units16; // the field's decoded string
    PageRoom<char16_t> m_other16; // any other decoded string
    JsonStringToken m_token;
    std::string m_problem;    // why a string did not decode
    std::u16string m_output; // a window's output
    PageRoom<char> m_out;
    size_t m_outSize = 0;
    size_t m_lines = 0;
    uint64_t m_units = 0;
    uint64_t m_replacements = 0;
    bool m_changed = false;
    bool m_countUses = false;
    PairUses m_uses;
    std::string m_error;
    uint64_t m_keptLines = 0;
    std::vector<std::pair<size_t, std::string>> m_kept;
};

JsonLinesReplacer::JsonLinesReplacer(std::shared_ptr<const CompiledMatcher> matcher, std::string field, bool gloss,
                                     size_t blockBytes, unsigned threads, bool keepBadLines)
    : m_matcher(std::move(matcher))
    , m_field(std::move(field))
    , m_gloss(gloss)
    , m_keepBadLines(keepBadLines)
    , m_blockBytes(std::max<size_t>(blockBytes, 1))
    , m_threads(std::max(threads, 1u))
{
}

JsonLinesReplacer::~JsonLinesReplacer() = default;

StreamResult JsonLinesReplacer::Run(ByteSource& in, ByteSink& out, PairUses* uses, std::atomic<uint64_t>* progress)
{
    return Pass(in, &out, uses, progress);
}

StreamResult JsonLinesReplacer::Check(ByteSource& in)
{
    return Pass(in, nullptr, nullptr, nullptr);
}

StreamResult JsonLinesReplacer::Pass(ByteSource& in, ByteSink* out, PairUses* uses, std::atomic<uint64_t>* progress)
{
    StreamResult result;
    m_linesDone = 0;
    size_t held = 0;         // bytes of m_bytes carried from the last block
    bool markSeen = false;   // the start of the text was looked at for EF BB BF
    for (;;) {
        m_bytes.Grow(held + m_blockBytes);
        const ssize_t n = ReadBlock(in, m_bytes.data() + held, m_blockBytes, result, progress);
        if (n < 0)
            return result;
        const bool last = n == 0;
        size_t used = held + size_t(n);
        size_t fresh = held; // where this block's bytes start
        if (!markSeen && (used >= kUtf8Mark.size() || last)) {
            markSeen = true;
            if (std::string_view(m_bytes.data(), used).starts_with(kUtf8Mark)) {
                result.encoding = TextEncoding::Utf8WithMark;
                if (out && !out->Write(kUtf8Mark)) {
                    result.failure = StreamResult::Failure::Write;
                    result.error = out->Error();
                    return result;
                }
                used -= kUtf8Mark.size();
                fresh = 0;
                std::memmove(m_bytes.data(), m_bytes.data() + kUtf8Mark.size(), used);
            }
        }
        // Whole lines only, but for the last one at the end.
        size_t whole = used;
        if (!last) {
            const void* lf = ::memrchr(m_bytes.data() + fresh, '\n', used - fresh);
            whole = lf ? size_t(static_cast<const char*>(lf) - m_bytes.data()) + 1 : 0;
        }
        if (markSeen && whole > 0) {
            if (!Lines({m_bytes.data(), whole}, out, uses, result))
                return result;
            std::memmove(m_bytes.data(), m_bytes.data() + whole, used - whole);
            used -= whole;
        }
        held = used;
        if (last)
            break;
    }
    return result;
}

bool JsonLinesReplacer::Lines(std::string_view lines, ByteSink* out, PairUses* uses, StreamResult& result)
{
    const size_t parts = lines.size() >= kParallelLines ? m_threads : 1;
    while (m_workers.size() < parts)
        m_workers.push_back(std::make_unique<Worker>(m_matcher, m_field, m_gloss));
    std::vector<size_t> edges{0};
    for (size_t p = 1; p < parts; ++p) {
        size_t cut = std::max(edges.back(), lines.size() * p / parts);
        const void* lf = cut < lines.size() ? std::memchr(lines.data() + cut, '\n', lines.size() - cut) : nullptr;
        cut = lf ? size_t(static_cast<const char*>(lf) - lines.data()) + 1 : lines.size();
        edges.push_back(std::max(cut, edges.back()));
    }
    edges.push_back(lines.size());
    std::vector<char> ok(parts, 0);
    RunParts(parts, [&](size_t p) {
        ok[p] = m_workers[p]->Take(lines.substr(edges[p], edges[p + 1] - edges[p]), out == nullptr, uses != nullptr,
                                   m_keepBadLines);
    });

    for (size_t p = 0; p < parts; ++p) {
        Worker& worker = *m_workers[p];
        if (!ok[p]) {
            result.failure = StreamResult::Failure::Decode;
            result.message = "line " + std::to_string(m_linesDone + worker.LinesDone() + 1) + ": " + worker.Error();
            return false;
        }
        result.keptLines += worker.KeptLines();
        for (const auto& [line, why] : worker.Kept())
            if (result.firstKept.size() < kKeptLinesNamed)
                result.firstKept.push_back("line " + std::to_string(m_linesDone + line + 1) + ": " + why);
        m_linesDone += worker.LinesDone();
    }
    for (size_t p = 0; p < parts; ++p) {
        Worker& worker = *m_workers[p];
        result.units += worker.Units();
        result.replacements += worker.Replacements();
        result.changed = result.changed || worker.Changed();
        if (uses) {
            MergePairUses(*uses, worker.Uses());
            worker.Uses().clear();
        }
        if (out && !out->Write(worker.Output())) {
            result.failure = StreamResult::Failure::Write;
            result.error = out->Error();
            return false;
        }
    }
    return true;
}
