// A blocking HTTP GET on Qt Network that keeps the event loop running while it
// waits, in place of the window toolkit's HTTP component.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <stdexcept>

namespace platform {

class HttpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct HttpCallbacks {
  // Called once when the answer starts, with the expected size (-1 unknown).
  std::function<void(std::int64_t total)> onBegin;
  // Called as bytes arrive, with the count received so far.
  std::function<void(std::int64_t received)> onWork;
};

// Fetches `url` (absolute http address; query values are percent-encoded) with
// the fixed request headers Accept "text/html, */*", Content-Type "text/html"
// and User-Agent "Mozilla/3.0 (compatible; Indy Library)". Returns the body.
// Raises HttpError on a connection failure or an HTTP error status.
// timeoutMs <= 0 waits without bound.
QByteArray HttpGet(const QString& url, const HttpCallbacks& callbacks = {}, int timeoutMs = 0);

}  // namespace platform
