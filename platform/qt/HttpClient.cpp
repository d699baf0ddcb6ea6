// Blocking HTTP GET on Qt Network. A local event loop runs while the request
// is under way, so the windows repaint and their buttons answer input.
#include "platform/qt/HttpClient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace platform {
namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

bool IsHexDigit(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Percent-encodes one key or value of the query (UTF-8 bytes). A "%" that
// already starts an escape ("%20") is kept, so an address that arrives
// encoded is not encoded twice.
QByteArray EncodeQueryPart(const QByteArray& part) {
  static const char kHex[] = "0123456789ABCDEF";
  QByteArray out;
  out.reserve(part.size() * 3);
  for (qsizetype i = 0; i < part.size(); ++i) {
    const auto c = static_cast<unsigned char>(part[i]);
    if (IsUnreserved(c)) {
      out += static_cast<char>(c);
    } else if (c == '%' && i + 2 < part.size() && IsHexDigit(static_cast<unsigned char>(part[i + 1])) &&
               IsHexDigit(static_cast<unsigned char>(part[i + 2]))) {
      out += '%';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

// The query after "?": pairs split at "&", each split at its first "=", key
// and value encoded on their own.
QByteArray EncodeQuery(const QByteArray& query) {
  QByteArray out;
  const QList<QByteArray> pairs = query.split('&');
  for (qsizetype i = 0; i < pairs.size(); ++i) {
    if (i > 0) out += '&';
    const QByteArray& pair = pairs[i];
    const qsizetype eq = pair.indexOf('=');
    if (eq < 0) {
      out += EncodeQueryPart(pair);
    } else {
      out += EncodeQueryPart(pair.left(eq));
      out += '=';
      out += EncodeQueryPart(pair.mid(eq + 1));
    }
  }
  return out;
}

QUrl BuildUrl(const QString& address) {
  QByteArray raw = address.toUtf8();
  const qsizetype hash = raw.indexOf('#');
  if (hash >= 0) raw.truncate(hash);
  const qsizetype q = raw.indexOf('?');
  QUrl url(QString::fromUtf8(q < 0 ? raw : raw.left(q)), QUrl::TolerantMode);
  if (q >= 0) url.setQuery(QString::fromLatin1(EncodeQuery(raw.mid(q + 1))), QUrl::StrictMode);
  return url;
}

}  // namespace

QByteArray HttpGet(const QString& address, const HttpCallbacks& callbacks, int timeoutMs) {
  if (QCoreApplication::instance() == nullptr) throw HttpError("HTTP client needs an application object");

  const QUrl url = BuildUrl(address);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || url.host().isEmpty() || (scheme != "http" && scheme != "https")) {
    throw HttpError("Invalid address: " + address.toStdString());
  }

  QNetworkAccessManager manager;
  manager.setProxy(QNetworkProxy::NoProxy);

  QNetworkRequest request(url);
  request.setRawHeader("Accept", "text/html, */*");
  request.setRawHeader("Content-Type", "text/html");
  request.setRawHeader("User-Agent", "Mozilla/3.0 (compatible; Indy Library)");
  // The body as it is on the wire, so the byte counts of the progress
  // callbacks match the expected size.
  request.setRawHeader("Accept-Encoding", "identity");
  request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
  request.setMaximumRedirectsAllowed(5);

  QEventLoop loop;
  bool finished = false;
  bool timedOut = false;
  bool begun = false;
  QByteArray body;

  QNetworkReply* reply = manager.get(request);

  auto begin = [&](std::int64_t total) {
    if (begun) return;
    begun = true;
    if (callbacks.onBegin) callbacks.onBegin(total);
  };
  // The headers of an answer: the expected size is its Content-Length. A
  // redirect that is about to be followed does not count.
  QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&] {
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300 && status < 400 && reply->attribute(QNetworkRequest::RedirectionTargetAttribute).isValid()) {
      return;
    }
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    begin(length.isValid() ? length.toLongLong() : -1);
  });
  // Bytes as they arrive, read at once so that each step is counted.
  QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
    const QByteArray chunk = reply->readAll();
    if (chunk.isEmpty()) return;
    begin(-1);
    body += chunk;
    if (callbacks.onWork) callbacks.onWork(body.size());
  });
  // A followed redirect starts the count again for the next answer.
  QObject::connect(reply, &QNetworkReply::redirected, reply, [&](const QUrl&) {
    begun = false;
    body.clear();
  });
  QObject::connect(reply, &QNetworkReply::finished, &loop, [&] {
    finished = true;
    loop.quit();
  });

  QTimer timer;
  if (timeoutMs > 0) {
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
      timedOut = true;
      reply->abort();
    });
    timer.start(timeoutMs);
  }

  if (!finished) loop.exec();
  timer.stop();

  if (!finished) {
    // The loop was ended from outside (the application is ending).
    reply->abort();
    throw HttpError("Request cancelled");
  }
  if (timedOut) throw HttpError("Request timed out");

  const QVariant statusAttr = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  if (statusAttr.isValid()) {
    const int status = statusAttr.toInt();
    if (status >= 400) {
      const QByteArray reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
      throw HttpError("HTTP/1.1 " + std::to_string(status) + (reason.isEmpty() ? "" : " ") +
                      reason.toStdString());
    }
  }
  if (reply->error() != QNetworkReply::NoError) throw HttpError(reply->errorString().toStdString());
  if (!statusAttr.isValid()) throw HttpError("No HTTP answer");

  const QByteArray rest = reply->readAll();
  if (!rest.isEmpty()) {
    begin(-1);
    body += rest;
    if (callbacks.onWork) callbacks.onWork(body.size());
  }
  begin(body.size());
  return body;
}

}  // namespace platform
