#include "engine/AndroidContactsScanner.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "engine/AndroidTemporaryCopy.h"
#include "engine/ResultRows.h"
#include "engine/SQLiteTable3.h"

namespace velmora {

std::uint8_t NameMimeTypeId = 0;
std::uint8_t PhoneMimeTypeId = 0;

namespace {

// Key columns, in key order.
enum Key { kRawContactId = 0, kMimeTypeId = 1, kData1 = 2 };

constexpr const char* kNameMimeType = "vnd.android.cursor.item/name";
constexpr const char* kPhoneMimeType = "vnd.android.cursor.item/phone_v2";

// The first name row of each raw contact id, filled in row order so that the
// first row of an id stays. Row numbers are 32-bit (`Row`), 64-bit for an
// array past four billion rows. Ids that lie close together (raw contact ids
// usually count up from 1) are kept in a table indexed by the id itself; any
// others in an open-addressing table of (id, row). The direct table is the
// smaller of the two for such ids and is read in the order the rows come.
template <typename Row>
class FirstRowOfId {
 public:
  // ids: the number of rows to be added; low and high: the least and the
  // greatest of their ids.
  FirstRowOfId(std::size_t ids, std::int32_t low, std::int32_t high) {
    const std::uint64_t span =
        ids == 0 ? 0 : static_cast<std::uint64_t>(std::int64_t{high} - std::int64_t{low}) + 1;
    if (ids > 0 && span <= 2 * static_cast<std::uint64_t>(ids) + 1024) {
      low_ = low;
      direct_.assign(static_cast<std::size_t>(span), Row{0});
      return;
    }
    std::size_t capacity = 16;
    while (capacity < ids + ids / 2) capacity <<= 1;
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
  }
  void Add(std::int32_t id, std::size_t row) {
    if (!direct_.empty()) {
      Row& at = direct_[Index(id)];  // every added id lies in the range
      if (at == 0) at = static_cast<Row>(row + 1);
      return;
    }
    for (std::size_t i = Home(id);; i = (i + 1) & mask_) {
      if (slots_[i].rowPlusOne == 0) {
        slots_[i] = {id, static_cast<Row>(row + 1)};
        return;
      }
      if (slots_[i].id == id) return;
    }
  }
  // Brings the entry of `id` into the cache ahead of its Find.
  void Prefetch(std::int32_t id) const {
    if (!direct_.empty()) {
      if (Index(id) < direct_.size()) __builtin_prefetch(&direct_[Index(id)]);
      return;
    }
    if (!slots_.empty()) __builtin_prefetch(&slots_[Home(id)]);
  }
  // The row of `id`, or false.
  bool Find(std::int32_t id, std::size_t& row) const {
    if (!direct_.empty()) {
      const std::size_t i = Index(id);
      if (i >= direct_.size() || direct_[i] == 0) return false;
      row = static_cast<std::size_t>(direct_[i] - 1);
      return true;
    }
    if (slots_.empty()) return false;
    for (std::size_t i = Home(id);; i = (i + 1) & mask_) {
      if (slots_[i].rowPlusOne == 0) return false;
      if (slots_[i].id == id) {
        row = static_cast<std::size_t>(slots_[i].rowPlusOne - 1);
        return true;
      }
    }
  }

 private:
  struct Slot {
    std::int32_t id = 0;
    Row rowPlusOne = 0;  // 0: empty
  };
  // The direct table's index of `id`; past its end for an id below low_.
  std::size_t Index(std::int32_t id) const {
    return static_cast<std::size_t>(static_cast<std::uint32_t>(id) - static_cast<std::uint32_t>(low_));
  }
  std::size_t Home(std::int32_t id) const {
    return static_cast<std::size_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(id)) *
                                     0x9E3779B97F4A7C15ull) >> 32) & mask_;
  }
  std::vector<Row> direct_;  // index id - low_, value row + 1 (0: none)
  std::int32_t low_ = 0;
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

