// The print controller with the real print dialog, answered by the test
// instead of a user, printing into PDF files: cancel, copies and collation,
// the set-up's orientation, a second command during a job, no printer.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "PdfReading.h"
#include "ScriptedDialogs.h"
#include "core/CodeBuffer.h"
#include "core/Encoding.h"
#include "core/Errors.h"
#include "document/Printing.h"
#include "ui/PrintCommands.h"

namespace deckhand {
namespace {

using testing::HavePoppler;
using testing::PdfInfoField;
using testing::PdfPageCount;
using testing::PdfText;

// The machine's own printers stay out of these tests: libcups is pointed at a
// server that does not exist before anything asks it.
[[maybe_unused]] const bool kNoSystemPrinters =
    qputenv("CUPS_SERVER", "/nonexistent/deckhand-print-commands-test.sock");

template <class TCommand>
std::string PrinterError(TCommand&& command) {
  try {
    command();
  } catch (const EPrinter& error) {
    return error.what();
  }
  return "<no error>";
}

std::string LongText(int lines) {
  std::string text;
  for (int i = 1; i <= lines; ++i) text += "line " + std::to_string(i) + " of the listing\r\n";
  return text;
}

class PrintCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    if (!HavePoppler()) GTEST_SKIP() << "pdfinfo and pdftotext (poppler-utils) are not installed";
    pdf_ = dir_.filePath(QStringLiteral("out.pdf"));
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf_);
    printer->setPageSize(QPageSize(QPageSize::A4));
    commands_.SetPrinter(std::move(printer));
  }

  // The user presses Print with the dialog as it comes. The dialog points the
  // printer at a print queue; with no queue on this machine the test's PDF
  // file is put back, as "Print to file" would have kept it.
  bool Confirm(QPrintDialog& dialog) {
    EXPECT_EQ(dialog.printer(), commands_.Printer());
    dialog.show();
    dialog.accept();
    QPrinter& printer = *commands_.Printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf_);
    return true;
  }

  static QSpinBox* Copies(QPrintDialog& dialog) {
    return dialog.findChild<QSpinBox*>(QStringLiteral("copies"));
  }
  static QCheckBox* Collate(QPrintDialog& dialog) {
    return dialog.findChild<QCheckBox*>(QStringLiteral("collate"));
  }

  void RemovePdf() { QFile::remove(pdf_); }

  QTemporaryDir dir_;
  QString pdf_;
  testing::TScriptedDialogs dialogs_;
  TPrintCommands commands_{nullptr};
  TMemoryBuffer buffer_;
};

TEST_F(PrintCommandsTest, CancelPrintsNothingAndKeepsTheLastPrintedCopy) {
  EXPECT_EQ(commands_.RichEdit1().objectName(), QStringLiteral("RichEdit1"));
  EXPECT_EQ(commands_.RichEdit1().defaultFont().family(), QStringLiteral("MS Sans Serif"));
  EXPECT_EQ(commands_.RichEdit1().defaultFont().pointSize(), 8);
  EXPECT_TRUE(commands_.RichEdit1().isEmpty());

  buffer_.SetTextStr(Cp1251("Первая строка\r\nsecond line"));
  dialogs_.answerPrint = [this](QPrintDialog& dialog) { return Confirm(dialog); };
  commands_.Print(buffer_);
  EXPECT_EQ(commands_.RichEdit1().toPlainText(), QStringLiteral("Первая строка\nsecond line"));
  EXPECT_EQ(PdfPageCount(pdf_), 1);
  EXPECT_TRUE(PdfText(pdf_).contains(QStringLiteral("Первая строка")));
  EXPECT_EQ(PdfInfoField(pdf_, QStringLiteral("Title")), QString());
  RemovePdf();

  // The user changes things in the dialog, then cancels.
  buffer_.SetTextStr("other text");
  dialogs_.answerPrint = [this](QPrintDialog& dialog) {
    Copies(dialog)->setValue(4);
    commands_.Printer()->setPageOrientation(QPageLayout::Landscape);
    commands_.Printer()->setCopyCount(4);
    return false;
  };
  commands_.Print(buffer_);
  EXPECT_EQ(dialogs_.printDialogs, 2);
  EXPECT_FALSE(QFileInfo::exists(pdf_));
  EXPECT_EQ(commands_.RichEdit1().toPlainText(), QStringLiteral("Первая строка\nsecond line"));
  EXPECT_EQ(commands_.Printer()->pageLayout().orientation(), QPageLayout::Portrait);
  EXPECT_EQ(commands_.Printer()->copyCount(), 1);
  EXPECT_EQ(commands_.Printer()->outputFileName(), pdf_);
}

