#include "core/MarkupCommands.h"

#include "core/Encoding.h"

namespace deckhand {

const std::vector<std::string>& NewDocumentTemplateLines() {
  static const std::vector<std::string> lines = {
      "<?xml version=\"1.0\"?>",
      "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\">",
      "<wml>",
      "",
      "<card id=\"card1\" title=\"MainPage\">",
      Cp1251("<p>Привет всем!</p>"),
      "</card>",
      "",
      "</wml>",
  };
  return lines;
}

const std::string& CardTemplate() {
  static const std::string text = "<card id=\"\" title=\"\">\r\n</card>\r\n";
  return text;
}

const std::string& FormTemplate() {
  static const std::string text = "<do type=\"accept\" label=\"Go\">\r\n\r\n</do>\r\n";
  return text;
}

void ApplyNewDocumentTemplate(TCodeBuffer& buffer) {
  buffer.Clear();
  for (const std::string& line : NewDocumentTemplateLines()) {
    buffer.Add(line);
  }
}

void WrapSelection(TCodeBuffer& buffer, const std::string& openTag, const std::string& closeTag) {
  buffer.SetSelText(openTag + buffer.GetSelText() + closeTag);
}

std::string ComposeLink(const std::string& address, const std::string& text) {
  return "<a href=\"" + address + "\">" + text + "</a>";
}

std::string ComposeImage(const std::string& file, const std::string& alternative) {
  return "<img src=\"" + file + "\" alt=\"" + alternative + "\"/>";
}

void LargerText(TCodeBuffer& buffer) { WrapSelection(buffer, "<big>", "</big>"); }
void SmallerText(TCodeBuffer& buffer) { WrapSelection(buffer, "<small>", "</small>"); }
void BoldText(TCodeBuffer& buffer) { WrapSelection(buffer, "<b>", "</b>"); }
void ItalicText(TCodeBuffer& buffer) { WrapSelection(buffer, "<i>", "</i>"); }
void UnderlineText(TCodeBuffer& buffer) { WrapSelection(buffer, "<u>", "</u>"); }
void AlignParagraphLeft(TCodeBuffer& buffer) {
  WrapSelection(buffer, "<p align=\"left\">", "</p>");
}
void AlignParagraphCenter(TCodeBuffer& buffer) {
  WrapSelection(buffer, "<p align=\"center\">", "</p>");
}
void AlignParagraphRight(TCodeBuffer& buffer) {
  WrapSelection(buffer, "<p align=\"right\">", "</p>");
}
void NewParagraph(TCodeBuffer& buffer) { WrapSelection(buffer, "<p>", "</p>"); }

void InsertLineBreak(TCodeBuffer& buffer) { buffer.SetSelText("<br/>"); }
void InsertIndent(TCodeBuffer& buffer) { buffer.SetSelText("&nbsp;"); }
void InsertInputField(TCodeBuffer& buffer) {
  buffer.SetSelText("<input format=\"\" name=\"\" title=\"\" size=\"3\" maxlength=\"3\"/>");
}
void InsertGoButton(TCodeBuffer& buffer) { buffer.SetSelText("<go href=\"#\"/>"); }
void InsertForm(TCodeBuffer& buffer) { buffer.SetSelText(FormTemplate()); }
void InsertNewCard(TCodeBuffer& buffer) { buffer.SetSelText(CardTemplate()); }

}  // namespace deckhand
