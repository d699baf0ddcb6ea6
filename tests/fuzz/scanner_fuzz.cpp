// libFuzzer target: runs a scanner on arbitrary file bytes. The first input
// byte picks the scanner (modulo the number of scanners) and, from its high
// bits, the size of the window the scanner reads the file through (one as
// large as the file, or a few hundred bytes to a few pages, so that records
// and look-backs meet window edges); the rest is the database file, written
// to a private temporary file that the scanner reads (and may patch) like a
// file on disk. Bit 3 of the selector byte has the walk find its candidates
// offset by offset instead of with the vector code.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/AndroidCallScanner.h"
#include "engine/AndroidContactsScanner.h"
#include "engine/AndroidFixedSmsCarver.h"
#include "engine/AndroidSmsScanner.h"
#include "engine/CandidateMask.h"
#include "engine/CarveImage.h"
#include "engine/IosCallScanner.h"
#include "engine/IosContactsScanner.h"
#include "engine/IosMessagesScanner.h"
#include "engine/MyFuns_.h"
#include "engine/RecordingScanView.h"
#include "engine/ScanContext.h"
#include "engine/WeChatScanner.h"
#include "platform/MessageBox.h"

namespace {

// Scanners by selector byte; a new scanner adds its line here.
void (*const kScanners[])(velmora::ScanView&) = {
    velmora::RunIosCallScan,      // 0
    velmora::RunIosMessagesScan,  // 1
    velmora::RunWeChatScan,       // 2
    velmora::RunIosContactsScan,  // 3
    velmora::RunAndroidCallScan,      // 4
    velmora::RunAndroidSmsScan,       // 5
    velmora::RunAndroidContactsScan,  // 6
    velmora::RunFixedLayoutSmsCarve,  // 7
};

// Window sizes by the selector byte's high bits.
constexpr std::size_t kWindows[] = {std::size_t{64} << 20, 700, 4096, 3 * 4096 + 5};

std::string FilePath() {
  return "/tmp/velmora-fuzz-" + std::to_string(getpid()) + ".db";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  velmora::SetProgramFormats();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const auto scanner = kScanners[data[0] % std::size(kScanners)];
  velmora::CarveWindowBytes = kWindows[(data[0] / 32) % std::size(kWindows)];
  velmora::CarveVectorMask = (data[0] & 0x08) == 0;
  const std::string path = FilePath();
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
  } else {
    return 0;
  }
  velmora::ResetScanContext();
  velmora::SourceRawPath = path;
  velmora::SourceDbPath = path;
  {
    platform::ScriptedMessageBoxes boxes;
    velmora::RecordingScanView view;
    scanner(view);
  }
  std::remove(path.c_str());
  std::remove((path + "-journal").c_str());
  return 0;
}
