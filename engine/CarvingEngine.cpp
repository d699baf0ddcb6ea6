#include "engine/CarvingEngine.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cstring>
#include <exception>
#include <limits>

#include "engine/MyFuns_.h"
#include "engine/SQLiteFormat.h"
#include "engine/SQLiteTable3.h"
#include "platform/MessageBox.h"

namespace velmora {

namespace fmt = sqlitefmt;

std::chrono::milliseconds CarvePumpInterval{15};

namespace {

using platform::MbIcon;

constexpr const char* kCaption = "提示";
constexpr std::size_t kCandidatesPerTick = 4096;

CarveRunStats gLastStats;

void InfoBox(const std::string& text) { platform::ShowMessageBox(text, kCaption, MbIcon::Information); }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Trims blanks and control characters at both ends.
std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::string Count(int n) { return std::to_string(n); }

}  // namespace

const CarveRunStats& LastCarveRunStats() { return gLastStats; }

// ------------------------------------------------------------------ values

bool TryTextToInt64(std::string_view text, std::int64_t& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  std::uint64_t magnitude = 0;
  const std::uint64_t limit =
      negative ? std::uint64_t{1} << 63 : static_cast<std::uint64_t>(INT64_MAX);
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    const unsigned d = static_cast<unsigned>(c - '0');
    if (magnitude > (limit - d) / 10) return false;  // would pass the limit
    magnitude = magnitude * 10 + d;
  }
  value = negative ? static_cast<std::int64_t>(~magnitude + 1) : static_cast<std::int64_t>(magnitude);
  return true;
}

bool TryYearOfTimeText(const std::string& timeText, std::int64_t& year) {
  if (timeText.size() < 4) return false;
  return TryTextToInt64(std::string_view(timeText).substr(0, 4), year);
}

namespace {

// The day count from 1970-01-01 of January 1st of `year` (proleptic
// Gregorian).
std::int64_t FirstDayOfYear(std::int64_t year) {
  const std::int64_t y = year - 1;  // January counts with the year before
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + 306;  // 306: March 1st to January 1st
  return era * 146097 + doe - 719468;
}

}  // namespace

bool TryYearOfMs(TimeBase base, std::int64_t ms, std::int64_t& year) {
  constexpr std::int64_t kMsPerDay = 86400000;
  constexpr std::int64_t kCocoaMs = 978307200000;         // 2001-01-01 from 1970-01-01
  constexpr std::int64_t kChinaMs = 8 * 3600000;          // the times are shown at UTC+8
  constexpr std::int64_t kFrom = -2208988800000 + kMsPerDay;  // 1900-01-02
  constexpr std::int64_t kTo = 7258118400000 - kMsPerDay;     // 2199-12-31
  const std::int64_t shift = (base == TimeBase::Cocoa ? kCocoaMs : 0) + kChinaMs;
  const std::string& format = CurrentFormats().ShortDateFormat;
  if (format.size() >= 4 && std::memcmp(format.data(), "yyyy", 4) == 0 && ms > kFrom - shift && ms < kTo - shift) {
    const std::int64_t t = ms + shift;
    const std::int64_t day = t >= 0 ? t / kMsPerDay : (t - kMsPerDay + 1) / kMsPerDay;
    // The year from an estimate by the mean year's length (never more than
    // a year off in this range), set right by the first days of the years
    // around it.
    constexpr std::int64_t kFirstYear = 1898, kYears = 2203 - kFirstYear;
    static const auto firstDays = [] {
      std::array<std::int64_t, kYears> days{};
      for (std::int64_t i = 0; i < kYears; ++i) days[static_cast<std::size_t>(i)] = FirstDayOfYear(kFirstYear + i);
      return days;
    }();
    const std::int64_t scaled = day * 400;  // 400 years are 146097 days
    std::int64_t y = 1970 + (scaled >= 0 ? scaled / 146097 : -((146096 - scaled) / 146097));
    while (day < firstDays[static_cast<std::size_t>(y - kFirstYear)]) --y;
    while (day >= firstDays[static_cast<std::size_t>(y + 1 - kFirstYear)]) ++y;
    year = y;
    return true;
  }
  return TryYearOfTimeText(base == TimeBase::Cocoa ? CocoaMsToText(ms) : UnixMsToText(ms), year);
}

CheckResult CheckTypeAndYear(const CarvedRecord& rec, CarveRun& run, const TypeAndYearCheck& check) {
  const int typeColumn = run.keys[static_cast<std::size_t>(check.typeKey)];
  if (rec.IsNullOrEmpty(typeColumn)) return CheckResult::Miss;
  std::int64_t type = 0;
  if (!rec.TryInt64(typeColumn, type)) return CheckResult::Skip;
  if (type > check.maxType) return CheckResult::Miss;
  std::int64_t date = 0;
  if (!rec.TryInt64(run.keys[static_cast<std::size_t>(check.dateKey)], date)) return CheckResult::Skip;
  std::int64_t year = 0;
  if (!TryYearOfMs(check.base, check.inSeconds ? SecondsToMs(date) : date, year)) return CheckResult::Skip;
  if (year < check.firstYear || year > check.lastYear) return CheckResult::Miss;
  run.checked[kCheckedType] = type;
  run.checked[kCheckedDate] = date;
  return CheckResult::Pass;
}

std::int64_t SecondsToMs(std::int64_t seconds) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(seconds) * 1000u);
}

// ------------------------------------------------------------------ decode

const std::uint8_t* CarvedRecord::Bytes(std::uint64_t off, std::size_t n, std::string& scratch) const {
  if (const std::uint8_t* held = Held(off, n)) return held;
  // Outside the bytes held (DecodeRecordAt has checked that they lie inside
  // the image): read from the file.
  scratch.resize(n);
  source_->ReadAt(off, {reinterpret_cast<std::uint8_t*>(scratch.data()), n});
  return reinterpret_cast<const std::uint8_t*>(scratch.data());
}

std::int64_t StoredInteger(const std::uint8_t* p, std::size_t n) {
  std::uint64_t u = 0;
  for (std::size_t i = 0; i < n; ++i) u = (u << 8) | p[i];
  if (n > 0 && n < 8 && (u >> (8 * n - 1)) & 1) u |= ~std::uint64_t{0} << (8 * n);  // sign-extend
  return static_cast<std::int64_t>(u);
}

