// Replaces one field of every document in a JSON-lines text: UTF-8, one JSON
// object a line. The field's string value is decoded to UTF-16 code units,
// replaced as a text of its own and written back as a JSON string; every
// other byte of the line, the line break included, passes through as it
// came, and so does a whole line whose value has no match. A line that is not
// a JSON object holding the field once, as a string, fails the text with its
// line number.
#pragma once

#include "PageRoom.h"
#include "StreamReplacer.h"

#include <memory>
#include <string>
#include <vector>

class JsonLinesReplacer : public TextReplacer {
public:
    // How many kept lines a result names.
    static constexpr size_t kKeptLinesNamed = 5;

    // `field` is the key as UTF-8, compared with each key unescaped.
    // `threads` replace the lines of each block together. With
    // `keepBadLines`, a bad line is written as it came and counted instead
    // of failing the text.
    JsonLinesReplacer(std::shared_ptr<const CompiledMatcher> matcher, std::string field, bool gloss,
                      size_t blockBytes = StreamReplacer::kDefaultBlockBytes, unsigned threads = 1,
                      bool keepBadLines = false);
    ~JsonLinesReplacer() override;

    StreamResult Run(ByteSource& in, ByteSink& out, PairUses* uses = nullptr,
                     std::atomic<uint64_t>* progress = nullptr) override;
    StreamResult Check(ByteSource& in) override;

private:
    class Worker;

    // Reads `in` to its end; replaces into `out` unless it is null.
    StreamResult Pass(ByteSource& in, ByteSink* out, PairUses* uses, std::atomic<uint64_t>* progress);
    // The whole lines of `lines`, spread over the workers; false with
    // `result` saying why on the first bad line.
    bool Lines(std::string_view lines, ByteSink* out, PairUses* uses, StreamResult& result);

    std::shared_ptr<const CompiledMatcher> m_matcher;
    std::string m_field;
    bool m_gloss;
    bool m_keepBadLines;
    size_t m_blockBytes;
    unsigned m_threads;
    std::vector<std::unique_ptr<Worker>> m_workers;
    PageRoom<char> m_bytes;  // the carried start of a line, then the block read behind it
    uint64_t m_linesDone = 0; // lines before m_bytes
};
