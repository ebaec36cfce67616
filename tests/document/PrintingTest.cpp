// Printing to PDF files: pages, wrapping, letters and the job's title as
// poppler's tools read them back, the page loop's arithmetic, and the errors.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextDocument>
#include <memory>
#include <string>
#include <vector>

#include "PdfReading.h"
#include "core/Encoding.h"
#include "core/Errors.h"
#include "document/Printing.h"

// Readable QStrings in failure messages.
void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace deckhand {
namespace {

using testing::HavePoppler;
using testing::PdfInfoField;
using testing::PdfPageCount;
using testing::PdfText;
using testing::PdfTool;

// One job of text on printer, through a holder made for text as the print
// command prepares its own.
void PrintText(QPrinter* printer, const QString& text, const QString& title = QString()) {
  QTextDocument document;
  PreparePrintDocument(document);
  SetPrintText(document, text);
  PrintDocument(printer, document, title);
}

// PrintText for Windows-1251 text, the document's own bytes.
void PrintCp1251Text(QPrinter* printer, std::string_view text) {
  PrintText(printer, Cp1251ToUnicode(text));
}

// Fonts and printers need a GUI application. The system's printers are kept
// out of reach so that the default-printer lookup behaves the same on every
// machine: libcups is pointed at a server socket that does not exist.
class TGuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("CUPS_SERVER", "/nonexistent/deckhand-printing-test.sock");
    static int argc = 1;
    static char name[] = "PrintingTest";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QGuiApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QGuiApplication> app_;
};

[[maybe_unused]] const ::testing::Environment* const kGuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new TGuiEnvironment);

std::unique_ptr<QPrinter> PdfPrinter(const QString& path,
                                     QPageLayout::Orientation orientation = QPageLayout::Portrait) {
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setOutputFileName(path);
  printer->setPageSize(QPageSize(QPageSize::A4));
  printer->setPageOrientation(orientation);
  return printer;
}

QString PageText(const QString& pdf, int page) {
  return PdfTool(QStringLiteral("pdftotext"),
                 {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                  QString::number(page), pdf, QStringLiteral("-")});
}

QStringList NonEmptyLines(const QString& text) {
  QStringList lines;
  for (const QString& line : text.split(u'\n')) {
    const QString trimmed = QString(line).remove(u'\f').trimmed();
    if (!trimmed.isEmpty()) lines.append(trimmed);
  }
  return lines;
}

QString WithoutWhitespace(const QString& text) {
  QString result;
  for (const QChar c : text)
    if (!c.isSpace()) result.append(c);
  return result;
}

// One word of pdftotext's bounding-box output, in points from the page's top
// left corner.
struct TWordBox {
  int page;
  double xMax;
  double yMin;
  double yMax;
  QString word;
};

struct TBoxes {
  double pageWidth = 0;
  double pageHeight = 0;
  std::vector<TWordBox> words;
};

TBoxes WordBoxes(const QString& pdf) {
  TBoxes boxes;
  const QString html = PdfTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, "-"});
  static const QRegularExpression pageTag(
      QStringLiteral("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\">"));
  static const QRegularExpression wordTag(QStringLiteral(
      "<word xMin=\"([-0-9.]+)\" yMin=\"([-0-9.]+)\" xMax=\"([-0-9.]+)\" yMax=\"([-0-9.]+)\">"
      "([^<]*)</word>"));
  int page = 0;
  for (const QString& line : html.split(u'\n')) {
    const QRegularExpressionMatch pageMatch = pageTag.match(line);
    if (pageMatch.hasMatch()) {
      ++page;
      boxes.pageWidth = pageMatch.captured(1).toDouble();
      boxes.pageHeight = pageMatch.captured(2).toDouble();
      continue;
    }
    const QRegularExpressionMatch word = wordTag.match(line);
    if (word.hasMatch())
      boxes.words.push_back({page, word.captured(3).toDouble(), word.captured(2).toDouble(),
                             word.captured(4).toDouble(), word.captured(5)});
  }
  return boxes;
}