namespace {

// The text of a serial type whose text is not its content: "NULL", "0",
// "1", or empty (a float, the reserved types 10 and 11); false for the
// others.
bool FixedValueText(std::uint64_t serialType, std::string_view& text) {
  switch (serialType) {
    case 0: text = "NULL"; return true;
    case 8: text = "0"; return true;
    case 9: text = "1"; return true;
    case 7:
    case 10:
    case 11: text = {}; return true;
    default: return false;
  }
}

}  // namespace

std::string StoredValueText(std::uint64_t serialType, const std::uint8_t* content) {
  if (std::string_view fixed; FixedValueText(serialType, fixed)) return std::string(fixed);
  const std::size_t n = static_cast<std::size_t>(fmt::ContentSize(serialType));
  if (serialType <= 6) return std::to_string(StoredInteger(content, n));
  return std::string(reinterpret_cast<const char*>(content), n);
}

std::string CarvedRecord::Text(int column) const {
  std::string scratch;
  return std::string(TextView(column, scratch));
}

std::string_view CarvedRecord::TextView(int column, std::string& scratch) const {
  if (column == 0) return column0Text_;
  if (column < 0 || column >= ColumnCount()) return {};
  const std::uint64_t st = serialTypes_[static_cast<std::size_t>(column)];
  if (std::string_view fixed; FixedValueText(st, fixed)) return fixed;
  if (st >= 12 && st % 2 == 0 && !decodeBlobs_) return {};
  const std::size_t n = static_cast<std::size_t>(fmt::ContentSize(st));
  const std::uint8_t* content = Bytes(contentOffsets_[static_cast<std::size_t>(column)], n, scratch);
  if (st <= 6) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, StoredInteger(content, n));
    scratch.assign(digits, r.ptr);
    return scratch;
  }
  return {reinterpret_cast<const char*>(content), n};
}

bool CarvedRecord::TryInt64(int column, std::int64_t& value) const {
  if (column > 0 && column < ColumnCount()) {
    const std::uint64_t st = serialTypes_[static_cast<std::size_t>(column)];
    if (st == 8 || st == 9) {
      value = static_cast<std::int64_t>(st - 8);
      return true;
    }
    if (st >= 1 && st <= 6) {
      const std::size_t n = static_cast<std::size_t>(fmt::ContentSize(st));
      const std::uint64_t off = contentOffsets_[static_cast<std::size_t>(column)];
      if (const std::uint8_t* p = Held(off, 8)) {
        // The usual case: the bytes held, and eight of them readable, read
        // as one big-endian word whose top n bytes are the value.
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
        value = static_cast<std::int64_t>(word) >> (64 - 8 * n);
        return true;
      }
      if (const std::uint8_t* p = Held(off, n)) {
        value = StoredInteger(p, n);  // near the end of the bytes held
        return true;
      }
    }
  }
  return TryInt64ByText(column, value);
}

bool CarvedRecord::TryInt64ByText(int column, std::int64_t& value) const {
  if (column > 0 && column < ColumnCount()) {
    const std::uint64_t st = serialTypes_[static_cast<std::size_t>(column)];
    if (st >= 1 && st <= 6) {
      // An integer outside the bytes held: read from the file.
      const std::size_t n = static_cast<std::size_t>(fmt::ContentSize(st));
      std::string scratch;
      value = StoredInteger(Bytes(contentOffsets_[static_cast<std::size_t>(column)], n, scratch), n);
      return true;
    }
  }
  std::string scratch;
  return TryTextToInt64(TextView(column, scratch), value);
}

bool CarvedRecord::IsNullOrEmpty(int column) const {
  if (column > 0 && column < ColumnCount()) {
    const std::uint64_t st = serialTypes_[static_cast<std::size_t>(column)];
    if (st == 0 || st == 7 || st == 10 || st == 11 || st == 12 || st == 13) return true;
    if (st <= 9) return false;
  }
  std::string scratch;
  const std::string_view t = TextView(column, scratch);
  return t.empty() || t == "NULL";
}

// The decode of a record at a file offset, over the bytes held (`image`,
// whose first byte is at file offset `base`) and, past them, the file
// (`source`, whose image ends at `limit`; without a source the bytes held
// are the whole image).
struct RecordDecoder {
  // The common case of Decode: all serial types lie in the bytes held (four
  // bytes readable for each from p on, p being file offset `fileAt`), none
  // is longer than four bytes, and the contents end inside the image. Fills
  // the types from `first` on, the content offsets and the header length and
  // is true; false (with the entries written so far left for Decode's own
  // loops to write again) in every other case.
  static bool DecodeHeld(const std::uint8_t* p, std::uint64_t fileAt, std::uint64_t limit,
                         std::size_t first, std::size_t n, std::uint64_t* types,
                         std::uint64_t* offsets, std::size_t& headerBytes) {
    const std::uint8_t* q = p;
    for (std::size_t c = first; c < n; ++c) {
      if (q[0] < 0x80) {
        types[c] = q[0];
        ++q;
      } else if (q[1] < 0x80) {
        types[c] = (std::uint64_t{q[0] & 0x7Fu} << 7) | q[1];
        q += 2;
      } else if (q[2] < 0x80) {
        types[c] = (std::uint64_t{q[0] & 0x7Fu} << 14) | (std::uint64_t{q[1] & 0x7Fu} << 7) | q[2];
        q += 3;
      } else if (q[3] < 0x80) {
        types[c] = (std::uint64_t{q[0] & 0x7Fu} << 21) | (std::uint64_t{q[1] & 0x7Fu} << 14) |
                   (std::uint64_t{q[2] & 0x7Fu} << 7) | q[3];
        q += 4;
      } else {
        return false;  // too long
      }
    }
    const auto header = static_cast<std::size_t>(q - p);
    // Every content is at most 2^27 bytes: the sum cannot wrap, and it ends
    // inside the image exactly when each content does.
    std::uint64_t end = fileAt + header;
    if (end > limit) return false;
    for (std::size_t c = 1; c < n; ++c) {
      offsets[c] = end;
      end += fmt::ContentSize(types[c]);
    }
    if (end > limit) return false;
    headerBytes = header;
    return true;
  }

