// The main window's two printing commands: printing the WML code (PrintClick,
// and WML1Click through it) and setting up the printer (ToolButton31Click,
// and N47Click through it).
//
// Ownership: TMain owns one TPrintCommands for the whole run (a unique_ptr
// member created with the window). The controller owns the program's
// printer, the hidden holder of the printed copy RichEdit1, and each dialog
// while it runs; the dialogs are children of the main window, so they are
// modal to it and centred on it. They run through UserDialogs(), like every
// other question the windows ask.
//
// The program's printer is one QPrinter for the process. It comes into being
// on the first use of either command, for the system's default printer, and
// keeps every confirmed choice of the print and set-up dialogs (printer,
// paper, orientation, copy count) until the program ends; nothing is saved.
//
// Each command builds its dialog from the program's printer when it runs, so
// that the dialog shows what the other dialog confirmed last. The print
// dialog offers all pages only: no printing to a file, no page range,
// current page or selection. Its collation box starts unticked and keeps the
// user's last choice for the run; the choice stays with the dialog and is
// not passed on to the printer. The confirmed copy count becomes the
// printer's copy count and the printer makes the copies: the pages are drawn
// once.
//
// Commands let errors through (the main window's guard shows them): EPrinter
// "There is no default printer currently selected" before any dialog when
// the system has no default printer, "Printer selected is not valid" when
// the printer cannot be opened for drawing, "Printing in progress" when
// either command is given while a job is still being sent (before its
// dialog is shown, so the running job's printer stays as it is).
#pragma once

#include <QPointer>
#include <functional>
#include <memory>

class QPrinter;
class QTextDocument;
class QWidget;

namespace deckhand {

class TCodeBuffer;

class TPrintCommands {
 public:
  // mainWindow parents the dialogs; it may be null (tests).
  explicit TPrintCommands(QWidget* mainWindow);
  ~TPrintCommands();
  TPrintCommands(const TPrintCommands&) = delete;
  TPrintCommands& operator=(const TPrintCommands&) = delete;

  // PrintClick: runs the print dialog; on confirmation copies the whole text
  // of buffer (GetText) into RichEdit1 and prints it as one job with an empty
  // title. Cancel prints nothing and leaves RichEdit1 as it was.
  void Print(const TCodeBuffer& buffer);

  // ToolButton31Click: runs the printer set-up dialog (paper and
  // orientation); on confirmation its choices are the program's printer for
  // every later print. Cancel changes nothing. Nothing is printed.
  void PrinterSetup();

  // Installs the program's printer in place of the system's default (tests
  // print to PDF files). Not while a job runs.
  void SetPrinter(std::unique_ptr<QPrinter> printer);
  // The program's printer; null until a command first needed it.
  QPrinter* Printer() const { return printer_.get(); }
  // The hidden holder of the last printed copy, object name "RichEdit1":
  // font "MS Sans Serif", 8 points; empty at start.
  QTextDocument& RichEdit1() const { return *richEdit1_; }
  // Whether a job is being sent to the printer.
  bool Printing() const { return printing_; }
  // What runs between the pages of a job; by default the event loop takes
  // its turn, so the window repaints and takes input (a command given then
  // finds a job running). Tests put their own steps there.
  void SetBetweenPages(std::function<void()> betweenPages);

 private:
  QPrinter& EnsurePrinter();

  QPointer<QWidget> mainWindow_;
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<QTextDocument> richEdit1_;
  // The collation box's last confirmed state.
  bool collate_ = false;
  bool printing_ = false;
  std::function<void()> betweenPages_;
};

}  // namespace deckhand
