#include "net/NetworkLoader.h"

#include <algorithm>

#include "emulator/Deck.h"
#include "wml/DeckCheck.h"
#include "wml/Phones.h"

namespace deckhand::net {

TNetworkLoader::TNetworkLoader(TFetchOptions options) : fetcher_(session_, options) {}

bool TNetworkLoader::Cancel() {
  if (!fetcher_.Busy()) return false;
  fetcher_.Cancel();
  return true;
}

wml::TNetworkReply TNetworkLoader::Fetch(const wml::TRequest& source) {
  TRequest request;
  request.Method = source.Method == "POST" ? TMethod::Post : TMethod::Get;
  const std::string& address = source.Address.empty() ? source.Url : source.Address;
  request.Url = address.substr(0, address.find('#'));
  for (const auto& [name, value] : source.Fields) request.Fields.push_back({name, value});
  request.AcceptCharset = source.AcceptCharset;
  request.DeckCharset = source.DeckCharset;
  request.Referer = source.Referer;
  const wml::TPhoneProfile* phone = phone_;
  if (phone) ApplyPhone(request, *phone);

  const TResponse response = fetcher_.Fetch(request);
  const TResponseView view = ViewOf(response, request.MaxDeckBytes);

  wml::TNetworkReply reply;
  reply.Url = response.FinalUrl.empty() ? request.Url : response.FinalUrl;
  reply.Cancelled = response.Failure == TFailure::Cancelled;
  std::optional<std::size_t> compiledSize;
  switch (view.Kind) {
    case TViewKind::Deck:
      reply.Kind = wml::TNetworkReply::TKind::Deck;
      reply.Body = view.Deck;
      if (view.Compiled) {
        compiledSize = response.Body.size();
      } else if (const std::optional<std::string> compiled = wml::CompileDeck(view.Deck)) {
        compiledSize = compiled->size();
      }
      // The charset the deck's forms are sent in: the one it arrived in.
      reply.Charset = !response.Charset.empty() ? response.Charset
                      : view.Compiled           ? std::string("UTF-8")
                                                : wml::DeclaredEncoding(response.Body);
      if (reply.Charset.empty()) reply.Charset = "UTF-8";
      break;
    case TViewKind::Image:
      reply.Kind = wml::TNetworkReply::TKind::Image;
      reply.Body = view.Bytes;
      break;
    case TViewKind::Script:
      reply.Kind = wml::TNetworkReply::TKind::Script;
      reply.Body = view.Bytes;
      break;
    case TViewKind::Error:
      reply.Kind = wml::TNetworkReply::TKind::Error;
      reply.Error = view.ErrorText;
      break;
  }
  reply.Exchange = DescribeExchange(response, view, compiledSize, session_.Cookies());
  return reply;
}

std::string DescribeExchange(const TResponse& response, const TResponseView& view,
                             std::optional<std::size_t> compiledSize,
                             const QList<QNetworkCookie>& cookies) {
  std::string text;
  const bool post = !response.SentBody.empty() ||
                    std::any_of(response.SentHeaders.begin(), response.SentHeaders.end(),
                                [](const auto& header) { return header.first == "Content-Type"; });
  text += "> " + std::string(post ? "POST " : "GET ") + response.SentUrl + "\n";
  for (const auto& [name, value] : response.SentHeaders) text += "> " + name + ": " + value + "\n";
  if (!response.SentBody.empty()) text += "> \n> " + response.SentBody + "\n";
  if (response.Ok() || response.Status != 0) {
    text += "< " + std::to_string(response.Status) +
            (response.Reason.empty() ? std::string() : " " + response.Reason) + "\n";
    for (const auto& [name, value] : response.Headers) text += "< " + name + ": " + value + "\n";
  }
  if (!response.Ok()) text += response.Error + "\n";
  if (response.Redirects > 0)
    text += "Перенаправлений: " + std::to_string(response.Redirects) + ", последний адрес " +
            response.FinalUrl + "\n";
  text += "Получено: " + wml::ByteCount(response.Body.size());
  if (compiledSize)
    text += (view.Compiled ? ", колода пришла скомпилированной"
                           : ", скомпилированная колода: " + wml::ByteCount(*compiledSize));
  text +=
      "\nВремя: " + std::to_string(static_cast<long long>(response.Milliseconds + 0.5)) + " мс\n";
  if (cookies.isEmpty()) {
    text += "Cookie: нет\n";
  } else {
    for (const QNetworkCookie& cookie : cookies)
      text += "Cookie: " + cookie.name().toStdString() + "=" + cookie.value().toStdString() + " (" +
              cookie.domain().toStdString() + cookie.path().toStdString() + ")\n";
  }
  return text;
}

}  // namespace deckhand::net
