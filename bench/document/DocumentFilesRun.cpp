// One whole run of a document file operation, for bench/document-files.sh
// to time against cat and cp:
//   document_files_run make PATH BYTES   writes a deck of BYTES bytes
//   document_files_run open PATH         LoadFromFile into a memory buffer
//   document_files_run save FROM TO      opens FROM as above and saves the
//                                        buffer to TO; less the time of open,
//                                        that is the save's own share
//   document_files_run start             nothing: the cost of starting
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "DeckText.h"
#include "core/CodeBuffer.h"
#include "document/DocumentFiles.h"

namespace {

using namespace deckhand;

int Usage() {
  std::fputs("usage: document_files_run make PATH BYTES | open PATH | save FROM TO | start\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "start") return 0;
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  try {
    TMemoryBuffer buffer;
    if (command == "make" && argc == 4) {
      buffer.SetText(bench::DeckText(std::strtoull(argv[3], nullptr, 10)));
      SaveToFile(buffer, QFile::decodeName(argv[2]));
    } else if (command == "open" && argc == 3) {
      LoadFromFile(buffer, QFile::decodeName(argv[2]));
    } else if (command == "save" && argc == 4) {
      LoadFromFile(buffer, QFile::decodeName(argv[2]));
      SaveToFile(buffer, QFile::decodeName(argv[3]));
    } else {
      return Usage();
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
