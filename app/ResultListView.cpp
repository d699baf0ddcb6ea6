#include "app/ResultListView.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QHeaderView>
#include <QHoverEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTimerEvent>
#include <algorithm>
#include <climits>
#include <vector>

namespace velmora {

namespace {

int ClampToInt(qint64 v) {
  return static_cast<int>(std::clamp<qint64>(v, INT_MIN / 2, INT_MAX / 2));
}

}  // namespace

ResultListView::ResultListView(QWidget* parent) : QAbstractItemView(parent) {
  header_ = new QHeaderView(Qt::Horizontal, this);
  header_->setSectionsClickable(true);
  header_->setHighlightSections(true);
  rowHeight_ = std::max(1, style()->pixelMetric(QStyle::PM_HeaderDefaultSectionSizeVertical,
                                                nullptr, this));
  setVerticalScrollMode(ScrollPerItem);
  setHorizontalScrollMode(ScrollPerItem);
  setTabKeyNavigation(true);
  connect(header_, &QHeaderView::sectionResized, this, [this] { ColumnsChanged(); });
  connect(header_, &QHeaderView::sectionMoved, this, [this] { ColumnsChanged(); });
  connect(header_, &QHeaderView::sectionCountChanged, this, [this] { ColumnsChanged(); });
  connect(header_, &QHeaderView::geometriesChanged, this, [this] { updateGeometries(); });
  connect(header_, &QHeaderView::sectionHandleDoubleClicked, this,
          [this](int column) { ResizeColumnToContents(column); });
}

ResultListView::~ResultListView() {
  // The header goes with the widget's children, after this class's part of
  // the view; what it reports on its way out concerns no one.
  disconnect(header_, nullptr, this, nullptr);
  for (const QMetaObject::Connection& link : modelLinks_) disconnect(link);
}

void ResultListView::setModel(QAbstractItemModel* newModel) {
  if (newModel == model()) return;
  for (const QMetaObject::Connection& link : modelLinks_) disconnect(link);
  modelLinks_.clear();
  QAbstractItemView::setModel(newModel);
  header_->setModel(newModel);
  if (newModel == nullptr) return;
  // Rows that leave or move shift the rows below them.
  modelLinks_.push_back(
      connect(newModel, &QAbstractItemModel::rowsRemoved, this, [this] { doItemsLayout(); }));
  modelLinks_.push_back(
      connect(newModel, &QAbstractItemModel::rowsMoved, this, [this] { doItemsLayout(); }));
}

void ResultListView::SetRowHeight(int height) {
  height = std::max(1, height);
  if (height == rowHeight_) return;
  rowHeight_ = height;
  updateGeometries();
  viewport()->update();
}

int ResultListView::RowCount() const {
  return model() == nullptr ? 0 : model()->rowCount(rootIndex());
}

int ResultListView::ColumnCount() const { return header_->count(); }

int ResultListView::columnWidth(int column) const { return header_->sectionSize(column); }

void ResultListView::setColumnWidth(int column, int width) { header_->resizeSection(column, width); }

void ResultListView::setShowGrid(bool show) {
  if (show == showGrid_) return;
  showGrid_ = show;
  viewport()->update();
}

void ResultListView::ColumnsChanged() {
  if (!columnsTimer_.isActive()) columnsTimer_.start(0, this);
}

void ResultListView::timerEvent(QTimerEvent* event) {
  if (event->timerId() == columnsTimer_.timerId()) {
    columnsTimer_.stop();
    updateGeometries();
    viewport()->update();
    return;
  }
  QAbstractItemView::timerEvent(event);
}

qint64 ResultListView::VerticalOffset64() const {
  const QScrollBar* bar = verticalScrollBar();
  if (bar->maximum() > 0 && bar->value() == bar->maximum()) {
    return std::max<qint64>(0, static_cast<qint64>(RowCount()) * rowHeight_ - viewport()->height());
  }
  return static_cast<qint64>(bar->value()) * rowHeight_;
}

// The item view's own bookkeeping (a pressed point, a dragged band) takes
// the offset as an int. This view reckons in 64 bits: a list of a hundred
// million rows reaches further down than an int of pixels.
int ResultListView::verticalOffset() const { return ClampToInt(VerticalOffset64()); }

int ResultListView::horizontalOffset() const { return header_->offset(); }

int ResultListView::rowAt(int y) const {
  const qint64 at = static_cast<qint64>(y) + VerticalOffset64();
  if (at < 0) return -1;
  const qint64 row = at / rowHeight_;
  return row < RowCount() ? static_cast<int>(row) : -1;
}

int ResultListView::rowViewportPosition(int row) const {
  return ClampToInt(static_cast<qint64>(row) * rowHeight_ - VerticalOffset64());
}

int ResultListView::columnViewportPosition(int column) const {
  return header_->sectionViewportPosition(column);
}

bool ResultListView::isIndexHidden(const QModelIndex& index) const {
  return header_->isSectionHidden(index.column());
}

bool ResultListView::Shows(const QModelIndex& index) const {
  return index.isValid() && index.model() == model() && index.parent() == rootIndex() &&
         !isIndexHidden(index);
}

QModelIndex ResultListView::indexAt(const QPoint& point) const {
  if (model() == nullptr) return {};
  const int row = rowAt(point.y());
  const int column = header_->logicalIndexAt(point.x());
  if (row < 0 || column < 0) return {};
  return model()->index(row, column, rootIndex());
}

QRect ResultListView::visualRect(const QModelIndex& index) const {
  if (!Shows(index)) return {};
  const int grid = showGrid_ ? 1 : 0;
  return QRect(columnViewportPosition(index.column()), rowViewportPosition(index.row()),
               columnWidth(index.column()) - grid, rowHeight_ - grid);
}

void ResultListView::initViewItemOption(QStyleOptionViewItem* option) const {
  QAbstractItemView::initViewItemOption(option);
  // A cell's decoration shows as selected with its text, as in a table.
  option->showDecorationSelected = true;
}

void ResultListView::updateGeometries() {
  if (inGeometries_) return;
  inGeometries_ = true;
  int height = 0;
  if (!header_->isHidden()) {
    height = std::max(header_->minimumHeight(), header_->sizeHint().height());
    height = std::clamp(height, header_->minimumHeight(), header_->maximumHeight());
  }
  setViewportMargins(0, height, 0, 0);
  const QRect vg = viewport()->geometry();
  header_->setGeometry(vg.left(), vg.top() - height, vg.width(), height);
  if (header_->isHidden()) QMetaObject::invokeMethod(header_, "updateGeometries");

  // With room for everything without scroll bars, the bars go.
  QSize size = viewport()->size();
  const QSize most = maximumViewportSize();
  const qint64 rows = RowCount();
  if (most.width() >= header_->length() && most.height() >= rows * rowHeight_) size = most;

  // Scrolled by whole columns and whole rows.
  const int columns = ColumnCount();
  int columnsInViewport = 0;
  for (int width = 0, visual = columns - 1; visual >= 0; --visual) {
    const int logical = header_->logicalIndex(visual);
    if (header_->isSectionHidden(logical)) continue;
    width += header_->sectionSize(logical);
    if (width > size.width()) break;
    ++columnsInViewport;
  }
  columnsInViewport = std::max(columnsInViewport, 1);
  const int shownColumns = columns - header_->hiddenSectionCount();
  horizontalScrollBar()->setRange(0, shownColumns - columnsInViewport);
  horizontalScrollBar()->setPageStep(columnsInViewport);
  if (columnsInViewport >= shownColumns) header_->setOffset(0);
  horizontalScrollBar()->setSingleStep(1);

  const int rowsInViewport =
      static_cast<int>(std::max<qint64>(1, std::min<qint64>(rows, size.height() / rowHeight_)));
  verticalScrollBar()->setRange(0, static_cast<int>(rows) - rowsInViewport);
  verticalScrollBar()->setPageStep(rowsInViewport);
  verticalScrollBar()->setSingleStep(1);
  // At the bar's end the rows' place follows the viewport's height.
  const qint64 offset = VerticalOffset64();
  if (offset != shownVerticalOffset_) {
    shownVerticalOffset_ = offset;
    viewport()->update();
  }
  inGeometries_ = false;
  QAbstractItemView::updateGeometries();
}

void ResultListView::scrollContentsBy(int dx, int dy) {
  const bool reverse = isRightToLeft();
  if (dx != 0) {
    const int before = header_->offset();
    const QScrollBar* bar = horizontalScrollBar();
    if (bar->maximum() > 0 && bar->value() == bar->maximum()) {
      header_->setOffsetToLastSection();
    } else {
      header_->setOffsetToSectionPosition(bar->value());
    }
    const int after = header_->offset();
    dx = reverse ? after - before : before - after;
  }
  if (dy != 0) {
    const qint64 now = VerticalOffset64();
    dy = ClampToInt(shownVerticalOffset_ - now);
    shownVerticalOffset_ = now;
  }
  QAbstractItemView::scrollContentsBy(dx, dy);
  if (showGrid_ && dy > 0 && header_->isHidden())
    viewport()->update(0, dy, viewport()->width(), dy);
}

void ResultListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!Shows(index)) return;

  // Across: whole columns, the cell's left or right edge in sight.
  const int viewportWidth = viewport()->width();
  const int x = header_->sectionPosition(index.column()) - header_->offset();
  const int width = header_->sectionSize(index.column());
  int visual = header_->visualIndex(index.column());
  const bool atLeft = x < 0;
  const bool atRight = x + width > viewportWidth;
  if (hint == PositionAtCenter || atRight) {
    const int room = hint == PositionAtCenter ? viewportWidth / 2 : viewportWidth;
    int reach = width;
    while (visual > 0) {
      reach += header_->sectionSize(header_->logicalIndex(visual - 1));
      if (reach > room) break;
      --visual;
    }
  }
  if (atLeft || atRight || hint == PositionAtCenter) {
    int hidden = 0;
    for (int v = 0; v < visual; ++v) {
      if (header_->isSectionHidden(header_->logicalIndex(v))) ++hidden;
    }
    horizontalScrollBar()->setValue(visual - hidden);
  }

  // Down: whole rows.
  const int viewportHeight = viewport()->height();
  const qint64 y = static_cast<qint64>(index.row()) * rowHeight_ - VerticalOffset64();
  if (y < 0 || rowHeight_ > viewportHeight) {
    if (hint == EnsureVisible) hint = PositionAtTop;
  } else if (y + rowHeight_ > viewportHeight) {
    if (hint == EnsureVisible) hint = PositionAtBottom;
  }
  int first = index.row();
  if (hint == PositionAtBottom || hint == PositionAtCenter) {
    const int room = hint == PositionAtCenter ? viewportHeight / 2 : viewportHeight;
    // The rows above that fit with this one in the room.
    const int above = std::max(0, room / rowHeight_ - 1);
    first = std::max(0, first - above);
  }
  if (hint != EnsureVisible) verticalScrollBar()->setValue(first);
  update(index);
}

