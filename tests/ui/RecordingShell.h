// The desktop's shell replaced for a test: while a TRecordingShell lives,
// every file name or address the program hands to the desktop is recorded in
// opened instead of being opened.
#pragma once

#include <QStringList>

#include "ui/Shell.h"

namespace deckhand::testing {

class TRecordingShell : public TShell {
 public:
  TRecordingShell() { SetShell(this); }
  ~TRecordingShell() override { SetShell(nullptr); }
  TRecordingShell(const TRecordingShell&) = delete;
  TRecordingShell& operator=(const TRecordingShell&) = delete;

  void Open(const QString& target) override { opened << target; }

  QStringList opened;
};

}  // namespace deckhand::testing
