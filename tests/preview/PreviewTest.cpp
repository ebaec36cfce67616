// The preview page and its file: exact bytes, the path rule, the temp
// folder, and the failures with their exact messages.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "FailingCloseFs.h"
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

bool IsSymLink(const QString& path) {
  struct stat info;
  return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

// The message of the EFCreateError that work raises, or what went otherwise.
std::string CreateErrorOf(const std::function<void()>& work) {
  try {
    work();
  } catch (const EFCreateError& error) {
    return error.what();
  } catch (const std::exception& error) {
    return std::string("other error: ") + error.what();
  }
  return "no error";
}

// Runs work in a child process and returns what it returns, or "hung" when
// the child has not finished within seconds (it is then killed), so that a
// test ends even when the code under test would block for good.
std::string InChild(const std::function<std::string()>& work, int seconds) {
  int channel[2];
  if (::pipe(channel) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child < 0) return "no fork";
  if (child == 0) {
    ::close(channel[0]);
    const std::string result = work();
    const ssize_t ignored = ::write(channel[1], result.data(), result.size());
    static_cast<void>(ignored);
    ::_exit(0);
  }
  ::close(channel[1]);
  QElapsedTimer timer;
  timer.start();
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (timer.elapsed() > seconds * 1000) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      ::close(channel[0]);
      return "hung";
    }
    QThread::msleep(20);
  }
  std::string result;
  char chunk[512];
  for (ssize_t got; (got = ::read(channel[0], chunk, sizeof chunk)) > 0;) result.append(chunk, got);
  ::close(channel[0]);
  return result;
}

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

TEST_F(PreviewFileTest, LinksAtTheFileOrItsFolderAreNeverWrittenThrough) {
  const QString path = Base() + "/temp/temp.htm";
  const std::string refused =
      "Cannot create file \"" + path.toStdString() + "\". Too many levels of symbolic links";
  QTemporaryDir elsewhere;
  ASSERT_TRUE(elsewhere.isValid());
  const QString victim = elsewhere.filePath("victim");
  {
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("someone else's file");
  }
  code_.SetText("<wml/>");
  TPreview preview(Base());

  // A link to an existing file at temp/temp.htm.
  ASSERT_TRUE(QDir(Base()).mkdir("temp"));
  ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(path).constData()),
            0);
  EXPECT_EQ(CreateErrorOf([&] { preview.Write(code_); }), refused);
  EXPECT_EQ(ReadBytes(victim), "someone else's file");
  EXPECT_TRUE(IsSymLink(path));
  EXPECT_EQ(preview.WhatSave().GetText(), std::string(kPreviewHeader) + "<wml/>");

  // A dangling link: nothing is created where it points.
  const QString planted = elsewhere.filePath("planted");
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_EQ(::symlink(QFile::encodeName(planted).constData(), QFile::encodeName(path).constData()),
            0);
  EXPECT_EQ(CreateErrorOf([&] { preview.Write(code_); }), refused);
  EXPECT_FALSE(QFileInfo::exists(planted));

  // The temp folder itself is a link to another folder that holds a
  // temp.htm: that file is left alone and nothing new appears there.
  ASSERT_TRUE(QDir(Base() + "/temp").removeRecursively());
  ASSERT_TRUE(QFile::rename(victim, elsewhere.filePath("temp.htm")));
  ASSERT_EQ(::symlink(QFile::encodeName(elsewhere.path()).constData(),
                      QFile::encodeName(Base() + "/temp").constData()),
            0);
  EXPECT_EQ(CreateErrorOf([&] { preview.Write(code_); }), refused);
  EXPECT_EQ(ReadBytes(elsewhere.filePath("temp.htm")), "someone else's file");
  EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList{"temp.htm"});

  // Links above the temp folder are the user's own business: a base
  // directory reached through a link works.
  QTemporaryDir real;
  ASSERT_TRUE(real.isValid());
  const QString linkedBase = Base() + "/linked";
  ASSERT_EQ(::symlink(QFile::encodeName(real.path()).constData(),
                      QFile::encodeName(linkedBase).constData()),
            0);
  TPreview(linkedBase).Write(code_);
  EXPECT_EQ(ReadBytes(real.path() + "/temp/temp.htm"), std::string(kPreviewHeader) + "<wml/>");
}

TEST_F(PreviewFileTest, HardLinkAtTheFileIsRefusedAndLeftAlone) {
  // O_NOFOLLOW stops symbolic links only: a second name of someone else's
  // file, planted at temp/temp.htm, would be emptied and overwritten through.
  QTemporaryDir elsewhere;
  ASSERT_TRUE(elsewhere.isValid());
  const QString victim = elsewhere.filePath("victim");
  {
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("someone else's file");
  }
  ASSERT_TRUE(QDir(Base()).mkdir("temp"));
  const QString path = Base() + "/temp/temp.htm";
  if (::link(QFile::encodeName(victim).constData(), QFile::encodeName(path).constData()) != 0)
    GTEST_SKIP() << "cannot make a hard link here: " << std::strerror(errno);
  code_.SetText("<wml/>");
  TPreview preview(Base());
  EXPECT_EQ(CreateErrorOf([&] { preview.Write(code_); }),
            "Cannot create file \"" + path.toStdString() + "\". Too many links");
  EXPECT_EQ(ReadBytes(victim), "someone else's file");
  EXPECT_EQ(ReadBytes(path), "someone else's file");

  // Once the other name is gone the file is the page's own again.
  ASSERT_TRUE(QFile::remove(victim));
  preview.Write(code_);
  EXPECT_EQ(ReadBytes(path), std::string(kPreviewHeader) + "<wml/>");
}

