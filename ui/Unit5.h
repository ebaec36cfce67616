// The check dialog (Twmlcheck): runs the markup check over the editor's text
// with a progress bar and shows the verdict.
#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <cstdint>

#include "core/CodeBuffer.h"
#include "ui/DialogParts.h"

namespace deckhand {

// "Проверка WML кода на ошибки".
class Twmlcheck : public TFixedDialog {
  Q_OBJECT

 public:
  Twmlcheck(QWidget* parent, TCodeBuffer& buffer);

  QLabel* Label1;       // "Проверка..." until the first run ends
  QProgressBar* Gauge;  // the check's progress; range 0..100 before a run
  QLabel* text;         // the verdict, empty before a run
  TBevel* Bevel1;
  QPushButton* Button1;  // "Закрыть"
  QPushButton* Button2;  // "Выполнить проверку"

 public slots:
  // Closes the dialog.
  void Button1Click(QObject* sender);
  // Runs the check and shows its verdict; the dialog stays open.
  void Button2Click(QObject* sender);

 private:
  void ShowProgress(int32_t position, int32_t max);

  TCodeBuffer& buffer_;
  bool running_ = false;
  bool firstProgress_ = false;
  QElapsedTimer sinceEvents_;
};

}  // namespace deckhand
