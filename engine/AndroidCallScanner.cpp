#include "engine/AndroidCallScanner.h"

#include "engine/AndroidTemporaryCopy.h"
#include "engine/MyFuns_.h"
#include "engine/ResultRows.h"

namespace velmora {

namespace {

// Key columns, in key order.
enum Key { kNumber = 0, kDate = 1, kDuration = 2, kName = 3, kType = 4 };

// The date column holds milliseconds since 1970-01-01.
CheckResult CheckCall(const CarvedRecord& rec, CarveRun& run) {
  static constexpr TypeAndYearCheck kCheck{kType, 144, kDate, TimeBase::Unix, false, 2000, 2099};
  return CheckTypeAndYear(rec, run, kCheck);
}

void AddCall(const CarvedRecord& rec, bool live, CarveRun& run) {
  const std::int64_t ms = run.checked[kCheckedDate];
  const std::int64_t type = run.checked[kCheckedType];
  const std::size_t n = CallRecords.size();
  ResultPut(CallRecords, n, [&] {
    return PCallValue{.Name = KeepText(CallRecords, rec, run.keys[kName]),
                      .Number = KeepText(CallRecords, rec, run.keys[kNumber]),
                      .TypeText = RecordText::Constant(AndroidCallTypeText(type)),
                      .Duration = KeepText(CallRecords, rec, run.keys[kDuration]),
                      .DateText = RecordTime::Unix(ms),
                      .Deleted = !live};
  });
  run.view.ResultListAddRecord(kKindCalls, n);
}

}  // namespace

std::string_view AndroidCallTypeText(std::int64_t type) {
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
  k.check = CheckCall;
  k.onHit = AddCall;
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