TEST_F(PreviewFileTest, FifoInThePlaceOfTheFileIsRefusedWithoutWaiting) {
  ASSERT_TRUE(QDir(Base()).mkdir("temp"));
  const QString path = Base() + "/temp/temp.htm";
  ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0666), 0);
  // No one ever reads the FIFO: a blocking open or write would wait for good.
  const std::string result = InChild(
      [&] {
        code_.SetText(std::string(200000, 'x'));  // more than a pipe holds
        return CreateErrorOf([&] { TPreview(Base()).Write(code_); });
      },
      20);
  EXPECT_EQ(result, "Cannot create file \"" + path.toStdString() + "\". No such device or address");
  struct stat info;
  ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(PreviewBase, UnknownBaseDirectoryWritesNothingAnywhere) {
  const bool rootTempExisted = QFileInfo::exists("/temp");
  const QByteArray rootPage = QFileInfo::exists("/temp/temp.htm")
                                  ? QByteArray::fromStdString(ReadBytes("/temp/temp.htm"))
                                  : QByteArray();
  // An empty base is what asking for the working directory gives once that
  // folder has been deleted.
  TMemoryBuffer code;
  code.SetText("<wml>" + std::to_string(::getpid()) + "</wml>");
  EXPECT_EQ(CreateErrorOf([&] { TPreview(QString()).Write(code); }),
            "Cannot create file \"/temp/temp.htm\". No such file or directory");
  EXPECT_EQ(CreateErrorOf([&] { TPreview("relative/folder").Write(code); }),
            "Cannot create file \"relative/folder/temp/temp.htm\". No such file or directory");

  // The real thing, in a child so that the test's own working directory
  // stays: start in a folder, delete it, take the working directory as the
  // base as the main window does, and preview.
  QTemporaryDir parent;
  ASSERT_TRUE(parent.isValid());
  const QString gone = parent.filePath("gone");
  ASSERT_TRUE(QDir().mkpath(gone));
  const std::string result = InChild(
      [&] {
        if (::chdir(QFile::encodeName(gone).constData()) != 0) return std::string("no chdir");
        if (::rmdir(QFile::encodeName(gone).constData()) != 0) return std::string("no rmdir");
        TPreview preview(QDir::currentPath());
        return CreateErrorOf([&] { preview.Write(code); });
      },
      20);
  EXPECT_TRUE(QString::fromStdString(result).startsWith("Cannot create file \"")) << result;
  EXPECT_TRUE(QString::fromStdString(result).endsWith("\". No such file or directory")) << result;
  EXPECT_EQ(QFileInfo::exists("/temp"), rootTempExisted);
  if (!rootPage.isEmpty()) {
    EXPECT_EQ(QByteArray::fromStdString(ReadBytes("/temp/temp.htm")), rootPage);
  }
  EXPECT_FALSE(QFileInfo::exists(gone));
  EXPECT_TRUE(QDir(parent.path()).isEmpty());
}

TEST(PreviewWrite, FailedWriteIsAStreamWriteError) {
  // A real full disk: a small memory file system filled to the last block.
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
  QTemporaryDir mountPoint;
  ASSERT_TRUE(mountPoint.isValid());
  const QByteArray point = QFile::encodeName(mountPoint.path());
  if (::mount("deckhand-full", point.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a memory file system: " << std::strerror(errno);
  {
    QFile filler(mountPoint.path() + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    while (filler.write(QByteArray(4096, 'f')) > 0 && filler.flush()) {
    }
  }
  ASSERT_TRUE(QDir(mountPoint.path()).mkdir("temp"));
  try {
    WritePreviewFile(PreviewFilePath(mountPoint.path()),
                     ComposePreviewPage(std::string(8192, 'x')));
    ADD_FAILURE() << "no error";
  } catch (const EWriteError& error) {
    EXPECT_STREQ(error.what(), "Stream write error");
  }
  ::umount2(point.constData(), MNT_DETACH);
}

TEST(PreviewWrite, WriteThatFailsOnlyAtCloseIsAStreamWriteError) {
  testing::TFailingCloseFs fs;
  if (!fs.Mounted()) GTEST_SKIP() << "no file system that fails at close: " << fs.Why();
  TMemoryBuffer code;
  code.SetText("<wml/>");
  TPreview preview(QFile::decodeName(fs.Path()));
  try {
    preview.Write(code);
    ADD_FAILURE() << "a close that failed was taken for success";
  } catch (const EWriteError& error) {
    EXPECT_STREQ(error.what(), "Stream write error");
  }
  // Every byte was accepted by write(); only the close failed.
  EXPECT_EQ(fs.FileSize(), static_cast<long long>(kPreviewHeader.size() + 6));
  EXPECT_EQ(fs.FailedCloses(), 1);
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
