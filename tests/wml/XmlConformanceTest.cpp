// XML 1.0 rules the checker enforces beyond the markup itself, each from the
// standard's words, with the neighbours of each rule in the same section.
// Where xmllint is installed and the reference copy of the WML 1.1 DTD is
// in the shared corpus, its verdict (--nonet --valid, the DTD reached
// through a catalog) is compared as well.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "wml/DeckCheck.h"

using namespace deckhand::wml;
namespace fs = std::filesystem;

namespace {

const std::string kDoctype =
    "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
    "\"http://www.wapforum.org/DTD/wml_1.1.xml\"";
const std::string kBody = "<wml><card id=\"a\"><p>x</p></card></wml>\n";

std::string Deck(const std::string& declaration, const std::string& subset = "",
                 const std::string& body = kBody) {
  return declaration + "\n" + kDoctype + (subset.empty() ? "" : " [" + subset + "]") + ">\n" + body;
}

std::string Errors(const TDeckReport& report) {
  std::string out;
  for (const TFinding& f : report.Findings) {
    if (f.Severity == TSeverity::Error)
      out += std::to_string(f.Line) + ":" + std::to_string(f.Column) + " " + f.Message + "\n";
  }
  return out;
}

std::string Utf16(const std::string& ascii, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : ascii) {
    if (bigEndian) out += '\0';
    out += c;
    if (!bigEndian) out += '\0';
  }
  return out;
}

