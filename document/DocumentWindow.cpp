#include "document/DocumentWindow.h"

namespace deckhand {

QStringList DialogFilterEntries(const QString& filter) {
  QStringList entries;
  const QStringList parts = filter.split(u'|');
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    const QString& masks = parts[i + 1];
    if (description.isEmpty() || masks.isEmpty()) continue;
    QString patterns = masks;
    patterns.replace(u';', u' ');
    const QString shown = QStringLiteral("(") + patterns + QStringLiteral(")");
    entries << (description.contains(shown) ? description : description + u' ' + shown);
  }
  return entries;
}

}  // namespace deckhand
