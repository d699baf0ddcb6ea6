#include "engine/AndroidSmsScanner.h"

#include <string>
#include <vector>

#include "engine/AndroidTemporaryCopy.h"
#include "engine/MyFuns_.h"
#include "engine/ResultRows.h"

namespace velmora {

namespace {

// Key columns, in key order.
enum Key { kAddress = 0, kDate = 1, kType = 2, kBody = 3 };

// The date column holds milliseconds since 1970-01-01.
CheckResult CheckMessage(const CarvedRecord& rec, CarveRun& run) {
  static constexpr TypeAndYearCheck kCheck{kType, 9, kDate, TimeBase::Unix, false, 1979, 2099};
  return CheckTypeAndYear(rec, run, kCheck);
}

void AddMessage(const CarvedRecord& rec, bool live, CarveRun& run) {
  const std::int64_t ms = run.checked[kCheckedDate];
  const std::int64_t type = run.checked[kCheckedType];
  const std::size_t n = SmsRecords.size();
  ResultPut(SmsRecords, n, [&] {
    return PSMSvalue{.Address = KeepText(SmsRecords, rec, run.keys[kAddress]),
                     .DateText = RecordTime::Unix(ms),
                     .TypeText = RecordText::Constant(AndroidSmsTypeText(type)),
                     .Body = KeepText(SmsRecords, rec, run.keys[kBody]),
                     .Deleted = !live};
  });
  run.view.ResultListAddRecord(kKindMessages, n);
}

}  // namespace

std::string_view AndroidSmsTypeText(std::int64_t type) {
  switch (type) {
    case 1: return "接收";
    case 2: return "发送";
    case 3: return "草稿";
    default: return "其它";
  }
}

CarveKind AndroidSmsKind() {
  CarveKind k;
  k.kindCode = kKindMessages;
  k.taggedTree = false;
  k.clearTreeFirst = true;
  k.word = "短信";
  k.onSetUp = [] { SmsRecords.clear(); };
  k.tableName = "sms";
  k.missingTableText = "没有找短信记录，扫描结束！";
  k.emptySchemaText = "没有找到短信记录，扫描结束！";
  k.bodyCut = 2;
  k.blobKind = false;
  k.keyNames = {"address", "date", "type", "body"};
  k.requiredKeys = {"type", "date"};
  k.requireDefaultColumns = true;
  k.textBoundFactor = 1;
  k.headerTest = HeaderTest::Varint;
  k.decodeBlobs = false;
  k.check = CheckMessage;
  k.onHit = AddMessage;
  k.statusText = " 条短信, ";
  k.logText = " 条短信, 其中有";
  k.afterFinishUi = [](CarveRun&) { DeleteTemporaryCopy("mmssms.db"); };
  return k;
}

void RunAndroidSmsScan(ScanView& view) {
  static const CarveKind kind = AndroidSmsKind();
  RunCarve(view, kind);
}

}  // namespace velmora
