// The result list's view against a table view set up as the list was: the
// same pixels, the same cells under the same points, the same scrolling,
// keys and clicks, for rows of every kind of text.
#include <gtest/gtest.h>

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <functional>
#include <string>
#include <vector>

#include "app/ResultListView.h"

namespace velmora {
namespace {

constexpr int kRows = 240;
constexpr int kRowHeight = 23;

QString CellText(int row, int column) {
  static const char* const kTexts[] = {
      "张三",
      "2014-03-06 00:00:01",
      "第一行\n第二行",
      "مرحبا بالعالم and more text",
      "e\u0301 \U0001F600 fi ffl",
      "a long body that no column of the list is wide enough to show whole, so it ends elided",
      "",
      "10086"};
  return QString::fromUtf8(kTexts[(row * 3 + column) % 8]) + QString::number(row);
}

std::pair<int, int> Cell(const QModelIndex& index) { return {index.row(), index.column()}; }

class ResultListViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model_.setColumnCount(4);
    for (int r = 0; r < kRows; ++r) {
      QList<QStandardItem*> cells;
      for (int c = 0; c < 4; ++c) {
        auto* item = new QStandardItem(CellText(r, c));
        item->setEditable(false);
        if (c == 0) {
          item->setCheckable(true);
          item->setCheckState(r % 3 == 0 ? Qt::Checked : Qt::Unchecked);
        }
        cells.push_back(item);
      }
      model_.appendRow(cells);
    }
    model_.setHorizontalHeaderLabels({"姓名", "时间", "内容", "号码"});

    table_.setModel(&model_);
    table_.setWordWrap(false);
    table_.verticalHeader()->setVisible(false);
    table_.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_.verticalHeader()->setDefaultSectionSize(kRowHeight);
    list_.setModel(&model_);
    list_.SetRowHeight(kRowHeight);
    for (QAbstractItemView* view : Views()) {
      view->setSelectionBehavior(QAbstractItemView::SelectRows);
      view->setSelectionMode(QAbstractItemView::ExtendedSelection);
      view->setEditTriggers(QAbstractItemView::NoEditTriggers);
      view->setTextElideMode(Qt::ElideRight);
      QHeaderView* header = Header(view);
      header->setHighlightSections(false);
      header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      header->setStretchLastSection(true);
      const int widths[] = {120, 150, 260, 90};
      for (int c = 0; c < 4; ++c) header->resizeSection(c, widths[c]);
      view->resize(560, 330);
      view->show();
    }
    Settle();
    // A view shown takes its first cell as current when it gets the focus;
    // which of the two has it is no matter here.
    for (QAbstractItemView* view : Views()) view->setCurrentIndex(QModelIndex());
  }

  std::vector<QAbstractItemView*> Views() { return {&table_, &list_}; }

  QHeaderView* Header(QAbstractItemView* view) {
    return view == &table_ ? table_.horizontalHeader() : list_.horizontalHeader();
  }

  static void Settle() {
    for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();
  }

  // Does `step` to both views and expects them alike afterwards.
  void ExpectAlike(const std::string& what) {
    SCOPED_TRACE(what);
    Settle();
    EXPECT_EQ(list_.verticalScrollBar()->isVisible(), table_.verticalScrollBar()->isVisible());
    EXPECT_EQ(list_.horizontalScrollBar()->isVisible(), table_.horizontalScrollBar()->isVisible());
    for (QScrollBar* (QAbstractScrollArea::*bar)() const :
         {&QAbstractScrollArea::verticalScrollBar, &QAbstractScrollArea::horizontalScrollBar}) {
      EXPECT_EQ((list_.*bar)()->value(), (table_.*bar)()->value());
      EXPECT_EQ((list_.*bar)()->maximum(), (table_.*bar)()->maximum());
      EXPECT_EQ((list_.*bar)()->pageStep(), (table_.*bar)()->pageStep());
    }
    EXPECT_EQ(Cell(list_.currentIndex()), Cell(table_.currentIndex()));
    EXPECT_EQ(list_.selectionModel()->selectedRows(), table_.selectionModel()->selectedRows());
    ASSERT_EQ(list_.viewport()->geometry(), table_.viewport()->geometry());
    EXPECT_EQ(list_.horizontalHeader()->geometry(), table_.horizontalHeader()->geometry());
    EXPECT_EQ(list_.horizontalHeader()->offset(), table_.horizontalHeader()->offset());
    // Each drawn with the focus, as the current row's frame shows then.
    const QImage listed = Focused(list_).viewport()->grab().toImage();
    const QImage tabled = Focused(table_).viewport()->grab().toImage();
    EXPECT_TRUE(listed == tabled) << "the rows are drawn otherwise than by a table";
    EXPECT_TRUE(list_.horizontalHeader()->viewport()->grab().toImage() ==
                table_.horizontalHeader()->viewport()->grab().toImage());
    // The same cell under every point, and the same place for every cell
    // in sight.
    const QRect sight = list_.viewport()->rect();
    for (int y = -3; y < sight.height() + 30; y += 7) {
      EXPECT_EQ(list_.rowAt(y), table_.rowAt(y)) << y;
      for (int x = -3; x < sight.width() + 30; x += 37) {
        const QModelIndex at = table_.indexAt(QPoint(x, y));
        EXPECT_EQ(list_.indexAt(QPoint(x, y)), at) << x << "," << y;
        if (at.isValid()) {
          EXPECT_EQ(list_.visualRect(at), table_.visualRect(at));
        }
      }
    }
  }

