#include "ui/Unit1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "core/Errors.h"
#include "preview/PreviewPane.h"
#include "ui/CommandTables.h"
#include "ui/Fonts.h"
#include "ui/MainWindowStyle.h"
#include "ui/PrintCommands.h"
#include "ui/ProductInfo.h"
#include "ui/Unit6.h"
#include "ui/Unit7.h"
#include "ui/UserDialogs.h"

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

}  // namespace deckhand
