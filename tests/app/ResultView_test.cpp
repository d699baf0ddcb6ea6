// The result tree and list: listing a node's records by its filter, the
// WeChat display text, the column sort and its alternating direction.
#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeWidget>

#include "MainWindowFixture.h"
#include "app/ResultListView.h"
#include "app/ResultModel.h"

namespace velmora::testing_main {
namespace {

using platform::ScriptedMessageBoxes;

std::vector<std::string> Captions(const ResultModel& model) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < model.Count(); ++i) out.push_back(model.Row(i)[0]);
  return out;
}

std::vector<std::string> Headers(const ResultModel& model) {
  std::vector<std::string> out;
  for (int i = 0; i < model.columnCount(); ++i) {
    out.push_back(model.headerData(i, Qt::Horizontal).toString().toStdString());
  }
  return out;
}

class ResultViewTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    CreateWindows();
    CallRecords = {
        {"张三", "10086", "呼出", "60", "2020-01-02 03:04:05", false},
        {"李四", "10010", "呼入", "5", "2020-01-03 03:04:05", true},
        {"王五", "95555", "未接通", "0", "2020-01-04 03:04:05", false},
    };
    main_->TreeInsertRootFirst("通话记录", "正常通话记录", "删除通话记录", kKindCalls);
  }

  // Node `index` of the tree in tree order, selected, then the click.
  void ClickNode(int index) {
    QTreeWidgetItem* item = NodeAt(index);
    ASSERT_NE(item, nullptr);
    main_->TreeView1->setCurrentItem(item);
    main_->TreeView1Click();
  }

  QTreeWidgetItem* NodeAt(int index) {
    int at = 0;
    for (QTreeWidgetItemIterator it(main_->TreeView1); *it; ++it) {
      if (at++ == index) return *it;
    }
    return nullptr;
  }

  ResultModel& model() { return *main_->ListModel; }
};

TEST_F(ResultViewTest, RootListsAllRecordsInArrayOrderChildrenFilter) {
  ClickNode(0);
  EXPECT_EQ(Headers(model()),
            (std::vector<std::string>{"电话", "姓名", "日期", "通话时长(秒)", "类型", "状态"}));
  EXPECT_EQ(ModelRows(model()),
            (std::vector<ListRow>{
                {"10086", "张三", "2020-01-02 03:04:05", "60", "呼出", "正常"},
                {"10010", "李四", "2020-01-03 03:04:05", "5", "呼入", "删除"},
                {"95555", "王五", "2020-01-04 03:04:05", "0", "未接通", "正常"},
            }));
  EXPECT_EQ(main_->ListView1->horizontalHeader()->sectionSize(3), 120);

  ClickNode(1);  // live only
  EXPECT_EQ(Captions(model()), (std::vector<std::string>{"10086", "95555"}));
  ClickNode(2);  // deleted only
  EXPECT_EQ(ModelRows(model()),
            (std::vector<ListRow>{{"10010", "李四", "2020-01-03 03:04:05", "5", "呼入", "删除"}}));
}

TEST_F(ResultViewTest, EveryKindListsInItsLayout) {
  ContactRecords = {{"张三", "13800000000", false}, {"李四", "13900000000", true}};
  SmsRecords = {{"10086", "2020-01-02 03:04:05", "接收", "你好", true}};
  WeChatRecords = {
      {"", "2021-05-06 07:08:09", "发送", "<msg><voicemsg voicelength=\"4500\" /></msg>", false},
      {"", "2021-05-06 07:08:10", "接收", "<msg><img src=\"a\"/></msg>", true},
      {"", "2021-05-06 07:08:11", "接收", " <msg><img src=\"a\"/></msg>", false},
  };
  main_->TreeInsertRootFirst("通讯录", "正常通讯录", "删除通讯录", kKindContacts);
  main_->TreeInsertRootFirst("短信", "正常短信", "删除短信", kKindMessages);
  main_->TreeInsertRootFirst("微信", "正常微信", "删除微信", kKindWeChat);
  // Tree order now: WeChat 0-2, messages 3-5, contacts 6-8, calls 9-11.

  ClickNode(0);
  EXPECT_EQ(Headers(model()), (std::vector<std::string>{"时间", "信息", "类型", "状态"}));
  EXPECT_EQ(ModelRows(model()),
            (std::vector<ListRow>{
                {"2021-05-06 07:08:09", "<语音消息 时间：4 秒>", "发送", "正常"},
                {"2021-05-06 07:08:10", "<图片消息>", "接收", "删除"},
                {"2021-05-06 07:08:11", " <msg><img src=\"a\"/></msg>", "接收", "正常"},
            }));
  // The record keeps the stored text.
  EXPECT_EQ(WeChatRecords[0].Message, "<msg><voicemsg voicelength=\"4500\" /></msg>");

  ClickNode(3);
  EXPECT_EQ(Headers(model()), (std::vector<std::string>{"电话", "日期", "类型", "状态", "信息"}));
  EXPECT_EQ(ModelRows(model()),
            (std::vector<ListRow>{{"10086", "2020-01-02 03:04:05", "接收", "删除", "你好"}}));

  ClickNode(6);
  EXPECT_EQ(Headers(model()), (std::vector<std::string>{"姓名", "电话", "状态"}));
  EXPECT_EQ(ModelRows(model()), (std::vector<ListRow>{{"张三", "13800000000", "正常"},
                                                 {"李四", "13900000000", "删除"}}));
  ClickNode(8);
  EXPECT_EQ(Captions(model()), (std::vector<std::string>{"李四"}));
}

