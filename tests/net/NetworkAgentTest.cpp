// The user agent with the network on, walking a small site of the test
// server (wap_server.py, /site/...): relative links resolved against the
// deck's own address, a form sent by GET and POST, a redirect, a cookie kept
// between requests, a compiled deck, a picture fetched for its card, the
// access element (WML 1.1 §11.3.1), decks from the network kept away from
// local files, failures that leave the card, and a request cancelled while
// under way.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "WapServer.h"
#include "emulator/UserAgent.h"
#include "net/NetworkLoader.h"
#include "wml/Phones.h"

using namespace deckhand;
using deckhand::net::testing::TWapServer;

namespace {

void CollectText(const wml::TNode& node, std::string& text) {
  if (node.Kind == wml::TNode::TKind::Text) text += node.Text;
  for (const wml::TNode& child : node.Children) CollectText(child, text);
}

// The card's text, white space at its ends left out (a decoded compiled
// deck is laid out on lines of its own).
std::string CardText(const wml::TUserAgent& agent) {
  std::string text;
  if (agent.Card()) CollectText(*agent.Card(), text);
  const std::size_t first = text.find_first_not_of(" \n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \n") - first + 1);
}

// The focusable links of the site's start deck, in document order.
enum TStartLink { Form, Guarded, Open, Local, Moved, Compiled, Post };

std::string HomeDeck(const TWapServer& server, const std::string& path) {
  return "<?xml version=\"1.0\"?><wml><card id=\"home\"><p><a href=\"" + server.Url(path) +
         "\">go</a></p></card></wml>";
}

// An agent on the editor's deck, its one link followed into the site.
void EnterSite(wml::TUserAgent& agent, net::TNetworkLoader& loader, const TWapServer& server) {
  loader.SetPhone(&wml::DefaultPhone());
  agent.SetNetwork(loader.AsFetch());
  agent.Open(HomeDeck(server, "/site/start"));
  agent.Select();
}

void Follow(wml::TUserAgent& agent, TStartLink link) {
  agent.SetFocus(link);
  agent.Select();
}

}  // namespace

TEST(NetworkAgent, WalksASiteByRelativeLinksFormsRedirectsCookiesAndCompiledDecks) {
  REQUIRE_WAP_SERVER(server);
  net::TNetworkLoader loader;
  wml::TUserAgent agent;
  EnterSite(agent, loader, *server);
  ASSERT_EQ(agent.Error(), "");
  EXPECT_EQ(agent.DeckPath(), server->Url("/site/start"));
  EXPECT_EQ(agent.CardId(), "s");
  EXPECT_EQ(agent.HistoryDepth(), 2);
  // The card's picture, relative to the deck's address, was fetched with it.
  ASSERT_NE(agent.NetworkImage(server->Url("/site/pic.wbmp")), nullptr);
  EXPECT_EQ(agent.NetworkImage(server->Url("/site/pic.wbmp"))->size(), 5u);
  EXPECT_NE(agent.LastExchange().find("< 200"), std::string::npos) << agent.LastExchange();

  // A relative link with a query: a GET, no cookie yet; the answer sets one.
  Follow(agent, Form);
  ASSERT_EQ(agent.Error(), "");
  EXPECT_EQ(agent.DeckPath(), server->Url("/site/form?via=link"));
  EXPECT_EQ(CardText(agent), "method=GET query=via=link body= cookie=");
  EXPECT_NE(agent.LastExchange().find("> GET " + server->Url("/site/form?via=link")),
            std::string::npos)
      << agent.LastExchange();
  EXPECT_NE(agent.LastExchange().find("Cookie: visit=1"), std::string::npos)
      << agent.LastExchange();

  // Back to the start deck, then a redirect: the deck shown is the one the
  // redirect led to, and the session's cookie went with the request.
  agent.Back();
  ASSERT_EQ(agent.CardId(), "s");
  Follow(agent, Moved);
  ASSERT_EQ(agent.Error(), "");
  EXPECT_EQ(agent.DeckPath(), server->Url("/site/form?moved=yes"));
  EXPECT_EQ(CardText(agent), "method=GET query=moved=yes body= cookie=visit=1");

  // A POST of a field holding Cyrillic: sent in the deck's charset (UTF-8).
  agent.Back();
  agent.SetVariable("name", "Вася");
  Follow(agent, Post);
  ASSERT_EQ(agent.Error(), "");
  EXPECT_EQ(CardText(agent),
            "method=POST query= body=name=%D0%92%D0%B0%D1%81%D1%8F cookie=visit=1");

  // A compiled deck is decoded and shown like a source deck.
  agent.Back();
  Follow(agent, Compiled);
  ASSERT_EQ(agent.Error(), "");
  EXPECT_EQ(CardText(agent), "Hi");
  EXPECT_NE(agent.LastExchange().find("скомпилированной"), std::string::npos);
}

