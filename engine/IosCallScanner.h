// The iOS call history scanner: carves the calls of an iPhone's call history
// database (table "call") out of the file named by SourceRawPath and
// SourceDbPath, live and deleted, into CallRecords and the result list.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/CarvingEngine.h"
#include "engine/ScanView.h"

namespace velmora {

// The kind's parameters for the carving engine.
CarveKind IosCallKind();

// One whole scan; returns when it has ended (also after Stop or a rejected
// file). The list's columns are set by the caller beforehand.
void RunIosCallScan(ScanView& view);

// The type text of a call's flags value.
std::string_view IosCallTypeText(std::int64_t flags);

}  // namespace velmora
