#include "engine/AndroidFixedSmsCarver.h"

#include "AndroidFixtures.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "TestDb.h"

namespace velmora {
namespace {

// The sms table of an Android 2.x phone (16 columns, no date_sent).
constexpr const char* kSms2x =
    "CREATE TABLE sms (_id INTEGER PRIMARY KEY,thread_id INTEGER,address TEXT,person "
    "INTEGER,date INTEGER,protocol INTEGER,read INTEGER DEFAULT 0,status INTEGER DEFAULT "
    "-1,type INTEGER,reply_path_present INTEGER,subject TEXT,body TEXT,service_center "
    "TEXT,locked INTEGER DEFAULT 0,error_code INTEGER DEFAULT 0,seen INTEGER DEFAULT 0);";

struct Sms {
  std::string address = "'10086'";  // SQL values
  std::int64_t date = 1400000000000;
  std::string type = "1";
  std::string body = "'您好'";
};

std::string Insert2x(const Sms& m) {
  return "INSERT INTO sms (thread_id, address, person, date, protocol, read, status, type, "
         "reply_path_present, subject, body, service_center, locked, error_code, seen) VALUES (1, " +
         m.address + ", NULL, " + std::to_string(m.date) + ", 0, 1, -1, " + m.type + ", 0, NULL, " +
         m.body + ", '+8613800100500', 0, 0, 1);";
}

std::string Insert4x(const Sms& m) {
  return "INSERT INTO sms (thread_id, address, person, date, date_sent, protocol, read, status, "
         "type, reply_path_present, body, service_center, locked, error_code, creator, seen, "
         "sim_id) VALUES (1, " +
         m.address + ", NULL, " + std::to_string(m.date) + ", 0, 0, 1, -1, " + m.type + ", 0, " +
         m.body + ", '+8613800100500', 0, 0, 'com.android.mms', 1, 1);";
}

// A database in the legacy schema format of the SQLite of an Android 2.x
// phone, which stores 0 and 1 as one-byte integers (no serial types 8, 9).
void BuildLegacy(const std::string& path, const std::string& sql) {
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_db_config(db, SQLITE_DBCONFIG_LEGACY_FILE_FORMAT, 1, nullptr), SQLITE_OK);
  char* err = nullptr;
  const int rc = sqlite3_exec(
      db, ("PRAGMA page_size=4096; PRAGMA secure_delete=OFF; PRAGMA journal_mode=DELETE;" + sql).c_str(),
      nullptr, nullptr, &err);
  const std::string message = err ? err : "";
  sqlite3_free(err);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << message;
  ASSERT_EQ(testdb::ReadBytes(path).at(47), 1) << "schema format";
}

class FixedSmsCarveTest : public ::testing::Test {
 protected:
  testdb::TempDir dir;
  testdb::ScanFixtureState state;
  RecordingScanView& view = state.view;
  std::string path = dir.File("mmssms.db");

