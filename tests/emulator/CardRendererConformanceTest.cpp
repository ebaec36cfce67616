// The card renderer against WML 1.1's rules for tables (§11.8.5) and for
// paragraphs that do not wrap (§11.8.3), and the line breaking they rest on.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <filesystem>
#include <fstream>

#include "AgentFixture.h"
#include "emulator/CardRenderer.h"

namespace deckhand::wml {
namespace {

std::string Deck(std::string_view cards) {
  return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<wml>\n") + std::string(cards) +
         "\n</wml>\n";
}

class Wml11CardRenderer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::EnsureGuiApplication(); }

  QImage Render(const std::string& deck, const TPhoneProfile& phone = DefaultPhone(),
                const std::string& path = {}) {
    agent_.Open(deck, path);
    TPhoneScreen screen(agent_, phone);
    return screen.Render();
  }

  TUserAgent agent_{[] { return std::int64_t{0}; }};
};

// The part of an image in a rectangle, for comparing.
QImage Part(const QImage& image, int x, int y, int width, int height) {
  return image.copy(x, y, width, height);
}

// WML 1.1 §11.8.5: "If a row has more cells than columns, the user agent
// must combine the extra cells into the last column"; a cell holds flow
// content: text, images (or their alt text), line breaks and links.
TEST_F(Wml11CardRenderer, TableCellsBeyondColumnsJoinTheLastAndHoldBreaksImagesAndLinks) {
  auto table = [](std::string_view rows, int columns = 2) {
    return Deck("<card id=\"a\"><p><table columns=\"" + std::to_string(columns) + "\">" +
                std::string(rows) + "</table></p></card><card id=\"b\"><p>B</p></card>");
  };
  // Extra cells join the last column, one space apart.
  EXPECT_EQ(Render(table("<tr><td>A</td><td>B</td><td>C</td><td>D</td></tr>")),
            Render(table("<tr><td>A</td><td>B C D</td></tr>")));
  // With one column every cell joins the only one.
  EXPECT_EQ(Render(table("<tr><td>A</td><td>B</td></tr>", 1)),
            Render(table("<tr><td>A B</td></tr>", 1)));
  // A br breaks the cell's line: the row grows, the other cell stays on top.
  EXPECT_EQ(Render(table("<tr><td>X<br/>Y</td><td>Z</td></tr>")),
            Render(table("<tr><td>X</td><td>Z</td></tr><tr><td>Y</td><td></td></tr>")));
  // An image without its picture shows its alt text in the cell.
  EXPECT_EQ(Render(table("<tr><td>1</td><td><img src=\"none.wbmp\" alt=\"Pic\"/></td></tr>")),
            Render(table("<tr><td>1</td><td>Pic</td></tr>")));
  // An image with its picture is drawn in its column (8x8, all black).
  auto dir = std::filesystem::temp_directory_path() /
             ("deckhand-table-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  std::filesystem::create_directories(dir);
  {
    std::ofstream out(dir / "dot.wbmp", std::ios::binary);
    out << std::string("\x00\x00\x08\x08", 4) << std::string(8, '\0');
  }
  const QImage picture =
      Render(table("<tr><td>1</td><td><img src=\"dot.wbmp\" alt=\"\"/></td></tr>"), DefaultPhone(),
             (dir / "deck.wml").string());
  std::filesystem::remove_all(dir);
  const int column = 1 + (128 - 1 - 3) / 2;  // margin, then half the content width
  EXPECT_EQ(picture.pixel(column, 0), qRgb(0, 0, 0));
  EXPECT_EQ(picture.pixel(column + 7, 7), qRgb(0, 0, 0));
  EXPECT_EQ(picture.pixel(column + 8, 0), qRgb(255, 255, 255));
  // A link in a cell is drawn as a link, takes the focus and is followed.
  const QImage link = Render(table("<tr><td>1</td><td><a href=\"#b\">Go</a></td></tr>"));
  ASSERT_EQ(agent_.Focusables().size(), 1u);
  EXPECT_EQ(agent_.Focus(), 0);
  const QRgb focus = qRgb(0x20, 0x48, 0xA8);
  int focused = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < link.width(); ++x)
      if (link.pixel(x, y) == focus) {
        EXPECT_GE(x, column - 1);
        ++focused;
      }
  EXPECT_GT(focused, 0) << "the focused link in the cell is highlighted";
  agent_.Select();
  EXPECT_EQ(agent_.CardId(), "b");
}

