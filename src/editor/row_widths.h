// The widths of a text's rows in cells, counted so that the widest is known at once however rows
// come and go (the horizontal scroll range follows it). Qt-free.
#pragma once

#include <map>
#include <vector>

namespace tarn::editor {

class TRowWidths {
 public:
  void Add(int width);
  // A width that is not counted is ignored.
  void Remove(int width);
  void Clear() noexcept;
  // 0 when no row is counted.
  int Widest() const noexcept;

 private:
  // A row is counted for every line a search lists: the narrow ones, nearly all of them, are
  // counted by index, without a tree's allocation and search.
  static constexpr int kIndexed = 4096;
  std::vector<int> narrow_;  // rows of each width below kIndexed
  int widestNarrow_ = 0;     // no narrow row is wider
  std::map<int, int> wide_;  // width -> rows that wide
};

}  // namespace tarn::editor
