// Findings of the deck checks: where they stand (line and column as the
// status bar counts them) and what they say, for the faults a WML author
// meets; the parser's limits on hostile decks.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "core/CodeBuffer.h"
#include "core/Encoding.h"
#include "core/MarkupCommands.h"
#include "wml/DeckCheck.h"
#include "wml/DeckParse.h"

using namespace deckhand::wml;

namespace {

const std::string kProlog =
    "<?xml version=\"1.0\"?>\r\n"
    "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
    "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\r\n";

// A deck: the WML 1.1 prolog (two lines), then the given lines, CR LF
// after each, as the editor holds them.
std::string Deck(std::initializer_list<std::string> lines) {
  std::string deck = kProlog;
  for (const std::string& line : lines) deck += line + "\r\n";
  return deck;
}

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

// The position the status bar shows for a byte offset of the editor's text.
std::pair<int, int> StatusBarPosition(const std::string& text, int offset) {
  deckhand::TMemoryBuffer buffer;
  buffer.SetText(text);
  const int line = buffer.LineFromChar(offset);
  return {line + 1, offset - buffer.LineIndex(line) + 1};
}

}  // namespace

TEST(DeckEncoding, NewDocumentTemplateInWindows1251WithoutDeclarationNamesTheFix) {
  deckhand::TMemoryBuffer buffer;
  deckhand::ApplyNewDocumentTemplate(buffer);
  const std::string text = buffer.GetText();
  const TDeckReport report = CheckDeck(text);
  EXPECT_FALSE(report.WellFormed);
  EXPECT_FALSE(report.Valid);
  EXPECT_FALSE(report.CompiledSize);
  const auto errors = Errors(report);
  ASSERT_EQ(errors.size(), 1u) << Describe(report);
  // The first Cyrillic byte of "<p>Привет всем!</p>".
  const int offset = static_cast<int>(text.find(deckhand::Cp1251("Привет")));
  const auto [line, column] = StatusBarPosition(text, offset);
  EXPECT_EQ(errors[0].Line, line);
  EXPECT_EQ(errors[0].Column, column);
  EXPECT_EQ(errors[0].Offset, static_cast<std::size_t>(offset));
  EXPECT_EQ(line, 6);
  EXPECT_EQ(column, 4);
  EXPECT_NE(errors[0].Message.find("0xCF"), std::string::npos) << errors[0].Message;
  EXPECT_NE(errors[0].Message.find("encoding=\"windows-1251\""), std::string::npos)
      << errors[0].Message;

  // With the fix made, the same deck is valid WML 1.1 and compiles.
  std::string fixed = text;
  fixed.replace(0, fixed.find("?>"), "<?xml version=\"1.0\" encoding=\"windows-1251\"");
  const TDeckReport good = CheckDeck(fixed);
  EXPECT_TRUE(good.WellFormed);
  EXPECT_TRUE(good.Valid) << Describe(good);
  EXPECT_TRUE(Errors(good).empty()) << Describe(good);
  ASSERT_TRUE(good.CompiledSize);
  // "Привет всем!" in UTF-8 is 22 bytes: the compiled deck carries it so.
  const auto bytes = CompileDeck(fixed);
  ASSERT_TRUE(bytes);
  EXPECT_NE(bytes->find("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "), std::string::npos);
  EXPECT_EQ(bytes->size(), *good.CompiledSize);
}

