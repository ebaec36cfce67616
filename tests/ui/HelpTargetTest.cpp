// Where the help command sends the user: the help file of the working
// directory when there is one, otherwise the user guide found beside the
// program. And what the real shell says when the desktop has nothing that
// opens the target (a fake xdg-open on the PATH plays the desktop).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "ui/Shell.h"
#include "ui/UserDialogs.h"

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

// Records the error boxes shown; the shell asks nothing else.
class TErrorRecorder : public TUserDialogs {
 public:
  TErrorRecorder() { SetUserDialogs(this); }
  ~TErrorRecorder() override { SetUserDialogs(nullptr); }
  QStringList errors;

  void ShowError(QWidget*, const QString& caption, const QString& text) override {
    errors << caption + "|" + text;
  }
  TPromptAnswer AskYesNoCancel(QWidget*, const QString&, const QString& text) override {
    ADD_FAILURE() << "unexpected prompt: " << text.toStdString();
    return TPromptAnswer::Cancel;
  }
  std::optional<QString> GetOpenFileName(QWidget*, const QStringList&, const QString&) override {
    ADD_FAILURE() << "unexpected open dialog";
    return std::nullopt;
  }
  std::optional<QString> GetSaveFileName(QWidget*, const QStringList&, const QString&) override {
    ADD_FAILURE() << "unexpected save dialog";
    return std::nullopt;
  }
  bool RunPrintDialog(QPrintDialog&) override { return false; }
  bool RunPageSetupDialog(QPageSetupDialog&) override { return false; }
};

// The real shell with a fake xdg-open first on the PATH, which records its
// argument and ends with the status in DECKHAND_FAKE_OPEN_STATUS.
class RealShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tools_.isValid());
    previousPath_ = qgetenv("PATH");
    QFile script(tools_.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(
        "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$(dirname \"$0\")/handed\"\n"
        "exit \"$DECKHAND_FAKE_OPEN_STATUS\"\n");
    script.close();
    ASSERT_TRUE(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("PATH", QFile::encodeName(tools_.path()) + ':' + previousPath_);
  }
  void TearDown() override {
    qputenv("PATH", previousPath_);
    qunsetenv("DECKHAND_FAKE_OPEN_STATUS");
  }

  // Hands target to the real shell and waits until xdg-open has ended and
  // the shell has dealt with its status.
  void OpenAndWait(const QString& target, int status) {
    qputenv("DECKHAND_FAKE_OPEN_STATUS", QByteArray::number(status));
    Shell().Open(target);
    QTRY_VERIFY_WITH_TIMEOUT(QCoreApplication::instance()->findChildren<QProcess*>().isEmpty(),
                             60000);
  }

  QStringList Handed() const {
    QFile file(tools_.filePath(QStringLiteral("handed")));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
  }

  QTemporaryDir tools_;
  QByteArray previousPath_;
  TErrorRecorder dialogs_;
};

TEST_F(RealShellTest, NothingThatOpensTheTargetIsReportedWithWhatToInstall) {
  // xdg-open's "no method available" (3) for a web address.
  const QString site = QStringLiteral("https://deckhand.example.org/");
  OpenAndWait(site, 3);
  EXPECT_EQ(Handed(), QStringList{site});
  ASSERT_EQ(dialogs_.errors.size(), 1);
  EXPECT_TRUE(dialogs_.errors[0].startsWith(QStringLiteral("Deckhand|Не удалось открыть «") + site))
      << dialogs_.errors[0].toStdString();
  EXPECT_TRUE(dialogs_.errors[0].contains(QStringLiteral("нет программы")));
  EXPECT_TRUE(dialogs_.errors[0].contains(QStringLiteral("веб-браузер")));

  // The guide, which a browser opens, and a failed action (4).
  OpenAndWait(QStringLiteral("/usr/share/deckhand/guide/index.html"), 4);
  ASSERT_EQ(dialogs_.errors.size(), 2);
  EXPECT_TRUE(dialogs_.errors[1].contains(QStringLiteral("веб-браузер")));

  // A mail link wants a mail program.
  OpenAndWait(QStringLiteral("mailto:author@example.org?subject=Deckhand v0.2"), 3);
  ASSERT_EQ(dialogs_.errors.size(), 3);
  EXPECT_TRUE(dialogs_.errors[2].contains(QStringLiteral("почтовую программу")));

  // Success says nothing.
  OpenAndWait(site, 0);
  EXPECT_EQ(dialogs_.errors.size(), 3);
  EXPECT_EQ(Handed().size(), 4);
}

TEST_F(RealShellTest, MissingOpenerAndMissingFileAreNamed) {
  OpenAndWait(QStringLiteral("help.hlp"), 2);
  ASSERT_EQ(dialogs_.errors.size(), 1);
  EXPECT_EQ(dialogs_.errors[0],
            QStringLiteral("Deckhand|Не удалось открыть «help.hlp»: файл не найден."));

  // No xdg-open at all: a PATH with nothing on it.
  qputenv("PATH", QFile::encodeName(tools_.path() + QStringLiteral("/nothing")));
  OpenAndWait(QStringLiteral("help.hlp"), 0);
  ASSERT_EQ(dialogs_.errors.size(), 2);
  EXPECT_TRUE(dialogs_.errors[1].contains(QStringLiteral("xdg-utils")))
      << dialogs_.errors[1].toStdString();
  EXPECT_TRUE(Handed().size() == 1);
}

}  // namespace
}  // namespace deckhand
