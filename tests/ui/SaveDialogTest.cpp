// The real save dialog answered from the test: a read-only file and a file
// in a folder the user may not write are refused with a message while the
// dialog stays open; a name typed with quotes is taken as it stands.
//
// Permission bits stop nothing for root, so under root the test runs itself
// again as the unprivileged user "nobody" (with setpriv) and checks that run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <optional>
#include <vector>

#include "ui/UserDialogs.h"

namespace deckhand {
namespace {

constexpr char kChildVariable[] = "DECKHAND_SAVE_DIALOG_TEST_CHILD";

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// What one typed name led to.
struct TAttempt {
  QString message;  // text of the message box shown, empty when none
  bool stillOpen = false;
};

// Once the save dialog is open, types each name into it and presses its
// Save button; closes any message box that comes up, noting its text.
void TypeNamesOnceOpen(const QStringList& names, std::vector<TAttempt>& attempts) {
  QTimer::singleShot(0, [names, &attempts] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    for (const QString& name : names) {
      TAttempt attempt;
      QTimer closer;
      QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        attempt.message = box->text();
        box->accept();
      });
      closer.start(20);
      // Typed into the focused name field, as a user types it (the dialog
      // rewrites the field from its file list only while it has no focus).
      QApplication::setActiveWindow(dialog);
      edit->setFocus(Qt::OtherFocusReason);
      edit->selectAll();
      QTest::keyClicks(edit, name);
      EXPECT_EQ(edit->text(), name);
      static_cast<QDialog*>(dialog)->accept();  // what the Save button does
      closer.stop();
      attempt.stillOpen = dialog->isVisible();
      attempts.push_back(attempt);
      if (!attempt.stillOpen) break;
    }
    if (dialog->isVisible()) dialog->reject();
  });
}

void CheckTheDialog() {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString base = dir.path();
  ASSERT_TRUE(WriteFile(base + "/locked.wml", "locked"));
  ASSERT_EQ(::chmod(QFile::encodeName(base + "/locked.wml").constData(), 0444), 0);
  ASSERT_TRUE(QDir(base).mkdir("protected"));
  ASSERT_TRUE(WriteFile(base + "/protected/inside.wml", "inside"));
  ASSERT_EQ(::chmod(QFile::encodeName(base + "/protected/inside.wml").constData(), 0666), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(base + "/protected").constData(), 0555), 0);

  std::vector<TAttempt> attempts;
  const QString quoted = QStringLiteral("draft \"notes\" v2");
  TypeNamesOnceOpen(
      {"locked.wml", base + "/protected/inside.wml", base + "/protected/new.wml", quoted},
      attempts);
  const std::optional<QString> chosen = UserDialogs().GetSaveFileName(
      nullptr, {QStringLiteral("WML файлы (*.wml)")}, base + "/start.wml");
  ::chmod(QFile::encodeName(base + "/protected").constData(), 0755);

  ASSERT_EQ(attempts.size(), 4u);
  // The read-only file.
  EXPECT_TRUE(attempts[0].message.contains("locked.wml")) << attempts[0].message.toStdString();
  EXPECT_TRUE(attempts[0].message.contains("только для чтения"))
      << attempts[0].message.toStdString();
  EXPECT_TRUE(attempts[0].stillOpen);
  // A writable file and a new one, both in the write-protected folder.
  for (int i : {1, 2}) {
    EXPECT_TRUE(attempts[i].message.contains("нет разрешения на сохранение"))
        << attempts[i].message.toStdString();
    EXPECT_TRUE(attempts[i].message.contains(base + "/protected"))
        << attempts[i].message.toStdString();
    EXPECT_TRUE(attempts[i].stillOpen);
  }
  // A new name in a writable folder closes the dialog with that very name.
  EXPECT_TRUE(attempts[3].message.isEmpty());
  EXPECT_FALSE(attempts[3].stillOpen);
  EXPECT_EQ(chosen, std::optional<QString>(base + "/" + quoted));
  // The dialog itself wrote nothing.
  QFile locked(base + "/locked.wml");
  ASSERT_TRUE(locked.open(QIODevice::ReadOnly));
  EXPECT_EQ(locked.readAll(), QByteArray("locked"));
  EXPECT_FALSE(QFile::exists(base + "/protected/new.wml"));
}

TEST(SaveDialog, RefusesReadOnlyFilesAndWriteProtectedFoldersAndStaysOpen) {
  if (::geteuid() != 0) {
    CheckTheDialog();
    return;
  }
  if (qEnvironmentVariableIsSet(kChildVariable)) GTEST_SKIP() << "still root in the child";
  const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
  if (setpriv.isEmpty()) GTEST_SKIP() << "setpriv (util-linux) is needed to run as nobody";
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  ASSERT_EQ(::chown(QFile::encodeName(home.path()).constData(), 65534, 65534), 0);

  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
  environment.insert(QStringLiteral("HOME"), home.path());
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                        QStringLiteral("--clear-groups"), QStringLiteral("--"),
                        QCoreApplication::applicationFilePath(),
                        QStringLiteral("--gtest_filter=SaveDialog.*")});
  ASSERT_TRUE(child.waitForFinished(120000)) << "the run as nobody did not end";
  const QString output = QString::fromLocal8Bit(child.readAll());
  EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
  EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

}  // namespace
}  // namespace deckhand
