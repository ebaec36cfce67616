#include "document/Printing.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>

#include "core/Encoding.h"
#include "core/Errors.h"

namespace deckhand {

namespace {

// Slack for the comparison of layout positions, which are fixed-point
// numbers in 1/64 pixel.
constexpr qreal kLayoutSlack = 1.0 / 128;

std::int32_t ScaleTruncating(std::int32_t value, std::int32_t multiplier, std::int32_t divisor) {
  // The product is formed in 64 bits so that it cannot overflow; for every
  // printable size a printer reports the result is the same as in 32 bits.
  const std::int64_t product = static_cast<std::int64_t>(value) * multiplier;
  return static_cast<std::int32_t>(product / divisor);
}

}  // namespace

TTwipsRect PageRectTwips(std::int32_t pageWidth, std::int32_t pageHeight, std::int32_t dpiX,
                         std::int32_t dpiY) {
  TTwipsRect rect;
  rect.right = ScaleTruncating(pageWidth, kTwipsPerInch, dpiX);
  rect.bottom = ScaleTruncating(pageHeight, kTwipsPerInch, dpiY);
  return rect;
}

QRect TwipsToDevicePixels(const TTwipsRect& rect, std::int32_t dpiX, std::int32_t dpiY) {
  const int left = ScaleTruncating(rect.left, dpiX, kTwipsPerInch);
  const int top = ScaleTruncating(rect.top, dpiY, kTwipsPerInch);
  const int right = ScaleTruncating(rect.right, dpiX, kTwipsPerInch);
  const int bottom = ScaleTruncating(rect.bottom, dpiY, kTwipsPerInch);
  return QRect(QPoint(left, top), QSize(right - left, bottom - top));
}

QFont PrintFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPointSize(8);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

QFont PrinterFont(const QFont& font) {
  const QString family = font.family();
  if (!QFontDatabase::hasFamily(family) || QFontDatabase::isSmoothlyScalable(family)) return font;
  QFont face(font);
  face.setFamily(QStringLiteral("Sans Serif"));
  for (const char* outline : {"Microsoft Sans Serif", "Arial", "Liberation Sans", "DejaVu Sans"}) {
    const QString name = QString::fromLatin1(outline);
    if (QFontDatabase::hasFamily(name) && QFontDatabase::isSmoothlyScalable(name)) {
      face.setFamily(name);
      break;
    }
  }
  face.setStyleHint(QFont::SansSerif);
  return face;
}

void PreparePrintDocument(QTextDocument& document) {
  document.setUndoRedoEnabled(false);
  document.setDefaultFont(PrintFont());
  document.setDocumentMargin(0);
  QTextOption option = document.defaultTextOption();
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  document.setDefaultTextOption(option);
}

void SetPrintText(QTextDocument& document, const QString& text) {
  // Every kind of line break becomes one paragraph break.
  QString lines;
  lines.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c == u'\r') {
      if (i + 1 < text.size() && text.at(i + 1) == u'\n') ++i;
      lines.append(u'\n');
    } else {
      lines.append(c);
    }
  }
  document.setPlainText(lines);
}

int PrintTextLength(const QTextDocument& document) {
  // characterCount() holds the final paragraph mark, which is no character
  // of the text; every other paragraph mark stands for a two-character break.
  return document.characterCount() - 1 + (document.blockCount() - 1);
}

TPageFormatter::TPageFormatter(const QTextDocument& document, QPaintDevice& device,
                               const QRect& pageRect)
    : document_(document),
      device_(device),
      font_(PrinterFont(document.defaultFont())),
      option_(document.defaultTextOption()),
      pageRect_(pageRect),
      length_(PrintTextLength(document)) {
  // Tab stops every half inch.
  option_.setTabStopDistance(device.logicalDpiX() / 2.0);
  blockStarts_.reserve(static_cast<size_t>(document.blockCount()));
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
    blockStarts_.push_back(block.position() + block.blockNumber());
}

TPageFormatter::~TPageFormatter() = default;

const QString& TPageFormatter::BlockText(int block) const {
  if (block != textBlock_) {
    text_ = document_.findBlockByNumber(block).text();
    textBlock_ = block;
  }
  return text_;
}

TPageFormatter::TPiece TPageFormatter::LayOutPiece(int block, int offset) const {
  const QString& text = BlockText(block);
  const int left = static_cast<int>(text.size()) - offset;
  const bool whole = left <= kPieceLength;
  TPiece piece;
  piece.layout = std::make_unique<QTextLayout>(
      whole ? text.mid(offset) : text.mid(offset, kPieceLength), font_, &device_);
  QTextLayout& layout = *piece.layout;
  layout.setTextOption(option_);
  layout.beginLayout();
  qreal y = 0;
  for (;;) {
    QTextLine line = layout.createLine();
    if (!line.isValid()) break;
    line.setLineWidth(std::max(pageRect_.width(), 1));
    line.setPosition(QPointF(0, y));
    y += line.height();
  }
  layout.endLayout();
  piece.lines = layout.lineCount();
  piece.length = left;
  // A piece cut short of its paragraph may end in the middle of a line; that
  // line is laid out again as the first line of the next piece.
  if (!whole) {
    if (piece.lines > 1) --piece.lines;
    const QTextLine last = layout.lineAt(piece.lines - 1);
    piece.length = last.textStart() + last.textLength();
  }
  return piece;
}

