// The panels of the main window that only lay out and paint: the search request panel, whose
// boxes reach its right edge, and the status bar's text.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

namespace tarn::ui {

class TRequestPanel : public QWidget {
  Q_OBJECT

 public:
  explicit TRequestPanel(QWidget* parent = nullptr);
  // Widgets that keep their left edge and stretch to the panel's right edge.
  void AddStretched(QWidget* w) { stretched_.push_back(w); }
  // Each stretched widget's width becomes the panel's width less its left edge.
  void PanelFindRequestResize();

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  std::vector<QWidget*> stretched_;
};

// The status line: text drawn from the left, cheap to change once per reported line.
class TStatusPanel : public QWidget {
  Q_OBJECT

 public:
  explicit TStatusPanel(QWidget* parent = nullptr);
  const QString& Text() const noexcept { return text_; }
  void SetText(const QString& text);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  QString text_;
};

}  // namespace tarn::ui
