#include "engine/ResultRows.h"

#include "engine/WeChatScanner.h"

namespace velmora {

namespace {

template <typename Record>
ListRow RowOf(const Record& r, std::uint8_t kind) {
  const std::size_t n = ResultRowCellCount(kind);
  ListRow row;
  row.reserve(n);
  std::string scratch;
  for (std::size_t i = 0; i < n; ++i) row.emplace_back(ResultCell(r, i, scratch));
  return row;
}

// Calls `f` with record `index` of `kind`'s array; `otherwise` when there is
// none.
template <typename F, typename R>
R WithRecord(std::uint8_t kind, std::size_t index, F&& f, R otherwise) {
  switch (kind) {
    case kKindContacts:
      return index < ContactRecords.size() ? f(ContactRecords[index]) : otherwise;
    case kKindMessages:
      return index < SmsRecords.size() ? f(SmsRecords[index]) : otherwise;
    case kKindCalls:
      return index < CallRecords.size() ? f(CallRecords[index]) : otherwise;
    case kKindWeChat:
      return index < WeChatRecords.size() ? f(WeChatRecords[index]) : otherwise;
    default:
      return otherwise;
  }
}

}  // namespace

std::size_t ResultRowCellCount(std::uint8_t kind) {
  switch (kind) {
    case kKindContacts: return 3;
    case kKindMessages: return 5;
    case kKindCalls: return 6;
    case kKindWeChat: return 4;
    default: return 0;
  }
}

std::string_view ResultCell(const PtelValue& r, std::size_t column, std::string&) {
  switch (column) {
    case 0: return r.Name;
    case 1: return r.Phone;
    case 2: return StatusWord(r.Deleted);
    default: return {};
  }
}

std::string_view ResultCell(const PSMSvalue& r, std::size_t column, std::string& scratch) {
  switch (column) {
    case 0: return r.Address;
    case 1: return r.DateText.Text(scratch);
    case 2: return r.TypeText;
    case 3: return StatusWord(r.Deleted);
    case 4: return r.Body;
    default: return {};
  }
}

std::string_view ResultCell(const PCallValue& r, std::size_t column, std::string& scratch) {
  switch (column) {
    case 0: return r.Number;
    case 1: return r.Name;
    case 2: return r.DateText.Text(scratch);
    case 3: return r.Duration;
    case 4: return r.TypeText;
    case 5: return StatusWord(r.Deleted);
    default: return {};
  }
}

std::string_view ResultCell(const PWXValue& r, std::size_t column, std::string& scratch) {
  switch (column) {
    case 0: return r.DateText.Text(scratch);
    case 1:
      scratch = RenderWeChatBody(r.Message);
      return scratch;
    case 2: return r.TypeText;
    case 3: return StatusWord(r.Deleted);
    default: return {};
  }
}

ListRow MakeResultRow(const PtelValue& r) { return RowOf(r, kKindContacts); }
ListRow MakeResultRow(const PSMSvalue& r) { return RowOf(r, kKindMessages); }
ListRow MakeResultRow(const PCallValue& r) { return RowOf(r, kKindCalls); }
ListRow MakeResultRow(const PWXValue& r) { return RowOf(r, kKindWeChat); }

bool HasResultRecord(std::uint8_t kind, std::size_t index) {
  return WithRecord(kind, index, [](const auto&) { return true; }, false);
}

bool ResultRecordDeleted(std::uint8_t kind, std::size_t index) {
  return WithRecord(kind, index, [](const auto& r) { return r.Deleted; }, false);
}

std::string_view ResultRecordCell(std::uint8_t kind, std::size_t index, std::size_t column,
                                  std::string& scratch) {
  return WithRecord(
      kind, index, [&](const auto& r) { return ResultCell(r, column, scratch); },
      std::string_view());
}

ListRow ResultRecordRow(std::uint8_t kind, std::size_t index) {
  return WithRecord(kind, index, [](const auto& r) { return MakeResultRow(r); }, ListRow());
}

}  // namespace velmora
