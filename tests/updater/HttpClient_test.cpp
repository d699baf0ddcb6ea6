// The blocking HTTP GET against a loopback server.
#include "platform/qt/HttpClient.h"

#include <QTcpServer>
#include <QTimer>
#include <gtest/gtest.h>

#include <vector>

#include "support/LocalHttpServer.h"

using platform::HttpCallbacks;
using platform::HttpError;
using platform::HttpGet;
using testsupport::HttpRoute;
using testsupport::LocalHttpServer;

namespace {

QByteArray Pattern(int size) {
  QByteArray b(size, '\0');
  for (int i = 0; i < size; ++i) b[i] = static_cast<char>('a' + i % 26);
  return b;
}

TEST(HttpGet, ReturnsBodyAndSendsTheFixedHeadersByteForByte) {
  LocalHttpServer server;
  ASSERT_TRUE(server.listening());
  server.Route("/shouji/software/update/version.txt", {200, "[IOSver]\r\nlastver=2.1\r\n"});

  const QByteArray body = HttpGet(server.baseUrl() + "/shouji/software/update/version.txt");

  EXPECT_EQ(body, QByteArray("[IOSver]\r\nlastver=2.1\r\n"));
  ASSERT_EQ(server.requests().size(), 1u);
  const auto& req = server.requests()[0];
  EXPECT_EQ(req.requestLine, QByteArray("GET /shouji/software/update/version.txt HTTP/1.1"));
  EXPECT_TRUE(req.rawHead.contains("\r\nAccept: text/html, */*\r\n")) << req.rawHead.toStdString();
  EXPECT_TRUE(req.rawHead.contains("\r\nContent-Type: text/html\r\n")) << req.rawHead.toStdString();
  EXPECT_TRUE(req.rawHead.contains("\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"))
      << req.rawHead.toStdString();
  EXPECT_EQ(req.header("Host"), QByteArray("127.0.0.1:") + QByteArray::number(server.port()));
  EXPECT_FALSE(req.hasHeader("Proxy-Connection"));
  EXPECT_FALSE(req.hasHeader("Proxy-Authorization"));
}

struct EncodingCase {
  const char* query;   // as the caller writes it
  const char* target;  // as it must reach the server
};

class HttpGetQuery : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(HttpGetQuery, ValuesArePercentEncoded) {
  LocalHttpServer server;
  server.Route("/shouji/software/count/count.asp", {200, "ok"});
  HttpGet(server.baseUrl() + "/shouji/software/count/count.asp" + QString::fromUtf8(GetParam().query));
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].target(),
            QByteArray("/shouji/software/count/count.asp") + GetParam().target);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpGetQuery,
    ::testing::Values(
        // The usage count: the version text keeps its trailing blank.
        EncodingCase{"?id=3f9a0c&software_name=Kestrova&version=2.0 ",
                     "?id=3f9a0c&software_name=Kestrova&version=2.0%20"},
        EncodingCase{"?a=x y z", "?a=x%20y%20z"},
        EncodingCase{"?name=版本", "?name=%E7%89%88%E6%9C%AC"},
        EncodingCase{"?v=a+b/c", "?v=a%2Bb%2Fc"},
        EncodingCase{"?v=a=b", "?v=a%3Db"},
        // An escape already made is kept; a lone "%" is encoded.
        EncodingCase{"?v=100%25", "?v=100%25"},
        EncodingCase{"?v=50%", "?v=50%25"},
        EncodingCase{"?v=1-2_3.4~5", "?v=1-2_3.4~5"}));

TEST(HttpGet, ErrorStatusRaises) {
  LocalHttpServer server;
  server.Route("/gone", {404, "Not Found"});
  server.Route("/broken", {500, "oops"});
  server.Route("/ok", {200, ""});

  EXPECT_THROW(HttpGet(server.baseUrl() + "/gone"), HttpError);
  try {
    HttpGet(server.baseUrl() + "/broken");
    ADD_FAILURE() << "no error for status 500";
  } catch (const HttpError& e) {
    EXPECT_NE(std::string(e.what()).find("500"), std::string::npos) << e.what();
  }
  // An unregistered path is a 404 too; an empty 200 answer is no error.
  EXPECT_THROW(HttpGet(server.baseUrl() + "/nothing-here"), HttpError);
  EXPECT_EQ(HttpGet(server.baseUrl() + "/ok"), QByteArray());
}

