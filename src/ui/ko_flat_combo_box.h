// TKoFlatComboBox: the editable combo box whose drop-down list is the history of what was typed.
#pragma once

#include <QComboBox>
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
  // The toolkit's own completion of typed text from the history.
  void SetAutoComplete(bool on);

 signals:
  // Enter in the edit field; the box itself gives it no meaning.
  void EnterPressed();

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void ShowItems();
  THistoryList history_;
};

}  // namespace tarn::ui
