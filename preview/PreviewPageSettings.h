// What the HTML view of the preview may do. A WML deck has no use for
// scripts, and the preview page must not become a way to read the user's
// other files: the view runs no script, opens no window, takes nothing from
// the clipboard, and loads no local file but the preview page itself.
#pragma once

#include <QUrl>

class QWebEnginePage;

namespace deckhand {

// Applies those limits to page, whose only local file is previewPage (the
// address the preview command loads). Call once, where the view's page is
// created, before it loads anything.
void RestrictPreviewPage(QWebEnginePage* page, const QUrl& previewPage);

}  // namespace deckhand
