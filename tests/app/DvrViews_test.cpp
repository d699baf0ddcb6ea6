// The DVR side of the main window: the fragment list ListView3 with its
// mirror rows in the result list, its popup commands and their Edit-menu
// twins, the check-box release, the fragment refresh, the debug windows, and
// the invisible Scan item that runs the fixed-layout SMS carver into them.
#include <sqlite3.h>

#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QStackedWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "MainWindowFixture.h"
#include "app/ResultListView.h"
#include "app/ResultModel.h"
#include "dvr/DvrIndex.h"
#include "dvr/F_Debug.h"
#include "dvr/F_Debug_Sector.h"
#include "engine/CarvingEngine.h"
#include "tests/dvr/DvrIndexImage.h"

namespace velmora::testing_main {
namespace {

using T_Main::DvrFile;
using T_Main::DvrFileList;
using T_Main::DvrTreeDates;

class DvrViewsTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    DvrFileList.reset();
    DvrTreeDates.clear();
    CreateWindows();
    form3_ = std::make_unique<TForm3>();
    Form3 = form3_.get();
    form4_ = std::make_unique<TForm4>();
    Form4 = form4_.get();
  }
  void TearDown() override {
    form4_.reset();
    form3_.reset();
    DvrFileList.reset();
    DvrTreeDates.clear();
    MainWindowTest::TearDown();
  }

  QTableWidget* List3() const { return main_->ListView3; }
  ResultModel* Model() const { return main_->ListModel; }

  void ResultRows(int n) {
    main_->SetResultColumns(kKindContacts);
    for (int i = 0; i < n; ++i) main_->ResultListAddRow({"row" + std::to_string(i), "x"});
  }

  static DvrFile File(std::int32_t id, std::size_t clusters) {
    DvrFile f;
    f.Id = id;
    f.Channel = static_cast<std::uint8_t>(id % 16);
    f.StartText = "2014-5-" + std::to_string(id) + " 8.0.0";
    f.EndText = "2014-5-" + std::to_string(id) + " 9.30.0";
    for (std::size_t c = 0; c < clusters; ++c) f.ClusterOffsets.push_back(static_cast<std::uint32_t>(4096 * (c + 1)));
    return f;
  }

  // A selected tree node carrying `data` under the DVR role (none when empty).
  void SelectNode(const QVariant& data) {
    auto* node = new QTreeWidgetItem(QStringList{"2014-5-1"});
    if (data.isValid()) node->setData(0, kNodeDvrDateRole, data);
    main_->TreeView1->addTopLevelItem(node);
    main_->TreeView1->setCurrentItem(node);
  }

  // Fragment rows for DVR files with these Ids, through the refresh.
  void Fragments(const std::vector<std::int32_t>& ids) {
    DvrFileList = std::make_unique<T_Main::TDvrFileList>();
    T_Main::TTreeDate date{"2014-5-1", {}};
    for (std::size_t i = 0; i < ids.size(); ++i) {
      DvrFileList->push_back(File(ids[i], i + 1));
      date.FileIndexes.push_back(static_cast<std::uint32_t>(i));
    }
    DvrTreeDates = {date};
    SelectNode(0);
    main_->RefreshFragmentList();
    ASSERT_EQ(List3()->rowCount(), static_cast<int>(ids.size()));
  }

