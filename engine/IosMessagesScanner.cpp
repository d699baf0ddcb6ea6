#include "engine/IosMessagesScanner.h"

#include "engine/MyFuns_.h"
#include "engine/SQLiteTable3.h"

namespace velmora {

std::optional<std::int64_t> ReadRowIdBefore(std::span<const std::uint8_t> image, std::size_t p) {
  constexpr std::size_t kMaxBytes = 4;
  if (p < 3 || p - 3 >= image.size()) return std::nullopt;
  const std::size_t last = p - 3;
  // The varint's first byte follows the nearest byte below 0x80 in front of
  // its last byte.
  std::size_t length = 1;
  while (true) {
    if (last < length) return std::nullopt;  // would start before the image
    if (image[last - length] < 0x80) break;
    if (++length > kMaxBytes) return std::nullopt;
  }
  std::int64_t rowid = 0;
  for (std::size_t i = last + 1 - length; i <= last; ++i) rowid = (rowid << 7) | (image[i] & 0x7F);
  return rowid;
}

ChatIdentifierLookup::ChatIdentifierLookup(TSQLiteDatabase& db) : db_(db) {}
ChatIdentifierLookup::~ChatIdentifierLookup() = default;

std::string ChatIdentifierLookup::ForRowId(std::int64_t rowid) {
  if (!query_) query_ = std::make_unique<TSQLitePreparedQuery>(db_, kChatIdentifierQuery);
  const std::unique_ptr<TSQLiteTable> result = query_->Run(std::vector<std::int64_t>{rowid});
  if (result->RowCount == 0) return kUnknownAddress;
  return result->CellString(result->ColumnIndexOf("chat_identifier"));
}

std::string ChatIdentifierLookup::LookupChatIdentifier(std::span<const std::uint8_t> image,
                                                       std::size_t p) {
  const std::optional<std::int64_t> rowid = ReadRowIdBefore(image, p);
  if (!rowid) return kUnknownAddress;
  return ForRowId(*rowid);
}

}  // namespace velmora

namespace velmora {

namespace {

// Key columns, in key order.
enum Key { kDate = 0, kType = 1, kText = 2 };

// The message time as text: the date column holds seconds since 2001-01-01.
bool MessageTimeText(const CarvedRecord& rec, const CarveRun& run, std::string& text) {
  std::int64_t seconds = 0;
  if (!TryTextToInt64(rec.Text(run.keys[kDate]), seconds)) return false;
  text = CocoaMsToText(SecondsToMs(seconds));
  return true;
}

// The look-up of one run, and the time text the checks made for the
// candidate they passed. The look-up's statement must be finalized before
// the run closes the database, on every way out.
struct MessagesRunState {
  std::unique_ptr<ChatIdentifierLookup> lookup;
  TSQLiteDatabase* database = nullptr;
  std::size_t timeOffset = 0;
  std::string time;
  void Release() {
    lookup.reset();
    database = nullptr;
  }
};

CheckResult CheckMessage(const CarvedRecord& rec, CarveRun& run, MessagesRunState& st) {
  const std::string type = rec.Text(run.keys[kType]);
  if (type.empty() || type == "NULL") return CheckResult::Miss;
  std::int64_t value = 0;
  if (!TryTextToInt64(type, value)) return CheckResult::Skip;
  if (value > 9) return CheckResult::Miss;
  std::string time;
  if (!MessageTimeText(rec, run, time)) return CheckResult::Skip;
  std::int64_t year = 0;
  if (!TryYearOfTimeText(time, year)) return CheckResult::Skip;
  if (year < 1979 || year > 2099) return CheckResult::Miss;
  st.timeOffset = rec.Offset();
  st.time = std::move(time);
  return CheckResult::Pass;
}

void AddMessage(const CarvedRecord& rec, bool live, CarveRun& run, MessagesRunState& st) {
  std::string time;
  if (st.timeOffset == rec.Offset()) {
    time = std::move(st.time);
  } else {
    MessageTimeText(rec, run, time);
  }
  std::int64_t typeValue = 0;
  TryTextToInt64(rec.Text(run.keys[kType]), typeValue);
  const char* type = IosMessageTypeText(typeValue);
  const std::string& address = rec.Column0Text();
  std::string body = rec.Text(run.keys[kText]);
  run.view.ResultListAddRow({address, time, type, StatusWord(!live), body});
  // Hit n goes to index n.
  SmsRecords.resize(static_cast<std::size_t>(run.hits) + 1);
  PSMSvalue& m = SmsRecords.back();
  m.TypeText = type;
  m.Deleted = !live;
  m.Address = address;
  m.DateText = std::move(time);
  m.Body = std::move(body);
}

}  // namespace

const char* IosMessageTypeText(std::int64_t type) {
  switch (type) {
    case 0: return "接收";
    case 1: return "发送";
    case 2: return "草稿";
    default: return "其它";
  }
}

CarveKind IosMessagesKind() {
  auto state = std::make_shared<MessagesRunState>();
  CarveKind k;
  k.kindCode = kKindMessages;
  k.taggedTree = true;
  k.word = "短信";
  k.onSetUp = [] { SmsRecords.clear(); };
  k.tableName = "message";
  k.missingTableText = "没有找短信记录，扫描结束！";
  k.emptySchemaText = "没有找到短信记录，扫描结束！";
  k.keepDatabaseOpen = true;
  k.bodyCut = 2;
  k.blobKind = true;
  k.keyNames = {"date", "type", "text"};
  k.requiredKeys = {"date", "type"};
  k.textBoundFactor = 2;
  k.headerTest = HeaderTest::VarintEach;
  // The conversation look-up runs for every candidate whose serial types
  // have been read, before the checks; its text is column 0's value.
  k.beforeChecks = [state](CarvedRecord& rec, CarveRun& run) {
    if (!run.database) return;
    if (state->database != run.database) {
      // One read transaction for all the look-ups of the walk: the file is
      // locked and checked once, not once per candidate.
      run.database->RunStatement("BEGIN");
      state->lookup = std::make_unique<ChatIdentifierLookup>(*run.database);
      state->database = run.database;
    }
    try {
      rec.SetColumn0Text(state->lookup->LookupChatIdentifier(run.image, rec.Offset()));
    } catch (...) {
      state->Release();  // the run closes the database next
      throw;
    }
  };
  k.check = [state](const CarvedRecord& rec, CarveRun& run) { return CheckMessage(rec, run, *state); };
  k.onHit = [state](const CarvedRecord& rec, bool live, CarveRun& run) {
    AddMessage(rec, live, run, *state);
  };
  k.statusText = " 条短信, ";
  k.logText = " 条短信, 其中有";
  k.afterWalk = [state](CarveRun&) { state->Release(); };
  k.beforeFinishUi = [state](CarveRun&) { state->Release(); };
  k.onAbort = [state](CarveRun&) { state->Release(); };
  return k;
}

void RunIosMessagesScan(ScanView& view) {
  const CarveKind kind = IosMessagesKind();
  RunCarve(view, kind);
}

}  // namespace velmora
