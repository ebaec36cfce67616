// One whole run of a document file operation, for bench/document-files.sh
// to time against cat and cp:
//   document_files_run make PATH BYTES   writes a deck of BYTES bytes
//   document_files_run open PATH         LoadFromFile into a memory buffer
//   document_files_run save FROM TO      the text of FROM (read plainly) is
//                                        put into a buffer and SaveToFile'd
//   document_files_run hold FROM         the same without the save, so that
//                                        the save's own share can be told
//   document_files_run start             nothing: the cost of starting
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>

#include "DeckText.h"
#include "core/CodeBuffer.h"
#include "document/DocumentFiles.h"

namespace {

using namespace deckhand;

int Usage() {
  std::fputs(
      "usage: document_files_run make PATH BYTES | open PATH | save FROM TO | hold FROM | start\n",
      stderr);
  return 2;
}

std::string ReadPlain(const char* path) {
  QFile file(QFile::decodeName(path));
  if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + std::string(path));
  return file.readAll().toStdString();
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
    } else if (command == "hold" && argc == 3) {
      buffer.SetText(ReadPlain(argv[2]));
    } else if (command == "save" && argc == 4) {
      buffer.SetText(ReadPlain(argv[2]));
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
