#include "engine/IosMessagesScanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "IosKindsFixtures.h"
#include "TestDb.h"
#include "engine/SQLiteTable3.h"

namespace velmora {
namespace {

using iosfix::FixtureDb;
using iosfix::Message;
using iosfix::Val;

// The row of the message whose body is `body`, or nullptr.
const std::vector<std::string>* RowWithBody(const RecordingScanView& view, const std::string& body) {
  for (const auto& r : view.rows)
    if (r.size() == 5 && r[4] == body) return &r;
  return nullptr;
}

// One iOS release's message table.
struct SmsLayout {
  const char* name;
  const char* messageTable;
};
std::ostream& operator<<(std::ostream& os, const SmsLayout& l) { return os << l.name; }

class IosMessagesScanTest : public ::testing::TestWithParam<SmsLayout> {
 protected:
  testdb::TempDir dir;
  testdb::ScanFixtureState state;
  RecordingScanView& view = state.view;
  std::string path = dir.File("sms.db");

  // A database of the parameter's layout; `fill` adds chats and messages.
  template <typename Fill>
  void Build(Fill fill, bool withChat = true) {
    {
      FixtureDb db(path);
      db.Exec("PRAGMA page_size=4096; PRAGMA journal_mode=DELETE");
      iosfix::CreateSmsTables(db, GetParam().messageTable, withChat);
      fill(db);
    }
  }
  void Scan() {
    testdb::ScanFixtureState::Target(path);
    RunIosMessagesScan(view);
  }
  void ExpectIdle() const {
    EXPECT_TRUE(ScanStopRequested);
    EXPECT_TRUE(ScanEnabled);
    EXPECT_TRUE(view.IsEnabled(ScanCommand::Start));
    EXPECT_FALSE(view.IsEnabled(ScanCommand::Stop));
  }
};

TEST_P(IosMessagesScanTest, LiveMessagesCarryTheirChatTimeTypeAndText) {
  Build([](FixtureDb& db) {
    iosfix::AddChat(db, 1, "+8613800138000");
    iosfix::AddChat(db, 2, "张三@example.com");
    iosfix::AddMessage(db, iosfix::Msg(std::string("你好，明天见"), std::int64_t{0}, std::int64_t{400000000}, 1));
    iosfix::AddMessage(db, iosfix::Msg(std::string("sent text"), std::int64_t{1}, std::int64_t{400000100}, 2));
    iosfix::AddMessage(db, iosfix::Msg(std::string("draft text"), std::int64_t{2}, std::int64_t{400000000}, 1));
    iosfix::AddMessage(db, iosfix::Msg(std::string("type three"), std::int64_t{3}, std::int64_t{400000000}, 1));
    iosfix::AddMessage(db, iosfix::Msg(std::string("type nine"), std::int64_t{9}, std::int64_t{400000000}, 1));
    iosfix::AddMessage(db, iosfix::Msg(std::string("type ten"), std::int64_t{10}, std::int64_t{400000000}, 1));
    iosfix::AddMessage(db, iosfix::Msg(std::string("type null"), nullptr, std::int64_t{400000000}, 1));
    iosfix::AddMessage(db, iosfix::Msg(std::string("no chat row"), std::int64_t{0}, std::int64_t{400000000}, 0));
    iosfix::AddMessage(db, iosfix::Msg(std::string("date zero"), std::int64_t{0}, std::int64_t{0}, 1));
    // The year bounds 1979 and 2099 (seconds from 2001-01-01 08:00:00).
    iosfix::AddMessage(db, iosfix::Msg(std::string("in 1978"), std::int64_t{0}, std::int64_t{-694339201}, 1));
    iosfix::AddMessage(db, iosfix::Msg(std::string("in 1979"), std::int64_t{0}, std::int64_t{-694339199}, 1));
    iosfix::AddMessage(db, iosfix::Msg(std::string("in 2099"), std::int64_t{0}, std::int64_t{3124108799}, 1));
    iosfix::AddMessage(db, iosfix::Msg(std::string("in 2100"), std::int64_t{0}, std::int64_t{3124108800}, 1));
  });
  SmsRecords.push_back({"stale", "", "", "", false});  // emptied at the start
  Scan();

  using Row = std::vector<std::string>;
  ASSERT_NE(RowWithBody(view, "你好，明天见"), nullptr);
  EXPECT_EQ(*RowWithBody(view, "你好，明天见"),
            (Row{"+8613800138000", "2013-09-04 23:06:40", "接收", "正常", "你好，明天见"}));
  // The chat identifier is UTF-8 like every other text.
  EXPECT_EQ(*RowWithBody(view, "sent text"),
            (Row{"张三@example.com", "2013-09-04 23:08:20", "发送", "正常", "sent text"}));
  EXPECT_EQ((*RowWithBody(view, "draft text"))[2], "草稿");
  EXPECT_EQ((*RowWithBody(view, "type three"))[2], "其它");
  EXPECT_EQ((*RowWithBody(view, "type nine"))[2], "其它");
  EXPECT_EQ(RowWithBody(view, "type ten"), nullptr);
  EXPECT_EQ(RowWithBody(view, "type null"), nullptr);
  EXPECT_EQ((*RowWithBody(view, "no chat row"))[0], "未知");
  EXPECT_EQ((*RowWithBody(view, "date zero"))[1], "2001-01-01 08:00:00");
  EXPECT_EQ(RowWithBody(view, "in 1978"), nullptr);
  ASSERT_NE(RowWithBody(view, "in 1979"), nullptr);
  EXPECT_EQ((*RowWithBody(view, "in 1979"))[1], "1979-01-01 00:00:01");
  ASSERT_NE(RowWithBody(view, "in 2099"), nullptr);
  EXPECT_EQ((*RowWithBody(view, "in 2099"))[1], "2099-12-31 23:59:59");
  EXPECT_EQ(RowWithBody(view, "in 2100"), nullptr);

  ASSERT_EQ(view.rows.size(), 9u);
  ASSERT_EQ(SmsRecords.size(), 9u);
  for (std::size_t i = 0; i < view.rows.size(); ++i) {
    const Row& r = view.rows[i];
    const PSMSvalue& m = SmsRecords[i];
    EXPECT_EQ(m.Address, r[0]);
    EXPECT_EQ(m.DateText, r[1]);
    EXPECT_EQ(m.TypeText, r[2]);
    EXPECT_EQ(m.Body, r[4]);
    EXPECT_FALSE(m.Deleted);
  }

  EXPECT_EQ(view.status[0], "扫描完成");
  EXPECT_EQ(view.status[2], "找到 9 条短信, 0条删除");
  ASSERT_EQ(view.log.size(), 2u);
  EXPECT_EQ(view.log[1].message, "扫描完成,共找到 9 条短信, 其中有0条删除");
  ASSERT_EQ(view.tree.size(), 3u);
  EXPECT_EQ(view.TreeText(0), "短信(9)");
  EXPECT_EQ(view.TreeText(1), "正常短信(9)");
  EXPECT_EQ(view.TreeText(2), "删除短信(0)");
  EXPECT_EQ(view.tree[0].tag, (TResultNodeTag{kKindMessages, kFilterAll}));
  EXPECT_EQ(view.tree[1].tag, (TResultNodeTag{kKindMessages, kFilterLive}));
  EXPECT_EQ(view.tree[2].tag, (TResultNodeTag{kKindMessages, kFilterDeleted}));
  EXPECT_TRUE(state.boxes.shown().empty());
  ExpectIdle();
}

TEST_P(IosMessagesScanTest, RowIdsOfOneToThreeVarintBytesFindTheirChats) {
  Build([](FixtureDb& db) {
    for (std::int64_t rowid : {127, 128, 16384}) {
      iosfix::AddChat(db, rowid, "chat-" + std::to_string(rowid));
      iosfix::AddMessage(db, iosfix::Msg("message " + std::to_string(rowid), std::int64_t{1},
                                         std::int64_t{400000000}, rowid, rowid));
    }
  });
  Scan();
  for (std::int64_t rowid : {127, 128, 16384}) {
    const auto* row = RowWithBody(view, "message " + std::to_string(rowid));
    ASSERT_NE(row, nullptr) << rowid;
    EXPECT_EQ((*row)[0], "chat-" + std::to_string(rowid));
  }
}

TEST_P(IosMessagesScanTest, AHeaderWithFiveTwoByteSerialTypesIsFound) {
  const std::string longText(100, 'x');
  Build([&](FixtureDb& db) {
    iosfix::AddChat(db, 1, "+8610086");
    Message m = iosfix::Msg(std::string(120, 'b'), std::int64_t{1}, std::int64_t{400000000}, 1);
    m.longTexts = {longText + "1", longText + "2", longText + "3", longText + "4", longText + "5"};
    iosfix::AddMessage(db, m);
  });
  Scan();
  const auto* row = RowWithBody(view, std::string(120, 'b'));
  ASSERT_NE(row, nullptr);
  EXPECT_EQ((*row)[0], "+8610086");
  EXPECT_EQ((*row)[2], "发送");
}

TEST_P(IosMessagesScanTest, ADeletedMessageIsFoundAsDeleted) {
  Build([](FixtureDb& db) {
    iosfix::AddChat(db, 1, "+8613800138000");
    iosfix::AddMessage(db, iosfix::Msg(std::string("kept message"), std::int64_t{0}, std::int64_t{400000000}, 1));
    iosfix::AddMessage(db, iosfix::Msg(std::string("this one was deleted"), std::int64_t{1}, std::int64_t{400000000}, 1));
    iosfix::AddMessage(db, iosfix::Msg(std::string("another kept one"), std::int64_t{0}, std::int64_t{400000000}, 1));
    db.Exec("DELETE FROM message WHERE text = 'this one was deleted'");
  });
  Scan();
  const auto* deleted = RowWithBody(view, "this one was deleted");
  ASSERT_NE(deleted, nullptr);
  EXPECT_EQ((*deleted)[3], "删除");
  EXPECT_EQ((*RowWithBody(view, "kept message"))[3], "正常");
  EXPECT_EQ((*RowWithBody(view, "another kept one"))[3], "正常");
  EXPECT_EQ(view.TreeText(2), "删除短信(1)");
}

TEST_P(IosMessagesScanTest, ALookUpErrorEndsTheScanWithAnErrorBoxAndIdleControls) {
  Build([](FixtureDb& db) {
    iosfix::AddMessage(db, iosfix::Msg(std::string("orphan"), std::int64_t{0}, std::int64_t{400000000}, 0));
  }, /*withChat=*/false);
  Scan();
  ASSERT_EQ(state.boxes.shown().size(), 1u);
  EXPECT_EQ(state.boxes.shown()[0].icon, platform::MbIcon::Error);
  EXPECT_NE(state.boxes.shown()[0].text.find("Error executing SQL"), std::string::npos);
  EXPECT_TRUE(SmsRecords.empty());
  // No finish texts: the log holds the start row only.
  EXPECT_EQ(view.log.size(), 1u);
  ExpectIdle();
}

// Where the look-up runs its statement per candidate (here the plan searches
// an index on an expression, whose order the map does not follow), an error
// in a later candidate's look-up ends the scan and keeps the hits so far.
TEST_P(IosMessagesScanTest, ALookUpErrorDuringTheWalkKeepsTheHitsSoFar) {
  // Messages with large bodies, so that they spread over many pages.
  Build([](FixtureDb& db) {
    db.Exec("DROP INDEX chat_message_join_idx_message_id_only; CREATE INDEX "
            "chat_message_join_by_expression ON chat_message_join(message_id, chat_id + 0)");
    iosfix::AddChat(db, 1, "+8613800138000");
    for (int i = 0; i < 40; ++i)
      iosfix::AddMessage(db, iosfix::Msg("message " + std::to_string(i) + std::string(1500, '.'),
                              std::int64_t{0}, std::int64_t{400000000}, 1));
  });
  // After the first hit every look-up of the scan's own connection (which
  // holds the file for the walk) fails.
  CarveKind kind = IosMessagesKind();
  const auto lookUp = kind.beforeChecks;
  bool dropped = false;
  kind.beforeChecks = [&](CarvedRecord& rec, CarveRun& run) {
    if (!dropped && !SmsRecords.empty()) {
      testdb::InterruptEveryStatement(*run.database);
      dropped = true;
    }
    lookUp(rec, run);
  };
  testdb::ScanFixtureState::Target(path);
  RunCarve(view, kind);
  ASSERT_TRUE(dropped);
  ASSERT_EQ(state.boxes.shown().size(), 1u);
  EXPECT_EQ(state.boxes.shown()[0].icon, platform::MbIcon::Error);
  EXPECT_GT(SmsRecords.size(), 0u);
  EXPECT_LT(SmsRecords.size(), 40u);
  EXPECT_EQ(view.rows.size(), SmsRecords.size());
  ExpectIdle();
}

TEST_P(IosMessagesScanTest, StopEndsTheWalkWithTheFinishTextsOfTheHitsSoFar) {
  Build([](FixtureDb& db) {
    iosfix::AddChat(db, 1, "+8613800138000");
    for (int i = 0; i < 40; ++i)
      iosfix::AddMessage(db, iosfix::Msg("message " + std::to_string(i) + std::string(1500, '.'),
                              std::int64_t{0}, std::int64_t{400000000}, 1));
  });
  view.onPump = [&] {
    if (SmsRecords.size() >= 2) ScanStopRequested = true;
  };
  Scan();
  EXPECT_GE(SmsRecords.size(), 2u);
  EXPECT_LT(SmsRecords.size(), 40u);
  const std::string n = std::to_string(SmsRecords.size());
  const std::string d = std::to_string(
      std::count_if(SmsRecords.begin(), SmsRecords.end(), [](const PSMSvalue& m) { return m.Deleted; }));
  EXPECT_EQ(view.TreeText(0), "短信(" + n + ")");
  EXPECT_EQ(view.log.back().message, "扫描完成,共找到 " + n + " 条短信, 其中有" + d + "条删除");
  EXPECT_TRUE(state.boxes.shown().empty());
  ExpectIdle();
  // The database has been closed: another connection may take it over.
  EXPECT_NO_THROW(FixtureDb(path).Exec("BEGIN EXCLUSIVE; COMMIT"));
}

INSTANTIATE_TEST_SUITE_P(IosReleases, IosMessagesScanTest,
                         ::testing::Values(SmsLayout{"Ios6", iosfix::kMessageTableIos6},
                                           SmsLayout{"Ios10", iosfix::kMessageTableIos10}),
                         [](const auto& info) { return std::string(info.param.name); });

class IosMessagesSchemaTest : public ::testing::Test {
 protected:
  testdb::TempDir dir;
  testdb::ScanFixtureState state;
  std::string path = dir.File("sms.db");
};

TEST_F(IosMessagesSchemaTest, AFileWithoutTableMessageShowsTheMissingTableText) {
  testdb::Build(path, std::string(iosfix::kChatTable) + ";" + iosfix::kChatMessageJoinTable);
  testdb::ScanFixtureState::Target(path);
  RunIosMessagesScan(state.view);
  ASSERT_EQ(state.boxes.shown().size(), 1u);
  EXPECT_EQ(state.boxes.shown()[0].text, "没有找短信记录，扫描结束！");
  EXPECT_EQ(state.boxes.shown()[0].caption, "提示");
  EXPECT_EQ(state.view.TreeText(0), "短信");
  EXPECT_TRUE(state.view.IsEnabled(ScanCommand::Start));
}

TEST_F(IosMessagesSchemaTest, AFileThatIsNoDatabaseIsRejected) {
  testdb::WriteBytes(path, std::vector<std::uint8_t>(4096, 'x'));
  testdb::ScanFixtureState::Target(path);
  RunIosMessagesScan(state.view);
  ASSERT_EQ(state.boxes.shown().size(), 1u);
  EXPECT_EQ(state.boxes.shown()[0].text, "无效的数据文件！");
}

// The row id is read backwards from three bytes before column 1's serial
// type: [row id ...][header length][column 0 type][column 1 type].
struct RowIdCase {
  std::vector<std::uint8_t> bytesBefore;  // ending with the row id's last byte
  std::optional<std::int64_t> rowid;
};

class ReadRowIdBeforeTest : public ::testing::TestWithParam<RowIdCase> {};

TEST_P(ReadRowIdBeforeTest, ReadsOneToFourBytesBackwards) {
  std::vector<std::uint8_t> image = GetParam().bytesBefore;
  const std::size_t p = image.size() + 2;
  image.insert(image.end(), {0x30, 0x00, 0x2D});  // header length, column 0, column 1
  EXPECT_EQ(ReadRowIdBefore(image, p), GetParam().rowid);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadRowIdBeforeTest,
    ::testing::Values(RowIdCase{{0x05, 0x7F}, 127}, RowIdCase{{0x05, 0x81, 0x00}, 128},
                      RowIdCase{{0x05, 0x81, 0x80, 0x00}, 16384},
                      RowIdCase{{0x05, 0xFF, 0xFF, 0xFF, 0x7F}, 268435455},
                      // Five bytes: not read.
                      RowIdCase{{0x05, 0x81, 0x80, 0x80, 0x80, 0x00}, std::nullopt},
                      // The varint would start before the image.
                      RowIdCase{{0x81, 0x00}, std::nullopt}));

TEST(ReadRowIdBefore, StaysInsideTheImage) {
  const std::vector<std::uint8_t> image = {0x81, 0x82};
  for (std::size_t p = 0; p < 8; ++p) EXPECT_EQ(ReadRowIdBefore(image, p), std::nullopt) << p;
}

// The text bound of this kind is twice the page size: a text of up to the
// page size less 7 bytes passes the candidate test.
TEST(IosMessagesHeaderTest, TextsUpToThePageSizeLessSevenBytesPass) {
  ATableField columns(2);
  columns[1] = {"text", "c", 13, false};
  const HeaderMatcher matcher(columns, HeaderTest::VarintEach, 2 * 1024);
  auto header = [](std::uint64_t serialType) {
    std::vector<std::uint8_t> b;
    b.push_back(static_cast<std::uint8_t>(0x80 | (serialType >> 7)));
    b.push_back(static_cast<std::uint8_t>(serialType & 0x7F));
    b.resize(64, 0);
    return b;
  };
  EXPECT_TRUE(matcher.Match(header(2 * 1017 + 13), 0));
  EXPECT_FALSE(matcher.Match(header(2 * 1018 + 13), 0));
}

// ------------------------------------------- the map against the statement

// One way of declaring the chat and join tables.
struct ChatSchemaCase {
  const char* name;
  const char* chat;  // CREATE TABLE chat ...
  const char* join;  // CREATE TABLE chat_message_join ... and its indexes
  bool map;          // answered from the map, not the statement
};
std::ostream& operator<<(std::ostream& os, const ChatSchemaCase& c) { return os << c.name; }

class ChatLookupMapTest : public ::testing::TestWithParam<ChatSchemaCase> {};

// Every row id gets the address of the statement: several chats for one
// message (the first row in the plan's order wins, also when its chat is
// gone), NULL and "NULL" identifiers, identifiers holding a NUL byte,
// integer, real and blob identifiers, NULL, text and real chat ids and
// message ids, and row ids without a chat.
TEST_P(ChatLookupMapTest, GivesTheAddressOfTheStatementForEveryRowId) {
  testdb::TempDir dir;
  const std::string path = dir.File("sms.db");
  const std::string chats =
      "INSERT INTO chat (ROWID, chat_identifier) VALUES (1, '+8613800138000'), (2, NULL), "
      "(3, CAST(X'610062' AS TEXT)), (4, 42), (5, 1.5), (6, X'6869'), (7, 'NULL'), (8, '');";
  // Inserted out of chat order, so that row order, chat order and index
  // order differ.
  const char* joins[][2] = {
      {"3", "1"},     {"1", "1"},    {"8", "1"},     {"2", "2"},   {"99", "3"},  {"1", "3"},
      {"4", "4"},     {"5", "5"},    {"6", "6"},     {"NULL", "7"}, {"'1'", "8"}, {"1.0", "9"},
      {"'x'", "9"},   {"1", "'10'"}, {"4", "11.0"},  {"1", "'abc'"}, {"1", "NULL"}, {"7", "12"},
      {"4", "12"},    {"6", "13"},   {"3", "13"},    {"1", "11.5"}, {"5", "' 14'"}, {"2", "14"},
      {"1", "X'3135'"}, {"2.5", "15"}, {"1", "15"},  {"7", "127"},  {"8", "128"},  {"3", "16384"}};
  std::string sql = std::string(GetParam().chat) + ";" + GetParam().join + ";" + chats;
  for (const auto& j : joins) {
    sql += std::string("INSERT OR IGNORE INTO chat_message_join (chat_id, message_id) VALUES (") + j[0] +
           ", " + j[1] + ");";
  }
  testdb::Build(path, sql);

  TSQLiteDatabase db(path);
  ChatIdentifierLookup lookup(db);
  ChatIdentifierStatement statement(db);
  std::vector<std::int64_t> rowIds;
  for (std::int64_t id = -1; id <= 20; ++id) rowIds.push_back(id);
  for (std::int64_t id : {127, 128, 16384, 268435455}) rowIds.push_back(id);
  int unknown = 0;
  for (std::int64_t id : rowIds) {
    const std::string expected = statement.ForRowId(id);
    EXPECT_EQ(lookup.ForRowId(id), expected) << "row id " << id;
    unknown += expected == kUnknownAddress ? 1 : 0;
  }
  EXPECT_GT(unknown, 0);
  EXPECT_LT(unknown, static_cast<int>(rowIds.size()) / 2);
  EXPECT_EQ(lookup.UsesMap(), GetParam().map);
}

constexpr const char* kIosChat =
    "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT, chat_identifier TEXT)";
constexpr const char* kIosJoin =
    "CREATE TABLE chat_message_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, "
    "message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE, PRIMARY KEY (chat_id, "
    "message_id))";

INSTANTIATE_TEST_SUITE_P(
    Schemas, ChatLookupMapTest,
    ::testing::Values(
        ChatSchemaCase{"IndexOnMessageId", kIosChat,
                       "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER, "
                       "PRIMARY KEY (chat_id, message_id)); CREATE INDEX j1 ON "
                       "chat_message_join(message_id)",
                       true},
        ChatSchemaCase{"PrimaryKeyOnly", kIosChat, kIosJoin, true},
        ChatSchemaCase{"NoKeyNoIndex", kIosChat,
                       "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER)", true},
        ChatSchemaCase{"IndexWithChatDescending", kIosChat,
                       "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER); "
                       "CREATE INDEX j1 ON chat_message_join(message_id, chat_id DESC)",
                       true},
        ChatSchemaCase{"TextMessageIdNoCase", kIosChat,
                       "CREATE TABLE chat_message_join (chat_id TEXT, message_id TEXT COLLATE "
                       "NOCASE); CREATE INDEX j1 ON chat_message_join(message_id)",
                       true},
        ChatSchemaCase{"UntypedColumns", "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY, chat_identifier)",
                       "CREATE TABLE chat_message_join (chat_id, message_id)", true},
        ChatSchemaCase{"RealIdentifierColumn",
                       "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY, chat_identifier REAL)",
                       "CREATE TABLE chat_message_join (chat_id, message_id NUMERIC); CREATE "
                       "INDEX j1 ON chat_message_join(message_id)",
                       true},
        // Plans the map does not follow: the statement answers.
        ChatSchemaCase{"WithoutRowId", kIosChat,
                       "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER, "
                       "PRIMARY KEY (message_id, chat_id)) WITHOUT ROWID",
                       false},
        ChatSchemaCase{"ChatWithoutIntegerRowId",
                       "CREATE TABLE chat (ROWID TEXT, chat_identifier TEXT)", kIosJoin, false},
        ChatSchemaCase{"IndexOnAnExpression", kIosChat,
                       "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER); "
                       "CREATE INDEX j1 ON chat_message_join(message_id, chat_id + 1)",
                       false}),
    [](const auto& info) { return std::string(info.param.name); });

// Message ids that lie close together (as they count up from 1) are
// answered as the statement answers them too: ids with two chats, with a
// chat that is gone, without a row, and ids around and outside the range.
TEST(ChatLookupMap, CloseTogetherMessageIdsGiveTheAddressOfTheStatement) {
  testdb::TempDir dir;
  const std::string path = dir.File("sms.db");
  std::string sql = std::string(kIosChat) + ";" + kIosJoin +
                    "; CREATE INDEX j1 ON chat_message_join(message_id);"
                    "INSERT INTO chat (ROWID, chat_identifier) VALUES (1, 'a'), (2, NULL), (3, 'c'), "
                    "(4, '+8613800138000');";
  for (int id = 300; id >= 1; --id) {
    if (id % 7 == 0) continue;  // no row
    const int chat = id % 11 == 0 ? 9 : 1 + id % 4;  // chat 9 is gone
    sql += "INSERT INTO chat_message_join (chat_id, message_id) VALUES (" + std::to_string(chat) + ", " +
           std::to_string(id) + ");";
    if (id % 5 == 0)
      sql += "INSERT INTO chat_message_join (chat_id, message_id) VALUES (" + std::to_string(1 + (chat + 1) % 4) +
             ", " + std::to_string(id) + ");";
  }
  testdb::Build(path, sql);

  TSQLiteDatabase db(path);
  ChatIdentifierLookup lookup(db);
  ChatIdentifierStatement statement(db);
  for (std::int64_t id = -2; id <= 305; ++id) {
    const std::string expected = statement.ForRowId(id);
    EXPECT_EQ(lookup.ForRowId(id), expected) << "row id " << id;
  }
  for (const std::int64_t id : {std::int64_t{1} << 40, INT64_MIN, INT64_MAX})
    EXPECT_EQ(lookup.ForRowId(id), kUnknownAddress) << "row id " << id;
  EXPECT_TRUE(lookup.UsesMap());
}

TEST(ChatLookupMap, AMissingTableFailsAsTheStatementFails) {
  testdb::TempDir dir;
  const std::string path = dir.File("sms.db");
  testdb::Build(path, kIosJoin);
  TSQLiteDatabase db(path);
  ChatIdentifierLookup lookup(db);
  ChatIdentifierStatement statement(db);
  std::string expected, got;
  try {
    statement.ForRowId(1);
  } catch (const ESQLiteException& e) {
    expected = e.what();
  }
  try {
    lookup.ForRowId(1);
  } catch (const ESQLiteException& e) {
    got = e.what();
  }
  EXPECT_FALSE(expected.empty());
  EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace velmora
