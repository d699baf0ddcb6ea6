// The carving engine: finds the records of one table of an SQLite database
// file, live and deleted, by reading the file raw and testing every byte
// offset of every page from page 2 on for the start of a record header that
// fits the table's columns. SQLite is used only to confirm the table and read
// its CREATE text (and, for some kinds, for look-ups during the walk).
//
// A run goes: set-up of the window (tree root and children, list cleared,
// log row, status, controls) -> header check and patch of bytes 18/19 ->
// the file image opened and its first window read -> the schema through
// SQLite -> the column descriptors -> the free list (engine/Freelist.h) ->
// the page walk (candidate test, decode, record checks, live test, per-hit
// work) -> the finish (texts, counts, idle controls). Every way out after
// the set-up runs FinishScanUi. A hit on a free-list page is deleted: such a
// page walks with an empty cell pointer list.
//
// THE IMAGE
//
// The walk holds a window of the file (run.image, a CarveImage), never the
// whole file: each page is walked with the window holding the page, some
// bytes before it (look-backs) and after it (headers that run on). The
// window moves between pages only; within a page's walk its offsets stay
// put. Offsets the hooks see (run.pos, run.pageStart, CarvedRecord::Offset)
// are offsets into the window; run.image.Start() + offset is the file
// offset. A record whose contents reach past the window is decoded with the
// bytes read from the file, so rows never depend on where a window ends.
//
// A read that fails, or a file that shrinks during the walk, ends the scan
// as an SQLite error does: the read error box (instead of the error text),
// the count status of the hits so far, onAbort, the idle controls; no finish
// texts (status panel 0, the log line, the tree's counts), so nothing says
// the scan is complete.
//
// HOW A NEW SCANNER PLUGS IN
//
//   1. Fill a CarveKind with the kind's values: tree word and tags, the
//      tables it empties at the start (onSetUp), its table name or its own
//      schema query, its two "not found" texts, how many characters the
//      CREATE body loses, whether blob columns are tested, its key column
//      names and which of them are Required, the text-length factor, its
//      status and log texts.
//   2. Write its record checks (check: Pass, Miss or Skip on the decoded key
//      columns, read with CarvedRecord::Text(run.keys[i])) and its per-hit
//      work (onHit: the list row through run.view and the result record).
//      The engine counts the hit and writes the per-hit status text.
//   3. Departures are hooks and switches, each optional:
//        keepDatabaseOpen  the database stays open from the schema step to
//                          the finish (run.database) for look-ups;
//        afterTableFound   extra queries once the table is known (false ends
//                          the scan with the empty-schema text);
//        adjustColumns     a fixed column layout or fixed key positions;
//        headerTest        VarintEach: the four-continuation-byte limit holds
//                          per serial type, not in sum; SingleByte: every
//                          serial type is one byte with the single-byte rules;
//        decodeBlobs       false: blob contents are stepped over, value empty;
//        beforeChecks      runs on every decoded candidate before the checks
//                          (e.g. a look-up whose text becomes column 0);
//        scanPage          replaces the candidate test of each page with the
//                          kind's own walk (an anchor search), using
//                          DecodeRecordAt, run.IsLiveCell, run.CountHit and
//                          run.Tick;
//        countHits/onHit   false: hits are kept rows, counted by afterWalk;
//        afterWalk         work between the walk and the finish (a join);
//        onAbort           work when an error ends the scan, before the
//                          database closes (statements to finalize);
//        statusAtFinish    status panel 2 written once at the finish instead
//                          of per hit;
//        beforeFinishUi    extra work after the finish texts;
//        afterFinishUi     work after the idle controls, on the normal end only.
//   4. Give the kind a function `void RunXxxScan(ScanView&)` that calls
//      RunCarve(view, XxxKind()), and add the kind to tools/carve and to the
//      fuzz target's table.
//
// An error of the SQLite layer (or any other exception) inside a run is shown
// in an error box with its text; the database is closed and FinishScanUi runs.
// A CREATE text without a comma (a one-column table) ends like an empty one:
// the kind's empty-schema box and FinishScanUi.
#pragma once

#include <array>
#include <charconv>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CarveImage.h"
#include "engine/CandidateMask.h"
#include "engine/Freelist.h"
#include "engine/MyFuns_.h"
#include "engine/ScanContext.h"
#include "engine/ScanView.h"
#include "engine/SQLiteFormat.h"

