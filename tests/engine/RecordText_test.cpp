// The result records' texts and the arrays that keep them: stored texts stay
// put while the array grows, copies own their bytes, constants are not
// copied, and emptying an array gives its room back.
#include "engine/RecordText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "engine/MyFuns_.h"
#include "engine/ResultArray.h"
#include "engine/ScanContext.h"

namespace velmora {
namespace {

TEST(RecordTextTest, ValuesReadAsTheirBytesWithATrailingNul) {
  const std::string withNul("a\0b", 3);
  const struct {
    RecordText text;
    std::string bytes;
  } cases[] = {
      {RecordText(), ""},
      {RecordText(""), ""},
      {RecordText("接收"), "接收"},
      {RecordText(withNul), withNul},
      {RecordText(std::string(100000, 'x')), std::string(100000, 'x')},
      {RecordText::Constant("呼出"), "呼出"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.text.view(), c.bytes);
    EXPECT_EQ(c.text.size(), c.bytes.size());
    EXPECT_EQ(c.text.empty(), c.bytes.empty());
    EXPECT_EQ(c.text.c_str()[c.text.size()], '\0');
    EXPECT_EQ(c.text.str(), c.bytes);
    EXPECT_TRUE(c.text == c.bytes);
    EXPECT_TRUE(c.bytes == c.text);
    std::ostringstream out;
    out << c.text;
    EXPECT_EQ(out.str(), c.bytes);
  }
}

TEST(RecordTextTest, CopiesOwnTheirBytesAndMovesTakeThem) {
  RecordText copy;
  RecordText moved;
  {
    ResultArray<PSMSvalue> records;
    PSMSvalue& r = records.emplace_back();
    r.Body = records.Keep("正文 a message body");
    copy = r.Body;
    moved = std::move(r.Body);
    EXPECT_TRUE(r.Body.empty());
    EXPECT_EQ(moved, "正文 a message body");
    // The moved text still points into the array's store; the copy does not.
    EXPECT_NE(copy.data(), moved.data());
  }
  // The array and its store are gone; the copy's bytes are its own.
  EXPECT_EQ(copy, "正文 a message body");

  RecordText a("first");
  RecordText b = a;
  a = "second";
  EXPECT_EQ(b, "first");
  EXPECT_EQ(a, "second");
  a = std::move(b);
  EXPECT_EQ(a, "first");
  a.clear();
  EXPECT_TRUE(a.empty());
}

TEST(RecordTextTest, ShortTextsAreHeldInTheValueLongOnesInTheStore) {
  ResultArray<PtelValue> records;
  const std::size_t before = MappedBlockBytes();
  PtelValue& r = records.emplace_back();
  const std::string fourteen(14, '7');
  const std::string fifteen(15, '8');
  r.Name = records.Keep(fourteen);
  r.Phone = records.Keep(fifteen);
  const char* name = reinterpret_cast<const char*>(&r.Name);
  EXPECT_GE(r.Name.data(), name);
  EXPECT_LT(r.Name.data(), name + sizeof(RecordText));
  EXPECT_EQ(r.Name.c_str()[14], '\0');
  EXPECT_EQ(r.Phone, fifteen);
  EXPECT_FALSE(r.Phone.data() >= reinterpret_cast<const char*>(&r.Phone) &&
               r.Phone.data() < reinterpret_cast<const char*>(&r.Phone) + sizeof(RecordText));
  EXPECT_GT(MappedBlockBytes(), before);
  // A short text moved or copied keeps its bytes in the new value.
  RecordText moved = std::move(r.Name);
  EXPECT_EQ(moved, fourteen);
  EXPECT_TRUE(r.Name.empty());
  RecordText copied = moved;
  moved = "x";
  EXPECT_EQ(copied, fourteen);
  EXPECT_EQ(moved, "x");
}

TEST(RecordTextTest, DecimalsReadAsTheirDigitsInTheValueOrTheStore) {
  ResultArray<PtelValue> records;
  const std::int64_t cases[] = {0, 7, -7, 12345678901234, 99999999999999, 100000000000000,
                                -9999999999999, -10000000000000, INT64_MAX, INT64_MIN};
  for (const std::int64_t v : cases) {
    const RecordText t = records.KeepDecimal(v);
    EXPECT_EQ(t.view(), std::to_string(v));
    EXPECT_EQ(t.c_str()[t.size()], '\0');
    const bool inside = t.data() >= reinterpret_cast<const char*>(&t) &&
                        t.data() < reinterpret_cast<const char*>(&t) + sizeof(RecordText);
    EXPECT_EQ(inside, t.size() <= RecordText::kInlineBytes) << v;
  }
  // Every length of digits, at its ends and in between.
  std::uint64_t seed = 1;
  for (std::int64_t power = 1; power <= 1'000'000'000'000'000; power *= 10) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    const std::int64_t between = power + static_cast<std::int64_t>((seed >> 20) % static_cast<std::uint64_t>(9 * power));
    for (const std::int64_t v : {power - 1, power, power + 1, between}) {
      EXPECT_EQ(records.KeepDecimal(v).view(), std::to_string(v));
      EXPECT_EQ(records.KeepDecimal(-v).view(), std::to_string(-v));
    }
  }
}

TEST(RecordTextTest, HeldBytesAreKeptAsTheirTextWhateverFollowsThem) {
  // Texts of every length up to past the inline room, followed by bytes
  // that must not show, with all the bytes after them readable, just
  // enough, and one short of the two words a short text is read as.
  ResultArray<PtelValue> records;
  std::string bytes(64, '\xA5');
  for (std::size_t n = 0; n <= RecordText::kInlineBytes + 3; ++n) {
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>('a' + i);
    const std::string_view text(bytes.data(), n);
    for (const std::size_t readable : {bytes.size(), std::max<std::size_t>(n, 16), std::max<std::size_t>(n, 15)}) {
      const RecordText t = records.KeepHeld(bytes.data(), n, readable);
      EXPECT_EQ(t.view(), text) << n << " " << readable;
      EXPECT_EQ(t.c_str()[n], '\0') << n << " " << readable;
      EXPECT_EQ(t, records.Keep(text));
      const bool inside = t.data() >= reinterpret_cast<const char*>(&t) &&
                          t.data() < reinterpret_cast<const char*>(&t) + sizeof(RecordText);
      EXPECT_EQ(inside, n <= RecordText::kInlineBytes) << n;
    }
  }
}

TEST(RecordTextTest, ConstantsAreNeitherCopiedNorOwned) {
  static const char kWord[] = "草稿";
  const RecordText word = RecordText::Constant(kWord);
  EXPECT_EQ(word.data(), kWord);
  const RecordText again = word;
  EXPECT_EQ(again.data(), kWord);
}

TEST(RecordTimeTest, AMomentReadsAsTheTimeTextOfItsBase) {
  SetProgramFormats();
  struct Restore {
    ~Restore() { ResetSystemFormats(); }
  } restore;
  const std::int64_t moments[] = {0,
                                  -1,
                                  1400000000000,
                                  1400000000123,
                                  -28800000,  // midnight at UTC+8: the date alone
                                  INT64_MIN,
                                  INT64_MAX,
                                  978307200000};
  for (const std::int64_t ms : moments) {
    std::string scratch;
    EXPECT_EQ(RecordTime::Unix(ms).Text(scratch), UnixMsToText(ms)) << ms;
    EXPECT_EQ(RecordTime::Cocoa(ms).str(), CocoaMsToText(ms)) << ms;
    EXPECT_EQ(RecordTime::Unix(ms), UnixMsToText(ms));
    const RecordTime copy = RecordTime::Cocoa(ms);
    const RecordTime again = copy;
    EXPECT_EQ(again, copy);
  }
  EXPECT_EQ(RecordTime::Unix(1400000000000), "2014-05-14 00:53:20");
}

TEST(RecordTimeTest, AGivenTextReadsAsItself) {
  const RecordTime none;
  std::string scratch = "left alone";
  EXPECT_EQ(none.Text(scratch), "");
  const RecordTime given = "2014-03-05 12:34:56";
  EXPECT_EQ(given.Text(scratch), "2014-03-05 12:34:56");
  EXPECT_EQ(scratch, "left alone");
  RecordTime assigned;
  assigned = std::string("not a time at all, kept as it is");
  EXPECT_EQ(assigned.str(), "not a time at all, kept as it is");
  std::ostringstream out;
  out << given;
  EXPECT_EQ(out.str(), "2014-03-05 12:34:56");
}

TEST(ResultArrayTest, StoredTextsStayPutWhileTheArrayGrows) {
  ResultArray<PCallValue> calls;
  std::vector<const char*> where;
  constexpr std::size_t kRecords = 3 * 4096 + 17;  // past three chunks
  for (std::size_t i = 0; i < kRecords; ++i) {
    PCallValue& c = calls.emplace_back();
    c.Number = calls.Keep("1380000" + std::to_string(i));
    // Every so often a text larger than a whole block.
    if (i % 5000 == 1) c.Name = calls.Keep(std::string(9u << 20, 'n'));
    where.push_back(c.Number.data());
  }
  ASSERT_EQ(calls.size(), kRecords);
  for (std::size_t i = 0; i < kRecords; ++i) {
    EXPECT_EQ(calls[i].Number, "1380000" + std::to_string(i));
    EXPECT_EQ(calls[i].Number.data(), where[i]);
    EXPECT_EQ(calls[i].Name.size(), i % 5000 == 1 ? std::size_t{9} << 20 : 0);
  }
  EXPECT_GT(MappedBlockBytes(), std::size_t{27} << 20);
  const std::size_t before = MappedBlockBytes();
  calls.clear();
  EXPECT_TRUE(calls.empty());
  EXPECT_LT(MappedBlockBytes(), before);
}

TEST(ResultArrayTest, CopiesMovesShrinkingAndRegrowingKeepEveryRecord) {
  ResultArray<PtelValue> a;
  for (int i = 0; i < 5000; ++i) {
    PtelValue& c = a.emplace_back();
    c.Name = a.Keep("name" + std::to_string(i));
    c.Phone = RecordText("phone" + std::to_string(i));  // owned, not stored
    c.Deleted = i % 3 == 0;
  }
  ResultArray<PtelValue> copy = a;
  ResultArray<PtelValue> moved = std::move(a);
  EXPECT_TRUE(a.empty());  // NOLINT(bugprone-use-after-move): a moved-from array is empty
  a = {{"x", "1", false}};
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].Name, "x");
  for (const ResultArray<PtelValue>* array : {&copy, &moved}) {
    ASSERT_EQ(array->size(), 5000u);
    for (int i = 0; i < 5000; ++i) {
      EXPECT_EQ((*array)[static_cast<std::size_t>(i)].Name, "name" + std::to_string(i));
      EXPECT_EQ((*array)[static_cast<std::size_t>(i)].Phone, "phone" + std::to_string(i));
      EXPECT_EQ((*array)[static_cast<std::size_t>(i)].Deleted, i % 3 == 0);
    }
  }
  // Down into the first chunk and up again past where it was.
  moved.resize(10);
  moved.resize(4100);
  EXPECT_EQ(moved[9].Name, "name9");
  EXPECT_TRUE(moved[10].Name.empty());
  EXPECT_TRUE(moved[4099].Phone.empty());
  moved.assign(3, PtelValue{"old", "000", true});
  ASSERT_EQ(moved.size(), 3u);
  EXPECT_EQ(moved[2].Phone, "000");
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

TEST(MappedBlockTest, AGrowingArrayMovesIntoMappedBlocksAndGivesThemBack) {
  const std::size_t before = MappedBlockBytes();
  {
    std::vector<std::uint32_t, BlockAllocator<std::uint32_t>> rows;
    for (std::uint32_t i = 0; i < 3'000'000; ++i) rows.push_back(i * 7u);
    EXPECT_GE(MappedBlockBytes(), before + rows.size() * sizeof(std::uint32_t));
    for (std::uint32_t i = 0; i < 3'000'000; i += 999) ASSERT_EQ(rows[i], i * 7u);
    rows.resize(10);
    rows.shrink_to_fit();  // back to the heap
    EXPECT_EQ(MappedBlockBytes(), before);
    EXPECT_EQ(rows[9], 63u);
  }
  EXPECT_EQ(MappedBlockBytes(), before);
  // Sizes as mapped: whole pages, whole huge pages from 2 MiB on.
  EXPECT_EQ(MappedBlockSize(1), static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)));
  EXPECT_EQ(MappedBlockSize(kHugePageBytes + 1), 2 * kHugePageBytes);
}

}  // namespace
}  // namespace velmora
