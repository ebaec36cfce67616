// Form fields as WML 1.1 §9.5.1 sends them: "the user agent must transcode
// the field names and values to the character encoding of the
// accept-charset attribute" (the first one it supports), else the deck's;
// then URL-escaped as application/x-www-form-urlencoded.
#include <gtest/gtest.h>

#include "net/FormEncoding.h"
#include "net/ResponseView.h"

using namespace deckhand::net;

TEST(FormEncoding, CharsetIsTheFirstAcceptedOneTheClientCanEncodeElseTheDecks) {
  EXPECT_EQ(ChooseFormCharset("windows-1251", "UTF-8"), "windows-1251");
  EXPECT_EQ(ChooseFormCharset("x-no-such-charset, utf-8 windows-1251", "windows-1251"), "utf-8");
  EXPECT_EQ(ChooseFormCharset("x-no-such-charset", "windows-1251"), "windows-1251");
  // "unknown" is the attribute's default value: the deck's charset.
  EXPECT_EQ(ChooseFormCharset("unknown", "KOI8-R"), "KOI8-R");
  EXPECT_EQ(ChooseFormCharset("", "ISO-8859-1"), "ISO-8859-1");
  EXPECT_EQ(ChooseFormCharset("", "x-no-such-charset"), "UTF-8");
}

TEST(FormEncoding, FieldsAreTranscodedAndEscaped) {
  std::string error;
  const std::vector<TField> fields{{"имя", "Привет мир"}, {"a b", "x&y=z+*-._~"}};
  EXPECT_EQ(EncodeForm(fields, "windows-1251", error),
            "%E8%EC%FF=%CF%F0%E8%E2%E5%F2+%EC%E8%F0&a+b=x%26y%3Dz%2B*-._%7E");
  EXPECT_EQ(EncodeForm(fields, "UTF-8", error),
            "%D0%B8%D0%BC%D1%8F=%D0%9F%D1%80%D0%B8%D0%B2%D0%B5%D1%82+%D0%BC%D0%B8%D1%80"
            "&a+b=x%26y%3Dz%2B*-._%7E");
  EXPECT_EQ(EncodeForm({}, "UTF-8", error), "");
  EXPECT_EQ(EncodeForm({{"e", ""}}, "UTF-8", error), "e=");
}

TEST(FormEncoding, CharactersTheCharsetLacksAreRefusedNotReplaced) {
  std::string error;
  EXPECT_FALSE(EncodeForm({{"q", "Привет"}}, "ISO-8859-1", error));
  EXPECT_NE(error.find("q"), std::string::npos) << error;
  error.clear();
  EXPECT_FALSE(EncodeForm({{"q", "\xF0\x9F\x98\x80"}}, "windows-1251", error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(EncodeForm({{"q", "x"}}, "x-no-such-charset", error));
}

TEST(ResponseView, DeclarationNamesUtf8AfterConversion) {
  EXPECT_EQ(DeclareUtf8("<?xml version=\"1.0\" encoding=\"windows-1251\"?><wml/>"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><wml/>");
  EXPECT_EQ(DeclareUtf8("\xEF\xBB\xBF<?xml version='1.0' encoding = 'koi8-r' ?><wml/>"),
            "<?xml version='1.0' encoding = 'UTF-8' ?><wml/>");
  // No encoding named, no declaration, or text that only looks like one.
  EXPECT_EQ(DeclareUtf8("<?xml version=\"1.0\"?><wml/>"), "<?xml version=\"1.0\"?><wml/>");
  EXPECT_EQ(DeclareUtf8("<wml>encoding=\"x\"</wml>"), "<wml>encoding=\"x\"</wml>");
  EXPECT_EQ(DeclareUtf8("<?xml version=\"1.0\"?><p>encoding=\"x\"</p>"),
            "<?xml version=\"1.0\"?><p>encoding=\"x\"</p>");
  EXPECT_EQ(DeclareUtf8("<?xml-stylesheet encoding=\"x\"?>"), "<?xml-stylesheet encoding=\"x\"?>");
}
