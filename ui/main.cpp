// The program's entry: prepares the HTML view, the fonts and the resources,
// builds the main window (which applies the new-document template and shows
// the splash), then shows the window and runs the event loop until it
// closes. The command line is ignored. Without a display the program says
// so in one line and ends with status 1.
#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <exception>

#include "assets/Assets.h"
#include "core/Errors.h"
#include "preview/WebEngineSetup.h"
#include "ui/Fonts.h"
#include "ui/ToolkitSetup.h"
#include "ui/Unit1.h"
#include "ui/UserDialogs.h"
#include "ui/Version.h"

namespace {

// Errors that escape an event handler outside the command guard are reported
// like any other and the program goes on; a cancellation is dropped.
class TApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const deckhand::EAbort&) {
    } catch (const std::exception& error) {
      deckhand::ShowErrorBox(activeWindow(), error);
    }
    return false;
  }
};

}  // namespace

int main(int /*argc*/, char** /*argv*/) {
  deckhand::PrepareWebEngine();
  // The program reads no command-line arguments, and neither does the
  // toolkit or the HTML view: options such as -reverse, -style or
  // -platform and a file named on the command line change nothing. The
  // application object sees the program's name alone.
  static char programName[] = "deckhand";
  static char* arguments[] = {programName, nullptr};
  static int argumentCount = 1;
  deckhand::WatchForMissingDisplay();
  TApplication app(argumentCount, arguments);
  deckhand::DisplayCheckDone();
  // The toolkit's own texts (file and print dialogs, the editor's context
  // menu, standard buttons) in the user's language; nothing of the
  // toolkit's is remembered in the user's configuration.
  deckhand::InstallToolkitTranslations(QLocale::system());
  deckhand::KeepToolkitSettingsOut();
  // The web engine reports its graphics set-up at start; keep the terminal
  // for what matters.
  QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
  deckhand::InitAssets();
  QApplication::setApplicationName(QStringLiteral("Deckhand"));
  QApplication::setApplicationVersion(QString::fromLatin1(deckhand::kFullVersion));
  QApplication::setDesktopFileName(QStringLiteral("deckhand"));
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/deckhand-%1.png").arg(size), QSize(size, size));
  }
  QApplication::setWindowIcon(icon);
  deckhand::RegisterProgramFonts();
  QApplication::setFont(deckhand::WindowFont());

  deckhand::TMain window;
  window.FormCreate(&window);
  window.show();
  // Unsaved text is kept in the user's state folder; a former run's is offered.
  window.EnableRecovery(deckhand::DefaultRecoveryFolder());
  return QApplication::exec();
}
