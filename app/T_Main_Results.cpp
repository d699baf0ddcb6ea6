// The main window's result view: the column sets of ListView1, the tree click
// that lists a kind's records with the node's filter, and the column sort.
#include "app/T_Main.h"

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeWidget>
#include <algorithm>

#include "app/ResultListView.h"
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

namespace {

// A date-time text of the program's format ("yyyy-mm-dd hh:mm:ss") made of
// the digit that is widest in `metrics`, so that every time text fits where
// this one does.
QString WidestTimeText(const QFontMetrics& metrics) {
  QChar widest = QLatin1Char('0');
  for (char d = '1'; d <= '9'; ++d) {
    if (metrics.horizontalAdvance(QLatin1Char(d)) > metrics.horizontalAdvance(widest))
      widest = QLatin1Char(d);
  }
  QString text = QStringLiteral("0000-00-00 00:00:00");
  for (QChar& c : text) {
    if (c == QLatin1Char('0')) c = widest;
  }
  return text;
}

// The width a column of `view` needs to show `text` beside a check box,
// unelided: the item's size as the view's style lays it out (check box,
// margins, text in the view's font), plus the grid line a table draws inside
// each section.
int CheckedTextColumnWidth(const ResultListView& view, const QString& text) {
  QStyleOptionViewItem option;
  option.initFrom(&view);
  option.font = view.font();
  option.fontMetrics = QFontMetrics(option.font);
  option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasCheckIndicator;
  option.checkState = Qt::Checked;
  option.text = text;
  option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
  const QSize size =
      view.style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), &view);
  return size.width() + (view.showGrid() ? 1 : 0);
}

}  // namespace

void TMain::SetResultColumns(std::uint8_t kind) {
  std::vector<ResultColumn> columns = ResultColumnSet(kind);
  if (columns.empty()) return;
  const bool stretchLast = columns.back().AutoSize;
  std::vector<int> widths;
  for (const ResultColumn& c : columns) widths.push_back(c.Width);
  // The WeChat list's first column is its time text beside the check box:
  // at least as wide as both need in the list's font and style.
  if (kind == kKindWeChat) widths[0] = std::max(widths[0], CheckedTextColumnWidth(
        *ListView1, WidestTimeText(QFontMetrics(ListView1->font()))));
  ListModel->SetColumns(std::move(columns));
  QHeaderView* header = ListView1->horizontalHeader();
  header->setStretchLastSection(stretchLast);
  for (std::size_t i = 0; i < widths.size(); ++i) {
    header->resizeSection(static_cast<int>(i), widths[i]);
  }
}

void TMain::TreeView1Click() {
  if (TreeView1->topLevelItemCount() == 0) return;
  const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
  if (selected.isEmpty()) return;
  const std::optional<TResultNodeTag> tag = NodeTag(selected.first());
  if (!tag) return;

  ResultListClear();  // also ends a listing still under way
  switch (tag->Kind) {
    case kKindContacts:
      SetResultColumns(tag->Kind);
      ListRecords(tag->Kind, ContactRecords, tag->Filter);
      break;
    case kKindMessages:
      SetResultColumns(tag->Kind);
      ListRecords(tag->Kind, SmsRecords, tag->Filter);
      break;
    case kKindCalls:
      SetResultColumns(tag->Kind);
      ListRecords(tag->Kind, CallRecords, tag->Filter);
      break;
    case kKindWeChat:
      SetResultColumns(tag->Kind);
      ListRecords(tag->Kind, WeChatRecords, tag->Filter);
      break;
    default:
      break;
  }
}

template <typename Record>
void TMain::ListRecords(std::uint8_t kind, const ResultArray<Record>& records,
                        std::uint8_t filter) {
  if (records.empty() || filter > kFilterAll) return;
  const std::uint64_t generation = listingGeneration_;
  // Rows go to the list in batches; between batches the window's messages
  // run, about every 15 ms, so input is answered while a long array lists.
  // PumpMessages shows the batch first.
  constexpr qint64 kPumpIntervalMs = 15;
  if (filter == kFilterAll) ListModel->Reserve(records.size());
  QElapsedTimer sincePump;
  sincePump.start();
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (sincePump.elapsed() >= kPumpIntervalMs) {
      PumpMessages();
      // A new listing, a cleared list or a new scan batch replaced this one.
      if (generation != listingGeneration_) return;
      sincePump.restart();
    }
    if (i >= records.size()) break;  // the array changed while messages ran
    const bool deleted = records[i].Deleted;
    if (filter == kFilterAll || (filter == kFilterLive && !deleted) ||
        (filter == kFilterDeleted && deleted)) {
      ListModel->AppendRecord(kind, i);
    }
  }
  ShowPendingResultRows();
}

void TMain::ListView1ColumnClick(int column) {
  ListModel->SortByColumn(column);
  SortAscending = !SortAscending;
}

}  // namespace velmora
