// Benchmark of the iOS messages, WeChat and contacts scanners on large
// databases of the phones' layouts. Run on demand (never in CI):
//
//   ios_kinds_bench [DIR] [MIN_MB] [messages|wechat|contacts]
//
// Builds (or reuses) in DIR (default /tmp/velmora-bench) three databases of
// at least MIN_MB megabytes each (default 200), a tenth of their rows
// deleted:
//   - sms.db: the iOS 10 message table with chat, handle and
//     chat_message_join (indexed by message_id, as on the phone);
//   - MM.sqlite: WeChat's Friend table and Chat_<md5> tables of one layout;
//   - AddressBook.sqlitedb: the full-text content table
//     ABPersonFullTextSearch_content with 3000 contacts, and the bulk of the
//     file in the multi-value table.
// For each, in separate processes: a plain byte-by-byte pass over the same
// image (the baseline), then the whole scanner (result records kept, list
// rows counted) and, for the two kinds on the generic walk, the walk with
// its hits only counted: MB/s of the walk, the ratio to the byte pass, and
// peak resident memory against the file size.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "engine/IosContactsScanner.h"
#include "engine/IosMessagesScanner.h"
#include "engine/WeChatScanner.h"

namespace {

using namespace bench;

// A text of about `n` bytes of Chinese and ASCII words.
std::string Words(Rng& rng, std::size_t n) {
  static const char* kWords[] = {"好的", "明天见", "ok", "晚上一起吃饭吗", "on my way", "收到",
                                 "谢谢", "call me", "哈哈", "在开会", "see you", "到了"};
  std::string s;
  while (s.size() < n) {
    if (!s.empty()) s += ' ';
    s += kWords[rng() % 12];
  }
  return s;
}

std::string Guid(Rng& rng) {
  char b[40];
  std::snprintf(b, sizeof b, "%08llX-%04llX-4%03llX-8%03llX-%012llX",
                static_cast<unsigned long long>(rng() & 0xFFFFFFFF),
                static_cast<unsigned long long>(rng() & 0xFFFF),
                static_cast<unsigned long long>(rng() & 0xFFF),
                static_cast<unsigned long long>(rng() & 0xFFF),
                static_cast<unsigned long long>(rng() * rng() & 0xFFFFFFFFFFFF));
  return b;
}

// Inserts rows with `insert` in batches until the file reaches the size.
void Fill(sqlite3* db, const std::string& path, std::uintmax_t minBytes,
          const std::function<void()>& insert) {
  Exec(db, "BEGIN");
  for (;;) {
    for (int i = 0; i < 20000; ++i) insert();
    Exec(db, "COMMIT; BEGIN");
    if (std::filesystem::file_size(path) >= minBytes * 10 / 9 + (1 << 20)) break;
  }
  Exec(db, "COMMIT");
}

void BuildMessages(const std::string& path, std::uintmax_t minBytes) {
  sqlite3* db = FreshDatabase(path);
  Exec(db,
       "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
       "text TEXT, replace INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, "
       "subject TEXT, country TEXT, attributedBody BLOB, version INTEGER DEFAULT 0, type INTEGER "
       "DEFAULT 0, service TEXT, account TEXT, account_guid TEXT, error INTEGER DEFAULT 0, date "
       "INTEGER, date_read INTEGER, date_delivered INTEGER, is_delivered INTEGER DEFAULT 0, "
       "is_finished INTEGER DEFAULT 0, is_emote INTEGER DEFAULT 0, is_from_me INTEGER DEFAULT 0, "
       "is_empty INTEGER DEFAULT 0, is_delayed INTEGER DEFAULT 0, is_auto_reply INTEGER DEFAULT "
       "0, is_prepared INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0, is_system_message INTEGER "
       "DEFAULT 0, is_sent INTEGER DEFAULT 0, has_dd_results INTEGER DEFAULT 0, "
       "is_service_message INTEGER DEFAULT 0, is_forward INTEGER DEFAULT 0, was_downgraded "
       "INTEGER DEFAULT 0, is_archive INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT "
       "0, cache_roomnames TEXT, was_data_detected INTEGER DEFAULT 0, was_deduplicated INTEGER "
       "DEFAULT 0, is_audio_message INTEGER DEFAULT 0, is_played INTEGER DEFAULT 0, date_played "
       "INTEGER, item_type INTEGER DEFAULT 0, other_handle INTEGER DEFAULT 0, group_title TEXT, "
       "group_action_type INTEGER DEFAULT 0, share_status INTEGER DEFAULT 0, share_direction "
       "INTEGER DEFAULT 0, is_expirable INTEGER DEFAULT 0, expire_state INTEGER DEFAULT 0, "
       "message_action_type INTEGER DEFAULT 0, message_source INTEGER DEFAULT 0, "
       "associated_message_guid TEXT DEFAULT NULL, associated_message_type INTEGER DEFAULT 0, "
       "balloon_bundle_id TEXT DEFAULT NULL, payload_data BLOB, expressive_send_style_id TEXT "
       "DEFAULT NULL, associated_message_range_location INTEGER DEFAULT 0, "
       "associated_message_range_length INTEGER DEFAULT 0, time_expressive_send_played INTEGER "
       "DEFAULT 0, message_summary_info BLOB DEFAULT NULL);"
       "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, "
       "country TEXT, service TEXT NOT NULL, uncanonicalized_id TEXT, UNIQUE (id, service) );"
       "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
       "style INTEGER, state INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, "
       "service_name TEXT, room_name TEXT, account_login TEXT, is_archived INTEGER DEFAULT 0, "
       "last_addressed_handle TEXT, display_name TEXT, group_id TEXT, is_filtered INTEGER "
       "DEFAULT 0, successful_query INTEGER DEFAULT 1);"
       "CREATE TABLE chat_message_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE "
       "CASCADE, message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE, PRIMARY KEY "
       "(chat_id, message_id));"
       "CREATE INDEX chat_message_join_idx_message_id_only ON chat_message_join(message_id);");
  Rng rng;
  constexpr int kChats = 400;
  Exec(db, "BEGIN");
  for (int c = 1; c <= kChats; ++c) {
    const std::string id = "+86139" + std::to_string(10000000 + c * 7919);
    Exec(db, "INSERT INTO handle (id, country, service) VALUES ('" + id + "', 'cn', 'SMS');"
             "INSERT INTO chat (guid, style, state, chat_identifier, service_name) VALUES ('SMS;-;" +
                 id + "', 45, 3, '" + id + "', 'SMS');");
  }
  Exec(db, "COMMIT");
  sqlite3_stmt* msg = nullptr;
  Check(sqlite3_prepare_v2(
            db,
            "INSERT INTO message (guid, text, handle_id, attributedBody, type, service, account, "
            "account_guid, date, date_read, date_delivered, is_delivered, is_finished, "
            "is_from_me, is_read, is_sent) VALUES (?1, ?2, ?3, ?4, ?5, 'SMS', "
            "'p:+8613800138000', 'A1F3C8D2-5B6E-4F70-8192-A3B4C5D6E7F8', ?6, ?6, ?6, 1, 1, ?7, "
            "1, ?7)",
            -1, &msg, nullptr),
        db, "prepare");
  sqlite3_stmt* join = nullptr;
  Check(sqlite3_prepare_v2(db,
                           "INSERT INTO chat_message_join (chat_id, message_id) VALUES (?1, "
                           "last_insert_rowid())",
                           -1, &join, nullptr),
        db, "prepare");
  long rows = 0;
  Fill(db, path, minBytes, [&] {
    const std::string text = Words(rng, 10 + rng() % 150);
    std::string body = "\x04\x0bstreamtyped\x81\xe8\x03\x84\x01@\x84\x84\x84\x12NSAttributedString";
    body += std::string("\0\x84\x84\x08NSObject\0\x85\x92\x84\x84\x84\x08NSString\x01\x94\x84\x01+", 32);
    body += text;
    body += "\x86\x84\x02iI\x01\x86\x92\x84\x84\x84\x0cNSDictionary";
    const std::int64_t chat = 1 + static_cast<std::int64_t>(rng() % kChats);
    const std::string guid = Guid(rng);
    sqlite3_bind_text(msg, 1, guid.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(msg, 2, text.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(msg, 3, chat);
    sqlite3_bind_blob(msg, 4, body.data(), static_cast<int>(body.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(msg, 5, 0);
    sqlite3_bind_int64(msg, 6, 400000000 + static_cast<std::int64_t>(rng() % 100000000));
    sqlite3_bind_int64(msg, 7, static_cast<std::int64_t>(rng() % 2));
    Check(sqlite3_step(msg), db, "message");
    sqlite3_reset(msg);
    sqlite3_bind_int64(join, 1, chat);
    Check(sqlite3_step(join), db, "join");
    sqlite3_reset(join);
    ++rows;
  });
  Exec(db, "DELETE FROM message WHERE ROWID % 10 = 0; "
           "DELETE FROM chat_message_join WHERE message_id % 10 = 0");
  sqlite3_finalize(msg);
  sqlite3_finalize(join);
  sqlite3_close(db);
  std::printf("built %s: %ld messages, a tenth deleted\n", path.c_str(), rows);
}

void BuildWeChat(const std::string& path, std::uintmax_t minBytes) {
  sqlite3* db = FreshDatabase(path);
  const char* tables[] = {"Chat_0b4e7a0e5fe84ad35fb5f95b9ceeac79", "Chat_2c9f4d3e1a8b7c6d5e4f3a2b1c0d9e8f",
                          "Chat_5d41402abc4b2a76b9719d911017c592", "Chat_7d793037a0760186574b0282f2f435e7"};
  Exec(db, "CREATE TABLE Friend(UsrName text , NickName text, Uin integer default 0, Email text, "
           "Mobile text, Sex integer default 0, FullPY text, ShortPY text, Img text, Type "
           "integer default 0, LastChatTime integer default 0, Draft text default '')");
  std::vector<sqlite3_stmt*> ins;
  for (const char* t : tables) {
    Exec(db, std::string("CREATE TABLE ") + t +
                 "(TableVer integer default 1 ,MesLocalID integer primary key autoincrement "
                 ",MesSvrID integer default 0 ,CreateTime integer default 0 ,Message text "
                 ",Status integer default 0 ,ImgStatus integer default 0 ,Type integer ,Des "
                 "integer)");
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db,
                             (std::string("INSERT INTO ") + t +
                              " (TableVer, MesSvrID, CreateTime, Message, Status, ImgStatus, "
                              "Type, Des) VALUES (1, ?1, ?2, ?3, ?4, 1, ?5, ?6)")
                                 .c_str(),
                             -1, &st, nullptr),
          db, "prepare");
    ins.push_back(st);
  }
  Rng rng;
  long rows = 0;
  Fill(db, path, minBytes, [&] {
    sqlite3_stmt* st = ins[rng() % ins.size()];
    const unsigned kind = rng() % 10;
    std::string message;
    if (kind == 0) {
      message = "<msg><voicemsg endflag=\"1\" cancelflag=\"0\" forwardflag=\"0\" voiceformat=\"4\" "
                "voicelength=\"" + std::to_string(rng() % 60000) + "\" length=\"" +
                std::to_string(rng() % 90000) + "\" bufid=\"0\" clientmsgid=\"" + Guid(rng) +
                "\" fromusername=\"wxid_abc\" /></msg>";
    } else if (kind == 1) {
      message = "<msg><img aeskey=\"" + Guid(rng) + "\" encryver=\"1\" cdnthumbaeskey=\"" +
                Guid(rng) + "\" length=\"" + std::to_string(rng() % 900000) + "\" /></msg>";
    } else {
      message = Words(rng, 4 + rng() % 120);
    }
    sqlite3_bind_int64(st, 1, static_cast<std::int64_t>(rng() * rng()));
    sqlite3_bind_int64(st, 2, 1400000000 + static_cast<std::int64_t>(rng() % 200000000));
    sqlite3_bind_text(st, 3, message.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(st, 4, rng() % 2 ? 2 : 4);
    sqlite3_bind_int64(st, 5, kind == 0 ? 34 : kind == 1 ? 3 : 1);
    sqlite3_bind_int64(st, 6, static_cast<std::int64_t>(rng() % 2));
    Check(sqlite3_step(st), db, "insert");
    sqlite3_reset(st);
    ++rows;
  });
  for (const char* t : tables) Exec(db, std::string("DELETE FROM ") + t + " WHERE MesLocalID % 10 = 0");
  for (sqlite3_stmt* st : ins) sqlite3_finalize(st);
  sqlite3_close(db);
  std::printf("built %s: %ld messages, a tenth deleted\n", path.c_str(), rows);
}

// The address book: its full-text content table holds one row per contact
// (a few thousand, as on a phone); the bulk of the file is the multi-value
// table of phone numbers, e-mail addresses and notes, as in the phone's file.
// The live test queries the content table, which has no index, once per
// carved contact.
void BuildContacts(const std::string& path, std::uintmax_t minBytes) {
  constexpr int kContacts = 3000;
  sqlite3* db = FreshDatabase(path);
  // The content table exactly as the address book's full-text table makes it.
  std::string create = "CREATE TABLE 'ABPersonFullTextSearch_content'(docid INTEGER PRIMARY KEY";
  const char* cols[] = {"First", "Last", "Middle", "FirstPhonetic", "MiddlePhonetic", "LastPhonetic",
                        "Organization", "Department", "Note", "Birthday", "JobTitle", "Nickname",
                        "Prefix", "Suffix", "DisplayName", "Phone", "Email", "Address",
                        "SocialProfile", "URL", "RelatedNames", "IM", "Date"};
  for (int i = 0; i < 23; ++i) create += ", 'c" + std::to_string(i) + cols[i] + "'";
  Exec(db, create + ")");
  Exec(db, "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, "
           "Middle TEXT, Organization TEXT, Note TEXT);"
           "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property "
           "INTEGER, identifier INTEGER, label INTEGER, value TEXT, guid TEXT)");
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(db,
                           "INSERT INTO ABPersonFullTextSearch_content (c0First, c1Last, "
                           "c6Organization, c14DisplayName, c15Phone, c16Email, c17Address) "
                           "VALUES (?1, ?2, ?3, NULL, ?4, ?5, ?6)",
                           -1, &st, nullptr),
        db, "prepare");
  const char* first[] = {"伟", "芳", "娜", "Alice", "Bob", "洋", "静", "敏"};
  const char* last[] = {"张", "王", "李", "Smith", "刘", "陈", "杨", "Brown"};
  Rng rng;
  Exec(db, "BEGIN");
  for (int i = 0; i < kContacts; ++i) {
    std::string phones;
    for (unsigned n = 0, count = 1 + rng() % 2; n < count; ++n) {
      const std::string national = "13" + std::to_string(100000000 + rng() % 899999999);
      const std::string x = "86" + national;
      phones += (phones.empty() ? "" : " ") + national + " +" + x + " 00" + x + " 011" + x;
    }
    const std::string email = "user" + std::to_string(rng() % 100000) + "@example.com";
    sqlite3_bind_text(st, 1, first[rng() % 8], -1, SQLITE_STATIC);
    sqlite3_bind_text(st, 2, last[rng() % 8], -1, SQLITE_STATIC);
    if (rng() % 3 == 0)
      sqlite3_bind_text(st, 3, "Acme Trading Co., Ltd.", -1, SQLITE_STATIC);
    else
      sqlite3_bind_null(st, 3);
    sqlite3_bind_text(st, 4, phones.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 5, email.c_str(), -1, SQLITE_TRANSIENT);
    if (rng() % 4 == 0)
      sqlite3_bind_text(st, 6, "上海市 浦东新区 世纪大道 100号", -1, SQLITE_STATIC);
    else
      sqlite3_bind_null(st, 6);
    Check(sqlite3_step(st), db, "insert");
    sqlite3_reset(st);
  }
  Exec(db, "COMMIT");
  sqlite3_finalize(st);
  Exec(db, "DELETE FROM ABPersonFullTextSearch_content WHERE docid % 10 = 0");
  Check(sqlite3_prepare_v2(db,
                           "INSERT INTO ABMultiValue (record_id, property, identifier, label, "
                           "value, guid) VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                           -1, &st, nullptr),
        db, "prepare");
  long rows = 0;
  Fill(db, path, minBytes, [&] {
    const unsigned property = rng() % 3;
    std::string value;
    if (property == 0)
      value = "+86 13" + std::to_string(100000000 + rng() % 899999999);
    else if (property == 1)
      value = "user" + std::to_string(rng() % 100000) + "@example.com";
    else
      value = Words(rng, 20 + rng() % 200);
    const std::string guid = Guid(rng);
    sqlite3_bind_int64(st, 1, 1 + static_cast<std::int64_t>(rng() % kContacts));
    sqlite3_bind_int64(st, 2, property == 0 ? 3 : property == 1 ? 4 : 12);
    sqlite3_bind_int64(st, 3, static_cast<std::int64_t>(rng() % 4));
    sqlite3_bind_int64(st, 4, static_cast<std::int64_t>(1 + rng() % 6));
    sqlite3_bind_text(st, 5, value.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 6, guid.c_str(), -1, SQLITE_TRANSIENT);
    Check(sqlite3_step(st), db, "insert");
    sqlite3_reset(st);
    ++rows;
  });
  sqlite3_finalize(st);
  sqlite3_close(db);
  std::printf("built %s: %d contacts, a tenth deleted, %ld multi-values\n", path.c_str(),
              kContacts, rows);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/velmora-bench";
  const std::uintmax_t minBytes = MinBytesArg(argc, argv);
  std::filesystem::create_directories(dir);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);

  struct Db {
    const char* label;
    std::string path;
    void (*build)(const std::string&, std::uintmax_t);
    std::function<Result(const std::string&)> scan;
    std::function<Result(const std::string&)> walk;  // none for the contacts' own walk
  };
  const Db dbs[] = {
      {"messages", dir + "/sms.db", BuildMessages,
       [](const std::string& p) { return Scan(p, velmora::RunIosMessagesScan, velmora::SmsRecords); },
       [](const std::string& p) { return Walk(p, velmora::IosMessagesKind()); }},
      {"wechat", dir + "/MM.sqlite", BuildWeChat,
       [](const std::string& p) { return Scan(p, velmora::RunWeChatScan, velmora::WeChatRecords); },
       [](const std::string& p) { return Walk(p, velmora::WeChatKind()); }},
      {"contacts", dir + "/AddressBook.sqlitedb", BuildContacts,
       [](const std::string& p) { return Scan(p, velmora::RunIosContactsScan, velmora::ContactRecords); },
       nullptr},
  };
  const std::string only = argc > 3 ? argv[3] : "";
  for (const Db& db : dbs) {
    if (!only.empty() && only != db.label) continue;
    EnsureDatabase(db.path, minBytes, db.build);
    const double fileMB = FileMB(db.path);
    const double loopMBs = ByteLoopMBs(db.path);
    // Best of two scans, the peak memory of the larger.
    const Result best = Best(2, [&] { return db.scan(db.path); });
    const double mbs = MBs(best);
    std::printf("%-9s file %7.1f MB  byte loop %6.0f MB/s  scanner %6.0f MB/s  ratio %.2f  "
                "hits %ld (%ld deleted)  peak RSS %.1f MB (file + %.1f MB)\n",
                db.label, fileMB, loopMBs, mbs, mbs / loopMBs, best.hits, best.deleted,
                RssMB(best), RssMB(best) - fileMB);
    if (db.walk) {
      const Result w = InChild([&] { return db.walk(db.path); });
      const double wmbs = MBs(w);
      std::printf("%-9s   walk with hits only counted %6.0f MB/s  ratio %.2f  hits %ld  peak RSS "
                  "%.1f MB (file + %.1f MB)\n",
                  db.label, wmbs, wmbs / loopMBs, w.hits, RssMB(w), RssMB(w) - fileMB);
    }
  }
  return 0;
}
