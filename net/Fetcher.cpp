#include "net/Fetcher.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QSslError>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <functional>
#include <optional>

#include "wml/DeckCheck.h"
#include "wml/Phones.h"

namespace deckhand::net {

namespace {

constexpr char kAccept[] =
    "text/vnd.wap.wml, application/vnd.wap.wmlc, application/vnd.wap.wmlscriptc, "
    "image/vnd.wap.wbmp";
constexpr char kDefaultUserAgent[] = "Deckhand";

// The jar of one fetch, filled from the session and read back after it.
class TJar : public QNetworkCookieJar {
 public:
  using QNetworkCookieJar::allCookies;
  using QNetworkCookieJar::setAllCookies;
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}

std::string Trim(std::string_view text) {
  const std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  const std::size_t end = text.find_last_not_of(" \t");
  return std::string(text.substr(begin, end - begin + 1));
}

// Media type and charset parameter of a Content-Type value (RFC 7231
// §3.1.1.1); the charset may be quoted.
void ParseContentType(std::string_view value, std::string& type, std::string& charset) {
  const std::size_t semicolon = value.find(';');
  type = Lower(Trim(value.substr(0, semicolon)));
  charset.clear();
  std::size_t pos = semicolon;
  while (pos != std::string_view::npos) {
    const std::size_t next = value.find(';', pos + 1);
    const std::string parameter(Trim(value.substr(
        pos + 1, next == std::string_view::npos ? std::string_view::npos : next - pos - 1)));
    const std::size_t equals = parameter.find('=');
    if (equals != std::string::npos && Lower(Trim(parameter.substr(0, equals))) == "charset") {
      std::string name = Trim(std::string_view(parameter).substr(equals + 1));
      if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
      charset = name;
    }
    pos = next;
  }
}

bool IsWebScheme(const QUrl& url) {
  return (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
         !url.host().isEmpty();
}

std::string SchemeError(const QUrl& url) {
  return "Адрес " + url.toDisplayString().toStdString() +
         " не открывается: телефон загружает только адреса http: и https:";
}

std::string TooLargeError(std::optional<std::size_t> length, std::size_t limit) {
  const std::string size =
      length ? wml::ByteCount(*length) : "больше " + wml::ByteCountGenitive(limit);
  if (limit == kMaxResponseBytes)
    return "Ответ слишком велик: " + size + ", читается не больше " + wml::ByteCountGenitive(limit);
  return "Колода слишком велика для телефона: " + size + ", телефон принимает до " +
         wml::ByteCountGenitive(limit);
}

}  // namespace

std::string TResponse::Header(std::string_view name) const {
  const std::string wanted = Lower(std::string(name));
  for (const auto& [key, value] : Headers) {
    if (Lower(key) == wanted) return value;
  }
  return {};
}

void ApplyPhone(TRequest& request, const wml::TPhoneProfile& phone) {
  request.UserAgent = std::string(phone.UserAgent);
  request.PhoneAcceptCharset = std::string(phone.AcceptCharset);
  request.MaxDeckBytes = phone.MaxCompiledDeckBytes;
}

void TSession::Clear() {
  std::lock_guard lock(Mutex);
  Held.clear();
  ++Clears;
}

std::uint64_t TSession::Generation() const {
  std::lock_guard lock(Mutex);
  return Clears;
}

QList<QNetworkCookie> TSession::Cookies() const {
  std::lock_guard lock(Mutex);
  return Held;
}

void TSession::SetCookies(QList<QNetworkCookie> cookies, std::uint64_t generation) {
  std::lock_guard lock(Mutex);
  if (generation == Clears) Held = std::move(cookies);
}

TFetcher::TFetcher(TSession& session, TFetchOptions options) : Session(session), Options(options) {}

bool TFetcher::Busy() const {
  std::lock_guard lock(Mutex);
  return Running;
}

void TFetcher::Cancel() {
  std::lock_guard lock(Mutex);
  if (!Running) return;
  // Before the event loop runs, the flag alone ends the fetch: it is
  // checked before each request of the chain is sent.
  CancelRequested = true;
  if (Active == nullptr) return;
  // Runs on the fetching thread, inside its event loop; dropped with the
  // loop when the fetch has ended meanwhile.
  QMetaObject::invokeMethod(
      Active, [loop = static_cast<QEventLoop*>(Active)] { loop->exit(1); }, Qt::QueuedConnection);
}

TResponse TFetcher::Fetch(const TRequest& request) {
  QElapsedTimer clock;
  clock.start();
  {
    std::lock_guard lock(Mutex);
    Running = true;
    CancelRequested = false;
  }
  struct TStopped {
    TFetcher* Self;
    ~TStopped() {
      std::lock_guard lock(Self->Mutex);
      Self->Running = false;
      Self->Active = nullptr;
    }
  } stopped{this};
  TResponse response;
  const auto fail = [&](TFailure failure, std::string message) {
    response.Failure = failure;
    response.Error = std::move(message);
    response.Milliseconds = double(clock.nsecsElapsed()) / 1e6;
    return response;
  };

  QUrl url(QString::fromStdString(request.Url), QUrl::StrictMode);
  if (!url.isValid() || !IsWebScheme(url)) return fail(TFailure::Scheme, SchemeError(url));

  // A header value is one line (RFC 7230 §3.2): a line break in one would
  // end it and forge the next.
  for (const std::string* value : {&request.UserAgent, &request.PhoneAcceptCharset,
                                   &request.AcceptLanguage, &request.Referer}) {
    if (std::any_of(value->begin(), value->end(),
                    [](unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; }))
      return fail(TFailure::Encoding, "Заголовок запроса содержит управляющие символы");
  }

  const std::string charset = ChooseFormCharset(request.AcceptCharset, request.DeckCharset);
  std::string encodeError;
  const std::optional<std::string> form = EncodeForm(request.Fields, charset, encodeError);
  if (!form) return fail(TFailure::Encoding, encodeError);

  bool post = request.Method == TMethod::Post;
  QByteArray body;
  if (post) {
    body = QByteArray::fromStdString(*form);
    response.SentBody = *form;
  } else if (!request.Fields.empty()) {
    // WML 1.1 §9.5.1: the fields are appended to the address as its query.
    const QString query = url.query(QUrl::FullyEncoded);
    url.setQuery((query.isEmpty() ? QString() : query + u'&') + QString::fromStdString(*form),
                 QUrl::TolerantMode);
  }

  QNetworkAccessManager manager;
  manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
  auto* jar = new TJar;  // owned by manager
  jar->setAllCookies(Session.Cookies());
  manager.setCookieJar(jar);
  const std::uint64_t generation = Session.Generation();
  // Cookies set on the way (by a redirect, say) are kept whatever the end.
  struct TKeepCookies {
    TSession& Session;
    TJar* Jar;
    std::uint64_t Generation;
    ~TKeepCookies() { Session.SetCookies(Jar->allCookies(), Generation); }
  } keepCookies{Session, jar, generation};

  QEventLoop loop;
  {
    std::lock_guard lock(Mutex);
    Active = &loop;
  }
  struct TDeactivate {
    TFetcher* Self;
    ~TDeactivate() {
      std::lock_guard lock(Self->Mutex);
      Self->Active = nullptr;
    }
  } deactivate{this};
  const auto cancelled = [&] {
    std::lock_guard lock(Mutex);
    return CancelRequested;
  };

  QTimer total;
  total.setSingleShot(true);
  bool totalExpired = false;
  QObject::connect(&total, &QTimer::timeout, &loop, [&] {
    totalExpired = true;
    loop.exit(2);
  });
  total.start(Options.TotalTimeoutMs);

  for (int redirects = 0;; ++redirects) {
    if (cancelled()) return fail(TFailure::Cancelled, "Запрос отменён");
    QNetworkRequest outgoing(url);
    outgoing.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    if (!Options.ExtraCaCertificates.isEmpty()) {
      QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
      tls.addCaCertificates(Options.ExtraCaCertificates);
      outgoing.setSslConfiguration(tls);
    }
    outgoing.setRawHeader("Accept", kAccept);
    outgoing.setRawHeader("User-Agent", request.UserAgent.empty()
                                            ? QByteArray(kDefaultUserAgent)
                                            : QByteArray::fromStdString(request.UserAgent));
    if (!request.PhoneAcceptCharset.empty())
      outgoing.setRawHeader("Accept-Charset",
                            QByteArray::fromStdString(request.PhoneAcceptCharset));
    if (!request.AcceptLanguage.empty())
      outgoing.setRawHeader("Accept-Language", QByteArray::fromStdString(request.AcceptLanguage));
    // The body as the server sends it: the phone's size limits apply to
    // the bytes that travel, and no compression the phone lacked is asked
    // for.
    outgoing.setRawHeader("Accept-Encoding", "identity");
    if (!request.Referer.empty())
      outgoing.setRawHeader("Referer", QByteArray::fromStdString(request.Referer));
    if (post) {
      outgoing.setRawHeader("Content-Type", "application/x-www-form-urlencoded; charset=" +
                                                QByteArray::fromStdString(charset));
    }

    if (redirects == 0) {
      response.SentUrl = url.toString(QUrl::FullyEncoded).toStdString();
      for (const QByteArray& name : outgoing.rawHeaderList())
        response.SentHeaders.emplace_back(name.toStdString(),
                                          outgoing.rawHeader(name).toStdString());
    }
    QNetworkReply* reply = post ? manager.post(outgoing, body) : manager.get(outgoing);
    std::unique_ptr<QNetworkReply> owner(reply);
    reply->setReadBufferSize(64 * 1024);

    QByteArray received;
    bool headers = false;
    bool connectExpired = false;
    bool tooLarge = false;
    std::optional<std::size_t> declaredLength;
    QStringList tlsErrors;
    std::size_t limit = kMaxResponseBytes;

    QTimer connect;
    connect.setSingleShot(true);
    QObject::connect(&connect, &QTimer::timeout, &loop, [&] {
      if (headers) return;
      connectExpired = true;
      loop.exit(2);
    });
    connect.start(Options.ConnectTimeoutMs);

    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
      headers = true;
      std::string type, typeCharset;
      ParseContentType(reply->header(QNetworkRequest::ContentTypeHeader).toString().toStdString(),
                       type, typeCharset);
      if (type == "application/vnd.wap.wmlc" && request.MaxDeckBytes > 0)
        limit = std::min(limit, request.MaxDeckBytes);
      bool known = false;
      const qlonglong length =
          reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
      if (known && length > 0 && std::size_t(length) > limit) {
        tooLarge = true;
        declaredLength = std::size_t(length);
        loop.exit(3);
      }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
      if (tooLarge) return;
      while (reply->bytesAvailable() > 0) {
        const QByteArray chunk = reply->read(64 * 1024);
        if (std::size_t(received.size()) + std::size_t(chunk.size()) > limit) {
          tooLarge = true;
          loop.exit(3);
          return;
        }
        received += chunk;
      }
    });
    QObject::connect(reply, &QNetworkReply::sslErrors, &loop, [&](const QList<QSslError>& errors) {
      for (const QSslError& error : errors) tlsErrors << error.errorString();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, [&] { loop.exit(0); });

    if (!reply->isFinished()) loop.exec();
    connect.stop();
    if (!reply->isFinished()) reply->abort();
    QObject::disconnect(reply, nullptr, &loop, nullptr);

    if (cancelled()) return fail(TFailure::Cancelled, "Запрос отменён");
    if (totalExpired || connectExpired) {
      return fail(TFailure::Timeout,
                  "Сервер не ответил вовремя: " + url.toDisplayString().toStdString());
    }
    if (tooLarge) return fail(TFailure::TooLarge, TooLargeError(declaredLength, limit));
    // Whatever remains after the last readyRead.
    while (reply->bytesAvailable() > 0) {
      const QByteArray chunk = reply->read(64 * 1024);
      if (std::size_t(received.size()) + std::size_t(chunk.size()) > limit)
        return fail(TFailure::TooLarge, TooLargeError(std::nullopt, limit));
      received += chunk;
    }

    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // Errors below 200 are the connection's (refused, closed early, TLS...):
    // a response cut short is a failure even when its status came.
    const int error = reply->error();
    if (!statusAttribute.isValid() || (error > 0 && error < 200)) {
      if (!tlsErrors.isEmpty() || error == QNetworkReply::SslHandshakeFailedError) {
        return fail(TFailure::Tls, "Ошибка защищённого соединения: " +
                                       (tlsErrors.isEmpty() ? reply->errorString()
                                                            : tlsErrors.join(QStringLiteral("; ")))
                                           .toStdString());
      }
      return fail(TFailure::Network, "Ошибка сети: " + reply->errorString().toStdString());
    }
    const int status = statusAttribute.toInt();
    const bool redirect =
        status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    const QByteArray location = reply->rawHeader("Location");
    if (redirect && !location.isEmpty()) {
      if (redirects == kMaxRedirects) {
        return fail(TFailure::TooManyRedirects,
                    "Слишком много перенаправлений (больше " + std::to_string(kMaxRedirects) + ")");
      }
      const QUrl next = url.resolved(QUrl::fromEncoded(location));
      if (!next.isValid() || !IsWebScheme(next)) return fail(TFailure::Scheme, SchemeError(next));
      // RFC 7231 §6.4: 303 is always followed with GET; browsers do the same
      // for 301 and 302 after a POST; 307 and 308 keep the method and body.
      if (status == 303 || ((status == 301 || status == 302) && post)) {
        post = false;
        body.clear();
      }
      url = next;
      response.Redirects = redirects + 1;
      continue;
    }

    response.Status = status;
    response.Reason =
        reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().toStdString();
    for (const auto& [name, value] : reply->rawHeaderPairs())
      response.Headers.emplace_back(name.toStdString(), value.toStdString());
    ParseContentType(response.Header("Content-Type"), response.ContentType, response.Charset);
    response.Body = received.toStdString();
    response.FinalUrl = url.toString(QUrl::FullyEncoded).toStdString();
    break;
  }
  response.Milliseconds = double(clock.nsecsElapsed()) / 1e6;
  return response;
}

}  // namespace deckhand::net
