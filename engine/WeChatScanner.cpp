#include "engine/WeChatScanner.h"

#include <cstdint>
#include <memory>

#include "engine/MyFuns_.h"
#include "engine/ResultRows.h"

namespace velmora {

std::string RenderWeChatBody(std::string_view message) {
  constexpr std::string_view kVoiceStart = "<msg><voicemsg";
  constexpr std::string_view kImageStart = "<msg><img ";
  constexpr std::string_view kVoiceLength = "voicelength=\"";
  constexpr std::size_t kPieceLength = 8;

  if (message.starts_with(kVoiceStart)) {
    const std::size_t at = message.find(kVoiceLength);
    if (at != std::string_view::npos) {
      std::string_view piece = message.substr(at + kVoiceLength.size(), kPieceLength);
      const std::size_t quote = piece.find('"');
      // Without a closing quote within the eight characters the piece is empty.
      piece = quote == std::string_view::npos ? std::string_view() : piece.substr(0, quote);
      std::int64_t ms = 0;
      if (TryTextToInt64(piece, ms)) {
        return "<语音消息 时间：" + std::to_string(ms / 1000) + " 秒>";
      }
    }
    return "<语音消息>";
  }
  if (message.starts_with(kImageStart)) return "<图片消息>";
  return std::string(message);
}

}  // namespace velmora

namespace velmora {

namespace {

// Key columns, in key order.
enum Key { kCreateTime = 0, kMessage = 1, kStatus = 2 };

// The checks: a status of at most 144, and a time (createtime holds
// seconds since 1970-01-01) whose text starts with a year from 2000 to 2099.
CheckResult CheckWeChat(const CarvedRecord& rec, CarveRun& run) {
  static constexpr TypeAndYearCheck kCheck{kStatus, 144, kCreateTime, TimeBase::Unix, true, 2000, 2099};
  return CheckTypeAndYear(rec, run, kCheck);
}

void AddWeChat(const CarvedRecord& rec, bool live, CarveRun& run) {
  const std::int64_t seconds = run.checked[kCheckedDate];
  const std::int64_t statusValue = run.checked[kCheckedType];
  // Hit n goes to index n (the array is not emptied at the start).
  const auto n = static_cast<std::size_t>(run.hits);
  ResultPut(WeChatRecords, n, [&] {
    return PWXValue{.Address = {},
                    .DateText = RecordTime::Unix(SecondsToMs(seconds)),
                    .TypeText = RecordText::Constant(WeChatDirectionText(statusValue)),
                    .Message = KeepText(WeChatRecords, rec, run.keys[kMessage]),
                    .Deleted = !live};
  });
  run.view.ResultListAddRecord(kKindWeChat, n);
}

}  // namespace

std::string_view WeChatDirectionText(std::int64_t status) {
  switch (status) {
    case 2: return "发送";
    case 4: return "接收";
    default: return "其它";
  }
}

CarveKind WeChatKind() {
  CarveKind k;
  k.kindCode = kKindWeChat;
  k.taggedTree = true;
  k.word = "微信记录";
  k.rootSetUpText = "微信";
  k.schemaQuery = kWeChatSchemaQuery;
  k.missingTableText = "没有找到微信记录，扫描结束！";
  k.emptySchemaText = "没有找到微信记录，扫描结束！";
  k.bodyCut = 1;
  k.blobKind = true;
  k.keyNames = {"createtime", "message", "status"};
  k.requiredKeys = {"createtime", "status"};
  k.textBoundFactor = 1;
  k.check = CheckWeChat;
  k.onHit = AddWeChat;
  k.statusText = " 条微信记录, ";
  k.logText = " 条微信记录, 其中有";
  return k;
}

void RunWeChatScan(ScanView& view) {
  const CarveKind kind = WeChatKind();
  RunCarve(view, kind);
}

}  // namespace velmora
