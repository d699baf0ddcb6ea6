#include "engine/ScanView.h"

#include <utility>

#include "engine/MyFuns_.h"
#include "engine/ResultRows.h"

namespace velmora {

void AddSystemLog(ScanView& view, const std::string& message) {
  view.AddLogRow("System", TodayText(), NowTimeText(), message);
}

void AddCallResult(ScanView& view, PCallValue call) {
  const std::size_t n = CallRecords.size();
  ResultSlot(CallRecords, n) = std::move(call);
  view.ResultListAddRecord(kKindCalls, n);
}

}  // namespace velmora