  static QAbstractItemView& Focused(QAbstractItemView& view) {
    view.activateWindow();
    view.setFocus();
    Settle();
    EXPECT_TRUE(view.hasFocus());
    return view;
  }

  void Both(const std::function<void(QAbstractItemView*)>& step) {
    for (QAbstractItemView* view : Views()) step(view);
  }

  static void Key(QAbstractItemView* view, int key, Qt::KeyboardModifiers modifiers = {}) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(view, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(view, &release);
  }

  static void Click(QAbstractItemView* view, QPoint at, Qt::KeyboardModifiers modifiers = {}) {
    const QPointF global = view->viewport()->mapToGlobal(QPointF(at));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton,
                      Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(view->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton,
                        Qt::NoButton, modifiers);
    QCoreApplication::sendEvent(view->viewport(), &release);
  }

  QStandardItemModel model_;
  QTableView table_;
  ResultListView list_;
};

TEST_F(ResultListViewTest, ScrollsAndPaintsAsATable) {
  ExpectAlike("as shown");
  Both([](QAbstractItemView* v) {
    v->selectionModel()->select(v->model()->index(2, 0),
                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    v->selectionModel()->select(v->model()->index(5, 0),
                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    v->selectionModel()->setCurrentIndex(v->model()->index(5, 1), QItemSelectionModel::NoUpdate);
  });
  ExpectAlike("rows selected");
  const struct {
    const char* what;
    std::function<void(QAbstractItemView*)> step;
  } steps[] = {
      {"down 100 rows", [](QAbstractItemView* v) { v->verticalScrollBar()->setValue(100); }},
      {"to the end", [](QAbstractItemView* v) {
         v->verticalScrollBar()->setValue(v->verticalScrollBar()->maximum());
       }},
      {"taller at the end", [](QAbstractItemView* v) { v->resize(560, 347); }},
      {"one row back", [](QAbstractItemView* v) { v->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub); }},
      {"a page back", [](QAbstractItemView* v) { v->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub); }},
      {"narrow columns", [this](QAbstractItemView* v) {
         Header(v)->setStretchLastSection(false);
         for (int c = 0; c < 4; ++c) Header(v)->resizeSection(c, 230);
       }},
      {"a column across", [](QAbstractItemView* v) { v->horizontalScrollBar()->setValue(1); }},
      {"to the last column", [](QAbstractItemView* v) {
         v->horizontalScrollBar()->setValue(v->horizontalScrollBar()->maximum());
       }},
      {"a column hidden", [this](QAbstractItemView* v) { Header(v)->hideSection(1); }},
      {"back to the left", [](QAbstractItemView* v) { v->horizontalScrollBar()->setValue(0); }},
      {"right to left", [](QAbstractItemView* v) { v->setLayoutDirection(Qt::RightToLeft); }},
      {"across, right to left", [](QAbstractItemView* v) { v->horizontalScrollBar()->setValue(1); }},
      {"left to right", [](QAbstractItemView* v) { v->setLayoutDirection(Qt::LeftToRight); }},
      {"a column back", [this](QAbstractItemView* v) { Header(v)->showSection(1); }},
      {"rows removed", [](QAbstractItemView* v) {
         if (v->inherits("QTableView")) v->model()->removeRows(0, 30);
       }},
      {"rows inserted above", [](QAbstractItemView* v) {
         if (v->inherits("QTableView")) v->model()->insertRows(10, 4);
       }},
      {"a few rows left", [](QAbstractItemView* v) {
         if (v->inherits("QTableView")) v->model()->removeRows(5, v->model()->rowCount() - 8);
       }},
  };
  for (const auto& step : steps) {
    Both(step.step);
    ExpectAlike(step.what);
  }
}

