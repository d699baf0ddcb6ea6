// Listing 1,000,000 call records into the main window's result list from the
// result array, and a sort of them by the number column and one by the
// Chinese name column. Run on demand:
//   build/bench/gui_list_bench [records]
#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/AppGlobals.h"
#include "app/ResultModel.h"
#include "app/T_Main.h"
#include "engine/MyFuns_.h"
#include "engine/ScanContext.h"
#include "platform/MessageBox.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const long count = argc > 1 ? std::atol(argv[1]) : 1000000;

  char tmpl[] = "/tmp/velmora-bench-XXXXXX";
  if (::mkdtemp(tmpl) == nullptr) return 1;
  velmora::SetExecutableDirOverride(tmpl);
  platform::ScriptedMessageBoxes boxes;
  velmora::TMain window;
  velmora::FirstActivation = false;
  window.show();
  QCoreApplication::processEvents();

  auto& calls = velmora::CallRecords;
  calls.reserve(static_cast<std::size_t>(count));
  for (long i = 0; i < count; ++i) {
    // Texts of realistic length; numbers in an order that the sort must move.
    const long n = (i * 7919) % count;
    calls.push_back({"联系人" + std::to_string(n % 5000), "1380013" + std::to_string(n),
                     i % 3 == 0 ? "呼出" : "呼入", std::to_string(n % 3600),
                     "2020-01-02 03:04:" + std::to_string(10 + n % 50), i % 4 == 0});
  }
  window.TreeInsertRootFirst("通话记录", "正常通话记录", "删除通话记录", velmora::kKindCalls);
  window.TreeView1->setCurrentItem(window.TreeView1->topLevelItem(0));

  QElapsedTimer timer;
  timer.start();
  window.TreeView1Click();
  QCoreApplication::processEvents();
  const double listSeconds = timer.nsecsElapsed() / 1e9;

  timer.restart();
  window.ListView1ColumnClick(0);
  QCoreApplication::processEvents();
  const double sortSeconds = timer.nsecsElapsed() / 1e9;

  timer.restart();
  window.ListView1ColumnClick(1);
  QCoreApplication::processEvents();
  const double chineseSortSeconds = timer.nsecsElapsed() / 1e9;

  std::printf("records %ld  rows %zu\n", count, window.ResultListRowCount());
  std::printf("list into ListView1: %.3f s (target about 1 s)\n", listSeconds);
  std::printf("sort by column 0:    %.3f s (target well under 1 s)\n", sortSeconds);
  std::printf("sort by column 1:    %.3f s (Chinese names, in the code page's order)\n",
              chineseSortSeconds);
  std::error_code ec;
  std::filesystem::remove_all(tmpl, ec);
  return 0;
}
