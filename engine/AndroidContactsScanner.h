// The Android contacts scanner: carves the rows of table "data" of an Android
// contacts database (contacts2.db) into ContactDataRows, then pairs every
// phone-number row with the first name row of the same raw contact into
// ContactRecords and the result list (name, phone, status). Its tree nodes
// carry no tags and replace the whole tree.
#pragma once

#include <cstdint>
#include <string>

#include "engine/CarvingEngine.h"
#include "engine/ScanView.h"

namespace velmora {

// The ids of the name and phone-number mime types of the scanned database:
// the 1-based position of their row in "select * from mimetypes" (no id
// column is read); 0 until found.
extern std::uint8_t NameMimeTypeId;
extern std::uint8_t PhoneMimeTypeId;

// The kind's parameters for the carving engine.
CarveKind AndroidContactsKind();

// One whole scan of the file named by SourceRawPath / SourceDbPath; returns
// when it has ended. In backup mode (SourceMode 1) a normal end, a Stop
// included, removes temp/contacts2.db under the program's folder.
void RunAndroidContactsScan(ScanView& view);

}  // namespace velmora
