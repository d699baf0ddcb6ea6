// Fixture databases of the iOS messages, WeChat and contacts kinds, built with
// SQLite itself in the table layouts the phones use: the iOS 6 and iOS 10
// sms.db message/chat/chat_message_join tables, WeChat's MM.sqlite Chat_<md5>
// tables, and the AddressBook's full-text content table
// ABPersonFullTextSearch_content.
#pragma once

#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace iosfix {

// A value to bind: NULL, an integer, a text (bound with its full length, so
// NUL bytes stay) or a blob.
struct Blob {
  std::vector<std::uint8_t> bytes;
};
using Val = std::variant<std::nullptr_t, std::int64_t, std::string, Blob>;

// A fresh path under the test's temporary folder.
inline std::string FreshPath(const std::string& name) {
  static int counter = 0;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("velmora-ios-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / (std::to_string(++counter) + "-" + name)).string();
  std::filesystem::remove(path);
  return path;
}

// A plain SQLite connection for building fixtures.
class FixtureDb {
 public:
  explicit FixtureDb(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("open " + path);
    // Deleted rows must keep their bytes on the page, as on a phone.
    Exec("PRAGMA secure_delete=OFF");
  }
  ~FixtureDb() { sqlite3_close(db_); }
  FixtureDb(const FixtureDb&) = delete;
  FixtureDb& operator=(const FixtureDb&) = delete;

  void Exec(const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err ? err : "?";
      sqlite3_free(err);
      throw std::runtime_error(msg + " in " + sql);
    }
  }

  void Run(const std::string& sql, const std::vector<Val>& values) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in " + sql);
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
      const int at = static_cast<int>(i) + 1;
      const Val& v = values[i];
      if (std::holds_alternative<std::nullptr_t>(v)) {
        sqlite3_bind_null(st, at);
      } else if (const auto* n = std::get_if<std::int64_t>(&v)) {
        sqlite3_bind_int64(st, at, *n);
      } else if (const auto* s = std::get_if<std::string>(&v)) {
        sqlite3_bind_text(st, at, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
      } else {
        const auto& b = std::get<Blob>(v).bytes;
        sqlite3_bind_blob(st, at, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
      }
    }
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in " + sql);
  }

 private:
  sqlite3* db_ = nullptr;
};

// ------------------------------------------------------------------ messages

// The message table of iOS 6 (sms.db after the iMessage redesign).
inline constexpr const char* kMessageTableIos6 =
    "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
    "text TEXT, replace INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, "
    "subject TEXT, country TEXT, attributedBody BLOB, version INTEGER DEFAULT 0, type INTEGER "
    "DEFAULT 0, service TEXT, account TEXT, account_guid TEXT, error INTEGER DEFAULT 0, date "
    "INTEGER, date_read INTEGER, date_delivered INTEGER, is_delivered INTEGER DEFAULT 0, "
    "is_finished INTEGER DEFAULT 0, is_emote INTEGER DEFAULT 0, is_from_me INTEGER DEFAULT 0, "
    "is_empty INTEGER DEFAULT 0, is_delayed INTEGER DEFAULT 0, is_auto_reply INTEGER DEFAULT 0, "
    "is_prepared INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0, is_system_message INTEGER DEFAULT "
    "0, is_sent INTEGER DEFAULT 0, has_dd_results INTEGER DEFAULT 0, is_service_message INTEGER "
    "DEFAULT 0, is_forward INTEGER DEFAULT 0, was_downgraded INTEGER DEFAULT 0, is_archive "
    "INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0, cache_roomnames TEXT, "
    "was_data_detected INTEGER DEFAULT 0, was_deduplicated INTEGER DEFAULT 0)";

// The message table of iOS 10 (iOS 8 and 9 columns, then the iOS 10 ones).
inline constexpr const char* kMessageTableIos10 =
    "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
    "text TEXT, replace INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, "
    "subject TEXT, country TEXT, attributedBody BLOB, version INTEGER DEFAULT 0, type INTEGER "
    "DEFAULT 0, service TEXT, account TEXT, account_guid TEXT, error INTEGER DEFAULT 0, date "
    "INTEGER, date_read INTEGER, date_delivered INTEGER, is_delivered INTEGER DEFAULT 0, "
    "is_finished INTEGER DEFAULT 0, is_emote INTEGER DEFAULT 0, is_from_me INTEGER DEFAULT 0, "
    "is_empty INTEGER DEFAULT 0, is_delayed INTEGER DEFAULT 0, is_auto_reply INTEGER DEFAULT 0, "
    "is_prepared INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0, is_system_message INTEGER DEFAULT "
    "0, is_sent INTEGER DEFAULT 0, has_dd_results INTEGER DEFAULT 0, is_service_message INTEGER "
    "DEFAULT 0, is_forward INTEGER DEFAULT 0, was_downgraded INTEGER DEFAULT 0, is_archive "
    "INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0, cache_roomnames TEXT, "
    "was_data_detected INTEGER DEFAULT 0, was_deduplicated INTEGER DEFAULT 0, is_audio_message "
    "INTEGER DEFAULT 0, is_played INTEGER DEFAULT 0, date_played INTEGER, item_type INTEGER "
    "DEFAULT 0, other_handle INTEGER DEFAULT 0, group_title TEXT, group_action_type INTEGER "
    "DEFAULT 0, share_status INTEGER DEFAULT 0, share_direction INTEGER DEFAULT 0, is_expirable "
    "INTEGER DEFAULT 0, expire_state INTEGER DEFAULT 0, message_action_type INTEGER DEFAULT 0, "
    "message_source INTEGER DEFAULT 0, associated_message_guid TEXT DEFAULT NULL, "
    "associated_message_type INTEGER DEFAULT 0, balloon_bundle_id TEXT DEFAULT NULL, "
    "payload_data BLOB, expressive_send_style_id TEXT DEFAULT NULL, "
    "associated_message_range_location INTEGER DEFAULT 0, associated_message_range_length "
    "INTEGER DEFAULT 0, time_expressive_send_played INTEGER DEFAULT 0, message_summary_info "
    "BLOB DEFAULT NULL)";

