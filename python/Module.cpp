// The Python module `velmora`: Replacer, built on the engine and the
// dictionary file code.
#include "PythonReplacer.h"


namespace py = pybind11;

namespace {

// An argument taken as any object and checked by the code it goes to, named
// in help() by the type it is meant to be.
template <typename Name>
struct Typed {
    py::object value;
};
struct StrName {
    static constexpr auto name = py::detail::const_name("str");
};
struct PathName {
    static constexpr auto name = py::detail::const_name("str | bytes | os.PathLike");
};
struct PairsName {
    static constexpr auto name = py::detail::const_name("Iterable[tuple[str, str]] | Mapping[str, str]");
};
struct ItemsName {
    static constexpr auto name = py::detail::const_name("list[tuple[str, str]]");
};
struct StateName {
    static constexpr auto name = py::detail::const_name("str | bytes");
};

// The Replacer a method is called on, so that help() names its type.
struct Self {
    py::handle value;
};

} // namespace

namespace pybind11::detail {
template <typename Name>
struct type_caster<Typed<Name>> {
    PYBIND11_TYPE_CASTER(Typed<Name>, Name::name);
    bool load(handle source, bool)
    {
        value.value = reinterpret_borrow<object>(source);
        return true;
    }
    static handle cast(const Typed<Name>& typed, return_value_policy, handle) { return typed.value.inc_ref(); }
};
template <>
struct type_caster<Self> {
    PYBIND11_TYPE_CASTER(Self, const_name("Replacer"));
    bool load(handle source, bool)
    {
        if (!isinstance<PythonReplacer>(source))
            return false;
        value.value = source;
        return true;
    }
    static handle cast(const Self& self, return_value_policy, handle) { return self.value.inc_ref(); }
};
} // namespace pybind11::detail

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
const PythonReplacer& Made(Self self)
{
    return Made(self.value);
}

// Gives `self`, made by Replacer.__new__, its C++ object, as pybind11's own
// constructors do; TypeError when it has one already, as a Replacer never
// changes once made.
void Construct(Self self, PythonReplacer made)
{
    auto* instance = reinterpret_cast<py::detail::instance*>(self.value.ptr());
    py::detail::value_and_holder holder
        = instance->get_value_and_holder(py::detail::get_type_info(typeid(PythonReplacer)));
    if (holder.holder_constructed())
        throw py::type_error("the Replacer is made already and never changes: make a new one");
    holder.value_ptr() = new PythonReplacer(std::move(made));
    holder.type->init_instance(instance, nullptr);
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

// A method of one str argument, `text`; `format` names it for errors.
constexpr char kCounts[] = "U:counts";
constexpr char kFind[] = "U:find";
template <auto method, const char* format>
PyObject* OfText(PyObject* self, PyObject* args, PyObject* kwargs)
{
    static const char* names[] = {"text", nullptr};
    PyObject* text = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, format, const_cast<char**>(names), &text))
        return nullptr;
    return WithReplacer(self, [&](const PythonReplacer& r) {
        return (r.*method)(py::reinterpret_borrow<py::str>(text));
    });
}