std::string AsciiLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool TryInt32(std::int64_t v, std::int32_t& value) {
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

bool TryInt32(std::string_view text, std::int32_t& value) {
  std::int64_t v = 0;
  return TryTextToInt64(text, v) && TryInt32(v, value);
}

// TryInt32 of a column's text, without the text of an integer.
bool TryInt32(const CarvedRecord& rec, int column, std::int32_t& value) {
  std::int64_t v = 0;
  return rec.TryInt64(column, v) && TryInt32(v, value);
}

// Serial types 1-6, 8 and 9: a stored integer.
bool IsIntegerSerialType(std::uint64_t st) { return (st >= 1 && st <= 6) || st == 8 || st == 9; }

// The mime-type ids by the position of their rows. A later equal row wins.
bool ReadMimeTypes(TSQLiteDatabase& db, CarveRun&) {
  NameMimeTypeId = 0;
  PhoneMimeTypeId = 0;
  const std::unique_ptr<TSQLiteTable> table = db.QueryAllRows("select * from mimetypes");
  unsigned position = 0;
  while (!table->AtEnd()) {
    const std::string mimeType = AsciiLower(table->CellString(table->ColumnIndexOf("mimetype")));
    if (mimeType == kNameMimeType) NameMimeTypeId = static_cast<std::uint8_t>(position + 1);
    if (mimeType == kPhoneMimeType) PhoneMimeTypeId = static_cast<std::uint8_t>(position + 1);
    ++position;
    table->MoveNext();
  }
  return NameMimeTypeId != 0 && PhoneMimeTypeId != 0;
}

// The ids a passed row's checks read, kept in run.checked for its kept row.
enum CheckedId { kCheckedMimeTypeId = 0, kCheckedRawContactId = 1 };

CheckResult CheckDataRow(const CarvedRecord& rec, CarveRun& run) {
  const int mimeColumn = run.keys[kMimeTypeId];
  const int rawColumn = run.keys[kRawContactId];
  if (rec.IsNullOrEmpty(mimeColumn) || rec.IsNullOrEmpty(rawColumn)) return CheckResult::Miss;
  std::int32_t mimeTypeId = 0;
  if (IsIntegerSerialType(rec.SerialType(mimeColumn))) {
    // Its text is "0" exactly when its value is 0.
    std::int64_t value = 0;
    rec.TryInt64(mimeColumn, value);
    if (value == 0) return CheckResult::Miss;
    if (!TryInt32(value, mimeTypeId)) return CheckResult::Skip;
  } else {
    std::string scratch;
    const std::string_view mimeText = rec.TextView(mimeColumn, scratch);
    if (mimeText == "0") return CheckResult::Miss;
    if (!TryInt32(mimeText, mimeTypeId)) return CheckResult::Skip;
  }
  if (mimeTypeId > 11) return CheckResult::Miss;
  std::int32_t rawContactId = 0;
  if (!TryInt32(rec, rawColumn, rawContactId)) return CheckResult::Skip;
  run.checked[kCheckedMimeTypeId] = mimeTypeId;
  run.checked[kCheckedRawContactId] = rawContactId;
  return CheckResult::Pass;
}

// A kept row: nothing is shown for it.
void KeepDataRow(const CarvedRecord& rec, bool live, CarveRun& run) {
  PAlltelvalue& row = ContactDataRows.emplace_back();
  row.MimeTypeId = static_cast<std::int32_t>(run.checked[kCheckedMimeTypeId]);
  row.RawContactId = static_cast<std::int32_t>(run.checked[kCheckedRawContactId]);
  row.Data1 = KeepText(ContactDataRows, rec, run.keys[kData1]);
  row.Deleted = !live;
}

// Pairs each phone row, in array order, with the first name row of its raw
// contact. The count status follows every phone row; it is written before
// each message pump and at the end.
template <typename Row>
void JoinContactsWith(CarveRun& run) {
  run.hits = 0;
  run.deleted = 0;
  const std::size_t rows = ContactDataRows.size();
  // Slots are looked up this many rows ahead of their use, so that the
  // table's cache misses overlap.
  constexpr std::size_t kAhead = 16;
  std::size_t names = 0;
  std::int32_t low = std::numeric_limits<std::int32_t>::max();
  std::int32_t high = std::numeric_limits<std::int32_t>::min();
  for (const PAlltelvalue& row : ContactDataRows) {
    if (row.MimeTypeId != NameMimeTypeId) continue;
    ++names;
    low = std::min(low, row.RawContactId);
    high = std::max(high, row.RawContactId);
  }
  FirstRowOfId<Row> firstName(names, low, high);
  for (std::size_t i = 0; i < rows; ++i) {
    if (i + kAhead < rows) firstName.Prefetch(ContactDataRows[i + kAhead].RawContactId);
    const PAlltelvalue& row = ContactDataRows[i];
    if (row.MimeTypeId == NameMimeTypeId) firstName.Add(row.RawContactId, i);
  }
  bool statusPending = false;
  auto writeStatus = [&] {
    run.WriteCountStatus();
    statusPending = false;
  };
  auto lastPump = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < rows; ++i) {
    if (i % 256 == 0) {
      const auto now = std::chrono::steady_clock::now();
      if (now - lastPump >= CarvePumpInterval) {
        if (statusPending) writeStatus();
        run.Pump();
        lastPump = now;
      }
    }
    if (i + kAhead < rows) firstName.Prefetch(ContactDataRows[i + kAhead].RawContactId);
    const PAlltelvalue& phone = ContactDataRows[i];
    if (phone.MimeTypeId != PhoneMimeTypeId) continue;
    std::size_t nameRow = 0;
    if (firstName.Find(phone.RawContactId, nameRow)) {
      const PAlltelvalue& name = ContactDataRows[nameRow];
      const bool deleted = name.Deleted && phone.Deleted;
      const std::size_t n = static_cast<std::size_t>(run.hits);
      PtelValue& contact = ResultSlot(ContactRecords, n);
      contact.Name = ContactRecords.Keep(name.Data1);
      contact.Phone = ContactRecords.Keep(phone.Data1);
      contact.Deleted = deleted;
      run.view.ResultListAddRecord(kKindContacts, n);
      if (deleted) ++run.deleted;
      ++run.hits;
    }
    statusPending = true;
  }
  if (statusPending) writeStatus();
}

