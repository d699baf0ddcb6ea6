#include "engine/AndroidCallScanner.h"

#include <memory>

#include "engine/AndroidTemporaryCopy.h"
#include "engine/MyFuns_.h"
#include "engine/ResultRows.h"

namespace velmora {

namespace {

// Key columns, in key order.
enum Key { kNumber = 0, kDate = 1, kDuration = 2, kName = 3, kType = 4 };

// The values of the candidate whose checks passed last: its record takes
// them without converting the columns again.
struct CheckedCall {
  std::int64_t type = 0;
  std::int64_t ms = 0;
};

CheckResult CheckCall(const CarvedRecord& rec, CarveRun& run, CheckedCall& checked) {
  if (rec.IsNullOrEmpty(run.keys[kType])) return CheckResult::Miss;
  std::int64_t type = 0;
  if (!rec.TryInt64(run.keys[kType], type)) return CheckResult::Skip;
  if (type > 144) return CheckResult::Miss;
  // The date column holds milliseconds since 1970-01-01.
  std::int64_t ms = 0;
  if (!rec.TryInt64(run.keys[kDate], ms)) return CheckResult::Skip;
  std::int64_t year = 0;
  if (!TryYearOfMs(TimeBase::Unix, ms, year)) return CheckResult::Skip;
  if (year < 2000 || year > 2099) return CheckResult::Miss;
  checked = {type, ms};
  return CheckResult::Pass;
}

void AddCall(const CarvedRecord& rec, bool live, CarveRun& run, const CheckedCall& checked) {
  const std::int64_t ms = checked.ms;
  const std::int64_t type = checked.type;
  const std::size_t n = CallRecords.size();
  PCallValue& call = ResultSlot(CallRecords, n);
  call.Name = KeepText(CallRecords, rec, run.keys[kName]);
  call.Number = KeepText(CallRecords, rec, run.keys[kNumber]);
  call.TypeText = RecordText::Constant(AndroidCallTypeText(type));
  call.Duration = KeepText(CallRecords, rec, run.keys[kDuration]);
  call.DateText = RecordTime::Unix(ms);
  call.Deleted = !live;
  run.view.ResultListAddRecord(kKindCalls, n);
}

}  // namespace

const char* AndroidCallTypeText(std::int64_t type) {
  switch (type) {
    case 1: return "呼入";
    case 2: return "呼出";
    case 3: return "未接通";
    default: return "其它";
  }
}

CarveKind AndroidCallKind() {
  CarveKind k;
  k.kindCode = kKindCalls;
  k.taggedTree = false;
  k.clearTreeFirst = true;
  k.word = "通话记录";
  k.onSetUp = [] { CallRecords.clear(); };
  k.tableName = "calls";
  k.missingTableText = "没有找到通话记录，扫描结束！";
  k.emptySchemaText = "没有找到通话记录，扫描结束！";
  k.bodyCut = 1;
  k.blobKind = false;
  k.keyNames = {"number", "date", "duration", "name", "type"};
  k.requiredKeys = {"date", "type"};
  k.requireDefaultColumns = true;
  k.textBoundFactor = 1;
  k.headerTest = HeaderTest::Varint;
  k.decodeBlobs = false;
  auto checked = std::make_shared<CheckedCall>();
  k.check = [checked](const CarvedRecord& rec, CarveRun& run) { return CheckCall(rec, run, *checked); };
  k.onHit = [checked](const CarvedRecord& rec, bool live, CarveRun& run) { AddCall(rec, live, run, *checked); };
  k.statusText = " 条通话记录, ";
  k.logText = " 条通话记录, 其中有";
  k.afterFinishUi = [](CarveRun&) { DeleteTemporaryCopy("contacts2.db"); };
  return k;
}

void RunAndroidCallScan(ScanView& view) {
  static const CarveKind kind = AndroidCallKind();
  RunCarve(view, kind);
}

}  // namespace velmora