QModelIndex ResultListView::moveCursor(CursorAction cursorAction,
                                       Qt::KeyboardModifiers modifiers) {
  const int rows = RowCount();
  const int columns = ColumnCount();
  if (model() == nullptr || rows == 0 || columns == 0) return {};
  // The shown columns in their visual order.
  std::vector<int> shown;
  for (int v = 0; v < columns; ++v) {
    if (!header_->isSectionHidden(header_->logicalIndex(v))) shown.push_back(v);
  }
  if (shown.empty()) return {};
  const QModelIndex current = currentIndex();
  if (!current.isValid()) return model()->index(0, header_->logicalIndex(shown.front()), rootIndex());

  int row = current.row();
  const int visual = header_->visualIndex(current.column());
  auto at = std::find(shown.begin(), shown.end(), visual);
  std::size_t column = at == shown.end() ? 0 : static_cast<std::size_t>(at - shown.begin());
  if (isRightToLeft()) {
    if (cursorAction == MoveLeft) {
      cursorAction = MoveRight;
    } else if (cursorAction == MoveRight) {
      cursorAction = MoveLeft;
    }
  }
  switch (cursorAction) {
    case MoveUp:
      if (row > 0) --row;
      break;
    case MoveDown:
      if (row < rows - 1) ++row;
      break;
    case MoveLeft:
      if (column > 0) --column;
      break;
    case MoveRight:
      if (column + 1 < shown.size()) ++column;
      break;
    case MovePrevious:
      if (column > 0) {
        --column;
      } else if (row > 0) {
        --row;
        column = shown.size() - 1;
      }
      break;
    case MoveNext:
      if (column + 1 < shown.size()) {
        ++column;
      } else if (row < rows - 1) {
        ++row;
        column = 0;
      }
      break;
    case MoveHome:
      column = 0;
      if (modifiers & Qt::ControlModifier) row = 0;
      break;
    case MoveEnd:
      column = shown.size() - 1;
      if (modifiers & Qt::ControlModifier) row = rows - 1;
      break;
    case MovePageUp: {
      const int to = rowAt(visualRect(current).bottom() - viewport()->height());
      return model()->index(to == -1 ? 0 : to, current.column(), rootIndex());
    }
    case MovePageDown: {
      const int to = rowAt(visualRect(current).top() + viewport()->height());
      return model()->index(to == -1 ? rows - 1 : to, current.column(), rootIndex());
    }
  }
  return model()->index(row, header_->logicalIndex(shown[column]), rootIndex());
}

