// What the result list costs on an Android SMS scan: the bytes kept per
// record (the record and everything the list keeps for it) and the time of
// the scan in the offscreen main window against the same scan headless, its
// rows going to a list model with no view. Run on demand:
//
//   gui_list_memory_bench FILE
//
// FILE is an Android message database, for example the one
// android_sms_bench builds (DIR/mmssms.db).
#include <malloc.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/AppGlobals.h"
#include "app/ResultModel.h"
#include "app/T_Main.h"
#include "engine/AndroidSmsScanner.h"
#include "engine/CarvingEngine.h"
#include "engine/RecordingScanView.h"
#include "engine/ScanContext.h"
#include "platform/MessageBox.h"

namespace {

using Clock = std::chrono::steady_clock;

// A headless scan's view whose result list is a list model, as the window's
// is, shown to no view.
class ModelView : public velmora::RecordingScanView {
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
  void PumpMessages() override { model.ShowPendingRows(); }
};

// A headless scan's view that only counts the rows.
class CountingView : public velmora::RecordingScanView {
 public:
  std::size_t count = 0;
  void ResultListClear() override { count = 0; }
  void ResultListAddRecord(std::uint8_t, std::size_t) override { ++count; }
  void ResultListAddRow(std::vector<std::string>) override { ++count; }
  std::size_t ResultListRowCount() const override { return count; }
};

// Bytes the heap has handed out, mapped blocks included.
double HeapBytes() {
  malloc_trim(0);
  const struct mallinfo2 m = mallinfo2();
  return static_cast<double>(m.uordblks) + static_cast<double>(m.hblkhd);
}

void SetSource(const std::string& path) {
  velmora::SourceRawPath = path;
  velmora::SourceDbPath = path;
  velmora::SourceMode = 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc < 2) {
    std::fprintf(stderr, "usage: gui_list_memory_bench FILE\n");
    return 2;
  }
  QApplication app(argc, argv);
  const std::string path = argv[1];
  const double fileMB = static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);

  char tmpl[] = "/tmp/velmora-bench-XXXXXX";
  if (::mkdtemp(tmpl) == nullptr) return 1;
  velmora::SetExecutableDirOverride(tmpl);
  platform::ScriptedMessageBoxes boxes;
  velmora::TMain window;
  velmora::FirstActivation = false;
  window.show();
  QCoreApplication::processEvents();

  // Memory: the records and the headless list of one scan.
  double bytesPerRecord = 0;
  std::size_t records = 0;
  {
    ModelView view;
    velmora::ClearResultArrays();
    SetSource(path);
    const double before = HeapBytes();
    velmora::RunAndroidSmsScan(view);
    view.model.ShowPendingRows();
    view.log.clear();
    view.log.shrink_to_fit();
    const double after = HeapBytes();
    records = velmora::SmsRecords.size();
    bytesPerRecord = (after - before) / static_cast<double>(std::max<std::size_t>(records, 1));
    std::printf("records %zu  list rows %zu  sizeof(PSMSvalue) %zu  array room %zu\n", records,
                view.model.Count(), sizeof(velmora::PSMSvalue), velmora::SmsRecords.capacity());
    view.model.Clear();
    velmora::ClearResultArrays();
  }

  // Time: the best of three scans each way, alternating: headless into a
// list model, headless with the rows only counted, and in the window.
  double headless = 1e9, windowed = 1e9, counted = 1e9;
  std::size_t insertions = 0;
  QObject::connect(window.ListModel, &QAbstractItemModel::rowsInserted,
                   [&insertions] { ++insertions; });
  for (int round = 0; round < 3; ++round) {
    {
      ModelView view;
      velmora::ClearResultArrays();
      SetSource(path);
      const auto t0 = Clock::now();
      velmora::RunAndroidSmsScan(view);
      view.model.ShowPendingRows();
      headless = std::min(headless, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    {
      CountingView view;
      velmora::ClearResultArrays();
      SetSource(path);
      const auto t0 = Clock::now();
      velmora::RunAndroidSmsScan(view);
      counted = std::min(counted, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    velmora::ClearResultArrays();
    window.ResultListClear();
    SetSource(path);
    insertions = 0;
    const auto t0 = Clock::now();
    window.scan21Click();
    windowed = std::min(windowed, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  std::printf("file %.1f MB  bytes_per_record %.0f (target 400)\n", fileMB, bytesPerRecord);
  std::printf("headless %.3f s  window %.3f s  window_ratio %.2f (target 1.2)  list insertions "
              "%zu for %zu rows\n",
              headless, windowed, windowed / headless, insertions, window.ResultListRowCount());
  std::printf("headless with the rows only counted %.3f s  window over it %.2f\n", counted,
              windowed / counted);
  std::error_code ec;
  std::filesystem::remove_all(tmpl, ec);
  return 0;
}