namespace velmora {

class TSQLiteDatabase;
struct CarveKind;
class CarveRun;
class CarvedRecord;

// Outcome of a kind's record checks: a miss moves the walk on by one byte, a
// skip by the header bytes read.
enum class CheckResult { Pass, Miss, Skip };

// How serial types are tested by the candidate test.
enum class HeaderTest {
  // Integer columns one byte; text and blob columns varints; more than four
  // continuation bytes in the whole header is a miss.
  Varint,
  // As Varint, but the limit of four continuation bytes holds for each
  // serial type by itself.
  VarintEach,
  // Every serial type is the single byte at its column's offset: integer 1-6,
  // 8, 9 when Required and 0-6, 8, 9 otherwise; text 0 or odd 13-127.
  SingleByte,
};

// The message pump of a run is called at most this often (checked at every
// page and every few thousand candidates). Tests set zero: a pump at every
// check.
extern std::chrono::milliseconds CarvePumpInterval;

// Timings of the last run's page walk (for the benchmark).
struct CarveRunStats {
  std::uint64_t imageBytes = 0;
  double walkSeconds = 0;
};
const CarveRunStats& LastCarveRunStats();

// Decimal text to a 64-bit integer: leading blanks, an optional sign, digits,
// nothing after; false on anything else or overflow.
bool TryTextToInt64(std::string_view text, std::int64_t& value);
// The year of a date-time text: its first four characters as a number.
bool TryYearOfTimeText(const std::string& timeText, std::int64_t& year);
// The two time bases of phone databases.
enum class TimeBase { Unix, Cocoa };
// The year test of the scanners: the first four characters of
// UnixMsToText(ms) / CocoaMsToText(ms) as a number. Computed without the text
// when the date format starts with "yyyy" and the time lies between 1900 and
// 2200; the same answer either way.
bool TryYearOfMs(TimeBase base, std::int64_t ms, std::int64_t& year);
// seconds * 1000 with the two's complement wrap of 64 bits (no overflow trap).
std::int64_t SecondsToMs(std::int64_t seconds);

// The check the message and call kinds share: the type column is not NULL
// or empty (else a miss), an integer (else a skip) of at most maxType (else
// a miss); the date column an integer (else a skip) whose moment
// (milliseconds, or seconds when inSeconds) from `base` has a year from
// firstYear to lastYear (no year: a skip; another year: a miss). On a pass
// run.checked holds the two values read.
enum CheckedValue { kCheckedType = 0, kCheckedDate = 1 };
struct TypeAndYearCheck {
  int typeKey;
  std::int64_t maxType;
  int dateKey;
  TimeBase base;
  bool inSeconds;
  std::int64_t firstYear;
  std::int64_t lastYear;
};
CheckResult CheckTypeAndYear(const CarvedRecord& rec, CarveRun& run, const TypeAndYearCheck& check);

// A stored integer of serial type 1 to 6: its n big-endian two's complement
// bytes.
std::int64_t StoredInteger(const std::uint8_t* p, std::size_t n);
// The text of one stored value: serial type 0 "NULL", 8 "0", 9 "1", 7 (a
// float) and 10/11 an empty text, 1-6 the integer in decimal, text and blob
// contents as stored. `content` holds the value's content bytes (none are
// read for the types without content).
std::string StoredValueText(std::uint64_t serialType, const std::uint8_t* content);

enum class DecodeStatus {
  Ok,
  LongSerialType,  // a serial type of more than four bytes: give up by HeaderBytes()
  PastImage,       // serial types or contents would reach past the image: a miss
};

class CarvedRecord;
DecodeStatus DecodeRecordAt(std::span<const std::uint8_t> image, std::size_t offset,
                            int firstSerialColumn, int columnCount, bool decodeBlobs,
                            CarvedRecord& out);

// A candidate whose serial types have been read and whose contents lie inside
// the image. Texts are made on demand from the image bytes (read from the
// file when they lie outside the window decoded from).
class CarvedRecord {
 public:
  // Offset of the first serial type read (for the generic walk, column 1's
  // serial type: the candidate position), in the span or window decoded
  // from.
  std::size_t Offset() const { return static_cast<std::size_t>(offset_ - base_); }
  // The same as a file offset (the image offset for a span).
  std::uint64_t FileOffset() const { return offset_; }
  // Header bytes read: the body starts at Offset() + HeaderBytes().
  std::size_t HeaderBytes() const { return headerBytes_; }
  int ColumnCount() const { return static_cast<int>(serialTypes_.size()); }
  // 0 for a column out of range.
  std::uint64_t SerialType(int column) const {
    if (column < 0 || column >= ColumnCount()) return 0;
    return serialTypes_[static_cast<std::size_t>(column)];
  }
  // The column's value as text: serial type 0 "NULL", 8 "0", 9 "1", 1-6 the
  // integer in decimal, 7 (a float) and 10/11 an empty text, text contents
  // as stored (UTF-8), blob contents likewise or empty (decodeBlobs false).
  // Column 0, the row key, is never decoded: its text is Column0Text()
  // (empty unless a kind sets it). Columns out of range give an empty text.
  std::string Text(int column) const;
  // Text(column) without a copy where it can: a view of the bytes held (a
  // text or blob), of a constant, or of `scratch` (an integer's digits,
  // bytes read from the file). Valid while the record, its window and
  // `scratch` are.
  std::string_view TextView(int column, std::string& scratch) const;
  const std::string& Column0Text() const { return column0Text_; }
  // TryTextToInt64(Text(column), value), without making the text of an
  // integer serial type.
  bool TryInt64(int column, std::int64_t& value) const;
  // Text(column) is "NULL" or empty.
  bool IsNullOrEmpty(int column) const;
  // The column holds an integer (serial type 1-6, 8 or 9): its text is the
  // decimal of TryInt64's value.
  bool IsIntegerColumn(int column) const {
    const std::uint64_t st = SerialType(column);
    return column > 0 && ((st >= 1 && st <= 6) || st == 8 || st == 9);
  }
  // A text or blob column whose content lies in the bytes held (blobs only
  // when they are decoded): its first byte, `size` being its length (its
  // bytes are Text(column)) and `readable` the bytes held from there on.
  // Null for any other column.
  const std::uint8_t* HeldContent(int column, std::size_t& size, std::size_t& readable) const {
    if (column <= 0 || column >= ColumnCount()) return nullptr;
    const std::uint64_t st = serialTypes_[static_cast<std::size_t>(column)];
    if (st < 12 || (st % 2 == 0 && !decodeBlobs_)) return nullptr;
    const auto n = static_cast<std::size_t>((st - 12) / 2);
    const std::uint8_t* p = Held(contentOffsets_[static_cast<std::size_t>(column)], n);
    if (p == nullptr) return nullptr;
    size = n;
    readable = static_cast<std::size_t>(image_.data() + image_.size() - p);
    return p;
  }
  // Copied into the record's own text, whose room is kept from candidate
  // to candidate.
  void SetColumn0Text(std::string_view text) { column0Text_.assign(text); }

