#include <gtest/gtest.h>

#include <QStringEncoder>
#include <cerrno>
#include <string>

#include "core/Encoding.h"
#include "core/Errors.h"

namespace deckhand {
namespace {

TEST(ErrorBoxText, FullStopOnlyAfterCharactersAboveIt) {
  EXPECT_EQ(ErrorBoxText("Stream write error"), "Stream write error.");
  EXPECT_EQ(ErrorBoxText("Done."), "Done.");
  EXPECT_EQ(ErrorBoxText("Stop!"), "Stop!");
  EXPECT_EQ(ErrorBoxText("f(x)"), "f(x)");
  EXPECT_EQ(ErrorBoxText("a-"), "a-");
  EXPECT_EQ(ErrorBoxText("v2"), "v2.");
  EXPECT_EQ(ErrorBoxText("why?"), "why?.");
  EXPECT_EQ(ErrorBoxText("Ошибка"), "Ошибка.");
  EXPECT_EQ(ErrorBoxText(""), "");
}

TEST(FileMessages, EmbedThePathAndTheTrimmedSystemText) {
  const std::string message = CannotCreateFileMessage("/no/such/dir/a.wml", ENOENT);
  EXPECT_EQ(message, "Cannot create file \"/no/such/dir/a.wml\". No such file or directory");
  EXPECT_EQ(ErrorBoxText(message),
            "Cannot create file \"/no/such/dir/a.wml\". No such file or directory.");
  EXPECT_EQ(CannotOpenFileMessage("x", EISDIR), "Cannot open file \"x\". Is a directory");
  for (int e = 1; e < 134; ++e) {
    const std::string text = SystemErrorText(e);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '.');
    EXPECT_NE(text.back(), ' ');
    EXPECT_NE(text.back(), '\n');
  }
}

TEST(Encoding, EveryByteRoundTripsThroughUnicode) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  const QString unicode = Cp1251ToUnicode(all);
  ASSERT_EQ(unicode.size(), 256);
  bool representable = false;
  EXPECT_EQ(UnicodeToCp1251(unicode, &representable), all);
  EXPECT_TRUE(representable);
  EXPECT_EQ(unicode[0xC0], QChar(0x0410));  // А
  EXPECT_EQ(unicode[0xB8], QChar(0x0451));  // ё
}

TEST(Encoding, UnrepresentableCharactersBecomeReferences) {
  bool representable = true;
  EXPECT_EQ(UnicodeToCp1251(QString::fromUtf8("a😀b\u4e2dЖ"), &representable),
            "a&#128512;b&#20013;\xC6");
  EXPECT_FALSE(representable);
  EXPECT_FALSE(IsCp1251Representable(QString::fromUtf8("€😀")));
  EXPECT_TRUE(IsCp1251Representable(QString::fromUtf8("€ёЁ№")));
  EXPECT_EQ(Cp1251("Привет всем!"), "\xCF\xF0\xE8\xE2\xE5\xF2\x20\xE2\xF1\xE5\xEC\x21");
  EXPECT_EQ(Cp1251ToUnicode("\xCF\xF0\xE8"), QString::fromUtf8("При"));
}

TEST(Encoding, EveryCharacterEncodesAsTheCodePageSaysOrAsOneReference) {
  // The table-driven encoder against the toolkit's codec, one character at a
  // time over the whole basic plane.
  for (char32_t unit = 1; unit < 0x10000; ++unit) {
    if (QChar::isSurrogate(unit)) continue;
    const QString one(QChar(static_cast<char16_t>(unit)));
    QStringEncoder codec("windows-1251", QStringConverter::Flag::Stateless);
    const QByteArray expected = codec(one);
    bool representable = false;
    const std::string got = UnicodeToCp1251(one, &representable);
    // U+0098 stands for the code page's one unassigned byte, 0x98.
    if (unit == 0x98) {
      ASSERT_EQ(got, "\x98");
    } else if (!codec.hasError() && expected.size() == 1) {
      ASSERT_EQ(got, std::string(1, expected[0])) << std::hex << static_cast<unsigned>(unit);
      ASSERT_TRUE(representable);
      ASSERT_TRUE(IsCp1251Representable(one));
    } else {
      ASSERT_EQ(got, "&#" + std::to_string(unit) + ";") << std::hex << static_cast<unsigned>(unit);
      ASSERT_FALSE(representable);
      ASSERT_FALSE(IsCp1251Representable(one));
    }
  }
}

TEST(Encoding, ReferencesInLongTextsKeepEverythingAroundThem) {
  // A pair of surrogates is one code point; a lone one is spelled out as it
  // is. References at the start, on and across the boundaries of the eight-
  // character runs, and at the end.
  const QString emoji = QString::fromUtf8("😀");
  EXPECT_EQ(UnicodeToCp1251(emoji + QChar(0xD800) + "a" + QChar(0xDC00)),
            "&#128512;&#55296;a&#56320;");
  std::string expected;
  QString text;
  for (int i = 0; i < 300; ++i) {
    const bool reference = i % 7 == 0 || i % 13 == 5 || i == 299;
    const bool cyrillic = i % 3 == 1;
    text += reference ? emoji : cyrillic ? QString::fromUtf8("ж") : QString(QChar('a' + i % 26));
    expected += reference ? "&#128512;" : cyrillic ? "\xE6" : std::string(1, 'a' + i % 26);
  }
  EXPECT_EQ(UnicodeToCp1251(text), expected);
  // Many references in a row make the text grow several times over.
  EXPECT_EQ(UnicodeToCp1251(emoji.repeated(1000)).size(), 9000u);
}

}  // namespace
}  // namespace deckhand
