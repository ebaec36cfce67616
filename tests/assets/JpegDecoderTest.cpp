// The JPEG decoder on pictures made here with libjpeg's encoder: colour,
// greyscale and CMYK pictures decode to RGB32; truncated, garbage, empty,
// oversized and missing input raise EInvalidOperation with the reason.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "assets/JpegDecoder.h"
#include "core/Errors.h"

namespace deckhand {
namespace {

// Encodes a width x height picture whose pixel (x, y) has the components
// given by pixel, in colour space space (RGB, greyscale or CMYK).
// A CMYK picture carries Adobe's marker unless adobeMarker is false.
QByteArray EncodeJpeg(int width, int height, J_COLOR_SPACE space,
                      const std::function<std::vector<int>(int, int)>& pixel,
                      bool adobeMarker = true) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK ? 4 : 3;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 100, TRUE);
  cinfo.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<size_t>(width * cinfo.input_components));
  while (cinfo.next_scanline < cinfo.image_height) {
    for (int x = 0; x < width; ++x) {
      const std::vector<int> value = pixel(x, static_cast<int>(cinfo.next_scanline));
      for (int c = 0; c < cinfo.input_components; ++c) {
        row[static_cast<size_t>(x * cinfo.input_components + c)] = static_cast<JSAMPLE>(value[c]);
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  QByteArray bytes(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
  std::free(out);
  return bytes;
}

// Red left half, blue right half.
QByteArray TwoColourJpeg(int width = 32, int height = 16) {
  return EncodeJpeg(width, height, JCS_RGB, [width](int x, int) {
    return x < width / 2 ? std::vector<int>{255, 0, 0} : std::vector<int>{0, 0, 255};
  });
}

void ExpectNear(QRgb actual, int r, int g, int b) {
  EXPECT_NEAR(qRed(actual), r, 8);
  EXPECT_NEAR(qGreen(actual), g, 8);
  EXPECT_NEAR(qBlue(actual), b, 8);
}

// The message of the EInvalidOperation that call raises ("" when none).
std::string FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EInvalidOperation& error) {
    return error.what();
  }
  return "";
}

TEST(JpegDecoder, DecodesColourGreyAndCmykPicturesToRgb32) {
  const QImage colour = DecodeJpeg(TwoColourJpeg(32, 16));
  ASSERT_EQ(colour.size(), QSize(32, 16));
  EXPECT_EQ(colour.format(), QImage::Format_RGB32);
  ExpectNear(colour.pixel(3, 3), 255, 0, 0);
  ExpectNear(colour.pixel(28, 12), 0, 0, 255);

  const QImage grey = DecodeJpeg(EncodeJpeg(
      8, 8, JCS_GRAYSCALE, [](int x, int) { return std::vector<int>{x < 4 ? 40 : 200}; }));
  EXPECT_EQ(grey.format(), QImage::Format_RGB32);
  ExpectNear(grey.pixel(1, 1), 40, 40, 40);
  ExpectNear(grey.pixel(6, 6), 200, 200, 200);

  // libjpeg marks CMYK pictures with Adobe's marker, whose convention is
  // inverted ink values, as image editors write them: 255 means no ink.
  const QImage cmyk = DecodeJpeg(EncodeJpeg(16, 16, JCS_CMYK, [](int x, int) {
    return x < 8 ? std::vector<int>{255, 0, 0, 255}     // magenta + yellow: red
                 : std::vector<int>{255, 255, 255, 0};  // full black
  }));
  EXPECT_EQ(cmyk.format(), QImage::Format_RGB32);
  ExpectNear(cmyk.pixel(2, 2), 255, 0, 0);
  ExpectNear(cmyk.pixel(13, 13), 0, 0, 0);

  // Without the marker the values are plain ink amounts: 0 means no ink.
  const QImage plain = DecodeJpeg(EncodeJpeg(
      16, 16, JCS_CMYK,
      [](int x, int) {
        return x < 8 ? std::vector<int>{0, 255, 255, 0}  // magenta + yellow: red
                     : std::vector<int>{0, 0, 0, 0};     // no ink: white
      },
      false));
  ExpectNear(plain.pixel(2, 2), 255, 0, 0);
  ExpectNear(plain.pixel(13, 13), 255, 255, 255);
}

TEST(JpegDecoder, RejectsTruncatedGarbageAndEmptyInput) {
  const QByteArray good = TwoColourJpeg(64, 64);

  const std::string truncated = FailureOf([&] { DecodeJpeg(good.left(good.size() / 2)); });
  EXPECT_EQ(truncated, "Cannot load picture: Premature end of JPEG file");

  const std::string cutInHeader = FailureOf([&] { DecodeJpeg(good.left(40)); });
  EXPECT_EQ(cutInHeader.rfind("Cannot load picture: ", 0), 0u) << cutInHeader;

  const std::string garbage = FailureOf([] { DecodeJpeg(QByteArray("GIF89a garbage, no JPEG")); });
  EXPECT_EQ(garbage, "Cannot load picture: Not a JPEG file: starts with 0x47 0x49");

  const std::string empty = FailureOf([] { DecodeJpeg(QByteArray()); });
  EXPECT_EQ(empty.rfind("Cannot load picture: ", 0), 0u) << empty;
  EXPECT_GT(empty.size(), std::string("Cannot load picture: ").size());
}

TEST(JpegDecoder, RefusesAHeaderClaimingAHugePicture) {
  // The start-of-frame marker (FF C0) holds height and width after the
  // length and precision bytes; claim 60000 x 60000 pixels.
  QByteArray bytes = TwoColourJpeg(16, 16);
  const qsizetype sof = bytes.indexOf(QByteArray("\xFF\xC0", 2));
  ASSERT_GT(sof, 0);
  for (int i : {5, 7}) {
    bytes[sof + i] = static_cast<char>(60000 >> 8);
    bytes[sof + i + 1] = static_cast<char>(60000 & 0xFF);
  }
  EXPECT_EQ(FailureOf([&] { DecodeJpeg(bytes); }), "Cannot load picture: picture too large");

  // The limit counts pixels, and a picture of exactly the limit is decoded.
  const QByteArray small = TwoColourJpeg(16, 16);
  EXPECT_EQ(DecodeJpeg(small, 256).size(), QSize(16, 16));
  EXPECT_EQ(FailureOf([&] { DecodeJpeg(small, 255); }), "Cannot load picture: picture too large");
}

TEST(JpegDecoder, LoadsFilesAndNamesThePathInItsErrors) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString good = dir.filePath("good.jpg");
  const QString broken = dir.filePath("broken.jpg");
  {
    QFile file(good);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(TwoColourJpeg(20, 10));
    QFile other(broken);
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("not a picture at all");
  }
  EXPECT_EQ(LoadJpeg(good).size(), QSize(20, 10));

  EXPECT_EQ(FailureOf([&] { LoadJpeg(broken); }), "Cannot load picture \"" + broken.toStdString() +
                                                      "\": Not a JPEG file: starts with 0x6e 0x6f");

  const QString missing = dir.filePath("missing.jpg");
  EXPECT_EQ(FailureOf([&] { LoadJpeg(missing); }),
            "Cannot load picture \"" + missing.toStdString() + "\": No such file or directory");

  const std::string resource = FailureOf([] { LoadJpeg(":/images/no-such-picture.jpg"); });
  EXPECT_EQ(resource.rfind("Cannot load picture \":/images/no-such-picture.jpg\": ", 0), 0u)
      << resource;
}

TEST(JpegDecoder, DecodesThePhonePictureWithAWhiteScreen) {
  const QString phone = ":/images/phone.jpg";
  if (!QFile::exists(phone)) GTEST_SKIP() << "the artwork library is not built in";
  const QImage image = LoadJpeg(phone);
  ASSERT_EQ(image.size(), QSize(178, 432));
  // The screen square: columns 32 to 146, rows 78 to 192.
  for (const QPoint& point : {QPoint(40, 90), QPoint(89, 135), QPoint(140, 185)}) {
    const QRgb pixel = image.pixel(point);
    EXPECT_GT(qRed(pixel), 230);
    EXPECT_GT(qGreen(pixel), 230);
    EXPECT_GT(qBlue(pixel), 230);
  }
}

}  // namespace
}  // namespace deckhand
