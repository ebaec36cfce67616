// The recovery file: where it goes, what it holds, who may read it, and which
// files a new start offers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "core/Errors.h"
#include "document/Recovery.h"

namespace deckhand {
namespace {

mode_t ModeOf(const QString& path) {
  struct stat info {};
  EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
  return info.st_mode & 07777;
}

// The pid of a process that has ended and been reaped.
pid_t EndedPid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

TEST(Recovery, FolderFollowsXdgStateHomeAndFallsBackForUnsetOrRelativeValues) {
  const QByteArray saved = qgetenv("XDG_STATE_HOME");
  const bool had = qEnvironmentVariableIsSet("XDG_STATE_HOME");
  qputenv("XDG_STATE_HOME", "/srv/state");
  EXPECT_EQ(DefaultRecoveryFolder(), "/srv/state/deckhand");
  // XDG Base Directory: a relative path is invalid and is ignored.
  qputenv("XDG_STATE_HOME", "relative/state");
  EXPECT_EQ(DefaultRecoveryFolder(), QDir::homePath() + "/.local/state/deckhand");
  qunsetenv("XDG_STATE_HOME");
  EXPECT_EQ(DefaultRecoveryFolder(), QDir::homePath() + "/.local/state/deckhand");
  if (had) qputenv("XDG_STATE_HOME", saved);
}

TEST(Recovery, TextAndPathComeBackExactlyFromAPrivateFile) {
  QTemporaryDir root;
  const QString folder = root.filePath("state/deckhand");
  const TRecoveryFile file(folder);
  EXPECT_FALSE(file.Exists());
  const std::string text = std::string("<wml>\r\n\xCA\xE0\xF0\xF2\xE0\r\n", 14) + '\0' + "\n\r";
  file.Write(text, QString::fromUtf8("/home/u/колода.wml"));
  ASSERT_TRUE(file.Exists());
  EXPECT_EQ(file.Path(), folder + "/recovery-" + QString::number(::getpid()) + ".wml");
  EXPECT_EQ(ModeOf(file.Path()), 0600u);
  EXPECT_EQ(ModeOf(folder), 0700u);
  const std::optional<TRecoveredText> read = TRecoveryFile::Read(file.Path());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Text, text);
  EXPECT_EQ(read->DocumentPath, QString::fromUtf8("/home/u/колода.wml"));
  // Written again: replaced whole, no temporary file left beside it.
  file.Write("short", QString());
  EXPECT_EQ(TRecoveryFile::Read(file.Path())->Text, "short");
  EXPECT_EQ(TRecoveryFile::Read(file.Path())->DocumentPath, QString());
  EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
  file.Remove();
  EXPECT_FALSE(file.Exists());
  file.Remove();  // nothing to remove: no error

  // A file that is not a recovery file is not read as one.
  QFile other(folder + "/recovery-1.wml");
  ASSERT_TRUE(other.open(QIODevice::WriteOnly));
  other.write("<wml/>");
  other.close();
  EXPECT_FALSE(TRecoveryFile::Read(other.fileName()));
  EXPECT_FALSE(TRecoveryFile::Read(folder + "/missing.wml"));
}

TEST(Recovery, AFolderThatCannotBeMadeFailsWithTheFileMessage) {
  QTemporaryDir root;
  QFile blocker(root.filePath("state"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const TRecoveryFile file(root.filePath("state/deckhand"));
  try {
    file.Write("text", QString());
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError& error) {
    EXPECT_EQ(
        std::string(error.what()).rfind("Cannot create file \"" + file.Path().toStdString(), 0), 0u)
        << error.what();
  }
}

TEST(Recovery, OnlyFilesOfProgramsThatNoLongerRunAreOffered) {
  QTemporaryDir root;
  const QString folder = root.path();
  const pid_t ended = EndedPid();
  TRecoveryFile(folder, ended).Write("lost work", QString());
  // The parent of this test still runs: its file is in use, not left over.
  TRecoveryFile(folder, ::getppid()).Write("running", QString());
  QFile stray(folder + "/recovery-notanumber.wml");
  ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
  stray.close();
  EXPECT_EQ(TRecoveryFile::Orphans(folder),
            QStringList({folder + "/recovery-" + QString::number(ended) + ".wml"}));
  EXPECT_TRUE(TRecoveryFile::Orphans(root.filePath("missing")).isEmpty());
}

}  // namespace
}  // namespace deckhand