  static DecodeStatus Decode(std::span<const std::uint8_t> image, std::uint64_t base,
                             const CarveImage* source, std::uint64_t limit, std::uint64_t offset,
                             int firstSerialColumn, int columnCount, bool decodeBlobs,
                             CarvedRecord& out) {
    const std::size_t n = static_cast<std::size_t>(std::max(columnCount, 0));
    const std::size_t first = std::min(static_cast<std::size_t>(std::max(firstSerialColumn, 0)), n);
    out.image_ = image;
    out.base_ = base;
    out.source_ = source;
    out.offset_ = offset;
    out.headerBytes_ = 0;
    out.decodeBlobs_ = decodeBlobs;
    // The vectors keep their capacity from candidate to candidate; every entry
    // is written below (zero where nothing was read).
    out.serialTypes_.resize(n);
    out.contentOffsets_.resize(n);
    out.column0Text_.clear();
    std::uint64_t* const types = out.serialTypes_.data();
    std::uint64_t* const offsets = out.contentOffsets_.data();
    std::fill(types, types + first, std::uint64_t{0});
    if (n > 0) offsets[0] = 0;

    // Positions are counted from `base` in 64-bit wrapping arithmetic: a
    // record that starts before the bytes held has a "negative" position,
    // which no test of the bytes held accepts, and base + position is always
    // its file offset.
    const std::size_t size = image.size();
    const std::uint8_t* const data = image.data();
    std::uint64_t at = offset - base;
    if (n > first && fmt::Fits(size, static_cast<std::size_t>(at), fmt::kMaxSerialTypeBytes * (n - first)) &&
        DecodeHeld(data + at, base + at, limit, first, n, types, offsets, out.headerBytes_)) {
      return DecodeStatus::Ok;
    }
    for (std::size_t c = first; c < n; ++c) {
      std::uint64_t v = 0;
      int len = 0;
      bool fourPresent = true;
      if (fmt::Fits(size, static_cast<std::size_t>(at), fmt::kMaxSerialTypeBytes)) {
        // Four bytes held: the varint read without further bounds tests.
        const std::uint8_t* p = data + at;
        if (p[0] < 0x80) {
          v = p[0], len = 1;
        } else if (p[1] < 0x80) {
          v = (std::uint64_t{p[0] & 0x7Fu} << 7) | p[1], len = 2;
        } else if (p[2] < 0x80) {
          v = (std::uint64_t{p[0] & 0x7Fu} << 14) | (std::uint64_t{p[1] & 0x7Fu} << 7) | p[2], len = 3;
        } else if (p[3] < 0x80) {
          v = (std::uint64_t{p[0] & 0x7Fu} << 21) | (std::uint64_t{p[1] & 0x7Fu} << 14) |
              (std::uint64_t{p[2] & 0x7Fu} << 7) | p[3];
          len = 4;
        }
      } else {
        // Outside the bytes held or at their end: the bytes up to the
        // image's end.
        const std::uint64_t fileAt = base + at;
        std::uint8_t bytes[fmt::kMaxSerialTypeBytes] = {};
        const std::size_t avail =
            fileAt >= limit ? 0
                            : static_cast<std::size_t>(std::min<std::uint64_t>(fmt::kMaxSerialTypeBytes, limit - fileAt));
        if (source)
          source->ReadAt(fileAt, {bytes, avail});
        else if (avail > 0)
          std::memcpy(bytes, data + at, avail);
        len = fmt::ReadVarint(std::span<const std::uint8_t>(bytes, avail), 0, fmt::kMaxSerialTypeBytes, v);
        fourPresent = avail == fmt::kMaxSerialTypeBytes;
      }
      if (len == 0) {
        std::fill(types + c, types + n, std::uint64_t{0});
        std::fill(offsets, offsets + n, std::uint64_t{0});
        // Four bytes present and none ends the varint: the serial type is too
        // long. Fewer present: the header runs off the image.
        if (!fourPresent) return DecodeStatus::PastImage;
        out.headerBytes_ = static_cast<std::size_t>(base + at - offset) + fmt::kMaxSerialTypeBytes;
        return DecodeStatus::LongSerialType;
      }
      types[c] = v;
      at += static_cast<std::uint64_t>(len);
    }
    out.headerBytes_ = static_cast<std::size_t>(base + at - offset);

    // The contents, up to the image's end.
    std::uint64_t fileAt = base + at;
    for (std::size_t c = 1; c < n; ++c) {
      const std::uint64_t contentSize = fmt::ContentSize(types[c]);
      if (fileAt > limit || contentSize > limit - fileAt) {
        std::fill(offsets + c, offsets + n, std::uint64_t{0});
        return DecodeStatus::PastImage;
      }
      offsets[c] = fileAt;
      fileAt += contentSize;
    }
    return DecodeStatus::Ok;
  }
};

DecodeStatus DecodeRecordAt(std::span<const std::uint8_t> image, std::size_t offset,
                            int firstSerialColumn, int columnCount, bool decodeBlobs,
                            CarvedRecord& out) {
  return RecordDecoder::Decode(image, 0, nullptr, image.size(), offset, firstSerialColumn,
                               columnCount, decodeBlobs, out);
}

DecodeStatus DecodeRecordAt(const CarveImage& image, std::size_t offset, int firstSerialColumn,
                            int columnCount, bool decodeBlobs, CarvedRecord& out) {
  return RecordDecoder::Decode(image.Window(), image.Start(), &image, image.Total(),
                               image.Start() + offset, firstSerialColumn, columnCount, decodeBlobs,
                               out);
}

DecodeStatus DecodeRecordAtFileOffset(const CarveImage& image, std::uint64_t fileOffset,
                                      int firstSerialColumn, int columnCount, bool decodeBlobs,
                                      CarvedRecord& out) {
  return RecordDecoder::Decode(image.Window(), image.Start(), &image, image.Total(), fileOffset,
                               firstSerialColumn, columnCount, decodeBlobs, out);
}

bool IsLiveCell(std::size_t pos, std::size_t pageStart, std::span<const std::uint16_t> cellPointers) {
  // pos - 1 - cell in [0, 11) with cell = pageStart + c; the cells lie within
  // 65535 bytes of pageStart, so a pos past that and 11 more is never live.
  if (pos <= pageStart || pos - pageStart > 65535 + 11) return false;
  const auto before = static_cast<std::uint32_t>(pos - pageStart - 1);
  for (std::uint16_t c : cellPointers)
    if (before - c < 11u) return true;
  return false;
}

// ------------------------------------------------------------------ header test

