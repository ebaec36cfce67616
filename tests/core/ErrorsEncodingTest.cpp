#include <gtest/gtest.h>

#include <cerrno>

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

}  // namespace
}  // namespace deckhand
