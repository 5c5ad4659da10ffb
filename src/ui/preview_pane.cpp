#include "ui/preview_pane.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "core/sjis.h"
#include "editor/row_layout.h"
#include "ui/result_hit.h"
#include "ui/aux_editor.h"
#include "ui/ui_text.h"

namespace tarn::ui {
namespace {

// Bytes of a long line shown before a hit that lies past what a row shows.
constexpr std::size_t kCutContext = 40;
// A read's own thread cannot call into the window: it is asked for its answer this often.
constexpr int kAnswerPollMs = 5;

}  // namespace

// The line numbers beside the pane's rows, in the editor's face and row height.
class TPreviewGutter : public QWidget {
 public:
  TPreviewGutter(const TPreviewPane& pane, QWidget* parent) : QWidget(parent), pane_(pane) {}

  void Fit() {
    const editor::TKoEditor& e = pane_.Editor();
    const int last = pane_.LineNoOfRow(std::max(0, e.Lines.Count() - 1));
    const int width = QFontMetrics(e.EditorFont()).horizontalAdvance(QString::number(std::max(last, 9999))) + 10;
    setFixedWidth(width);
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    const editor::TKoEditor& e = pane_.Editor();
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    if (e.Lines.Count() == 0) return;
    p.setFont(e.EditorFont());
    p.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
    // Rows stand where the editor's viewport puts them.
    const int top = e.viewport()->mapTo(parentWidget(), QPoint(0, 0)).y() - y() + e.TextTop();
    const int rh = e.RowHeight();
    p.setClipRect(0, top - e.TextTop(), width(), e.viewport()->height());
    for (int r = e.TopRow(); r < e.Lines.Count(); ++r) {
      const int y = top + (r - e.TopRow()) * rh;
      if (y > height()) break;
      QFont font = e.EditorFont();
      font.setBold(r == pane_.HitRow());
      p.setFont(font);
      p.drawText(QRect(0, y, width() - 6, rh), Qt::AlignRight | Qt::AlignVCenter, QString::number(pane_.LineNoOfRow(r)));
    }
  }