HeaderMatcher::HeaderMatcher(const ATableField& columns, HeaderTest mode, std::uint64_t textBound)
    : mode_(mode), bound_(textBound), columns_(columns.size()), tables_(std::max<std::size_t>(columns.size(), kMaskColumns + 1)) {
  for (auto& t : tables_) t.fill(kAccept);
  for (std::size_t c = 1; c < columns.size(); ++c) {
    const PTableField& f = columns[c];
    auto& t = tables_[c];
    for (unsigned b = 0; b < 256; ++b) {
      std::uint8_t code = kAccept;  // a column without Kind takes one byte, untested
      if (f.Kind == "i") {
        const bool overMax = b > static_cast<unsigned>(f.MaxSerialType);
        bool bad;
        if (mode == HeaderTest::SingleByte)
          bad = overMax || b == 7 || (f.Required && b == 0);
        else
          bad = overMax || b == 7 || (f.Required && (b == 0 || b == 6));
        code = bad ? kReject : kAccept;
      } else if (f.Kind == "c") {
        if (mode == HeaderTest::SingleByte)
          code = (b == 0 || (b % 2 == 1 && b >= 13 && b <= 127)) ? kAccept : kReject;
        else if (b >= 0x80)  // a varint of at least two bytes: at least (b & 0x7F) << 7
          code = (std::uint64_t{b & 0x7Fu} << 7) <= textBound ? kTextVarint : kReject;
        else
          code = (b == 0 || (b % 2 == 1 && b >= 13 && b <= textBound)) ? kAccept : kReject;
      } else if (f.Kind == "b") {
        if (mode == HeaderTest::SingleByte)
          code = kAccept;  // the single-byte test has no blob kind
        else if (b >= 0x80)
          code = (std::uint64_t{b & 0x7Fu} << 7) <= textBound ? kBlobVarint : kReject;
        else
          code = (b == 0 || (b % 2 == 0 && b >= 12 && b <= textBound)) ? kAccept : kReject;
      }
      t[b] = code;
    }
  }
  // The four-byte test split into two pairs: column 1 and 2 decide alone
  // unless both are one-byte serial types that pass; then columns 3 and 4.
  pair12_.assign(65536, 0);
  pair34_.assign(65536, 0);
  for (unsigned x = 0; x < 256; ++x) {
    for (unsigned y = 0; y < 256; ++y) {
      const unsigned c1 = tables_[1][x], c2 = tables_[2][y];
      std::uint8_t a = 0;
      if (c1 >> 1) a = 1;
      else if (c1 & 1) a = (c2 >> 1) ? 1 : ((c2 & 1) ? 2 : 0);
      pair12_[x | (y << 8)] = a;
      const unsigned c3 = tables_[3][x], c4 = tables_[4][y];
      pair34_[x | (y << 8)] = ((c3 >> 1) != 0 || ((c3 & 1) != 0 && c4 != 0)) ? 2 : 0;
    }
  }
  // Column 1's multi-byte serial type: when its second byte ends it, the
  // value is known and tested as Match tests it; when it goes on, the value
  // is at least the first two bytes' bits shifted on by seven, and one past
  // the bound is rejected (it is not 0 either).
  pair12Varint_ = pair12_;
  for (unsigned x = 0; x < 256; ++x) {
    const unsigned c1 = tables_[1][x];
    if ((c1 >> 1) == 0) continue;
    for (unsigned y = 0; y < 256; ++y) {
      const std::uint64_t high = std::uint64_t{x & 0x7Fu} << 7;
      bool ok;
      if (y < 0x80) {
        const std::uint64_t v = high | y;
        ok = v == 0 || (c1 == kTextVarint ? v % 2 == 1 && v >= 13 && v <= textBound
                                          : v % 2 == 0 && v >= 12 && v <= textBound);
      } else {
        ok = ((high | (y & 0x7Fu)) << 7) <= textBound;
      }
      pair12Varint_[x | (y << 8)] = ok ? pair12_[x | (y << 8)] : 0;
    }
  }
  for (unsigned x = 0; x < 256; ++x) column1Varint_ = column1Varint_ || (tables_[1][x] >> 1) != 0;
  // The prefix test reads eight columns; more when a run of zero bytes (the
  // unused room of pages) passes those eight, so that such runs are
  // rejected there rather than one offset at a time by the full test. Every
  // further column costs the runs it does not reject a look-up.
  prefixColumns_ = 8;
  bool zerosPass = true;
  for (std::size_t c = 1; c <= 8; ++c) zerosPass = zerosPass && tables_[c][0] == kAccept;
  if (zerosPass) prefixColumns_ = kMaskColumns;
  static const std::array<std::uint8_t, 256> kAcceptAll = [] {
    std::array<std::uint8_t, 256> t{};
    t.fill(kAccept);
    return t;
  }();
  const std::uint8_t* maskTables[kMaskColumns];
  for (std::size_t c = 0; c < kMaskColumns; ++c)
    maskTables[c] = c < prefixColumns_ ? tables_[c + 1].data() : kAcceptAll.data();
  BuildMaskColumnSets(maskTables, pair12Varint_.data(), sets_);
}

bool HeaderMatcher::PrefixMayMatch(const std::uint8_t* p) const {
  for (std::size_t c = 1; c <= prefixColumns_; ++c) {
    const std::uint8_t code = tables_[c][p[c - 1]];
    if (code != kAccept) return code != kReject;
  }
  return true;
}

void HeaderMatcher::CandidateMask(const std::uint8_t* p, std::size_t n, std::uint64_t* masks) const {
  const std::uint8_t *p12 = pair12Varint_.data(), *p34 = pair34_.data();
  if (VectorPrefixMask(sets_, p, n, masks)) {
    // The pair tables reject more than the prefix test only on a
    // multi-byte serial type of column 1, which PairTable12Varint tests by
    // its value (the vector code does so too, unless its rows take too
    // many forms).
    if (!column1Varint_ || sets_.pairClasses > 0) return;
    for (std::size_t w = 0; w * 64 < n; ++w) {
      std::uint64_t mask = masks[w];
      for (std::uint64_t left = mask; left != 0; left &= left - 1) {
        const unsigned i = static_cast<unsigned>(__builtin_ctzll(left));
        if (!PairsMayMatch(p + w * 64 + i, p12, p34)) mask &= ~(std::uint64_t{1} << i);
      }
      masks[w] = mask;
    }
    return;
  }
  // Offset by offset: the pair tables (two look-ups, no branch), then the
  // prefix test of the few that pass.
  for (std::size_t w = 0; w * 64 < n; ++w) {
    const std::size_t count = n - w * 64 < 64 ? n - w * 64 : 64;
    const std::uint8_t* q = p + w * 64;
    std::uint64_t mask = 0;
    for (std::size_t i = 0; i < count; ++i) mask |= std::uint64_t{PairsMayMatch(q + i, p12, p34)} << i;
    for (std::uint64_t left = mask; left != 0; left &= left - 1) {
      const unsigned i = static_cast<unsigned>(__builtin_ctzll(left));
      if (!PrefixMayMatch(q + i)) mask &= ~(std::uint64_t{1} << i);
    }
    masks[w] = mask;
  }
}

