#include "engine/IosMessagesScanner.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "engine/MyFuns_.h"
#include "engine/ResultRows.h"
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

ChatIdentifierStatement::ChatIdentifierStatement(TSQLiteDatabase& db) : db_(db) {}
ChatIdentifierStatement::~ChatIdentifierStatement() = default;

std::string ChatIdentifierStatement::ForRowId(std::int64_t rowid) {
  if (!query_) query_ = std::make_unique<TSQLitePreparedQuery>(db_, kChatIdentifierQuery);
  const std::unique_ptr<TSQLiteTable> result = query_->Run(std::vector<std::int64_t>{rowid});
  if (result->RowCount == 0) return kUnknownAddress;
  return result->CellString(result->ColumnIndexOf("chat_identifier"));
}

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// An SQL identifier in double quotes.
std::string Quoted(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

// How SQLite's plan of the look-up statement visits chat_message_join: in
// row id order, or in the order of one index (a search for the row id only
// visits a stretch of it). None for any other plan.
struct JoinVisitOrder {
  bool byRowId = true;
  std::string index;
};

std::optional<JoinVisitOrder> PlanOfLookup(TSQLiteDatabase& db) {
  const std::unique_ptr<TSQLiteTable> plan =
      db.QueryAllRows(std::string("EXPLAIN QUERY PLAN ") + kChatIdentifierQuery);
  if (plan->RowCount == 0) return std::nullopt;
  const int detail = plan->ColumnIndexOf("detail");
  bool chatByRowId = false;
  std::optional<JoinVisitOrder> order;
  int joinLines = 0;
  for (; !plan->AtEnd(); plan->MoveNext()) {
    const std::string line = plan->CellString(detail);
    const std::size_t verbEnd = line.find(' ');
    const std::string_view verb = std::string_view(line).substr(0, verbEnd);
    if (verb == "SCALAR") continue;  // SCALAR SUBQUERY n
    if (verbEnd == std::string::npos || (verb != "SCAN" && verb != "SEARCH")) return std::nullopt;
    const std::size_t nameEnd = line.find(' ', verbEnd + 1);
    const std::string_view table =
        std::string_view(line).substr(verbEnd + 1, nameEnd == std::string::npos
                                                       ? std::string::npos
                                                       : nameEnd - verbEnd - 1);
    const std::string_view rest =
        nameEnd == std::string::npos ? std::string_view() : std::string_view(line).substr(nameEnd + 1);
    if (EqualsIgnoringCase(table, "chat")) {
      // One row at most: the chat's own integer row id.
      if (verb != "SEARCH" || rest != "USING INTEGER PRIMARY KEY (rowid=?)") return std::nullopt;
      chatByRowId = true;
    } else if (EqualsIgnoringCase(table, "chat_message_join")) {
      ++joinLines;
      if (rest.empty() && verb == "SCAN") {
        order = JoinVisitOrder{};
      } else if (rest == "USING INTEGER PRIMARY KEY (rowid=?)") {
        order = JoinVisitOrder{};  // message_id is the row id: one row at most
      } else {
        std::string_view name;
        for (std::string_view using_ : {"USING INDEX ", "USING COVERING INDEX "}) {
          if (StartsWith(rest, using_)) name = rest.substr(using_.size());
        }
        if (name.empty()) return std::nullopt;
        if (verb == "SEARCH") {
          const std::size_t open = name.rfind(" (");
          if (open == std::string_view::npos) return std::nullopt;
          name = name.substr(0, open);
        }
        order = JoinVisitOrder{false, std::string(name)};
      }
    } else {
      return std::nullopt;
    }
  }
  if (!chatByRowId || joinLines != 1) return std::nullopt;
  return order;
}

// The rows of a one-pass result's column, as texts.
std::vector<std::string> ColumnTexts(TSQLiteTable& table, const std::string& column) {
  std::vector<std::string> texts;
  if (table.RowCount == 0) return texts;
  const int c = table.ColumnIndexOf(column);
  for (; !table.AtEnd(); table.MoveNext()) texts.push_back(table.CellString(c));
  return texts;
}

// The ORDER BY terms that list chat_message_join (as j) in the plan's visit
// order; none when that order cannot be written so.
std::optional<std::string> VisitOrderTerms(TSQLiteDatabase& db, const JoinVisitOrder& order) {
  // An ordinary table with row ids, whose row id has a name no column takes.
  const std::unique_ptr<TSQLiteTable> list = db.QueryAllRows("PRAGMA table_list(chat_message_join)");
  if (list->RowCount != 1 || list->CellString(list->ColumnIndexOf("type")) != "table" ||
      list->CellString(list->ColumnIndexOf("wr")) != "0") {
    return std::nullopt;
  }
  const std::unique_ptr<TSQLiteTable> columns = db.QueryAllRows("PRAGMA table_xinfo(chat_message_join)");
  const std::vector<std::string> names = ColumnTexts(*columns, "name");
  std::string rowId;
  for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
    if (std::none_of(names.begin(), names.end(),
                     [&](const std::string& n) { return EqualsIgnoringCase(n, candidate); })) {
      rowId = std::string("j.") + candidate;
      break;
    }
  }
  if (rowId.empty()) return std::nullopt;
  if (order.byRowId) return rowId;
  // Index entries are ordered by their columns, each under its collation and
  // direction, then by the row id.
  const std::unique_ptr<TSQLiteTable> info =
      db.QueryAllRows("PRAGMA index_xinfo(" + Quoted(order.index) + ")");
  if (info->RowCount == 0) return std::nullopt;
  const int cid = info->ColumnIndexOf("cid");
  const int name = info->ColumnIndexOf("name");
  const int desc = info->ColumnIndexOf("desc");
  const int coll = info->ColumnIndexOf("coll");
  std::string terms;
  for (; !info->AtEnd(); info->MoveNext()) {
    if (!terms.empty()) terms += ", ";
    const std::int64_t column = info->CellInt64(cid);
    if (column == -1) {
      terms += rowId;
    } else if (column >= 0) {
      terms += "j." + Quoted(info->CellString(name)) + " COLLATE " + Quoted(info->CellString(coll));
    } else {
      return std::nullopt;  // an expression
    }
    if (info->CellInt64(desc) != 0) terms += " DESC";
  }
  return terms;
}

}  // namespace

