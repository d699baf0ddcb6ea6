// The Android call log scanner: carves the calls of an Android contacts
// database (table "calls" of contacts2.db), live and deleted, into
// CallRecords and the result list. Its tree nodes carry no tags and replace
// the whole tree.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/CarvingEngine.h"
#include "engine/ScanView.h"

namespace velmora {

// The kind's parameters for the carving engine.
CarveKind AndroidCallKind();

// One whole scan of the file named by SourceRawPath / SourceDbPath; returns
// when it has ended. In backup mode (SourceMode 1) a normal end removes
// temp/contacts2.db under the program's folder.
void RunAndroidCallScan(ScanView& view);

// The type text of a call's type value: 1 "呼入", 2 "呼出", 3 "未接通",
// any other "其它".
std::string_view AndroidCallTypeText(std::int64_t type);

}  // namespace velmora
