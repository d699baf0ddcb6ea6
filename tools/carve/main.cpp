// carve KIND FILE: runs one scanner on FILE through the engine with the
// recording scan view and prints what it showed, for tests and benchmarks.
//
// Output, one record a line, fields separated by TAB:
//   each result-list row: caption, then its sub-items
//   STATUS0  status panel 0
//   STATUS2  status panel 2
//   LOG      the message of the last log row (the finish row, without its
//            date and time)
//   TREE     texts of tree nodes 0, 1 and 2
//   BOX      text, caption (one line per message box shown)
//   SECTOR   a line of the sector-debug memo (one line per line written)
// Inside a field, backslash, TAB, LF, CR and NUL are written as \\, \t, \n,
// \r and \0.
//
// FILE is scanned in place (the scanner may patch its header); copy it first.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "engine/AndroidCallScanner.h"
#include "engine/AndroidContactsScanner.h"
#include "engine/AndroidFixedSmsCarver.h"
#include "engine/AndroidSmsScanner.h"
#include "engine/IosCallScanner.h"
#include "engine/IosContactsScanner.h"
#include "engine/IosMessagesScanner.h"
#include "engine/MyFuns_.h"
#include "engine/RecordingScanView.h"
#include "engine/ScanContext.h"
#include "engine/WeChatScanner.h"
#include "platform/MessageBox.h"

namespace {

using velmora::ScanView;

struct Kind {
  const char* name;
  std::uint8_t code;
  void (*run)(ScanView&);
};

// Scanners by kind name; a new scanner adds its line here.
const Kind kKinds[] = {
    {"calls", velmora::kKindCalls, velmora::RunIosCallScan},
    {"messages", velmora::kKindMessages, velmora::RunIosMessagesScan},
    {"wechat", velmora::kKindWeChat, velmora::RunWeChatScan},
    {"contacts", velmora::kKindContacts, velmora::RunIosContactsScan},
    {"android-calls", velmora::kKindCalls, velmora::RunAndroidCallScan},
    {"android-sms", velmora::kKindMessages, velmora::RunAndroidSmsScan},
    {"android-contacts", velmora::kKindContacts, velmora::RunAndroidContactsScan},
    {"android-sms-fixed", velmora::kKindMessages, velmora::RunFixedLayoutSmsCarve},
};

std::string Escape(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\0': out += "\\0"; break;
      default: out += c;
    }
  }
  return out;
}

void Line(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) line += '\t';
    line += Escape(fields[i]);
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
}

int Usage() {
  std::string names;
  for (const Kind& k : kKinds) names += std::string(names.empty() ? "" : "|") + k.name;
  std::cerr << "usage: carve " << names << " FILE\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Usage();
  const Kind* kind = nullptr;
  for (const Kind& k : kKinds)
    if (std::string(argv[1]) == k.name) kind = &k;
  if (!kind) return Usage();

  velmora::ResetScanContext();
  velmora::SetProgramFormats();
  velmora::SourceRawPath = argv[2];
  velmora::SourceDbPath = argv[2];
  velmora::ScanKind = kind->code;

  velmora::RecordingScanView view;
  platform::ScriptedMessageBoxes boxes;
  kind->run(view);

  for (const auto& row : view.rows) Line(row);
  Line({"STATUS0", view.status[0]});
  Line({"STATUS2", view.status[2]});
  Line({"LOG", view.log.empty() ? std::string() : view.log.back().message});
  Line({"TREE", view.TreeText(0), view.TreeText(1), view.TreeText(2)});
  for (const auto& box : boxes.shown()) Line({"BOX", box.text, box.caption});
  for (const auto& line : view.sectorDebugLines) Line({"SECTOR", line});
  return 0;
}
