// TColorPickerButton: a button showing a colour value that drops down a palette of basic colours
// and the desktop's system colours, with an entry for the default colour and "その他" for any
// colour. Values are the settings' colour values (0x00BBGGRR, or 0x80000000 + system index).
#pragma once

#include <QToolButton>
#include <array>
#include <cstdint>
#include <string_view>

namespace tarn::ui {

struct TPaletteColor {
  std::uint32_t Value;
  std::string_view Name;  // UTF-8, the swatch's tool tip
};

// The system colours the palette offers, shown in the desktop's own colours.
inline constexpr std::array<TPaletteColor, 12> kSystemPaletteColors = {{
    {0x80000005, "ウィンドウの背景"},
    {0x80000008, "ウィンドウの文字"},
    {0x8000000F, "ボタンの表面"},
    {0x80000012, "ボタンの文字"},
    {0x8000000D, "選択項目の背景"},
    {0x8000000E, "選択項目の文字"},
    {0x80000011, "淡色表示の文字"},
    {0x80000004, "メニュー"},
    {0x80000007, "メニューの文字"},
    {0x80000018, "ツールヒントの背景"},
    {0x80000017, "ツールヒントの文字"},
    {0x80000010, "ボタンの影"},
}};

class TColorPickerButton : public QToolButton {
  Q_OBJECT

 public:
  // `defaultValue` is what the entry "選択してください" chooses.
  explicit TColorPickerButton(std::uint32_t defaultValue, QWidget* parent = nullptr);

  std::uint32_t Value() const noexcept { return value_; }
  void SetValue(std::uint32_t value);
  // Chooses a colour as a palette entry does.
  void Choose(std::uint32_t value);

 signals:
  void ValueChanged(std::uint32_t value);

 protected:
  void changeEvent(QEvent* e) override;

 private:
  void BuildPalette();
  void ChooseOther();
  void ShowValue();

  std::uint32_t value_ = 0;
  std::uint32_t defaultValue_ = 0;
};

}  // namespace tarn::ui
