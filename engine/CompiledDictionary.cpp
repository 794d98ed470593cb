#include "CompiledDictionary.h"

#include "AtomicFile.h"
#include "CompiledMatcher.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "RunParts.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <functional>
#include <span>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kMagic[CompiledDictionary::kMagicBytes] = {'\x89', 'V', 'M', 'D', '\r', '\n', '\x1a', '\n'};
constexpr uint32_t kByteOrder = 0x01020304;
constexpr uint32_t kDoubleArrayFlag = 1;
constexpr size_t kHeaderBytes = 64;
constexpr size_t kSectionBytes = 24;
constexpr size_t kAlign = 64;
constexpr size_t kChecksumAt = 24;
constexpr size_t kUnits = 65536;
constexpr bool kLittleEndian = std::endian::native == std::endian::little;
// From this size on, opening checks a file on several threads.
constexpr size_t kParallelBytes = size_t(4) << 20;

enum SectionId : uint32_t { kRootNext = 1, kClasses, kCode, kPairs, kText, kSectionCount = kText };

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

size_t AlignUp(size_t n)
{
    return (n + kAlign - 1) / kAlign * kAlign;
}

uint64_t Checksum(std::string_view file)
{
    XXH3_state_t state;
    XXH3_64bits_reset(&state);
    const uint64_t zero = 0;
    XXH3_64bits_update(&state, file.data(), kChecksumAt);
    XXH3_64bits_update(&state, &zero, sizeof zero);
    XXH3_64bits_update(&state, file.data() + kChecksumAt + sizeof zero, file.size() - kChecksumAt - sizeof zero);
    return XXH3_64bits_digest(&state);
}

} // namespace

// Reads and writes the matcher's arrays; a friend of CompiledMatcher.
class CompiledDictionaryImage {
public:
    using View = CompiledMatcher::View;
    using Pair = CompiledMatcher::Pair;
    static_assert(sizeof(Pair) == 16 && alignof(Pair) <= kAlign);

    // The header and table for `matcher`, checksum 0, and the sections' bytes.
    static std::string Layout(const CompiledMatcher& matcher, std::vector<std::string_view>& sections)
    {
        const View& v = matcher.m_view;
        sections = {{reinterpret_cast<const char*>(v.rootNext), kUnits * sizeof(uint32_t)},
                    {reinterpret_cast<const char*>(v.unitClass), kUnits},
                    {reinterpret_cast<const char*>(v.code), v.codeSize * sizeof(uint32_t)},
                    {reinterpret_cast<const char*>(v.pairs), v.pairCount * sizeof(Pair)},
                    {reinterpret_cast<const char*>(v.text), v.textSize * sizeof(char16_t)}};
        const uint32_t elementBytes[] = {4, 1, 4, sizeof(Pair), 2};
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
            const Section section{k + 1, elementBytes[k], at, sections[k].size() / elementBytes[k]};
            std::memcpy(head.data() + kHeaderBytes + k * kSectionBytes, &section, kSectionBytes);
            at = AlignUp(at + sections[k].size());
        }
        header.fileBytes = at;
        std::memcpy(head.data(), &header, kHeaderBytes);
        return head;
    }

    static std::shared_ptr<const CompiledMatcher> Open(std::string_view file, std::shared_ptr<const void> storage,
                                                       std::string& error);

private:
    // The records from `from` to `to` in the stream, which hold the subtrees of `roots` (ascending).
    static const char* CheckRecords(const View& v, uint32_t classCount, std::span<const uint32_t> roots,
                                    size_t from, size_t to);
    static const char* CheckDoubleArray(const View& v, uint32_t classCount);
    static const char* CheckPairs(const View& v, uint64_t maxBefore);
};

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

} // namespace

bool CompiledDictionary::HasMagic(std::string_view head)
{
    return head.size() >= kMagicBytes && std::memcmp(head.data(), kMagic, kMagicBytes) == 0;
}

bool CompiledDictionary::IsCompiledFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    char head[kMagicBytes];
    const bool compiled = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)
        && ::pread(fd, head, sizeof head, 0) == ssize_t(sizeof head) && HasMagic({head, sizeof head});
    ::close(fd);
    return compiled;
}