TEST(DeckEncoding, DeclaredEncodingsAndTheirFaults) {
  // Declared UTF-8 with Windows-1251 bytes: the fix replaces the name.
  const std::string utf8Declared = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<wml><card><p>" +
                                   deckhand::Cp1251("Мир") + "</p></card></wml>";
  TDeckReport report = CheckDeck(utf8Declared);
  const auto encodingFinding = [](const TDeckReport& r) {
    for (const TFinding& f : r.Findings) {
      if (f.Message.find("0xCC") != std::string::npos) return f;
    }
    return TFinding{TSeverity::Warning, 0, 0, "(none)\n" + Describe(r)};
  };
  TFinding found = encodingFinding(report);
  EXPECT_EQ(found.Line, 2) << found.Message;
  EXPECT_EQ(found.Column, 15);
  EXPECT_NE(found.Message.find("замените её на encoding=\"windows-1251\""), std::string::npos);

  // No declaration at all: the fix is a whole declaration.
  report = CheckDeck("<wml><card><p>" + deckhand::Cp1251("Мир") + "</p></card></wml>");
  found = encodingFinding(report);
  EXPECT_EQ(found.Column, 15) << found.Message;
  EXPECT_NE(found.Message.find("<?xml version=\"1.0\" encoding=\"windows-1251\"?>"),
            std::string::npos);

  // An unknown encoding name is reported at the name.
  report = CheckDeck("<?xml version=\"1.0\" encoding=\"klingon-8\"?>\n<wml/>");
  EXPECT_FALSE(report.WellFormed);
  ASSERT_EQ(report.Findings.size(), 1u);
  EXPECT_EQ(report.Findings[0].Line, 1);
  EXPECT_EQ(report.Findings[0].Column, 31);

  // A Latin-1 deck: columns count bytes of the deck, not characters of the
  // decoded text, past a two-byte-in-UTF-8 letter.
  report = CheckDeck(
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<wml><card><p>\xE9t\xE9 "
      "<bad/></p></card></wml>");
  EXPECT_TRUE(report.WellFormed);
  ASSERT_FALSE(Errors(report).empty()) << Describe(report);
  // No DOCTYPE: the deck is not WML 1.1, said once at the root.
  EXPECT_EQ(Errors(report)[0].Line, 2);
  EXPECT_EQ(Errors(report)[0].Column, 1);

  // UTF-16 with a byte order mark is decoded; Cyrillic in it is fine.
  const std::u16string wide =
      u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><wml><card><p>Мир</p></card></wml>";
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : wide) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  report = CheckDeck(utf16);
  EXPECT_TRUE(report.WellFormed) << Describe(report);
  EXPECT_TRUE(report.CompiledSize);
}

// A single-byte deck is decoded block by block into room made as it goes:
// text that grows to three times its bytes in UTF-8 (the euro sign, 0x88 in
// Windows-1251), lines across many blocks, an odd length, and a finding
// after them all still at its own line and column.
TEST(DeckEncoding, LongSingleByteDecksAreDecodedWhole) {
  std::string deck =
      "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
      "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\r\n<wml><card id=\"a\"><p>\r\n";
  std::string line;
  for (int i = 0; i < 997; ++i) line += i % 7 == 0 ? "x" : "\x88";  // mostly euro signs
  line += deckhand::Cp1251(" Цена");
  for (int i = 0; i < 40; ++i) deck += line + "<br/>\r\n";
  deck += "<bad/></p></card></wml>\r\n";
  const TDeckReport report = CheckDeck(deck);
  EXPECT_TRUE(report.WellFormed) << Describe(report);
  ASSERT_FALSE(Errors(report).empty()) << Describe(report);
  EXPECT_EQ(Errors(report)[0].Line, 44) << Describe(report);
  EXPECT_EQ(Errors(report)[0].Column, 1);
  std::optional<std::string> compiled;
  CheckDeck(deck.substr(0, deck.find("<bad/>")) + "</p></card></wml>\r\n", nullptr, &compiled);
  ASSERT_TRUE(compiled);
  std::string expected;
  for (int i = 0; i < 997; ++i) expected += i % 7 == 0 ? "x" : "\xE2\x82\xAC";
  expected += "\x20\xD0\xA6\xD0\xB5\xD0\xBD\xD0\xB0";
  std::size_t found = 0, at = 0;
  while ((at = compiled->find(expected, at)) != std::string::npos) {
    ++found;
    at += expected.size();
  }
  EXPECT_EQ(found, 40u);
}

