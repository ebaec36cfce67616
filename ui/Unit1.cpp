#include "ui/Unit1.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <exception>

#include "core/Encoding.h"
#include "core/Errors.h"
#include "core/MarkupCommands.h"
#include "core/TextSearch.h"
#include "preview/PreviewPane.h"
#include "ui/CommandTables.h"
#include "ui/Fonts.h"
#include "ui/MainWindowStyle.h"
#include "ui/PrintCommands.h"
#include "ui/ProductInfo.h"
#include "ui/Shell.h"
#include "ui/Unit2.h"
#include "ui/Unit3.h"
#include "ui/Unit4.h"
#include "ui/Unit5.h"
#include "ui/Unit6.h"
#include "ui/Unit7.h"
#include "ui/UserDialogs.h"
#include "wml/DeckCheck.h"
#include "wml/Phones.h"

namespace deckhand {

namespace {

// The designed outer size is 780 by 526 with the frame, and its client area
// below the menu bar 772 by 472. The window manager draws the frame here, so
// the window makes that client area its own (the menu bar above it) and every
// band keeps its designed size; the smallest size follows the same rule from
// the smallest outer size, 680 by 520.
constexpr int kDefaultWidth = 780;
constexpr int kDefaultHeight = 526;
constexpr int kClientWidth = 772;
constexpr int kClientHeight = 472;
constexpr int kMinimumClientWidth = 680 - (kDefaultWidth - kClientWidth);
constexpr int kMinimumClientHeight = 520 - (kDefaultHeight - kClientHeight);
constexpr int kStandardToolBarHeight = 30;
constexpr int kFormattingToolBarHeight = 32;
constexpr int kEtchedLineHeight = 2;
constexpr int kGapWidth = 8;
// How often unsaved text is copied to the recovery file.
constexpr int kRecoveryIntervalMs = 30 * 1000;
// The question at start-up when a former run left unsaved text.
constexpr char kRecoveryQuestion[] = "Восстановить несохранённый текст?";

// An empty 8-pixel gap between toolbar buttons.
QWidget* NewSeparator(const char* name) {
  auto* gap = new QWidget;
  gap->setObjectName(QLatin1String(name));
  gap->setFixedWidth(kGapWidth);
  gap->setProperty("toolKind", QStringLiteral("separator"));
  return gap;
}

// An 8-pixel gap with an etched vertical line in its middle.
QWidget* NewDivider(const char* name) {
  auto* holder = new QWidget;
  holder->setObjectName(QLatin1String(name));
  holder->setFixedWidth(kGapWidth);
  holder->setProperty("toolKind", QStringLiteral("divider"));
  auto* layout = new QHBoxLayout(holder);
  layout->setContentsMargins(3, 2, 3, 2);
  auto* line = new QFrame(holder);
  line->setFrameShape(QFrame::VLine);
  line->setFrameShadow(QFrame::Sunken);
  layout->addWidget(line);
  return holder;
}

}  // namespace

TMain::TMain(QWidget* parent)
    : QMainWindow(parent),
      memo_(new TMemo),
      buffer_(memo_),
      lockKeys_(CreateSystemLockKeySource()) {
  setObjectName(QStringLiteral("Main"));
  setWindowTitle(QString::fromUtf8(kProductTitle));
  setFont(WindowFont());
  memo_->setFont(WindowFont());

  document_ = std::make_unique<TDocumentController>(buffer_, *static_cast<TDocumentWindow*>(this));
  printing_ = std::make_unique<TPrintCommands>(this);

  // Group boxes and toolbars draw and measure themselves through this style;
  // as the window's first child it goes before the widgets that use it.
  style_ = new TMainWindowStyle;
  style_->setParent(this);

  BuildMenus();
  BuildCentralArea();

  statusBar_ = new TStatusBar(this);
  setStatusBar(statusBar_);

  const int menuHeight = menuBar()->heightForWidth(kClientWidth) > 0
                             ? menuBar()->heightForWidth(kClientWidth)
                             : menuBar()->sizeHint().height();
  setMinimumSize(kMinimumClientWidth, menuHeight + kMinimumClientHeight);
  resize(kClientWidth, menuHeight + kClientHeight);

  hints_ = new THintTracker(this);

  connect(memo_, &QPlainTextEdit::cursorPositionChanged, this, &TMain::UpdateCursorPos);
  // The editor's own signal: it follows the editor when its document is
  // replaced as a whole.
  connect(memo_, &QPlainTextEdit::textChanged, this, &TMain::UpdateCursorPos);
  // Any change is unsaved work until the document commands say otherwise
  // (TextMatchesFile), which they do right after replacing the text.
  connect(memo_, &QPlainTextEdit::textChanged, this, [this] {
    unsaved_ = true;
    recoveryStale_ = true;
  });

  // The lock-key panels follow the keyboard from the window's creation on:
  // each change the key source reports starts the 1 ms timer, whose tick
  // reads the keys, so an idle program does no work at all.
  timer1_.setObjectName(QStringLiteral("Timer1"));
  timer1_.setInterval(1);
  timer1_.setSingleShot(true);
  connect(&timer1_, &QTimer::timeout, this, [this] { Timer1Timer(&timer1_); });
  SetLockKeySource(std::move(lockKeys_));

  // A log-out runs the same close query; Cancel asks the session to stop.
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
    if (closing_) return;
    // Whatever the answer to the close query, the session may end the
    // program now: the unsaved text goes to the recovery file first.
    WriteRecovery();
    if (!manager.allowsInteraction()) return;
    if (FormClose()) {
      closing_ = true;
    } else {
      manager.cancel();
    }
    manager.release();
  });

  // Centred on the screen when first shown (the outer size decides).
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kDefaultWidth / 2, kDefaultHeight / 2));
  }
}

