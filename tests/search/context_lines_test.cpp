#include "search/context_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "test_tree.h"

namespace tarn::search {
namespace {

using testing::TestTree;

// Collects the lines given; asks for the stop once `stop_after` lines have come.
class StoppingSink : public ContextLines::Sink {
 public:
  explicit StoppingSink(int stop_after) : stopped(stop_after <= 0), stop_after_(stop_after) {}
  void Separator() override {}
  void Context(std::string_view, std::int32_t line_no, std::string_view) override {
    lines.push_back(line_no);
    if (static_cast<int>(lines.size()) >= stop_after_) stopped = true;
  }
  void Unreadable(std::string_view, const std::string&) override {}

  std::vector<std::int32_t> lines;
  bool stopped;

 private:
  int stop_after_;
};

struct StopCase {
  std::int32_t before;
  std::int32_t after;
  std::int32_t hit;  // the one reported line
  int stop_after;    // lines given before the stop
};

class ContextLinesStopTest : public ::testing::TestWithParam<StopCase> {};

// A stopped run reads no further, however far the lines before or after a hit reach: reading
// back to the file's start, on to the next hit or on to its end.
TEST_P(ContextLinesStopTest, StopEndsTheLinesAtOnce) {
  const StopCase c = GetParam();
  constexpr int kLines = 50000;
  std::string text;
  char line[32];
  for (int i = 1; i <= kLines; ++i)
    text.append(line, static_cast<std::size_t>(std::snprintf(line, sizeof line, "line %06d\r\n", i)));
  TestTree tree;
  const std::string path = tree.File("a.txt", text);

  StoppingSink sink(c.stop_after);
  ContextLines context(c.before, c.after, sink);
  context.Stopped = [&sink] { return sink.stopped; };
  const ResultLinePlace place{c.hit, std::int64_t{c.hit - 1} * 13, 0};
  context.BeforeLine(path, path, place, 11);
  context.Finish();

  ASSERT_EQ(sink.lines.size(), static_cast<std::size_t>(c.stop_after));
  const std::int32_t first = c.before > 0 ? std::max(1, c.hit - c.before) : c.hit + 1;
  for (std::size_t i = 0; i < sink.lines.size(); ++i)
    EXPECT_EQ(sink.lines[i], first + static_cast<std::int32_t>(i));
}

INSTANTIATE_TEST_SUITE_P(Stretches, ContextLinesStopTest,
                         ::testing::Values(StopCase{0, 1000000, 10, 3},        // after the last hit, to the end
                                           StopCase{1000000, 0, 40000, 5},     // back to the start
                                           StopCase{1000000, 1000000, 2, 1}, // before and after
                                           StopCase{1000000, 1000000, 30000, 0}));  // stopped before

}  // namespace
}  // namespace tarn::search
