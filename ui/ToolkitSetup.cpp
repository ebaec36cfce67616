#include "ui/ToolkitSetup.h"

#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>
#include <QtGlobal>
#include <cstdio>
#include <vector>

namespace deckhand {

bool InstallToolkitTranslations(const QLocale& locale) {
  auto* application = QCoreApplication::instance();
  if (application == nullptr) return false;
  auto* translator = new QTranslator(application);
  // Tries qtbase_ru_RU.qm, then qtbase_ru.qm, and so on for each of the
  // locale's interface languages.
  if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

void KeepToolkitSettingsOut() {
  // The toolkit's user-scope settings file goes into the folder given here.
  // /dev/null is never a folder: the file can be neither read nor created
  // there, so the file dialog starts from its defaults each time and what
  // it would remember is dropped. The system-wide files are still read.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
}

QString NoDisplayMessage() {
  return QStringLiteral(
      "deckhand: нет дисплея X или Wayland, задайте DISPLAY / "
      "no X or Wayland display; set DISPLAY");
}

namespace {

struct THeldMessage {
  QtMsgType type;
  QByteArray category;
  QString text;
};

QtMessageHandler g_previous = nullptr;
bool g_watching = false;
std::vector<THeldMessage>* g_held = nullptr;

bool IsWindowSystemMessage(const QMessageLogContext& context) {
  return context.category != nullptr && qstrncmp(context.category, "qt.qpa", 6) == 0;
}

void WatchingHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (g_watching && type == QtFatalMsg && text.contains(QLatin1String("platform plugin"))) {
    // The toolkit found no window system it could use: the held messages
    // only say the same at length.
    const QByteArray line = NoDisplayMessage().toLocal8Bit() + '\n';
    (void)!::write(STDERR_FILENO, line.constData(), static_cast<size_t>(line.size()));
    ::_exit(1);
  }
  if (g_watching && g_held != nullptr && type != QtFatalMsg && IsWindowSystemMessage(context)) {
    g_held->push_back({type, QByteArray(context.category), text});
    return;
  }
  g_previous(type, context, text);
}

}  // namespace

void WatchForMissingDisplay() {
  if (g_watching) return;
  static std::vector<THeldMessage> held;
  g_held = &held;
  g_watching = true;
  g_previous = qInstallMessageHandler(WatchingHandler);
}

void DisplayCheckDone() {
  if (!g_watching) return;
  g_watching = false;
  qInstallMessageHandler(g_previous);
  // The start went on, so what the window system plug-in said is news.
  for (const THeldMessage& message : *g_held) {
    const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
    g_previous(message.type, context, message.text);
  }
  g_held->clear();
}

}  // namespace deckhand
