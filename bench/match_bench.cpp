// TAWKStr::Match, the one-pass scan against the restarting reference searches
// (ForceReferenceMatch), on the hit lines of a few patterns: what the search window runs for
// every line the file grep reports. The lines come from TARN_BENCH_FILE when set (its first
// 16 MB, for example big/edict.txt of the peer corpus), else from generated Shift-JIS
// dictionary-like text. Two long lines show the difference the restarts make.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "core/system_text.h"
#include "generated_text.h"
#include "pattern/regular_expression.h"

namespace {

using tarn::pattern::TAWKStr;

const char* const kPatterns[] = {"computer", "辞書", "コンピュータ", "[ァ-ヶ]+ー", "^日本", "猫|犬|鳥|魚", ".*ship$",
                                 "(コ|こ|ｺ)(ン|ん|ﾝ)(ピ|ぴ|ﾋﾟ)(ュ|ゅ|ｭ)(ー|～|ｰ|)(タ|た|ﾀ)", "[a-z]+ing"};

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    lines.push_back(text.substr(begin, i - begin));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    begin = i + 1;
  }
  if (begin < text.size()) lines.push_back(text.substr(begin));
  return lines;
}

std::string Text() {
  if (const char* file = std::getenv("TARN_BENCH_FILE"); file != nullptr && *file != '\0') {
    std::ifstream in(file, std::ios::binary);
    std::string text(16u << 20, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
  }
  const char* const words[] = {"日本", "辞書", "コンピュータ", "ソフト", "表示", "データー", "猫", "ownership", "computer",
                               "(n)", "/", "[にほん]", "学校", "ひらがな", "ｺﾝﾋﾟｭｰﾀ", "the", "of", "to mark", "ー",
                               "testing"};
  return tarn::bench::GeneratedText(words, 1, 4u << 20, 3, 10);
}

const std::vector<std::string>& Lines() {
  static const std::vector<std::string> lines = SplitLines(Text());
  return lines;
}

void Run(benchmark::State& state, TAWKStr& awk, const std::vector<std::string>& lines) {
  std::size_t bytes = 0;
  for (const std::string& line : lines) bytes += line.size();
  int start = 0, length = 0;
  for (auto _ : state)
    for (const std::string& line : lines) benchmark::DoNotOptimize(awk.Match(line, start, length));
  state.counters["lines"] = static_cast<double>(lines.size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_MatchHitLines(benchmark::State& state) {
  TAWKStr awk;
  awk.SetRegExp(tarn::SystemText(kPatterns[state.range(0)]));
  std::vector<std::string> hits;
  int start = 0, length = 0;
  for (const std::string& line : Lines())
    if (awk.Match(line, start, length) != 0) hits.push_back(line);
  awk.ForceReferenceMatch = state.range(1) != 0;
  state.SetLabel(std::string(awk.ForceReferenceMatch ? "reference " : "fast ") + "P" + std::to_string(state.range(0) + 1));
  Run(state, awk, hits);
}
BENCHMARK(BM_MatchHitLines)
    ->ArgsProduct({benchmark::CreateDenseRange(0, static_cast<int>(std::size(kPatterns)) - 1, 1), {0, 1}})
    ->Unit(benchmark::kMillisecond);

// One line of 20000 "a" and a final "c" for «a.*b|c»; a line of 20000 Japanese characters
// without the pattern's last character for «[ぁ-ん]+ー».
void BM_MatchLongLine(benchmark::State& state) {
  TAWKStr awk;
  std::vector<std::string> line;
  if (state.range(0) == 0) {
    awk.SetRegExp("a.*b|c");
    line.push_back(std::string(20000, 'a') + "c");
  } else {
    awk.SetRegExp(tarn::SystemText("[ぁ-ん]+ー"));
    std::string text;
    for (int i = 0; i < 10000; ++i) text += tarn::SystemText("あい");
    line.push_back(text);
  }
  awk.ForceReferenceMatch = state.range(1) != 0;
  state.SetLabel(std::string(awk.ForceReferenceMatch ? "reference " : "fast ") + "L" + std::to_string(state.range(0) + 1));
  Run(state, awk, line);
}
BENCHMARK(BM_MatchLongLine)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
