#include "ui/request_panel.h"

#include <QPainter>

namespace tarn::ui {

TRequestPanel::TRequestPanel(QWidget* parent) : QWidget(parent) {}

void TRequestPanel::PanelFindRequestResize() {
  for (QWidget* w : stretched_) w->resize(std::max(0, width() - w->x()), w->height());
}

void TRequestPanel::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  PanelFindRequestResize();
}

TStatusPanel::TStatusPanel(QWidget* parent) : QWidget(parent) {}

void TStatusPanel::SetText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  update();
}

QSize TStatusPanel::sizeHint() const { return {200, std::max(20, fontMetrics().height() + 4)}; }

QSize TStatusPanel::minimumSizeHint() const { return {20, sizeHint().height()}; }

void TStatusPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(rect().adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text_);
}

}  // namespace tarn::ui
