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
// For each: MB/s of the walk (the file read window by window included) and
// of the whole run, the ratio to the byte pass, and peak resident memory
// against the file size.
#include <cstdio>
#include <filesystem>
#include <string>

#include "BenchSupport.h"
#include "engine/IosCallScanner.h"

namespace {

using namespace bench;

void BuildDatabase(const std::string& path, std::uintmax_t minBytes) {
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

// The call scanner: the whole of it (result records kept, list rows
// counted), or its page walk with the hits only counted.
Result Scan(const std::string& path, bool keepRecords) {
  if (keepRecords) return bench::Scan(path, velmora::RunIosCallScan, velmora::CallRecords);
  return Walk(path, velmora::IosCallKind());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "/tmp/velmora-bench/calls.db";
  const std::uintmax_t minBytes = MinBytesArg(argc, argv);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  EnsureDatabase(path, minBytes, BuildDatabase);
  const double fileMB = FileMB(path);
  if (argc > 3 && std::string(argv[3]) == "walk") {  // one walk in this process, for a profiler
    const Result r = Scan(path, false);
    std::printf("page walk: %.0f MB/s, %ld hits\n", MBs(r), r.hits);
    return 0;
  }
  std::printf("database: %.1f MB\n", fileMB);

  // Baseline: a plain byte-by-byte pass over the same image, best of three.
  const double loopMBs = ByteLoopMBs(path);
  std::printf("byte loop:            %8.0f MB/s\n", loopMBs);

  auto report = [&](const char* label, const Result& r) {
    const double mbs = MBs(r);
    // The walk reads the file as it goes: its time includes the reads.
    // "whole run" counts the set-up and finish too.
    std::printf("%-21s %8.0f MB/s  ratio to byte loop %.2f  whole run %.0f MB/s  hits %ld  "
                "peak RSS %.1f MB (file %.1f MB, file + %.1f MB)\n",
                label, mbs, mbs / loopMBs, r.bytes / kMB / r.totalSeconds, r.hits, RssMB(r), fileMB,
                RssMB(r) - fileMB);
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
