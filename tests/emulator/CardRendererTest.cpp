// The emulator's screen: pixel snapshots of a few cards at the 96x44
// monochrome screen of the Nokia 7110 and the 128x128 colour screen of the
// Motorola C380, compared exactly with the PNG files of snapshots/; the
// decks of the museum corpus open and show their first card.
//
// DECKHAND_UPDATE_SNAPSHOTS=1 writes the snapshots afresh (then look at them).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <filesystem>
#include <fstream>

#include "AgentFixture.h"
#include "emulator/CardRenderer.h"
#include "emulator/EmulatorLimits.h"

namespace deckhand::wml {
namespace {

std::string Deck(std::string_view cards) {
  return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<wml>\n") + std::string(cards) +
         "\n</wml>\n";
}

const char* kWelcome = R"w(<card id="main" title="Привет">
<p align="center"><b>Deckhand</b></p>
<p>Добро пожаловать! <a href="#news">Новости</a> <i>и</i> <u>погода</u>.</p>
<p mode="nowrap">Очень длинная строка, которая не переносится никогда</p>
<p><small>мелко</small> <big>Крупно</big> <em>em</em> <strong>strong</strong></p>
<p align="right">справа<br/>вторая</p>
</card>
<card id="news" title="Новости"><p>Сегодня</p></card>)w";

const char* kForm = R"w(<card id="f" title="Анкета">
<p>Имя: <input name="n" value="Иван"/>
Пароль: <input name="p" type="password" value="abc"/>
<select name="s" value="2"><option value="1">Один</option><option value="2">Два</option></select>
<select name="m" multiple="true" value="a;c"><option value="a">A</option><option value="b">B</option><option value="c">C</option></select>
<anchor>Отправить<go href="http://example.invalid/"/></anchor></p>
</card>)w";

const char* kTable = R"w(<card id="t" title="Таблица"><p>
<table columns="2"><tr><td>Кофе</td><td>50</td></tr><tr><td>Чай</td><td>30</td></tr></table>
</p></card>)w";

class CardRendererTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::EnsureGuiApplication(); }

  TUserAgent agent_{[] { return std::int64_t{0}; }};

  QImage Render(const std::string& deck, const TPhoneProfile& phone, int downs = 0) {
    agent_.Open(deck);
    TPhoneScreen screen(agent_, phone);
    QImage image = screen.Render();
    for (int i = 0; i < downs; ++i) {
      screen.Down();
      image = screen.Render();
    }
    return image;
  }

  // Compares with snapshots/NAME.png pixel for pixel.
  void ExpectSnapshot(const QImage& image, const std::string& name) {
    std::string path = std::string(DECKHAND_SNAPSHOT_DIR) + "/" + name + ".png";
    if (qEnvironmentVariableIsSet("DECKHAND_UPDATE_SNAPSHOTS")) {
      std::filesystem::create_directories(DECKHAND_SNAPSHOT_DIR);
      ASSERT_TRUE(image.save(QString::fromStdString(path)));
      return;
    }
    QImage expected(QString::fromStdString(path));
    ASSERT_FALSE(expected.isNull()) << "no snapshot " << path;
    expected = expected.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), expected.size()) << name;
    int differing = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, y) != expected.pixel(x, y)) ++differing;
    EXPECT_EQ(differing, 0) << name << ": pixels differ from " << path;
  }
};

const TPhoneProfile& Nokia() {
  const TPhoneProfile* phone = FindPhone("Nokia 7110");
  EXPECT_NE(phone, nullptr);
  return phone ? *phone : DefaultPhone();
}

TEST_F(CardRendererTest, ImagesHaveTheProfilesScreenSize) {
  EXPECT_EQ(Render(Deck(kWelcome), Nokia()).size(), QSize(96, 44));
  EXPECT_EQ(Render(Deck(kWelcome), DefaultPhone()).size(), QSize(128, 128));
  // Same deck, same picture: nothing depends on the run.
  EXPECT_EQ(Render(Deck(kForm), DefaultPhone()), Render(Deck(kForm), DefaultPhone()));
}

