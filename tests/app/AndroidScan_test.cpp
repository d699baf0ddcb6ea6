// The invisible Android items of the main window: no shortcut, not visible,
// and each runs its scanner on the scan context as it stands, with untagged
// tree nodes that replace the whole tree.
#include <QToolButton>
#include <QTreeWidget>

#include "MainWindowFixture.h"
#include "app/ResultModel.h"

namespace velmora::testing_main {
namespace {

using platform::ScriptedMessageBoxes;

class AndroidItemsTest : public ScanWindowTest {
 protected:
  void SetUp() override {
    ScanWindowTest::SetUp();
    CreateWindows();
  }
  void Target(const std::string& path) {
    SourceRawPath = path;
    SourceDbPath = path;
  }
  // The tree's three nodes, all without a tag.
  void ExpectTree(const std::string& root, const std::string& live, const std::string& deleted) {
    ASSERT_EQ(main_->TreeView1->topLevelItemCount(), 1);
    QTreeWidgetItem* r = main_->TreeView1->topLevelItem(0);
    EXPECT_EQ(r->text(0).toStdString(), root);
    ASSERT_EQ(r->childCount(), 2);
    EXPECT_EQ(r->child(0)->text(0).toStdString(), live);
    EXPECT_EQ(r->child(1)->text(0).toStdString(), deleted);
    for (QTreeWidgetItem* node : {r, r->child(0), r->child(1)})
      EXPECT_FALSE(node->data(0, kNodeTagRole).isValid());
  }
};

TEST_F(AndroidItemsTest, TheItemsAreInvisibleAndHaveNoShortcut) {
  for (QAction* item : {main_->Scan31, main_->scan21, main_->Scan11}) {
    EXPECT_FALSE(item->isVisible());
    EXPECT_TRUE(item->shortcut().isEmpty());
  }
  EXPECT_EQ(main_->Scan31->text().toStdString(), "Scan3");
  EXPECT_EQ(main_->scan21->text().toStdString(), "scan2");
  EXPECT_EQ(main_->Scan11->text().toStdString(), "Scan1");
}

TEST_F(AndroidItemsTest, EachItemRunsItsScannerAndABackupScanRemovesTheCopyUnderTheProgramFolder) {
  ScriptedMessageBoxes boxes;
  const std::string calls = (dir_ / "contacts2.db").string();
  ExecSql(calls,
          "CREATE TABLE calls (_id INTEGER PRIMARY KEY AUTOINCREMENT,number TEXT,date "
          "INTEGER,duration INTEGER,type INTEGER,new INTEGER,name TEXT);"
          "INSERT INTO calls (number, date, duration, type, new, name) VALUES "
          "('10086', 1400000000000, 75, 2, 0, '客服'), ('95555', 1400000100000, 3, 1, 0, 'Bank');");
  main_->TreeInsertRootFirst("短信", "正常短信", "删除短信", kKindMessages);  // an earlier scan
  fs::create_directories(dir_ / "temp");
  WriteWholeFile(dir_ / "temp" / "contacts2.db", "copy");
  SourceMode = 1;
  Target(calls);
  main_->SetResultColumns(kKindCalls);
  main_->Scan31->trigger();
  ExpectTree("通话记录(2)", "正常通话记录(2)", "删除通话记录(0)");
  ASSERT_EQ(main_->ResultListRowCount(), 2u);
  EXPECT_EQ(CallRecords.size(), 2u);
  EXPECT_FALSE(fs::exists(dir_ / "temp" / "contacts2.db"));

  const std::string sms = (dir_ / "mmssms.db").string();
  ExecSql(sms,
          "CREATE TABLE sms (_id INTEGER PRIMARY KEY,thread_id INTEGER,address TEXT,date "
          "INTEGER,type INTEGER,body TEXT,seen INTEGER DEFAULT 0);"
          "INSERT INTO sms (thread_id, address, date, type, body) VALUES "
          "(1, '10086', 1400000000000, 1, '余额不足');");
  SourceMode = 0;
  WriteWholeFile(dir_ / "temp" / "mmssms.db", "copy");
  Target(sms);
  main_->SetResultColumns(kKindMessages);
  main_->scan21->trigger();
  ExpectTree("短信(1)", "正常短信(1)", "删除短信(0)");
  ASSERT_EQ(SmsRecords.size(), 1u);
  EXPECT_EQ(SmsRecords[0].Body, "余额不足");
  EXPECT_TRUE(fs::exists(dir_ / "temp" / "mmssms.db"));  // file mode

  const std::string contacts = (dir_ / "contacts.db").string();
  ExecSql(contacts,
          "CREATE TABLE mimetypes (_id INTEGER PRIMARY KEY AUTOINCREMENT,mimetype TEXT NOT NULL);"
          "INSERT INTO mimetypes (mimetype) VALUES ('vnd.android.cursor.item/phone_v2'), "
          "('vnd.android.cursor.item/name');"
          "CREATE TABLE data (_id INTEGER PRIMARY KEY AUTOINCREMENT,mimetype_id INTEGER NOT "
          "NULL,raw_contact_id INTEGER NOT NULL,is_primary INTEGER NOT NULL DEFAULT 0,data1 "
          "TEXT,data2 TEXT );"
          "INSERT INTO data (mimetype_id, raw_contact_id, data1) VALUES (2, 1, '张伟'), "
          "(1, 1, '13800138000');");
  Target(contacts);
  main_->SetResultColumns(kKindContacts);
  main_->Scan11->trigger();
  ExpectTree("通讯录(1)", "正常通讯录(1)", "删除通讯录(0)");
  ASSERT_EQ(main_->ResultListRowCount(), 1u);
  EXPECT_EQ(main_->ListModel->Row(0), (ListRow{"张伟", "13800138000", "正常"}));
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_TRUE(main_->ToolButton3->isEnabled());
  EXPECT_FALSE(main_->ToolButton5->isEnabled());
}

}  // namespace
}  // namespace velmora::testing_main
