#include "engine/WeChatScanner.h"

#include <gtest/gtest.h>

#include "IosKindsFixtures.h"
#include "TestDb.h"

namespace velmora {
namespace {

using iosfix::FixtureDb;
using iosfix::Val;

// ------------------------------------------------------------ display text

struct BodyCase {
  const char* message;
  const char* shown;
};

class RenderWeChatBodyTest : public ::testing::TestWithParam<BodyCase> {};

TEST_P(RenderWeChatBodyTest, GivesTheDisplayText) {
  EXPECT_EQ(RenderWeChatBody(GetParam().message), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderWeChatBodyTest,
    ::testing::Values(
        BodyCase{"<msg><voicemsg endflag=\"1\" length=\"7000\" voicelength=\"4500\" /></msg>",
                 "<语音消息 时间：4 秒>"},
        BodyCase{"<msg><voicemsg voicelength=\"999\" /></msg>", "<语音消息 时间：0 秒>"},
        BodyCase{"<msg><voicemsg voicelength=\"1234567\" /></msg>", "<语音消息 时间：1234 秒>"},
        // Eight digits leave no quote within the eight characters read.
        BodyCase{"<msg><voicemsg voicelength=\"12345678\" /></msg>", "<语音消息>"},
        BodyCase{"<msg><voicemsg length=\"7000\" /></msg>", "<语音消息>"},
        BodyCase{"<msg><voicemsg voicelength=\"abc\" /></msg>", "<语音消息>"},
        BodyCase{"<msg><voicemsg voicelength=\"\" /></msg>", "<语音消息>"},
        BodyCase{"<msg><voicemsg voicelength=\"45", "<语音消息>"},
        BodyCase{"<msg><img aeskey=\"0f1e\" length=\"2048\" /></msg>", "<图片消息>"},
        // Only at the very start, and the picture test needs its blank.
        BodyCase{" <msg><img length=\"2048\" /></msg>", " <msg><img length=\"2048\" /></msg>"},
        BodyCase{"<msg><imgx /></msg>", "<msg><imgx /></msg>"},
        BodyCase{"  <msg><voicemsg voicelength=\"4500\" /></msg>",
                 "  <msg><voicemsg voicelength=\"4500\" /></msg>"},
        BodyCase{"晚上一起吃饭吗？", "晚上一起吃饭吗？"}, BodyCase{"", ""}));

// ------------------------------------------------------------------- scans

constexpr const char* kChatA = "Chat_0b4e7a0e5fe84ad35fb5f95b9ceeac79";
constexpr const char* kChatB = "Chat_2c9f4d3e1a8b7c6d5e4f3a2b1c0d9e8f";
constexpr std::int64_t kTime = 1500000000;  // 2017-07-14 10:40:00

class WeChatScanTest : public ::testing::Test {
 protected:
  testdb::TempDir dir;
  testdb::ScanFixtureState state;
  RecordingScanView& view = state.view;
  std::string path = dir.File("MM.sqlite");

  // MM.sqlite with its Friend table and two chat tables of one layout;
  // `fill` adds the messages.
  template <typename Fill>
  void Build(Fill fill) {
    FixtureDb db(path);
    db.Exec("PRAGMA page_size=4096; PRAGMA journal_mode=DELETE");
    db.Exec(iosfix::kWeChatFriendTable);
    db.Exec(iosfix::WeChatChatTable(kChatA));
    db.Exec(iosfix::kWeChatChatExtTable);
    db.Exec(iosfix::WeChatChatTable(kChatB));
    fill(db);
  }
  void Scan() {
    testdb::ScanFixtureState::Target(path);
    RunWeChatScan(view);
  }
  const std::vector<std::string>* RowWithBody(const std::string& shown) const {
    for (const auto& r : view.rows)
      if (r.size() == 4 && r[1] == shown) return &r;
    return nullptr;
  }
};

TEST_F(WeChatScanTest, MessagesOfBothChatTablesAreCarvedWithTimeDirectionAndStatus) {
  const std::string voice = "<msg><voicemsg endflag=\"1\" voicelength=\"4500\" /></msg>";
  const std::string picture = "<msg><img aeskey=\"0f1e2d3c\" length=\"20480\" /></msg>";
  Build([&](FixtureDb& db) {
    iosfix::AddWeChatMessage(db, kChatA, kTime, std::string("在吗？"), std::int64_t{2});
    iosfix::AddWeChatMessage(db, kChatA, kTime + 60, std::string("received"), std::int64_t{4});
    iosfix::AddWeChatMessage(db, kChatA, kTime, voice, std::int64_t{4}, 34);
    iosfix::AddWeChatMessage(db, kChatB, kTime, picture, std::int64_t{2}, 3);
    iosfix::AddWeChatMessage(db, kChatB, kTime, std::string("status zero"), std::int64_t{0});
    iosfix::AddWeChatMessage(db, kChatB, kTime, std::string("status three"), std::int64_t{3});
    iosfix::AddWeChatMessage(db, kChatB, kTime, std::string("status 144"), std::int64_t{144});
    iosfix::AddWeChatMessage(db, kChatB, kTime, std::string("status 145"), std::int64_t{145});
    iosfix::AddWeChatMessage(db, kChatB, kTime, std::string("status null"), nullptr);
    iosfix::AddWeChatMessage(db, kChatA, 946656000 - 1, std::string("in 1999"), std::int64_t{2});
    iosfix::AddWeChatMessage(db, kChatA, 946656000 + 1, std::string("in 2000"), std::int64_t{2});
    iosfix::AddWeChatMessage(db, kChatA, 4102416000, std::string("in 2100"), std::int64_t{2});
  });
  WeChatRecords.push_back({"", "stale", "", "stale", false});  // replaced by the first hit
  Scan();

  using Row = std::vector<std::string>;
  ASSERT_NE(RowWithBody("在吗？"), nullptr);
  EXPECT_EQ(*RowWithBody("在吗？"), (Row{"2017-07-14 10:40:00", "在吗？", "发送", "正常"}));
  EXPECT_EQ(*RowWithBody("received"), (Row{"2017-07-14 10:41:00", "received", "接收", "正常"}));
  EXPECT_EQ((*RowWithBody("<语音消息 时间：4 秒>"))[2], "接收");
  EXPECT_EQ((*RowWithBody("<图片消息>"))[2], "发送");
  EXPECT_EQ((*RowWithBody("status zero"))[2], "其它");
  EXPECT_EQ((*RowWithBody("status three"))[2], "其它");
  EXPECT_EQ((*RowWithBody("status 144"))[2], "其它");
  EXPECT_EQ(RowWithBody("status 145"), nullptr);
  EXPECT_EQ(RowWithBody("status null"), nullptr);
  EXPECT_EQ(RowWithBody("in 1999"), nullptr);
  EXPECT_EQ((*RowWithBody("in 2000"))[0], "2000-01-01 00:00:01");
  EXPECT_EQ(RowWithBody("in 2100"), nullptr);

  ASSERT_EQ(view.rows.size(), 8u);
  ASSERT_EQ(WeChatRecords.size(), 8u);
  bool sawPictureXml = false, sawVoiceXml = false;
  for (std::size_t i = 0; i < view.rows.size(); ++i) {
    const PWXValue& w = WeChatRecords[i];
    EXPECT_EQ(w.Address, "");
    EXPECT_EQ(w.DateText, view.rows[i][0]);
    EXPECT_EQ(RenderWeChatBody(w.Message), view.rows[i][1]);
    EXPECT_EQ(w.TypeText, view.rows[i][2]);
    EXPECT_FALSE(w.Deleted);
    sawPictureXml |= w.Message == picture;
    sawVoiceXml |= w.Message == voice;
  }
  // The records keep the XML as stored.
  EXPECT_TRUE(sawPictureXml);
  EXPECT_TRUE(sawVoiceXml);

  EXPECT_EQ(view.status[2], "找到 8 条微信记录, 0条删除");
  EXPECT_EQ(view.log.back().message, "扫描完成,共找到 8 条微信记录, 其中有0条删除");
  EXPECT_EQ(view.TreeText(0), "微信记录(8)");
  EXPECT_EQ(view.TreeText(1), "正常微信记录(8)");
  EXPECT_EQ(view.TreeText(2), "删除微信记录(0)");
  EXPECT_EQ(view.tree[0].tag, (TResultNodeTag{kKindWeChat, kFilterAll}));
  EXPECT_EQ(view.tree[2].tag, (TResultNodeTag{kKindWeChat, kFilterDeleted}));
  EXPECT_TRUE(state.boxes.shown().empty());
  EXPECT_TRUE(view.IsEnabled(ScanCommand::Start));
  EXPECT_FALSE(view.IsEnabled(ScanCommand::Stop));
}

TEST_F(WeChatScanTest, TheRootReadsWeChatWhileTheScanRuns) {
  Build([](FixtureDb& db) {
    iosfix::AddWeChatMessage(db, kChatA, kTime, std::string("hello"), std::int64_t{2});
  });
  std::string during;
  view.onPump = [&] { during = view.TreeText(0); };
  Scan();
  EXPECT_EQ(during, "微信");
  EXPECT_EQ(view.TreeText(1), "正常微信记录(1)");
  EXPECT_EQ(view.TreeText(0), "微信记录(1)");
}

TEST_F(WeChatScanTest, ADeletedMessageIsReportedDeleted) {
  Build([](FixtureDb& db) {
    iosfix::AddWeChatMessage(db, kChatA, kTime, std::string("first kept"), std::int64_t{2});
    iosfix::AddWeChatMessage(db, kChatA, kTime, std::string("deleted later"), std::int64_t{4});
    iosfix::AddWeChatMessage(db, kChatA, kTime, std::string("last kept"), std::int64_t{2});
    db.Exec(std::string("DELETE FROM ") + kChatA + " WHERE Message = 'deleted later'");
  });
  Scan();
  ASSERT_NE(RowWithBody("deleted later"), nullptr);
  EXPECT_EQ((*RowWithBody("deleted later"))[3], "删除");
  EXPECT_EQ((*RowWithBody("first kept"))[3], "正常");
  EXPECT_EQ(view.TreeText(2), "删除微信记录(1)");
}

TEST_F(WeChatScanTest, ATextLongerThanAboutHalfAPageIsNotFound) {
  Build([](FixtureDb& db) {
    iosfix::AddWeChatMessage(db, kChatA, kTime, std::string(2000, 'a'), std::int64_t{2});
    iosfix::AddWeChatMessage(db, kChatA, kTime, std::string(2100, 'b'), std::int64_t{2});
  });
  Scan();
  EXPECT_NE(RowWithBody(std::string(2000, 'a')), nullptr);
  EXPECT_EQ(RowWithBody(std::string(2100, 'b')), nullptr);
}

TEST(WeChatSchemaTest, OnlyChatAndChatExTablesEndWithTheNoRecordsText) {
  testdb::TempDir dir;
  testdb::ScanFixtureState state;
  const std::string path = dir.File("MM.sqlite");
  testdb::Build(path, std::string(iosfix::kWeChatFriendTable) + ";" +
                          "CREATE TABLE Chat (MesLocalID integer primary key, Message text);" +
                          iosfix::kWeChatChatExtTable + ";" +
                          "CREATE TABLE chatex_more (a integer, b text);");
  testdb::ScanFixtureState::Target(path);
  RunWeChatScan(state.view);
  ASSERT_EQ(state.boxes.shown().size(), 1u);
  EXPECT_EQ(state.boxes.shown()[0].text, "没有找到微信记录，扫描结束！");
  EXPECT_EQ(state.boxes.shown()[0].caption, "提示");
  EXPECT_EQ(state.boxes.shown()[0].icon, platform::MbIcon::Information);
  EXPECT_EQ(state.view.TreeText(0), "微信");
  EXPECT_TRUE(state.view.IsEnabled(ScanCommand::Start));
  EXPECT_TRUE(ScanEnabled);
}

TEST(WeChatSchemaTest, TheSchemaQueryIsTheOneTheScannerRuns) {
  EXPECT_STREQ(kWeChatSchemaQuery,
               "select [sql] from sqlite_master where [type] = 'table' and lower(name) like "
               "'chat_%'  and  lower(name) not  like 'chatEx%' ");
}

}  // namespace
}  // namespace velmora