 private:
  friend struct RecordDecoder;
  // The n bytes at file offset off when they lie in the bytes held; null
  // when they do not.
  const std::uint8_t* Held(std::uint64_t off, std::size_t n) const {
    if (off < base_ || !sqlitefmt::Fits(image_.size(), static_cast<std::size_t>(off - base_), n)) return nullptr;
    return image_.data() + (off - base_);
  }
  // The n content bytes at file offset off: a pointer into the bytes held,
  // or into `scratch` after a read from the file.
  const std::uint8_t* Bytes(std::uint64_t off, std::size_t n, std::string& scratch) const;
  // TryInt64 of a value that is not an integer held in the window.
  __attribute__((noinline)) bool TryInt64ByText(int column, std::int64_t& value) const;
  std::span<const std::uint8_t> image_;
  std::uint64_t base_ = 0;                 // file offset of image_[0]
  const CarveImage* source_ = nullptr;     // the file, for bytes outside image_
  std::uint64_t offset_ = 0;               // file offset
  std::size_t headerBytes_ = 0;
  bool decodeBlobs_ = true;
  std::vector<std::uint64_t> serialTypes_;     // index = column
  std::vector<std::uint64_t> contentOffsets_;  // index = column, file offsets
  std::string column0Text_;
};

// Column `column`'s text (CarvedRecord::Text) kept with the texts of
// `records`, a result array.
template <typename Array>
RecordText KeepText(Array& records, const CarvedRecord& rec, int column) {
  std::size_t size = 0;
  std::size_t readable = 0;
  if (const std::uint8_t* p = rec.HeldContent(column, size, readable))
    return records.KeepHeld(reinterpret_cast<const char*>(p), size, readable);
  std::int64_t value = 0;
  if (rec.IsIntegerColumn(column) && rec.TryInt64(column, value)) return records.KeepDecimal(value);
  std::string scratch;
  return records.Keep(rec.TextView(column, scratch));
}

// Reads the serial types of columns firstSerialColumn..columnCount-1 as
// varints from `offset` on, then lays out the contents of columns
// 1..columnCount-1 from the end of those serial types on (column 0's
// content, the row key, is never stored). On LongSerialType, HeaderBytes()
// holds the header bytes read including the long one.
DecodeStatus DecodeRecordAt(std::span<const std::uint8_t> image, std::size_t offset,
                            int firstSerialColumn, int columnCount, bool decodeBlobs,
                            CarvedRecord& out);
// The same in a file image, `offset` being an offset into its window: the
// serial types and contents may reach past the window (they are read from
// the file), PastImage meaning past the image's end. Read errors throw
// ImageReadFailed.
DecodeStatus DecodeRecordAt(const CarveImage& image, std::size_t offset, int firstSerialColumn,
                            int columnCount, bool decodeBlobs, CarvedRecord& out);
// The same at a file offset, which may lie before the window.
DecodeStatus DecodeRecordAtFileOffset(const CarveImage& image, std::uint64_t fileOffset,
                                      int firstSerialColumn, int columnCount, bool decodeBlobs,
                                      CarvedRecord& out);

// The live test: pos lies 1 to 11 bytes after the start of a cell that the
// page's cell pointer list names.
bool IsLiveCell(std::size_t pos, std::size_t pageStart, std::span<const std::uint16_t> cellPointers);

// The candidate test of one table layout, precomputed per run.
class HeaderMatcher {
 public:
  // columns: the table's descriptors (column 0 is not tested); textBound:
  // the largest text or blob serial type (F times the page size).
  HeaderMatcher(const ATableField& columns, HeaderTest mode, std::uint64_t textBound);
  // True when the bytes at pos are a header that fits the columns.
  bool Match(std::span<const std::uint8_t> image, std::size_t pos) const;
  // Match(image, pos) for a pos where PrefixMayMatch holds (a bit of
  // CandidateMask): the columns that test has passed are not read again.
  bool MatchAfterPrefix(std::span<const std::uint8_t> image, std::size_t pos) const;
  // The cheap first-byte test: false rejects pos without further reads.
  bool FirstByteMayMatch(std::uint8_t b) const { return tables_[1][b] != kReject; }
  // The cheap test of the first four serial-type bytes at p (four bytes
  // readable): false rejects; true leaves the decision to Match. Branch-free:
  // each byte's code is looked up, and a column's byte counts only while the
  // columns before it were one-byte serial types.
  bool FirstBytesMayMatch(const std::uint8_t* p) const {
    return FirstBytesMayMatch(p, tables_[1].data(), tables_[2].data(), tables_[3].data(),
                              tables_[4].data());
  }
  // The code tables of columns 1 to 4, for a walk that keeps them in registers.
  const std::uint8_t* Table(std::size_t column) const { return tables_[column].data(); }
  // FirstBytesMayMatch(p) from two look-ups: the table of the bytes p[0], p[1]
  // (bit 0: accepted whatever follows; bit 1: accepted when the pair p[2],
  // p[3] allows it) and the table of p[2], p[3] (2 when it allows, else 0).
  // pair12 and pair34 are PairTable12() and PairTable34().
  static bool PairsMayMatch(const std::uint8_t* p, const std::uint8_t* pair12,
                            const std::uint8_t* pair34) {
    const unsigned a = pair12[p[0] | (unsigned{p[1]} << 8)];
    const unsigned b = pair34[p[2] | (unsigned{p[3]} << 8)];
    return (a & (1u | b)) != 0;
  }
  const std::uint8_t* PairTable12() const { return pair12_.data(); }
  // PairTable12() with a multi-byte serial type of column 1 tested further:
  // a two-byte one by its value, a longer one by the least value its first
  // two bytes allow. PairsMayMatch with it is false only where Match is.
  const std::uint8_t* PairTable12Varint() const { return pair12Varint_.data(); }
  const std::uint8_t* PairTable34() const { return pair34_.data(); }
  static bool FirstBytesMayMatch(const std::uint8_t* p, const std::uint8_t* t1,
                                 const std::uint8_t* t2, const std::uint8_t* t3,
                                 const std::uint8_t* t4) {
    const unsigned c1 = t1[p[0]], c2 = t2[p[1]], c3 = t3[p[2]], c4 = t4[p[3]];
    const unsigned v1 = c1 >> 1, v2 = c2 >> 1, v3 = c3 >> 1;
    return (v1 | ((c1 & 1) & (v2 | ((c2 & 1) & (v3 | ((c3 & 1) & (c4 != 0))))))) != 0;
  }
  // The prefix test at p (kMaskColumns bytes readable): the serial-type
  // bytes of its columns (the first 8, or kMaskColumns when a run of zero
  // bytes passes those 8) are looked up while the columns
  // before them were one-byte types that pass; false at the first byte
  // its column rejects, true at the first multi-byte type (the full test
  // decides) or when all of them pass. False only where Match is; within
  // FirstBytesMayMatch.
  bool PrefixMayMatch(const std::uint8_t* p) const;
  // The candidates of the walk among the n offsets p .. p + n - 1 (n +
  // kMaskColumns - 1 bytes readable): bit i % 64 of masks[i / 64] set when
  // PrefixMayMatch(p + i) and PairsMayMatch(p + i, PairTable12Varint(),
  // PairTable34()), the bits from n on clear. A superset of the offsets
  // where Match is true. With AVX2 where the processor has it (see
  // engine/CandidateMask.h); the same masks either way.
  void CandidateMask(const std::uint8_t* p, std::size_t n, std::uint64_t* masks) const;

