// The well-formedness constraints (WFC) and validity constraints (VC) of
// XML 1.0 that the deck checker claims, each from the standard's words: a
// deck that breaks the constraint gets an error finding (and is not
// well-formed, or not valid), and the nearest deck that keeps it gets none.
// The internal subset is where a deck can break the constraints on
// declarations, so most decks here declare something there.
#include <gtest/gtest.h>

#include <string>

#include "wml/DeckCheck.h"

using namespace deckhand::wml;

namespace {

// The WML 1.1 document type declaration, open for an internal subset.
const std::string kDoctype =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
    "\"http://www.wapforum.org/DTD/wml_1.1.xml\"";

// A deck on three lines: the XML declaration, the DOCTYPE with the given
// internal subset (none when empty), the wml element.
std::string Deck(const std::string& subset, const std::string& wml) {
  return kDoctype + (subset.empty() ? std::string() : " [" + subset + "]") + ">\n" + wml + "\n";
}

const std::string kCard = "<wml><card id=\"a\"><p>x</p></card></wml>";

std::vector<TFinding> Errors(const TDeckReport& report) {
  std::vector<TFinding> errors;
  for (const TFinding& finding : report.Findings) {
    if (finding.Severity == TSeverity::Error) errors.push_back(finding);
  }
  return errors;
}

std::string Describe(const TDeckReport& report) {
  std::string text;
  for (const TFinding& f : report.Findings) {
    text += std::to_string(f.Line) + ":" + std::to_string(f.Column) +
            (f.Severity == TSeverity::Error ? " E " : " W ") + f.Message + "\n";
  }
  return text;
}

// Whether an error finding on the given line says every one of the words.
bool HasError(const TDeckReport& report, int line, std::initializer_list<std::string> words) {
  for (const TFinding& f : Errors(report)) {
    if (f.Line != line) continue;
    bool all = true;
    for (const std::string& word : words) all = all && f.Message.find(word) != std::string::npos;
    if (all) return true;
  }
  return false;
}

// The deck checked with the process's standard error captured: the checker
// reports through its findings, never by printing the parser's own text.
TDeckReport CheckQuietly(const std::string& deck, std::string& printed) {
  ::testing::internal::CaptureStderr();
  TDeckReport report = CheckDeck(deck);
  printed = ::testing::internal::GetCapturedStderr();
  return report;
}

}  // namespace

// XML 1.0 §2.2: the text of a document is a sequence of legal characters
// (production Char: tab, carriage return, line feed and the legal characters
// of Unicode); any other is a fatal error, in text and in attribute values
// alike. Tabs, line ends and Cyrillic letters are legal.
TEST(XmlConstraints, OnlyLegalCharactersAppearInTheDocument) {
  for (const std::string& wml : {std::string("<wml><card id=\"a\"><p>x\x01y</p></card></wml>"),
                                 std::string("<wml><card id=\"a\" title=\"a\x0b"
                                             "b\"><p>x</p></card></wml>")}) {
    const TDeckReport report = CheckDeck(Deck("", wml));
    EXPECT_FALSE(report.WellFormed) << wml;
    EXPECT_FALSE(report.CompiledSize) << wml;
    ASSERT_FALSE(Errors(report).empty()) << wml;
    EXPECT_EQ(Errors(report)[0].Line, 3) << Describe(report);
  }
  const TDeckReport good =
      CheckDeck(Deck("", "<wml><card id=\"a\" title=\"\xd0\xaf\"><p>x\ty\r\nz</p></card></wml>"));
  EXPECT_TRUE(good.Valid) << Describe(good);
}

