// The checker's heap for the XML parser: blocks keep their bytes as they
// grow and move, freed blocks are handed out again, impossible sizes fail
// without harm; and the installed checker, which parses with it, reports
// exactly what the same check reports with the general allocator, and says
// when memory runs out.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "checker/CheckCommand.h"
#include "checker/ParserHeap.h"

using namespace deckhand::checker;
namespace fs = std::filesystem;

namespace {

void Fill(void* block, std::size_t size, unsigned char seed) {
  auto* bytes = static_cast<unsigned char*>(block);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(seed + i * 7);
}

bool Holds(const void* block, std::size_t size, unsigned char seed) {
  const auto* bytes = static_cast<const unsigned char*>(block);
  for (std::size_t i = 0; i < size; ++i) {
    if (bytes[i] != static_cast<unsigned char>(seed + i * 7)) return false;
  }
  return true;
}

TEST(ParserHeap, BlocksKeepTheirBytesAsTheyGrowAndNeverOverlap) {
  // Sizes around the boundary between chunk blocks and general ones.
  const std::vector<std::size_t> sizes = {0, 1, 7, 8, 9, 15, 120, 1000, 1023, 1024, 1025, 5000};
  std::vector<std::pair<char*, std::size_t>> live;
  for (std::size_t round = 0; round < 50; ++round) {
    for (const std::size_t size : sizes) {
      auto* block = static_cast<char*>(HeapAllocate(size));
      ASSERT_NE(block, nullptr) << size;
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 8, 0u) << size;
      EXPECT_GE(HeapBlockCapacity(block), size);
      Fill(block, size, static_cast<unsigned char>(size + round));
      live.emplace_back(block, size);
    }
  }
  // No block's bytes were written over by another's.
  for (std::size_t i = 0; i < live.size(); ++i) {
    EXPECT_TRUE(Holds(live[i].first, live[i].second,
                      static_cast<unsigned char>(live[i].second + i / sizes.size())))
        << i;
  }
  // Growing keeps the old bytes: within a block, into a larger chunk block,
  // out of the chunks, and a large block further.
  for (auto& [block, size] : live) {
    const std::size_t grown = size * 3 + 100;
    const unsigned char seed = static_cast<unsigned char>(size + 1);
    Fill(block, size, seed);
    block = static_cast<char*>(HeapReallocate(block, grown));
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(Holds(block, size, seed)) << size << " -> " << grown;
    EXPECT_GE(HeapBlockCapacity(block), grown);
    size = grown;
  }
  // Blocks across many windows and chunks: megabytes of them, each whole.
  std::vector<char*> many;
  for (int i = 0; i < 3000; ++i) {
    many.push_back(static_cast<char*>(HeapAllocate(1000)));
    ASSERT_NE(many.back(), nullptr);
    Fill(many.back(), 1000, static_cast<unsigned char>(i));
  }
  for (int i = 0; i < 3000; ++i) EXPECT_TRUE(Holds(many[i], 1000, static_cast<unsigned char>(i)));
  for (char* block : many) HeapFree(block);
  // Shrinking keeps the block where it is.
  char* kept = live.front().first;
  EXPECT_EQ(HeapReallocate(kept, 1), kept);
  for (const auto& [block, size] : live) HeapFree(block);
  HeapFree(nullptr);  // as free(nullptr): nothing
}

TEST(ParserHeap, FreedBlocksAreHandedOutAgainBySize) {
  std::set<void*> freed;
  for (int i = 0; i < 100; ++i) freed.insert(HeapAllocate(120));
  for (void* block : freed) HeapFree(block);
  // The next blocks of that size are the freed ones, not new memory.
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(freed.count(HeapAllocate(120))) << i;
  // A freed block of another size is not handed out for this one.
  void* small = HeapAllocate(16);
  HeapFree(small);
  void* other = HeapAllocate(24);
  EXPECT_NE(other, small);
  EXPECT_EQ(HeapAllocate(16), small);
  HeapFree(other);

  char* copy = HeapDuplicate("Карточка");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "Карточка");
  HeapFree(copy);
  char* empty = HeapDuplicate("");
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
  HeapFree(empty);
}

TEST(ParserHeap, ImpossibleSizesFailAndLeaveTheBlockAlone) {
  EXPECT_EQ(HeapAllocate(SIZE_MAX), nullptr);
  EXPECT_EQ(HeapAllocate(SIZE_MAX - 4), nullptr);
  for (const std::size_t size : {std::size_t{40}, std::size_t{4000}}) {
    void* block = HeapAllocate(size);
    ASSERT_NE(block, nullptr);
    Fill(block, size, 3);
    // A failed growth returns nothing and the old block stays the caller's,
    // whole, as realloc does.
    EXPECT_EQ(HeapReallocate(block, SIZE_MAX - 8), nullptr);
    EXPECT_TRUE(Holds(block, size, 3));
    HeapFree(block);
  }
}

#ifdef DECKHAND_CHECK_PROGRAM

// What a shell command prints, its errors (written to a file) and its exit
// status, -1 when it did not exit.
struct TRun {
  std::string Out, Err;
  int Status = -1;
};

