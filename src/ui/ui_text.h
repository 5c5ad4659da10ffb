// The boundary between Tarn's CP932 byte strings and the toolkit's Unicode strings.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace tarn::ui {

// CP932 bytes for display; bytes that do not convert show as U+FFFD.
QString FromCp932(std::string_view cp932);
// A typed text as CP932; a character without a CP932 form becomes "?".
std::string ToCp932(const QString& text);
// A text as the system names files: UTF-8 bytes.
std::string ToNative(const QString& text);

}  // namespace tarn::ui