// XML 1.0 §2.8, WFC: PEs in Internal Subset: "In the internal DTD subset,
// parameter-entity references MUST NOT occur within markup declarations;
// they may occur where markup declarations can occur." WFC: PE Between
// Declarations: the replacement text of a reference between declarations is
// whole declarations. So, in a deck's internal subset, a parameter entity can
// neither start a declaration that the text after it ends, nor stand for a
// part of an attribute list or a content model (which the VCs Proper
// Declaration/PE Nesting and Proper Group/PE Nesting speak of).
TEST(XmlConstraints, ParameterEntitiesOfTheInternalSubsetStandBetweenDeclarations) {
  for (const std::string& subset : {
           std::string("<!ENTITY % pe \"CDATA\"><!ATTLIST card z %pe; #IMPLIED>"),
           std::string("<!ENTITY % pe \"<!ELEMENT\"> %pe; q EMPTY>"),
           std::string("<!ENTITY % pe \"CDATA #IMPLIED>\"><!ATTLIST card z %pe; "),
           std::string("<!ENTITY % pe \"(a|b\"><!ELEMENT q %pe;)>"),
       }) {
    const TDeckReport report = CheckDeck(Deck(subset, kCard));
    EXPECT_FALSE(report.WellFormed) << subset;
    EXPECT_TRUE(HasError(report, 2, {})) << subset << "\n" << Describe(report);
  }
  // Whole declarations between declarations are what a parameter entity may hold.
  const TDeckReport good = CheckDeck(Deck("<!ENTITY % decl \"<!ENTITY e 'x'>\"> %decl;",
                                          "<wml><card id=\"a\"><p>&e;</p></card></wml>"));
  EXPECT_TRUE(good.WellFormed) << Describe(good);
  EXPECT_TRUE(good.Valid) << Describe(good);
}

// XML 1.0 §3.1, WFC: Unique Att Spec: "An attribute name MUST NOT appear more
// than once in the same start-tag or empty-element tag."
TEST(XmlConstraints, AnAttributeAppearsOnceInATag) {
  const TDeckReport report =
      CheckDeck(Deck("", "<wml><card id=\"a\" title=\"t\" title=\"u\"><p>x</p></card></wml>"));
  EXPECT_FALSE(report.WellFormed);
  EXPECT_TRUE(HasError(report, 3, {"title"})) << Describe(report);
  // The same name on two elements is two attributes.
  const TDeckReport good =
      CheckDeck(Deck("", "<wml><card id=\"a\" title=\"t\"><p align=\"left\">x</p></card></wml>"));
  EXPECT_TRUE(good.Valid) << Describe(good);
}

// XML 1.0 §3.1, WFC: No External Entity References: "Attribute values MUST NOT
// contain direct or indirect entity references to external entities." WFC:
// No < in Attribute Values: "The replacement text of any entity referred to
// directly or indirectly in an attribute value MUST NOT contain a <."
TEST(XmlConstraints, AttributeValuesReferToNoExternalEntityAndHoldNoLessThan) {
  TDeckReport report = CheckDeck(Deck("<!ENTITY ext SYSTEM \"x.txt\">",
                                      "<wml><card id=\"a\" title=\"&ext;\"><p>x</p></card></wml>"));
  EXPECT_FALSE(report.WellFormed);
  EXPECT_TRUE(HasError(report, 3, {"ext"})) << Describe(report);

  report = CheckDeck(Deck("<!ENTITY lt2 \"a&#60;b\">",
                          "<wml><card id=\"a\" title=\"&lt2;\"><p>x</p></card></wml>"));
  EXPECT_FALSE(report.WellFormed);
  EXPECT_TRUE(HasError(report, 3, {"<"})) << Describe(report);
  // Indirectly, through a second entity.
  report = CheckDeck(Deck("<!ENTITY lt2 \"a&#60;b\"><!ENTITY outer \"(&lt2;)\">",
                          "<wml><card id=\"a\" title=\"&outer;\"><p>x</p></card></wml>"));
  EXPECT_FALSE(report.WellFormed) << Describe(report);

  // An internal entity without "<", and the predefined &lt;, are fine.
  report = CheckDeck(Deck("<!ENTITY who \"Ann\">",
                          "<wml><card id=\"a\" title=\"&who; &lt; 2\"><p>x</p></card></wml>"));
  EXPECT_TRUE(report.Valid) << Describe(report);
}