 private:
  const TPreviewPane& pane_;
};

TPreviewPane::TPreviewPane(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PreviewPane"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  message_ = new QLabel(this);
  message_->setObjectName(QStringLiteral("PreviewMessage"));
  message_->setContentsMargins(8, 6, 8, 6);
  message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  message_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  message_->setBackgroundRole(QPalette::Base);
  message_->setAutoFillBackground(true);
  message_->hide();
  layout->addWidget(message_, 1);

  textArea_ = new QWidget(this);
  auto* row = new QHBoxLayout(textArea_);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  editor_ = new editor::TKoEditor(textArea_);
  editor_->setObjectName(QStringLiteral("KoEditorPreview"));
  gutter_ = new TPreviewGutter(*this, textArea_);
  row->addWidget(gutter_);
  row->addWidget(editor_, 1);
  layout->addWidget(textArea_, 1);

  editor::TKoEditor& view = *editor_;
  view.ReadOnly = true;
  view.Caret.TabSpaceCount = 8;
  view.Caret.RowSelect = true;
  view.Caret.FreeCaret = true;
  view.Margin = {6, 4, 0, 0};
  view.Marks = {};
  view.ExMarks = {};
  view.WantReturns = false;
  view.WantTabs = false;
  view.setFocusPolicy(Qt::ClickFocus);
  ScrollPagesByWheel(view);
  view.OnDrawLine = [this](editor::TKoEditor& sender, const std::string&, int x, int y, int index, const QRect& rect,
                           bool) { DrawLine(sender, x, y, index, rect); };
  // A double-click on a line, or Enter on the caret's, opens the file there.
  auto openCaretLine = [this](editor::TKoEditor& sender) {
    if (OnOpenLine && sender.Lines.Count() > 0 && message_->isHidden()) OnOpenLine(LineNoOfRow(sender.Row()));
  };
  view.OnDblClick = openCaretLine;
  view.OnKeyPress = [openCaretLine](editor::TKoEditor& sender, char& key) {
    if (key != '\r') return;
    key = 0;
    openCaretLine(sender);
  };
  connect(view.verticalScrollBar(), &QScrollBar::valueChanged, gutter_, [this] { gutter_->update(); });
  answers_ = new QTimer(this);
  answers_->setInterval(kAnswerPollMs);
  connect(answers_, &QTimer::timeout, this, &TPreviewPane::TakeAnswer);
  gutter_->Fit();
}

TPreviewPane::~TPreviewPane() = default;

QString TPreviewPane::Message() const { return message_->isHidden() ? QString() : message_->text(); }

void TPreviewPane::ShowMessage(const QString& text) {
  ClearView();
  message_->setText(text);
  textArea_->hide();
  message_->show();
}

void TPreviewPane::Clear() {
  pending_.reset();
  answers_->stop();
  ClearView();
}

void TPreviewPane::ClearView() {
  editor_->Lines.Clear();
  hits_.clear();
  hitRow_ = -1;
  firstLineNo_ = 0;
  paintHits_ = false;
  message_->hide();
  textArea_->show();
  gutter_->Fit();
}

void TPreviewPane::ShowRow(const std::string& row, const std::string& info, std::int64_t offset) {
  pending_.reset();  // whatever it gives, it is no longer asked for
  // The reader goes with the read; one still lent to a read that has not returned is replaced.
  std::shared_ptr<search::TPreviewReader> reader =
      reader_ ? std::move(reader_) : std::make_shared<search::TPreviewReader>();
  reader_.reset();
  std::optional<TAnswer> answer;
  pending_ = search::CallWithPatience<TAnswer>(
      [reader, row, info, offset] { return TAnswer{search::PreviewRow(*reader, row, info, offset), reader}; }, Patience,
      answer);
  if (pending_) {
    ShowMessage(QStringLiteral("読み込み中..."));
    answers_->start();
    return;
  }
  reader_ = std::move(answer->Reader);
  Present(answer->Preview);
}

void TPreviewPane::TakeAnswer() {
  if (!pending_ || !pending_->Ready()) {
    if (!pending_) answers_->stop();
    return;
  }
  answers_->stop();
  TAnswer answer = pending_->Take();
  pending_.reset();
  if (!reader_) reader_ = std::move(answer.Reader);
  Present(answer.Preview);
}

void TPreviewPane::Present(const search::TRowPreview& preview) {
  if (preview.Text.Problem != search::TPreviewProblem::kNone) {
    ShowMessage(FromCp932(search::PreviewProblemText(preview)));
    return;
  }
  message_->hide();
  textArea_->show();
  editor::TKoEditor& view = *editor_;
  firstLineNo_ = preview.Text.FirstLineNo;
  hitRow_ = preview.HitLineNo - firstLineNo_;
  hits_.assign(preview.Text.Lines.size(), std::nullopt);
  const std::string& line = *preview.Text.Line(preview.HitLineNo);
  int start = 0, length = 0;
  paintHits_ = Matcher != nullptr && preview.HitLength > 0 && Matcher->Match(line, preview.HitStart, start, length) != 0 &&
               static_cast<std::size_t>(start - 1) == preview.HitStart &&
               static_cast<std::size_t>(length) == preview.HitLength;
  // A hit past what a row shows: the line from shortly before it, behind a cut mark, as the
  // result view shows such a row.
  std::size_t hitStart = preview.HitStart;
  std::string shown;
  if (preview.HitStart + preview.HitLength > editor::VisibleLength(line)) {
    std::size_t from = 0;
    while (from + kCutContext < preview.HitStart) from += CharLengthAt(line, from);
    shown = std::string(kRowCutMark) + line.substr(from);
    hitStart = preview.HitStart - from + kRowCutMark.size();
    if (paintHits_) {
      std::vector<search::TLineHit> hits;
      for (search::TLineHit hit : search::LineHits(*Matcher, line, from + editor::VisibleLength(shown))) {
        if (hit.Start < from) continue;
        hit.Start += kRowCutMark.size() - from;
        hits.push_back(hit);
      }
      hits_[static_cast<std::size_t>(hitRow_)] = std::move(hits);
    }
  }
  view.Lines.BeginUpdate();
  view.Lines.Clear();
  for (const std::string& text : preview.Text.Lines) view.Lines.Add(&text == &line && !shown.empty() ? shown : text);
  view.Lines.EndUpdate();

  // The row's line selected, a third of the way down, with its hit in sight.
  view.CleanSelection();
  view.SetRowCol(hitRow_, 0);
  const std::string_view marked = view.Lines.Get(hitRow_);
  view.SetSelLength(static_cast<std::int64_t>(marked.size()) + 2);
  view.SetRowCol(hitRow_, 0);
  view.SetTopRow(hitRow_ - view.PageRows() / 3);
  const int hitCell = editor::CellOfByte(marked, hitStart, view.Caret.TabSpaceCount);
  const int hitEnd = editor::CellOfByte(marked, hitStart + preview.HitLength, view.Caret.TabSpaceCount);
  view.SetTopCol(hitEnd < view.PageCols() ? 0 : hitCell - view.PageCols() / 3);
  gutter_->Fit();
}

const std::vector<search::TLineHit>& TPreviewPane::HitsOfRow(int row) {
  std::optional<std::vector<search::TLineHit>>& hits = hits_[static_cast<std::size_t>(row)];
  if (!hits) {
    const std::string_view text = editor_->Lines.Get(row);
    hits = search::LineHits(*Matcher, text, editor::VisibleLength(text));
  }
  return *hits;
}

void TPreviewPane::DrawLine(editor::TKoEditor& sender, int x, int y, int index, const QRect& rect) {
  if (!paintHits_ || !SetHitCanvas || index < 0 || static_cast<std::size_t>(index) >= hits_.size()) return;
  const std::vector<search::TLineHit>& hits = HitsOfRow(index);
  if (hits.empty()) return;
  SetHitCanvas(sender);
  const std::string_view text = sender.Lines.Get(index);
  const std::size_t shown = editor::VisibleLength(text);
  for (const search::TLineHit& hit : hits) {
    if (hit.Start >= shown) break;
    const int cell = editor::CellOfByte(text, hit.Start, sender.Caret.TabSpaceCount);
    sender.DrawTextRect(rect, x + cell * sender.ColWidth(), y,
                        text.substr(hit.Start, std::min(hit.Length, shown - hit.Start)), editor::TKoEditor::dto_Clipped);
  }
}

}  // namespace tarn::ui
