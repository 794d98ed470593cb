// Writing dictionary files: FF FE, then the text in UTF-16LE.
#pragma once

#include "ByteStreams.h"
#include "Replacer.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Each entry as before-string, TAB, after-string, LF, in the given order.
std::u16string BuildDictionaryText(const std::vector<std::unique_ptr<ReplaceEntry>>& entries);

// FF FE, then every unit of `text`, low byte first.
std::string EncodeDictionaryBytes(std::u16string_view text);

// Writes EncodeDictionaryBytes(text) to `path` through an AtomicFile, so a
// failure leaves an existing file exactly as it was. Every write goes through
// `write` (write(2) when null). A device or FIFO is written in place without
// waiting for a reader; a symbolic link that another user made is refused.
// On failure returns false and sets `error` to "<path>: <reason>".
bool WriteTextFile(const std::string& path, std::u16string_view text, std::string* error = nullptr,
                   WriteFunction write = nullptr);
