// The preview pane under the result view: the file of the selected row around the row's line, read
// only, the line marked and every hit of the search in the shown lines painted, line numbers in
// a margin; or one line saying why the file cannot be shown.
#pragma once

#include <QWidget>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/ko_editor.h"
#include "pattern/regular_expression.h"
#include "search/background_call.h"
#include "search/preview_text.h"
#include "search/result_hits.h"

class QLabel;
class QTimer;

namespace tarn::ui {

class TPreviewGutter;

class TPreviewPane : public QWidget {
  Q_OBJECT

 public:
  explicit TPreviewPane(QWidget* parent = nullptr);
  ~TPreviewPane() override;

  editor::TKoEditor& Editor() const { return *editor_; }
  // The message shown instead of the file; empty while a file is shown.
  QString Message() const;
  // The number of the file's line shown in a row of the pane.
  std::int32_t LineNoOfRow(int row) const { return firstLineNo_ + row; }
  // The row holding the result row's line; -1 when none is shown.
  int HitRow() const noexcept { return hitRow_; }

  // Shows the file of a result row (its text and record; offset: where its line starts in the
  // file, -1 when unknown). A file that takes long to read is read on a thread of its own while
  // the pane says so; its text is dropped when another row was asked for meanwhile.
  void ShowRow(const std::string& row, const std::string& info, std::int64_t offset);
  // Shows nothing.
  void Clear();
  // A row's file is being read.
  bool Loading() const noexcept { return pending_.has_value(); }

  // The search's matcher, which finds the hits in the shown lines; they are painted only while
  // it gives the row's own hit, so a result of another search gets no wrong marks.
  const pattern::TAWKStr* Matcher = nullptr;
  // Sets the editor's canvas to the hit style before a hit is drawn.
  std::function<void(editor::TKoEditor&)> SetHitCanvas;
  // How long a row's file is waited for before the pane says it is being read and the window goes
  // on: a row with its line's offset takes a few milliseconds; the first row without one near
  // the end of a large file, or a file on a server that does not answer, takes longer.
  std::chrono::milliseconds Patience{30};
  // A double-click on a line, or Enter on the caret's line: its number.
  std::function<void(std::int32_t lineNo)> OnOpenLine;

 private:
  // What a read gives back: the row's window and the reader, with the line starts it keeps.
  struct TAnswer {
    search::TRowPreview Preview;
    std::shared_ptr<search::TPreviewReader> Reader;
  };
  void TakeAnswer();
  void Present(const search::TRowPreview& preview);
  void ClearView();
  void ShowMessage(const QString& text);
  void DrawLine(editor::TKoEditor& sender, int x, int y, int index, const QRect& rect);
  const std::vector<search::TLineHit>& HitsOfRow(int row);

  editor::TKoEditor* editor_ = nullptr;
  TPreviewGutter* gutter_ = nullptr;
  QWidget* textArea_ = nullptr;
  QLabel* message_ = nullptr;
  // Lent to the read in progress; a read that never returns takes it along.
  std::shared_ptr<search::TPreviewReader> reader_ = std::make_shared<search::TPreviewReader>();
  std::optional<search::TBackgroundCall<TAnswer>> pending_;
  QTimer* answers_ = nullptr;
  std::int32_t firstLineNo_ = 0;
  int hitRow_ = -1;
  bool paintHits_ = false;
  std::vector<std::optional<std::vector<search::TLineHit>>> hits_;
};

}  // namespace tarn::ui