QString NumberedLines(int count) {
  QString text;
  for (int i = 1; i <= count; ++i) {
    if (i > 1) text += QStringLiteral("\r\n");
    text += QStringLiteral("Line%1 of the long listing").arg(i, 4, 10, QChar(u'0'));
  }
  return text;
}

class PrintingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    if (!HavePoppler()) GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are not installed";
  }
  QString Path(const QString& name) const { return dir_.filePath(name); }

  QTemporaryDir dir_;
};

TEST(PageRectArithmetic, TwipsFromPixelsTruncateAfterMultiplying) {
  // An A4 printable area at 600 dpi: 4961 * 1440 / 600 = 11906.4.
  EXPECT_EQ(PageRectTwips(4961, 7016, 600, 600), (TTwipsRect{0, 0, 11906, 16838}));
  // Different resolutions across and down.
  EXPECT_EQ(PageRectTwips(1000, 1000, 300, 600), (TTwipsRect{0, 0, 4800, 2400}));
  // Dividing first would give 1440 / 7 * 3 = 615; multiplying first gives 617.
  EXPECT_EQ(PageRectTwips(3, 3, 7, 7).right, 617);
  // The largest width whose product still fits in 32 bits.
  EXPECT_EQ(PageRectTwips(1491308, 0, 1, 1).right, 2147483520);
  EXPECT_EQ(PageRectTwips(0, 0, 600, 600), (TTwipsRect{}));
}

TEST(PageRectArithmetic, BackToPixelsLosesAtMostOnePixel) {
  // 11906 * 600 / 1440 = 4960.8: the layout area is one pixel narrower.
  EXPECT_EQ(TwipsToDevicePixels(PageRectTwips(4961, 7016, 600, 600), 600, 600),
            QRect(0, 0, 4960, 7015));
  EXPECT_EQ(TwipsToDevicePixels(PageRectTwips(1000, 1000, 300, 600), 300, 600),
            QRect(0, 0, 1000, 1000));
  // 9921 * 1440 / 1200 = 11905.2, and 11905 * 1200 / 1440 = 9920.8.
  EXPECT_EQ(TwipsToDevicePixels(PageRectTwips(9921, 14031, 1200, 1200), 1200, 1200),
            QRect(0, 0, 9920, 14030));
}

TEST(PrintTextLength, EveryLineBreakCountsTwo) {
  QTextDocument document;
  PreparePrintDocument(document);
  const std::vector<std::pair<QString, int>> cases = {
      {QString(), 0},       {QStringLiteral("abc"), 3},     {QStringLiteral("a\r\nb"), 4},
      {"\r\n", 2},          {QStringLiteral("a\nb\rc"), 7}, {QStringLiteral("\r\n\r\n"), 4},
      {"a\r\n\r\nb\r\n", 8}};
  for (const auto& [text, length] : cases) {
    SetPrintText(document, text);
    EXPECT_EQ(PrintTextLength(document), length) << text.toStdString();
  }
}

