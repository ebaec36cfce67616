// WML 1.1 (WAP-191) chapter 14, the compact binary representation, against
// the compiler and the decoder of compiled decks, from the standard's own
// words.
#include <gtest/gtest.h>

#include <string>

#include "WbxmlSupport.h"
#include "wml/DeckCheck.h"
#include "wml/WbxmlDecode.h"

using namespace deckhand::wml;
using deckhand::wml::testing::Body;
using deckhand::wml::testing::kProlog;

namespace {

// §14.1.1: "The variable name is encoded in the current document character
// encoding and must be encoded as the specified in the source document
// (e.g., variable names may not be shortened, mapped or otherwise changed)";
// the token says the conversion (§14.3.1: EXT_I_0 escaped, EXT_I_1
// unescaped, EXT_I_2 none), whichever of its spellings the deck uses.
TEST(Wml11Encoding, VariableNamesGoOutAsWrittenAfterTheirConversionToken) {
  // §10.3.1's "other legal variable forms": $_X $X32 $Test_9A.
  EXPECT_EQ(Body("<wml><card><p>$_X $X32 $(Test_9A)</p></card></wml>"),
            "7F 67 60 42 5F 58 00 03 20 00 42 58 33 32 00 03 20 00 "
            "42 54 65 73 74 5F 39 41 00 01 01 01");
  // Each conversion in its long, short and (deprecated) mixed-case forms.
  EXPECT_EQ(Body("<wml><card><p>$(a:escape)$(a:E)$(a:Esc)$(a:unesc)$(a:U)$(a:noesc)$(a:N)"
                 "</p></card></wml>"),
            "7F 67 60 40 61 00 40 61 00 03 24 28 61 3A 45 73 63 29 00 41 61 00 41 61 00 "
            "42 61 00 42 61 00 01 01 01");
}

// §10.3.2 and §14.2.1: variables are parsed after the XML, so a reference
// written with character references ("&#x24;X", "$&#x58;") is a reference
// all the same, and "All valid variable references must be converted to
// variable reference tokens"; "&#x24;&#x24;" is one dollar sign (§10.3.3).
TEST(Wml11Encoding, ReferencesWrittenWithCharacterReferencesAreVariableTokens) {
  EXPECT_EQ(Body("<wml><card title=\"&#36;&#x58;\"><p>&#x24;X $&#x58; &#x24;&#x24;X</p>"
                 "</card></wml>"),
            "7F E7 36 42 58 00 01 60 42 58 00 03 20 00 42 58 00 03 20 24 58 00 01 01 01");
}

// §14.2.2: tag and attribute names that have tokens "must be tokenised,
// literal tokens must not be used. The user-agent must, however, treat
// literal and binary tokens as equivalent": a card named by LITERAL decodes
// as the card of its token does.
TEST(Wml11Encoding, LiteralAndBinaryTokensOfATagAreEquivalent) {
  // Version 1.1, WML 1.1, UTF-8; a string table holding "card" (LITERAL
  // points at it) or none.
  const std::string literal(
      "\x01\x04\x6A\x05"
      "card\0"
      "\x7F\x04\x00\x01",
      13);
  const std::string token("\x01\x04\x6A\x00\x7F\x27\x01", 7);
  std::string error;
  const auto fromLiteral = DecodeWmlc(literal, error);
  ASSERT_TRUE(fromLiteral) << error;
  const auto fromToken = DecodeWmlc(token, error);
  ASSERT_TRUE(fromToken) << error;
  EXPECT_EQ(*fromLiteral, *fromToken);
  EXPECT_NE(fromToken->find("<card/>"), std::string::npos) << *fromToken;
  // The compiler uses the token, never LITERAL (0x04), for WML 1.1 names.
  EXPECT_EQ(Body("<wml><card/></wml>"), "7F 27 01");
}

// §14.2.3.2: the tokenisation process "must also verify that other CDATA
// attribute values do not contain any variable references": the check that
// runs with the compiler reports one in a do's type as an error, and
// accepts the escaped dollar sign.
TEST(Wml11Encoding, ReferencesInPlainCdataAttributesAreReportedWhenCompiling) {
  const TDeckReport bad =
      CheckDeck(kProlog + "<wml><card><do type=\"x-$(t)\"><noop/></do></card></wml>");
  bool reported = false;
  for (const TFinding& finding : bad.Findings)
    reported |= finding.Severity == TSeverity::Error &&
                finding.Message.find("«t» в атрибуте type") != std::string::npos;
  EXPECT_TRUE(reported);
  const TDeckReport good =
      CheckDeck(kProlog + "<wml><card><do type=\"x-$$(t)\"><noop/></do></card></wml>");
  for (const TFinding& finding : good.Findings)
    EXPECT_NE(finding.Severity, TSeverity::Error) << finding.Message;
}

}  // namespace
