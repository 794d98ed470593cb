// Writing dictionary files: FF FE, then the text in UTF-16LE.
#pragma once

#include "Replacer.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Each entry as before-string, TAB, after-string, LF, in the given order.
std::u16string BuildDictionaryText(const std::vector<std::unique_ptr<ReplaceEntry>>& entries);

// FF FE, then every unit of `text`, low byte first.
std::string EncodeDictionaryBytes(std::u16string_view text);

// Writes EncodeDictionaryBytes(text) to `path`. The new content goes to a
// temporary file beside it that replaces `path` only once it is complete on
// disk, so a failure leaves an existing file exactly as it was. Temporary
// files of earlier saves of `path` whose process no longer runs are removed. An existing
// file keeps its permissions (and, where allowed, its owner); a new one gets
// 0666 less the umask. A symbolic link is written through, not replaced.
// On failure returns false and sets `error` to "<path>: <system error text>".
bool WriteTextFile(const std::string& path, std::u16string_view text, std::string* error = nullptr);
