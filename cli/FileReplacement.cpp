#include "FileReplacement.h"

#include "AtomicFile.h"
#include "OrderedOutput.h"
#include "RegularFile.h"

#include <cerrno>
#include <cstring>
#include <new>

#include <unistd.h>

namespace {

std::string Shown(const std::string& path)
{
    return path == "-" ? "standard input" : path;
}

std::string SystemError(const std::string& name, int err)
{
    return name + ": " + std::strerror(err);
}

FileOutcome Failure(std::string message)
{
    FileOutcome outcome;
    outcome.ok = false;
    outcome.message = std::move(message);
    return outcome;
}

// The outcome of a run, with a message naming the input or the output.
FileOutcome Judge(const std::string& path, const std::string& outputName, const StreamResult& result)
{
    FileOutcome outcome;
    outcome.result = result;
    if (result.keptLines > 0) {
        outcome.note = Shown(path) + ": " + std::to_string(result.keptLines) + " line"
            + (result.keptLines == 1 ? "" : "s") + " kept unchanged";
        for (size_t k = 0; k < result.firstKept.size(); ++k)
            outcome.note += (k == 0 ? " (" : "; ") + result.firstKept[k];
        outcome.note += result.keptLines > result.firstKept.size() ? "; ...)" : ")";
    }
    switch (result.failure) {
    case StreamResult::Failure::None:
        return outcome;
    case StreamResult::Failure::Read:
        outcome.message = SystemError(Shown(path), result.error);
        break;
    case StreamResult::Failure::Decode:
    case StreamResult::Failure::Encode:
        outcome.message = Shown(path) + ": " + result.message;
        break;
    case StreamResult::Failure::Write:
        outcome.stopQuietly = result.error == EPIPE || result.error == ECANCELED;
        outcome.message = SystemError(outputName, result.error);
        break;
    }
    outcome.ok = false;
    return outcome;
}

// Running out of memory fails the one text, as a read error would.
template <typename Run>
StreamResult OrOutOfMemory(Run run)
{
    try {
        return run();
    } catch (const std::bad_alloc&) {
        StreamResult result;
        result.failure = StreamResult::Failure::Read;
        result.error = ENOMEM;
        return result;
    }
}

// An input open for reading: standard input for "-", else any file but a
// folder (a FIFO waits for its writer).
RegularFile OpenInput(const std::string& path)
{
    return path == "-" ? RegularFile(RegularFile::StandardInput{}, RegularFile::Kinds::AnyButFolder)
                       : RegularFile(path, RegularFile::Kinds::AnyButFolder);
}

void CloseInput(int fd)
{
    if (fd != STDIN_FILENO)
        ::close(fd);
}

// Replaces the text open on `fd` (closed here) into `target` through a
// temporary file, which replaces `target` unless the text failed or, with
// `skipUnchanged`, came out the same.
FileOutcome ReplaceThroughFile(int fd, const std::string& path, const std::string& target, bool skipUnchanged,
                               const std::string& backupPath, LinkPolicy links, TextReplacer& replacer,
                               PairUses* uses, std::atomic<uint64_t>* progress, const WriteFunction& write)
{
    AtomicFile file(write);
    if (!file.Open(target, AtomicFile::Device::DontWait, links)) {
        CloseInput(fd);
        return Failure(target + ": " + file.ErrorText());
    }
    FdSource source(fd);
    const StreamResult result = OrOutOfMemory([&] { return replacer.Run(source, file, uses, progress); });
    CloseInput(fd);
    FileOutcome outcome = Judge(path, target, result);
    if (!outcome.ok || (skipUnchanged && !result.changed)) {
        file.Abandon();
        return outcome;
    }
    if (!file.Commit(backupPath))
        return Failure(target + ": " + file.ErrorText());
    return outcome;
}

} // namespace

FileOutcome ReplaceInPlace(const std::string& path, const std::string& backupSuffix, TextReplacer& replacer,
                           PairUses* uses, std::atomic<uint64_t>* progress, WriteFunction write, LinkPolicy links)
{
    RegularFile file(path);
    if (file.GetStatus() == RegularFile::Status::NotRegular)
        return Failure(path + ": not a regular file, so it cannot be rewritten in place");
    if (!file.IsOpen())
        return Failure(SystemError(path, file.Error()));
    return ReplaceThroughFile(file.Release(), path, path, true, backupSuffix.empty() ? std::string() : path + backupSuffix,
                              links, replacer, uses, progress, write);
}

FileOutcome ReplaceIntoFile(const std::string& path, const std::string& target, TextReplacer& replacer,
                            PairUses* uses, std::atomic<uint64_t>* progress, LinkPolicy links)
{
    RegularFile input = OpenInput(path);
    if (!input.IsOpen())
        return Failure(SystemError(path, input.Error()));
    return ReplaceThroughFile(input.Release(), path, target, false, std::string(), links, replacer, uses, progress, nullptr);
}

FileOutcome ReplaceToOutput(const std::string& path, size_t index, OrderedOutput& output,
                            const std::string& outputName, bool checkFirst, TextReplacer& replacer,
                            PairUses* uses, std::atomic<uint64_t>* progress)
{
    RegularFile input = OpenInput(path);
    if (!input.IsOpen()) {
        output.Finish(index, false);
        return Failure(SystemError(Shown(path), input.Error()));
    }
    const int fd = input.Release();
    if (checkFirst && input.IsRegular() && ::lseek(fd, 0, SEEK_CUR) >= 0) {
        const off_t start = ::lseek(fd, 0, SEEK_CUR);
        FdSource source(fd);
        const StreamResult check = OrOutOfMemory([&] { return replacer.Check(source); });
        if (check.failure != StreamResult::Failure::None || ::lseek(fd, start, SEEK_SET) < 0) {
            CloseInput(fd);
            output.Finish(index, false);
            return check.failure != StreamResult::Failure::None ? Judge(path, outputName, check)
                                                                 : Failure(SystemError(Shown(path), errno));
        }
    }
    OrderedOutput::Part part(output, index);
    FdSource source(fd);
    const StreamResult result = OrOutOfMemory([&] { return replacer.Run(source, part, uses, progress); });
    CloseInput(fd);
    FileOutcome outcome = Judge(path, outputName, result);
    if (!output.Finish(index, outcome.ok) && outcome.ok) {
        const int err = output.Error();
        outcome.ok = false;
        outcome.stopQuietly = err == EPIPE || err == 0;
        outcome.message = SystemError(outputName, err ? err : ECANCELED);
    }
    return outcome;
}

