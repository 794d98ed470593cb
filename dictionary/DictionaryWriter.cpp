#include "DictionaryWriter.h"

#include "AtomicFile.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

constexpr char kBom[2] = {char(0xFF), char(0xFE)};

} // namespace

std::u16string BuildDictionaryText(const std::vector<std::unique_ptr<ReplaceEntry>>& entries)
{
    size_t size = 0;
    for (const auto& entry : entries)
        size += entry->before.size() + entry->after.size() + 2;
    std::u16string text;
    text.reserve(size);
    for (const auto& entry : entries) {
        text += entry->before;
        text += u'\t';
        text += entry->after;
        text += u'\n';
    }
    return text;
}

std::string EncodeDictionaryBytes(std::u16string_view text)
{
    std::string bytes(kBom, 2);
    bytes.resize(2 + 2 * text.size());
    char* p = bytes.data() + 2;
    for (const char16_t unit : text) {
        *p++ = char(unit & 0xFF);
        *p++ = char(unit >> 8);
    }
    return bytes;
}

bool WriteTextFile(const std::string& path, std::u16string_view text, std::string* error, WriteFunction write)
{
    AtomicFile file(std::move(write));
    // DontWait: a FIFO without a reader fails instead of hanging the save. A
    // symbolic link is followed when the user or root made it.
    bool written = file.Open(path, AtomicFile::Device::DontWait);
    if constexpr (std::endian::native == std::endian::little) {
        // The string's own bytes are already the file's order.
        written = written && file.Write({kBom, 2})
            && file.Write({reinterpret_cast<const char*>(text.data()), text.size() * 2});
    } else {
        written = written && file.Write(EncodeDictionaryBytes(text));
    }
    if (written && file.Commit())
        return true;
    if (error)
        *error = path + ": " + file.ErrorText();
    return false;
}

bool Replacer::SaveToFile(const std::string& path, std::string* error) const
{
    return WriteTextFile(path, BuildDictionaryText(m_entries), error);
}
