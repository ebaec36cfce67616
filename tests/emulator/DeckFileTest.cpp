// Reading deck files for the emulator: only regular files, never more than
// the limit, never blocking and never throwing, whatever the name points at.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "emulator/Deck.h"
#include "emulator/DeckFile.h"

namespace deckhand::wml {
namespace {

namespace fs = std::filesystem;

class DeckFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("deckhand-deckfile-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    // A read that blocks would hang the test for good: end it instead.
    ::alarm(60);
  }
  void TearDown() override {
    ::alarm(0);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return (dir_ / name).string();
  }
  fs::path dir_;
};

TEST_F(DeckFileTest, RegularFilesAreReadWholeUpToTheLimit) {
  std::string error;
  const std::string deck = "<wml><card id=\"a\"/></wml>";
  EXPECT_EQ(ReadDeckFile(Write("deck.wml", deck), error), deck);
  EXPECT_EQ(ReadDeckFile(Write("empty.wml", ""), error), std::string());
  // Exactly the limit is read; one byte more is refused with a message.
  EXPECT_EQ(ReadBoundedFile(Write("ten", std::string(10, 'x')), error, 10), std::string(10, 'x'));
  error.clear();
  EXPECT_FALSE(ReadBoundedFile(Write("eleven", std::string(11, 'x')), error, 10));
  EXPECT_EQ(error, "Файл слишком велик для телефона: " + (dir_ / "eleven").string());
  // A symbolic link to a deck reads the deck.
  fs::create_symlink(dir_ / "deck.wml", dir_ / "link.wml");
  EXPECT_EQ(ReadDeckFile((dir_ / "link.wml").string(), error), deck);
}

TEST_F(DeckFileTest, WhatIsNotARegularFileIsRefusedWithARussianMessage) {
  std::string error;
  EXPECT_FALSE(ReadDeckFile(dir_.string(), error));
  EXPECT_EQ(error, "Это папка, а не файл: " + dir_.string());
  EXPECT_FALSE(ReadDeckFile((dir_ / "missing.wml").string(), error));
  EXPECT_EQ(error, "Файл не найден: " + (dir_ / "missing.wml").string());
  // Devices that never end or never answer.
  for (const char* device : {"/dev/zero", "/dev/null", "/dev/urandom"}) {
    if (!fs::exists(device)) continue;
    error.clear();
    EXPECT_FALSE(ReadDeckFile(device, error)) << device;
    EXPECT_EQ(error, std::string("Это не файл: ") + device);
  }
}

TEST_F(DeckFileTest, NamedPipeIsRefusedWithoutWaitingForAWriter) {
  const fs::path fifo = dir_ / "pipe.wml";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string error;
  // No writer: opening for reading alone would wait for one.
  EXPECT_FALSE(ReadDeckFile(fifo.string(), error));
  EXPECT_EQ(error, "Это не файл: " + fifo.string());
}

TEST_F(DeckFileTest, ProcFilesNeitherBlockNorThrowNorReadForEver) {
  if (!fs::exists("/proc/self/pagemap")) GTEST_SKIP() << "no /proc here";
  std::string error;
  // pagemap reports size 0 and holds 8 bytes per page of the address space:
  // reading stops at the limit.
  EXPECT_NO_THROW({
    EXPECT_FALSE(ReadDeckFile("/proc/self/pagemap", error));
    EXPECT_FALSE(error.empty());
  });
  // mem cannot be read at its start (an error, not an exception).
  error.clear();
  EXPECT_NO_THROW({
    EXPECT_FALSE(ReadDeckFile("/proc/self/mem", error));
    EXPECT_FALSE(error.empty());
  });
  // kmsg waits for the kernel's next message when read in the usual way;
  // either it is refused or what is there now comes back.
  if (fs::exists("/proc/kmsg")) {
    error.clear();
    std::optional<std::string> kmsg;
    EXPECT_NO_THROW(kmsg = ReadDeckFile("/proc/kmsg", error));
    EXPECT_TRUE(kmsg || !error.empty());
  }
  // A small regular /proc file reporting size 0 is still read whole.
  error.clear();
  auto status = ReadDeckFile("/proc/self/status", error);
  ASSERT_TRUE(status) << error;
  EXPECT_NE(status->find("Name:"), std::string::npos);
}

// The emulator's tolerant parser: entity references expand in one pass and
// within the limits, and bytes that are no text are named.
std::string EntityDeck(std::size_t entityBytes, std::size_t references, bool inAttribute) {
  std::string refs;
  for (std::size_t i = 0; i < references; ++i) refs += "&e;";
  return "<?xml version=\"1.0\"?>\n<!DOCTYPE wml [<!ENTITY e \"" + std::string(entityBytes, 'x') +
         "\">]>\n<wml><card id=\"a\"" +
         (inAttribute ? " title=\"" + refs + "\"><p>t" : "><p>" + refs) + "</p></card></wml>\n";
}

TEST(TolerantParser, EntityReferencesExpandWithinTheLimits) {
  // Attribute values: text, the deck's entity, WML's nbsp, XML's own.
  TDeck deck = ParseDeck(
      "<!DOCTYPE wml [<!ENTITY e \"ee\">]><wml><card id=\"a\" title=\"1&e;2&nbsp;3&amp;4&#65;\"/>"
      "</wml>");
  ASSERT_EQ(deck.Cards.size(), 1u);
  EXPECT_EQ(deck.Cards[0]->AttributeOr("title"),
            "1ee2\xC2\xA0"
            "3&4A");
  // 25 KB whose attribute expands to 8 MB, and the same in text: refused
  // with a message, not held in memory.
  for (bool attribute : {true, false}) {
    const std::string bytes = EntityDeck(1000, 8000, attribute);
    ASSERT_LT(bytes.size(), 30000u);
    TDeck big = ParseDeck(bytes);
    EXPECT_TRUE(big.Cards.empty()) << attribute;
    EXPECT_EQ(big.Root, nullptr);
    EXPECT_NE(big.ParseProblem.find("ссылки на сущности разворачиваются"), std::string::npos)
        << big.ParseProblem;
  }
  // Many small references beyond the count limit, though their text is small.
  TDeck many = ParseDeck(EntityDeck(1, kMaxEntityExpansions + 1, false));
  EXPECT_TRUE(many.Cards.empty());
  // Within the limits the whole text is there.
  TDeck fits = ParseDeck(EntityDeck(1000, 2000, true));
  ASSERT_EQ(fits.Cards.size(), 1u);
  EXPECT_EQ(fits.Cards[0]->AttributeOr("title"), std::string(2000000, 'x'));
  EXPECT_EQ(fits.ParseProblem, "");
}

TEST(TolerantParser, DeckOfZeroBytesSaysWhatIsThere) {
  EXPECT_EQ(ParseDeck(std::string(3, '\0')).ParseProblem,
            "в колоде одни нулевые байты (3), а не текст: файл повреждён или ещё не записан");
  TDeck zeros = ParseDeck(std::string(4, '\0') + "<wml><card id=\"a\"/></wml>");
  EXPECT_TRUE(zeros.Cards.empty());
  EXPECT_EQ(zeros.ParseProblem,
            "колода начинается с нулевых байтов (4 подряд), а не с текста: файл повреждён или "
            "записан не в той кодировке");
  // UTF-16 (big-endian) without a byte-order mark: a zero before each letter.
  const std::string utf16("\0<\0w\0m\0l\0>", 10);
  EXPECT_NE(ParseDeck(utf16).ParseProblem.find("UTF-16"), std::string::npos);
  EXPECT_EQ(ParseDeck("").ParseProblem, "пустая колода");
}

}  // namespace
}  // namespace deckhand::wml
