// The main window as the scanners see it: the scan seam's tree, result
// list, fragment list, log, status panels, progress bar, command states and
// message pump, on the window's widgets.
#include "app/T_Main.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <functional>

#include "app/ResultModel.h"
#include "dvr/F_Debug_Sector.h"

namespace velmora {

namespace {
QString Q(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

// ------------------------------------------------------------------ ScanView

void TMain::TreeClear() { TreeView1->clear(); }

void TMain::TreeInsertRootFirst(const std::string& rootText, const std::string& liveText,
                                const std::string& deletedText,
                                std::optional<std::uint8_t> tagKind) {
  auto* root = new QTreeWidgetItem(QStringList{Q(rootText)});
  auto* live = new QTreeWidgetItem(root, QStringList{Q(liveText)});
  auto* deleted = new QTreeWidgetItem(root, QStringList{Q(deletedText)});
  if (tagKind) {
    root->setData(0, kNodeTagRole, PackTag({*tagKind, kFilterAll}));
    live->setData(0, kNodeTagRole, PackTag({*tagKind, kFilterLive}));
    deleted->setData(0, kNodeTagRole, PackTag({*tagKind, kFilterDeleted}));
  }
  TreeView1->insertTopLevelItem(0, root);
}

void TMain::TreeSetNodeText(int index, const std::string& text) {
  // Node `index` in tree order: each root, then its children depth first.
  int at = 0;
  std::function<bool(QTreeWidgetItem*)> visit = [&](QTreeWidgetItem* item) {
    if (at++ == index) {
      item->setText(0, Q(text));
      return true;
    }
    for (int i = 0; i < item->childCount(); ++i) {
      if (visit(item->child(i))) return true;
    }
    return false;
  };
  for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
    if (visit(TreeView1->topLevelItem(i))) return;
  }
}

void TMain::TreeExpandAll() { TreeView1->expandAll(); }

void TMain::TreeAddBareRoot(const std::string& text) {
  TreeView1->addTopLevelItem(new QTreeWidgetItem(QStringList{Q(text)}));
}

void TMain::ResultListClear() {
  ++listingGeneration_;
  ListModel->Clear();
}

void TMain::ResultListAddRecord(std::uint8_t kind, std::size_t index) {
  // Shown with the others of its batch at a later message pump.
  ListModel->AppendRecord(kind, index);
}

void TMain::ResultListAddRow(std::vector<std::string> cells) {
  // Shown with the others of its batch at a later message pump.
  ListModel->AppendRow(std::move(cells));
}

std::size_t TMain::ResultListRowCount() const { return ListModel->Count(); }

void TMain::FragmentListClearColumns() {
  ListView3->setColumnCount(0);
}

void TMain::AddLogRow(const std::string& type, const std::string& date, const std::string& time,
                      const std::string& message) {
  auto* item = new QTreeWidgetItem(QStringList{Q(type), Q(date), Q(time), Q(message)});
  ListView2->addTopLevelItem(item);
  ListView2Change();
}

void TMain::SetStatusText(int panel, const std::string& text) {
  if (panel == 0) StatusPanel0->setText(Q(text));
  if (panel == 2) StatusPanel2->setText(Q(text));
}

std::string TMain::StatusText(int panel) const {
  if (panel == 0) return StatusPanel0->text().toStdString();
  if (panel == 2) return StatusPanel2->text().toStdString();
  return {};
}

void TMain::SetProgressRange(int min, int max) {
  progressMin_ = min;
  progressMax_ = std::max(min, max);
  // A bar whose range is empty would show the busy animation; keep one step.
  ProgressBar1->setRange(progressMin_, progressMax_ > progressMin_ ? progressMax_ : progressMin_ + 1);
}

void TMain::SetProgressPosition(int position) {
  // A bar's new value may repaint it at once, and a scan sets it for every
  // page; the bar is painted with the window's other changes at the next
  // message pump instead.
  const int value = std::clamp(position, progressMin_, std::max(progressMin_, progressMax_));
  if (value == ProgressBar1->value()) return;
  ProgressBar1->setUpdatesEnabled(false);
  ProgressBar1->setValue(value);
  ProgressBar1->setUpdatesEnabled(true);
}

void TMain::SetCommandEnabled(ScanCommand command, bool enabled) {
  switch (command) {
    case ScanCommand::Start:
      ToolButton3->setEnabled(enabled);
      N21->setEnabled(enabled);
      // A scan starts or ends: the status bar shows its state at once.
      panelsShown_.invalidate();
      if (!statusBar()->updatesEnabled()) statusBar()->setUpdatesEnabled(true);
      break;
    case ScanCommand::Stop:
      ToolButton5->setEnabled(enabled);
      N2->setEnabled(enabled);
      break;
    case ScanCommand::Recover:
      ToolButton4->setEnabled(enabled);
      N16->setEnabled(enabled);
      break;
  }
}

void TMain::PumpMessages() {
  // The rows found since the list last grew reach it as one insertion before
  // the messages run. Every insertion makes the view repaint all the rows it
  // shows, which costs more than finding them, so the list grows at most
  // every kListGrowthIntervalMs; its first rows show at once. The rows that
  // wait count as rows all the same (ResultListRowCount, the commands).
  if (ListModel->Count() > static_cast<std::size_t>(ListModel->rowCount()) &&
      (ListModel->rowCount() == 0 || !listGrown_.isValid() ||
       listGrown_.elapsed() >= kListGrowthIntervalMs)) {
    ShowPendingResultRows();
    listGrown_.start();
  }
  // A running scan changes its count text and progress bar at every pump;
  // the status bar is painted with them at most every
  // kListGrowthIntervalMs, its first state at once. The texts and the bar's
  // value are set at once all the same; the scan's end paints its last
  // state (SetCommandEnabled).
  QStatusBar* bar = statusBar();
  const bool scanning = !ScanStopRequested;
  const bool showPanels =
      !scanning || !panelsShown_.isValid() || panelsShown_.elapsed() >= kListGrowthIntervalMs;
  if (showPanels) {
    if (!bar->updatesEnabled()) bar->setUpdatesEnabled(true);
    panelsShown_.start();
  }
  QCoreApplication::processEvents();
  if (showPanels && scanning && !ScanStopRequested) bar->setUpdatesEnabled(false);
}

void TMain::AddSectorDebugLine(const std::string& line) {
  if (Form4 != nullptr) Form4->Memo1->appendPlainText(Q(line));
}

}  // namespace velmora
