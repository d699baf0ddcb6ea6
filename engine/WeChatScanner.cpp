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

// The message time as text: createtime holds seconds since 1970-01-01.
bool WeChatTimeText(const CarvedRecord& rec, const CarveRun& run, std::string& text) {
  std::int64_t seconds = 0;
  if (!TryTextToInt64(rec.Text(run.keys[kCreateTime]), seconds)) return false;
  text = UnixMsToText(SecondsToMs(seconds));
  return true;
}

// The time text the checks made for the candidate they passed, for its hit.
struct WeChatRunState {
  std::size_t offset = 0;
  std::string time;
};

CheckResult CheckWeChat(const CarvedRecord& rec, CarveRun& run, WeChatRunState& st) {
  const std::string status = rec.Text(run.keys[kStatus]);
  if (status.empty() || status == "NULL") return CheckResult::Miss;
  std::int64_t value = 0;
  if (!TryTextToInt64(status, value)) return CheckResult::Skip;
  if (value > 144) return CheckResult::Miss;
  std::string time;
  if (!WeChatTimeText(rec, run, time)) return CheckResult::Skip;
  std::int64_t year = 0;
  if (!TryYearOfTimeText(time, year)) return CheckResult::Skip;
  if (year < 2000 || year > 2099) return CheckResult::Miss;
  st.offset = rec.Offset();
  st.time = std::move(time);
  return CheckResult::Pass;
}

void AddWeChat(const CarvedRecord& rec, bool live, CarveRun& run, WeChatRunState& st) {
  std::string time;
  if (st.offset == rec.Offset()) {
    time = std::move(st.time);
  } else {
    WeChatTimeText(rec, run, time);
  }
  std::int64_t statusValue = 0;
  TryTextToInt64(rec.Text(run.keys[kStatus]), statusValue);
  const char* direction = WeChatDirectionText(statusValue);
  // Hit n goes to index n (the array is not emptied at the start).
  const auto n = static_cast<std::size_t>(run.hits);
  PWXValue& w = ResultSlot(WeChatRecords, n);
  w.Address.clear();
  w.TypeText = direction;
  w.Deleted = !live;
  w.DateText = std::move(time);
  w.Message = rec.Text(run.keys[kMessage]);
  run.view.ResultListAddRecord(kKindWeChat, n);
}

}  // namespace

const char* WeChatDirectionText(std::int64_t status) {
  switch (status) {
    case 2: return "发送";
    case 4: return "接收";
    default: return "其它";
  }
}

CarveKind WeChatKind() {
  auto state = std::make_shared<WeChatRunState>();
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
  k.check = [state](const CarvedRecord& rec, CarveRun& run) { return CheckWeChat(rec, run, *state); };
  k.onHit = [state](const CarvedRecord& rec, bool live, CarveRun& run) {
    AddWeChat(rec, live, run, *state);
  };
  k.statusText = " 条微信记录, ";
  k.logText = " 条微信记录, 其中有";
  return k;
}

void RunWeChatScan(ScanView& view) {
  const CarveKind kind = WeChatKind();
  RunCarve(view, kind);
}

}  // namespace velmora