TMain::~TMain() { StopTerminationHandling(); }

// ---------------------------------------------------------------------------
// Construction

void TMain::RunGuarded(const std::function<void()>& command) {
  try {
    command();
  } catch (const EAbort&) {
    // The user cancelled: nothing to report.
  } catch (const std::exception& error) {
    ShowErrorBox(this, error);
  }
}

void TMain::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  std::vector<QMenu*> open;
  for (const TMenuEntry& entry : MainMenuEntries()) {
    const QString name = QLatin1String(entry.Name);
    switch (entry.Kind) {
      case TMenuEntryKind::Menu: {
        QMenu* menu = bar->addMenu(QString::fromUtf8(entry.Caption));
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name);
        open.push_back(menu);
        break;
      }
      case TMenuEntryKind::Submenu: {
        QMenu* menu = open.back()->addMenu(QString::fromUtf8(entry.Caption));
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name);
        menu->menuAction()->setStatusTip(QString::fromUtf8(entry.Hint));
        actions_.insert(name, menu->menuAction());
        open.push_back(menu);
        break;
      }
      case TMenuEntryKind::EndMenu:
        open.pop_back();
        break;
      case TMenuEntryKind::Separator: {
        QAction* separator = open.back()->addSeparator();
        separator->setObjectName(name);
        actions_.insert(name, separator);
        break;
      }
      case TMenuEntryKind::Item: {
        QAction* action = open.back()->addAction(QString::fromUtf8(entry.Caption));
        action->setObjectName(name);
        action->setStatusTip(QString::fromUtf8(entry.Hint));
        action->setProperty("imageIndex", entry.Image);
        if (entry.Image >= 0) action->setIcon(ToolbarImage(entry.Image));
        if (*entry.Shortcut != '\0') {
          action->setShortcut(QKeySequence(QLatin1String(entry.Shortcut)));
          action->setShortcutContext(Qt::WindowShortcut);
        }
        const TCommandHandler handler = entry.Handler;
        connect(action, &QAction::triggered, this,
                [this, handler] { RunGuarded([this, handler] { (this->*handler)(this); }); });
        actions_.insert(name, action);
        break;
      }
    }
  }
}

QToolBar* TMain::NewToolBar(const QString& name, QWidget* parent) {
  auto* bar = new QToolBar(parent);
  bar->setObjectName(name);
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setIconSize(QSize(16, 16));
  bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  bar->setContextMenuPolicy(Qt::PreventContextMenu);
  bar->layout()->setSpacing(0);
  bar->setStyle(style_);  // no frame, handle or spacing of its own
  return bar;
}

QToolButton* TMain::ToolButton(const QString& name) const { return findChild<QToolButton*>(name); }

