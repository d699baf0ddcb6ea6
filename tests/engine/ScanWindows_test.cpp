// The scanners read the file window by window: with windows of a few pages
// every scanner gives the rows, counts and texts it gives with one window
// holding the whole file; a file past 4 GiB is walked to its end; a read
// that fails during the walk ends the scan with the read error box.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "AndroidFixtures.h"
#include "IosKindsFixtures.h"
#include "TestDb.h"
#include "engine/AndroidCallScanner.h"
#include "engine/AndroidContactsScanner.h"
#include "engine/AndroidFixedSmsCarver.h"
#include "engine/AndroidSmsScanner.h"
#include "engine/CandidateMask.h"
#include "engine/CarveImage.h"
#include "engine/IosCallScanner.h"
#include "engine/IosContactsScanner.h"
#include "engine/IosMessagesScanner.h"
#include "engine/WeChatScanner.h"
#include "platform/RawFile.h"

namespace velmora {
namespace {

using iosfix::FixtureDb;
using iosfix::Val;

// A text of n characters that differs from record to record.
std::string Filler(int seed, std::size_t n) {
  std::string s;
  while (s.size() < n) s += "r" + std::to_string(seed) + "-" + std::to_string(s.size()) + " ";
  s.resize(n);
  return s;
}

// The lengths of the corpus's texts: short ones, ones that fill much of a
// page, and long ones that run on past a small window.
std::size_t TextLength(int i, std::size_t longest) {
  static const std::size_t kLengths[] = {3, 40, 300, 700, 11, 950, 2, 120};
  if (i % 9 == 4) return longest;
  return std::min(longest, kLengths[i % 8]);
}

// Everything a scan showed: the list, the tree, the status, the log, the
// boxes and the sector memo.
struct Outcome {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> tree;
  std::vector<std::string> status;
  std::vector<std::string> log;
  std::vector<std::string> boxes;
  std::vector<std::string> sectorLines;
  bool operator==(const Outcome&) const = default;
};

struct SavedWindow {
  std::size_t saved = CarveWindowBytes;
  ~SavedWindow() { CarveWindowBytes = saved; }
};

Outcome RunWith(const std::string& path, void (*scan)(ScanView&), std::size_t windowBytes,
                const std::function<void(RecordingScanView&)>& prepare = {}) {
  SavedWindow saved;
  CarveWindowBytes = windowBytes;
  testdb::ScanFixtureState state;
  testdb::ScanFixtureState::Target(path);
  if (prepare) prepare(state.view);
  scan(state.view);
  Outcome o;
  o.rows = state.view.rows;
  for (const auto& node : state.view.tree) o.tree.push_back(node.text);
  o.status.assign(std::begin(state.view.status), std::end(state.view.status));
  for (const auto& row : state.view.log) o.log.push_back(row.type + "|" + row.message);
  for (const auto& box : state.boxes.shown()) o.boxes.push_back(box.text + "|" + box.caption);
  o.sectorLines = state.view.sectorDebugLines;
  return o;
}

// ------------------------------------------------------------------ corpus

constexpr int kPage = 1024;

void BuildIosCalls(const std::string& path) {
  std::string sql = std::string(testdb::kIosCallTable) + "BEGIN;";
  for (int i = 0; i < 120; ++i) {
    testdb::CallRow r;
    r.address = "1380013" + std::to_string(1000 + i);
    r.name = i % 7 == 3 ? std::string(testdb::kSqlNull) : Filler(i, TextLength(i, 1000));
    r.date = 1400000000 + i * 3600;
    r.duration = i * 7;
    sql += testdb::InsertCall(r);
  }
  testdb::Build(path, sql + "COMMIT; DELETE FROM call WHERE ROWID % 5 = 0;", kPage);
}

void BuildIosMessages(const std::string& path) {
  FixtureDb db(path);
  db.Exec("PRAGMA page_size=1024; PRAGMA journal_mode=DELETE");
  iosfix::CreateSmsTables(db, iosfix::kMessageTableIos6);
  iosfix::AddChat(db, 1, "+8613800138000");
  iosfix::AddChat(db, 2, "10086");
  for (int i = 0; i < 80; ++i)
    iosfix::AddMessage(db, iosfix::Msg(Filler(i, TextLength(i, 1900)), std::int64_t{i % 3},
                                       std::int64_t{400000000 + i * 60}, i % 4 == 0 ? 0 : 1 + i % 2));
  db.Exec("DELETE FROM message WHERE ROWID % 6 = 1");
}

void BuildWeChat(const std::string& path) {
  FixtureDb db(path);
  db.Exec("PRAGMA page_size=1024; PRAGMA journal_mode=DELETE");
  db.Exec(iosfix::kWeChatFriendTable);
  const std::string table = "Chat_0b4e7a0e5fe84ad35fb5f95b9ceeac79";
  db.Exec(iosfix::WeChatChatTable(table));
  for (int i = 0; i < 80; ++i)
    iosfix::AddWeChatMessage(db, table, 1500000000 + i * 60, Filler(i, TextLength(i, 1000)),
                             std::int64_t{i % 2 == 0 ? 2 : 4});
  db.Exec("DELETE FROM " + table + " WHERE MesLocalID % 4 = 2");
}

void BuildIosContacts(const std::string& path) {
  FixtureDb db(path);
  db.Exec("PRAGMA page_size=1024; PRAGMA journal_mode=DELETE");
  db.Exec(iosfix::kContactsFtsTable);
  for (int i = 0; i < 60; ++i) {
    // Long last names put the header far in front of the phone text, often
    // on an earlier page.
    const Val last = i % 5 == 2 ? Val(nullptr) : Val(Filler(i, TextLength(i, 2500)));
    iosfix::AddContact(db, i + 1, "First" + std::to_string(i), last,
                       iosfix::PhoneText("1008" + std::to_string(i), "86138" + std::to_string(10000 + i)));
  }
  db.Exec("DELETE FROM ABPersonFullTextSearch WHERE docid % 4 = 1");
}

void BuildAndroidCalls(const std::string& path) {
  std::string sql = std::string(androidtest::kCallsTable) + "BEGIN;";
  for (int i = 0; i < 120; ++i) {
    androidtest::AndroidCall c;
    c.number = "1380013" + std::to_string(1000 + i);
    c.date = androidtest::Num(1400000000000 + i * 3600000);
    c.name = i % 7 == 3 ? androidtest::kNull : Filler(i, TextLength(i, 1000));
    sql += androidtest::InsertCall(c);
  }
  testdb::Build(path, sql + "COMMIT; DELETE FROM calls WHERE _id % 5 = 0;", kPage);
}

void BuildAndroidSms(const std::string& path) {
  std::string sql = std::string(androidtest::kSmsTable) + "BEGIN;";
  for (int i = 0; i < 120; ++i) {
    androidtest::AndroidSms m;
    m.address = "1069" + std::to_string(i);
    m.date = androidtest::Num(1400000000000 + i * 60000);
    m.type = androidtest::Num(1 + i % 2);
    m.body = Filler(i, TextLength(i, 1000));
    sql += androidtest::InsertSms(m);
  }
  testdb::Build(path, sql + "COMMIT; DELETE FROM sms WHERE _id % 5 = 0;", kPage);
}

void BuildAndroidContacts(const std::string& path) {
  std::string sql = std::string(androidtest::kMimeTypesTable) + androidtest::kRawContactsTable +
                    androidtest::kDataTable + androidtest::InsertMimeTypes(androidtest::kPhoneMimeTypes) +
                    "BEGIN;";
  for (int i = 1; i <= 60; ++i) {
    sql += androidtest::InsertRawContact(i, "Contact " + std::to_string(i));
    sql += androidtest::InsertName(i, Filler(i, TextLength(i, 900)));
    sql += androidtest::InsertPhone(i, "1390000" + std::to_string(1000 + i));
  }
  testdb::Build(path, sql + "COMMIT; DELETE FROM data WHERE _id % 7 = 3;", kPage);
}

void BuildFixedSms(const std::string& path) {
  std::string sql = std::string(androidtest::kSms4xTable) + "BEGIN;";
  for (int i = 0; i < 120; ++i) {
    sql += "INSERT INTO sms (thread_id, address, person, date, date_sent, protocol, read, status, "
           "type, reply_path_present, body, service_center, locked, error_code, creator, seen, "
           "sim_id) VALUES (1, '1069" +
           std::to_string(i) + "', NULL, " + std::to_string(1400000000000 + i * 60000) +
           ", 0, 0, 1, -1, " + std::to_string(1 + i % 2) + ", 0, " +
           testdb::Quote(Filler(i, TextLength(i, 1500))) + ", '+8613800100500', 0, 0, 'com.android.mms', 1, 1);";
  }
  testdb::Build(path, sql + "COMMIT; DELETE FROM sms WHERE _id % 5 = 0;", kPage);
}

// Messages on pages of 64 KiB, one of whose texts is 60,000 bytes: a record
// that reaches far past any small window (text bound: twice the page).
void BuildIosMessagesBigPages(const std::string& path) {
  FixtureDb db(path);
  db.Exec("PRAGMA page_size=65536; PRAGMA journal_mode=DELETE");
  iosfix::CreateSmsTables(db, iosfix::kMessageTableIos6);
  iosfix::AddChat(db, 1, "+8613800138000");
  for (int i = 0; i < 12; ++i)
    iosfix::AddMessage(db, iosfix::Msg(Filler(i, i % 4 == 1 ? 60000 : 5000 + 997 * i), std::int64_t{i % 2},
                                       std::int64_t{400000000 + i * 60}, 1));
  db.Exec("DELETE FROM message WHERE ROWID % 3 = 0");
}

struct KindCase {
  const char* name;
  void (*build)(const std::string&);
  void (*scan)(ScanView&);
  std::size_t minRows;  // the whole-file scan finds at least these
};

const KindCase kKinds[] = {
    {"IosCalls", BuildIosCalls, RunIosCallScan, 80},
    {"IosMessages", BuildIosMessages, RunIosMessagesScan, 50},
    {"IosMessagesBigPages", BuildIosMessagesBigPages, RunIosMessagesScan, 8},
    {"WeChat", BuildWeChat, RunWeChatScan, 50},
    {"IosContacts", BuildIosContacts, RunIosContactsScan, 40},
    {"AndroidCalls", BuildAndroidCalls, RunAndroidCallScan, 80},
    {"AndroidSms", BuildAndroidSms, RunAndroidSmsScan, 80},
    {"AndroidContacts", BuildAndroidContacts, RunAndroidContactsScan, 25},
    {"FixedLayoutSms", BuildFixedSms, RunFixedLayoutSmsCarve, 80},
};

class ScanWindowsTest : public ::testing::TestWithParam<KindCase> {
 protected:
  testdb::TempDir dir;
  std::string path = dir.File("source.db");
  std::string programFolder = dir.File("program") + "/";
  ScanWindowsTest() {
    std::filesystem::create_directories(programFolder + "temp");
    SetProgramFolder(programFolder);
  }
  ~ScanWindowsTest() override { SetProgramFolder(""); }
};

TEST_P(ScanWindowsTest, SmallWindowsGiveWhatOneWindowGives) {
  GetParam().build(path);
  const std::uintmax_t size = std::filesystem::file_size(path);
  const Outcome whole = RunWith(path, GetParam().scan, std::size_t{1} << 30);
  ASSERT_GE(whole.rows.size(), GetParam().minRows);
  ASSERT_TRUE(whole.boxes.empty()) << whole.boxes.front();
  // Windows of one page, a few pages and an odd size: every one of them
  // moves many times over the file.
  for (const std::size_t window : {std::size_t{kPage}, std::size_t{3 * kPage}, std::size_t{5 * kPage + 7}}) {
    ASSERT_GT(size, 8 * window);
    const Outcome windowed = RunWith(path, GetParam().scan, window);
    EXPECT_EQ(windowed.rows, whole.rows) << window;
    EXPECT_EQ(windowed, whole) << window;
  }
}

// The walk's candidate mask computed offset by offset instead of with the
// vector code: the same rows, counts and texts, with one window and small
// ones.
TEST_P(ScanWindowsTest, TheScalarCandidateMaskGivesWhatTheVectorOneGives) {
  GetParam().build(path);
  const bool saved = CarveVectorMask;
  for (const std::size_t window : {std::size_t{1} << 30, std::size_t{3 * kPage}}) {
    CarveVectorMask = true;
    const Outcome vector = RunWith(path, GetParam().scan, window);
    CarveVectorMask = false;
    const Outcome scalar = RunWith(path, GetParam().scan, window);
    CarveVectorMask = saved;
    ASSERT_GE(vector.rows.size(), GetParam().minRows);
    EXPECT_EQ(scalar.rows, vector.rows) << window;
    EXPECT_EQ(scalar, vector) << window;
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ScanWindowsTest, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ past 4 GiB

std::vector<std::uint8_t> PageOf(const std::vector<std::uint8_t>& bytes, std::size_t pageSize, std::size_t page) {
  const auto from = bytes.begin() + static_cast<std::ptrdiff_t>(pageSize * (page - 1));
  return {from, from + static_cast<std::ptrdiff_t>(pageSize)};
}

TEST(ScanWindowsBigFileTest, ASparseFilePast4GiBIsWalkedToItsEnd) {
  testdb::TempDir dir;
  const std::string path = dir.File("call_history.db");
  // A real call database whose table is one leaf page (page 2).
  std::string sql = std::string(testdb::kIosCallTable) + "BEGIN;";
  for (int i = 0; i < 6; ++i) {
    testdb::CallRow r;
    r.address = "1391111" + std::to_string(2000 + i);
    r.name = "Far " + std::to_string(i);
    sql += testdb::InsertCall(r);
  }
  testdb::Build(path, sql + "COMMIT;", 4096);
  const std::vector<std::uint8_t> bytes = testdb::ReadBytes(path);
  const std::vector<std::uint8_t> leaf = PageOf(bytes, 4096, 2);
  ASSERT_EQ(leaf[0], 13);

  // The file grows (sparse: no disk) past 4 GiB; a copy of the leaf page goes
  // to its second-to-last page, and the header's page count covers it all
  // (a count past 2^32 bytes: 64-bit arithmetic throughout). The bytes are
  // written in place, never through a copy of the whole file.
  const std::uint64_t pages = ((std::uint64_t{4} << 30) + (std::uint64_t{1} << 20)) / 4096;
  const std::uint8_t count[4] = {static_cast<std::uint8_t>(pages >> 24), static_cast<std::uint8_t>(pages >> 16),
                                 static_cast<std::uint8_t>(pages >> 8), static_cast<std::uint8_t>(pages)};
  std::filesystem::resize_file(path, pages * 4096);  // truncate(2): sparse
  {
    platform::RawFile f(path, platform::RawFile::Access::ReadWrite);
    ASSERT_TRUE(f.IsOpen());
    ASSERT_EQ(f.WriteAt((pages - 2) * 4096, leaf), leaf.size());
    ASSERT_EQ(f.WriteAt(28, count), 4u);
  }

  const Outcome o = RunWith(path, RunIosCallScan, std::size_t{64} << 20);
  EXPECT_TRUE(o.boxes.empty());
  ASSERT_EQ(o.rows.size(), 12u);
  std::set<std::string> addresses;
  for (std::size_t i = 0; i < 6; ++i) {
    // The copy near the end gives the same rows as the page in front.
    EXPECT_EQ(o.rows[i], o.rows[i + 6]);
    addresses.insert(o.rows[i][0]);
  }
  EXPECT_EQ(addresses.size(), 6u);
  EXPECT_EQ(addresses.count("13911112000"), 1u);
  EXPECT_EQ(addresses.count("13911112005"), 1u);
  EXPECT_EQ(o.status[0], "扫描完成");
  EXPECT_EQ(LastCarveRunStats().imageBytes, pages * 4096);
  // The image was never held whole.
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  EXPECT_LT(static_cast<std::uint64_t>(usage.ru_maxrss) * 1024, std::uint64_t{1} << 30);
}

// ------------------------------------------------------- a shrinking file

struct ShrinkCase {
  const char* name;
  void (*build)(const std::string&);
  void (*scan)(ScanView&);
};

class ScanWindowsShrinkTest : public ::testing::TestWithParam<ShrinkCase> {};

TEST_P(ScanWindowsShrinkTest, AFileThatShrinksDuringTheWalkEndsWithTheReadErrorBox) {
  testdb::TempDir dir;
  const std::string path = dir.File("source.db");
  GetParam().build(path);
  const std::size_t all = RunWith(path, GetParam().scan, std::size_t{1} << 30).rows.size();

  // With a window of one page and a pump at every check, the file loses all
  // but its first two pages once the first row is listed.
  bool cut = false;
  SavedWindow saved;
  CarveWindowBytes = kPage;
  testdb::ScanFixtureState state;
  testdb::ScanFixtureState::Target(path);
  state.view.onPump = [&] {
    if (!cut && !state.view.rows.empty()) {
      testdb::Truncate(path, 2 * kPage);
      cut = true;
    }
  };
  GetParam().scan(state.view);
  ASSERT_TRUE(cut);
  ASSERT_EQ(state.boxes.shown().size(), 1u);
  EXPECT_EQ(state.boxes.shown()[0].text, "Read then device error......");
  EXPECT_EQ(state.boxes.shown()[0].caption, "提示");
  EXPECT_EQ(state.boxes.shown()[0].icon, platform::MbIcon::Error);
  // The rows so far stay; nothing says the scan is complete.
  EXPECT_GE(state.view.rows.size(), 1u);
  EXPECT_LT(state.view.rows.size(), all);
  EXPECT_NE(state.view.status[0], "扫描完成");
  for (const auto& row : state.view.log) EXPECT_EQ(row.message.find("扫描完成"), std::string::npos);
  EXPECT_TRUE(ScanStopRequested);
  EXPECT_TRUE(ScanEnabled);
  EXPECT_TRUE(state.view.IsEnabled(ScanCommand::Start));
  EXPECT_FALSE(state.view.IsEnabled(ScanCommand::Stop));
  EXPECT_TRUE(state.view.IsEnabled(ScanCommand::Recover));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ScanWindowsShrinkTest,
                         ::testing::Values(ShrinkCase{"IosCalls", BuildIosCalls, RunIosCallScan},
                                           ShrinkCase{"AndroidSms", BuildAndroidSms, RunAndroidSmsScan},
                                           ShrinkCase{"FixedLayoutSms", BuildFixedSms, RunFixedLayoutSmsCarve}),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------- the image itself

TEST(CarveImageTest, ReadsLookBacksAndZerosMatchTheWholeBytesWhereverTheWindowStands) {
  testdb::TempDir dir;
  const std::string path = dir.File("bytes.bin");
  std::mt19937 rng(11);
  std::vector<std::uint8_t> bytes(50000);
  for (auto& b : bytes) b = rng() % 5 == 0 ? 0 : static_cast<std::uint8_t>(1 + rng() % 255);
  // A long stretch without zeros, so that a search runs through several blocks.
  std::fill(bytes.begin() + 20000, bytes.begin() + 31000, 0x41);
  testdb::WriteBytes(path, bytes);

  CarveImage image;
  ASSERT_TRUE(image.Open(path, bytes.size()));
  for (int round = 0; round < 200; ++round) {
    const std::uint64_t from = rng() % bytes.size();
    image.Load(from, from + 1 + rng() % 3000);
    ASSERT_EQ(image.Start(), from);
    for (std::size_t i = 0; i < image.size(); i += 97) ASSERT_EQ(image[i], bytes[from + i]);
    const std::uint64_t off = rng() % bytes.size();
    const std::size_t n = std::min<std::size_t>(rng() % 6000, bytes.size() - off);
    std::vector<std::uint8_t> got(n);
    image.ReadAt(off, got);
    ASSERT_TRUE(std::equal(got.begin(), got.end(), bytes.begin() + static_cast<std::ptrdiff_t>(off)));
    ASSERT_EQ(image.ByteAt(off), bytes[off]);
    const std::uint64_t low = rng() % (off + 1);
    std::uint64_t found = 0;
    std::optional<std::uint64_t> naive;
    for (std::uint64_t q = off + 1; q-- > low;)
      if (bytes[q] == 0) {
        naive = q;
        break;
      }
    ASSERT_EQ(image.LastZeroIn(low, off, found), naive.has_value());
    if (naive) {
      ASSERT_EQ(found, *naive);
    }
  }
  // A read past the image's end fails with the read error box.
  platform::ScriptedMessageBoxes boxes;
  std::vector<std::uint8_t> past(10);
  EXPECT_THROW(image.ReadAt(bytes.size() - 5, past), ImageReadFailed);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "Read then device error......");
}

// ------------------------------------------------- column definitions

TEST(BuildTableColumnsTest, TheOnePassSplitGivesTheDescriptorsOfTheFieldRoutine) {
  CarveKind kind;
  kind.bodyCut = 1;
  kind.keyNames = {"c17", "c1999", "absent"};
  kind.requiredKeys = {"c1999"};
  kind.requireDefaultColumns = true;
  const char* types[] = {"INTEGER", "TEXT DEFAULT ''", "blob", "varchar(20)", "integer default 0", ""};
  std::string long2000 = "CREATE TABLE big (";
  for (int i = 0; i < 2000; ++i) {
    if (i) long2000 += ", ";
    long2000 += "c" + std::to_string(i) + " " + types[i % 6] + std::string(static_cast<std::size_t>(i % 40), ' ');
  }
  long2000 += ")";
  const std::vector<std::string> texts = {
      long2000,
      "CREATE TABLE t (a integer, b text, c blob)",
      // Commas before the body: more definitions are counted than the body
      // holds, and the ones past its last comma repeat its last field.
      "CREATE TABLE \"x,y,z\" (a integer, b text)",
      // A body whose last comma is cut away with its last character.
      "CREATE TABLE t (a integer,)",
      "no parenthesis, at all, here",
      "CREATE TABLE t (,,, )",
  };
  for (const std::string& text : texts) {
    ATableField columns;
    std::vector<int> keys;
    BuildTableColumns(text, kind, columns, keys);
    // The descriptors as the field routine gives them, one definition at a time.
    const std::size_t open = text.find('(');
    std::string body = open == std::string::npos ? text : text.substr(open + 1);
    body.resize(body.size() - std::min<std::size_t>(body.size(), 1));
    const std::size_t n = static_cast<std::size_t>(std::count(text.begin(), text.end(), ',')) + 1;
    ASSERT_EQ(columns.size(), n) << text.substr(0, 60);
    for (std::size_t i = 0; i < n; ++i) {
      std::string definition = SplitField(body, ',', static_cast<int>(i));
      const std::size_t b = definition.find_first_not_of(" ");
      definition = b == std::string::npos ? "" : definition.substr(b);
      definition.erase(definition.find_last_not_of(" ") + 1);
      EXPECT_EQ(columns[i].Name, definition.substr(0, definition.find(' '))) << i;
    }
    // Names and kinds of the long text, and its keys.
    if (text == long2000) {
      EXPECT_EQ(columns[17].Name, "c17");
      EXPECT_EQ(columns[1999].Name, "c1999");
      EXPECT_EQ(columns[6].Kind, "i");
      EXPECT_EQ(columns[7].Kind, "c");
      EXPECT_TRUE(columns[7].Required);  // "default"
      EXPECT_EQ(columns[8].Kind, "b");
      EXPECT_EQ(columns[9].Kind, "");
      EXPECT_TRUE(columns[1999].Required);
      EXPECT_EQ(keys, (std::vector<int>{17, 1999, 0}));
    }
  }
}

// A record decoded where the window holds its whole header (read in one
// pass) and where the header or the contents run past the window's end
// (read from the file) gives the same status, header length, serial types
// and texts, at every offset of a database's pages.
TEST(CarveImageTest, DecodeGivesTheSameRecordWhereverTheWindowEnds) {
  testdb::TempDir dir;
  const std::string path = dir.File("sms.db");
  BuildAndroidSms(path);
  const std::vector<std::uint8_t> bytes = testdb::ReadBytes(path);
  const CarveImage whole(bytes);
  CarveImage image;
  ASSERT_TRUE(image.Open(path, bytes.size()));
  constexpr int kColumns = 18;
  CarvedRecord a, b;
  int ok = 0;
  // Six pages: leaf pages of records and overflow pages of long texts.
  for (std::size_t off = kPage; off < std::min<std::size_t>(bytes.size(), 7 * kPage); ++off) {
    const std::size_t ahead = off % 97;  // the window ends 0 to 96 bytes after the offset
    image.Load(off - 8, std::min<std::uint64_t>(bytes.size(), off + ahead));
    for (const int first : {0, 1}) {
      const bool blobs = off % 2 == 0;
      const DecodeStatus sa = DecodeRecordAt(whole, off, first, kColumns, blobs, a);
      const DecodeStatus sb = DecodeRecordAt(image, off - image.Start(), first, kColumns, blobs, b);
      ASSERT_EQ(sa, sb) << "offset " << off;
      ASSERT_EQ(a.HeaderBytes(), b.HeaderBytes()) << "offset " << off;
      for (int c = 0; c < kColumns; ++c) {
        ASSERT_EQ(a.SerialType(c), b.SerialType(c)) << "offset " << off << " column " << c;
        if (sa == DecodeStatus::Ok) {
          ASSERT_EQ(a.Text(c), b.Text(c)) << "offset " << off << " column " << c;
        }
      }
      ok += sa == DecodeStatus::Ok ? 1 : 0;
    }
  }
  EXPECT_GT(ok, 1000);
}

}  // namespace
}  // namespace velmora
