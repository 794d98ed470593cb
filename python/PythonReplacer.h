// The object behind velmora.Replacer: a compiled dictionary, shared by every
// thread that replaces with it, and never changed once made.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <string>

class CompiledMatcher;

class PythonReplacer {
public:
    explicit PythonReplacer(std::shared_ptr<const CompiledMatcher> matcher);

    static PythonReplacer FromFiles(const pybind11::args& paths);
    // From (before, after) pairs, joined as the window's Register joins them.
    static PythonReplacer FromPairs(const pybind11::iterable& pairs);
    // From the bytes that State() gave.
    static PythonReplacer FromState(const pybind11::bytes& state);

    pybind11::str Replace(const pybind11::str& text, bool gloss) const;
    pybind11::dict Counts(const pybind11::str& text) const;
    void Save(const pybind11::object& path) const;
    // The compiled dictionary file's bytes, for pickling.
    pybind11::bytes State() const;
    size_t Size() const;

private:
    std::shared_ptr<const CompiledMatcher> m_matcher;
};
