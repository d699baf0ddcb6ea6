#include "engine/AndroidTemporaryCopy.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "engine/ScanContext.h"

namespace velmora {

namespace {
std::string gProgramFolder;
}  // namespace

std::string ProgramFolder() {
  std::string folder = gProgramFolder;
  if (folder.empty()) {
    std::vector<char> buf(4096);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n > 0) {
      const std::string exe(buf.data(), static_cast<std::size_t>(n));
      const std::size_t slash = exe.rfind('/');
      folder = slash == std::string::npos ? std::string() : exe.substr(0, slash);
    }
  }
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

void SetProgramFolder(const std::string& folder) { gProgramFolder = folder; }

void DeleteTemporaryCopy(const std::string& fileName) {
  if (SourceMode != 1) return;
  const std::string path = ProgramFolder() + "temp/" + fileName;
  std::remove(path.c_str());  // a missing file or a failure is no error
}

}  // namespace velmora
