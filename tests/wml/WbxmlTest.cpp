// The compiled deck against the WBXML 1.1 format and the WML 1.1 token
// tables, byte by byte, for the constructs the comparison with another
// compiler cannot cover (variables, entities of the WML DTD) and for the
// smallest decks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "WbxmlSupport.h"
#include "core/Encoding.h"
#include "wml/DeckCheck.h"

using namespace deckhand::wml;
using deckhand::wml::testing::Body;
using deckhand::wml::testing::Hex;
using deckhand::wml::testing::kProlog;

TEST(Wbxml, EmptyDecks) {
  // Version 1.1, WML 1.1 public identifier 4, UTF-8 (106), no string table;
  // wml and card with the content bit, each closed by END.
  const auto withSpace = CompileDeck(kProlog + "<wml>\n<card>\n</card>\n</wml>\n");
  ASSERT_TRUE(withSpace);
  EXPECT_EQ(Hex(*withSpace), "01 04 6A 00 7F 67 01 01");
  const TDeckReport report = CheckDeck(kProlog + "<wml>\n<card>\n</card>\n</wml>\n");
  EXPECT_EQ(report.CompiledSize, 8u);
  // A card with no child at all carries no content bit and no END.
  EXPECT_EQ(Body("<wml><card></card></wml>"), "7F 27 01");
  EXPECT_EQ(Body("<wml><card/></wml>"), "7F 27 01");
}

TEST(Wbxml, VariablesUseTheExtensionTokens) {
  // EXT_I_0 escaped, EXT_I_1 unescaped, EXT_I_2 no conversion; "$$" is a
  // dollar sign in the text.
  EXPECT_EQ(
      Body("<wml><card><p>$(x) a $y $(z:e) $(w:unesc) $(v:N) $$</p></card></wml>"),
      "7F 67 60 "
      "42 78 00 03 20 61 20 00 42 79 00 03 20 00 40 7A 00 03 20 00 41 77 00 03 20 00 42 76 00 "
      "03 20 24 00 01 01 01");
  // In an attribute value: the start token takes "http://", the value
  // tokens "www." and ".com/", the variable stands between them.
  EXPECT_EQ(Body("<wml><card><p><a href=\"http://www.$(host:e).com/x\">y</a></p></card></wml>"),
            "7F 67 60 DC 4B A1 40 68 6F 73 74 00 85 03 78 00 01 03 79 00 01 01 01 01");
  // A bad reference stays text.
  EXPECT_EQ(Body("<wml><card><p>$(a#b)</p></card></wml>"),
            "7F 67 60 03 24 28 61 23 62 29 00 01 01 01");
}

TEST(Wbxml, AttributeTokensOfWml11) {
  // ordered="true" 33, ordered="false" 34, newcontext="true" 23; title as a
  // name token with value tokens inside ("help", "text").
  EXPECT_EQ(Body("<wml><card ordered=\"false\" newcontext=\"true\" title=\"helpful text\"/>"
                 "<card ordered=\"true\"/></wml>"),
            "7F A7 34 23 36 8D 03 66 75 6C 20 00 9D 01 A7 33 01 01");
  // Value-prefix starts: type="accept" 38, method="post" 1C, href="https://" 4C,
  // align="center" 07, mode="nowrap" 1D, type="vnd." 49 with the rest inline.
  EXPECT_EQ(Body("<wml><card><do type=\"accept\"><go href=\"https://a.org/\" method=\"post\"/></do>"
                 "<do type=\"vnd.up\"><prev/></do>"
                 "<p align=\"center\" mode=\"nowrap\">x</p></card></wml>"),
            "7F 67 E8 38 01 AB 4C 03 61 00 88 1C 01 01 "
            "E8 49 03 75 70 00 01 32 01 "
            "E0 07 1D 01 03 78 00 01 01 01");
  // Tables, images and fields: columns 53, src 32, alt 0C, width 4F,
  // name 21, type="password" 3B, multiple="true" 20, value 4D.
  EXPECT_EQ(
      Body("<wml><card><p><table columns=\"1\"><tr><td>a</td></tr></table>"
           "<img src=\"i.wbmp\" alt=\"b\" width=\"9\"/>"
           "<input name=\"n\" type=\"password\"/>"
           "<select multiple=\"true\"><option value=\"v\">o</option></select></p></card></wml>"),
      "7F 67 60 DF 53 03 31 00 01 5E 5D 03 61 00 01 01 01 "
      "AE 32 03 69 2E 77 62 6D 70 00 0C 03 62 00 4F 03 39 00 01 "
      "AF 21 03 6E 00 3B 01 "
      "F7 20 01 F5 4D 03 76 00 01 03 6F 00 01 01 01 01 01");
}

TEST(Wbxml, TextStringsEntitiesAndEncodings) {
  // White space at the ends of text is dropped, inside it is kept; the
  // WML DTD's &nbsp; is U+00A0 and is text, not white space.
  EXPECT_EQ(Body("<wml><card><p>\n  a  b &nbsp;</p></card></wml>"),
            "7F 67 60 03 61 20 20 62 20 C2 A0 00 01 01 01");
  // The entity's text is the same for every deck read after it (the WML 1.1
  // declarations are shared between decks).
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Body("<wml><card><p>&nbsp;x&shy;</p></card></wml>"),
              "7F 67 60 03 C2 A0 78 C2 AD 00 01 01 01")
        << i;
  }
  // A Windows-1251 deck's text goes out as UTF-8.
  const auto bytes = CompileDeck("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n" +
                                 kProlog.substr(kProlog.find('\n') + 1) + "<wml><card title=\"" +
                                 deckhand::Cp1251("Ё") + "\"/></wml>");
  ASSERT_TRUE(bytes);
  EXPECT_EQ(Hex(bytes->substr(4)), "7F A7 36 03 D0 81 00 01 01");
  // Comments are not sent; an element WML 1.1 has no token for, or an
  // attribute it does not know, leaves the deck without a compiled form.
  EXPECT_EQ(Body("<wml><!-- c --><card/></wml>"), "7F 27 01");
  EXPECT_EQ(Body("<wml><card><pre>x</pre></card></wml>"), "(none)");
  EXPECT_EQ(Body("<wml><card onclick=\"x\"/></wml>"), "(none)");
  EXPECT_EQ(Body("<wml><card><p>x</card></wml>"), "(none)");
}