bool HeaderMatcher::MatchHeld(const std::uint8_t* p, std::size_t c) const {
  const std::array<std::uint8_t, 256>* const tables = tables_.data();
  std::size_t extra = 0;
  while (c < columns_) {
    const std::uint8_t* q = p + (c - 1) + extra;
    // Four one-byte types that pass at once: only the accept code has bit 0
    // set, so the codes' AND is the accept code exactly when all four are.
    if (c + 4 <= columns_ &&
        (tables[c][q[0]] & tables[c + 1][q[1]] & tables[c + 2][q[2]] & tables[c + 3][q[3]]) == kAccept) {
      c += 4;
      continue;
    }
    const std::uint8_t code = tables[c][*q];
    ++c;
    if (code == kAccept) continue;
    if (code == kReject) return false;
    std::uint64_t v = 0;
    int len = 0;
    for (int i = 0; i < 5; ++i) {
      v = (v << 7) | (q[i] & 0x7Fu);
      if (q[i] < 0x80) {
        len = i + 1;
        break;
      }
    }
    if (len == 0) return false;
    if (!MultiByteTypePasses(code, v, len, extra)) return false;
  }
  return true;
}

bool HeaderMatcher::MultiByteTypePasses(std::uint8_t code, std::uint64_t v, int len,
                                        std::size_t& extra) const {
  extra += static_cast<std::size_t>(len - 1);
  if (mode_ != HeaderTest::VarintEach && extra > 4) return false;
  if (v == 0) return true;
  if (code == kTextVarint) return v % 2 == 1 && v >= 13 && v <= bound_;
  return v % 2 == 0 && v >= 12 && v <= bound_;
}

static_assert(kMaskColumns >= 8, "the prefix's first eight bytes are read as one word");

bool HeaderMatcher::MatchAfterPrefix(std::span<const std::uint8_t> image, std::size_t pos) const {
  if (columns_ > 2 && fmt::Fits(image.size(), pos, 5 * (columns_ - 1))) {
    // The prefix test passed: the columns before the first byte of 0x80 or
    // more among its bytes were one-byte types that pass (only such a byte
    // can start a multi-byte type). Its first eight bytes are looked at.
    const std::uint8_t* p = image.data() + pos;
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);  // 10 bytes or more are held
    word &= 0x8080808080808080ull;
    if constexpr (std::endian::native != std::endian::little) word = __builtin_bswap64(word);
    const std::size_t passed = word == 0 ? 8 : static_cast<std::size_t>(__builtin_ctzll(word)) / 8;
    return MatchHeld(p, 1 + std::min(passed, columns_ - 1));
  }
  return Match(image, pos);
}

bool HeaderMatcher::Match(std::span<const std::uint8_t> image, std::size_t pos) const {
  const std::size_t size = image.size();
  // Every serial type read is at most five bytes: when all of them fit, the
  // bytes are read without a bounds test each.
  if (columns_ > 1 && fmt::Fits(size, pos, 5 * (columns_ - 1))) return MatchHeld(image.data() + pos, 1);
  std::size_t extra = 0;
  for (std::size_t c = 1; c < columns_; ++c) {
    const std::size_t off = pos + (c - 1) + extra;
    if (off >= size) return false;  // the header would run off the image
    const std::uint8_t code = tables_[c][image[off]];
    if (code == kAccept) continue;
    if (code == kReject) return false;
    // A multi-byte serial type: at most four continuation bytes.
    std::uint64_t v = 0;
    const int len = fmt::ReadVarint(image, off, 5, v);
    if (len == 0) return false;
    if (!MultiByteTypePasses(code, v, len, extra)) return false;
  }
  return true;
}

// ------------------------------------------------------------------ run state

CarveRun::CarveRun(ScanView& v, const CarveKind& k)
    : view(v), kind(k), lastPump_(std::chrono::steady_clock::now()) {}

CarveRun::~CarveRun() = default;

namespace {
// Cell starts lie within 65535 bytes of the page start; a live position up
// to 11 bytes after.
constexpr std::size_t kLiveSpan = 65535 + 12;
constexpr std::size_t kLiveMaskMinCells = 16;
}  // namespace

void CarveRun::BuildLiveMask() const {
  if (liveMask_.empty()) liveMask_.assign((kLiveSpan + 63) / 64 + 1, 0);
  for (const std::size_t w : liveMaskWords_) liveMask_[w] = 0;
  liveMaskWords_.clear();
  constexpr std::uint64_t kRun = (std::uint64_t{1} << 11) - 1;  // offsets c + 1 .. c + 11
  for (const std::uint16_t c : cellPointers) {
    const std::size_t from = std::size_t{c} + 1;
    const std::size_t w = from / 64, b = from % 64;
    liveMask_[w] |= kRun << b;
    liveMaskWords_.push_back(w);
    if (b > 64 - 11) {
      liveMask_[w + 1] |= kRun >> (64 - b);
      liveMaskWords_.push_back(w + 1);
    }
  }
  liveMaskStart_ = pageStart;
  liveMaskList_ = cellPointers.data();
  liveMaskCount_ = cellPointers.size();
}

bool CarveRun::IsLiveCell(std::size_t at) const {
  if (cellPointers.size() < kLiveMaskMinCells) return velmora::IsLiveCell(at, pageStart, cellPointers);
  if (liveMaskStart_ != pageStart || liveMaskList_ != cellPointers.data() ||
      liveMaskCount_ != cellPointers.size())
    BuildLiveMask();
  if (at <= pageStart || at - pageStart >= kLiveSpan) return false;
  const std::size_t r = at - pageStart;
  return (liveMask_[r / 64] >> (r % 64)) & 1;
}