// XML 1.0 §4.1, WFC: Entity Declared (a document without a DTD, with only an
// internal subset that holds no parameter-entity reference, or with
// standalone="yes": "the Name given in the entity reference MUST match that
// in an entity declaration"); WFC: Parsed Entity ("An entity reference MUST
// NOT contain the name of an unparsed entity"); WFC: No Recursion ("A parsed
// entity MUST NOT contain a recursive reference to itself, either directly or
// indirectly"); WFC: In DTD ("Parameter-entity references MUST NOT appear
// outside the DTD": in content, "%pe;" is text).
TEST(XmlConstraints, EntityReferencesNameDeclaredParsedEntitiesWithoutRecursion) {
  // No DTD; standalone="yes" with the WML 1.1 DTD; an internal subset only.
  for (const std::string& prolog : {
           std::string(),
           "<?xml version=\"1.0\" standalone=\"yes\"?>\n" + kDoctype.substr(kDoctype.find('<', 1)) +
               ">\n",
           std::string("<?xml version=\"1.0\"?>\n<!DOCTYPE wml [<!ENTITY x \"y\">]>\n"),
       }) {
    const TDeckReport report =
        CheckDeck(prolog + "<wml><card id=\"a\"><p>&foo; &amp;</p></card></wml>");
    EXPECT_FALSE(report.WellFormed) << prolog;
    EXPECT_TRUE(HasError(report, prolog.empty() ? 1 : 3, {"&foo;"})) << Describe(report);
  }

  TDeckReport report =
      CheckDeck(Deck("<!NOTATION gif SYSTEM \"gif\"><!ENTITY pic SYSTEM \"p.gif\" NDATA gif>",
                     "<wml><card id=\"a\"><p>&pic;</p></card></wml>"));
  EXPECT_FALSE(report.WellFormed);
  EXPECT_TRUE(HasError(report, 3, {"pic"})) << Describe(report);

  for (const std::string& subset : {std::string("<!ENTITY a \"x&a;\">"),
                                    std::string("<!ENTITY a \"x&b;\"><!ENTITY b \"y&a;\">")}) {
    report = CheckDeck(Deck(subset, "<wml><card id=\"a\"><p>&a;</p></card></wml>"));
    EXPECT_FALSE(report.WellFormed) << subset;
    EXPECT_FALSE(Errors(report).empty()) << subset;
  }

  report = CheckDeck(Deck("", "<wml><card id=\"a\"><p>100%pe; %</p></card></wml>"));
  EXPECT_TRUE(report.Valid) << Describe(report);
}

// XML 1.0 §2.8, VC: Root Element Type: "The Name in the document type
// declaration MUST match the element type of the root element."
TEST(XmlConstraints, RootElementOtherThanTheDoctypeNameIsInvalid) {
  const TDeckReport report = CheckDeck(Deck("", "<card id=\"a\"><p>x</p></card>"));
  EXPECT_TRUE(report.WellFormed);
  EXPECT_FALSE(report.Valid);
  EXPECT_TRUE(HasError(report, 3, {"<wml>", "<card>"})) << Describe(report);
}

// The same constraint the other way round: the root is <wml> but the
// DOCTYPE names another type. The finding names the DOCTYPE's name, not the
// root twice ("должен быть <wml>, а не <wml>").
TEST(XmlConstraints, RootElementMessageNamesTheDoctypesName) {
  const std::string deck =
      "<?xml version=\"1.0\"?>\n"
      "<!DOCTYPE html PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n" +
      kCard + "\n";
  const TDeckReport report = CheckDeck(deck);
  EXPECT_FALSE(report.Valid);
  EXPECT_TRUE(HasError(report, 3, {"html"})) << Describe(report);
  for (const TFinding& f : report.Findings) {
    EXPECT_EQ(f.Message.find("а не <wml>"), std::string::npos) << f.Message;
  }
}

// XML 1.0 §2.8: the document type declaration points to the external subset
// that holds the grammar; a DOCTYPE with only an internal subset declares no
// WML 1.1 grammar, so the deck gets the finding of a deck without the WML 1.1
// DOCTYPE, as "<!DOCTYPE wml>" does, and its elements are not reported as
// not of WML 1.1 ("Элемента <wml> нет в WML 1.1"), which they are.
TEST(XmlConstraints, DoctypeWithOnlyAnInternalSubsetIsReportedAsNotDeclaringWml11) {
  const TDeckReport report = CheckDeck(
      "<?xml version=\"1.0\"?>\n<!DOCTYPE wml [<!ENTITY x \"y\">]>\n"
      "<wml><card id=\"a\"><p>&x;</p></card></wml>\n");
  EXPECT_TRUE(report.WellFormed);
  EXPECT_FALSE(report.Valid);
  EXPECT_TRUE(HasError(report, 3, {"-//WAPFORUM//DTD WML 1.1//EN"})) << Describe(report);
  for (const TFinding& f : report.Findings) {
    EXPECT_EQ(f.Message.find("нет в WML 1.1"), std::string::npos) << f.Message;
    EXPECT_EQ(f.Message.find("нет атрибута id"), std::string::npos) << f.Message;
  }
}

