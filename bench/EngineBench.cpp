// Engine throughput on a 200,000-pair Japanese-like dictionary and a text of
// 10,000,000 code units.
#include "BenchData.h"
#include "CompiledMatcher.h"
#include "Replacer.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr size_t kPairs = 200000;
constexpr size_t kTextUnits = 10000000;

const std::vector<BenchPair>& Dictionary()
{
    static const std::vector<BenchPair> pairs = MakeDictionary(kPairs);
    return pairs;
}

const std::u16string& Text()
{
    static const std::u16string text = MakeText(Dictionary(), kTextUnits);
    return text;
}

void Load(Replacer& r)
{
    for (const BenchPair& p : Dictionary())
        r.AddPair(p.before.c_str(), p.after.c_str());
}

Replacer& Loaded()
{
    static Replacer r;
    static bool loaded = false;
    if (!loaded) {
        Load(r);
        loaded = true;
    }
    return r;
}

void ReportPeak(benchmark::State& state)
{
    state.counters["peak_rss_MB"] = double(PeakRssBytes()) / (1024 * 1024);
}

void BM_AddPairAll(benchmark::State& state)
{
    Dictionary();
    for (auto _ : state) {
        auto r = std::make_unique<Replacer>();
        Load(*r);
        benchmark::DoNotOptimize(r->GetNodeCount());
        state.PauseTiming();
        r.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kPairs));
}

// AddPair of every pair plus the compiled matcher that the first scan needs.
void BM_LoadAndCompile(benchmark::State& state)
{
    Dictionary();
    for (auto _ : state) {
        Replacer r;
        Load(r);
        r.Scan(u"");
        benchmark::DoNotOptimize(r.GetMatchCount());
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kPairs));
}

void BM_RebuildAndSort(benchmark::State& state)
{
    Replacer& r = Loaded();
    for (auto _ : state) {
        r.RebuildEntries();
        r.SortByBefore();
        benchmark::DoNotOptimize(r.GetEntryCount());
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kPairs));
}

void BM_SortByAfter(benchmark::State& state)
{
    Replacer& r = Loaded();
    r.RebuildEntries();
    for (auto _ : state) {
        state.PauseTiming();
        r.SortByBefore();
        state.ResumeTiming();
        r.SortByAfter();
    }
}

template <bool Gloss>
void BM_ScanBuild(benchmark::State& state)
{
    Replacer& r = Loaded();
    const std::u16string& text = Text();
    r.Scan(u""); // compile outside the timing
    for (auto _ : state) {
        r.Scan(text);
        std::u16string out = Gloss ? r.BuildGlossed(text) : r.BuildReplaced(text);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations() * text.size() * sizeof(char16_t)));
    state.counters["matches"] = double(r.GetMatchCount());
    ReportPeak(state);
}

void BM_ScanOnly(benchmark::State& state)
{
    Replacer& r = Loaded();
    const std::u16string& text = Text();
    r.Scan(u"");
    for (auto _ : state)
        r.Scan(text);
    state.SetBytesProcessed(int64_t(state.iterations() * text.size() * sizeof(char16_t)));
}

// The compiled matcher's size for the 200,000 pairs.
void BM_CompiledSize(benchmark::State& state)
{
    Replacer& r = Loaded();
    for (auto _ : state)
        benchmark::DoNotOptimize(r.Compile().get());
    const size_t bytes = r.Compile()->MemoryBytes();
    state.counters["matcher_MB"] = double(bytes) / (1024 * 1024);
    state.counters["bytes_per_pair"] = double(bytes) / double(kPairs);
}

// Worst case of a walk from every position: one pair 'a' x k + 'b' over
// 10,000,000 'a'. The scan's time must not grow with k.
void BM_LongSharedPrefix(benchmark::State& state)
{
    const size_t k = size_t(state.range(0));
    static const std::u16string text(kTextUnits, u'a');
    Replacer r;
    r.AddPair((std::u16string(k, u'a') + u'b').c_str(), u"X");
    TextScan scan(r.Compile());
    for (auto _ : state)
        scan.Scan(text);
    state.SetBytesProcessed(int64_t(state.iterations() * text.size() * sizeof(char16_t)));
    ReportPeak(state);
}

} // namespace

BENCHMARK(BM_CompiledSize)->Iterations(1);
BENCHMARK(BM_LongSharedPrefix)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddPairAll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAndCompile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildAndSort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByAfter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanBuild<false>)->Name("BM_ScanBuildReplaced")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanBuild<true>)->Name("BM_ScanBuildGlossed")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
