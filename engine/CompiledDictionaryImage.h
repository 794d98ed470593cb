// The layout of a compiled dictionary file (CompiledDictionary.h) and the
// one class that reads and writes a CompiledMatcher's arrays; shared by
// CompiledDictionary.cpp and CompiledDictionaryChecks.cpp only.
#pragma once

#include "CompiledDictionary.h"
#include "CompiledMatcher.h"
#include "detail/MatcherCore.h"
#include "detail/UnitValues.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace compiled_dictionary {

inline constexpr char kMagic[CompiledDictionary::kMagicBytes] = {'\x89', 'V', 'M', 'D', '\r', '\n', '\x1a', '\n'};
constexpr uint32_t kByteOrder = 0x01020304;
constexpr uint32_t kDoubleArrayFlag = 1;
constexpr size_t kHeaderBytes = 64;
constexpr size_t kSectionBytes = 24;
constexpr size_t kAlign = 64;
constexpr size_t kUnits = Details::kUnitValues; // of each of the two root sections
constexpr bool kLittleEndian = std::endian::native == std::endian::little;
enum SectionId : uint32_t { kRootNext = 1, kClasses, kCode, kPairs, kText, kSectionCount = kText };
// The size of an element of each section, by id - 1.
inline constexpr uint32_t kElementBytes[kSectionCount] = {4, 1, 4, 16, 2};

struct Header {
    char magic[8];
    uint32_t byteOrder;
    uint32_t version;
    uint64_t fileBytes;
    uint64_t checksum;
    uint32_t flags;
    uint32_t classCount;
    uint64_t maxBefore;
    uint32_t sectionCount;
    uint32_t zero[3];
};
static_assert(sizeof(Header) == kHeaderBytes);

struct Section {
    uint32_t id;
    uint32_t elementBytes;
    uint64_t offset;
    uint64_t count;
};
static_assert(sizeof(Section) == kSectionBytes);

constexpr size_t kTableEnd = kHeaderBytes + kSectionCount * kSectionBytes;

inline size_t AlignUp(size_t n)
{
    return (n + kAlign - 1) / kAlign * kAlign;
}

} // namespace compiled_dictionary

// Reads and writes the matcher's arrays; a friend of Details::MatcherCore.
class CompiledDictionaryImage {
public:
    using View = Details::MatcherCore::View;
    using Pair = Details::MatcherCore::Pair;
    static_assert(sizeof(Pair) == compiled_dictionary::kElementBytes[compiled_dictionary::kPairs - 1]
                  && alignof(Pair) <= compiled_dictionary::kAlign);

    // The header and table for `matcher`, checksum 0, and the sections' bytes.
    static std::string Layout(const Details::MatcherCore& matcher, std::vector<std::string_view>& sections);

    // Checks `file` whole and makes a matcher over it; `storage` keeps it.
    static std::shared_ptr<const CompiledMatcher> Open(std::string_view file, std::shared_ptr<const void> storage,
                                                       std::string& error);

    // XXH3-64 of `file`, its checksum field counted as 0.
    static uint64_t Checksum(std::string_view file);

private:
    // CompiledDictionaryChecks.cpp: each gives what is wrong, or null.
    // Everything behind the header and the section table's bounds.
    static const char* Check(std::string_view file, const compiled_dictionary::Header& header, const View& v);
    // The records from `from` to `to` in the stream, which hold the
    // subtrees of `roots` (ascending); `classOrder` is every class, in the
    // order a row's children are stored.
    static const char* CheckRecords(const View& v, std::span<const uint8_t> classOrder, std::span<const uint32_t> roots,
                                    size_t from, size_t to);
    static const char* CheckDoubleArray(const View& v, uint32_t classCount);
    static const char* CheckPairs(const View& v, uint64_t maxBefore);
};
