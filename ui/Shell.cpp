#include "ui/Shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

namespace deckhand {

namespace {

// xdg-open hands its one argument to the desktop's handler for it. The
// target goes to it as a single argument, untouched (no quoting, no
// encoding), and the detached process inherits the current working
// directory, so a relative file name is found where it would be at this
// moment. Its result is ignored: a missing handler or file is reported, if
// at all, by the desktop.
class TRealShell : public TShell {
 public:
  void Open(const QString& target) override {
    QProcess::startDetached(QStringLiteral("xdg-open"), QStringList{target});
  }
};

TShell* g_installed = nullptr;

}  // namespace

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
