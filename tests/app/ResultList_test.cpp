// The result list over the result arrays: the rows a scan shows, a tree
// click lists and a sort orders, kind by kind, as the rows each kind's
// layout has always given; check states through a sort; the Chinese sort in
// the code page's order; the WeChat time column wide enough for its text;
// a scan's rows reaching the window in batches.
#include <QHeaderView>
#include <QImage>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <numeric>

#include "MainWindowFixture.h"
#include "app/Export.h"
#include "app/ResultListView.h"
#include "app/ResultModel.h"
#include "engine/IosCallScanner.h"
#include "engine/RecordingScanView.h"

namespace velmora::testing_main {
namespace {

using platform::ScriptedMessageBoxes;

// What the view itself shows: every cell through the model's display role.
std::vector<ListRow> ShownRows(const ResultModel& model) {
  std::vector<ListRow> rows;
  for (int r = 0; r < model.rowCount(); ++r) {
    ListRow row;
    for (int c = 0; c < model.columnCount(); ++c)
      row.push_back(model.data(model.index(r, c)).toString().toStdString());
    rows.push_back(row);
  }
  return rows;
}

// One kind's records and the rows its layout gives them, written out.
struct KindCase {
  const char* name;
  std::uint8_t kind;
  std::function<void()> fill;  // puts the records in the kind's array
  std::vector<ListRow> rows;   // the list's rows in array order
  int statusColumn;
};

std::vector<KindCase> KindCases() {
  return {
      {"Contacts", kKindContacts,
       [] {
         ContactRecords = {{"张伟", "13800000000", false},
                           {"Bob", "10086", true},
                           {"超", "95555", false}};
       },
       {{"张伟", "13800000000", "正常"}, {"Bob", "10086", "删除"}, {"超", "95555", "正常"}},
       2},
      {"Messages", kKindMessages,
       [] {
         SmsRecords = {{"10086", "2020-01-02 03:04:05", "接收", "余额 12.50 元", true},
                       {"未知", "2019-01-02 03:04:05", "发送", "好的", false},
                       {"+8613800", "2021-01-02 03:04:05", "草稿", "", true}};
       },
       {{"10086", "2020-01-02 03:04:05", "接收", "删除", "余额 12.50 元"},
        {"未知", "2019-01-02 03:04:05", "发送", "正常", "好的"},
        {"+8613800", "2021-01-02 03:04:05", "草稿", "删除", ""}},
       3},
      {"Calls", kKindCalls,
       [] {
         CallRecords = {{"张三", "10086", "呼出", "60", "2020-01-02 03:04:05", false},
                        {"李四", "10010", "呼入", "5", "2020-01-03 03:04:05", true},
                        {"", "95555", "未接通", "0", "2020-01-01 03:04:05", false}};
       },
       {{"10086", "张三", "2020-01-02 03:04:05", "60", "呼出", "正常"},
        {"10010", "李四", "2020-01-03 03:04:05", "5", "呼入", "删除"},
        {"95555", "", "2020-01-01 03:04:05", "0", "未接通", "正常"}},
       5},
      {"WeChat", kKindWeChat,
       [] {
         WeChatRecords = {
             {"", "2021-05-06 07:08:09", "发送", "<msg><voicemsg voicelength=\"4500\" /></msg>",
              false},
             {"", "2021-05-06 07:08:10", "接收", "<msg><img src=\"a\"/></msg>", true},
             {"", "2021-05-06 07:08:08", "接收", "晚上一起吃饭吗", false}};
       },
       {{"2021-05-06 07:08:09", "<语音消息 时间：4 秒>", "发送", "正常"},
        {"2021-05-06 07:08:10", "<图片消息>", "接收", "删除"},
        {"2021-05-06 07:08:08", "晚上一起吃饭吗", "接收", "正常"}},
       3},
  };
}

std::vector<ListRow> WithStatus(const std::vector<ListRow>& rows, int column, const char* word) {
  std::vector<ListRow> out;
  for (const ListRow& r : rows)
    if (r[static_cast<std::size_t>(column)] == word) out.push_back(r);
  return out;
}

// The rows in the order a stable sort with CompareListItems gives.
std::vector<ListRow> SortedRows(std::vector<ListRow> rows, int column, bool ascending) {
  const bool saved = SortAscending;
  SortAscending = ascending;
  std::stable_sort(rows.begin(), rows.end(), [&](const ListRow& a, const ListRow& b) {
    return CompareListItems(a, b, column) < 0;
  });
  SortAscending = saved;
  return rows;
}

class ResultListTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    CreateWindows();
  }
  void TearDown() override {
    SortAscending = false;
    MainWindowTest::TearDown();
  }

