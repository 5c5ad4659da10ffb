#include "search/context_lines.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>

#include "test_tree.h"

namespace tarn::search {
namespace {

struct Collected : ContextLines::Sink {
  std::vector<std::int32_t> lines;
  void Separator() override {}
  void Context(std::string_view, std::int32_t line_no, std::string_view) override { lines.push_back(line_no); }
  void Unreadable(std::string_view, const std::string&) override {}
};

// {lines before, lines after, the reported line, lines given before the run is stopped}: a
// stopped run reads no further, whether the lines asked for reach to the file's end, its start
// or both.
class ContextLinesStopTest : public ::testing::TestWithParam<std::array<std::int32_t, 4>> {};
INSTANTIATE_TEST_SUITE_P(Stretches, ContextLinesStopTest,
                         ::testing::Values(std::array{0, 1000000, 10, 3}, std::array{1000000, 0, 40000, 5},
                                           std::array{1000000, 1000000, 2, 1}, std::array{1000000, 1000000, 30000, 0}));

TEST_P(ContextLinesStopTest, StopEndsTheLinesAtOnce) {
  const auto [before, after, hit, stop_after] = GetParam();
  std::string text;
  for (int i = 1; i <= 50000; ++i) text += "line " + std::to_string(100000 + i) + "\r\n";  // 13 bytes
  testing::TestTree tree;
  const std::string path = tree.File("a.txt", text);
  Collected sink;
  ContextLines context(before, after, sink);
  context.Stopped = [&] { return std::ssize(sink.lines) >= stop_after; };
  context.BeforeLine(path, path, {hit, std::int64_t{hit - 1} * 13, 0}, 11);
  context.Finish();
  std::vector<std::int32_t> want(static_cast<std::size_t>(stop_after));
  std::iota(want.begin(), want.end(), before > 0 ? std::max(1, hit - before) : hit + 1);
  EXPECT_EQ(sink.lines, want);
}

}  // namespace
}  // namespace tarn::search
