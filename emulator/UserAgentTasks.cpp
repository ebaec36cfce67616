// The user agent's tasks and history (WML 1.1 §12.5): go, prev, refresh
// and noop, their setvars and postfields, entering and leaving cards, and
// the decks a go reads.
#include "emulator/UserAgent.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "emulator/EmulatorLimits.h"
#include "emulator/UserAgentInternal.h"

namespace deckhand::wml {

using namespace agent_detail;

namespace {

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() &&
         Lower(std::string(text.substr(text.size() - tail.size()))) == tail;
}

// What a file that holds no deck is, for the message: a script, a picture
// or something else.
std::string NotADeckReason(const std::string& path, const std::string& bytes, const TDeck& deck) {
  if (EndsWith(path, ".wmls") || EndsWith(path, ".wmlsc"))
    return "это сценарий WMLScript, а не колода WML";
  const auto starts = [&](std::string_view magic) {
    return bytes.compare(0, magic.size(), magic) == 0;
  };
  if (starts("GIF8") || starts("\x89PNG") || starts("\xFF\xD8\xFF") || starts("BM") ||
      EndsWith(path, ".wbmp") || EndsWith(path, ".gif") || EndsWith(path, ".png") ||
      EndsWith(path, ".jpg") || EndsWith(path, ".jpeg") || EndsWith(path, ".bmp"))
    return "это картинка, а не колода WML";
  if (deck.Root && deck.Root->Name == "wml") return "в колоде нет ни одной карты";
  return "в файле нет колоды WML (нет элемента wml с картами)";
}

// Where the path of an absolute address starts (after "scheme://host"),
// npos when it has no authority.
std::size_t PathStart(std::string_view url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return std::string_view::npos;
  return std::min(url.find_first_of("/?#", scheme + 3), url.size());
}

// WML 1.1 §9.5.1: the referring deck's URI as the smallest relative URI
// that, resolved against the request's own address, gives it back; the
// absolute one when the two differ in scheme or server.
std::string RelativeReferer(std::string_view request, std::string_view deck) {
  const std::size_t requestPath = PathStart(request);
  const std::size_t deckPath = PathStart(deck);
  if (requestPath == std::string_view::npos || deckPath == std::string_view::npos ||
      Lower(std::string(request.substr(0, requestPath))) !=
          Lower(std::string(deck.substr(0, deckPath))))
    return std::string(deck);
  const std::string_view target = deck.substr(deckPath);
  if (target.empty() || target[0] != '/') return std::string(deck);
  std::string_view base = request.substr(requestPath);
  base = base.substr(0, base.find_first_of("?#"));
  if (base.empty()) base = "/";
  const std::string_view targetPath = target.substr(0, target.find_first_of("?#"));
  // The directories both paths share, up to and with the last "/".
  std::size_t common = 0;
  for (std::size_t i = 0; i < base.size() && i < targetPath.size() && base[i] == targetPath[i]; ++i)
    if (base[i] == '/') common = i + 1;
  std::string relative;
  for (std::size_t i = common; i < base.size(); ++i)
    if (base[i] == '/') relative += "../";
  std::string rest(target.substr(common));
  // Nothing left, a bare query, or a first segment with a ":" (read as a
  // scheme): "./" keeps it a relative path.
  const std::string_view first = std::string_view(rest).substr(0, rest.find_first_of("/?#"));
  if (relative.empty() && (rest.empty() || rest[0] == '?' || first.find(':') != std::string::npos))
    rest.insert(0, "./");
  relative += rest;
  return relative.size() <= target.size() ? relative : std::string(target);
}

}  // namespace

TUserAgent::TTask TUserAgent::TaskOf(const TNode* holder) const {
  TTask task;
  if (!holder) return task;
  for (const TNode& child : holder->Children) {
    if (child.Kind != TNode::TKind::Element) continue;
    if (child.Name == "go") {
      task.Kind = TTask::TKind::Go;
      task.Href = child.AttributeOr("href");
    } else if (child.Name == "prev") {
      task.Kind = TTask::TKind::Prev;
    } else if (child.Name == "refresh") {
      task.Kind = TTask::TKind::Refresh;
    } else if (child.Name == "noop") {
      task.Kind = TTask::TKind::Noop;
    } else {
      continue;
    }
    task.Node = &child;
    return task;
  }
  return task;
}

