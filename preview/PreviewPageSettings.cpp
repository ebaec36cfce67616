#include "preview/PreviewPageSettings.h"

#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>

namespace deckhand {

namespace {

// Lets through the preview page and anything that is not a local file;
// every other local file (a picture, a frame, a style sheet, a link the
// user follows in the view) is refused before it is read.
class TLocalFileGuard : public QWebEngineUrlRequestInterceptor {
 public:
  TLocalFileGuard(const QUrl& previewPage, QObject* parent)
      : QWebEngineUrlRequestInterceptor(parent),
        previewPage_(previewPage.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment)) {}

  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const QUrl url = info.requestUrl();
    if (!url.isLocalFile()) return;
    if (url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment) == previewPage_) return;
    info.block(true);
  }

 private:
  QUrl previewPage_;
};

}  // namespace

void RestrictPreviewPage(QWebEnginePage* page, const QUrl& previewPage) {
  QWebEngineSettings* settings = page->settings();
  settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
  settings->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
  settings->setAttribute(QWebEngineSettings::AllowWindowActivationFromJavaScript, false);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  settings->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
  settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
  settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
  page->setUrlRequestInterceptor(new TLocalFileGuard(previewPage, page));
}

}  // namespace deckhand