TEST_F(PrintingTest, PageLoopStartsEachPageAtTheFirstCharacterThatDidNotFit) {
  auto printer = PdfPrinter(Path("unused.pdf"));
  const QRect page(0, 0, printer->width(), printer->height());
  QTextDocument document;
  PreparePrintDocument(document);

  // Lines of one character: each takes three indices with its break.
  QString many;
  for (int i = 0; i < 500; ++i) many += QStringLiteral("x\r\n");
  SetPrintText(document, many);
  const int perPage = [&] {
    const TPageFormatter formatter(document, *printer, page);
    const std::vector<int> starts = formatter.PageStarts();
    EXPECT_GE(starts.size(), 2u);
    for (size_t i = 1; i < starts.size(); ++i) EXPECT_EQ(starts[i] - starts[i - 1], starts[1]);
    // A start in the middle of a line formats from that line's start.
    EXPECT_EQ(formatter.FormatRange(nullptr, 1), starts[1]);
    EXPECT_EQ(formatter.FormatRange(nullptr, formatter.TextLength()), formatter.TextLength());
    return starts[1] / 3;
  }();
  ASSERT_GT(perPage, 10);

  // Exactly one page of lines: a final line break does not start a page.
  QString full;
  for (int i = 0; i < perPage; ++i) full += QStringLiteral("x\r\n");
  SetPrintText(document, full);
  EXPECT_EQ(TPageFormatter(document, *printer, page).PageStarts(), std::vector<int>{0});
  // One character more does.
  SetPrintText(document, full + u'y');
  EXPECT_EQ(TPageFormatter(document, *printer, page).PageStarts(),
            (std::vector<int>{0, 3 * perPage}));
  // Empty lines take their page space and their two indices as well.
  SetPrintText(document, QStringLiteral("\r\n").repeated(perPage) + u'z');
  EXPECT_EQ(TPageFormatter(document, *printer, page).PageStarts(),
            (std::vector<int>{0, 2 * perPage}));
}

TEST_F(PrintingTest, LongTextFillsPagesInOrderAndLandscapeHoldsFewerLines) {
  const QString text = NumberedLines(400);
  QStringList expected;
  for (const QString& line : text.split(QStringLiteral("\r\n"))) expected.append(line);

  QTextDocument document;
  PreparePrintDocument(document);
  SetPrintText(document, text);

  std::vector<int> linesOnFirstPage;
  for (const auto orientation : {QPageLayout::Portrait, QPageLayout::Landscape}) {
    const QString pdf = Path(orientation == QPageLayout::Portrait ? "portrait.pdf" : "wide.pdf");
    auto printer = PdfPrinter(pdf, orientation);
    int pauses = 0;
    PrintDocument(printer.get(), document, QString(), [&] { ++pauses; });

    const int pages = PdfPageCount(pdf);
    ASSERT_GE(pages, 2);
    EXPECT_EQ(pauses, pages - 1);
    // Every line once, in order: each page goes on where the last one ended.
    QStringList printed;
    for (int page = 1; page <= pages; ++page) {
      const QStringList lines = NonEmptyLines(PageText(pdf, page));
      if (page == 1) linesOnFirstPage.push_back(static_cast<int>(lines.size()));
      printed += lines;
    }
    EXPECT_EQ(printed, expected);

    // Each full page is filled down to its bottom: the last line ends less
    // than one line above the page's lower edge, and the first one starts at
    // the top.
    const TBoxes boxes = WordBoxes(pdf);
    ASSERT_FALSE(boxes.words.empty());
    double firstTop = 1e9, lastBottom = 0, lineHeight = 0;
    for (const TWordBox& box : boxes.words) {
      if (box.page != 1) continue;
      if (box.yMin < firstTop) firstTop = box.yMin;
      lastBottom = std::max(lastBottom, box.yMax);
      lineHeight = std::max(lineHeight, box.yMax - box.yMin);
    }
    EXPECT_LT(firstTop, lineHeight);
    EXPECT_GT(lastBottom, boxes.pageHeight - 2 * lineHeight);
    EXPECT_LE(lastBottom, boxes.pageHeight);
  }
  ASSERT_EQ(linesOnFirstPage.size(), 2u);
  EXPECT_LT(linesOnFirstPage[1], linesOnFirstPage[0]);
}