TEST_F(ResultListViewTest, ScrollsToACellAsATable) {
  const struct {
    int row;
    int column;
    QAbstractItemView::ScrollHint hint;
  } cases[] = {
      {150, 2, QAbstractItemView::EnsureVisible}, {20, 0, QAbstractItemView::EnsureVisible},
      {200, 3, QAbstractItemView::PositionAtCenter}, {30, 1, QAbstractItemView::PositionAtBottom},
      {239, 0, QAbstractItemView::PositionAtTop},  {0, 0, QAbstractItemView::PositionAtBottom},
      {120, 2, QAbstractItemView::PositionAtTop},   {119, 2, QAbstractItemView::EnsureVisible},
  };
  Both([this](QAbstractItemView* v) {
    Header(v)->setStretchLastSection(false);
    for (int c = 0; c < 4; ++c) Header(v)->resizeSection(c, 260);
  });
  ExpectAlike("narrow columns");
  for (const auto& c : cases) {
    Both([&](QAbstractItemView* v) { v->scrollTo(v->model()->index(c.row, c.column), c.hint); });
    ExpectAlike("row " + std::to_string(c.row) + " hint " + std::to_string(c.hint));
  }
}

TEST_F(ResultListViewTest, KeysAndClicksMoveAndSelectAsATable) {
  Both([](QAbstractItemView* v) { v->setFocus(); });
  const struct {
    const char* what;
    std::function<void(QAbstractItemView*)> step;
  } steps[] = {
      {"down with no current row", [](QAbstractItemView* v) { Key(v, Qt::Key_Down); }},
      {"down", [](QAbstractItemView* v) { Key(v, Qt::Key_Down); }},
      {"a page down", [](QAbstractItemView* v) { Key(v, Qt::Key_PageDown); }},
      {"a page down again", [](QAbstractItemView* v) { Key(v, Qt::Key_PageDown); }},
      {"shift down", [](QAbstractItemView* v) { Key(v, Qt::Key_Down, Qt::ShiftModifier); }},
      {"right", [](QAbstractItemView* v) { Key(v, Qt::Key_Right); }},
      {"control end", [](QAbstractItemView* v) { Key(v, Qt::Key_End, Qt::ControlModifier); }},
      {"a page up", [](QAbstractItemView* v) { Key(v, Qt::Key_PageUp); }},
      {"up", [](QAbstractItemView* v) { Key(v, Qt::Key_Up); }},
      {"home", [](QAbstractItemView* v) { Key(v, Qt::Key_Home); }},
      {"control home", [](QAbstractItemView* v) { Key(v, Qt::Key_Home, Qt::ControlModifier); }},
      {"up at the top", [](QAbstractItemView* v) { Key(v, Qt::Key_Up); }},
      {"a click", [](QAbstractItemView* v) { Click(v, QPoint(200, 3 * kRowHeight + 5)); }},
      {"a shift click", [](QAbstractItemView* v) {
         Click(v, QPoint(40, 7 * kRowHeight + 2), Qt::ShiftModifier);
       }},
      {"a control click", [](QAbstractItemView* v) {
         Click(v, QPoint(300, 10 * kRowHeight + 9), Qt::ControlModifier);
       }},
      {"control a", [](QAbstractItemView* v) { Key(v, Qt::Key_A, Qt::ControlModifier); }},
      {"a click on the grid line", [](QAbstractItemView* v) {
         Click(v, QPoint(119, 2 * kRowHeight - 1));
       }},
      {"a click below the rows' end", [](QAbstractItemView* v) {
         v->verticalScrollBar()->setValue(v->verticalScrollBar()->maximum());
         Click(v, QPoint(100, v->viewport()->height() - 2));
       }},
  };
  for (const auto& step : steps) {
    Both(step.step);
    ExpectAlike(step.what);
  }
}

