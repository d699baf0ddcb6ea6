// One scanner on one database, as the program runs it, in one line of
// figures. Run on demand (never in CI):
//
//   scan_bench KIND FILE
//   scan_bench --make KIND FILE [MIN_MB] [CONTACTS]
//   scan_bench --headless KIND FILE [RUNS]
//   scan_bench --window KIND FILE [RUNS]
//
// KIND is one of the names tools/carve takes. The first form prints
//
//   KIND file_mb=F records=N whole_s=T mb_per_s=M byte_loop_ratio=R
//        rss_over_file_mb=X bytes_per_record=B window_ratio=W
//
// (one line) from runs in separate processes on the same file:
//   - a plain byte-by-byte pass over the file's bytes, read as the scan
//     reads them (window by window), best of five;
//   - the kind's whole scanner without a window (result records kept, the
//     result list's model filled with every row): T its time,
//     N the list's rows, M = F / T, R = T over the byte pass's time, X its
//     peak resident memory less the file's size, B the memory it left in
//     use (heap and mapped blocks: records, rows and all they hold) over N;
//   - the same scan started from the kind's menu handler of the offscreen
//     main window: W its time over T.
// The headless and window scans run five times each, in turns; the
// fastest of each counts.
// The third and fourth forms run only the headless scan, or only the scan in
// the offscreen window, RUNS times (default 5) in this process, and print
// each run's time: steady targets for a profiler.
// The scan may patch bytes 18 and 19 of FILE's header, as the program does.
//
// The second form builds FILE as KIND's benchmark database of at least
// MIN_MB megabytes (default 64; the Android SMS database of that size holds
// about 300,000 messages, a seventh deleted). For contacts, CONTACTS sets the
// number of address-book contacts (default 3000).
#include <malloc.h>

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "BenchDatabases.h"
#include "app/AppGlobals.h"
#include "app/ProgramMain.h"
#include "app/ResultModel.h"
#include "app/T_Main.h"
#include "engine/AndroidCallScanner.h"
#include "engine/AndroidContactsScanner.h"
#include "engine/AndroidFixedSmsCarver.h"
#include "engine/AndroidSmsScanner.h"
#include "engine/IosCallScanner.h"
#include "engine/IosContactsScanner.h"
#include "engine/IosMessagesScanner.h"
#include "engine/WeChatScanner.h"

namespace {

using namespace bench;
using velmora::TMain;

struct Kind {
  const char* name;
  std::uint8_t code;
  void (*run)(velmora::ScanView&);
  void (TMain::*click)();
  void (*build)(const std::string&, std::uintmax_t);
};

// The kinds by the names tools/carve gives them.
const Kind kKinds[] = {
    {"calls", velmora::kKindCalls, velmora::RunIosCallScan, &TMain::IOSthjl1Click, BuildIosCalls},
    {"messages", velmora::kKindMessages, velmora::RunIosMessagesScan, &TMain::IOSdx1Click,
     BuildIosMessages},
    {"wechat", velmora::kKindWeChat, velmora::RunWeChatScan, &TMain::IOSwx1Click, BuildWeChat},
    {"contacts", velmora::kKindContacts, velmora::RunIosContactsScan, &TMain::IOStxl1Click,
     BuildAddressBook},
    {"android-calls", velmora::kKindCalls, velmora::RunAndroidCallScan, &TMain::Scan31Click,
     BuildAndroidCalls},
    {"android-sms", velmora::kKindMessages, velmora::RunAndroidSmsScan, &TMain::scan21Click,
     BuildAndroidSms},
    {"android-contacts", velmora::kKindContacts, velmora::RunAndroidContactsScan,
     &TMain::Scan11Click, BuildAndroidContacts},
    {"android-sms-fixed", velmora::kKindMessages, velmora::RunFixedLayoutSmsCarve,
     &TMain::Scan1Click, BuildAndroidSms},
};

// The memory in use: the heap's small blocks and mapped large ones, and the
// blocks the result arrays map for their records and texts.
double HeapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return static_cast<double>(m.uordblks + m.hblkhd + velmora::MappedBlockBytes());
}

// The program's result list without its window: every row goes into the
// list's model as the main window puts it there, a record's row as its
// index, shown at each message pump.
class HeadlessView : public velmora::RecordingScanView {
 public:
  velmora::ResultModel model;
  void ResultListClear() override { model.Clear(); }
  void ResultListAddRecord(std::uint8_t kind, std::size_t index) override {
    model.AppendRecord(kind, index);
  }
  void ResultListAddRow(std::vector<std::string> cells) override {
    model.AppendRow(std::move(cells));
  }
  std::size_t ResultListRowCount() const override { return model.Count(); }
  void PumpMessages() override {
    model.ShowPendingRows();
    RecordingScanView::PumpMessages();
  }
};

void ReportBoxes(const platform::ScriptedMessageBoxes& boxes) {
  for (const auto& box : boxes.shown()) std::fprintf(stderr, "box: %s\n", box.text.c_str());
}

// The whole scan without a window: its time, its rows, and the heap it
// left in use.
Result Headless(const Kind& kind, const std::string& path) {
  PrepareScan(path);
  velmora::ScanKind = kind.code;
  platform::ScriptedMessageBoxes boxes;
  HeadlessView view;
  view.model.SetColumns(velmora::ResultColumnSet(kind.code));
  malloc_trim(0);
  const double heapBefore = HeapInUse();
  const auto t0 = Clock::now();
  kind.run(view);
  view.model.ShowPendingRows();
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  const double heapAfter = HeapInUse();
  ReportBoxes(boxes);
  Result r;
  r.walkSeconds = seconds;
  r.totalSeconds = seconds;
  r.hits = static_cast<long>(view.model.Count());
  r.heapBytes = heapAfter - heapBefore;
  return r;
}

