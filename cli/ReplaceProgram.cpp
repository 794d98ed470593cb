#include "ReplaceProgram.h"

#include "AtomicFile.h"
#include "CompiledDictionary.h"
#include "CompiledMatcher.h"
#include "DictionaryFiles.h"
#include "JsonLinesReplacer.h"
#include "Options.h"
#include "OrderedOutput.h"
#include "OutputFolder.h"
#include "PairCounts.h"
#include "ProgressBar.h"
#include "Replacer.h"
#include "RunParts.h"
#include "StandardDescriptors.h"
#include "TemporaryFiles.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kFailed = 2;

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

// Opens an input for reading; standard input for "-". -1 with errno set.
// `extraFlags` O_NONBLOCK: a FIFO does not wait for a writer.
int OpenInput(const std::string& path, struct stat& st, int extraFlags = 0)
{
    const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | extraFlags);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        if (fd != STDIN_FILENO)
            ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
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

void RemoveTemporariesAndDie(int signal)
{
    RemoveOpenTemporaryFiles();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Every signal whose default ends the process removes the temporary files
// first, unless whoever started the run ignores it (nohup). A closed pipe
// shows as EPIPE and ends the run quietly; a file grown past the size limit
// fails its write with EFBIG instead of ending the run.
void HandleSignals()
{
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    for (const int sig : {SIGALRM, SIGHUP, SIGINT, SIGPOLL, SIGPROF, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGVTALRM,
                          SIGXCPU}) {
        struct sigaction action {};
        if (::sigaction(sig, nullptr, &action) != 0 || action.sa_handler == SIG_IGN)
            continue;
        action = {};
        action.sa_handler = RemoveTemporariesAndDie;
        sigemptyset(&action.sa_mask);
        ::sigaction(sig, &action, nullptr);
    }
}

bool BeforeHoldsLineBreak(const CompiledMatcher& matcher)
{
    for (uint32_t pair = 0; pair < matcher.GetPairCount(); ++pair)
        if (matcher.Before(pair).find_first_of(u"\r\n") != std::u16string_view::npos)
            return true;
    return false;
}

std::mutex g_reportMutex;

void Report(const std::string& line)
{
    std::lock_guard lock(g_reportMutex);
    std::cerr << "velmora-replace: " << line << std::endl;
}

} // namespace

FileOutcome ReplaceInPlace(const std::string& path, const std::string& backupSuffix, TextReplacer& replacer,
                           PairUses* uses, std::atomic<uint64_t>* progress, WriteFunction write, LinkPolicy links)
{
    struct stat st {};
    const int fd = OpenInput(path, st, O_NONBLOCK); // only a regular file is read here
    if (fd < 0)
        return Failure(SystemError(path, errno));
    if (!S_ISREG(st.st_mode)) {
        CloseInput(fd);
        return Failure(path + ": not a regular file, so it cannot be rewritten in place");
    }
    return ReplaceThroughFile(fd, path, path, true, backupSuffix.empty() ? std::string() : path + backupSuffix,
                              links, replacer, uses, progress, write);
}

FileOutcome ReplaceIntoFile(const std::string& path, const std::string& target, TextReplacer& replacer,
                            PairUses* uses, std::atomic<uint64_t>* progress, LinkPolicy links)
{
    struct stat st {};
    const int fd = OpenInput(path, st);
    if (fd < 0)
        return Failure(SystemError(path, errno));
    return ReplaceThroughFile(fd, path, target, false, std::string(), links, replacer, uses, progress, nullptr);
}