void ResultListView::setSelection(const QRect& rect,
                                  QItemSelectionModel::SelectionFlags command) {
  if (selectionModel() == nullptr || model() == nullptr) return;
  const QRect r = rect.normalized();
  const bool reverse = isRightToLeft();
  const QModelIndex first = indexAt(QPoint(reverse ? r.right() : r.left(), r.top()));
  const QModelIndex last = indexAt(QPoint(reverse ? r.left() : r.right(), r.bottom()));
  if (!first.isValid() || !last.isValid()) return;
  const QModelIndex topLeft = model()->index(std::min(first.row(), last.row()),
                                             std::min(first.column(), last.column()), rootIndex());
  const QModelIndex bottomRight = model()->index(
      std::max(first.row(), last.row()), std::max(first.column(), last.column()), rootIndex());
  selectionModel()->select(QItemSelection(topLeft, bottomRight), command);
}

QRegion ResultListView::visualRegionForSelection(const QItemSelection& selection) const {
  QRegion region;
  const int rows = RowCount();
  if (rows == 0) return region;
  // Only the rows in sight: a selection may hold a million.
  const int firstShown = std::max(0, rowAt(0));
  int lastShown = rowAt(viewport()->height() - 1);
  if (lastShown < 0) lastShown = rows - 1;
  const int grid = showGrid_ ? 1 : 0;
  const QRect sight = viewport()->rect();
  for (const QItemSelectionRange& range : selection) {
    if (!range.isValid() || range.parent() != rootIndex()) continue;
    const int top = std::max(range.top(), firstShown);
    const int bottom = std::min(range.bottom(), lastShown);
    if (top > bottom) continue;
    const int y0 = rowViewportPosition(top);
    const int y1 = rowViewportPosition(bottom) + rowHeight_;
    int x0 = columnViewportPosition(range.left());
    int x1 = columnViewportPosition(range.right()) + columnWidth(range.right());
    if (isRightToLeft()) {
      x0 = columnViewportPosition(range.right());
      x1 = columnViewportPosition(range.left()) + columnWidth(range.left());
    }
    const QRect box(QPoint(x0, y0), QPoint(x1 - 1 - grid, y1 - 1 - grid));
    if (sight.intersects(box)) region += box;
  }
  return region;
}

