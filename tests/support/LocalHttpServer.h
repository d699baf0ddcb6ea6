// A small HTTP/1.1 server on the loopback interface for tests. It listens on
// 127.0.0.1 at a port the system picks, answers registered paths from the
// event loop of the test's own thread, and records every request it reads.
// Each answer closes its connection. The server stops when it is destroyed,
// and after kMaxRequests requests it answers no more.
//
//   LocalHttpServer server;
//   server.Route("/a.txt", {200, "hello"});
//   platform::HttpGet(server.baseUrl() + "/a.txt");
//   server.requests()[0].requestLine  // "GET /a.txt HTTP/1.1"
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace testsupport {

struct HttpRoute {
  int status = 200;
  QByteArray body;
  // Send no Content-Length: the end of the body is the end of the connection.
  bool noContentLength = false;
  // Send the body with Transfer-Encoding: chunked (in pieces of pieceBytes).
  bool chunked = false;
  // Wait this long before the answer starts.
  int delayMs = 0;
  // Send the body in pieces of this many bytes (0: at once), pieceDelayMs
  // apart, so that the client sees the transfer in several steps.
  int pieceBytes = 0;
  int pieceDelayMs = 0;
  QByteArray contentType = "text/plain";
};

struct RecordedRequest {
  QByteArray requestLine;                            // "GET /x?a=1 HTTP/1.1"
  QList<std::pair<QByteArray, QByteArray>> headers;  // in the order received
  QByteArray rawHead;                                // request line and headers, CR LF kept

  QByteArray method() const { return requestLine.left(requestLine.indexOf(' ')); }
  // The request target as sent ("/x?a=1").
  QByteArray target() const {
    const qsizetype a = requestLine.indexOf(' ');
    const qsizetype b = requestLine.lastIndexOf(' ');
    return (a < 0 || b <= a) ? QByteArray() : requestLine.mid(a + 1, b - a - 1);
  }
  QByteArray path() const {
    const QByteArray t = target();
    const qsizetype q = t.indexOf('?');
    return q < 0 ? t : t.left(q);
  }
  // Value of the first header of that name (case-insensitive); null if absent.
  QByteArray header(const QByteArray& name) const {
    for (const auto& [k, v] : headers) {
      if (k.compare(name, Qt::CaseInsensitive) == 0) return v;
    }
    return QByteArray();
  }
  bool hasHeader(const QByteArray& name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& h) { return h.first.compare(name, Qt::CaseInsensitive) == 0; });
  }
};

class LocalHttpServer {
 public:
  static constexpr int kMaxRequests = 1000;
  static constexpr qsizetype kMaxHeadBytes = 64 * 1024;