// XML 1.0 §2.9, VC: Standalone Document Declaration: with standalone="yes",
// white space must not occur directly within an element declared in the
// external subset with element content. <wml> is such an element.
TEST(XmlConstraints, StandaloneYesWithWhiteSpaceInExternallyDeclaredElementContentIsInvalid) {
  const std::string body =
      "<wml>\n <card id=\"a\" newcontext=\"false\" ordered=\"true\"><p>x</p>"
      "</card></wml>";
  const std::string doctype =
      "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n";
  const TDeckReport standalone =
      CheckDeck("<?xml version=\"1.0\" standalone=\"yes\"?>\n" + doctype + body);
  EXPECT_TRUE(standalone.WellFormed);
  EXPECT_FALSE(standalone.Valid);
  EXPECT_FALSE(Errors(standalone).empty()) << Describe(standalone);
  // Without standalone="yes" the same deck is valid.
  const TDeckReport plain = CheckDeck("<?xml version=\"1.0\"?>\n" + doctype + body);
  EXPECT_TRUE(plain.Valid) << Describe(plain);
}

// XML 1.0 §3.2.2, VC: No Duplicate Types: "The same name MUST NOT appear more
// than once in a single mixed-content declaration."
TEST(XmlConstraints, MixedContentDeclarationNamesEachTypeOnce) {
  const TDeckReport report = CheckDeck(Deck("<!ELEMENT q (#PCDATA|b|b)*>", kCard));
  EXPECT_FALSE(report.Valid);
  EXPECT_TRUE(HasError(report, 2, {"b"})) << Describe(report);
  const TDeckReport good = CheckDeck(Deck("<!ELEMENT q (#PCDATA|b)*>", kCard));
  EXPECT_TRUE(good.Valid) << Describe(good);
}

// XML 1.0 §3.3.1, VC: ID Attribute Default: "An ID attribute MUST have a
// declared default of #IMPLIED or #REQUIRED"; VC: No Duplicate Tokens: "The
// notation names in a single NotationType attribute declaration, as well as
// the NmTokens in a single Enumeration attribute declaration, MUST all be
// distinct"; §3.3.2, VC: Attribute Default Value Syntactically Correct: "The
// declared default value MUST meet the syntactic constraints of the declared
// attribute type." Each is reported at the declaration.
TEST(XmlConstraints, AttributeListDeclarationsOfTheInternalSubsetAreChecked) {
  for (const std::string& subset : {
           std::string("<!ATTLIST wml k ID \"x\">"),
           std::string("<!ATTLIST card k (a|a) #IMPLIED>"),
           std::string("<!NOTATION n SYSTEM \"n\"><!ATTLIST card k NOTATION (n|n) #IMPLIED>"),
           std::string("<!ATTLIST card k NMTOKEN \"a b\">"),
           std::string("<!ATTLIST card k (a|b) \"c\">"),
       }) {
    const TDeckReport report = CheckDeck(Deck(subset, kCard));
    EXPECT_FALSE(report.Valid) << subset;
    EXPECT_TRUE(HasError(report, 2, {})) << subset << "\n" << Describe(report);
  }
}

// XML 1.0 §3.3.1, VC: One ID per Element Type: "An element type MUST NOT have
// more than one ID attribute specified." <card> has the ID attribute id in
// WML 1.1, so an internal subset cannot give it a second one: the finding is
// at the declaration and names the second attribute.
TEST(XmlConstraints, SecondIdAttributeOfAnElementTypeIsInvalid) {
  const TDeckReport report = CheckDeck(Deck("<!ATTLIST card id2 ID #IMPLIED>", kCard));
  EXPECT_FALSE(report.Valid);
  EXPECT_TRUE(HasError(report, 2, {"id2"})) << Describe(report);
}

