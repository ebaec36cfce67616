#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/CodeBuffer.h"
#include "core/Encoding.h"
#include "core/MarkupCheck.h"
#include "core/MarkupCommands.h"

namespace deckhand {
namespace {

struct CheckRun {
  TMarkupCheckResult result;
  std::vector<std::pair<int, int>> progress;
};

CheckRun Check(const TCodeBuffer& buffer) {
  CheckRun run;
  run.result = CheckMarkup(buffer, [&](int32_t p, int32_t m) { run.progress.emplace_back(p, m); });
  return run;
}

TEST(MarkupCheck, CountsTheWholeTextWhereverTheCaretIs) {
  const std::string card = "<card id=\"card1\" title=\"MainPage\">";
  TMemoryBuffer buffer;
  buffer.SetText(card);
  for (int caret : {0, 5, static_cast<int>(card.size())}) {
    SCOPED_TRACE(caret);
    buffer.SetSelStart(caret);
    const CheckRun run = Check(buffer);
    EXPECT_EQ(run.result.QuoteCount, 4);
    EXPECT_EQ(run.result.OpenCount, 1);
    EXPECT_EQ(run.result.CloseCount, 1);
    EXPECT_EQ(run.result.Verdict, TCheckVerdict::cvNoErrors);
  }
}

TEST(MarkupCheck, Verdicts) {
  struct Case {
    std::string text;
    TCheckVerdict verdict;
  } cases[] = {
      {"", TCheckVerdict::cvNoErrors},
      {"<card id=\"card1\" title=\"MainPage>", TCheckVerdict::cvPossibleError},
      {Cp1251("<p>Привет всем!</p"), TCheckVerdict::cvPossibleError},
      {"\"<\"", TCheckVerdict::cvPossibleError},     // even quotes, brackets unequal
      {"\"\"\"<>", TCheckVerdict::cvPossibleError},  // odd quotes, brackets fine
      {"<<>>\"\"", TCheckVerdict::cvNoErrors},
      {"><", TCheckVerdict::cvNoErrors},  // only the numbers count
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TMemoryBuffer buffer;
    buffer.SetText(c.text);
    EXPECT_EQ(Check(buffer).result.Verdict, c.verdict);
  }
}

TEST(MarkupCheck, AnUnbalancedTagAfterTheCaretIsFound) {
  TMemoryBuffer buffer;
  ApplyNewDocumentTemplate(buffer);
  buffer.SetSelStart(0);
  EXPECT_EQ(Check(buffer).result.Verdict, TCheckVerdict::cvNoErrors);
  buffer.SetSelStart(static_cast<int>(buffer.GetText().size()));
  buffer.SetSelText("<p");
  buffer.SetSelStart(3);
  EXPECT_EQ(Check(buffer).result.Verdict, TCheckVerdict::cvPossibleError);
}

TEST(MarkupCheck, LeavesSelectionTextAndFlagAlone) {
  TMemoryBuffer buffer;
  buffer.SetText("<a href=\"x\">y</a>\r\n");
  buffer.Select(12, 4);  // backwards
  const CheckRun first = Check(buffer);
  EXPECT_EQ(buffer.Anchor(), 12);
  EXPECT_EQ(buffer.Caret(), 4);
  EXPECT_FALSE(buffer.GetModified());
  // A second run counts the same: nothing creeps forward.
  const CheckRun second = Check(buffer);
  EXPECT_EQ(first.result.QuoteCount, second.result.QuoteCount);
  EXPECT_EQ(first.result.OpenCount, 2);
  EXPECT_EQ(first.result.CloseCount, 2);
}

TEST(MarkupCheck, ProgressRunsFromZeroToTheLength) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{1000}, size_t{200000}}) {
    SCOPED_TRACE(size);
    TMemoryBuffer buffer;
    buffer.SetText(std::string(size, '<'));
    const CheckRun run = Check(buffer);
    const int n = static_cast<int>(size);
    ASSERT_FALSE(run.progress.empty());
    EXPECT_EQ(run.progress.front(), std::make_pair(0, n));
    EXPECT_EQ(run.progress.back(), std::make_pair(n, n));
    EXPECT_LE(run.progress.size(), size + 1);
    for (size_t i = 1; i < run.progress.size(); ++i) {
      EXPECT_GE(run.progress[i].first, run.progress[i - 1].first);
      EXPECT_EQ(run.progress[i].second, n);
    }
    EXPECT_EQ(run.result.OpenCount, n);
  }
  TMemoryBuffer buffer;
  EXPECT_NO_THROW(CheckMarkup(buffer, nullptr));
}

TEST(MarkupCheck, VerdictTexts) {
  EXPECT_EQ(VerdictText(TCheckVerdict::cvPossibleError),
            "Результат проверки: Есть вероятность ошибки кода!");
  EXPECT_EQ(VerdictText(TCheckVerdict::cvNoErrors), "Результат проверки: Ошибки не найдены");
}

// Real decks: the counts agree with a plain count of each file's bytes.
TEST(MarkupCheck, CorpusDecks) {
  namespace fs = std::filesystem;
  const fs::path corpus = DECKHAND_CORPUS_DIR;
  if (!fs::is_directory(corpus / "wml")) GTEST_SKIP() << "corpus not present";
  int checked = 0;
  for (const char* sub : {"wml", "cp1251"}) {
    for (const auto& entry : fs::directory_iterator(corpus / sub)) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), {});
      TMemoryBuffer buffer;
      buffer.SetTextStr(bytes);
      buffer.SetSelStart(0);
      const std::string text = buffer.GetText();
      const TMarkupCheckResult result = CheckMarkup(buffer, nullptr);
      EXPECT_EQ(result.QuoteCount, std::count(text.begin(), text.end(), '"')) << entry.path();
      EXPECT_EQ(result.OpenCount, std::count(text.begin(), text.end(), '<')) << entry.path();
      EXPECT_EQ(result.CloseCount, std::count(text.begin(), text.end(), '>')) << entry.path();
      ++checked;
    }
  }
  EXPECT_GT(checked, 30);
}

}  // namespace
}  // namespace deckhand
