// The scans leave the evidence as it was: a database that a writer left with
// a -wal, a -shm or a hot -journal beside it (the writer killed before it
// closed) is scanned by every kind, and afterwards every file in its folder
// holds the same bytes, except header bytes 18 and 19 of the database set to
// 1, and no file has come or gone. The folder and file names carry blanks,
// "%", "?", "#" and Chinese characters.
#include <gtest/gtest.h>

#include <filesystem>

#include "AndroidFixtures.h"
#include "IosKindsFixtures.h"
#include "KilledWriterFixtures.h"
#include "TestDb.h"
#include "engine/AndroidCallScanner.h"
#include "engine/AndroidContactsScanner.h"
#include "engine/AndroidSmsScanner.h"
#include "engine/IosCallScanner.h"
#include "engine/IosContactsScanner.h"
#include "engine/IosMessagesScanner.h"
#include "engine/SQLiteTable3.h"
#include "engine/WeChatScanner.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using killedwriter::LeftoverCase;

constexpr const char* kChat = "Chat_0b4e7a0e5fe84ad35fb5f95b9ceeac79";

// One database with the tables and a few rows of all seven kinds, some of
// them deleted.
void BuildAllKinds(const std::string& path) {
  iosfix::FixtureDb db(path);
  db.Exec("PRAGMA page_size=4096; PRAGMA auto_vacuum=NONE; PRAGMA journal_mode=DELETE;");
  db.Exec("BEGIN");
  // The WeChat scanner takes the first table named "chat_..." as its own.
  db.Exec(iosfix::kWeChatFriendTable);
  db.Exec(iosfix::WeChatChatTable(kChat));
  db.Exec("CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT)");
  db.Exec(iosfix::kContactsFtsTable);
  iosfix::CreateSmsTables(db, iosfix::kMessageTableIos6);
  iosfix::AddChat(db, 1, "+8613800138000");
  db.Exec(testdb::kIosCallTable);
  db.Exec(std::string(androidtest::kCallsTable) + androidtest::kSmsTable +
          androidtest::kMimeTypesTable + androidtest::kRawContactsTable + androidtest::kDataTable +
          androidtest::InsertMimeTypes(androidtest::kPhoneMimeTypes));
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(13800138000LL + i);
    iosfix::AddContact(db, i + 1, "名" + std::to_string(i), std::string("张"), iosfix::PhoneText(n, "86" + n));
    iosfix::AddMessage(db, iosfix::Msg("短信 " + std::to_string(i), std::int64_t{0},
                                       std::int64_t{400000000 + i}, 1));
    testdb::CallRow call;
    call.address = "1008" + std::to_string(i);
    db.Exec(testdb::InsertCall(call));
    iosfix::AddWeChatMessage(db, kChat, 1500000000 + i, "微信 " + std::to_string(i), std::int64_t{2});
    androidtest::AndroidCall androidCall;
    androidCall.number = "1380013800" + std::to_string(i);
    db.Exec(androidtest::InsertCall(androidCall));
    androidtest::AndroidSms sms;
    sms.body = "余额 " + std::to_string(i);
    db.Exec(androidtest::InsertSms(sms));
    db.Exec(androidtest::InsertRawContact(i + 1, "联系人" + std::to_string(i)) +
            androidtest::InsertName(i + 1, "联系人" + std::to_string(i)) +
            androidtest::InsertPhone(i + 1, "1390000000" + std::to_string(i)));
  }
  db.Exec("COMMIT");
  db.Exec("DELETE FROM call WHERE address = '10083'; DELETE FROM calls WHERE number LIKE '%3';");
}

struct KindScan {
  const char* name;
  void (*run)(ScanView&);
};
constexpr KindScan kKinds[] = {
    {"iOS calls", RunIosCallScan},        {"iOS messages", RunIosMessagesScan},
    {"WeChat", RunWeChatScan},            {"iOS contacts", RunIosContactsScan},
    {"Android calls", RunAndroidCallScan}, {"Android SMS", RunAndroidSmsScan},
    {"Android contacts", RunAndroidContactsScan},
};