TUserAgent::TTask TUserAgent::EventTask(const TNode* element, std::string_view type,
                                        bool useTemplate) const {
  if (element) {
    if (const std::string* href = element->Attribute(type)) {
      TTask task;
      task.Kind = TTask::TKind::Go;
      task.Href = *href;
      return task;
    }
    for (const TNode& child : element->Children)
      if (child.IsElement("onevent") && child.AttributeOr("type") == type) return TaskOf(&child);
  }
  if (useTemplate && deck_.Template) return EventTask(deck_.Template, type, false);
  return {};
}

void TUserAgent::Run(const TTask& task) {
  if (++steps_ > kMaxTaskSteps) {
    Fail("Задачи вызывают друг друга без конца: переход остановлен после " +
         std::to_string(kMaxTaskSteps) + " шагов");
    return;
  }
  // The first task of an action leaves the card: an entry that does not fit
  // its mask was never committed, and the user is told.
  if (steps_ == 1) RejectIncompleteEntries();
  Step();
  switch (task.Kind) {
    case TTask::TKind::Go:
      RunGo(task);
      break;
    case TTask::TKind::Prev:
      RunPrev(task);
      break;
    case TTask::TKind::Refresh:
      RunRefresh(task);
      break;
    case TTask::TKind::Noop:
    case TTask::TKind::None:
      break;
  }
}

std::vector<std::pair<std::string, std::string>> TUserAgent::EvaluateSetvars(
    const TNode* task) const {
  std::vector<std::pair<std::string, std::string>> values;
  if (!task) return values;
  for (const TNode& child : task->Children) {
    if (!child.IsElement("setvar")) continue;
    // WML 1.1 §9.4: a setvar whose name does not evaluate to a legal
    // variable name is ignored.
    std::string name = Substitute(child.AttributeOr("name"));
    if (!IsVariableName(name)) continue;
    // Substituted only up to one byte beyond the limit: a value that
    // outgrows it is refused without being built whole.
    values.emplace_back(std::move(name), SubstituteUpTo(child.AttributeOr("value"),
                                                        TConversion::None, kMaxVariableBytes + 1));
  }
  return values;
}

bool TUserAgent::ApplySetvars(const TNode* task) {
  auto values = EvaluateSetvars(task);
  if (!Fits(values)) return false;
  for (const auto& [name, value] : values) SetValue(name, value);
  return true;
}

std::string TUserAgent::ResolvePath(const std::string& relative) const {
  namespace fs = std::filesystem;
  fs::path target(relative);
  if (target.is_absolute()) return target.lexically_normal().string();
  return (fs::path(deckPath_).parent_path() / target).lexically_normal().string();
}

std::optional<std::string> TUserAgent::ReadDeck(const std::string& path, std::string& problem) {
  if (path == homePath_) return homeBytes_;
  if (IsNetworkAddress(path)) return ReadNetworkDeck(path, problem);
  if (!loader_) return std::nullopt;
  return loader_(path, problem);
}

std::optional<TDeck> TUserAgent::FetchDeck(const std::string& path, std::string& bytes) {
  std::string problem;
  std::optional<std::string> read = ReadDeck(path, problem);
  if (!read) {
    Fail((problem.empty() ? "Не удалось открыть " + path : problem) + ": карта осталась прежней");
    return std::nullopt;
  }
  bytes = std::move(*read);
  TDeck deck = ParseDeck(bytes);
  if (deck.Cards.empty()) {
    // WML 1.1 §12.5.5: the invoking card stays, the context unchanged.
    Fail("Переход к " + path + " не выполнен: " + NotADeckReason(path, bytes, deck) +
         "; карта осталась прежней");
    return std::nullopt;
  }
  return deck;
}

