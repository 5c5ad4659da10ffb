// The file grep on the benchmark queries, fast and exact scans against the character-by-character
// scans.
// The text is TARN_BENCH_FILE when set (for example big/edict.txt of the peer corpus), else a
// generated Shift-JIS dictionary-like file of about 16 MB.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

#include "core/system_text.h"
#include "generated_text.h"
#include "pattern/grep.h"

namespace {

using tarn::pattern::RE_LineInfo_t;
using tarn::pattern::TGrep;

const char* const kQueries[] = {"computer", "辞書", "コンピュータ", "[ァ-ヶ]+ー", "^日本", "猫|犬|鳥|魚", ".*ship$",
                                "(コ|こ|ｺ)(ン|ん|ﾝ)(ピ|ぴ|ﾋﾟ|ひ゜|ヒ゜)(ュ|ゅ|ｭ|ユ|ゆ|ﾕ)(ー|～|ｰ|)(タ|た|ﾀ)"};

std::string GeneratedFile() {
  const std::string path = (std::filesystem::temp_directory_path() / ("tarn-bench-" + std::to_string(getpid()) + ".txt")).string();
  const char* const words[] = {"日本", "辞書", "コンピュータ", "ソフト", "表示", "データー", "猫", "ownership", "computer",
                               "(n)", "/", "[にほん]", "学校", "ひらがな", "ｺﾝﾋﾟｭｰﾀ", "the", "of", "to mark", "ー"};
  std::ofstream(path, std::ios::binary) << tarn::bench::GeneratedText(words, 1, 16u << 20, 3, 10);
  return path;
}

struct Corpus {
  std::string path;
  bool generated = false;
  Corpus() {
    if (const char* file = std::getenv("TARN_BENCH_FILE"); file != nullptr && *file != '\0') {
      path = file;
    } else {
      path = GeneratedFile();
      generated = true;
    }
  }
  ~Corpus() {
    if (generated) std::filesystem::remove(path);
  }
};

const Corpus& TheCorpus() {
  static const Corpus corpus;
  return corpus;
}

void BM_Grep(benchmark::State& state) {
  const bool reference = state.range(1) != 0;
  TGrep grep;
  grep.SetRegExp(tarn::SystemText(kQueries[state.range(0)]));
  grep.ForceReferenceScan = reference;
  std::size_t lines = 0;
  grep.OnMatch = [&](TGrep&, RE_LineInfo_t) { ++lines; };
  for (auto _ : state) {
    lines = 0;
    grep.Grep(TheCorpus().path);
  }
  state.counters["lines"] = static_cast<double>(lines);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(std::filesystem::file_size(TheCorpus().path)));
  state.SetLabel(std::string(reference ? "reference " : grep.UsesFastScan() ? "fast " : "exact ") + "Q" +
                 std::to_string(state.range(0) + 1));
}
BENCHMARK(BM_Grep)->ArgsProduct({benchmark::CreateDenseRange(0, 7, 1), {0, 1}})->Unit(benchmark::kMillisecond);

// Patterns whose runs go on over line ends, and two that look alike but stay in their lines. On
// the generated text (no "y", few "」") the runs of Q9-Q11 read far ahead: the reference scan
// repeats that from every start, so it gets only the first 16 KB of the text and its bytes per
// second fall as the file grows; the exact scan takes the whole file.
const char* const kCrossLineQueries[] = {"「(.|\\n)*」", "(.|\\n)*y", "[\\x01-\\x7f]*y", "本\\n日|ン\\nコ", "「[^」]*」",
                                         "[^x]*y"};

struct CrossLineCorpus {
  std::string whole;
  std::string head;  // the first 16 KB, for the reference scan
  CrossLineCorpus() {
    const auto dir = std::filesystem::temp_directory_path();
    whole = (dir / ("tarn-bench-cross-" + std::to_string(getpid()) + ".txt")).string();
    head = (dir / ("tarn-bench-cross-head-" + std::to_string(getpid()) + ".txt")).string();
    const char* const words[] = {"日本", "辞書", "コンピュータ", "ソフト", "表示", "「引用」", "「開き", "猫", "ownership",
                                 "computer", "(n)", "/", "学校", "ひらがな", "the", "of", "本"};
    const std::string text = tarn::bench::GeneratedText(words, 2, 4u << 20, 2, 8);
    std::ofstream(whole, std::ios::binary) << text;
    std::ofstream(head, std::ios::binary) << text.substr(0, 16u << 10);
  }
  ~CrossLineCorpus() {
    std::filesystem::remove(whole);
    std::filesystem::remove(head);
  }
};

void BM_GrepCrossLine(benchmark::State& state) {
  static const CrossLineCorpus corpus;
  const bool reference = state.range(1) != 0;
  const std::string& path = reference ? corpus.head : corpus.whole;
  TGrep grep;
  grep.SetRegExp(tarn::SystemText(kCrossLineQueries[state.range(0)]));
  grep.ForceReferenceScan = reference;
  std::size_t lines = 0;
  grep.OnMatch = [&](TGrep&, RE_LineInfo_t) { ++lines; };
  for (auto _ : state) {
    lines = 0;
    grep.Grep(path);
  }
  state.counters["lines"] = static_cast<double>(lines);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(std::filesystem::file_size(path)));
  state.SetLabel(std::string(reference ? "reference 16KB " : grep.UsesFastScan() ? "fast 4MB " : "exact 4MB ") + "Q" +
                 std::to_string(state.range(0) + 9));
}
BENCHMARK(BM_GrepCrossLine)->ArgsProduct({benchmark::CreateDenseRange(0, 5, 1), {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
