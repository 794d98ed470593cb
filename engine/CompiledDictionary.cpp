#include "CompiledDictionaryImage.h"

#include "AtomicFile.h"
#include "ByteStreams.h"
#include "LargePages.h"
#include "RegularFile.h"
#include "RunParts.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <vector>

#include <unistd.h>

using namespace compiled_dictionary;

namespace {

// Writes the header and table, then every section behind zeros up to its
// offset, through `put`.
template <typename Put>
bool PutFile(const std::string& head, const std::vector<std::string_view>& sections, const Put& put)
{
    static const char zeros[kAlign] = {};
    size_t at = head.size();
    if (!put(head))
        return false;
    for (const std::string_view section : sections) {
        const size_t gap = AlignUp(at) - at;
        if (!put({zeros, gap}) || !put(section))
            return false;
        at += gap + section.size();
    }
    return put({zeros, AlignUp(at) - at});
}

// From this size on, a regular file is read in parts at once, one a core:
// copying from the page cache and clearing the fresh pages the bytes land
// in are most of what an open costs before the check.
constexpr size_t kReadInPartsBytes = size_t(4) << 20;

// Reads [from, to) of `fd` into `into` at the same offsets, in parts at
// once; returns the end of the bytes read without a gap from `from` (short
// of `to` when the file has shrunk), or -1 with errno set.
ssize_t ReadInParts(int fd, char* into, size_t from, size_t to)
{
    const size_t parts = std::min<size_t>(UsableCores(), 4);
    std::vector<size_t> got(parts, 0);
    std::vector<int> failed(parts, 0);
    auto begin = [&](size_t p) { return from + (to - from) / parts * p; };
    RunParts(parts, [&](size_t p) {
        const size_t end = p + 1 == parts ? to : begin(p + 1);
        const ssize_t n = ReadAllAt(fd, into + begin(p), end - begin(p), begin(p));
        if (n < 0)
            failed[p] = errno;
        else
            got[p] = size_t(n);
    });
    size_t end = from;
    for (size_t p = 0; p < parts; ++p) {
        if (failed[p] != 0) {
            errno = failed[p];
            return -1;
        }
        end += got[p];
        if (end < (p + 1 == parts ? to : begin(p + 1)))
            break;
    }
    return ssize_t(end);
}

} // namespace

// Checksum.c, built as is and, on x86-64, for AVX2.
extern "C" uint64_t VelmoraChecksum(const char* data, size_t size, size_t zeroAt);
#ifdef VELMORA_CHECKSUM_AVX2
extern "C" uint64_t VelmoraChecksumAvx2(const char* data, size_t size, size_t zeroAt);
#endif

uint64_t CompiledDictionaryImage::Checksum(std::string_view file)
{
    constexpr size_t at = offsetof(Header, checksum);
#ifdef VELMORA_CHECKSUM_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        return VelmoraChecksumAvx2(file.data(), file.size(), at);
#endif
    return VelmoraChecksum(file.data(), file.size(), at);
}

std::string CompiledDictionaryImage::Layout(const Details::MatcherCore& matcher, std::vector<std::string_view>& sections)
{
    const View& v = matcher.m_view;
    sections = {{reinterpret_cast<const char*>(v.rootNext), kUnits * sizeof(uint32_t)},
                {reinterpret_cast<const char*>(v.unitClass), kUnits},
                {reinterpret_cast<const char*>(v.code), v.codeSize * sizeof(uint32_t)},
                {reinterpret_cast<const char*>(v.pairs), v.pairCount * sizeof(Pair)},
                {reinterpret_cast<const char*>(v.text), v.textSize * sizeof(char16_t)}};
    std::string head(kTableEnd, '\0');
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.byteOrder = kByteOrder;
    header.version = CompiledDictionary::kVersion;
    header.flags = matcher.m_doubleArray ? kDoubleArrayFlag : 0;
    header.classCount = matcher.m_classCount;
    header.maxBefore = matcher.m_maxBefore;
    header.sectionCount = kSectionCount;
    size_t at = AlignUp(kTableEnd);
    for (uint32_t k = 0; k < kSectionCount; ++k) {
        const Section section{k + 1, kElementBytes[k], at, sections[k].size() / kElementBytes[k]};
        std::memcpy(head.data() + kHeaderBytes + k * kSectionBytes, &section, kSectionBytes);
        at = AlignUp(at + sections[k].size());
    }
    header.fileBytes = at;
    std::memcpy(head.data(), &header, kHeaderBytes);
    return head;
}

