// Build-time converter: reads X11 bitmap fonts in PCF format (gzip-compressed,
// as the misc-fixed fonts ship) and writes a C++ source holding the glyphs
// the phone screen needs (ASCII, Latin-1, Cyrillic, common punctuation) as
// row bit masks, one cell of the font's full height per glyph.
//
//   wml_fontgen OUT.cpp NAME=FILE.pcf.gz ...
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> ReadGzip(const std::string& path) {
  gzFile file = gzopen(path.c_str(), "rb");
  if (!file) throw std::runtime_error("cannot open " + path);
  std::vector<unsigned char> data;
  unsigned char block[65536];
  int got;
  while ((got = gzread(file, block, sizeof block)) > 0) data.insert(data.end(), block, block + got);
  gzclose(file);
  if (got < 0) throw std::runtime_error("cannot decompress " + path);
  return data;
}

class TReader {
 public:
  explicit TReader(const std::vector<unsigned char>& data) : data_(data) {}
  std::uint32_t U32(std::size_t at, bool msb) const {
    Check(at + 4);
    const unsigned char* p = &data_[at];
    return msb ? (std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3])
               : (std::uint32_t(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0]);
  }
  std::uint16_t U16(std::size_t at, bool msb) const {
    Check(at + 2);
    const unsigned char* p = &data_[at];
    return msb ? std::uint16_t(p[0] << 8 | p[1]) : std::uint16_t(p[1] << 8 | p[0]);
  }
  unsigned char U8(std::size_t at) const {
    Check(at + 1);
    return data_[at];
  }
  void Check(std::size_t end) const {
    if (end > data_.size()) throw std::runtime_error("truncated font file");
  }

 private:
  const std::vector<unsigned char>& data_;
};

struct TMetric {
  int Left, Right, Width, Ascent, Descent;
};

struct TFont {
  std::string Name;
  int Ascent = 0, Descent = 0, Advance = 0;
  std::vector<std::pair<std::uint32_t, std::vector<std::uint16_t>>> Glyphs;
};

constexpr std::uint32_t kAccelerators = 1 << 1, kMetrics = 1 << 2, kBitmaps = 1 << 3,
                        kEncodings = 1 << 5, kBdfAccelerators = 1 << 8;

bool Wanted(std::uint32_t cp) {
  return (cp >= 0x20 && cp <= 0x7E) || (cp >= 0xA0 && cp <= 0x17F) ||
         (cp >= 0x400 && cp <= 0x45F) || (cp >= 0x2010 && cp <= 0x2026) || cp == 0x2116 ||
         cp == 0x20AC || cp == 0x2190 || cp == 0x2192 || cp == 0x2022 || cp == 0x25B2 ||
         cp == 0x25BC;
}