TEST(HttpGet, UnreachablePortRaises) {
  quint16 port = 0;
  {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress(QHostAddress::LocalHost), 0));
    port = probe.serverPort();
  }  // closed again: nothing listens there now
  EXPECT_THROW(HttpGet(QStringLiteral("http://127.0.0.1:%1/version.txt").arg(port)), HttpError);
}

TEST(HttpGet, InvalidAddressRaises) {
  EXPECT_THROW(HttpGet("not an address"), HttpError);
  EXPECT_THROW(HttpGet("ftp://127.0.0.1/file"), HttpError);
  EXPECT_THROW(HttpGet(""), HttpError);
}

TEST(HttpGet, BeginThenProgressUpToTheSize) {
  LocalHttpServer server;
  const QByteArray payload = Pattern(300000);
  HttpRoute route{200, payload};
  route.pieceBytes = 30000;
  route.pieceDelayMs = 5;
  server.Route("/setup", route);

  std::vector<std::int64_t> begins;
  std::vector<std::int64_t> works;
  HttpCallbacks cb;
  cb.onBegin = [&](std::int64_t total) {
    EXPECT_TRUE(works.empty()) << "begin after progress";
    begins.push_back(total);
  };
  cb.onWork = [&](std::int64_t received) { works.push_back(received); };

  EXPECT_EQ(HttpGet(server.baseUrl() + "/setup", cb), payload);

  ASSERT_EQ(begins.size(), 1u);
  EXPECT_EQ(begins[0], 300000);
  ASSERT_GE(works.size(), 2u) << "the transfer came in one step";
  EXPECT_TRUE(std::is_sorted(works.begin(), works.end()));
  EXPECT_EQ(works.back(), 300000);
}

TEST(HttpGet, UnknownSizeBeginsWithMinusOne) {
  LocalHttpServer server;
  const QByteArray payload = Pattern(50000);
  HttpRoute closeDelimited{200, payload};
  closeDelimited.noContentLength = true;
  HttpRoute chunked{200, payload};
  chunked.chunked = true;
  chunked.pieceBytes = 7000;
  server.Route("/close", closeDelimited);
  server.Route("/chunked", chunked);

  for (const char* path : {"/close", "/chunked"}) {
    std::vector<std::int64_t> begins;
    std::int64_t last = 0;
    HttpCallbacks cb;
    cb.onBegin = [&](std::int64_t total) { begins.push_back(total); };
    cb.onWork = [&](std::int64_t received) { last = received; };
    EXPECT_EQ(HttpGet(server.baseUrl() + path, cb), payload) << path;
    ASSERT_EQ(begins.size(), 1u) << path;
    EXPECT_EQ(begins[0], -1) << path;
    EXPECT_EQ(last, payload.size()) << path;
  }
}

TEST(HttpGet, EventsRunWhileItWaits) {
  LocalHttpServer server;
  HttpRoute slow{200, "late"};
  slow.delayMs = 150;
  server.Route("/slow", slow);

  bool timerRan = false;
  QTimer::singleShot(10, [&] { timerRan = true; });
  bool ranBeforeAnswer = false;
  HttpCallbacks cb;
  cb.onBegin = [&](std::int64_t) { ranBeforeAnswer = timerRan; };
  EXPECT_EQ(HttpGet(server.baseUrl() + "/slow", cb), QByteArray("late"));
  EXPECT_TRUE(ranBeforeAnswer);
}

TEST(HttpGet, TimeOutRaises) {
  LocalHttpServer server;
  HttpRoute slow{200, "too late"};
  slow.delayMs = 3000;
  server.Route("/slow", slow);
  EXPECT_THROW(HttpGet(server.baseUrl() + "/slow", {}, 100), HttpError);
  // Without a time-out the same server still answers a quick path.
  server.Route("/quick", {200, "now"});
  EXPECT_EQ(HttpGet(server.baseUrl() + "/quick"), QByteArray("now"));
}

}  // namespace
