#include "app/ResultModel.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "engine/WeChatScanner.h"

namespace velmora {

std::vector<ResultColumn> ResultColumnSet(std::uint8_t kind) {
  switch (kind) {
    case kKindContacts:
      return {{"姓名", 150}, {"电话", 120}, {"状态", 50}};
    case kKindMessages:
      return {{"电话", 150}, {"日期", 120}, {"类型", 50}, {"状态", 50}, {"信息", 350, true}};
    case kKindCalls:
      return {{"电话", 150}, {"姓名", 100},        {"日期", 120},
              {"通话时长(秒)", 120}, {"类型", 50}, {"状态", 50}};
    case kKindWeChat:
      return {{"时间", 120}, {"信息", 500}, {"类型", 50}, {"状态", 50}};
    default:
      return {};
  }
}

namespace {

// Builds a row from its cells, copying each text once (a braced list would
// copy every text twice).
template <typename... Cells>
ListRow RowOf(const Cells&... cells) {
  ListRow row;
  row.reserve(sizeof...(cells));
  (row.emplace_back(cells), ...);
  return row;
}

}  // namespace

ListRow MakeResultRow(const PtelValue& r) { return RowOf(r.Name, r.Phone, StatusWord(r.Deleted)); }

ListRow MakeResultRow(const PSMSvalue& r) {
  return RowOf(r.Address, r.DateText, r.TypeText, StatusWord(r.Deleted), r.Body);
}

ListRow MakeResultRow(const PCallValue& r) {
  return RowOf(r.Number, r.Name, r.DateText, r.Duration, r.TypeText, StatusWord(r.Deleted));
}

ListRow MakeResultRow(const PWXValue& r) {
  return RowOf(r.DateText, RenderWeChatBody(r.Message), r.TypeText, StatusWord(r.Deleted));
}

ResultModel::ResultModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultModel::SetColumns(std::vector<ResultColumn> columns) {
  beginResetModel();
  columns_ = std::move(columns);
  endResetModel();
}

void ResultModel::Clear() {
  if (rows_.empty()) return;
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  checked_.clear();
  checked_.shrink_to_fit();
  endResetModel();
}

void ResultModel::Reserve(std::size_t rows) {
  rows_.reserve(rows);
  checked_.reserve(rows);
}

void ResultModel::AppendRow(ListRow row) {
  const int at = static_cast<int>(rows_.size());
  beginInsertRows(QModelIndex(), at, at);
  rows_.push_back(std::move(row));
  checked_.push_back(0);
  endInsertRows();
}

void ResultModel::AppendRows(std::vector<ListRow>& rows) {
  if (rows.empty()) return;
  const int first = static_cast<int>(rows_.size());
  const int last = first + static_cast<int>(rows.size()) - 1;
  beginInsertRows(QModelIndex(), first, last);
  if (rows_.capacity() < rows_.size() + rows.size()) {
    // Grow geometrically even when the batches are small.
    Reserve(std::max(rows_.size() + rows.size(), rows_.size() * 2));
  }
  std::move(rows.begin(), rows.end(), std::back_inserter(rows_));
  checked_.resize(rows_.size(), 0);
  endInsertRows();
  rows.clear();
}

void ResultModel::SetChecked(std::size_t index, bool checked) {
  if (index >= checked_.size()) return;
  checked_[index] = checked ? 1 : 0;
  const QModelIndex cell = this->index(static_cast<int>(index), 0);
  emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

namespace {

// The first 16 bytes of a text, letters folded to upper case as the list's
// comparison folds them, packed big-endian and padded with zero bytes. Where
// two keys differ they order the texts as that comparison does; where they are
// equal, only the comparison itself can tell.
struct SortKey {
  std::uint64_t high = 0;
  std::uint64_t low = 0;
  std::uint32_t row = 0;
};

SortKey KeyOf(const std::string& text, std::uint32_t row) {
  SortKey key;
  key.row = row;
  for (std::size_t i = 0; i < 16; ++i) {
    std::uint64_t byte = 0;
    if (i < text.size()) {
      char c = text[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      byte = static_cast<unsigned char>(c);
    }
    if (i < 8) {
      key.high = (key.high << 8) | byte;
    } else {
      key.low = (key.low << 8) | byte;
    }
  }
  return key;
}

}  // namespace

void ResultModel::SortByColumn(int column) {
  if (rows_.size() < 2 || column < 0) return;
  const auto at = static_cast<std::size_t>(column);
  const bool everyRowHasTheColumn =
      std::all_of(rows_.begin(), rows_.end(), [at](const ListRow& r) { return at < r.size(); });

  std::vector<std::uint32_t> order(rows_.size());
  if (everyRowHasTheColumn) {
    std::vector<SortKey> keys;
    keys.reserve(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      keys.push_back(KeyOf(rows_[i][at], static_cast<std::uint32_t>(i)));
    }
    const bool ascending = SortAscending;
    std::stable_sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
      if (a.high != b.high) return ascending ? a.high < b.high : a.high > b.high;
      if (a.low != b.low) return ascending ? a.low < b.low : a.low > b.low;
      return CompareListItems(rows_[a.row], rows_[b.row], column) < 0;
    });
    for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].row;
  } else {
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return CompareListItems(rows_[a], rows_[b], column) < 0;
    });
  }

  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<ListRow> rows(rows_.size());
  std::vector<std::uint8_t> checked(rows_.size());
  std::vector<std::uint32_t> newPlace(rows_.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    rows[i] = std::move(rows_[order[i]]);
    checked[i] = checked_[order[i]];
    newPlace[order[i]] = static_cast<std::uint32_t>(i);
  }
  rows_ = std::move(rows);
  checked_ = std::move(checked);
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& idx : before) {
    after.push_back(index(static_cast<int>(newPlace[static_cast<std::size_t>(idx.row())]),
                          idx.column()));
  }
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int ResultModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant ResultModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const auto row = static_cast<std::size_t>(index.row());
  const auto col = static_cast<std::size_t>(index.column());
  if (row >= rows_.size()) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    const ListRow& cells = rows_[row];
    if (col >= cells.size()) return QString();
    return QString::fromUtf8(cells[col].data(), static_cast<qsizetype>(cells[col].size()));
  }
  if (role == Qt::CheckStateRole && col == 0) {
    return checked_[row] ? Qt::Checked : Qt::Unchecked;
  }
  return {};
}

bool ResultModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole) return false;
  SetChecked(static_cast<std::size_t>(index.row()),
             value.value<Qt::CheckState>() == Qt::Checked);
  return true;
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || static_cast<std::size_t>(section) >= columns_.size()) return {};
  return columns_[static_cast<std::size_t>(section)].Caption;
}

Qt::ItemFlags ResultModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}

}  // namespace velmora