// XML 1.0 §3.3.1, VC: Name Token ("Values of type NMTOKEN MUST match the
// Nmtoken production"), VC: Entity Name ("Values of type ENTITY MUST match
// the Name production ... [and] match the name of an unparsed entity declared
// in the DTD"), VC: Notation Attributes ("all notation names in the
// declaration MUST be declared" and the value one of them); §3.3.2, VC: Fixed
// Attribute Default ("If an attribute has a default value declared with the
// #FIXED keyword, instances of that attribute MUST match the default value").
TEST(XmlConstraints, AttributeValuesMatchTheirDeclaredTypes) {
  struct TCase {
    std::string Subset, Value;
  };
  for (const TCase& c : {
           TCase{"<!ATTLIST card k NMTOKEN #IMPLIED>", "a b"},
           TCase{"<!ATTLIST card k ENTITY #IMPLIED>", "zz"},
           TCase{"<!NOTATION n SYSTEM \"a\"><!ATTLIST card k NOTATION (n) #IMPLIED>", "m"},
           TCase{"<!ATTLIST card k CDATA #FIXED \"v\">", "w"},
       }) {
    const TDeckReport report = CheckDeck(
        Deck(c.Subset, "<wml><card id=\"a\" k=\"" + c.Value + "\"><p>x</p></card></wml>"));
    EXPECT_TRUE(report.WellFormed) << c.Subset;
    EXPECT_FALSE(report.Valid) << c.Subset;
    EXPECT_TRUE(HasError(report, 3, {" k "})) << c.Subset << "\n" << Describe(report);
  }
}

// XML 1.0 §3.3.1, VC: IDREF: "Values of type IDREF MUST match the Name
// production ... each Name MUST match the value of an ID attribute on some
// element in the XML document." The finding names the value at the
// attribute; the parser's own English text is not printed.
TEST(XmlConstraints, IdrefNamingNoIdIsAFindingNotTheParsersText) {
  std::string printed;
  const TDeckReport report =
      CheckQuietly(Deck("<!ATTLIST card ref IDREF #IMPLIED>",
                        "<wml><card id=\"a\" ref=\"nowhere\"><p>x</p></card></wml>"),
                   printed);
  EXPECT_FALSE(report.Valid);
  EXPECT_TRUE(HasError(report, 3, {"nowhere"})) << Describe(report);
  EXPECT_EQ(printed, "");
}

// XML 1.0 §4.7, VC: Unique Notation Name: "A given Name MUST NOT be declared
// in more than one notation declaration." The deck gets a finding at the
// declaration; the parser's own English text is not printed.
TEST(XmlConstraints, NotationDeclaredTwiceIsAFindingNotTheParsersText) {
  std::string printed;
  const TDeckReport report =
      CheckQuietly(Deck("<!NOTATION n SYSTEM \"a\"><!NOTATION n SYSTEM \"b\">", kCard), printed);
  EXPECT_FALSE(report.Valid);
  EXPECT_TRUE(HasError(report, 2, {"n"})) << Describe(report);
  EXPECT_EQ(printed, "");
}

// XML 1.0 §4.2.2, VC: Notation Declared: "The Name MUST match the declared name
// of a notation."
TEST(XmlConstraints, UnparsedEntityNamesADeclaredNotation) {
  const TDeckReport report = CheckDeck(Deck("<!ENTITY pic SYSTEM \"p.gif\" NDATA gif>", kCard));
  EXPECT_TRUE(report.WellFormed);
  EXPECT_FALSE(report.Valid);
  EXPECT_FALSE(Errors(report).empty()) << Describe(report);
  const TDeckReport good = CheckDeck(
      Deck("<!NOTATION gif SYSTEM \"gif\"><!ENTITY pic SYSTEM \"p.gif\" NDATA gif>", kCard));
  EXPECT_TRUE(good.Valid) << Describe(good);
}

