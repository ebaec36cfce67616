// TEmulator, the window "Эмулятор телефона": the deck of the code editor run
// as a WAP phone's browser runs it (the user agent and the screen of wml/),
// with the deck checks' findings and the compiled size beside the screen.
//
// Non-modal; the main window owns it (Qt parenting) and F6 shows it. It
// follows the editor: 300 ms after the last change it reads the text,
// checks it and redraws, staying on the current card with its variables.
// Closing it changes nothing in the document. A big deck (from 64 KB) is
// parsed and checked on a worker thread, so the editor never waits for it;
// the screen and the findings follow when the work is done.
//
// Keys while the window has the focus: Up/Down (and Left/Right) move the
// focus, Enter selects, Backspace erases in a field or goes back, Escape goes
// back, F3 and F4 are the left and right soft keys; other characters type
// into the focused field. The drawn keys below the screen take the mouse.
#pragma once

#include <QImage>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>

#include "wml/CardRenderer.h"
#include "wml/DeckCheck.h"
#include "wml/UserAgent.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace deckhand {

class TMain;

// The phone's screen, enlarged by whole pixels.
class TScreenView : public QWidget {
  Q_OBJECT

 public:
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

  wml::TUserAgent& Agent() { return agent_; }
  TScreenView* Screen() const { return view_; }
  TKeypad* Keypad() const { return keypad_; }
  QListWidget* Findings() const { return findings_; }
  QLabel* SizeLabel() const { return size_; }
  QLabel* StatusLabel() const { return status_; }
  QComboBox* PhoneList() const { return phones_; }
  QPushButton* RestartButton() const { return restart_; }
  const wml::TPhoneProfile& Phone() const;
  // Whether an edit waits for the pause to end.
  bool RefreshPending() const { return pause_.isActive(); }
  // Number of times the emulator read the editor's text (tests).
  int RefreshCount() const { return refreshes_; }
  // Whether a worker is parsing and checking a big deck now.
  bool Checking() const { return worker_ != nullptr; }
  // Decks of this many bytes and more are checked on a worker thread.
  void SetBackgroundFrom(std::size_t bytes) { backgroundFrom_ = bytes; }

  // Reads the editor's text now, checks it and redraws.
  void Refresh();
  // "Сначала": the deck from its first card with an empty context.
  void Restart();
  // A key of the phone.
  void Press(TKeypad::TKey key);
  // Puts the editor's caret at a finding's line and column and focuses the
  // editor.
  void ShowFinding(int row);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Redraw();
  // Shows a text whose deck was parsed and checked.
  void Apply(std::string text, std::string path, wml::TDeck deck, const wml::TDeckReport& report);
  void ShowReport(const wml::TDeckReport& report);
  void ShowSize();
  void ScheduleTimer();

  TMain* main_;
  wml::TUserAgent agent_;
  std::unique_ptr<wml::TPhoneScreen> screen_;
  TScreenView* view_ = nullptr;
  TKeypad* keypad_ = nullptr;
  QComboBox* phones_ = nullptr;
  QListWidget* findings_ = nullptr;
  QLabel* size_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* phoneInfo_ = nullptr;
  QPushButton* restart_ = nullptr;
  QTimer pause_;
  QTimer tick_;
  std::vector<wml::TFinding> shown_;
  std::optional<std::size_t> compiledSize_;
  std::string text_;
  std::string path_;
  bool opened_ = false;
  std::size_t backgroundFrom_ = 64 * 1024;
  std::unique_ptr<QThread> worker_;
  bool again_ = false;  // an edit came while the worker ran
  bool sized_ = false;
  int refreshes_ = 0;
};

}  // namespace deckhand
