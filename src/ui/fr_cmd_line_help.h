// TFormCmdLineHelp: the small window that explains the editor parameter template, with an
// example for each editor Tarn knows.
#pragma once

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;

namespace tarn::ui {

// The window's lines: the keywords, then one example per known editor, its template aligned in
// one column of a fixed-pitch font.
QStringList CmdLineHelpLines();

class TFormCmdLineHelp : public QDialog {
  Q_OBJECT

 public:
  explicit TFormCmdLineHelp(QWidget* parent);

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  QPlainTextEdit* memo_ = nullptr;
};

}  // namespace tarn::ui
