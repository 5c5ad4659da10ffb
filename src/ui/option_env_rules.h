// The options dialog's rules that need no window: the font and size lists, and which path the
// confirmation refuses first.
#pragma once

#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarn::ui {

inline constexpr std::array<int, 15> kFontSizes = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48};

// The faces a font box offers: sorted, no vertical-writing faces ("@"), and only fixed-pitch or
// only proportional ones.
QStringList FontFaces(const QStringList& families, bool fixedPitch,
                      const std::function<bool(const QString& family)>& isFixedPitch);
// Whether every half-width glyph of the face takes the same width.
bool IsFixedPitchFace(const QString& family);
// The installed faces that cover Japanese, as the base-font and panel boxes (proportional) or
// the result-font box (fixed) list them.
QStringList InstalledJapaneseFaces(bool fixedPitch);

// The three paths the confirmation checks, in its order, and the page each lies on.
enum class TOptionPath { EditorExeName, LeftPanelInitialDir, FindResultSaveDirectory };
int PageOf(TOptionPath path) noexcept;

// The first path that is not empty and names nothing usable: an editor program that is neither an
// existing file nor a program name found by `onPath`, or a directory that does not exist. Texts
// are CP932.
std::optional<TOptionPath> InvalidOptionPath(std::string_view exeName, std::string_view initialDir,
                                             std::string_view saveDirectory,
                                             const std::function<bool(const std::string& program)>& onPath);

// Why the confirmation refuses a path, in words (CP932): the field, what is wrong with its text as
// the file system has it now, and what the field may hold instead.
std::string OptionPathRefusal(TOptionPath path, std::string_view text);

// A text box of the dialog: its label and its text as typed (UTF-8).
struct TOptionText {
  std::string_view Label;
  std::string Text;
};
// The first box whose text holds a character that CP932 cannot hold, which storing would turn
// into "?": its index and the message naming the character and the box (UTF-8, as the character
// has no CP932 form).
std::optional<std::pair<std::size_t, std::string>> TextWithoutCp932(const std::vector<TOptionText>& texts);

}  // namespace tarn::ui