 private:
  // Codes: bit 0 a one-byte serial type that passes, bit 1 a multi-byte one to read.
  enum : std::uint8_t { kReject = 0, kAccept = 1, kTextVarint = 2, kBlobVarint = 6 };
  // Match from column c on, with the header's first serial type at p and
  // five bytes per column held.
  bool MatchHeld(const std::uint8_t* p, std::size_t c) const;
  // A multi-byte serial type v of len bytes, read where the column's code
  // is kTextVarint or kBlobVarint: false when the header's continuation
  // bytes (counted in `extra`) pass the limit or v is no such type within
  // the bound.
  bool MultiByteTypePasses(std::uint8_t code, std::uint64_t v, int len, std::size_t& extra) const;
  HeaderTest mode_;
  std::uint64_t bound_;
  std::size_t columns_;
  // Index = column; at least kMaskColumns + 1, the ones past the last column
  // accepting every byte (the prefix test never rejects on them).
  std::vector<std::array<std::uint8_t, 256>> tables_;
  // Index = first byte | second byte << 8 (see PairsMayMatch).
  std::vector<std::uint8_t> pair12_, pair34_, pair12Varint_;
  // Column 1 has multi-byte serial types (PairTable12Varint then rejects
  // more than the first-bytes test).
  bool column1Varint_ = false;
  // Columns 1 to prefixColumns_ (8 to kMaskColumns) take part in the prefix
  // test.
  std::size_t prefixColumns_ = 8;
  MaskColumnSets sets_;
};

// The parameters of one scan kind (see the note at the top of the file).
struct CarveKind {
  // Tree: the root added first with two children "正常" + word and
  // "删除" + word; tagged with kindCode or untagged; optionally the whole
  // tree cleared first. rootSetUpText, when set, is the root's text while
  // the scan runs (the finish writes word + "(" n ")").
  std::uint8_t kindCode = 0;
  bool taggedTree = true;
  bool clearTreeFirst = false;
  std::string word;
  std::string rootSetUpText;