void TUserAgent::CommitDeck(const std::string& path, std::string bytes, TDeck deck) {
  deckPath_ = path;
  networkCharset_.clear();
  bytes_ = std::move(bytes);
  deck_ = std::move(deck);
  card_ = nullptr;
  Step();
}

TRequest TUserAgent::MakeRequest(const TNode* go, const std::string& href) const {
  TRequest request;
  request.Method = go && Lower(go->AttributeOr("method")) == "post" ? "POST" : "GET";
  request.Url = href;
  request.Address = href;
  request.DeckCharset = DeckCharset();
  if (go) {
    request.AcceptCharset = go->AttributeOr("accept-charset");
    for (const TNode& child : go->Children)
      if (child.IsElement("postfield"))
        request.Fields.emplace_back(Substitute(child.AttributeOr("name")),
                                    Substitute(child.AttributeOr("value")));
    // WML 1.1 §9.5.1: the URI of the deck holding the task, relative when
    // it can be; a file deck and a network address share no base, so it is
    // absolute.
    if (go->AttributeOr("sendreferer") == "true" && !deckPath_.empty())
      request.Referer =
          IsNetworkAddress(deckPath_) ? RelativeReferer(href, deckPath_) : FileUri(deckPath_);
  }
  // WML 1.1 §9.5.1: a GET sends the fields URL-escaped in the query of the
  // address, before any fragment.
  if (request.Method == "GET" && !request.Fields.empty()) {
    std::size_t hash = request.Url.find('#');
    std::string fragment = hash == std::string::npos ? std::string() : request.Url.substr(hash);
    std::string url = request.Url.substr(0, hash);
    char separator = url.find('?') == std::string::npos ? '?' : '&';
    for (const auto& [name, value] : request.Fields) {
      url += separator;
      url += EscapeUrl(name) + "=" + EscapeUrl(value);
      separator = '&';
    }
    request.Url = url + fragment;
  }
  return request;
}

void TUserAgent::RunGo(const TTask& task) {
  std::string href = SubstituteUpTo(task.Href, TConversion::Escape, kMaxContextBytes);
  auto setvars = EvaluateSetvars(task.Node);
  if (!Fits(setvars)) return;
  if (href.empty()) {
    Fail("У перехода нет адреса (href)");
    return;
  }
  std::string fragment;
  std::string address = href;
  if (std::size_t hash = href.find('#'); hash != std::string::npos) {
    fragment = href.substr(hash + 1);
    address = href.substr(0, hash);
  }
  if (IsNetworkAddress(deckPath_) && !address.empty()) {
    // A deck from the network: its addresses are relative to its own, and
    // it never reaches the files of this machine.
    if (!HasScheme(address)) {
      href = ResolveAddress(href);
      address = href.substr(0, href.find('#'));
    }
    if (!IsNetworkAddress(address)) {
      Fail("Колода из сети не может открыть «" + address +
           "»: из сети открываются только адреса http: и https:; карта осталась прежней");
      return;
    }
  }
  bool network = HasScheme(address) && Lower(address.substr(0, 5)) != "file:";
  if (network) {
    if (!fetch_) {
      request_ = MakeRequest(task.Node, href);
      return;
    }
    if (GoNetwork(task, href, setvars)) return;
    address.clear();  // the deck on screen
  }
  if (!address.empty()) {
    if (Lower(address.substr(0, 5)) == "file:") {
      address = address.substr(5);
      while (address.size() > 1 && address[0] == '/' && address[1] == '/') address.erase(0, 1);
    }
    if (std::size_t query = address.find('?'); query != std::string::npos) address.resize(query);
    address = UnescapeUrl(address);
    if (deckPath_.empty() && !std::filesystem::path(address).is_absolute()) {
      Fail("Колода не сохранена в файл: адрес «" + address + "» не от чего отсчитать");
      return;
    }
    std::string path = ResolvePath(address);
    if (IsScriptAddress(path)) {
      CallScript(path, fragment, setvars);
      return;
    }
    if (path != deckPath_) {
      // The destination is read and parsed before anything changes, so
      // that a failure leaves the invoking card and its context as they
      // were (WML 1.1 §12.5.5).
      std::string bytes;
      std::optional<TDeck> deck = FetchDeck(path, bytes);
      if (!deck) return;
      LeaveCard();
      CommitDeck(path, std::move(bytes), std::move(*deck));
    }
  }
  ShowDestination(fragment, setvars);
}

