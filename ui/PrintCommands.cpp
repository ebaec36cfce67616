#include "ui/PrintCommands.h"

#include <QCoreApplication>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>
#include <QWidget>

#include "core/CodeBuffer.h"
#include "core/Encoding.h"
#include "core/Errors.h"
#include "document/Printing.h"
#include "ui/UserDialogs.h"

namespace deckhand {

namespace {

// A dialog made for one run. It is a child of the main window; should the
// window take it down first, the pointer notices.
template <class TDialog>
class TDialogRun {
 public:
  explicit TDialogRun(TDialog* dialog) : dialog_(dialog) {}
  ~TDialogRun() { delete dialog_.data(); }
  TDialogRun(const TDialogRun&) = delete;
  TDialogRun& operator=(const TDialogRun&) = delete;
  TDialog& operator*() const { return *dialog_; }
  TDialog* operator->() const { return dialog_.data(); }

 private:
  QPointer<TDialog> dialog_;
};

// What the print dialog may change on the printer before it is confirmed:
// picking another printer in its list takes effect at once. A cancelled
// dialog puts it all back.
class TPrinterSettings {
 public:
  explicit TPrinterSettings(const QPrinter& printer)
      : format_(printer.outputFormat()),
        name_(printer.printerName()),
        file_(printer.outputFileName()),
        layout_(printer.pageLayout()),
        copies_(printer.copyCount()) {}

  void Restore(QPrinter& printer) const {
    if (printer.outputFormat() != format_ || printer.printerName() != name_) {
      if (format_ == QPrinter::NativeFormat)
        printer.setPrinterName(name_);
      else
        printer.setOutputFormat(format_);
    }
    if (printer.outputFileName() != file_) printer.setOutputFileName(file_);
    printer.setPageLayout(layout_);
    printer.setCopyCount(copies_);
  }

 private:
  QPrinter::OutputFormat format_;
  QString name_;
  QString file_;
  QPageLayout layout_;
  int copies_;
};

}  // namespace

TPrintCommands::TPrintCommands(QWidget* mainWindow)
    : mainWindow_(mainWindow),
      richEdit1_(std::make_unique<QTextDocument>()),
      betweenPages_([] { QCoreApplication::processEvents(); }) {
  richEdit1_->setObjectName(QStringLiteral("RichEdit1"));
  PreparePrintDocument(*richEdit1_);
}

TPrintCommands::~TPrintCommands() = default;

QPrinter& TPrintCommands::EnsurePrinter() {
  if (!printer_) {
    printer_ = CreateDefaultPrinter();
    printer_->setCollateCopies(false);
  }
  return *printer_;
}

void TPrintCommands::SetPrinter(std::unique_ptr<QPrinter> printer) {
  if (printing_) throw EPrinter(kPrintingInProgressMessage);
  printer_ = std::move(printer);
  if (printer_) printer_->setCollateCopies(false);
}

void TPrintCommands::SetBetweenPages(std::function<void()> betweenPages) {
  betweenPages_ = std::move(betweenPages);
}

void TPrintCommands::Print(const TCodeBuffer& buffer) {
  // While a job runs its printer must not change under it: the command is
  // refused before any dialog can touch the printer.
  if (printing_) throw EPrinter(kPrintingInProgressMessage);
  QPrinter& printer = EnsurePrinter();
  const TPrinterSettings before(printer);
  // The dialog takes its collation box from the printer.
  printer.setCollateCopies(collate_);

  TDialogRun<QPrintDialog> dialog(new QPrintDialog(&printer, mainWindow_));
  dialog->setOptions(QAbstractPrintDialog::PrintCollateCopies);
  dialog->setPrintRange(QAbstractPrintDialog::AllPages);
  const bool confirmed = UserDialogs().RunPrintDialog(*dialog);
  if (confirmed)
    collate_ = printer.collateCopies();
  else
    before.Restore(printer);
  // The collation choice stays with the dialog.
  printer.setCollateCopies(false);
  if (!confirmed) return;

  SetPrintText(*richEdit1_, Cp1251ToUnicode(buffer.GetText()));
  // A copy: whatever runs between the pages may replace the member.
  const std::function<void()> betweenPages = betweenPages_;
  printing_ = true;
  try {
    PrintDocument(&printer, *richEdit1_, QString(), betweenPages);
  } catch (...) {
    printing_ = false;
    throw;
  }
  printing_ = false;
}

void TPrintCommands::PrinterSetup() {
  if (printing_) throw EPrinter(kPrintingInProgressMessage);
  QPrinter& printer = EnsurePrinter();
  TDialogRun<QPageSetupDialog> dialog(new QPageSetupDialog(&printer, mainWindow_));
  UserDialogs().RunPageSetupDialog(*dialog);
}

}  // namespace deckhand
