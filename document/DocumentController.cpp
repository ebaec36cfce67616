#include "document/DocumentController.h"

#include <sys/stat.h>

#include <QFile>

#include "core/Errors.h"
#include "core/MarkupCommands.h"
#include "document/DocumentFiles.h"

namespace deckhand {

namespace {

// A dialog that returns an empty name has chosen nothing.
bool Chosen(const std::optional<QString>& answer) { return answer && !answer->isEmpty(); }

}  // namespace

QString PathWithWmlExtension(const QString& chosen) {
  const QString extension = QStringLiteral(".wml");
  return chosen.contains(extension, Qt::CaseSensitive) ? chosen : chosen + extension;
}

TDocumentController::TDocumentController(TCodeBuffer& buffer, TDocumentWindow& window)
    : buffer_(buffer), window_(window) {}

TDocumentController::TFileStamp TDocumentController::StampOf(const QString& path) {
  TFileStamp stamp;
  struct stat info {};
  // Only a regular file has changes of its own to lose; whatever else stands
  // at the path makes the save fail with its own message.
  if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0 ||
      !S_ISREG(info.st_mode)) {
    return stamp;
  }
  stamp.Known = true;
  stamp.Device = static_cast<unsigned long long>(info.st_dev);
  stamp.Inode = static_cast<unsigned long long>(info.st_ino);
  stamp.Size = static_cast<long long>(info.st_size);
  stamp.Seconds = static_cast<long long>(info.st_mtim.tv_sec);
  stamp.Nanoseconds = static_cast<long long>(info.st_mtim.tv_nsec);
  return stamp;
}

void TDocumentController::Settled() {
  stamp_ = StampOf(documentPath_);
  window_.TextMatchesFile();
}

void TDocumentController::ToolButton1Click() {
  SaveIfWanted();
  CreatenewlmClick();
}

void TDocumentController::CreatenewlmClick() {
  ApplyNewDocumentTemplate(buffer_);
  documentPath_.clear();
  window_.SetPathPanel(QString());
  Settled();
}

void TDocumentController::OpenButtonClick() {
  const std::optional<QString> chosen =
      window_.ExecuteOpenDialog(QString::fromUtf8(kOpenDialogFilter), lastOpenName_);
  if (!Chosen(chosen)) return;
  lastOpenName_ = *chosen;
  // A text cut at a NUL is not the file: with no path, Save asks for a
  // name instead of writing the cut text over it.
  const bool whole = LoadFromFile(buffer_, *chosen) == TLoadedText::Whole;
  documentPath_ = whole ? *chosen : QString();
  window_.SetPathPanel(documentPath_);
  Settled();
}

void TDocumentController::SaveButtonClick() { Save(); }

void TDocumentController::N8Click() { SaveAs(); }

void TDocumentController::FormClose() {
  if (!buffer_.GetModified()) return;
  SaveIfWanted();
}

bool TDocumentController::Save() {
  if (documentPath_.isEmpty()) return SaveAs();
  // Another program's changes are never overwritten unasked.
  if (const TFileStamp now = StampOf(documentPath_); stamp_.Known && now.Known && now != stamp_) {
    switch (window_.AskOverwriteChangedFile(documentPath_)) {
      case TSaveAnswer::Yes:
        break;
      case TSaveAnswer::No:
        return SaveAs();
      case TSaveAnswer::Cancel:
        throw EAbort();
    }
  }
  SaveToFile(buffer_, documentPath_);
  window_.SetPathPanel(documentPath_);
  Settled();
  return true;
}

bool TDocumentController::SaveAs() {
  const std::optional<QString> chosen =
      window_.ExecuteSaveDialog(QString::fromUtf8(kSaveDialogFilter), documentPath_);
  if (!Chosen(chosen)) return false;
  // The name is kept even if writing fails, so the next Save tries it again.
  documentPath_ = PathWithWmlExtension(*chosen);
  stamp_ = TFileStamp();
  SaveToFile(buffer_, documentPath_);
  window_.SetPathPanel(documentPath_);
  Settled();
  return true;
}

void TDocumentController::SaveIfWanted() {
  switch (window_.AskSaveChanges()) {
    case TSaveAnswer::Cancel:
      throw EAbort();
    case TSaveAnswer::No:
      return;
    case TSaveAnswer::Yes:
      // A save dialog cancelled here means the text was not saved: dropping
      // it now would lose the user's work, so the whole step is cancelled.
      if (!Save()) throw EAbort();
      return;
  }
  throw EAbort();
}

}  // namespace deckhand