int ResultListView::sizeHintForColumn(int column) const {
  if (model() == nullptr) return -1;
  ensurePolished();
  const int rows = RowCount();
  int top = std::max(0, rowAt(0));
  int bottom = rowAt(viewport()->height());
  if (!isVisible() || bottom == -1) bottom = rows - 1;
  const int most = header_->resizeContentsPrecision();
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  int hint = 0;
  int done = 0;
  const auto measure = [&](int row) {
    const QModelIndex index = model()->index(row, column, rootIndex());
    hint = std::max(hint, itemDelegateForIndex(index)->sizeHint(option, index).width());
    ++done;
  };
  // The rows in sight, then as many more as the header's precision asks
  // for, taken in turns from above and below them (every row for -1).
  int row = top;
  for (; row <= bottom; ++row) {
    measure(row);
    if (done == most) break;
  }
  int above = top;
  int below = row - 1;
  if (most != 0) {
    while (done != most && (above > 0 || below < rows - 1)) {
      measure(((done % 2) && above > 0) || below == rows - 1 ? --above : ++below);
    }
  }
  return showGrid_ ? hint + 1 : hint;
}

void ResultListView::ResizeColumnToContents(int column) {
  header_->resizeSection(column, std::max(sizeHintForColumn(column),
                                          header_->sectionSizeHint(column)));
}

