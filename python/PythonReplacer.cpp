#include "PythonReplacer.h"

#include "CompiledDictionary.h"
#include "CompiledMatcher.h"
#include "DictionaryFiles.h"
#include "PythonText.h"
#include "Replacer.h"
#include "TextScan.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace {

// Asked once: the system answers from a file.
unsigned ScanThreads()
{
    static const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    return threads;
}

// A long text is scanned a window at a time, this many units a thread on up
// to kWindowThreads threads, and signals are looked at between windows: a
// window takes some milliseconds, so Ctrl+C stops a scan at once, and the
// matches and output of one window stay small beside a long text.
constexpr size_t kWindowPerThread = size_t(1) << 20;
constexpr size_t kWindowThreads = 8;

// Up to this many code points, replace() builds the output as one string
// first; a text this short is scanned by one thread.
constexpr size_t kShortText = size_t(1) << 16;

// Output kept from the measuring pass of replace() up to this many bytes at
// least, however short the text, so that a text of a few windows is not
// scanned twice.
constexpr size_t kKeptOutputFloor = size_t(4) << 20;

// Between two looks for a pending Ctrl+C while the matches of find() become
// tuples: a few milliseconds of work.
constexpr size_t kSpansBetweenSignalChecks = size_t(1) << 16;

// Runs `work` without the GIL, then lets Python's signal handlers run; what
// they raise (KeyboardInterrupt for Ctrl+C) is raised here.
template <typename F>
void WithoutGil(const F& work)
{
    {
        py::gil_scoped_release nogil;
        work();
    }
    if (PyErr_CheckSignals() != 0)
        throw py::error_already_set();
}

// A path as the system takes it: str, bytes or os.PathLike, as open() does.
std::string FileSystemPath(const py::handle& path)
{
    return py::module_::import("os").attr("fsencode")(path).cast<std::string>();
}

[[noreturn]] void RaiseOsError(int error, const py::handle& path)
{
    errno = error;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path.ptr());
    throw py::error_already_set();
}

// `path`: the argument naming the file at fault, if one is.
[[noreturn]] void RaiseLoadError(const DictionaryFilesError& error, const py::handle& path)
{
    if (error.systemError != 0)
        RaiseOsError(error.systemError, path);
    // The message names the file as the system took it; say it as Python would.
    py::str message(error.message);
    if (path) {
        const std::string reason = error.message.substr(error.path.size() + 2);
        message = py::str("{}: {}").format(py::module_::import("os").attr("fsdecode")(path), reason);
    }
    PyErr_SetObject(error.outOfMemory ? PyExc_MemoryError : PyExc_ValueError, message.ptr());
    throw py::error_already_set();
}

py::str ToStr(std::u16string_view units)
{
    PyObject* str = NewStr(units, ShapeOfUtf16(units));
    if (!str)
        throw py::error_already_set();
    return py::reinterpret_steal<py::str>(str);
}

std::u16string ToUnits(const py::handle& str)
{
    std::u16string units;
    AppendUtf16(ViewOfStr(str.ptr()), units);
    return units;
}

// The text of a str as UTF-16 units, a window at a time. A two-byte str
// already is its units and is read in place; a one-byte str is widened a
// window at a time; a four-byte str, whose code points and units part ways
// at every character outside the BMP, is converted whole.
class TextUnits {
public:
    explicit TextUnits(const StrView& str)
        : m_str(str)
    {
    }

    // Call once without the GIL before the rest.
    void Prepare()
    {
        if (m_str.kind == PyUnicode_4BYTE_KIND)
            AppendUtf16(m_str, m_copy);
    }

    size_t Size() const { return m_str.kind == PyUnicode_4BYTE_KIND ? m_copy.size() : m_str.length; }

    // Units [from, from + count); valid until the next call.
    std::u16string_view Window(size_t from, size_t count)
    {
        if (m_str.kind == PyUnicode_2BYTE_KIND)
            return {static_cast<const char16_t*>(m_str.data) + from, count};
        if (m_str.kind == PyUnicode_4BYTE_KIND)
            return std::u16string_view(m_copy).substr(from, count);
        m_window.clear();
        AppendUtf16(m_str.Sub(from, count), m_window);
        return m_window;
    }