  void Build4x(const std::vector<Sms>& messages, const std::string& extra = "") {
    std::string sql = std::string(androidtest::kSms4xTable) + "BEGIN;";
    for (const Sms& m : messages) sql += Insert4x(m);
    testdb::Build(path, sql + "COMMIT;" + extra);
  }
  void Build2x(const std::vector<Sms>& messages, const std::string& extra = "") {
    std::string sql = std::string(kSms2x) + "BEGIN;";
    for (const Sms& m : messages) sql += Insert2x(m);
    BuildLegacy(path, sql + "COMMIT;" + extra);
  }
  void Carve() {
    testdb::ScanFixtureState::Target(path);
    RunFixedLayoutSmsCarve(view);
  }
  void ExpectIdle() const {
    EXPECT_TRUE(ScanStopRequested);
    EXPECT_TRUE(ScanEnabled);
    EXPECT_TRUE(view.IsEnabled(ScanCommand::Start));
    EXPECT_FALSE(view.IsEnabled(ScanCommand::Stop));
    EXPECT_EQ(view.IsEnabled(ScanCommand::Recover), !view.rows.empty());
  }
  // The row whose body (the last cell) is `body`.
  const std::vector<std::string>* RowWithBody(const std::string& body) const {
    for (const auto& r : view.rows)
      if (r.size() == 5 && r[4] == body) return &r;
    return nullptr;
  }
};

TEST_F(FixedSmsCarveTest, FourXMessagesGoToTheListAndTheArrayNumberedFromZeroAllLive) {
  Build4x({{"'10086'", 1400000000000, "1", "'余额 12.50 元'"},
           {"'+8613800138000'", 1400000100000, "2", "'晚上一起吃饭吗'"},
           {"'13912345678'", 1400000200000, "3", "'draft'"}});
  view.TreeInsertRootFirst("通话记录", "正常通话记录", "删除通话记录", kKindCalls);  // an earlier scan
  TreeRootCaption = "Android";
  SmsRecords.assign(5, PSMSvalue{"old", "", "", "", true});
  Carve();

  ASSERT_EQ(view.rows.size(), 3u);
  // Rows in file order (the last inserted lies first on the page), numbered
  // from "0"; four sub-items, no status word.
  for (std::size_t i = 0; i < view.rows.size(); ++i) {
    ASSERT_EQ(view.rows[i].size(), 5u);
    EXPECT_EQ(view.rows[i][0], std::to_string(i));
  }
  const auto* received = RowWithBody("余额 12.50 元");
  ASSERT_NE(received, nullptr);
  EXPECT_EQ(std::vector<std::string>(received->begin() + 1, received->end()),
            (std::vector<std::string>{"10086", "2014-05-14 00:53:20", "接收", "余额 12.50 元"}));
  EXPECT_EQ(RowWithBody("晚上一起吃饭吗")->at(3), "发送");
  EXPECT_EQ(RowWithBody("draft")->at(1), "13912345678");
  EXPECT_EQ(RowWithBody("draft")->at(2), UnixMsToText(1400000200000));
  EXPECT_EQ(RowWithBody("draft")->at(3), "草稿");

  // The array holds exactly this run's hits, in list order, all live.
  ASSERT_EQ(SmsRecords.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(SmsRecords[i].Address, view.rows[i][1]);
    EXPECT_EQ(SmsRecords[i].DateText, view.rows[i][2]);
    EXPECT_EQ(SmsRecords[i].TypeText, view.rows[i][3]);
    EXPECT_EQ(SmsRecords[i].Body, view.rows[i][4]);
    EXPECT_FALSE(SmsRecords[i].Deleted);
  }

  // One debug line per header match, in file order like the rows: the
  // offset of column 2's serial type. The received message's type 1 is
  // stored as serial type 9 (the constant 1).
  const auto bytes = testdb::ReadBytes(path);
  ASSERT_EQ(view.sectorDebugLines.size(), 3u);
  for (const std::string& line : view.sectorDebugLines)
    EXPECT_EQ(bytes.at(std::stoul(line) + 2), 5);  // the date: a 6-byte integer
  const std::size_t receivedAt = std::stoul(view.sectorDebugLines[std::stoul(received->at(0))]);
  EXPECT_EQ(bytes.at(receivedAt + (FixedSmsLayout4x().typeColumn - 2)), 9);

  // The tree: only a bare root with the caption; the log: only the start
  // row; no status text; the controls idle.
  ASSERT_EQ(view.tree.size(), 1u);
  EXPECT_EQ(view.tree[0].text, "Android");
  EXPECT_FALSE(view.tree[0].tag.has_value());
  ASSERT_EQ(view.log.size(), 1u);
  EXPECT_EQ(view.log[0].message, "扫描... ");
  EXPECT_EQ(view.status[0], "");
  EXPECT_EQ(view.status[2], "");
  EXPECT_EQ(view.fragmentColumnClears, 1);
  EXPECT_TRUE(state.boxes.shown().empty());
  ExpectIdle();
}

TEST_F(FixedSmsCarveTest, TwoXMessagesAreDecodedWithTheirOwnTypeAndBodyColumns) {
  Build2x({{"'10086'", 1400000000000, "1", "'旧手机的短信'"},
           {"'95588'", 1300000000000, "2", "'sent from 2.x'"}});
  Carve();

  ASSERT_EQ(view.rows.size(), 2u);
  const auto* received = RowWithBody("旧手机的短信");
  ASSERT_NE(received, nullptr);
  EXPECT_EQ(std::vector<std::string>(received->begin() + 1, received->end()),
            (std::vector<std::string>{"10086", UnixMsToText(1400000000000), "接收", "旧手机的短信"}));
  EXPECT_EQ(RowWithBody("sent from 2.x")->at(3), "发送");
  EXPECT_TRUE(state.boxes.shown().empty());
  ExpectIdle();
}

TEST_F(FixedSmsCarveTest, TheFirstCreateTextDecidesTheLayoutEvenWhenALaterCopyNamesDateSent) {
  // The 2.x table's CREATE text is the file's first; a later table holds a
  // copy of a 4.x CREATE text, more than 665 bytes further on.
  Build2x({{"'10086'", 1400000000000, "1", "'two-x body'"}},
          "CREATE TABLE notes (t TEXT); INSERT INTO notes VALUES ('" + std::string(androidtest::kSms4xTable) + "');");
  const auto bytes = testdb::ReadBytes(path);
  const std::string all(bytes.begin(), bytes.end());
  const std::size_t firstCreate = all.find("CREATE TABLE sms (");
  ASSERT_LT(firstCreate, all.find("date_sent"));
  ASSERT_GT(all.find("date_sent") - firstCreate, 665u);

  Carve();
  ASSERT_EQ(view.rows.size(), 1u);
  EXPECT_EQ(view.rows[0][4], "two-x body");
  EXPECT_EQ(DetectFixedSmsLayout(bytes), &FixedSmsLayout2x());
}

TEST_F(FixedSmsCarveTest, TypeValuesGiveTheirTextsAndATypeThatIsNoSmallNumberIsPassedOver) {
  const std::vector<std::pair<std::string, const char*>> cases = {
      {"1", "接收"}, {"2", "发送"}, {"3", "草稿"}, {"0", "其它"},
      {"-1", "其它"}, {"9", "其它"}, {"10", nullptr}, {"NULL", nullptr},
  };
  std::vector<Sms> messages;
  for (const auto& [type, text] : cases) messages.push_back({"'10086'", 1400000000000, type, "'t=" + type + "'"});
  Build4x(messages);
  Carve();

  std::size_t expectedRows = 0;
  for (const auto& [type, text] : cases) {
    SCOPED_TRACE("type " + type);
    const auto* row = RowWithBody("t=" + type);
    if (text == nullptr) {
      EXPECT_EQ(row, nullptr);
    } else {
      ++expectedRows;
      ASSERT_NE(row, nullptr);
      EXPECT_EQ(row->at(3), text);
    }
  }
  EXPECT_EQ(view.rows.size(), expectedRows);
  // Every record matched the header pattern; the two misses failed the type check.
  EXPECT_EQ(view.sectorDebugLines.size(), cases.size());
}

TEST_F(FixedSmsCarveTest, TheWalkGoesOnAfterAHitsContentSoAHeaderInsideABodyIsNotTested) {
  // A body that holds, after "fake:", the bytes of a whole 4.x record: column
  // 1's serial type, columns 2..29's, and their contents (address "A", type 2).
  std::string fake = "01" "0F" "00" "05" "00" "01" "01" "01" "01" "01";
  for (int c = 11; c <= 29; ++c) fake += "00";
  fake += "78" "41" "000001465A00" "00" "01" "02" "02" "00";
  Build4x({{"'10086'", 1400000000000, "1", "'fake:' || CAST(X'" + fake + "' AS TEXT)"},
           {"'95588'", 1400000100000, "2", "'second'"}});
  Carve();

  ASSERT_EQ(view.rows.size(), 2u);
  EXPECT_NE(RowWithBody("second"), nullptr);
  for (const auto& row : view.rows) EXPECT_NE(row[1], "A");
  EXPECT_EQ(view.sectorDebugLines.size(), 2u);
}

TEST_F(FixedSmsCarveTest, StopDuringTheCarveChangesNothingAndTheStopFlagIsLeftAsItWas) {
  // Enough messages for several pages, so that the window's messages run
  // between them.
  std::vector<Sms> messages;
  for (int i = 0; i < 300; ++i)
    messages.push_back({"'1380013" + std::to_string(1000 + i) + "'", 1400000000000 + i, "2",
                        "'message number " + std::to_string(i) + " of the stop test'"});
  Build4x(messages);
  bool stopFlagDuringCarve = true;
  view.onPump = [&] {
    stopFlagDuringCarve = stopFlagDuringCarve && ScanStopRequested;
    ScanStopRequested = true;  // Stop pressed
  };
  ScanStopRequested = true;
  Carve();
  EXPECT_GT(view.pumps, 2);
  EXPECT_TRUE(stopFlagDuringCarve);
  // Every message is found (page splits leave bytes of some behind, which
  // are carved as well).
  std::set<std::string> bodies;
  for (const auto& row : view.rows) bodies.insert(row[4]);
  for (int i = 0; i < 300; ++i)
    EXPECT_EQ(bodies.count("message number " + std::to_string(i) + " of the stop test"), 1u) << i;
  ExpectIdle();
}

TEST_F(FixedSmsCarveTest, WithoutAnSmsCreateTextTheCarveEndsWithItsMessage) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
    std::vector<std::string> boxes;
  };
  const std::vector<Case> cases = {
      {"no sms table",
       [](const std::string& p) {
         testdb::Build(p, "CREATE TABLE calls (_id INTEGER PRIMARY KEY, number TEXT, date INTEGER);"
                          "INSERT INTO calls (number, date) VALUES ('10086', 1400000000000);");
       },
       {"没有短信记录，扫描结束！"}},
      {"missing file", [](const std::string&) {}, {"Open the device error......", "没有短信记录，扫描结束！"}},
      {"page count past the file",
       [this](const std::string& p) {
         Build4x({{}});
         testdb::SetPageCount(p, 0x7FFFFFFF);
       },
       {"Read then device error......", "没有短信记录，扫描结束！"}},
      {"short file", [](const std::string& p) { testdb::WriteBytes(p, {'S', 'Q', 'L'}); },
       {"Read then device error......", "没有短信记录，扫描结束！"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(path);
    c.make(path);
    view = RecordingScanView();
    state.boxes.clear();
    SmsRecords.assign(2, PSMSvalue{"kept", "", "", "", false});
    ScanStopRequested = true;
    Carve();
    std::vector<std::string> texts;
    for (const auto& box : state.boxes.shown()) texts.push_back(box.text);
    EXPECT_EQ(texts, c.boxes);
    const auto& last = state.boxes.shown().back();
    EXPECT_EQ(last.caption, "提示");
    EXPECT_EQ(last.icon, platform::MbIcon::Information);
    EXPECT_TRUE(view.rows.empty());
    EXPECT_TRUE(view.sectorDebugLines.empty());
    EXPECT_EQ(SmsRecords.size(), 2u);  // not emptied without a hit
    ExpectIdle();
  }
}

TEST_F(FixedSmsCarveTest, NothingHappensWhileScanningIsDisabled) {
  Build4x({{}});
  ScanEnabled = false;
  Carve();
  EXPECT_TRUE(view.tree.empty());
  EXPECT_TRUE(view.log.empty());
  EXPECT_TRUE(view.enabled.empty());
  EXPECT_TRUE(state.boxes.shown().empty());
  EXPECT_FALSE(ScanEnabled);
}

// ---------------------------------------------------------------- by bytes

// A file of `pages` 512-byte pages: page 1 holds the header and a 4.x sms
// CREATE text, and `bytes` lie at `offset`.
std::vector<std::uint8_t> CraftedFile(std::size_t pages, std::size_t offset, const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> f(512 * pages, 0);
  const std::string magic = "SQLite format 3";
  const std::string create = "CREATE TABLE sms (_id, thread_id, address, person, date, date_sent)";
  std::copy(magic.begin(), magic.end(), f.begin());
  f[16] = 0x02, f[17] = 0x00;  // page size 512
  f[31] = static_cast<std::uint8_t>(pages);
  std::copy(create.begin(), create.end(), f.begin() + 200);
  std::copy(bytes.begin(), bytes.end(), f.begin() + static_cast<std::ptrdiff_t>(offset));
  return f;
}

// One column of a crafted record: its serial type's bytes and its content.
struct Column {
  std::vector<std::uint8_t> serialType;
  std::vector<std::uint8_t> content;
};

Column Text(const std::string& text) {
  return {{static_cast<std::uint8_t>(13 + 2 * text.size())}, {text.begin(), text.end()}};
}

// Columns 1 to 29 of a 4.x record: address, date (a 6-byte integer) and type
// (serial type 9, the constant 1, or 1 and one byte) as given, every other
// column NULL or a zero constant within the header pattern.
std::vector<Column> Sms4x(Column column1, const std::string& address, std::int64_t date,
                          std::uint8_t type, const std::string& body) {
  std::vector<Column> c(29, Column{{0x00}, {}});
  c[0] = std::move(column1);
  c[1] = Text(address);
  std::vector<std::uint8_t> ms;
  for (int shift = 40; shift >= 0; shift -= 8) ms.push_back(static_cast<std::uint8_t>(date >> shift));
  c[3] = {{0x05}, ms};                                                  // date
  c[4] = {{0x08}, {}};                                                  // date_sent 0
  c[8] = type == 1 ? Column{{0x09}, {}} : Column{{0x01}, {type}};       // type
  c[9] = {{0x08}, {}};                                                  // reply_path_present 0
  c[11] = Text(body);                                                   // body
  return c;
}

// The record's bytes from column 1's serial type on: the serial types, then
// the contents.
std::vector<std::uint8_t> RecordBytes(const std::vector<Column>& columns) {
  std::vector<std::uint8_t> out;
  for (const Column& c : columns) out.insert(out.end(), c.serialType.begin(), c.serialType.end());
  for (const Column& c : columns) out.insert(out.end(), c.content.begin(), c.content.end());
  return out;
}

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t value) { return std::vector<std::uint8_t>(n, value); }