void ResultListView::selectRow(int row) {
  if (model() == nullptr || selectionModel() == nullptr || row < 0 || row >= RowCount()) return;
  const QModelIndex first = model()->index(row, 0, rootIndex());
  selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
  selectionModel()->select(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

bool ResultListView::viewportEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
      hover_ = indexAt(static_cast<QHoverEvent*>(event)->position().toPoint());
      break;
    case QEvent::HoverLeave:
      hover_ = QPersistentModelIndex();
      break;
    default:
      break;
  }
  return QAbstractItemView::viewportEvent(event);
}

void ResultListView::rowsInserted(const QModelIndex& parent, int start, int end) {
  QAbstractItemView::rowsInserted(parent, start, end);
  if (parent != rootIndex()) return;
  // Rows inserted below the last row in sight change nothing on the list
  // but its scroll bar; a scan's list grows that way nearly always.
  const qint64 lastInSight =
      (VerticalOffset64() + viewport()->height() - 1) / rowHeight_;
  updateGeometries();
  if (start <= lastInSight) viewport()->update();
}

void ResultListView::LayOutNow() {
  executeDelayedItemsLayout();
  // The scroll bar is shown or hidden by a queued call; its container asks
  // the scroll area to lay out again.
  QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
  QCoreApplication::sendPostedEvents(this, QEvent::LayoutRequest);
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  if (dispatcher == nullptr) return;
  QObject* const parts[] = {this, header_};
  std::vector<int> ran;
  // A timer's work may start another (the header's resize starts its
  // section layout): a few rounds, until none is left. Each timer due now
  // runs once; one that keeps running (a section dragged) runs again when
  // it comes.
  for (int round = 0; round < 4; ++round) {
    bool any = false;
    for (QObject* part : parts) {
      const auto timers = dispatcher->registeredTimers(part);
      for (const QAbstractEventDispatcher::TimerInfo& timer : timers) {
        if (timer.interval != 0) continue;
        if (std::find(ran.begin(), ran.end(), timer.timerId) != ran.end()) continue;
        ran.push_back(timer.timerId);
        QTimerEvent event(timer.timerId);
        QCoreApplication::sendEvent(part, &event);
        any = true;
      }
    }
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    QCoreApplication::sendPostedEvents(this, QEvent::LayoutRequest);
    if (!any) break;
  }
}