    // Bytes held for the whole text beside the str itself.
    size_t CopyBytes() const { return m_copy.size() * sizeof(char16_t); }

    // The str index of the code point that holds unit `unit`, and whether
    // the unit is its first. Calls must not go backwards.
    std::pair<size_t, bool> CodePointAt(size_t unit)
    {
        if (m_str.kind != PyUnicode_4BYTE_KIND)
            return {unit, true};
        for (;;) {
            const size_t width = m_cursor < m_str.length && m_str.At(m_cursor) > 0xFFFF ? 2 : 1;
            if (m_cursorUnit + width > unit)
                break;
            m_cursorUnit += width;
            ++m_cursor;
        }
        return {m_cursor, m_cursorUnit == unit};
    }

private:
    StrView m_str;
    std::u16string m_copy;
    std::u16string m_window;
    size_t m_cursor = 0; // code point
    size_t m_cursorUnit = 0; // its first unit
};

// Where ForEachWindow put a window, and how much of it it settled.
struct Window {
    size_t from;
    size_t length;
    bool whole; // scanned to its end, as the last window is
    size_t settled;
};

// Walks `text` window by window, each scanned by scan(units, window): the
// last one whole, the others only as far as a longer text could not change
// their matches, which scan returns. Signals are looked at after each.
template <typename F>
void ForEachWindow(TextUnits& text, const CompiledMatcher& matcher, const F& scan)
{
    const size_t window
        = std::max(kWindowPerThread * std::min<size_t>(ScanThreads(), kWindowThreads), 2 * matcher.MaxBeforeLength());
    size_t at = 0;
    bool first = true;
    do {
        WithoutGil([&] {
            if (first)
                text.Prepare();
            const size_t size = text.Size();
            Window w{at, std::min(window, size - at), size - at <= window, 0};
            w.settled = scan(text.Window(w.from, w.length), w);
            at += w.settled;
        });
        first = false;
    } while (at < text.Size());
}

// The settled length of a scan of `units` that ForEachWindow gives `w`.
size_t ScanWindow(TextScan& scan, std::u16string_view units, const Window& w)
{
    if (!w.whole)
        return scan.ScanFront(units, ScanThreads());
    scan.ScanParallel(units, ScanThreads());
    return units.size();
}

} // namespace

PythonReplacer::PythonReplacer(std::shared_ptr<const CompiledMatcher> matcher)
    : m_matcher(std::move(matcher))
{
}

PythonReplacer PythonReplacer::FromFiles(const py::args& paths)
{
    if (paths.empty())
        throw py::type_error("from_files() needs at least one path");
    std::vector<std::string> files;
    for (const py::handle path : paths)
        files.push_back(FileSystemPath(path));
    DictionaryFilesError error;
    std::shared_ptr<const CompiledMatcher> matcher;
    {
        py::gil_scoped_release nogil;
        matcher = LoadDictionaries(files, error);
    }
    if (!matcher) {
        const auto at = std::find(files.begin(), files.end(), error.path);
        RaiseLoadError(error, at == files.end() ? py::handle() : paths[size_t(at - files.begin())]);
    }
    return PythonReplacer(std::move(matcher));
}

