#include "engine/ScanView.h"

#include "engine/MyFuns_.h"

namespace velmora {

void AddSystemLog(ScanView& view, const std::string& message) {
  view.AddLogRow("System", TodayText(), NowTimeText(), message);
}

}  // namespace velmora
