#include "engine/IosCallScanner.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "TestDb.h"

namespace velmora {
namespace {

using testdb::CallRow;
using testdb::InsertCall;

class IosCallScanTest : public ::testing::Test {
 protected:
  testdb::TempDir dir;
  testdb::ScanFixtureState state;
  RecordingScanView& view = state.view;
  std::string path = dir.File("call_history.db");

  void BuildCalls(const std::vector<CallRow>& rows, const std::string& extraSql = "") {
    std::string sql = std::string(testdb::kIosCallTable) + "BEGIN;";
    for (const CallRow& r : rows) sql += InsertCall(r);
    testdb::Build(path, sql + "COMMIT;" + extraSql);
  }
  void Scan() {
    testdb::ScanFixtureState::Target(path);
    RunIosCallScan(view);
  }
  // The row of `address`, or nullptr.
  const std::vector<std::string>* RowOf(const std::string& address) const {
    for (const auto& r : view.rows)
      if (!r.empty() && r[0] == address) return &r;
    return nullptr;
  }
  void ExpectIdle() const {
    EXPECT_TRUE(ScanStopRequested);
    EXPECT_TRUE(ScanEnabled);
    EXPECT_TRUE(view.IsEnabled(ScanCommand::Start));
    EXPECT_FALSE(view.IsEnabled(ScanCommand::Stop));
    EXPECT_EQ(view.IsEnabled(ScanCommand::Recover), !view.rows.empty());
  }
};

TEST_F(IosCallScanTest, LiveCallsAreListedWithEveryFieldAndTheFinishTexts) {
  BuildCalls({{"10086", 1400000000, 75, 0, "Alice"},
              {"13800138000", 1400000100, 3, 1, "Bob"},
              {"95555", 1400000200, 0, 2, "Carol"}});
  CallRecords.push_back({});  // emptied at the start
  Scan();

  ASSERT_EQ(view.rows.size(), 3u);
  const auto* alice = RowOf("10086");
  ASSERT_NE(alice, nullptr);
  EXPECT_EQ(*alice, (std::vector<std::string>{"10086", "Alice", "2014-05-14 00:53:20", "75", "呼出",
                                               "正常"}));
  EXPECT_EQ((*RowOf("13800138000"))[4], "呼入");
  EXPECT_EQ((*RowOf("95555"))[4], "未接通");

  ASSERT_EQ(CallRecords.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& row = view.rows[i];
    const PCallValue& c = CallRecords[i];
    EXPECT_EQ(c.Number, row[0]);
    EXPECT_EQ(c.Name, row[1]);
    EXPECT_EQ(c.DateText, row[2]);
    EXPECT_EQ(c.Duration, row[3]);
    EXPECT_EQ(c.TypeText, row[4]);
    EXPECT_FALSE(c.Deleted);
  }

  EXPECT_EQ(view.status[0], "扫描完成");
  EXPECT_EQ(view.status[2], "找到 3 条通话记录, 0条删除");
  ASSERT_EQ(view.log.size(), 2u);
  EXPECT_EQ(view.log[0].type, "System");
  EXPECT_EQ(view.log[0].message, "扫描... ");
  EXPECT_EQ(view.log[1].message, "扫描完成,共找到 3 条通话记录, 其中有0条删除");
  ASSERT_EQ(view.tree.size(), 3u);
  EXPECT_EQ(view.TreeText(0), "通话记录(3)");
  EXPECT_EQ(view.TreeText(1), "正常通话记录(3)");
  EXPECT_EQ(view.TreeText(2), "删除通话记录(0)");
  EXPECT_EQ(view.tree[0].tag, (TResultNodeTag{kKindCalls, kFilterAll}));
  EXPECT_EQ(view.tree[1].tag, (TResultNodeTag{kKindCalls, kFilterLive}));
  EXPECT_EQ(view.tree[2].tag, (TResultNodeTag{kKindCalls, kFilterDeleted}));
  EXPECT_TRUE(view.treeExpanded);
  EXPECT_EQ(view.fragmentColumnClears, 1);
  EXPECT_TRUE(state.boxes.shown().empty());
  ExpectIdle();
}

struct RecordCheckCase {
  const char* label;
  std::int64_t flags;
  std::int64_t date;
  bool reported;
  const char* typeText;
};

class IosCallRecordChecks : public IosCallScanTest,
                            public ::testing::WithParamInterface<RecordCheckCase> {};

TEST_P(IosCallRecordChecks, FlagsAndYearDecideWhetherACallIsReported) {
  const RecordCheckCase& c = GetParam();
  BuildCalls({{"5551234", c.date, 10, c.flags, "N"}});
  Scan();
  const auto* row = RowOf("5551234");
  ASSERT_EQ(row != nullptr, c.reported);
  if (row) {
    EXPECT_EQ((*row)[4], c.typeText);
  }
}

// 946656000 s is 2000-01-01 00:00:00 counted from 1970-01-01 08:00:00.
INSTANTIATE_TEST_SUITE_P(
    Cases, IosCallRecordChecks,
    ::testing::Values(RecordCheckCase{"flags3", 3, 1400000000, true, "其它"},
                      RecordCheckCase{"flags144", 144, 1400000000, true, "其它"},
                      RecordCheckCase{"flags145", 145, 1400000000, false, ""},
                      RecordCheckCase{"negativeFlags", -1, 1400000000, true, "其它"},
                      RecordCheckCase{"lastSecondOf1999", 0, 946655999, false, ""},
                      RecordCheckCase{"firstSecondOf2000", 0, 946656000, true, "呼出"},
                      RecordCheckCase{"lastSecondOf2099", 1, 4102415999, true, "呼入"},
                      RecordCheckCase{"firstSecondOf2100", 1, 4102416000, false, ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(IosCallScanTest, DeletedCallWithNullNameShowsNullAndDeleted) {
  std::vector<CallRow> rows;
  for (int i = 0; i < 20; ++i) rows.push_back({"1390000" + std::to_string(1000 + i), 1400000000 + i, i, 1, "Keep"});
  rows.push_back({"18612345678", 1500000000, 42, 0, testdb::kSqlNull});
  BuildCalls(rows, "DELETE FROM call WHERE address = '18612345678';");
  Scan();

  const auto* gone = RowOf("18612345678");
  ASSERT_NE(gone, nullptr);
  EXPECT_EQ((*gone)[1], "NULL");
  EXPECT_EQ((*gone)[3], "42");
  EXPECT_EQ((*gone)[5], "删除");
  EXPECT_EQ(view.rows.size(), 21u);
  EXPECT_EQ(view.status[2], "找到 21 条通话记录, 1条删除");
  EXPECT_EQ(view.TreeText(1), "正常通话记录(20)");
  EXPECT_EQ(view.TreeText(2), "删除通话记录(1)");
  const auto it = std::find_if(CallRecords.begin(), CallRecords.end(),
                               [](const PCallValue& c) { return c.Number == "18612345678"; });
  ASSERT_NE(it, CallRecords.end());
  EXPECT_TRUE(it->Deleted);
  EXPECT_EQ(it->Name, "NULL");
}

TEST_F(IosCallScanTest, TableWithoutFlagsFindsNothing) {
  testdb::Build(path,
                "CREATE TABLE call (ROWID INTEGER PRIMARY KEY, address TEXT, date INTEGER, "
                "duration INTEGER, name TEXT);"
                "INSERT INTO call (address, date, duration, name) VALUES ('10086', 1400000000, 5, 'A');");
  Scan();
  EXPECT_TRUE(view.rows.empty());
  EXPECT_EQ(view.TreeText(0), "通话记录(0)");
  EXPECT_EQ(view.log.back().message, "扫描完成,共找到 0 条通话记录, 其中有0条删除");
  ExpectIdle();
}

struct RejectCase {
  const char* label;
  const char* sql;  // nullptr: the file is not a database
  const char* box;
};

class IosCallRejected : public IosCallScanTest, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(IosCallRejected, EndsWithTheBoxAndIdleControls) {
  const RejectCase& c = GetParam();
  if (c.sql)
    testdb::Build(path, c.sql);
  else
    testdb::WriteBytes(path, std::vector<std::uint8_t>(2048, 'x'));
  Scan();
  ASSERT_EQ(state.boxes.shown().size(), 1u);
  EXPECT_EQ(state.boxes.shown()[0].text, c.box);
  EXPECT_EQ(state.boxes.shown()[0].caption, "提示");
  EXPECT_EQ(state.boxes.shown()[0].icon, platform::MbIcon::Information);
  // The tree keeps its set-up texts; no finish texts are written.
  EXPECT_EQ(view.TreeText(0), "通话记录");
  EXPECT_EQ(view.status[0], "正在扫描...");
  EXPECT_TRUE(view.rows.empty());
  ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IosCallRejected,
    ::testing::Values(
        RejectCase{"notADatabase", nullptr, "无效的数据文件！"},
        RejectCase{"noCallTable", "CREATE TABLE calls (a INTEGER, b TEXT);", "没有找到通话记录，扫描结束！"},
        // One column, no comma in the CREATE text: ends like an empty schema.
        RejectCase{"oneColumnTable", "CREATE TABLE call (flags INTEGER);", "没有找到通话记录，扫描结束！"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(IosCallScanTest, DoesNothingWhileScanningIsDisabled) {
  BuildCalls({{"10086"}});
  ScanEnabled = false;
  Scan();
  EXPECT_TRUE(view.tree.empty());
  EXPECT_TRUE(view.log.empty());
  EXPECT_TRUE(view.enabled.empty());
  EXPECT_TRUE(CallRecords.empty());
}

TEST_F(IosCallScanTest, ASecondScanPutsItsRootFirstAndUpdatesNodesZeroToTwo) {
  BuildCalls({{"10086"}});
  Scan();
  BuildCalls({{"10010"}, {"10011"}});
  Scan();
  ASSERT_EQ(view.tree.size(), 6u);
  EXPECT_EQ(view.TreeText(0), "通话记录(2)");
  EXPECT_EQ(view.TreeText(3), "通话记录(1)");
  ASSERT_EQ(CallRecords.size(), 2u);  // the second run replaced the first's records
}

TEST_F(IosCallScanTest, StopDuringTheWalkFinishesWithTheCountsSoFar) {
  std::vector<CallRow> rows;
  for (int i = 0; i < 3000; ++i) rows.push_back({"1380000" + std::to_string(10000 + i), 1400000000 + i, i, i % 3});
  BuildCalls(rows);
  view.onPump = [this] {
    if (view.progressPosition >= 12) ScanStopRequested = true;  // the user presses Stop
  };
  Scan();
  const std::size_t found = view.rows.size();
  EXPECT_GT(found, 0u);
  EXPECT_LT(found, 3000u);
  EXPECT_EQ(CallRecords.size(), found);
  EXPECT_EQ(view.status[0], "扫描完成");
  const int deleted = static_cast<int>(std::count_if(
      CallRecords.begin(), CallRecords.end(), [](const PCallValue& c) { return c.Deleted; }));
  EXPECT_EQ(view.log.back().message, "扫描完成,共找到 " + std::to_string(found) +
                                         " 条通话记录, 其中有" + std::to_string(deleted) + "条删除");
  EXPECT_EQ(view.TreeText(0), "通话记录(" + std::to_string(found) + ")");
  ExpectIdle();
}

}  // namespace
}  // namespace velmora