// XML 1.0 §3.3.1, VC: No Notation on Empty Element: "For compatibility, an
// attribute of type NOTATION MUST NOT be declared on an element declared
// EMPTY." <br> is EMPTY in WML 1.1: the declaration is reported, and <br>
// stays an element of WML 1.1.
TEST(XmlConstraints, NotationAttributeOnAnEmptyElementIsInvalid) {
  const TDeckReport report =
      CheckDeck(Deck("<!NOTATION n SYSTEM \"a\"><!ATTLIST br nt NOTATION (n) #IMPLIED>",
                     "<wml><card id=\"a\"><p>x<br/>y</p></card></wml>"));
  EXPECT_FALSE(report.Valid);
  EXPECT_TRUE(HasError(report, 2, {"nt"})) << Describe(report);
  for (const TFinding& f : report.Findings) {
    EXPECT_EQ(f.Message.find("Элемента <br> нет"), std::string::npos) << f.Message;
  }
}

// XML 1.0 §3.3.1, VC: One Notation Per Element Type: "An element type MUST
// NOT have more than one NOTATION attribute specified." Neighbours: one
// NOTATION attribute on each of two element types, and a second attribute
// of another type, are both fine.
TEST(XmlConstraints, SecondNotationAttributeOfAnElementTypeIsInvalid) {
  const std::string notations = "<!NOTATION n SYSTEM \"a\"><!NOTATION m SYSTEM \"b\">";
  const std::string body = "<wml><card id=\"a\"><p>x</p></card></wml>";
  TDeckReport report = CheckDeck(Deck(
      notations + "<!ATTLIST p one NOTATION (n) #IMPLIED>\n<!ATTLIST p two NOTATION (m) #IMPLIED>",
      body));
  EXPECT_FALSE(report.Valid);
  EXPECT_TRUE(HasError(report, 3, {"<p>", "NOTATION", "one", "two"})) << Describe(report);
  // In one list: the finding names both.
  report = CheckDeck(
      Deck(notations + "<!ATTLIST p one NOTATION (n) #IMPLIED two NOTATION (m) #IMPLIED>", body));
  EXPECT_FALSE(report.Valid);
  EXPECT_TRUE(HasError(report, 2, {"one", "two"})) << Describe(report);
  report =
      CheckDeck(Deck(notations + "<!ATTLIST p one NOTATION (n) #IMPLIED>"
                                 "<!ATTLIST card two NOTATION (m) #IMPLIED other CDATA #IMPLIED>",
                     body));
  EXPECT_TRUE(report.Valid) << Describe(report);
}

// XML 1.0 §3.3.3: a validating processor normalises the value of an attribute
// that is not CDATA "by discarding any leading and trailing space (#x20)
// characters, and by replacing sequences of space (#x20) characters by a
// single space" before it checks the value against the declared type.
TEST(XmlConstraints, TokenisedAttributeValueIsNormalisedBeforeItIsChecked) {
  TDeckReport report =
      CheckDeck(Deck("", "<wml><card id=\"a\"><p align=\"  center \">x</p></card></wml>"));
  EXPECT_TRUE(report.Valid) << Describe(report);
  report = CheckDeck(Deck("", "<wml><card id=\" a \"><p>x</p></card></wml>"));
  EXPECT_TRUE(report.Valid) << Describe(report);
  // Space inside a token is not removed.
  report = CheckDeck(Deck("", "<wml><card id=\"a\"><p align=\"cen ter\">x</p></card></wml>"));
  EXPECT_FALSE(report.Valid);
  EXPECT_TRUE(HasError(report, 3, {"cen ter"})) << Describe(report);
}

