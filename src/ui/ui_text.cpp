#include "ui/ui_text.h"

#include "core/encoding.h"

namespace tarn::ui {

QString FromCp932(std::string_view cp932) {
  const std::string utf8 = Cp932ToUtf8(cp932);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string ToCp932(const QString& text) { return Utf8ToCp932(text.toStdString()); }

std::string ToNative(const QString& text) { return text.toStdString(); }

}  // namespace tarn::ui
