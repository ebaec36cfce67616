// A response turned into what the phone emulator shows: a deck as UTF-8 WML
// source, an image, compiled script bytes, or the phone's error screen.
#pragma once

#include <cstddef>
#include <string>

#include "net/Fetcher.h"

namespace deckhand::net {

enum class TViewKind {
  Deck,    // text/vnd.wap.wml or application/vnd.wap.wmlc
  Image,   // image/vnd.wap.wbmp
  Script,  // application/vnd.wap.wmlscriptc
  Error    // anything else, or a failed fetch: the error screen
};

struct TResponseView {
  TViewKind Kind = TViewKind::Error;
  // The deck's WML source in UTF-8; its XML declaration, when it names an
  // encoding, names UTF-8.
  std::string Deck;
  // The deck arrived compiled (and was decoded).
  bool Compiled = false;
  // The image's or the compiled script's bytes, as received.
  std::string Bytes;
  // The error screen's text, in Russian: what failed, the status and the
  // content type.
  std::string ErrorText;
};

// A text deck is read in the charset its Content-Type declares, else in the
// encoding its own XML declaration names (UTF-8 when none); a compiled deck
// is decoded by wml::DecodeWmlc. The content type alone decides the kind.
// maxCompiledDeckBytes, when not 0, is the phone's compiled-deck limit: a
// deck whose compiled form is larger is refused with the error screen, as
// the phone refused it when its gateway compiled the deck (a text deck that
// cannot be compiled is shown, and the deck checks say why).
TResponseView ViewOf(const TResponse& response, std::size_t maxCompiledDeckBytes = 0);

// The deck text with the encoding its XML declaration names replaced by
// "UTF-8" (nothing else changes); for text already converted to UTF-8.
std::string DeclareUtf8(std::string text);

}  // namespace deckhand::net
