#include "ui/color_picker_button.h"

#include <QColorDialog>
#include <QEvent>
#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QWidgetAction>

#include "ui/ui_settings_values.h"

namespace tarn::ui {
namespace {

// Two rows of the sixteen basic colours.
constexpr std::array<std::uint32_t, 16> kBasicColors = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080,
    0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
};

constexpr int kColumns = 8;

std::uint32_t ValueOf(const QColor& color) {
  return static_cast<std::uint32_t>(color.red()) | (static_cast<std::uint32_t>(color.green()) << 8) |
         (static_cast<std::uint32_t>(color.blue()) << 16);
}

// A swatch of the colour; a value that is no colour shows as a crossed-out box.
QPixmap Swatch(std::uint32_t value, const QPalette& palette, QSize size) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  const QRect box(0, 0, size.width() - 1, size.height() - 1);
  const QColor color = ColorOf(value, palette);
  p.fillRect(box, color.isValid() ? color : palette.color(QPalette::Base));
  p.setPen(palette.color(QPalette::Shadow));
  p.drawRect(box);
  if (!color.isValid()) p.drawLine(box.bottomLeft(), box.topRight());
  return pixmap;
}

}  // namespace

TColorPickerButton::TColorPickerButton(std::uint32_t defaultValue, QWidget* parent)
    : QToolButton(parent), value_(defaultValue), defaultValue_(defaultValue) {
  setPopupMode(QToolButton::InstantPopup);
  setIconSize(QSize(32, 14));
  BuildPalette();
  ShowValue();
}

void TColorPickerButton::SetValue(std::uint32_t value) {
  value_ = value;
  ShowValue();
}

void TColorPickerButton::Choose(std::uint32_t value) {
  if (QMenu* palette = menu()) palette->close();
  SetValue(value);
  emit ValueChanged(value);
}

void TColorPickerButton::ShowValue() { setIcon(QIcon(Swatch(value_, palette(), iconSize()))); }

void TColorPickerButton::changeEvent(QEvent* e) {
  QToolButton::changeEvent(e);
  if (e->type() == QEvent::PaletteChange) ShowValue();
}

void TColorPickerButton::BuildPalette() {
  auto* popup = new QMenu(this);
  popup->setObjectName(QStringLiteral("ColorPalette"));
  auto* panel = new QWidget(popup);
  auto* grid = new QGridLayout(panel);
  grid->setSpacing(2);
  grid->setContentsMargins(4, 4, 4, 4);

  int row = 0;
  auto* choose = new QPushButton(QStringLiteral("選択してください"), panel);
  choose->setObjectName(QStringLiteral("ColorDefault"));
  choose->setFlat(true);
  connect(choose, &QPushButton::clicked, this, [this] { Choose(defaultValue_); });
  grid->addWidget(choose, row++, 0, 1, kColumns);

  auto addSwatch = [&](std::uint32_t value, const QString& name, int index, int firstRow) {
    auto* swatch = new QToolButton(panel);
    swatch->setObjectName(QLatin1String("Color") + QString::number(value, 16).rightJustified(8, QLatin1Char('0')).toUpper());
    swatch->setAutoRaise(true);
    swatch->setIconSize(QSize(16, 16));
    swatch->setIcon(QIcon(Swatch(value, palette(), QSize(16, 16))));
    swatch->setToolTip(name);
    connect(swatch, &QToolButton::clicked, this, [this, value] { Choose(value); });
    grid->addWidget(swatch, firstRow + index / kColumns, index % kColumns);
  };
  for (std::size_t i = 0; i < kBasicColors.size(); ++i) {
    const std::uint32_t value = kBasicColors[i];
    addSwatch(value, ColorOf(value, palette()).name(QColor::HexRgb).toUpper(), static_cast<int>(i), row);
  }
  row += static_cast<int>((kBasicColors.size() + kColumns - 1) / kColumns);
  for (std::size_t i = 0; i < kSystemPaletteColors.size(); ++i)
    addSwatch(kSystemPaletteColors[i].Value,
              QString::fromUtf8(kSystemPaletteColors[i].Name.data(), static_cast<qsizetype>(kSystemPaletteColors[i].Name.size())),
              static_cast<int>(i), row);
  row += static_cast<int>((kSystemPaletteColors.size() + kColumns - 1) / kColumns);

  auto* other = new QPushButton(QStringLiteral("その他"), panel);
  other->setObjectName(QStringLiteral("ColorOther"));
  other->setFlat(true);
  connect(other, &QPushButton::clicked, this, [this] { ChooseOther(); });
  grid->addWidget(other, row, 0, 1, kColumns);

  auto* action = new QWidgetAction(popup);
  action->setDefaultWidget(panel);
  popup->addAction(action);
  setMenu(popup);
}

void TColorPickerButton::ChooseOther() {
  if (QMenu* palette = menu()) palette->close();
  const QColor start = ColorOf(value_, palette());
  const QColor chosen = QColorDialog::getColor(start.isValid() ? start : Qt::white, this);
  if (chosen.isValid()) Choose(ValueOf(chosen));
}

}  // namespace tarn::ui
