// The HTML view, built as a module of its own that the preview pane loads
// at the first preview: linking the web engine into the program would load
// it (and initialise OpenGL for it) at every start.
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>

#include "preview/PreviewPageSettings.h"
#include "preview/WebBrowserModule.h"

namespace deckhand {
namespace {

// The view with one signal of its own: the page process ended abnormally.
// Its page is held to what a preview needs before it loads anything.
class TWebBrowser : public QWebEngineView {
  Q_OBJECT

 public:
  TWebBrowser(QWidget* parent, const QUrl& previewPage) : QWebEngineView(parent) {
    RestrictPreviewPage(page(), previewPage);
    connect(page(), &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
              if (status == QWebEnginePage::NormalTerminationStatus) return;
              const char* how = status == QWebEnginePage::CrashedTerminationStatus ? "crashed"
                                : status == QWebEnginePage::KilledTerminationStatus
                                    ? "was killed"
                                    : "ended abnormally";
              emit Failed(QStringLiteral("The HTML view's page process %1 (exit code %2)")
                              .arg(QLatin1String(how))
                              .arg(exitCode));
            });
  }

 signals:
  void Failed(const QString& message);
};

// The view draws its pages through Qt Quick. With Quick's default renderer
// the whole main window is from then on composed through OpenGL (through
// Mesa's software OpenGL where there is no GPU): Qt replaces the window's
// native window when the view is created, which the user sees as the window
// vanishing and coming back, and every key typed in the editor afterwards
// pays for composing the window. The phone's screen is a small page, which
// Quick's software renderer draws as well; with it the view paints like any
// other widget. Set once, before the view's first Quick window exists; a
// renderer the user chose through Qt's environment variables wins.
void ChooseSoftwareRenderer() {
  static const bool chosen = [] {
    for (const char* variable : {"QT_QUICK_BACKEND", "QMLSCENE_DEVICE", "QSG_RHI_BACKEND"}) {
      if (qEnvironmentVariableIsSet(variable)) return false;
    }
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    return true;
  }();
  static_cast<void>(chosen);
}

}  // namespace
}  // namespace deckhand

extern "C" Q_DECL_EXPORT QWidget* DECKHAND_CREATE_WEB_BROWSER(QWidget* parent,
                                                              const QUrl& previewPage) {
  deckhand::ChooseSoftwareRenderer();
  return new deckhand::TWebBrowser(parent, previewPage);
}

#include "WebBrowserModule.moc"