TEST_F(CardRendererTest, Snapshots) {
  ExpectSnapshot(Render(Deck(kWelcome), Nokia()), "welcome-96x44");
  ExpectSnapshot(Render(Deck(kWelcome), Nokia(), 3), "welcome-96x44-scrolled");
  ExpectSnapshot(Render(Deck(kWelcome), DefaultPhone()), "welcome-128x128");
  ExpectSnapshot(Render(Deck(kForm), Nokia()), "form-96x44");
  ExpectSnapshot(Render(Deck(kForm), DefaultPhone()), "form-128x128");
  ExpectSnapshot(Render(Deck(kTable), Nokia()), "table-96x44");
  ExpectSnapshot(Render(Deck(kTable), DefaultPhone()), "table-128x128");
}

TEST_F(CardRendererTest, RequestAndOptionsScreens) {
  agent_.Open(Deck(R"w(<card id="a" title="Меню"><do type="accept" label="Один"><go href="#a"/></do>
<do type="options" label="Поиск"><go href="http://wap.example.invalid/find" method="post">
<postfield name="q" value="кино"/></go></do><do type="help" label="Справка"><go href="#a"/></do>
<p>текст</p></card>)w"));
  TPhoneScreen screen(agent_, DefaultPhone());
  agent_.SoftKey(1);  // "Опции"
  ASSERT_TRUE(agent_.MenuOpen());
  ExpectSnapshot(screen.Render(), "options-128x128");
  agent_.Select();  // "Поиск": the request the phone would send
  ASSERT_TRUE(agent_.Request());
  TPhoneScreen small(agent_, Nokia());
  ExpectSnapshot(small.Render(), "request-96x44");
}

TEST_F(CardRendererTest, KeysInTheOptionsMenuAndBackToTheCard) {
  agent_.Open(Deck(R"w(<card id="a"><do type="accept"><go href="#a"/></do>
<do type="x1" label="Один"><go href="#b"/></do><do type="x2" label="Два"><go href="#c"/></do>
<p><a href="#b">link</a></p></card><card id="b"/><card id="c"/>)w"));
  TPhoneScreen screen(agent_, Nokia());
  const QImage card = screen.Render();
  agent_.SoftKey(1);
  screen.Render();
  screen.Down();
  screen.Render();
  EXPECT_EQ(agent_.Focus(), 1);
  agent_.Back();  // closes the menu: the card and its link again
  EXPECT_EQ(screen.Render(), card);
  agent_.SoftKey(1);
  screen.Render();
  screen.Down();
  agent_.Select();
  EXPECT_EQ(agent_.CardId(), "c");
}

TEST_F(CardRendererTest, WbmpNextToTheDeckIsDrawnElseItsAltText) {
  auto dir = std::filesystem::temp_directory_path() /
             ("deckhand-render-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  std::filesystem::create_directories(dir);
  {
    // 8x8, all black.
    std::ofstream out(dir / "dot.wbmp", std::ios::binary);
    out << std::string("\x00\x00\x08\x08", 4) << std::string(8, '\0');
  }
  const std::string deck = Deck(R"w(<card id="a"><p><img src="dot.wbmp" alt="X"/></p></card>)w");
  agent_.Open(deck, (dir / "deck.wml").string());
  TPhoneScreen screen(agent_, DefaultPhone());
  QImage image = screen.Render();
  // No title: the picture stands at the top left, after the 1-pixel margin.
  EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(8, 7), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(9, 0), qRgb(255, 255, 255));
  // Without a file beside it (a deck never saved) the alt text shows.
  agent_.Open(deck);
  QImage alt = screen.Render();
  EXPECT_NE(alt, image);
  EXPECT_NE(alt.pixel(1, 0), qRgb(0, 0, 0));
  std::filesystem::remove_all(dir);
}

TEST_F(CardRendererTest, DownMovesTheFocusThenScrolls) {
  agent_.Open(Deck(kForm));
  TPhoneScreen screen(agent_, Nokia());
  screen.Render();
  EXPECT_EQ(agent_.Focus(), 0);
  int steps = 0;
  while (agent_.Focus() < static_cast<int>(agent_.Focusables().size()) - 1 && steps < 50) {
    screen.Down();
    screen.Render();
    ++steps;
  }
  EXPECT_EQ(agent_.Focus(), 7);
  EXPECT_GT(screen.Scroll(), 0);  // the last field is below the first screen
  for (int i = 0; i < 50; ++i) {
    screen.Up();
    screen.Render();
  }
  EXPECT_EQ(agent_.Focus(), 0);
  EXPECT_EQ(screen.Scroll(), 0);
}

TEST_F(CardRendererTest, WbmpPictures) {
  // 8x2, type 0: first row black then white halves.
  std::string wbmp("\x00\x00\x08\x02\x0F\xFF", 6);
  QImage image = DecodeWbmp(wbmp);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(8, 2));
  EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(7, 0), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(0, 1), qRgb(255, 255, 255));
  EXPECT_TRUE(DecodeWbmp(std::string("\x00\x00\x08\x02\x0F", 5)).isNull());      // short
  EXPECT_TRUE(DecodeWbmp(std::string("\x01\x00\x08\x02\x0F\xFF", 6)).isNull());  // not type 0
  EXPECT_TRUE(DecodeWbmp("").isNull());
}