ChatIdentifierLookup::ChatIdentifierLookup(TSQLiteDatabase& db) : db_(db) {}
ChatIdentifierLookup::~ChatIdentifierLookup() = default;

bool ChatIdentifierLookup::LoadMap() {
  const std::optional<JoinVisitOrder> order = PlanOfLookup(db_);
  if (!order) return false;
  const std::optional<std::string> terms = VisitOrderTerms(db_, *order);
  if (!terms) return false;
  // Every row of chat_message_join in the plan's order, with the row id its
  // message_id would be bound as (the integer it converts to), whether
  // SQLite finds the two equal under the column's affinity and collation as
  // the statement's comparison does, and its chat by the statement's own
  // row id comparison (row id NULL: no chat).
  const std::string sql =
      "SELECT (CAST(j.[message_id] AS INTEGER) + 0), "
      "(j.[message_id] = (CAST(j.[message_id] AS INTEGER) + 0)), c.[ROWID], "
      "c.[chat_identifier] FROM [chat_message_join] AS j LEFT JOIN [chat] AS c ON "
      "c.[ROWID] = j.[chat_id] ORDER BY " +
      *terms;
  rowIds_.clear();
  direct_.clear();
  addresses_.clear();
  addresses_.emplace_back(kUnknownAddress);
  // Room for every row at once (counting is cheap: SQLite counts the cells
  // of the smallest b-tree of the table).
  std::int64_t rows = 0;
  db_.ForEachRow("SELECT count(*) FROM [chat_message_join]",
                 [&](const TSQLiteRow& row) { rows = row.Int64(0); });
  if (rows > 0) rowIds_.reserve(static_cast<std::size_t>(rows));
  // The address of each chat row id met: small row ids in a table indexed
  // by the id (chats count up from 1), others in a hash map.
  constexpr std::int64_t kDirectChats = 1 << 16;
  std::vector<std::uint32_t> chatAddress;  // index chat row id, value address + 1
  std::unordered_map<std::int64_t, std::uint32_t> otherChats;
  auto addressOfChat = [&](std::int64_t chat, const TSQLiteRow& row) {
    std::uint32_t* known = nullptr;
    if (chat >= 0 && chat < kDirectChats) {
      if (static_cast<std::size_t>(chat) >= chatAddress.size())
        chatAddress.resize(std::max(static_cast<std::size_t>(chat) + 1, 2 * chatAddress.size()), 0);
      known = &chatAddress[static_cast<std::size_t>(chat)];
    } else {
      known = &otherChats[chat];
    }
    if (*known == 0) {
      addresses_.push_back(row.CellString(3));
      *known = static_cast<std::uint32_t>(addresses_.size());
    }
    return *known - 1;
  };
  db_.ForEachRow(sql, [&](const TSQLiteRow& row) {
    if (row.StorageClass(1) != kColumnInteger || row.Int64(1) != 1) return;
    // "未知" (address 0) when the row's chat is gone.
    const std::uint32_t address = row.StorageClass(2) == kColumnNull ? 0 : addressOfChat(row.Int64(2), row);
    rowIds_.emplace_back(row.Int64(0), address);
  });
  // The first row of each row id in the plan's order is its answer. The
  // rows mostly come in row id order already (the plan's index is on
  // message_id).
  auto byRowId = [](const auto& a, const auto& b) { return a.first < b.first; };
  if (!std::is_sorted(rowIds_.begin(), rowIds_.end(), byRowId))
    std::stable_sort(rowIds_.begin(), rowIds_.end(), byRowId);
  rowIds_.erase(std::unique(rowIds_.begin(), rowIds_.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                rowIds_.end());
  // Row ids that lie close together (they count up from 1) are answered
  // from a table indexed by the row id.
  if (!rowIds_.empty()) {
    const std::int64_t low = rowIds_.front().first, high = rowIds_.back().first;
    const auto count = static_cast<std::uint64_t>(rowIds_.size());
    if (static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low) < 2 * count + 4096) {
      directLow_ = low;
      direct_.assign(static_cast<std::size_t>(static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low)) + 1,
                     kNoAddress);
      for (const auto& [rowid, address] : rowIds_)
        direct_[static_cast<std::size_t>(static_cast<std::uint64_t>(rowid) - static_cast<std::uint64_t>(low))] = address;
      rowIds_.clear();
    }
  }
  rowIds_.shrink_to_fit();
  return true;
}