bool CompiledDictionary::HasMagic(std::string_view head)
{
    return head.size() >= kMagicBytes && std::memcmp(head.data(), kMagic, kMagicBytes) == 0;
}

bool CompiledDictionary::Write(const CompiledMatcher& matcher, ByteSink& out)
{
    if (!kLittleEndian)
        return false;
    std::vector<std::string_view> sections;
    std::string head = CompiledDictionaryImage::Layout(matcher.Core(), sections);
    // The checksum first, over the same bytes, so that the file is written in one pass.
    XXH3_state_t state;
    XXH3_64bits_reset(&state);
    PutFile(head, sections, [&](std::string_view bytes) {
        XXH3_64bits_update(&state, bytes.data(), bytes.size());
        return true;
    });
    const uint64_t checksum = XXH3_64bits_digest(&state);
    std::memcpy(head.data() + offsetof(Header, checksum), &checksum, sizeof checksum);
    return PutFile(head, sections, [&](std::string_view bytes) { return bytes.empty() || out.Write(bytes); });
}

std::string CompiledDictionary::ToBytes(const CompiledMatcher& matcher)
{
    StringSink sink;
    Write(matcher, sink);
    return std::move(sink.text);
}

bool CompiledDictionary::Save(const CompiledMatcher& matcher, const std::string& path, std::string& error)
{
    if (!kLittleEndian) {
        error = path + ": compiled dictionaries are made on little-endian machines only";
        return false;
    }
    AtomicFile file;
    if (!file.Open(path) || !Write(matcher, file) || !file.Commit()) {
        error = path + ": " + file.ErrorText();
        errno = file.Error();
        return false;
    }
    return true;
}

void CompiledDictionary::Seal(std::string& bytes)
{
    if (bytes.size() < kHeaderBytes)
        return;
    const uint64_t size = bytes.size();
    std::memcpy(bytes.data() + offsetof(Header, fileBytes), &size, sizeof size);
    const uint64_t checksum = CompiledDictionaryImage::Checksum(bytes);
    std::memcpy(bytes.data() + offsetof(Header, checksum), &checksum, sizeof checksum);
}

std::shared_ptr<const CompiledMatcher> CompiledDictionary::FromBytes(std::string_view bytes, std::string& error)
{
    // A copy of its own, aligned for the arrays.
    auto words = std::make_shared<std::vector<uint64_t>>((bytes.size() + 7) / 8);
    if (!bytes.empty())
        std::memcpy(words->data(), bytes.data(), bytes.size());
    const std::string_view file(reinterpret_cast<const char*>(words->data()), bytes.size());
    return CompiledDictionaryImage::Open(file, std::move(words), error);
}

// Straight into words of its own, aligned for the arrays and not cleared
// first: clearing would write every page once more before the read does.
// A regular file takes one read (a large one, reads of parts at once), with
// room for a byte more that tells a file grown since it was opened; a pipe's
// bytes come into room that doubles.
std::shared_ptr<const CompiledMatcher> CompiledDictionary::Read(const RegularFile& file, std::string_view head,
                                                                std::string& error, int& systemError)
{
    constexpr size_t kPipeRoom = size_t(1) << 16;
    const uint64_t expected = file.IsRegular() ? std::max<uint64_t>(file.Size(), head.size()) + 1
                                               : head.size() + kPipeRoom;
    if (expected >= SIZE_MAX / 4) {
        systemError = EFBIG;
        error = std::strerror(systemError);
        return nullptr;
    }
    size_t room = size_t(expected);
    auto words = std::make_shared_for_overwrite<uint64_t[]>(room / 8 + 1);
    AdviseLargePages(words.get(), room);
    if (!head.empty()) // an empty view may have no address at all
        std::memcpy(words.get(), head.data(), head.size());
    size_t at = head.size();
    if (file.IsRegular() && room - 1 - at >= kReadInPartsBytes && UsableCores() > 1) {
        const ssize_t end = ReadInParts(file.Fd(), reinterpret_cast<char*>(words.get()), at, room - 1);
        if (end < 0 || ::lseek(file.Fd(), end, SEEK_SET) < 0) {
            systemError = errno;
            error = std::strerror(systemError);
            return nullptr;
        }
        at = size_t(end); // what follows, a file grown or shrunk meanwhile, as below
    }
    FdSource source(file.Fd());
    for (;;) {
        if (at == room) {
            auto more = std::make_shared_for_overwrite<uint64_t[]>(room * 2 / 8 + 1);
            std::memcpy(more.get(), words.get(), at);
            words = std::move(more);
            room *= 2;
        }
        const ssize_t n = source.Read(reinterpret_cast<char*>(words.get()) + at, room - at);
        if (n < 0) {
            systemError = errno;
            error = std::strerror(systemError);
            return nullptr;
        }
        if (n == 0)
            break;
        at += size_t(n);
    }
    const std::string_view bytes(reinterpret_cast<const char*>(words.get()), at);
    return CompiledDictionaryImage::Open(bytes, std::move(words), error);
}

