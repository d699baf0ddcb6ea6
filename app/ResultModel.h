// The rows of the result list ListView1. A record's row is held as its kind
// and its index in that kind's result array, and its cells are made from the
// record when a view asks for them (engine/ResultRows.h): the list keeps no
// copy of the records' texts. Rows that no array holds (the fixed-layout
// carver's, the DVR views') keep their own texts. Each row has a check state.
//
// Rows added while a scan runs wait until the window next runs its messages
// (ShowPendingRows), so that a scan costs one insertion per batch, not per
// hit. Count, Row and the check states include the waiting rows; the views
// see them once they are shown.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/MappedBlock.h"
#include "engine/MyFuns_.h"
#include "engine/ResultRows.h"
#include "engine/ScanContext.h"

namespace velmora {

// One column of the result list.
struct ResultColumn {
  QString Caption;
  int Width = 0;
  bool AutoSize = false;  // takes the width that is left
};

// The column set of a kind (0 contacts, 1 messages, 2 call history, 3 WeChat);
// empty for any other kind.
std::vector<ResultColumn> ResultColumnSet(std::uint8_t kind);

class ResultModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ResultModel(QObject* parent = nullptr);

  // Replaces the columns; the rows stay.
  void SetColumns(std::vector<ResultColumn> columns);
  const std::vector<ResultColumn>& Columns() const { return columns_; }

  // Removes every row.
  void Clear();
  void Reserve(std::size_t rows);
  // Adds the row of record `index` of `kind`'s result array; it waits for
  // ShowPendingRows.
  void AppendRecord(std::uint8_t kind, std::size_t index);
  // Adds a row of its own texts; it waits for ShowPendingRows.
  void AppendRow(ListRow row);
  // Adds a batch of such rows with one insertion notice; `rows` is left empty.
  void AppendRows(std::vector<ListRow>& rows);
  // Shows every waiting row to the views with one insertion notice.
  void ShowPendingRows();

  // Every row, waiting ones included.
  std::size_t Count() const { return rows_.size(); }
  // The cells of row `index` as the list shows them.
  ListRow Row(std::size_t index) const;
  // Cell `column` of row `index`: a view of the record's or the row's own
  // text, or of `scratch` when the cell is made; empty when there is none.
  std::string_view Cell(std::size_t index, std::size_t column, std::string& scratch) const;
  bool IsChecked(std::size_t index) const { return checked_[index] != 0; }
  void SetChecked(std::size_t index, bool checked);

  // Reorders the rows with CompareListItems on `column` (0 = caption, k =
  // sub-item k - 1), which reads SortAscending for the direction. Rows that
  // compare equal keep their order. Check states move with their rows.
  void SortByColumn(int column);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // A row: its source in the top three bits (a kind code 0 to 3, or
  // kOwnTexts), the index in that source below.
  static constexpr unsigned kSourceShift = 29;
  static constexpr std::uint32_t kIndexMask = (1u << kSourceShift) - 1;
  static constexpr std::uint32_t kOwnTexts = 4;
  static std::uint32_t Pack(std::uint32_t source, std::size_t index) {
    return (source << kSourceShift) | static_cast<std::uint32_t>(index);
  }

  std::vector<ResultColumn> columns_;
  // Mapped blocks once large: a list of a million rows grows without a
  // page fault for every 4 KiB of it.
  using Rows = std::vector<std::uint32_t, BlockAllocator<std::uint32_t>>;
  // The room a list of records takes at its first row; it doubles from
  // there, in mapped blocks from a megabyte on.
  static constexpr std::size_t kRecordRowsFirstRoom = std::size_t{1} << 16;
  using Checks = std::vector<std::uint8_t, BlockAllocator<std::uint8_t>>;
  Rows rows_;
  Checks checked_;
  std::vector<ListRow> texts_;  // the rows of their own texts
  std::size_t shown_ = 0;       // rows the views know of: rows_[0, shown_)
};

}  // namespace velmora
