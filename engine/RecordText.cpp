#include "engine/RecordText.h"

#include "engine/MyFuns_.h"

namespace velmora {

std::string_view RecordTime::Text(std::string& scratch) const {
  const std::uint8_t tag = text_.Tag();
  if (tag != RecordText::kUnixTime && tag != RecordText::kCocoaTime) return text_.view();
  std::int64_t ms = 0;
  std::memcpy(&ms, text_.raw_, sizeof ms);
  return tag == RecordText::kUnixTime ? UnixMsToText(ms, scratch) : CocoaMsToText(ms, scratch);
}

}  // namespace velmora