// The same scan from the kind's menu handler of the offscreen main window,
// the window's pending work done at its end.
Result InWindow(const Kind& kind, const std::string& path, int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  // The application as the program sets it up.
  velmora::UseCjkApplicationFont();
  velmora::PaintLargeFillsOnOneThread();
  char folder[] = "/tmp/velmora-scan-bench-XXXXXX";
  if (::mkdtemp(folder) == nullptr) std::exit(1);
  velmora::SetExecutableDirOverride(folder);
  platform::ScriptedMessageBoxes boxes;
  Result r;
  {
    TMain window;
    velmora::FirstActivation = false;
    window.show();
    QCoreApplication::processEvents();
    // The window painted whole once, as a user sees it before a scan (its
    // fonts loaded), so that the time below is the scan's.
    (void)window.grab();
    QCoreApplication::processEvents();
    PrepareScan(path);
    velmora::ScanKind = kind.code;
    window.SetResultColumns(kind.code);
    const auto t0 = Clock::now();
    (window.*kind.click)();
    QCoreApplication::processEvents();
    r.walkSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.totalSeconds = r.walkSeconds;
    r.hits = static_cast<long>(window.ResultListRowCount());
  }
  ReportBoxes(boxes);
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return r;
}

// Runs of each scan; the fastest counts.
constexpr int kRounds = 5;

int Usage() {
  std::string names;
  for (const Kind& k : kKinds) names += std::string(names.empty() ? "" : "|") + k.name;
  std::fprintf(stderr,
               "usage: scan_bench %s FILE\n"
               "       scan_bench --make KIND FILE [MIN_MB] [CONTACTS]\n"
               "       scan_bench --headless KIND FILE [RUNS]\n"
               "       scan_bench --window KIND FILE [RUNS]\n",
               names.c_str());
  return 2;
}

const Kind* FindKind(const char* name) {
  for (const Kind& k : kKinds)
    if (std::strcmp(name, k.name) == 0) return &k;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--make") == 0) {
    const Kind* kind = FindKind(argv[2]);
    if (!kind) return Usage();
    const std::string path = argv[3];
    const std::uintmax_t minBytes = (argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 64) << 20;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
    if (std::strcmp(kind->name, "contacts") == 0 && argc > 5) {
      BuildAddressBookOf(path, minBytes, std::atoi(argv[5]));
    } else {
      kind->build(path, minBytes);
    }
    return 0;
  }
  const bool windowRuns = argc >= 4 && std::strcmp(argv[1], "--window") == 0;
  if (windowRuns || (argc >= 4 && std::strcmp(argv[1], "--headless") == 0)) {
    const Kind* kind = FindKind(argv[2]);
    if (!kind) return Usage();
    const int runs = argc > 4 ? std::atoi(argv[4]) : 5;
    for (int i = 0; i < runs; ++i) {
      const Result r = windowRuns ? InWindow(*kind, argv[3], argc, argv) : Headless(*kind, argv[3]);
      std::printf("%s%s records=%ld whole_s=%.3f\n", kind->name, windowRuns ? " window" : "", r.hits,
                  r.totalSeconds);
    }
    return 0;
  }
  if (argc != 3) return Usage();
  const Kind* kind = FindKind(argv[1]);
  if (!kind) return Usage();
  const std::string path = argv[2];
  if (!std::filesystem::exists(path)) {
    std::fprintf(stderr, "no file %s (make one with --make)\n", path.c_str());
    return 1;
  }

  const double fileMB = FileMB(path);
  const double loopSeconds = fileMB / FileByteLoopMBs(path);
  // Headless and window runs in turns, so that a machine busy for a while
  // slows both alike; the fastest of each, with the headless runs' largest
  // peak memory.
  Result headless{};
  Result window{};
  for (int i = 0; i < kRounds; ++i) {
    const Result h = InChild([&] { return Headless(*kind, path); });
    const Result w = InChild([&] { return InWindow(*kind, path, argc, argv); });
    const long rss = std::max(headless.maxRssKb, h.maxRssKb);
    if (i == 0 || h.totalSeconds < headless.totalSeconds) headless = h;
    if (i == 0 || w.totalSeconds < window.totalSeconds) window = w;
    headless.maxRssKb = rss;
  }
  if (window.hits != headless.hits) {
    std::fprintf(stderr, "the window listed %ld rows, the headless scan %ld\n", window.hits,
                 headless.hits);
  }
  const double records = static_cast<double>(headless.hits);
  std::printf("%s file_mb=%.1f records=%ld whole_s=%.3f mb_per_s=%.1f byte_loop_ratio=%.2f "
              "rss_over_file_mb=%.1f bytes_per_record=%.0f window_ratio=%.2f\n",
              kind->name, fileMB, headless.hits, headless.totalSeconds,
              fileMB / headless.totalSeconds, headless.totalSeconds / loopSeconds,
              RssMB(headless) - fileMB, records > 0 ? headless.heapBytes / records : 0.0,
              window.totalSeconds / headless.totalSeconds);
  return 0;
}
