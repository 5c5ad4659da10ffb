// The preview's window of lines against the file read whole, on random files mixing every line
// end, with and without the search's offset.
#include "search/preview_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/encoding.h"
#include "test_tree.h"

namespace tarn::search {
namespace {

struct WholeFile {
  std::vector<std::string> Lines;
  std::vector<std::int64_t> Starts;
};

// Lines as the search ends them, read the plain way.
WholeFile ReadWhole(const std::string& bytes) {
  WholeFile whole;
  std::size_t start = 0;
  for (std::size_t i = 0; i < bytes.size();) {
    if (bytes[i] != '\n' && bytes[i] != '\r') {
      ++i;
      continue;
    }
    whole.Starts.push_back(static_cast<std::int64_t>(start));
    whole.Lines.push_back(bytes.substr(start, i - start));
    i += bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n' ? 2 : 1;
    start = i;
  }
  if (start < bytes.size()) {
    whole.Starts.push_back(static_cast<std::int64_t>(start));
    whole.Lines.push_back(bytes.substr(start));
  }
  for (std::string& line : whole.Lines) std::replace(line.begin(), line.end(), '\0', ' ');
  return whole;
}

// Lines ended every way, or by LF alone or after CR.
std::string RandomText(std::mt19937& rng, std::size_t lines, bool lf_only) {
  static const char* const kEnds[] = {"\n", "\r\n", "\r", "\n\r", "\r\r\n"};
  static const char kBytes[] = "ab \t\x82\xa0\x88\x9f\x81\x5b\0z";
  std::string text;
  for (std::size_t i = 0; i < lines; ++i) {
    // Now and then a line longer than a read of the file.
    const std::size_t length = rng() % 150 == 0 ? 70000 + rng() % 80000 : rng() % 40;
    for (std::size_t k = 0; k < length; ++k) text += kBytes[rng() % (sizeof kBytes - 1)];
    if (i + 1 < lines || rng() % 2 == 0) text += kEnds[lf_only ? rng() % 2 : rng() % std::size(kEnds)];
  }
  return text;
}

TEST(PreviewText, WindowIsTheFilesLinesWhereverTheLineAndWhateverTheHint) {
  testing::TestTree tree;
  std::mt19937 rng(23);
  for (int round = 0; round < 15; ++round) {
    const std::string bytes = RandomText(rng, 1 + rng() % 2000, round % 3 == 0);
    const std::string path = tree.File("f" + std::to_string(round) + ".txt", bytes);
    const WholeFile whole = ReadWhole(bytes);
    TPreviewReader reader;
    for (int query = 0; query < 40; ++query) {
      const auto count = static_cast<std::int32_t>(whole.Lines.size());
      const std::int32_t n = 1 + static_cast<std::int32_t>(rng() % static_cast<unsigned>(count));
      TPreviewRequest request{path, n, -1, static_cast<std::int32_t>(rng() % 300), static_cast<std::int32_t>(rng() % 300)};
      const int hint = static_cast<int>(rng() % 3);  // none, the right one, a wrong one
      if (hint == 1) request.Offset = whole.Starts[static_cast<std::size_t>(n - 1)];
      // Inside the line, so that it cannot be taken for a line start.
      if (hint == 2 && whole.Lines[static_cast<std::size_t>(n - 1)].size() >= 2)
        request.Offset = whole.Starts[static_cast<std::size_t>(n - 1)] + 1;
      SCOPED_TRACE("round " + std::to_string(round) + " line " + std::to_string(n) + " hint " + std::to_string(hint));
      const TPreviewText text = reader.Read(request);
      ASSERT_EQ(text.Problem, TPreviewProblem::kNone);
      const std::int32_t first = std::max(1, n - request.Before);
      const std::int32_t last = std::min(count, n + request.After);
      ASSERT_EQ(text.FirstLineNo, first);
      const std::vector<std::string> expected(whole.Lines.begin() + (first - 1), whole.Lines.begin() + last);
      ASSERT_TRUE(text.Lines == expected);
      ASSERT_FALSE(text.LineCut);
    }
    // A line past the file's end is no line of it.
    EXPECT_EQ(reader.Read({path, static_cast<std::int32_t>(whole.Lines.size()) + 1}).Problem, TPreviewProblem::kChanged);
  }
}

// A file in another encoding is shown as the search read it: its CP932 form, the mark skipped.
TEST(PreviewText, FileInAnotherEncodingShowsItsCp932Lines) {
  testing::TestTree tree;
  const std::vector<std::string> expected = {Utf8ToCp932("東京"), Utf8ToCp932("大阪 ok"), ""};
  const struct {
    FileEncoding Encoding;
    std::string Bytes;
  } files[] = {
      {FileEncoding::kUtf8, "\xEF\xBB\xBF\xE6\x9D\xB1\xE4\xBA\xAC\r\n\xE5\xA4\xA7\xE9\x98\xAA ok\n\n"},
      {FileEncoding::kEucJp, "\xC5\xEC\xB5\xFE\n\xC2\xE7\xBA\xE5 ok\r\r\n"},
  };
  for (const auto& file : files) {
    const std::string path = tree.File("e" + std::to_string(static_cast<int>(file.Encoding)) + ".txt", file.Bytes);
    TPreviewReader reader;
    TPreviewRequest request{path, 2, -1, 5, 5};
    request.Encoding = file.Encoding;
    const TPreviewText text = reader.Read(request);
    ASSERT_EQ(text.Problem, TPreviewProblem::kNone);
    EXPECT_EQ(text.FirstLineNo, 1);
    EXPECT_EQ(text.Lines, expected);
  }
}

}  // namespace
}  // namespace tarn::search