// Every fault the parser finds in declarations, entity references, notations
// and attribute types reaches the author as a Russian finding at the deck's
// own line, never as the parser's English text, neither in a finding nor on
// standard error; and each gets a message of its own, not the fallback that
// gives only the fault's number.
TEST(XmlConstraints, TheParsersEnglishTextReachesNoFindingAndNoOutput) {
  struct TCase {
    std::string Subset, Wml;
    int Line;
  };
  const std::string card = kCard;
  const std::string cardWith = "<wml><card id=\"a\" k=\"";
  const std::string rest = "\"><p>x</p></card></wml>";
  for (const TCase& c : {
           // Characters and names.
           TCase{"", "<wml><card id=\"a\"><p>x\x01y</p></card></wml>", 3},
           TCase{"", "<wml><card id=\"a\"><p>x <= y</p></card></wml>", 3},
           // Parameter entities: text that is not whole declarations.
           TCase{"<!ENTITY % pe \"x\">%pe;", card, 2},
           // Entity references: unparsed in text and in a value, external in a value.
           TCase{"<!NOTATION g SYSTEM \"g\"><!ENTITY e SYSTEM \"x.gif\" NDATA g>",
                 "<wml><card id=\"a\"><p>&e;</p></card></wml>", 3},
           TCase{"<!NOTATION g SYSTEM \"g\"><!ENTITY e SYSTEM \"x.gif\" NDATA g>",
                 "<wml><card id=\"a\" title=\"&e;\"><p>x</p></card></wml>", 3},
           TCase{"<!ENTITY e SYSTEM \"x.xml\">",
                 "<wml><card id=\"a\" title=\"&e;\"><p>x</p></card></wml>", 3},
           // Declarations and their defaults.
           TCase{"<!ATTLIST card k (a|b|a) #IMPLIED>", card, 2},
           TCase{"<!ATTLIST card k ID \"x\">", card, 2},
           TCase{"<!ATTLIST p id ID #FIXED \"x\">", card, 2},
           TCase{"<!ATTLIST card k NMTOKENS \"a b,\">", card, 2},
           TCase{"<!ELEMENT q (#PCDATA|b|b)*>", card, 2},
           TCase{"<!ATTLIST card k NOTATION (zz) #IMPLIED>", card, 3},
           TCase{"<!ENTITY pic SYSTEM \"p.gif\" NDATA gif>", card, 3},
           // Attribute values against their types.
           TCase{"<!ATTLIST card k ENTITY #IMPLIED>", cardWith + "zz" + rest, 3},
           TCase{"<!ATTLIST card k ENTITIES #IMPLIED>", cardWith + "a b" + rest, 3},
           TCase{"<!ATTLIST card k IDREFS #IMPLIED>", cardWith + "a zz" + rest, 3},
           TCase{"<!NOTATION n SYSTEM \"a\"><!ATTLIST card k NOTATION (n) #IMPLIED>",
                 cardWith + "m" + rest, 3},
           TCase{"<!ATTLIST card k CDATA #FIXED \"v\">", cardWith + "w" + rest, 3},
       }) {
    std::string printed;
    const TDeckReport report = CheckQuietly(Deck(c.Subset, c.Wml), printed);
    const std::string what = c.Subset + " " + c.Wml + "\n" + Describe(report);
    EXPECT_FALSE(report.Valid) << what;
    EXPECT_EQ(printed, "") << what;
    EXPECT_FALSE(Errors(report).empty()) << what;
    EXPECT_TRUE(HasError(report, c.Line, {})) << what;
    for (const TFinding& f : report.Findings) {
      for (const char* english :
           {" is ", " of ", " not ", " the ", "attribute ", "rror", "(код "}) {
        EXPECT_EQ(f.Message.find(english), std::string::npos) << english << " in " << what;
      }
    }
  }
  // XML 1.0 §2.9: with standalone="yes", white space in element content the
  // external subset declares, and an attribute it defaults.
  const std::string doctype =
      "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n";
  for (const std::string& body :
       {std::string("<wml><card id=\"a\"><p>x</p></card></wml>"),
        std::string("<wml> <card id=\"a\" newcontext=\"false\" ordered=\"true\"><p>x</p>"
                    "</card></wml>")}) {
    std::string printed;
    const TDeckReport report = CheckQuietly(
        "<?xml version=\"1.0\" standalone=\"yes\"?>\n" + doctype + body + "\n", printed);
    EXPECT_FALSE(report.Valid) << body;
    EXPECT_EQ(printed, "") << body;
    EXPECT_TRUE(HasError(report, 3, {"standalone"})) << body << "\n" << Describe(report);
    for (const TFinding& f : report.Findings) {
      EXPECT_EQ(f.Message.find(" declared "), std::string::npos) << f.Message;
      EXPECT_EQ(f.Message.find("(код "), std::string::npos) << f.Message;
    }
  }
}