  // Empties the kind's arrays at the start.
  std::function<void()> onSetUp;

  // Schema: HasTable + ReadCreateText of tableName, or (schemaQuery set) the
  // "sql" column of that query without a table test.
  std::string tableName;
  std::string schemaQuery;
  std::string missingTableText;
  std::string emptySchemaText;
  bool keepDatabaseOpen = false;
  std::function<bool(TSQLiteDatabase&, CarveRun&)> afterTableFound;

  // Column descriptors.
  int bodyCut = 1;           // trailing characters cut from the CREATE body
  bool blobKind = true;      // "blob" declared types give Kind "b"
  std::vector<std::string> keyNames;      // in the kind's key order
  std::vector<std::string> requiredKeys;  // key names whose column is Required
  bool requireDefaultColumns = false;     // definitions containing "default"
  std::function<void(ATableField& columns, std::vector<int>& keys)> adjustColumns;

  // Candidate test and decode.
  int textBoundFactor = 1;
  HeaderTest headerTest = HeaderTest::Varint;
  bool decodeBlobs = true;
  std::function<void(CarvedRecord&, CarveRun&)> beforeChecks;
  std::function<CheckResult(const CarvedRecord&, CarveRun&)> check;
  std::function<void(CarveRun&, std::size_t pageEnd)> scanPage;

  // Per hit.
  std::function<void(const CarvedRecord&, bool live, CarveRun&)> onHit;
  bool countHits = true;
  std::string statusText;  // "找到 " n statusText d "条删除"
  std::string logText;     // "扫描完成,共找到 " n logText d "条删除"
  bool statusAtFinish = false;