TEST_F(PrintingTest, TextTallerThanOneLayoutCanHoldPrintsWholeAndInOrder) {
  // A text laid out in one piece cannot be taller than about 33.5 million
  // device pixels (positions are 26.6 fixed-point numbers). At 1200 dpi that
  // is some 220,000 lines; at this printer's resolution 16,000 lines are
  // past it.
  const QString pdf = Path("long.pdf");
  auto printer = PdfPrinter(pdf);
  printer->setResolution(19200);
  constexpr int kLines = 16000;
  QString text;
  QStringList expected;
  for (int i = 1; i <= kLines; ++i) {
    const QString line = QStringLiteral("Row%1 end").arg(i, 5, 10, QChar(u'0'));
    expected.append(line);
    text += line + QStringLiteral("\r\n");
  }
  QTextDocument document;
  PreparePrintDocument(document);
  SetPrintText(document, text);
  int pauses = 0;
  PrintDocument(printer.get(), document, QString(), [&] { ++pauses; });

  const int pages = PdfPageCount(pdf);
  EXPECT_EQ(pauses, pages - 1);
  const QStringList printed = NonEmptyLines(PdfText(pdf));
  ASSERT_EQ(printed.size(), expected.size());
  for (int i = 0; i < kLines; ++i) ASSERT_EQ(printed[i], expected[i]) << "line " << i + 1;
}

TEST_F(PrintingTest, ParagraphLongerThanOneLayoutPieceWrapsTheSameAnywhere) {
  // One paragraph of 60,000 characters, laid out in several pieces.
  QString paragraph;
  QStringList words;
  for (int i = 1; paragraph.size() < 60000; ++i) {
    words.append(QStringLiteral("w%1").arg(i, 5, 10, QChar(u'0')));
    paragraph += words.last() + u' ';
  }
  const QString text =
      QStringLiteral("first\r\n") + paragraph.trimmed() + QStringLiteral("\r\nlast");
  QTextDocument document;
  PreparePrintDocument(document);
  SetPrintText(document, text);

  const QString pdf = Path("paragraph.pdf");
  auto printer = PdfPrinter(pdf);
  const QRect page(0, 0, printer->width(), printer->height());
  {
    // Each page found from the start of the paragraph (a new formatter) is
    // the page found by going on from the page before.
    const std::vector<int> starts = TPageFormatter(document, *printer, page).PageStarts();
    ASSERT_GE(starts.size(), 4u);
    for (size_t i = 1; i + 1 < starts.size(); ++i) {
      const TPageFormatter fresh(document, *printer, page);
      EXPECT_EQ(fresh.FormatRange(nullptr, starts[i] + 3), starts[i + 1]) << "page " << i + 1;
    }
  }
  PrintDocument(printer.get(), document, QString());
  // Every word once, in order, no line longer than the page.
  const QStringList lines = NonEmptyLines(PdfText(pdf));
  ASSERT_GE(lines.size(), 3);
  EXPECT_EQ(lines.first(), QStringLiteral("first"));
  EXPECT_EQ(lines.last(), QStringLiteral("last"));
  QStringList printed;
  for (qsizetype i = 1; i + 1 < lines.size(); ++i)
    printed += lines[i].split(u' ', Qt::SkipEmptyParts);
  EXPECT_EQ(printed, words);
  const TBoxes boxes = WordBoxes(pdf);
  for (const TWordBox& box : boxes.words) EXPECT_LE(box.xMax, boxes.pageWidth + 0.5);
}

TEST_F(PrintingTest, LinesWiderThanThePageWrapAndNothingIsCut) {
  QString words;
  for (int i = 1; i <= 300; ++i) words += QStringLiteral("word%1 ").arg(i);
  QString longWord;
  for (int i = 0; i < 60; ++i) longWord += QStringLiteral("ABCDEFGHIJ");
  const QString text = words.trimmed() + QStringLiteral("\r\n") + longWord;

  std::vector<qsizetype> wordsInFirstLine;
  for (const auto orientation : {QPageLayout::Portrait, QPageLayout::Landscape}) {
    const QString pdf = Path(orientation == QPageLayout::Portrait ? "tall.pdf" : "wide.pdf");
    auto printer = PdfPrinter(pdf, orientation);
    PrintText(printer.get(), text);

    const QStringList lines = NonEmptyLines(PdfText(pdf));
    ASSERT_GT(lines.size(), 4);
    wordsInFirstLine.push_back(lines.first().split(u' ', Qt::SkipEmptyParts).size());
    // Every word, in order, and the long word whole across its lines.
    EXPECT_EQ(WithoutWhitespace(lines.join(QString())), WithoutWhitespace(text));
    // The long word needed more than one line.
    EXPECT_NE(lines.last(), longWord);

    const TBoxes boxes = WordBoxes(pdf);
    for (const TWordBox& box : boxes.words)
      EXPECT_LE(box.xMax, boxes.pageWidth + 0.5) << box.word.toStdString();
  }
  ASSERT_EQ(wordsInFirstLine.size(), 2u);
  EXPECT_GT(wordsInFirstLine[1], wordsInFirstLine[0]);
}