void CarveRun::WriteCountStatus() {
  view.SetStatusText(2, "找到 " + Count(hits) + kind.statusText + Count(deleted) + "条删除");
}

void CarveRun::CountHit(bool live) {
  ++hits;
  if (!live) ++deleted;
  if (!kind.statusAtFinish) statusPending_ = true;
}

void CarveRun::FlushCountStatus() {
  if (!statusPending_) return;
  statusPending_ = false;
  WriteCountStatus();
}

void CarveRun::SetProgress(int position) {
  if (progressPending_ && position == progress_) return;
  progress_ = position;
  progressPending_ = true;
}

void CarveRun::FlushProgress() {
  if (!progressPending_) return;
  progressPending_ = false;
  view.SetProgressPosition(progress_);
}

void CarveRun::Pump() {
  FlushCountStatus();
  FlushProgress();
  view.PumpMessages();
  lastPump_ = std::chrono::steady_clock::now();
}

void CarveRun::Tick() {
  if (std::chrono::steady_clock::now() - lastPump_ >= CarvePumpInterval) Pump();
}

// ------------------------------------------------------------------ schema

void BuildTableColumns(const std::string& createText, const CarveKind& kind, ATableField& columns,
                       std::vector<int>& keys, CarveRun* run) {
  const int n = static_cast<int>(std::count(createText.begin(), createText.end(), ',')) + 1;

  // The body: after the first "(" (the whole text when there is none),
  // without the last bodyCut characters.
  const std::size_t open = createText.find('(');
  std::string body = open == std::string::npos ? createText : createText.substr(open + 1);
  body.resize(body.size() - std::min<std::size_t>(body.size(), static_cast<std::size_t>(std::max(kind.bodyCut, 0))));

  // The definitions are the comma-separated fields of the body, found in one
  // pass. As the field routine gives them: the first is empty when the body
  // has no comma, and every index past the last comma gives the last field.
  std::vector<std::size_t> commas;
  for (std::size_t at = body.find(','); at != std::string::npos; at = body.find(',', at + 1))
    commas.push_back(at);
  auto field = [&](std::size_t i) -> std::string {
    if (i == 0) return commas.empty() ? std::string() : body.substr(0, commas[0]);
    if (i >= commas.size()) return commas.empty() ? body : body.substr(commas.back() + 1);
    return body.substr(commas[i - 1] + 1, commas[i] - commas[i - 1] - 1);
  };

  columns.assign(static_cast<std::size_t>(n), PTableField{});
  keys.assign(kind.keyNames.size(), 0);
  for (int i = 0; i < n; ++i) {
    if (run) run->Tick();
    const std::string definition = Trim(field(static_cast<std::size_t>(i)));
    // The first blank-separated word is the name, the second the type.
    const std::size_t blank = definition.find(' ');
    PTableField& f = columns[static_cast<std::size_t>(i)];
    f.Name = definition.substr(0, blank);
    std::string type;
    if (blank != std::string::npos) {
      const std::size_t next = definition.find(' ', blank + 1);
      type = Lower(definition.substr(blank + 1, next == std::string::npos ? std::string::npos
                                                                           : next - blank - 1));
    }
    if (type.find("integer") != std::string::npos) f.Kind = "i", f.MaxSerialType = 9;
    if (type.find("text") != std::string::npos) f.Kind = "c", f.MaxSerialType = 13;
    if (kind.blobKind && type.find("blob") != std::string::npos) f.Kind = "b", f.MaxSerialType = 12;

    const std::string name = Lower(f.Name);
    for (std::size_t k = 0; k < kind.keyNames.size(); ++k) {
      if (name != kind.keyNames[k]) continue;
      keys[k] = i;
      if (std::find(kind.requiredKeys.begin(), kind.requiredKeys.end(), kind.keyNames[k]) !=
          kind.requiredKeys.end())
        f.Required = true;
    }
    if (kind.requireDefaultColumns && Lower(definition).find("default") != std::string::npos)
      f.Required = true;
  }
  if (kind.adjustColumns) kind.adjustColumns(columns, keys);
}

// ------------------------------------------------------------------ finish

void FinishScanUi(ScanView& view) {
  ScanStopRequested = true;
  ScanEnabled = true;
  view.SetCommandEnabled(ScanCommand::Start, true);
  view.SetCommandEnabled(ScanCommand::Stop, false);
  view.SetCommandEnabled(ScanCommand::Recover, view.ResultListRowCount() > 0);
}

