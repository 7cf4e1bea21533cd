#include "ui/qt/check_list_box.h"

namespace sorana::ui::qt {

TCheckListBox::TCheckListBox(const QStringList& captions, int columns, int rowHeight, QWidget* parent)
    : QListWidget(parent), columns_(columns), rowHeight_(rowHeight) {
  setViewMode(QListView::ListMode);
  setFlow(QListView::TopToBottom);
  setWrapping(true);
  setResizeMode(QListView::Adjust);
  setMovement(QListView::Static);
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setSpacing(0);
  // The style's check boxes are taller than a row; keep a margin of one pixel.
  const int box = rowHeight - 2;
  setStyleSheet(QStringLiteral("QListView::indicator { width: %1px; height: %1px; }").arg(box));
  programChange_ = true;
  for (const QString& caption : captions) {
    auto* item = new QListWidgetItem(caption, this);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
  programChange_ = false;
  connect(this, &QListWidget::itemChanged, this, &TCheckListBox::OnItemChanged);
  FitColumns();
}

bool TCheckListBox::IsChecked(int index) const {
  const QListWidgetItem* it = item(index);
  return it != nullptr && it->checkState() == Qt::Checked;
}

void TCheckListBox::SetChecked(int index, bool checked) {
  QListWidgetItem* it = item(index);
  if (it == nullptr) return;
  programChange_ = true;
  it->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  programChange_ = false;
}

void TCheckListBox::resizeEvent(QResizeEvent* event) {
  QListWidget::resizeEvent(event);
  FitColumns();
}

void TCheckListBox::OnItemChanged(QListWidgetItem* changed) {
  if (programChange_) return;
  // A click on an item's box makes it current first; make sure of it for the handler.
  if (currentItem() != changed) setCurrentItem(changed);
  emit ClickCheck();
}

// Cells as wide as an equal share of the viewport and one row high, so that
// the rows wrap into exactly the given number of columns.
void TCheckListBox::FitColumns() {
  int width = viewport()->width() / columns_;
  setGridSize(QSize(width, rowHeight_));
}

}  // namespace sorana::ui::qt
