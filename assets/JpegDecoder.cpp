#include "assets/JpegDecoder.h"

#include <QFile>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include "core/Errors.h"

namespace deckhand {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return.
// Ours jumps back to DecodeFrames with libjpeg's message kept here.
struct TErrorManager {
  jpeg_error_mgr pub;  // first member: libjpeg sees only this part
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void ExitOnError(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<TErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, manager->message);
  std::longjmp(manager->jump, 1);
}

// Warnings are silent, except that running out of data is fatal: libjpeg
// would pad a truncated picture with grey and call it a success.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) {
    if (cinfo->err->msg_code == JWRN_JPEG_EOF) ExitOnError(cinfo);
    cinfo->err->num_warnings++;
  }
}

void OutputMessage(j_common_ptr) {}

void SetMessage(TErrorManager* manager, const char* text) {
  std::snprintf(manager->message, sizeof manager->message, "%s", text);
}

void ConvertRow(const jpeg_decompress_struct& cinfo, const JSAMPLE* in, QRgb* out) {
  const JDIMENSION width = cinfo.output_width;
  switch (cinfo.out_color_space) {
    case JCS_GRAYSCALE:
      for (JDIMENSION x = 0; x < width; ++x) out[x] = qRgb(in[x], in[x], in[x]);
      break;
    case JCS_CMYK:
      // Adobe writes CMYK inverted (0 = full ink); plain CMYK is not.
      for (JDIMENSION x = 0; x < width; ++x, in += 4) {
        int c = in[0], m = in[1], y = in[2], k = in[3];
        if (!cinfo.saw_Adobe_marker) {
          c = 255 - c;
          m = 255 - m;
          y = 255 - y;
          k = 255 - k;
        }
        out[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
      }
      break;
    default:  // JCS_RGB
      for (JDIMENSION x = 0; x < width; ++x, in += 3) out[x] = qRgb(in[0], in[1], in[2]);
      break;
  }
}

// The whole decoding between the one setjmp and any longjmp back to it. No
// object with a destructor lives in this frame while libjpeg runs, so the
// jump skips nothing that needs cleaning up; libjpeg's own memory is freed by
// jpeg_destroy_decompress in the caller.
bool DecodeFrames(jpeg_decompress_struct* cinfo, TErrorManager* manager, const QByteArray& bytes,
                  std::uint64_t maxPixels, QImage* image) {
  if (setjmp(manager->jump) != 0) return false;

  jpeg_create_decompress(cinfo);
  jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(bytes.constData()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(cinfo, TRUE);

  switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
      cinfo->out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo->out_color_space = JCS_CMYK;
      break;
    case JCS_RGB:
    case JCS_YCbCr:
      cinfo->out_color_space = JCS_RGB;
      break;
    default:
      SetMessage(manager, "unsupported colour space");
      return false;
  }
  if (std::uint64_t{cinfo->image_width} * cinfo->image_height > maxPixels) {
    SetMessage(manager, "picture too large");
    return false;
  }

  jpeg_start_decompress(cinfo);
  *image = QImage(static_cast<int>(cinfo->output_width), static_cast<int>(cinfo->output_height),
                  QImage::Format_RGB32);
  if (image->isNull()) {
    SetMessage(manager, "not enough memory for the picture");
    return false;
  }
  JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                               cinfo->output_width * cinfo->output_components, 1);
  while (cinfo->output_scanline < cinfo->output_height) {
    const int y = static_cast<int>(cinfo->output_scanline);
    if (jpeg_read_scanlines(cinfo, row, 1) != 1) {
      SetMessage(manager, "no scanline delivered");
      return false;
    }
    ConvertRow(*cinfo, row[0], reinterpret_cast<QRgb*>(image->scanLine(y)));
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

// Decodes bytes; on failure returns a null image and sets reason.
QImage Decode(const QByteArray& bytes, std::uint64_t maxPixels, std::string* reason) {
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  TErrorManager manager;
  cinfo.err = jpeg_std_error(&manager.pub);
  manager.pub.error_exit = ExitOnError;
  manager.pub.emit_message = EmitMessage;
  manager.pub.output_message = OutputMessage;
  manager.message[0] = '\0';

  QImage image;
  const bool ok = DecodeFrames(&cinfo, &manager, bytes, maxPixels, &image);
  jpeg_destroy_decompress(&cinfo);
  if (ok) return image;
  *reason = manager.message[0] != '\0' ? manager.message : "cannot decode the picture";
  return QImage();
}

}  // namespace

QImage DecodeJpeg(const QByteArray& bytes, std::uint64_t maxPixels) {
  std::string reason;
  QImage image = Decode(bytes, maxPixels, &reason);
  if (image.isNull()) throw EInvalidOperation("Cannot load picture: " + reason);
  return image;
}

QImage LoadJpeg(const QString& path) {
  const auto fail = [&path](const std::string& reason) {
    return EInvalidOperation("Cannot load picture \"" + path.toStdString() + "\": " + reason);
  };
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw fail(file.errorString().toStdString());
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) throw fail(file.errorString().toStdString());
  std::string reason;
  QImage image = Decode(bytes, kMaxJpegPixels, &reason);
  if (image.isNull()) throw fail(reason);
  return image;
}

}  // namespace deckhand