void TMain::BuildToolbars(QGroupBox* codeGroup) {
  // The style's toolbar margin puts the first button 4 pixels from the left
  // edge and the buttons 4 pixels below the top edge. StandardToolBar has no
  // edge lines; ToolBar1 has an etched line along its bottom edge only.
  standardToolBar_ = NewToolBar(QStringLiteral("StandardToolBar"), this);
  standardToolBar_->setFixedHeight(kStandardToolBarHeight);
  toolBar1_ = NewToolBar(QStringLiteral("ToolBar1"), codeGroup);
  toolBar1_->setFixedHeight(kFormattingToolBarHeight);
  toolBar1_->setContentsMargins(0, 0, 0, kEtchedLineHeight);  // buttons clear of the line
  toolBar1_->setProperty(TMainWindowStyle::kBottomEdgeProperty, true);

  const auto fill = [this](QToolBar* bar, const std::vector<TToolEntry>& entries) {
    for (const TToolEntry& entry : entries) {
      switch (entry.Kind) {
        case TToolEntryKind::Separator:
          bar->addWidget(NewSeparator(entry.Name));
          break;
        case TToolEntryKind::Divider:
          bar->addWidget(NewDivider(entry.Name));
          break;
        case TToolEntryKind::Button: {
          auto* button = new QToolButton;
          button->setObjectName(QLatin1String(entry.Name));
          button->setAutoRaise(true);  // flat
          button->setFixedSize(23, 22);
          button->setIconSize(QSize(16, 16));
          button->setIcon(ToolbarImage(entry.Image));
          button->setToolTip(QString::fromUtf8(entry.Hint));
          button->setProperty(kHintProperty, QString::fromUtf8(entry.Hint));
          button->setProperty("imageIndex", entry.Image);
          button->setFocusPolicy(Qt::NoFocus);
          const TCommandHandler handler = entry.Handler;
          connect(button, &QToolButton::clicked, this, [this, handler, button] {
            RunGuarded([this, handler, button] { (this->*handler)(button); });
          });
          bar->addWidget(button);
          break;
        }
      }
    }
  };
  fill(standardToolBar_, StandardToolBarEntries());
  fill(toolBar1_, FormattingToolBarEntries());
  addToolBar(Qt::TopToolBarArea, standardToolBar_);
}

void TMain::BuildCentralArea() {
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("MiddleBand"));
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);

  preview_ = new TPreviewPane(buffer_, QDir::currentPath(), central);
  preview_->setFixedWidth(TPreviewPane::kDefaultWidth);
  // The pane's button runs the preview through the command guard; a page
  // process of the view that ends abnormally is reported like an error.
  connect(preview_, &TPreviewPane::Button1Clicked, this,
          [this] { RunGuarded([this] { Button1Click(preview_->Button1()); }); });
  connect(preview_, &TPreviewPane::WebBrowserFailed, this, [this](const QString& message) {
    ShowErrorBox(this, EInvalidOperation(message.toStdString()));
  });
  row->addWidget(preview_);

  auto* codeGroup = new QGroupBox(QStringLiteral(" WML код "), central);
  codeGroup->setObjectName(QStringLiteral("GroupBox2"));
  auto* column = new QVBoxLayout(codeGroup);
  column->setContentsMargins(2, 0, 2, 2);
  column->setSpacing(0);
  BuildToolbars(codeGroup);
  column->addWidget(toolBar1_);
  memo_->setParent(codeGroup);
  column->addWidget(memo_, 1);
  row->addWidget(codeGroup, 1);

  setCentralWidget(central);
  // Every group box, the preview pane's included, draws the themed frame.
  for (QGroupBox* box : central->findChildren<QGroupBox*>()) box->setStyle(style_);
  // The focus starts on "Показать"; Tab moves between it and the editor.
  setTabOrder(preview_->Button1(), memo_);
}

// ---------------------------------------------------------------------------
// Start-up and closing

void TMain::FormCreate(QObject* /*Sender*/) {
  connect(hints_, &THintTracker::HintChanged, this, [this] { ShowHint(hints_); });
  CreatenewlmClick(this);
  UpdateCursorPos();
  if (showSplash_) {
    auto* splash = new Tloading(this);  // owned by the window, hidden after closing
    splash->exec();
  }
  preview_->Button1()->setFocus(Qt::OtherFocusReason);
}