TEST_F(PrintingTest, EmptyTextPrintsOneBlankPage) {
  const QString pdf = Path("empty.pdf");
  auto printer = PdfPrinter(pdf);
  int pauses = 0;
  QTextDocument document;
  PreparePrintDocument(document);
  PrintDocument(printer.get(), document, QString(), [&] { ++pauses; });
  EXPECT_EQ(PdfPageCount(pdf), 1);
  EXPECT_TRUE(NonEmptyLines(PdfText(pdf)).isEmpty());
  EXPECT_EQ(pauses, 0);
}

TEST_F(PrintingTest, CyrillicComesOutAsTheSameLettersUnderAnEmptyTitle) {
  const QString pdf = Path("cyrillic.pdf");
  auto printer = PdfPrinter(pdf);
  printer->setDocName(QStringLiteral("Left over from before"));
  const std::string text = Cp1251(
      "<p>Привет, мир! Съешь же ещё этих мягких французских булок, да выпей чаю.</p>\r\n"
      "Ёлка, ёж, «кавычки» — тире");
  PrintCp1251Text(printer.get(), text);

  const QString printed = PdfText(pdf);
  EXPECT_TRUE(printed.contains(QStringLiteral("Привет, мир!"))) << printed.toStdString();
  EXPECT_TRUE(printed.contains(QStringLiteral("французских булок"))) << printed.toStdString();
  EXPECT_EQ(WithoutWhitespace(printed), WithoutWhitespace(Cp1251ToUnicode(text)));
  EXPECT_EQ(PdfInfoField(pdf, QStringLiteral("Title")), QString());
  EXPECT_EQ(printer->docName(), QString());
}

