// The preview page and its file: exact bytes, the path rule, the temp
// folder, and the failures with their exact messages.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/CodeBuffer.h"
#include "core/Encoding.h"
#include "core/Errors.h"
#include "preview/Preview.h"

namespace deckhand {
namespace {

std::string ReadBytes(const QString& path) {
  std::ifstream in(QFile::encodeName(path).toStdString(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool IsDirectory(const QString& path) { return QFileInfo(path).isDir(); }

class PreviewFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  QString Base() const { return dir_.path(); }

  QTemporaryDir dir_;
  TMemoryBuffer code_;
};

TEST(PreviewPage, HeaderIsTheNineLinesOf168Bytes) {
  const char* const lines[] = {"<BODY bottomMargin=0 ",
                               "LeftMargin=0 topMargin=0 ",
                               "rightMargin=0 marginwidth=\"0\" ",
                               "marginheight=\"0\">",
                               "<STYLE>",
                               "BODY {",
                               "\tFONT-SIZE: 8pt; ",
                               "FONT-FAMILY: Arial}",
                               "</STYLE>"};
  std::string expected;
  for (const char* line : lines) expected += std::string(line) + "\r\n";
  EXPECT_EQ(kPreviewHeader, expected);
  EXPECT_EQ(kPreviewHeader.size(), 168u);
  EXPECT_EQ(ComposePreviewPage(""), expected);

  const TPreview preview("/anywhere");
  EXPECT_EQ(preview.Visual().GetText(), expected);
  EXPECT_EQ(preview.WhatSave().GetText(), "");
}

TEST(PreviewPath, PlainConcatenationOfBaseAndTempFile) {
  EXPECT_EQ(PreviewFilePath("/home/user/deckhand"), "/home/user/deckhand/temp/temp.htm");
  EXPECT_EQ(PreviewFilePath("/"), "//temp/temp.htm");
  EXPECT_EQ(PreviewFilePath("/srv/"), "/srv//temp/temp.htm");
  EXPECT_EQ(TPreview("/").FilePath(), "//temp/temp.htm");
}

TEST(PreviewPath, ViewAddressNamesTheSameLocalFile) {
  // "//temp/..." as a file address would name the host "temp".
  const QUrl root = PreviewFileUrl(PreviewFilePath("/"));
  EXPECT_TRUE(root.isLocalFile());
  EXPECT_EQ(root.host(), "");
  EXPECT_EQ(root.toLocalFile(), "/temp/temp.htm");
  EXPECT_EQ(PreviewFileUrl("/a b/Папка#1/temp/temp.htm").toLocalFile(),
            "/a b/Папка#1/temp/temp.htm");
}

TEST_F(PreviewFileTest, EmptyBufferWritesExactlyTheHeader) {
  TPreview preview(Base());
  const QString path = preview.Write(code_);
  EXPECT_EQ(path, Base() + "/temp/temp.htm");
  EXPECT_EQ(ReadBytes(path), std::string(kPreviewHeader));
  EXPECT_EQ(preview.WhatSave().GetText(), std::string(kPreviewHeader));
}

TEST_F(PreviewFileTest, WritesTheBuffersBytesWithoutAnythingAdded) {
  // Russian text, then every byte but NUL (lone CR and LF included).
  std::string text = Cp1251("<wml>\r\n<card title=\"Привет\">\r\n<p>Ёлка №1 — «да»</p>");
  for (int byte = 1; byte < 256; ++byte) text += static_cast<char>(byte);
  text += "\r\n</card></wml>";
  code_.SetText(text);
  code_.Select(3, 7);
  TPreview preview(Base());
  const QString path = preview.Write(code_);

  const std::string written = ReadBytes(path);
  EXPECT_EQ(written, std::string(kPreviewHeader) + text);
  EXPECT_EQ(written.back(), '>');            // no line break appended
  EXPECT_EQ(written.rfind("<BODY", 0), 0u);  // no byte-order mark before the header
  EXPECT_EQ(preview.WhatSave().GetText(), written);

  // The code buffer is only read.
  EXPECT_EQ(code_.GetText(), text);
  EXPECT_EQ(code_.Anchor(), 3);
  EXPECT_EQ(code_.Caret(), 7);
  EXPECT_FALSE(code_.GetModified());
}

TEST_F(PreviewFileTest, EachPreviewRewritesTheWholeFile) {
  TPreview preview(Base());
  code_.SetText("<p>first</p>");
  const QString path = preview.Write(code_);
  const std::string first = ReadBytes(path);
  EXPECT_EQ(preview.Write(code_), path);
  EXPECT_EQ(ReadBytes(path), first);

  // A shorter page leaves no tail of the longer one.
  code_.SetText(std::string(5000, 'x'));
  preview.Write(code_);
  code_.SetText("y");
  preview.Write(code_);
  EXPECT_EQ(ReadBytes(path), std::string(kPreviewHeader) + "y");
}

TEST_F(PreviewFileTest, CreatesTheMissingTempFolderButNothingAbove) {
  ASSERT_FALSE(IsDirectory(Base() + "/temp"));
  TPreview preview(Base());
  preview.Write(code_);
  EXPECT_TRUE(IsDirectory(Base() + "/temp"));

  // A base directory that does not exist is not created.
  const QString gone = Base() + "/gone";
  TPreview elsewhere(gone);
  code_.SetText("<wml/>");
  try {
    elsewhere.Write(code_);
    FAIL() << "no error";
  } catch (const EFCreateError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + gone.toStdString() +
                                             "/temp/temp.htm\". No such file or directory");
  }
  EXPECT_FALSE(QFileInfo::exists(gone));
  // WhatSave already holds the new page.
  EXPECT_EQ(elsewhere.WhatSave().GetText(), std::string(kPreviewHeader) + "<wml/>");
}

TEST_F(PreviewFileTest, FileThatCannotBeCreatedGivesTheExactMessage) {
  // "temp" is a regular file: nothing can be created below it.
  {
    QFile blocker(Base() + "/temp");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("keep me");
  }
  TPreview preview(Base());
  try {
    preview.Write(code_);
    FAIL() << "no error";
  } catch (const EFCreateError& error) {
    EXPECT_EQ(std::string(error.what()),
              "Cannot create file \"" + Base().toStdString() + "/temp/temp.htm\". Not a directory");
    EXPECT_EQ(ErrorBoxText(error.what()), std::string(error.what()) + ".");
  }
  EXPECT_EQ(ReadBytes(Base() + "/temp"), "keep me");

  // "temp/temp.htm" is a folder.
  QTemporaryDir other;
  ASSERT_TRUE(QDir(other.path()).mkpath("temp/temp.htm"));
  try {
    TPreview(other.path()).Write(code_);
    FAIL() << "no error";
  } catch (const EFCreateError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + other.path().toStdString() +
                                             "/temp/temp.htm\". Is a directory");
  }
}

TEST(PreviewWrite, FailedWriteIsAStreamWriteError) {
  if (!QFileInfo::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  try {
    WritePreviewFile("/dev/full", ComposePreviewPage("<wml/>"));
    FAIL() << "no error";
  } catch (const EWriteError& error) {
    EXPECT_STREQ(error.what(), "Stream write error");
  }
}

TEST_F(PreviewFileTest, RealDecksArePreviewedByteForByte) {
  const std::filesystem::path corpus = std::filesystem::path(DECKHAND_CORPUS_DIR) / "cp1251";
  if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus";
  TPreview preview(Base());
  int decks = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string deck(std::istreambuf_iterator<char>(in), {});
    code_.SetText(deck);
    const QString path = preview.Write(code_);
    EXPECT_EQ(ReadBytes(path), std::string(kPreviewHeader) + deck) << entry.path();
    ++decks;
  }
  EXPECT_GT(decks, 0);
}

}  // namespace
}  // namespace deckhand