// White space between elements where the DTD allows only elements is not
// kept after an element's first child; where text may stand, or in a deck
// that says standalone="yes", or in an element no declaration covers, all
// of it is. An indented deck compiles to the same bytes as the same deck on
// one line.
TEST(DeckTree, WhiteSpaceBetweenElementsIsDroppedOnlyWhereItMeansNothing) {
  const auto children = [](const xmlNode* element) {
    std::string kinds;  // e: element, s: white space, t: other text
    for (const xmlNode* child = element->children; child; child = child->next) {
      if (child->type == XML_ELEMENT_NODE) {
        kinds += 'e';
      } else if (child->type == XML_TEXT_NODE) {
        const std::string text = reinterpret_cast<const char*>(child->content);
        kinds += text.find_first_not_of(" \t\r\n") == std::string::npos ? 's' : 't';
      }
    }
    return kinds;
  };
  const std::string indented =
      "<wml>\r\n  <card id=\"a\">\r\n    <p>\r\n      x <b>y</b>\r\n    </p>\r\n"
      "    <p>\r\n      <select name=\"s\">\r\n        <option>1</option>\r\n"
      "        <option>2</option>\r\n      </select>\r\n    </p>\r\n  </card>\r\n</wml>";
  const TParsedDeck parsed(kProlog + indented);
  ASSERT_TRUE(parsed.IsValid());
  const xmlNode* wml = xmlDocGetRootElement(parsed.Doc());
  EXPECT_EQ(children(wml), "se");
  const xmlNode* card = xmlFirstElementChild(const_cast<xmlNode*>(wml));
  EXPECT_EQ(children(card), "see");
  const xmlNode* first = xmlFirstElementChild(const_cast<xmlNode*>(card));
  EXPECT_EQ(children(first), "tes");  // mixed content keeps its white space
  const xmlNode* select = xmlFirstElementChild(xmlNextElementSibling(const_cast<xmlNode*>(first)));
  EXPECT_EQ(children(select), "see");

  std::string compact;
  for (std::size_t at = 0; at < indented.size();) {
    const std::size_t end = indented.find("\r\n", at);
    std::string line = indented.substr(at, end == std::string::npos ? end : end - at);
    line.erase(0, line.find_first_not_of(' '));
    compact += line;
    at = end == std::string::npos ? indented.size() : end + 2;
  }
  std::optional<std::string> spaced, tight;
  CheckDeck(kProlog + indented, nullptr, &spaced);
  CheckDeck(kProlog + compact, nullptr, &tight);
  ASSERT_TRUE(spaced && tight);
  EXPECT_EQ(*spaced, *tight);

  // standalone="yes": the white space after the card is kept, and is an
  // error the validator finds in the tree.
  const std::string standalone =
      "<?xml version=\"1.0\" standalone=\"yes\"?>\r\n" + kProlog.substr(kProlog.find("<!DOCTYPE")) +
      "<wml><card id=\"a\" newcontext=\"false\" ordered=\"true\"><p align=\"left\" "
      "mode=\"wrap\">x</p></card>\r\n</wml>";
  const TParsedDeck alone(standalone);
  ASSERT_NE(alone.Doc(), nullptr);
  EXPECT_EQ(children(xmlDocGetRootElement(alone.Doc())), "es");
  EXPECT_FALSE(alone.IsValid());
  const TDeckReport report = CheckDeck(standalone);
  EXPECT_FALSE(report.Valid);
  EXPECT_NE(Describe(report).find("пробелы"), std::string::npos) << Describe(report);

  // No DOCTYPE: nothing declares the elements, nothing is dropped.
  const TParsedDeck undeclared("<wml>\r\n<card>\r\n<p>x</p>\r\n</card>\r\n</wml>");
  ASSERT_NE(undeclared.Doc(), nullptr);
  EXPECT_EQ(children(xmlDocGetRootElement(undeclared.Doc())), "ses");
}

