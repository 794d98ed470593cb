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
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace {

// A scan numbers text positions with 32 bits.
constexpr size_t kMaxUnits = UINT32_MAX;

// Asked once: the system answers from a file.
unsigned ScanThreads()
{
    static const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    return threads;
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

// The units of `text`, found without the GIL.
void ToUnits(const StrView& text, std::u16string& units)
{
    AppendUtf16(text, units);
    if (units.size() > kMaxUnits)
        throw py::value_error("the text is longer than 4,294,967,295 UTF-16 units; replace it in parts");
}

} // namespace

PythonReplacer::PythonReplacer(std::shared_ptr<const CompiledMatcher> matcher)
    : m_matcher(std::move(matcher))
{
}

PythonReplacer PythonReplacer::FromFiles(const py::args& paths)
{
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

PythonReplacer PythonReplacer::FromPairs(const py::iterable& pairs)
{
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
        AppendUtf16(ViewOfStr(before.ptr()), units);
        const size_t beforeEnd = units.size();
        AppendUtf16(ViewOfStr(after.ptr()), units);
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

PythonReplacer PythonReplacer::FromState(const py::bytes& state)
{
    char* data = nullptr;
    Py_ssize_t size = 0;
    PyBytes_AsStringAndSize(state.ptr(), &data, &size);
    std::string error;
    std::shared_ptr<const CompiledMatcher> matcher;
    {
        py::gil_scoped_release nogil;
        matcher = CompiledDictionary::FromBytes(std::string_view(data, size_t(size)), error);
    }
    if (!matcher)
        throw py::value_error("pickled Replacer: " + error);
    return PythonReplacer(std::move(matcher));
}

py::str PythonReplacer::Replace(const py::str& text, bool gloss) const
{
    const StrView view = ViewOfStr(text.ptr());
    std::u16string units;
    std::u16string output;
    StrShape shape;
    bool changed = false;
    {
        py::gil_scoped_release nogil;
        ToUnits(view, units);
        TextScan scan(m_matcher);
        scan.ScanParallel(units, ScanThreads());
        changed = scan.GetMatchCount() != 0;
        if (changed) {
            scan.AppendOutput(units, gloss, output);
            shape = ShapeOfUtf16(output);
        }
    }
    if (!changed)
        return text;
    PyObject* str = NewStr(output, shape);
    if (!str)
        throw py::error_already_set();
    return py::reinterpret_steal<py::str>(str);
}

py::dict PythonReplacer::Counts(const py::str& text) const
{
    const StrView view = ViewOfStr(text.ptr());
    // In the order of each before-string's first match.
    std::vector<std::pair<std::u16string_view, size_t>> counts;
    {
        py::gil_scoped_release nogil;
        std::u16string units;
        ToUnits(view, units);
        TextScan scan(m_matcher);
        scan.ScanParallel(units, ScanThreads());
        std::unordered_map<const char16_t*, size_t> slots; // the matcher's before-string -> counts index
        scan.ForEachMatch([&](size_t, std::u16string_view before, std::u16string_view) {
            const auto [at, added] = slots.try_emplace(before.data(), counts.size());
            if (added)
                counts.emplace_back(before, 0);
            ++counts[at->second].second;
        });
    }
    py::dict result;
    for (const auto& [before, count] : counts)
        result[ToStr(before)] = count;
    return result;
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

py::bytes PythonReplacer::State() const
{
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
