#include "document/DocumentController.h"

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

void TDocumentController::ToolButton1Click() {
  SaveIfWanted();
  CreatenewlmClick();
}

void TDocumentController::CreatenewlmClick() {
  ApplyNewDocumentTemplate(buffer_);
  documentPath_.clear();
  window_.SetPathPanel(QString());
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
}

void TDocumentController::SaveButtonClick() { Save(); }

void TDocumentController::N8Click() { SaveAs(); }

void TDocumentController::FormClose() {
  if (!buffer_.GetModified()) return;
  SaveIfWanted();
}

bool TDocumentController::Save() {
  if (documentPath_.isEmpty()) return SaveAs();
  SaveToFile(buffer_, documentPath_);
  window_.SetPathPanel(documentPath_);
  return true;
}

bool TDocumentController::SaveAs() {
  const std::optional<QString> chosen =
      window_.ExecuteSaveDialog(QString::fromUtf8(kSaveDialogFilter), documentPath_);
  if (!Chosen(chosen)) return false;
  // The name is kept even if writing fails, so the next Save tries it again.
  documentPath_ = PathWithWmlExtension(*chosen);
  SaveToFile(buffer_, documentPath_);
  window_.SetPathPanel(documentPath_);
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
