// The fetcher against a real HTTP server on the loopback interface: the
// request's exact bytes for GET, POST, accept-charset and sendreferer,
// redirects of each code and a chain over the limit, cookies, timeouts,
// cancellation, size limits, refused schemes and failed connections.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <thread>

#include "WapServer.h"
#include "net/Fetcher.h"
#include "wml/Phones.h"

using namespace deckhand::net;
using deckhand::net::testing::TWapServer;

namespace {

TRequest Get(const std::string& url) {
  TRequest request;
  request.Url = url;
  request.AcceptLanguage = "ru";
  return request;
}

// What the server received: request line, headers and body.
std::string Echo(TFetcher& fetcher, const TRequest& request) {
  const TResponse response = fetcher.Fetch(request);
  EXPECT_TRUE(response.Ok()) << response.Error;
  EXPECT_EQ(response.Status, 200);
  return response.Body;
}

std::string Host(const TWapServer& server) {
  return "Host: 127.0.0.1:" + std::to_string(server.Port) + "\r\n";
}

constexpr char kAccept[] =
    "Accept: text/vnd.wap.wml, application/vnd.wap.wmlc, application/vnd.wap.wmlscriptc, "
    "image/vnd.wap.wbmp\r\n";
constexpr char kC380[] =
    "User-Agent: MOT-C380/0B.D1.09R MIB/2.2.1 Profile/MIDP-2.0 Configuration/CLDC-1.0\r\n";
// Added by the HTTP stack after the phone's headers.
constexpr char kClose[] = "Connection: Keep-Alive\r\n";

}  // namespace

// WML 1.1 §9.5.1: GET appends the fields to the address as a query; POST
// sends them as an application/x-www-form-urlencoded body whose charset
// parameter names the charset they were transcoded to (the first of
// accept-charset the client supports). §11.5.3 sendreferer: the Referer
// header names the deck the request comes from.
TEST(Fetcher, RequestBytesAreThePhonesForGetPostAcceptCharsetAndReferer) {
  REQUIRE_WAP_SERVER(server);
  TSession session;
  TFetcher fetcher(session);
  TRequest request = Get(server->Url("/echo"));
  ApplyPhone(request, deckhand::wml::DefaultPhone());
  request.Fields = {{"имя", "Привет мир"}, {"n", "1"}};
  request.AcceptCharset = "windows-1251";
  request.DeckCharset = "UTF-8";
  request.Referer = "http://example.org/a.wml";
  const std::string fields1251 = "%E8%EC%FF=%CF%F0%E8%E2%E5%F2+%EC%E8%F0&n=1";
  const std::string fieldsUtf8 =
      "%D0%B8%D0%BC%D1%8F=%D0%9F%D1%80%D0%B8%D0%B2%D0%B5%D1%82+%D0%BC%D0%B8%D1%80&n=1";
  const std::string phone = std::string(kAccept) + kC380 + "Accept-Language: ru\r\n";

  EXPECT_EQ(Echo(fetcher, request), "GET /echo?" + fields1251 + " HTTP/1.1\r\n" + Host(*server) +
                                        phone + "Accept-Encoding: identity\r\n" +
                                        "Referer: http://example.org/a.wml\r\n" + kClose + "\r\n");

  request.Method = TMethod::Post;
  EXPECT_EQ(Echo(fetcher, request),
            "POST /echo HTTP/1.1\r\n" + Host(*server) + phone + "Accept-Encoding: identity\r\n" +
                "Referer: http://example.org/a.wml\r\n" +
                "Content-Type: application/x-www-form-urlencoded; charset=windows-1251\r\n" +
                "Content-Length: " + std::to_string(fields1251.size()) + "\r\n" + kClose + "\r\n" +
                fields1251);

  // No accept-charset the client can encode: the deck's charset. No
  // Referer unless asked for.
  request.AcceptCharset = "x-no-such-charset";
  request.DeckCharset = "utf-8";
  request.Referer.clear();
  EXPECT_EQ(Echo(fetcher, request),
            "POST /echo HTTP/1.1\r\n" + Host(*server) + phone + "Accept-Encoding: identity\r\n" +
                "Content-Type: application/x-www-form-urlencoded; charset=utf-8\r\n" +
                "Content-Length: " + std::to_string(fieldsUtf8.size()) + "\r\n" + kClose + "\r\n" +
                fieldsUtf8);

  // A query of the address is kept, the fields follow it; a phone without a
  // recorded User-Agent sends the program's own; a recorded Accept-Charset
  // is sent.
  TRequest plain = Get(server->Url("/echo?a=%20b"));
  ApplyPhone(plain, *deckhand::wml::FindPhone("UP.Browser 4.x"));
  plain.PhoneAcceptCharset = "ISO-8859-1, UTF-8; Q=0.8";
  plain.Fields = {{"q", "x y"}};
  EXPECT_EQ(Echo(fetcher, plain),
            "GET /echo?a=%20b&q=x+y HTTP/1.1\r\n" + Host(*server) + kAccept +
                "User-Agent: Deckhand\r\nAccept-Charset: ISO-8859-1, UTF-8; Q=0.8\r\n"
                "Accept-Language: ru\r\nAccept-Encoding: identity\r\n" +
                kClose + "\r\n");

  // A header value with a line break would forge headers: refused.
  TRequest forged = Get(server->Url("/echo"));
  forged.Referer = "http://example.org/\r\nX-Forged: 1";
  EXPECT_EQ(fetcher.Fetch(forged).Failure, TFailure::Encoding);

  // Fields the chosen charset cannot carry are refused, nothing is sent.
  request.AcceptCharset = "ISO-8859-1";
  const TResponse refused = fetcher.Fetch(request);
  EXPECT_EQ(refused.Failure, TFailure::Encoding);
  EXPECT_FALSE(refused.Error.empty());
}

