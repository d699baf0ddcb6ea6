// The main window's DVR views: the fragment list ListView3 with its check
// boxes mirrored into the result list, PopupMenu3 and its Edit-menu twins, the
// debug listing into Form3 and the sector-debug window Form4.
#include "app/T_Main.h"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QTreeWidget>

#include "app/ResultModel.h"
#include "dvr/DvrIndex.h"
#include "dvr/DvrWalkGauge.h"
#include "dvr/F_Debug.h"
#include "dvr/F_Debug_Sector.h"
#include "engine/CarvingEngine.h"
#include "engine/MyFuns_.h"

namespace velmora {

namespace {
QString Q(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

// ------------------------------------------------------------------ DVR side
// Present and wired, and reached by nothing: the items are invisible and
// have no shortcut, PopupMenu3 belongs to no control, the mouse and key
// handlers are bound to no event and nothing calls the fragment refresh.

void TMain::BuildDvrSide() {
  // ListView3: check boxes on its rows (ticked through the items), two
  // centred columns, the result list's popup menu. Rows stay in the order
  // they are added.
  for (int column : {1, 4}) {
    if (QTableWidgetItem* header = ListView3->horizontalHeaderItem(column))
      header->setTextAlignment(Qt::AlignCenter);
  }
  ListView3->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListView3, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    PopupMenu1->popup(ListView3->viewport()->mapToGlobal(at));
  });

  PopupMenu3 = new QMenu(this);
  PopupMenu3->setObjectName("PopupMenu3");
  MenuItem1 = MenuItem(PopupMenu3, "MenuItem1", "Recover Checked");
  MenuItem2 = PopupMenu3->addSeparator();
  MenuItem2->setObjectName("MenuItem2");
  MenuItem3 = MenuItem(PopupMenu3, "MenuItem3", "Select All");
  MenuItem4 = MenuItem(PopupMenu3, "MenuItem4", "Check All");
  MenuItem5 = MenuItem(PopupMenu3, "MenuItem5", "Uncheck All");
  MenuItem6 = MenuItem(PopupMenu3, "MenuItem6", "Check Selected");
  MenuItem7 = MenuItem(PopupMenu3, "MenuItem7", "Uncheck Selected");
  connect(MenuItem1, &QAction::triggered, this, &TMain::N6Click);
  connect(MenuItem3, &QAction::triggered, this, &TMain::MenuItem3Click);
  connect(MenuItem4, &QAction::triggered, this, &TMain::MenuItem4Click);
  connect(MenuItem5, &QAction::triggered, this, &TMain::MenuItem5Click);
  connect(MenuItem6, &QAction::triggered, this, &TMain::MenuItem6Click);
  connect(MenuItem7, &QAction::triggered, this, &TMain::MenuItem7Click);

  connect(N13, &QAction::triggered, this, &TMain::N13Click);
  connect(N14, &QAction::triggered, this, &TMain::N14Click);
  connect(UncheckAll1, &QAction::triggered, this, &TMain::UncheckAll1Click);
  connect(N15, &QAction::triggered, this, &TMain::N15Click);
  connect(UncheckSelected1, &QAction::triggered, this, &TMain::UncheckSelected1Click);
  connect(Debug1, &QAction::triggered, this, &TMain::Debug1Click);
  connect(Debugbyte1, &QAction::triggered, this, &TMain::Debugbyte1Click);
  connect(Scan1, &QAction::triggered, this, &TMain::Scan1Click);
}

void TMain::Debug1Click() {
  if (Form3 == nullptr) return;
  Form3->Memo1->clear();
  auto last = [](const std::vector<std::uint32_t>& values) {
    return values.empty() ? std::string() : std::to_string(values.back());
  };
  // By index: the window's messages run between the lines.
  for (std::size_t i = 0; T_Main::DvrFileList && i < T_Main::DvrFileList->size(); ++i) {
    PumpMessages();
    if (!T_Main::DvrFileList || i >= T_Main::DvrFileList->size()) break;
    const T_Main::DvrFile& f = (*T_Main::DvrFileList)[i];
    const std::string line = std::to_string(f.Channel) + "\t" + f.StartText + "\t" + f.EndText +
                             "\t" + std::to_string(f.SpareA) + "\t" + std::to_string(f.SpareB) +
                             "\t" + last(f.ClusterOffsets) + "\t" + last(f.SpareOffsets);
    Form3->Memo1->appendPlainText(Q(line));
  }
  Form3->show();
}

void TMain::Debugbyte1Click() {
  if (Form4 != nullptr) Form4->show();
}

void TMain::MirrorFragmentRow(int row) {
  const QTableWidgetItem* item = ListView3->item(row, 0);
  if (item == nullptr) return;
  std::int64_t id = 0;
  if (!TryTextToInt64(item->text().toStdString(), id)) return;
  if (id < 1 || static_cast<std::uint64_t>(id) > ListModel->Count()) return;
  ListModel->SetChecked(static_cast<std::size_t>(id - 1), item->checkState() == Qt::Checked);
}

void TMain::SetFragmentChecked(int row, bool checked) {
  QTableWidgetItem* item = ListView3->item(row, 0);
  if (item == nullptr) return;
  item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  MirrorFragmentRow(row);
}

void TMain::MenuItem3Click() { ListView3->selectAll(); }

void TMain::MenuItem4Click() {
  for (int row = 0; row < ListView3->rowCount(); ++row) SetFragmentChecked(row, true);
}

void TMain::MenuItem5Click() {
  for (int row = 0; row < ListView3->rowCount(); ++row) SetFragmentChecked(row, false);
}

void TMain::MenuItem6Click() {
  const QItemSelectionModel* selection = ListView3->selectionModel();
  for (int row = 0; row < ListView3->rowCount(); ++row)
    if (selection->isRowSelected(row, QModelIndex())) SetFragmentChecked(row, true);
}

void TMain::MenuItem7Click() {
  const QItemSelectionModel* selection = ListView3->selectionModel();
  for (int row = 0; row < ListView3->rowCount(); ++row)
    if (selection->isRowSelected(row, QModelIndex())) SetFragmentChecked(row, false);
}

void TMain::N13Click() { ListView3->isHidden() ? SelectAll1Click() : MenuItem3Click(); }
void TMain::N14Click() { ListView3->isHidden() ? N8Click() : MenuItem4Click(); }
void TMain::UncheckAll1Click() { ListView3->isHidden() ? N10Click() : MenuItem5Click(); }
void TMain::N15Click() { ListView3->isHidden() ? N9Click() : MenuItem6Click(); }
void TMain::UncheckSelected1Click() { ListView3->isHidden() ? N28Click() : MenuItem7Click(); }

void TMain::ListView1MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int X, int Y) {
  const QPoint at(X, Y);
  const QTableWidgetItem* hit = ListView3->itemAt(at);
  if (hit == nullptr) return;
  const int row = hit->row();
  QTableWidgetItem* item = ListView3->item(row, 0);
  if (item == nullptr || hit != item) return;  // the check box lies in the caption cell
  // Where the row's check box is drawn, as the view's delegate lays it out.
  QStyleOptionViewItem option;
  option.initFrom(ListView3->viewport());
  option.widget = ListView3;
  option.rect = ListView3->visualItemRect(item);
  option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
  option.checkState = item->checkState();
  option.text = item->text();
  option.font = ListView3->font();
  option.fontMetrics = ListView3->fontMetrics();
  option.displayAlignment = Qt::Alignment(item->textAlignment());
  option.decorationSize = ListView3->iconSize();
  const QRect box =
      ListView3->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, ListView3);
  if (!box.contains(at)) return;
  MirrorFragmentRow(row);
}

