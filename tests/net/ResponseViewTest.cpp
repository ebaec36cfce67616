// Responses of each content type, from the test server, turned into what
// the emulator shows.
#include <gtest/gtest.h>

#include "WapServer.h"
#include "net/ResponseView.h"
#include "wml/DeckCheck.h"
#include "wml/WbxmlDecode.h"

using namespace deckhand::net;

namespace {

TResponse Fetch(const std::string& url) {
  TSession session;
  TFetcher fetcher(session);
  TRequest request;
  request.Url = url;
  return fetcher.Fetch(request);
}

}  // namespace

TEST(ResponseView, TextDecksAreReadInTheDeclaredCharset) {
  REQUIRE_WAP_SERVER(server);
  // Declared by the response, by the deck's own XML declaration, and by a
  // quoted parameter of a deck with no declaration at all.
  for (const char* path : {"/deck1251", "/deck-declared"}) {
    const TResponse response = Fetch(server->Url(path));
    ASSERT_TRUE(response.Ok()) << response.Error;
    EXPECT_EQ(response.ContentType, "text/vnd.wap.wml");
    const TResponseView view = ViewOf(response);
    ASSERT_EQ(view.Kind, TViewKind::Deck) << path << view.ErrorText;
    EXPECT_FALSE(view.Compiled);
    EXPECT_TRUE(view.Deck.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n")) << view.Deck;
    EXPECT_NE(view.Deck.find("<p>Привет</p>"), std::string::npos) << path;
  }
  // The phone's compiled-deck limit: the deck as its gateway compiled it.
  const TResponse deck = Fetch(server->Url("/deck1251"));
  const std::size_t compiled = deckhand::wml::CompileDeck(ViewOf(deck).Deck).value_or("").size();
  ASSERT_GT(compiled, 0u);
  EXPECT_EQ(ViewOf(deck, compiled).Kind, TViewKind::Deck);
  const TResponseView refused = ViewOf(deck, compiled - 1);
  EXPECT_EQ(refused.Kind, TViewKind::Error);
  EXPECT_NE(refused.ErrorText.find(std::to_string(compiled)), std::string::npos)
      << refused.ErrorText;
  const TResponse koi8 = Fetch(server->Url("/deck-koi8"));
  EXPECT_EQ(koi8.Charset, "KOI8-R");
  EXPECT_EQ(ViewOf(koi8).Deck, "Привет");
}

TEST(ResponseView, CompiledDecksImagesAndScriptsAndEverythingElse) {
  REQUIRE_WAP_SERVER(server);
  const TResponse wmlc = Fetch(server->Url("/wmlc"));
  ASSERT_TRUE(wmlc.Ok()) << wmlc.Error;
  const TResponseView deck = ViewOf(wmlc);
  ASSERT_EQ(deck.Kind, TViewKind::Deck) << deck.ErrorText;
  EXPECT_TRUE(deck.Compiled);
  std::string error;
  EXPECT_EQ(deck.Deck, deckhand::wml::DecodeWmlc(wmlc.Body, error).value_or("?"));
  EXPECT_NE(deck.Deck.find("<p>Hi</p>"), std::string::npos) << deck.Deck;
  EXPECT_EQ(ViewOf(wmlc, wmlc.Body.size()).Kind, TViewKind::Deck);
  EXPECT_EQ(ViewOf(wmlc, wmlc.Body.size() - 1).Kind, TViewKind::Error);

  const TResponseView image = ViewOf(Fetch(server->Url("/wbmp")));
  EXPECT_EQ(image.Kind, TViewKind::Image);
  EXPECT_EQ(image.Bytes, std::string("\x00\x00\x08\x01\xAA", 5));
  const TResponseView script = ViewOf(Fetch(server->Url("/script")));
  EXPECT_EQ(script.Kind, TViewKind::Script);
  EXPECT_EQ(script.Bytes, std::string("\x01\x6A\x00\x00", 4));

  const TResponseView html = ViewOf(Fetch(server->Url("/html")));
  EXPECT_EQ(html.Kind, TViewKind::Error);
  EXPECT_NE(html.ErrorText.find("200"), std::string::npos) << html.ErrorText;
  EXPECT_NE(html.ErrorText.find("text/html"), std::string::npos) << html.ErrorText;
  const TResponseView missing = ViewOf(Fetch(server->Url("/missing")));
  EXPECT_EQ(missing.Kind, TViewKind::Error);
  EXPECT_NE(missing.ErrorText.find("404"), std::string::npos) << missing.ErrorText;

  // A compiled deck the decoder refuses, and a fetch that failed.
  TResponse broken;
  broken.Status = 200;
  broken.ContentType = "application/vnd.wap.wmlc";
  broken.Body = "\x03\x04";
  EXPECT_EQ(ViewOf(broken).Kind, TViewKind::Error);
  TResponse failed;
  failed.Failure = TFailure::Timeout;
  failed.Error = "Сервер не ответил вовремя";
  EXPECT_EQ(ViewOf(failed).ErrorText, failed.Error);
}