template <typename F>
PyCFunction AsMethod(F* f)
{
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

PyMethodDef g_methods[] = {
    {"replace", AsMethod(Replace), METH_VARARGS | METH_KEYWORDS,
     R"(replace($self, /, text, *, gloss=False)
--

replace(text: str, *, gloss: bool = False) -> str

The text rewritten: each match replaced by its after-string, or with
gloss=True kept and followed by "[after-string]". A character outside the BMP
counts as its two UTF-16 units; a lone surrogate passes through as it is. The
text itself comes back when nothing matched. A long text is scanned on all
cores, and Ctrl+C stops it (KeyboardInterrupt).)"},
    {"counts", AsMethod(OfText<&PythonReplacer::Counts, kCounts>), METH_VARARGS | METH_KEYWORDS,
     R"(counts($self, /, text)
--

counts(text: str) -> dict[str, int]

How many times replace(text) replaces each before-string, for those
it replaces at all, in the order of their first match.)"},
    {"find", AsMethod(OfText<&PythonReplacer::Find, kFind>), METH_VARARGS | METH_KEYWORDS,
     R"(find($self, /, text)
--

find(text: str) -> list[tuple[int, int, str, str]]

(start, end, before, after) for each match that replace(text) replaces, in
text order, start and end indices into the text: text[start:end] is the
before-string. Only a before-string that holds a lone surrogate can match
half of a character outside the BMP; such a match spans the whole character,
so text[start:end] then holds the character, and two matches may share it.)"},
};

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
        .def(
            "__init__",
            [](Self self, const Typed<PairsName>& pairs) { Construct(self, PythonReplacer::FromPairs(pairs.value)); },
            py::arg("pairs"),
            R"(A Replacer from an iterable of (before, after) pairs of str, or from a
mapping of before-strings to after-strings.

Pairs are taken as the window's Register takes them: a second after-string for
a before-string is joined to the first with "; " (unless it is already listed),
an empty after-string adds nothing and an empty before-string never matches.
A string holding "\0" raises ValueError.)")
        .def(
            "save", [](Self self, const Typed<PathName>& path) { Made(self).Save(path.value); }, py::arg("path"),
            R"(Writes the dictionary as a compiled dictionary file, which from_files and
velmora-replace -d open at once, however large; any file there is replaced
atomically. Raises OSError when it cannot be written.)")
        .def(
            "get",
            [](Self self, const Typed<StrName>& before, const py::object& otherwise) -> py::object {
                const std::optional<py::str> after = Made(self).Get(before.value);
                return after ? *after : otherwise;
            },
            py::arg("before"), py::arg("default") = py::none(),
            "The after-string of `before`, or `default` when it is no before-string.")
        .def(
            "__contains__", [](Self self, const Typed<StrName>& before) { return Made(self).Get(before.value).has_value(); },
            py::arg("before"), "Whether `before` is one of the before-strings.")
        .def(
            "items", [](Self self) { return Typed<ItemsName>{Made(self).Items()}; },
            "A list of the (before, after) pairs, in the order save() writes them.")
        .def(
            "__len__", [](Self self) { return Made(self).Size(); },
            "The number of before-strings that have an after-string.")
        .def("__repr__",
             [](Self self) {
                 auto* instance = reinterpret_cast<py::detail::instance*>(self.value.ptr());
                 if (!instance->get_value_and_holder().holder_constructed())
                     return std::string("<velmora.Replacer, never initialised>");
                 return "<velmora.Replacer of " + std::to_string(Made(self).Size()) + " pairs>";
             })
        .def(
            "__getstate__", [](Self self) { return Typed<StateName>{Made(self).State()}; },
            "For pickle: the pairs, each string followed by \"\\0\", in ordinal order.")
        .def(
            "__setstate__",
            [](Self self, const Typed<StateName>& state) { Construct(self, PythonReplacer::FromState(state.value)); },
            py::arg("state"), "For pickle: the Replacer that __getstate__ gave the state of.");
    // pybind11 takes these two for its own constructors by their names, and
    // skips them, silently, on a Replacer made already; they check for
    // themselves instead (Construct).
    for (const char* name : {"__init__", "__setstate__"}) {
        const py::handle function = py::detail::get_function(replacer.attr(name));
        const auto record = py::reinterpret_borrow<py::capsule>(PyCFunction_GET_SELF(function.ptr()));
        record.get_pointer<py::detail::function_record>()->is_constructor = false;
    }
    {
        // *paths, which pybind11 would call *args.
        py::options options;
        options.disable_function_signatures();
        replacer.def_static("from_files", &PythonReplacer::FromFiles,
                            R"(from_files(*paths: str | bytes | os.PathLike) -> Replacer

Reads dictionary files as velmora-replace's -d options do, merged in order:
UTF-16LE behind the byte-order mark FF FE, or UTF-8, one before<TAB>after
line a pair, or compiled dictionary files (as save() writes them), which are
used as they are when given alone. At least one path is needed.

Raises OSError for a file that cannot be read, ValueError naming the file for
one that is not a dictionary, MemoryError when it does not fit in memory.)");
    }

    // replace, counts and find are plain methods of the type, called without
    // pybind11's dispatch, which would cost more than a short text's scan
    // while the GIL is held; and their bound methods pickle, by object and
    // name, with the pickler that Dask and Spark send rdd.map(r.replace) with.
    for (PyMethodDef& method : g_methods) {
        PyObject* descriptor = PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(replacer.ptr()), &method);
        if (!descriptor)
            throw py::error_already_set();
        replacer.attr(method.ml_name) = py::reinterpret_steal<py::object>(descriptor);
    }
}
