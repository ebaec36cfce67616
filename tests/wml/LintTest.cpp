// Deck lint: one small deck per kind of warning, and the counts by kind
// over the museum decks (checked by hand on apache/text.wml, whose second
// and third cards only other decks open, and mobible/index.wml, a single
// card without <prev/>).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "wml/DeckCheck.h"

using namespace deckhand::wml;
namespace fs = std::filesystem;

namespace {

const std::string kProlog =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
    "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n";

std::vector<std::string> Warnings(const std::string& deck, const TPhoneProfile* phone = nullptr) {
  std::vector<std::string> out;
  for (const TFinding& f : CheckDeck(kProlog + deck, phone).Findings) {
    out.push_back(std::to_string(f.Line) + ":" + std::to_string(f.Column) +
                  (f.Severity == TSeverity::Error ? " E " : " W ") + f.Message);
  }
  return out;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

// The kind of a lint warning, from the start of its message.
std::string Kind(const std::string& message) {
  static const std::pair<const char*, const char*> kinds[] = {
      {"Ссылка ведёт на карточку", "dangling link"},
      {"уже есть в колоде", "duplicate card id"},
      {"не открывает от первой карточки", "unreachable card"},
      {"нет пути назад", "no way back"},
      {"Неверная ссылка на переменную", "bad variable"},
      {"В списке <select>", "long select"},
      {"Заголовок карточки", "long title"},
      {"Надпись клавиши", "long label"},
      {"не показывает таблицы", "table"},
      {"Картинка шире экрана", "wide image"},
      {"Скомпилированная колода занимает", "too large"},
      {"Элемент do с именем", "duplicate do"},
  };
  for (const auto& [text, kind] : kinds) {
    if (message.find(text) != std::string::npos) return kind;
  }
  return "";
}

}  // namespace

TEST(DeckLint, LinksCardsAndWayBack) {
  const auto warnings = Warnings(
      "<wml>\n"                                                                   // 3
      "<template><do type=\"options\"><go href=\"#menu\"/></do></template>\n"     // 4
      "<card id=\"start\" ontimer=\"#later\"><timer value=\"10\"/>\n"             // 5
      "<p><a href=\"#nowhere\">x</a> <a href=\"other.wml#x\">y</a></p></card>\n"  // 6
      "<card id=\"menu\"><p><anchor>z<go href=\"#end\"/></anchor></p></card>\n"   // 7
      "<card id=\"later\"><p>t</p></card>\n"                                      // 8
      "<card id=\"end\"><do type=\"prev\"><prev/></do></card>\n"                  // 9
      "<card id=\"island\"><p>i</p></card>\n"                                     // 10
      "</wml>\n");
  const std::string all = Joined(warnings);
  // Only "#nowhere" leads nowhere; another deck's address is not judged.
  EXPECT_NE(all.find("6:7 W Ссылка ведёт на карточку #nowhere"), std::string::npos) << all;
  EXPECT_EQ(std::count_if(warnings.begin(), warnings.end(),
                          [](const std::string& w) { return Kind(w) == "dangling link"; }),
            1)
      << all;
  // The template's do reaches "menu" from every card, the timer "later",
  // the anchor "end"; "island" is reached by nothing.
  EXPECT_NE(all.find("10:1 W Карточку «island» не открывает"), std::string::npos) << all;
  EXPECT_EQ(std::count_if(warnings.begin(), warnings.end(),
                          [](const std::string& w) { return Kind(w) == "unreachable card"; }),
            1)
      << all;
  // No prev in the template: every card but "end" and the first has no way
  // back.
  for (const char* at : {"7:1", "8:1", "10:1"}) {
    EXPECT_NE(all.find(std::string(at) + " W На карточке"), std::string::npos) << at << "\n" << all;
  }
  EXPECT_EQ(all.find("9:1 W На карточке"), std::string::npos) << all;
  EXPECT_EQ(all.find("5:1 W На карточке"), std::string::npos) << all;

  // A prev in the template is a way back on every card.
  const auto withBack = Warnings(
      "<wml><template><do type=\"prev\"><prev/></do></template>"
      "<card id=\"a\"><p><a href=\"#b\">b</a></p></card><card id=\"b\"/></wml>");
  EXPECT_TRUE(withBack.empty()) << Joined(withBack);
}

TEST(DeckLint, DuplicateCardIdsAndVariables) {
  // Without the WML 1.1 DOCTYPE the validator does not see ids: lint does.
  // A duplicate id is a warning; a bad variable reference puts the deck in
  // error (WML 1.1 §10.3.5).
  std::vector<std::string> out;
  for (const TFinding& f :
       CheckDeck(
           "<wml><card id=\"a\"><p>$(ok) $ok $$ $(ok:e) $(bad:unescape) $(na#me)<prev/></p></card>"
           "<card id=\"a\"><p title=\"$(x:noesc)\">$(y</p></card></wml>")
           .Findings) {
    const bool variable = Kind(f.Message) == "bad variable";
    if (f.Severity == (variable ? TSeverity::Error : TSeverity::Warning)) {
      out.push_back(std::to_string(f.Line) + ":" + std::to_string(f.Column) + " " + f.Message);
    }
  }
  const std::string all = Joined(out);
  EXPECT_NE(all.find("1:91 Карточка с id «a» уже есть"), std::string::npos) << all;
  EXPECT_NE(all.find("1:43 Неверная ссылка на переменную «$(bad:unescape)»"), std::string::npos)
      << all;
  EXPECT_NE(all.find("1:59 Неверная ссылка на переменную «$(na#me)»"), std::string::npos) << all;
  EXPECT_NE(all.find("Неверная ссылка на переменную «$(y»"), std::string::npos) << all;
  EXPECT_EQ(std::count_if(out.begin(), out.end(),
                          [](const std::string& w) { return Kind(w) == "bad variable"; }),
            3)
      << all;
  // With the DOCTYPE the duplicate is the validator's error, said once.
  const auto withDoctype =
      Warnings("<wml><card id=\"a\"><p><prev/></p></card><card id=\"a\"/></wml>");
  EXPECT_EQ(std::count_if(
                withDoctype.begin(), withDoctype.end(),
                [](const std::string& w) { return w.find("«a» уже есть") != std::string::npos; }),
            1)
      << Joined(withDoctype);
}

TEST(DeckLint, PhoneLimits) {
  const TPhoneProfile* nokia = FindPhone("Nokia 7110");
  ASSERT_NE(nokia, nullptr);
  std::string options;
  for (int i = 0; i < 10; ++i) options += "<option>o</option>";
  const std::string deck =
      "<wml><template><do type=\"prev\" label=\"Назад!!!\"><prev/></do></template>\n"
      "<card id=\"c\" title=\"Очень длинный заголовок\"><p>\n"
      "<select name=\"s\">" +
      options +
      "</select>\n"
      "<table columns=\"1\"><tr><td>x</td></tr></table>\n"
      "<img src=\"a.wbmp\" alt=\"a\" width=\"97\"/><img src=\"b.wbmp\" alt=\"b\" width=\"96\"/>\n"
      "<do type=\"accept\" label=\"Дальше!!!\"><go href=\"#c\"/></do>\n"
      "</p></card></wml>\n";
  const auto warnings = Warnings(deck, nokia);
  const std::string all = Joined(warnings);
  std::map<std::string, int> kinds;
  for (const auto& w : warnings) ++kinds[Kind(w)];
  // 96 pixels: 16 characters of title, 8 of a soft key label ("Назад!!!"
  // has 8 and fits, "Дальше!!!" has 9).
  EXPECT_EQ(kinds["long title"], 1) << all;
  EXPECT_NE(all.find("4:14 W Заголовок карточки «Очень длинный заголовок»"), std::string::npos)
      << all;
  EXPECT_EQ(kinds["long label"], 1) << all;
  EXPECT_NE(all.find("«Дальше!!!»"), std::string::npos) << all;
  EXPECT_EQ(kinds["long select"], 1) << all;
  EXPECT_NE(all.find("5:1 W В списке <select> пунктов больше девяти (10)"), std::string::npos)
      << all;
  EXPECT_EQ(kinds["table"], 1) << all;
  EXPECT_EQ(kinds["wide image"], 1) << all;
  EXPECT_NE(all.find("7:27 W Картинка шире экрана Nokia 7110: её ширина 97"), std::string::npos)
      << all;
  EXPECT_EQ(kinds["too large"], 0) << all;
  // Without a phone none of these.
  for (const auto& w : Warnings(deck)) {
    EXPECT_TRUE(Kind(w) == "no way back" || Kind(w) == "unreachable card") << w;
  }

  // A deck larger than the phone takes is an error for that phone.
  std::string big = "<wml><card id=\"c\"><p><prev/>";
  for (int i = 0; i < 200; ++i) big += "<br/>Строка " + std::to_string(i);
  big += "</p></card></wml>";
  const TDeckReport report = CheckDeck(kProlog + big, nokia);
  ASSERT_TRUE(report.CompiledSize);
  EXPECT_GT(*report.CompiledSize, nokia->MaxCompiledDeckBytes);
  const auto errors =
      std::count_if(report.Findings.begin(), report.Findings.end(), [](const TFinding& f) {
        return f.Severity == TSeverity::Error && Kind(f.Message) == "too large";
      });
  EXPECT_EQ(errors, 1);
  for (const TFinding& f : CheckDeck(kProlog + big, FindPhone("Motorola C380")).Findings) {
    EXPECT_NE(Kind(f.Message), "too large") << f.Message;
  }
}

TEST(DeckLint, MuseumCountsByKind) {
  const fs::path museum = fs::path(DECKHAND_CORPUS_DIR) / "museum";
  if (!fs::is_directory(museum)) GTEST_SKIP() << "no corpus at " DECKHAND_CORPUS_DIR;
  std::map<std::string, int> plain, nokia;
  int decks = 0;
  for (const auto& entry : fs::recursive_directory_iterator(museum)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".wml") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ++decks;
    for (const TFinding& f : CheckDeck(bytes).Findings) {
      if (f.Severity == TSeverity::Warning) ++plain[Kind(f.Message)];
    }
    for (const TFinding& f : CheckDeck(bytes, FindPhone("Nokia 7110")).Findings) {
      if (f.Severity == TSeverity::Warning || Kind(f.Message) == "too large")
        ++nokia[Kind(f.Message)];
    }
  }
  EXPECT_EQ(decks, 118);
  // The one deck with no way back had it on its first card only.
  const std::map<std::string, int> expectedPlain{{"unreachable card", 2}};
  EXPECT_EQ(plain, expectedPlain);
  const std::map<std::string, int> expectedNokia{{"unreachable card", 2},
                                                 {"long label", 70},
                                                 {"long title", 6},
                                                 {"long select", 3},
                                                 {"table", 2}};
  EXPECT_EQ(nokia, expectedNokia);
}