TEST(DeckFindings, KindsAuthorsMeetStandAtTheirPlace) {
  const std::string deck = Deck({
      "<wml>",                                       // 3
      "<card id=\"a\" title=\"x\" colour=\"red\">",  // 4
      "<p align=\"middle\">&copy; <input/></p>",     // 5
      "<p><a href=\"http://x/?a=1&b=2\">x</a></p>",  // 6
      "<p>",                                         // 7
      "<card/>",                                     // 8
      "</p>",                                        // 9
      "</card>",                                     // 10
      "<card id=\"a\"><p/></card>",                  // 11
      "</wml>",                                      // 12
  });
  const TDeckReport report = CheckDeck(deck);
  const auto errors = Errors(report);
  const auto has = [&](int line, int column, std::string_view text) {
    for (const TFinding& f : errors) {
      if (f.Line == line && f.Column == column && f.Message.find(text) != std::string::npos)
        return true;
    }
    return false;
  };
  // Unknown attribute, at the attribute's name.
  EXPECT_TRUE(has(4, 24, "нет атрибута colour")) << Describe(report);
  // Bad value, at the attribute.
  EXPECT_TRUE(has(5, 4, "«middle»")) << Describe(report);
  // Undefined entity, where the parser met it.
  EXPECT_TRUE(has(5, 19, "&copy;")) << Describe(report);
  // Missing required attribute, at the tag.
  EXPECT_TRUE(has(5, 26, "обязательного атрибута name")) << Describe(report);
  // A raw ampersand in an address.
  EXPECT_TRUE(has(6, 26, "записан как &amp; (")) << Describe(report);
  // The address fault makes the deck not well-formed: nothing after it is
  // the parser's concern any more, and nothing compiles.
  EXPECT_FALSE(report.WellFormed);
  EXPECT_FALSE(report.CompiledSize);

  // Without the raw ampersand: an element where it may not stand, reported
  // at the end tag of its parent that the parser checked, and a duplicate id.
  std::string fixed = deck;
  fixed.replace(fixed.find("&b=2"), 4, "&amp;b=2");
  const TDeckReport second = CheckDeck(fixed);
  EXPECT_TRUE(second.WellFormed);
  EXPECT_FALSE(second.Valid);
  const auto errors2 = Errors(second);
  const auto has2 = [&](int line, int column, std::string_view text) {
    for (const TFinding& f : errors2) {
      if (f.Line == line && f.Column == column && f.Message.find(text) != std::string::npos)
        return true;
    }
    return false;
  };
  EXPECT_TRUE(has2(9, 1, "<p>")) << Describe(second);
  EXPECT_TRUE(has2(9, 1, "начат в строке 7")) << Describe(second);
  EXPECT_TRUE(has2(11, 7, "«a» уже есть")) << Describe(second);
  // Every finding's offset is where the status bar shows its line and
  // column (the deck's breaks are CR LF, as the editor's).
  for (const TFinding& f : second.Findings) {
    const auto [line, column] = StatusBarPosition(fixed, static_cast<int>(f.Offset));
    EXPECT_EQ(f.Line, line) << f.Message;
    EXPECT_EQ(f.Column, column) << f.Message;
  }
  // Findings come in order of line, then column.
  for (std::size_t i = 1; i < second.Findings.size(); ++i) {
    const TFinding& a = second.Findings[i - 1];
    const TFinding& b = second.Findings[i];
    EXPECT_TRUE(a.Line < b.Line || (a.Line == b.Line && a.Column <= b.Column)) << Describe(second);
  }
}

TEST(DeckFindings, HalfTypedMarkupGetsOneErrorWhereTheParserStopped) {
  struct TCase {
    std::string Body;
    int Line, Column;
    std::string Text;
  };
  const TCase cases[] = {
      {"<wml><card><p>Hello\r\n</card></wml>", 4, 1,
       "Закрывающий тег </card> не соответствует открытому <p>"},
      {"<wml><card><p>Hello", 3, 20, "Элемент <p> не закрыт до конца колоды (он начат в строке 3)"},
      {"<wml><card title=x><p>a</p></card></wml>", 3, 18, "в кавычках"},
      {"<wml><card><p>a < b</p></card></wml>", 3, 18, "пишется как &lt;"},
      {"<wml><card><p>&#0;</p></card></wml>", 3, 15, "(код 0)"},
      {"<wml><card><p>a</p></card></wml><!-- a -- b -->", 3, 40, "«--»"},
      {"<wml><card><p>a</p></card></wml>\r\n<wml/>", 4, 1, "После закрывающего </wml>"},
  };
  for (const TCase& c : cases) {
    const TDeckReport report = CheckDeck(kProlog + c.Body);
    EXPECT_FALSE(report.WellFormed) << c.Body;
    const auto errors = Errors(report);
    ASSERT_EQ(errors.size(), 1u) << c.Body << "\n" << Describe(report);
    EXPECT_EQ(errors[0].Line, c.Line) << c.Body;
    EXPECT_EQ(errors[0].Column, c.Column) << c.Body;
    EXPECT_NE(errors[0].Message.find(c.Text), std::string::npos) << c.Body << "\n"
                                                                 << errors[0].Message;
  }
}