  ResultModel& model() { return *main_->ListModel; }

  // Tree node `index` in tree order, selected, then the click.
  void ClickNode(int index) {
    int at = 0;
    for (QTreeWidgetItemIterator it(main_->TreeView1); *it; ++it) {
      if (at++ == index) {
        main_->TreeView1->setCurrentItem(*it);
        main_->TreeView1Click();
        return;
      }
    }
    FAIL() << "no node " << index;
  }
};

class KindRowsTest : public ResultListTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(KindRowsTest, ScanTreeClickAndSortShowTheKindsRows) {
  const KindCase c = KindCases()[GetParam()];
  c.fill();
  const std::size_t n = c.rows.size();

  // A scan: each hit is in the array before the list hears of it; the rows
  // count before the window shows them, and the pump shows them.
  main_->SetResultColumns(c.kind);
  main_->ResultListClear();
  for (std::size_t i = 0; i < n; ++i) main_->ResultListAddRecord(c.kind, i);
  EXPECT_EQ(main_->ResultListRowCount(), n);
  EXPECT_EQ(model().rowCount(), 0);
  main_->PumpMessages();
  EXPECT_EQ(ModelRows(model()), c.rows);
  EXPECT_EQ(ShownRows(model()), c.rows);

  // The tree: all, live, deleted.
  main_->TreeInsertRootFirst("root", "live", "deleted", c.kind);
  ClickNode(0);
  EXPECT_EQ(ShownRows(model()), c.rows);
  ClickNode(1);
  EXPECT_EQ(ShownRows(model()), WithStatus(c.rows, c.statusColumn, "正常"));
  ClickNode(2);
  EXPECT_EQ(ShownRows(model()), WithStatus(c.rows, c.statusColumn, "删除"));

  // A sort by each column, one way and then the other.
  for (int column = 0; column < static_cast<int>(c.rows[0].size()); ++column) {
    ClickNode(0);
    for (const bool ascending : {false, true}) {
      SortAscending = ascending;
      main_->ListView1ColumnClick(column);
      EXPECT_EQ(ShownRows(model()), SortedRows(c.rows, column, ascending))
          << "column " << column << (ascending ? " ascending" : " descending");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, KindRowsTest, ::testing::Values(0u, 1u, 2u, 3u),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           return std::string(KindCases()[info.param].name);
                         });

TEST_F(ResultListTest, CellsLookAsTheApplicationStyleDrawsThem) {
  // Texts short and long (elided), in other scripts, with line breaks,
  // empty; rows live and deleted, checked and not, selected and not.
  const std::string longBody(400, 'w');
  SmsRecords = {
      {"10086", "2014-03-05 12:34:56", "接收", "好的 明天见 on my way 验证码 483920", false},
      {"+8613800138000", "2014-03-05 12:35:00", "发送",
       "晚上一起吃饭吗 " + longBody + " 您的快递已到", true},
      {"", "", "", "", false},
      {"一个很长很长很长很长很长很长很长的地址", "2014-03-06 00:00:01", "草稿",
       "第一行\n第二行\n第三行", false},
      {"مرحبا", "2014-03-06 00:00:02", "其它", "שלום עולם مرحبا بالعالم and more text", true},
      {"x", "2014-03-06 00:00:03", "接收", "e\u0301 \U0001F600 fi ffl \u200d", false},
      {"long " + longBody, "2014-03-06 00:00:04", "发送", " ", true},
  };
  ShowMain();
  main_->TreeInsertRootFirst("短信", "正常短信", "删除短信", kKindMessages);
  ClickNode(0);
  ASSERT_EQ(model().rowCount(), static_cast<int>(SmsRecords.size()));
  model().SetChecked(1, true);
  model().SetChecked(4, true);
  ResultListView& view = *main_->ListView1;
  view.selectRow(1);
  view.selectionModel()->select(model().index(3, 0), QItemSelectionModel::Select |
                                                         QItemSelectionModel::Rows);
  QStyle* listStyle = view.style();
  ASSERT_NE(listStyle, QApplication::style());
  for (const int lastColumnWidth : {0, 60}) {
    SCOPED_TRACE(lastColumnWidth);
    if (lastColumnWidth > 0) {
      // Narrow columns: every text elided.
      view.horizontalHeader()->setStretchLastSection(false);
      for (int c = 0; c < model().columnCount(); ++c) view.setColumnWidth(c, lastColumnWidth);
    }
    QCoreApplication::processEvents();
    const QImage listed = view.viewport()->grab().toImage();
    view.setStyle(QApplication::style());
    QCoreApplication::processEvents();
    const QImage plain = view.viewport()->grab().toImage();
    view.setStyle(listStyle);
    QCoreApplication::processEvents();
    ASSERT_EQ(listed.size(), plain.size());
    EXPECT_TRUE(listed == plain);
  }
}

TEST_F(ResultListTest, CheckStatesFollowTheirRowsThroughSortsBothWays) {
  ContactRecords = {{"c", "1", false}, {"a", "2", true}, {"b", "3", false}, {"d", "4", false}};
  main_->TreeInsertRootFirst("通讯录", "正常通讯录", "删除通讯录", kKindContacts);
  ClickNode(0);
  model().SetChecked(1, true);  // "a"
  model().SetChecked(3, true);  // "d"
  auto checkedCaptions = [&] {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < model().Count(); ++i)
      if (model().IsChecked(i)) out.push_back(model().Row(i)[0]);
    return out;
  };
  SortAscending = true;
  main_->ListView1ColumnClick(0);
  EXPECT_EQ(checkedCaptions(), (std::vector<std::string>{"a", "d"}));
  EXPECT_EQ(model().data(model().index(0, 0), Qt::CheckStateRole).value<Qt::CheckState>(),
            Qt::Checked);
  main_->ListView1ColumnClick(0);  // descending now
  EXPECT_EQ(checkedCaptions(), (std::vector<std::string>{"d", "a"}));
  EXPECT_EQ(model().data(model().index(0, 0), Qt::CheckStateRole).value<Qt::CheckState>(),
            Qt::Checked);
  EXPECT_EQ(model().data(model().index(1, 0), Qt::CheckStateRole).value<Qt::CheckState>(),
            Qt::Unchecked);
}

