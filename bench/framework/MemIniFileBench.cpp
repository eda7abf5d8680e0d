// Every operation of the INI document on a file at the size limit (1 MiB),
// made of as many small sections as fit, must take well under a second.
#include "framework/MemIniFile.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// "[n]\n" sections up to the size limit, every tenth with a key.
const std::string& ManySections()
{
    static const std::string text = [] {
        std::string t;
        for (int i = 0; t.size() + 32 < TMemIniFile::MaxFileSize; ++i)
            t.append(1, '[').append(std::to_string(i)).append(i % 10 ? "]\n" : "]\nk=v\n");
        return t;
    }();
    return text;
}

TMemIniFile Loaded()
{
    TMemIniFile ini;
    ini.SetText(ManySections());
    return ini;
}

void BM_SetText(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(Loaded());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ManySections().size()));
}

void BM_ReadSections(benchmark::State& state)
{
    const TMemIniFile ini = Loaded();
    for (auto _ : state) benchmark::DoNotOptimize(ini.ReadSections());
    state.counters["sections"] = static_cast<double>(ini.ReadSections().size());
}

void BM_GetText(benchmark::State& state)
{
    const TMemIniFile ini = Loaded();
    for (auto _ : state) benchmark::DoNotOptimize(ini.GetText());
}

// One look-up of the last section, and a key written into a new one.
void BM_ReadString(benchmark::State& state)
{
    const TMemIniFile ini = Loaded();
    for (auto _ : state) benchmark::DoNotOptimize(ini.ReadString("99990", "K", ""));
}

void BM_WriteString(benchmark::State& state)
{
    TMemIniFile ini = Loaded();
    int n = 0;
    for (auto _ : state) ini.WriteString(std::string("New").append(std::to_string(n++)), "k", "v");
}

BENCHMARK(BM_SetText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSections)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadString)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteString)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
