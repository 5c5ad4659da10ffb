// The text of the editor control: lines of CP932 bytes, each with how it ends. Qt-free so that
// loading, saving, offsets and edits can be tested on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarn::editor {

// How a line ends: with a line break (CR LF), wrapped onto the next row, or at the end of the text.
enum class TLineEnd { le_Break, le_Wrapped, le_Eof };

// A place in the text: row and byte within the row. The byte may stand beyond the row's end.
struct TEditorPos {
  int Row = 0;
  int Byte = 0;
  friend auto operator<=>(const TEditorPos&, const TEditorPos&) = default;
};

class TEditorLines {
 public:
  // What changed, for the control that shows the text.
  enum class TChange { ch_Program, ch_Appended, ch_Edit };

  TEditorLines() = default;
  TEditorLines(const TEditorLines&) = delete;
  TEditorLines& operator=(const TEditorLines&) = delete;

  // Raised before the program's own changes (the control drops its selection) and after every
  // change; while a bulk update is open only the final EndUpdate raises OnChanged.
  std::function<void(TChange)> OnChanging;
  std::function<void(TChange)> OnChanged;
  // Raised at every change of the lines' texts, inside a bulk update too, so that what is kept
  // per row can follow a change at the cost of the rows it touches: lines [first, first + count)
  // are about to go, or have just come. A changed text is its line going and coming back.
  std::function<void(int first, int count)> OnRemoving;
  std::function<void(int first, int count)> OnInserted;

  // String-list operations of the program.
  int Count() const noexcept { return static_cast<int>(lines_.size()); }
  bool Empty() const noexcept { return lines_.empty(); }
  // Line i; empty for an index outside the lines.
  std::string_view Get(int i) const noexcept;
  TLineEnd EndType(int i) const noexcept;
  // Appends a line: the old last line ends with a line break, the new one takes its old end type
  // (the end of the text for the first line).
  void Add(std::string_view s);
  // The same, taking the string's text without a copy.
  void Add(std::string&& s);
  void Add(const char* s) { Add(std::string_view(s)); }
  // Inserts before line i (i == Count() appends); an index outside is ignored.
  void Insert(int i, std::string_view s);
  void Delete(int i);
  void Put(int i, std::string_view s);
  void Clear();

  // Nested bulk update.
  void BeginUpdate() noexcept { ++updateCount_; }
  void EndUpdate();
  bool Updating() const noexcept { return updateCount_ > 0; }

  // Replaces the text by the contents of a file; throws std::system_error when it cannot be read.
  void LoadFromFile(const std::filesystem::path& path);
  // Reads a stream in blocks of blockSize bytes (the block size only matters to tests).
  void LoadFromStream(std::istream& in, std::size_t blockSize = 65536);
  // Parses bytes as LoadFromStream does.
  void SetText(std::string_view bytes);
  // The whole text as saved: CR LF after every row except a wrapped row and a last row that
  // ends the text.
  std::string Text() const;
  void SaveToFile(const std::filesystem::path& path) const;

  // Rows the caret can stand on: the lines, plus the empty row after a final line break (or the
  // one row of an empty text).
  int RowCount() const noexcept;
  std::string_view Row(int row) const noexcept { return Get(row); }
  // Bytes a row's end adds to the text: 2 for a line break, else 0.
  int EndLength(int row) const noexcept;

  // Offsets into the whole text, a line break counting two.
  std::int64_t TextLength() const noexcept;
  std::int64_t OffsetOf(TEditorPos pos) const noexcept;
  // The place of an offset (clamped to the text). An offset inside a line break or a double-byte
  // character goes back to its start, or forward past it with roundUp.
  TEditorPos PosOf(std::int64_t offset, bool roundUp = false) const noexcept;
  // The last place of the text.
  TEditorPos EndPos() const noexcept;
  // A place moved onto the text: row clamped, byte clamped to the row's end.
  TEditorPos Clamp(TEditorPos pos) const noexcept;

  // The bytes from a to b (a <= b, both clamped), line breaks as CR LF.
  std::string TextRange(TEditorPos a, TEditorPos b) const;
  // Replaces the bytes from a to b (clamped) by text, whose line breaks may be CR LF, CR or LF.
  // Returns the place after the inserted text. This is the control's own edit primitive.
  TEditorPos Replace(TEditorPos a, TEditorPos b, std::string_view text);
  // The place after text inserted at pos (text's breaks counted as Replace counts them).
  static TEditorPos PosAfter(TEditorPos pos, std::string_view text) noexcept;

 private:
  struct Line {
    std::string Text;
    TLineEnd End;
  };
  void Changing(TChange c);
  void Changed(TChange c);
  void Removing(int first, int count);
  void Inserted(int first, int count);
  // The first line whose text reaches offset, and the offset of its start; {Count(), length of
  // the text} when none does. Walks from whichever end of the text is nearer.
  std::pair<int, std::int64_t> LineAt(std::int64_t offset) const noexcept;
  static std::vector<Line> Parse(std::string_view bytes);

  std::vector<Line> lines_;
  int updateCount_ = 0;
  // TextLength, kept until the next change: offsets near the end are counted back from it.
  mutable std::int64_t length_ = -1;
};

// Splits text into lines at CR LF, CR or LF (used for pasted and inserted text).
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace tarn::editor
