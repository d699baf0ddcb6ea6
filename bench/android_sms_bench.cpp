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
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/AndroidSmsScanner.h"
#include "engine/CarvingEngine.h"
#include "engine/MyFuns_.h"
#include "engine/RecordingScanView.h"
#include "engine/ScanContext.h"
#include "platform/MessageBox.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kMB = 1024.0 * 1024.0;

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

void Exec(sqlite3* db, const std::string& sql) {
  Check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, sql.c_str());
}

struct Rng {
  std::uint64_t seed = 20240607;
  std::uint64_t operator()() {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return seed >> 33;
  }
};

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
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db, "open");
  Exec(db, "PRAGMA page_size=4096; PRAGMA secure_delete=OFF; PRAGMA journal_mode=OFF; "
           "PRAGMA synchronous=OFF");
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
  Rng rng;
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

// A list that counts its rows without keeping them.
class CountingView : public velmora::RecordingScanView {
 public:
  std::size_t count = 0;
  void ResultListClear() override { count = 0; }
  void ResultListAddRow(std::vector<std::string>) override { ++count; }
  std::size_t ResultListRowCount() const override { return count; }
};

struct Result {
  double walkSeconds = 0;
  double totalSeconds = 0;
  double bytes = 0;
  long hits = 0;
  long deleted = 0;
  long maxRssKb = 0;
};

// Runs `job` in a child process; the parent takes the child's peak memory.
template <typename Job>
Result InChild(Job job) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    Result r = job();
    if (write(fds[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  Result r;
  if (read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) std::exit(1);
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  r.maxRssKb = usage.ru_maxrss;
  return r;
}

__attribute__((noinline, optimize("no-tree-vectorize"))) std::uint64_t ByteLoop(
    const std::vector<std::uint8_t>& image) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < image.size(); ++i) sum += image[i];
  return sum;
}

Result ByteLoopRun(const std::string& path) {
  return InChild([&] {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> image(std::filesystem::file_size(path));
    in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
    double best = 1e9;
    std::uint64_t sink = 0;
    for (int i = 0; i < 3; ++i) {
      const auto t0 = Clock::now();
      sink += ByteLoop(image);
      best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return Result{best, best, static_cast<double>(image.size()), static_cast<long>(sink & 1), 0, 0};
  });
}

void Prepare(const std::string& path) {
  velmora::ResetScanContext();
  velmora::SetProgramFormats();
  velmora::SourceRawPath = path;
  velmora::SourceDbPath = path;
}

Result Scan(const std::string& path) {
  Prepare(path);
  platform::ScriptedMessageBoxes boxes;
  CountingView view;
  const auto t0 = Clock::now();
  velmora::RunAndroidSmsScan(view);
  const double total = std::chrono::duration<double>(Clock::now() - t0).count();
  if (!boxes.shown().empty()) std::fprintf(stderr, "box: %s\n", boxes.shown()[0].text.c_str());
  long deleted = 0;
  for (const auto& r : velmora::SmsRecords) deleted += r.Deleted ? 1 : 0;
  const auto& stats = velmora::LastCarveRunStats();
  return {stats.walkSeconds, total, static_cast<double>(stats.imageBytes),
          static_cast<long>(velmora::SmsRecords.size()), deleted, 0};
}

Result Walk(const std::string& path) {
  Prepare(path);
  platform::ScriptedMessageBoxes boxes;
  CountingView view;
  velmora::CarveKind kind = velmora::AndroidSmsKind();
  long hits = 0;
  long deleted = 0;
  kind.onHit = [&](const velmora::CarvedRecord&, bool live, velmora::CarveRun&) {
    ++hits;
    deleted += live ? 0 : 1;
  };
  const auto t0 = Clock::now();
  velmora::RunCarve(view, kind);
  const double total = std::chrono::duration<double>(Clock::now() - t0).count();
  const auto& stats = velmora::LastCarveRunStats();
  return {stats.walkSeconds, total, static_cast<double>(stats.imageBytes), hits, deleted, 0};
}

// Best of `runs` by walk time, with the largest peak memory of them.
template <typename Job>
Result Best(int runs, Job job) {
  Result best{};
  for (int i = 0; i < runs; ++i) {
    const Result r = InChild(job);
    const long rss = std::max(best.maxRssKb, r.maxRssKb);
    if (i == 0 || r.walkSeconds < best.walkSeconds) best = r;
    best.maxRssKb = rss;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/velmora-bench";
  const std::uintmax_t minBytes = (argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 200) * 1024 * 1024;
  std::filesystem::create_directories(dir);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::string path = dir + "/mmssms.db";
  if (!std::filesystem::exists(path) || std::filesystem::file_size(path) < minBytes) Build(path, minBytes);
  const double fileMB = static_cast<double>(std::filesystem::file_size(path)) / kMB;

  const std::string only = argc > 3 ? argv[3] : "";
  if (only == "scan" || only == "walk") {  // one run in this process (for a profiler)
    const Result r = only == "scan" ? Scan(path) : Walk(path);
    std::printf("android-sms %s %.0f MB/s  whole scan %.2f s  hits %ld (%ld deleted)\n", only.c_str(),
                r.bytes / kMB / r.walkSeconds, r.totalSeconds, r.hits, r.deleted);
    return 0;
  }
  const Result loop = ByteLoopRun(path);
  const double loopMBs = loop.bytes / kMB / loop.walkSeconds;
  std::printf("android-sms file %.1f MB  byte loop %.0f MB/s\n", fileMB, loopMBs);
  const Result scan = Best(2, [&] { return Scan(path); });
  const double mbs = scan.bytes / kMB / scan.walkSeconds;
  std::printf("android-sms scanner %6.0f MB/s  ratio %.2f  whole scan %.2f s  hits %ld (%ld "
              "deleted)  peak RSS %.1f MB (file + %.1f MB)\n",
              mbs, mbs / loopMBs, scan.totalSeconds, scan.hits, scan.deleted,
              scan.maxRssKb / 1024.0, scan.maxRssKb / 1024.0 - fileMB);
  const Result walk = Best(2, [&] { return Walk(path); });
  const double wmbs = walk.bytes / kMB / walk.walkSeconds;
  std::printf("android-sms walk with hits only counted %6.0f MB/s  ratio %.2f  hits %ld (%ld "
              "deleted)  peak RSS %.1f MB (file + %.1f MB)\n",
              wmbs, wmbs / loopMBs, walk.hits, walk.deleted, walk.maxRssKb / 1024.0,
              walk.maxRssKb / 1024.0 - fileMB);
  return 0;
}
