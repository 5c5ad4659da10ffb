// How the command-line programs exchange text with a terminal: UTF-8 or CP932 bytes.
#pragma once

#include <string_view>

namespace tarn {

// True when arguments and output are UTF-8 for an --encoding value of "utf-8", or of "auto"
// with a locale whose character set is UTF-8; false for "cp932" (bytes unchanged).
bool UsesUtf8Terminal(std::string_view encoding_option);

}  // namespace tarn
