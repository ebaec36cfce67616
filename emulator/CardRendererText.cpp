// The card renderer's drawing primitives: WBMP pictures and their cache, and
// text in the bitmap screen fonts of PixelFontData.
#include <algorithm>
#include <filesystem>

#include "emulator/CardRendererInternal.h"
#include "emulator/EmulatorLimits.h"

namespace deckhand::wml {

QImage DecodeWbmp(const std::string& bytes) {
  std::size_t at = 0;
  auto number = [&](bool& ok) {
    std::uint32_t value = 0;
    for (int i = 0; i < 5; ++i) {
      if (at >= bytes.size()) break;
      auto byte = static_cast<unsigned char>(bytes[at++]);
      value = (value << 7) | (byte & 0x7F);
      if (!(byte & 0x80)) return value;
    }
    ok = false;
    return value;
  };
  bool ok = true;
  std::uint32_t type = number(ok);
  if (!ok || type != 0 || at >= bytes.size()) return {};
  auto fixHeader = static_cast<unsigned char>(bytes[at++]);
  if (fixHeader & 0x80) return {};  // extension headers: not type 0's
  std::uint32_t width = number(ok);
  std::uint32_t height = number(ok);
  if (!ok || width == 0 || height == 0 || width > 1024 || height > 1024) return {};
  std::size_t rowBytes = (width + 7) / 8;
  if (bytes.size() - at < rowBytes * height) return {};
  QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_Mono);
  image.setColor(0, qRgb(0, 0, 0));
  image.setColor(1, qRgb(255, 255, 255));
  for (std::uint32_t y = 0; y < height; ++y) {
    uchar* line = image.scanLine(static_cast<int>(y));
    std::copy_n(bytes.data() + at + y * rowBytes, rowBytes, reinterpret_cast<char*>(line));
  }
  return image;
}

QImage TImageCache::Get(const std::filesystem::path& path, bool& decoded) {
  namespace fs = std::filesystem;
  decoded = false;
  std::error_code code;
  const fs::file_time_type time = fs::last_write_time(path, code);
  if (code) return {};
  const std::uintmax_t size = fs::file_size(path, code);
  if (code) return {};
  const std::string key = path.string();
  auto it = entries_.find(key);
  if (it != entries_.end() && it->second.Time == time && it->second.Size == size)
    return it->second.Picture;
  // A WBMP of the largest size DecodeWbmp takes (1024x1024) and its header.
  constexpr std::size_t kLargestWbmp = 1024 * 1024 / 8 + 16;
  std::string problem;
  QImage picture;
  if (auto bytes = ReadBoundedFile(key, problem, kLargestWbmp)) picture = DecodeWbmp(*bytes);
  decoded = true;
  if (it == entries_.end() && entries_.size() >= kMaxCachedImages) entries_.clear();
  entries_[key] = {time, size, picture};
  return picture;
}

}  // namespace deckhand::wml

namespace deckhand::wml::render_detail {

const TPixelFontData& FontOf(int size) {
  return size == kSmall ? kSmallFont : size == kBig ? kBigFont : kNormalFont;
}

namespace {

const std::uint16_t* Glyph(const TPixelFontData& font, char32_t cp) {
  auto find = [&](char32_t code) -> const std::uint16_t* {
    const std::uint32_t* end = font.Codes + font.Count;
    const std::uint32_t* it = std::lower_bound(font.Codes, end, static_cast<std::uint32_t>(code));
    if (it == end || *it != code) return nullptr;
    return font.Rows + (it - font.Codes) * font.Height();
  };
  if (cp == 0xA0) cp = ' ';
  if (const std::uint16_t* rows = find(cp)) return rows;
  return find('?');
}

}  // namespace

int TextWidth(std::u32string_view text, const TStyle& style) {
  return static_cast<int>(text.size()) * FontOf(style.Size).Advance;
}

void DrawText(QImage& image, int x, int y, std::u32string_view text, const TStyle& style,
              QRgb color, const QRect& clip) {
  const TPixelFontData& font = FontOf(style.Size);
  for (char32_t cp : text) {
    if (x > clip.right()) break;  // the rest is beyond the clip
    if (cp == 0xAD) continue;     // soft hyphen: shown only where a line breaks
    if (x + font.Advance + 1 < clip.left()) {
      x += font.Advance;
      continue;
    }
    const std::uint16_t* rows = Glyph(font, cp);
    for (int r = 0; rows && r < font.Height(); ++r) {
      std::uint32_t bits = rows[r];
      if (style.Bold) bits |= bits >> 1;
      int shift = style.Italic && r < font.Ascent / 2 ? 1 : 0;
      int py = y + r;
      if (py < clip.top() || py > clip.bottom() || !bits) continue;
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(py));
      for (int c = 0; c < 16; ++c) {
        if (!(bits & (0x8000u >> c))) continue;
        int px = x + c + shift;
        if (px >= clip.left() && px <= clip.right()) line[px] = color;
      }
    }
    if (style.Underline) {
      int py = y + font.Ascent + 1;
      if (py >= clip.top() && py <= clip.bottom()) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(py));
        for (int c = 0; c < font.Advance; ++c)
          if (x + c >= clip.left() && x + c <= clip.right()) line[x + c] = color;
      }
    }
    x += font.Advance;
  }
}

}  // namespace deckhand::wml::render_detail
