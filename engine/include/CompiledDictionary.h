// Compiled dictionary files: a CompiledMatcher written out as it lies in
// memory, so that a later process reads the file and scans over it at once.
// The file is read into memory of its own, not mapped: a file copied over
// while a run used a mapping of it would change under the checked offsets,
// or end under them. Reading costs about what the checksum does.
//
// The file, every number little-endian:
//   header, 64 bytes
//     0   magic 89 'V' 'M' 'D' 0D 0A 1A 0A
//     8   u32 0x01020304, so that a file of the other byte order is told
//     12  u32 format version (kVersion)
//     16  u64 file size in bytes
//     24  u64 checksum: XXH3-64 of the whole file with these 8 bytes as 0
//     32  u32 flags: bit 0, the states form a double array
//     36  u32 class count
//     40  u64 length of the longest before-string
//     48  u32 section count; the rest of the header is 0, and a file where it is not is refused
//   section table, 24 bytes a section: u32 id, u32 element size, u64 offset,
//   u64 element count; then the sections, each at a multiple of 64:
//     1  root transitions  65536 x u32
//     2  unit classes      65536 x u8
//     3  states            u32 (CompiledMatcher.h)
//     4  pairs             u64 text offset, u32 before length, u32 after length
//     5  text              UTF-16 code units
//
// Opening checks all of it before the matcher is handed out: size, magic,
// byte order, version and checksum; that every section lies in the file;
// and that every state, pair and string a scan can reach is in bounds and
// consistent (a state reached at depth d holds only a pair whose
// before-string is d units long), so that not even a file made to pass the
// checksum is read out of bounds. The reverse automaton is not stored: as
// for a freshly compiled matcher, it is built from the pairs on first need.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class ByteSink;
class RegularFile;
class CompiledMatcher;

class CompiledDictionary {
public:
    static constexpr uint32_t kVersion = 1;
    static constexpr size_t kMagicBytes = 8;

    // Whether `head`, the first bytes of a file, begins like a compiled
    // dictionary of any version or byte order.
    static bool HasMagic(std::string_view head);

    // The file's bytes, written to `out`; false with out.Error() on failure.
    static bool Write(const CompiledMatcher& matcher, ByteSink& out);
    static std::string ToBytes(const CompiledMatcher& matcher);
    // Writes `path` atomically (AtomicFile); false, with errno set and
    // `error` naming the file, on failure.
    static bool Save(const CompiledMatcher& matcher, const std::string& path, std::string& error);

    // Reads `path` (a regular file or a pipe) whole into memory of its own
    // and checks it. Null with a one-line `error` naming the file and what
    // is wrong with it.
    static std::shared_ptr<const CompiledMatcher> Open(const std::string& path, std::string& error);
    // The same over a copy of `bytes`; `error` does not name a file.
    static std::shared_ptr<const CompiledMatcher> FromBytes(std::string_view bytes, std::string& error);
    // Reads the rest of `file`, whose first bytes `head` are read already,
    // into memory of its own and checks it. Null with `error` saying what is
    // wrong (not naming the file), and `systemError` the errno when reading
    // failed.
    static std::shared_ptr<const CompiledMatcher> Read(const RegularFile& file, std::string_view head,
                                                       std::string& error, int& systemError);

    // Rewrites the size and checksum fields for the bytes as they are: for
    // tests and fuzzing, which change a file's content and want the checks
    // behind the checksum to see it.
    static void Seal(std::string& bytes);
};
