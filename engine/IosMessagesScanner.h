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

// The conversation look-up of the messages scan: the chat identifier of the
// message with a given row id, by the query
//   select [chat_identifier] from [chat]  where [ROWID] = (select [chat_id]
//   from [chat_message_join] where [message_id]=<row id>);
// prepared at its first use and run again for every candidate, the row id
// bound as a parameter. The text is UTF-8 like every text the engine holds.
// Errors of the SQLite layer (a database without table chat, say) leave as
// ESQLiteException.
class ChatIdentifierLookup {
 public:
  explicit ChatIdentifierLookup(TSQLiteDatabase& db);
  ~ChatIdentifierLookup();
  ChatIdentifierLookup(const ChatIdentifierLookup&) = delete;
  ChatIdentifierLookup& operator=(const ChatIdentifierLookup&) = delete;

  // The chat identifier of message `rowid` (empty for a NULL identifier), or
  // "未知" when there is no such conversation.
  std::string ForRowId(std::int64_t rowid);

  // LookupChatIdentifier: the conversation address of the candidate whose
  // column 1 serial type lies at p of image.
  std::string LookupChatIdentifier(std::span<const std::uint8_t> image, std::size_t p);

 private:
  TSQLiteDatabase& db_;
  std::unique_ptr<TSQLitePreparedQuery> query_;
};

// The look-up's statement, with its row id as parameter 1.
inline constexpr const char* kChatIdentifierQuery =
    "select [chat_identifier] from [chat]  where [ROWID] = (select [chat_id] from "
    "[chat_message_join] where [message_id]=?);";

// The type text of a message's type value.
const char* IosMessageTypeText(std::int64_t type);

// The kind's parameters for the carving engine. Each call makes a kind with
// its own look-up state; run it once.
CarveKind IosMessagesKind();

// One whole scan of the file named by SourceRawPath / SourceDbPath into
// SmsRecords and the result list; returns when it has ended (also after Stop,
// a rejected file or an error of a look-up, which keeps the hits so far).
void RunIosMessagesScan(ScanView& view);

}  // namespace velmora