PythonReplacer PythonReplacer::FromPairs(const py::handle& given)
{
    const bool mapping = py::isinstance(given, py::module_::import("collections.abc").attr("Mapping"));
    const py::object pairs = mapping ? given.attr("items")() : py::reinterpret_borrow<py::object>(given);
    // All strings one after the other; the views are made once it stops growing.
    std::u16string units;
    std::vector<std::pair<size_t, size_t>> ends; // of each before- and after-string
    size_t index = 0;
    for (const py::handle item : pairs) {
        const bool isPair = PySequence_Check(item.ptr()) && !PyUnicode_Check(item.ptr()) && py::len(item) == 2;
        const py::object before = isPair ? item[py::int_(0)] : py::object();
        const py::object after = isPair ? item[py::int_(1)] : py::object();
        if (!isPair || !PyUnicode_Check(before.ptr()) || !PyUnicode_Check(after.ptr()))
            throw py::type_error("pair " + std::to_string(index) + " is not a (before, after) pair of str: "
                                 + std::string(py::repr(item)));
        const size_t start = units.size();
        AppendUtf16(ViewOfStr(before.ptr()), units);
        const size_t beforeEnd = units.size();
        AppendUtf16(ViewOfStr(after.ptr()), units);
        if (units.find(u'\0', start) != std::u16string::npos)
            throw py::value_error("pair " + std::to_string(index) + " holds a NUL character: "
                                  + std::string(py::repr(item)));
        ends.emplace_back(beforeEnd, units.size());
        ++index;
    }
    std::shared_ptr<const CompiledMatcher> matcher;
    {
        py::gil_scoped_release nogil;
        std::vector<std::pair<std::u16string_view, std::u16string_view>> views;
        views.reserve(ends.size());
        const std::u16string_view all = units;
        size_t start = 0;
        for (const auto& [beforeEnd, afterEnd] : ends) {
            views.emplace_back(all.substr(start, beforeEnd - start), all.substr(beforeEnd, afterEnd - beforeEnd));
            start = afterEnd;
        }
        matcher = Replacer::CompilePairs(views);
    }
    return PythonReplacer(std::move(matcher));
}

PythonReplacer PythonReplacer::FromState(const py::handle& state)
{
    std::shared_ptr<const CompiledMatcher> matcher;
    if (PyUnicode_Check(state.ptr())) {
        // Pairs as State() wrote them.
        const std::u16string units = ToUnits(state);
        std::vector<std::pair<std::u16string_view, std::u16string_view>> pairs;
        const std::u16string_view rest = units;
        for (size_t at = 0; at < rest.size();) {
            const size_t beforeEnd = rest.find(u'\0', at);
            const size_t afterEnd = beforeEnd == rest.npos ? rest.npos : rest.find(u'\0', beforeEnd + 1);
            if (afterEnd == rest.npos)
                throw py::value_error("pickled Replacer: a string without its end");
            const std::u16string_view before = rest.substr(at, beforeEnd - at);
            const std::u16string_view after = rest.substr(beforeEnd + 1, afterEnd - beforeEnd - 1);
            if (before.empty() || after.empty() || (!pairs.empty() && !(pairs.back().first < before)))
                throw py::value_error("pickled Replacer: the pairs are not distinct, sorted and non-empty");
            pairs.emplace_back(before, after);
            at = afterEnd + 1;
        }
        py::gil_scoped_release nogil;
        matcher = Replacer::CompilePairs(pairs);
    } else if (PyBytes_Check(state.ptr())) {
        // A compiled dictionary file's bytes.
        char* data = nullptr;
        Py_ssize_t size = 0;
        PyBytes_AsStringAndSize(state.ptr(), &data, &size);
        std::string error;
        {
            py::gil_scoped_release nogil;
            matcher = CompiledDictionary::FromBytes(std::string_view(data, size_t(size)), error);
        }
        if (!matcher)
            throw py::value_error("pickled Replacer: " + error);
    } else {
        throw py::type_error("pickled Replacer: the state is neither str nor bytes");
    }
    return PythonReplacer(std::move(matcher));
}

