// TEmulator, the window "Эмулятор телефона": the deck of the code editor run
// as a WAP phone's browser runs it (the user agent and the screen of wml/),
// with the deck checks' findings and the compiled size beside the screen.
//
// Non-modal; the main window owns it (Qt parenting) and F6 shows it. It
// follows the editor, whichever document the editor holds (Open and New
// replace it): 300 ms after the last change it reads the text, checks it and
// redraws, staying on the current card with its variables; a new file name
// (Open, New, Save As) reaches the deck at once. Closing it changes nothing
// in the document.
//
// The deck is parsed, checked, run and laid out on a worker thread
// (TEmulatorWorker), so the editor never waits for it: the window shows the
// last finished picture until the next is ready, and the phone's keys are
// queued to the worker. Whatever goes wrong in the engine stops the deck with
// a Russian message in the window; "Сначала" starts it again.
//
// Keys while the window has the focus: Up/Down (and Left/Right) move the
// focus, Enter selects, Backspace erases in a field or goes back, Escape goes
// back, F3 and F4 are the left and right soft keys; other characters type
// into the focused field. The drawn keys below the screen take the mouse.
// Ctrl+W and Alt+F4 close the window; Ctrl+S, F5 and F7 run the main
// window's Save, preview and check.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>

#include "ui/EmulatorWorker.h"
#include "wml/DeckCheck.h"
#include "wml/Phones.h"

class QComboBox;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QListWidget;
class QTreeWidget;
class QPushButton;

namespace deckhand {

class TMain;

// The phone's screen, enlarged by whole pixels.
class TScreenView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kLargestSide = 384;  // pixels of the enlarged screen
  static constexpr int kBezel = 6;          // the dark frame around the screen

  explicit TScreenView(QWidget* parent = nullptr);
  void SetImage(const QImage& image);
  const QImage& Image() const { return image_; }
  int Scale() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
};

// The phone's keys, drawn: two soft keys with their labels, up, down,
// select and back.
class TKeypad : public QWidget {
  Q_OBJECT

 public:
  enum class TKey { LeftSoft, RightSoft, Up, Down, Select, Back };
  explicit TKeypad(QWidget* parent = nullptr);
  void SetLabels(const QString& left, const QString& right);
  QRect KeyRect(TKey key) const;
  QSize sizeHint() const override { return {220, 74}; }

 signals:
  void Pressed(TKey key);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QString left_;
  QString right_;
};

class TEmulator : public QWidget {
  Q_OBJECT

 public:
  explicit TEmulator(TMain* main);
  ~TEmulator() override;

  // The last frame the worker finished: what the window shows.
  const TEmulatorFrame& Frame() const { return *frame_; }
  // The card on screen, "" when it has no id; a variable of the context.
  std::string CardId() const { return frame_->CardId; }
  std::string Variable(const std::string& name) const;
  TScreenView* Screen() const { return view_; }
  TKeypad* Keypad() const { return keypad_; }
  QListWidget* Findings() const { return findings_; }
  QLabel* SizeLabel() const { return size_; }
  QLabel* FindingsCaption() const { return findingsCaption_; }
  QTreeWidget* VariablesView() const { return variables_; }
  QListWidget* HistoryView() const { return history_; }
  QLabel* StatusLabel() const { return status_; }
  QCheckBox* NetworkBox() const { return network_; }
  QPlainTextEdit* ExchangeView() const { return exchange_; }
  QComboBox* PhoneList() const { return phones_; }
  QPushButton* RestartButton() const { return restart_; }
  const wml::TPhoneProfile& Phone() const;
  // Whether an edit waits for the pause to end.
  bool RefreshPending() const { return pause_.isActive(); }
  // Number of times the emulator read the editor's text (tests).
  int RefreshCount() const { return refreshes_; }
  // Whether every step asked of the worker has come back as a frame.
  bool Idle() const { return shownJob_ >= postedJob_; }
  // Whether the worker has steps to do (the contrary of Idle).
  bool Checking() const { return !Idle(); }
  // A hook the worker calls before each step (tests force failures with it).
  void SetFaultHook(TEmulatorWorker::TFaultHook hook);

  // Reads the editor's text now, checks it and redraws.
  void Refresh();
  // "Сначала": the deck from its first card with an empty context. When a
  // step has kept the worker busy for more than a second, that worker is
  // left to end on its own and a fresh one takes the deck.
  void Restart();
  // A key of the phone.
  void Press(TKeypad::TKey key);
  // Puts the editor's caret at a finding's line and column and focuses the
  // editor; the row after the findings, when offered, adds the encoding
  // declaration.
  void ShowFinding(int row);
  // Inserts the encoding declaration into the editor's text as one undoable
  // step; false when the text needs none.
  bool AddEncodingDeclaration();
  // The main window's document has a new file (Open, New, Save As).
  void FollowDocument();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Shows a frame the worker finished (on the GUI thread).
  void Show(const std::shared_ptr<const TEmulatorFrame>& frame);
  void ShowReport(const TEmulatorFrame& frame);
  void ShowSize();
  void ShowDeckNames();
  void Posted(std::uint64_t job);
  // A fresh worker; frames of the former one are no longer shown.
  void StartWorker();
  QString EditorDeckName() const;

  TMain* main_;
  std::unique_ptr<TEmulatorWorker> worker_;
  int generation_ = 0;  // of worker_
  TEmulatorWorker::TFaultHook faultHook_;
  std::shared_ptr<const TEmulatorFrame> frame_;
  TScreenView* view_ = nullptr;
  TKeypad* keypad_ = nullptr;
  QComboBox* phones_ = nullptr;
  QListWidget* findings_ = nullptr;
  QLabel* size_ = nullptr;
  QLabel* findingsCaption_ = nullptr;
  QTreeWidget* variables_ = nullptr;
  QListWidget* history_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* phoneInfo_ = nullptr;
  QPushButton* restart_ = nullptr;
  // Off by default; the choice lasts while the program runs.
  QCheckBox* network_ = nullptr;
  QLabel* exchangeCaption_ = nullptr;
  QPlainTextEdit* exchange_ = nullptr;
  QTimer pause_;
  QTimer busy_;         // says so when the worker takes long
  bool stuck_ = false;  // busy_ ran out before the worker answered
  std::vector<wml::TFinding> shown_;
  // A called script's error, shown as the list's first row while the frame
  // carries it.
  std::optional<TEmulatorFrame::TScriptError> scriptError_;
  void ShowScriptError(const std::optional<TEmulatorFrame::TScriptError>& error);
  bool offerEncoding_ = false;
  std::size_t findingsLeftOut_ = 0;
  bool findingsStale_ = true;  // nothing shown yet
  std::optional<std::size_t> compiledSize_;
  bool script_ = false;  // the editor's text is a WMLScript source
  std::string path_;     // the file last given to the worker
  bool opened_ = false;
  std::uint64_t postedJob_ = 0;
  std::uint64_t shownJob_ = 0;
  bool sized_ = false;
  int refreshes_ = 0;
};

}  // namespace deckhand
