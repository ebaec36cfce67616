// TMain, the program's one document window: the code editor Memo, the phone
// preview pane, the two toolbars, the main menu and the status bar.
//
// Unit1 only routes. Every command is a public slot named after the control
// that fires it and taking the sender; a menu item's slot only calls its
// toolbar twin with the main window as sender. The logic lives below the
// window: markup commands and the check in core/, files in document/, the
// preview in preview/, printing in document/ and PrintCommands.
//
// Commands reached from menus, toolbars and buttons run through one guard:
// the silent abort (EAbort) ends a command without a word, any other error is
// shown in the error box (caption "Deckhand", error icon, OK) and the
// program goes on. Slots called directly (tests) let errors through.
//
// Ownership: TMain owns, through Qt parenting, every control, the menus and
// actions, the status bar, the hint tracker, the lock-key timer, the splash
// it shows at start-up and each dialog while it is open. It owns by value or
// unique_ptr the editor's buffer, the document controller, the print
// controller and the lock-key source; all live as long as the window.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>

#include "core/CodeBuffer.h"
#include "document/DocumentController.h"
#include "document/DocumentWindow.h"
#include "document/Recovery.h"
#include "ui/FindDialog.h"
#include "ui/HintTracker.h"
#include "ui/LockKeys.h"
#include "ui/MemoBuffer.h"
#include "ui/StatusBar.h"

class QAction;
class QGroupBox;
class QMenu;
class QToolBar;
class QToolButton;

namespace deckhand {

class TEmulator;
class TMainWindowStyle;
class TPreviewPane;
class TPrintCommands;

class TMain : public QMainWindow, private TDocumentWindow {
  Q_OBJECT

 public:
  // Builds the window with all its controls. FormCreate runs separately
  // (main() calls it before showing the window) so tests can build a window
  // without the splash.
  explicit TMain(QWidget* parent = nullptr);
  ~TMain() override;

  TMemoBuffer& Buffer() { return buffer_; }
  TMemo* Memo() const { return memo_; }
  TDocumentController& Document() { return *document_; }
  TStatusBar* StatusPanels() const { return statusBar_; }
  TPreviewPane* PreviewPane() const { return preview_; }
  // The phone emulator window, null until F6 first opens it.
  TEmulator* Emulator() const { return emulator_; }
  THintTracker& Hints() { return *hints_; }
  TPrintCommands& Printing() { return *printing_; }
  QAction* Action(const QString& name) const { return actions_.value(name); }
  QToolButton* ToolButton(const QString& name) const;
  // Replaces where the lock-key panels read the keys (tests).
  void SetLockKeySource(std::unique_ptr<TLockKeySource> source);
  // Whether FormCreate shows the splash (off in widget tests).
  void SetShowSplash(bool show) { showSplash_ = show; }

  // Keeps the unsaved text in a recovery file in folder (document/Recovery.h):
  // every 30 s while the text has changes not yet saved or kept there, and
  // when the system asks the program to end (the session's commit request,
  // SIGTERM, the application quitting); the file is removed once the text is
  // saved, opened over or new, and when the window closes through the close
  // query. Then offers, once, the text that a program which ended without
  // that (a crash, a kill) left in the folder: "Восстановить несохранённый
  // текст?" through UserDialogs(); Yes puts it in the editor as unsaved
  // text, No removes it, Cancel keeps it for the next start. Off until
  // called, so that a window made by a test leaves the user's folders alone.
  void EnableRecovery(const QString& folder);
  // The recovery file this window writes; null while recovery is off.
  const TRecoveryFile* Recovery() const { return recovery_.get(); }
  // Writes the recovery file now when there are changes it lacks.
  void WriteRecovery();

  // Runs a command the way the menus and toolbars do: errors reach the
  // error box, the silent abort nothing.
  void RunGuarded(const std::function<void()>& command);

 public slots:
  // Start-up: installs the hint handler, applies the new-document template,
  // shows the splash.
  void FormCreate(QObject* Sender);

  // File
  void ToolButton1Click(QObject* Sender);  // New
  void CreatenewlmClick(QObject* Sender);  // new document without asking
  void OpenButtonClick(QObject* Sender);
  void SaveButtonClick(QObject* Sender);
  void N8Click(QObject* Sender);            // Save As
  void ToolButton31Click(QObject* Sender);  // printer set-up
  void PrintClick(QObject* Sender);
  void N10Click(QObject* Sender);  // Exit
  void N6Click(QObject* Sender);
  void N7Click(QObject* Sender);
  void N46Click(QObject* Sender);
  void N47Click(QObject* Sender);
  void WML1Click(QObject* Sender);