void ChatIdentifierLookup::Decide() {
  bool loaded = false;
  try {
    loaded = LoadMap();
  } catch (const ESQLiteException&) {
    // The statement meets the same fault and reports it as the scan expects.
    loaded = false;
  }
  if (loaded) {
    mode_ = Mode::Map;
  } else {
    rowIds_.clear();
    direct_.clear();
    addresses_.clear();
    mode_ = Mode::Statement;
    statement_ = std::make_unique<ChatIdentifierStatement>(db_);
  }
}

const std::string& ChatIdentifierLookup::ForRowId(std::int64_t rowid) {
  if (mode_ == Mode::Undecided) Decide();
  if (mode_ == Mode::Statement) {
    answer_ = statement_->ForRowId(rowid);
    return answer_;
  }
  if (!direct_.empty()) {
    // Unsigned: a row id below the least one lands past the end.
    const std::uint64_t i = static_cast<std::uint64_t>(rowid) - static_cast<std::uint64_t>(directLow_);
    if (i >= direct_.size() || direct_[i] == kNoAddress) return addresses_[0];
    return addresses_[direct_[i]];
  }
  const auto at = std::lower_bound(rowIds_.begin(), rowIds_.end(), rowid,
                                   [](const auto& entry, std::int64_t id) { return entry.first < id; });
  if (at == rowIds_.end() || at->first != rowid) return addresses_[0];
  return addresses_[at->second];
}

const std::string& ChatIdentifierLookup::LookupChatIdentifier(std::span<const std::uint8_t> image,
                                                              std::size_t p) {
  const std::optional<std::int64_t> rowid = ReadRowIdBefore(image, p);
  if (!rowid) {
    answer_ = kUnknownAddress;
    return answer_;
  }
  return ForRowId(*rowid);
}

}  // namespace velmora

namespace velmora {

namespace {

// Key columns, in key order.
enum Key { kDate = 0, kType = 1, kText = 2 };

// The look-up of one run. Its statement must be finalized before the run
// closes the database, on every way out.
struct MessagesRunState {
  std::unique_ptr<ChatIdentifierLookup> lookup;
  TSQLiteDatabase* database = nullptr;
  void Release() {
    lookup.reset();
    database = nullptr;
  }
};

// The checks: a type of at most 9, and a time (the date column holds
// seconds since 2001-01-01) whose text starts with a year from 1979 to 2099.
CheckResult CheckMessage(const CarvedRecord& rec, CarveRun& run) {
  static constexpr TypeAndYearCheck kCheck{kType, 9, kDate, TimeBase::Cocoa, true, 1979, 2099};
  return CheckTypeAndYear(rec, run, kCheck);
}

void AddMessage(const CarvedRecord& rec, bool live, CarveRun& run) {
  const std::int64_t seconds = run.checked[kCheckedDate];
  const std::int64_t typeValue = run.checked[kCheckedType];
  // Hit n goes to index n.
  const auto n = static_cast<std::size_t>(run.hits);
  ResultPut(SmsRecords, n, [&] {
    return PSMSvalue{.Address = SmsRecords.Keep(rec.Column0Text()),
                     .DateText = RecordTime::Cocoa(SecondsToMs(seconds)),
                     .TypeText = RecordText::Constant(IosMessageTypeText(typeValue)),
                     .Body = KeepText(SmsRecords, rec, run.keys[kText]),
                     .Deleted = !live};
  });
  run.view.ResultListAddRecord(kKindMessages, n);
}

}  // namespace

std::string_view IosMessageTypeText(std::int64_t type) {
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
  k.check = CheckMessage;
  k.onHit = AddMessage;
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
