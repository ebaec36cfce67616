// The findings of the deck parser: the Russian text of each fault the parser
// reports, and the place in the deck it is shown at.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "wml/DeckParseInternal.h"
#include "wml/WmlDtd.h"

namespace deckhand::wml {

using namespace parse_detail;

namespace {

// What a deck holds where the parser found no markup at all: nothing but
// white space, zero bytes (a damaged or binary file), or text that is not
// markup, quoted from its start.
std::string NothingLikeMarkup(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() &&
         (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
    ++at;
  if (at == text.size()) return "Колода пуста";
  if (text[at] == '\0') {
    return "Колода начинается нулевыми байтами (0x00), а не разметкой: это не текст WML — "
           "файл повреждён или двоичный (например, скомпилированная колода .wmlc)";
  }
  std::string start;
  for (std::size_t k = at; k < text.size() && k < at + 40 && text[k] != '\n' && text[k] != '\r';
       ++k) {
    const auto c = static_cast<unsigned char>(text[k]);
    start += c < 0x20 || c == 0x7F ? '?' : text[k];
  }
  // No half of a character at the cut: the last character's lead byte
  // tells how long it should be.
  std::size_t lead = start.size();
  while (lead > 0 && (static_cast<unsigned char>(start[lead - 1]) & 0xC0) == 0x80) --lead;
  if (lead > 0) {
    const auto c = static_cast<unsigned char>(start[lead - 1]);
    const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (lead - 1 + length > start.size()) start.resize(lead - 1);
  }
  return "Колода должна начинаться разметкой (<?xml …?>, <!DOCTYPE …> или <wml>), а начинается "
         "текстом «" +
         start + "»";
}

}  // namespace

std::string TParseRun::Message(const xmlError& error, bool& attributeError,
                               std::string& attribute) const {
  const std::string s1 = Str(error.str1), s2 = Str(error.str2), s3 = Str(error.str3);
  const std::string own = Trimmed(Str(error.message));
  attributeError = false;
  switch (error.code) {
    case XML_DTD_NO_DTD:
      return NoWml11Message();
    case XML_DTD_UNKNOWN_ELEM:
      return "Элемента <" + s1 + "> нет в WML 1.1";
    case XML_DTD_ROOT_NAME:
      // "root and DTD name do not match '%s' and '%s'": the root, the DOCTYPE's name.
      if (s2 == "wml" || s2.empty())
        return "Корневой элемент колоды должен быть <wml>, а не <" + s1 + ">";
      return "Корневой элемент колоды <" + s1 + "> не совпадает с именем в <!DOCTYPE " + s2 +
             " …>: для WML 1.1 пишется <!DOCTYPE wml …>";
    case XML_DTD_UNKNOWN_ATTRIBUTE:
      attributeError = true;
      attribute = s1;
      return "У элемента <" + s2 + "> нет атрибута " + s1 + " в WML 1.1";
    case XML_DTD_MISSING_ATTRIBUTE:
      return "У элемента <" + s1 + "> нет обязательного атрибута " + s2;
    case XML_DTD_ATTRIBUTE_VALUE:
      attributeError = true;
      attribute = s1;
      if (own.find("enumerated") != std::string::npos) {
        // "Value "%s" for attribute %s of %s is not among the enumerated set"
        attribute = s2;
        return "Значение «" + s1 + "» атрибута " + s2 + " элемента <" + s3 +
               "> недопустимо в WML 1.1";
      }
      return "Значение атрибута " + s1 + " элемента <" + s2 + "> недопустимо в WML 1.1";
    case XML_DTD_INVALID_DEFAULT:
    case XML_DTD_ID_FIXED:
    case XML_DTD_ATTRIBUTE_DEFAULT:
      if (own.rfind("ID attribute", 0) == 0) {
        // "ID attribute %s of %s is not valid must be #IMPLIED or #REQUIRED"
        return "Атрибут " + s1 + " элемента <" + s2 +
               "> объявлен с типом ID: его значение по умолчанию может быть только #IMPLIED или "
               "#REQUIRED";
      }
      if (own.rfind("Value for attribute", 0) == 0) {
        // "Value for attribute %s of %s is different from default \"%s\""
        attributeError = true;
        attribute = s1;
        return "Атрибут " + s1 + " элемента <" + s2 +
               "> объявлен #FIXED: его значение может быть только «" + s3 + "»";
      }
      // "Attribute %s of %s: invalid default value": the element, then the attribute.
      return "Значение по умолчанию «" + s3 + "» атрибута " + s2 + " элемента <" + s1 +
             "> не подходит к его объявленному типу";
    case XML_DTD_MULTIPLE_ID:
    case XML_DTD_ID_SUBSET:
      return SecondIdMessage(s1);
    case XML_DTD_EMPTY_NOTATION:
      // "NOTATION attribute %s declared for EMPTY element %s"
      return "Атрибут " + s1 + " типа NOTATION нельзя объявить у элемента <" + s2 +
             ">: он пустой (EMPTY)";
    case XML_DTD_NOTATION_REDEFINED:
      return "Нотация " + s1 + " уже объявлена: объявлять её ещё раз нельзя";
    case XML_DTD_UNKNOWN_NOTATION:
    case XML_DTD_NOTATION_VALUE:
      if (own.rfind("NOTATION attribute", 0) == 0) {
        // "NOTATION attribute %s reference an unknown notation \"%s\""
        attributeError = true;
        attribute = s1;
        return "Атрибут " + s1 + " называет нотацию «" + s2 + "», которая не объявлена";
      }
      if (own.rfind("Value", 0) == 0) {
        // "Value \"%s\" for attribute %s of %s is not a declared Notation" (or not
        // among the notations the attribute lists)
        attributeError = true;
        attribute = s2;
        return "Значение «" + s1 + "» атрибута " + s2 + " элемента <" + s3 +
               "> должно быть одной из нотаций, перечисленных в его объявлении";
      }
      return "Нотация " + s1 + " не объявлена (<!NOTATION " + s1 + " …>)";
    case XML_DTD_UNKNOWN_ENTITY:
    case XML_DTD_ENTITY_TYPE:
      // "ENTITY attribute %s reference an unknown entity \"%s\"" (or ENTITIES, or
      // "an entity \"%s\" of wrong type")
      attributeError = true;
      attribute = s1;
      return "Значение «" + s2 + "» атрибута " + s1 +
             " должно быть именем необработанной сущности (<!ENTITY … NDATA …>), объявленной в "
             "колоде";
    case XML_DTD_UNKNOWN_ID:
      // "IDREF attribute %s references an unknown ID \"%s\"" (or IDREFS)
      attributeError = true;
      attribute = s1;
      return "Атрибут " + s1 + " ссылается на идентификатор «" + s2 +
             "», которого нет ни у одного элемента колоды";
    case XML_DTD_DUP_TOKEN:
      // "standalone: attribute enumeration value token %s duplicated" (or notation)
      return "Значение «" + s1 + "» перечислено в объявлении атрибута дважды";
    case XML_DTD_CONTENT_ERROR:
      if (own.rfind("Definition of", 0) == 0) {
        // "Definition of %s has duplicate references of %s"
        return "В объявлении элемента <" + s1 + "> элемент " + s2 + " назван дважды";
      }
      return "Объявление элемента <" + s1 + "> записано неверно";
    case XML_DTD_NOT_STANDALONE:
      // "standalone: %s on %s value had to be normalized based on external subset declaration"
      attributeError = true;
      attribute = s1;
      return "В колоде standalone=\"yes\", а значение атрибута " + s1 + " элемента <" + s2 +
             "> пришлось нормализовать по объявлению из DTD WML 1.1: уберите лишние пробелы или "
             "уберите standalone=\"yes\"";
    case XML_ERR_UNPARSED_ENTITY:
      return "Сущность &" + s1 +
             "; необработанная (NDATA): на неё нельзя ссылаться в тексте или в значении атрибута";
    case XML_ERR_ENTITY_IS_EXTERNAL:
      return "Внешняя сущность &" + s1 + "; не может стоять в значении атрибута";
    case XML_ERR_ENTITY_IS_PARAMETER:
      return "Параметрическая сущность %" + s1 + "; не может стоять в тексте колоды";
    case XML_ERR_PEREF_NO_NAME:
    case XML_ERR_PEREF_SEMICOL_MISSING:
    case XML_ERR_PEREF_IN_PROLOG:
    case XML_ERR_PEREF_IN_EPILOG:
    case XML_ERR_PEREF_IN_INT_SUBSET:
    case XML_ERR_ENTITY_PE_INTERNAL:
      return "Параметрическая сущность (%…;) записана или использована неверно: во внутреннем "
             "подмножестве DTD она может стоять только между объявлениями";
    case XML_DTD_STANDALONE_DEFAULTED:
      // "standalone: attribute %s on %s defaulted from external subset"
      attributeError = true;
      attribute = s1;
      return "В колоде standalone=\"yes\", а атрибут " + s1 + " элемента <" + s2 +
             "> получает значение по умолчанию из DTD WML 1.1: укажите его явно или уберите "
             "standalone=\"yes\"";
    case XML_DTD_ELEM_REDEFINED:
      return "Элемент <" + s1 +
             "> уже объявлен в DTD WML 1.1: объявлять его в колоде ещё раз нельзя";
    case XML_DTD_ID_REDEFINED:
      attributeError = true;
      attribute = "id";
      return "Идентификатор «" + s1 + "» уже есть в колоде: id должны быть разными";
    case XML_DTD_NOT_EMPTY:
      return "Элемент <" + s1 + "> в WML 1.1 пустой: у него не может быть содержимого";
    case XML_DTD_CONTENT_MODEL: {
      // "Element card content does not follow the DTD, expecting (...), got (...)"
      std::string message = "Содержимое элемента <" + s1 + "> не соответствует WML 1.1";
      const std::size_t expecting = own.find("expecting ");
      const std::size_t got = own.find(", got ");
      if (expecting != std::string::npos && got != std::string::npos && got > expecting) {
        message += ": допустимо " + own.substr(expecting + 10, got - expecting - 10) +
                   ", а стоит " + own.substr(got + 6);
      } else {
        const std::size_t misplaced = own.find("Misplaced ");
        if (misplaced != std::string::npos) {
          message = "Элемент <" + own.substr(misplaced + 10) + "> не может стоять здесь внутри <" +
                    s1 + ">";
        } else if (own.find("Expecting more child") != std::string::npos) {
          message += ": не хватает вложенных элементов";
        } else if (own.find("Character data is not allowed") != std::string::npos) {
          message = "Текст не может стоять прямо внутри <" + s1 + ">: поместите его в <p>";
        }
      }
      return message;
    }
    case XML_DTD_INVALID_CHILD:
      // "Element %s is not declared in %s list of possible children"
      return "Элемент <" + s1 + "> не может стоять внутри <" + s2 + ">";
    case XML_DTD_NOT_PCDATA:
      return "Текст не может стоять прямо внутри <" + s1 + ">";
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY:
      return "Сущность &" + s1 +
             "; не определена: в WML 1.1 есть только &amp; &lt; &gt; &quot; &apos; "
             "&nbsp; &shy; и числовые &#…;";
    case XML_ERR_ENTITYREF_SEMICOL_MISSING:
      return "Знак & должен быть записан как &amp; (в адресе — тоже: ?a=1&amp;b=2)";
    case XML_ERR_NAME_REQUIRED:
      if (own.find("EntityRef") != std::string::npos) {
        return "Знак & должен быть записан как &amp; (в адресе — тоже: ?a=1&amp;b=2)";
      }
      if (own.find("StartTag") != std::string::npos) {
        return "После знака < должно стоять имя элемента; знак < в тексте пишется как &lt;";
      }
      return "Здесь должно стоять имя (элемента, атрибута или сущности)";
    case XML_ERR_TAG_NAME_MISMATCH:
      return "Закрывающий тег </" + s2 + "> не соответствует открытому <" + s1 + ">";
    case XML_ERR_TAG_NOT_FINISHED: {
      // "Premature end of data in tag p line 3"
      const std::size_t line = own.rfind(" line ");
      return "Элемент <" + s1 + "> не закрыт до конца колоды" +
             (line != std::string::npos ? " (он начат в строке " + own.substr(line + 6) + ")"
                                        : std::string());
    }
    case XML_ERR_LT_IN_ATTRIBUTE:
      return "Знак < не может стоять в значении атрибута: запишите его как &lt;";
    case XML_ERR_LT_REQUIRED:
    case XML_ERR_GT_REQUIRED:
      return "Тег не закончен знаком >";
    case XML_ERR_ATTRIBUTE_WITHOUT_VALUE:
      return "У атрибута " + s1 + " нет значения: в XML пишется " + s1 + "=\"…\"";
    case XML_ERR_ATTRIBUTE_NOT_STARTED:
      return s1.empty()
                 ? std::string("Значение атрибута должно стоять в кавычках: имя=\"значение\"")
                 : "Значение атрибута " + s1 + " должно стоять в кавычках";
    case XML_ERR_ATTRIBUTE_REDEFINED:
      return "Атрибут " + s1 + " указан у элемента дважды";
    case XML_ERR_DOCUMENT_EMPTY:
      return NothingLikeMarkup(Deck.DeckText.Utf8());
    case XML_ERR_NOT_STANDALONE:
      // "Entity(%s) document marked standalone but requires external subset"
      return "В колоде standalone=\"yes\", а сущность &" + s1 +
             "; объявлена в DTD WML 1.1: запишите знак числовой ссылкой (&#160; вместо &nbsp;, "
             "&#173; вместо &shy;) или уберите standalone=\"yes\"";
    case XML_DTD_STANDALONE_WHITE_SPACE:
      // "standalone: %s declared in the external subset contains white spaces nodes"
      return "В колоде standalone=\"yes\", а между элементами внутри <" + s1 +
             "> стоят пробелы или переводы строк, которые DTD WML 1.1 не считает текстом: "
             "уберите их или уберите standalone=\"yes\"";
    case XML_ERR_DOCUMENT_END:
      return "После закрывающего </wml> ничего не может стоять, кроме комментариев";
    case XML_ERR_RESERVED_XML_NAME:
      return "Объявление <?xml …?> должно стоять в самом начале колоды, до любых других знаков";
    case XML_ERR_ENTITY_LOOP:
    case XML_ERR_ENTITY_BOUNDARY:
      return "Сущности колоды раскрываются без конца или в огромный текст: такая колода не "
             "проверяется";
    case XML_ERR_INVALID_CHAR:
      if (own.find("xmlParseCharRef") != std::string::npos) {
        return "Ссылка &#…; называет знак, которого не может быть в XML (код " +
               std::to_string(error.int1) + ")";
      }
      return error.int1 > 0 ? "Знак с кодом " + std::to_string(error.int1) + " недопустим в XML"
                            : std::string("В колоде стоит знак, недопустимый в XML");
    case XML_ERR_HYPHEN_IN_COMMENT:
      return "Внутри комментария <!-- … --> не может стоять «--»";
    case XML_ERR_UNSUPPORTED_ENCODING:
      return s1.empty() ? std::string("Кодировка колоды не поддерживается")
                        : "Кодировка «" + s1 + "» не поддерживается";
    default:
      break;
  }
  if (own.rfind("Excessive depth", 0) == 0) {
    return "Элементы вложены глубже 256 уровней: такая колода не проверяется";
  }
  if (own.rfind("Detected an entity reference loop", 0) == 0) {
    return "Сущности колоды раскрываются без конца или в огромный текст: такая колода не "
           "проверяется";
  }
  if (own.find("xmlParseInternalSubset") != std::string::npos) {
    // A parameter entity whose text is not whole declarations.
    return "Во внутреннем подмножестве DTD колоды может стоять только целое объявление "
           "(<!ELEMENT …>, <!ATTLIST …>, <!ENTITY …>, <!NOTATION …>), комментарий или ссылка на "
           "параметрическую сущность, текст которой — такие объявления";
  }
  switch (error.code) {
    case XML_ERR_ENTITY_NOT_STARTED:
    case XML_ERR_ENTITY_NOT_FINISHED:
    case XML_ERR_NOTATION_NOT_STARTED:
    case XML_ERR_NOTATION_NOT_FINISHED:
    case XML_ERR_ATTLIST_NOT_STARTED:
    case XML_ERR_ATTLIST_NOT_FINISHED:
    case XML_ERR_MIXED_NOT_STARTED:
    case XML_ERR_MIXED_NOT_FINISHED:
    case XML_ERR_ELEMCONTENT_NOT_STARTED:
    case XML_ERR_ELEMCONTENT_NOT_FINISHED:
    case XML_ERR_CONDSEC_NOT_STARTED:
    case XML_ERR_CONDSEC_NOT_FINISHED:
    case XML_ERR_CONDSEC_INVALID:
    case XML_ERR_CONDSEC_INVALID_KEYWORD:
    case XML_ERR_EXT_SUBSET_NOT_FINISHED:
    case XML_ERR_ENTITY_PROCESSING:
    case XML_ERR_NOTATION_PROCESSING:
      return "Объявление во внутреннем подмножестве DTD колоды записано неверно";
    case XML_WAR_ENTITY_REDEFINED:
      return "Сущность " + s1 + " уже объявлена: действует первое объявление";
    default:
      break;
  }
  // The parser's own text is English: the finding says what kind of fault it
  // is and its number, which names it in the parser's documentation.
  const std::string number = " (код " + std::to_string(error.code) + ")";
  if (error.domain == XML_FROM_VALID || error.domain == XML_FROM_DTD)
    return "Колода не соответствует объявлениям своего DTD" + number;
  return "Ошибка разметки XML" + number;
}

// The deck declares no WML 1.1 grammar: another document type, or none.
std::string TParseRun::NoWml11Message() const {
  if (!RefusedDoctype.empty()) {
    return "Колода объявляет тип документа «" + RefusedDoctype +
           "», а не WML 1.1: её нельзя проверить по WML 1.1; для WML 1.1 нужен <!DOCTYPE wml "
           "PUBLIC \"" +
           std::string(kWml11PublicId) + "\" \"" + std::string(kWml11SystemId) + "\">";
  }
  return "У колоды нет объявления <!DOCTYPE wml PUBLIC \"" + std::string(kWml11PublicId) + "\" \"" +
         std::string(kWml11SystemId) + "\">, поэтому её нельзя проверить по WML 1.1";
}

// XML 1.0 §3.3.1, VC: One ID per Element Type: names the ID attributes the
// element has in WML 1.1 and those the deck declares for it.
std::string TParseRun::SecondIdMessage(const std::string& element) const {
  const auto idsOf = [&](xmlDtd* dtd) {
    std::vector<std::string> names;
    if (dtd == nullptr || dtd->attributes == nullptr) return names;
    struct TScan {
      const std::string* Element;
      std::vector<std::string>* Names;
    } scan{&element, &names};
    xmlHashScan(
        static_cast<xmlHashTablePtr>(dtd->attributes),
        [](void* payload, void* data, const xmlChar*) {
          const auto* attribute = static_cast<const xmlAttribute*>(payload);
          auto* scan = static_cast<TScan*>(data);
          if (attribute->atype == XML_ATTRIBUTE_ID &&
              Str(reinterpret_cast<const char*>(attribute->elem)) == *scan->Element)
            scan->Names->push_back(Str(reinterpret_cast<const char*>(attribute->name)));
        },
        &scan);
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> wml = idsOf(Wml11);
  const std::vector<std::string> own = Ctxt != nullptr && Ctxt->myDoc != nullptr
                                           ? idsOf(Ctxt->myDoc->intSubset)
                                           : std::vector<std::string>();
  std::string ownList;
  for (const std::string& name : own) ownList += (ownList.empty() ? "" : ", ") + name;
  std::string message = "У элемента <" + element + "> может быть только один атрибут типа ID";
  if (!wml.empty()) message += ": в WML 1.1 это " + wml.front();
  if (!ownList.empty())
    message += (wml.empty() ? ": колода объявляет " : ", а колода объявляет ещё ") + ownList;
  return message;
}

void TParseRun::OnError(const xmlError& error) {
  const std::optional<TEncodingProblem>& problem = Deck.DeckText.Problem();
  std::size_t offset = CurrentOffset();
  if (problem && Deck.DeckText.SourceOffset(offset) > problem->Offset) {
    // The parser stops at the first character that is not one of the
    // deck's encoding; what it finds beyond was never read by a phone.
    return;
  }
  // After the first fault of well-formedness the parser reads on only to
  // report more, mostly the same fault seen from further on: one is said.
  if (SawFatal) return;
  if (error.level == XML_ERR_FATAL) SawFatal = true;
  bool attributeError = false;
  std::string attribute;
  std::string message = Message(error, attributeError, attribute);
  const xmlNode* node = static_cast<const xmlNode*>(error.node);
  const bool validity = error.domain == XML_FROM_VALID || error.domain == XML_FROM_DTD;
  if (validity && InStartTag) {
    // Found in a start tag: at the attribute, else at the tag.
    offset = attributeError ? Deck.AttributeOffset(TagStart, attribute) : TagStart;
  } else if (validity && node != nullptr && node->type == XML_ELEMENT_NODE && !attributeError) {
    // Found when an element ends (its content): at its end tag, where the
    // parser saw the content whole, naming the line its start tag is on.
    const std::string& text = Deck.DeckText.Utf8();
    const std::size_t tag = offset == 0 ? std::string::npos : text.rfind('<', offset - 1);
    if (tag != std::string::npos) offset = tag;
    if (node->_private != nullptr) {
      const std::size_t start = reinterpret_cast<std::uintptr_t>(node->_private) - 1;
      const TTextPosition startAt = Deck.DeckText.PositionOfUtf8(start);
      if (startAt.Line != Deck.DeckText.PositionOfUtf8(offset).Line) {
        message += " (элемент <" + Str(reinterpret_cast<const char*>(node->name)) +
                   "> начат в строке " + std::to_string(startAt.Line) + ")";
      }
    }
  }
  if (error.code == XML_ERR_UNDECLARED_ENTITY || error.code == XML_WAR_UNDECLARED_ENTITY ||
      error.code == XML_ERR_ENTITYREF_SEMICOL_MISSING ||
      (error.code == XML_ERR_NAME_REQUIRED &&
       Str(error.message).find("EntityRef") != std::string::npos) ||
      (error.code == XML_ERR_INVALID_CHAR &&
       Str(error.message).find("CharRef") != std::string::npos)) {
    // At the "&" that begins the reference, not past its name.
    const std::string& text = Deck.DeckText.Utf8();
    const std::size_t amp = offset == 0 ? std::string::npos : text.rfind('&', offset - 1);
    if (amp != std::string::npos && offset - amp < 256) offset = amp;
  }
  if (error.code == XML_DTD_STANDALONE_DEFAULTED) {
    // Found before the element is made, once its tag is read: at the tag.
    const std::string& text = Deck.DeckText.Utf8();
    const std::size_t tag = offset == 0 ? std::string::npos : text.rfind('<', offset - 1);
    if (tag != std::string::npos) offset = tag;
  }
  // Declarations checked once the internal subset is read (or when the root
  // element starts): at the deck's own declaration they are about.
  const auto declaration = [&](std::string_view keyword, const std::string& name) {
    const std::size_t at = Deck.DeclarationOffset(keyword, name, offset);
    if (at != std::string::npos) offset = at;
  };
  switch (error.code) {
    case XML_DTD_ELEM_REDEFINED:
      declaration("<!ELEMENT", Str(error.str1));
      break;
    case XML_DTD_MULTIPLE_ID:
    case XML_DTD_ID_SUBSET:
      declaration("<!ATTLIST", Str(error.str1));
      break;
    case XML_DTD_EMPTY_NOTATION:
      declaration("<!ATTLIST", Str(error.str2));
      break;
    case XML_DTD_NOTATION_REDEFINED:
      declaration("<!NOTATION", Str(error.str1));
      break;
    default:
      break;
  }
  if (validity && node != nullptr && node->type == XML_ELEMENT_NODE && attributeError &&
      !InStartTag && node->_private != nullptr) {
    // Found once the whole deck is read (an IDREF naming no ID): at the
    // attribute of the element.
    offset = Deck.AttributeOffset(Deck.StartOffset(node), attribute);
  }
  if (error.code == XML_ERR_TAG_NAME_MISMATCH) {
    // At the end tag that does not match.
    const std::string& text = Deck.DeckText.Utf8();
    const std::size_t tag = offset == 0 ? std::string::npos : text.rfind("</", offset - 1);
    if (tag != std::string::npos && offset - tag < 1024) offset = tag;
  }
  const TSeverity severity = error.level == XML_ERR_WARNING ? TSeverity::Warning : TSeverity::Error;
  const TTextPosition at = Deck.DeckText.PositionOfUtf8(offset);
  // The parser repeats itself on some faults (an entity loop, once per
  // reference it unwinds; a second ID attribute, once per check that finds
  // it): one finding says it.
  const std::size_t recent = std::min<std::size_t>(Deck.ParserFindings.size(), 8);
  for (auto f = Deck.ParserFindings.end() - static_cast<std::ptrdiff_t>(recent);
       f != Deck.ParserFindings.end(); ++f) {
    if (f->Line == at.Line && f->Column == at.Column && f->Message == message) return;
  }
  Deck.ParserFindings.push_back(TParsedDeck::MakeFinding(severity, at, std::move(message)));
}

}  // namespace deckhand::wml
