// Replacer: the dictionary of (before, after) pairs and the leftmost-longest
// replacer built on it.
//
// Data layout
//   m_nodes      The record trie. MatchNode 0 is m_root, the head of the first
//                level. Every level is a singly linked list through `next`
//                that starts with a head node (unit U+0000) and keeps its real
//                nodes in creation order; `child` points to the head of the
//                level below. Links are indices into m_nodes, kNoNode (0) meaning none
//                (node 0 is never anybody's next or child). Nodes are never
//                unlinked; a pair exists where `after` is non-empty.
//   m_links      For each head, the last node of its level, so a new node is
//                linked behind it without walking the list; for each real
//                node, the head of its level.
//   m_firstLevel 65536 slots, unit -> node of the first level (or kNoNode).
//   m_index      (head of a deeper level, unit) -> node, so that adding and
//                removing never walk a level list. Nodes are entered only
//                when a lookup needs them (m_indexed counts those seen).
//   m_lastBefore The last before-string added and its nodes, one per unit:
//   m_lastPath   a new before-string finds the prefix it shares with the
//                last one without lookups. While every before-string added
//                so far came in ordinal order (m_ascending), the units behind
//                that prefix cannot be in the trie yet, so a sorted file is
//                added without any lookup at all.
//   m_matcher    A flat matcher (CompiledMatcher.h) compiled from the trie on
//                the first Scan after a change, or ahead of it on a thread of
//                its own (m_compiling, which every change first waits for and
//                drops): a compact forward trie walked
//                from each position, with an automaton over the reversed
//                before-strings for stretches where those walks would cost
//                more than linear time, and a copy of every pair.
//   m_scan       The matches of the last Scan (TextScan.h), which keep the
//                matcher they were found with alive: a later change to the
//                trie does not alter a finished scan.
//   m_entries    Snapshot of the pairs for display and saving, refilled only by
//                RebuildEntries and RefreshEntries; other code reads, sorts and
//                erases it in place.
//   m_touched    Before-strings changed since m_entries was last filled, so
//                RefreshEntries rebuilds only those.
//   m_afterPieces The pieces of every value that was joined to, so a join
//                need not split the whole value again.
#pragma once

#include "MatcherLayout.h"
#include "TextScan.h"

#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

class NodeIndex;
namespace Details {
struct MatchNode;
}

// A pair as the entry list hands it out.
struct ReplaceEntry {
    std::u16string before;
    std::u16string after;
};

// The first four units, the first in the high bits, a missing unit as 0: keys
// compare as the strings do, except that equal keys need the full strings.
uint64_t PrefixKey(std::u16string_view s);

// Ordinal order: unsigned 16-bit code units, a proper prefix first.
bool LessByBefore(const std::unique_ptr<ReplaceEntry>& a, const std::unique_ptr<ReplaceEntry>& b);
bool LessByAfter(const std::unique_ptr<ReplaceEntry>& a, const std::unique_ptr<ReplaceEntry>& b);

class Replacer {
public:
    Replacer();
    ~Replacer();
    Replacer(const Replacer&) = delete;
    Replacer& operator=(const Replacer&) = delete;

    // Room for `count` more trie nodes, so that a large load does not move
    // the node array again and again; a hint that is dropped when memory is short.
    void ReserveNodes(size_t count);

    // Strings are taken up to their first U+0000.
    void AddPair(const char16_t* before, const char16_t* after);
    // The same as AddPair on each pair in turn, but the pairs go in in
    // ordinal order of their before-strings (one before-string's pairs in
    // the given order), which most of them then need no lookup for. When
    // memory runs out, the pairs before the failing one in that order stay.
    void AddPairs(const std::vector<std::pair<std::u16string_view, std::u16string_view>>& pairs);
    // The matcher that an empty Replacer given `pairs` through AddPairs
    // compiles, built straight from the pairs: for a dictionary that is only
    // scanned with, never listed or changed. `parts` as for CompiledMatcher.
    static std::shared_ptr<const CompiledMatcher>
    CompilePairs(const std::vector<std::pair<std::u16string_view, std::u16string_view>>& pairs,
                 MatcherLayout layout = MatcherLayout::Automatic, ScanMethod method = ScanMethod::Automatic,
                 size_t parts = 0);
    bool RemovePair(const char16_t* before, const char16_t* after);

