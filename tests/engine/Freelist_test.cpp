// The free-list reader on page images laid out here byte by byte (every way
// a chain can end), on real databases whose pages SQLite has freed, and on
// such databases with their free list damaged by patching bytes; and the
// scans: records on freed pages are deleted whatever cell pointers the pages
// still list, while a live row between freed pages stays live.
#include "engine/Freelist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "AndroidFixtures.h"
#include "IosKindsFixtures.h"
#include "TestDb.h"
#include "engine/AndroidCallScanner.h"
#include "engine/AndroidContactsScanner.h"
#include "engine/AndroidSmsScanner.h"
#include "engine/IosCallScanner.h"
#include "engine/IosMessagesScanner.h"
#include "engine/SQLiteFormat.h"
#include "engine/WeChatScanner.h"

namespace velmora {
namespace {

// What a scan found of rows 1..rows, by id: the ids in [liveFrom, liveTo]
// not found live, the ids outside it found live, and how many of those were
// found (deleted).
struct Verdict {
  std::vector<int> liveMissing, deletedShownLive;
  int deletedFound = 0;
};

Verdict Judge(const std::vector<std::pair<std::string, bool>>& found, int rows, int liveFrom,
              int liveTo, std::string (*id)(int)) {
  std::map<std::string, std::pair<bool, bool>> seen;  // id -> (seen live, seen deleted)
  for (const auto& [text, deleted] : found) (deleted ? seen[text].second : seen[text].first) = true;
  Verdict v;
  for (int i = 1; i <= rows; ++i) {
    const auto it = seen.find(id(i));
    const bool shownLive = it != seen.end() && it->second.first;
    if (i >= liveFrom && i <= liveTo) {
      if (!shownLive) v.liveMissing.push_back(i);
    } else if (it != seen.end()) {
      ++v.deletedFound;
      if (shownLive) v.deletedShownLive.push_back(i);
    }
  }
  return v;
}

// ------------------------------------------------------------ page images

constexpr std::uint32_t kSmallPage = 64;  // room for (64 - 8) / 4 = 14 leaves
constexpr std::uint32_t kSmallCount = 10;

// Pages 1..kSmallCount of kSmallPage bytes, with trunk pages written in.
class PageImage {
 public:
  PageImage() : bytes_(std::size_t{kSmallPage} * kSmallCount, 0xEE) {}
  // Writes a trunk at `page`: next trunk, leaf count, leaf numbers.
  PageImage& Trunk(std::uint32_t page, std::uint32_t next, std::vector<std::uint32_t> leaves,
                   std::optional<std::uint32_t> count = std::nullopt) {
    Put32(page, 0, next);
    Put32(page, 4, count.value_or(static_cast<std::uint32_t>(leaves.size())));
    for (std::size_t i = 0; i < leaves.size(); ++i) Put32(page, 8 + 4 * i, leaves[i]);
    return *this;
  }
  bool Read(std::uint32_t page, std::span<std::uint8_t> out) const {
    if (page < 1 || page > kSmallCount || out.size() != kSmallPage) return false;
    std::copy_n(bytes_.begin() + std::ptrdiff_t{page - 1} * kSmallPage, kSmallPage, out.begin());
    return true;
  }