TFont Load(const std::string& name, const std::string& path) {
  std::vector<unsigned char> data = ReadGzip(path);
  TReader in(data);
  if (in.U32(0, false) != 0x70636601) throw std::runtime_error(path + " is not a PCF font");
  std::uint32_t count = in.U32(4, false);
  struct TTable {
    std::uint32_t Type, Format, Size, Offset;
  };
  std::vector<TTable> tables;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::size_t at = 8 + i * 16;
    tables.push_back(
        {in.U32(at, false), in.U32(at + 4, false), in.U32(at + 8, false), in.U32(at + 12, false)});
  }
  auto find = [&](std::uint32_t type) -> const TTable* {
    for (const TTable& table : tables)
      if (table.Type == type) return &table;
    return nullptr;
  };
  TFont font;
  font.Name = name;

  const TTable* accel = find(kBdfAccelerators);
  if (!accel) accel = find(kAccelerators);
  if (!accel) throw std::runtime_error(path + ": no accelerators");
  {
    std::uint32_t format = in.U32(accel->Offset, false);
    bool msb = format & 4;
    font.Ascent = static_cast<std::int32_t>(in.U32(accel->Offset + 4 + 8, msb));
    font.Descent = static_cast<std::int32_t>(in.U32(accel->Offset + 4 + 12, msb));
  }

  const TTable* metricsTable = find(kMetrics);
  if (!metricsTable) throw std::runtime_error(path + ": no metrics");
  std::vector<TMetric> metrics;
  {
    std::size_t at = metricsTable->Offset;
    std::uint32_t format = in.U32(at, false);
    bool msb = format & 4;
    if (format & 0x100) {
      int n = in.U16(at + 4, msb);
      for (int i = 0; i < n; ++i) {
        std::size_t p = at + 6 + i * 5;
        metrics.push_back({in.U8(p) - 0x80, in.U8(p + 1) - 0x80, in.U8(p + 2) - 0x80,
                           in.U8(p + 3) - 0x80, in.U8(p + 4) - 0x80});
      }
    } else {
      std::uint32_t n = in.U32(at + 4, msb);
      for (std::uint32_t i = 0; i < n; ++i) {
        std::size_t p = at + 8 + i * 12;
        metrics.push_back({std::int16_t(in.U16(p, msb)), std::int16_t(in.U16(p + 2, msb)),
                           std::int16_t(in.U16(p + 4, msb)), std::int16_t(in.U16(p + 6, msb)),
                           std::int16_t(in.U16(p + 8, msb))});
      }
    }
  }

  const TTable* bitmapTable = find(kBitmaps);
  if (!bitmapTable) throw std::runtime_error(path + ": no bitmaps");
  std::size_t bitmapsAt = bitmapTable->Offset;
  std::uint32_t bitmapFormat = in.U32(bitmapsAt, false);
  bool bitmapMsbByte = bitmapFormat & 4;
  bool bitmapMsbBit = bitmapFormat & 8;
  int pad = 1 << (bitmapFormat & 3);
  int scanUnit = 1 << ((bitmapFormat >> 4) & 3);
  std::uint32_t glyphCount = in.U32(bitmapsAt + 4, bitmapMsbByte);
  std::vector<std::uint32_t> offsets(glyphCount);
  for (std::uint32_t i = 0; i < glyphCount; ++i)
    offsets[i] = in.U32(bitmapsAt + 8 + i * 4, bitmapMsbByte);
  std::size_t bitsAt = bitmapsAt + 8 + glyphCount * 4 + 16;

  auto pixel = [&](std::uint32_t glyph, int row, int column, int rowBytes) {
    std::size_t byteIndex = std::size_t(row) * rowBytes + column / 8;
    // Bytes are grouped in scan units; when byte order and bit order differ
    // the bytes of a unit are stored reversed.
    if (bitmapMsbByte != bitmapMsbBit && scanUnit > 1) {
      std::size_t unitStart = byteIndex - byteIndex % scanUnit;
      byteIndex = unitStart + (scanUnit - 1 - byteIndex % scanUnit);
    }
    unsigned char byte = in.U8(bitsAt + offsets[glyph] + byteIndex);
    int bit = column % 8;
    return bitmapMsbBit ? (byte >> (7 - bit)) & 1 : (byte >> bit) & 1;
  };

  const TTable* encodingTable = find(kEncodings);
  if (!encodingTable) throw std::runtime_error(path + ": no encodings");
  std::size_t at = encodingTable->Offset;
  std::uint32_t format = in.U32(at, false);
  bool msb = format & 4;
  int minByte2 = in.U16(at + 4, msb), maxByte2 = in.U16(at + 6, msb);
  int minByte1 = in.U16(at + 8, msb), maxByte1 = in.U16(at + 10, msb);
  int height = font.Ascent + font.Descent;
  for (int b1 = minByte1; b1 <= maxByte1; ++b1) {
    for (int b2 = minByte2; b2 <= maxByte2; ++b2) {
      std::uint32_t cp = std::uint32_t(b1) << 8 | b2;
      if (!Wanted(cp)) continue;
      std::size_t index = std::size_t(b1 - minByte1) * (maxByte2 - minByte2 + 1) + (b2 - minByte2);
      std::uint16_t glyph = in.U16(at + 14 + index * 2, msb);
      if (glyph == 0xFFFF || glyph >= metrics.size() || glyph >= glyphCount) continue;
      const TMetric& m = metrics[glyph];
      if (font.Advance == 0 && cp == 'M') font.Advance = m.Width;
      int inkWidth = m.Right - m.Left;
      int rowBytes = (inkWidth + 7) / 8;
      rowBytes = (rowBytes + pad - 1) / pad * pad;
      std::vector<std::uint16_t> rows(height, 0);
      for (int r = 0; r < m.Ascent + m.Descent; ++r) {
        int y = font.Ascent - m.Ascent + r;
        if (y < 0 || y >= height) continue;
        for (int c = 0; c < inkWidth; ++c) {
          int x = m.Left + c;
          if (x < 0 || x >= 16 || x >= m.Width) continue;
          if (pixel(glyph, r, c, rowBytes)) rows[y] |= std::uint16_t(0x8000 >> x);
        }
      }
      font.Glyphs.emplace_back(cp, std::move(rows));
    }
  }
  if (font.Advance == 0) throw std::runtime_error(path + ": no letter M");
  return font;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: wml_fontgen OUT.cpp NAME=FILE.pcf.gz ...\n";
    return 2;
  }
  try {
    std::vector<TFont> fonts;
    for (int i = 2; i < argc; ++i) {
      std::string arg = argv[i];
      auto eq = arg.find('=');
      if (eq == std::string::npos) throw std::runtime_error("bad argument " + arg);
      fonts.push_back(Load(arg.substr(0, eq), arg.substr(eq + 1)));
    }
    std::string tmp = std::string(argv[1]) + ".tmp";
    {
      std::ofstream out(tmp);
      out << "// Generated at build time from the misc-fixed X11 fonts (public domain).\n"
             "#include \"emulator/PixelFontData.h\"\n\nnamespace deckhand::wml {\n\n";
      for (const TFont& font : fonts) {
        out << "static const std::uint16_t k" << font.Name << "Rows[] = {\n";
        for (const auto& [cp, rows] : font.Glyphs) {
          out << " ";
          for (std::uint16_t row : rows) out << " " << row << ",";
          out << "\n";
        }
        out << "};\nstatic const std::uint32_t k" << font.Name << "Codes[] = {\n";
        for (const auto& glyph : font.Glyphs) out << "  " << glyph.first << ",\n";
        out << "};\n";
        out << "const TPixelFontData k" << font.Name << "Font = {" << font.Ascent << ", "
            << font.Descent << ", " << font.Advance << ", " << font.Glyphs.size() << ", k"
            << font.Name << "Codes, k" << font.Name << "Rows};\n\n";
      }
      out << "}  // namespace deckhand::wml\n";
      if (!out) throw std::runtime_error("cannot write " + tmp);
    }
    if (std::rename(tmp.c_str(), argv[1]) != 0) throw std::runtime_error("cannot write output");
  } catch (const std::exception& error) {
    std::cerr << "wml_fontgen: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
