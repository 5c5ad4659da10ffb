// TFormSynonymDic: the modal editor of the synonym dictionary file, one group of words per line.
#pragma once

#include <QDialog>
#include <filesystem>

class QPushButton;

namespace tarn::editor {
class TKoEditor;
}

namespace tarn::ui {

class TFormSynonymDic : public QDialog {
  Q_OBJECT

 public:
  // Opens the editor on the file; true when the user saved it (the caller then calls
  // FreeSynonymDic and LoadSynonymDic so the next search uses it). Shows its own messages: a file
  // that exists but cannot be read is not opened at all, so that no empty text can replace it.
  static bool Edit(QWidget* mainWindow, const std::filesystem::path& synonymDicPath, const QFont& baseFont);

  editor::TKoEditor& KoEditor1() { return *koEditor1_; }

 private:
  explicit TFormSynonymDic(QWidget* parent);

  // Loads the file when it exists; false (after the message) when it exists but cannot be read.
  bool FormShow();
  // Writes the file and closes with OK; a file that cannot be written keeps the window open
  // with the user's text.
  void KoFlatButtonOKClick();

  std::filesystem::path DicFileName;
  editor::TKoEditor* koEditor1_ = nullptr;
  QPushButton* koFlatButtonOK_ = nullptr;
  QPushButton* koFlatButtonCancel_ = nullptr;
};

}  // namespace tarn::ui
