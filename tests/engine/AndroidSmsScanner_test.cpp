#include "engine/AndroidSmsScanner.h"

#include <gtest/gtest.h>

#include "AndroidFixtures.h"

namespace velmora {
namespace {

using androidtest::AndroidSms;
using androidtest::kNull;
using androidtest::RejectCase;
using androidtest::Num;

class AndroidSmsScanTest : public androidtest::AndroidScanTest {
 protected:
  std::string path = dir.File("mmssms.db");

  void BuildSms(const std::vector<AndroidSms>& messages, const std::string& extraSql = "",
                int pageSize = 4096) {
    std::string sql = androidtest::kSmsTable + std::string("BEGIN;");
    for (const AndroidSms& m : messages) sql += androidtest::InsertSms(m);
    testdb::Build(path, sql + "COMMIT;" + extraSql, pageSize);
  }
  void Scan() {
    testdb::ScanFixtureState::Target(path);
    RunAndroidSmsScan(view);
  }
};

TEST_F(AndroidSmsScanTest, LiveAndDeletedMessagesInTheListOrderTheFinishTextsAndAnUntaggedTree) {
  BuildSms({{"10086", Num(1400000000000), Num(1), "您的余额为 12.50 元"},
            {"+8613800138000", Num(1400000100000), Num(2), "晚上一起吃饭吗"},
            {"13912345678", Num(1400000200000), Num(3), "draft text"}},
           "DELETE FROM sms WHERE address = '13912345678';");
  SeedTree();
  SmsRecords.push_back({});  // emptied at the start
  Scan();

  ASSERT_EQ(view.rows.size(), 3u);
  EXPECT_EQ(*RowOf("10086"), (std::vector<std::string>{"10086", "2014-05-14 00:53:20", "接收", "正常",
                                                       "您的余额为 12.50 元"}));
  EXPECT_EQ((*RowOf("+8613800138000"))[2], "发送");
  EXPECT_EQ(*RowOf("13912345678"), (std::vector<std::string>{"13912345678", "2014-05-14 00:56:40",
                                                             "草稿", "删除", "draft text"}));
  ASSERT_EQ(SmsRecords.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& row = view.rows[i];
    const PSMSvalue& m = SmsRecords[i];
    EXPECT_EQ(m.Address, row[0]);
    EXPECT_EQ(m.DateText, row[1]);
    EXPECT_EQ(m.TypeText, row[2]);
    EXPECT_EQ(m.Deleted, row[3] == "删除");
    EXPECT_EQ(m.Body, row[4]);
  }
  EXPECT_EQ(view.status[0], "扫描完成");
  EXPECT_EQ(view.status[2], "找到 3 条短信, 1条删除");
  ASSERT_EQ(view.log.size(), 2u);
  EXPECT_EQ(view.log[1].message, "扫描完成,共找到 3 条短信, 其中有1条删除");
  ExpectUntaggedTree("短信(3)", "正常短信(2)", "删除短信(1)");
  ExpectIdle();
  EXPECT_TRUE(state.boxes.shown().empty());
}

struct SmsCase {
  const char* label;
  std::string type;
  std::string date;
  bool hit;
  const char* typeText;
};

class AndroidSmsChecks : public AndroidSmsScanTest, public ::testing::WithParamInterface<SmsCase> {};

TEST_P(AndroidSmsChecks, TypeAndYearDecideWhetherAMessageIsAHit) {
  const SmsCase& c = GetParam();
  BuildSms({{"10010", c.date, c.type, "body"}});
  Scan();
  if (!c.hit) {
    EXPECT_TRUE(view.rows.empty());
    EXPECT_TRUE(SmsRecords.empty());
    return;
  }
  ASSERT_EQ(view.rows.size(), 1u);
  EXPECT_EQ(view.rows[0][2], c.typeText);
}

// Times are shown counted from 1970-01-01 08:00:00: 283968000000 ms is
// 1979-01-01 00:00:00, 4102416000000 ms is 2100-01-01 00:00:00.
INSTANTIATE_TEST_SUITE_P(
    Cases, AndroidSmsChecks,
    ::testing::Values(SmsCase{"Type0", Num(0), Num(1400000000000), true, "其它"},
                      SmsCase{"Type3", Num(3), Num(1400000000000), true, "草稿"},
                      SmsCase{"Type4", Num(4), Num(1400000000000), true, "其它"},
                      SmsCase{"Type9", Num(9), Num(1400000000000), true, "其它"},
                      SmsCase{"Type10", Num(10), Num(1400000000000), false, ""},
                      SmsCase{"TypeNull", kNull, Num(1400000000000), false, ""},
                      SmsCase{"TypeEmpty", "", Num(1400000000000), false, ""},
                      SmsCase{"Year1978", Num(1), Num(283967999000), false, ""},
                      SmsCase{"Year1979", Num(1), Num(283968000000), true, "接收"},
                      SmsCase{"Year2099", Num(1), Num(4102415999000), true, "接收"},
                      SmsCase{"Year2100", Num(1), Num(4102416000000), false, ""},
                      SmsCase{"OneSecondAfterTheEpoch", Num(1), Num(1000), false, ""},
                      SmsCase{"DateNull", Num(1), kNull, false, ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(AndroidSmsScanTest, ATwoByteIntegerReads300) {
  BuildSms({{"10086", Num(1400000000000), Num(1), "x"}}, "UPDATE sms SET person = 300;");
  Scan();
  ASSERT_EQ(SmsRecords.size(), 1u);
  // The person column sits between address and date: its two content bytes
  // must be stepped over for the date to read right.
  EXPECT_EQ(SmsRecords[0].DateText, "2014-05-14 00:53:20");
  const std::size_t at = testdb::Find(path, "10086");
  ASSERT_NE(at, std::string::npos);
  const auto bytes = testdb::ReadBytes(path);
  EXPECT_EQ(bytes[at + 5], 0x01);
  EXPECT_EQ(bytes[at + 6], 0x2C);
}

// The body loses two characters: ")" and the one before it, so a last
// column declared TEXT becomes TEX, gets no kind and is not tested.
TEST_F(AndroidSmsScanTest, ALastColumnDeclaredTextLosesItsKind) {
  testdb::Build(path,
                "CREATE TABLE sms (_id INTEGER PRIMARY KEY,address TEXT,date INTEGER,type "
                "INTEGER,body TEXT);"
                "INSERT INTO sms (address, date, type, body) VALUES ('1', 1400000000000, 1, X'37'), "
                "('2', 1400000000000, 1, 'text'), (X'33', 1400000000000, 1, 'x');");
  Scan();
  // Row 1: a blob body passes the untested column (and reads empty); row 3:
  // a blob address fails the tested text column.
  ASSERT_EQ(SmsRecords.size(), 2u);
  EXPECT_EQ(SmsRecords[1].Address, "1");
  EXPECT_EQ(SmsRecords[1].Body, "");
  EXPECT_EQ(SmsRecords[0].Body, "text");
}

TEST_F(AndroidSmsScanTest, KeyColumnsAreFoundByNameWithALaterDuplicateWinningAndRequiredFlags) {
  ATableField columns;
  std::vector<int> keys;
  BuildTableColumns(
      "CREATE TABLE sms (_id INTEGER PRIMARY KEY,Address TEXT,date INTEGER,type INTEGER,body "
      "TEXT,status INTEGER DEFAULT -1,note TEXT DEFAULT '',address TEXT,flag INTEGER)",
      AndroidSmsKind(), columns, keys);
  ASSERT_EQ(columns.size(), 9u);
  EXPECT_EQ(keys, (std::vector<int>{7, 2, 3, 4}));  // address, date, type, body
  EXPECT_TRUE(columns[2].Required);
  EXPECT_TRUE(columns[3].Required);
  EXPECT_TRUE(columns[5].Required);
  EXPECT_TRUE(columns[6].Required);  // a text column: its flag is not used
  EXPECT_FALSE(columns[1].Required);
  EXPECT_FALSE(columns[4].Required);
  EXPECT_EQ(columns[4].Kind, "c");
  EXPECT_EQ(columns[8].Kind, "");  // "INTEGER)" lost "R)": "INTEGE"
}

TEST_F(AndroidSmsScanTest, BlobValuesAreSteppedOverAndBlobColumnsAreNotTested) {
  testdb::Build(path,
                "CREATE TABLE sms (_id INTEGER PRIMARY KEY,address TEXT,pdu BLOB,date INTEGER,type "
                "INTEGER,body BLOB,locked INTEGER DEFAULT 0);"
                "INSERT INTO sms (address, pdu, date, type, body) VALUES ('10086', "
                "X'00112233445566778899', 1400000000000, 2, X'68656C6C6F');");
  Scan();
  ASSERT_EQ(SmsRecords.size(), 1u);
  EXPECT_EQ(SmsRecords[0].Address, "10086");
  EXPECT_EQ(SmsRecords[0].TypeText, "发送");
  EXPECT_EQ(SmsRecords[0].Body, "");
}

struct MissingKeyCase {
  const char* label;
  const char* create;
  const char* insert;
  bool hit;
};

class AndroidSmsMissingKey : public AndroidSmsScanTest,
                             public ::testing::WithParamInterface<MissingKeyCase> {};

TEST_P(AndroidSmsMissingKey, TypeAndDateAreNeededAddressAndBodyAreNot) {
  const MissingKeyCase& c = GetParam();
  testdb::Build(path, std::string(c.create) + c.insert);
  Scan();
  if (!c.hit) {
    EXPECT_TRUE(SmsRecords.empty());
    return;
  }
  ASSERT_EQ(SmsRecords.size(), 1u);
  EXPECT_EQ(SmsRecords[0].Address, "");
  EXPECT_EQ(SmsRecords[0].Body, "");
  EXPECT_EQ(view.rows[0][0], "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AndroidSmsMissingKey,
    ::testing::Values(
        MissingKeyCase{"NoType", "CREATE TABLE sms (_id INTEGER PRIMARY KEY,address TEXT,date INTEGER,kind INTEGER,body TEXT,x INTEGER);",
                       "INSERT INTO sms VALUES (1, 'a', 1400000000000, 1, 'b', 0);", false},
        MissingKeyCase{"NoDate", "CREATE TABLE sms (_id INTEGER PRIMARY KEY,address TEXT,sent INTEGER,type INTEGER,body TEXT,x INTEGER);",
                       "INSERT INTO sms VALUES (1, 'a', 1400000000000, 1, 'b', 0);", false},
        MissingKeyCase{"NoAddressNoBody", "CREATE TABLE sms (_id INTEGER PRIMARY KEY,who TEXT,date INTEGER,type INTEGER,text TEXT,x INTEGER);",
                       "INSERT INTO sms VALUES (1, 'a', 1400000000000, 1, 'b', 0);", true}),
    [](const auto& info) { return std::string(info.param.label); });

class AndroidSmsRejected : public AndroidSmsScanTest,
                           public ::testing::WithParamInterface<RejectCase> {};

TEST_P(AndroidSmsRejected, EndsWithTheBoxIdleControlsAndNoDeletion) {
  const RejectCase& c = GetParam();
  WriteRejectedSource(path, c.sql);
  PutTempCopy("mmssms.db");
  SourceMode = 1;
  Scan();
  ExpectOneInformationBox(c.box);
  ExpectIdle();
  EXPECT_TRUE(HasTempCopy("mmssms.db"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AndroidSmsRejected,
    ::testing::Values(RejectCase{"NotSQLite", "", "无效的数据文件！"},
                      RejectCase{"NoSmsTable", "CREATE TABLE pdu (a INTEGER, b TEXT);",
                                    "没有找短信记录，扫描结束！"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(AndroidSmsScanTest, HeaderVersionBytesArePatchedOnlyWhenAboveOne) {
  BuildSms({{}});
  testdb::SetVersionBytes(path, 1, 2);
  Scan();
  auto bytes = testdb::ReadBytes(path);
  EXPECT_EQ(bytes[18], 1);
  EXPECT_EQ(bytes[19], 1);
  EXPECT_EQ(SmsRecords.size(), 1u);
}

TEST_F(AndroidSmsScanTest, StopDuringTheWalkFinishesAndStillDeletesTheCopyInBackupMode) {
  std::vector<AndroidSms> many(400);
  for (std::size_t i = 0; i < many.size(); ++i) many[i].address = "1380013" + std::to_string(1000 + i);
  BuildSms(many, "", 1024);
  PutTempCopy("mmssms.db");
  SourceMode = 1;
  view.onPump = [this] {
    if (view.progressPosition >= 10) ScanStopRequested = true;  // the user presses Stop
  };
  Scan();
  EXPECT_GT(SmsRecords.size(), 0u);
  EXPECT_LT(SmsRecords.size(), many.size());
  EXPECT_EQ(view.status[0], "扫描完成");
  EXPECT_EQ(view.TreeText(0), "短信(" + std::to_string(SmsRecords.size()) + ")");
  ExpectIdle();
  EXPECT_FALSE(HasTempCopy("mmssms.db"));
}

TEST_F(AndroidSmsScanTest, FileModeDeletesNothing) {
  BuildSms({{}});
  PutTempCopy("mmssms.db");
  SourceMode = 0;
  Scan();
  EXPECT_EQ(SmsRecords.size(), 1u);
  EXPECT_TRUE(HasTempCopy("mmssms.db"));
}

}  // namespace
}  // namespace velmora
