#include "net/ResponseView.h"

#include <QString>
#include <QStringDecoder>

#include "wml/DeckCheck.h"
#include "wml/DeckText.h"
#include "wml/WbxmlDecode.h"

namespace deckhand::net {

namespace {

std::string StatusLine(const TResponse& response) {
  std::string line = "Ответ сервера: " + std::to_string(response.Status);
  if (!response.Reason.empty()) line += " " + response.Reason;
  line +=
      "\nТип: " + (response.ContentType.empty() ? std::string("не указан") : response.ContentType);
  return line;
}

TResponseView ErrorView(std::string text) {
  TResponseView view;
  view.Kind = TViewKind::Error;
  view.ErrorText = std::move(text);
  return view;
}

std::optional<std::string> DecodeTextDeck(const TResponse& response, std::string& error) {
  if (response.Charset.empty()) {
    // No charset in the response: the deck's own declaration decides
    // (XML 1.0 §4.3.3).
    const wml::TDeckText text(response.Body);
    if (text.UnknownEncoding()) {
      error = "Кодировка колоды " + text.Encoding() + " не поддерживается";
      return std::nullopt;
    }
    if (text.Problem()) {
      error = text.Problem()->Message;
      return std::nullopt;
    }
    return DeclareUtf8(text.Utf8());
  }
  QStringDecoder decoder(response.Charset.c_str());
  if (!decoder.isValid()) {
    error = "Кодировка ответа " + response.Charset + " не поддерживается";
    return std::nullopt;
  }
  const QString text = decoder.decode(QByteArray::fromStdString(response.Body));
  if (decoder.hasError()) {
    error = "Колода содержит байты, которых нет в кодировке " + response.Charset;
    return std::nullopt;
  }
  return DeclareUtf8(text.toStdString());
}

}  // namespace

std::string DeclareUtf8(std::string text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  if (!text.starts_with("<?xml") || text.size() < 6 ||
      std::string_view(" \t\r\n").find(text[5]) == std::string_view::npos)
    return text;
  const std::size_t end = text.find("?>");
  if (end == std::string::npos) return text;
  std::size_t pos = text.find("encoding", 5);
  if (pos == std::string::npos || pos > end) return text;
  pos += 8;
  while (pos < end && std::string_view(" \t\r\n").find(text[pos]) != std::string_view::npos) ++pos;
  if (pos >= end || text[pos] != '=') return text;
  ++pos;
  while (pos < end && std::string_view(" \t\r\n").find(text[pos]) != std::string_view::npos) ++pos;
  if (pos >= end || (text[pos] != '"' && text[pos] != '\'')) return text;
  const std::size_t close = text.find(text[pos], pos + 1);
  if (close == std::string::npos || close > end) return text;
  text.replace(pos + 1, close - pos - 1, "UTF-8");
  return text;
}

TResponseView ViewOf(const TResponse& response, std::size_t maxCompiledDeckBytes) {
  if (!response.Ok()) return ErrorView(response.Error);
  const std::string& type = response.ContentType;
  if (type == "text/vnd.wap.wml" || type == "application/vnd.wap.wmlc") {
    TResponseView view;
    view.Kind = TViewKind::Deck;
    std::string error;
    std::optional<std::string> deck;
    if (type == "application/vnd.wap.wmlc") {
      view.Compiled = true;
      deck = wml::DecodeWmlc(response.Body, error);
    } else {
      deck = DecodeTextDeck(response, error);
    }
    if (!deck) return ErrorView("Колода не прочитана: " + error + "\n" + StatusLine(response));
    view.Deck = std::move(*deck);
    if (maxCompiledDeckBytes > 0) {
      const std::optional<std::size_t> compiledSize =
          view.Compiled ? std::optional<std::size_t>(response.Body.size())
                        : [&]() -> std::optional<std::size_t> {
        const std::optional<std::string> compiled = wml::CompileDeck(view.Deck);
        if (!compiled) return std::nullopt;
        return compiled->size();
      }();
      if (compiledSize && *compiledSize > maxCompiledDeckBytes) {
        return ErrorView("Колода слишком велика для телефона: " + wml::ByteCount(*compiledSize) +
                         " в скомпилированном виде, телефон принимает до " +
                         wml::ByteCountGenitive(maxCompiledDeckBytes) + "\n" +
                         StatusLine(response));
      }
    }
    return view;
  }
  if (type == "image/vnd.wap.wbmp" || type == "application/vnd.wap.wmlscriptc") {
    TResponseView view;
    view.Kind = type == "image/vnd.wap.wbmp" ? TViewKind::Image : TViewKind::Script;
    view.Bytes = response.Body;
    return view;
  }
  return ErrorView("Телефон не может показать этот ответ\n" + StatusLine(response));
}

}  // namespace deckhand::net
