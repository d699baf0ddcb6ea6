// Benchmark of the carving engine's page walk on a large iOS call history
// database. Run on demand (never in CI):
//
//   carve_bench [DB_PATH] [MIN_MB] [walk]
//
// Builds (or reuses) a call database of at least MIN_MB megabytes (default
// 200) with the phone's table layout, a tenth of its rows deleted, then
// measures in separate processes:
//   - a plain byte-by-byte pass over the same image (the baseline),
//   - the page walk of the call scanner with the hits only counted,
//   - the whole call scanner (result records kept, list rows counted).
// For each: MB/s of the walk, the ratio to the byte pass, and peak resident
// memory against the file size.
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/CarvingEngine.h"
#include "engine/IosCallScanner.h"
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

void BuildDatabase(const std::string& path, std::uintmax_t minBytes) {
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db, "open");
  Check(sqlite3_exec(db,
                     "PRAGMA page_size=4096; PRAGMA secure_delete=OFF; PRAGMA journal_mode=OFF;"
                     "PRAGMA synchronous=OFF;"
                     "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, "
                     "date INTEGER, duration INTEGER, flags INTEGER, id INTEGER, name TEXT, "
                     "country_code TEXT, network_code TEXT, read INTEGER, assisted INTEGER, "
                     "face_time_data BLOB, originalAddress TEXT);",
                     nullptr, nullptr, nullptr),
        db, "schema");
  sqlite3_stmt* ins = nullptr;
  Check(sqlite3_prepare_v2(db,
                           "INSERT INTO call (address, date, duration, flags, id, name, country_code, "
                           "network_code, read, assisted, face_time_data, originalAddress) VALUES "
                           "(?1, ?2, ?3, ?4, -1, ?5, '460', '00', 1, 0, NULL, ?1)",
                           -1, &ins, nullptr),
        db, "prepare");
  std::uint64_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return seed >> 33;
  };
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
  double bytes = 0;
  long hits = 0;
  long maxRssKb = 0;
};

// Runs `job` in a child process; the child writes walk seconds, bytes and hits
// to a pipe, the parent takes the child's peak memory from wait4.
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

Result Scan(const std::string& path, bool keepRecords) {
  velmora::ResetScanContext();
  velmora::SetProgramFormats();
  velmora::SourceRawPath = path;
  velmora::SourceDbPath = path;
  platform::ScriptedMessageBoxes boxes;
  CountingView view;
  long hits = 0;
  if (keepRecords) {
    velmora::RunIosCallScan(view);
    hits = static_cast<long>(velmora::CallRecords.size());
  } else {
    velmora::CarveKind kind = velmora::IosCallKind();
    kind.onHit = [&hits](const velmora::CarvedRecord&, bool, velmora::CarveRun&) { ++hits; };
    velmora::RunCarve(view, kind);
  }
  const auto& stats = velmora::LastCarveRunStats();
  return {stats.walkSeconds, static_cast<double>(stats.imageBytes), hits, 0};
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "/tmp/velmora-bench/calls.db";
  const std::uintmax_t minBytes = (argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 200) * 1024 * 1024;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  if (!std::filesystem::exists(path) || std::filesystem::file_size(path) < minBytes)
    BuildDatabase(path, minBytes);
  const double fileMB = static_cast<double>(std::filesystem::file_size(path)) / kMB;
  if (argc > 3 && std::string(argv[3]) == "walk") {  // one walk in this process, for a profiler
    const Result r = Scan(path, false);
    std::printf("page walk: %.0f MB/s, %ld hits\n", r.bytes / kMB / r.walkSeconds, r.hits);
    return 0;
  }
  std::printf("database: %.1f MB\n", fileMB);

  // Baseline: a plain byte-by-byte pass over the same image, best of three.
  double loopMBs = 0;
  {
    const Result r = InChild([&] {
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
      return Result{best, static_cast<double>(image.size()), static_cast<long>(sink & 1), 0};
    });
    loopMBs = r.bytes / kMB / r.walkSeconds;
    std::printf("byte loop:            %8.0f MB/s\n", loopMBs);
  }

  auto report = [&](const char* label, const Result& r) {
    const double mbs = r.bytes / kMB / r.walkSeconds;
    std::printf("%-21s %8.0f MB/s  ratio to byte loop %.2f  hits %ld  peak RSS %.1f MB "
                "(file %.1f MB, file + %.1f MB)\n",
                label, mbs, mbs / loopMBs, r.hits, r.maxRssKb / 1024.0, fileMB,
                r.maxRssKb / 1024.0 - fileMB);
  };
  // Best of three walks, the peak memory of the last.
  Result walk{};
  for (int i = 0; i < 3; ++i) {
    const Result r = InChild([&] { return Scan(path, false); });
    if (i == 0 || r.walkSeconds < walk.walkSeconds) walk = r;
    walk.maxRssKb = r.maxRssKb;
  }
  report("page walk:", walk);
  report("call scanner (full):", InChild([&] { return Scan(path, true); }));
  return 0;
}
