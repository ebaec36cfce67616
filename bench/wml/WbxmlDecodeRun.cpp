// One whole run of the decoder of compiled decks, for bench/wbxml-decode.sh
// to time against wbxml2xml on the same files:
//   wbxml_decode_run IN OUT   decodes the compiled deck IN into OUT
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "wml/WbxmlDecode.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: wbxml_decode_run IN OUT\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 2;
  }
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::string error;
  const auto text = deckhand::wml::DecodeWmlc(bytes, error);
  if (!text) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary);
  out << *text;
  return out.flush() ? 0 : 2;
}