// RFC 7231 §6.4: 303 continues with GET; after a POST, 301 and 302 continue
// with GET as browsers do; 307 (and 308) repeat the method and body.
TEST(Fetcher, RedirectsOfEachCodeAndTheLimitOfTen) {
  REQUIRE_WAP_SERVER(server);
  TSession session;
  TFetcher fetcher(session);
  for (const int code : {301, 302, 303, 307, 308}) {
    SCOPED_TRACE(code);
    TRequest request = Get(server->Url("/redirect/" + std::to_string(code) + "?to=/echo"));
    request.Method = TMethod::Post;
    request.Fields = {{"a", "1"}};
    const TResponse response = fetcher.Fetch(request);
    ASSERT_TRUE(response.Ok()) << response.Error;
    EXPECT_EQ(response.Redirects, 1);
    EXPECT_EQ(response.FinalUrl, server->Url("/echo"));
    const bool keeps = code == 307 || code == 308;
    EXPECT_EQ(response.Body.substr(0, response.Body.find("\r\n")),
              keeps ? "POST /echo HTTP/1.1" : "GET /echo HTTP/1.1");
    EXPECT_EQ(response.Body.ends_with("\r\n\r\na=1"), keeps) << response.Body;
    EXPECT_EQ(response.Body.find("Content-Type") != std::string::npos, keeps) << response.Body;
    // A GET stays a GET.
    const TResponse get =
        fetcher.Fetch(Get(server->Url("/redirect/" + std::to_string(code) + "?to=/echo")));
    EXPECT_TRUE(get.Body.starts_with("GET /echo HTTP/1.1\r\n")) << get.Body;
  }
  const TResponse ten = fetcher.Fetch(Get(server->Url("/chain/10")));
  ASSERT_TRUE(ten.Ok()) << ten.Error;
  EXPECT_EQ(ten.Redirects, 10);
  EXPECT_TRUE(ten.Body.starts_with("GET /chain/0 HTTP/1.1\r\n"));
  const TResponse eleven = fetcher.Fetch(Get(server->Url("/chain/11")));
  EXPECT_EQ(eleven.Failure, TFailure::TooManyRedirects);
  EXPECT_EQ(eleven.Status, 0);
  EXPECT_TRUE(eleven.Body.empty());
}