void TMain::ListView1KeyUp(int, Qt::KeyboardModifiers) {}

void TMain::RefreshFragmentList() {
  const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
  const QVariant data = selected.isEmpty() ? QVariant() : selected.first()->data(0, kNodeDvrDateRole);
  if (!data.isValid()) {
    ListView3->hide();
    return;
  }
  bool isNumber = false;
  const qlonglong k = data.toLongLong(&isNumber);
  ListView3->setRowCount(0);
  ListView3->show();
  if (!isNumber || k < 0 || static_cast<std::size_t>(k) >= T_Main::DvrTreeDates.size()) return;

  // A copy: the window's messages run between the rows.
  const std::vector<std::uint32_t> indexes = T_Main::DvrTreeDates[static_cast<std::size_t>(k)].FileIndexes;
  const int columns = ListView3->columnCount();
  for (const std::uint32_t v : indexes) {
    PumpMessages();
    // A row that cannot be built is left out.
    if (!T_Main::DvrFileList || v >= T_Main::DvrFileList->size() || columns == 0) continue;
    const T_Main::DvrFile& f = (*T_Main::DvrFileList)[v];
    const std::vector<std::string> texts = {
        std::to_string(f.Id), std::to_string(f.Channel), f.StartText, f.EndText,
        std::to_string(static_cast<std::uint64_t>(f.ClusterOffsets.size()) * 2)};
    const int row = ListView3->rowCount();
    ListView3->insertRow(row);
    for (int c = 0; c < columns; ++c) {
      auto* cell = new QTableWidgetItem(c < static_cast<int>(texts.size()) ? Q(texts[static_cast<std::size_t>(c)]) : QString());
      cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable |
                     (c == 0 ? Qt::ItemIsUserCheckable : Qt::NoItemFlags));
      if (c == 1 || c == 4) cell->setTextAlignment(Qt::AlignCenter);
      if (c == 0) cell->setCheckState(Qt::Unchecked);
      ListView3->setItem(row, c, cell);
    }
    // Ticked when its mirror row is.
    const std::int64_t id = f.Id;
    if (id >= 1 && static_cast<std::uint64_t>(id) <= ListModel->Count() &&
        ListModel->IsChecked(static_cast<std::size_t>(id - 1)))
      ListView3->item(row, 0)->setCheckState(Qt::Checked);
  }
}

std::unique_ptr<T_Main::TDvrFileList> TMain::Read_DHFS_Index(const Fbuf& index,
                                                             std::int32_t startEntry) {
  DvrWalkGauge bar(ProgressBar1, [this] { PumpMessages(); });
  return T_Main::Read_DHFS_Index(index, startEntry, &bar);
}

std::unique_ptr<T_Main::TDvrFileList> TMain::Read_WFS_Index(const Fbuf& index,
                                                            std::int32_t startEntry) {
  DvrWalkGauge bar(ProgressBar1, [this] { PumpMessages(); });
  return T_Main::Read_WFS_Index(index, startEntry, &bar);
}

}  // namespace velmora
