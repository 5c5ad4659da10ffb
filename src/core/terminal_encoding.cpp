#include "core/terminal_encoding.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>

namespace tarn {

bool UsesUtf8Terminal(std::string_view encoding_option) {
  if (encoding_option == "utf-8") return true;
  if (encoding_option != "auto") return false;
  std::setlocale(LC_CTYPE, "");
  const char* codeset = nl_langinfo(CODESET);
  return codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

}  // namespace tarn