TEST(DeckLint, FirstCardIsNeverReportedWithoutAWayBack) {
  // The first card is where a phone enters the deck: there is nothing on
  // the deck to go back to. The second card has no way back.
  const auto warnings = Warnings(
      "<wml><card id=\"first\"><p><a href=\"#second\">s</a></p></card>"
      "<card id=\"second\"><p>x</p></card></wml>");
  const std::string all = Joined(warnings);
  EXPECT_EQ(all.find("«first» нет пути назад"), std::string::npos) << all;
  EXPECT_NE(all.find("«second» нет пути назад"), std::string::npos) << all;
  // A deck of one card, with or without an id: no such warning.
  for (const char* deck :
       {"<wml><card id=\"only\"><p>x</p></card></wml>", "<wml><card><p>x</p></card></wml>"}) {
    const auto only = Warnings(deck);
    EXPECT_EQ(Joined(only).find("нет пути назад"), std::string::npos) << Joined(only);
  }
}

TEST(DeckLint, SelectOfNineOptionsIsNotLongAndTenIs) {
  const auto select = [](int options) {
    std::string deck = "<wml><card id=\"a\"><p><select name=\"s\">";
    for (int i = 0; i < options; ++i)
      deck += "<option value=\"" + std::to_string(i) + "\">o</option>";
    return deck + "</select></p></card></wml>";
  };
  const auto count = [](const std::vector<std::string>& warnings) {
    return std::count_if(warnings.begin(), warnings.end(),
                         [](const std::string& w) { return Kind(w) == "long select"; });
  };
  EXPECT_EQ(count(Warnings(select(9), FindPhone("Nokia 7110"))), 0)
      << Joined(Warnings(select(9), FindPhone("Nokia 7110")));
  EXPECT_EQ(count(Warnings(select(10), FindPhone("Nokia 7110"))), 1)
      << Joined(Warnings(select(10), FindPhone("Nokia 7110")));
}