TEST_F(ResultListTest, ChineseSortsInTheCodePagesOrderBothWaysAmongAsciiAndDigits) {
  // By code point these would sort 丽 伟 勇 娜 杰 浩 海 超.
  const std::vector<std::string> names = {"伟", "abc", "超", "10", "丽", "浩", "Abd",
                                          "勇", "杰", "9",  "海", "娜", "超a", "超A"};
  ContactRecords.clear();
  for (const std::string& name : names) ContactRecords.push_back({name, "1", false});
  main_->TreeInsertRootFirst("通讯录", "正常通讯录", "删除通讯录", kKindContacts);
  ClickNode(0);
  auto captions = [&] {
    std::vector<std::string> out;
    for (const ListRow& r : ShownRows(model())) out.push_back(r[0]);
    return out;
  };
  const std::vector<std::string> ascending = {"10", "9",  "abc", "Abd", "超", "超a", "超A",
                                              "海", "浩", "杰",  "丽",  "娜", "伟",  "勇"};
  SortAscending = true;
  main_->ListView1ColumnClick(0);
  EXPECT_EQ(captions(), ascending);
  EXPECT_FALSE(SortAscending);
  main_->ListView1ColumnClick(0);
  // Descending; "超a" and "超A" compare equal and keep the order they had.
  const std::vector<std::string> descending = {"勇", "伟",  "娜", "丽",  "杰",  "浩", "海",
                                               "超a", "超A", "超", "Abd", "abc", "9",  "10"};
  EXPECT_EQ(captions(), descending);
}

TEST_F(ResultListTest, WeChatTimeColumnShowsTheWholeTimeBesideItsCheckBox) {
  WeChatRecords = {{"", "2010-05-14 16:23:45", "发送", "好", false}};
  main_->TreeInsertRootFirst("微信", "正常微信", "删除微信", kKindWeChat);
  main_->resize(900, 600);
  ShowMain();
  ClickNode(0);
  QCoreApplication::processEvents();
  ResultListView& view = *main_->ListView1;
  const QString time = QString::fromUtf8("2010-05-14 16:23:45");
  const QFontMetrics metrics(view.font());
  const int section = view.horizontalHeader()->sectionSize(0);
  EXPECT_GE(section, view.style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &view) +
                         metrics.horizontalAdvance(time));

  // The text's place in the cell as the style lays it out, beside the box.
  QStyleOptionViewItem option;
  option.initFrom(&view);
  option.font = view.font();
  option.fontMetrics = metrics;
  option.rect = view.visualRect(model().index(0, 0));
  option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasCheckIndicator;
  option.checkState = Qt::Unchecked;
  option.text = time;
  const QRect textRect = view.style()->subElementRect(QStyle::SE_ItemViewItemText, &option, &view);
  const int margin = view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
  EXPECT_GE(textRect.width() - 2 * margin, metrics.horizontalAdvance(time));
  EXPECT_EQ(metrics.elidedText(time, Qt::ElideRight, textRect.width() - 2 * margin).toStdString(),
            time.toStdString());
  // The other kinds keep their widths.
  main_->SetResultColumns(kKindCalls);
  EXPECT_EQ(view.horizontalHeader()->sectionSize(0), 150);
}

