// Find and replace on Windows-1251 text and on the in-memory buffer.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "core/CodeBuffer.h"
#include "core/TextSearch.h"

namespace deckhand {
namespace {

TSearchOptions Options(bool matchCase, bool wholeWord, bool backward = false) {
  TSearchOptions options;
  options.MatchCase = matchCase;
  options.WholeWord = wholeWord;
  options.Backward = backward;
  return options;
}

// Windows-1251: "Карта" = CA E0 F0 F2 E0, "КАРТА" = CA C0 D0 D2 C0,
// "ёлка" = B8 EB EA E0, "ЁЛКА" = A8 CB CA C0.
const std::string kKarta = "\xCA\xE0\xF0\xF2\xE0";
const std::string kKartaUpper = "\xCA\xC0\xD0\xD2\xC0";

TEST(TextSearch, CaseFoldsLatinAndCyrillicLettersOnlyWithoutMatchCase) {
  const std::string text = "<CARD> " + kKartaUpper + " \xA8\xCB\xCA\xC0 <card>";
  EXPECT_EQ(FindIn(text, "card", 0, Options(false, false)), std::optional<size_t>(1));
  EXPECT_EQ(FindIn(text, "card", 0, Options(true, false)), std::optional<size_t>(text.size() - 5));
  EXPECT_EQ(FindIn(text, kKarta, 0, Options(false, false)), std::optional<size_t>(7));
  EXPECT_EQ(FindIn(text, kKarta, 0, Options(true, false)), std::nullopt);
  // Ё and ё are one letter in two cases, as Cyrillic А to Я are.
  EXPECT_EQ(FindIn(text, "\xB8\xEB\xEA\xE0", 0, Options(false, false)), std::optional<size_t>(13));
  // Not letters: no folding across "@" and "`" or "[" and "{".
  EXPECT_EQ(FindIn("a[b", "A{B", 0, Options(false, false)), std::nullopt);
  // An empty needle or one longer than the text matches nowhere.
  EXPECT_EQ(FindIn(text, "", 0, Options(false, false)), std::nullopt);
  EXPECT_EQ(FindIn("ab", "abc", 0, Options(false, false)), std::nullopt);
  // A line break in what is sought is CR LF, as the text holds it.
  EXPECT_EQ(FindIn("<p>\r\n</p>", "p>\r\n<", 0, Options(true, false)), std::optional<size_t>(1));
}

TEST(TextSearch, WholeWordRejectsMatchesTouchedByLettersDigitsOrUnderscore) {
  const std::string text = "cards card_1 card1 " + kKarta + "card (card) card";
  const TSearchOptions whole = Options(false, true);
  EXPECT_EQ(FindIn(text, "card", 0, whole), std::optional<size_t>(30));
  EXPECT_EQ(FindIn(text, "card", 31, whole), std::optional<size_t>(36));
  EXPECT_EQ(FindIn(text, "card", 37, whole), std::nullopt);
  // Without the rule the first "card" of "cards" is found.
  EXPECT_EQ(FindIn(text, "card", 0, Options(false, false)), std::optional<size_t>(0));
  EXPECT_TRUE(MatchesAt(text, "CARD", 36, whole));
  EXPECT_FALSE(MatchesAt(text, "CARD", 36, Options(true, true)));
  EXPECT_FALSE(MatchesAt(text, "card", 0, whole));
}

TEST(TextSearch, BackwardFindsTheLastMatchEndingAtOrBeforeTheStart) {
  const std::string text = "ab ab AB ab";
  const TSearchOptions back = Options(false, false, true);
  EXPECT_EQ(FindIn(text, "ab", text.size(), back), std::optional<size_t>(9));
  EXPECT_EQ(FindIn(text, "ab", 10, back), std::optional<size_t>(6));
  EXPECT_EQ(FindIn(text, "ab", 8, back), std::optional<size_t>(6));
  EXPECT_EQ(FindIn(text, "ab", 7, back), std::optional<size_t>(3));
  EXPECT_EQ(FindIn(text, "ab", 1, back), std::nullopt);
  EXPECT_EQ(FindIn(text, "AB", 11, Options(true, false, true)), std::optional<size_t>(6));
  EXPECT_EQ(FindIn("xab abx ab", "ab", 10, Options(false, true, true)), std::optional<size_t>(8));
}

TEST(TextSearch, FoldedScanAgreesWithAPlainOneOnRandomTexts) {
  // The folded Horspool scan against the definition, position by position.
  std::mt19937 random(23);
  const std::string alphabet = "aAbB \xE0\xC0\xB8\xA8_1";
  for (int round = 0; round < 400; ++round) {
    std::string text(random() % 60, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    std::string needle(1 + random() % 4, ' ');
    for (char& c : needle) c = alphabet[random() % alphabet.size()];
    for (const bool whole : {false, true}) {
      for (const bool backward : {false, true}) {
        const TSearchOptions options = Options(false, whole, backward);
        const size_t from = random() % (text.size() + 1);
        std::optional<size_t> expected;
        for (size_t at = 0; at + needle.size() <= text.size(); ++at) {
          if (!MatchesAt(text, needle, at, options)) continue;
          if (!backward && at >= from && !expected) expected = at;
          if (backward && at + needle.size() <= from) expected = at;
        }
        ASSERT_EQ(FindIn(text, needle, from, options), expected)
            << "text '" << text << "' needle '" << needle << "' from " << from;
      }
    }
  }
}

TEST(TextSearch, FindNextSelectsGoesRoundTheEndAndKeepsTheSelectionWhenNothingIsFound) {
  TMemoryBuffer buffer;
  buffer.SetText("<p>one</p>\r\n<p>two</p>");
  buffer.Select(0, 0);
  ASSERT_TRUE(FindNext(buffer, "<P>", Options(false, false)));
  EXPECT_EQ(buffer.Anchor(), 0);
  EXPECT_EQ(buffer.Caret(), 3);
  ASSERT_TRUE(FindNext(buffer, "<p>", Options(false, false)));
  EXPECT_EQ(buffer.GetSelStart(), 12);
  EXPECT_EQ(buffer.GetSelText(), "<p>");
  // Round the end to the first one again.
  ASSERT_TRUE(FindNext(buffer, "<p>", Options(false, false)));
  EXPECT_EQ(buffer.GetSelStart(), 0);
  // Backward from the first: round the start to the last.
  ASSERT_TRUE(FindNext(buffer, "<p>", Options(false, false, true)));
  EXPECT_EQ(buffer.GetSelStart(), 12);
  ASSERT_TRUE(FindNext(buffer, "<p>", Options(false, false, true)));
  EXPECT_EQ(buffer.GetSelStart(), 0);
  // Nothing found: the selection stays, the text too.
  buffer.Select(5, 2);
  EXPECT_FALSE(FindNext(buffer, "three", Options(false, false)));
  EXPECT_FALSE(FindNext(buffer, "", Options(false, false)));
  EXPECT_EQ(buffer.Anchor(), 5);
  EXPECT_EQ(buffer.Caret(), 2);
  EXPECT_FALSE(buffer.GetModified());
}

TEST(TextSearch, ReplaceChangesOnlyASelectedMatchAndMovesOn) {
  TMemoryBuffer buffer;
  buffer.SetText("b b B b");
  // The selection is no match: nothing is replaced, the first match is found.
  buffer.Select(0, 2);
  ASSERT_TRUE(ReplaceNext(buffer, "b", "xy", Options(true, false)));
  EXPECT_EQ(buffer.GetText(), "b b B b");
  EXPECT_EQ(buffer.GetSelStart(), 2);
  // Selected match replaced; the next is selected.
  ASSERT_TRUE(ReplaceNext(buffer, "b", "xy", Options(true, false)));
  EXPECT_EQ(buffer.GetText(), "b xy B b");
  EXPECT_EQ(buffer.GetSelStart(), 7);
  ASSERT_TRUE(ReplaceNext(buffer, "b", "xy", Options(true, false)));
  EXPECT_EQ(buffer.GetText(), "b xy B xy");
  EXPECT_EQ(buffer.GetSelStart(), 0);
  // Backward: the match before the replacement comes next.
  buffer.SetText("a a a");
  buffer.Select(4, 5);
  ASSERT_TRUE(ReplaceNext(buffer, "a", "bb", Options(true, false, true)));
  EXPECT_EQ(buffer.GetText(), "a a bb");
  EXPECT_EQ(buffer.GetSelStart(), 2);
  EXPECT_EQ(buffer.GetSelLength(), 1);
  // Replacing the last match leaves none to find.
  buffer.SetText("a");
  buffer.Select(0, 1);
  EXPECT_FALSE(ReplaceNext(buffer, "a", "b", Options(true, false)));
  EXPECT_EQ(buffer.GetText(), "b");
}

TEST(TextSearch, ReplaceAllIsOneReplacementOfTheSpanOfMatches) {
  TMemoryBuffer buffer;
  buffer.SetText("<b>x</b> and <B>y</B> bb");
  buffer.Select(0, 0);
  // The replacement holds what is sought: no match is found in it again.
  EXPECT_EQ(ReplaceAll(buffer, "<b>", "<b><b>", Options(false, false)), 2u);
  EXPECT_EQ(buffer.GetText(), "<b><b>x</b> and <b><b>y</B> bb");
  EXPECT_EQ(buffer.GetSelLength(), 0);
  EXPECT_EQ(buffer.GetSelStart(), 22);
  EXPECT_TRUE(buffer.GetModified());

  const TReplaceAllResult span = ReplaceAllIn("x ab y AB z", "ab", "-", Options(false, false));
  EXPECT_EQ(span.Count, 2u);
  EXPECT_EQ(span.First, 2u);
  EXPECT_EQ(span.End, 9u);
  EXPECT_EQ(span.Replaced, "- y -");
  // Whole words only, the direction aside.
  buffer.SetText("bb b b_ b");
  EXPECT_EQ(ReplaceAll(buffer, "b", "c", Options(true, true, true)), 2u);
  EXPECT_EQ(buffer.GetText(), "bb c b_ c");

  // Nothing to replace: text, selection and flag stay.
  TMemoryBuffer other;
  other.SetText("abc");
  other.Select(1, 2);
  EXPECT_EQ(ReplaceAll(other, "z", "y", Options(false, false)), 0u);
  EXPECT_EQ(ReplaceAll(other, "", "y", Options(false, false)), 0u);
  EXPECT_EQ(other.GetText(), "abc");
  EXPECT_EQ(other.Anchor(), 1);
  EXPECT_FALSE(other.GetModified());
}

}  // namespace
}  // namespace deckhand