bool TMain::FormClose() {
  try {
    document_->FormClose();
    return true;
  } catch (const EAbort&) {
    return false;
  } catch (const std::exception& error) {
    ShowErrorBox(this, error);
    return false;
  }
}

void TMain::closeEvent(QCloseEvent* event) {
  if (closing_ || FormClose()) {
    // Saved, or not wanted ("No" at the close query), or never changed.
    if (!closing_) DropRecovery();
    closing_ = true;
    event->accept();
  } else {
    event->ignore();
  }
}

void TMain::keyPressEvent(QKeyEvent* event) {
  // Enter on a focused push button presses it, as Space does. The button
  // itself leaves Enter to its window unless it is a dialog's default.
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      modifiers == Qt::NoModifier) {
    if (auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
        button != nullptr && button->window() == this && button->isEnabled() &&
        button->isVisible()) {
      event->accept();
      button->click();
      return;
    }
  }
  QMainWindow::keyPressEvent(event);
}

bool TMain::event(QEvent* event) {
  // Hints go to status panel 0 through the hint tracker, not to Qt's own
  // temporary status-bar messages.
  if (event->type() == QEvent::StatusTip) return true;
  return QMainWindow::event(event);
}

void TMain::N10Click(QObject* /*Sender*/) { close(); }

// ---------------------------------------------------------------------------
// The document commands' questions

TSaveAnswer TMain::AskSaveChanges() {
  switch (UserDialogs().AskYesNoCancel(this, QString::fromUtf8(kSavePromptCaption),
                                       QString::fromUtf8(kSavePromptText))) {
    case TPromptAnswer::Yes:
      return TSaveAnswer::Yes;
    case TPromptAnswer::No:
      return TSaveAnswer::No;
    case TPromptAnswer::Cancel:
      break;
  }
  return TSaveAnswer::Cancel;
}

std::optional<QString> TMain::ExecuteOpenDialog(const QString& filter, const QString& fileName) {
  return UserDialogs().GetOpenFileName(this, DialogFilterEntries(filter), fileName);
}

std::optional<QString> TMain::ExecuteSaveDialog(const QString& filter, const QString& fileName) {
  return UserDialogs().GetSaveFileName(this, DialogFilterEntries(filter), fileName);
}

void TMain::SetPathPanel(const QString& text) {
  statusBar_->SetPanelText(1, text);
  // The document's file changed: the emulator's relative addresses follow it.
  if (emulator_) emulator_->FollowDocument();
}

TSaveAnswer TMain::AskOverwriteChangedFile(const QString& path) {
  switch (UserDialogs().AskYesNoCancel(this, QString::fromUtf8(kSavePromptCaption),
                                       QString::fromUtf8(kChangedOnDiskText).arg(path))) {
    case TPromptAnswer::Yes:
      return TSaveAnswer::Yes;
    case TPromptAnswer::No:
      return TSaveAnswer::No;
    case TPromptAnswer::Cancel:
      break;
  }
  return TSaveAnswer::Cancel;
}

void TMain::TextMatchesFile() { DropRecovery(); }

// ---------------------------------------------------------------------------
// Data safety: the recovery file

namespace {

// SIGTERM reaches the event loop through this pipe: the handler only writes
// a byte, the loop does the rest.
int terminationPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (::write(terminationPipe[1], &byte, 1) < 0) {
    // The pipe is full: a request is already waiting.
  }
  errno = saved;
}

}  // namespace

void TMain::EnableRecovery(const QString& folder) {
  recovery_ = std::make_unique<TRecoveryFile>(folder);
  recoveryTimer_.setObjectName(QStringLiteral("RecoveryTimer"));
  recoveryTimer_.setInterval(kRecoveryIntervalMs);
  connect(&recoveryTimer_, &QTimer::timeout, this, &TMain::WriteRecovery);
  recoveryTimer_.start();
  connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
    if (!closing_) WriteRecovery();
  });
  if (terminationPipe[0] < 0 && ::pipe2(terminationPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    auto* notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
      char byte = 0;
      while (::read(terminationPipe[0], &byte, 1) > 0) {
      }
      // Asked to end by the system: keep the text, ask nothing, end.
      WriteRecovery();
      closing_ = true;
      QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    handlesTermination_ = true;
  }
  OfferRecoveredText(folder);
}