inline constexpr const char* kChatTable =
    "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
    "style INTEGER, state INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, "
    "service_name TEXT, room_name TEXT, account_login TEXT, is_archived INTEGER DEFAULT 0, "
    "last_addressed_handle TEXT, display_name TEXT, group_id TEXT, is_filtered INTEGER DEFAULT "
    "0, successful_query INTEGER DEFAULT 1)";
inline constexpr const char* kHandleTable =
    "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, "
    "country TEXT, service TEXT NOT NULL, uncanonicalized_id TEXT, UNIQUE (id, service) )";
inline constexpr const char* kChatMessageJoinTable =
    "CREATE TABLE chat_message_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, "
    "message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE, PRIMARY KEY (chat_id, "
    "message_id))";
inline constexpr const char* kChatMessageJoinIndex =
    "CREATE INDEX chat_message_join_idx_message_id_only ON chat_message_join(message_id)";
inline constexpr const char* kChatHandleJoinTable =
    "CREATE TABLE chat_handle_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, "
    "handle_id INTEGER REFERENCES handle (ROWID) ON DELETE CASCADE, UNIQUE(chat_id, handle_id))";

// A few bytes of the typedstream that iOS keeps in attributedBody.
inline Blob AttributedBody(const std::string& text) {
  static const std::string kHead = "\x04\x0bstreamtyped\x81\xe8\x03\x84\x01@\x84\x84\x84\x12"
                                   "NSAttributedString\x00\x84\x84\x08NSObject\x00\x85\x92\x84"
                                   "\x84\x84\x08NSString\x01\x94\x84\x01+";
  Blob b;
  b.bytes.assign(kHead.begin(), kHead.end());
  b.bytes.push_back(static_cast<std::uint8_t>(text.size() & 0x7F));
  b.bytes.insert(b.bytes.end(), text.begin(), text.end());
  const std::string tail = "\x86\x84\x02iI\x01\x86\x92\x84\x84\x84\x0cNSDictionary\x00\x94";
  b.bytes.insert(b.bytes.end(), tail.begin(), tail.end());
  return b;
}

// One message of a fixture.
struct Message {
  std::int64_t rowid = 0;  // 0: the next row id
  Val text;
  Val type = std::int64_t{0};
  Val date = std::int64_t{400000000};  // seconds since 2001-01-01
  std::int64_t chatRowid = 0;          // 0: no chat_message_join row
  std::vector<std::string> longTexts;  // extra long texts for subject, country, ...
};

inline Message Msg(Val text, Val type, Val date, std::int64_t chatRowid, std::int64_t rowid = 0) {
  Message m;
  m.rowid = rowid;
  m.text = std::move(text);
  m.type = std::move(type);
  m.date = std::move(date);
  m.chatRowid = chatRowid;
  return m;
}

// Creates the sms.db tables of one iOS release (its message CREATE text).
inline void CreateSmsTables(FixtureDb& db, const char* messageTable, bool withChat = true) {
  db.Exec(messageTable);
  db.Exec(kHandleTable);
  if (withChat) db.Exec(kChatTable);
  db.Exec(kChatMessageJoinTable);
  db.Exec(kChatMessageJoinIndex);
  db.Exec(kChatHandleJoinTable);
}

inline void AddChat(FixtureDb& db, std::int64_t rowid, const std::string& identifier) {
  db.Run("INSERT INTO chat (ROWID, guid, style, state, account_id, chat_identifier, "
         "service_name) VALUES (?, ?, 45, 3, ?, ?, 'SMS')",
         {rowid, "SMS;-;" + identifier, std::string("8E0C1E2B-0B5D-4A57-9F4E-2C6B2D1A9F10"),
          identifier});
}

