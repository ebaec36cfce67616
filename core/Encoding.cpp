#include "core/Encoding.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

namespace deckhand {

namespace {

constexpr const char* kCodecName = "windows-1251";

// Encodes one code point; returns false when the code page has no byte for it.
bool EncodeCodePoint(char32_t codePoint, std::string& out) {
  QStringEncoder encoder(kCodecName, QStringConverter::Flag::Stateless);
  const QString one = QString::fromUcs4(&codePoint, 1);
  const QByteArray bytes = encoder(one);
  if (encoder.hasError() || bytes.size() != 1) {
    return false;
  }
  out.push_back(bytes[0]);
  return true;
}

}  // namespace

QString Cp1251ToUnicode(std::string_view bytes) {
  QStringDecoder decoder(kCodecName, QStringConverter::Flag::Stateless);
  return decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string UnicodeToCp1251(const QString& text, bool* representable) {
  QStringEncoder encoder(kCodecName, QStringConverter::Flag::Stateless);
  const QByteArray bytes = encoder(text);
  if (!encoder.hasError() && bytes.size() == text.size()) {
    if (representable) *representable = true;
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
  }
  // Slow path: encode character by character and spell out what the code
  // page lacks as a numeric character reference.
  std::string out;
  out.reserve(static_cast<size_t>(text.size()) + 16);
  bool allEncoded = true;
  const QList<uint> codePoints = text.toUcs4();
  for (uint cp : codePoints) {
    if (!EncodeCodePoint(static_cast<char32_t>(cp), out)) {
      allEncoded = false;
      out += "&#" + std::to_string(cp) + ";";
    }
  }
  if (representable) *representable = allEncoded;
  return out;
}

bool IsCp1251Representable(const QString& text) {
  QStringEncoder encoder(kCodecName, QStringConverter::Flag::Stateless);
  const QByteArray bytes = encoder(text);
  return !encoder.hasError() && bytes.size() == text.size();
}

std::string Cp1251(std::string_view utf8) {
  return UnicodeToCp1251(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

}  // namespace deckhand