// Scans once to measure the output, keeping what it built while that stays
// within the memory the text itself takes; then makes the str and fills it,
// building again the windows whose output was not kept. A two-byte text is
// read in place, so the process grows by the result and at most as much
// again as the text.
py::object PythonReplacer::Replace(const py::str& text, bool gloss) const
{
    const StrView view = ViewOfStr(text.ptr());
    TextUnits units(view);
    TextScan scan(m_matcher);
    if (view.length <= kShortText) {
        // In one piece, built once more to measure it: what the passes save
        // matters only for a long text, and would cost more than the scan of
        // a short one.
        std::u16string output;
        StrShape shape;
        WithoutGil([&] {
            units.Prepare();
            const std::u16string_view all = units.Window(0, units.Size());
            scan.Scan(all);
            if (scan.GetMatchCount() != 0) {
                scan.AppendOutput(all, gloss, output);
                shape = ShapeOfUtf16(output);
            }
        });
        if (scan.GetMatchCount() == 0)
            return text;
        PyObject* str = NewStr(output, shape);
        if (!str)
            throw py::error_already_set();
        return py::reinterpret_steal<py::object>(str);
    }
    const unsigned threads = ScanThreads();

    struct Measured {
        Window window;
        std::vector<TextScan::OutputPart> kept; // empty when built again
    };
    std::vector<Measured> windows;
    std::vector<TextScan::OutputPart> parts;
    StrMeasure measure;
    bool changed = false;
    size_t keptBytes = 0;
    ForEachWindow(units, *m_matcher, [&](std::u16string_view window, const Window& w) {
        const size_t settled = scan.ScanAndBuild(window, threads, w.whole, gloss, parts);
        size_t bytes = 0;
        for (const TextScan::OutputPart& part : parts) {
            measure.Add(std::u16string_view(part.units).substr(0, part.size));
            changed = changed || part.changed;
            bytes += part.units.capacity() * sizeof(char16_t);
        }
        windows.push_back({w, {}});
        windows.back().window.settled = settled;
        const size_t budget = view.length * size_t(view.kind) - std::min(view.length * size_t(view.kind), units.CopyBytes());
        if (keptBytes + bytes <= std::max(budget, kKeptOutputFloor)) {
            keptBytes += bytes;
            windows.back().kept = std::move(parts);
            parts.clear();
        }
        return settled;
    });
    if (!changed)
        return text;

    const StrShape shape = measure.Shape();
    py::object result = py::reinterpret_steal<py::object>(PyUnicode_New(Py_ssize_t(shape.length), shape.maxChar));
    if (!result)
        throw py::error_already_set();
    StrFill fill(result.ptr());
    for (Measured& m : windows) {
        WithoutGil([&] {
            std::vector<TextScan::OutputPart>& built = m.kept.empty() ? parts : m.kept;
            if (m.kept.empty()) {
                const Window& w = m.window;
                if (scan.ScanAndBuild(units.Window(w.from, w.length), threads, w.whole, gloss, parts) != w.settled)
                    throw std::logic_error("a window scanned again settled elsewhere");
            }
            for (const TextScan::OutputPart& part : built)
                fill.Put(std::u16string_view(part.units).substr(0, part.size));
            std::vector<TextScan::OutputPart>().swap(m.kept);
        });
    }
    fill.Finish();
    return result;
}

py::dict PythonReplacer::Counts(const py::str& text) const
{
    TextUnits units(ViewOfStr(text.ptr()));
    TextScan scan(m_matcher);
    // In the order of each before-string's first match.
    std::vector<std::pair<std::u16string_view, size_t>> counts;
    std::unordered_map<const char16_t*, size_t> slots; // the matcher's before-string -> counts index
    ForEachWindow(units, *m_matcher, [&](std::u16string_view window, const Window& w) {
        const size_t settled = ScanWindow(scan, window, w);
        scan.ForEachMatch([&](size_t, std::u16string_view before, std::u16string_view) {
            const auto [at, added] = slots.try_emplace(before.data(), counts.size());
            if (added)
                counts.emplace_back(before, 0);
            ++counts[at->second].second;
        });
        return settled;
    });
    py::dict result;
    for (const auto& [before, count] : counts)
        result[ToStr(before)] = count;
    return result;
}

