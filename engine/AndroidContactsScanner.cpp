#include "engine/AndroidContactsScanner.h"

#include <chrono>
#include <cstdint>
#include <limits>
#include <unordered_map>

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

std::string AsciiLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool TryInt32(std::string_view text, std::int32_t& value) {
  std::int64_t v = 0;
  if (!TryTextToInt64(text, v)) return false;
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

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

CheckResult CheckDataRow(const CarvedRecord& rec, CarveRun& run) {
  const int mimeColumn = run.keys[kMimeTypeId];
  const int rawColumn = run.keys[kRawContactId];
  if (rec.IsNullOrEmpty(mimeColumn) || rec.IsNullOrEmpty(rawColumn)) return CheckResult::Miss;
  std::string scratch;
  const std::string_view mimeText = rec.TextView(mimeColumn, scratch);
  if (mimeText == "0") return CheckResult::Miss;
  std::int32_t mimeTypeId = 0;
  if (!TryInt32(mimeText, mimeTypeId)) return CheckResult::Skip;
  if (mimeTypeId > 11) return CheckResult::Miss;
  std::int32_t rawContactId = 0;
  if (!TryInt32(rec.TextView(rawColumn, scratch), rawContactId)) return CheckResult::Skip;
  return CheckResult::Pass;
}

// A kept row: nothing is shown for it.
void KeepDataRow(const CarvedRecord& rec, bool live, CarveRun& run) {
  PAlltelvalue& row = ContactDataRows.emplace_back();
  std::string scratch;
  TryInt32(rec.TextView(run.keys[kMimeTypeId], scratch), row.MimeTypeId);
  TryInt32(rec.TextView(run.keys[kRawContactId], scratch), row.RawContactId);
  row.Data1 = KeepText(ContactDataRows, rec, run.keys[kData1]);
  row.Deleted = !live;
}

// Pairs each phone row, in array order, with the first name row of its raw
// contact. The count status follows every phone row; it is written before
// each message pump and at the end.
void JoinContacts(CarveRun& run) {
  run.hits = 0;
  run.deleted = 0;
  std::unordered_map<std::int32_t, std::size_t> firstName;
  for (std::size_t i = 0; i < ContactDataRows.size(); ++i) {
    const PAlltelvalue& row = ContactDataRows[i];
    if (row.MimeTypeId == NameMimeTypeId) firstName.emplace(row.RawContactId, i);
  }
  bool statusPending = false;
  auto writeStatus = [&] {
    run.WriteCountStatus();
    statusPending = false;
  };
  auto lastPump = std::chrono::steady_clock::now();
  for (const PAlltelvalue& phone : ContactDataRows) {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPump >= CarvePumpInterval) {
      if (statusPending) writeStatus();
      run.Pump();
      lastPump = now;
    }
    if (phone.MimeTypeId != PhoneMimeTypeId) continue;
    const auto found = firstName.find(phone.RawContactId);
    if (found != firstName.end()) {
      const PAlltelvalue& name = ContactDataRows[found->second];
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
