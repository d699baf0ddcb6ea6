#include "engine/CarvingEngine.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "TestDb.h"
#include "engine/IosCallScanner.h"
#include "engine/SQLiteFormat.h"

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;

// ------------------------------------------------------------------ varints

struct VarintCase {
  Bytes bytes;
  std::uint64_t value;
};

TEST(ReadVarint, DocumentedFormsAndEveryCutLength) {
  const VarintCase cases[] = {
      {{0x00}, 0},
      {{0x7F}, 127},
      {{0x81, 0x00}, 128},
      {{0x80, 0x0D}, 13},
      {{0x81, 0x80, 0x00}, 16384},
      {{0xFF, 0xFF, 0xFF, 0x7F}, (1u << 28) - 1},
  };
  for (const VarintCase& c : cases) {
    std::uint64_t v = 99;
    ASSERT_EQ(sqlitefmt::ReadVarint(c.bytes, 0, 8, v), static_cast<int>(c.bytes.size()));
    EXPECT_EQ(v, c.value);
    // Cut before its last byte it runs off the buffer: no value.
    for (std::size_t cut = 0; cut < c.bytes.size(); ++cut) {
      const Bytes part(c.bytes.begin(), c.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
      std::uint64_t w = 99;
      EXPECT_EQ(sqlitefmt::ReadVarint(part, 0, 8, w), 0);
      EXPECT_EQ(w, 99u);
    }
  }
  std::uint64_t v = 0;
  const Bytes five = {0x81, 0x81, 0x81, 0x81, 0x01};
  EXPECT_EQ(sqlitefmt::ReadVarint(five, 0, 4, v), 0);  // longer than allowed
  EXPECT_EQ(sqlitefmt::ReadVarint(five, 0, 5, v), 5);
  EXPECT_EQ(sqlitefmt::ReadVarint(five, 9, 5, v), 0);  // starts past the end
}

// ------------------------------------------------------------------ decode

struct DecodeCase {
  const char* label;
  Bytes record;  // column 1's serial type, then its content
  std::string text;
};

class DecodeColumn : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeColumn, SerialTypeGivesText) {
  const DecodeCase& c = GetParam();
  CarvedRecord rec;
  ASSERT_EQ(DecodeRecordAt(c.record, 0, 1, 2, true, rec), DecodeStatus::Ok);
  EXPECT_EQ(rec.HeaderBytes(), c.record[0] >= 0x80 ? 2u : 1u);
  EXPECT_EQ(rec.Text(1), c.text);
  EXPECT_EQ(rec.Text(0), "");  // the row key is never decoded
  // The text without a copy, and the value-to-text routine, say the same.
  std::string scratch;
  EXPECT_EQ(rec.TextView(1, scratch), c.text);
  EXPECT_EQ(StoredValueText(rec.SerialType(1), c.record.data() + rec.HeaderBytes()), c.text);
  std::int64_t value = 0;
  std::int64_t parsed = 0;
  const bool isInteger = rec.TryInt64(1, value);
  EXPECT_EQ(isInteger, TryTextToInt64(c.text, parsed));
  if (isInteger) {
    EXPECT_EQ(value, parsed);
  }
  // Followed by other bytes, an integer is read from a word wider than it:
  // the same value.
  Bytes padded = c.record;
  padded.insert(padded.end(), 8, 0xA5);
  CarvedRecord wide;
  ASSERT_EQ(DecodeRecordAt(padded, 0, 1, 2, true, wide), DecodeStatus::Ok);
  std::int64_t wideValue = 0;
  EXPECT_EQ(wide.TryInt64(1, wideValue), isInteger);
  if (isInteger) {
    EXPECT_EQ(wideValue, value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeColumn,
    ::testing::Values(
        DecodeCase{"null", {0}, "NULL"}, DecodeCase{"zero", {8}, "0"}, DecodeCase{"one", {9}, "1"},
        DecodeCase{"int8MinusOne", {1, 0xFF}, "-1"}, DecodeCase{"int8Max", {1, 0x7F}, "127"},
        DecodeCase{"int16", {2, 0x01, 0x2C}, "300"}, DecodeCase{"int16Min", {2, 0x80, 0x00}, "-32768"},
        DecodeCase{"int24", {3, 0x01, 0x00, 0x00}, "65536"},
        DecodeCase{"int24Negative", {3, 0xFF, 0xFF, 0xFE}, "-2"},
        DecodeCase{"int32", {4, 0x53, 0x72, 0x8C, 0x00}, "1400015872"},
        DecodeCase{"int48", {5, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, "1099511627776"},
        DecodeCase{"int48Negative", {5, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "-1"},
        DecodeCase{"int64", {6, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "9223372036854775807"},
        DecodeCase{"int64Min", {6, 0x80, 0, 0, 0, 0, 0, 0, 0}, "-9223372036854775808"},
        DecodeCase{"float", {7, 0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18}, ""},
        DecodeCase{"emptyText", {13}, ""}, DecodeCase{"text", {17, 'h', 'i'}, "hi"},
        DecodeCase{"utf8Text", {19, 0xE4, 0xBD, 0xA0}, "你"},
        DecodeCase{"blob", {16, 'a', 'b'}, "ab"},
        // A text of 64 bytes: serial type 141, the two-byte varint 0x81 0x0D.
        DecodeCase{"twoByteTextSerialType",
                   [] {
                     Bytes b = {0x81, 0x0D};
                     b.insert(b.end(), 64, 'z');
                     return b;
                   }(),
                   std::string(64, 'z')}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DecodeRecordAt, FloatBeforeTextDoesNotShiftTheText) {
  const Bytes rec = {7, 0x81, 0x00 + 1, 0, 1, 2, 3, 4, 5, 6, 7};  // float, then a 2-byte serial type
  // Serial types: 7 (8 bytes), then 0x81 0x01 = 129 (a text of 58 bytes).
  Bytes image = rec;
  image.insert(image.end(), 58, 'q');
  CarvedRecord r;
  ASSERT_EQ(DecodeRecordAt(image, 0, 1, 3, true, r), DecodeStatus::Ok);
  EXPECT_EQ(r.HeaderBytes(), 3u);
  EXPECT_EQ(r.Text(1), "");
  EXPECT_EQ(r.SerialType(2), 129u);
  EXPECT_EQ(r.Text(2), std::string(58, 'q'));
}

TEST(DecodeRecordAt, TwoMultiByteSerialTypesAreEachReadFromTheirOwnBytes) {
  Bytes image = {0x81, 0x0D, 0x80, 0x11};  // 141 (64-byte text), 17 (2-byte text)
  image.insert(image.end(), 64, 'a');
  image.insert(image.end(), {'b', 'c'});
  CarvedRecord r;
  ASSERT_EQ(DecodeRecordAt(image, 0, 1, 3, true, r), DecodeStatus::Ok);
  EXPECT_EQ(r.Text(1), std::string(64, 'a'));
  EXPECT_EQ(r.Text(2), "bc");
}

TEST(DecodeRecordAt, BlobsAreSteppedOverWhenTheKindDoesNotDecodeThem) {
  const Bytes image = {16, 17, 'a', 'b', 'h', 'i'};
  CarvedRecord r;
  ASSERT_EQ(DecodeRecordAt(image, 0, 1, 3, false, r), DecodeStatus::Ok);
  EXPECT_EQ(r.Text(1), "");
  EXPECT_EQ(r.Text(2), "hi");
}

TEST(DecodeRecordAt, LongSerialTypesAndContentPastTheImage) {
  CarvedRecord r;
  const Bytes longType = {1, 0x81, 0x81, 0x81, 0x81, 0x01, 0, 0, 0, 0};
  EXPECT_EQ(DecodeRecordAt(longType, 0, 1, 3, true, r), DecodeStatus::LongSerialType);
  EXPECT_EQ(r.HeaderBytes(), 5u);
  const Bytes cutHeader = {1, 0x81};
  EXPECT_EQ(DecodeRecordAt(cutHeader, 0, 1, 3, true, r), DecodeStatus::PastImage);
  const Bytes cutBody = {4, 0x01, 0x02};  // a 4-byte integer with 2 bytes left
  EXPECT_EQ(DecodeRecordAt(cutBody, 0, 1, 2, true, r), DecodeStatus::PastImage);
  EXPECT_EQ(DecodeRecordAt(cutBody, 7, 1, 2, true, r), DecodeStatus::PastImage);
}

// The decode as its comment states it, one bounds test per byte: the serial
// types of columns first..count-1 (at most four bytes each), then the
// contents of columns 1..count-1 one after the other.
struct PlainDecode {
  DecodeStatus status = DecodeStatus::Ok;
  std::size_t headerBytes = 0;
  std::vector<std::uint64_t> types;
  std::vector<std::string> texts;  // columns 1..count-1; Ok only
};

PlainDecode DecodePlainly(const Bytes& image, std::size_t offset, int first, int count) {
  PlainDecode d;
  d.types.assign(static_cast<std::size_t>(count), 0);
  std::size_t at = offset;
  for (int c = first; c < count; ++c) {
    std::uint64_t v = 0;
    int len = 0;
    for (int i = 0; i < 4; ++i) {
      if (at + static_cast<std::size_t>(i) >= image.size()) {
        d.status = DecodeStatus::PastImage;
        return d;
      }
      const std::uint8_t b = image[at + static_cast<std::size_t>(i)];
      v = (v << 7) | (b & 0x7Fu);
      if (b < 0x80) {
        len = i + 1;
        break;
      }
    }
    if (len == 0) {
      d.status = DecodeStatus::LongSerialType;
      d.headerBytes = at - offset + 4;
      return d;
    }
    d.types[static_cast<std::size_t>(c)] = v;
    at += static_cast<std::size_t>(len);
  }
  d.headerBytes = at - offset;
  for (int c = 1; c < count; ++c) {
    const std::uint64_t t = d.types[static_cast<std::size_t>(c)];
    const std::size_t size = static_cast<std::size_t>(sqlitefmt::ContentSize(t));
    if (at > image.size() || size > image.size() - at) {
      d.status = DecodeStatus::PastImage;
      return d;
    }
    std::string text;
    if (t == 0) {
      text = "NULL";
    } else if (t == 8 || t == 9) {
      text = t == 8 ? "0" : "1";
    } else if (t >= 1 && t <= 6) {
      text = std::to_string(StoredInteger(image.data() + at, size));
    } else if (t >= 12) {
      text.assign(reinterpret_cast<const char*>(image.data() + at), size);
    }
    d.texts.push_back(text);
    at += size;
  }
  return d;
}

TEST(DecodeRecordAt, AgreesWithThePlainDecodeOnRandomHeaders) {
  // Bytes that make short and multi-byte serial types of every kind likely,
  // records cut at the image's end, and over-long serial types.
  const std::uint8_t alphabet[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14, 15, 21, 33, 0x7F,
                                   0x80, 0x81, 0x82, 0x9F, 0xFF, 'a', 'z'};
  std::uint64_t seed = 11;
  const auto next = [&] {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::size_t>(seed >> 33);
  };
  int ok = 0, past = 0, longType = 0;
  for (int round = 0; round < 20000; ++round) {
    Bytes image(next() % 160);
    for (auto& b : image) b = alphabet[next() % std::size(alphabet)];
    const std::size_t offset = image.empty() ? 0 : next() % image.size();
    const int first = static_cast<int>(next() % 2);
    const int count = 1 + static_cast<int>(next() % 24);
    const PlainDecode want = DecodePlainly(image, offset, first, count);
    CarvedRecord r;
    const DecodeStatus got = DecodeRecordAt(image, offset, first, count, true, r);
    ASSERT_EQ(got, want.status) << "round " << round;
    if (got == DecodeStatus::LongSerialType) {
      ++longType;
      EXPECT_EQ(r.HeaderBytes(), want.headerBytes) << "round " << round;
    }
    if (got != DecodeStatus::Ok) {
      past += got == DecodeStatus::PastImage;
      continue;
    }
    ++ok;
    ASSERT_EQ(r.HeaderBytes(), want.headerBytes) << "round " << round;
    for (int c = 0; c < count; ++c) EXPECT_EQ(r.SerialType(c), want.types[static_cast<std::size_t>(c)]);
    for (int c = 1; c < count; ++c)
      EXPECT_EQ(r.Text(c), want.texts[static_cast<std::size_t>(c - 1)]) << "round " << round << " column " << c;
  }
  // Every outcome was met often.
  EXPECT_GT(ok, 500);
  EXPECT_GT(past, 500);
  EXPECT_GT(longType, 100);
}

// ------------------------------------------------------------------ live test

TEST(IsLiveCell, OneToElevenBytesAfterAListedCellStart) {
  const std::uint16_t pointers[] = {100, 300};
  const std::size_t pageStart = 4096;
  struct Case {
    std::size_t after;
    bool live;
  };
  for (const Case c : {Case{0, false}, Case{1, true}, Case{4, true}, Case{11, true}, Case{12, false},
                       Case{150, false}}) {
    EXPECT_EQ(IsLiveCell(pageStart + 100 + c.after, pageStart, pointers), c.live) << c.after;
  }
  EXPECT_FALSE(IsLiveCell(pageStart + 99, pageStart, pointers));  // before the cell
  EXPECT_FALSE(IsLiveCell(pageStart + 101, pageStart, {}));       // no list: not a leaf
}

// ------------------------------------------------------------------ header test

ATableField Columns(std::initializer_list<PTableField> cols) {
  ATableField f = {PTableField{"ROWID", "i", 9, false}};
  f.insert(f.end(), cols);
  return f;
}
const PTableField kText{"t", "c", 13, false};
const PTableField kInt{"i", "i", 9, false};
const PTableField kReqInt{"r", "i", 9, true};
const PTableField kBlob{"b", "b", 12, false};
const PTableField kUntested{"u", "", 0, false};

TEST(HeaderMatcher, IntegerRulesForRequiredAndOptionalColumns) {
  const HeaderMatcher optional(Columns({kInt}), HeaderTest::Varint, 4096);
  const HeaderMatcher required(Columns({kReqInt}), HeaderTest::Varint, 4096);
  const HeaderMatcher single(Columns({kReqInt}), HeaderTest::SingleByte, 4096);
  for (unsigned b = 0; b < 256; ++b) {
    const Bytes img = {static_cast<std::uint8_t>(b)};
    EXPECT_EQ(optional.Match(img, 0), b <= 9 && b != 7) << b;
    EXPECT_EQ(required.Match(img, 0), b >= 1 && b <= 9 && b != 6 && b != 7) << b;
    EXPECT_EQ(single.Match(img, 0), b >= 1 && b <= 9 && b != 7) << b;
    EXPECT_EQ(optional.FirstByteMayMatch(static_cast<std::uint8_t>(b)), optional.Match(img, 0));
  }
}

TEST(HeaderMatcher, TextAndBlobSerialTypes) {
  const HeaderMatcher text(Columns({kText, kInt}), HeaderTest::Varint, 512);
  const HeaderMatcher blob(Columns({kBlob, kInt}), HeaderTest::Varint, 512);
  struct Case {
    Bytes img;
    bool text, blob;
  };
  const Case cases[] = {
      {{0, 1}, true, true},        {{13, 1}, true, false},       {{12, 1}, false, true},
      {{11, 1}, false, false},     {{14, 1}, false, true},       {{0x80, 0x0D, 1}, true, false},
      {{0x84, 0x01, 1}, false, false},  // 513 is over the bound of 512
      {{0x83, 0x7F, 1}, true, false},  // 511
      {{0x84, 0x00, 1}, false, true},  // 512
      {{0x84, 0x02, 1}, false, false}, // 514
      {{0x81, 0x0D, 7}, false, false}, // the integer after a 2-byte type is read at its shifted offset
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text.Match(c.img, 0), c.text) << int(c.img[0]) << " " << int(c.img[1]);
    EXPECT_EQ(blob.Match(c.img, 0), c.blob) << int(c.img[0]) << " " << int(c.img[1]);
  }
  const HeaderMatcher single(Columns({kText}), HeaderTest::SingleByte, 512);
  EXPECT_TRUE(single.Match(Bytes{127}, 0));
  EXPECT_FALSE(single.Match(Bytes{0x81, 0x0D}, 0));
}

TEST(HeaderMatcher, ContinuationBytesLimitedInSumOrPerSerialType) {
  // Five text columns with two-byte serial types: five continuation bytes.
  const ATableField cols = Columns({kText, kText, kText, kText, kText});
  Bytes img;
  for (int i = 0; i < 5; ++i) img.insert(img.end(), {0x81, 0x0D});
  EXPECT_FALSE(HeaderMatcher(cols, HeaderTest::Varint, 65536).Match(img, 0));
  EXPECT_TRUE(HeaderMatcher(cols, HeaderTest::VarintEach, 65536).Match(img, 0));
  // Four in sum pass the generic test.
  Bytes four(img.begin(), img.begin() + 8);
  four.push_back(13);
  EXPECT_TRUE(HeaderMatcher(cols, HeaderTest::Varint, 65536).Match(four, 0));
  // A single serial type of six bytes fails either way.
  const Bytes six = {0x80, 0x80, 0x80, 0x80, 0x80, 0x0D, 13, 13, 13, 13};
  EXPECT_FALSE(HeaderMatcher(cols, HeaderTest::VarintEach, 65536).Match(six, 0));
}

TEST(HeaderMatcher, UntestedColumnsTakeOneByteAndNothingIsReadPastTheImage) {
  const HeaderMatcher m(Columns({kUntested, kReqInt}), HeaderTest::Varint, 4096);
  EXPECT_TRUE(m.Match(Bytes{0xEE, 4}, 0));
  EXPECT_FALSE(m.Match(Bytes{0xEE}, 0));         // column 2 would lie past the end
  const HeaderMatcher t(Columns({kText}), HeaderTest::Varint, 4096);
  EXPECT_FALSE(t.Match(Bytes{0x81}, 0));         // the varint runs off the end
  EXPECT_FALSE(t.Match(Bytes{13}, 1));
}

// TryYearOfMs against the year of the time text the program shows for `ms`:
// the same moments accepted, and for them the same year.
::testing::AssertionResult YearAgreesWithTimeText(TimeBase base, std::int64_t ms) {
  const std::string text = base == TimeBase::Unix ? UnixMsToText(ms) : CocoaMsToText(ms);
  std::int64_t fromText = 0, fast = 0;
  const bool ok = TryYearOfTimeText(text, fromText);
  if (TryYearOfMs(base, ms, fast) != ok) {
    return ::testing::AssertionFailure() << ms << " " << text << ": accepted " << !ok;
  }
  if (ok && fast != fromText) {
    return ::testing::AssertionFailure() << ms << " " << text << ": year " << fast;
  }
  return ::testing::AssertionSuccess();
}

TEST(TryYearOfMs, AgreesWithTheFirstFourCharactersOfTheTimeText) {
  testdb::ScanFixtureState state;
  const std::int64_t cases[] = {0, -1, 946655999999, 946656000000, 4102415999999, 4102416000000,
                                -2208988800000, -2208988800000 - 86400000LL * 400,
                                7258118400000, 1400000000000, INT64_MIN, INT64_MAX};
  // Each moment twice in a row and in both orders: the year kept from the
  // last day asked for must not leak into the next day.
  std::vector<std::int64_t> moments;
  for (const std::int64_t ms : cases) moments.insert(moments.end(), {ms, ms});
  moments.insert(moments.end(), std::rbegin(cases), std::rend(cases));
  for (const TimeBase base : {TimeBase::Unix, TimeBase::Cocoa}) {
    // Every New Year from 1899 to 2201 on the shown clock (UTC+8), the
    // millisecond before it and the one after, and mid-year.
    std::vector<std::int64_t> newYears = moments;
    const std::int64_t shift = (base == TimeBase::Cocoa ? 978307200000 : 0) + 8 * 3600000;
    for (int year = 1899; year <= 2201; ++year) {
      const int y = year - 1;
      const int era = (y >= 0 ? y : y - 399) / 400;
      const int yoe = y - era * 400;
      const std::int64_t days = std::int64_t{era} * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + 306 - 719468;
      const std::int64_t ms = days * 86400000 - shift;
      newYears.insert(newYears.end(), {ms - 1, ms, ms + 1, ms + 86400000LL * 182});
    }
    for (const std::int64_t ms : newYears) EXPECT_TRUE(YearAgreesWithTimeText(base, ms));
  }
}

// Every day from 1899 to 2200 (the days around each new year included),
// asked for in order and then out of order.
TEST(TryYearOfMs, EveryDayAgreesWithItsTimeText) {
  testdb::ScanFixtureState state;
  constexpr std::int64_t kDay = 86400000;
  std::vector<std::int64_t> days;
  for (std::int64_t d = -25600; d <= 84000; ++d) days.push_back(d);
  std::mt19937 rng(5);
  std::vector<std::int64_t> shuffled = days;
  std::shuffle(shuffled.begin(), shuffled.end(), rng);
  shuffled.resize(5000);
  days.insert(days.end(), shuffled.begin(), shuffled.end());
  for (const TimeBase base : {TimeBase::Unix, TimeBase::Cocoa}) {
    for (const std::int64_t d : days) {
      // A moment late in the day as the program shows it (UTC+8) and
      // just after its start.
      for (const std::int64_t ms : {d * kDay + 15 * 3600000 + 59999, d * kDay - 8 * 3600000}) {
        const std::int64_t at = base == TimeBase::Cocoa ? ms - 978307200000 : ms;
        ASSERT_TRUE(YearAgreesWithTimeText(base, at));
      }
    }
  }
}

TEST(HeaderMatcher, TheFourByteFilterNeverRejectsAMatch) {
  ATableField cols;
  std::vector<int> keys;
  std::string create = testdb::kIosCallTable;
  create.pop_back();
  BuildTableColumns(create, IosCallKind(), cols, keys);
  // Small alphabets make matches frequent: serial-type-like bytes and varint starts.
  const std::uint8_t alphabet[] = {0, 1, 2, 4, 6, 7, 8, 9, 13, 17, 0x1F, 0x80, 0x81, 0x9F, 0xA1, 0x0D};
  std::uint64_t seed = 7;
  Bytes img(1 << 16);
  for (auto& b : img) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    b = alphabet[(seed >> 40) % std::size(alphabet)];
  }
  // Plant headers that fit: a one-byte and a two-byte address serial type,
  // then the integer and text columns of the call layout.
  const Bytes oneByte = {17, 4, 1, 1, 1, 13, 13, 13, 1, 8, 0, 17};
  const Bytes twoByte = {0x80, 0x0D, 4, 2, 9, 6, 0x81, 0x01, 0, 0, 9, 9, 12, 0x80, 0x11};
  for (std::size_t at = 100; at + 20 < img.size(); at += 997) {
    const Bytes& h = (at / 997) % 2 ? oneByte : twoByte;
    std::copy(h.begin(), h.end(), img.begin() + static_cast<std::ptrdiff_t>(at));
  }
  for (const HeaderTest mode : {HeaderTest::Varint, HeaderTest::VarintEach, HeaderTest::SingleByte}) {
    const HeaderMatcher m(cols, mode, 4096);
    int matches = 0;
    for (std::size_t pos = 0; pos + 3 < img.size(); ++pos) {
      if (!m.Match(img, pos)) continue;
      ++matches;
      ASSERT_TRUE(m.FirstBytesMayMatch(img.data() + pos)) << pos;
    }
    EXPECT_GT(matches, 0);
  }
}

// The pair tables give the four-byte test's answer for every byte pair of
// columns 1-2 against sampled pairs of columns 3-4, for several layouts.
TEST(HeaderMatcher, PairTablesAgreeWithTheFourByteTest) {
  const std::vector<ATableField> layouts = {
      Columns({kText, kReqInt, kInt, kReqInt}), Columns({kBlob, kText, kUntested, kInt}),
      Columns({kReqInt, kBlob}), Columns({kText}), Columns({kInt, kText, kBlob, kText, kInt})};
  for (const ATableField& cols : layouts) {
    for (const HeaderTest mode : {HeaderTest::Varint, HeaderTest::VarintEach, HeaderTest::SingleByte}) {
      const HeaderMatcher m(cols, mode, 4096);
      std::uint8_t p[4];
      for (unsigned x = 0; x < 65536; ++x) {
        for (const unsigned y : {0u, 1u, 7u, 9u, 13u, 0x0D80u, 0x8081u, 0xFFFFu, x, x ^ 0x5A5Au}) {
          p[0] = static_cast<std::uint8_t>(x), p[1] = static_cast<std::uint8_t>(x >> 8);
          p[2] = static_cast<std::uint8_t>(y), p[3] = static_cast<std::uint8_t>(y >> 8);
          ASSERT_EQ(HeaderMatcher::PairsMayMatch(p, m.PairTable12(), m.PairTable34()),
                    m.FirstBytesMayMatch(p))
              << x << " " << y;
        }
      }
    }
  }
}

// The walk's first-bytes filter (PairTable12Varint with PairTable34) keeps
// every offset Match accepts, and drops only offsets the four-byte test
// keeps, on random bytes and on the bytes of a real call database, for the
// call, messages, WeChat and Android SMS column sets.
TEST(HeaderMatcher, TheVarintPairFilterNeverRejectsAMatch) {
  ATableField call;
  std::vector<int> keys;
  std::string create = testdb::kIosCallTable;
  create.pop_back();
  BuildTableColumns(create, IosCallKind(), call, keys);
  const std::vector<ATableField> layouts = {
      call,
      Columns({kReqInt, kText, kText, kText, kInt, kReqInt, kInt, kInt, kText, kText, kBlob, kInt,
               kText, kInt, kInt, kInt}),                                       // messages
      Columns({kInt, kInt, kInt, kReqInt, kReqInt, kText, kText, kBlob, kInt}),  // WeChat
      Columns({kInt, kText, kInt, kReqInt, kInt, kInt, kReqInt, kInt, kInt, kInt, kText, kText,
               kText, kInt, kInt, kInt}),                                       // Android SMS
      Columns({kBlob, kText, kUntested, kInt})};

  // Random bytes, rich in serial-type-like bytes and varint starts, with
  // planted headers whose first serial type takes two or three bytes.
  const std::uint8_t alphabet[] = {0, 1, 2, 4, 6, 7, 8, 9, 13, 17, 0x1F, 0x80, 0x81, 0x82,
                                   0x9F, 0xA0, 0xA1, 0xFF, 0x0D, 0x0E, 0x7F};
  std::uint64_t seed = 23;
  Bytes noise(1 << 16);
  for (auto& b : noise) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    b = alphabet[(seed >> 40) % std::size(alphabet)];
  }
  const Bytes planted[] = {{0x80, 0x0D, 4, 2, 9, 6, 0x81, 0x01, 0, 0, 9, 9, 12, 0x80, 0x11},
                           {0x81, 0x0C, 1, 1, 1, 1, 13, 13, 13, 1, 8, 0, 17},
                           {0x80, 0x80, 0x0D, 1, 1, 1, 1, 13, 13, 13, 1, 8, 0, 17},
                           {0x80, 0, 1, 1, 1, 1, 13, 13, 13, 1, 8, 0, 17, 1, 1, 1, 1}};
  for (std::size_t at = 50, k = 0; at + 20 < noise.size(); at += 499, ++k) {
    const Bytes& h = planted[k % std::size(planted)];
    std::copy(h.begin(), h.end(), noise.begin() + static_cast<std::ptrdiff_t>(at));
  }

  // A call database whose addresses need two-byte serial types.
  testdb::TempDir dir;
  const std::string path = dir.File("calls.db");
  std::string sql = testdb::kIosCallTable;
  sql += "BEGIN;";
  for (int i = 0; i < 300; ++i) {
    testdb::CallRow r;
    r.address = std::string(static_cast<std::size_t>(20 + i % 90), static_cast<char>('0' + i % 10));
    r.date = 1400000000 + i;
    r.flags = i % 3;
    r.name = "name" + std::to_string(i);
    sql += testdb::InsertCall(r);
  }
  testdb::Build(path, sql + "COMMIT;DELETE FROM call WHERE ROWID % 7 = 0;", 4096);
  const Bytes real = testdb::ReadBytes(path);

  int matches = 0, dropped = 0;
  const Bytes* const images[] = {&noise, &real};
  for (const Bytes* img : images) {
    for (const ATableField& cols : layouts) {
      for (const HeaderTest mode : {HeaderTest::Varint, HeaderTest::VarintEach, HeaderTest::SingleByte}) {
        for (const std::uint64_t bound : {std::uint64_t{4096}, std::uint64_t{1} << 20}) {
          const HeaderMatcher m(cols, mode, bound);
          for (std::size_t pos = 0; pos + 3 < img->size(); ++pos) {
            const std::uint8_t* p = img->data() + pos;
            const bool filtered = HeaderMatcher::PairsMayMatch(p, m.PairTable12Varint(), m.PairTable34());
            const bool four = HeaderMatcher::PairsMayMatch(p, m.PairTable12(), m.PairTable34());
            if (m.Match(*img, pos)) {
              ++matches;
              ASSERT_TRUE(filtered) << pos;
            }
            if (filtered) {
              ASSERT_TRUE(four) << pos;
            } else if (four) {
              ++dropped;
            }
          }
        }
      }
    }
  }
  EXPECT_GT(matches, 0);
  EXPECT_GT(dropped, 0);
}

// A header near the end of the image is tested byte by byte against the end;
// the same bytes further from the end give the same answer.
TEST(HeaderMatcher, HeadersNearTheEndOfTheImageMatchAsElsewhere) {
  ATableField cols;
  std::vector<int> keys;
  std::string create = testdb::kIosCallTable;
  create.pop_back();
  BuildTableColumns(create, IosCallKind(), cols, keys);
  const std::uint8_t alphabet[] = {0, 1, 4, 8, 9, 13, 17, 0x80, 0x81, 0x0D, 0x85, 0xFF};
  std::uint64_t seed = 11;
  Bytes img(1 << 14);
  for (auto& b : img) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    b = alphabet[(seed >> 40) % std::size(alphabet)];
  }
  for (const HeaderTest mode : {HeaderTest::Varint, HeaderTest::VarintEach, HeaderTest::SingleByte}) {
    const HeaderMatcher m(cols, mode, 4096);
    for (std::size_t pos = 0; pos + 200 < img.size(); ++pos) {
      const bool far = m.Match(img, pos);
      // The same bytes placed so that the image ends after 1 to 80 of them:
      // a header of the layout is read within 20 bytes (Varint, SingleByte) or
      // 60 (VarintEach); the bounds-tested route reads up to the end.
      for (std::size_t keep : {std::size_t{1}, std::size_t{12}, std::size_t{30}, std::size_t{59},
                               std::size_t{80}}) {
        const Bytes cut(img.begin() + static_cast<std::ptrdiff_t>(pos),
                        img.begin() + static_cast<std::ptrdiff_t>(pos + keep));
        const bool whole = keep == 80 || (keep >= 20 && mode != HeaderTest::VarintEach);
        if (whole) {
          ASSERT_EQ(m.Match(cut, 0), far) << pos << " " << keep;
        } else if (!far) {
          ASSERT_FALSE(m.Match(cut, 0)) << pos << " " << keep;
        }
      }
    }
  }
}

// ------------------------------------------------------------------ schema

TEST(BuildTableColumns, TheCallTableLayout) {
  const CarveKind kind = IosCallKind();
  ATableField cols;
  std::vector<int> keys;
  std::string create = testdb::kIosCallTable;
  create.pop_back();  // the CREATE text as SQLite keeps it has no ';'
  BuildTableColumns(create, kind, cols, keys);
  ASSERT_EQ(cols.size(), 13u);
  EXPECT_EQ(cols[0].Name, "ROWID");
  EXPECT_EQ(cols[0].Kind, "i");
  EXPECT_EQ(cols[1].Name, "address");
  EXPECT_EQ(cols[1].Kind, "c");
  EXPECT_EQ(cols[1].MaxSerialType, 13);
  EXPECT_EQ(cols[2].Kind, "i");
  EXPECT_TRUE(cols[2].Required);   // date
  EXPECT_FALSE(cols[3].Required);  // duration
  EXPECT_TRUE(cols[4].Required);   // flags
  EXPECT_EQ(cols[11].Kind, "b");
  EXPECT_EQ(cols[11].MaxSerialType, 12);
  EXPECT_EQ(cols[12].Name, "originalAddress");
  EXPECT_EQ(cols[12].Kind, "c");  // only the ")" is cut
  EXPECT_EQ(keys, (std::vector<int>{1, 6, 2, 3, 4}));
}

TEST(BuildTableColumns, CutOfTwoMissingKeysDefaultsAndBlobRule) {
  CarveKind kind;
  kind.bodyCut = 2;
  kind.blobKind = false;
  kind.keyNames = {"type", "body", "date"};
  kind.requiredKeys = {"date"};
  kind.requireDefaultColumns = true;
  ATableField cols;
  std::vector<int> keys;
  BuildTableColumns(
      "CREATE TABLE sms (_id INTEGER PRIMARY KEY, DATE integer, seen INTEGER DEFAULT 0, data blob, body TEXT)",
      kind, cols, keys);
  ASSERT_EQ(cols.size(), 5u);
  EXPECT_TRUE(cols[1].Required);  // a key matched in lower case
  EXPECT_TRUE(cols[2].Required);  // DEFAULT
  EXPECT_EQ(cols[3].Kind, "");    // no blob rule
  EXPECT_EQ(cols[4].Kind, "");    // the type word lost its last letter: "tex"
  EXPECT_EQ(keys, (std::vector<int>{0, 4, 1}));
}

// ------------------------------------------------------------------ whole runs

class CarveRunTest : public ::testing::Test {
 protected:
  testdb::TempDir dir;
  testdb::ScanFixtureState state;
  RecordingScanView& view = state.view;
  std::string path = dir.File("calls.db");

  void BuildCalls(int count, const std::string& extraSql = "", int pageSize = 4096) {
    std::string sql = testdb::kIosCallTable;
    sql += "BEGIN;";
    for (int i = 0; i < count; ++i) {
      testdb::CallRow r;
      r.address = "addr" + std::to_string(100000 + i);
      r.date = 1400000000 + i;
      r.flags = i % 3;
      r.name = "name" + std::to_string(i);
      sql += testdb::InsertCall(r);
    }
    testdb::Build(path, sql + "COMMIT;" + extraSql, pageSize);
  }
  void Scan() {
    testdb::ScanFixtureState::Target(path);
    RunIosCallScan(view);
  }
  const std::vector<std::string>* RowOf(const std::string& address) const {
    for (const auto& r : view.rows)
      if (r[0] == address) return &r;
    return nullptr;
  }
};

TEST_F(CarveRunTest, DeletedRowInAFreeblockOfALeafPageIsFoundAsDeleted) {
  BuildCalls(30, "DELETE FROM call WHERE address = 'addr100010';");
  const std::size_t at = testdb::Find(path, "addr100010");
  ASSERT_NE(at, std::string::npos);
  const std::uint32_t pageSize = testdb::PageSizeOf(path);
  EXPECT_EQ(testdb::ReadBytes(path)[at / pageSize * pageSize], 13);  // still a table leaf page
  Scan();
  const auto* row = RowOf("addr100010");
  ASSERT_NE(row, nullptr);
  EXPECT_EQ((*row)[5], "删除");
  EXPECT_EQ(view.rows.size(), 30u);
  EXPECT_EQ(view.status[2], "找到 30 条通话记录, 1条删除");
}

TEST_F(CarveRunTest, DeletedRowOnAFreePageIsFoundAsDeleted) {
  BuildCalls(400, "DELETE FROM call WHERE ROWID BETWEEN 100 AND 300;", 1024);
  const Bytes file = testdb::ReadBytes(path);
  const std::uint32_t trunk = sqlitefmt::Get32(file, 32);  // first free-list trunk page
  ASSERT_GT(trunk, 0u);
  const std::size_t start = (trunk - 1) * 1024u;
  ASSERT_NE(file[start], 13);
  // A deleted row whose bytes lie on that free page.
  const std::string page(file.begin() + static_cast<std::ptrdiff_t>(start),
                         file.begin() + static_cast<std::ptrdiff_t>(start + 1024));
  const std::size_t a = page.find("addr1");
  ASSERT_NE(a, std::string::npos);
  const std::string address = page.substr(a, 10);
  Scan();
  const auto* row = RowOf(address);
  ASSERT_NE(row, nullptr) << address;
  EXPECT_EQ((*row)[5], "删除");
  EXPECT_EQ(RowOf("addr100000") ? (*RowOf("addr100000"))[5] : "", "正常");
}

struct PatchCase {
  std::uint8_t write, read;
  bool patched;
};

class HeaderPatch : public CarveRunTest, public ::testing::WithParamInterface<PatchCase> {};

TEST_P(HeaderPatch, VersionBytesAboveOneArePatchedOnDiskBeforeTheOpen) {
  const PatchCase& c = GetParam();
  BuildCalls(5);
  testdb::SetVersionBytes(path, c.write, c.read);
  // An old modification time shows whether the file was written.
  const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
  Scan();
  const Bytes file = testdb::ReadBytes(path);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec != 1000000000, c.patched);
  if (c.patched) {
    EXPECT_EQ(file[18], 1);
    EXPECT_EQ(file[19], 1);
  } else {
    EXPECT_EQ(file[18], c.write);
    EXPECT_EQ(file[19], c.read);
  }
  EXPECT_EQ(view.rows.size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(Cases, HeaderPatch,
                         ::testing::Values(PatchCase{2, 2, true}, PatchCase{1, 2, true},
                                           PatchCase{2, 1, true}, PatchCase{1, 1, false}));

TEST_F(CarveRunTest, FileShorterThanItsPageCountIsScannedToItsLastWholePage) {
  BuildCalls(300, "", 1024);
  const std::size_t size = testdb::ReadBytes(path).size();
  const std::size_t lastPageStart = size - 1024;
  // Rows whose address lies on the last page are cut off with half of it.
  const Bytes file = testdb::ReadBytes(path);
  const std::string last(file.begin() + static_cast<std::ptrdiff_t>(lastPageStart), file.end());
  const std::size_t a = last.find("addr1");
  ASSERT_NE(a, std::string::npos);
  const std::string onLastPage = last.substr(a, 10);
  testdb::Truncate(path, size - 512);
  // A page count far past the file; the header's version-valid-for number no
  // longer matches its change counter, so SQLite sizes the file by itself.
  testdb::SetPageCount(path, 0xFFFFFFFFu);
  testdb::SetBytes(path, 92, {0xDE, 0xAD, 0xBE, 0xEF});
  Scan();
  for (const auto& b : state.boxes.shown()) ADD_FAILURE() << b.text;
  EXPECT_EQ(RowOf(onLastPage), nullptr);
  EXPECT_NE(RowOf("addr100000"), nullptr);
  EXPECT_GT(view.rows.size(), 200u);
  EXPECT_EQ(view.progressMax, static_cast<int>(size / 1024) - 2);
}

TEST_F(CarveRunTest, PageSizeZeroIsNoValidFile) {
  BuildCalls(3);
  testdb::SetBytes(path, 16, {0, 0});
  Scan();
  ASSERT_EQ(state.boxes.shown().size(), 1u);
  EXPECT_EQ(state.boxes.shown()[0].text, "无效的数据文件！");
  EXPECT_TRUE(ScanStopRequested);
}

TEST_F(CarveRunTest, AnErrorOfTheSqliteLayerIsShownAndEndsWithIdleControls) {
  // A header that passes the text test on a file SQLite cannot read.
  Bytes junk(4096, 0xAB);
  std::memcpy(junk.data(), "SQLite format 3", 16);
  junk[16] = 0x04;
  junk[17] = 0x00;
  testdb::WriteBytes(path, junk);
  Scan();
  ASSERT_EQ(state.boxes.shown().size(), 1u);
  EXPECT_EQ(state.boxes.shown()[0].icon, platform::MbIcon::Error);
  EXPECT_NE(state.boxes.shown()[0].text.find("Error"), std::string::npos);
  EXPECT_TRUE(view.IsEnabled(ScanCommand::Start));
  EXPECT_FALSE(view.IsEnabled(ScanCommand::Stop));
  EXPECT_TRUE(ScanStopRequested);
}

}  // namespace
}  // namespace velmora
