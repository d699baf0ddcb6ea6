// A scan of a call-history database run through the main window's hidden
// item: the tree, the list, the log and the status bar fill as the scanner
// goes, and the window's commands act while it runs.
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <chrono>
#include <thread>

#include "MainWindowFixture.h"
#include "app/ResultModel.h"

namespace velmora::testing_main {
namespace {

using platform::MbResult;
using platform::ScriptedMessageBoxes;

class ScanThroughWindowTest : public ScanWindowTest {
 protected:
  void SetUp() override {
    ScanWindowTest::SetUp();
    path_ = (dir_ / "call_history.db").string();
    ExecSql(path_,
            std::string(kCallHistoryTableSql) +
            "INSERT INTO call (address, date, duration, flags, id, name, country_code, "
            "network_code, read, assisted, face_time_data, originalAddress) VALUES "
            "('10086', 1400000000, 75, 0, -1, 'Alice', 'cn', '00', 1, 0, NULL, '10086'),"
            "('13800138000', 1400000100, 3, 1, -1, 'Bob', 'cn', '00', 1, 0, NULL, '13800138000');");
    CreateWindows();
  }

  // What the scan-setup dialog does before it clicks the kind's item.
  void RunCallScan() {
    ScanKind = kKindCalls;
    SourceRawPath = path_;
    SourceDbPath = path_;
    main_->SetResultColumns(kKindCalls);
    main_->IOSthjl1->trigger();
  }

