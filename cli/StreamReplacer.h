// Replaces one text read as a stream: blocks are decoded, the part of them
// that no later text can change is scanned, built and written, and the rest
// (the start of a match that may still grow, a cut character) is carried into
// the next block. The output is the same as replacing the whole text at once,
// whatever the block size, while memory stays within a few blocks plus the
// longest before-string.
#pragma once

#include "ByteStreams.h"
#include "PageRoom.h"
#include "TextCoding.h"
#include "TextScan.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// How often one pair was used; the views point into the compiled matcher.
struct PairUse {
    std::u16string_view before;
    std::u16string_view after;
    uint64_t count = 0;
};
// Keyed by the pair's before-string as the matcher holds it.
using PairUses = std::unordered_map<const char16_t*, PairUse>;

struct StreamResult {
    enum class Failure { None, Read, Decode, Encode, Write };
    Failure failure = Failure::None;
    int error = 0;       // errno, for Read and Write
    std::string message; // for Decode and Encode
    TextEncoding encoding = TextEncoding::Utf8;
    uint64_t bytes = 0;
    uint64_t units = 0;
    uint64_t replacements = 0;
    bool changed = false; // the output differs from the input
    // JSON lines kept as they came, for not being an object with the field
    // as a string; "line N: why" for the first few.
    uint64_t keptLines = 0;
    std::vector<std::string> firstKept;
};

// Replaces one text read from a stream, as plain text or in a framing of its
// own; velmora-replace runs one per file job.
class TextReplacer {
public:
    virtual ~TextReplacer() = default;
    // Reads `in` to its end and writes the replaced text to `out`. Counts
    // pair uses into `uses` and the bytes read into `progress` when given.
    virtual StreamResult Run(ByteSource& in, ByteSink& out, PairUses* uses = nullptr,
                             std::atomic<uint64_t>* progress = nullptr) = 0;
    // Reads `in` to its end only to see that Run would take it: the check
    // made before output that cannot be taken back once written.
    virtual StreamResult Check(ByteSource& in) = 0;
};

// Reads up to `size` bytes of `in`, counting them into `result` and
// `progress`; -1 with `result` saying why on a failure.
ssize_t ReadBlock(ByteSource& in, char* buffer, size_t size, StreamResult& result,
                  std::atomic<uint64_t>* progress);

// Adds the matches of `scan` to `uses`.
void CountPairUses(const TextScan& scan, PairUses& uses);

class StreamReplacer : public TextReplacer {
public:
    static constexpr size_t kDefaultBlockBytes = size_t(1) << 18;

    // `threads` scan each block together and build and encode its output
    // together, each thread the output of its own part.
    StreamReplacer(std::shared_ptr<const CompiledMatcher> matcher, bool gloss,
                   size_t blockBytes = kDefaultBlockBytes, unsigned threads = 1);

    // Reads `in` to its end and writes the replaced text to `out`, in the
    // encoding it came in. Counts pair uses into `uses` and the bytes read
    // into `progress` when they are given.
    StreamResult Run(ByteSource& in, ByteSink& out, PairUses* uses = nullptr,
                     std::atomic<uint64_t>* progress = nullptr) override;
    // CheckText in this replacer's blocks, into the buffer Run reads into.
    StreamResult Check(ByteSource& in) override;

private:
    void Account(StreamResult& result, PairUses* uses) const;
    // Encodes the output, in `pieces` that follow one another, and writes
    // it; false with `result` saying why.
    bool EncodeAndWrite(const std::vector<std::u16string_view>& pieces, TextEncoder& encoder, bool last,
                        ByteSink& out, StreamResult& result);

    TextScan m_scan;
    bool m_gloss;
    size_t m_blockBytes;
    unsigned m_threads;
    PageRoom<char> m_read; // filled by reads only: a short input touches few of its pages
    std::u16string m_units; // the carried units, then the new block's
    std::vector<TextScan::OutputPart> m_parts; // the block's output, a part for each thread, grown as needed
    std::unique_ptr<char[]> m_encoded;
    size_t m_encodedSize = 0;
};

// Reads `in` to its end, in blocks of `blockBytes` into `buffer`, only to see
// that it decodes (TextDecoder::Check): the check made before output that
// cannot be taken back once written. Counts the bytes, not the units.
StreamResult CheckText(ByteSource& in, PageRoom<char>& buffer, size_t blockBytes = StreamReplacer::kDefaultBlockBytes);