std::shared_ptr<const CompiledMatcher> CompiledDictionary::Open(const std::string& path, std::string& error)
{
    RegularFile file(path, RegularFile::Kinds::OrPipe);
    int err = file.Error();
    std::shared_ptr<const CompiledMatcher> matcher;
    if (file.IsOpen())
        matcher = Read(file, {}, error, err);
    if (err != 0)
        error = path + ": " + (err == ENODEV ? "not a regular file or a pipe" : std::strerror(err));
    else if (!matcher)
        error = path + ": " + error;
    return matcher;
}

std::shared_ptr<const CompiledMatcher> CompiledDictionaryImage::Open(std::string_view file,
                                                                     std::shared_ptr<const void> storage,
                                                                     std::string& error)
{
    auto refuse = [&error](std::string why) {
        error = std::move(why);
        return nullptr;
    };
    if (!CompiledDictionary::HasMagic(file))
        return refuse("not a compiled dictionary");
    if (!kLittleEndian)
        return refuse("compiled dictionaries are read on little-endian machines only");
    if (file.size() < kHeaderBytes)
        return refuse("the compiled dictionary is truncated");
    Header header;
    std::memcpy(&header, file.data(), kHeaderBytes);
    if (header.byteOrder != kByteOrder)
        return refuse("the compiled dictionary is in another byte order than this machine's");
    if (header.version != CompiledDictionary::kVersion)
        return refuse("the compiled dictionary has format version " + std::to_string(header.version)
                      + "; this program reads version " + std::to_string(CompiledDictionary::kVersion)
                      + " (compile it again)");
    if (header.fileBytes > file.size() || file.size() < kTableEnd)
        return refuse("the compiled dictionary is truncated (" + std::to_string(file.size()) + " of "
                      + std::to_string(header.fileBytes) + " bytes)");
    if (header.fileBytes != file.size())
        return refuse("the compiled dictionary is longer than its header says (by "
                      + std::to_string(file.size() - header.fileBytes) + " bytes)");
    const char* const damaged = "the compiled dictionary is damaged";
    if (header.sectionCount != kSectionCount || (header.flags & ~kDoubleArrayFlag) != 0
        || header.classCount > Details::MatcherCore::kMaxClasses
        || (header.zero[0] | header.zero[1] | header.zero[2]) != 0)
        return refuse(damaged);
    const void* at[kSectionCount];
    uint64_t count[kSectionCount];
    for (uint32_t k = 0; k < kSectionCount; ++k) {
        Section s;
        std::memcpy(&s, file.data() + kHeaderBytes + k * kSectionBytes, kSectionBytes);
        if (s.id != k + 1 || s.elementBytes != kElementBytes[k] || s.offset % kAlign != 0 || s.offset < kTableEnd
            || s.offset > file.size() || s.count > (file.size() - s.offset) / s.elementBytes)
            return refuse(damaged);
        at[k] = file.data() + s.offset;
        count[k] = s.count;
    }
    View v;
    v.rootNext = static_cast<const uint32_t*>(at[kRootNext - 1]);
    v.unitClass = static_cast<const uint8_t*>(at[kClasses - 1]);
    v.code = static_cast<const uint32_t*>(at[kCode - 1]);
    v.codeSize = count[kCode - 1];
    v.pairs = static_cast<const Pair*>(at[kPairs - 1]);
    v.pairCount = count[kPairs - 1];
    v.text = static_cast<const char16_t*>(at[kText - 1]);
    v.textSize = count[kText - 1];
    if (count[kRootNext - 1] != kUnits || count[kClasses - 1] != kUnits || v.codeSize >= UINT32_MAX
        || v.pairCount >= UINT32_MAX)
        return refuse(damaged);
    if (const char* problem = Check(file, header, v))
        return refuse(std::string(damaged) + " (" + problem + ")");
    const bool doubleArray = (header.flags & kDoubleArrayFlag) != 0;
    return std::make_shared<const CompiledMatcher>(std::unique_ptr<const Details::MatcherCore>(
        new Details::MatcherCore(v, doubleArray, header.classCount, size_t(header.maxBefore), std::move(storage))));
}

