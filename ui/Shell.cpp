#include "ui/Shell.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include "ui/UserDialogs.h"

namespace deckhand {

namespace {

// What a failed hand-off is reported with.
void ReportFailure(const QString& target, int exitCode) {
  const QString message = ShellFailureMessage(target, exitCode);
  if (message.isEmpty()) return;
  UserDialogs().ShowError(QApplication::activeWindow(), QStringLiteral("Deckhand"), message);
}

// xdg-open hands its one argument to the desktop's handler for it. The
// target goes to it as a single argument, untouched (no quoting, no
// encoding), and the process inherits the current working directory, so a
// relative file name is found where it would be at this moment. It writes
// to the program's own standard output and error, reads nothing, and is
// left to end on its own (on a desktop without a session of its own it
// waits for the browser it started); when it ends with a failure, the
// shell says what happened. Open itself returns at once.
class TRealShell : public TShell {
 public:
  void Open(const QString& target) override {
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(QStringLiteral("xdg-open"));
    process->setArguments(QStringList{target});
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, target](QProcess::ProcessError error) {
                       if (error != QProcess::FailedToStart) return;
                       process->deleteLater();
                       ReportFailure(target, -1);
                     });
    QObject::connect(process, &QProcess::finished, process,
                     [process, target](int exitCode, QProcess::ExitStatus status) {
                       process->deleteLater();
                       if (status == QProcess::NormalExit) ReportFailure(target, exitCode);
                     });
    process->start();
  }
};

TShell* g_installed = nullptr;

}  // namespace

QString ShellFailureMessage(const QString& target, int exitCode) {
  if (exitCode == 0) return QString();
  const QString head = QStringLiteral("Не удалось открыть «%1»: ").arg(target);
  if (exitCode < 0) {
    return head + QStringLiteral(
                      "не найдена программа xdg-open, которая передаёт файлы и адреса "
                      "программам рабочего стола. Установите пакет xdg-utils.");
  }
  // xdg-open's status 2: the file does not exist.
  if (exitCode == 2) return head + QStringLiteral("файл не найден.");
  const QString lower = target.toLower();
  QString install;
  if (lower.startsWith(QStringLiteral("mailto:"))) {
    install = QStringLiteral("Установите почтовую программу (например, пакет thunderbird).");
  } else if (lower.startsWith(QStringLiteral("http:")) ||
             lower.startsWith(QStringLiteral("https:")) ||
             lower.endsWith(QStringLiteral(".html")) || lower.endsWith(QStringLiteral(".htm"))) {
    install = QStringLiteral("Установите веб-браузер (например, пакет firefox-esr).");
  } else {
    install = QStringLiteral("Установите программу, которая открывает такие файлы.");
  }
  return head + QStringLiteral("на компьютере нет программы, которая может его открыть. ") +
         install;
}

TShell& Shell() {
  static TRealShell real;
  return g_installed != nullptr ? *g_installed : real;
}

void SetShell(TShell* shell) { g_installed = shell; }

QString FindUserGuide(const QString& executableDir, const QString& guideRelative) {
  if (executableDir.isEmpty() || guideRelative.isEmpty()) return QString();
  const QFileInfo page(QDir(executableDir).filePath(guideRelative));
  if (!page.isFile()) return QString();
  return QDir::cleanPath(page.absoluteFilePath());
}

QString UserGuidePath() {
  return FindUserGuide(QCoreApplication::applicationDirPath(),
                       QStringLiteral(DECKHAND_GUIDE_FROM_BINDIR));
}

QString HelpTarget(const QString& helpFileName, const QString& guidePath) {
  // Anything of that name counts, as the shell would open it; a dangling
  // link does not.
  if (QFileInfo::exists(helpFileName) || guidePath.isEmpty()) return helpFileName;
  return guidePath;
}

}  // namespace deckhand
