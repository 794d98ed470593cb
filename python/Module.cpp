// The Python module `velmora`: Replacer, built on the engine and the
// dictionary file code.
#include "PythonReplacer.h"


namespace py = pybind11;

namespace {

// The Replacer that `self` is; TypeError for one made by Replacer.__new__
// alone, whose C++ object was never made.
const PythonReplacer& Made(py::handle self)
{
    auto* instance = reinterpret_cast<py::detail::instance*>(self.ptr());
    if (!instance->get_value_and_holder().holder_constructed())
        throw py::type_error("the Replacer was never initialised: make one with Replacer(pairs) or from_files");
    return py::cast<const PythonReplacer&>(self);
}

// Calls `f` with the Replacer that `self` is; a C++ exception becomes the
// Python one pybind11 would raise.
template <typename F>
PyObject* WithReplacer(PyObject* self, const F& f)
{
    try {
        return f(Made(self)).release().ptr();
    } catch (...) {
        py::detail::translate_exception(std::current_exception());
        return nullptr;
    }
}

PyObject* Replace(PyObject* self, PyObject* args, PyObject* kwargs)
{
    static const char* names[] = {"text", "gloss", nullptr};
    PyObject* text = nullptr;
    int gloss = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U|$p:replace", const_cast<char**>(names), &text, &gloss))
        return nullptr;
    return WithReplacer(self, [&](const PythonReplacer& r) {
        return r.Replace(py::reinterpret_borrow<py::str>(text), gloss != 0);
    });
}

PyObject* Counts(PyObject* self, PyObject* args, PyObject* kwargs)
{
    static const char* names[] = {"text", nullptr};
    PyObject* text = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U:counts", const_cast<char**>(names), &text))
        return nullptr;
    return WithReplacer(self, [&](const PythonReplacer& r) {
        return r.Counts(py::reinterpret_borrow<py::str>(text));
    });
}

PyMethodDef g_replace = {"replace", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Replace)),
                         METH_VARARGS | METH_KEYWORDS,
                         R"(replace($self, /, text, *, gloss=False)
--

The text rewritten: each match replaced by its after-string, or with gloss=True
kept and followed by "[after-string]". A character outside the BMP counts as
its two UTF-16 units; a lone surrogate passes through as it is. The text
itself comes back when nothing matched. A long text is scanned on all cores.)"};

PyMethodDef g_counts = {"counts", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Counts)),
                        METH_VARARGS | METH_KEYWORDS,
                        R"(counts($self, /, text)
--

How many times replace(text) replaces each before-string, for those it
replaces at all, in the order of their first match.)"};

} // namespace

PYBIND11_MODULE(velmora, m)
{
    m.doc() = R"(Rewrite text with a dictionary of (before, after) pairs, as Velmora does.

A text is rewritten in one left-to-right pass, at each position by the longest
before-string that starts there; matching is exact, UTF-16 code unit for code
unit. The results are those of the Velmora window and of velmora-replace.)";
    m.attr("__version__") = VELMORA_VERSION;

    py::class_<PythonReplacer> replacer(m, "Replacer", R"(A dictionary compiled for replacing.

It never changes once made. Any number of threads may replace with one
Replacer at once: the scan runs without the GIL. It pickles, so Dask and
Spark can ship it to their workers.)");
    replacer
        .def(py::init(&PythonReplacer::FromPairs), py::arg("pairs"),
             R"(A Replacer from an iterable of (before, after) pairs of str.

Pairs are taken as the window's Register takes them: a second after-string for
a before-string is joined to the first with "; " (unless it is already listed),
an empty after-string adds nothing, an empty before-string never matches, and a
string is cut at its first "\0".)")
        .def_static("from_files", &PythonReplacer::FromFiles,
                    R"(from_files(*paths) -> Replacer

Reads dictionary files as velmora-replace's -d options do, merged in order:
UTF-16LE behind the byte-order mark FF FE, or UTF-8, one before<TAB>after
line a pair, or compiled dictionary files (as save() writes them), which are
mapped as they are when given alone. Paths are str, bytes or os.PathLike.

Raises OSError for a file that cannot be read, ValueError naming the file for
one that is not a dictionary, MemoryError when it does not fit in memory.)")
        .def("save", [](py::handle self, const py::object& path) { Made(self).Save(path); }, py::arg("path"),
             R"(Writes the dictionary as a compiled dictionary file, which from_files and
velmora-replace -d open at once, however large; any file there is replaced
atomically. Raises OSError when it cannot be written.)")
        .def("__len__", [](py::handle self) { return Made(self).Size(); },
             "The number of before-strings that have an after-string.")
        .def("__repr__",
             [](py::handle self) { return "<velmora.Replacer of " + std::to_string(Made(self).Size()) + " pairs>"; })
        .def(py::pickle([](py::handle self) { return Made(self).State(); },
                        [](const py::bytes& state) { return PythonReplacer::FromState(state); }));

    // replace and counts are plain methods of the type, called without
    // pybind11's dispatch, which would cost more than a short text's scan
    // while the GIL is held; and their bound methods pickle, by object and
    // name, with the pickler that Dask and Spark send rdd.map(r.replace) with.
    for (PyMethodDef* method : {&g_replace, &g_counts}) {
        PyObject* descriptor = PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(replacer.ptr()), method);
        if (!descriptor)
            throw py::error_already_set();
        replacer.attr(method->ml_name) = py::reinterpret_steal<py::object>(descriptor);
    }
}
