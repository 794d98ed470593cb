// The matches of one text against one compiled dictionary, and the output
// built from them.
//
// A TextScan keeps the matcher it scans with alive, so a later change to the
// Replacer never alters a finished scan. Any number of TextScans may share one
// matcher and scan on different threads at once; a single TextScan is not to
// be used from two threads at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CompiledMatcher;
class MatchList;

class TextScan {
public:
    explicit TextScan(std::shared_ptr<const CompiledMatcher> matcher);
    ~TextScan();
    TextScan(TextScan&&) noexcept;
    TextScan& operator=(TextScan&&) noexcept;

    // Leftmost-longest, non-overlapping matches of the whole of `text`.
    void Scan(std::u16string_view text);
    // The same matches, found by up to `threads` threads on parts of a long
    // text; the builders then fill the output with as many.
    void ScanParallel(std::u16string_view text, unsigned threads);
    // The same, one thread for each stretch between `cuts` (ascending).
    void ScanSplit(std::u16string_view text, const std::vector<size_t>& cuts);

    // Scans `text` as the front of a longer stream: keeps only the matches
    // that no continuation of `text` can change and returns the length of the
    // prefix they settle. The builders then take text.substr(0, returned);
    // the rest is to be scanned again with what follows it. Returns
    // text.size() when nothing is left open. With `threads` above one, a
    // long front is scanned as ScanParallel scans a whole text.
    size_t ScanFront(std::u16string_view text, unsigned threads = 1);
    // The same, one thread for each stretch between `cuts` (ascending).
    size_t ScanFront(std::u16string_view text, const std::vector<size_t>& cuts);

    // Both return "" when `text` is not as long as the scanned (settled) text.
    std::u16string BuildReplaced(std::u16string_view text) const;
    std::u16string BuildGlossed(std::u16string_view text) const;
    // Appends the output for `text` to `out`; false (nothing appended) when
    // `text` is not as long as the scanned text.
    bool AppendOutput(std::u16string_view text, bool gloss, std::u16string& out) const;
    // The output of one part of a text, as ScanAndBuild leaves it.
    struct OutputPart {
        std::u16string units; // the output is units[0, size); the rest is room kept for the next text
        size_t size = 0;
        bool changed = false; // the output differs from the text it was built from
    };
    // Scans as ScanFront(text, threads) does, or with `whole` all of `text`
    // as ScanParallel does, and builds the output of the settled text in
    // parts, one thread each: parts[p] holds the output of the p-th stretch,
    // and the stretches follow one another. `parts` is resized to the number
    // of threads used and keeps its buffers for the next call. Returns the
    // settled length.
    size_t ScanAndBuild(std::u16string_view text, unsigned threads, bool whole, bool gloss,
                        std::vector<OutputPart>& parts);
    // The same, one thread for each stretch between `cuts` (ascending).
    size_t ScanAndBuild(std::u16string_view text, const std::vector<size_t>& cuts, bool whole, bool gloss,
                        std::vector<OutputPart>& parts);

    size_t GetMatchCount() const;
    // Calls `f` for every match in text order.
    void ForEachMatch(const std::function<void(size_t start, std::u16string_view before, std::u16string_view after)>& f) const;

private:
    // Writes the output for the scanned `text` into `out` from `start`,
    // growing it when it is too short; returns the output's length.
    size_t PutOutput(std::u16string_view text, bool gloss, std::u16string& out, size_t start) const;
    // Scans text[0, stop) in parts split at `cuts`; returns where the scan
    // left off (at or past `stop`).
    size_t ScanParts(std::u16string_view text, const std::vector<size_t>& cuts, size_t stop);
    // ScanParts, keeping the matches of each part apart: the sequential
    // scan's matches in [shares[p], shares[p + 1]) go to lists[p].
    void ScanShares(std::u16string_view text, const std::vector<size_t>& cuts, size_t stop,
                    std::vector<MatchList>& lists, std::vector<size_t>& shares);
    // The output of text[from, to), whose matches are `matches`, into `out`.
    void BuildShare(std::u16string_view text, size_t from, size_t to, const MatchList& matches, bool gloss,
                    OutputPart& out) const;
    // Where a scan of a stream's front of `length` units stops: a match
    // from there on may still grow with the text that follows.
    size_t SettledStop(size_t length) const;
    // Where `threads` threads split a text of `length` units; none for a
    // short text.
    static std::vector<size_t> PartCuts(size_t length, unsigned threads);

    std::shared_ptr<const CompiledMatcher> m_matcher;
    std::unique_ptr<MatchList> m_matches;
    size_t m_scannedLength = 0;
    unsigned m_threads = 1;
};