TEST_F(PrintingTest, RealDecksPrintWholeAndInOrder) {
  const QDir corpus(QStringLiteral(DECKHAND_CORPUS_DIR "/cp1251"));
  if (!corpus.exists()) GTEST_SKIP() << "the WML corpus is not here";
  const QStringList decks = corpus.entryList({QStringLiteral("*.wml")}, QDir::Files);
  ASSERT_FALSE(decks.isEmpty());
  for (const QString& name : decks) {
    QFile file(corpus.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QString pdf = Path(name + ".pdf");
    auto printer = PdfPrinter(pdf);
    PrintCp1251Text(printer.get(), std::string_view(bytes.constData(), bytes.size()));
    EXPECT_EQ(WithoutWhitespace(PdfText(pdf)),
              WithoutWhitespace(Cp1251ToUnicode(std::string_view(bytes.constData(), bytes.size()))))
        << name.toStdString();
  }
}

TEST_F(PrintingTest, PageWithoutRoomForOneLineEndsTheJobBeforeItStarts) {
  const QString pdf = Path("tiny.pdf");
  auto printer = PdfPrinter(pdf);
  ASSERT_TRUE(printer->setPageSize(
      QPageSize(QSizeF(40, 4), QPageSize::Point, QString(), QPageSize::ExactMatch)));
  try {
    PrintText(printer.get(), QStringLiteral("Too tall for this page"));
    FAIL() << "no error";
  } catch (const EPrinter& error) {
    EXPECT_STREQ(error.what(), kPageTooSmallMessage);
  }
  EXPECT_FALSE(QFileInfo::exists(pdf));
  EXPECT_NE(printer->printerState(), QPrinter::Active);

  // With no text there is nothing to place: one blank page.
  PrintText(printer.get(), QString());
  EXPECT_EQ(PdfPageCount(pdf), 1);
}

TEST_F(PrintingTest, PrinterThatCannotBeOpenedIsNotValid) {
  auto printer = PdfPrinter(Path("missing-folder/out.pdf"));
  try {
    PrintText(printer.get(), QStringLiteral("text"));
    FAIL() << "no error";
  } catch (const EPrinter& error) {
    EXPECT_STREQ(error.what(), "Printer selected is not valid");
  }
  try {
    PrintText(nullptr, QStringLiteral("text"));
    FAIL() << "no error";
  } catch (const EPrinter& error) {
    EXPECT_STREQ(error.what(), "Printer selected is not valid");
  }
}

TEST_F(PrintingTest, SecondJobWhileOneIsActiveIsRefused) {
  const QString pdf = Path("busy.pdf");
  auto printer = PdfPrinter(pdf);
  QPainter painter;
  ASSERT_TRUE(painter.begin(printer.get()));
  try {
    PrintText(printer.get(), QStringLiteral("second job"));
    FAIL() << "no error";
  } catch (const EPrinter& error) {
    EXPECT_STREQ(error.what(), "Printing in progress");
  }
  painter.drawText(100, 100, QStringLiteral("first job"));
  ASSERT_TRUE(painter.end());
  EXPECT_EQ(NonEmptyLines(PdfText(pdf)), QStringList{QStringLiteral("first job")});
}

// Runs last in this file: the font stays registered for the process.
TEST_F(PrintingTest, BitmapOnlyMsSansSerifIsPrintedInAnOutlineFace) {
  const QString bitmapFont = QStringLiteral("/usr/share/wine/fonts/ms_sans_serif.ttf");
  if (!QFileInfo::exists(bitmapFont)) GTEST_SKIP() << "the bitmap MS Sans Serif is not installed";
  ASSERT_GE(QFontDatabase::addApplicationFont(bitmapFont), 0);
  ASSERT_FALSE(QFontDatabase::isSmoothlyScalable(QStringLiteral("MS Sans Serif")));

  const QFont face = PrinterFont(PrintFont());
  EXPECT_NE(face.family(), QStringLiteral("MS Sans Serif"));
  EXPECT_EQ(face.pointSize(), 8);
  // Outline fonts and missing families are left alone.
  QFont other(QStringLiteral("DejaVu Sans"), 12);
  EXPECT_EQ(PrinterFont(other), other);
  QFont missing(QStringLiteral("No Such Family Anywhere"), 8);
  EXPECT_EQ(PrinterFont(missing), missing);

  const QString pdf = Path("bitmap-font.pdf");
  auto printer = PdfPrinter(pdf);
  const QString text = QStringLiteral("<p>Печать кода: first line</p>\r\nsecond line");
  PrintText(printer.get(), text);
  EXPECT_EQ(WithoutWhitespace(PdfText(pdf)), WithoutWhitespace(text));
  // The job embeds the outline face, not the bitmap one.
  const QString fonts = PdfTool(QStringLiteral("pdffonts"), {pdf});
  EXPECT_FALSE(QString(fonts)
                   .toLower()
                   .remove(QRegularExpression(QStringLiteral("[^a-z]")))
                   .contains(QStringLiteral("mssansserif")))
      << fonts.toStdString();
}

TEST(DefaultPrinter, NoPrinterAtAllIsReported) {
  // The environment keeps every CUPS server out of reach.
  try {
    CreateDefaultPrinter();
    FAIL() << "no error";
  } catch (const EPrinter& error) {
    EXPECT_STREQ(error.what(), "There is no default printer currently selected");
    // As the error box shows it.
    EXPECT_EQ(ErrorBoxText(error.what()), "There is no default printer currently selected.");
  }
}

}  // namespace
}  // namespace deckhand
