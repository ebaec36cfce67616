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
    : copy_(document.clone()), pageRect_(pageRect), length_(PrintTextLength(document)) {
  // The copy is laid out for the device before anything else touches its
  // layout, so fonts are measured at the device's resolution.
  copy_->setDefaultFont(PrinterFont(document.defaultFont()));
  QAbstractTextDocumentLayout* layout = copy_->documentLayout();
  layout->setPaintDevice(&device);
  QTextOption option = copy_->defaultTextOption();
  // Tab stops every half inch.
  option.setTabStopDistance(device.logicalDpiX() / 2.0);
  copy_->setDefaultTextOption(option);
  copy_->setTextWidth(std::max(pageRect.width(), 1));
  copy_->markContentsDirty(0, copy_->characterCount());
  layout->documentSize();  // completes the layout

  for (QTextBlock block = copy_->begin(); block.isValid(); block = block.next()) {
    const QTextLayout* blockLayout = block.layout();
    const QPointF origin = blockLayout->position();
    const int base = block.position() + block.blockNumber();
    for (int i = 0; i < blockLayout->lineCount(); ++i) {
      const QTextLine line = blockLayout->lineAt(i);
      const qreal top = origin.y() + line.y();
      lines_.push_back({base + line.textStart(), top, top + line.height(), block.blockNumber(), i});
    }
  }
}

TPageFormatter::~TPageFormatter() = default;

int TPageFormatter::FormatRange(QPainter* painter, int from) const {
  if (from < 0) from = 0;
  if (from >= length_) return length_;
  // The line holding from: the last line that starts at or before it.
  auto next = std::upper_bound(lines_.begin(), lines_.end(), from,
                               [](int index, const TLine& line) { return index < line.start; });
  if (next == lines_.begin()) return length_;
  const auto first = next - 1;

  const qreal pageTop = first->top;
  auto end = first;
  while (end != lines_.end() && end->bottom - pageTop <= pageRect_.height() + kLayoutSlack) ++end;
  if (end == first) return from;

  if (painter != nullptr) {
    const QPointF shift(pageRect_.left(), pageRect_.top() - pageTop);
    for (auto line = first; line != end; ++line) {
      const QTextBlock block = copy_->findBlockByNumber(line->block);
      const QTextLayout* blockLayout = block.layout();
      blockLayout->lineAt(line->lineIndex).draw(painter, shift + blockLayout->position());
    }
  }
  return end == lines_.end() ? length_ : end->start;
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

  // The pages are worked out before the job starts, so a text that cannot be
  // paged sends nothing to the printer.
  const TPageFormatter formatter(document, *printer, pageRect);
  const std::vector<int> pageStarts = formatter.PageStarts();

  QPainter painter;
  if (!painter.begin(printer)) throw EPrinter(kPrinterNotValidMessage);
  try {
    // Plain device pixels: one logical unit is one printer pixel.
    painter.resetTransform();
    painter.setPen(Qt::black);
    for (size_t page = 0; page < pageStarts.size(); ++page) {
      if (page > 0) {
        if (betweenPages) betweenPages();
        if (!printer->newPage()) throw EPrinter(kPrinterNotValidMessage);
      }
      formatter.FormatRange(&painter, pageStarts[page]);
    }
  } catch (...) {
    printer->abort();
    painter.end();
    throw;
  }
  if (!painter.end()) throw EPrinter(kPrinterNotValidMessage);
}

}  // namespace deckhand
