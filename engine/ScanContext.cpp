#include "engine/ScanContext.h"

namespace velmora {

std::string SourceRawPath;
std::string SourceDbPath;
std::uint8_t SourceMode = 0;
std::uint8_t ScanKind = 0;
std::vector<std::uint8_t> ScanKinds;
std::vector<std::string> KindPaths;
std::string TreeRootCaption;

bool ScanStopRequested = true;
bool ScanEnabled = true;

ATableField TableColumns;
ResultArray<PAlltelvalue> ContactDataRows;

ResultArray<PSMSvalue> SmsRecords;
ResultArray<PtelValue> ContactRecords;
ResultArray<PCallValue> CallRecords;
ResultArray<PWXValue> WeChatRecords;

void ResetScanContext() {
  SourceRawPath.clear();
  SourceDbPath.clear();
  SourceMode = 0;
  ScanKind = 0;
  ScanKinds.clear();
  KindPaths.clear();
  TreeRootCaption.clear();
  ScanStopRequested = true;
  ScanEnabled = true;
  TableColumns.clear();
  ContactDataRows.clear();
  ClearResultArrays();
}

void ClearResultArrays() {
  // Their room too: a large batch's arrays would otherwise stay allocated
  // through every later batch.
  SmsRecords = {};
  ContactRecords = {};
  CallRecords = {};
  WeChatRecords = {};
}

bool AnyResults() {
  return !SmsRecords.empty() || !ContactRecords.empty() || !CallRecords.empty() ||
         !WeChatRecords.empty();
}

}  // namespace velmora
