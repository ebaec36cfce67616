#include "ui/Fonts.h"

#include <QFile>
#include <QFontDatabase>

namespace deckhand {

namespace {

const char* const kFontFolder = "/usr/share/wine/fonts/";
const char* const kFontFiles[] = {"ms_sans_serif.ttf", "tahoma.ttf", "tahomabd.ttf"};

QFont Font(const QString& family, int pixelSize) {
  QFont font(family);
  font.setPixelSize(pixelSize);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace

int RegisterProgramFonts() {
  int added = 0;
  for (const char* name : kFontFiles) {
    const QString path = QString::fromLatin1(kFontFolder) + QLatin1String(name);
    if (QFile::exists(path) && QFontDatabase::addApplicationFont(path) >= 0) ++added;
  }
  return added;
}

QFont WindowFont(int pixelSize) { return Font(QStringLiteral("MS Sans Serif"), pixelSize); }

QFont TahomaFont(int pixelSize) { return Font(QStringLiteral("Tahoma"), pixelSize); }

}  // namespace deckhand
