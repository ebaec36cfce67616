// Decoding of the program's JPEG pictures (the phone, the splash logo, the
// About box frames) with libjpeg.
//
// Errors never end the process: a corrupt or truncated picture raises
// EInvalidOperation with libjpeg's own description of the fault.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>

namespace deckhand {

// Larger pictures are refused before any memory is allocated for them: the
// program's own pictures are a few hundred pixels wide, and a corrupt header
// may claim up to 65500 x 65500 pixels.
inline constexpr std::uint64_t kMaxJpegPixels = 64ULL * 1024 * 1024;

// Decodes a whole JPEG file held in memory into a QImage::Format_RGB32
// picture. Colour, greyscale and CMYK (including Adobe's inverted CMYK)
// pictures are accepted. Raises EInvalidOperation "Cannot load picture: ..."
// with the reason when the bytes are not a complete, decodable JPEG picture,
// and with "picture too large" when its header claims more than maxPixels.
QImage DecodeJpeg(const QByteArray& bytes, std::uint64_t maxPixels = kMaxJpegPixels);

// Reads the file at path (a file system path or a ":/..." Qt resource) and
// decodes it as DecodeJpeg does. Raises EInvalidOperation
// "Cannot load picture "<path>": <reason>" when the file cannot be read or
// its content is not a decodable JPEG picture.
QImage LoadJpeg(const QString& path);

}  // namespace deckhand
