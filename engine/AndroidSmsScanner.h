// The Android SMS scanner: carves the messages of an Android message
// database (table "sms" of mmssms.db), live and deleted, into SmsRecords and
// the result list. Its tree nodes carry no tags and replace the whole tree.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/CarvingEngine.h"
#include "engine/ScanView.h"

namespace velmora {

// The kind's parameters for the carving engine.
CarveKind AndroidSmsKind();

// One whole scan of the file named by SourceRawPath / SourceDbPath; returns
// when it has ended. In backup mode (SourceMode 1) a normal end, a Stop
// included, removes temp/mmssms.db under the program's folder.
void RunAndroidSmsScan(ScanView& view);

// The type text of a message's type value: 1 "接收", 2 "发送", 3 "草稿",
// any other "其它".
std::string_view AndroidSmsTypeText(std::int64_t type);

}  // namespace velmora