  std::vector<bool> FragmentTicks() const {
    std::vector<bool> ticks;
    for (int r = 0; r < List3()->rowCount(); ++r) ticks.push_back(List3()->item(r, 0)->checkState() == Qt::Checked);
    return ticks;
  }
  std::vector<bool> ResultTicks() const {
    std::vector<bool> ticks;
    for (std::size_t r = 0; r < Model()->Count(); ++r) ticks.push_back(Model()->IsChecked(r));
    return ticks;
  }
  void SelectFragmentRows(const std::vector<int>& rows) {
    List3()->clearSelection();
    for (int r : rows) List3()->selectionModel()->select(List3()->model()->index(r, 0),
                                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  std::vector<bool> FragmentSelection() const {
    std::vector<bool> selected;
    for (int r = 0; r < List3()->rowCount(); ++r)
      selected.push_back(List3()->selectionModel()->isRowSelected(r, QModelIndex()));
    return selected;
  }

  std::unique_ptr<TForm3> form3_;
  std::unique_ptr<TForm4> form4_;
};

TEST_F(DvrViewsTest, TheFragmentListLiesBehindTheResultsWithItsColumnsAndPopupMenus) {
  EXPECT_EQ(List3()->parentWidget(), main_->Panel1);
  EXPECT_EQ(main_->ClientArea->currentWidget(), main_->Panel3);
  EXPECT_FALSE(List3()->isHidden());  // its own visibility flag is set
  const std::vector<std::pair<QString, int>> columns = {
      {"ID", -1}, {"Start Cluster", 150}, {"End Cluster", 120}, {"Start Sector", 120},
      {"End Sector", 100}, {" Size(MB)", 150}};
  ASSERT_EQ(List3()->columnCount(), 6);
  for (int c = 0; c < 6; ++c) {
    EXPECT_EQ(List3()->horizontalHeaderItem(c)->text(), columns[static_cast<std::size_t>(c)].first);
    if (columns[static_cast<std::size_t>(c)].second > 0) {
      EXPECT_EQ(List3()->columnWidth(c), columns[static_cast<std::size_t>(c)].second);
    }
  }
  for (int c : {1, 4})
    EXPECT_EQ(List3()->horizontalHeaderItem(c)->textAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  EXPECT_EQ(List3()->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(List3()->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(List3()->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_TRUE(List3()->showGrid());
  EXPECT_EQ(List3()->contextMenuPolicy(), Qt::CustomContextMenu);

  ASSERT_NE(main_->PopupMenu3, nullptr);
  QStringList captions;
  for (QAction* a : main_->PopupMenu3->actions()) captions << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(captions, (QStringList{"Recover Checked", "-", "Select All", "Check All", "Uncheck All",
                                   "Check Selected", "Uncheck Selected"}));
  for (QAction* item : {main_->Scan1, main_->Debug1, main_->Debugbyte1}) {
    EXPECT_FALSE(item->isVisible());
    EXPECT_TRUE(item->shortcut().isEmpty());
  }
  EXPECT_EQ(main_->Scan1->text(), "Scan");
}

TEST_F(DvrViewsTest, PopupCommandsAndTheirEditTwinsTickFragmentRowsAndTheirMirrorRows) {
  // Fragment rows of files 1, 2, 3 and 9; file n mirrors result row n - 1,
  // so file 9 has no mirror row and result row 3 no fragment row. Rows 0 and
  // 2 are selected.
  struct Case {
    const char* name;
    QAction* TMain::*popupItem;
    QAction* TMain::*editItem;
    bool startTicked;
    std::vector<bool> fragments;
    std::vector<bool> results;
  };
  const std::vector<Case> cases = {
      {"Check All", &TMain::MenuItem4, &TMain::N14, false, {1, 1, 1, 1}, {1, 1, 1, 0}},
      {"Uncheck All", &TMain::MenuItem5, &TMain::UncheckAll1, true, {0, 0, 0, 0}, {0, 0, 0, 1}},
      {"Check Selected", &TMain::MenuItem6, &TMain::N15, false, {1, 0, 1, 0}, {1, 0, 1, 0}},
      {"Uncheck Selected", &TMain::MenuItem7, &TMain::UncheckSelected1, true, {0, 1, 0, 1}, {0, 1, 0, 1}},
  };
  ResultRows(4);
  Fragments({1, 2, 3, 9});
  for (const Case& c : cases) {
    for (QAction* TMain::*item : {c.popupItem, c.editItem}) {
      SCOPED_TRACE(std::string(c.name) + (item == c.popupItem ? " (popup)" : " (Edit menu)"));
      for (int r = 0; r < 4; ++r) {
        List3()->item(r, 0)->setCheckState(c.startTicked ? Qt::Checked : Qt::Unchecked);
        Model()->SetChecked(static_cast<std::size_t>(r), c.startTicked);
      }
      SelectFragmentRows({0, 2});
      (main_.get()->*item)->trigger();
      EXPECT_EQ(FragmentTicks(), c.fragments);
      EXPECT_EQ(ResultTicks(), c.results);
      EXPECT_EQ(FragmentSelection(), (std::vector<bool>{1, 0, 1, 0}));
    }
  }
}

TEST_F(DvrViewsTest, SelectAllSelectsEveryFragmentRowAndChangesNoTick) {
  ResultRows(3);
  Fragments({1, 2, 3});
  for (QAction* item : {main_->MenuItem3, main_->N13}) {
    SCOPED_TRACE(item->objectName().toStdString());
    List3()->item(1, 0)->setCheckState(Qt::Checked);
    Model()->SetChecked(0, true);
    Model()->SetChecked(2, false);
    SelectFragmentRows({1});
    item->trigger();
    EXPECT_EQ(FragmentSelection(), (std::vector<bool>{1, 1, 1}));
    EXPECT_EQ(FragmentTicks(), (std::vector<bool>{0, 1, 0}));
    EXPECT_EQ(ResultTicks(), (std::vector<bool>{1, 0, 0}));
    EXPECT_TRUE(main_->ListView1->selectionModel()->selectedRows().isEmpty());
  }
}

TEST_F(DvrViewsTest, AMirrorRowThatDoesNotExistLeavesTheResultListAsItIsAndTheCommandGoesOn) {
  ResultRows(3);
  Fragments({1, 2, 3, 4});
  List3()->item(1, 0)->setText("abc");  // not a number
  List3()->item(3, 0)->setText("0");    // before the first result row
  main_->MenuItem4Click();
  EXPECT_EQ(FragmentTicks(), (std::vector<bool>{1, 1, 1, 1}));
  EXPECT_EQ(ResultTicks(), (std::vector<bool>{1, 0, 1}));
}

TEST_F(DvrViewsTest, WhileTheFragmentListIsHiddenTheEditTwinsRunTheResultListCommands) {
  struct Case {
    QAction* TMain::*item;
    std::vector<bool> results;
    bool allSelected;
  };
  const std::vector<Case> cases = {
      {&TMain::N13, {1, 1, 0, 0}, true},
      {&TMain::N14, {1, 1, 1, 1}, false},
      {&TMain::UncheckAll1, {0, 0, 0, 0}, false},
      {&TMain::N15, {1, 1, 1, 0}, false},
      {&TMain::UncheckSelected1, {0, 1, 0, 0}, false},
  };
  ResultRows(4);
  Fragments({1, 2});
  List3()->hide();
  for (const Case& c : cases) {
    QAction* action = main_.get()->*c.item;
    SCOPED_TRACE(action->objectName().toStdString());
    for (std::size_t r = 0; r < 4; ++r) Model()->SetChecked(r, r <= 1);
    main_->ListView1->clearSelection();
    for (int r : {0, 2})
      main_->ListView1->selectionModel()->select(Model()->index(r, 0),
                                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    SelectFragmentRows({0});
    action->trigger();
    EXPECT_EQ(ResultTicks(), c.results);
    EXPECT_EQ(main_->ListView1->selectionModel()->selectedRows().size(), c.allSelected ? 4 : 2);
    EXPECT_EQ(FragmentTicks(), (std::vector<bool>{0, 0}));
    EXPECT_EQ(FragmentSelection(), (std::vector<bool>{1, 0}));
  }
}

TEST_F(DvrViewsTest, AReleaseOnARowsCheckBoxCopiesItsStateToTheMirrorRowAndNowhereElseChangesAnything) {
  ResultRows(3);
  Fragments({1, 2, 3});
  main_->ClientArea->setCurrentWidget(main_->Panel1);
  ShowMain();
  QWidget* viewport = List3()->viewport();
  const QRect cell = List3()->visualItemRect(List3()->item(1, 0));
  ASSERT_TRUE(cell.isValid());
  const int y = cell.center().y();

  // The list's own click on the check box toggles it: that finds the box.
  auto click = [&](int x) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, y), viewport->mapToGlobal(QPointF(x, y)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(x, y), viewport->mapToGlobal(QPointF(x, y)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &release);
  };
  int boxX = -1;
  for (int x = cell.left(); x <= cell.right() && boxX < 0; ++x) {
    click(x);
    if (List3()->item(1, 0)->checkState() == Qt::Checked) boxX = x;
  }
  ASSERT_GE(boxX, 0) << "no check box found in the row";
  EXPECT_EQ(ResultTicks(), (std::vector<bool>{0, 0, 0}));  // the click alone mirrors nothing

  struct Case {
    const char* name;
    int x, y;
    std::vector<bool> results;
  };
  const QRect label = List3()->visualItemRect(List3()->item(1, 2));
  const std::vector<Case> cases = {
      {"the caption's text", cell.right() - 2, y, {0, 0, 0}},
      {"another column", label.center().x(), y, {0, 0, 0}},
      {"below the rows", boxX, List3()->visualItemRect(List3()->item(2, 0)).bottom() + 20, {0, 0, 0}},
      {"the check box", boxX, y, {0, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    main_->ListView1MouseUp(Qt::LeftButton, Qt::NoModifier, c.x, c.y);
    EXPECT_EQ(ResultTicks(), c.results);
  }
  // A key release changes nothing.
  List3()->item(1, 0)->setCheckState(Qt::Unchecked);
  main_->ListView1KeyUp(Qt::Key_Space, Qt::NoModifier);
  EXPECT_EQ(ResultTicks(), (std::vector<bool>{0, 1, 0}));
}

TEST_F(DvrViewsTest, TheRefreshListsTheNodesFilesTickedLikeTheirMirrorRowsAndSkipsWhatItCannotBuild) {
  ResultRows(3);
  Model()->SetChecked(2, true);
  DvrFileList = std::make_unique<T_Main::TDvrFileList>();
  DvrFileList->push_back(File(1, 2));
  DvrFileList->push_back(File(2, 0));
  DvrFileList->push_back(File(3, 5));
  DvrTreeDates = {{"2014-5-1", {1}}, {"2014-5-2", {0, 7, 2}}, {"2014-5-3", {}}};
  SelectNode(1);
  main_->RefreshFragmentList();

  EXPECT_FALSE(List3()->isHidden());
  ASSERT_EQ(List3()->rowCount(), 2);  // file 7 does not exist
  const std::vector<std::vector<QString>> rows = {
      {"1", "1", "2014-5-1 8.0.0", "2014-5-1 9.30.0", "4", ""},
      {"3", "3", "2014-5-3 8.0.0", "2014-5-3 9.30.0", "10", ""}};
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 6; ++c)
      EXPECT_EQ(List3()->item(r, c)->text(), rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)])
          << r << "," << c;
  EXPECT_EQ(FragmentTicks(), (std::vector<bool>{0, 1}));
  EXPECT_TRUE(List3()->item(0, 0)->flags() & Qt::ItemIsUserCheckable);
  EXPECT_EQ(List3()->item(0, 1)->textAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

  // An empty date lists nothing and shows the list.
  SelectNode(2);
  main_->RefreshFragmentList();
  EXPECT_EQ(List3()->rowCount(), 0);
  EXPECT_FALSE(List3()->isHidden());
}

TEST_F(DvrViewsTest, ANodeWithoutDvrDataHidesTheFragmentListAndLeavesItsRows) {
  ResultRows(2);
  Fragments({1, 2});
  struct Case {
    const char* name;
    std::function<void()> select;
  };
  const std::vector<Case> cases = {
      {"no data", [&] { SelectNode(QVariant()); }},
      {"a result node's tag only",
       [&] {
         main_->TreeInsertRootFirst("短信", "正常短信", "删除短信", kKindMessages);
         main_->TreeView1->setCurrentItem(main_->TreeView1->topLevelItem(0));
       }},
      {"no node selected", [&] { main_->TreeView1->clearSelection(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    List3()->show();
    c.select();
    main_->RefreshFragmentList();
    EXPECT_TRUE(List3()->isHidden());
    EXPECT_EQ(List3()->rowCount(), 2);
  }
}

TEST_F(DvrViewsTest, TheDebugListingWritesOneLinePerFileIntoForm3AndShowsIt) {
  DvrFileList = std::make_unique<T_Main::TDvrFileList>();
  DvrFile one = File(1, 1);
  one.Channel = 3;
  one.SpareA = 4000000000u;
  DvrFile three = File(2, 3);
  three.SpareOffsets = {5, 7};
  DvrFileList->push_back(one);
  DvrFileList->push_back(three);
  Form3->Memo1->setPlainText("old");
  ASSERT_FALSE(Form3->isVisible());
  main_->Debug1->trigger();

  EXPECT_EQ(Form3->Memo1->toPlainText(),
            "3\t2014-5-1 8.0.0\t2014-5-1 9.30.0\t4000000000\t0\t4096\t\n"
            "2\t2014-5-2 8.0.0\t2014-5-2 9.30.0\t0\t0\t12288\t7");
  EXPECT_TRUE(Form3->isVisible());

  // Without a file list: an empty memo.
  Form3->hide();
  DvrFileList.reset();
  main_->Debug1Click();
  EXPECT_EQ(Form3->Memo1->toPlainText(), "");
  EXPECT_TRUE(Form3->isVisible());
}

TEST_F(DvrViewsTest, TheDebugMemosHaveBothScrollBarsAndKeepEachLineWhole) {
  for (QPlainTextEdit* memo : {form3_->Memo1, form4_->Memo1}) {
    SCOPED_TRACE(memo->window()->windowTitle().toStdString());
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    memo->window()->show();
    memo->setPlainText(QString(400, 'x') + "\tend\nshort");
    QApplication::processEvents();
    EXPECT_TRUE(memo->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(memo->verticalScrollBar()->isVisible());
    // The long line stays one line, wider than the window: scrolled to, not
    // wrapped.
    EXPECT_EQ(memo->document()->firstBlock().layout()->lineCount(), 1);
    EXPECT_GT(memo->horizontalScrollBar()->maximum(), 0);
    memo->window()->hide();
  }
}

TEST_F(DvrViewsTest, TheMainWindowsIndexReadersDriveProgressBar1AlongTheWalk) {
  using dvr_fixtures::Entry;
  using dvr_fixtures::IndexImage;
  QProgressBar* bar = main_->ProgressBar1;
  for (const DvrLayout layout : {DvrLayout::Dhfs, DvrLayout::Wfs}) {
    SCOPED_TRACE(layout == DvrLayout::Dhfs ? "DHFS" : "WFS");
    T_Main::DvrClusterMap.assign(8, 0);
    T_Main::DvrClusterSize = 4096;
    T_Main::DvrDataStart = 512;
    // Four entries (128 bytes): entry 0 before the start, a one-cluster file
    // at entry 1, a continuation at 2, the end at 3.
    IndexImage image(layout, 4);
    image.Set(1, Entry{.Type = image.FileType(), .Channel = 2, .MainChannel = 8,
                       .StartTime = dvr_fixtures::kStart, .EndTime = dvr_fixtures::kEnd,
                       .Next = 0, .SizeLow = 4, .Cluster = 1});
    image.Set(3, Entry{});

    std::vector<int> positions;
    const auto recorder = QObject::connect(bar, &QProgressBar::valueChanged,
                                           [&](int value) { positions.push_back(value); });
    bool pumped = false;  // a window message runs while the walk goes on
    QMetaObject::invokeMethod(main_.get(), [&] { pumped = true; }, Qt::QueuedConnection);
    const auto list = layout == DvrLayout::Dhfs ? main_->Read_DHFS_Index(image.Bytes(), 1)
                                                : main_->Read_WFS_Index(image.Bytes(), 1);
    const bool pumpedDuringTheWalk = pumped;
    QObject::disconnect(recorder);

    EXPECT_TRUE(pumpedDuringTheWalk);
    // Range 0 .. length - 1; the position at each entry's byte offset from
    // the start entry to the end entry, then length - 1.
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 127);
    EXPECT_EQ(positions, (std::vector<int>{32, 64, 96, 127}));
    ASSERT_EQ(list->size(), 1u);
    EXPECT_EQ((*list)[0].Id, 1);
    EXPECT_EQ((*list)[0].ClusterOffsets, (std::vector<std::uint32_t>{1 * 4096 + 512}));
  }

  // An empty index: no records and an empty bar, never the busy animation.
  const auto none = main_->Read_WFS_Index(Fbuf{}, 0);
  EXPECT_TRUE(none->empty());
  EXPECT_NE(bar->minimum(), bar->maximum());
  EXPECT_LE(bar->value(), bar->minimum());
  // A start past the end: the bar goes straight to the end.
  const auto past = main_->Read_DHFS_Index(IndexImage(DvrLayout::Dhfs, 2).Bytes(), 5);
  EXPECT_TRUE(past->empty());
  EXPECT_EQ(bar->maximum(), 63);
  EXPECT_EQ(bar->value(), 63);
}

TEST_F(DvrViewsTest, DebugByteShowsTheSectorWindow) {
  ASSERT_FALSE(Form4->isVisible());
  main_->Debugbyte1->trigger();
  EXPECT_TRUE(Form4->isVisible());
}

// A 30-column sms table with date_sent at `path`, holding `rows` (each a
// VALUES tuple of thread_id, address, date, date_sent, protocol, read,
// status, type, reply_path_present, body).
void WriteFixedLayoutSmsDatabase(const std::string& path, const std::vector<std::string>& rows) {
  std::string create = "CREATE TABLE sms (_id INTEGER PRIMARY KEY,thread_id INTEGER,address TEXT,"
                       "person INTEGER,date INTEGER,date_sent INTEGER DEFAULT 0,protocol INTEGER,"
                       "read INTEGER DEFAULT 0,status INTEGER DEFAULT -1,type INTEGER,"
                       "reply_path_present INTEGER,subject TEXT,body TEXT";
  for (int c = 13; c < 30; ++c) create += ",extra" + std::to_string(c) + " INTEGER";
  create += ");";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  std::string sql = "PRAGMA journal_mode=DELETE;" + create + "BEGIN;";
  for (const std::string& row : rows) {
    sql += "INSERT INTO sms (thread_id, address, date, date_sent, protocol, read, status, type, "
           "reply_path_present, body) VALUES " + row + ";";
  }
  sql += "COMMIT;";
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

TEST_F(DvrViewsTest, TheScanItemRunsTheFixedLayoutCarverIntoTheListATreeRootAndTheSectorWindow) {
  const std::string path = AppFolder() + "mmssms.db";
  WriteFixedLayoutSmsDatabase(
      path, {"(1, '10086', 1400000000000, 0, 0, 1, -1, 1, 0, '话费余额')",
             "(1, '10010', 1400000100000, 0, 0, 1, -1, 2, 0, 'sent')"});

  const auto saved = CarvePumpInterval;
  CarvePumpInterval = std::chrono::milliseconds(0);
  SourceRawPath = path;
  SourceDbPath = path;
  TreeRootCaption = "Android 卷";
  main_->TreeInsertRootFirst("短信", "正常短信", "删除短信", kKindMessages);  // an earlier scan
  platform::ScriptedMessageBoxes boxes;
  main_->Scan1->trigger();
  CarvePumpInterval = saved;

  EXPECT_TRUE(boxes.shown().empty());
  ASSERT_EQ(Model()->Count(), 2u);
  EXPECT_EQ(Model()->Row(0), (ListRow{"0", "10010", UnixMsToText(1400000100000), "发送", "sent"}));
  EXPECT_EQ(Model()->Row(1), (ListRow{"1", "10086", UnixMsToText(1400000000000), "接收", "话费余额"}));
  ASSERT_EQ(main_->TreeView1->topLevelItemCount(), 1);
  QTreeWidgetItem* root = main_->TreeView1->topLevelItem(0);
  EXPECT_EQ(root->text(0).toStdString(), "Android 卷");
  EXPECT_EQ(root->childCount(), 0);
  EXPECT_FALSE(root->data(0, kNodeTagRole).isValid());
  EXPECT_EQ(Form4->Memo1->toPlainText().split('\n').size(), 2);
  EXPECT_EQ(List3()->columnCount(), 0);
  EXPECT_TRUE(main_->ToolButton3->isEnabled());
  EXPECT_FALSE(main_->ToolButton5->isEnabled());
  EXPECT_TRUE(main_->ToolButton4->isEnabled());
}

TEST_F(DvrViewsTest, TheFixedLayoutCarversRowsReachTheListInBatches) {
  const std::string path = AppFolder() + "mmssms.db";
  constexpr int kMessages = 400;
  std::vector<std::string> rows;
  for (int i = 0; i < kMessages; ++i) {
    rows.push_back("(1, '1380013" + std::to_string(1000 + i) + "', " +
                   std::to_string(1400000000000LL + i * 1000LL) + ", 0, 0, 1, -1, 1, 0, 'body " +
                   std::to_string(i) + "')");
  }
  WriteFixedLayoutSmsDatabase(path, rows);
  const auto saved = CarvePumpInterval;
  CarvePumpInterval = std::chrono::milliseconds(1);
  SourceRawPath = path;
  SourceDbPath = path;
  main_->SetResultColumns(kKindMessages);
  // Every insertion the list's views hear of.
  int insertions = 0;
  int inserted = 0;
  QObject::connect(Model(), &QAbstractItemModel::rowsInserted,
                   [&](const QModelIndex&, int first, int last) {
                     inserted += last - first + 1;
                     ++insertions;
                   });
  platform::ScriptedMessageBoxes boxes;
  main_->Scan1->trigger();
  CarvePumpInterval = saved;

  ASSERT_EQ(Model()->Count(), static_cast<std::size_t>(kMessages));
  EXPECT_EQ(inserted, kMessages);  // every row shown by the scan's end
  EXPECT_EQ(Model()->rowCount(), kMessages);
  EXPECT_GE(insertions, 1);
  EXPECT_LT(insertions, kMessages / 20);
  EXPECT_EQ(Model()->Row(kMessages - 1)[0], std::to_string(kMessages - 1));
}

}  // namespace
}  // namespace velmora::testing_main
