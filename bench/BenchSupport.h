// What the engine benchmarks share: building their databases with SQLite,
// the byte-by-byte baseline, runs in child processes with their peak
// resident memory, the scanner and walk runs, and the MB/s of a result.
#pragma once

#include <sqlite3.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "engine/CarveImage.h"
#include "engine/CarvingEngine.h"
#include "engine/MyFuns_.h"
#include "engine/RecordingScanView.h"
#include "engine/ScanContext.h"
#include "platform/MessageBox.h"

namespace bench {

using Clock = std::chrono::steady_clock;
constexpr double kMB = 1024.0 * 1024.0;

inline void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

inline void Exec(sqlite3* db, const std::string& sql) {
  Check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, sql.c_str());
}

// Opens a fresh database at path for a bulk build.
inline sqlite3* FreshDatabase(const std::string& path) {
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db, "open");
  Exec(db, "PRAGMA page_size=4096; PRAGMA secure_delete=OFF; PRAGMA journal_mode=OFF; "
           "PRAGMA synchronous=OFF");
  return db;
}

// A linear congruential generator: the same rows on every build.
struct Rng {
  std::uint64_t seed = 12345;
  std::uint64_t operator()() {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return seed >> 33;
  }
};

// The minimum database size from the MIN_MB argument at argv[2] (default 200).
inline std::uintmax_t MinBytesArg(int argc, char** argv) {
  return (argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 200) * 1024 * 1024;
}

// Builds the database at path unless it is there with at least minBytes.
inline void EnsureDatabase(const std::string& path, std::uintmax_t minBytes,
                           void (*build)(const std::string&, std::uintmax_t)) {
  if (!std::filesystem::exists(path) || std::filesystem::file_size(path) < minBytes) build(path, minBytes);
}

inline double FileMB(const std::string& path) {
  return static_cast<double>(std::filesystem::file_size(path)) / kMB;
}

// A list that counts its rows without keeping them.
class CountingView : public velmora::RecordingScanView {
 public:
  std::size_t count = 0;
  void ResultListClear() override { count = 0; }
  void ResultListAddRecord(std::uint8_t, std::size_t) override { ++count; }
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
  double heapBytes = 0;  // heap left in use by the run, where measured
};

// MB/s of the walk.
inline double MBs(const Result& r) { return r.bytes / kMB / r.walkSeconds; }

inline double RssMB(const Result& r) { return r.maxRssKb / 1024.0; }

// Runs `job` in a child process; the child writes its result to a pipe, the
// parent takes the child's peak memory from wait4.
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

__attribute__((noinline, optimize("no-tree-vectorize"))) inline std::uint64_t ByteLoop(
    std::span<const std::uint8_t> image) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < image.size(); ++i) sum += image[i];
  return sum;
}

// The baseline: a plain byte-by-byte pass over the file's image, best of
// three, in a child process; its MB/s.
inline double ByteLoopMBs(const std::string& path) {
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
    return Result{.walkSeconds = best,
                  .totalSeconds = best,
                  .bytes = static_cast<double>(image.size()),
                  .hits = static_cast<long>(sink & 1)};
  });
  return MBs(r);
}

// The baseline of a whole scan: the file read as the scan reads it (a
// window of CarveWindowBytes at a time, positioned reads, the page cache
// warm) and a plain byte-by-byte pass over each window, best of five, in a
// child process; its MB/s.
inline double FileByteLoopMBs(const std::string& path) {
  const Result r = InChild([&] {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) std::exit(1);
    std::vector<std::uint8_t> window(velmora::CarveWindowBytes);
    double best = 1e9;
    std::uint64_t sink = 0;
    double bytes = 0;
    for (int i = 0; i < 5; ++i) {
      const auto t0 = Clock::now();
      off_t at = 0;
      for (;;) {
        const ssize_t n = ::pread(fd, window.data(), window.size(), at);
        if (n <= 0) break;
        sink += ByteLoop(std::span<const std::uint8_t>(window.data(), static_cast<std::size_t>(n)));
        at += n;
      }
      best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
      bytes = static_cast<double>(at);
    }
    ::close(fd);
    return Result{.walkSeconds = best, .totalSeconds = best, .bytes = bytes, .hits = static_cast<long>(sink & 1)};
  });
  return MBs(r);
}

// A scan context for the database at path with the program's formats.
inline void PrepareScan(const std::string& path) {
  velmora::ResetScanContext();
  velmora::SetProgramFormats();
  velmora::SourceRawPath = path;
  velmora::SourceDbPath = path;
}

// The whole scanner `run` (result records kept, list rows counted): the
// walk's time, the whole scan's, and the records it left, deleted or not.
template <typename Records>
Result Scan(const std::string& path, void (*run)(velmora::ScanView&), const Records& records) {
  PrepareScan(path);
  platform::ScriptedMessageBoxes boxes;
  CountingView view;
  const auto t0 = Clock::now();
  run(view);
  const double total = std::chrono::duration<double>(Clock::now() - t0).count();
  if (!boxes.shown().empty()) std::fprintf(stderr, "box: %s\n", boxes.shown()[0].text.c_str());
  long deleted = 0;
  for (const auto& r : records) deleted += r.Deleted ? 1 : 0;
  const auto& stats = velmora::LastCarveRunStats();
  return {stats.walkSeconds, total, static_cast<double>(stats.imageBytes),
          static_cast<long>(records.size()), deleted, 0};
}

// The page walk of `kind` with the per-hit work replaced by a count (the
// candidate test, decode, checks and look-ups still run).
inline Result Walk(const std::string& path, velmora::CarveKind kind) {
  PrepareScan(path);
  platform::ScriptedMessageBoxes boxes;
  CountingView view;
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

}  // namespace bench
