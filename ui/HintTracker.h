// The application hint: one text, taken from the highlighted menu item while
// a menu is open, and otherwise, whenever the program is idle, from the
// control under the pointer or its nearest enclosing control that has one.
// Only the text after the first "|" counts. Emits HintChanged only when the
// text really changes. A submenu's parent item keeps its hint while its
// submenu opens; while a modal window is open the pointer rule goes on over
// every window, those behind the modal one included.
//
// A control's hint is its "hint" property; a menu item's is its action's
// status tip. Ownership: the tracker is a QObject owned by the main window;
// it installs itself as an application-wide event filter while it lives.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QTimer>

class QAction;
class QMenu;
class QWidget;

namespace deckhand {

// The hint property of a control, read by the tracker.
inline constexpr const char* kHintProperty = "hint";

// The part of a hint that the status bar shows.
QString LongHint(const QString& hint);

class THintTracker : public QObject {
  Q_OBJECT

 public:
  // How often the pointer is looked at while a modal window is open.
  static constexpr int kModalPollInterval = 50;

  explicit THintTracker(QObject* parent = nullptr);

  QString Hint() const { return hint_; }
  // The hint the pointer rule gives for a widget (walking up to its window).
  static QString HintOfWidget(const QWidget* widget);
  // Recomputes the hint from the pointer now (what the idle step does).
  void UpdateFromPointer();

 signals:
  void HintChanged(const QString& hint);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetHint(const QString& hint);
  void WatchMenu(QMenu* menu);
  void MenuHighlight(QMenu* menu);
  void PollBehindModal();

  QString hint_;
  QTimer idle_;
  QTimer modalPoll_;
  QPoint lastPolled_;
  int openMenus_ = 0;
};

}  // namespace deckhand