TEST(DeckFindings, DoctypesOtherThanWml11AreNotValidButStillCompile) {
  const std::string body =
      "<wml><card id=\"c\"><p>x<do type=\"prev\"><prev/></do></p></card></wml>";
  TDeckReport report = CheckDeck(body);
  EXPECT_TRUE(report.WellFormed);
  EXPECT_FALSE(report.Valid);
  ASSERT_FALSE(Errors(report).empty());
  EXPECT_NE(Errors(report)[0].Message.find("DOCTYPE"), std::string::npos);
  EXPECT_TRUE(report.CompiledSize);

  report = CheckDeck(
      "<?xml version=\"1.0\"?>\n<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.3//EN\" "
      "\"http://www.wapforum.org/DTD/wml13.dtd\">\n" +
      body);
  EXPECT_FALSE(report.Valid);
  ASSERT_FALSE(Errors(report).empty());
  EXPECT_NE(Errors(report)[0].Message.find("WML 1.3"), std::string::npos) << Describe(report);

  // The system identifier alone names WML 1.1 as well.
  report = CheckDeck("<!DOCTYPE wml SYSTEM \"http://www.wapforum.org/DTD/wml_1.1.xml\">\n" + body);
  EXPECT_TRUE(report.Valid) << Describe(report);
}

TEST(DeckLimits, EntityBombsAndExternalEntitiesAreRefusedWithAFinding) {
  std::string bomb =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\" [\n<!ENTITY l0 \"lol\">\n";
  for (int i = 1; i <= 12; ++i) {
    bomb += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) bomb += "&l" + std::to_string(i - 1) + ";";
    bomb += "\">\n";
  }
  bomb += "]>\n<wml><card><p>&l12;</p></card></wml>\n";
  const auto started = std::chrono::steady_clock::now();
  TDeckReport report = CheckDeck(bomb);
  // Bounded: a deck expanding to 10^12 characters is refused, not expanded
  // (a generous bound; the check takes milliseconds).
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  EXPECT_FALSE(report.WellFormed);
  EXPECT_FALSE(report.CompiledSize);
  ASSERT_FALSE(report.Findings.empty());
  EXPECT_NE(report.Findings[0].Message.find("Сущности"), std::string::npos) << Describe(report);
  EXPECT_EQ(report.Findings.size(), 1u) << Describe(report);

  // No file is read: neither a general nor a parameter entity.
  const std::string external =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\" [\n"
      "<!ENTITY secret SYSTEM \"file:///etc/passwd\">\n"
      "<!ENTITY % remote SYSTEM \"http://127.0.0.1:9/x.dtd\">\n%remote;\n]>\n"
      "<wml><card><p>&secret;</p></card></wml>\n";
  report = CheckDeck(external);
  EXPECT_FALSE(report.Valid);
  int refused = 0;
  for (const TFinding& f : report.Findings)
    refused += f.Message.find("не загружается") != std::string::npos;
  EXPECT_EQ(refused, 2) << Describe(report);
  const auto bytes = CompileDeck(external);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->find("root:"), std::string::npos);
}