// Only http: and https: are ever fetched: a file: address is refused
// before anything is sent, and so is a redirect to one.
TEST(Fetcher, OnlyHttpAndHttpsAreFetched) {
  REQUIRE_WAP_SERVER(server);
  TSession session;
  TFetcher fetcher(session);
  for (const char* url : {"file:///etc/passwd", "ftp://127.0.0.1/", "javascript:alert(1)",
                          "deck.wml", "http://", "wtai://wp/mc;123", ""}) {
    const TResponse response = fetcher.Fetch(Get(url));
    EXPECT_EQ(response.Failure, TFailure::Scheme) << url;
    EXPECT_TRUE(response.Body.empty()) << url;
  }
  const TResponse redirected =
      fetcher.Fetch(Get(server->Url("/redirect/302?to=file:///etc/passwd")));
  EXPECT_EQ(redirected.Failure, TFailure::Scheme);
  EXPECT_TRUE(redirected.Body.empty());
}

TEST(Fetcher, CookiesAreKeptForTheSessionUntilCleared) {
  REQUIRE_WAP_SERVER(server);
  TSession session;
  TFetcher fetcher(session);
  ASSERT_TRUE(fetcher.Fetch(Get(server->Url("/setcookie?v=7"))).Ok());
  ASSERT_EQ(session.Cookies().size(), 1);
  EXPECT_NE(Echo(fetcher, Get(server->Url("/echo"))).find("\r\nCookie: session=s7\r\n"),
            std::string::npos);
  // Another fetcher of the same session sends them too; one of another
  // session does not.
  TFetcher second(session);
  EXPECT_NE(Echo(second, Get(server->Url("/echo"))).find("Cookie: session=s7"), std::string::npos);
  TSession other;
  TFetcher stranger(other);
  EXPECT_EQ(Echo(stranger, Get(server->Url("/echo"))).find("Cookie"), std::string::npos);
  // A cookie set on the way through a redirect is kept as well.
  ASSERT_TRUE(fetcher.Fetch(Get(server->Url("/redirect/302?to=/setcookie%3Fv%3D8"))).Ok());
  EXPECT_NE(Echo(fetcher, Get(server->Url("/echo"))).find("Cookie: session=s8"), std::string::npos);
  session.Clear();
  EXPECT_TRUE(session.Cookies().isEmpty());
  EXPECT_EQ(Echo(fetcher, Get(server->Url("/echo"))).find("Cookie"), std::string::npos);
}

