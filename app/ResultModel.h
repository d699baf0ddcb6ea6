// The rows of the result list ListView1: each row's texts (caption first,
// then the sub-items) and its check state, held in one flat array so that a
// million rows list and sort quickly. Cell texts are UTF-8 and become Qt
// texts only when a view asks for a visible cell.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/MyFuns_.h"
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

// The list row of one record, in the layout of its kind's column set. The
// WeChat row shows the message in its display form.
ListRow MakeResultRow(const PtelValue& r);
ListRow MakeResultRow(const PSMSvalue& r);
ListRow MakeResultRow(const PCallValue& r);
ListRow MakeResultRow(const PWXValue& r);

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
  void AppendRow(ListRow row);
  // Appends a batch of rows with one insertion notice; `rows` is left empty.
  void AppendRows(std::vector<ListRow>& rows);

  std::size_t Count() const { return rows_.size(); }
  const ListRow& Row(std::size_t index) const { return rows_[index]; }
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
  std::vector<ResultColumn> columns_;
  std::vector<ListRow> rows_;
  std::vector<std::uint8_t> checked_;
};

}  // namespace velmora
