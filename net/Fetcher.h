// The emulator's HTTP client: sends a request as a WAP phone sends it and
// returns the whole response, following redirects and keeping cookies.
//
// The API is blocking: TFetcher::Fetch runs its own network manager in a
// private event loop on the calling thread, so the emulator calls it from a
// worker thread (never from the GUI thread); Cancel() may be called from any
// thread. A QCoreApplication must exist.
#pragma once

#include <QList>
#include <QNetworkCookie>
#include <QSslCertificate>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "net/FormEncoding.h"

class QObject;

namespace deckhand::wml {
struct TPhoneProfile;
}

namespace deckhand::net {

// Nothing larger is ever read, whatever the phone's limit.
inline constexpr std::size_t kMaxResponseBytes = 4 * 1024 * 1024;
// Redirects followed before the request is given up.
inline constexpr int kMaxRedirects = 10;

enum class TMethod { Get, Post };

// A request as the phone's go task makes it (WML 1.1 §9.5.1, §11.5.3).
struct TRequest {
  TMethod Method = TMethod::Get;
  // Absolute http: or https: address; any other scheme is refused.
  std::string Url;
  std::vector<TField> Fields;
  // The go element's accept-charset ("" or "unknown": the deck's charset).
  std::string AcceptCharset;
  // The charset of the deck the request comes from.
  std::string DeckCharset = "UTF-8";
  // Sent as Referer when not empty (sendreferer="true").
  std::string Referer;
  // The phone's headers; an empty User-Agent sends "Deckhand", an empty
  // Accept-Charset none.
  std::string UserAgent;
  std::string PhoneAcceptCharset;
  // Sent as Accept-Language when not empty; else the language of the
  // user's locale is sent.
  std::string AcceptLanguage;
  // Largest deck the phone accepts, in bytes; 0 for no limit of the phone's
  // own. Applied to compiled decks (application/vnd.wap.wmlc) as they
  // arrive.
  std::size_t MaxDeckBytes = 0;
};

// The request's phone headers and deck limit taken from a phone profile.
void ApplyPhone(TRequest& request, const wml::TPhoneProfile& phone);

enum class TFailure {
  None,
  Scheme,           // not http: or https:
  Encoding,         // fields the charset cannot carry
  Network,          // connection refused, host not found, broken transfer
  Tls,              // certificate or handshake failure
  Timeout,          // connect or total timeout
  Cancelled,        // Cancel() was called
  TooLarge,         // over the phone's limit or over kMaxResponseBytes
  TooManyRedirects  // more than kMaxRedirects, or a redirect without Location
};

struct TResponse {
  TFailure Failure = TFailure::None;
  // What went wrong, in Russian, for the phone's error screen.
  std::string Error;
  int Status = 0;
  std::string Reason;
  // Headers of the final response, in the order received.
  std::vector<std::pair<std::string, std::string>> Headers;
  // Media type, lower case, without parameters ("text/vnd.wap.wml").
  std::string ContentType;
  // The charset parameter of Content-Type, as sent; empty when none.
  std::string Charset;
  std::string Body;
  double Milliseconds = 0;
  std::string FinalUrl;
  int Redirects = 0;
  // The bytes of the first request's body as sent (POST).
  std::string SentBody;
  // The first request's address (a GET's fields in its query) and the
  // headers this program set on it, in order (the network library adds
  // Host, Connection and Cookie of its own).
  std::string SentUrl;
  std::vector<std::pair<std::string, std::string>> SentHeaders;

  bool Ok() const { return Failure == TFailure::None; }
  // The first header named name (case-insensitive), or "".
  std::string Header(std::string_view name) const;
};

struct TFetchOptions {
  // Longest wait for a response's headers, from each request of a redirect
  // chain being sent.
  int ConnectTimeoutMs = 15000;
  // Longest time for the whole fetch, redirects included.
  int TotalTimeoutMs = 60000;
  // Certificate authorities trusted besides the system's (a private CA of
  // a test or intranet server). Certificates are verified either way.
  QList<QSslCertificate> ExtraCaCertificates;
};

// Cookies of one emulator session; thread-safe.
class TSession {
 public:
  // Forgets every cookie; a fetch under way does not bring them back.
  void Clear();
  QList<QNetworkCookie> Cookies() const;
  // How many times Clear() was called.
  std::uint64_t Generation() const;
  // Replaces the cookies, unless Clear() was called since generation was
  // read (the cookies are then those of a cleared session).
  void SetCookies(QList<QNetworkCookie> cookies, std::uint64_t generation);

 private:
  mutable std::mutex Mutex;
  QList<QNetworkCookie> Held;
  std::uint64_t Clears = 0;
};

class TFetcher {
 public:
  explicit TFetcher(TSession& session, TFetchOptions options = {});
  TFetcher(const TFetcher&) = delete;
  TFetcher& operator=(const TFetcher&) = delete;

  // Sends request and waits for the whole response. Blocking.
  TResponse Fetch(const TRequest& request);
  // Ends the fetch under way with TFailure::Cancelled; does nothing when none
  // is under way. Safe from any thread.
  void Cancel();
  // Whether a fetch is under way (from its start to its return).
  bool Busy() const;

 private:
  TSession& Session;
  TFetchOptions Options;
  mutable std::mutex Mutex;
  QObject* Active = nullptr;  // the running fetch's loop, guarded by Mutex
  bool Running = false;       // guarded by Mutex
  bool CancelRequested = false;
};

}  // namespace deckhand::net
