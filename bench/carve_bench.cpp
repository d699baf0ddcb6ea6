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

#include "BenchDatabases.h"
#include "engine/IosCallScanner.h"

namespace {

using namespace bench;

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
  EnsureDatabase(path, minBytes, BuildIosCalls);
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
