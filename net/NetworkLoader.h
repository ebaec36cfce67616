// The phone emulator's network: the user agent's requests sent as the
// selected phone sends them (TFetcher), the answers turned into what the
// agent shows (ViewOf), and each exchange written out for the emulator
// window: the request's line and headers, the response's status, headers,
// sizes and time, and the cookies held.
//
// Fetch blocks and runs on the emulator's worker thread; Cancel, Busy and
// ClearCookies may be called from any thread (the window's back key cancels
// a request under way).
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "emulator/UserAgent.h"
#include "net/Fetcher.h"
#include "net/ResponseView.h"

namespace deckhand::net {

class TNetworkLoader {
 public:
  explicit TNetworkLoader(TFetchOptions options = {});
  TNetworkLoader(const TNetworkLoader&) = delete;
  TNetworkLoader& operator=(const TNetworkLoader&) = delete;

  // The phone whose headers and deck limit the requests carry (null: none).
  void SetPhone(const wml::TPhoneProfile* phone) { phone_ = phone; }
  wml::TNetworkReply Fetch(const wml::TRequest& request);
  // The fetch to give the user agent; it calls Fetch of this loader, which
  // must outlive the agent's use of it.
  wml::TNetworkFetch AsFetch() {
    return [this](const wml::TRequest& request) { return Fetch(request); };
  }
  // Ends the request under way (the agent keeps its card); false when none
  // was under way.
  bool Cancel();
  bool Busy() const { return fetcher_.Busy(); }
  // Forgets the session's cookies ("Сначала").
  void ClearCookies() { session_.Clear(); }
  const TSession& Session() const { return session_; }

 private:
  TSession session_;
  TFetcher fetcher_;
  std::atomic<const wml::TPhoneProfile*> phone_{nullptr};
};

// The exchange as text: "> " lines for the request, "< " lines for the
// response, then its sizes (received and, for a deck, compiled), the time
// taken and the cookies held.
std::string DescribeExchange(const TResponse& response, const TResponseView& view,
                             std::optional<std::size_t> compiledSize,
                             const QList<QNetworkCookie>& cookies);

}  // namespace deckhand::net
