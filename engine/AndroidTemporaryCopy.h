// What the three Android scanners share: the program folder and the removal
// of the temporary database copy. In backup mode an Android scan ends by
// deleting temp/<name> under the program's folder.
#pragma once

#include <string>

namespace velmora {

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
