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

#include "BenchDatabases.h"
#include "engine/IosContactsScanner.h"
#include "engine/IosMessagesScanner.h"
#include "engine/WeChatScanner.h"

namespace {

using namespace bench;

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
      {"messages", dir + "/sms.db", BuildIosMessages,
       [](const std::string& p) { return Scan(p, velmora::RunIosMessagesScan, velmora::SmsRecords); },
       [](const std::string& p) { return Walk(p, velmora::IosMessagesKind()); }},
      {"wechat", dir + "/MM.sqlite", BuildWeChat,
       [](const std::string& p) { return Scan(p, velmora::RunWeChatScan, velmora::WeChatRecords); },
       [](const std::string& p) { return Walk(p, velmora::WeChatKind()); }},
      {"contacts", dir + "/AddressBook.sqlitedb", BuildAddressBook,
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
