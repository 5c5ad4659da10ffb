// Completion of typed text from a history list, newest item first. Texts are CP932 bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::ui {

// Letter case is ignored for single-byte letters only: a double-byte character's trail byte may
// look like a letter and must compare as it is.
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) noexcept;

struct TCompletion {
  int Item = -1;            // the history item chosen
  std::string CompleteWith;  // the bytes the chosen item adds after the typed text
};

// The toolkit-style completion as a character is typed: the first item that begins with the
// candidate (the text before the selection, or the whole text, followed by the typed
// character), letter case ignored.
std::optional<TCompletion> StandardCompletion(const std::vector<std::string>& items, std::string_view candidate);

// Key codes the own completion looks at.
inline constexpr std::uint16_t kKeyBackSpace = 8;
inline constexpr std::uint16_t kKeyDelete = 46;

// The box's own completion after a change of its text: nothing after Backspace or Delete, below
// the minimum length or without items; otherwise the first item whose first bytes equal the text
// with a to z upper-cased byte by byte.
std::optional<TCompletion> OwnCompletion(const std::vector<std::string>& items, std::string_view text,
                                         std::uint16_t min_length, std::uint16_t last_key);

}  // namespace tarn::ui