void JoinContacts(CarveRun& run) {
  if (ContactDataRows.size() < UINT32_MAX)
    JoinContactsWith<std::uint32_t>(run);
  else
    JoinContactsWith<std::uint64_t>(run);
}

}  // namespace

CarveKind AndroidContactsKind() {
  CarveKind k;
  k.kindCode = kKindContacts;
  k.taggedTree = false;
  k.clearTreeFirst = true;
  k.word = "通讯录";
  k.onSetUp = [] {
    ContactDataRows.clear();
    NameMimeTypeId = 0;
    PhoneMimeTypeId = 0;
  };
  k.tableName = "data";
  k.missingTableText = "没有找到通讯录，扫描结束！";
  k.emptySchemaText = "没有找到通讯录，扫描结束！";
  k.afterTableFound = ReadMimeTypes;
  k.bodyCut = 2;
  k.blobKind = false;
  k.keyNames = {"raw_contact_id", "mimetype_id", "data1"};
  k.requiredKeys = {};
  k.requireDefaultColumns = true;
  k.headerTest = HeaderTest::SingleByte;
  k.decodeBlobs = false;
  k.check = CheckDataRow;
  k.onHit = KeepDataRow;
  k.countHits = false;
  k.statusText = " 条联系人, ";
  k.logText = " 条联系人, 其中有";
  k.afterWalk = JoinContacts;
  k.afterFinishUi = [](CarveRun&) { DeleteTemporaryCopy("contacts2.db"); };
  return k;
}

void RunAndroidContactsScan(ScanView& view) {
  static const CarveKind kind = AndroidContactsKind();
  RunCarve(view, kind);
}

}  // namespace velmora
