// What the error box says: the program's own messages as they stand, and a
// Russian sentence around the terse English texts of the C++ library.
#include <gtest/gtest.h>

#include <filesystem>
#include <ios>
#include <new>
#include <string>
#include <system_error>

#include "core/Errors.h"
#include "ui/UserDialogs.h"

namespace deckhand {
namespace {

TEST(ErrorBox, ProgramMessagesStandLibraryTextsGetARussianSentence) {
  // The program's own errors, word for word (the box adds the full stop).
  EXPECT_EQ(
      ErrorBoxMessage(EFCreateError("Cannot create file \"/x/temp/temp.htm\". Too many links")),
      "Cannot create file \"/x/temp/temp.htm\". Too many links");
  EXPECT_EQ(ErrorBoxMessage(EWriteError()), "Stream write error");
  EXPECT_EQ(ErrorBoxMessage(EInvalidOperation(kTextExceedsCapacityMessage)),
            kTextExceedsCapacityMessage);

  // A file read that the library gave up on.
  const std::string read = ErrorBoxMessage(std::ios_base::failure("basic_filebuf::underflow"));
  EXPECT_EQ(read.rfind("Не удалось прочитать или записать файл. Сообщение библиотеки: "
                       "basic_filebuf::underflow",
                       0),
            0u)
      << read;
  const std::string filesystem = ErrorBoxMessage(
      std::filesystem::filesystem_error("cannot copy", std::filesystem::path("/a"),
                                        std::make_error_code(std::errc::permission_denied)));
  EXPECT_EQ(filesystem.rfind("Не удалось прочитать или записать файл. ", 0), 0u) << filesystem;
  EXPECT_NE(filesystem.find("/a"), std::string::npos) << filesystem;

  EXPECT_EQ(ErrorBoxMessage(std::bad_alloc()),
            "Не хватает памяти для этого действия. Сообщение библиотеки: std::bad_alloc");
  EXPECT_EQ(ErrorBoxMessage(std::out_of_range("basic_string::substr")),
            "Действие не выполнено из-за внутренней ошибки. Сообщение библиотеки: "
            "basic_string::substr");
  // The full stop of the box follows the library's text.
  EXPECT_EQ(ErrorBoxText(ErrorBoxMessage(std::bad_alloc())).back(), '.');
}

}  // namespace
}  // namespace deckhand