void TMain::StopTerminationHandling() {
  if (!handlesTermination_) return;
  // SIGTERM ends the process again, as it did before this window.
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGTERM, &action, nullptr);
  ::close(terminationPipe[0]);
  ::close(terminationPipe[1]);
  terminationPipe[0] = terminationPipe[1] = -1;
  handlesTermination_ = false;
}

void TMain::WriteRecovery() {
  if (!recovery_ || !unsaved_ || !recoveryStale_) return;
  try {
    buffer_.ReadText(
        [this](std::string_view text) { recovery_->Write(text, document_->DocumentPath()); });
    recoveryStale_ = false;
  } catch (const std::exception& error) {
    // No box every 30 s: the hint panel says it until the next hint.
    statusBar_->SetPanelText(0, QStringLiteral("Копия несохранённого текста не записана: %1")
                                    .arg(QString::fromUtf8(error.what())));
  }
}

void TMain::DropRecovery() {
  unsaved_ = false;
  recoveryStale_ = false;
  if (recovery_) recovery_->Remove();
}

void TMain::OfferRecoveredText(const QString& folder) {
  for (const QString& path : TRecoveryFile::Orphans(folder)) {
    const std::optional<TRecoveredText> recovered = TRecoveryFile::Read(path);
    if (!recovered) continue;
    switch (UserDialogs().AskYesNoCancel(this, QStringLiteral("Deckhand"),
                                         QString::fromUtf8(kRecoveryQuestion))) {
      case TPromptAnswer::Yes:
        // Put in as the user's own edit: unsaved, and one undo takes it back.
        buffer_.SetSelStart(0);
        buffer_.SetSelLength(buffer_.Length());
        buffer_.SetSelText(recovered->Text);
        buffer_.SetSelStart(0);
        QFile::remove(path);
        WriteRecovery();
        return;
      case TPromptAnswer::No:
        QFile::remove(path);
        break;
      case TPromptAnswer::Cancel:
        return;
    }
  }
}

// ---------------------------------------------------------------------------
// File

void TMain::ToolButton1Click(QObject*) { document_->ToolButton1Click(); }
void TMain::CreatenewlmClick(QObject*) { document_->CreatenewlmClick(); }
void TMain::OpenButtonClick(QObject*) { document_->OpenButtonClick(); }
void TMain::SaveButtonClick(QObject*) { document_->SaveButtonClick(); }
void TMain::N8Click(QObject*) { document_->N8Click(); }
void TMain::ToolButton31Click(QObject*) { printing_->PrinterSetup(); }
void TMain::PrintClick(QObject*) { printing_->Print(buffer_); }
void TMain::N6Click(QObject*) { ToolButton1Click(this); }
void TMain::N7Click(QObject*) { OpenButtonClick(this); }
void TMain::N46Click(QObject*) { SaveButtonClick(this); }
void TMain::N47Click(QObject*) { ToolButton31Click(this); }
void TMain::WML1Click(QObject*) { PrintClick(this); }

// ---------------------------------------------------------------------------
// Edit