TEST_F(ResultViewTest, KindWithoutRecordsShowsItsColumnsAndNoRows) {
  main_->TreeInsertRootFirst("短信", "正常短信", "删除短信", kKindMessages);
  main_->ResultListAddRow({"old"});
  ClickNode(0);
  EXPECT_EQ(model().Count(), 0u);
  EXPECT_EQ(Headers(model()), (std::vector<std::string>{"电话", "日期", "类型", "状态", "信息"}));
}

TEST_F(ResultViewTest, UntaggedNodeNoSelectionAndEmptyTreeLeaveTheList) {
  main_->TreeInsertRootFirst("Android", "正常", "删除", std::nullopt);
  main_->ResultListAddRow({"kept", "row"});

  ClickNode(0);  // untagged root
  EXPECT_EQ(Captions(model()), (std::vector<std::string>{"kept"}));
  ClickNode(1);  // untagged child
  EXPECT_EQ(Captions(model()), (std::vector<std::string>{"kept"}));

  main_->TreeView1->clearSelection();
  main_->TreeView1Click();
  EXPECT_EQ(Captions(model()), (std::vector<std::string>{"kept"}));

  main_->TreeClear();
  main_->TreeView1Click();
  EXPECT_EQ(Captions(model()), (std::vector<std::string>{"kept"}));
}

TEST_F(ResultViewTest, MouseClickOnANodeListsIt) {
  ShowMain();
  main_->TreeExpandAll();
  QCoreApplication::processEvents();
  QTreeWidgetItem* deleted = NodeAt(2);
  const QPoint at = main_->TreeView1->visualItemRect(deleted).center();
  QWidget* viewport = main_->TreeView1->viewport();
  QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &release);
  ASSERT_TRUE(WaitFor([&] { return model().Count() == 1; }));
  EXPECT_EQ(Captions(model()), (std::vector<std::string>{"10010"}));
}

TEST_F(ResultViewTest, SortAlternatesWhateverColumnIsClicked) {
  ContactRecords = {{"b", "2", false}, {"A", "10", false}, {"10", "9", false},
                    {"9", "1", false}, {"1", "b", false}};
  main_->TreeInsertRootFirst("通讯录", "正常通讯录", "删除通讯录", kKindContacts);
  ClickNode(0);
  ASSERT_FALSE(SortAscending);  // as start-up leaves it

  main_->ListView1ColumnClick(0);  // False: descending, case ignored, as texts
  EXPECT_EQ(Captions(model()), (std::vector<std::string>{"b", "A", "9", "10", "1"}));
  EXPECT_TRUE(SortAscending);
  main_->ListView1ColumnClick(0);  // the same column again: the other way
  EXPECT_EQ(Captions(model()), (std::vector<std::string>{"1", "10", "9", "A", "b"}));
  EXPECT_FALSE(SortAscending);
  main_->ListView1ColumnClick(1);  // a second column goes on alternating
  std::vector<std::string> phones;
  for (const ListRow& r : ModelRows(model())) phones.push_back(r[1]);
  EXPECT_EQ(phones, (std::vector<std::string>{"b", "9", "2", "10", "1"}));
  EXPECT_TRUE(SortAscending);

  // A header click on the view sorts the same way.
  main_->ListView1->horizontalHeader()->sectionClicked(0);
  EXPECT_EQ(Captions(model()), (std::vector<std::string>{"1", "10", "9", "A", "b"}));

  // The next click on the node lists in array order again.
  ClickNode(0);
  EXPECT_EQ(Captions(model()), (std::vector<std::string>{"b", "A", "10", "9", "1"}));
}