// A call-history database of `n` calls for a scan through the window.
class BatchedScanTest : public ScanWindowTest {
 protected:
  void SetUp() override {
    ScanWindowTest::SetUp();
    path_ = (dir_ / "call_history.db").string();
    ExecSql(path_,
            std::string(kCallHistoryTableSql) +
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                std::to_string(kCalls) +
                ") INSERT INTO call (address, date, duration, flags, id, name, country_code, "
                "network_code, read, assisted, face_time_data, originalAddress) SELECT "
                "'1380013' || i, 1400000000 + i * 60, i % 100, i % 2, -1, '张' || i, 'cn', '00', 1, "
                "0, NULL, '1380013' || i FROM n;"
                "DELETE FROM call WHERE ROWID % 7 = 0;");
    CreateWindows();
  }

  void Prepare() {
    ScanKind = kKindCalls;
    SourceRawPath = path_;
    SourceDbPath = path_;
  }

  static constexpr int kCalls = 20000;
  std::string path_;
};

TEST_F(BatchedScanTest, RowsReachTheWindowInBatchesAndMatchTheHeadlessScan) {
  ScriptedMessageBoxes boxes;
  // The rows a headless scan shows.
  Prepare();
  RecordingScanView headless;
  RunIosCallScan(headless);
  ASSERT_GT(headless.rows.size(), 1000u);
  // And the export of its records.
  ScanKinds = {kKindCalls};
  const fs::path headlessOut = dir_ / "headless", windowOut = dir_ / "window";
  fs::create_directories(headlessOut);
  fs::create_directories(windowOut);
  ASSERT_TRUE(ExportResults(headlessOut.string() + "/").Ok);
  ClearResultArrays();

  // The same scan in the window, with messages run every millisecond.
  CarvePumpInterval = std::chrono::milliseconds(1);
  Prepare();
  main_->SetResultColumns(kKindCalls);
  // Every insertion the list's views hear of, as a spy on the signal would
  // record them.
  int pumpsWithRows = 0;
  int insertedRows = 0;
  QObject::connect(main_->ListModel, &QAbstractItemModel::rowsInserted,
                   [&](const QModelIndex&, int first, int last) {
                     insertedRows += last - first + 1;
                     ++pumpsWithRows;
                   });
  main_->IOSthjl1->trigger();
  EXPECT_EQ(insertedRows, static_cast<int>(headless.rows.size()));
  EXPECT_GE(pumpsWithRows, 1);
  EXPECT_LT(pumpsWithRows, static_cast<int>(headless.rows.size()) / 20);
  EXPECT_EQ(ShownRows(*main_->ListModel), headless.rows);
  EXPECT_TRUE(main_->ToolButton4->isEnabled());  // Recover: the list has rows
  // The export reads the same records, byte for byte.
  ASSERT_TRUE(ExportResults(windowOut.string() + "/").Ok);
  auto bytes = [](const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string exported = bytes(windowOut / "通话记录.txt");
  EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'),
            static_cast<std::ptrdiff_t>(headless.rows.size()));
  EXPECT_EQ(exported, bytes(headlessOut / "通话记录.txt"));
}

// Records every paint of the list's viewport that shows rows: the viewport's
// width then and whether the vertical scroll bar was there.
class RowPaintSpy : public QObject {
 public:
  explicit RowPaintSpy(ResultListView& view) : view_(view) {
    view.viewport()->installEventFilter(this);
  }
  struct Paint {
    int width;
    bool scrollBar;
  };
  std::vector<Paint> paints;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && view_.model()->rowCount() > 0)
      paints.push_back({view_.viewport()->width(), view_.verticalScrollBar()->isVisible()});
    return false;
  }

 private:
  ResultListView& view_;
};