    // True when `after` is the whole stored value or one of its pieces (the
    // value split at TAB and "; ", empty pieces dropped).
    static bool IsAfterListed(std::u16string_view value, std::u16string_view after);

    void RebuildEntries();
    // The same entries, in the same order, as RebuildEntries() followed by
    // SortByBefore(), but only the pairs changed since the last refresh are
    // built anew; the others are kept and merged into place.
    void RefreshEntries();
    int GetEntryCount() const;
    void SortByBefore();
    void SortByAfter();
    // Writes m_entries in their order; defined with the dictionary file code.
    bool SaveToFile(const std::string& path, std::string* error = nullptr) const;

    // The dictionary as it stands, compiled for scanning; compiled anew only
    // after a change. It stays valid, unchanged, whatever happens later to
    // this Replacer, and TextScans on several threads may share it.
    std::shared_ptr<const CompiledMatcher> Compile();
    // The same dictionary compiled anew with the given choices, which the
    // tests force to check that each finds the same matches.
    std::shared_ptr<const CompiledMatcher> Compile(MatcherLayout layout, ScanMethod method) const;
    // Starts compiling the dictionary as it stands on a thread of its own,
    // so that the next Compile or Scan finds it ready; nothing when the
    // matcher is up to date or no thread can start. A change made meanwhile
    // first waits for that thread.
    void CompileAhead();

    // Leftmost-longest, non-overlapping matches of the dictionary in `text`.
    void Scan(std::u16string_view text);
    // Both return "" when `text` is not as long as the last scanned text.
    std::u16string BuildReplaced(std::u16string_view text) const;
    std::u16string BuildGlossed(std::u16string_view text) const;

    // Number of matches found by the last Scan.
    size_t GetMatchCount() const;
    // Number of trie nodes, heads included.
    size_t GetNodeCount() const;

    std::vector<std::unique_ptr<ReplaceEntry>> m_entries;

private:
    static constexpr uint32_t m_root = 0; // head of the first level; as a link, kNoNode

    void Add(std::u16string_view before, std::u16string_view after);
    uint32_t FindChild(uint32_t level, char16_t unit) const;
    void IndexNewNodes() const;
    uint32_t NewNode(char16_t unit);
    uint32_t FindPath(std::u16string_view before) const;
    void Touch(std::u16string_view before);
    // Appends to a stored value, in order, each piece of `after` that it does
    // not list yet; true when the value changed.
    bool JoinAfter(uint32_t node, std::u16string_view after);
    // Appends to `value` the pieces of `after` not in `pieces`, which holds
    // the value's pieces (or gets them first when `collect`).
    static bool JoinPieces(std::u16string& value, std::unordered_set<std::u16string>& pieces, bool collect,
                           std::u16string_view after);
    void RebuildSortedEntries();
    std::unique_ptr<ReplaceEntry> MakeEntry(std::u16string_view before, const std::u16string& after) const;

    std::vector<Details::MatchNode> m_nodes;
    std::vector<uint32_t> m_links; // head: the last node of its level; real node: its head
    std::vector<uint32_t> m_firstLevel;
    mutable std::unique_ptr<NodeIndex> m_index;
    mutable size_t m_indexed = 1; // nodes below this one are in m_index where they belong
    std::u16string m_lastBefore;
    std::vector<uint32_t> m_lastPath;
    bool m_ascending = true;
    std::u16string m_path;
    size_t m_pairCount = 0; // nodes holding a pair
    // For each node whose value was joined to: the pieces of that value.
    std::unordered_map<uint32_t, std::unordered_set<std::u16string>> m_afterPieces;
    // Before-strings (as entries spell them) added or removed since the entry
    // list was last built from the trie.
    std::vector<std::u16string> m_touched;
    bool m_touchedOverflow = false;

    // Waits for a compile started by CompileAhead and drops it: the trie is about to change.
    void DropCompileAhead();

    std::shared_ptr<const CompiledMatcher> m_matcher; // null while out of date
    TextScan m_scan{nullptr};
    // Last, so that it is waited for before the nodes it reads are destroyed.
    std::future<std::shared_ptr<const CompiledMatcher>> m_compiling;
};