class EvidenceTest : public ::testing::TestWithParam<LeftoverCase> {
 protected:
  testdb::TempDir dir;
  std::string folder = dir.File(killedwriter::kOddFolder);
  std::string path = folder + "/" + killedwriter::kOddFile;

  void SetUp() override {
    fs::create_directories(folder);
    BuildAllKinds(path);
    killedwriter::LeaveSidecars(path, GetParam().leftover, killedwriter::DefaultLateWrites(""));
  }
};

TEST_P(EvidenceTest, TheFixtureIsWhatANormalOpenWouldChange) {
  const killedwriter::FolderBytes left = killedwriter::Snapshot(folder);
  for (const char* suffix : GetParam().sidecars)
    EXPECT_TRUE(left.count(std::string(killedwriter::kOddFile) + suffix)) << suffix;
  EXPECT_EQ(left.size(), 1 + GetParam().sidecars.size());
  EXPECT_EQ(left.at(killedwriter::kOddFile)[18], GetParam().versionBytes);
  // A copy opened as any SQLite program opens it changes: so the scans below
  // would show it if they did the same.
  const std::string copy = dir.File("copy");
  fs::create_directories(copy);
  for (const auto& [name, bytes] : left) {
    std::ofstream out(copy + "/" + name, std::ios::binary);
    out << bytes;
  }
  testdb::Exec(copy + "/" + killedwriter::kOddFile, "SELECT count(*) FROM sqlite_master;");
  EXPECT_NE(killedwriter::EvidenceChanges(left, killedwriter::Snapshot(copy), killedwriter::kOddFile),
            "");
}

TEST_P(EvidenceTest, EveryKindLeavesEveryFileAsItWasButTheVersionBytes) {
  const killedwriter::FolderBytes left = killedwriter::Snapshot(folder);
  for (const KindScan& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    killedwriter::Restore(folder, left);
    testdb::ScanFixtureState state;
    testdb::ScanFixtureState::Target(path);
    kind.run(state.view);
    EXPECT_TRUE(state.boxes.shown().empty());
    EXPECT_EQ(state.view.status[0], "扫描完成");
    EXPECT_FALSE(state.view.rows.empty()) << "the scan found its records";
    const killedwriter::FolderBytes after = killedwriter::Snapshot(folder);
    EXPECT_EQ(killedwriter::EvidenceChanges(left, after, killedwriter::kOddFile), "");
    EXPECT_EQ(after.at(killedwriter::kOddFile)[18], 1);
    EXPECT_EQ(after.at(killedwriter::kOddFile)[19], 1);
  }
}

TEST_P(EvidenceTest, TheSQLiteLayerReadsTheDatabaseFileAloneAndWritesNothing) {
  const killedwriter::FolderBytes left = killedwriter::Snapshot(folder);
  {
    TSQLiteDatabase db(path);
    EXPECT_TRUE(db.HasTable("call"));
    EXPECT_EQ(db.QueryAllRows("select * from call")->RowCount, 3u);
    // What the WAL writer committed lies only in the -wal, which is not read.
    if (GetParam().versionBytes == 2) {
      EXPECT_EQ(db.QueryAllRows("select x from late_writes")->RowCount, 0u);
    }
    // Nothing that would write gets through.
    EXPECT_THROW(db.RunStatement("CREATE TABLE t(x)"), ESQLiteException);
    EXPECT_THROW(db.RunStatement("PRAGMA user_version = 7"), ESQLiteException);
  }
  EXPECT_EQ(killedwriter::EvidenceChanges(left, killedwriter::Snapshot(folder), ""), "");
}

INSTANTIATE_TEST_SUITE_P(Leftovers, EvidenceTest, ::testing::ValuesIn(killedwriter::LeftoverCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