TEST(DeckLimits, BinaryEmptyAndHugeFindingCountsAreHandled) {
  // Binary bytes: a finding, not a crash.
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) & 0xFF);
  TDeckReport report = CheckDeck(binary);
  EXPECT_FALSE(report.WellFormed);
  EXPECT_FALSE(report.Findings.empty());

  // Nesting without end is refused at a depth, not followed down.
  std::string deep = kProlog + "<wml><card><p>";
  for (int i = 0; i < 100000; ++i) deep += "<b>";
  report = CheckDeck(deep);
  EXPECT_FALSE(report.WellFormed);
  ASSERT_EQ(Errors(report).size(), 1u) << Describe(report);
  EXPECT_NE(Errors(report)[0].Message.find("256"), std::string::npos);

  report = CheckDeck("");
  EXPECT_FALSE(report.WellFormed);
  ASSERT_EQ(report.Findings.size(), 1u);
  EXPECT_EQ(report.Findings[0].Line, 1);
  EXPECT_EQ(report.Findings[0].Column, 1);

  // A deck with thousands of faults reports the first ones and says how
  // many more there are.
  std::string many = kProlog + "<wml><card><p>\r\n";
  for (int i = 0; i < 1000; ++i) many += "<input/>\r\n";
  many += "</p></card></wml>\r\n";
  report = CheckDeck(many);
  ASSERT_EQ(report.Findings.size(), kMaxFindings + 1);
  EXPECT_NE(report.Findings.back().Message.find("И ещё"), std::string::npos);
  EXPECT_EQ(Errors(report)[0].Line, 4);
  EXPECT_EQ(Errors(report)[0].Column, 1);
}

TEST(DeckPhones, RefusingPhonesFollowTheLimits) {
  const auto refusing = PhonesRefusing(1500);
  ASSERT_EQ(refusing.size(), 2u);
  EXPECT_EQ(refusing[0]->Name, "Nokia 7110");
  EXPECT_EQ(refusing[1]->Name, "UP.Browser 3.2");
  EXPECT_TRUE(PhonesRefusing(1397).empty());
  EXPECT_EQ(PhonesRefusing(10001).size(), PhoneProfiles().size());
}

TEST(CheckMessages, BareAmpersandAndLessThanAdviceShowsWhatToType) {
  // The advice names the text an author types: "&amp;" and "&lt;", not the
  // markup that would write those out once more.
  for (const std::string& line : {std::string("<wml><card><p>a & b</p></card></wml>"),
                                  std::string("<wml><card><p><a href=\"?a=1&b=2\">x</a></p>"
                                              "</card></wml>")}) {
    const TDeckReport report = CheckDeck(Deck({line}));
    const auto errors = Errors(report);
    ASSERT_FALSE(errors.empty()) << line;
    EXPECT_NE(errors[0].Message.find("записан как &amp; (в адресе — тоже: ?a=1&amp;b=2)"),
              std::string::npos)
        << errors[0].Message;
    EXPECT_EQ(errors[0].Message.find("&amp;amp;"), std::string::npos) << errors[0].Message;
  }
  for (const std::string& line :
       {std::string("<wml><card><p>a < b</p></card></wml>"),
        std::string("<wml><card><p><a href=\"a<b\">x</a></p></card></wml>")}) {
    const auto errors = Errors(CheckDeck(Deck({line})));
    ASSERT_FALSE(errors.empty()) << line;
    EXPECT_NE(errors[0].Message.find("как &lt;"), std::string::npos) << errors[0].Message;
    EXPECT_EQ(errors[0].Message.find("&amp;lt;"), std::string::npos) << errors[0].Message;
  }
}