// WML 1.1 §11.8.3: a nowrap paragraph's lines are not broken; the user
// agent must let the user see the whole of such a line. Left and Right
// scroll it.
TEST_F(Wml11CardRenderer, NowrapLineScrollsWithLeftAndRight) {
  // 30 'a' and a 'W': 186 pixels on a content width of 124.
  const std::string line = std::string(30, 'a') + "W";
  agent_.Open(Deck("<card id=\"a\"><p mode=\"nowrap\">" + line +
                   "</p><p mode=\"wrap\">wrapped text</p></card>"));
  TPhoneScreen screen(agent_, DefaultPhone());
  const QImage start = screen.Render();
  TUserAgent other([] { return std::int64_t{0}; });
  other.Open(Deck("<card id=\"w\"><p>W</p></card>"));
  const QImage w = TPhoneScreen(other, DefaultPhone()).Render();
  const int end = 1 + 124 - 6;  // where the last glyph stands once the line's end is in view
  EXPECT_NE(Part(start, end, 0, 6, 10), Part(w, 1, 0, 6, 10)) << "the end is out of view";

  int presses = 0;
  while (presses < 20 && screen.Right()) {
    ++presses;
    const int before = screen.HorizontalScroll();
    screen.Render();
    if (screen.HorizontalScroll() == before && before == 186 - 124) break;
  }
  const QImage scrolled = screen.Render();
  EXPECT_EQ(screen.HorizontalScroll(), 186 - 124);
  EXPECT_EQ(Part(scrolled, end, 0, 6, 10), Part(w, 1, 0, 6, 10)) << "the line's end is in view";
  // The wrapped paragraph below does not move.
  EXPECT_EQ(Part(scrolled, 0, 10, 128, 10), Part(start, 0, 10, 128, 10));
  // Left brings the start back.
  while (screen.HorizontalScroll() > 0) {
    ASSERT_TRUE(screen.Left());
    screen.Render();
  }
  EXPECT_EQ(screen.Render(), start);
  // A card whose lines all fit has nothing to scroll: the keys say so.
  agent_.Open(
      Deck("<card id=\"b\"><p mode=\"nowrap\">short</p><p mode=\"wrap\">" + line + "</p></card>"));
  screen.Render();
  EXPECT_FALSE(screen.Right());
  EXPECT_FALSE(screen.Left());
  EXPECT_EQ(screen.HorizontalScroll(), 0);
  // A paragraph without mode keeps the mode of the one before it
  // (§11.8.3), so this long line does not wrap either and scrolls.
  agent_.Open(Deck("<card id=\"c\"><p mode=\"nowrap\">short</p><p>" + line + "</p></card>"));
  screen.Render();
  EXPECT_TRUE(screen.Right());
}

TEST_F(Wml11CardRenderer, LineThatFillsTheWidthExactlyStaysOnOneLine) {
  // A screen 124 pixels wide leaves 120 for the content: 20 characters.
  const TPhoneProfile phone{"Twenty", 1400, "", 124, 64, TTableSupport::No, "", ""};
  auto lines = [&](const std::string& text) {
    agent_.Open(Deck("<card id=\"a\"><p>" + text + "</p></card>"));
    TPhoneScreen screen(agent_, phone);
    screen.Render();
    return screen.Stats().Lines;
  };
  EXPECT_EQ(lines("aaaaaaaaa bbbbbbbbbb"), 1u);  // 9 + space + 10
  EXPECT_EQ(lines("aaaaaaaaa bbbbbbbbbbb"), 2u);
  EXPECT_EQ(lines(std::string(20, 'c')), 1u);  // one word, exactly the width
  EXPECT_EQ(lines(std::string(21, 'c')), 2u);  // one more character is cut
  EXPECT_EQ(lines(std::string(40, 'c')), 2u);
  EXPECT_EQ(lines(std::string(41, 'c')), 3u);
}

}  // namespace
}  // namespace deckhand::wml
