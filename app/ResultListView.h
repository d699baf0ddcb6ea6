// The result list's view: rows of one fixed height under a header of
// columns, a cell drawn as a table draws it (grid lines, the row selected
// whole, the item delegate painting each cell).
//
// A table view keeps, in its row header, an entry for every row it shows;
// a scan of a large database lists millions of rows, and those entries (and
// the fresh memory they take) cost more than the rows' own index. Every row
// of this list has the same height, so the view needs nothing per row: a
// row's place is its number times the height.
#pragma once

#include <QAbstractItemView>
#include <QBasicTimer>
#include <QPersistentModelIndex>
#include <vector>

class QHeaderView;

namespace velmora {

class ResultListView : public QAbstractItemView {
  Q_OBJECT

 public:
  explicit ResultListView(QWidget* parent = nullptr);
  ~ResultListView() override;

  void setModel(QAbstractItemModel* model) override;

  QHeaderView* horizontalHeader() const { return header_; }

  // Every row's height in pixels, its grid line included.
  void SetRowHeight(int height);

  int columnWidth(int column) const;
  void setColumnWidth(int column, int width);
  // The row under viewport y, or -1.
  int rowAt(int y) const;
  int rowViewportPosition(int row) const;
  int columnViewportPosition(int column) const;

  bool showGrid() const { return showGrid_; }
  void setShowGrid(bool show);

  // Makes `row` the current row and the only one selected.
  void selectRow(int row);

  // Lays the view out now for the rows it has just been told of, as the
  // queued calls and zero-delay timers of the scroll area and its header
  // would at the next turns of the event loop: the vertical scroll bar
  // shown or hidden, the viewport's new width, the stretched last column's
  // new width. Left to them, the first rows of a scan would be painted at
  // the width without the scroll bar, then again with it.
  void LayOutNow();

  QRect visualRect(const QModelIndex& index) const override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint& point) const override;
  int sizeHintForColumn(int column) const override;

 protected:
  void initViewItemOption(QStyleOptionViewItem* option) const override;
  QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override;
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex& index) const override;
  void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
  QRegion visualRegionForSelection(const QItemSelection& selection) const override;
  void updateGeometries() override;
  void paintEvent(QPaintEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* event) override;
  void rowsInserted(const QModelIndex& parent, int start, int end) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  int RowCount() const;
  int ColumnCount() const;
  // The vertical offset in pixels that the scroll bar's value stands for: the
  // first row shown is the value, but at the bar's end the last row lies on
  // the viewport's bottom edge.
  qint64 VerticalOffset64() const;
  // Whether `index` is a cell this view shows (of its model, in a shown
  // column).
  bool Shows(const QModelIndex& index) const;
  void ResizeColumnToContents(int column);
  // A column's new width, place or visibility: the view lays out once the
  // header has settled, at the next turn of the event loop (a hidden
  // section reports its new width before it counts as hidden).
  void ColumnsChanged();

  QHeaderView* header_ = nullptr;
  int rowHeight_ = 0;
  bool showGrid_ = true;
  bool inGeometries_ = false;
  qint64 shownVerticalOffset_ = 0;  // what the viewport's pixels show now
  QPersistentModelIndex hover_;
  QBasicTimer columnsTimer_;
  std::vector<QMetaObject::Connection> modelLinks_;
};

}  // namespace velmora
