// Export of 1,000,000 records (a quarter of each kind, Chinese texts), once
// without a message pump and once with the window's message pump, as the
// Recover command runs it. Target: about two seconds at most.
#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/Export.h"
#include "engine/ScanContext.h"

using namespace velmora;

namespace {

void Fill(std::size_t perKind) {
  ClearResultArrays();
  ContactRecords.reserve(perKind);
  SmsRecords.reserve(perKind);
  CallRecords.reserve(perKind);
  WeChatRecords.reserve(perKind);
  for (std::size_t i = 0; i < perKind; ++i) {
    const std::string n = std::to_string(13800000000ULL + i);
    const bool del = i % 7 == 0;
    ContactRecords.push_back({"张三" + std::to_string(i), n, del});
    SmsRecords.push_back({n, "2014-03-05 12:34:56", "接收", "今天晚上一起吃饭吗？好的，七点见。", del});
    CallRecords.push_back({"李四", n, "呼出", "65", "2014-03-05 12:00:00", del});
    WeChatRecords.push_back({"", "2015-01-02 03:04:05", "发送", "<msg><img src=\"x\"/></msg> 你好", del});
  }
  ScanKinds = {kKindContacts, kKindMessages, kKindCalls, kKindWeChat};
}

double Run(const std::string& folder, bool pump) {
  const auto t0 = std::chrono::steady_clock::now();
  const ExportOutcome out =
      ExportResults(folder, pump ? std::function<void()>([] { QCoreApplication::processEvents(); })
                                 : std::function<void()>());
  const auto t1 = std::chrono::steady_clock::now();
  if (!out.Ok) {
    std::fprintf(stderr, "export failed: %s\n", out.Error.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(t1 - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  char tmpl[] = "/tmp/velmora-export-bench-XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const std::string folder = std::string(tmpl) + "/";
  Fill(250000);
  const double plain = Run(folder, false);
  const double pumped = Run(folder, true);
  std::uintmax_t bytes = 0;
  for (const auto& e : std::filesystem::directory_iterator(tmpl)) bytes += e.file_size();
  std::printf("export of 1000000 records (%.1f MB): %.3f s without pump, %.3f s with the message pump\n",
              bytes / 1e6, plain, pumped);
  std::filesystem::remove_all(tmpl);
  return 0;
}