  std::string path_;
};

TEST_F(ScanThroughWindowTest, FillsTreeListLogAndStatusBar) {
  ScriptedMessageBoxes boxes;
  RunCallScan();

  ASSERT_EQ(main_->TreeView1->topLevelItemCount(), 1);
  QTreeWidgetItem* root = main_->TreeView1->topLevelItem(0);
  EXPECT_EQ(root->text(0).toStdString(), "通话记录(2)");
  ASSERT_EQ(root->childCount(), 2);
  EXPECT_EQ(root->child(0)->text(0).toStdString(), "正常通话记录(2)");
  EXPECT_EQ(root->child(1)->text(0).toStdString(), "删除通话记录(0)");
  EXPECT_TRUE(root->isExpanded());

  ASSERT_EQ(main_->ResultListRowCount(), 2u);
  const ListRow alice{"10086", "Alice", "2014-05-14 00:53:20", "75", "呼出", "正常"};
  EXPECT_TRUE(main_->ListModel->Row(0) == alice || main_->ListModel->Row(1) == alice);
  EXPECT_EQ(main_->ListModel->columnCount(), 6);

  const int logRows = main_->ListView2->topLevelItemCount();
  ASSERT_EQ(logRows, 3);
  EXPECT_EQ(main_->ListView2->topLevelItem(1)->text(3).toStdString(), "扫描... ");
  QTreeWidgetItem* last = main_->ListView2->topLevelItem(2);
  EXPECT_EQ(last->text(3).toStdString(), "扫描完成,共找到 2 条通话记录, 其中有0条删除");
  EXPECT_EQ(main_->ListView2->currentItem(), last);

  EXPECT_EQ(main_->StatusText(0), "扫描完成");
  EXPECT_EQ(main_->StatusText(2), "找到 2 条通话记录, 0条删除");
  EXPECT_TRUE(main_->ToolButton3->isEnabled());
  EXPECT_FALSE(main_->ToolButton5->isEnabled());
  EXPECT_TRUE(main_->ToolButton4->isEnabled());
  EXPECT_TRUE(main_->N16->isEnabled());
  EXPECT_EQ(main_->ListView3->columnCount(), 0);
  EXPECT_TRUE(boxes.shown().empty());

  // The tree then lists the kind's array.
  main_->TreeView1->setCurrentItem(root->child(1));
  main_->TreeView1Click();
  EXPECT_EQ(main_->ResultListRowCount(), 0u);
  main_->TreeView1->setCurrentItem(root);
  main_->TreeView1Click();
  EXPECT_EQ(main_->ResultListRowCount(), 2u);
}

TEST_F(ScanThroughWindowTest, TheStatusBarIsPaintedAtMostEveryTenthOfASecondWhileAScanRuns) {
  QStatusBar* bar = main_->statusBar();
  // A scan begins: its first pump paints the bar, the next ones within a
  // tenth of a second hold its painting; texts and the bar's value are
  // current all the same.
  main_->SetCommandEnabled(ScanCommand::Start, false);
  ScanStopRequested = false;
  main_->PumpMessages();
  EXPECT_FALSE(bar->updatesEnabled());
  main_->SetStatusText(2, "找到 1 条短信, 0条删除");
  main_->SetProgressRange(0, 9);
  main_->SetProgressPosition(4);
  main_->PumpMessages();
  EXPECT_FALSE(bar->updatesEnabled());
  EXPECT_EQ(main_->StatusText(2), "找到 1 条短信, 0条删除");
  EXPECT_EQ(main_->ProgressBar1->value(), 4);
  // A tenth of a second on, a pump paints it again.
  std::this_thread::sleep_for(std::chrono::milliseconds(TMain::kListGrowthIntervalMs + 20));
  bool painted = false;
  QTimer::singleShot(0, [&] { painted = bar->updatesEnabled(); });
  main_->PumpMessages();
  EXPECT_TRUE(painted);
  // The scan's end paints its last state, and pumps outside a scan hold
  // nothing.
  ScanStopRequested = true;
  main_->SetCommandEnabled(ScanCommand::Start, true);
  EXPECT_TRUE(bar->updatesEnabled());
  main_->PumpMessages();
  main_->PumpMessages();
  EXPECT_TRUE(bar->updatesEnabled());
}

TEST_F(ScanThroughWindowTest, StatusPanelsAskForTheirWidthAndTheHeightOfEachText) {
  ShowMain();
  // The texts the panels show, texts differing only in their digits among
  // them, and texts in other scripts and lines between.
  const char* texts[] = {"就绪", "正在扫描...", "找到 1 条短信, 0条删除", "找到 57 条短信, 3条删除",
                         "找到 123456 条短信, 98765条删除", "abc 42", "", "第一行\n第二行",
                         "找到 9 条短信, 1条删除", "扫描完成"};
  for (const int point : {0, 20}) {
    if (point > 0) {
      // A new font is measured anew.
      QFont bigger = main_->StatusPanel2->font();
      bigger.setPointSize(point);
      main_->StatusPanel0->setFont(bigger);
      main_->StatusPanel2->setFont(bigger);
    }
    for (int panel : {0, 2}) {
      QLabel* label = panel == 0 ? main_->StatusPanel0 : main_->StatusPanel2;
      for (const char* text : texts) {
        SCOPED_TRACE(std::string(text) + " in panel " + std::to_string(panel));
        main_->SetStatusText(panel, text);
        // The height the label measures for this very text.
        EXPECT_EQ(label->sizeHint(), QSize(label->width(), label->QLabel::sizeHint().height()));
        EXPECT_EQ(label->minimumSizeHint(),
                  QSize(label->width(), label->QLabel::minimumSizeHint().height()));
        QCoreApplication::processEvents();
        EXPECT_EQ(label->text(), QString::fromUtf8(text));
      }
    }
  }
}

TEST_F(ScanThroughWindowTest, AfterAScanTheStatusBarPaints) {
  ScriptedMessageBoxes boxes;
  RunCallScan();
  EXPECT_TRUE(main_->statusBar()->updatesEnabled());
  EXPECT_EQ(main_->StatusText(2), "找到 2 条通话记录, 0条删除");
}

TEST_F(ScanThroughWindowTest, CloseIsRefusedAndStopActsWhileTheScannerRuns) {
  ScriptedMessageBoxes boxes({MbResult::Yes});
  ShowMain();
  bool closed = true;
  bool stopWasEnabled = false;
  QTimer::singleShot(0, [&] {
    closed = main_->close();
    stopWasEnabled = main_->ToolButton5->isEnabled();
    main_->ToolButton5->click();  // answered Yes
  });
  RunCallScan();

  EXPECT_FALSE(closed);
  EXPECT_TRUE(stopWasEnabled);
  ASSERT_EQ(boxes.shown().size(), 2u);
  EXPECT_EQ(boxes.shown()[0].text, "程序正在扫描中，请先停止扫描！");
  EXPECT_EQ(boxes.shown()[1].text, "您确定要停止扫描?");
  EXPECT_TRUE(main_->isVisible());
  // The scanner finished after the stop with what it had found.
  EXPECT_EQ(main_->StatusText(0), "扫描完成");
  EXPECT_TRUE(ScanStopRequested);
  EXPECT_TRUE(main_->ToolButton3->isEnabled());
  EXPECT_FALSE(main_->ToolButton5->isEnabled());
}

}  // namespace
}  // namespace velmora::testing_main