// XML 1.0 §4.4.3: a reference to an internal general entity in content is
// "included": its replacement text is parsed as if written in place, its
// elements included. xml2wbxml -n -v 1.1 compiles it so.
TEST(WbxmlConformance, EntityWithMarkupCompilesItsElements) {
  const std::string deck =
      "<?xml version=\"1.0\"?>\n"
      "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\" "
      "[<!ENTITY x \"<b>bold</b> text\">]>\n"
      "<wml><card id=\"a\"><p>&x; more</p></card></wml>\n";
  const auto bytes = CompileDeck(deck);
  ASSERT_TRUE(bytes);
  // wml, card id="a", p, then b "bold" END and the text after it.
  EXPECT_EQ(Hex(*bytes),
            "01 04 6A 00 7F E7 55 03 61 00 01 60 64 03 62 6F 6C 64 00 01 03 74 65 78 74 20 6D 6F "
            "72 65 00 01 01 01");
  // The same when compiled by xml2wbxml, where it is installed.
  if (std::system("command -v xml2wbxml >/dev/null 2>&1") == 0) {
    const std::string folder = "/tmp/wbxml-entity-" + std::to_string(getpid());
    std::system(("mkdir -p " + folder).c_str());
    { std::ofstream(folder + "/deck.wml", std::ios::binary) << deck; }
    const int status = std::system(
        ("xml2wbxml -n -v 1.1 -o " + folder + "/deck.wmlc " + folder + "/deck.wml >/dev/null 2>&1")
            .c_str());
    std::ifstream in(folder + "/deck.wmlc", std::ios::binary);
    const std::string theirs{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::system(("rm -rf " + folder).c_str());
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Hex(theirs), Hex(*bytes));
  }
  // Neighbours: an entity whose text refers to another with markup, used
  // twice, and one that holds an element with attributes.
  EXPECT_EQ(Hex(*CompileDeck(kProlog.substr(0, kProlog.size() - 2) +
                             " [<!ENTITY in \"<i>i</i>\"><!ENTITY out \"&in;<br/>\">]>\n"
                             "<wml><card><p>&out;&out;</p></card></wml>")),
            "01 04 6A 00 7F 67 60 6D 03 69 00 01 26 6D 03 69 00 01 26 01 01 01");
  EXPECT_EQ(Body("<wml><card><p>a</p></card></wml>"), "7F 67 60 03 61 00 01 01 01");
  EXPECT_EQ(Hex(*CompileDeck(kProlog.substr(0, kProlog.size() - 2) +
                             " [<!ENTITY go \"<a href='#b'>b</a>\">]>\n"
                             "<wml><card><p>&go;</p></card></wml>")),
            "01 04 6A 00 7F 67 60 DC 4A 03 23 62 00 01 03 62 00 01 01 01 01");
}

// WML 1.1 §10.3.1: an unconverted reference in an attribute of type %HREF;
// (href, src, onenterforward, onenterbackward, ontimer, onpick) is URL
// escaped, so the compiler writes EXT_I_0; in text and in other attributes
// it stays EXT_I_2; an explicit conversion is kept everywhere.
TEST(WbxmlConformance, VariablesInAddressAttributesCompileWithTheEscapeToken) {
  // href of go: escape.
  EXPECT_EQ(Body("<wml><card><p><anchor>x<go href=\"$(u)\"/></anchor></p></card></wml>"),
            "7F 67 60 62 03 78 00 AB 4A 40 75 00 01 01 01 01 01");
  // href of a, src of img (alt first, as the attribute order is kept).
  EXPECT_EQ(Body("<wml><card><p><a href=\"$u\">x</a></p></card></wml>"),
            "7F 67 60 DC 4A 40 75 00 01 03 78 00 01 01 01 01");
  EXPECT_EQ(Body("<wml><card><p><img alt=\"$t\" src=\"$s\"/></p></card></wml>"),
            "7F 67 60 AE 0C 42 74 00 32 40 73 00 01 01 01 01");
  // The card's events and option's onpick: escape; title: no conversion.
  EXPECT_EQ(Body("<wml><card title=\"$t\" onenterforward=\"$f\" onenterbackward=\"$b\" "
                 "ontimer=\"$m\"><p>$t</p></card></wml>"),
            "7F E7 36 42 74 00 26 40 66 00 25 40 62 00 27 40 6D 00 01 60 42 74 00 01 01 01");
  EXPECT_EQ(Body("<wml><card><p><select><option onpick=\"$p\" value=\"$v\">o</option>"
                 "</select></p></card></wml>"),
            "7F 67 60 77 F5 24 40 70 00 4D 42 76 00 01 03 6F 00 01 01 01 01 01");
  // Explicit conversions stay as written, in an address too.
  EXPECT_EQ(Body("<wml><card><p><a href=\"$(u:noesc)$(v:unesc)$(w:escape)\">x</a></p>"
                 "</card></wml>"),
            "7F 67 60 DC 4A 42 75 00 41 76 00 40 77 00 01 03 78 00 01 01 01 01");
}
