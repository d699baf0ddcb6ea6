// The benchmark databases: each kind's database of a phone's layout, built
// with SQLite to at least a given size. Shared by the benchmarks and by
// `scan_bench --make`; the same arguments give the same rows.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace bench {

// A text of about `n` bytes of Chinese and ASCII words.
inline std::string Words(Rng& rng, std::size_t n) {
  static const char* kWords[] = {"好的", "明天见", "ok", "晚上一起吃饭吗", "on my way", "收到",
                                 "谢谢", "call me", "哈哈", "在开会", "see you", "到了"};
  std::string s;
  while (s.size() < n) {
    if (!s.empty()) s += ' ';
    s += kWords[rng() % 12];
  }
  return s;
}

inline std::string Guid(Rng& rng) {
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
inline void Fill(sqlite3* db, const std::string& path, std::uintmax_t minBytes,
          const std::function<void()>& insert) {
  Exec(db, "BEGIN");
  for (;;) {
    for (int i = 0; i < 20000; ++i) insert();
    Exec(db, "COMMIT; BEGIN");
    if (std::filesystem::file_size(path) >= minBytes * 10 / 9 + (1 << 20)) break;
  }
  Exec(db, "COMMIT");
}

// The iOS messages database (sms.db): the iOS 10 message table with chat,
// handle and chat_message_join (indexed by message_id, as on the phone), a
// tenth of the messages deleted.
inline void BuildIosMessages(const std::string& path, std::uintmax_t minBytes) {
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

// WeChat's MM.sqlite: the Friend table and Chat_<md5> tables of one layout,
// a tenth of the messages deleted.
inline void BuildWeChat(const std::string& path, std::uintmax_t minBytes) {
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
// The live test reads the content table, which has no index.
inline void BuildAddressBookOf(const std::string& path, std::uintmax_t minBytes, int kContacts) {
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

inline void BuildAddressBook(const std::string& path, std::uintmax_t minBytes) {
  BuildAddressBookOf(path, minBytes, 3000);
}

// A message text of about `n` bytes of Chinese and ASCII words (the Android
// messages' mix).
inline std::string SmsWords(Rng& rng, std::size_t n) {
  static const char* kWords[] = {"好的", "明天见", "ok", "晚上一起吃饭吗", "on my way", "收到",
                                 "谢谢", "call me", "哈哈", "在开会", "验证码 483920", "到了",
                                 "您的快递已到", "余额 12.50 元", "回复TD退订", "see you"};
  std::string s;
  while (s.size() < n) {
    if (!s.empty()) s += ' ';
    s += kWords[rng() % 16];
  }
  return s;
}

// The Android SMS database (mmssms.db): the sms, threads and
// canonical_addresses tables and the type/thread index of an Android 4.4
// phone, messages added in batches of 20,000 until the file passes minBytes,
// a seventh of them deleted.
inline void BuildAndroidSms(const std::string& path, std::uintmax_t minBytes) {
  sqlite3* db = FreshDatabase(path);
  Exec(db,
       "CREATE TABLE sms (_id INTEGER PRIMARY KEY,thread_id INTEGER,address TEXT,person "
       "INTEGER,date INTEGER,date_sent INTEGER DEFAULT 0,protocol INTEGER,read INTEGER DEFAULT "
       "0,status INTEGER DEFAULT -1,type INTEGER,reply_path_present INTEGER,subject TEXT,body "
       "TEXT,service_center TEXT,locked INTEGER DEFAULT 0,error_code INTEGER DEFAULT 0,creator "
       "TEXT,seen INTEGER DEFAULT 0);"
       "CREATE INDEX typeThreadIdIndex ON sms (type, thread_id);"
       "CREATE TABLE threads (_id INTEGER PRIMARY KEY AUTOINCREMENT,date INTEGER DEFAULT 0,"
       "message_count INTEGER DEFAULT 0,recipient_ids TEXT,snippet TEXT,snippet_cs INTEGER "
       "DEFAULT 0,read INTEGER DEFAULT 1,archived INTEGER DEFAULT 0,type INTEGER DEFAULT 0,error "
       "INTEGER DEFAULT 0,has_attachment INTEGER DEFAULT 0);"
       "CREATE TABLE canonical_addresses (_id INTEGER PRIMARY KEY AUTOINCREMENT,address TEXT);");
  constexpr int kThreads = 500;
  Rng rng{20240607};
  std::vector<std::string> addresses;
  Exec(db, "BEGIN");
  for (int t = 1; t <= kThreads; ++t) {
    const std::string a = t % 10 == 0 ? "106" + std::to_string(5500000 + t)
                                      : "+86139" + std::to_string(10000000 + t * 7919);
    addresses.push_back(a);
    Exec(db, "INSERT INTO canonical_addresses (address) VALUES ('" + a + "');"
             "INSERT INTO threads (date, message_count, recipient_ids, snippet) VALUES "
             "(1400000000000, 0, '" + std::to_string(t) + "', 'x');");
  }
  Exec(db, "COMMIT");
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(db,
                           "INSERT INTO sms (thread_id, address, person, date, date_sent, "
                           "protocol, read, status, type, reply_path_present, body, "
                           "service_center, locked, error_code, creator, seen) VALUES (?1, ?2, "
                           "NULL, ?3, ?4, ?5, 1, -1, ?6, ?7, ?8, ?9, 0, 0, ?10, 1)",
                           -1, &st, nullptr),
        db, "prepare");
  long rows = 0;
  Exec(db, "BEGIN");
  for (;;) {
    for (int i = 0; i < 20000; ++i) {
      const int thread = 1 + static_cast<int>(rng() % kThreads);
      const bool received = rng() % 3 != 0;
      const std::int64_t date = 1300000000000 + static_cast<std::int64_t>(rng() % 300000000) * 1000;
      const std::string body = SmsWords(rng, 8 + rng() % 200);
      sqlite3_bind_int64(st, 1, thread);
      sqlite3_bind_text(st, 2, addresses[static_cast<std::size_t>(thread - 1)].c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_int64(st, 3, date);
      sqlite3_bind_int64(st, 4, received ? date - 3000 : 0);
      if (received) {
        sqlite3_bind_int64(st, 5, 0);
        sqlite3_bind_int64(st, 6, 1);
        sqlite3_bind_int64(st, 7, 0);
        sqlite3_bind_text(st, 9, "+8613800100500", -1, SQLITE_STATIC);
        sqlite3_bind_null(st, 10);
      } else {
        sqlite3_bind_null(st, 5);
        sqlite3_bind_int64(st, 6, rng() % 20 == 0 ? 3 : 2);
        sqlite3_bind_null(st, 7);
        sqlite3_bind_null(st, 9);
        sqlite3_bind_text(st, 10, "com.android.mms", -1, SQLITE_STATIC);
      }
      sqlite3_bind_text(st, 8, body.c_str(), -1, SQLITE_TRANSIENT);
      Check(sqlite3_step(st), db, "insert");
      sqlite3_reset(st);
      ++rows;
    }
    Exec(db, "COMMIT; BEGIN");
    if (std::filesystem::file_size(path) >= minBytes + (1 << 20)) break;
  }
  Exec(db, "COMMIT");
  sqlite3_finalize(st);
  Exec(db, "DELETE FROM sms WHERE _id % 7 = 0");
  sqlite3_close(db);
  std::printf("built %s: %ld messages, a seventh deleted\n", path.c_str(), rows);
}

// The iOS call history (call_history.db): the phone's call table, a tenth of
// its rows deleted.
inline void BuildIosCalls(const std::string& path, std::uintmax_t minBytes) {
  sqlite3* db = FreshDatabase(path);
  Exec(db,
       "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, "
       "date INTEGER, duration INTEGER, flags INTEGER, id INTEGER, name TEXT, "
       "country_code TEXT, network_code TEXT, read INTEGER, assisted INTEGER, "
       "face_time_data BLOB, originalAddress TEXT);");
  sqlite3_stmt* ins = nullptr;
  Check(sqlite3_prepare_v2(db,
                           "INSERT INTO call (address, date, duration, flags, id, name, country_code, "
                           "network_code, read, assisted, face_time_data, originalAddress) VALUES "
                           "(?1, ?2, ?3, ?4, -1, ?5, '460', '00', 1, 0, NULL, ?1)",
                           -1, &ins, nullptr),
        db, "prepare");
  Rng next;
  const char* names[] = {"张伟", "王芳", "李娜", "Mom", "Office", "刘洋", "陈静", "Taxi"};
  std::int64_t rows = 0;
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  for (;;) {
    for (int i = 0; i < 100000; ++i, ++rows) {
      const std::string address = "1" + std::to_string(3000000000LL + next() % 999999999LL);
      sqlite3_bind_text(ins, 1, address.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int64(ins, 2, 1300000000 + static_cast<std::int64_t>(next() % 300000000));
      sqlite3_bind_int64(ins, 3, static_cast<std::int64_t>(next() % 3600));
      sqlite3_bind_int64(ins, 4, static_cast<std::int64_t>(next() % 3));
      if (next() % 4 == 0)
        sqlite3_bind_null(ins, 5);
      else
        sqlite3_bind_text(ins, 5, names[next() % 8], -1, SQLITE_STATIC);
      Check(sqlite3_step(ins), db, "insert");
      sqlite3_reset(ins);
    }
    Check(sqlite3_exec(db, "COMMIT; BEGIN", nullptr, nullptr, nullptr), db, "commit");
    if (std::filesystem::file_size(path) >= minBytes * 10 / 9 + (1 << 20)) break;
  }
  Check(sqlite3_exec(db, "COMMIT; DELETE FROM call WHERE ROWID % 10 = 0;", nullptr, nullptr, nullptr),
        db, "delete");
  sqlite3_finalize(ins);
  sqlite3_close(db);
  std::printf("built %s: %lld rows, a tenth deleted\n", path.c_str(), static_cast<long long>(rows));
}

// The Android call log (contacts2.db, Android 4.4): its calls table, a tenth
// of the calls deleted.
inline void BuildAndroidCalls(const std::string& path, std::uintmax_t minBytes) {
  sqlite3* db = FreshDatabase(path);
  Exec(db,
       "CREATE TABLE calls (_id INTEGER PRIMARY KEY AUTOINCREMENT,number TEXT,presentation INTEGER "
       "NOT NULL DEFAULT 1,date INTEGER,duration INTEGER,type INTEGER,new INTEGER,name TEXT,numbertype "
       "INTEGER,numberlabel TEXT,countryiso TEXT,voicemail_uri TEXT,is_read INTEGER,geocoded_location "
       "TEXT,lookup_uri TEXT,matched_number TEXT,normalized_number TEXT,photo_id INTEGER NOT NULL "
       "DEFAULT 0,formatted_number TEXT,_data TEXT,has_content INTEGER,mime_type TEXT,source_data "
       "TEXT,source_package TEXT,state INTEGER);");
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(db,
                           "INSERT INTO calls (number, presentation, date, duration, type, new, "
                           "name, numbertype, numberlabel, countryiso, is_read, geocoded_location, "
                           "normalized_number, photo_id, formatted_number) VALUES (?1, 1, ?2, ?3, "
                           "?4, 0, ?5, 2, NULL, 'CN', 1, '北京', '+86' || ?1, 0, ?1)",
                           -1, &st, nullptr),
        db, "prepare");
  const char* names[] = {"张伟", "王芳", "李娜", "Mom", "Office", "刘洋", "陈静", "Taxi"};
  Rng rng{4711};
  long rows = 0;
  Fill(db, path, minBytes, [&] {
    const std::string number = "1" + std::to_string(3000000000LL + rng() % 999999999LL);
    sqlite3_bind_text(st, 1, number.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(st, 2, 1300000000000 + static_cast<std::int64_t>(rng() % 300000000) * 1000);
    sqlite3_bind_int64(st, 3, static_cast<std::int64_t>(rng() % 3600));
    sqlite3_bind_int64(st, 4, static_cast<std::int64_t>(1 + rng() % 3));
    if (rng() % 4 == 0)
      sqlite3_bind_null(st, 5);
    else
      sqlite3_bind_text(st, 5, names[rng() % 8], -1, SQLITE_STATIC);
    Check(sqlite3_step(st), db, "insert");
    sqlite3_reset(st);
    ++rows;
  });
  sqlite3_finalize(st);
  Exec(db, "DELETE FROM calls WHERE _id % 10 = 0");
  sqlite3_close(db);
  std::printf("built %s: %ld calls, a tenth deleted\n", path.c_str(), rows);
}

// The Android contacts (contacts2.db, Android 4.x): the data, mimetypes and
// raw_contacts tables, each contact a name row and one or two phone rows, a
// tenth of the contacts' rows deleted.
inline void BuildAndroidContacts(const std::string& path, std::uintmax_t minBytes) {
  sqlite3* db = FreshDatabase(path);
  Exec(db,
       "CREATE TABLE data (_id INTEGER PRIMARY KEY AUTOINCREMENT,package_id INTEGER REFERENCES "
       "package(_id),mimetype_id INTEGER REFERENCES mimetype(_id) NOT NULL,raw_contact_id INTEGER "
       "REFERENCES raw_contacts(_id) NOT NULL,is_read_only INTEGER NOT NULL DEFAULT 0,is_primary "
       "INTEGER NOT NULL DEFAULT 0,is_super_primary INTEGER NOT NULL DEFAULT 0,data_version INTEGER "
       "NOT NULL DEFAULT 0,data1 TEXT,data2 TEXT,data3 TEXT,data4 TEXT,data5 TEXT,data6 TEXT,data7 "
       "TEXT,data8 TEXT,data9 TEXT,data10 TEXT,data11 TEXT,data12 TEXT,data13 TEXT,data14 TEXT,data15 "
       "TEXT,data_sync1 TEXT, data_sync2 TEXT, data_sync3 TEXT, data_sync4 TEXT );"
       "CREATE TABLE mimetypes (_id INTEGER PRIMARY KEY AUTOINCREMENT,mimetype TEXT NOT NULL);"
       "CREATE UNIQUE INDEX mime_type ON mimetypes (mimetype);"
       "CREATE TABLE raw_contacts (_id INTEGER PRIMARY KEY AUTOINCREMENT,account_id INTEGER "
       "DEFAULT 1,contact_id INTEGER,deleted INTEGER NOT NULL DEFAULT 0,display_name TEXT,sort_key "
       "TEXT);");
  // The mime types in the order a 4.x phone registers them: phone_v2 5th, name 7th.
  for (const char* t :
       {"email_v2", "im", "nickname", "organization", "phone_v2", "sip_address", "name",
        "postal-address_v2", "identity", "photo", "group_membership", "note"}) {
    Exec(db, std::string("INSERT INTO mimetypes (mimetype) VALUES ('vnd.android.cursor.item/") + t +
                 "')");
  }
  sqlite3_stmt* raw = nullptr;
  Check(sqlite3_prepare_v2(db,
                           "INSERT INTO raw_contacts (contact_id, display_name, sort_key) VALUES "
                           "(?1, ?2, ?2)",
                           -1, &raw, nullptr),
        db, "prepare");
  sqlite3_stmt* data = nullptr;
  Check(sqlite3_prepare_v2(db,
                           "INSERT INTO data (package_id, mimetype_id, raw_contact_id, is_primary, "
                           "data_version, data1, data2, data4, data10, data11) VALUES (NULL, ?1, "
                           "?2, ?3, 0, ?4, ?5, ?6, ?7, ?8)",
                           -1, &data, nullptr),
        db, "prepare");
  const char* first[] = {"伟", "芳", "娜", "Alice", "Bob", "洋", "静", "敏"};
  const char* last[] = {"张", "王", "李", "Smith", "刘", "陈", "杨", "Brown"};
  Rng rng{815};
  long contacts = 0;
  Fill(db, path, minBytes, [&] {
    ++contacts;
    const std::string name = std::string(last[rng() % 8]) + first[rng() % 8];
    sqlite3_bind_int64(raw, 1, contacts);
    sqlite3_bind_text(raw, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    Check(sqlite3_step(raw), db, "raw contact");
    sqlite3_reset(raw);
    auto row = [&](int mime, const std::string& data1, const char* data2, const std::string& data4) {
      sqlite3_bind_int64(data, 1, mime);
      sqlite3_bind_int64(data, 2, contacts);
      sqlite3_bind_int64(data, 3, mime == 5 ? 1 : 0);
      sqlite3_bind_text(data, 4, data1.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(data, 5, data2, -1, SQLITE_STATIC);
      sqlite3_bind_text(data, 6, data4.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(data, 7, mime == 7 ? "1" : nullptr, -1, SQLITE_STATIC);
      sqlite3_bind_text(data, 8, mime == 7 ? "0" : nullptr, -1, SQLITE_STATIC);
      Check(sqlite3_step(data), db, "data");
      sqlite3_reset(data);
    };
    row(7, name, name.c_str(), "");
    for (unsigned n = 0, count = 1 + rng() % 2; n < count; ++n) {
      const std::string number = "13" + std::to_string(100000000 + rng() % 899999999);
      row(5, number, "2", "+86" + number);
    }
  });
  sqlite3_finalize(raw);
  sqlite3_finalize(data);
  Exec(db, "DELETE FROM data WHERE raw_contact_id % 10 = 0");
  sqlite3_close(db);
  std::printf("built %s: %ld contacts, a tenth deleted\n", path.c_str(), contacts);
}

}  // namespace bench