void TMain::ToolButton33Click(QObject*) {
  // A fresh dialog each time, owned by the window, gone when it closes.
  const std::unique_ptr<Twmlcheck> dialog(new Twmlcheck(this, buffer_));
  dialog->exec();
}
void TMain::CutButtonClick(QObject*) { buffer_.CutToClipboard(); }
void TMain::CopyButtonClick(QObject*) { buffer_.CopyToClipboard(); }
void TMain::PasteButtonClick(QObject*) { buffer_.PasteFromClipboard(); }
void TMain::ToolButton4Click(QObject*) { LargerText(buffer_); }
void TMain::ToolButton3Click(QObject*) { SmallerText(buffer_); }
void TMain::ToolButton22Click(QObject*) { AlignParagraphLeft(buffer_); }
void TMain::ToolButton23Click(QObject*) { AlignParagraphCenter(buffer_); }
void TMain::ToolButton24Click(QObject*) { AlignParagraphRight(buffer_); }
void TMain::ToolButton18Click(QObject*) { BoldText(buffer_); }
void TMain::ToolButton19Click(QObject*) { ItalicText(buffer_); }
void TMain::ToolButton20Click(QObject*) { UnderlineText(buffer_); }
void TMain::WML2Click(QObject*) { ToolButton33Click(this); }
void TMain::N13Click(QObject*) { CutButtonClick(this); }
void TMain::N14Click(QObject*) { CopyButtonClick(this); }
void TMain::N15Click(QObject*) { PasteButtonClick(this); }
void TMain::N17Click(QObject*) { ToolButton4Click(this); }
void TMain::N18Click(QObject*) { ToolButton3Click(this); }
void TMain::N24Click(QObject*) { ToolButton22Click(this); }
void TMain::N25Click(QObject*) { ToolButton23Click(this); }
void TMain::N26Click(QObject*) { ToolButton24Click(this); }
void TMain::N20Click(QObject*) { ToolButton18Click(this); }
void TMain::N21Click(QObject*) { ToolButton19Click(this); }
void TMain::N22Click(QObject*) { ToolButton20Click(this); }

// ---------------------------------------------------------------------------
// Find, replace, go to a line or a finding

void TMain::RunFindDialog(bool replaceMode) {
  // A fresh dialog each time, owned by the window, gone when it closes.
  const std::unique_ptr<TFindDialog> dialog(
      new TFindDialog(this, buffer_, findState_, replaceMode,
                      [this](const QString& text) { statusBar_->SetPanelText(0, text); }));
  dialog->exec();
  memo_->setFocus(Qt::OtherFocusReason);
}

void TMain::Find1Click(QObject*) { RunFindDialog(false); }
void TMain::Replace1Click(QObject*) { RunFindDialog(true); }

void TMain::FindNext1Click(QObject*) {
  if (findState_.Needle.isEmpty()) {
    RunFindDialog(false);
    return;
  }
  statusBar_->SetPanelText(
      0, FindAgain(buffer_, findState_) ? QString() : QString::fromUtf8(kNotFoundText));
}

void TMain::GoToLine1Click(QObject*) {
  const std::unique_ptr<TGoToLineDialog> dialog(new TGoToLineDialog(this, buffer_));
  dialog->exec();
  memo_->setFocus(Qt::OtherFocusReason);
}

void TMain::GoToFinding(bool backward) {
  // The findings the emulator lists for its phone (the default phone while
  // it has not been opened), checked afresh on the editor's text.
  const std::string text = buffer_.GetText();
  const wml::TDeckReport report =
      wml::CheckDeck(text, emulator_ != nullptr ? &emulator_->Phone() : &wml::DefaultPhone());
  std::vector<size_t> offsets;
  offsets.reserve(report.Findings.size());
  for (const wml::TFinding& finding : report.Findings) offsets.push_back(finding.Offset);
  std::sort(offsets.begin(), offsets.end());
  const std::optional<size_t> stop =
      NextStop(offsets, static_cast<size_t>(buffer_.GetSelStart()), backward);
  if (!stop) {
    statusBar_->SetPanelText(0, QStringLiteral("Замечаний нет"));
    return;
  }
  buffer_.SetSelStart(static_cast<int>(std::min(*stop, text.size())));
  memo_->ensureCursorVisible();
  // Every finding at that place, as the emulator's list words them.
  QStringList shown;
  for (const wml::TFinding& finding : report.Findings) {
    if (finding.Offset != *stop) continue;
    shown << QStringLiteral("%1:%2: %3: %4")
                 .arg(finding.Line)
                 .arg(finding.Column)
                 .arg(finding.Severity == wml::TSeverity::Error ? QStringLiteral("ошибка")
                                                                : QStringLiteral("предупреждение"),
                      QString::fromStdString(finding.Message));
  }
  statusBar_->SetPanelText(0, shown.join(QStringLiteral("; ")));
}

void TMain::NextFinding1Click(QObject*) { GoToFinding(false); }
void TMain::PrevFinding1Click(QObject*) { GoToFinding(true); }

// ---------------------------------------------------------------------------
// View