namespace {

// The finish texts of a walk that ended (normally or by Stop).
void FinishTexts(CarveRun& run) {
  const CarveKind& k = run.kind;
  ScanView& view = run.view;
  if (k.statusAtFinish) run.WriteCountStatus();
  view.SetStatusText(0, "扫描完成");
  view.TreeExpandAll();
  AddSystemLog(view, "扫描完成,共找到 " + Count(run.hits) + k.logText + Count(run.deleted) + "条删除");
  view.TreeSetNodeText(0, k.word + "(" + Count(run.hits) + ")");
  view.TreeSetNodeText(1, "正常" + k.word + "(" + Count(run.hits - run.deleted) + ")");
  view.TreeSetNodeText(2, "删除" + k.word + "(" + Count(run.deleted) + ")");
}

// The generic candidate test, decode, checks, live test and per-hit work for
// the candidate at pos. Returns the next position.
// `prefixPassed`: the candidate mask has passed pos.
std::size_t TestCandidate(CarveRun& run, const HeaderMatcher& matcher, int columnCount,
                          CarvedRecord& rec, std::size_t pos, bool prefixPassed) {
  if (!(prefixPassed ? matcher.MatchAfterPrefix(run.image, pos) : matcher.Match(run.image, pos)))
    return pos + 1;
  const CarveKind& k = run.kind;
  const DecodeStatus status = DecodeRecordAt(run.image, pos, 1, columnCount, k.decodeBlobs, rec);
  if (status == DecodeStatus::PastImage) return pos + 1;
  if (status == DecodeStatus::LongSerialType) return pos + std::max<std::size_t>(rec.HeaderBytes(), 1);
  if (k.beforeChecks) k.beforeChecks(rec, run);
  const CheckResult result = k.check ? k.check(rec, run) : CheckResult::Pass;
  if (result == CheckResult::Miss) return pos + 1;
  if (result == CheckResult::Skip) return pos + std::max<std::size_t>(rec.HeaderBytes(), 1);
  const bool live = run.IsLiveCell(pos);
  if (k.onHit) k.onHit(rec, live, run);
  if (k.countHits) run.CountHit(live);
  return pos + 1;
}

// Bytes the window keeps before the page walked (the look-backs of the
// hooks: the row id in front of a message, most contacts' headers) and
// after it (the first bytes of most records that run on into the next
// page). Less in a small window; what lies past them is read from the file.
std::size_t MarginBytes() { return std::clamp<std::size_t>(CarveWindowBytes / 4, 16, 4096); }

// The bytes the window holds after the page walked: besides the margin,
// every header the candidate test reads (at most five bytes per column).
std::size_t LookAheadBytes(std::size_t columnCount) { return 5 * columnCount + MarginBytes(); }

// Makes the window hold the page at file offset `at` with the bytes before
// and after it; a new window is CarveWindowBytes long (or what the page and
// its margins need, within the resident bound).
void HoldPage(CarveRun& run, std::uint64_t at, std::size_t ahead) {
  CarveImage& image = run.image;
  const std::uint64_t total = image.Total();
  const std::uint64_t from = at - std::min<std::uint64_t>(at, MarginBytes());
  const std::uint64_t to = std::min(total, at + run.pageSize + ahead);
  if (image.Holds(from, to)) return;
  const std::uint64_t need = to - from;
  const std::uint64_t length =
      std::max(need, std::min<std::uint64_t>(CarveWindowBytes, kMaxImageResidentBytes));
  image.Load(from, from + length);
}

// The cell pointer list of a table leaf page at window offset `start`, as
// far as the image holds it (a long list runs on past the page).
void ReadCellPointers(CarveRun& run, std::size_t start) {
  const CarveImage& image = run.image;
  run.cellPointers.clear();
  if (image[start] != fmt::kPageTableLeaf || !fmt::Fits(image.size(), start + fmt::kPageCellCount, 2)) return;
  const std::size_t count = fmt::Get16(image.Window(), start + fmt::kPageCellCount);
  const std::uint64_t first = image.Start() + start + fmt::kLeafCellPointers;
  const std::uint64_t total = image.Total();
  const std::size_t readable =
      first > total ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(count, (total - first) / 2));
  if (readable == 0) return;
  std::span<const std::uint8_t> bytes;
  Fbuf far;
  if (image.Holds(first, first + 2 * readable)) {
    bytes = image.Window().subspan(static_cast<std::size_t>(first - image.Start()), 2 * readable);
  } else {
    far.resize(2 * readable);
    image.ReadAt(first, far);
    bytes = far;
  }
  run.cellPointers.resize(readable);
  for (std::size_t i = 0; i < readable; ++i) run.cellPointers[i] = fmt::Get16(bytes, 2 * i);
}

// The page walk over pages 2..pageCount of the image, window by window.
void WalkPages(CarveRun& run, const ATableField& columns) {
  const CarveKind& k = run.kind;
  ScanView& view = run.view;
  const std::uint64_t total = run.image.Total();
  const std::size_t pageSize = run.pageSize;
  const HeaderMatcher matcher(columns, k.headerTest,
                              static_cast<std::uint64_t>(std::max(k.textBoundFactor, 1)) * pageSize);
  const int columnCount = static_cast<int>(columns.size());
  const std::size_t ahead = LookAheadBytes(columns.size());
  CarvedRecord rec;

  // The progress bar counts pages (in steps of several when there are more
  // than it can count).
  const std::uint64_t lastPage = run.pageCount > 0 ? run.pageCount - 1 : 0;
  const std::uint64_t step = lastPage / static_cast<std::uint64_t>(INT32_MAX) + 1;
  view.SetProgressRange(0, run.pageCount > 0 ? static_cast<int>(lastPage / step) : -1);
  std::uint64_t at = pageSize;  // file offset of the page walked next
  run.page = 1;
  while (at < total) {
    run.Tick();
    run.SetProgress(static_cast<int>(run.page / step));
    if (ScanStopRequested) break;

    HoldPage(run, at, ahead);
    run.pos = static_cast<std::size_t>(at - run.image.Start());
    run.pageStart = run.pos;
    // Cell pointers of a table leaf page, as far as the image holds them.
    ReadCellPointers(run, run.pos);
    ++run.page;
    if (run.page <= UINT32_MAX && run.freelist.Contains(static_cast<std::uint32_t>(run.page)))
      run.cellPointers.clear();  // nothing on it is live
    const std::uint64_t pageEndInFile = std::uint64_t{pageSize} * run.page;
    const std::size_t pageEnd = static_cast<std::size_t>(pageEndInFile - run.image.Start());

    if (k.scanPage) {
      k.scanPage(run, pageEnd);
    } else {
      const std::size_t held = run.image.size();
      const std::uint8_t* bytes = run.image.data();
      // Offsets below fastEnd have the bytes the candidate mask reads (the
      // window ends at the image's end or more than a header past the page).
      const std::size_t fastEnd = held >= kMaskColumns - 1 ? held - (kMaskColumns - 1) : 0;
      std::uint64_t masks[kCandidatesPerTick / 64];
      std::size_t pos = run.pos;
      while (pos < pageEnd) {
        const std::size_t chunkEnd = std::min(pageEnd, pos + kCandidatesPerTick);
        const std::size_t fastStop = std::min(chunkEnd, fastEnd);
        if (pos < fastStop) {
          // The common case: rejected on its first bytes, nothing allocated.
          // The chunk's offsets are tested at once into a bit mask, and the
          // walk goes from one offset that may match to the next.
          const std::size_t base = pos, n = fastStop - pos, words = (n + 63) / 64;
          matcher.CandidateMask(bytes + base, n, masks);
          while (pos - base < n) {
            std::size_t w = (pos - base) / 64;
            std::uint64_t mask = masks[w] & (~std::uint64_t{0} << ((pos - base) % 64));
            while (mask == 0 && ++w < words) mask = masks[w];
            if (mask == 0) break;
            pos = TestCandidate(run, matcher, columnCount, rec,
                                base + w * 64 + static_cast<std::size_t>(__builtin_ctzll(mask)), true);
          }
          pos = std::max(pos, fastStop);
        }
        // The last offsets of the image (too few bytes after them).
        while (pos < chunkEnd) {
          if (!matcher.FirstByteMayMatch(bytes[pos])) {
            ++pos;
            continue;
          }
          pos = TestCandidate(run, matcher, columnCount, rec, pos, false);
        }
        run.Tick();
      }
    }
    run.pos = pageEnd;
    at = pageEndInFile;
  }
  run.FlushCountStatus();
  run.FlushProgress();
}

}  // namespace

