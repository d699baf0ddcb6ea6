// The export of the last batch's results: one tab-separated text file per
// queued kind that holds records, written into a chosen folder in the ANSI
// code page (GB18030), one record a line, every line ended by CR LF, no
// header line and no byte-order mark. Nothing is filtered: the tree filter
// and the list's check boxes play no part.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/ScanContext.h"

namespace velmora {

// "电话本.txt", "短信.txt", "通话记录.txt", "微信.txt" for kinds 0 to 3;
// empty for any other kind.
const char* ExportFileName(std::uint8_t kind);

// One export line of a record, in UTF-8, CR LF included.
void AppendExportLine(std::string& out, const PtelValue& r);
void AppendExportLine(std::string& out, const PSMSvalue& r);
void AppendExportLine(std::string& out, const PCallValue& r);
void AppendExportLine(std::string& out, const PWXValue& r);

struct ExportOutcome {
  bool Ok = true;
  std::string Error;                    // the failure's text with the system's reason
  std::vector<std::string> FilesWritten;  // in the order written
};

// Walks ScanKinds in queue order, setting ScanKind to each entry, and writes
// the kind's result array to folder + ExportFileName(kind), replacing a file
// of that name; a kind without records writes nothing. `folder` ends in "/".
// `pump` runs before the first record of a kind and then before every 64th
// record. Stops at the first file that cannot be created
// or written; files already written stay.
ExportOutcome ExportResults(const std::string& folder, const std::function<void()>& pump = {});

}  // namespace velmora