TEST_F(ResultListViewTest, AClickOnACheckBoxTogglesItsRow) {
  const QRect box = list_.visualRect(model_.index(4, 0));
  ASSERT_TRUE(box.isValid());
  ASSERT_EQ(model_.item(4, 0)->checkState(), Qt::Unchecked);
  list_.setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The check box sits at the cell's left, centred in its height.
  QStyleOptionViewItem option;
  option.initFrom(&list_);
  option.rect = box;
  option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
  const QRect indicator =
      list_.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &list_);
  Click(&list_, indicator.center());
  EXPECT_EQ(model_.item(4, 0)->checkState(), Qt::Checked);
}

TEST_F(ResultListViewTest, RowsBelowSightRepaintNothingButTheScrollBar) {
  int paints = 0;
  struct Counter : QObject {
    int* paints;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++*paints;
      return false;
    }
  } counter;
  counter.paints = &paints;
  list_.viewport()->installEventFilter(&counter);
  model_.appendRow(new QStandardItem("below"));
  Settle();
  EXPECT_EQ(paints, 0);
  model_.insertRow(1, new QStandardItem("in sight"));
  Settle();
  EXPECT_EQ(paints, 1);
  list_.viewport()->removeEventFilter(&counter);
}

TEST_F(ResultListViewTest, AHandleDoubleClickFitsTheColumnToItsCellsAsATable) {
  Both([this](QAbstractItemView* v) {
    Header(v)->setStretchLastSection(false);
    Header(v)->resizeSection(2, 40);
  });
  table_.resizeColumnToContents(2);
  emit list_.horizontalHeader()->sectionHandleDoubleClicked(2);
  EXPECT_EQ(list_.columnWidth(2), table_.columnWidth(2));
  EXPECT_GT(list_.columnWidth(2), 40);
  ExpectAlike("fitted");
}

// A list longer than an int of pixels: 150 million rows of 23 pixels.
class ManyRows : public QAbstractTableModel {
 public:
  static constexpr int kCount = 150'000'000;
  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : kCount; }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 2; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole) return {};
    return QString::number(index.row()) + QLatin1Char('/') + QString::number(index.column());
  }
};

TEST(ResultListViewFar, RowsBeyondAnIntOfPixelsLieWhereTheyAre) {
  ManyRows model;
  ResultListView list;
  list.setModel(&model);
  list.SetRowHeight(kRowHeight);
  list.resize(400, 300);
  list.show();
  for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();
  QScrollBar* bar = list.verticalScrollBar();
  const int height = list.viewport()->height();
  const int inSight = height / kRowHeight;
  EXPECT_EQ(bar->maximum(), ManyRows::kCount - inSight);

  bar->setValue(120'000'000);  // 2.76e9 pixels down
  EXPECT_EQ(list.rowAt(0), 120'000'000);
  EXPECT_EQ(list.rowAt(5 * kRowHeight + 3), 120'000'005);
  EXPECT_EQ(list.visualRect(model.index(120'000'001, 1)).top(), kRowHeight);
  EXPECT_EQ(list.indexAt(QPoint(10, kRowHeight + 1)), model.index(120'000'001, 0));

  // At the bar's end the last row lies on the viewport's bottom edge.
  bar->setValue(bar->maximum());
  const QModelIndex last = model.index(ManyRows::kCount - 1, 0);
  EXPECT_EQ(list.visualRect(last).top(), height - kRowHeight);
  EXPECT_EQ(list.indexAt(QPoint(10, height - 3)), last);
  EXPECT_EQ(list.rowAt(height), -1);
  list.scrollTo(model.index(7, 0));
  EXPECT_EQ(bar->value(), 7);
  list.scrollTo(last, QAbstractItemView::PositionAtTop);
  EXPECT_EQ(bar->value(), bar->maximum());
  // Drawn without a fault at either end.
  EXPECT_FALSE(list.viewport()->grab().isNull());
  bar->setValue(0);
  EXPECT_FALSE(list.viewport()->grab().isNull());
}

}  // namespace
}  // namespace velmora
