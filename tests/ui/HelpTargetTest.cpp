// Where the help command sends the user: the help file of the working
// directory when there is one, otherwise the user guide found beside the
// program.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "ui/Shell.h"

namespace deckhand {
namespace {

// Runs each case in a scratch working directory and puts the previous one
// back afterwards.
class HelpTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(work_.isValid());
    previous_ = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work_.path()));
  }
  void TearDown() override { QDir::setCurrent(previous_); }

  static void Touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  }

  QTemporaryDir work_;
  QString previous_;
};

TEST_F(HelpTargetTest, HelpFileInTheWorkingDirectoryWinsOverTheGuide) {
  const QString guide = QStringLiteral("/opt/guide/index.html");
  EXPECT_EQ(HelpTarget(QStringLiteral("help.hlp"), guide), guide);

  Touch(QStringLiteral("help.hlp"));
  EXPECT_EQ(HelpTarget(QStringLiteral("help.hlp"), guide), QStringLiteral("help.hlp"));

  // A folder of that name is handed over too, as the shell would open it.
  ASSERT_TRUE(QFile::remove(QStringLiteral("help.hlp")));
  ASSERT_TRUE(QDir().mkdir(QStringLiteral("help.hlp")));
  EXPECT_EQ(HelpTarget(QStringLiteral("help.hlp"), guide), QStringLiteral("help.hlp"));
}

TEST_F(HelpTargetTest, OnlyTheCurrentWorkingDirectoryCounts) {
  // A help file in the folder that was current before does not count once
  // the working directory has moved on, and one found later does.
  QTemporaryDir other;
  ASSERT_TRUE(other.isValid());
  Touch(QStringLiteral("help.hlp"));
  const QString guide = QStringLiteral("/opt/guide/index.html");
  ASSERT_TRUE(QDir::setCurrent(other.path()));
  EXPECT_EQ(HelpTarget(QStringLiteral("help.hlp"), guide), guide);
  ASSERT_TRUE(QDir::setCurrent(work_.path()));
  EXPECT_EQ(HelpTarget(QStringLiteral("help.hlp"), guide), QStringLiteral("help.hlp"));
}

TEST_F(HelpTargetTest, DanglingLinkOrNoGuide) {
  const QString guide = QStringLiteral("/opt/guide/index.html");
  ASSERT_TRUE(QFile::link(work_.filePath(QStringLiteral("gone.hlp")), QStringLiteral("help.hlp")));
  EXPECT_EQ(HelpTarget(QStringLiteral("help.hlp"), guide), guide);
  // Without a guide the bare name still goes to the shell: the command is
  // never a silent no-op.
  EXPECT_EQ(HelpTarget(QStringLiteral("help.hlp"), QString()), QStringLiteral("help.hlp"));
}

TEST_F(HelpTargetTest, GuideIsFoundFromTheProgramsFolder) {
  // The installed layout: prefix/bin/deckhand and
  // prefix/share/deckhand/guide/index.html.
  QDir prefix(work_.path());
  ASSERT_TRUE(prefix.mkpath(QStringLiteral("bin")));
  ASSERT_TRUE(prefix.mkpath(QStringLiteral("share/deckhand/guide")));
  const QString bin = prefix.filePath(QStringLiteral("bin"));
  const QString relative = QStringLiteral("../share/deckhand/guide/index.html");

  EXPECT_EQ(FindUserGuide(bin, relative), QString()) << "no page yet";
  ASSERT_TRUE(prefix.mkpath(QStringLiteral("share/deckhand/guide/index.html")));
  EXPECT_EQ(FindUserGuide(bin, relative), QString()) << "a folder is no page";
  ASSERT_TRUE(prefix.rmdir(QStringLiteral("share/deckhand/guide/index.html")));

  Touch(prefix.filePath(QStringLiteral("share/deckhand/guide/index.html")));
  const QString found = FindUserGuide(bin, relative);
  EXPECT_EQ(found, QDir::cleanPath(
                       prefix.absoluteFilePath(QStringLiteral("share/deckhand/guide/index.html"))));
  EXPECT_FALSE(found.contains(QStringLiteral(".."))) << found.toStdString();
  EXPECT_TRUE(QDir::isAbsolutePath(found));

  // Found the same from any working directory.
  ASSERT_TRUE(QDir::setCurrent(QDir::rootPath()));
  EXPECT_EQ(FindUserGuide(bin, relative), found);
  EXPECT_EQ(FindUserGuide(QString(), relative), QString());
  EXPECT_EQ(FindUserGuide(bin, QString()), QString());
}

}  // namespace
}  // namespace deckhand