// Hostile cards: each stops at one of the phone's limits, with a message on
// the screen and for the caller, and the work stays bounded whatever the
// size of the card.
TEST_F(CardRendererTest, HostileCardsStopAtThePhonesLimitsWithAMessage) {
  auto render = [&](const std::string& deck, const std::string& path = {}) {
    agent_.Open(deck, path);
    auto screen = std::make_unique<TPhoneScreen>(agent_, DefaultPhone());
    screen->Render();
    return screen;
  };
  // A title of 1 MB: only its first kilobyte is laid out; the card is not.
  auto title =
      render(Deck("<card id=\"a\" title=\"" + std::string(1 << 20, 't') + "\"><p>x</p></card>"));
  EXPECT_LE(title->Stats().TitleBytes, kMaxTitleBytes);
  EXPECT_NE(title->LimitMessage().find("Заголовок карточки длиннее"), std::string::npos);
  // A word of 1 MB: laid out up to the text limit, each character copied
  // once while it is cut into lines.
  auto word = render(Deck("<card id=\"a\"><p>" + std::string(1 << 20, 'w') + "</p></card>"));
  EXPECT_LE(word->Stats().TextBytes, kMaxCardTextBytes);
  EXPECT_LE(word->Stats().CutCharacters, kMaxCardTextBytes);
  EXPECT_NE(word->LimitMessage().find("Текст карточки длиннее"), std::string::npos);
  // Under the limit the cutting is linear too: 60,000 characters, 60,000 copied.
  auto fits = render(Deck("<card id=\"a\"><p>" + std::string(60000, 'w') + "</p></card>"));
  EXPECT_EQ(fits->Stats().CutCharacters, 60000u);
  EXPECT_EQ(fits->LimitMessage(), "");
  EXPECT_EQ(fits->Stats().Lines, (60000u + 19) / 20);  // 20 characters a line
  // Elements beyond the limit are not laid out.
  std::string breaks;
  for (int i = 0; i < 20000; ++i) breaks += "<br/>";
  auto many = render(Deck("<card id=\"a\"><p>" + breaks + "</p></card>"));
  EXPECT_LE(many->Stats().Elements, kMaxLaidOutElements + 1);
  EXPECT_NE(many->LimitMessage().find("элементов"), std::string::npos);
  // Nesting 100,000 deep: bounded, no deep recursion.
  std::string open, close;
  for (int i = 0; i < 100000; ++i) {
    open += "<b>";
    close += "</b>";
  }
  auto deep = render(Deck("<card id=\"a\"><p>" + open + "x" + close + "</p></card>"));
  EXPECT_LE(deep->Stats().Elements, kMaxLaidOutElements + 1);
  // A select of many options: bounded the same way.
  std::string options;
  for (int i = 0; i < 20000; ++i)
    options += "<option value=\"" + std::to_string(i) + "\">o</option>";
  auto select =
      render(Deck("<card id=\"a\"><p><select name=\"s\">" + options + "</select></p></card>"));
  EXPECT_LE(select->Stats().Elements, kMaxLaidOutElements + 1);
  EXPECT_FALSE(select->LimitMessage().empty());

  // The message heads the screen: the same pixels as a card holding only it.
  TUserAgent plain([] { return std::int64_t{0}; });
  plain.Open(Deck("<card id=\"m\"><p>" + many->LimitMessage() + "</p></card>"));
  QImage expected = TPhoneScreen(plain, DefaultPhone()).Render();
  QImage shown = many->Render();
  EXPECT_EQ(shown.copy(0, 0, 124, 40), expected.copy(0, 0, 124, 40));
}

