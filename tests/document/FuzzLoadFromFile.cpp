// Writes arbitrary bytes to a file and opens it with LoadFromFile: the buffer
// must then hold exactly what SetTextStr makes of the bytes before the first
// NUL, whatever the file holds, and a buffer that already holds that text
// stays unmodified.
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/CodeBuffer.h"
#include "document/DocumentFiles.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// One file per fuzzing process, removed when it ends.
const std::string& FilePath() {
  static const std::string path = [] {
    std::string templ = QDir::tempPath().toStdString() + "/deckhand-fuzz-XXXXXX";
    const int fd = mkstemp(templ.data());
    Require(fd >= 0);
    close(fd);
    std::atexit([] { std::remove(FilePath().c_str()); });
    return templ;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = FilePath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  Require(file != nullptr);
  Require(std::fwrite(data, 1, size, file) == size);
  Require(std::fclose(file) == 0);

  const char* bytes = reinterpret_cast<const char*>(data);
  const void* nul = std::memchr(bytes, '\0', size);
  const std::size_t kept = nul ? static_cast<const char*>(nul) - bytes : size;
  deckhand::TMemoryBuffer expected;
  expected.SetTextStr(std::string(bytes, kept));

  deckhand::TMemoryBuffer buffer;
  buffer.SetTextStr("text from before");
  deckhand::LoadFromFile(buffer, QString::fromStdString(path));
  const std::string text = buffer.GetText();
  Require(text == expected.GetText());

  // Loading the same text again changes nothing, not even the modified flag
  // (set here by typing the whole text over itself).
  buffer.SetSelStart(0);
  buffer.SetSelLength(static_cast<int>(text.size()));
  buffer.SetSelText(text);
  Require(buffer.GetModified());
  deckhand::LoadFromFile(buffer, QString::fromStdString(path));
  Require(buffer.GetText() == text);
  Require(buffer.GetModified());
  return 0;
}
