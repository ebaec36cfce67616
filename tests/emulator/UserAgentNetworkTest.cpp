// The user agent and the card renderer with the network on, through a fetch
// of the test's own: what is asked for, and what a deck from the network may
// reach. A deck from the network shows the pictures fetched for its card and
// never a file of this machine; its relative addresses follow its own
// address; the access element (WML 1.1 §11.3.1) is checked between decks of
// different addresses; prev returns to a deck kept from before without
// asking again.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "emulator/CardRenderer.h"
#include "emulator/UserAgent.h"
#include "wml/Phones.h"
#include "wmlscript/Compiler.h"

namespace deckhand::wml {
namespace {

// A WBMP of 8x2 black pixels (WBMP: 0 = black).
const std::string kPicture("\x00\x00\x08\x02\x00\x00", 6);

struct TFakeNetwork {
  std::map<std::string, TNetworkReply> Replies;
  std::vector<std::string> Asked;

  TNetworkFetch Fetch() {
    return [this](const TRequest& request) {
      Asked.push_back(request.Method + " " + request.Address);
      auto it = Replies.find(request.Address);
      if (it != Replies.end()) return it->second;
      TNetworkReply missing;
      missing.Error = "Сервер ответил 404";
      return missing;
    };
  }
  void Deck(const std::string& url, const std::string& source) {
    TNetworkReply reply;
    reply.Kind = TNetworkReply::TKind::Deck;
    reply.Body = source;
    reply.Url = url;
    Replies[url] = reply;
  }
  void Script(const std::string& url, const std::string& source) {
    const wmlscript::TCompileResult compiled = wmlscript::Compile(source);
    ASSERT_TRUE(compiled.Unit.has_value()) << source;
    TNetworkReply reply;
    reply.Kind = TNetworkReply::TKind::Script;
    reply.Body = *compiled.Unit;
    reply.Url = url;
    Replies[url] = reply;
  }
  void Picture(const std::string& url) {
    TNetworkReply reply;
    reply.Kind = TNetworkReply::TKind::Image;
    reply.Body = kPicture;
    reply.Url = url;
    Replies[url] = reply;
  }
};

std::string Home(const std::string& href) {
  return "<wml><card id=\"home\"><p><a href=\"" + href + "\">go</a></p></card></wml>";
}

TEST(UserAgentNetwork, PicturesOfANetworkDeckComeFromTheNetworkNeverFromLocalFiles) {
  // A picture on this machine that a hostile deck names by every kind of
  // address.
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("deckhand-net-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  { std::ofstream(folder / "local.wbmp", std::ios::binary) << kPicture; }
  const std::string local = (folder / "local.wbmp").string();

  TFakeNetwork network;
  network.Deck("http://example.test/d/deck", "<wml><card id=\"c\"><p><img src=\"" + local +
                                                 "\" alt=\"A\"/><img src=\"file://" + local +
                                                 "\" alt=\"B\"/><img src=\"../../../../.." + local +
                                                 "\" alt=\"C\"/></p></card></wml>");
  TUserAgent agent;
  agent.SetNetwork(network.Fetch());
  agent.Open(Home("http://example.test/d/deck"), (folder / "home.wml").string());
  agent.Select();
  ASSERT_EQ(agent.CardId(), "c") << agent.Error();
  TPhoneScreen screen(agent, DefaultPhone());
  screen.Render();
  EXPECT_EQ(screen.Stats().ImageDecodes, 0u);
  // Only the network was asked: the absolute path as a path of the deck's
  // server, the dotted one resolved there too; file: never.
  EXPECT_EQ(network.Asked, (std::vector<std::string>{"GET http://example.test/d/deck",
                                                     "GET http://example.test" + local}));

  // The same card with the picture on the server: drawn.
  TFakeNetwork served = network;
  served.Asked.clear();
  served.Picture("http://example.test" + local);
  TUserAgent second;
  second.SetNetwork(served.Fetch());
  second.Open(Home("http://example.test/d/deck"), (folder / "home.wml").string());
  second.Select();
  TPhoneScreen drawn(second, DefaultPhone());
  EXPECT_NE(drawn.Render(), screen.Render());
  ASSERT_NE(second.NetworkImage("http://example.test" + local), nullptr);
  std::filesystem::remove_all(folder);
}

TEST(UserAgentNetwork, RelativeAddressesAccessAndPrevFromKeptDecks) {
  TFakeNetwork network;
  network.Deck("http://a.example.test/shop/list",
               "<wml><card id=\"l\"><p><a href=\"item?id=2#d\">i</a>"
               "<a href=\"http://b.example.test/x\">b</a>"
               "<a href=\"http://a.example.test/private/p\">p</a></p></card></wml>");
  network.Deck("http://a.example.test/shop/item?id=2",
               "<wml><head><access path=\"/shop\"/></head><card id=\"s\"><p>s</p></card>"
               "<card id=\"d\"><p>d</p></card></wml>");
  // Reached only from decks of example.org.
  network.Deck("http://b.example.test/x",
               "<wml><head><access domain=\"example.org\"/></head><card><p>x</p></card></wml>");
  // The default domain is the deck's own host: a.example.test, and the path
  // "/private" is not a prefix of "/shop/list".
  network.Deck("http://a.example.test/private/p",
               "<wml><head><access path=\"/private\"/></head><card><p>p</p></card></wml>");
  TUserAgent agent;
  agent.SetNetwork(network.Fetch());
  // The editor's own deck may lead anywhere: it has no network address.
  agent.Open(Home("http://a.example.test/shop/list"));
  agent.Select();
  ASSERT_EQ(agent.CardId(), "l") << agent.Error();

  agent.SetFocus(0);
  agent.Select();
  EXPECT_EQ(agent.Error(), "");
  EXPECT_EQ(agent.DeckPath(), "http://a.example.test/shop/item?id=2");
  EXPECT_EQ(agent.CardId(), "d");
  // prev: the list comes from the decks kept, nothing is asked again.
  const std::size_t asked = network.Asked.size();
  agent.Back();
  EXPECT_EQ(agent.CardId(), "l");
  EXPECT_EQ(network.Asked.size(), asked);

  for (int link : {1, 2}) {
    SCOPED_TRACE(link);
    agent.SetFocus(link);
    agent.Select();
    EXPECT_NE(agent.Error().find("access"), std::string::npos) << agent.Error();
    EXPECT_EQ(agent.CardId(), "l");
    EXPECT_EQ(agent.DeckPath(), "http://a.example.test/shop/list");
    ASSERT_TRUE(agent.ErrorScreen().has_value());
    agent.Back();  // closes the error screen, nothing more
    EXPECT_EQ(agent.CardId(), "l");
  }

  // The network turned off: the next go shows the request as before.
  agent.SetNetwork({});
  agent.SetFocus(0);
  agent.Select();
  ASSERT_TRUE(agent.Request().has_value());
  EXPECT_EQ(agent.Request()->Url, "http://a.example.test/shop/item?id=2#d");
}

// A compiled unit from the network runs as a script file does: its function
// with the fragment's arguments, WMLBrowser acting on the agent, go relative
// to the unit's address. Its use access pragma (WAP-193) is checked against
// the calling deck's address, and it can load no unit from local files.
TEST(UserAgentNetwork, CompiledScriptsFromTheNetworkRunWithinTheirAccessAndNoLocalFiles) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("deckhand-netscript-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string local = (folder / "other.wmls").string();
  { std::ofstream(local) << "extern function g() { return 7; }\n"; }

  TFakeNetwork network;
  network.Deck("http://example.test/s/deck",
               "<wml><card id=\"start\"><p><a href=\"calc.wmlsc#twice(21)\">a</a>"
               "<a href=\"guarded.wmlsc#f()\">b</a><a href=\"reach.wmlsc#f()\">c</a></p></card>"
               "<card id=\"done\"><p>$(r)</p></card></wml>");
  network.Script("http://example.test/s/calc.wmlsc",
                 "extern function twice(a) { WMLBrowser.setVar(\"r\", a * 2); "
                 "WMLBrowser.go(\"deck#done\"); }");
  network.Script("http://example.test/s/guarded.wmlsc",
                 "use access domain \"example.org\";\n"
                 "extern function f() { WMLBrowser.setVar(\"r\", \"ran\"); }");
  network.Script("http://example.test/s/reach.wmlsc",
                 "use url other \"file://" + local +
                     "\";\nextern function f() { WMLBrowser.setVar(\"r\", other#g()); }");
  TUserAgent agent;
  agent.SetNetwork(network.Fetch());
  agent.Open(Home("http://example.test/s/deck"));
  agent.Select();
  ASSERT_EQ(agent.CardId(), "start") << agent.Error();

  agent.SetFocus(0);
  agent.Select();
  EXPECT_EQ(agent.Error(), "");
  EXPECT_EQ(agent.Variable("r"), "42");
  EXPECT_EQ(agent.CardId(), "done");
  EXPECT_EQ(network.Asked.back(), "GET http://example.test/s/calc.wmlsc");
  agent.Back();
  ASSERT_EQ(agent.CardId(), "start");

  agent.SetFocus(1);
  agent.Select();
  EXPECT_NE(agent.Error().find("use access"), std::string::npos) << agent.Error();
  EXPECT_EQ(agent.Variable("r"), "42");
  EXPECT_EQ(agent.CardId(), "start");

  agent.SetFocus(2);
  agent.Select();
  EXPECT_NE(agent.Error(), "");
  EXPECT_EQ(agent.Variable("r"), "42") << "a unit from the network read a local file";
  EXPECT_EQ(agent.CardId(), "start");
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace deckhand::wml
