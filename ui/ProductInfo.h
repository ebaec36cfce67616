// Deployment values of the product: its version, web site, the authors' mail
// address and the help file. Every window and command takes them from here.
#pragma once

#include <QLatin1Char>
#include <QString>

#include "ui/Version.h"

namespace deckhand {

// The web site's root page, with its closing slash.
inline constexpr char kWebSiteAddress[] = "https://deckhand.example.org/";

inline constexpr char kMailAddress[] = "team@deckhand.example.org";

// The help document, named without a directory: it is looked up in the
// working directory of the moment it is opened.
inline constexpr char kHelpFileName[] = "help.hlp";

// The web site as captions show it: without the closing slash.
inline QString WebSiteCaption() {
  QString site = QString::fromUtf8(kWebSiteAddress);
  if (site.endsWith(QLatin1Char('/'))) site.chop(1);
  return site;
}

// "mailto:" + address + "?subject=" + the product title ("Deckhand v0.2"),
// the space left as it is.
inline QString MailLink() {
  return QStringLiteral("mailto:") + QString::fromUtf8(kMailAddress) + QStringLiteral("?subject=") +
         QString::fromUtf8(kProductTitle);
}

}  // namespace deckhand