TEST(CheckMessages, ByteCountsUseRussianPluralForms) {
  const std::pair<std::size_t, const char*> counts[] = {
      {1, "1 байт"},       {2, "2 байта"},    {5, "5 байт"},     {11, "11 байт"},
      {12, "12 байт"},     {14, "14 байт"},   {21, "21 байт"},   {22, "22 байта"},
      {53, "53 байта"},    {101, "101 байт"}, {112, "112 байт"}, {1024, "1024 байта"},
      {1397, "1397 байт"}, {0, "0 байт"},
  };
  for (const auto& [bytes, text] : counts) EXPECT_EQ(ByteCount(bytes), text);
  // After "до" and "больше": the genitive.
  const std::pair<std::size_t, const char*> after[] = {
      {1, "1 байта"},  {2, "2 байт"},      {11, "11 байт"},     {21, "21 байта"},
      {22, "22 байт"}, {101, "101 байта"}, {1397, "1397 байт"}, {10000, "10000 байт"},
  };
  for (const auto& [bytes, text] : after) EXPECT_EQ(ByteCountGenitive(bytes), text);
  // In a lint finding: a compiled size past a phone's limit.
  std::string big = "<wml><card id=\"a\"><p>";
  for (int i = 0; i < 400; ++i) big += "word" + std::to_string(i) + " ";
  big += "</p></card></wml>";
  const TDeckReport report = CheckDeck(Deck({big}), FindPhone("Nokia 7110"));
  ASSERT_TRUE(report.CompiledSize);
  const std::string expected = "занимает " + ByteCount(*report.CompiledSize) +
                               ", а Nokia 7110 принимает не больше 1397 байт";
  EXPECT_NE(Describe(report).find(expected), std::string::npos) << Describe(report);
}

TEST(DeckLimits, TextEntitiesThatExpandQuadraticallyAreRefused) {
  // An entity of 10 KB used 100 times by another, that one used 100 times:
  // a deck of some 11 KB standing for 100 MB of text.
  std::string deck =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\" [\n<!ENTITY a \"" +
      std::string(10000, 'x') + "\">\n<!ENTITY b \"";
  for (int i = 0; i < 100; ++i) deck += "&a;";
  deck += "\">\n]>\n<wml><card id=\"c\"><p>";
  for (int i = 0; i < 100; ++i) deck += "&b;";
  deck += "</p></card></wml>\n";
  TDeckReport report = CheckDeck(deck);
  EXPECT_FALSE(report.WellFormed);
  EXPECT_FALSE(report.CompiledSize);
  EXPECT_FALSE(CompileDeck(deck));
  const auto errors = Errors(report);
  ASSERT_EQ(errors.size(), 1u) << Describe(report);
  EXPECT_NE(errors[0].Message.find("Сущности колоды раскрываются в огромный текст"),
            std::string::npos)
      << errors[0].Message;
  EXPECT_EQ(errors[0].Line, 6);

  // The same in attribute values.
  std::string inAttributes = deck.substr(0, deck.find("<wml>")) + "<wml><card id=\"c\"><p>";
  for (int i = 0; i < 100; ++i) inAttributes += "<a href=\"#c\" title=\"&b;\">x</a>";
  inAttributes += "</p></card></wml>\n";
  report = CheckDeck(inAttributes);
  EXPECT_FALSE(report.WellFormed) << Describe(report);
  EXPECT_FALSE(report.CompiledSize);

  // An entity used as a deck uses one stays valid, and compiles.
  std::string fair = deck.substr(0, deck.find("<wml>")) + "<wml><card id=\"c\"><p>&a;&a;&b;";
  fair += "</p></card></wml>\n";
  report = CheckDeck(fair);
  EXPECT_TRUE(report.Valid) << Describe(report);
  ASSERT_TRUE(report.CompiledSize);
  EXPECT_GT(*report.CompiledSize, 1020000u);
}

TEST(CheckMessages, ADeckWithoutMarkupIsToldByWhatItHolds) {
  // Nothing, or white space only: empty.
  for (const std::string deck : {"", "   \r\n\t"}) {
    const auto errors = Errors(CheckDeck(deck));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].Message, "Колода пуста");
  }
  // Zero bytes first: a damaged or binary file, not an empty deck.
  auto errors = Errors(CheckDeck(std::string("\0\0\0\0<wml/>", 10)));
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors[0].Message.find("нулевыми байтами (0x00)"), std::string::npos)
      << errors[0].Message;
  // Text: quoted from its start, never cut inside a character.
  errors = Errors(CheckDeck("  hello, world"));
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors[0].Message.find("начинается текстом «hello, world»"), std::string::npos)
      << errors[0].Message;
  errors = Errors(CheckDeck(std::string(39, 'x') + "\xD0\xAF\xD0\xAF"));
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors[0].Message.find("«" + std::string(39, 'x') + "»"), std::string::npos)
      << errors[0].Message;
}