TEST(Fetcher, SlowServersTimeOutAndAFetchCanBeCancelledFromAnotherThread) {
  REQUIRE_WAP_SERVER(server);
  TSession session;
  TFetcher total(session,
                 {.ConnectTimeoutMs = 60000, .TotalTimeoutMs = 300, .ExtraCaCertificates = {}});
  const TResponse trickled = total.Fetch(Get(server->Url("/slow")));
  EXPECT_EQ(trickled.Failure, TFailure::Timeout);
  EXPECT_TRUE(trickled.Body.empty());

  TFetcher connect(session,
                   {.ConnectTimeoutMs = 300, .TotalTimeoutMs = 60000, .ExtraCaCertificates = {}});
  EXPECT_EQ(connect.Fetch(Get(server->Url("/slow-headers"))).Failure, TFailure::Timeout);
  // The headers of /slow come at once: the connect timeout does not end it.
  TFetcher headersInTime(
      session, {.ConnectTimeoutMs = 2000, .TotalTimeoutMs = 600, .ExtraCaCertificates = {}});
  EXPECT_EQ(headersInTime.Fetch(Get(server->Url("/slow"))).Failure, TFailure::Timeout);

  TFetcher fetcher(session);
  std::atomic<bool> done = false;
  std::thread canceller([&] {
    for (int i = 0; i < 3000 && !done; ++i) {
      fetcher.Cancel();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  const TResponse cancelled = fetcher.Fetch(Get(server->Url("/slow")));
  done = true;
  canceller.join();
  EXPECT_EQ(cancelled.Failure, TFailure::Cancelled);
  // A Cancel() with nothing under way does not touch the next fetch.
  fetcher.Cancel();
  EXPECT_TRUE(fetcher.Fetch(Get(server->Url("/wbmp"))).Ok());
}

// A compiled deck over the phone's limit is refused as the phone refused
// it; nothing over 4 MB is read, with or without a Content-Length.
TEST(Fetcher, ResponsesOverThePhonesLimitOrFourMegabytesAreRefused) {
  REQUIRE_WAP_SERVER(server);
  TSession session;
  TFetcher fetcher(session);
  const auto fetch = [&](std::size_t size, const char* type, std::size_t limit, bool length) {
    TRequest request = Get(server->Url("/big?n=" + std::to_string(size) + "&type=" + type +
                                       (length ? "" : "&length=no")));
    request.MaxDeckBytes = limit;
    return fetcher.Fetch(request);
  };
  for (const bool length : {true, false}) {
    SCOPED_TRACE(length);
    const TResponse fits = fetch(8000, "application/vnd.wap.wmlc", 8000, length);
    ASSERT_TRUE(fits.Ok()) << fits.Error;
    EXPECT_EQ(fits.Body.size(), 8000u);
    const TResponse over = fetch(8001, "application/vnd.wap.wmlc", 8000, length);
    EXPECT_EQ(over.Failure, TFailure::TooLarge);
    EXPECT_TRUE(over.Body.empty());
    // Refused by its Content-Length before the body is read, when it has one.
    EXPECT_NE(over.Error.find(length ? "8001 байт" : "больше 8000 байт"), std::string::npos)
        << over.Error;
    // The limit is on compiled decks; an image is not a deck.
    EXPECT_TRUE(fetch(8001, "image/vnd.wap.wbmp", 8000, length).Ok());
    const TResponse most = fetch(kMaxResponseBytes, "text/plain", 0, length);
    ASSERT_TRUE(most.Ok()) << most.Error;
    EXPECT_EQ(most.Body.size(), kMaxResponseBytes);
    EXPECT_EQ(fetch(kMaxResponseBytes + 1, "text/plain", 0, length).Failure, TFailure::TooLarge);
  }
}

TEST(Fetcher, FailedConnectionsAndTlsHandshakesAreReportedNeverIgnored) {
  REQUIRE_WAP_SERVER(server);
  TSession session;
  TFetcher fetcher(session);
  // The server speaks plain HTTP: the TLS handshake fails.
  const TResponse tls =
      fetcher.Fetch(Get("https://127.0.0.1:" + std::to_string(server->Port) + "/deck1251"));
  EXPECT_EQ(tls.Failure, TFailure::Tls) << tls.Error;
  EXPECT_EQ(tls.Status, 0);
  EXPECT_TRUE(tls.Body.empty());
  // A response cut short is not a response.
  const TResponse cut = fetcher.Fetch(Get(server->Url("/truncated")));
  EXPECT_EQ(cut.Failure, TFailure::Network) << cut.Error;
  EXPECT_TRUE(cut.Body.empty());
  // Port 1 of the loopback interface has no server.
  const TResponse refused = fetcher.Fetch(Get("http://127.0.0.1:1/"));
  EXPECT_EQ(refused.Failure, TFailure::Network) << refused.Error;
  EXPECT_FALSE(refused.Error.empty());
}

// "Сначала" during a fetch: the fetch's cookies do not come back after it.
TEST(Fetcher, CookiesOfAFetchUnderWayDoNotOutliveAClear) {
  TSession session;
  const std::uint64_t generation = session.Generation();
  session.SetCookies({QNetworkCookie("a", "1")}, generation);
  EXPECT_EQ(session.Cookies().size(), 1);
  session.Clear();
  session.SetCookies({QNetworkCookie("a", "1"), QNetworkCookie("b", "2")}, generation);
  EXPECT_TRUE(session.Cookies().isEmpty());
  session.SetCookies({QNetworkCookie("c", "3")}, session.Generation());
  EXPECT_EQ(session.Cookies().size(), 1);
}

namespace {

// Runs a program and says whether it ended well.
bool RunTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.start(program, arguments);
  return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
         process.exitCode() == 0;
}

}  // namespace

// TLS verified the normal way: a server whose certificate a trusted
// authority signed for its address is fetched; the same server is refused
// when that authority is not trusted, and under a name its certificate does
// not carry.
TEST(Fetcher, HttpsSucceedsOnlyWithATrustedCertificateForTheAddress) {
  const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
  if (openssl.isEmpty()) GTEST_SKIP() << "no openssl program to make test certificates";
  if (std::string(DECKHAND_PYTHON).empty()) GTEST_SKIP() << "no Python 3 for the test server";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const auto at = [&](const char* name) { return dir.filePath(QString::fromUtf8(name)); };
  // An authority, and a server certificate it signs for 127.0.0.1 only.
  ASSERT_TRUE(RunTool(
      openssl, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                "/CN=Deckhand test authority", "-keyout", at("ca.key"), "-out", at("ca.pem")}));
  ASSERT_TRUE(RunTool(openssl, {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
                                "-keyout", at("server.key"), "-out", at("server.csr")}));
  QFile extensions(at("san.ext"));
  ASSERT_TRUE(extensions.open(QIODevice::WriteOnly));
  extensions.write("subjectAltName=IP:127.0.0.1\n");
  extensions.close();
  ASSERT_TRUE(RunTool(openssl, {"x509", "-req", "-in", at("server.csr"), "-CA", at("ca.pem"),
                                "-CAkey", at("ca.key"), "-CAcreateserial", "-days", "2", "-extfile",
                                at("san.ext"), "-out", at("server.pem")}));

  QProcess server;
  server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  server.start(QString::fromUtf8(DECKHAND_PYTHON),
               {QString::fromUtf8(DECKHAND_WAP_SERVER), "--lifetime", "120", "--tls",
                at("server.pem"), at("server.key")});
  ASSERT_TRUE(server.waitForStarted(10000));
  for (int i = 0; i < 100 && !server.canReadLine(); ++i) server.waitForReadyRead(100);
  const int port = server.readLine().trimmed().toInt();
  ASSERT_GT(port, 0);
  const std::string address = "https://127.0.0.1:" + std::to_string(port) + "/deck1251";

  QFile authority(at("ca.pem"));
  ASSERT_TRUE(authority.open(QIODevice::ReadOnly));
  TFetchOptions trusting;
  trusting.ExtraCaCertificates = QSslCertificate::fromData(authority.readAll(), QSsl::Pem);
  ASSERT_EQ(trusting.ExtraCaCertificates.size(), 1);
  TSession session;
  TFetcher trusted(session, trusting);
  const TResponse good = trusted.Fetch(Get(address));
  EXPECT_TRUE(good.Ok()) << good.Error;
  EXPECT_EQ(good.Status, 200);
  EXPECT_EQ(good.ContentType, "text/vnd.wap.wml");

  // The system's authorities alone do not know the test authority.
  TFetcher plain(session);
  const TResponse unknown = plain.Fetch(Get(address));
  EXPECT_EQ(unknown.Failure, TFailure::Tls) << unknown.Error;
  EXPECT_TRUE(unknown.Body.empty());
  // The certificate names 127.0.0.1, not localhost.
  const TResponse wrongName =
      trusted.Fetch(Get("https://localhost:" + std::to_string(port) + "/deck1251"));
  EXPECT_NE(wrongName.Failure, TFailure::None);
  EXPECT_TRUE(wrongName.Body.empty());

  server.closeWriteChannel();
  if (!server.waitForFinished(5000)) server.kill();
}
