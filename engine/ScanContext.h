// Process-wide scan state: what the scan-setup dialog hands to a scanner, the
// two control flags through which the window and a running scanner talk, and
// the result records and arrays that the scanners fill and the result view and
// the export read. One copy for the whole program, used on the window thread
// only. Texts are UTF-8 throughout; conversion to the ANSI code page happens at
// the files (export, INI).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/ResultArray.h"

namespace velmora {

// Scan kind codes (ScanKind, ScanKinds, index of KindPaths, TResultNodeTag.Kind).
enum : std::uint8_t {
  kKindContacts = 0,
  kKindMessages = 1,
  kKindCalls = 2,
  kKindWeChat = 3,
};

// Tree node filter codes (TResultNodeTag.Filter).
enum : std::uint8_t {
  kFilterLive = 0,
  kFilterDeleted = 1,
  kFilterAll = 2,
};

// Texts of the records below are RecordText: kept with their array (see
// engine/RecordText.h), read as std::string_view.

// Status words of every shown or exported record.
inline constexpr const char* kStatusLive = "正常";
inline constexpr const char* kStatusDeleted = "删除";
inline const char* StatusWord(bool deleted) { return deleted ? kStatusDeleted : kStatusLive; }

// One text message.
struct PSMSvalue {
  RecordText Address;   // other party; "未知" on iOS when no chat is found
  RecordTime DateText;  // "yyyy-mm-dd hh:mm:ss"
  RecordText TypeText;  // "接收", "发送", "草稿", "其它"
  RecordText Body;
  bool Deleted = false;
};

// One contact.
struct PtelValue {
  RecordText Name;
  RecordText Phone;
  bool Deleted = false;
};

// One call.
struct PCallValue {
  RecordText Name;
  RecordText Number;
  RecordText TypeText;  // "呼出", "呼入", "未接通", "其它"
  RecordText Duration;  // seconds, as stored
  RecordTime DateText;
  bool Deleted = false;
};

// One WeChat chat message.
struct PWXValue {
  RecordText Address;   // filled by no scanner; always empty
  RecordTime DateText;
  RecordText TypeText;  // "发送", "接收", "其它"
  RecordText Message;   // as stored (voice and picture messages are XML)
  bool Deleted = false;
};

// One carved row of Android's contacts data table.
struct PAlltelvalue {
  std::int32_t MimeTypeId = 0;
  std::int32_t RawContactId = 0;
  RecordText Data1;
  bool Deleted = false;
};

// The data attached to each result tree node that the iOS scanners add.
struct TResultNodeTag {
  std::uint8_t Kind = 0;
  std::uint8_t Filter = 0;
  friend bool operator==(const TResultNodeTag&, const TResultNodeTag&) = default;
};

// One column descriptor built from a table's CREATE text.
struct PTableField {
  std::string Name;
  std::string Kind;           // "i", "c", "b" or empty (not tested)
  std::int32_t MaxSerialType = 0;
  bool Required = false;
};
using ATableField = std::vector<PTableField>;

// --- scan context (inputs of a scanner) ---
extern std::string SourceRawPath;       // raw path of the file to scan (the plain path here)
extern std::string SourceDbPath;        // the same file's plain path
extern std::uint8_t SourceMode;         // 0 one chosen file, 1 found in a backup
extern std::uint8_t ScanKind;           // kind being dispatched or exported
extern std::vector<std::uint8_t> ScanKinds;  // queue of the current batch
extern std::vector<std::string> KindPaths;   // index = kind code
extern std::string TreeRootCaption;     // fixed-layout carver's tree root

// --- scan control flags ---
extern bool ScanStopRequested;  // False exactly while a scanner runs
extern bool ScanEnabled;        // entry guard of every scanner

// --- working tables ---
extern ATableField TableColumns;
extern ResultArray<PAlltelvalue> ContactDataRows;

// --- result arrays ---
extern ResultArray<PSMSvalue> SmsRecords;
extern ResultArray<PtelValue> ContactRecords;
extern ResultArray<PCallValue> CallRecords;
extern ResultArray<PWXValue> WeChatRecords;

// Puts every global above back to its start-up value (flags idle, arrays and
// queue empty). Start-up and tests call it.
void ResetScanContext();

// Empties the four result arrays (the start of a scan batch).
void ClearResultArrays();

// True when any of the four result arrays holds a record.
bool AnyResults();

}  // namespace velmora