TEST_F(FixedSmsCarveTest, ColumnOnesSerialTypeIsTheByteBeforeColumnTwosWhateverItsValue) {
  // Column 1 (thread_id) by any serial type, its content first in the body;
  // a second record follows the first's content at once.
  struct Case {
    const char* name;
    Column column1;
  };
  const std::string text58 = "0123456789012345678901234567890123456789012345678901234567";
  const std::vector<Case> cases = {
      {"0x81: a 58-byte text", {{0x81}, {text58.begin(), text58.end()}}},
      {"0xFF: a 121-byte text", {{0xFF}, Bytes(121, 'y')}},
      {"0x80: a 58-byte blob", {{0x80}, Bytes(58, 0x05)}},
      {"0x7F: a 57-byte text", {{0x7F}, Bytes(57, 'z')}},
      {"a float", {{0x07}, {0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18}}},
      {"an 8-byte integer", {{0x06}, Bytes(8, 0x05)}},
      {"NULL", {{0x00}, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::uint8_t> first =
        RecordBytes(Sms4x(c.column1, "10086", 1400000000000, 1, "first body"));
    const std::vector<std::uint8_t> second =
        RecordBytes(Sms4x({{0x01}, {0x07}}, "95588", 1400000100000, 2, "second body"));
    std::vector<std::uint8_t> both = first;
    both.insert(both.end(), second.begin(), second.end());
    constexpr std::size_t kAt = 520;
    testdb::WriteBytes(path, CraftedFile(2, kAt, both));
    view = RecordingScanView();
    SmsRecords.clear();
    Carve();

    EXPECT_EQ(view.sectorDebugLines,
              (std::vector<std::string>{std::to_string(kAt + 1), std::to_string(kAt + first.size() + 1)}));
    ASSERT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.rows[0], (std::vector<std::string>{"0", "10086", UnixMsToText(1400000000000), "接收",
                                                      "first body"}));
    EXPECT_EQ(view.rows[1], (std::vector<std::string>{"1", "95588", UnixMsToText(1400000100000), "发送",
                                                      "second body"}));
    ASSERT_EQ(SmsRecords.size(), 2u);
    EXPECT_EQ(SmsRecords[0].Body, "first body");
    ExpectIdle();
  }
}

TEST_F(FixedSmsCarveTest, ALongSerialTypeMovesTheWalkPastTheWholeHeader) {
  // A header matching the 4.x pattern with serial types of more than four
  // bytes among columns 11 to 29. The bytes at the end of the first long one
  // start a second match of the pattern, which lies inside that header and is
  // not tested; the walk goes on where the header's serial types end, where a
  // real record's column 2 starts (its column 1 is the header's last byte, a
  // NULL).
  struct Case {
    const char* name;
    std::vector<std::vector<std::uint8_t>> longTypes;  // columns 11, 20 (empty: NULL)
  };
  const std::vector<Case> cases = {
      {"one of five bytes", {{0x80, 0x80, 0x80, 0x80, 0x0F}, {}}},
      {"five and six bytes", {{0x80, 0x80, 0x80, 0x80, 0x0F}, {0x81, 0x81, 0x81, 0x81, 0x81, 0x01}}},
      {"a ninth byte ends a serial type whatever its value",
       {{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x8F}, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Columns 1 to 29: the pattern, then the long serial types; column 12
    // onwards make the bytes from the first long one's last byte on fit the
    // pattern (0, 5, 0, then zeros).
    std::vector<std::uint8_t> header = {0x00, 0x0F, 0x00, 0x05, 0x08, 0x00, 0x09, 0x00, 0x09, 0x08};
    for (int column = 11; column <= 29; ++column) {
      if (column == 11 && !c.longTypes[0].empty()) {
        header.insert(header.end(), c.longTypes[0].begin(), c.longTypes[0].end());
      } else if (column == 20 && !c.longTypes[1].empty()) {
        header.insert(header.end(), c.longTypes[1].begin(), c.longTypes[1].end());
      } else {
        header.push_back(column == 13 ? 0x05 : 0x00);
      }
    }
    const std::size_t headerRead = header.size() - 1;  // K: columns 2 to 29
    const std::vector<std::uint8_t> next =
        RecordBytes(Sms4x({{0x00}, {}}, "10086", 1400000000000, 1, "after the long header"));
    header.insert(header.end(), next.begin() + 1, next.end());  // its column 1: the header's last byte
    constexpr std::size_t kAt = 600;
    testdb::WriteBytes(path, CraftedFile(2, kAt, header));
    view = RecordingScanView();
    Carve();

    const std::size_t pos = kAt + 1;
    EXPECT_EQ(view.sectorDebugLines,
              (std::vector<std::string>{std::to_string(pos), std::to_string(pos + headerRead)}));
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0], (std::vector<std::string>{"0", "10086", UnixMsToText(1400000000000), "接收",
                                                      "after the long header"}));
  }
}

TEST_F(FixedSmsCarveTest, AHeaderOrContentThatWouldRunPastTheImageIsNoHit) {
  // Records at the end of the file's last page, each missing its last bytes.
  std::vector<std::uint8_t> datePast = {0x00, 0x0F, 0x00, 0x05, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01};
  for (int c = 11; c <= 29; ++c) datePast.push_back(0x00);
  datePast.insert(datePast.end(), {0x41, 0x00, 0x00});  // the date's six bytes are not all there
  std::vector<std::uint8_t> column1Past =
      RecordBytes(Sms4x({{0xFF}, Bytes(121, 'y')}, "10086", 1400000000000, 1, "body"));
  column1Past.resize(1 + 28 + 100);  // column 1's text cut after 100 bytes
  std::vector<std::uint8_t> serialTypePast = {0x00, 0x0F, 0x00, 0x05, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01};
  serialTypePast.insert(serialTypePast.end(), {0x00, 0x81, 0x81});  // column 12's varint goes on past the end
  for (const auto& [name, tail] : std::vector<std::pair<const char*, std::vector<std::uint8_t>>>{
           {"a column's content", datePast}, {"column 1's content", column1Past},
           {"a serial type", serialTypePast}}) {
    SCOPED_TRACE(name);
    testdb::WriteBytes(path, CraftedFile(2, 1024 - tail.size(), tail));
    view = RecordingScanView();
    Carve();
    EXPECT_EQ(view.sectorDebugLines, (std::vector<std::string>{std::to_string(1024 - tail.size() + 1)}));
    EXPECT_TRUE(view.rows.empty());
    ExpectIdle();
  }
}

TEST(FixedSmsLayoutTest, TheLayoutComesFromThe665BytesAfterTheFirstCreateText) {
  const std::string create = "CREATE TABLE sms (";
  struct Case {
    const char* name;
    std::string image;
    const FixedSmsLayout* layout;
  };
  auto at = [](std::size_t offset, const std::string& text, std::size_t size) {
    std::string s(size, 'x');
    s.replace(offset, text.size(), text);
    return s;
  };
  std::string dateSentAtEdge = at(100, create, 2000);
  dateSentAtEdge.replace(100 + 665 - 9, 9, "date_sent");  // its last byte is the window's last
  std::string dateSentPastEdge = at(100, create, 2000);
  dateSentPastEdge.replace(100 + 665 - 8, 9, "date_sent");
  std::string laterCopy = at(10, create, 3000);
  laterCopy.replace(1000, create.size() + 9, create + "date_sent");
  const std::vector<Case> cases = {
      {"no text", std::string(5000, 'x'), nullptr},
      {"empty image", "", nullptr},
      {"date_sent ends the window", dateSentAtEdge, &FixedSmsLayout4x()},
      {"date_sent one byte past it", dateSentPastEdge, &FixedSmsLayout2x()},
      {"only a later copy names it", laterCopy, &FixedSmsLayout2x()},
      {"window cut by the image's end", at(0, create + "a, date_sent", 30), &FixedSmsLayout4x()},
      {"text in the image's last bytes", at(82, create, 100), &FixedSmsLayout2x()},
      {"text cut by the image's end", at(83, create.substr(0, 17), 100), nullptr},
      {"text across a search stretch", at(4090, create + "date_sent", 5000), &FixedSmsLayout4x()},
      {"text at a search stretch's start", at(4096, create, 5000), &FixedSmsLayout2x()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::uint8_t> bytes(c.image.begin(), c.image.end());
    EXPECT_EQ(DetectFixedSmsLayout(bytes), c.layout);
  }
}

TEST(FixedSmsLayoutTest, HeaderPatternsOfBothLayouts) {
  // Bytes from pos on; the base case of each layout matches.
  const std::vector<std::uint8_t> base2 = {0x0F, 0x00, 0x05, 0x01, 0x01, 0x01, 0x01, 0x01};
  const std::vector<std::uint8_t> base4 = {0x0F, 0x00, 0x05, 0x05, 0x01, 0x09, 0x01, 0x09, 0x08};
  struct Case {
    const char* name;
    bool is4x;
    std::size_t index;
    std::uint8_t value;
    bool matches;
  };
  const std::vector<Case> cases = {
      {"2.X as it is", false, 0, 0x0F, true},
      {"address NULL", false, 0, 0x00, true},
      {"address 127", false, 0, 127, true},
      {"address 11", false, 0, 11, false},
      {"address even", false, 0, 14, false},
      {"address 129", false, 0, 129, false},
      {"person 4", false, 1, 4, true},
      {"person 5", false, 1, 5, false},
      {"date 4", false, 2, 4, false},
      {"date 6", false, 2, 6, false},
      {"protocol 4", false, 3, 4, true},
      {"protocol 5", false, 3, 5, false},
      {"read 0", false, 4, 0, true},
      {"read 2", false, 4, 2, false},
      {"reply_path_present 9", false, 7, 9, false},
      {"4.X as it is", true, 0, 0x0F, true},
      {"date_sent 0", true, 3, 0, true},
      {"date_sent 8", true, 3, 8, true},
      {"date_sent 4", true, 3, 4, false},
      {"date_sent 9", true, 3, 9, false},
      {"type 9", true, 7, 9, true},
      {"type 10", true, 7, 10, false},
      {"pos + 8 at 9", true, 8, 9, true},
      {"pos + 8 at 10", true, 8, 10, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> bytes = c.is4x ? base4 : base2;
    bytes[c.index] = c.value;
    const FixedSmsLayout& layout = c.is4x ? FixedSmsLayout4x() : FixedSmsLayout2x();
    EXPECT_EQ(MatchFixedSmsHeader(layout, bytes, 0), c.matches);
    // The pattern never reads past the image: one byte short is no match.
    bytes.pop_back();
    EXPECT_FALSE(MatchFixedSmsHeader(layout, bytes, 0));
  }
}

}  // namespace
}  // namespace velmora
