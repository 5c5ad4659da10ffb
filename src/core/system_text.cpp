#include "core/system_text.h"

#include <stdexcept>

#include "core/encoding.h"

namespace tarn {

std::string SystemText(std::string_view utf8) {
  auto converted = Utf8ToCp932Exact(utf8);
  if (!converted) throw std::logic_error("text has no CP932 form: " + std::string(utf8));
  return std::move(*converted);
}

}  // namespace tarn