bool CompiledDictionary::Write(const CompiledMatcher& matcher, ByteSink& out)
{
    if (!kLittleEndian)
        return false;
    std::vector<std::string_view> sections;
    std::string head = CompiledDictionaryImage::Layout(matcher, sections);
    // The checksum first, over the same bytes, so that the file is written in one pass.
    XXH3_state_t state;
    XXH3_64bits_reset(&state);
    PutFile(head, sections, [&](std::string_view bytes) {
        XXH3_64bits_update(&state, bytes.data(), bytes.size());
        return true;
    });
    const uint64_t checksum = XXH3_64bits_digest(&state);
    std::memcpy(head.data() + kChecksumAt, &checksum, sizeof checksum);
    return PutFile(head, sections, [&](std::string_view bytes) { return bytes.empty() || out.Write(bytes); });
}

std::string CompiledDictionary::ToBytes(const CompiledMatcher& matcher)
{
    class StringSink : public ByteSink {
    public:
        bool Write(std::string_view bytes) override
        {
            text.append(bytes);
            return true;
        }
        std::string text;
    } sink;
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
        error = path + ": " + std::strerror(file.Error());
        return false;
    }
    return true;
}

void CompiledDictionary::Seal(std::string& bytes)
{
    if (bytes.size() < kHeaderBytes)
        return;
    const uint64_t size = bytes.size();
    std::memcpy(bytes.data() + 16, &size, sizeof size);
    const uint64_t checksum = Checksum(bytes);
    std::memcpy(bytes.data() + kChecksumAt, &checksum, sizeof checksum);
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

std::shared_ptr<const CompiledMatcher> CompiledDictionary::Open(const std::string& path, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        error = path + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        error = path + ": not a regular file";
        return nullptr;
    }
    const size_t size = size_t(st.st_size);
    void* data = size == 0 ? nullptr : ::mmap(nullptr, size, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
    const int mapError = errno;
    ::close(fd);
    if (data == MAP_FAILED) {
        error = path + ": " + std::strerror(mapError);
        return nullptr;
    }
    std::shared_ptr<const void> mapping(data, [size](const void* p) {
        if (p)
            ::munmap(const_cast<void*>(p), size);
    });
    auto matcher = CompiledDictionaryImage::Open({static_cast<const char*>(data), size}, std::move(mapping), error);
    if (!matcher)
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
    if (header.sectionCount != kSectionCount || (header.flags & ~kDoubleArrayFlag) != 0 || header.classCount > 255)
        return refuse(damaged);
    const uint32_t elementBytes[] = {4, 1, 4, sizeof(Pair), 2};
    const void* at[kSectionCount];
    uint64_t count[kSectionCount];
    for (uint32_t k = 0; k < kSectionCount; ++k) {
        Section s;
        std::memcpy(&s, file.data() + kHeaderBytes + k * kSectionBytes, kSectionBytes);
        if (s.id != k + 1 || s.elementBytes != elementBytes[k] || s.offset % kAlign != 0 || s.offset < kTableEnd
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
    const bool doubleArray = (header.flags & kDoubleArrayFlag) != 0;
    if (count[kRootNext - 1] != kUnits || count[kClasses - 1] != kUnits || v.codeSize >= UINT32_MAX
        || v.pairCount >= UINT32_MAX)
        return refuse(damaged);
    for (size_t u = 0; u < kUnits; ++u)
        if (v.unitClass[u] > header.classCount)
            return refuse(damaged);

    // The checksum, the pairs and the states are checked at the same time,
    // the records in parts; a damaged file is told by its checksum first.
    std::vector<std::function<const char*()>> checks;
    checks.push_back([&] { return header.checksum == Checksum(file) ? nullptr : "its checksum does not match"; });
    checks.push_back([&] { return CheckPairs(v, header.maxBefore); });
    // A small file is checked in as many parts, but on one thread.
    const unsigned parts = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    const unsigned threads = file.size() < kParallelBytes ? 1 : parts;
    std::vector<uint32_t> roots;
    if (doubleArray) {
        checks.push_back([&] { return CheckDoubleArray(v, header.classCount); });
    } else {
        for (size_t u = 0; u < kUnits; ++u)
            if (v.rootNext[u] != CompiledMatcher::kNoState)
                roots.push_back(v.rootNext[u]);
        std::sort(roots.begin(), roots.end());
        const size_t end = v.codeSize >= CompiledMatcher::kCodePadding ? v.codeSize - CompiledMatcher::kCodePadding : 0;
        if (!roots.empty() && roots.back() >= end)
            return refuse(std::string(damaged) + " (first states)");
        // Part p checks the subtrees of roots[cut[p], cut[p + 1]), which lie
        // from the first of those roots to the first of the next part's.
        std::vector<size_t> cut{0};
        for (unsigned p = 1; p < parts; ++p) {
            const size_t k = size_t(std::lower_bound(roots.begin(), roots.end(), v.codeSize / parts * p) - roots.begin());
            if (k > cut.back() && k < roots.size() && roots[k] != roots[k - 1])
                cut.push_back(k);
        }
        cut.push_back(roots.size());
        for (size_t p = 0; p + 1 < cut.size(); ++p) {
            const size_t from = p == 0 ? 2 : roots[cut[p]];
            const size_t to = p + 2 < cut.size() ? roots[cut[p + 1]] : end;
            const std::span<const uint32_t> part(roots.data() + cut[p], roots.data() + cut[p + 1]);
            checks.push_back([&v, &header, part, from, to] { return CheckRecords(v, header.classCount, part, from, to); });
        }
    }
    std::vector<const char*> problems(checks.size());
    RunParts(std::min<size_t>(threads, checks.size()), [&](size_t t) {
        for (size_t k = t; k < checks.size(); k += threads) {
            try {
                problems[k] = checks[k]();
            } catch (const std::bad_alloc&) {
                problems[k] = "no memory to check it";
            }
        }
    });
    for (const char* problem : problems)
        if (problem)
            return refuse(std::string(damaged) + " (" + problem + ")");
    return std::shared_ptr<const CompiledMatcher>(
        new CompiledMatcher(v, doubleArray, header.classCount, size_t(header.maxBefore), std::move(storage)));
}

// Every pair's strings lie in the text, with the padding that copies of
// short strings read behind them, and none is empty; the longest
// before-string is the one the header gives.
const char* CompiledDictionaryImage::CheckPairs(const View& v, uint64_t maxBefore)
{
    if (v.textSize < CompiledMatcher::kTextPadding)
        return "text";
    const uint64_t room = v.textSize - CompiledMatcher::kTextPadding;
    uint64_t longest = 0;
    for (size_t p = 0; p < v.pairCount; ++p) {
        const Pair& pair = v.pairs[p];
        if (pair.beforeLength == 0 || pair.offset > room
            || uint64_t(pair.beforeLength) + pair.afterLength > room - pair.offset)
            return "pairs";
        longest = std::max<uint64_t>(longest, pair.beforeLength);
    }
    return longest == maxBefore ? nullptr : "longest before-string";
}

// The records lie one behind the other, depth first, a state's children in
// the order of their offsets: the record at each offset is the lowest child
// not reached yet of the state nearest to it on its path from the root. So
// the children still to come, kept on a stack with the lowest on top, must
// name exactly the records in the order they lie. That checks that every
// record lies inside the stream (with the padding the unit search reads
// behind it), that every child named is a record, named once, and the depth
// of every record, which its pair's before-string must have.
const char* CompiledDictionaryImage::CheckRecords(const View& v, uint32_t classCount, std::span<const uint32_t> roots,
                                                  size_t from, size_t to)
{
    if (v.codeSize < 2 + CompiledMatcher::kCodePadding || from > to)
        return "states";
    struct Child {
        uint32_t offset;
        uint32_t depth;
    };
    // Every child named is one word of the stream, or a root; only the part
    // of this room that the deepest path needs is ever touched. At the
    // bottom lies an offset that no record has.
    const std::unique_ptr<Child[]> stack(new Child[1 + roots.size() + (to - from)]);
    size_t top = 0;
    stack[top++] = {UINT32_MAX, 0};
    for (size_t k = roots.size(); k-- > 0;)
        stack[top++] = {roots[k], 1};
    std::vector<uint32_t> children;
    const size_t rowWords = classCount + 1;
    for (size_t o = from; o < to;) {
        if (stack[top - 1].offset != o)
            return "a state is not where its parent has it";
        const uint32_t depth = stack[--top].depth;
        // The stream's padding lets the first two words be read before the size is known.
        const uint32_t* record = v.code + o;
        const uint32_t pair = record[1];
        if (pair != 0 && (pair > v.pairCount || v.pairs[pair - 1].beforeLength != depth))
            return "a pair is not at its depth";
        if (record[0] <= 1) { // a leaf, or a state with one child: most records
            const size_t size = 2 + 2 * record[0];
            if (size > to - o)
                return "states";
            if (record[0] == 1 && record[3] != CompiledMatcher::kNoState)
                stack[top++] = {record[3], depth + 1};
            o += size;
            continue;
        }
        const bool row = (record[0] & CompiledMatcher::kRow) != 0;
        const size_t count = record[0] & ~CompiledMatcher::kRow;
        const size_t targets = 2 + (row ? rowWords : 0) + (count + 1) / 2;
        const size_t size = targets + count;
        if (size > to - o)
            return "states";
        // Mostly the children are in ascending order already, and all named.
        const size_t base = top;
        bool plain = !row;
        for (size_t k = count, last = SIZE_MAX; plain && k-- > 0; last = record[targets + k]) {
            plain = record[targets + k] > o && record[targets + k] < last;
            stack[top++] = {record[targets + k], depth + 1};
        }
        if (!plain) {
            top = base;
            children.clear();
            if (row)
                for (size_t c = 1; c < rowWords; ++c)
                    if (record[2 + c] != CompiledMatcher::kNoState)
                        children.push_back(record[2 + c]);
            for (size_t k = 0; k < count; ++k)
                if (record[targets + k] != CompiledMatcher::kNoState)
                    children.push_back(record[targets + k]);
            std::sort(children.begin(), children.end());
            for (size_t k = children.size(); k-- > 0;)
                stack[top++] = {children[k], depth + 1};
        }
        o += size;
    }
    return top == 1 ? nullptr : "a state is missing";
}

// Every slot a step can land on (a multiple of 3, as every base is) has a
// base from which every class stays inside the array, and a pair number in
// range. A state's depth follows from the parent it names; a pair must have
// its state's depth. States whose parents go round in a circle, or name no
// slot, are never reached and need no depth.
const char* CompiledDictionaryImage::CheckDoubleArray(const View& v, uint32_t classCount)
{
    const size_t reach = 3 * size_t(classCount) + 2;
    if (v.codeSize <= reach + 3)
        return "states";
    const size_t slots = v.codeSize / 3; // slot s is code[3s, 3s + 2]
    for (size_t s = 0; s < slots; ++s) {
        const uint32_t* state = v.code + 3 * s;
        if (state[0] % 3 != 0 || state[0] >= v.codeSize - reach || state[1] > v.pairCount)
            return "states";
    }
    for (size_t u = 0; u < kUnits; ++u) {
        const uint32_t first = v.rootNext[u];
        if (first % 3 != 0 || first / 3 >= slots || (first != 0 && v.code[first + 2] != 0))
            return "first states";
    }
    constexpr uint32_t kUnknown = 0, kBusy = ~0u, kNever = ~0u - 1;
    std::vector<uint32_t> depth(slots, kUnknown);
    std::vector<uint32_t> chain;
    for (size_t s = 0; s < slots; ++s) {
        uint32_t t = uint32_t(s);
        uint32_t found; // the depth of the last state on `chain`'s parent, or kNever
        for (;;) {
            if (depth[t] != kUnknown) {
                found = depth[t] == kBusy ? kNever : depth[t];
                break;
            }
            const uint32_t parent = v.code[3 * size_t(t) + 2];
            depth[t] = kBusy;
            chain.push_back(t);
            if (parent == 0) {
                found = 0;
                break;
            }
            if (parent % 3 != 0 || parent / 3 >= slots) {
                found = kNever;
                break;
            }
            t = parent / 3;
        }
        while (!chain.empty()) {
            found = found == kNever ? kNever : found + 1;
            depth[chain.back()] = found;
            chain.pop_back();
        }
    }
    for (size_t s = 0; s < slots; ++s) {
        const uint32_t pair = v.code[3 * s + 1];
        if (pair != 0 && depth[s] != kNever && v.pairs[pair - 1].beforeLength != depth[s])
            return "a pair is not at its depth";
    }
    return nullptr;
}
