// The main window's result view: the column sets of ListView1, the tree click
// that lists a kind's records with the node's filter, and the column sort.
#include "app/T_Main.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QTableView>
#include <QTreeWidget>

#include "app/ResultModel.h"
#include "engine/MyFuns_.h"
#include "engine/ScanContext.h"

namespace velmora {

std::optional<TResultNodeTag> NodeTag(const QTreeWidgetItem* item) {
  const QVariant v = item->data(0, kNodeTagRole);
  if (!v.isValid()) return std::nullopt;
  const int packed = v.toInt();
  return TResultNodeTag{static_cast<std::uint8_t>(packed / 256),
                        static_cast<std::uint8_t>(packed % 256)};
}

// ------------------------------------------------------------------ results

void TMain::SetResultColumns(std::uint8_t kind) {
  std::vector<ResultColumn> columns = ResultColumnSet(kind);
  if (columns.empty()) return;
  const bool stretchLast = columns.back().AutoSize;
  std::vector<int> widths;
  for (const ResultColumn& c : columns) widths.push_back(c.Width);
  ListModel->SetColumns(std::move(columns));
  QHeaderView* header = ListView1->horizontalHeader();
  header->setStretchLastSection(stretchLast);
  for (std::size_t i = 0; i < widths.size(); ++i) {
    header->resizeSection(static_cast<int>(i), widths[i]);
  }
}

void TMain::TreeView1Click() {
  if (TreeView1->topLevelItemCount() == 0) return;
  ListView1->setSortingEnabled(false);
  const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
  if (selected.isEmpty()) return;
  const std::optional<TResultNodeTag> tag = NodeTag(selected.first());
  if (!tag) return;

  ResultListClear();  // also ends a listing still under way
  switch (tag->Kind) {
    case kKindContacts:
      SetResultColumns(tag->Kind);
      ListRecords(ContactRecords, tag->Filter);
      break;
    case kKindMessages:
      SetResultColumns(tag->Kind);
      ListRecords(SmsRecords, tag->Filter);
      break;
    case kKindCalls:
      SetResultColumns(tag->Kind);
      ListRecords(CallRecords, tag->Filter);
      break;
    case kKindWeChat:
      SetResultColumns(tag->Kind);
      ListRecords(WeChatRecords, tag->Filter);
      break;
    default:
      break;
  }
}

template <typename Record>
void TMain::ListRecords(const std::vector<Record>& records, std::uint8_t filter) {
  if (records.empty() || filter > kFilterAll) return;
  const std::uint64_t generation = listingGeneration_;
  // Rows go to the list in batches; between batches the window's messages
  // run, about every 15 ms, so input is answered while a long array lists.
  constexpr qint64 kPumpIntervalMs = 15;
  std::vector<ListRow> batch;
  if (filter == kFilterAll) ListModel->Reserve(records.size());
  QElapsedTimer sincePump;
  sincePump.start();
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (sincePump.elapsed() >= kPumpIntervalMs) {
      ListModel->AppendRows(batch);
      PumpMessages();
      // A new listing, a cleared list or a new scan batch replaced this one.
      if (generation != listingGeneration_) return;
      sincePump.restart();
    }
    if (i >= records.size()) break;  // the array changed while messages ran
    const Record& r = records[i];
    if (filter == kFilterAll || (filter == kFilterLive && !r.Deleted) ||
        (filter == kFilterDeleted && r.Deleted)) {
      batch.push_back(MakeResultRow(r));
    }
  }
  ListModel->AppendRows(batch);
}

void TMain::ListView1ColumnClick(int column) {
  ListModel->SortByColumn(column);
  SortAscending = !SortAscending;
}

}  // namespace velmora
