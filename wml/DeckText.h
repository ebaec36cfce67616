// A deck's bytes as the XML parser reads them: decoded from the encoding its
// XML declaration names (UTF-8 when it names none) into UTF-8, with the way
// back from a position in the decoded text to the deck's own bytes, and from
// there to the line and column the status bar shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deckhand::wml {

// Line and column as the status bar counts them: both from 1, the column in
// bytes of the deck. A line ends with CR LF, a lone LF or a lone CR.
struct TTextPosition {
  int Line = 1;
  int Column = 1;
  std::size_t Offset = 0;  // in the deck's bytes
};

// Finds lines and columns of byte offsets in a text.
class TLineMap {
 public:
  explicit TLineMap(std::string_view text);
  TTextPosition PositionOf(std::size_t offset) const;

 private:
  std::vector<std::size_t> LineStarts;
  std::size_t Size;
};

// The first byte sequence that is not a character of the deck's encoding.
struct TEncodingProblem {
  std::size_t Offset = 0;  // in the deck's own bytes
  std::string Message;     // Russian, with the fix to make
};

// A single-byte encoding as a table of 256 entries: each byte's UTF-8
// bytes (U+FFFD for a byte the encoding leaves undefined).
struct TByteTable {
  char Utf8[256][4] = {};
  unsigned char Length[256] = {};
  bool Defined[256] = {};
};

class TDeckText {
 public:
  explicit TDeckText(std::string_view deck);

  // The deck as UTF-8, for the parser.
  const std::string& Utf8() const { return Decoded; }
  // The encoding the deck is read in, as its declaration names it ("UTF-8"
  // when none is named).
  const std::string& Encoding() const { return EncodingName; }
  // Set when the declaration names an encoding this program cannot read.
  bool UnknownEncoding() const { return Unknown; }
  const std::optional<TEncodingProblem>& Problem() const { return FirstProblem; }
  // Offset in the deck's own bytes of an offset into Utf8().
  std::size_t SourceOffset(std::size_t utf8Offset) const;
  TTextPosition PositionOfUtf8(std::size_t utf8Offset) const {
    return Lines.PositionOf(SourceOffset(utf8Offset));
  }
  TTextPosition PositionOfSource(std::size_t offset) const { return Lines.PositionOf(offset); }
  std::string_view Source() const { return Deck; }

 private:
  void DecodeUtf8();
  void DecodeUtf16(bool bigEndian);
  void DecodeWithIconv(const std::string& name);
  void ReportUndecodable(std::size_t offset, std::size_t length);

  std::string_view Deck;
  std::string Decoded;
  std::string EncodingName;
  bool Identity = true;
  bool Unknown = false;
  // For a deck that was converted: the offsets in Decoded and in Deck where
  // a character of different lengths begins (Whole), and where a run of
  // characters of equal lengths begins after one (not Whole), ascending.
  struct TAnchor {
    std::size_t Utf8;
    std::size_t Source;
    bool Whole;
  };
  std::vector<TAnchor> Anchors;
  // For a deck in a single-byte encoding: its table, and the offset in
  // Decoded of every kBlock-th byte of Deck.
  static constexpr std::size_t kBlock = 256;
  std::shared_ptr<const TByteTable> SingleByte;
  std::vector<std::size_t> BlockStarts;
  void AddCharacter(std::size_t sourceStart, std::size_t sourceLength, std::string_view utf8);
  std::optional<TEncodingProblem> FirstProblem;
  TLineMap Lines;
  bool Declared = false;          // the deck has an XML declaration
  bool DeclaresEncoding = false;  // ... that names an encoding
  std::size_t EncodingValueOffset = 0;
  friend std::optional<std::size_t> EncodingDeclarationOffset(const TDeckText&);
};

// Appends the UTF-8 form of the code point cp to out.
void AppendUtf8(std::string& out, char32_t cp);

// Where the declaration's encoding name begins in the deck's bytes, if it
// names one.
std::optional<std::size_t> EncodingDeclarationOffset(const TDeckText& text);

}  // namespace deckhand::wml
