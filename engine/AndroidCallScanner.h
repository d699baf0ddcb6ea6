// The Android call log scanner: carves the calls of an Android contacts
// database (table "calls" of contacts2.db), live and deleted, into
// CallRecords and the result list. Its tree nodes carry no tags and replace
// the whole tree.
//
// Also the program folder and the removal of the temporary database copy
// that the three Android scanners share: in backup mode a scan ends by
// deleting temp/<name> under the program's folder.
#pragma once

#include <cstdint>
#include <string>

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
const char* AndroidCallTypeText(std::int64_t type);

// The folder of the running program with a trailing "/": the folder set by
// SetProgramFolder, else the folder of the executable (/proc/self/exe).
std::string ProgramFolder();
// Sets the program folder (the main window passes its own; tests a
// temporary one). An empty text goes back to the executable's folder.
void SetProgramFolder(const std::string& folder);

// Deletes ProgramFolder() + "temp/" + fileName when SourceMode is 1 (backup
// mode); a missing file or a failed deletion is ignored.
void DeleteTemporaryCopy(const std::string& fileName);

}  // namespace velmora