// xmllint's verdict on a deck: whether it is valid; empty when xmllint or
// the reference DTD is not here.
std::optional<bool> XmllintValid(const std::string& deck) {
  const fs::path dtd = fs::path(DECKHAND_CORPUS_DIR) / "dtd" / "wml_1.1.xml";
  if (!fs::is_regular_file(dtd) || std::system("command -v xmllint >/dev/null 2>&1") != 0)
    return std::nullopt;
  const fs::path folder =
      fs::temp_directory_path() / ("xml-conformance-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string uri = "file://" + dtd.string();
  std::ofstream(folder / "catalog.xml")
      << "<?xml version=\"1.0\"?>\n"
         "<catalog xmlns=\"urn:oasis:names:tc:entity:xmlns:xml:catalog\">\n"
         "  <public publicId=\"-//WAPFORUM//DTD WML 1.1//EN\" uri=\""
      << uri << "\"/>\n  <system systemId=\"http://www.wapforum.org/DTD/wml_1.1.xml\" uri=\"" << uri
      << "\"/>\n</catalog>\n";
  std::ofstream(folder / "deck.wml", std::ios::binary) << deck;
  const std::string command = "XML_CATALOG_FILES='" + (folder / "catalog.xml").string() +
                              "' xmllint --nonet --valid --noout '" +
                              (folder / "deck.wml").string() + "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  fs::remove_all(folder);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The checker's verdict is valid (or not), and xmllint's agrees when it can
// be asked.
void ExpectVerdict(const std::string& deck, bool valid, const char* why) {
  const TDeckReport report = CheckDeck(deck);
  EXPECT_EQ(report.Valid, valid) << why << "\n" << deck << Errors(report);
  if (const auto oracle = XmllintValid(deck)) {
    EXPECT_EQ(*oracle, valid) << why << " (xmllint)";
  }
}

}  // namespace

// XML 1.0 §4.3.3: "Entities encoded in UTF-16 MUST [...] begin with the Byte
// Order Mark", and it is a fatal error for an entity with an encoding
// declaration to be presented in an encoding other than the one it names.
TEST(XmlConformance, Utf16DeclarationWithoutByteOrderMarkIsAnError) {
  const std::string named = Deck("<?xml version=\"1.0\" encoding=\"UTF-16\"?>");
  TDeckReport report = CheckDeck(named);
  EXPECT_FALSE(report.WellFormed);
  EXPECT_FALSE(report.CompiledSize);
  ASSERT_FALSE(report.Findings.empty());
  EXPECT_EQ(report.Findings[0].Line, 1);
  EXPECT_EQ(report.Findings[0].Column, 31);  // at the name the declaration gives
  EXPECT_NE(report.Findings[0].Message.find("метки порядка байтов"), std::string::npos)
      << Errors(report);
  ExpectVerdict(named, false, "UTF-16 named, 8-bit bytes");
  // The same after a UTF-8 byte order mark, which says the opposite.
  ExpectVerdict("\xEF\xBB\xBF" + named, false, "UTF-16 named after a UTF-8 mark");

  // Neighbours: real UTF-16 with its mark, in either byte order, is read.
  for (const bool bigEndian : {false, true}) {
    report = CheckDeck(Utf16(named, bigEndian));
    EXPECT_TRUE(report.Valid) << bigEndian << "\n" << Errors(report);
  }
  ExpectVerdict(Utf16(named, true), true, "UTF-16 with its mark");
  // UTF-16 bytes whose declaration names another encoding: xmllint switches
  // to ISO-8859-1 and fails; UTF-8 it lets pass, the standard does not.
  ExpectVerdict(Utf16(Deck("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"), false), false,
                "UTF-16 bytes naming ISO-8859-1");
  report = CheckDeck(Utf16(Deck("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"), false));
  EXPECT_FALSE(report.WellFormed);
  EXPECT_NE(Errors(report).find("1:63 Колода записана в UTF-16"), std::string::npos)
      << Errors(report);
  // No declaration at all: UTF-8 by default, valid.
  ExpectVerdict(Deck("<?xml version=\"1.0\"?>"), true, "no encoding named");
}

// XML 1.0 §2.9, VC: Standalone Document Declaration: standalone="yes" is
// invalid when the external subset declares attributes with default values
// and an element those attributes apply to appears in the document without
// a value for them.
TEST(XmlConformance, StandaloneYesWithDefaultedExternalAttributeIsInvalid) {
  const std::string declaration = "<?xml version=\"1.0\" standalone=\"yes\"?>";
  const std::string defaulted = Deck(declaration);
  const TDeckReport report = CheckDeck(defaulted);
  EXPECT_TRUE(report.WellFormed);
  EXPECT_FALSE(report.Valid);
  const std::string errors = Errors(report);
  EXPECT_NE(errors.find("3:6 В колоде standalone=\"yes\", а атрибут newcontext элемента <card>"),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("атрибут align элемента <p>"), std::string::npos) << errors;
  ExpectVerdict(defaulted, false, "card and p with defaulted attributes");
  // Every defaulted attribute written out: valid.
  const std::string written =
      Deck(declaration, "",
           "<wml><card id=\"a\" newcontext=\"false\" ordered=\"true\"><p align=\"left\" "
           "mode=\"wrap\">x</p></card></wml>\n");
  EXPECT_TRUE(CheckDeck(written).Valid) << Errors(CheckDeck(written));
  ExpectVerdict(written, true, "no attribute defaulted");
  // Neighbour: white space between the children of an element declared with
  // element content, also invalid for a standalone deck.
  const std::string spaced = Deck(declaration, "",
                                  "<wml>\n<card id=\"a\" newcontext=\"false\" ordered=\"true\"><p "
                                  "align=\"left\" mode=\"wrap\">x</p></card></wml>\n");
  ExpectVerdict(spaced, false, "white space in <wml>");
  EXPECT_NE(Errors(CheckDeck(spaced)).find("между элементами внутри <wml> стоят пробелы"),
            std::string::npos)
      << Errors(CheckDeck(spaced));
  // Neighbour (§4.1, WFC: Entity Declared): a standalone deck may not use
  // an entity the external subset declares, &nbsp; among them.
  const std::string nbsp = Deck(declaration, "",
                                "<wml><card id=\"a\" newcontext=\"false\" ordered=\"true\"><p "
                                "align=\"left\" mode=\"wrap\">x&nbsp;y</p></card></wml>\n");
  EXPECT_FALSE(CheckDeck(nbsp).WellFormed);
  EXPECT_NE(Errors(CheckDeck(nbsp)).find("сущность &nbsp; объявлена в DTD WML 1.1"),
            std::string::npos)
      << Errors(CheckDeck(nbsp));
  ExpectVerdict(nbsp, false, "&nbsp; in a standalone deck");
  // Neighbour: without standalone="yes" nothing of this applies.
  ExpectVerdict(Deck("<?xml version=\"1.0\" standalone=\"no\"?>"), true, "standalone=\"no\"");
}

// XML 1.0 §2.9, VC: Standalone Document Declaration, its third case: with
// standalone="yes" no attribute may appear "with a value which will change
// as a result of normalization" (§3.3.3: white space at the ends, runs of
// it) when its type is declared in the external subset. xmllint does not
// check this case (libxml2 normalises such values as it reads them), so the
// reference is not asked here; without standalone="yes" the same values
// are valid (XmlConstraints.TokenisedAttributeValueIsNormalisedBeforeItIsChecked).
TEST(XmlConformance, StandaloneYesWithAValueNormalisationChangesIsInvalid) {
  const std::string declaration = "<?xml version=\"1.0\" standalone=\"yes\"?>";
  const auto body = [](const std::string& align, const std::string& title) {
    return "<wml><card id=\"a\" newcontext=\"false\" ordered=\"true\" title=\"" + title +
           "\"><p align=\"" + align + "\" mode=\"wrap\">x</p></card></wml>\n";
  };
  for (const std::string align : {" left", "left ", "left\t", "&#32;left", "&#x20;left"}) {
    SCOPED_TRACE(align);
    const TDeckReport report = CheckDeck(Deck(declaration, "", body(align, "t")));
    EXPECT_TRUE(report.WellFormed);
    EXPECT_FALSE(report.Valid);
    const std::string errors = Errors(report);
    EXPECT_NE(
        errors.find("3:66 В колоде standalone=\"yes\", а значение атрибута align элемента <p>"),
        std::string::npos)
        << errors;
  }
  // A CDATA attribute keeps its spaces; a value already normal is fine;
  // an attribute the deck declares itself is not the external subset's.
  EXPECT_TRUE(CheckDeck(Deck(declaration, "", body("left", "  two  spaces "))).Valid);
  EXPECT_TRUE(CheckDeck(Deck(declaration, "", body("left", "t"))).Valid);
  const TDeckReport own =
      CheckDeck(Deck(declaration, "<!ATTLIST p align (left|right) \"left\">", body(" left", "t")));
  EXPECT_EQ(Errors(own).find("пришлось нормализовать"), std::string::npos) << Errors(own);
}

// XML 1.0 §3.3: "When more than one AttlistDecl is provided for a given
// element type, the contents of all those provided are merged", and the
// internal subset is read before the external one.
TEST(XmlConformance, InternalSubsetAttlistAddsAttributes) {
  const std::string body = "<wml><card id=\"a\"><p foo=\"1\">x</p></card></wml>\n";
  const std::string added =
      Deck("<?xml version=\"1.0\"?>", "<!ATTLIST p foo CDATA #IMPLIED>", body);
  TDeckReport report = CheckDeck(added);
  EXPECT_TRUE(report.Valid) << Errors(report);
  ExpectVerdict(added, true, "foo declared in the internal subset");
  // The attribute is valid but has no WML 1.1 token: it cannot be compiled.
  EXPECT_FALSE(report.CompiledSize);
  // Without the declaration the attribute is not WML 1.1.
  ExpectVerdict(Deck("<?xml version=\"1.0\"?>", "", body), false, "foo undeclared");
  // Neighbour: for an attribute declared twice the first declaration binds
  // (§3.3): the internal one's default wins, the external one is ignored.
  const std::string redeclared =
      Deck("<?xml version=\"1.0\"?>", "<!ATTLIST p align (left|right) \"right\">",
           "<wml><card id=\"a\"><p align=\"right\">x</p></card></wml>\n");
  ExpectVerdict(redeclared, true, "align redeclared with fewer values");
  const std::string outside =
      Deck("<?xml version=\"1.0\"?>", "<!ATTLIST p align (left|right) \"right\">",
           "<wml><card id=\"a\"><p align=\"center\">x</p></card></wml>\n");
  ExpectVerdict(outside, false, "a value the internal declaration leaves out");
  // An internal entity is still used the same way.
  ExpectVerdict(Deck("<?xml version=\"1.0\"?>", "<!ENTITY who \"world\">",
                     "<wml><card id=\"a\"><p>&who;</p></card></wml>\n"),
                true, "an internal entity");
}

// XML 1.0 §3.2, VC: Unique Element Type Declaration: "An element type MUST
// NOT be declared more than once."
TEST(XmlConformance, InternalSubsetRedeclaringAWmlElementIsInvalid) {
  const std::string twice = Deck("<?xml version=\"1.0\"?>", "<!ELEMENT p (#PCDATA)>");
  const TDeckReport report = CheckDeck(twice);
  EXPECT_TRUE(report.WellFormed);
  EXPECT_FALSE(report.Valid);
  EXPECT_NE(Errors(report).find("Элемент <p> уже объявлен в DTD WML 1.1"), std::string::npos)
      << Errors(report);
  ExpectVerdict(twice, false, "p declared twice");
  // Neighbour: a new element type is no redeclaration (used nowhere, the
  // deck stays valid).
  ExpectVerdict(Deck("<?xml version=\"1.0\"?>", "<!ELEMENT mine (#PCDATA)>"), true,
                "a new element type");
}

// XML 1.0 §4.2.2: "Before a match is attempted, all strings of white space
// in the public identifier MUST be normalized to single space characters
// (#x20), and leading and trailing white space MUST be removed."
TEST(XmlConformance, PublicIdentifierIsComparedAfterNormalisingWhiteSpace) {
  for (const std::string id : {"-//WAPFORUM//DTD  WML 1.1//EN", " -//WAPFORUM//DTD WML 1.1//EN ",
                               "-//WAPFORUM//DTD\nWML 1.1//EN"}) {
    // Another system identifier, so that only the public one names WML 1.1.
    const std::string deck =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE wml PUBLIC \"" + id + "\" \"wml11.dtd\">\n" + kBody;
    const TDeckReport report = CheckDeck(deck);
    EXPECT_TRUE(report.Valid) << id << "\n" << Errors(report);
    ExpectVerdict(deck, true, id.c_str());
  }
  // Neighbour: letters are not folded; another identifier is not WML 1.1.
  const std::string other =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD wml 1.1//EN\" "
      "\"wml11.dtd\">\n" +
      kBody;
  EXPECT_FALSE(CheckDeck(other).Valid);
}

// XML 1.0 §3, VC: Element Valid: an element declared with element content
// matches "children" with only white space between the child elements; a
// CDATA section is character data, even one of white space only.
TEST(XmlConformance, CdataSectionInElementOnlyContentIsInvalid) {
  const std::string inCard = Deck("<?xml version=\"1.0\"?>", "",
                                  "<wml><card id=\"a\"><![CDATA[ ]]><p>x</p></card></wml>\n");
  const TDeckReport report = CheckDeck(inCard);
  EXPECT_TRUE(report.WellFormed);
  EXPECT_FALSE(report.Valid);
  EXPECT_NE(Errors(report).find("3:19 Раздел CDATA не может стоять прямо внутри <card>"),
            std::string::npos)
      << Errors(report);
  ExpectVerdict(inCard, false, "CDATA in card");
  // Neighbours: an empty section, and one in <wml>, are the same fault;
  // in mixed content (<p>) a CDATA section is text and valid; in an EMPTY
  // element (<br>) it is content.
  ExpectVerdict(Deck("<?xml version=\"1.0\"?>", "",
                     "<wml><![CDATA[]]><card id=\"a\"><p>x</p></card></wml>\n"),
                false, "empty CDATA in wml");
  ExpectVerdict(Deck("<?xml version=\"1.0\"?>", "",
                     "<wml><card id=\"a\"><p><![CDATA[a < b]]></p></card></wml>\n"),
                true, "CDATA in p");
  ExpectVerdict(Deck("<?xml version=\"1.0\"?>", "",
                     "<wml><card id=\"a\"><p>x<br><![CDATA[]]></br></p></card></wml>\n"),
                false, "CDATA in br");
  // Plain white space between the card's children stays valid.
  ExpectVerdict(
      Deck("<?xml version=\"1.0\"?>", "", "<wml><card id=\"a\">\n  <p>x</p>\n</card></wml>\n"),
      true, "white space in card");
}
