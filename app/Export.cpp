#include "app/Export.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "platform/CodePage.h"

namespace velmora {

namespace {

constexpr char kTab = '\t';
constexpr const char* kLineEnd = "\r\n";
// Lines are gathered in UTF-8 up to about this many bytes, converted to the
// code page in one piece and written.
constexpr std::size_t kChunkBytes = 1 << 20;
// The window's message pump runs before every this many records: often
// enough that the window stays responsive (a batch is a few microseconds of
// work), rarely enough that a million records are not held up by the pump.
constexpr std::size_t kRecordsPerPump = 64;

void AppendField(std::string& out, std::string_view field) {
  out += field;
  out += kTab;
}

void AppendLast(std::string& out, std::string_view field) {
  out += field;
  out += kLineEnd;
}

// The room of the time texts written into export lines, reused line by line.
std::string& TimeScratch() {
  static std::string scratch;
  return scratch;
}

// One export file: created anew (truncated), written in chunks, closed.
class ExportFile {
 public:
  explicit ExportFile(std::string path) : path_(std::move(path)) {}
  ~ExportFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ExportFile(const ExportFile&) = delete;
  ExportFile& operator=(const ExportFile&) = delete;

  bool Create(std::string& error) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
      error = "Cannot create file \"" + path_ + "\". " + std::strerror(errno);
      return false;
    }
    return true;
  }

  // Converts the UTF-8 `text` to the code page and writes it.
  bool Write(std::string_view text, std::string& error) {
    const std::string bytes = platform::Utf8ToAnsi(text);
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
      const ssize_t n = ::write(fd_, p, left);
      if (n < 0) {
        if (errno == EINTR) continue;
        return Fail(error, errno);
      }
      if (n == 0) return Fail(error, EIO);
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    return true;
  }

  bool Close(std::string& error) {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return Fail(error, errno);
    return true;
  }

 private:
  bool Fail(std::string& error, int code) {
    error = "Cannot write file \"" + path_ + "\". " + std::strerror(code);
    return false;
  }

  std::string path_;
  int fd_ = -1;
};

template <typename Record>
bool WriteKind(const std::string& path, const ResultArray<Record>& records,
               const std::function<void()>& pump, std::string& error) {
  ExportFile file(path);
  if (!file.Create(error)) return false;
  std::string chunk;
  chunk.reserve(kChunkBytes + 4096);
  // By index, with the length read again after each pump: the arrays belong
  // to the window thread, and a command run inside the pump must not leave
  // this loop holding a dangling element.
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (pump && i % kRecordsPerPump == 0) {
      pump();
      if (i >= records.size()) break;
    }
    AppendExportLine(chunk, records[i]);
    if (chunk.size() >= kChunkBytes) {
      if (!file.Write(chunk, error)) return false;
      chunk.clear();
    }
  }
  if (!chunk.empty() && !file.Write(chunk, error)) return false;
  return file.Close(error);
}

}  // namespace

const char* ExportFileName(std::uint8_t kind) {
  switch (kind) {
    case kKindContacts: return "电话本.txt";
    case kKindMessages: return "短信.txt";
    case kKindCalls: return "通话记录.txt";
    case kKindWeChat: return "微信.txt";
    default: return "";
  }
}

void AppendExportLine(std::string& out, const PtelValue& r) {
  AppendField(out, r.Name);
  AppendField(out, r.Phone);
  AppendLast(out, StatusWord(r.Deleted));
}

void AppendExportLine(std::string& out, const PSMSvalue& r) {
  AppendField(out, r.Address);
  AppendField(out, r.DateText.Text(TimeScratch()));
  AppendField(out, r.TypeText);
  AppendField(out, StatusWord(r.Deleted));
  AppendLast(out, r.Body);
}

void AppendExportLine(std::string& out, const PCallValue& r) {
  AppendField(out, r.Number);
  AppendField(out, r.Name);
  AppendField(out, r.DateText.Text(TimeScratch()));
  AppendField(out, r.Duration);
  AppendField(out, r.TypeText);
  AppendLast(out, StatusWord(r.Deleted));
}

void AppendExportLine(std::string& out, const PWXValue& r) {
  AppendField(out, r.Address);
  AppendField(out, r.DateText.Text(TimeScratch()));
  AppendField(out, r.TypeText);
  AppendField(out, StatusWord(r.Deleted));
  AppendLast(out, r.Message);
}

ExportOutcome ExportResults(const std::string& folder, const std::function<void()>& pump) {
  ExportOutcome outcome;
  // A copy of the queue: the walk must not see it change under it.
  const std::vector<std::uint8_t> queue = ScanKinds;
  for (const std::uint8_t kind : queue) {
    ScanKind = kind;
    const std::string path = folder + ExportFileName(kind);
    bool ok = true;
    switch (kind) {
      case kKindContacts:
        if (ContactRecords.empty()) continue;
        ok = WriteKind(path, ContactRecords, pump, outcome.Error);
        break;
      case kKindMessages:
        if (SmsRecords.empty()) continue;
        ok = WriteKind(path, SmsRecords, pump, outcome.Error);
        break;
      case kKindCalls:
        if (CallRecords.empty()) continue;
        ok = WriteKind(path, CallRecords, pump, outcome.Error);
        break;
      case kKindWeChat:
        if (WeChatRecords.empty()) continue;
        ok = WriteKind(path, WeChatRecords, pump, outcome.Error);
        break;
      default:
        continue;
    }
    if (!ok) {
      outcome.Ok = false;
      return outcome;
    }
    outcome.FilesWritten.push_back(path);
  }
  return outcome;
}

}  // namespace velmora