// ------------------------------------------------------------------ the run

// The end of a run that an error cut short: the count status of the hits so
// far, the kind's clean-up, the database closed, the error text in a box
// (when it has not been shown), the idle controls.
void EndByError(CarveRun& run, const char* text) {
  run.FlushCountStatus();
  run.FlushProgress();
  if (run.kind.onAbort) {
    try {
      run.kind.onAbort(run);
    } catch (...) {
      // The clean-up of an ending run: nothing more to do about it.
    }
  }
  run.db_.reset();
  run.database = nullptr;
  if (text) platform::ShowMessageBox(text, kCaption, MbIcon::Error);
  FinishScanUi(run.view);
}

void RunCarve(ScanView& view, const CarveKind& k) {
  // Set-up.
  if (!ScanEnabled) return;
  ScanStopRequested = false;
  if (k.clearTreeFirst) view.TreeClear();
  view.TreeInsertRootFirst(k.rootSetUpText.empty() ? k.word : k.rootSetUpText, "正常" + k.word,
                           "删除" + k.word,
                           k.taggedTree ? std::optional<std::uint8_t>(k.kindCode) : std::nullopt);
  if (k.onSetUp) k.onSetUp();
  view.ResultListClear();
  view.FragmentListClearColumns();
  AddSystemLog(view, "扫描... ");
  view.SetStatusText(0, "正在扫描...");
  view.SetCommandEnabled(ScanCommand::Recover, false);
  view.SetCommandEnabled(ScanCommand::Stop, true);
  view.SetCommandEnabled(ScanCommand::Start, false);

  CarveRun run(view, k);
  gLastStats = {};
  try {
    // Header.
    Fbuf header(kSectorSize, 0);
    ReadSectors(SourceRawPath, false, 0, static_cast<std::int32_t>(kSectorSize), header);
    const std::span<const std::uint8_t> h(header);
    std::uint32_t pageSize = fmt::Get16(h, fmt::kHeaderPageSize);
    if (pageSize == 1) pageSize = 65536;
    std::uint32_t pageCount = fmt::Get32(h, fmt::kHeaderPageCount);
    // A page size of 0 would leave the walk without pages (and divide by 0
    // below): such a header is no valid database either.
    if (std::memcmp(header.data(), "SQLite format 3", fmt::kHeaderMagicLength) != 0 || pageSize == 0) {
      InfoBox("无效的数据文件！");
      FinishScanUi(view);
      return;
    }
    PatchSQLiteHeader(SourceRawPath, header, PatchMode::IfNeeded);

    // The file image: pages 1..pageCount, the count taken from the file
    // size when the header's is 0 or more than the file holds (in 64 bits:
    // no limit but the file's). It is read window by window; the first
    // window now, the rest as the walk reaches it.
    const std::int64_t fileSize = FileSize64(SourceDbPath);
    const std::uint64_t size = fileSize > 0 ? static_cast<std::uint64_t>(fileSize) : 0;
    std::uint64_t pages = pageCount;
    if (std::uint64_t{pageSize} * pages > size || pages == 0) pages = size / pageSize;
    const std::uint64_t bytes = std::uint64_t{pageSize} * pages;
    run.pageSize = pageSize;
    run.pageCount = pages;
    if (!run.image.Open(SourceRawPath, bytes)) throw ImageReadFailed();
    run.image.Load(0, std::min<std::uint64_t>(CarveWindowBytes, kMaxImageResidentBytes));

    // Schema through SQLite.
    run.db_ = std::make_unique<TSQLiteDatabase>(SourceDbPath);
    run.database = run.db_.get();
    std::string createText;
    if (k.schemaQuery.empty()) {
      if (!run.db_->HasTable(k.tableName)) {
        run.db_.reset();
        run.database = nullptr;
        InfoBox(k.missingTableText);
        FinishScanUi(view);
        return;
      }
      if (k.afterTableFound && !k.afterTableFound(*run.db_, run)) {
        run.db_.reset();
        run.database = nullptr;
        InfoBox(k.emptySchemaText);
        FinishScanUi(view);
        return;
      }
      createText = run.db_->ReadCreateText(k.tableName);
    } else {
      createText = run.db_->QuerySqlText(k.schemaQuery);
    }
    if (!k.keepDatabaseOpen) {
      run.db_.reset();
      run.database = nullptr;
    }
    // An empty CREATE text, or one without a comma (one column, nothing to
    // test), ends the scan with the kind's text.
    if (createText.empty() || createText.find(',') == std::string::npos) {
      run.db_.reset();
      run.database = nullptr;
      InfoBox(k.emptySchemaText);
      FinishScanUi(view);
      return;
    }

    // Column descriptors.
    BuildTableColumns(createText, k, TableColumns, run.keys, &run);

    // Page walk; the free list first.
    run.freelist = ReadFreelistOfFile(SourceRawPath, h, pageSize,
                                      static_cast<std::uint32_t>(std::min<std::uint64_t>(run.pageCount, UINT32_MAX)));
    const auto started = std::chrono::steady_clock::now();
    WalkPages(run, TableColumns);
    gLastStats.imageBytes = run.image.Total();
    gLastStats.walkSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (k.afterWalk) k.afterWalk(run);

    // Finish.
    FinishTexts(run);
    if (k.beforeFinishUi) k.beforeFinishUi(run);
    run.db_.reset();
    run.database = nullptr;
    FinishScanUi(view);
    if (k.afterFinishUi) k.afterFinishUi(run);
  } catch (const ImageReadFailed&) {
    // A failed read of the image (its box shown): the hits so far stay, and
    // nothing says the scan is complete.
    EndByError(run, nullptr);
  } catch (const std::exception& e) {
    // An error of the SQLite layer (or of the file size) ends the scan: its
    // text in an error box, then the idle controls.
    EndByError(run, e.what());
  }
}

}  // namespace velmora