// A long title or label is quoted in its warning by its first 40 characters
// and "…", whole characters only: a megabyte of title makes a short finding,
// and one of exactly 40 characters is quoted whole.
TEST(DeckLint, LongValuesAreQuotedByTheirStartOnly) {
  const TPhoneProfile* nokia = FindPhone("Nokia 7110");
  ASSERT_NE(nokia, nullptr);
  std::string huge;
  for (int i = 0; i < 100000; ++i) huge += "Заголовок ";  // 1 MB of UTF-8
  const std::string forty(40, 'x');
  for (const auto& [title, quoted] :
       {std::pair<std::string, std::string>{huge, "«Заголовок Заголовок Заголовок Заголовок …»"},
        {forty, "«" + forty + "»"}}) {
    const TDeckReport report = CheckDeck(
        kProlog + "<wml><card id=\"c\" title=\"" + title + "\"><p>x</p></card></wml>", nokia);
    int longTitles = 0;
    for (const TFinding& f : report.Findings) {
      if (Kind(f.Message) != "long title") continue;
      ++longTitles;
      EXPECT_NE(f.Message.find(quoted), std::string::npos) << f.Message.substr(0, 300);
      EXPECT_LT(f.Message.size(), 400u);
      EXPECT_NE(f.Message.find("знаков в нём " + std::to_string(title == forty ? 40 : 1000000)),
                std::string::npos)
          << f.Message.substr(0, 300);
    }
    EXPECT_EQ(longTitles, 1);
  }
}

