// Benchmark of the Android SMS scanner on a large message database of the
// phone's layout. Run on demand (never in CI):
//
//   android_sms_bench [DIR] [MIN_MB] [scan|walk]
//
// Builds (or reuses) DIR/mmssms.db (default DIR /tmp/velmora-bench) of at
// least MIN_MB megabytes (default 200) with the sms, threads and
// canonical_addresses tables and the type/thread index of an Android 4.4
// phone, a seventh of the messages deleted. Then, in separate processes: a
// plain byte-by-byte pass over the same image (the baseline), the whole
// scanner (result records kept, list rows counted) and its page walk with
// the hits only counted: MB/s of the walk, the ratio to the byte pass, the
// whole scan's time, and peak resident memory against the file size.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "engine/AndroidSmsScanner.h"

namespace {

using namespace bench;

// A message text of about `n` bytes of Chinese and ASCII words.
std::string Words(Rng& rng, std::size_t n) {
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

void Build(const std::string& path, std::uintmax_t minBytes) {
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
      const std::string body = Words(rng, 8 + rng() % 200);
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

Result Scan(const std::string& path) {
  return bench::Scan(path, velmora::RunAndroidSmsScan, velmora::SmsRecords);
}

Result Walk(const std::string& path) { return bench::Walk(path, velmora::AndroidSmsKind()); }

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/velmora-bench";
  const std::uintmax_t minBytes = MinBytesArg(argc, argv);
  std::filesystem::create_directories(dir);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::string path = dir + "/mmssms.db";
  EnsureDatabase(path, minBytes, Build);
  const double fileMB = FileMB(path);

  const std::string only = argc > 3 ? argv[3] : "";
  if (only == "scan" || only == "walk") {  // one run in this process (for a profiler)
    const Result r = only == "scan" ? Scan(path) : Walk(path);
    std::printf("android-sms %s %.0f MB/s  whole scan %.2f s  hits %ld (%ld deleted)\n", only.c_str(),
                MBs(r), r.totalSeconds, r.hits, r.deleted);
    return 0;
  }
  const double loopMBs = ByteLoopMBs(path);
  std::printf("android-sms file %.1f MB  byte loop %.0f MB/s\n", fileMB, loopMBs);
  const Result scan = Best(2, [&] { return Scan(path); });
  const double mbs = MBs(scan);
  std::printf("android-sms scanner %6.0f MB/s  ratio %.2f  whole scan %.2f s  hits %ld (%ld "
              "deleted)  peak RSS %.1f MB (file + %.1f MB)\n",
              mbs, mbs / loopMBs, scan.totalSeconds, scan.hits, scan.deleted,
              RssMB(scan), RssMB(scan) - fileMB);
  const Result walk = Best(2, [&] { return Walk(path); });
  const double wmbs = MBs(walk);
  std::printf("android-sms walk with hits only counted %6.0f MB/s  ratio %.2f  hits %ld (%ld "
              "deleted)  peak RSS %.1f MB (file + %.1f MB)\n",
              wmbs, wmbs / loopMBs, walk.hits, walk.deleted, RssMB(walk), RssMB(walk) - fileMB);
  return 0;
}