TRun RunShell(const std::string& command, const fs::path& errors) {
  TRun run;
  FILE* pipe = popen((command + " 2>'" + errors.string() + "'").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    run.Out.append(buffer, got);
  const int wait = pclose(pipe);
  run.Status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
  std::ifstream in(errors, std::ios::binary);
  run.Err.assign(std::istreambuf_iterator<char>(in), {});
  return run;
}

// The installed checker's command line for these files.
std::string Program(const std::vector<std::string>& files) {
  std::string command = "'" DECKHAND_CHECK_PROGRAM "'";
  for (const std::string& file : files) command += " '" + file + "'";
  return command;
}

TEST(ParserHeap, TheCheckerReportsTheSameWithItsHeap) {
  if (!ParserHeapUsable()) GTEST_SKIP() << "a sanitizer's build keeps the general allocator";
  const fs::path folder = fs::temp_directory_path() / ("parser-heap-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string prolog =
      "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
      "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\"";
  std::vector<std::string> decks;
  const auto write = [&](const std::string& name, const std::string& bytes) {
    const fs::path path = folder / name;
    std::ofstream(path, std::ios::binary) << bytes;
    decks.push_back(path.string());
  };
  // A large deck: many cards, long text that the parser gathers in growing
  // blocks, attributes, links that lead nowhere.
  std::string large = prolog + ">\n<wml>\n";
  for (int i = 0; i < 3000; ++i) {
    large += "<card id=\"c" + std::to_string(i) + "\" title=\"\xCA\xE0\xF0\xF2\xEE\xF7\xEA\xE0 " +
             std::to_string(i) + "\">\n<p>" + std::string(static_cast<std::size_t>(i % 300), 'x') +
             " <a href=\"#c" + std::to_string(i + 2) +
             "\">$(name)</a><br/>&amp;&#1055;</p></card>\n";
  }
  write("large.wml", large + "</wml>\n");
  // Entities of the deck's own, markup in one of them, and errors.
  write("entities.wml", prolog +
                            " [<!ENTITY b \"<b>bold</b> text\"><!ENTITY w \"&b;&b;&b;\">]>\n"
                            "<wml><card id=\"a\"><p>&w; &w; <i>x</p><unknown/></card></wml>\n");
  write("broken.wml", prolog + ">\n<wml><card id=\"a\" id=\"b\"><p>&undefined;</p>\n");
  // Real decks, where they are at hand.
  const fs::path museum = fs::path(DECKHAND_CORPUS_DIR) / "museum";
  if (fs::is_directory(museum)) {
    for (const auto& entry : fs::directory_iterator(museum)) {
      if (entry.path().extension() == ".wml") decks.push_back(entry.path().string());
    }
  }
  std::sort(decks.begin(), decks.end());
  const TRun program = RunShell(Program(decks), folder / "errors.txt");
  std::ostringstream out, err;
  const int expected = deckhand::wml::RunCheckCommand(decks, out, err);
  fs::remove_all(folder);
  EXPECT_EQ(program.Status, expected);
  EXPECT_EQ(program.Out, out.str());
  EXPECT_EQ(program.Err, err.str());
  EXPECT_NE(program.Out.find("large.wml"), std::string::npos);
}

// Memory running out while a deck is read is said as that, not as a fault
// of the deck, with exit status 2; the next deck of the same call is read
// with the same declarations of WML 1.1 and checked as usual.
TEST(InstalledChecker, RunningOutOfMemoryIsSaidAndTheNextDeckIsStillChecked) {
  if (!ParserHeapUsable())
    GTEST_SKIP() << "a sanitizer's build cannot run in a limited address space";
  const fs::path folder = fs::temp_directory_path() / ("out-of-memory-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string prolog =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n";
  // About 12 MB: its tree takes some 200 MB, more than the limit below.
  std::string large = prolog + "<wml>\n";
  for (int i = 0; large.size() < (12u << 20); ++i) {
    const std::string n = std::to_string(i);
    large += "<card id=\"c" + n + "\" title=\"t" + n + "\"><p align=\"left\">Text <b>" + n +
             "</b> <a href=\"#c" + n + "\">next</a><br/><select name=\"s" + n +
             "\"><option value=\"1\">One</option></select></p></card>\n";
  }
  large += "</wml>\n";
  const fs::path big = folder / "big.wml", small = folder / "small.wml";
  std::ofstream(big, std::ios::binary) << large;
  std::ofstream(small, std::ios::binary) << prolog << "<wml><card id=\"a\"><p>x</p></card></wml>\n";
  // 160 MB of address space: the program and its libraries take about 60.
  const TRun run =
      RunShell("sh -c \"ulimit -v 160000 && exec " + Program({big.string(), small.string()}) + "\"",
               folder / "errors.txt");
  fs::remove_all(folder);
  EXPECT_EQ(run.Status, 2) << run.Out << run.Err;
  EXPECT_NE(run.Err.find("big.wml: не хватает памяти для проверки"), std::string::npos) << run.Err;
  EXPECT_EQ(run.Out.find("big.wml:"), std::string::npos) << run.Out;  // no finding, no verdict
  EXPECT_NE(run.Out.find("small.wml: WML 1.1; скомпилированная колода"), std::string::npos)
      << run.Out;
}

#endif

}  // namespace
