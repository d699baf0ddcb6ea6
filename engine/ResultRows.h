// The result list's row of each kind, made from the kind's result record:
// one formatting function per row layout, shared by the main window's list
// (which formats a cell only when it is shown or sorted), the recording view
// of the tests and the headless driver. Texts are UTF-8.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/MyFuns_.h"
#include "engine/ScanContext.h"

namespace velmora {

// The number of cells of a kind's row (its column count); 0 for any other
// kind.
std::size_t ResultRowCellCount(std::uint8_t kind);

// Cell `column` of a record's row (0 = caption): a view of the record's own
// text, or of `scratch` when the cell is made rather than held (the WeChat
// message's display text). Empty for a column the layout lacks.
//   contacts: Name, Phone, status
//   messages: Address, DateText, TypeText, status, Body
//   calls:    Number, Name, DateText, Duration, TypeText, status
//   WeChat:   DateText, the message's display text, TypeText, status
std::string_view ResultCell(const PtelValue& r, std::size_t column, std::string& scratch);
std::string_view ResultCell(const PSMSvalue& r, std::size_t column, std::string& scratch);
std::string_view ResultCell(const PCallValue& r, std::size_t column, std::string& scratch);
std::string_view ResultCell(const PWXValue& r, std::size_t column, std::string& scratch);

// The whole row of one record.
ListRow MakeResultRow(const PtelValue& r);
ListRow MakeResultRow(const PSMSvalue& r);
ListRow MakeResultRow(const PCallValue& r);
ListRow MakeResultRow(const PWXValue& r);

// Whether `index` names a record of `kind`'s result array.
bool HasResultRecord(std::uint8_t kind, std::size_t index);
// Whether that record is deleted; false when there is none.
bool ResultRecordDeleted(std::uint8_t kind, std::size_t index);
// Cell `column` of the row of record `index` of `kind`'s result array; empty
// when there is no such record or column.
std::string_view ResultRecordCell(std::uint8_t kind, std::size_t index, std::size_t column,
                                  std::string& scratch);
// The whole row of that record; empty when there is none.
ListRow ResultRecordRow(std::uint8_t kind, std::size_t index);

// Makes `records` hold n + 1 records (dropping any after index n) and returns
// record n. The array grows a chunk at a time, so the records kept so far
// never move and little room stays unused behind the hits.
template <typename Record>
Record& ResultSlot(ResultArray<Record>& records, std::size_t n) {
  records.resize(n + 1);
  return records[n];
}

// Makes `records` hold n + 1 records (dropping any after index n), record n
// being what `make` (a callable returning a Record) makes. A scan's next hit
// is made straight in fresh room.
template <typename Record, typename Make>
void ResultPut(ResultArray<Record>& records, std::size_t n, Make&& make) {
  if (n == records.size()) {
    records.emplace_made(std::forward<Make>(make));
    return;
  }
  ResultSlot(records, n) = std::forward<Make>(make)();
}

}  // namespace velmora
