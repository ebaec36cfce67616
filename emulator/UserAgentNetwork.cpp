// The user agent on the network, when the user turned it on: a go to an
// http: or https: address is sent through the fetch the agent was given, a
// deck that comes back is shown like a deck file (its relative addresses
// against its own address), its images are fetched when its card is shown,
// and the access element of WML 1.1 §11.3.1 is enforced between decks of
// different addresses. A deck from the network never reaches the files of
// this machine.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "emulator/EmulatorLimits.h"
#include "emulator/UserAgent.h"
#include "emulator/UserAgentInternal.h"
#include "wmlscript/Library.h"

namespace deckhand::wml {

using namespace agent_detail;

namespace {

std::string WithoutFragment(const std::string& url) { return url.substr(0, url.find('#')); }

// WML 1.1 §11.3.1: a deck with an access element may be reached only from a
// deck whose address matches its domain (the end of the host, in whole
// components; by default the deck's own host) and its path (the start of
// the path, in whole components; by default "/"). A deck without one may be
// reached from anywhere.
bool AccessAllows(const TDeck& deck, const std::string& deckUrl, const std::string& referringUrl) {
  const TNode* head = deck.Root ? deck.Root->Child("head") : nullptr;
  const TNode* access = head ? head->Child("access") : nullptr;
  if (!access) return true;
  std::optional<std::string> domain, path;
  if (const std::string* value = access->Attribute("domain")) domain = *value;
  if (const std::string* value = access->Attribute("path")) path = *value;
  // The element itself turns access control on: with no attributes, both
  // take their defaults.
  if (!domain && !path) path = "/";
  return wmlscript::AccessRuleAllows(domain, path, deckUrl, referringUrl);
}

}  // namespace

bool TUserAgent::IsNetworkAddress(std::string_view address) {
  const std::string head = Lower(std::string(address.substr(0, 8)));
  return head.rfind("http://", 0) == 0 || head.rfind("https://", 0) == 0;
}

void TUserAgent::SetNetwork(TNetworkFetch fetch) {
  fetch_ = std::move(fetch);
  networkDecks_.clear();
  networkImages_.clear();
}

std::string TUserAgent::ResolveAddress(const std::string& address) const {
  if (!IsNetworkAddress(deckPath_) || HasScheme(address)) return address;
  return wmlscript::ResolveUrl(deckPath_, address);
}

const std::string* TUserAgent::NetworkImage(const std::string& url) const {
  auto it = networkImages_.find(url);
  return it == networkImages_.end() || it->second.empty() ? nullptr : &it->second;
}

std::string TUserAgent::DeckCharset() const {
  if (!networkCharset_.empty()) return networkCharset_;
  std::string declared = DeclaredEncoding(bytes_);
  if (!declared.empty()) return declared;
  // A deck without a declaration that is not UTF-8 is read as
  // Windows-1251 (the editor's documents), and its forms are sent so.
  return IsValidUtf8(bytes_) ? "UTF-8" : "windows-1251";
}

void TUserAgent::KeepNetworkDeck(const std::string& url, const std::string& source) {
  std::erase_if(networkDecks_, [&](const auto& kept) { return kept.first == url; });
  if (networkDecks_.size() >= kMaxKeptNetworkDecks) networkDecks_.erase(networkDecks_.begin());
  networkDecks_.emplace_back(url, source);
}

std::optional<std::string> TUserAgent::ReadNetworkDeck(const std::string& url,
                                                       std::string& problem) {
  for (const auto& [kept, source] : networkDecks_)
    if (kept == url) return source;
  if (!fetch_) {
    problem = "Сеть выключена: колоду " + url + " не загрузить";
    return std::nullopt;
  }
  TRequest request;
  request.Method = "GET";
  request.Url = request.Address = url;
  request.DeckCharset = DeckCharset();
  TNetworkReply reply = fetch_(request);
  lastExchange_ = reply.Exchange;
  if (reply.Cancelled) {
    problem = "Загрузка " + url + " отменена";
    return std::nullopt;
  }
  if (reply.Kind != TNetworkReply::TKind::Deck) {
    problem = reply.Kind == TNetworkReply::TKind::Error ? reply.Error : url + ": это не колода WML";
    return std::nullopt;
  }
  KeepNetworkDeck(url, reply.Body);
  return reply.Body;
}

bool TUserAgent::GoNetwork(const TTask& task, const std::string& href,
                           const TAssignments& setvars) {
  TRequest request = MakeRequest(task.Node, href);
  const std::string url = WithoutFragment(href);
  const std::string fragment = href.size() > url.size() ? href.substr(url.size() + 1) : "";
  // A go within the deck on screen sends nothing (the deck is at hand),
  // unless it carries fields or posts: those are for the server.
  if (url == deckPath_ && request.Method == "GET" && request.Fields.empty()) return false;
  request.Address = url;
  Step();
  TNetworkReply reply = fetch_(request);
  lastExchange_ = reply.Exchange;
  if (reply.Cancelled) {
    Note("Запрос " + url + " отменён: карта осталась прежней");
    return true;
  }
  // What the phone could not show: its error screen says why, over the
  // card that stays current.
  const auto refuse = [&](std::string why) {
    errorScreen_ = why;
    Fail(std::move(why) + "; карта осталась прежней");
    return true;
  };
  switch (reply.Kind) {
    case TNetworkReply::TKind::Error:
      return refuse(reply.Error);
    case TNetworkReply::TKind::Image:
      return refuse("Переход к " + url + " не выполнен: это картинка, а не колода WML");
    case TNetworkReply::TKind::Script:
      // A compiled unit: verified and run as a script file is (the
      // fragment names the function and its arguments).
      CallScript(reply.Url.empty() ? url : WithoutFragment(reply.Url), fragment, setvars,
                 &reply.Body);
      return true;
    case TNetworkReply::TKind::Deck:
      break;
  }
  const std::string deckUrl = reply.Url.empty() ? url : WithoutFragment(reply.Url);
  TDeck deck = ParseDeck(reply.Body);
  if (deck.Cards.empty())
    return refuse("Переход к " + deckUrl + " не выполнен: в ответе нет колоды WML с картами");
  // Between decks of different addresses, the destination's access element
  // decides (a deck of this machine has no address of the network to
  // check: the author's own deck may lead anywhere).
  if (IsNetworkAddress(deckPath_) && deckUrl != deckPath_ &&
      !AccessAllows(deck, deckUrl, deckPath_))
    return refuse("Колода " + deckUrl + " не разрешает переход из " + deckPath_ +
                  " (элемент access)");
  KeepNetworkDeck(deckUrl, reply.Body);
  LeaveCard();
  CommitDeck(deckUrl, reply.Body, std::move(deck));
  networkCharset_ = reply.Charset.empty() ? "UTF-8" : reply.Charset;
  ShowDestination(fragment, setvars);
  return true;
}

void TUserAgent::FetchCardImages() {
  if (!fetch_ || !card_ || !IsNetworkAddress(deckPath_)) return;
  std::vector<const TNode*> images;
  FindAll(*card_, "img", images);
  if (images.size() > kMaxImagesPerCard) images.resize(kMaxImagesPerCard);
  std::set<std::string> wanted;
  for (const TNode* image : images) {
    const std::string src = SubstituteAttribute(*image, "src");
    if (src.empty()) continue;
    const std::string url = WithoutFragment(ResolveAddress(src));
    if (IsNetworkAddress(url) && !networkImages_.contains(url)) wanted.insert(url);
  }
  for (const std::string& url : wanted) {
    if (networkImages_.size() >= kMaxKeptNetworkImages) networkImages_.clear();
    TRequest request;
    request.Method = "GET";
    request.Url = request.Address = url;
    TNetworkReply reply = fetch_(request);
    if (reply.Cancelled) return;  // the user wants the card as it is
    // A failed image is remembered as empty: its alt text shows, and it is
    // not asked for again at every redraw of the card.
    networkImages_[url] = reply.Kind == TNetworkReply::TKind::Image ? reply.Body : std::string();
  }
}

}  // namespace deckhand::wml
