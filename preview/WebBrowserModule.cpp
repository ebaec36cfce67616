// The HTML view, built as a module of its own that the preview pane loads
// at the first preview: linking the web engine into the program would load
// it (and initialise OpenGL for it) at every start.
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

}  // namespace
}  // namespace deckhand

extern "C" Q_DECL_EXPORT QWidget* DECKHAND_CREATE_WEB_BROWSER(QWidget* parent,
                                                              const QUrl& previewPage) {
  return new deckhand::TWebBrowser(parent, previewPage);
}

#include "WebBrowserModule.moc"
