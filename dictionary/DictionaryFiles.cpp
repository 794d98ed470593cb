#include "DictionaryFiles.h"

#include "ByteStreams.h"
#include "CompiledDictionary.h"
#include "CompiledMatcher.h"
#include "DictionaryEncoding.h"
#include "DictionaryReader.h"
#include "RegularFile.h"
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

// Reads one dictionary file, a regular file or a pipe, which is opened once
// and told compiled or text by its first bytes. A text goes into `text` and
// adds its pairs, which point into `text`, to `pairs`; a compiled dictionary
// goes into `compiled`. False with `error` set.
bool ReadFile(const std::string& path, std::u16string& text, Pairs& pairs,
              std::shared_ptr<const CompiledMatcher>& compiled, DictionaryFilesError& error)
{
    const auto systemFailure = [&](int err) {
        error.systemError = err;
        error.outOfMemory = err == ENOMEM;
        Fail(error, path, std::strerror(err));
        return false;
    };
    try {
        const RegularFile file(path, RegularFile::Kinds::OrPipe);
        if (file.GetStatus() == RegularFile::Status::NotRegular) {
            Fail(error, path, "not a regular file or a pipe");
            return false;
        }
        if (!file.IsOpen())
            return systemFailure(file.Error());
        std::string head(CompiledDictionary::kMagicBytes, '\0');
        size_t got = 0;
        FdSource source(file.Fd());
        for (ssize_t n = 1; n > 0 && got < head.size(); got += size_t(n))
            if ((n = source.Read(head.data() + got, head.size() - got)) < 0)
                return systemFailure(errno);
        head.resize(got);
        if (CompiledDictionary::HasMagic(head)) {
            int err = 0;
            std::string problem;
            compiled = CompiledDictionary::Read(file, head, problem, err);
            if (err != 0)
                return systemFailure(err);
            if (!compiled)
                Fail(error, path, problem);
            return compiled != nullptr;
        }
        std::string problem;
        if (!ReadDictionaryText(file, head, text, problem, &error.systemError)) {
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
        std::shared_ptr<const CompiledMatcher> one;
        if (!ReadFile(path, texts.emplace_back(), pairs, one, error))
            return nullptr;
        if (!one)
            continue;
        compiled.push_back(std::move(one));
        const CompiledMatcher* matcher = compiled.back().get();
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