TEST(NetworkAgent, NetworkDecksReachNoLocalFilesAndHonourAccessElements) {
  REQUIRE_WAP_SERVER(server);
  net::TNetworkLoader loader;
  wml::TUserAgent agent;
  EnterSite(agent, loader, *server);
  ASSERT_EQ(agent.CardId(), "s");
  const int depth = agent.HistoryDepth();

  // file: from a deck of the network: refused, nothing changes.
  Follow(agent, Local);
  EXPECT_NE(agent.Error().find("только адреса http: и https:"), std::string::npos) << agent.Error();
  EXPECT_EQ(agent.CardId(), "s");
  EXPECT_EQ(agent.HistoryDepth(), depth);

  // WML 1.1 §11.3.1: the domain "example.com" does not match 127.0.0.1.
  Follow(agent, Guarded);
  EXPECT_NE(agent.Error().find("access"), std::string::npos) << agent.Error();
  EXPECT_EQ(agent.DeckPath(), server->Url("/site/start"));
  EXPECT_EQ(agent.HistoryDepth(), depth);
  // The phone's error screen says so until the back key closes it.
  ASSERT_TRUE(agent.ErrorScreen().has_value());
  agent.Back();
  EXPECT_EQ(agent.CardId(), "s");

  // The path "/site" (domain by default the deck's own host) admits a deck
  // under /site; the fragment picks the card.
  Follow(agent, Open);
  EXPECT_EQ(agent.Error(), "");
  EXPECT_EQ(agent.CardId(), "second");
  EXPECT_EQ(agent.HistoryDepth(), depth + 1);
}

TEST(NetworkAgent, OffSendsNothingAndFailuresKeepTheCard) {
  REQUIRE_WAP_SERVER(server);
  // The network off: the request the phone would send is shown, as before.
  {
    wml::TUserAgent agent;
    agent.Open(HomeDeck(*server, "/site/start"));
    agent.Select();
    ASSERT_TRUE(agent.Request().has_value());
    EXPECT_EQ(agent.Request()->Url, server->Url("/site/start"));
    EXPECT_EQ(agent.CardId(), "home");
    EXPECT_EQ(agent.LastExchange(), "");
  }
  net::TNetworkLoader loader;
  for (const char* path : {"/missing", "/wbmp", "/html", "/site/nothing"}) {
    SCOPED_TRACE(path);
    wml::TUserAgent agent;
    agent.SetNetwork(loader.AsFetch());
    agent.Open(HomeDeck(*server, path));
    agent.Select();
    EXPECT_NE(agent.Error(), "");
    EXPECT_NE(agent.Error().find("карта осталась прежней"), std::string::npos) << agent.Error();
    EXPECT_EQ(agent.CardId(), "home");
    EXPECT_FALSE(agent.Request().has_value());
    EXPECT_EQ(agent.HistoryDepth(), 1);
    // The phone's error screen stands in place of the card until the back
    // key closes it; the card is still there.
    ASSERT_TRUE(agent.ErrorScreen().has_value());
    EXPECT_EQ(agent.SoftKeyLabel(1).Label, "Назад");
    agent.Back();
    EXPECT_FALSE(agent.ErrorScreen().has_value());
    EXPECT_EQ(agent.CardId(), "home");
    EXPECT_EQ(agent.HistoryDepth(), 1);
  }
  // What the screen says: the status and the content type.
  wml::TUserAgent agent;
  agent.SetNetwork(loader.AsFetch());
  agent.Open(HomeDeck(*server, "/missing"));
  agent.Select();
  ASSERT_TRUE(agent.ErrorScreen().has_value());
  EXPECT_NE(agent.ErrorScreen()->find("404"), std::string::npos) << *agent.ErrorScreen();
  EXPECT_NE(agent.ErrorScreen()->find("text/html"), std::string::npos) << *agent.ErrorScreen();
}

// The window's back key cancels a request under way from the GUI thread
// while the agent waits for it on the worker's.
TEST(NetworkAgent, ARequestUnderWayIsCancelledAndTheCardStays) {
  REQUIRE_WAP_SERVER(server);
  net::TNetworkLoader loader;
  wml::TUserAgent agent;
  agent.SetNetwork(loader.AsFetch());
  agent.Open(HomeDeck(*server, "/slow"));
  std::atomic<bool> cancelled = false;
  std::thread user([&] {
    for (int i = 0; i < 2000 && !cancelled; ++i) {
      if (loader.Busy()) cancelled = loader.Cancel();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  agent.Select();
  user.join();
  EXPECT_TRUE(cancelled);
  EXPECT_NE(agent.Error().find("отменён"), std::string::npos) << agent.Error();
  EXPECT_EQ(agent.CardId(), "home");
  EXPECT_FALSE(loader.Busy());
  EXPECT_FALSE(loader.Cancel());
}
