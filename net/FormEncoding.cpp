#include "net/FormEncoding.h"

#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

namespace deckhand::net {

namespace {

bool CanEncode(std::string_view charset) {
  if (charset.empty()) return false;
  QStringEncoder encoder(QByteArray(charset.data(), qsizetype(charset.size())).constData());
  return encoder.isValid();
}

void Escape(const QByteArray& bytes, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' ||
        c == '-' || c == '.' || c == '_') {
      out += char(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
}

}  // namespace

std::string ChooseFormCharset(std::string_view acceptCharset, std::string_view deckCharset) {
  std::size_t pos = 0;
  while (pos < acceptCharset.size()) {
    const std::size_t end = acceptCharset.find_first_of(", \t\r\n", pos);
    const std::string_view name = acceptCharset.substr(
        pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    // "unknown" is the attribute's default: the deck's own charset.
    if (!name.empty() && name != "unknown" && CanEncode(name)) return std::string(name);
    if (end == std::string_view::npos) break;
    pos = end + 1;
  }
  if (CanEncode(deckCharset)) return std::string(deckCharset);
  return "UTF-8";
}

std::optional<std::string> EncodeForm(const std::vector<TField>& fields, std::string_view charset,
                                      std::string& error) {
  const QByteArray name(charset.data(), qsizetype(charset.size()));
  std::string out;
  for (const TField& field : fields) {
    if (!out.empty()) out += '&';
    for (const std::string* text : {&field.Name, &field.Value}) {
      QStringEncoder encoder(name.constData(), QStringConverter::Flag::Stateless);
      if (!encoder.isValid()) {
        error = "Кодировка " + std::string(charset) + " не поддерживается";
        return std::nullopt;
      }
      const QString unicode = QString::fromUtf8(text->data(), qsizetype(text->size()));
      const QByteArray bytes = encoder.encode(unicode);
      // Checked by the way back: a converter may put a substitute in place
      // of a character its charset lacks without reporting it.
      QStringDecoder decoder(name.constData(), QStringConverter::Flag::Stateless);
      if (encoder.hasError() || QString(decoder.decode(bytes)) != unicode) {
        error = "Поле " + field.Name + " содержит знаки, которых нет в кодировке " +
                std::string(charset);
        return std::nullopt;
      }
      Escape(bytes, out);
      if (text == &field.Name) out += '=';
    }
  }
  return out;
}

}  // namespace deckhand::net