inline void AddMessage(FixtureDb& db, const Message& m) {
  const std::string textForBody = std::holds_alternative<std::string>(m.text)
                                      ? std::get<std::string>(m.text)
                                      : std::string();
  static int guidCounter = 0;
  char guid[40];
  std::snprintf(guid, sizeof guid, "A1B2C3D4-0000-4000-8000-%012d", ++guidCounter);
  std::vector<Val> v = {
      m.rowid == 0 ? Val(nullptr) : Val(m.rowid),
      std::string(guid),
      m.text,
      m.longTexts.size() > 0 ? Val(m.longTexts[0]) : Val(nullptr),  // service_center
      m.longTexts.size() > 1 ? Val(m.longTexts[1]) : Val(nullptr),  // subject
      m.longTexts.size() > 2 ? Val(m.longTexts[2]) : Val(nullptr),  // country
      AttributedBody(textForBody),
      m.type,
      std::string("SMS"),
      m.longTexts.size() > 3 ? Val(m.longTexts[3]) : Val(std::string("p:+8613800138000")),
      m.longTexts.size() > 4 ? Val(m.longTexts[4])
                             : Val(std::string("4C6F8E2A-1B3D-4E5F-8A9B-0C1D2E3F4A5B")),
      m.date,
      std::int64_t{0},
      std::int64_t{1},
  };
  db.Run("INSERT INTO message (ROWID, guid, text, service_center, subject, country, "
         "attributedBody, type, service, account, account_guid, date, date_read, is_finished) "
         "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
         v);
  if (m.chatRowid != 0) {
    db.Run("INSERT INTO chat_message_join (chat_id, message_id) VALUES (?, "
           "last_insert_rowid())",
           {m.chatRowid});
  }
}

// ------------------------------------------------------------------ WeChat

// A chat table of MM.sqlite (one per conversation, named after the MD5 of the
// contact's user name).
inline std::string WeChatChatTable(const std::string& name) {
  return "CREATE TABLE " + name +
         "(TableVer integer default 1 ,MesLocalID integer primary key autoincrement ,MesSvrID "
         "integer default 0 ,CreateTime integer default 0 ,Message text ,Status integer default "
         "0 ,ImgStatus integer default 0 ,Type integer ,Des integer)";
}
inline constexpr const char* kWeChatFriendTable =
    "CREATE TABLE Friend(UsrName text , NickName text, Uin integer default 0, Email text, "
    "Mobile text, Sex integer default 0, FullPY text, ShortPY text, Img text, Type integer "
    "default 0, LastChatTime integer default 0, Draft text default '')";
inline constexpr const char* kWeChatChatExtTable =
    "CREATE TABLE ChatExt2_0b4e7a0e5fe84ad35fb5f95b9ceeac79(MesLocalID integer primary key, "
    "ConIntRes1 integer default 0, ConStrRes1 text)";

inline void AddWeChatMessage(FixtureDb& db, const std::string& table, std::int64_t createTime,
                             const Val& message, const Val& status, std::int64_t type = 1) {
  static std::int64_t svrId = 7000000000000000000;
  db.Run("INSERT INTO " + table +
             " (TableVer, MesSvrID, CreateTime, Message, Status, ImgStatus, Type, Des) VALUES "
             "(1, ?, ?, ?, ?, 1, ?, 0)",
         {++svrId, createTime, message, status, type});
}

// ------------------------------------------------------------------ contacts

// The columns of the AddressBook's full-text table; its content table
// ABPersonFullTextSearch_content holds them as c0First ... c22Date after docid.
inline constexpr const char* kContactsFtsTable =
    "CREATE VIRTUAL TABLE ABPersonFullTextSearch USING fts4(First, Last, Middle, "
    "FirstPhonetic, MiddlePhonetic, LastPhonetic, Organization, Department, Note, Birthday, "
    "JobTitle, Nickname, Prefix, Suffix, DisplayName, Phone, Email, Address, SocialProfile, "
    "URL, RelatedNames, IM, Date)";

// The phone text the address book keeps for one number: the national form,
// then " +X", " 00X" and " 011X" with X the country code and the number.
inline std::string PhoneText(const std::string& national, const std::string& x) {
  return national + " +" + x + " 00" + x + " 011" + x;
}

// Adds a contact through the full-text table (which stores it in the content
// table under `docid`).
inline void AddContact(FixtureDb& db, std::int64_t docid, const Val& first, const Val& last,
                       const Val& phone, const std::string& organization = "",
                       const std::string& email = "") {
  db.Run("INSERT INTO ABPersonFullTextSearch (docid, First, Last, Organization, DisplayName, "
         "Phone, Email) VALUES (?, ?, ?, ?, ?, ?, ?)",
         {docid, first, last, organization.empty() ? Val(nullptr) : Val(organization),
          Val(nullptr), phone, email.empty() ? Val(nullptr) : Val(email)});
}

}  // namespace iosfix