void TUserAgent::ShowDestination(const std::string& fragment, const TAssignments& setvars) {
  // WML 1.1 §12.5.1 step 4c: a fragment that names no card of the deck
  // makes its first card the destination.
  const TNode* card = fragment.empty() ? nullptr : deck_.FindCard(fragment);
  if (!card && !deck_.Cards.empty()) {
    if (!fragment.empty())
      Fail("В колоде нет карты «" + fragment + "»: показана первая карта колоды");
    card = deck_.Cards[0];
  }
  if (!card) {
    Fail("В колоде нет ни одной карты");
    return;
  }
  LeaveCard();
  PushHistory(card);
  Enter(card, true, &setvars);
}

void TUserAgent::RunPrev(const TTask& task) {
  // WML 1.1 §12.5.2: with no previous card in the history nothing is done,
  // the setvars included.
  if (history_.size() < 2) return;
  auto setvars = EvaluateSetvars(task.Node);
  if (!Fits(setvars)) return;
  THistoryEntry entry = history_[history_.size() - 2];
  std::optional<TDeck> deck;
  std::string bytes;
  if (entry.DeckPath != deckPath_) {
    deck = FetchDeck(entry.DeckPath, bytes);
    if (!deck) return;
  }
  LeaveCard();
  if (deck) CommitDeck(entry.DeckPath, std::move(bytes), std::move(*deck));
  history_.pop_back();
  const TNode* card = entry.CardId.empty() ? nullptr : deck_.FindCard(entry.CardId);
  if (!card && entry.CardIndex >= 0 && entry.CardIndex < static_cast<int>(deck_.Cards.size()))
    card = deck_.Cards[entry.CardIndex];
  if (!card) card = deck_.Cards.empty() ? nullptr : deck_.Cards[0];
  for (const auto& [name, value] : setvars) SetValue(name, value);
  if (!card) {
    InitCard();
    return;
  }
  Enter(card, false);
}

void TUserAgent::RunRefresh(const TTask& task) {
  auto values = EvaluateSetvars(task.Node);
  if (!Fits(values)) return;
  LeaveCard();
  for (const auto& [name, value] : values) SetValue(name, value);
  InitCard();
}

void TUserAgent::Enter(const TNode* card, bool forward, const TAssignments* setvars) {
  card_ = card;
  menuOpen_ = false;
  request_.reset();
  errorScreen_.reset();
  // WML 1.1 §12.5.1 steps 5 and 6: the go's setvars are applied, then a
  // card with newcontext="true" re-initialises the context (§10.2), which
  // unsets them again.
  if (setvars)
    for (const auto& [name, value] : *setvars) SetValue(name, value);
  if (forward && card->AttributeOr("newcontext") == "true") {
    variables_.clear();
    THistoryEntry top = history_.empty()
                            ? THistoryEntry{deckPath_, card->AttributeOr("id"), deck_.IndexOf(card)}
                            : history_.back();
    history_.assign(1, top);
  }
  TTask task = EventTask(card, forward ? "onenterforward" : "onenterbackward", true);
  if (task.Kind == TTask::TKind::Go || task.Kind == TTask::TKind::Prev) {
    // The event's task takes the place of showing the card.
    InitCard();
    Run(task);
    return;
  }
  if (task.Kind == TTask::TKind::Refresh) ApplySetvars(task.Node);
  InitCard();
}

void TUserAgent::LeaveCard() {
  if (timer_ && timerDue_) {
    std::int64_t left = std::max<std::int64_t>(0, *timerDue_ - clock_());
    std::string name = timer_->AttributeOr("name");
    if (!name.empty()) Assign(name, std::to_string((left + 99) / 100));
  }
  timerDue_.reset();
  timer_ = nullptr;
}

}  // namespace deckhand::wml