TEST_F(ResultViewTest, CheckStatesMoveWithTheirRowsOnSort) {
  ContactRecords = {{"c", "1", false}, {"a", "2", false}, {"b", "3", false}};
  main_->TreeInsertRootFirst("通讯录", "正常通讯录", "删除通讯录", kKindContacts);
  ClickNode(0);
  ASSERT_TRUE(model().setData(model().index(1, 0), Qt::Checked, Qt::CheckStateRole));
  SortAscending = true;
  main_->ListView1ColumnClick(0);
  EXPECT_EQ(Captions(model()), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(model().IsChecked(0));
  EXPECT_FALSE(model().IsChecked(1));
  EXPECT_FALSE(model().IsChecked(2));
  EXPECT_TRUE(model().flags(model().index(0, 0)) & Qt::ItemIsUserCheckable);
}

TEST_F(ResultViewTest, NewClickEndsAnUnfinishedListing) {
  // Enough records that the listing runs the window's messages several times.
  ContactRecords.clear();
  for (int i = 0; i < 400000; ++i) {
    ContactRecords.push_back({"n" + std::to_string(i), std::to_string(i), i % 2 == 1});
  }
  main_->TreeInsertRootFirst("通讯录", "正常通讯录", "删除通讯录", kKindContacts);
  // Tree: contacts 0-2, calls 3-5. While the contacts list, click the deleted
  // calls node.
  bool clicked = false;
  QTimer::singleShot(0, [&] {
    clicked = true;
    main_->TreeView1->setCurrentItem(NodeAt(5));
    main_->TreeView1Click();
  });
  ClickNode(0);
  ASSERT_TRUE(clicked) << "the listing never ran the window's messages";
  EXPECT_EQ(Captions(model()), (std::vector<std::string>{"10010"}));
  EXPECT_EQ(Headers(model()).size(), 6u);
}

TEST_F(ResultViewTest, PopupCommandsCheckAndSelectRows) {
  ContactRecords.clear();
  for (int i = 0; i < 10; ++i) ContactRecords.push_back({"n" + std::to_string(i), "1", false});
  main_->TreeInsertRootFirst("通讯录", "正常通讯录", "删除通讯录", kKindContacts);
  ClickNode(0);
  auto selectRow = [&](int row) {
    main_->ListView1->selectionModel()->select(
        model().index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  };
  for (int row : {1, 4, 7}) selectRow(row);
  main_->findChild<QAction*>("N9")->trigger();  // Check Selected
  for (int i = 0; i < 10; ++i) EXPECT_EQ(model().IsChecked(i), i == 1 || i == 4 || i == 7) << i;
  main_->N28->trigger();  // Uncheck Selected
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(model().IsChecked(i)) << i;
  main_->N8->trigger();  // Check All
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(model().IsChecked(i)) << i;
  main_->N10->trigger();  // Uncheck All
  main_->ListView1->clearSelection();
  main_->SelectAll1->trigger();
  EXPECT_EQ(main_->ListView1->selectionModel()->selectedRows().size(), 10);
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(model().IsChecked(i)) << i;
}

TEST(ResultModelTest, RowsAppendInBatchesAndSortStably) {
  ResultModel model;
  model.SetColumns(ResultColumnSet(kKindContacts));
  std::vector<ListRow> batch = {{"b", "1"}, {"a", "2"}, {"B", "3"}};
  model.AppendRows(batch);
  EXPECT_TRUE(batch.empty());
  EXPECT_EQ(model.rowCount(), 3);  // a batch is shown at once
  model.AppendRow({"A", "4"});
  // A single row waits for the next batch, counted all the same.
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_EQ(model.Count(), 4u);
  model.ShowPendingRows();
  ASSERT_EQ(model.rowCount(), 4);
  EXPECT_EQ(model.data(model.index(3, 1)).toString().toStdString(), "4");
  SortAscending = true;
  model.SortByColumn(0);
  std::vector<std::string> order;
  for (std::size_t i = 0; i < model.Count(); ++i) order.push_back(model.Row(i)[1]);
  // "a" and "A" compare equal, as do "b" and "B": they keep their order.
  EXPECT_EQ(order, (std::vector<std::string>{"2", "4", "1", "3"}));
  SortAscending = false;
  EXPECT_TRUE(ResultColumnSet(7).empty());
}

}  // namespace
}  // namespace velmora::testing_main
