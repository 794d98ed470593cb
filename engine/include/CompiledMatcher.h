// A dictionary compiled for scanning, as Replacer::Compile and
// Replacer::CompilePairs give it and CompiledDictionary saves and opens it.
// It never changes once made: any number of TextScans on any number of
// threads may share one. How it is laid out and stepped through is the
// engine's own (engine/detail/MatcherCore.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace Details {
class MatcherCore;
}

class CompiledMatcher {
public:
    // Made by the engine only, over what it compiled or opened.
    explicit CompiledMatcher(std::unique_ptr<const Details::MatcherCore> core);
    ~CompiledMatcher();
    CompiledMatcher(const CompiledMatcher&) = delete;
    CompiledMatcher& operator=(const CompiledMatcher&) = delete;

    // The pairs, numbered from 0: distinct, non-empty before-strings, each
    // with its non-empty after-string.
    size_t GetPairCount() const;
    std::u16string_view Before(uint32_t pair) const;
    std::u16string_view After(uint32_t pair) const;
    // The pair whose before-string is `before`, if there is one.
    std::optional<uint32_t> Find(std::u16string_view before) const;

    // Length of the longest before-string (0 without pairs).
    size_t MaxBeforeLength() const;
    // Whether a before-string holds a line break (CR or LF): only then does a
    // text cut at line ends and replaced piece by piece differ from the whole.
    bool BeforeHoldsLineBreak() const;

    // Bytes held, for the benchmarks (a compiled file's bytes included).
    size_t MemoryBytes() const;

    const Details::MatcherCore& Core() const { return *m_core; }

private:
    std::unique_ptr<const Details::MatcherCore> m_core;
};
