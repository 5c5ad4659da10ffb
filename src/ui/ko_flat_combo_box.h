// TKoFlatComboBox: the editable combo box whose drop-down list is the history of what was typed,
// newest first, with completion from that history as the user types.
#pragma once

#include <QComboBox>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/history_list.h"

namespace tarn::ui {

class TKoFlatComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TKoFlatComboBox(QWidget* parent = nullptr);

  // The edit text as CP932, and set from CP932.
  std::string Text() const;
  void SetText(const std::string& cp932);

  const std::vector<std::string>& HistoryItems() const noexcept { return history_.Items(); }
  void SetHistoryItems(std::vector<std::string> items);
  void SetMaxHistory(std::uint16_t n);
  std::uint16_t MaxHistory() const noexcept { return history_.MaxHistory(); }
  void AddToHistory();
  void ClearHistory();

  // Completion of each typed character from the history (the "AutoComplete" setting).
  void SetAutoComplete(bool on) { autoComplete_ = on; }
  bool AutoComplete() const noexcept { return autoComplete_; }

  // The box's own completion after every change of the text; the owner may change or refuse
  // what it appends.
  bool Complete = false;
  std::uint16_t MinLengthComplete = 0;
  std::function<void(TKoFlatComboBox& sender, std::uint16_t key, std::string& completeWith, bool& doComplete)>
      OnComplete;

 signals:
  // Enter in the edit field; the box itself gives it no meaning.
  void EnterPressed();

 protected:
  // Keys and input method text reach the box, which hands them to its edit field itself: the
  // completion is done here, before that.
  void keyPressEvent(QKeyEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;

 private:
  void ShowItems();
  // Types text at the caret with the standard completion; false when no item completes it.
  bool TypeWithCompletion(const QString& typed);
  void RunOwnCompletion();

  THistoryList history_;
  bool autoComplete_ = false;
  bool completing_ = false;
  std::uint16_t lastKey_ = 0;
};

}  // namespace tarn::ui