TEST_F(PrintCommandsTest, ThreeCopiesMakeOneJobAndTheDialogKeepsCopiesAndCollation) {
  buffer_.SetTextStr(LongText(150));
  // First run: the dialog offers all pages only, one copy, collation off.
  dialogs_.answerPrint = [this](QPrintDialog& dialog) {
    EXPECT_FALSE(dialog.testOption(QAbstractPrintDialog::PrintToFile));
    EXPECT_FALSE(dialog.testOption(QAbstractPrintDialog::PrintPageRange));
    EXPECT_FALSE(dialog.testOption(QAbstractPrintDialog::PrintSelection));
    EXPECT_FALSE(dialog.testOption(QAbstractPrintDialog::PrintCurrentPage));
    EXPECT_TRUE(dialog.testOption(QAbstractPrintDialog::PrintCollateCopies));
    EXPECT_EQ(dialog.printRange(), QAbstractPrintDialog::AllPages);
    EXPECT_EQ(Copies(dialog)->value(), 1);
    EXPECT_FALSE(Collate(dialog)->isChecked());
    Copies(dialog)->setValue(3);
    Collate(dialog)->setChecked(true);
    return Confirm(dialog);
  };
  commands_.Print(buffer_);
  QPrinter& printer = *commands_.Printer();
  EXPECT_EQ(printer.copyCount(), 3);
  // The collation stays with the dialog.
  EXPECT_FALSE(printer.collateCopies());
  // One job whose pages were drawn once: the printer makes the copies.
  const int pagesOfOneCopy = PdfPageCount(pdf_);
  EXPECT_EQ(pagesOfOneCopy, 2);
  EXPECT_EQ(PdfText(pdf_).count(QStringLiteral("line 150 of the listing")), 1);

  // Next run: three copies and the ticked box again; cancel.
  dialogs_.answerPrint = [](QPrintDialog& dialog) {
    EXPECT_EQ(Copies(dialog)->value(), 3);
    EXPECT_TRUE(Collate(dialog)->isChecked());
    Collate(dialog)->setChecked(false);
    return false;
  };
  commands_.Print(buffer_);
  EXPECT_EQ(printer.copyCount(), 3);
  // A cancelled change of the box is forgotten.
  dialogs_.answerPrint = [this](QPrintDialog& dialog) {
    EXPECT_TRUE(Collate(dialog)->isChecked());
    Collate(dialog)->setChecked(false);
    Copies(dialog)->setValue(2);
    return Confirm(dialog);
  };
  commands_.Print(buffer_);
  EXPECT_EQ(printer.copyCount(), 2);
  dialogs_.answerPrint = [](QPrintDialog& dialog) {
    EXPECT_EQ(Copies(dialog)->value(), 2);
    EXPECT_FALSE(Collate(dialog)->isChecked());
    return false;
  };
  commands_.Print(buffer_);
  EXPECT_EQ(dialogs_.printDialogs, 4);
}

TEST_F(PrintCommandsTest, LandscapeFromTheSetUpIsUsedByTheNextPrint) {
  buffer_.SetTextStr(LongText(150));
  dialogs_.answerPrint = [this](QPrintDialog& dialog) { return Confirm(dialog); };
  commands_.Print(buffer_);
  const int portraitPages = PdfPageCount(pdf_);
  EXPECT_EQ(PdfInfoField(pdf_, QStringLiteral("Page size")).left(9), QStringLiteral("595 x 842"));

  // The set-up dialog works on the program's printer; confirming it keeps
  // what the user chose there, and prints nothing.
  RemovePdf();
  dialogs_.answerSetup = [this](QPageSetupDialog& dialog) {
    EXPECT_EQ(dialog.printer(), commands_.Printer());
    dialog.printer()->setPageOrientation(QPageLayout::Landscape);
    return true;
  };
  commands_.PrinterSetup();
  EXPECT_EQ(dialogs_.setupDialogs, 1);
  EXPECT_FALSE(QFileInfo::exists(pdf_));

  // Printed twice through the print dialog: landscape both times.
  for (int run = 0; run < 2; ++run) {
    commands_.Print(buffer_);
    EXPECT_EQ(PdfInfoField(pdf_, QStringLiteral("Page size")).left(9), QStringLiteral("842 x 595"));
    EXPECT_GT(PdfPageCount(pdf_), portraitPages);
    RemovePdf();
  }
  EXPECT_EQ(commands_.Printer()->pageLayout().orientation(), QPageLayout::Landscape);
}

