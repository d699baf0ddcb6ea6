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

#include "BenchDatabases.h"
#include "engine/AndroidSmsScanner.h"

namespace {

using namespace bench;

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
  EnsureDatabase(path, minBytes, BuildAndroidSms);
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
