// Printing the code: plain text in one font on the pages of a printer.
//
// The text is held by a QTextDocument (the hidden rich-text holder of the
// printed copy) whose font is "MS Sans Serif", 8 points, regular; where the
// family is missing the font database substitutes a sans-serif face. A print
// job fills the printable area of each page, from its top left corner, with as
// many lines as fit; the next page starts with the first character that did
// not fit. There are no headers, footers, page numbers or margins beyond the
// part of the paper the printer cannot print on. A line wider than the page
// wraps at a word boundary, or anywhere inside a word longer than a line.
//
// Character indices of the page loop count every line break as two
// characters, as the CR LF pairs of the code text do.
//
// Errors are EPrinter with the messages below; when one is raised before the
// job has started nothing is sent to the printer.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QTextOption>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

class QPainter;
class QPaintDevice;
class QPrinter;
class QTextDocument;
class QTextLayout;

namespace deckhand {

// The system has no printer, or none is selected as its default.
inline constexpr char kNoDefaultPrinterMessage[] = "There is no default printer currently selected";
// The printer cannot be opened for drawing.
inline constexpr char kPrinterNotValidMessage[] = "Printer selected is not valid";
// A job is still being sent to the printer.
inline constexpr char kPrintingInProgressMessage[] = "Printing in progress";
// Not even one line of text fits into the printable area of the page.
inline constexpr char kPageTooSmallMessage[] =
    "The printable area of the page is too small for one line of text";

inline constexpr std::int32_t kTwipsPerInch = 1440;

// A rectangle in twips (1/1440 inch).
struct TTwipsRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  friend bool operator==(const TTwipsRect&, const TTwipsRect&) = default;
};

// The page rectangle of a print job: left and top 0, right
// pageWidth * 1440 / dpiX and bottom pageHeight * 1440 / dpiY, the printable
// size given in printer pixels. Integer arithmetic, multiplication first, the
// division truncating. The resolutions must be positive.
TTwipsRect PageRectTwips(std::int32_t pageWidth, std::int32_t pageHeight, std::int32_t dpiX,
                         std::int32_t dpiY);

// The same rectangle in printer pixels (twips * dpi / 1440, truncating), the
// area into which the text is laid out.
QRect TwipsToDevicePixels(const TTwipsRect& rect, std::int32_t dpiX, std::int32_t dpiY);

// "MS Sans Serif", 8 points, regular.
QFont PrintFont();

// The face that stands for font on a printer. A family installed only as
// screen bitmaps can neither be drawn at a printer's resolution nor embedded
// in a print job, so the first outline face of "Microsoft Sans Serif",
// "Arial", "Liberation Sans" and "DejaVu Sans" takes its place, at the same
// size (the default sans-serif face when none of them is installed). Any
// other font, and a family that is missing altogether (the font database
// substitutes it), stays as it is.
QFont PrinterFont(const QFont& font);

// Makes document a holder of printed text: the print font, no document
// margin, no undo history, lines wrapped at word boundaries or, for a word
// longer than a line, anywhere.
void PreparePrintDocument(QTextDocument& document);

// Replaces the holder's whole text. CR LF, a lone CR and a lone LF each end a
// line.
void SetPrintText(QTextDocument& document, const QString& text);

// The length of the holder's text with each line break counted as two.
int PrintTextLength(const QTextDocument& document);

// The layout of a holder's text on a paint device, for one page rectangle.
//
// The text is laid out page by page, in the document's font as PrinterFont
// gives it and with the font metrics of the device: each paragraph in pieces
// of bounded length, positions counted from the top of the page, so that a
// text of any length can be laid out (a layout of the whole text would
// overflow its positions past some 33.5 million device pixels) and a page
// costs time in proportion to its own text. The holder is only read and
// must outlive the formatter.
class TPageFormatter {
 public:
  // pageRect is in device pixels; only its size and origin matter.
  TPageFormatter(const QTextDocument& document, QPaintDevice& device, const QRect& pageRect);
  ~TPageFormatter();
  TPageFormatter(const TPageFormatter&) = delete;
  TPageFormatter& operator=(const TPageFormatter&) = delete;

  // Length of the text, line breaks counted as two.
  int TextLength() const { return length_; }

  // Lays out the text from the line holding index from into the page
  // rectangle, as many whole lines as fit from its top, and draws them with
  // painter (nothing is drawn when painter is null). Returns the index of the
  // first character that did not fit, TextLength() when the rest of the text
  // fitted, or from itself when not even its first line fits. Going on from
  // the index the previous call returned costs only the new page's layout.
  int FormatRange(QPainter* painter, int from) const;

  // The index each page starts at: 0, then the index the previous page
  // returned, as long as text remains. An empty text has one (empty) page.
  // Throws EPrinter kPageTooSmallMessage when a page would take no
  // character.
  std::vector<int> PageStarts() const;

 private:
  // Longest run of a paragraph laid out at once.
  static constexpr int kPieceLength = 16384;

  // Lines laid out from a place in a paragraph.
  struct TPiece {
    std::unique_ptr<QTextLayout> layout;
    int lines = 0;   // complete lines at the start of layout
    int length = 0;  // characters those lines hold
  };

  const QString& BlockText(int block) const;
  TPiece LayOutPiece(int block, int offset) const;

  const QTextDocument& document_;
  QPaintDevice& device_;
  QFont font_;
  QTextOption option_;
  QRect pageRect_;
  int length_ = 0;
  // Index of the first character of each paragraph.
  std::vector<int> blockStarts_;
  // The text of the paragraph laid out last.
  mutable int textBlock_ = -1;
  mutable QString text_;
  // Where the last page ended: a line start in a paragraph.
  mutable int hintBlock_ = -1;
  mutable int hintOffset_ = 0;
};

// The system's default printer at the printer's own resolution, printing on
// the printable area. Throws EPrinter kNoDefaultPrinterMessage when there is
// no printer or no default one.
std::unique_ptr<QPrinter> CreateDefaultPrinter();

// Called between two pages of a job.
using TBetweenPages = std::function<void()>;

// Prints the holder's text on printer as one job named title.
//
// The page is the printable area: the printer's margins are set to its own
// minimum and the printer prints on that area only. The page rectangle
// follows from the printable size in pixels and the printer's resolution
// (PageRectTwips, then TwipsToDevicePixels); each page starts at the first
// character the page before did not take, and a new page is begun only while
// text remains, so an empty text gives one blank page. The printer's copy
// count stays with the printer: the pages are drawn once.
//
// Throws EPrinter: kPrintingInProgressMessage when printer is already
// printing, kPrinterNotValidMessage when it is invalid or cannot be opened
// for drawing, kPageTooSmallMessage when a page would take no character (the
// job is then not started).
void PrintDocument(QPrinter* printer, const QTextDocument& document, const QString& title,
                   const TBetweenPages& betweenPages = {});

}  // namespace deckhand
