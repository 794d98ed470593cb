// Dictionary files of 300,000 Japanese-like pairs: loading (with and without
// the list refresh that follows it), its parts, and saving.
#include "BenchData.h"
#include "DictionaryReader.h"
#include "DictionaryWriter.h"
#include "Replacer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kPairs = 300000;

// A folder of its own for the files, removed at exit.
class Files {
public:
    Files()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velmora-dictbench-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        m_folder = pattern;

        const std::vector<BenchPair> pairs = MakeDictionary(kPairs);
        Replacer r;
        for (const BenchPair& p : pairs)
            r.AddPair(p.before.c_str(), p.after.c_str());
        r.RebuildEntries();
        r.SortByBefore();
        std::string error;
        if (!r.SaveToFile(Dictionary(), &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::abort();
        }
        struct stat st {};
        ::stat(Dictionary().c_str(), &st);
        m_size = size_t(st.st_size);
    }
    ~Files()
    {
        ::unlink(Dictionary().c_str());
        ::unlink(Saved().c_str());
        ::rmdir(m_folder.c_str());
    }
    std::string Dictionary() const { return m_folder + "/dictionary.txt"; }
    std::string Saved() const { return m_folder + "/saved.txt"; }
    size_t Size() const { return m_size; }

private:
    std::string m_folder;
    size_t m_size = 0;
};

const Files& TheFiles()
{
    static const Files files;
    return files;
}

void Report(benchmark::State& state)
{
    state.SetItemsProcessed(int64_t(state.iterations() * kPairs));
    state.SetBytesProcessed(int64_t(state.iterations() * TheFiles().Size()));
    state.counters["file_MB"] = double(TheFiles().Size()) / 1e6;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

enum class After { Nothing, Refresh, Compile };

// What a dropped file costs: read, decode, pattern, AddPair; then the list's
// refresh or the matcher that the first scan needs.
template <After Then>
void BM_Load(benchmark::State& state)
{
    const std::string path = TheFiles().Dictionary();
    for (auto _ : state) {
        auto r = std::make_unique<Replacer>();
        if (LoadDictionaryFile(path, *r) != DictionaryLoadStatus::Ok)
            state.SkipWithError("load failed");
        if (Then == After::Refresh)
            r->RefreshEntries(); // what the list's refresh runs after a file
        if (Then == After::Compile)
            benchmark::DoNotOptimize(r->Compile().get());

        benchmark::DoNotOptimize(r->GetNodeCount());
        state.counters["nodes"] = double(r->GetNodeCount());
        state.PauseTiming();
        r.reset();
        state.ResumeTiming();
    }
    Report(state);
}

void BM_ReadAndDecode(benchmark::State& state)
{
    const std::string path = TheFiles().Dictionary();
    for (auto _ : state) {
        const std::optional<std::u16string> text = DecodeDictionaryBytes(ReadAll(path));
        benchmark::DoNotOptimize(text->data());
    }
    Report(state);
}

// The line pattern alone, pairs handed to nobody.
void BM_PatternOnly(benchmark::State& state)
{
    const std::u16string text = *DecodeDictionaryBytes(ReadAll(TheFiles().Dictionary()));
    for (auto _ : state) {
        size_t units = 0;
        ParseDictionaryText(text, [&](std::u16string_view before, std::u16string_view after) {
            units += before.size() + after.size();
        });
        benchmark::DoNotOptimize(units);
    }
    Report(state);
}

Replacer& Loaded()
{
    static Replacer r;
    static bool loaded = false;
    if (!loaded) {
        LoadDictionaryFile(TheFiles().Dictionary(), r);
        r.RebuildEntries();
        r.SortByBefore();
        loaded = true;
    }
    return r;
}

void BM_BuildText(benchmark::State& state)
{
    const Replacer& r = Loaded();
    for (auto _ : state) {
        const std::u16string text = BuildDictionaryText(r.m_entries);
        benchmark::DoNotOptimize(text.data());
    }
    Report(state);
}

// Text, temporary file, write, fsync, rename over the last save.
void BM_SaveToFile(benchmark::State& state)
{
    const Replacer& r = Loaded();
    const std::string path = TheFiles().Saved();
    for (auto _ : state) {
        std::string error;
        if (!r.SaveToFile(path, &error))
            state.SkipWithError(error.c_str());
    }
    Report(state);
}

// One before-string with state.range(0) distinct after-strings, one a line
// (100,000 lines make about 2 MB): every line is joined to one growing value.
void BM_LoadOneBeforeManyAfters(benchmark::State& state)
{
    std::u16string text;
    for (int64_t i = 0; i < state.range(0); ++i) {
        text += u"見出し\t";
        for (const char c : std::to_string(i))
            text += char16_t(c);
        text += u"番目の訳\n";
    }
    for (auto _ : state) {
        auto r = std::make_unique<Replacer>();
        ParseDictionaryText(text, *r);
        r->RefreshEntries();
        if (r->GetEntryCount() != 1)
            state.SkipWithError("not one pair");
        state.PauseTiming();
        r.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["text_MB"] = double(text.size() * 2) / 1e6;
}

} // namespace

BENCHMARK(BM_Load<After::Nothing>)->Name("BM_LoadFile")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load<After::Refresh>)->Name("BM_LoadFileAndRefresh")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load<After::Compile>)->Name("BM_LoadFileAndCompile")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PatternOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadOneBeforeManyAfters)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
