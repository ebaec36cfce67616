// The entry of the HTML view's module (built from WebBrowserModule.cpp):
//   QWidget* DECKHAND_CREATE_WEB_BROWSER(QWidget* parent, const QUrl& previewPage)
// returns a new QWebEngineView child of parent whose page is restricted by
// RestrictPreviewPage (previewPage is the only local file it may load) and
// that has a signal Failed(QString), emitted when its page process ends
// abnormally. The view
// loads an address given to its "url" property and signals loadStarted()
// and loadFinished(bool) as every QWebEngineView does.
#pragma once

#define DECKHAND_CREATE_WEB_BROWSER DeckhandCreateWebBrowser
#define DECKHAND_CREATE_WEB_BROWSER_NAME "DeckhandCreateWebBrowser"
