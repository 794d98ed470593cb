// velmora-replace --jsonl on any bytes: no input may be read out of bounds
// or crash (the sanitizers watch), and
//   - the result (bytes, or the failure and its message) is the same in
//     blocks of any size and on one thread or two;
//   - the check made before writing to standard output accepts exactly what
//     the run accepts, with the same message;
//   - a dictionary that matches nothing gives every line back as it came;
//   - the output reads again, as the same number of lines, the same of them
//     kept.
//
// The first byte chooses: bit 0 glosses, bit 1 keeps bad lines, bits 2-7
// the small block size (1 to 64 bytes). The rest is the text; the field is
// "t".
#include "CompiledMatcher.h"
#include "JsonLinesReplacer.h"
#include "Replacer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "JSON lines fuzz: %s\n", what);
        std::abort();
    }
}

std::shared_ptr<const CompiledMatcher> Matcher(const std::vector<std::pair<std::u16string, std::u16string>>& pairs)
{
    std::vector<std::pair<std::u16string_view, std::u16string_view>> views(pairs.begin(), pairs.end());
    return Replacer::CompilePairs(views);
}

// Pairs whose output needs every kind of escape, and a lone surrogate each way.
const std::shared_ptr<const CompiledMatcher>& Replacing()
{
    static const auto matcher = Matcher({{u"a", u"\"\\/\x01\x1F"},
                                         {u"b", u"\n\t\r\b\f"},
                                         {u"\xD83D", u"x"},
                                         {u"c", u"\U0001F600\xDC00"},
                                         {u"\u00E9", u"\u3042"},
                                         {u"ab", u""}});
    return matcher;
}

// Units no JSON text of the fuzzer's is likely to decode to.
const std::shared_ptr<const CompiledMatcher>& MatchingNothing()
{
    static const auto matcher = Matcher({{u"\uFDD0\uFDD1\uFDD2\uFDD3", u"z"}});
    return matcher;
}

struct Outcome {
    StreamResult result;
    std::string output;
};

Outcome Run(const std::shared_ptr<const CompiledMatcher>& matcher, std::string_view text, bool gloss, bool keep,
            size_t block, unsigned threads)
{
    JsonLinesReplacer replacer(matcher, "t", gloss, block, threads, keep);
    StringSource source{std::string(text)};
    StringSink sink;
    Outcome outcome;
    outcome.result = replacer.Run(source, sink);
    outcome.output = std::move(sink.text);
    return outcome;
}

StreamResult CheckOnly(std::string_view text, bool keep, size_t block)
{
    JsonLinesReplacer replacer(Replacing(), "t", false, block, 1, keep);
    StringSource source{std::string(text)};
    return replacer.Check(source);
}

// The counts of a failed text are of what was done before the failure.
bool SameResult(const StreamResult& a, const StreamResult& b)
{
    return a.failure == b.failure && a.message == b.message
        && (a.failure != StreamResult::Failure::None
            || (a.replacements == b.replacements && a.keptLines == b.keptLines && a.firstKept == b.firstKept));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool gloss = (data[0] & 1) != 0;
    const bool keep = (data[0] & 2) != 0;
    const size_t small = size_t(data[0] >> 2) + 1;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

    const Outcome whole = Run(Replacing(), text, gloss, keep, text.size() + 1, 1);
    const Outcome pieces = Run(Replacing(), text, gloss, keep, small, 1);
    // Threads cost a start each: they share one block.
    const Outcome shared = Run(Replacing(), text, gloss, keep, text.size() + 1, 2);
    const bool ok = whole.result.failure == StreamResult::Failure::None;
    Check(SameResult(pieces.result, whole.result) && SameResult(shared.result, whole.result),
          "the result depends on the block size or the threads");
    Check(!ok || (pieces.output == whole.output && shared.output == whole.output),
          "the output depends on the block size or the threads");
    Check(ok || whole.result.failure == StreamResult::Failure::Decode, "a failure other than a bad line");
    Check(ok || !keep, "a bad line failed the text though bad lines are kept");

    const StreamResult checked = CheckOnly(text, keep, small);
    Check(checked.failure == whole.result.failure && checked.message == whole.result.message,
          "the check and the run disagree");

    const Outcome unmatched = Run(MatchingNothing(), text, gloss, keep, small, 1);
    Check(unmatched.result.failure == whole.result.failure, "the dictionary changed what is accepted");
    Check(!ok || (unmatched.output == text && !unmatched.result.changed),
          "a dictionary matching nothing changed the text");

    if (ok) {
        const StreamResult again = CheckOnly(whole.output, keep, small);
        Check(again.failure == StreamResult::Failure::None, "the output does not read again");
        Check(again.keptLines == whole.result.keptLines, "the output keeps other lines");
        Check(std::count(whole.output.begin(), whole.output.end(), '\n') == std::count(text.begin(), text.end(), '\n'),
              "the output has another number of lines");
    }
    return 0;
}
