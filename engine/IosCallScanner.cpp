#include "engine/IosCallScanner.h"

#include "engine/MyFuns_.h"
#include "engine/ResultRows.h"

namespace velmora {

namespace {

// Key columns, in key order.
enum Key { kAddress = 0, kName = 1, kDate = 2, kDuration = 3, kFlags = 4 };

// The call time as text: the date column holds seconds since 1970-01-01.
CheckResult CheckCall(const CarvedRecord& rec, CarveRun& run) {
  static constexpr TypeAndYearCheck kCheck{kFlags, 144, kDate, TimeBase::Unix, true, 2000, 2099};
  return CheckTypeAndYear(rec, run, kCheck);
}

void AddCall(const CarvedRecord& rec, bool live, CarveRun& run) {
  const std::size_t n = CallRecords.size();
  const std::int64_t seconds = run.checked[kCheckedDate];
  const std::int64_t flags = run.checked[kCheckedType];
  ResultPut(CallRecords, n, [&] {
    return PCallValue{.Name = KeepText(CallRecords, rec, run.keys[kName]),
                      .Number = KeepText(CallRecords, rec, run.keys[kAddress]),
                      .TypeText = RecordText::Constant(IosCallTypeText(flags)),
                      .Duration = KeepText(CallRecords, rec, run.keys[kDuration]),
                      .DateText = RecordTime::Unix(SecondsToMs(seconds)),
                      .Deleted = !live};
  });
  run.view.ResultListAddRecord(kKindCalls, n);
}

}  // namespace

std::string_view IosCallTypeText(std::int64_t flags) {
  switch (flags) {
    case 0: return "呼出";
    case 1: return "呼入";
    case 2: return "未接通";
    default: return "其它";
  }
}

CarveKind IosCallKind() {
  CarveKind k;
  k.kindCode = kKindCalls;
  k.taggedTree = true;
  k.word = "通话记录";
  k.onSetUp = [] { CallRecords.clear(); };
  k.tableName = "call";
  k.missingTableText = "没有找到通话记录，扫描结束！";
  k.emptySchemaText = "没有找到通话记录，扫描结束！";
  k.bodyCut = 1;
  k.blobKind = true;
  k.keyNames = {"address", "name", "date", "duration", "flags"};
  k.requiredKeys = {"date", "flags"};
  k.textBoundFactor = 1;
  k.check = CheckCall;
  k.onHit = AddCall;
  k.statusText = " 条通话记录, ";
  k.logText = " 条通话记录, 其中有";
  return k;
}

void RunIosCallScan(ScanView& view) {
  static const CarveKind kind = IosCallKind();
  RunCarve(view, kind);
}

}  // namespace velmora