  // After the walk and at the finish.
  std::function<void(CarveRun&)> afterWalk;
  std::function<void(CarveRun&)> onAbort;
  std::function<void(CarveRun&)> beforeFinishUi;
  std::function<void(CarveRun&)> afterFinishUi;
};

// The working state of one run, handed to the kind's hooks.
class CarveRun {
 public:
  CarveRun(ScanView& view, const CarveKind& kind);
  ~CarveRun();
  CarveRun(const CarveRun&) = delete;
  CarveRun& operator=(const CarveRun&) = delete;

  ScanView& view;
  const CarveKind& kind;
  // Pages 1..pageCount of the file, held window by window (see the note at
  // the top of the file); run.image.Total() is pageSize * pageCount.
  CarveImage image;
  std::uint32_t pageSize = 0;
  std::uint64_t pageCount = 0;
  std::vector<int> keys;                // column index per key name, 0 when absent
  FreelistPages freelist;               // read before the walk; their records are deleted
  TSQLiteDatabase* database = nullptr;  // open through the walk with keepDatabaseOpen
  int hits = 0;
  int deleted = 0;
  // Values the kind's check converted from the candidate it passed, for its
  // hit hook, which runs next on the same candidate and takes them instead
  // of converting the columns again (CheckTypeAndYear: kCheckedType and
  // kCheckedDate).
  std::int64_t checked[2] = {};

  // The page being walked: its SQLite page number, its first byte (an
  // offset into image's window), and its cell pointer list (empty unless it
  // is a table leaf page not on the free list).
  std::uint64_t page = 0;
  std::size_t pageStart = 0;
  std::vector<std::uint16_t> cellPointers;
  // The walk position, an offset into image's window (scanPage moves it
  // through the page).
  std::size_t pos = 0;

  bool IsLiveCell(std::size_t at) const;
  // Counts a hit (and a deleted one) and, unless the kind writes its status
  // at the finish, updates status panel 2. The panel is written before the
  // next message pump and at the end of the walk, so the window shows every
  // count it can paint without a status call per hit.
  void CountHit(bool live);
  void WriteCountStatus();
  // Pumps the window's messages when CarvePumpInterval has passed since the
  // last pump. Call it every few thousand candidates.
  void Tick();
  // Pumps now (writing a pending count status first).
  void Pump();
  // Writes the count status when a hit has changed it since the last write.
  void FlushCountStatus();
  // Moves the progress bar to `position`. The walk moves it for every page;
  // the bar is set before the next message pump and at the end of the walk,
  // so the window shows every position it can paint without a call per page.
  void SetProgress(int position);
  // Sets the progress bar when SetProgress has moved it since the last set.
  void FlushProgress();

 private:
  friend void RunCarve(ScanView&, const CarveKind&);
  friend void EndByError(CarveRun&, const char*);
  std::chrono::steady_clock::time_point lastPump_;
  bool statusPending_ = false;
  int progress_ = 0;
  bool progressPending_ = false;
  std::unique_ptr<TSQLiteDatabase> db_;
  // IsLiveCell's answer for every offset of the page, made on its first call
  // for a page with many cells: bit r set when pageStart + r lies 1 to 11
  // bytes after a listed cell start. Made for the page start and the list
  // (address and length) it names.
  void BuildLiveMask() const;
  mutable std::vector<std::uint64_t> liveMask_;
  mutable std::vector<std::size_t> liveMaskWords_;  // the words set, to clear
  mutable std::size_t liveMaskStart_ = static_cast<std::size_t>(-1);
  mutable const std::uint16_t* liveMaskList_ = nullptr;
  mutable std::size_t liveMaskCount_ = 0;
};

// Builds the column descriptors from a CREATE text for `kind` (into
// `columns`, one per comma-separated definition, count = commas + 1) and the
// key indexes. The body is the text after the first "(" without its last
// kind.bodyCut characters.
void BuildTableColumns(const std::string& createText, const CarveKind& kind, ATableField& columns,
                       std::vector<int>& keys, CarveRun* run = nullptr);

// The idle controls: flags True, Start enabled, Stop disabled, Recover
// enabled when the result list holds rows.
void FinishScanUi(ScanView& view);

// Runs one whole scan of the file named by SourceRawPath / SourceDbPath.
// Does nothing while ScanEnabled is False.
void RunCarve(ScanView& view, const CarveKind& kind);

}  // namespace velmora

// ENGINE API READY
