#include "engine/ScanView.h"

#include <utility>

#include "engine/MyFuns_.h"

namespace velmora {

void AddSystemLog(ScanView& view, const std::string& message) {
  view.AddLogRow("System", TodayText(), NowTimeText(), message);
}

void AddCallResult(ScanView& view, PCallValue call) {
  std::vector<std::string> row;
  row.reserve(6);
  row.push_back(call.Number);
  row.push_back(call.Name);
  row.push_back(call.DateText);
  row.push_back(call.Duration);
  row.push_back(call.TypeText);
  row.emplace_back(StatusWord(call.Deleted));
  view.ResultListAddRow(std::move(row));
  CallRecords.push_back(std::move(call));
}

}  // namespace velmora
