#include "engine/AndroidCallScanner.h"

#include <gtest/gtest.h>

#include "AndroidFixtures.h"

namespace velmora {
namespace {

using androidtest::AndroidCall;
using androidtest::kNull;
using androidtest::RejectCase;
using androidtest::Num;

class AndroidCallScanTest : public androidtest::AndroidScanTest {
 protected:
  std::string path = dir.File("contacts2.db");

  void BuildCalls(const std::vector<AndroidCall>& calls, const std::string& table = androidtest::kCallsTable,
                  const std::string& extraSql = "") {
    std::string sql = table + std::string("BEGIN;");
    for (const AndroidCall& c : calls) sql += androidtest::InsertCall(c);
    testdb::Build(path, sql + "COMMIT;" + extraSql);
  }
  void Scan() {
    testdb::ScanFixtureState::Target(path);
    RunAndroidCallScan(view);
  }
};

TEST_F(AndroidCallScanTest, LiveAndDeletedCallsWithEveryFieldTheFinishTextsAndAnUntaggedTree) {
  BuildCalls({{"10086", Num(1400000000000), Num(75), Num(2), "中国移动"},
              {"13800138000", Num(1400000100000), Num(3), Num(1), "Bob"},
              {"95555", Num(1400000200000), Num(0), Num(3), "Carol"}},
             androidtest::kCallsTable, "DELETE FROM calls WHERE number = '95555';");
  SeedTree();
  CallRecords.push_back({});  // emptied at the start
  Scan();

  ASSERT_EQ(view.rows.size(), 3u);
  EXPECT_EQ(*RowOf("10086"), (std::vector<std::string>{"10086", "中国移动", "2014-05-14 00:53:20",
                                                       "75", "呼出", "正常"}));
  EXPECT_EQ((*RowOf("13800138000"))[4], "呼入");
  EXPECT_EQ((*RowOf("95555"))[4], "未接通");
  EXPECT_EQ((*RowOf("95555"))[5], "删除");

  ASSERT_EQ(CallRecords.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& row = view.rows[i];
    const PCallValue& c = CallRecords[i];
    EXPECT_EQ(c.Number, row[0]);
    EXPECT_EQ(c.Name, row[1]);
    EXPECT_EQ(c.DateText, row[2]);
    EXPECT_EQ(c.Duration, row[3]);
    EXPECT_EQ(c.TypeText, row[4]);
    EXPECT_EQ(c.Deleted, row[5] == "删除");
  }
  EXPECT_EQ(view.status[0], "扫描完成");
  EXPECT_EQ(view.status[2], "找到 3 条通话记录, 1条删除");
  ASSERT_EQ(view.log.size(), 2u);
  EXPECT_EQ(view.log[0].message, "扫描... ");
  EXPECT_EQ(view.log[1].type, "System");
  EXPECT_EQ(view.log[1].message, "扫描完成,共找到 3 条通话记录, 其中有1条删除");
  ExpectUntaggedTree("通话记录(3)", "正常通话记录(2)", "删除通话记录(1)");
  ExpectIdle();
  EXPECT_TRUE(state.boxes.shown().empty());
}

struct CallCase {
  const char* label;
  std::string type;
  std::string date;
  bool hit;
  const char* typeText;
};

class AndroidCallChecks : public AndroidCallScanTest, public ::testing::WithParamInterface<CallCase> {};

TEST_P(AndroidCallChecks, TypeAndYearDecideWhetherACallIsAHit) {
  const CallCase& c = GetParam();
  BuildCalls({{"10010", c.date, Num(42), c.type, "Name"}});
  Scan();
  if (!c.hit) {
    EXPECT_TRUE(view.rows.empty());
    EXPECT_TRUE(CallRecords.empty());
    return;
  }
  ASSERT_EQ(view.rows.size(), 1u);
  EXPECT_EQ(view.rows[0][4], c.typeText);
}

// Times are shown counted from 1970-01-01 08:00:00: 946656000000 ms is
// 2000-01-01 00:00:00, 4102416000000 ms is 2100-01-01 00:00:00.
INSTANTIATE_TEST_SUITE_P(
    Cases, AndroidCallChecks,
    ::testing::Values(CallCase{"Type0", Num(0), Num(1400000000000), true, "其它"},
                      CallCase{"Type1", Num(1), Num(1400000000000), true, "呼入"},
                      CallCase{"Type2", Num(2), Num(1400000000000), true, "呼出"},
                      CallCase{"Type3", Num(3), Num(1400000000000), true, "未接通"},
                      CallCase{"Type4", Num(4), Num(1400000000000), true, "其它"},
                      CallCase{"Type144", Num(144), Num(1400000000000), true, "其它"},
                      CallCase{"Type145", Num(145), Num(1400000000000), false, ""},
                      CallCase{"Type1000", Num(1000), Num(1400000000000), false, ""},
                      CallCase{"TypeNull", kNull, Num(1400000000000), false, ""},
                      CallCase{"Year1999", Num(1), Num(946655999000), false, ""},
                      CallCase{"Year2000", Num(1), Num(946656000000), true, "呼入"},
                      CallCase{"Year2099", Num(1), Num(4102415999000), true, "呼入"},
                      CallCase{"Year2100", Num(1), Num(4102416000000), false, ""},
                      CallCase{"DateInSeconds", Num(1), Num(1400000000), false, ""},
                      CallCase{"DateNull", Num(1), kNull, false, ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(AndroidCallScanTest, DurationOf300InTwoBytesAndNullTextsReadBack) {
  BuildCalls({{"10000", Num(1400000000000), Num(300), Num(1), kNull},
              {kNull, Num(1400000000000), kNull, Num(2), "Eve"}});
  // 300 is stored as serial type 2, 0x01 0x2C. Later rows lie lower on the page.
  Scan();
  ASSERT_EQ(CallRecords.size(), 2u);
  const PCallValue& first = CallRecords[1];
  const PCallValue& second = CallRecords[0];
  EXPECT_EQ(first.Duration, "300");
  EXPECT_EQ(first.Name, "NULL");
  EXPECT_EQ(second.Number, "NULL");
  EXPECT_EQ(second.Duration, "NULL");
  EXPECT_EQ(second.Name, "Eve");
}

TEST_F(AndroidCallScanTest, ATableWithoutANameColumnGivesEmptyNames) {
  testdb::Build(path,
                "CREATE TABLE calls (_id INTEGER PRIMARY KEY AUTOINCREMENT,number TEXT,date "
                "INTEGER,duration INTEGER,type INTEGER,new INTEGER);"
                "INSERT INTO calls (number, date, duration, type, new) VALUES "
                "('10086', 1400000000000, 5, 2, 1);");
  Scan();
  ASSERT_EQ(CallRecords.size(), 1u);
  EXPECT_EQ(CallRecords[0].Name, "");
  EXPECT_EQ(CallRecords[0].Number, "10086");
  EXPECT_EQ(view.rows[0][1], "");
}

// A column declared with a default value is taken never to be NULL: a
// record with NULL there is no hit. The word is found in any case.
TEST_F(AndroidCallScanTest, ColumnsDeclaredWithADefaultMayNotBeNull) {
  testdb::Build(path,
                "CREATE TABLE calls (_id INTEGER PRIMARY KEY,number TEXT,date INTEGER,duration "
                "INTEGER,type INTEGER,new INTEGER Default 0,name TEXT);"
                "INSERT INTO calls (number, date, duration, type, new, name) VALUES "
                "('111', 1400000000000, 5, 2, NULL, 'a'), ('222', 1400000000000, 5, 2, 0, 'b');");
  Scan();
  ASSERT_EQ(view.rows.size(), 1u);
  EXPECT_EQ(view.rows[0][0], "222");
}

// Blob declared types get no kind: not tested, and their contents are
// stepped over with an empty value.
TEST_F(AndroidCallScanTest, BlobValuesAreSteppedOverWithAnEmptyValue) {
  testdb::Build(path,
                "CREATE TABLE calls (_id INTEGER PRIMARY KEY,number TEXT,photo BLOB,date "
                "INTEGER,duration INTEGER,type INTEGER,name BLOB);"
                "INSERT INTO calls (number, photo, date, duration, type, name) VALUES "
                "('10086', X'0102030405060708090A', 1400000000000, 9, 2, X'414243');");
  Scan();
  ASSERT_EQ(CallRecords.size(), 1u);
  EXPECT_EQ(CallRecords[0].Number, "10086");
  EXPECT_EQ(CallRecords[0].Duration, "9");
  EXPECT_EQ(CallRecords[0].Name, "");
}

TEST_F(AndroidCallScanTest, NothingFoundKeepsTheEarlierStatusAndCountsZero) {
  BuildCalls({{"10086", Num(1400000000000), Num(1), Num(500), "x"}});
  view.status[2] = "earlier";
  Scan();
  EXPECT_TRUE(view.rows.empty());
  EXPECT_EQ(view.status[2], "earlier");
  ExpectUntaggedTree("通话记录(0)", "正常通话记录(0)", "删除通话记录(0)");
  ExpectIdle();
}

class AndroidCallRejected : public AndroidCallScanTest,
                            public ::testing::WithParamInterface<RejectCase> {};

TEST_P(AndroidCallRejected, EndsWithTheBoxIdleControlsAndNoDeletion) {
  const RejectCase& c = GetParam();
  WriteRejectedSource(path, c.sql);
  PutTempCopy("contacts2.db");
  SourceMode = 1;
  Scan();
  ExpectOneInformationBox(c.box);
  ExpectIdle();
  EXPECT_TRUE(HasTempCopy("contacts2.db"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AndroidCallRejected,
    ::testing::Values(RejectCase{"NotSQLite", "", "无效的数据文件！"},
                      RejectCase{"NoCallsTable", "CREATE TABLE call (a INTEGER, b TEXT);",
                                     "没有找到通话记录，扫描结束！"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(AndroidCallScanTest, BackupModeDeletesTheTemporaryCopyAndFileModeDoesNot) {
  BuildCalls({{}});
  PutTempCopy("contacts2.db");
  SourceMode = 0;
  Scan();
  EXPECT_TRUE(HasTempCopy("contacts2.db"));

  SourceMode = 1;
  Scan();
  EXPECT_FALSE(HasTempCopy("contacts2.db"));
  // A missing copy is no error.
  Scan();
  EXPECT_TRUE(state.boxes.shown().empty());
  EXPECT_EQ(CallRecords.size(), 1u);
}

TEST_F(AndroidCallScanTest, ProgramFolderDefaultsToTheExecutablesFolder) {
  SetProgramFolder("");
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(folder + "engine_tests"));
  SetProgramFolder("/some/where");
  EXPECT_EQ(ProgramFolder(), "/some/where/");
}

}  // namespace
}  // namespace velmora
