// The one place where Tarn's own texts (messages, captions, status texts), written in the
// sources in UTF-8, become the CP932 bytes the program works with.
#pragma once

#include <string>
#include <string_view>

namespace tarn {

// CP932 bytes of a UTF-8 text from the sources. Throws std::logic_error when a character has
// no CP932 form: that is a mistake in the sources, never a user's input.
std::string SystemText(std::string_view utf8);

}  // namespace tarn