int TPageFormatter::FormatRange(QPainter* painter, int from) const {
  if (from < 0) from = 0;
  if (from >= length_) return length_;
  // The paragraph holding from, and the place of from in its text (the line
  // break after a paragraph belongs to it).
  const auto after = std::upper_bound(blockStarts_.begin(), blockStarts_.end(), from);
  int block = static_cast<int>(after - blockStarts_.begin()) - 1;
  const int wanted = from - blockStarts_[static_cast<size_t>(block)];

  // The paragraph is laid out from its start, or from the start of the line
  // where the last page ended when that lies at or before from.
  int offset = 0;
  if (hintBlock_ == block && hintOffset_ <= wanted) offset = hintOffset_;

  const qreal room = pageRect_.height() + kLayoutSlack;
  qreal used = 0;
  bool reached = false;  // whether the line holding from has been met
  for (;;) {
    const int textLength = static_cast<int>(BlockText(block).size());
    const TPiece piece = LayOutPiece(block, offset);
    const bool paragraphEnds = offset + piece.length >= textLength;
    for (int i = 0; i < piece.lines; ++i) {
      const QTextLine line = piece.layout->lineAt(i);
      if (!reached) {
        const int lineEnd = i + 1 < piece.lines ? offset + piece.layout->lineAt(i + 1).textStart()
                            : paragraphEnds     ? textLength + 2
                                                : offset + piece.length;
        if (wanted >= lineEnd) continue;
        reached = true;
      }
      if (used + line.height() > room) {
        if (used == 0) return from;  // not even one line fits
        hintBlock_ = block;
        hintOffset_ = offset + line.textStart();
        return blockStarts_[static_cast<size_t>(block)] + hintOffset_;
      }
      if (painter != nullptr)
        line.draw(painter, QPointF(pageRect_.left(), pageRect_.top() + used - line.y()));
      used += line.height();
    }
    offset += piece.length;
    if (paragraphEnds) {
      ++block;
      offset = 0;
      if (block >= static_cast<int>(blockStarts_.size())) return length_;
    }
  }
}

std::vector<int> TPageFormatter::PageStarts() const {
  std::vector<int> starts{0};
  int index = 0;
  for (;;) {
    const int next = FormatRange(nullptr, index);
    if (next >= length_) break;
    if (next <= index) throw EPrinter(kPageTooSmallMessage);
    index = next;
    starts.push_back(index);
  }
  return starts;
}

std::unique_ptr<QPrinter> CreateDefaultPrinter() {
  const QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) throw EPrinter(kNoDefaultPrinterMessage);
  auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
  printer->setFullPage(false);
  return printer;
}

void PrintDocument(QPrinter* printer, const QTextDocument& document, const QString& title,
                   const TBetweenPages& betweenPages) {
  if (printer == nullptr) throw EPrinter(kPrinterNotValidMessage);
  if (printer->printerState() == QPrinter::Active) throw EPrinter(kPrintingInProgressMessage);
  if (!printer->isValid()) throw EPrinter(kPrinterNotValidMessage);

  // The page is the printable area, nothing less.
  printer->setFullPage(false);
  const QPageLayout pageLayout = printer->pageLayout();
  printer->setPageMargins(pageLayout.minimumMargins(), pageLayout.units());
  printer->setDocName(title);

  const int dpiX = printer->logicalDpiX();
  const int dpiY = printer->logicalDpiY();
  if (dpiX <= 0 || dpiY <= 0) throw EPrinter(kPrinterNotValidMessage);
  const TTwipsRect twips = PageRectTwips(printer->width(), printer->height(), dpiX, dpiY);
  const QRect pageRect = TwipsToDevicePixels(twips, dpiX, dpiY);

  // The first page is laid out before the job starts, so a page without
  // room for one line sends nothing to the printer. Every later page is laid
  // out only when it is printed.
  const TPageFormatter formatter(document, *printer, pageRect);
  const int length = formatter.TextLength();
  if (length > 0 && formatter.FormatRange(nullptr, 0) <= 0) throw EPrinter(kPageTooSmallMessage);

  QPainter painter;
  if (!painter.begin(printer)) throw EPrinter(kPrinterNotValidMessage);
  try {
    // Plain device pixels: one logical unit is one printer pixel.
    painter.resetTransform();
    painter.setPen(Qt::black);
    int index = 0;
    for (;;) {
      const int next = formatter.FormatRange(&painter, index);
      if (next >= length) break;
      // Only a line taller than the whole page takes nothing; the job
      // cannot go on then.
      if (next <= index) throw EPrinter(kPageTooSmallMessage);
      index = next;
      if (betweenPages) betweenPages();
      if (!printer->newPage()) throw EPrinter(kPrinterNotValidMessage);
    }
  } catch (...) {
    printer->abort();
    painter.end();
    throw;
  }
  if (!painter.end()) throw EPrinter(kPrinterNotValidMessage);
}

}  // namespace deckhand
