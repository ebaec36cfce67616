// Feeds arbitrary bytes to the JPEG decoder: it must either return a picture
// within the size limit it is given, or raise
// EInvalidOperation "Cannot load picture: <reason>"; never crash, read out of
// bounds or leak across its setjmp/longjmp error path.
#include <QByteArray>
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "assets/JpegDecoder.h"
#include "core/Errors.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  try {
    // A low limit keeps each run quick: a corrupt picture of the full limit
    // decodes for seconds. Headers above it take the refusal path.
    constexpr std::uint64_t kLimit = 512 * 512;
    const QImage image = deckhand::DecodeJpeg(bytes, kLimit);
    Require(!image.isNull());
    Require(image.format() == QImage::Format_RGB32);
    Require(static_cast<std::uint64_t>(image.width()) * image.height() <= kLimit);
  } catch (const deckhand::EInvalidOperation& error) {
    static const char kPrefix[] = "Cannot load picture: ";
    Require(std::strncmp(error.what(), kPrefix, sizeof kPrefix - 1) == 0);
    Require(std::strlen(error.what()) > sizeof kPrefix - 1);
  }
  return 0;
}