FileOutcome ReplaceToOutput(const std::string& path, size_t index, OrderedOutput& output,
                            const std::string& outputName, bool checkFirst, TextReplacer& replacer,
                            PairUses* uses, std::atomic<uint64_t>* progress)
{
    struct stat st {};
    const int fd = OpenInput(path, st);
    if (fd < 0) {
        output.Finish(index, false);
        return Failure(SystemError(Shown(path), errno));
    }
    if (checkFirst && S_ISREG(st.st_mode) && ::lseek(fd, 0, SEEK_CUR) >= 0) {
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

namespace {

int RunProgram(int argc, const char* const* argv)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    HandleSignals();

    ReplaceOptions options;
    if (const std::optional<int> status = ParseOptions(argc, argv, options, std::cout, std::cerr))
        return *status;

    DictionaryFilesError loadError;
    const std::shared_ptr<const CompiledMatcher> matcher = LoadDictionaries(options.dictionaries, loadError);
    if (!matcher) {
        Report(loadError.message);
        return kFailed;
    }
    std::string error;
    const double loadSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!options.compileTo.empty()) {
        if (!CompiledDictionary::Save(*matcher, options.compileTo, error)) {
            Report(error);
            return kFailed;
        }
        return 0;
    }
    // JSON lines keep their line breaks inside strings: they may be cut anywhere between lines.
    const bool readsStandardInput = std::find(options.files.begin(), options.files.end(), "-") != options.files.end();
    if (readsStandardInput && !options.jsonLines && BeforeHoldsLineBreak(*matcher))
        Report("warning: a before-string holds a line break, so a text cut at line ends (as parallel or a "
               "streaming mapper cuts standard input) is not replaced as the whole text would be");

    const std::vector<std::string>& files = options.files;
    std::vector<std::string> folderOutputs;
    if (!options.outputDir.empty() && !PlanOutputFolder(options.outputDir, files, folderOutputs, error)) {
        Report(error);
        return kFailed;
    }
    uint64_t totalBytes = 0;
    for (const std::string& file : files) {
        struct stat st {};
        if (file != "-" && ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            totalBytes += uint64_t(st.st_size);
    }

    FdSink standardOutput(STDOUT_FILENO);
    AtomicFile outputFile;
    ByteSink* sink = &standardOutput;
    std::string outputName = "standard output";
    const LinkPolicy outputLinks = options.followSymlinks ? LinkPolicy::Follow : LinkPolicy::FollowTrusted;
    if (!options.output.empty()) {
        if (!outputFile.Open(options.output, AtomicFile::Device::Wait, outputLinks)) {
            Report(options.output + ": " + outputFile.ErrorText());
            return kFailed;
        }
        sink = &outputFile;
        outputName = options.output;
    }
    OrderedOutput ordered(*sink, files.size());
    // Standard output cannot take back what it was given: check a text before
    // it goes there. A file named by -o is dropped whole on any failure.
    const bool checkFirst = options.output.empty();

    std::atomic<uint64_t> bytesDone{0};
    std::unique_ptr<ProgressBar> progress;
    if (!options.quiet && ::isatty(STDERR_FILENO))
        progress = std::make_unique<ProgressBar>(bytesDone, totalBytes, STDERR_FILENO);

    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::atomic<bool> stopped{false};
    std::mutex totalsMutex;
    PairUses uses;
    uint64_t units = 0;
    uint64_t replacements = 0;
    const bool wantUses = !options.countsPath.empty();

    const unsigned cores = UsableCores();
    unsigned jobs = options.jobs ? options.jobs : cores;
    jobs = unsigned(std::min<size_t>(jobs, files.size()));
    // Cores that no file job takes scan inside the jobs' blocks.
    const unsigned scanThreads = std::max(1u, cores / std::max(jobs, 1u));
    const LinkPolicy inPlaceLinks = options.followSymlinks ? LinkPolicy::Follow : LinkPolicy::Replace;
    auto replaceFiles = [&] {
        const size_t blockBytes = StreamReplacer::kDefaultBlockBytes * scanThreads;
        std::unique_ptr<TextReplacer> replacer;
        if (options.jsonLines)
            replacer = std::make_unique<JsonLinesReplacer>(matcher, options.jsonField, options.gloss, blockBytes,
                                                           scanThreads);
        else
            replacer = std::make_unique<StreamReplacer>(matcher, options.gloss, blockBytes, scanThreads);
        for (size_t index; !stopped && (index = next++) < files.size();) {
            PairUses fileUses;
            PairUses* usesHere = wantUses ? &fileUses : nullptr;
            const FileOutcome outcome = options.inPlace
                ? ReplaceInPlace(files[index], options.backupSuffix, *replacer, usesHere, &bytesDone, nullptr,
                                 inPlaceLinks)
                : !folderOutputs.empty()
                ? ReplaceIntoFile(files[index], folderOutputs[index], *replacer, usesHere, &bytesDone, outputLinks)
                : ReplaceToOutput(files[index], index, ordered, outputName, checkFirst, *replacer, usesHere,
                                  &bytesDone);
            if (outcome.stopQuietly) {
                stopped = true;
                ordered.Cancel();
                break;
            }
            if (!outcome.ok) {
                failed = true;
                Report(outcome.message);
                continue;
            }
            std::lock_guard lock(totalsMutex);
            units += outcome.result.units;
            replacements += outcome.result.replacements;
            MergePairUses(uses, fileUses);
        }
    };
    // A thread must not end by an exception: the run would abort.
    auto work = [&] {
        try {
            replaceFiles();
        } catch (const std::bad_alloc&) {
            failed = true;
            Report(std::strerror(ENOMEM));
        }
    };
    std::vector<std::thread> workers;
    try {
        for (unsigned k = 1; k < jobs; ++k)
            workers.emplace_back(work);
    } catch (const std::exception&) {
        // fewer threads than asked for share the files
    }
    work();
    for (std::thread& worker : workers)
        worker.join();
    progress.reset();

    if (stopped) { // the reader went away: nothing more to say to anyone
        outputFile.Abandon();
        return 0;
    }
    if (!options.output.empty()) {
        if (failed)
            outputFile.Abandon();
        else if (!outputFile.Commit()) {
            Report(options.output + ": " + outputFile.ErrorText());
            failed = true;
        }
    }
    if (wantUses && !failed) { // counts of a run that failed somewhere would not be its counts
        AtomicFile countsFile;
        const std::string table = FormatPairCounts(uses);
        if (!countsFile.Open(options.countsPath, AtomicFile::Device::Wait, outputLinks) || !countsFile.Write(table)
            || !countsFile.Commit()) {
            Report(options.countsPath + ": " + countsFile.ErrorText());
            failed = true;
        }
    }
    if (options.stats) {
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const uint64_t bytes = bytesDone.load();
        char line[256];
        std::snprintf(line, sizeof line,
                      "%zu file%s, %llu units, %llu replacements, %.3f s (dictionaries %.3f s), %.1f MB/s",
                      files.size(), files.size() == 1 ? "" : "s", (unsigned long long)units,
                      (unsigned long long)replacements, seconds, loadSeconds,
                      seconds > 0 ? double(bytes) / 1e6 / seconds : 0.0);
        Report(line);
    }
    return failed ? kFailed : 0;
}

} // namespace

int RunReplaceProgram(int argc, const char* const* argv)
{
    // With a standard stream closed, the next file opened would take its
    // number, and messages meant for standard error would go into it.
    if (!OpenMissingStandardDescriptors())
        return kFailed;
    try {
        return RunProgram(argc, argv);
    } catch (const std::bad_alloc&) {
        Report(std::strerror(ENOMEM));
        return kFailed;
    }
}
