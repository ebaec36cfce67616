// The deck checks against programs nobody here wrote, on every deck of the
// shared corpus: xmllint's verdict and first error line with the reference
// copy of the WML 1.1 DTD given through an XML catalog, and the bytes of
// xml2wbxml for the decks it compiles the way WML 1.1 does.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/wml/CorpusSupport.h"
#include "wml/DeckCheck.h"

using namespace deckhand::wml;
namespace fs = std::filesystem;
using namespace deckhand::wml::corpus;

namespace {

class CorpusOracle : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_regular_file(fs::path(DECKHAND_CORPUS_DIR) / "dtd" / "wml_1.1.xml")) {
      GTEST_SKIP() << "no corpus at " DECKHAND_CORPUS_DIR;
    }
    Folder = fs::temp_directory_path() / ("wml-oracle-" + std::to_string(getpid()));
    fs::create_directories(Folder);
    const std::string dtd =
        "file://" + (fs::path(DECKHAND_CORPUS_DIR) / "dtd" / "wml_1.1.xml").string();
    std::ofstream(Folder / "catalog.xml")
        << "<?xml version=\"1.0\"?>\n"
           "<catalog xmlns=\"urn:oasis:names:tc:entity:xmlns:xml:catalog\">\n"
           "  <public publicId=\"-//WAPFORUM//DTD WML 1.1//EN\" uri=\""
        << dtd
        << "\"/>\n"
           "  <system systemId=\"http://www.wapforum.org/DTD/wml_1.1.xml\" uri=\""
        << dtd << "\"/>\n</catalog>\n";
  }
  void TearDown() override {
    if (!Folder.empty()) fs::remove_all(Folder);
  }
  fs::path Folder;
};

// A deck's text in UTF-8, converted from the encoding its declaration names
// by the C library, with its declaration saying so; empty when it has no
// such encoding.
std::string ToUtf8(const std::string& deck) {
  static const std::regex declared("encoding=[\"']([^\"']+)[\"']");
  std::smatch match;
  const std::string head = deck.substr(0, 200);
  std::string encoding = "UTF-8";
  if (std::regex_search(head, match, declared)) encoding = match[1];
  iconv_t cd = iconv_open("UTF-8", encoding.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out(deck.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(deck.data());
  std::size_t inLeft = deck.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  const std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (result == static_cast<std::size_t>(-1)) return {};
  out.resize(out.size() - outLeft);
  return std::regex_replace(out, declared, "encoding=\"UTF-8\"",
                            std::regex_constants::format_first_only);
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace

TEST_F(CorpusOracle, VerdictAndFirstErrorLineEqualXmllint) {
  if (!HaveProgram("xmllint")) GTEST_SKIP() << "xmllint is not installed (package libxml2-utils)";
  const auto decks = CorpusDecks();
  ASSERT_GT(decks.size(), 100u);
  static const std::regex errorLine(
      R"(^.*?:(\d+): (?:element [^:]*: )?(?:parser|validity|namespace) error)");
  int counts[3] = {0, 0, 0};
  for (const fs::path& deck : decks) {
    int status = 0;
    const std::string output =
        RunShell("XML_CATALOG_FILES=" + Quote((Folder / "catalog.xml").string()) +
                     " xmllint --nonet --valid --noout " + Quote(deck.string()),
                 &status);
    const std::string theirs = status == 0 ? "valid" : status == 1 ? "not well-formed" : "invalid";
    int theirLine = 0;
    std::istringstream lines(output);
    std::string line;
    std::smatch match;
    while (theirLine == 0 && std::getline(lines, line)) {
      if (std::regex_search(line, match, errorLine)) theirLine = std::stoi(match[1]);
    }
    const TDeckReport report = CheckDeck(ReadFile(deck));
    const std::string ours = report.Valid         ? "valid"
                             : !report.WellFormed ? "not well-formed"
                                                  : "invalid";
    int ourLine = 0;
    for (const TFinding& finding : report.Findings) {
      if (finding.Severity == TSeverity::Error) {
        ourLine = finding.Line;
        break;
      }
    }
    EXPECT_EQ(ours, theirs) << deck << "\n" << output;
    EXPECT_EQ(ourLine, theirLine) << deck << "\n" << output;
    ++counts[report.Valid ? 0 : report.WellFormed ? 1 : 2];
  }
  // The corpus holds all three kinds.
  EXPECT_GT(counts[0], 50);
  EXPECT_GT(counts[1], 3);
  EXPECT_GT(counts[2], 3);
}

TEST_F(CorpusOracle, CompiledBytesEqualXml2wbxml) {
  if (!HaveProgram("xml2wbxml"))
    GTEST_SKIP() << "xml2wbxml is not installed (package libwbxml2-utils)";
  int compared = 0;
  for (const fs::path& deck : CorpusDecks()) {
    const std::string bytes = ReadFile(deck);
    const TDeckReport report = CheckDeck(bytes);
    if (!report.Valid) continue;
    // That compiler writes variables as text and reads no DTD: decks with
    // variables are checked against the tables themselves (WbxmlTest), and
    // the WML DTD's two entities are given to it as the characters they are.
    if (bytes.find('$') != std::string::npos || bytes.find("ordered") != std::string::npos)
      continue;
    std::string utf8 = ToUtf8(bytes);
    ASSERT_FALSE(utf8.empty()) << deck;
    utf8 = ReplaceAll(ReplaceAll(utf8, "&nbsp;", "&#160;"), "&shy;", "&#173;");
    const fs::path input = Folder / "deck.wml", output = Folder / "deck.wmlc";
    std::ofstream(input, std::ios::binary) << utf8;
    fs::remove(output);
    int status = 0;
    const std::string log = RunShell(
        "xml2wbxml -n -v 1.1 -o " + Quote(output.string()) + " " + Quote(input.string()), &status);
    ASSERT_TRUE(fs::exists(output)) << deck << "\n" << log;
    const auto ours = CompileDeck(bytes);
    ASSERT_TRUE(ours) << deck;
    EXPECT_EQ(*ours, ReadFile(output)) << deck;
    EXPECT_EQ(report.CompiledSize, ours->size()) << deck;
    ++compared;
  }
  EXPECT_GT(compared, 80);
}

TEST_F(CorpusOracle, EmptyDecksCompileAsXml2wbxmlCompilesThem) {
  if (!HaveProgram("xml2wbxml"))
    GTEST_SKIP() << "xml2wbxml is not installed (package libwbxml2-utils)";
  // White space inside the card gives it the content bit (8 bytes); a card
  // with nothing at all inside has none (7 bytes).
  const std::string prolog =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n";
  for (const std::string body : {"<wml>\n<card>\n</card>\n</wml>\n", "<wml><card></card></wml>"}) {
    const fs::path input = Folder / "empty.wml", output = Folder / "empty.wmlc";
    std::ofstream(input, std::ios::binary) << prolog + body;
    fs::remove(output);
    RunShell("xml2wbxml -n -v 1.1 -o " + Quote(output.string()) + " " + Quote(input.string()));
    const auto ours = CompileDeck(prolog + body);
    ASSERT_TRUE(ours);
    EXPECT_EQ(*ours, ReadFile(output)) << body;
  }
}
