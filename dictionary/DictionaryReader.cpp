#include "DictionaryReader.h"

#include "DictionaryLines.h"

#include "ByteStreams.h"
#include "LargePages.h"
#include "RegularFile.h"
#include "Replacer.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

// Dictionaries hold about one new trie node in five units of text; room for
// one in four spares denser ones a regrowth, and room that is not used is
// never touched.
constexpr size_t kUnitsPerReservedNode = 4;

// A last line without a line end would never match; give it one.
void EndLastLine(std::u16string& text)
{
    if (!text.empty() && text.back() != u'\r' && text.back() != u'\n')
        text.push_back(u'\n');
}

DictionarySearchHook& SearchHook()
{
    static DictionarySearchHook hook;
    return hook;
}

// Reads a regular file and decodes it on the way into `text`, the one buffer
// the pattern reads, sized from the file's size once the mark is seen: the
// file is never held twice. Ok, CannotOpen or NoBom. Throws std::bad_alloc
// when the text does not fit in memory.
DictionaryLoadStatus ReadUtf16Text(const std::string& path, std::u16string& text)
{
    const RegularFile file(path);
    if (!file.IsOpen())
        return DictionaryLoadStatus::CannotOpen;
    // Half a unit per byte: the mark's unit makes room for a last line end.
    const uint64_t units = file.Size() / 2;
    if (units >= text.max_size())
        return DictionaryLoadStatus::CannotOpen;
    text.clear();

    FdSource source(file.Fd());
    unsigned char chunk[65536];
    int low = -1;        // the first byte of a unit split between two reads
    bool marked = false; // the first unit was the mark FF FE
    for (;;) {
        const ssize_t n = source.Read(reinterpret_cast<char*>(chunk), sizeof chunk);
        if (n < 0)
            return DictionaryLoadStatus::CannotOpen;
        if (n == 0)
            break;
        size_t i = 0;
        if (low >= 0) {
            const char16_t unit = char16_t(low | (chunk[i++] << 8));
            low = -1;
            if (marked) {
                text.push_back(unit);
            } else if (unit == 0xFEFF) {
                marked = true;
                text.reserve(size_t(units)); // only now: a file of another kind may be huge
            } else {
                return DictionaryLoadStatus::NoBom;
            }
        }
        if (!marked && size_t(n) - i >= 2) {
            if (chunk[i] != 0xFF || chunk[i + 1] != 0xFE)
                return DictionaryLoadStatus::NoBom;
            marked = true;
            i += 2;
            text.reserve(size_t(units));
        }
        const size_t pairs = (size_t(n) - i) / 2;
        const size_t old = text.size();
        text.resize(old + pairs);
        char16_t* out = text.data() + old;
        for (size_t k = 0; k < pairs; ++k, i += 2)
            out[k] = char16_t(chunk[i] | (chunk[i + 1] << 8));
        if (i < size_t(n))
            low = chunk[i];
    }
    if (!marked)
        return DictionaryLoadStatus::NoBom;
    EndLastLine(text);
    return DictionaryLoadStatus::Ok;
}

} // namespace

void SetDictionarySearchHook(DictionarySearchHook hook)
{
    SearchHook() = std::move(hook);
}

std::optional<std::u16string> DecodeDictionaryBytes(std::string_view bytes)
{
    if (bytes.size() < 2 || uint8_t(bytes[0]) != 0xFF || uint8_t(bytes[1]) != 0xFE)
        return std::nullopt;
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data()) + 2;
    std::u16string text((bytes.size() - 2) / 2, u'\0');
    for (char16_t& unit : text) {
        unit = char16_t(p[0] | (p[1] << 8));
        p += 2;
    }
    return text;
}

size_t ParseDictionaryText(std::u16string_view text, const DictionaryPairSink& sink)
{
    return ParseDictionaryLines(text, SearchHook(), sink);
}

size_t ParseDictionaryText(std::u16string_view text,
                           std::vector<std::pair<std::u16string_view, std::u16string_view>>& pairs)
{
    // A pair takes at least four units (before, TAB, after, line end; the
    // last line's end may be missing): room for that many, so that the list
    // is never moved. The room no pair fills is never touched.
    const size_t most = text.size() / 4 + 1;
    if (pairs.size() + most > pairs.capacity()) // never less than doubling, over many files
        pairs.reserve(std::max(pairs.size() + most, 2 * pairs.capacity()));
    AdviseLargePages(pairs.data(), pairs.capacity() * sizeof(pairs[0]));
    return ParseDictionaryLines(text, SearchHook(), [&pairs](std::u16string_view before, std::u16string_view after) {
        pairs.emplace_back(before, after);
    });
}

size_t ParseDictionaryText(std::u16string_view text, Replacer& replacer)
{
    replacer.ReserveNodes(text.size() / kUnitsPerReservedNode);
    // The pairs are gathered first and added together, which lets the
    // Replacer take them in sorted order.
    std::vector<std::pair<std::u16string_view, std::u16string_view>> pairs;
    size_t count = 0;
    try {
        count = ParseDictionaryText(text, pairs);
    } catch (...) {
        replacer.AddPairs(pairs); // the pairs found before the reading ended
        throw;
    }
    replacer.AddPairs(pairs);
    return count;
}

DictionaryLoadStatus LoadDictionaryFile(const std::string& path, Replacer& replacer)
{
    std::u16string text;
    const DictionaryLoadStatus read = ReadUtf16Text(path, text);
    if (read != DictionaryLoadStatus::Ok)
        return read;
    try {
        ParseDictionaryText(std::u16string_view(text), replacer);
    } catch (const std::exception&) {
        // std::bad_alloc
        return DictionaryLoadStatus::Incomplete;
    }
    return DictionaryLoadStatus::Ok;
}
