// The object behind velmora.Replacer: a compiled dictionary, shared by every
// thread that replaces with it, and never changed once made.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class CompiledMatcher;

class PythonReplacer {
public:
    explicit PythonReplacer(std::shared_ptr<const CompiledMatcher> matcher);

    static PythonReplacer FromFiles(const pybind11::args& paths);
    // From (before, after) pairs, or a mapping of before- to after-strings,
    // joined as the window's Register joins them.
    static PythonReplacer FromPairs(const pybind11::handle& pairs);
    // From what State() gave.
    static PythonReplacer FromState(const pybind11::handle& state);

    // Each of these three checks for signals between blocks of a long text
    // and raises what their handlers raise (KeyboardInterrupt on Ctrl+C).
    pybind11::object Replace(const pybind11::str& text, bool gloss) const;
    pybind11::dict Counts(const pybind11::str& text) const;
    // (start, end, before, after) for each match, indices into the str.
    pybind11::list Find(const pybind11::str& text) const;

    // The after-string of `before`; nullopt for a string that is none of the
    // before-strings, or not a str.
    std::optional<pybind11::str> Get(const pybind11::handle& before) const;
    // (before, after) for every pair, in the order save() writes them.
    pybind11::list Items() const;

    void Save(const pybind11::object& path) const;
    // For pickling: the pairs as one str, each string followed by "\0", the
    // before-strings in ordinal order. It is smaller than the compiled file,
    // often by far, and compiled again on arrival (a fifth of a second for
    // 300,000 pairs). A compiled file's bytes pickle the dictionary of one
    // whose strings hold a NUL, which only a file can give, and are read too.
    pybind11::object State() const;
    size_t Size() const;

private:
    // The pair whose before-string is `before`.
    std::optional<uint32_t> PairOf(std::u16string_view before) const;

    std::shared_ptr<const CompiledMatcher> m_matcher;
};