// What the window shows of `widget` (its backing store), against the widget
// painted afresh.
void ExpectShownAsPaintedAfresh(QWidget& widget, const QWidget& window) {
  const QPoint at = widget.mapTo(&window, QPoint(0, 0));
  QScreen* screen = window.screen();
  ASSERT_NE(screen, nullptr);
  const QImage shown =
      screen->grabWindow(window.winId(), at.x(), at.y(), widget.width(), widget.height())
          .toImage()
          .convertToFormat(QImage::Format_RGB32);
  const QImage fresh = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shown.size(), fresh.size());
  EXPECT_TRUE(shown == fresh) << "the window shows pixels the list would not paint now";
}

TEST_F(BatchedScanTest, TheFirstRowsArePaintedOnceAtTheWidthTheirScrollBarLeaves) {
  ScriptedMessageBoxes boxes;
  ShowMain();
  ResultListView& view = *main_->ListView1;
  // Rows reaching the list only at the scan's end, at the program's pump
  // interval, and at a pump after every page.
  for (const auto interval : {std::chrono::milliseconds(std::chrono::hours(1)),
                              std::chrono::milliseconds(15), std::chrono::milliseconds(0)}) {
    SCOPED_TRACE(interval.count());
    main_->ResultListClear();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    const int widthWithoutBar = view.viewport()->width();
    ASSERT_FALSE(view.verticalScrollBar()->isVisible());
    // As the scan-setup dialog starts a scan: the columns set, then the
    // scan, in one go.
    CarvePumpInterval = interval;
    Prepare();
    main_->SetResultColumns(kKindCalls);
    RowPaintSpy spy(view);
    main_->IOSthjl1->trigger();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    ASSERT_GT(view.model()->rowCount(), 1000);
    ASSERT_TRUE(view.verticalScrollBar()->isVisible());
    const int finalWidth = view.viewport()->width();
    EXPECT_LT(finalWidth, widthWithoutBar);
    // Every paint with rows saw the scroll bar and the final width; rows
    // that came later lie below sight and repaint nothing.
    ASSERT_FALSE(spy.paints.empty());
    for (const RowPaintSpy::Paint& paint : spy.paints) {
      EXPECT_TRUE(paint.scrollBar);
      EXPECT_EQ(paint.width, finalWidth);
    }
    EXPECT_EQ(spy.paints.size(), 1u);
    // And what the window shows is what the list paints now: the header,
    // the rows and the scroll bar.
    ExpectShownAsPaintedAfresh(*view.viewport(), *main_);
    ExpectShownAsPaintedAfresh(*view.horizontalHeader()->viewport(), *main_);
    ExpectShownAsPaintedAfresh(*view.verticalScrollBar(), *main_);
  }
}

TEST_F(BatchedScanTest, RowsNotYetShownCountForRecover) {
  ScriptedMessageBoxes boxes;
  CarvePumpInterval = std::chrono::hours(1);  // no pump during the walk
  Prepare();
  main_->SetResultColumns(kKindCalls);
  RunIosCallScan(*main_);  // the scanner alone, without the item's last step
  EXPECT_EQ(main_->ListModel->rowCount(), 0);
  EXPECT_EQ(main_->ResultListRowCount(), CallRecords.size());
  EXPECT_TRUE(main_->ToolButton4->isEnabled());
  main_->PumpMessages();
  EXPECT_EQ(main_->ListModel->rowCount(), static_cast<int>(CallRecords.size()));
}

TEST(ResultModelRows, ARecordRowPastItsArrayShowsNothing) {
  ResultModel model;
  model.SetColumns(ResultColumnSet(kKindCalls));
  CallRecords = {{"a", "1", "呼出", "1", "2020-01-01 00:00:00", false}};
  model.AppendRecord(kKindCalls, 0);
  model.AppendRecord(kKindCalls, 1);  // no such record (yet)
  model.ShowPendingRows();
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.data(model.index(0, 0)).toString().toStdString(), "1");
  EXPECT_EQ(model.data(model.index(1, 0)).toString().toStdString(), "");
  ClearResultArrays();  // a new batch empties the arrays under the list
  EXPECT_EQ(model.data(model.index(0, 1)).toString().toStdString(), "");
  EXPECT_TRUE(model.Row(0).empty());
}

}  // namespace
}  // namespace velmora::testing_main