void TMain::Button1Click(QObject* Sender) { preview_->Button1Click(Sender); }
void TMain::ToolButton2Click(QObject*) { Button1Click(this); }
void TMain::N5Click(QObject*) { Button1Click(this); }
void TMain::N50Click(QObject*) {
  // One emulator window for the whole run, owned by the main window; F6
  // shows it again after it was closed.
  if (!emulator_) emulator_ = new TEmulator(this);
  emulator_->show();
  emulator_->raise();
  emulator_->activateWindow();
}

// ---------------------------------------------------------------------------
// Insert

void TMain::ToolButton16Click(QObject*) { InsertNewCard(buffer_); }
void TMain::ToolButton8Click(QObject*) { NewParagraph(buffer_); }
void TMain::ToolButton9Click(QObject*) { InsertLineBreak(buffer_); }
void TMain::ToolButton14Click(QObject*) {
  // A fresh dialog each time, owned by the window, gone when it closes.
  const std::unique_ptr<Tcreatpic> dialog(new Tcreatpic(this, buffer_));
  dialog->exec();
}
void TMain::ToolButton13Click(QObject*) { InsertIndent(buffer_); }
void TMain::ToolButton7Click(QObject*) { InsertForm(buffer_); }
void TMain::ToolButton25Click(QObject*) { InsertInputField(buffer_); }
void TMain::ToolButton27Click(QObject*) { InsertGoButton(buffer_); }
void TMain::ToolButton15Click(QObject*) {
  // A fresh dialog each time, owned by the window, gone when it closes.
  const std::unique_ptr<TCreathref> dialog(new TCreathref(this, buffer_));
  dialog->exec();
}
void TMain::N27Click(QObject*) { ToolButton16Click(this); }
void TMain::N28Click(QObject*) { ToolButton8Click(this); }
void TMain::N29Click(QObject*) { ToolButton9Click(this); }
void TMain::N32Click(QObject*) { ToolButton14Click(this); }
void TMain::N30Click(QObject*) { ToolButton13Click(this); }
void TMain::N36Click(QObject*) { ToolButton7Click(this); }
void TMain::N34Click(QObject*) { ToolButton25Click(this); }
void TMain::N35Click(QObject*) { ToolButton27Click(this); }
void TMain::N31Click(QObject*) { ToolButton15Click(this); }

// ---------------------------------------------------------------------------
// Help

int TMain::ExecuteFile(const QString& FileName, const QString& /*Params*/,
                       const QString& /*DefaultDir*/, int /*ShowCmd*/) {
  Shell().Open(FileName);
  return 0;
}

void TMain::ToolButton29Click(QObject*) {
  constexpr int kShowWindow = 5;
  ExecuteFile(HelpTarget(QString::fromUtf8(kHelpFileName), UserGuidePath()), QString(), QString(),
              kShowWindow);
}
void TMain::N43Click(QObject*) { ToolButton29Click(this); }
void TMain::Deckhand1Click(QObject*) { Shell().Open(QString::fromUtf8(kWebSiteAddress)); }
void TMain::N4Click(QObject*) {
  const std::unique_ptr<TAbout> about(new TAbout(this));
  about->exec();
}

// ---------------------------------------------------------------------------
// Status bar

void TMain::ShowHint(QObject*) { statusBar_->SetPanelText(0, hints_->Hint()); }

void TMain::UpdateCursorPos() {
  const int start = buffer_.GetSelStart();
  const int line = buffer_.LineFromChar(start);
  const int column = start - buffer_.LineIndex(line);
  statusBar_->SetPanelText(2, QStringLiteral("%1:%2").arg(line + 1).arg(column + 1));
}

void TMain::SetLockKeySource(std::unique_ptr<TLockKeySource> source) {
  lockKeys_ = std::move(source);
  lockKeys_->SetOnChange([this] { timer1_.start(); });
  timer1_.start();
}

void TMain::Timer1Timer(QObject*) {
  const TLockKeyState keys = lockKeys_->Read();
  statusBar_->SetPanelText(4, keys.CapsLock ? QStringLiteral(" CAP") : QString());
  statusBar_->SetPanelText(3, keys.NumLock ? QStringLiteral(" NUM") : QString());
  statusBar_->SetPanelText(5, keys.ScrollLock ? QStringLiteral(" SCRL") : QString());
}

}  // namespace deckhand
