// Decoding of the program's JPEG pictures (the phone, the splash logo, the
// About box frames) with libjpeg.
//
// Errors never end the process: a corrupt or truncated picture raises
// EInvalidOperation with libjpeg's own description of the fault.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace deckhand {

// Decodes a whole JPEG file held in memory into a QImage::Format_RGB32
// picture. Colour, greyscale and CMYK (including Adobe's inverted CMYK)
// pictures are accepted. Raises EInvalidOperation "Cannot load picture: ..."
// with the reason when the bytes are not a complete, decodable JPEG picture.
QImage DecodeJpeg(const QByteArray& bytes);

// Reads the file at path (a file system path or a ":/..." Qt resource) and
// decodes it as DecodeJpeg does. Raises EInvalidOperation
// "Cannot load picture "<path>": <reason>" when the file cannot be read or
// its content is not a decodable JPEG picture.
QImage LoadJpeg(const QString& path);

}  // namespace deckhand
