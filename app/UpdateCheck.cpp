#include "app/UpdateCheck.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <charconv>
#include <cmath>
#include <exception>

#include "engine/MyFuns_.h"
#include "platform/qt/HttpClient.h"

namespace velmora {

std::optional<double> ParseVersionNumber(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::nullopt;
  std::size_t end = text.find_last_not_of(" \t") + 1;
  const char* first = text.data() + begin;
  const char* last = text.data() + end;
  if (*first == '+') ++first;
  if (first == last) return std::nullopt;
  // Plain decimal notation only: no "inf", "nan" or hexadecimal forms.
  char c = *first;
  if (!((c >= '0' && c <= '9') || c == '.' || c == '-')) return std::nullopt;
  double value = 0;
  auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec != std::errc() || ptr != last || !std::isfinite(value)) return std::nullopt;
  return value;
}

bool IsNewerPublished(const std::string& installed, const std::string& published) {
  auto a = ParseVersionNumber(installed);
  auto b = ParseVersionNumber(published);
  return a && b && *a < *b;
}

std::string UpdateQuestionText(const std::string& published, const std::string& installed) {
  return "当前程序最新版本是" + published + ",你现在的版本是" + installed + ",是否要更新？";
}

std::string FetchPublishedVersion(const std::string& url, const std::string& appDir,
                                  int timeoutMs) {
  try {
    QByteArray body = platform::HttpGet(QString::fromStdString(url), {}, timeoutMs);
    const std::string path = appDir + "updatever.ini";
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return "0";
    if (file.write(body) != body.size()) return "0";
    file.close();
    return ReadIniString(path, "IOSver", "lastver", "0");
  } catch (...) {
    return "0";
  }
}

}  // namespace velmora