void ResultListView::paintEvent(QPaintEvent* event) {
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  const bool reverse = isRightToLeft();
  const int grid = showGrid_ ? 1 : 0;
  const int gridHint = style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this);
  const QPen gridPen(QColor::fromRgba(static_cast<QRgb>(gridHint)), 1, Qt::SolidLine);
  QPainter painter(viewport());
  const int rows = RowCount();
  if (ColumnCount() == 0 || rows == 0 || itemDelegate() == nullptr) return;

  // The last pixel the columns and the rows reach.
  const int right = header_->length() - header_->offset() - (reverse ? 0 : 1);
  const qint64 bottomY = static_cast<qint64>(rows) * rowHeight_ - VerticalOffset64() - 1;
  const QItemSelectionModel* selection = selectionModel();
  const QModelIndex current = currentIndex();
  const bool focused = (hasFocus() || viewport()->hasFocus()) && current.isValid();

  for (QRect dirty : event->region()) {
    dirty.setBottom(static_cast<int>(std::min<qint64>(dirty.bottom(), bottomY)));
    if (reverse) {
      dirty.setLeft(std::max(dirty.left(), viewport()->width() - right));
    } else {
      dirty.setRight(std::min(dirty.right(), right));
    }
    if (!dirty.isValid()) continue;
    int left = header_->visualIndexAt(dirty.left());
    int rightColumn = header_->visualIndexAt(dirty.right());
    if (reverse) std::swap(left, rightColumn);
    if (left == -1) left = 0;
    if (rightColumn == -1) rightColumn = header_->count() - 1;
    const int top = rowAt(dirty.top());
    int bottom = rowAt(dirty.bottom());
    if (bottom == -1) bottom = rows - 1;
    if (top == -1 || top > bottom) continue;

    for (int row = top; row <= bottom; ++row) {
      const int rowY = rowViewportPosition(row);
      if (alternatingRowColors()) {
        if (row & 1) {
          option.features |= QStyleOptionViewItem::Alternate;
        } else {
          option.features &= ~QStyleOptionViewItem::Alternate;
        }
      }
      for (int visual = left; visual <= rightColumn; ++visual) {
        const int column = header_->logicalIndex(visual);
        if (header_->isSectionHidden(column)) continue;
        const QModelIndex index = model()->index(row, column, rootIndex());
        if (!index.isValid()) continue;
        QStyleOptionViewItem cell = option;
        cell.rect = QRect(columnViewportPosition(column) + (showGrid_ && reverse ? 1 : 0), rowY,
                          columnWidth(column) - grid, rowHeight_ - grid);
        if (selection != nullptr && selection->isSelected(index))
          cell.state |= QStyle::State_Selected;
        if (index == hover_) cell.state |= QStyle::State_MouseOver;
        if (option.state & QStyle::State_Enabled) {
          QPalette::ColorGroup group = QPalette::Normal;
          if (!(model()->flags(index) & Qt::ItemIsEnabled)) {
            cell.state &= ~QStyle::State_Enabled;
            group = QPalette::Disabled;
          }
          cell.palette.setCurrentColorGroup(group);
        }
        if (focused && index == current) cell.state |= QStyle::State_HasFocus;
        style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &cell, &painter, this);
        itemDelegateForIndex(index)->paint(&painter, cell, index);
      }
    }

    if (showGrid_) {
      const QPen old = painter.pen();
      painter.setPen(gridPen);
      for (int row = top; row <= bottom; ++row) {
        const int y = rowViewportPosition(row) + rowHeight_ - grid;
        painter.drawLine(QLineF(dirty.left(), y, dirty.right(), y).translated(0.5, 0.5));
      }
      for (int visual = left; visual <= rightColumn; ++visual) {
        const int column = header_->logicalIndex(visual);
        if (header_->isSectionHidden(column)) continue;
        int x = columnViewportPosition(column);
        if (!reverse) x += columnWidth(column) - grid;
        painter.drawLine(QLineF(x, dirty.top(), x, dirty.bottom()).translated(0.5, 0.5));
      }
      painter.setPen(old);
    }
  }
}

}  // namespace velmora