  LocalHttpServer() {
    server_ = std::make_unique<QTcpServer>();
    server_->listen(QHostAddress(QHostAddress::LocalHost), 0);
    QObject::connect(server_.get(), &QTcpServer::newConnection, server_.get(), [this] { Accept(); });
  }
  ~LocalHttpServer() {
    server_->close();
    // Sockets are children of the server and go with it.
  }
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  bool listening() const { return server_->isListening(); }
  quint16 port() const { return server_->serverPort(); }
  QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()); }

  // Answers `path` (without the query) with `route`; replaces an earlier one.
  void Route(const QByteArray& path, HttpRoute route) { routes_[path] = std::move(route); }
  void Unroute(const QByteArray& path) { routes_.erase(path); }

  const std::vector<RecordedRequest>& requests() const { return requests_; }
  // Requests whose path (without the query) is `path`.
  int countFor(const QByteArray& path) const {
    return static_cast<int>(std::count_if(requests_.begin(), requests_.end(),
                                          [&](const RecordedRequest& r) { return r.path() == path; }));
  }
  void clearRequests() { requests_.clear(); }

 private:
  struct Connection {
    QByteArray buffer;
    bool answered = false;
  };

  void Accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
      socket->setParent(server_.get());
      auto conn = std::make_shared<Connection>();
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, conn] { Read(socket, *conn); });
      QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
  }

  void Read(QTcpSocket* socket, Connection& conn) {
    if (conn.answered) {
      socket->readAll();
      return;
    }
    conn.buffer += socket->readAll();
    const qsizetype end = conn.buffer.indexOf("\r\n\r\n");
    if (end < 0) {
      if (conn.buffer.size() > kMaxHeadBytes) socket->abort();
      return;
    }
    conn.answered = true;
    if (static_cast<int>(requests_.size()) >= kMaxRequests) {
      socket->abort();
      return;
    }
    RecordedRequest req;
    req.rawHead = conn.buffer.left(end + 4);
    const QList<QByteArray> lines = conn.buffer.left(end).split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
      QByteArray line = lines[i];
      if (line.endsWith('\r')) line.chop(1);
      if (i == 0) {
        req.requestLine = line;
        continue;
      }
      const qsizetype colon = line.indexOf(':');
      if (colon < 0) continue;
      req.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
    }
    requests_.push_back(req);

    HttpRoute route;
    const auto it = routes_.find(req.path());
    if (it != routes_.end()) {
      route = it->second;
    } else {
      route.status = 404;
      route.body = "Not Found";
    }
    QPointer<QTcpSocket> guarded(socket);
    if (route.delayMs > 0) {
      QTimer::singleShot(route.delayMs, socket, [guarded, route] {
        if (guarded) Answer(guarded, route);
      });
    } else {
      Answer(socket, route);
    }
  }

  static QByteArray ReasonPhrase(int status) {
    switch (status) {
      case 200: return "OK";
      case 204: return "No Content";
      case 301: return "Moved Permanently";
      case 302: return "Found";
      case 400: return "Bad Request";
      case 403: return "Forbidden";
      case 404: return "Not Found";
      case 500: return "Internal Server Error";
      case 503: return "Service Unavailable";
      default: return "Status";
    }
  }

  static QByteArray Frame(const HttpRoute& route, const QByteArray& piece) {
    if (!route.chunked) return piece;
    return QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
  }

  static void Answer(QTcpSocket* socket, const HttpRoute& route) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) + ' ' + ReasonPhrase(route.status) + "\r\n";
    head += "Content-Type: " + route.contentType + "\r\n";
    if (route.chunked) {
      head += "Transfer-Encoding: chunked\r\n";
    } else if (!route.noContentLength) {
      head += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n";
    }
    head += "Connection: close\r\n\r\n";
    socket->write(head);

    std::vector<QByteArray> pieces;
    if (route.pieceBytes > 0) {
      for (qsizetype at = 0; at < route.body.size(); at += route.pieceBytes) {
        pieces.push_back(route.body.mid(at, route.pieceBytes));
      }
    } else if (!route.body.isEmpty()) {
      pieces.push_back(route.body);
    }
    SendPieces(QPointer<QTcpSocket>(socket), route, std::make_shared<std::vector<QByteArray>>(std::move(pieces)), 0);
  }

  static void SendPieces(QPointer<QTcpSocket> socket, HttpRoute route,
                         std::shared_ptr<std::vector<QByteArray>> pieces, std::size_t next) {
    if (!socket) return;
    while (next < pieces->size()) {
      socket->write(Frame(route, (*pieces)[next]));
      ++next;
      if (route.pieceDelayMs > 0 && next < pieces->size()) {
        socket->flush();
        QTimer::singleShot(route.pieceDelayMs, socket.data(),
                           [socket, route, pieces, next] { SendPieces(socket, route, pieces, next); });
        return;
      }
    }
    if (route.chunked) socket->write("0\r\n\r\n");
    socket->disconnectFromHost();
  }

  std::unique_ptr<QTcpServer> server_;
  std::map<QByteArray, HttpRoute> routes_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace testsupport
