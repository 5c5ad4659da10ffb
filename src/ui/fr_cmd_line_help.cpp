#include "ui/fr_cmd_line_help.h"

#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "core/system_text.h"
#include "ui/editor_detection.h"
#include "ui/ui_settings_values.h"

namespace tarn::ui {
namespace {

// The template stands in this cell of each example line.
constexpr int kTemplateColumn = 24;

// Cells a text takes in the fixed-pitch font: full-width characters take two.
int Cells(const QString& text) {
  int cells = 0;
  for (QChar c : text) cells += c.unicode() < 0x80 || (c.unicode() >= 0xFF61 && c.unicode() <= 0xFF9F) ? 1 : 2;
  return cells;
}

}  // namespace

QStringList CmdLineHelpLines() {
  QStringList lines = {
      QString(),
      QStringLiteral("  起動オプションには次のキーワードが指定できます。"),
      QString(),
      QStringLiteral("    %F  ファイル名。"),
      QStringLiteral("    %L  行番号。"),
      QStringLiteral("    %S  検索で一致した文字列。"),
      QString(),
  };
  for (const TKnownEditor& editor : kKnownEditors) {
    QString line = QStringLiteral("  ") + QString::fromUtf8(editor.Caption.data(), static_cast<qsizetype>(editor.Caption.size())) +
                   QStringLiteral("の例：");
    line += QString(std::max(1, kTemplateColumn - Cells(line)), QLatin1Char(' '));
    line += QString::fromUtf8(editor.CmdLine.data(), static_cast<qsizetype>(editor.CmdLine.size()));
    lines.append(line);
  }
  return lines;
}

TFormCmdLineHelp::TFormCmdLineHelp(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormCmdLineHelp"));
  setWindowTitle(QStringLiteral("エディタの起動パラメータについて"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setModal(true);

  memo_ = new QPlainTextEdit(this);
  memo_->setObjectName(QStringLiteral("Memo"));
  memo_->setReadOnly(true);
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo_->setFont(SettingsFont(SystemText("ＭＳ ゴシック"), 10, true));
  const QStringList lines = CmdLineHelpLines();
  memo_->setPlainText(lines.join(QLatin1Char('\n')));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(memo_);

  // The design size, or what the lines need in the installed face, whichever is larger.
  const QFontMetrics metrics(memo_->font());
  int textWidth = 0;
  for (const QString& line : lines) textWidth = std::max(textWidth, metrics.horizontalAdvance(line));
  const int frame = 2 * memo_->frameWidth() + 2 * static_cast<int>(memo_->document()->documentMargin());
  const int width = std::max(392, textWidth + frame + 2 * metrics.averageCharWidth());
  const int height = std::max(232, static_cast<int>(lines.size() + 2) * metrics.lineSpacing() + frame);
  setFixedSize(width, height);
}

void TFormCmdLineHelp::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  memo_->moveCursor(QTextCursor::Start);
  memo_->verticalScrollBar()->setValue(0);
  memo_->horizontalScrollBar()->setValue(0);
}

}  // namespace tarn::ui
