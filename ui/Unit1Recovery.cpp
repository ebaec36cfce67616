// The main window's data safety: unsaved text copied to the recovery file
// every 30 seconds, on a log-out and on SIGTERM, and offered back at the
// next start.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <exception>

#include "ui/Unit1.h"
#include "ui/UserDialogs.h"

namespace deckhand {

namespace {

// How often unsaved text is copied to the recovery file.
constexpr int kRecoveryIntervalMs = 30 * 1000;
// The question at start-up when a former run left unsaved text.
constexpr char kRecoveryQuestion[] = "Восстановить несохранённый текст?";

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

}  // namespace deckhand
