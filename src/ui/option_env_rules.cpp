#include "ui/option_env_rules.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <filesystem>

#include "core/encoding.h"
#include "core/system_text.h"
#include "search/native_path.h"

namespace tarn::ui {

namespace {
// A stored path names a folder on disk as the search run would open it, CP932-named folders included.
std::string NativeOf(std::string_view cp932) { return search::DisplayToNative(Cp932ToUtf8(cp932)); }
}  // namespace

QStringList FontFaces(const QStringList& families, bool fixedPitch,
                      const std::function<bool(const QString& family)>& isFixedPitch) {
  QStringList faces;
  for (const QString& family : families)
    if (!family.startsWith(QLatin1Char('@')) && isFixedPitch(family) == fixedPitch && !faces.contains(family))
      faces.append(family);
  faces.sort(Qt::CaseInsensitive);
  return faces;
}

bool IsFixedPitchFace(const QString& family) {
  if (QFontDatabase::isFixedPitch(family)) return true;
  // Japanese faces whose full-width glyphs take two cells are "dual" width to the font
  // configuration, not fixed; what counts for the result view is that every half-width glyph
  // takes one cell.
  QFont font(family);
  font.setPixelSize(16);
  const QFontMetrics metrics(font);
  const int cell = metrics.horizontalAdvance(QLatin1Char('M'));
  for (QChar c : QStringLiteral("il.W0"))
    if (metrics.horizontalAdvance(c) != cell) return false;
  return true;
}

QStringList InstalledJapaneseFaces(bool fixedPitch) {
  return FontFaces(QFontDatabase::families(QFontDatabase::Japanese), fixedPitch, IsFixedPitchFace);
}

int PageOf(TOptionPath path) noexcept { return path == TOptionPath::FindResultSaveDirectory ? 1 : 0; }

std::optional<TOptionPath> InvalidOptionPath(std::string_view exeName, std::string_view initialDir,
                                             std::string_view saveDirectory,
                                             const std::function<bool(const std::string& program)>& onPath) {
  std::error_code ec;
  if (!exeName.empty()) {
    const std::string native = NativeOf(exeName);
    // A bare program name is started from PATH, as the editor launch does.
    const bool bareName = native.find('/') == std::string::npos;
    if (!std::filesystem::is_regular_file(native, ec) && !(bareName && onPath(native)))
      return TOptionPath::EditorExeName;
  }
  if (!initialDir.empty() && !std::filesystem::is_directory(NativeOf(initialDir), ec))
    return TOptionPath::LeftPanelInitialDir;
  if (!saveDirectory.empty() && !std::filesystem::is_directory(NativeOf(saveDirectory), ec))
    return TOptionPath::FindResultSaveDirectory;
  return std::nullopt;
}

std::string OptionPathRefusal(TOptionPath path, std::string_view text) {
  std::error_code ec;
  const std::filesystem::path native = NativeOf(text);
  const bool exists = std::filesystem::exists(native, ec);
  const std::string quoted = SystemText("「") + std::string(text) + SystemText("」");
  if (path == TOptionPath::EditorExeName) {
    const char* fault = !exists                                       ? "が見つかりません。"
                        : std::filesystem::is_directory(native, ec) ? "はフォルダです。"
                                                                      : "はプログラムのファイルではありません。";
    return SystemText("エディタプログラム") + quoted + SystemText(fault) +
           SystemText("\nプログラムのファイルか、PATH にあるプログラムの名前を指定してください。");
  }
  const char* field = path == TOptionPath::LeftPanelInitialDir ? "起動時ディレクトリ" : "検索結果の保存ディレクトリ";
  return SystemText(field) + quoted + SystemText(exists ? "はフォルダではありません。" : "が見つかりません。") +
         SystemText("\n存在するフォルダを指定するか、空欄にしてください。");
}

std::optional<std::pair<std::size_t, std::string>> TextWithoutCp932(const std::vector<TOptionText>& texts) {
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::string_view refused = FirstCharWithoutCp932(texts[i].Text);
    if (refused.empty()) continue;
    return std::pair{i, std::string(texts[i].Label) + "の「" + std::string(refused) +
                            "」は Shift-JIS で表せないため設定できません。\nこの文字を除いてください。"};
  }
  return std::nullopt;
}

}  // namespace tarn::ui
