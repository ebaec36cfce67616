// Feeds arbitrary bytes to the decoder of compiled decks and checks what
// every answer must keep: a message exactly when there is no text, text no
// larger than the limit, and text that is a well-formed XML document.
#include <libxml/parser.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "wml/WbxmlDecode.h"

using namespace deckhand::wml;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string error = "not cleared";
  const auto text = DecodeWmlc(bytes, error);
  if (!text) {
    Require(!error.empty());
    return 0;
  }
  Require(error.empty());
  Require(text->size() <= kMaxDecodedSize);
  xmlDoc* doc = xmlReadMemory(text->data(), static_cast<int>(text->size()), nullptr, nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  Require(doc != nullptr);
  xmlFreeDoc(doc);
  return 0;
}