TEST_F(PrintCommandsTest, DialogsConfirmedDuringAJobAreRefused) {
  buffer_.SetTextStr(LongText(300));
  dialogs_.answerPrint = [this](QPrintDialog& dialog) { return Confirm(dialog); };
  TMemoryBuffer other;
  other.SetTextStr("a different text");
  std::string nestedPrint, nestedSetup;
  int pauses = 0;
  commands_.SetBetweenPages([&] {
    if (pauses++ > 0) return;
    EXPECT_TRUE(commands_.Printing());
    // The same dialogs, confirmed while the job runs.
    dialogs_.answerPrint = [](QPrintDialog& dialog) {
      dialog.show();
      dialog.accept();
      return true;
    };
    dialogs_.answerSetup = [](QPageSetupDialog&) { return true; };
    nestedPrint = PrinterError([&] { commands_.Print(other); });
    nestedSetup = PrinterError([&] { commands_.PrinterSetup(); });
    EXPECT_TRUE(commands_.RichEdit1().toPlainText().startsWith(QStringLiteral("line 1 ")));
  });
  commands_.Print(buffer_);
  EXPECT_EQ(nestedPrint, kPrintingInProgressMessage);
  EXPECT_EQ(nestedSetup, kPrintingInProgressMessage);
  EXPECT_FALSE(commands_.Printing());
  // The job went on to its end.
  EXPECT_EQ(PdfPageCount(pdf_), pauses + 1);
  EXPECT_TRUE(PdfText(pdf_).contains(QStringLiteral("line 300 of the listing")));
  EXPECT_FALSE(PdfText(pdf_).contains(QStringLiteral("different")));
}

// Where each "line N of the listing" stands in text; -1 when one is missing
// or out of order.
int FirstLineOutOfOrder(const QString& text, int lines) {
  qsizetype from = 0;
  for (int i = 1; i <= lines; ++i) {
    const qsizetype at = text.indexOf(QStringLiteral("line %1 of the listing").arg(i), from);
    if (at < 0) return i;
    from = at + 1;
  }
  return -1;
}

TEST_F(PrintCommandsTest, ChangesInTheDialogsDuringAJobNeverReachItsPrinter) {
  buffer_.SetTextStr(LongText(300));
  dialogs_.answerPrint = [this](QPrintDialog& dialog) { return Confirm(dialog); };
  TMemoryBuffer other;
  other.SetTextStr("a different text");
  std::string nestedPrint, nestedSetup;
  int pauses = 0;
  commands_.SetBetweenPages([&] {
    if (pauses++ > 0) return;
    // The user picks Landscape in the set-up dialog and three copies in the
    // print dialog, and confirms both, while page 1 is being sent.
    // The set-up dialog hands its choices to the printer when its own
    // modal run ends accepted, so it runs as the program runs it.
    dialogs_.answerSetup = [](QPageSetupDialog& dialog) {
      QTimer::singleShot(0, &dialog, [&dialog] {
        auto* landscape = dialog.findChild<QRadioButton*>(QStringLiteral("landscape"));
        EXPECT_NE(landscape, nullptr);
        if (landscape != nullptr) landscape->click();
        dialog.accept();
      });
      return dialog.exec() == QDialog::Accepted;
    };
    dialogs_.answerPrint = [](QPrintDialog& dialog) {
      dialog.show();
      if (QSpinBox* copies = Copies(dialog)) copies->setValue(3);
      dialog.accept();
      return true;
    };
    nestedSetup = PrinterError([&] { commands_.PrinterSetup(); });
    nestedPrint = PrinterError([&] { commands_.Print(other); });
  });
  commands_.Print(buffer_);
  EXPECT_EQ(nestedSetup, kPrintingInProgressMessage);
  EXPECT_EQ(nestedPrint, kPrintingInProgressMessage);
  // Refused before either dialog was shown.
  EXPECT_EQ(dialogs_.printDialogs, 1);
  EXPECT_EQ(dialogs_.setupDialogs, 0);
  EXPECT_EQ(commands_.Printer()->pageLayout().orientation(), QPageLayout::Portrait);
  EXPECT_EQ(commands_.Printer()->copyCount(), 1);
  // Every line of the job is on its pages, in order, on portrait paper.
  EXPECT_EQ(PdfInfoField(pdf_, QStringLiteral("Page size")).left(9), QStringLiteral("595 x 842"));
  EXPECT_EQ(FirstLineOutOfOrder(PdfText(pdf_), 300), -1);
  EXPECT_EQ(PdfPageCount(pdf_), pauses + 1);
}

TEST(PrintCommandsWithoutPrinter, BothCommandsFailBeforeTheirDialog) {
  testing::TScriptedDialogs dialogs;
  TPrintCommands commands(nullptr);
  TMemoryBuffer buffer;
  buffer.SetTextStr("text");
  EXPECT_EQ(PrinterError([&] { commands.Print(buffer); }), kNoDefaultPrinterMessage);
  EXPECT_EQ(PrinterError([&] { commands.PrinterSetup(); }), kNoDefaultPrinterMessage);
  EXPECT_EQ(dialogs.printDialogs, 0);
  EXPECT_EQ(dialogs.setupDialogs, 0);
  EXPECT_EQ(commands.Printer(), nullptr);
  EXPECT_TRUE(commands.RichEdit1().isEmpty());
}

}  // namespace
}  // namespace deckhand
