#include "DictionaryFiles.h"

#include "ByteStreams.h"
#include "CompiledDictionary.h"
#include "CompiledMatcher.h"
#include "DictionaryEncoding.h"
#include "DictionaryReader.h"
#include "Replacer.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

namespace {

using Pairs = std::vector<std::pair<std::u16string_view, std::u16string_view>>;

void Fail(DictionaryFilesError& error, const std::string& path, std::string reason)
{
    error.path = path;
    error.message = path.empty() ? std::move(reason) : path + ": " + reason;
}

// Reads one dictionary text file into `text` and adds its pairs, which point
// into `text`, to `pairs`. False with `error` set.
bool ReadTextFile(const std::string& path, std::u16string& text, Pairs& pairs, DictionaryFilesError& error)
{
    try {
        std::string problem;
        if (!ReadDictionaryFile(path, text, problem, &error.systemError)) {
            error.outOfMemory = error.systemError == ENOMEM;
            Fail(error, path, problem);
            return false;
        }
        ParseDictionaryText(text, pairs);
        return true;
    } catch (const std::bad_alloc&) {
        error.outOfMemory = true;
        Fail(error, path, "the dictionary does not fit in memory");
    } catch (const std::exception& e) {
        Fail(error, path, std::string("the dictionary could not be read to its end (") + e.what() + ")");
    }
    return false;
}

} // namespace

std::shared_ptr<const CompiledMatcher> LoadDictionaries(const std::vector<std::string>& paths,
                                                        DictionaryFilesError& error)
{
    error = {};
    // Every file's pairs point into its text or its compiled matcher, which
    // stay, unmoved, until the new matcher has copied what it keeps.
    std::vector<std::u16string> texts;
    texts.reserve(paths.size());
    std::vector<std::shared_ptr<const CompiledMatcher>> compiled;
    compiled.reserve(paths.size());
    Pairs pairs;
    for (const std::string& path : paths) {
        if (!CompiledDictionary::IsCompiledFile(path)) {
            if (!ReadTextFile(path, texts.emplace_back(), pairs, error))
                return nullptr;
            continue;
        }
        std::string problem;
        compiled.push_back(CompiledDictionary::Open(path, problem));
        const CompiledMatcher* matcher = compiled.back().get();
        if (!matcher) {
            error.path = path;
            error.message = problem; // names the file
            return nullptr;
        }
        if (paths.size() == 1)
            return compiled.back();
        // Its pairs with their joined after-strings: joining more to those
        // gives what joining to the pairs it was compiled from does.
        try {
            for (uint32_t k = 0; k < matcher->GetPairCount(); ++k)
                pairs.emplace_back(matcher->Before(k), matcher->After(k));
        } catch (const std::bad_alloc&) {
            error.outOfMemory = true;
            Fail(error, path, "the dictionary does not fit in memory");
            return nullptr;
        }
    }
    try {
        return Replacer::CompilePairs(pairs);
    } catch (const std::bad_alloc&) {
        error.outOfMemory = true;
        Fail(error, std::string(), "the dictionaries do not fit in memory");
        return nullptr;
    }
}
