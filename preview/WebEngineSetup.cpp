#include "preview/WebEngineSetup.h"

#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QStringList>
#include <QtGlobal>

namespace deckhand {

namespace {

// Whether the machine has a GPU render node (/dev/dri/renderD128 and on).
bool HasRenderNode() {
  const QDir dri(QStringLiteral("/dev/dri"));
  return !dri.entryList({QStringLiteral("renderD*")}, QDir::System).isEmpty();
}

}  // namespace

void PrepareWebEngine() {
  // The HTML view runs Chromium, which will not start its sandbox for the
  // root user: every page then fails and the view stays blank. For root the
  // sandbox is switched off (unless the environment already says what to
  // do), so that the preview still shows. Other users keep the sandbox.
  // Only the environment is set here: the engine itself is loaded at the
  // first preview.
  if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", QByteArray("1"));
  }
  // Without a graphics device (an X server such as Xvfb, a remote session)
  // Chromium's GPU process finds only Mesa's software OpenGL, fails to set
  // up its command buffers and logs errors at the first page; its software
  // compositor draws the same page without them. A user's own flags win.
  if (!HasRenderNode() && !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) {
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", QByteArray("--disable-gpu"));
  }
}

QString WebEngineProblem() {
  const QString program = QStringLiteral("QtWebEngineProcess");
  QStringList candidates;
  const QString fromEnvironment = qEnvironmentVariable("QTWEBENGINEPROCESS_PATH");
  if (!fromEnvironment.isEmpty()) {
    candidates << fromEnvironment;
  } else {
    candidates << QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + u'/' + program
               << QCoreApplication::applicationDirPath() + u'/' + program;
  }
  for (const QString& candidate : candidates) {
    const QFileInfo file(candidate);
    if (file.isFile() && file.isExecutable()) return {};
  }
  return QStringLiteral("Cannot start the HTML view: its helper program was not found as %1")
      .arg(candidates.join(QStringLiteral(" or ")));
}

QStringList WebBrowserModuleFiles() {
  return {QCoreApplication::applicationDirPath() +
              QStringLiteral("/" DECKHAND_WEB_BROWSER_MODULE_FROM_PROGRAM),
          QStringLiteral(DECKHAND_WEB_BROWSER_MODULE_IN_BUILD)};
}

}  // namespace deckhand
