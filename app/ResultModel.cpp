#include "app/ResultModel.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <utility>

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

ResultModel::ResultModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultModel::SetColumns(std::vector<ResultColumn> columns) {
  beginResetModel();
  columns_ = std::move(columns);
  endResetModel();
}

void ResultModel::Clear() {
  if (rows_.empty() && texts_.empty()) return;
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  checked_.clear();
  checked_.shrink_to_fit();
  texts_.clear();
  texts_.shrink_to_fit();
  shown_ = 0;
  endResetModel();
}

void ResultModel::Reserve(std::size_t rows) {
  rows_.reserve(rows);
  checked_.reserve(rows);
}

void ResultModel::AppendRecord(std::uint8_t kind, std::size_t index) {
  // An index beyond the row's room could not be told apart from another
  // row's; no array of a scan comes near it.
  if (kind >= kOwnTexts || index > kIndexMask) return;
  if (rows_.size() == rows_.capacity()) {
    // Room for many rows at once: a scan's list grows by few copies.
    const std::size_t room = std::max(rows_.capacity() * 2, kRecordRowsFirstRoom);
    rows_.reserve(room);
    checked_.reserve(room);
  }
  rows_.push_back(Pack(kind, index));
  checked_.push_back(0);
}

void ResultModel::AppendRow(ListRow row) {
  if (texts_.size() > kIndexMask) return;
  rows_.push_back(Pack(kOwnTexts, texts_.size()));
  checked_.push_back(0);
  texts_.push_back(std::move(row));
}

void ResultModel::AppendRows(std::vector<ListRow>& rows) {
  for (ListRow& row : rows) AppendRow(std::move(row));
  rows.clear();
  ShowPendingRows();
}

void ResultModel::ShowPendingRows() {
  if (shown_ >= rows_.size()) return;
  beginInsertRows(QModelIndex(), static_cast<int>(shown_), static_cast<int>(rows_.size()) - 1);
  shown_ = rows_.size();
  endInsertRows();
}

std::string_view ResultModel::Cell(std::size_t index, std::size_t column,
                                   std::string& scratch) const {
  if (index >= rows_.size()) return {};
  const std::uint32_t source = rows_[index] >> kSourceShift;
  const std::size_t at = rows_[index] & kIndexMask;
  if (source == kOwnTexts) {
    const ListRow& cells = texts_[at];
    return column < cells.size() ? std::string_view(cells[column]) : std::string_view();
  }
  return ResultRecordCell(static_cast<std::uint8_t>(source), at, column, scratch);
}

ListRow ResultModel::Row(std::size_t index) const {
  if (index >= rows_.size()) return {};
  const std::uint32_t source = rows_[index] >> kSourceShift;
  const std::size_t at = rows_[index] & kIndexMask;
  if (source == kOwnTexts) return texts_[at];
  return ResultRecordRow(static_cast<std::uint8_t>(source), at);
}

void ResultModel::SetChecked(std::size_t index, bool checked) {
  if (index >= checked_.size()) return;
  checked_[index] = checked ? 1 : 0;
  if (index >= shown_) return;
  const QModelIndex cell = this->index(static_cast<int>(index), 0);
  emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

namespace {

// A row's sort key: its first sixteen bytes packed big-endian (zero-padded)
// so that most comparisons need one or two integer compares, and where the
// whole key lies in the keys' buffer.
struct SortKey {
  std::uint64_t high = 0;
  std::uint64_t low = 0;
  std::size_t offset = 0;
  std::uint32_t length = 0;
  std::uint32_t row = 0;
};

std::uint64_t Pack8(std::string_view key, std::size_t from) {
  std::uint64_t v = 0;
  for (std::size_t i = from; i < from + 8; ++i) {
    v = (v << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
  }
  return v;
}

}  // namespace

void ResultModel::SortByColumn(int column) {
  ShowPendingRows();
  if (rows_.size() < 2 || column < 0) return;
  const auto at = static_cast<std::size_t>(column);
  // Rows of their own texts may lack the column; a record's row has every
  // column of its layout.
  const bool everyRowHasTheColumn = std::all_of(rows_.begin(), rows_.end(), [&](std::uint32_t r) {
    const std::uint32_t source = r >> kSourceShift;
    if (source == kOwnTexts) return at < texts_[r & kIndexMask].size();
    return at < ResultRowCellCount(static_cast<std::uint8_t>(source));
  });

  std::vector<std::uint32_t> order(rows_.size());
  if (everyRowHasTheColumn) {
    // Each row's key is made once: the code-page conversion is far too dear
    // to repeat in every comparison of a million rows.
    std::string buffer;
    buffer.reserve(rows_.size() * 16);
    std::vector<SortKey> keys;
    keys.reserve(rows_.size());
    std::string scratch;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      SortKey key;
      key.offset = buffer.size();
      AppendListSortKey(Cell(i, at, scratch), buffer);
      key.length = static_cast<std::uint32_t>(buffer.size() - key.offset);
      const std::string_view whole = std::string_view(buffer).substr(key.offset, key.length);
      key.high = Pack8(whole, 0);
      key.low = Pack8(whole, 8);
      key.row = static_cast<std::uint32_t>(i);
      keys.push_back(key);
    }
    const std::string_view all(buffer);
    const auto less = [&](const SortKey& a, const SortKey& b) {
      if (a.high != b.high) return a.high < b.high;
      if (a.low != b.low) return a.low < b.low;
      if (a.length <= 16 && b.length <= 16) return a.length < b.length;
      return CompareListSortKeys(all.substr(a.offset, a.length), all.substr(b.offset, b.length)) <
             0;
    };
    if (SortAscending) {
      std::stable_sort(keys.begin(), keys.end(), less);
    } else {
      std::stable_sort(keys.begin(), keys.end(),
                       [&](const SortKey& a, const SortKey& b) { return less(b, a); });
    }
    for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].row;
  } else {
    std::vector<ListRow> cells;
    cells.reserve(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) cells.push_back(Row(i));
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return CompareListItems(cells[a], cells[b], column) < 0;
    });
  }

  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  Rows rows(rows_.size());
  Checks checked(rows_.size());
  std::vector<std::uint32_t> newPlace(rows_.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    rows[i] = rows_[order[i]];
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
  return parent.isValid() ? 0 : static_cast<int>(shown_);
}

int ResultModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant ResultModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const auto row = static_cast<std::size_t>(index.row());
  if (row >= shown_) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    std::string scratch;
    const std::string_view cell = Cell(row, static_cast<std::size_t>(index.column()), scratch);
    return QString::fromUtf8(cell.data(), static_cast<qsizetype>(cell.size()));
  }
  if (role == Qt::CheckStateRole && index.column() == 0) {
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
