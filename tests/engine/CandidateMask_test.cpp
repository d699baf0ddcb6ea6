// The candidate mask of the generic walk: the vector code (32 and 64
// offsets at a time) and the offset-by-offset code give the same masks,
// both the prefix and pair tests offset by offset, and no offset where the
// full header test passes is ever missing; over random bytes, bytes drawn from the serial-type bytes the
// tests care about, and the pages of databases built with SQLite, for
// synthetic layouts in every header test mode and the layouts of the
// scanners' tables, at every alignment and for runs of every length.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "AndroidFixtures.h"
#include "IosKindsFixtures.h"
#include "TestDb.h"
#include "engine/AndroidCallScanner.h"
#include "engine/AndroidContactsScanner.h"
#include "engine/AndroidSmsScanner.h"
#include "engine/CandidateMask.h"
#include "engine/CarvingEngine.h"
#include "engine/IosCallScanner.h"
#include "engine/IosMessagesScanner.h"
#include "engine/WeChatScanner.h"

namespace velmora {
namespace {

struct SavedMaskCode {
  bool saved = CarveVectorMask;
  bool savedWide = CarveWideVectorMask;
  ~SavedMaskCode() {
    CarveVectorMask = saved;
    CarveWideVectorMask = savedWide;
  }
};

// ------------------------------------------------------------------ layouts

struct Layout {
  std::string name;
  ATableField columns;
  HeaderTest mode;
  std::uint64_t bound;
};
void PrintTo(const Layout& layout, std::ostream* os) { *os << layout.name; }

const PTableField kText{"t", "c", 13, false};
const PTableField kInt{"i", "i", 9, false};
const PTableField kReqInt{"r", "i", 9, true};
const PTableField kSmallInt{"s", "i", 4, true};  // a narrowed integer column
const PTableField kBlob{"b", "b", 12, false};
const PTableField kUntyped{"u", "", 0, false};

ATableField Columns(std::initializer_list<PTableField> cols) {
  ATableField f = {PTableField{"ROWID", "i", 9, false}};
  f.insert(f.end(), cols);
  return f;
}

// The CREATE statement of `table` in a fixture's SQL, as SQLite stores it.
std::string CreateText(const std::string& sql, const std::string& table) {
  const std::size_t from = sql.find("CREATE TABLE " + table);
  const std::size_t to = sql.find(");", from);
  return sql.substr(from, to + 1 - from);
}

std::vector<Layout> Layouts() {
  std::vector<Layout> all;
  const struct {
    const char* name;
    ATableField columns;
  } shapes[] = {
      {"IntsOnly", Columns({kInt, kReqInt, kInt, kInt, kReqInt, kInt, kInt, kInt, kInt, kInt})},
      {"TextFirst", Columns({kText, kText, kReqInt, kText, kInt, kText, kText, kBlob, kInt, kReqInt})},
      {"BlobFirst", Columns({kBlob, kInt, kText, kReqInt, kBlob})},
      {"UntypedFirst", Columns({kUntyped, kText, kUntyped, kReqInt, kSmallInt, kText})},
      {"TwoColumns", Columns({kText})},
      {"ThreeColumns", Columns({kReqInt, kText})},
      {"NarrowInts", Columns({kSmallInt, kSmallInt, kText, kSmallInt, kSmallInt, kSmallInt, kSmallInt,
                              kSmallInt, kSmallInt, kText})},
  };
  const struct {
    const char* name;
    HeaderTest mode;
  } modes[] = {{"Varint", HeaderTest::Varint},
               {"VarintEach", HeaderTest::VarintEach},
               {"SingleByte", HeaderTest::SingleByte}};
  for (const auto& shape : shapes)
    for (const auto& mode : modes)
      for (const std::uint64_t bound : {512u, 4096u, 8192u, 131072u})
        all.push_back({std::string(shape.name) + "_" + mode.name + "_" + std::to_string(bound),
                       shape.columns, mode.mode, bound});

  // The scanners' own tables, columns made as the scans make them.
  const struct {
    const char* name;
    CarveKind kind;
    std::string create;
  } kinds[] = {
      {"IosCalls", IosCallKind(), CreateText(testdb::kIosCallTable, "call")},
      {"IosMessages", IosMessagesKind(), CreateText(iosfix::kMessageTableIos6, "message")},
      {"WeChat", WeChatKind(), CreateText(iosfix::WeChatChatTable("Chat_0b4e7a0e5fe84ad35fb5f95b9ceeac79"), "Chat_")},
      {"AndroidCalls", AndroidCallKind(), CreateText(androidtest::kCallsTable, "calls")},
      {"AndroidSms", AndroidSmsKind(), CreateText(androidtest::kSmsTable, "sms")},
      {"AndroidContacts", AndroidContactsKind(), CreateText(androidtest::kDataTable, "data")},
  };
  for (const auto& k : kinds) {
    ATableField columns;
    std::vector<int> keys;
    BuildTableColumns(k.create, k.kind, columns, keys);
    for (const std::uint64_t page : {1024u, 4096u, 65536u})
      all.push_back({std::string(k.name) + "_" + std::to_string(page), columns, k.kind.headerTest,
                     static_cast<std::uint64_t>(std::max(k.kind.textBoundFactor, 1)) * page});
  }
  return all;
}

// ------------------------------------------------------------------ inputs

std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

// Bytes drawn mostly from the serial types the tests tell apart: small
// integers, 0, 6, 7, the limits of texts and blobs, the first bytes of
// two-byte types and continuation bytes, so that runs pass many columns.
std::vector<std::uint8_t> SerialTypeBytes(std::size_t n, std::uint32_t seed) {
  static const std::uint8_t kPool[] = {0,    1,    2,    4,    5,    6,    7,    8,    9,    10,   12,
                                       13,   14,   15,   0x1B, 0x20, 0x7E, 0x7F, 0x80, 0x81, 0x82,
                                       0x83, 0x88, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xE4, 0xFF};
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> b(n);
  for (auto& x : b) x = rng() % 4 == 0 ? static_cast<std::uint8_t>(rng()) : kPool[rng() % std::size(kPool)];
  return b;
}

// The bytes of a small SMS database: pages of records with Chinese and
// ASCII texts, live and deleted.
std::vector<std::uint8_t> DatabaseBytes() {
  testdb::TempDir dir;
  const std::string path = dir.File("sms.db");
  std::string sql = std::string(androidtest::kSmsTable) + "BEGIN;";
  for (int i = 0; i < 150; ++i) {
    androidtest::AndroidSms m;
    m.address = "1069" + std::to_string(i * 37);
    m.date = androidtest::Num(1400000000000 + std::int64_t{i} * 61000);
    m.type = androidtest::Num(1 + i % 2);
    m.body = i % 3 == 0 ? std::string(static_cast<std::size_t>(i % 40 + 1), 'x') + "您好，您的话费余额为 12.50 元。"
                        : "message " + std::to_string(i) + std::string(static_cast<std::size_t>(i * 7 % 300), 'a' + i % 26);
    sql += androidtest::InsertSms(m);
  }
  testdb::Build(path, sql + "COMMIT; DELETE FROM sms WHERE _id % 4 = 0;", 1024);
  return testdb::ReadBytes(path);
}

// ------------------------------------------------------------------ checks

// The mask of the n offsets at buffer[0] from the given code; the buffer
// holds exactly the bytes the mask may read.
std::vector<std::uint64_t> MaskOf(const HeaderMatcher& m, const std::vector<std::uint8_t>& buffer,
                                  std::size_t n, bool vector, bool wide = false) {
  CarveVectorMask = vector;
  CarveWideVectorMask = wide;
  std::vector<std::uint64_t> masks((n + 63) / 64, ~std::uint64_t{0});
  m.CandidateMask(buffer.data(), n, masks.data());
  return masks;
}

bool Bit(const std::vector<std::uint64_t>& masks, std::size_t i) { return (masks[i / 64] >> (i % 64)) & 1; }

// Checks the masks of the n offsets from bytes[from] on; returns the
// failures' count (at most a few reported).
int CheckRun(const HeaderMatcher& m, const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t n,
             const std::string& what) {
  // A buffer of exactly the bytes read, so that a read past them shows
  // under the address sanitizer.
  const std::vector<std::uint8_t> buffer(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                         bytes.begin() + static_cast<std::ptrdiff_t>(from + n + kMaskColumns - 1));
  const auto vec = MaskOf(m, buffer, n, true);
  const auto wide = MaskOf(m, buffer, n, true, true);
  const auto scalar = MaskOf(m, buffer, n, false);
  int failures = 0;
  if (wide != vec) {
    ADD_FAILURE() << what << ": the 64-offset masks differ from the 32-offset ones, run of " << n
                  << " at " << from;
    ++failures;
  }
  for (std::size_t i = 0; i < n && failures < 3; ++i) {
    const bool expected = m.PrefixMayMatch(buffer.data() + i) &&
                          HeaderMatcher::PairsMayMatch(buffer.data() + i, m.PairTable12Varint(), m.PairTable34());
    const bool fourBytes = HeaderMatcher::FirstBytesMayMatch(buffer.data() + i, m.Table(1), m.Table(2), m.Table(3), m.Table(4));
    const bool match = m.Match(buffer, i);
    // Where the prefix test passes, the header test that skips what it has
    // read gives the full test's answer, with the input's bytes after the
    // run and without them.
    const bool afterPrefixAgrees =
        !expected || (m.MatchAfterPrefix(buffer, i) == match &&
                      m.MatchAfterPrefix(bytes, from + i) == m.Match(bytes, from + i));
    if (Bit(vec, i) != expected || Bit(scalar, i) != expected || (match && !expected) || (expected && !fourBytes) ||
        !afterPrefixAgrees) {
      ADD_FAILURE() << what << " offset " << from + i << " of a run of " << n << ": vector " << Bit(vec, i)
                    << " scalar " << Bit(scalar, i) << " expected " << expected << " match " << match
                    << " after the prefix " << afterPrefixAgrees;
      ++failures;
    }
  }
  // No bit past the run.
  for (std::size_t i = n; i < vec.size() * 64; ++i) {
    if (Bit(vec, i) || Bit(scalar, i)) {
      ADD_FAILURE() << what << " bit " << i << " past a run of " << n;
      ++failures;
      break;
    }
  }
  return failures;
}

class CandidateMaskTest : public ::testing::TestWithParam<Layout> {
 protected:
  SavedMaskCode saved;
  HeaderMatcher matcher{GetParam().columns, GetParam().mode, GetParam().bound};
};

TEST_P(CandidateMaskTest, VectorAndScalarMasksAgreeAndKeepEveryMatch) {
  static const std::vector<std::uint8_t> database = DatabaseBytes();
  const std::vector<std::uint8_t> inputs[] = {RandomBytes(9000, 1), SerialTypeBytes(9000, 2),
                                              SerialTypeBytes(9000, 3), database};
  const char* names[] = {"random", "serial types", "serial types 2", "database"};
  for (std::size_t k = 0; k < std::size(inputs); ++k) {
    const auto& bytes = inputs[k];
    // The whole input in chunks of the walk's size, at each alignment.
    for (std::size_t align = 0; align < 3; ++align)
      for (std::size_t at = align; at + 4096 + kMaskColumns - 1 <= bytes.size(); at += 4096)
        ASSERT_EQ(CheckRun(matcher, bytes, at, 4096, names[k]), 0);
    // Runs of every length up to 130 (tails of each size) and a few odd ones.
    for (std::size_t n = 1; n <= 130; ++n) ASSERT_EQ(CheckRun(matcher, bytes, 1000 + 3 * n, n, names[k]), 0);
    for (const std::size_t n : {191u, 255u, 1023u, 4095u})
      ASSERT_EQ(CheckRun(matcher, bytes, 17, n, names[k]), 0);
    ASSERT_EQ(CheckRun(matcher, bytes, 0, bytes.size() - (kMaskColumns - 1), names[k]), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, CandidateMaskTest, ::testing::ValuesIn(Layouts()),
                         [](const auto& info) { return info.param.name; });

// Every byte pair in column 1 and 2 position, after and before runs of
// bytes that pass or fail the later columns.
TEST(CandidateMask, EveryFirstTwoBytesAgree) {
  SavedMaskCode saved;
  for (const Layout& layout : Layouts()) {
    const HeaderMatcher m(layout.columns, layout.mode, layout.bound);
    for (const std::uint8_t fill : {std::uint8_t{1}, std::uint8_t{0x0D}, std::uint8_t{0x80}}) {
      std::vector<std::uint8_t> bytes(65536 * 2 + kMaskColumns + 8, fill);
      for (unsigned x = 0; x < 256; ++x)
        for (unsigned y = 0; y < 256; ++y) {
          bytes[2 * (x * 256 + y)] = static_cast<std::uint8_t>(x);
          bytes[2 * (x * 256 + y) + 1] = static_cast<std::uint8_t>(y);
        }
      ASSERT_EQ(CheckRun(m, bytes, 0, 65536 * 2, layout.name + " fill " + std::to_string(fill)), 0);
    }
  }
}

TEST(CandidateMask, TheVectorCodeRunsWhereTheProcessorHasIt) {
#if defined(__x86_64__)
  EXPECT_EQ(VectorMaskAvailable(), __builtin_cpu_supports("avx2") != 0);
  EXPECT_EQ(WideVectorMaskAvailable(), __builtin_cpu_supports("avx2") != 0 &&
                                           __builtin_cpu_supports("avx512f") != 0 &&
                                           __builtin_cpu_supports("avx512bw") != 0);
#else
  EXPECT_FALSE(VectorMaskAvailable());
  EXPECT_FALSE(WideVectorMaskAvailable());
#endif
}

}  // namespace
}  // namespace velmora