TEST_F(CardRendererTest, ImagesAreDecodedOnceAndBoundedPerCard) {
  auto dir = std::filesystem::temp_directory_path() /
             ("deckhand-images-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  std::filesystem::create_directories(dir);
  auto wbmp = [&](const std::string& name, int width, int height) {
    std::ofstream out(dir / name, std::ios::binary);
    auto number = [&](int value) {
      if (value >= 128) out << static_cast<char>(0x80 | (value >> 7));
      out << static_cast<char>(value & 0x7F);
    };
    out << std::string("\x00\x00", 2);
    number(width);
    number(height);
    out << std::string(static_cast<std::size_t>((width + 7) / 8) * height, '\0');
  };
  wbmp("dot.wbmp", 8, 8);
  std::string images;
  for (int i = 0; i < 2000; ++i) images += "<img src=\"dot.wbmp\" alt=\"x\"/>";
  agent_.Open(Deck("<card id=\"a\"><p>" + images + "</p></card>"), (dir / "deck.wml").string());
  TPhoneScreen screen(agent_, DefaultPhone());
  const QImage first = screen.Render();
  EXPECT_EQ(screen.Stats().ImageDecodes, 1u);  // one file, decoded once
  EXPECT_LE(screen.Stats().Images, kMaxImagesPerCard + 1);
  EXPECT_NE(screen.LimitMessage().find("картинок"), std::string::npos);
  EXPECT_EQ(screen.Render(), first);
  EXPECT_EQ(screen.Stats().ImageDecodes, 0u);  // a redraw decodes nothing
  // A changed file is decoded again.
  wbmp("dot.wbmp", 16, 8);
  screen.Render();
  EXPECT_EQ(screen.Stats().ImageDecodes, 1u);
  // A picture of more pixels than a phone could hold stops the card.
  wbmp("big.wbmp", 600, 600);
  agent_.Open(Deck("<card id=\"a\"><p><img src=\"big.wbmp\" alt=\"x\"/></p></card>"),
              (dir / "deck.wml").string());
  screen.Render();
  EXPECT_NE(screen.LimitMessage().find("Картинка big.wbmp больше"), std::string::npos);
  // An ordinary card reaches no limit.
  agent_.Open(Deck("<card id=\"a\"><p><img src=\"dot.wbmp\" alt=\"x\"/> text</p></card>"),
              (dir / "deck.wml").string());
  screen.Render();
  EXPECT_EQ(screen.LimitMessage(), "");
  std::filesystem::remove_all(dir);
}

TEST_F(CardRendererTest, EveryMuseumDeckShowsItsFirstCard) {
  std::filesystem::path museum = std::filesystem::path(DECKHAND_CORPUS_DIR) / "museum";
  if (!std::filesystem::is_directory(museum)) GTEST_SKIP() << museum << " is absent";
  int decks = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(museum)) {
    if (entry.path().extension() != ".wml") continue;
    std::string problem;
    auto bytes = ReadDeckFile(entry.path().string(), problem);
    ASSERT_TRUE(bytes) << problem;
    TUserAgent agent([] { return std::int64_t{0}; });
    agent.Open(*bytes, entry.path().string());
    EXPECT_TRUE(agent.Error().empty()) << entry.path() << ": " << agent.Error();
    EXPECT_NE(agent.Card(), nullptr) << entry.path();
    TPhoneScreen screen(agent, DefaultPhone());
    EXPECT_EQ(screen.Render().size(), QSize(128, 128));
    ++decks;
  }
  EXPECT_GT(decks, 100);
}

}  // namespace
}  // namespace deckhand::wml