py::list PythonReplacer::Find(const py::str& text) const
{
    TextUnits units(ViewOfStr(text.ptr()));
    TextScan scan(m_matcher);
    struct Span {
        size_t start, end, pair; // pair: index into `pairs`
    };
    std::vector<Span> spans;
    std::vector<std::pair<std::u16string_view, std::u16string_view>> pairs; // in the order first found
    std::unordered_map<const char16_t*, size_t> slots; // the matcher's before-string -> pairs index
    ForEachWindow(units, *m_matcher, [&](std::u16string_view window, const Window& w) {
        const size_t settled = ScanWindow(scan, window, w);
        scan.ForEachMatch([&](size_t start, std::u16string_view before, std::u16string_view after) {
            const auto [at, added] = slots.try_emplace(before.data(), pairs.size());
            if (added)
                pairs.emplace_back(before, after);
            // A match that cuts a character outside the BMP in two (with a
            // lone surrogate of a before-string) spans all of it.
            const size_t from = units.CodePointAt(w.from + start).first;
            const auto [last, whole] = units.CodePointAt(w.from + start + before.size());
            spans.push_back({from, whole ? last : last + 1, at->second});
        });
        return settled;
    });
    std::vector<py::object> strings; // before, after of each pair
    for (const auto& [before, after] : pairs) {
        strings.push_back(ToStr(before));
        strings.push_back(ToStr(after));
    }
    py::list result(spans.size());
    for (size_t k = 0; k < spans.size(); ++k) {
        // Millions of matches take seconds to hand over: Ctrl+C is seen here too.
        if (k % kSpansBetweenSignalChecks == 0 && PyErr_CheckSignals() != 0)
            throw py::error_already_set();
        const Span& s = spans[k];
        result[k] = py::make_tuple(s.start, s.end, strings[2 * s.pair], strings[2 * s.pair + 1]);
    }
    return result;
}

std::optional<uint32_t> PythonReplacer::PairOf(std::u16string_view before) const
{
    return m_matcher->Find(before);
}

std::optional<py::str> PythonReplacer::Get(const py::handle& before) const
{
    if (!PyUnicode_Check(before.ptr()))
        return std::nullopt;
    const std::optional<uint32_t> pair = PairOf(ToUnits(before));
    if (!pair)
        return std::nullopt;
    return ToStr(m_matcher->After(*pair));
}

py::list PythonReplacer::Items() const
{
    py::list items(m_matcher->GetPairCount());
    for (uint32_t k = 0; k < m_matcher->GetPairCount(); ++k)
        items[k] = py::make_tuple(ToStr(m_matcher->Before(k)), ToStr(m_matcher->After(k)));
    return items;
}

void PythonReplacer::Save(const py::object& path) const
{
    const std::string file = FileSystemPath(path);
    std::string error;
    bool saved = false;
    int systemError = 0;
    {
        py::gil_scoped_release nogil;
        saved = CompiledDictionary::Save(*m_matcher, file, error);
        systemError = errno;
    }
    if (saved)
        return;
    if (systemError != 0)
        RaiseOsError(systemError, path);
    throw py::value_error(error);
}

py::object PythonReplacer::State() const
{
    std::u16string units;
    bool nul = false;
    {
        py::gil_scoped_release nogil;
        std::vector<uint32_t> order(m_matcher->GetPairCount());
        for (uint32_t k = 0; k < order.size(); ++k) {
            order[k] = k;
            nul = nul || m_matcher->Before(k).find(u'\0') != std::u16string_view::npos
                || m_matcher->After(k).find(u'\0') != std::u16string_view::npos;
        }
        std::sort(order.begin(), order.end(),
                  [&](uint32_t a, uint32_t b) { return m_matcher->Before(a) < m_matcher->Before(b); });
        for (const uint32_t k : order) {
            units += m_matcher->Before(k);
            units += u'\0';
            units += m_matcher->After(k);
            units += u'\0';
        }
    }
    if (!nul)
        return ToStr(units);
    // Only a compiled file can hold a NUL, which would end a string above.
    std::string bytes;
    {
        py::gil_scoped_release nogil;
        bytes = CompiledDictionary::ToBytes(*m_matcher);
    }
    return py::bytes(bytes.data(), bytes.size());
}

size_t PythonReplacer::Size() const
{
    return m_matcher->GetPairCount();
}