 private:
  void Put32(std::uint32_t page, std::size_t off, std::uint32_t v) {
    const std::size_t at = std::size_t{page - 1} * kSmallPage + off;
    for (int i = 0; i < 4; ++i) bytes_.at(at + i) = static_cast<std::uint8_t>(v >> (24 - 8 * i));
  }
  std::vector<std::uint8_t> bytes_;
};

std::set<std::uint32_t> PagesOf(const FreelistPages& pages, std::uint32_t pageCount) {
  std::set<std::uint32_t> out;
  for (std::uint32_t p = 0; p <= pageCount + 2; ++p)
    if (pages.Contains(p)) out.insert(p);
  return out;
}

struct ChainCase {
  const char* name;
  std::uint32_t first;
  PageImage image;
  std::set<std::uint32_t> expected;
  std::set<std::uint32_t> unreadable = {};
};

TEST(FreelistReaderTest, EveryWayAChainEnds) {
  const std::vector<std::uint32_t> fourteen = {3, 4, 5, 6, 7, 8, 9, 10, 3, 4, 5, 6, 7, 8};
  const ChainCase cases[] = {
      {"no free list", 0, PageImage(), {}},
      {"one trunk", 2, PageImage().Trunk(2, 0, {3, 4}), {2, 3, 4}},
      {"a trunk without leaves", 2, PageImage().Trunk(2, 0, {}), {2}},
      {"two trunks", 2, PageImage().Trunk(2, 5, {3}).Trunk(5, 0, {6, 7}), {2, 3, 5, 6, 7}},
      {"as many leaves as the page holds", 2, PageImage().Trunk(2, 0, fourteen),
       {2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"a cycle back to the first trunk", 2, PageImage().Trunk(2, 5, {3}).Trunk(5, 2, {6}),
       {2, 3, 5, 6}},
      {"a trunk naming itself as next", 2, PageImage().Trunk(2, 2, {3}), {2, 3}},
      {"a leaf named as the next trunk", 2, PageImage().Trunk(2, 4, {4}), {2, 4}},
      {"the next trunk past the file", 2, PageImage().Trunk(2, 11, {3, 4}), {2, 3, 4}},
      {"the first trunk past the file", 11, PageImage(), {}},
      {"the first trunk is page 1", 1, PageImage().Trunk(1, 0, {3}), {}},
      {"a leaf past the file keeps the leaves before it", 2, PageImage().Trunk(2, 5, {3, 11, 4}),
       {2, 3}},
      {"a leaf of 0", 2, PageImage().Trunk(2, 0, {3, 0, 4}), {2, 3}},
      {"a leaf count past the page takes nothing of that trunk", 2,
       PageImage().Trunk(2, 0, {3}, 15), {}},
      {"a leaf count past the page on the second trunk", 2,
       PageImage().Trunk(2, 5, {3}).Trunk(5, 0, {6}, 0xFFFFFFFF), {2, 3}},
      {"an unreadable trunk", 2, PageImage().Trunk(2, 5, {3}).Trunk(5, 0, {6}), {2, 3}, {5}},
  };
  for (const ChainCase& c : cases) {
    std::vector<std::uint32_t> asked;
    const FreelistPages pages = ReadFreelist(
        c.first, kSmallPage, kSmallCount, [&](std::uint32_t page, std::span<std::uint8_t> out) {
          asked.push_back(page);
          return !c.unreadable.count(page) && c.image.Read(page, out);
        });
    EXPECT_EQ(PagesOf(pages, kSmallCount), c.expected) << c.name;
    EXPECT_EQ(pages.Count(), c.expected.size()) << c.name;
    for (std::uint32_t p : asked) {
      EXPECT_GE(p, 2u) << c.name;
      EXPECT_LE(p, kSmallCount) << c.name;
    }
    EXPECT_EQ(std::set<std::uint32_t>(asked.begin(), asked.end()).size(), asked.size())
        << c.name << ": a trunk read twice";
  }
}

TEST(FreelistReaderTest, AChainLongerThanTheFileStopsAtThePageCount) {
  // Every page a trunk naming the next, the last back to the first: at most
  // one read per page.
  PageImage image;
  for (std::uint32_t p = 2; p <= kSmallCount; ++p) image.Trunk(p, p == kSmallCount ? 2 : p + 1, {});
  int reads = 0;
  const FreelistPages pages =
      ReadFreelist(2, kSmallPage, kSmallCount, [&](std::uint32_t page, std::span<std::uint8_t> out) {
        ++reads;
        return image.Read(page, out);
      });
  EXPECT_EQ(pages.Count(), kSmallCount - 1);
  EXPECT_EQ(reads, static_cast<int>(kSmallCount - 1));
}

TEST(FreelistReaderTest, APageTooSmallForATrunkOrNoReaderGivesNoList) {
  const auto never = [](std::uint32_t, std::span<std::uint8_t>) -> bool {
    ADD_FAILURE() << "read";
    return false;
  };
  EXPECT_EQ(ReadFreelist(2, 4, kSmallCount, never).Count(), 0u);
  EXPECT_EQ(ReadFreelist(2, kSmallPage, 0, never).Count(), 0u);
  EXPECT_EQ(ReadFreelist(2, kSmallPage, kSmallCount, ReadPageFunction()).Count(), 0u);
  const FreelistPages none;
  EXPECT_FALSE(none.Contains(0));
  EXPECT_FALSE(none.Contains(2));
}

// ------------------------------------------------------------ real files

std::uint32_t Be32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return (std::uint32_t{b.at(at)} << 24) | (std::uint32_t{b.at(at + 1)} << 16) |
         (std::uint32_t{b.at(at + 2)} << 8) | b.at(at + 3);
}
std::vector<std::uint8_t> Be32Bytes(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

FreelistPages FreelistOf(const std::string& path) {
  const std::vector<std::uint8_t> bytes = testdb::ReadBytes(path);
  const std::uint32_t pageSize = testdb::PageSizeOf(path);
  const auto pageCount = static_cast<std::uint32_t>(bytes.size() / pageSize);
  return ReadFreelistOfFile(path, std::span(bytes).first(512), pageSize, pageCount);
}

// The iOS call history with calls 1..count (address "1" + six digits of the
// number), page size 512, then calls 1..liveFrom-1 and liveTo+1..count
// deleted in one statement: the two ranges free whole pages on both sides of
// the pages that hold the live calls.
constexpr int kCalls = 3200, kLiveFrom = 1501, kLiveTo = 1600;

std::string CallAddress(int i) {
  const std::string digits = std::to_string(i);
  return "1" + std::string(6 - digits.size(), '0') + digits;
}

void BuildFreedCalls(const std::string& path) {
  std::string sql = std::string(testdb::kIosCallTable) + "BEGIN;";
  for (int i = 1; i <= kCalls; ++i) {
    testdb::CallRow row;
    row.address = CallAddress(i);
    row.date = 1400000000 + i;
    sql += testdb::InsertCall(row);
  }
  sql += "COMMIT; DELETE FROM call WHERE ROWID < " + std::to_string(kLiveFrom) + " OR ROWID > " +
         std::to_string(kLiveTo) + ";";
  testdb::Build(path, sql, 512);
}

TEST(FreelistFileTest, ReadsWhatSQLiteFreedAcrossSeveralTrunks) {
  testdb::TempDir dir;
  const std::string path = dir.File("call_history.db");
  BuildFreedCalls(path);
  const std::vector<std::uint8_t> bytes = testdb::ReadBytes(path);
  const std::uint32_t freeTotal = Be32(bytes, sqlitefmt::kHeaderFreelistPageCount);
  ASSERT_GT(freeTotal, (512 - 8) / 4 + 1) << "the list needs two trunks or more";
  EXPECT_EQ(FreelistOf(path).Count(), freeTotal);
  EXPECT_FALSE(FreelistOf(path).Contains(1));
  // A file that cannot be opened has none.
  EXPECT_EQ(ReadFreelistOfFile(dir.File("missing.db"), std::span(bytes).first(512), 512, 10).Count(),
            0u);
}

// The intact chain of a real free list: its first two trunks, their leaf
// counts, the file's page count and the pages on the list.
struct Chain {
  std::uint32_t t1, t2, l1, l2, pages;
  std::size_t total;
};

// How a real free list is damaged: the bytes written and the count of pages
// still expected on the list.
struct DamageCase {
  const char* name;
  std::function<std::pair<std::size_t, std::vector<std::uint8_t>>(const Chain&)> patch;
  std::function<std::size_t(const Chain&)> expected;
};

class FreelistScanTest : public ::testing::Test {
 protected:
  testdb::TempDir dir;
  testdb::ScanFixtureState state;
  std::string path = dir.File("call_history.db");

  // The calls found: (address, deleted).
  std::vector<std::pair<std::string, bool>> ScanCalls() {
    testdb::ScanFixtureState::Target(path);
    RunIosCallScan(state.view);
    std::vector<std::pair<std::string, bool>> found;
    for (const PCallValue& c : CallRecords) found.emplace_back(c.Number, c.Deleted);
    return found;
  }
};

TEST_F(FreelistScanTest, CallsOnFreedPagesAreDeletedAndTheLiveOnesBetweenStayLive) {
  BuildFreedCalls(path);
  const Verdict v = Judge(ScanCalls(), kCalls, kLiveFrom, kLiveTo, CallAddress);
  EXPECT_EQ(state.view.status[0], "扫描完成");
  EXPECT_EQ(v.liveMissing, std::vector<int>{});
  EXPECT_EQ(v.deletedShownLive, std::vector<int>{}) << "deleted calls shown live";
  // Freed pages keep their records: most deleted calls are carved.
  EXPECT_GT(v.deletedFound, (kCalls - (kLiveTo - kLiveFrom + 1)) * 9 / 10);
}

TEST_F(FreelistScanTest, ADamagedFreeListEndsWhereItBreaksAndTheScanGoesOn) {
  const auto trunkAt = [](std::uint32_t page, std::size_t field) {
    return std::size_t{page - 1} * 512 + field;
  };
  const DamageCase cases[] = {
      {"a cycle: the first trunk names itself as next",
       [&](const Chain& ch) { return std::make_pair(trunkAt(ch.t1, 0), Be32Bytes(ch.t1)); },
       [](const Chain& ch) { return std::size_t{ch.l1} + 1; }},
      {"a cycle: the second trunk leads back to the first",
       [&](const Chain& ch) { return std::make_pair(trunkAt(ch.t2, 0), Be32Bytes(ch.t1)); },
       [](const Chain& ch) { return std::size_t{ch.l1} + 1 + ch.l2 + 1; }},
      {"the second trunk number past the end",
       [&](const Chain& ch) { return std::make_pair(trunkAt(ch.t1, 0), Be32Bytes(ch.pages + 7)); },
       [](const Chain& ch) { return std::size_t{ch.l1} + 1; }},
      {"the first trunk number past the end",
       [](const Chain& ch) {
         return std::make_pair(sqlitefmt::kHeaderFirstFreelistTrunk, Be32Bytes(ch.pages + 1));
       },
       [](const Chain&) { return std::size_t{0}; }},
      {"a leaf count past the page on the first trunk",
       [&](const Chain& ch) {
         return std::make_pair(trunkAt(ch.t1, 4), Be32Bytes((512 - 8) / 4 + 1));
       },
       [](const Chain&) { return std::size_t{0}; }},
      {"a leaf count past the page on the second trunk",
       [&](const Chain& ch) { return std::make_pair(trunkAt(ch.t2, 4), Be32Bytes(0x7FFFFFFF)); },
       [](const Chain& ch) { return std::size_t{ch.l1} + 1; }},
  };
  BuildFreedCalls(path);
  const std::vector<std::uint8_t> intact = testdb::ReadBytes(path);
  Chain chain{};
  chain.pages = static_cast<std::uint32_t>(intact.size() / 512);
  chain.t1 = Be32(intact, sqlitefmt::kHeaderFirstFreelistTrunk);
  chain.t2 = Be32(intact, trunkAt(chain.t1, 0));
  chain.l1 = Be32(intact, trunkAt(chain.t1, 4));
  ASSERT_NE(chain.t2, 0u) << "the list needs two trunks";
  chain.l2 = Be32(intact, trunkAt(chain.t2, 4));
  chain.total = FreelistOf(path).Count();

  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.name);
    testdb::WriteBytes(path, intact);
    const auto [offset, bytes] = c.patch(chain);
    testdb::SetBytes(path, offset, bytes);
    EXPECT_EQ(FreelistOf(path).Count(), c.expected(chain));

    CallRecords.clear();
    state.view.rows.clear();
    const Verdict v = Judge(ScanCalls(), kCalls, kLiveFrom, kLiveTo, CallAddress);
    EXPECT_EQ(state.view.status[0], "扫描完成");
    EXPECT_TRUE(state.boxes.shown().empty());
    EXPECT_EQ(v.liveMissing, std::vector<int>{});
  }
}

// ------------------------------------------------------------ every kind

// One kind of the live test by cell pointers: its rows 1..n with the id
// text Id(i) in a column the results show, the statement that deletes the
// rows outside [from, to], the scanner and the ids of its results.
struct KindCase {
  const char* name;
  std::function<void(iosfix::FixtureDb&, int n)> fill;
  std::string deleteOutside;  // with ? for from and ?? for to
  void (*scan)(ScanView&);
  std::function<std::vector<std::pair<std::string, bool>>()> results;  // (id, deleted)
};

std::string Id(int i) {
  const std::string digits = std::to_string(i);
  return "9" + std::string(5 - digits.size(), '0') + digits;
}

const char* kChat = "Chat_0b4e7a0e5fe84ad35fb5f95b9ceeac79";

std::vector<KindCase> KindCases() {
  using iosfix::FixtureDb;
  return {
      {"iOS calls",
       [](FixtureDb& db, int n) {
         db.Exec(testdb::kIosCallTable);
         for (int i = 1; i <= n; ++i) {
           testdb::CallRow row;
           row.address = Id(i);
           db.Exec(testdb::InsertCall(row));
         }
       },
       "DELETE FROM call WHERE ROWID < ? OR ROWID > ??", RunIosCallScan,
       [] {
         std::vector<std::pair<std::string, bool>> out;
         for (const PCallValue& c : CallRecords) out.emplace_back(c.Number, c.Deleted);
         return out;
       }},
      {"iOS messages",
       [](FixtureDb& db, int n) {
         iosfix::CreateSmsTables(db, iosfix::kMessageTableIos6);
         iosfix::AddChat(db, 1, "+8613800138000");
         for (int i = 1; i <= n; ++i)
           iosfix::AddMessage(db, iosfix::Msg(Id(i), std::int64_t{0}, std::int64_t{400000000 + i}, 1));
       },
       "DELETE FROM message WHERE ROWID < ? OR ROWID > ??", RunIosMessagesScan,
       [] {
         std::vector<std::pair<std::string, bool>> out;
         for (const PSMSvalue& m : SmsRecords) out.emplace_back(m.Body, m.Deleted);
         return out;
       }},
      {"WeChat",
       [](FixtureDb& db, int n) {
         db.Exec(iosfix::kWeChatFriendTable);
         db.Exec(iosfix::WeChatChatTable(kChat));
         for (int i = 1; i <= n; ++i)
           iosfix::AddWeChatMessage(db, kChat, 1500000000 + i, Id(i), std::int64_t{2});
       },
       std::string("DELETE FROM ") + kChat + " WHERE MesLocalID < ? OR MesLocalID > ??",
       RunWeChatScan,
       [] {
         std::vector<std::pair<std::string, bool>> out;
         for (const PWXValue& m : WeChatRecords) out.emplace_back(m.Message, m.Deleted);
         return out;
       }},
      {"Android calls",
       [](FixtureDb& db, int n) {
         db.Exec(androidtest::kCallsTable);
         for (int i = 1; i <= n; ++i) {
           androidtest::AndroidCall call;
           call.number = Id(i);
           db.Exec(androidtest::InsertCall(call));
         }
       },
       "DELETE FROM calls WHERE _id < ? OR _id > ??", RunAndroidCallScan,
       [] {
         std::vector<std::pair<std::string, bool>> out;
         for (const PCallValue& c : CallRecords) out.emplace_back(c.Number, c.Deleted);
         return out;
       }},
      {"Android SMS",
       [](FixtureDb& db, int n) {
         db.Exec(androidtest::kSmsTable);
         for (int i = 1; i <= n; ++i) {
           androidtest::AndroidSms sms;
           sms.body = Id(i);
           db.Exec(androidtest::InsertSms(sms));
         }
       },
       "DELETE FROM sms WHERE _id < ? OR _id > ??", RunAndroidSmsScan,
       [] {
         std::vector<std::pair<std::string, bool>> out;
         for (const PSMSvalue& m : SmsRecords) out.emplace_back(m.Body, m.Deleted);
         return out;
       }},
      {"Android contacts",
       [](FixtureDb& db, int n) {
         db.Exec(std::string(androidtest::kMimeTypesTable) + androidtest::kRawContactsTable +
                 androidtest::kDataTable + androidtest::InsertMimeTypes(androidtest::kPhoneMimeTypes));
         for (int i = 1; i <= n; ++i) db.Exec(androidtest::InsertPhone(1, Id(i)));
       },
       "DELETE FROM data WHERE _id < ? OR _id > ??", RunAndroidContactsScan,
       [] {
         std::vector<std::pair<std::string, bool>> out;
         for (const PAlltelvalue& r : ContactDataRows) out.emplace_back(r.Data1, r.Deleted);
         return out;
       }},
  };
}

std::string Bind(std::string sql, int from, int to) {
  sql.replace(sql.find("??"), 2, std::to_string(to));
  sql.replace(sql.find('?'), 1, std::to_string(from));
  return sql;
}

TEST(FreedPagesEveryKindTest, RowsOnFreedPagesAreDeletedAndTheRowsBetweenStayLive) {
  constexpr int kRows = 900, kFrom = 401, kTo = 450;
  for (const KindCase& c : KindCases()) {
    SCOPED_TRACE(c.name);
    testdb::TempDir dir;
    testdb::ScanFixtureState state;
    const std::string path = dir.File("kind.db");
    {
      iosfix::FixtureDb db(path);
      db.Exec("PRAGMA page_size=1024; PRAGMA auto_vacuum=NONE; PRAGMA journal_mode=DELETE;");
      db.Exec("BEGIN");
      c.fill(db, kRows);
      db.Exec("COMMIT");
      db.Exec(Bind(c.deleteOutside, kFrom, kTo));
    }
    ASSERT_GT(FreelistOf(path).Count(), 10u) << "whole pages freed";
    testdb::ScanFixtureState::Target(path);
    c.scan(state.view);
    EXPECT_EQ(state.view.status[0], "扫描完成");

    const Verdict v = Judge(c.results(), kRows, kFrom, kTo, Id);
    EXPECT_EQ(v.liveMissing, std::vector<int>{});
    EXPECT_EQ(v.deletedShownLive, std::vector<int>{}) << "deleted rows shown live";
    EXPECT_GT(v.deletedFound, (kRows - (kTo - kFrom + 1)) / 2);
  }
}

}  // namespace
}  // namespace velmora
