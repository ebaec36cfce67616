// Tloading, the splash screen: a borderless white 450 by 240 window with the
// product logo, the version, a usage notice and a small orange vertical
// gauge, shown modally for two seconds at start-up.
//
// Both timers start when the window is created: Timer1 adds one to the gauge
// every 10 ms (0 to 175, so it is full after 1.75 s), Timer closes the window
// after 2000 ms whatever the gauge shows. Closing ends the modal loop with
// Rejected and hides the window; it is not destroyed, and both timers stop.
//
//   auto* splash = new Tloading(owner);  // owned by owner
//   splash->exec();                      // returns two seconds later
#pragma once

#include <QDialog>

class QLabel;
class QTimer;

namespace deckhand {

class TGauge;

class Tloading : public QDialog {
  Q_OBJECT

 public:
  explicit Tloading(QWidget* owner = nullptr);

  // The one-pixel black frame: top, bottom, left and right lines. They show
  // the resize cursors but resize nothing.
  QWidget* Splitter3;
  QWidget* Splitter2;
  QWidget* Splitter1;
  QWidget* Splitter4;
  // Holds everything else; the busy cursor shows anywhere over it.
  QWidget* Panel1;
  QLabel* Image1;  // the logo, or nothing when its picture cannot be loaded
  QLabel* Label2;  // "Версия: 0.2"
  QLabel* Label9;  // the usage notice, first paragraph
  QLabel* Label10;
  QLabel* Label11;
  QLabel* Label12;  // second paragraph
  QLabel* Label13;
  QLabel* Label14;
  QLabel* Label5;  // the copyright line
  TGauge* Gauge;
  QTimer* Timer;   // 2000 ms, closes the splash
  QTimer* Timer1;  // 10 ms, advances the gauge

 public slots:
  // Closes the splash, then disables both timers.
  void TimerTimer(QObject* Sender);
  // One more unit of 175 on the gauge.
  void Timer1Timer(QObject* Sender);
  // Every way of closing stops the timers.
  void done(int result) override;

 protected:
  // The splash has no cancel button: Escape closes nothing.
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace deckhand
