// Reading and writing a settings file of many sections and keys: the time must grow linearly
// with the file (the window reads it at start, at close and for every result-history entry).
#include <benchmark/benchmark.h>

#include <string>

#include "settings/ini_file.h"

namespace {

std::string ManySections(std::int64_t sections) {
  std::string text;
  for (std::int64_t i = 0; i < sections; ++i)
    text += "[Section" + std::to_string(i) + "]\r\nKey=" + std::to_string(i) + "\r\n";
  return text;
}

void BM_ParseFindAndWrite(benchmark::State& state) {
  const std::string text = ManySections(state.range(0));
  for (auto _ : state) {
    tarn::settings::IniFile ini = tarn::settings::IniFile::Parse(text);
    for (std::int64_t i = 0; i < state.range(0); i += 97)
      benchmark::DoNotOptimize(ini.Find("section" + std::to_string(i), "key"));
    ini.WriteInteger("FindResultHistory", "Last", 1);
    benchmark::DoNotOptimize(ini.ToText());
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseFindAndWrite)->RangeMultiplier(10)->Range(100, 100000)->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
