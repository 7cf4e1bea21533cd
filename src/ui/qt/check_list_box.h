// A check list laid out in columns of fixed-height rows: the first column
// holds the first rows, the next column the rest, all visible without
// scrolling. Emits ClickCheck after the user toggled an item (mouse or space
// key); the toggled item is then the current one.
#pragma once

#include <QListWidget>
#include <QStringList>

namespace sorana::ui::qt {

class TCheckListBox : public QListWidget {
  Q_OBJECT

 public:
  TCheckListBox(const QStringList& captions, int columns, int rowHeight, QWidget* parent);

  bool IsChecked(int index) const;
  // A change made by the program, not reported as a toggle.
  void SetChecked(int index, bool checked);
  int CurrentIndex() const { return currentRow(); }

 signals:
  void ClickCheck();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OnItemChanged(QListWidgetItem* item);
  void FitColumns();

  int columns_;
  int rowHeight_;
  bool programChange_ = false;
};

}  // namespace sorana::ui::qt
