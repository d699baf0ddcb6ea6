// The iOS messages scanner: carves the rows of table "message" of an iPhone's
// sms.db out of the raw file, live and deleted, into SmsRecords, and asks the
// same database for the chat identifier of every carved message's
// conversation. The database stays open through the walk for those look-ups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/CarvingEngine.h"
#include "engine/ScanView.h"

namespace velmora {

class TSQLiteDatabase;
class TSQLitePreparedQuery;

// The address of a message whose conversation is not found.
inline constexpr const char* kUnknownAddress = "未知";

// The row id of the record whose column 1 serial type lies at p: the record
// header is taken to hold a one-byte header length at p - 2 and column 0's
// serial type at p - 1, so the row id varint ends at p - 3 and is read
// backwards from there, one to four bytes. None when it would have five
// bytes or more, or would start before the image.
std::optional<std::int64_t> ReadRowIdBefore(std::span<const std::uint8_t> image, std::size_t p);

// The conversation look-up as one statement per row id:
//   select [chat_identifier] from [chat]  where [ROWID] = (select [chat_id]
//   from [chat_message_join] where [message_id]=<row id>);
// prepared at its first use and run again for every row id, the row id bound
// as a parameter; the address is the first row's chat_identifier as the
// SQLite layer gives it. Its cost is a query per candidate; the scan uses it
// only where ChatIdentifierLookup cannot answer from its map. Errors of the
// SQLite layer (a database without table chat, say) leave as
// ESQLiteException.
class ChatIdentifierStatement {
 public:
  explicit ChatIdentifierStatement(TSQLiteDatabase& db);
  ~ChatIdentifierStatement();
  ChatIdentifierStatement(const ChatIdentifierStatement&) = delete;
  ChatIdentifierStatement& operator=(const ChatIdentifierStatement&) = delete;

  // The chat identifier of message `rowid` (empty for a NULL identifier), or
  // "未知" when the query gives no row.
  std::string ForRowId(std::int64_t rowid);

 private:
  TSQLiteDatabase& db_;
  std::unique_ptr<TSQLitePreparedQuery> query_;
};

// The conversation look-up of the messages scan: for every row id the
// address ChatIdentifierStatement gives, from one query per scan.
//
// The statement takes the first row of chat_message_join whose message_id
// equals the row id, in the order in which SQLite's plan for it visits the
// table (an index on message_id, a scan of the table or of a covering
// index), and looks up that row's chat_id only: a later row of the same
// message is never used, also when the first one's chat is gone. At its
// first use the look-up asks SQLite for that plan, reads every row of
// chat_message_join once in the order of the plan's index (or row id), each
// joined to its chat, and keeps for every row id the address of the first
// row that SQLite itself finds equal to it. The comparisons (a text, a real
// or a NULL message_id, a chat_id of any type against the chat's row id) are
// SQLite's own, made in the same query. Where the plan is not one of those
// (a chat without an integer row id, a table without row ids, an index on
// an expression), or the read fails, it runs the statement per row id.
class ChatIdentifierLookup {
 public:
  explicit ChatIdentifierLookup(TSQLiteDatabase& db);
  ~ChatIdentifierLookup();
  ChatIdentifierLookup(const ChatIdentifierLookup&) = delete;
  ChatIdentifierLookup& operator=(const ChatIdentifierLookup&) = delete;

  // The chat identifier of message `rowid` (empty for a NULL identifier), or
  // "未知" when there is no such conversation. The text stays valid until the
  // next call.
  const std::string& ForRowId(std::int64_t rowid);

  // LookupChatIdentifier: the conversation address of the candidate whose
  // column 1 serial type lies at p of image (valid until the next call).
  const std::string& LookupChatIdentifier(std::span<const std::uint8_t> image, std::size_t p);

  // True when the answers come from the map (known after the first ForRowId).
  bool UsesMap() const { return mode_ == Mode::Map; }

 private:
  enum class Mode { Undecided, Map, Statement };
  void Decide();
  bool LoadMap();

  TSQLiteDatabase& db_;
  Mode mode_ = Mode::Undecided;
  // Row ids in ascending order, each with its address's index in addresses_
  // (address 0 is "未知"); or, when the row ids lie close together, the
  // address index of every row id from directLow_ on in direct_.
  std::vector<std::pair<std::int64_t, std::uint32_t>> rowIds_;
  static constexpr std::uint32_t kNoAddress = 0;
  std::vector<std::uint32_t> direct_;
  std::int64_t directLow_ = 0;
  std::vector<std::string> addresses_;
  std::string answer_;  // the statement's last answer
  std::unique_ptr<ChatIdentifierStatement> statement_;
};

// The look-up's statement, with its row id as parameter 1.
inline constexpr const char* kChatIdentifierQuery =
    "select [chat_identifier] from [chat]  where [ROWID] = (select [chat_id] from "
    "[chat_message_join] where [message_id]=?);";

// The type text of a message's type value.
std::string_view IosMessageTypeText(std::int64_t type);

// The kind's parameters for the carving engine. Each call makes a kind with
// its own look-up state; run it once.
CarveKind IosMessagesKind();

// One whole scan of the file named by SourceRawPath / SourceDbPath into
// SmsRecords and the result list; returns when it has ended (also after Stop,
// a rejected file or an error of a look-up, which keeps the hits so far).
void RunIosMessagesScan(ScanView& view);

}  // namespace velmora