  // Edit
  void ToolButton33Click(QObject* Sender);  // check dialog
  void CutButtonClick(QObject* Sender);
  void CopyButtonClick(QObject* Sender);
  void PasteButtonClick(QObject* Sender);
  void ToolButton4Click(QObject* Sender);   // big
  void ToolButton3Click(QObject* Sender);   // small
  void ToolButton22Click(QObject* Sender);  // align left
  void ToolButton23Click(QObject* Sender);  // align centre
  void ToolButton24Click(QObject* Sender);  // align right
  void ToolButton18Click(QObject* Sender);  // bold
  void ToolButton19Click(QObject* Sender);  // italic
  void ToolButton20Click(QObject* Sender);  // underline
  void WML2Click(QObject* Sender);
  void N13Click(QObject* Sender);
  void N14Click(QObject* Sender);
  void N15Click(QObject* Sender);
  void N17Click(QObject* Sender);
  void N18Click(QObject* Sender);
  void N24Click(QObject* Sender);
  void N25Click(QObject* Sender);
  void N26Click(QObject* Sender);
  void N20Click(QObject* Sender);
  void N21Click(QObject* Sender);
  void N22Click(QObject* Sender);
  // Beyond the original commands (menu items only): find, find again,
  // replace, go to a line, and the next and previous finding of the deck
  // check.
  void Find1Click(QObject* Sender);
  void FindNext1Click(QObject* Sender);
  void Replace1Click(QObject* Sender);
  void GoToLine1Click(QObject* Sender);
  void NextFinding1Click(QObject* Sender);
  void PrevFinding1Click(QObject* Sender);

  // View
  void Button1Click(QObject* Sender);  // preview
  void ToolButton2Click(QObject* Sender);
  void N5Click(QObject* Sender);
  void N50Click(QObject* Sender);  // the phone emulator window

  // Insert
  void ToolButton16Click(QObject* Sender);  // new card
  void ToolButton8Click(QObject* Sender);   // paragraph
  void ToolButton9Click(QObject* Sender);   // line break
  void ToolButton14Click(QObject* Sender);  // image dialog
  void ToolButton13Click(QObject* Sender);  // indent
  void ToolButton7Click(QObject* Sender);   // form
  void ToolButton25Click(QObject* Sender);  // input field
  void ToolButton27Click(QObject* Sender);  // go button
  void ToolButton15Click(QObject* Sender);  // link dialog
  void N27Click(QObject* Sender);
  void N28Click(QObject* Sender);
  void N29Click(QObject* Sender);
  void N32Click(QObject* Sender);
  void N30Click(QObject* Sender);
  void N36Click(QObject* Sender);
  void N34Click(QObject* Sender);
  void N35Click(QObject* Sender);
  void N31Click(QObject* Sender);

  // Help
  void ToolButton29Click(QObject* Sender);  // help file
  void N43Click(QObject* Sender);
  void Deckhand1Click(QObject* Sender);  // web site
  void N4Click(QObject* Sender);         // About

  // Status bar
  void ShowHint(QObject* Sender);
  void UpdateCursorPos();
  void Timer1Timer(QObject* Sender);

 public:
  // Hands a file or address to the desktop's default handler; the result is
  // always 0 (nothing inspects it).
  int ExecuteFile(const QString& FileName, const QString& Params, const QString& DefaultDir,
                  int ShowCmd);

  // The close query: true when the window may close. Asks to save a modified
  // document; Cancel (or a failed save) keeps the window open.
  bool FormClose();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // TDocumentWindow: the document commands' questions, answered by the real
  // dialogs through UserDialogs().
  TSaveAnswer AskSaveChanges() override;
  std::optional<QString> ExecuteOpenDialog(const QString& filter, const QString& fileName) override;
  std::optional<QString> ExecuteSaveDialog(const QString& filter, const QString& fileName) override;
  void SetPathPanel(const QString& text) override;
  TSaveAnswer AskOverwriteChangedFile(const QString& path) override;
  void TextMatchesFile() override;

  // Find, replace and the findings: what was sought last, and the step
  // through the deck check's findings from the caret.
  void RunFindDialog(bool replaceMode);
  void GoToFinding(bool backward);

  void BuildMenus();
  void BuildToolbars(QGroupBox* codeGroup);
  void BuildCentralArea();
  QToolBar* NewToolBar(const QString& name, QWidget* parent);

  TMemo* memo_ = nullptr;
  TMemoBuffer buffer_;
  std::unique_ptr<TDocumentController> document_;
  std::unique_ptr<TPrintCommands> printing_;
  TStatusBar* statusBar_ = nullptr;
  TPreviewPane* preview_ = nullptr;
  TEmulator* emulator_ = nullptr;
  THintTracker* hints_ = nullptr;
  TMainWindowStyle* style_ = nullptr;
  QToolBar* standardToolBar_ = nullptr;
  QToolBar* toolBar1_ = nullptr;
  QTimer timer1_;
  std::unique_ptr<TLockKeySource> lockKeys_;
  QHash<QString, QAction*> actions_;
  TFindState findState_;
  // Data safety: the recovery file, its 30 s timer, whether the text has
  // changes not yet saved, and whether the recovery file lacks some of them.
  void DropRecovery();
  // Gives SIGTERM back its default action (the window is going).
  void StopTerminationHandling();
  bool handlesTermination_ = false;
  void OfferRecoveredText(const QString& folder);
  std::unique_ptr<TRecoveryFile> recovery_;
  QTimer recoveryTimer_;
  bool unsaved_ = false;
  bool recoveryStale_ = false;
  bool showSplash_ = true;
  bool closing_ = false;
};

}  // namespace deckhand
