#include "core/LargeBlocks.h"

#include <gtest/gtest.h>

#include <string>

namespace deckhand::testing {
namespace {

TEST(LargeBlocks, ReservingAndCopyingKeepEveryByte) {
  std::string text;
  for (int i = 0; text.size() < (size_t{5} << 20); ++i) text += static_cast<char>(i * 7 % 256);
  const std::string original = text;

  // Growing a large text: bytes kept, room made.
  ReserveLarge(text, size_t{9} << 20);
  EXPECT_GE(text.capacity(), size_t{9} << 20);
  EXPECT_EQ(text, original);
  // Asking for less than it has changes nothing.
  const char* const data = text.data();
  ReserveLarge(text, 10);
  EXPECT_EQ(text.data(), data);
  // Preparing a block that holds bytes leaves them as they are.
  PrepareLargeBlock(text.data(), text.capacity());
  EXPECT_EQ(text, original);

  EXPECT_EQ(LargeCopy(original), original);
  EXPECT_EQ(LargeCopy(std::string()), std::string());
  std::string small = "abc";
  ReserveLarge(small, 100);
  EXPECT_EQ(small, "abc");
  EXPECT_GE(small.capacity(), 100u);
  PrepareLargeBlock(nullptr, size_t{8} << 20);
}

}  // namespace
}  // namespace deckhand::testing