// WML 1.1 §9.7 (do, name): "It is an error to specify two or more do
// elements with the same name in a single card or in the template"; a do
// without a name is named by its type. A card's do may share a name with the
// template's (it overrides it), and do elements of different cards never
// meet.
TEST(Lint, TwoDoElementsOfOneNameInACardOrTheTemplateAreAnError) {
  const std::vector<std::string> found = Warnings(
      "<wml><template><do type=\"prev\"><prev/></do><do type=\"options\" name=\"h\">"
      "<go href=\"#a\"/></do><do type=\"accept\" name=\"h\"><noop/></do></template>\n"
      "<card id=\"a\"><do type=\"prev\"><noop/></do><do type=\"options\" label=\"x\">"
      "<go href=\"#b\"/></do><p><do type=\"options\" label=\"y\"><go href=\"#b\"/></do></p>"
      "</card>\n"
      "<card id=\"b\"><do type=\"options\" name=\"prev\"><prev/></do>"
      "<do type=\"prev\"><prev/></do><do type=\"accept\" name=\"o1\"><prev/></do>"
      "<do type=\"accept\" name=\"o2\"><prev/></do></card></wml>");
  std::vector<std::string> duplicates;
  for (const std::string& w : found)
    if (Kind(w) == "duplicate do") duplicates.push_back(w);
  ASSERT_EQ(duplicates.size(), 3u) << Joined(found);
  // The template's second "h", at its name.
  EXPECT_EQ(duplicates[0].substr(0, duplicates[0].find(' ')), "3:110") << duplicates[0];
  EXPECT_NE(duplicates[0].find(" E "), std::string::npos);
  EXPECT_NE(duplicates[0].find("в шаблоне"), std::string::npos) << duplicates[0];
  // Card a: the second unnamed "options" (inside p), named by its type.
  EXPECT_NE(duplicates[1].find("«options»"), std::string::npos) << duplicates[1];
  EXPECT_NE(duplicates[1].find("по type"), std::string::npos) << duplicates[1];
  // Card b: a do named "prev" and an unnamed one of type "prev".
  EXPECT_NE(duplicates[2].find("«prev»"), std::string::npos) << duplicates[2];
  EXPECT_EQ(duplicates[2].substr(0, 2), "5:") << duplicates[2];
  // The deck is still valid WML 1.1 by the DTD: the verdict is the
  // validator's, the finding says what else is wrong.
  EXPECT_TRUE(CheckDeck(kProlog + "<wml><card><do type=\"accept\"><noop/></do>"
                                  "<do type=\"accept\"><noop/></do></card></wml>")
                  .Valid);
}
