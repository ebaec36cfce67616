// What the document commands need from the main window: the save prompt,
// the open and save dialogs, and status panel 1. The main window implements
// this with its real message box, file dialogs and status bar; tests script
// the answers.
//
// Every text here is UTF-8; the window converts with QString::fromUtf8.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace deckhand {

// The save prompt: a modal message box in the middle of the screen with the
// question icon, this caption and text, and the buttons "&Yes" (default,
// Enter), "&No" and "Cancel", left to right. Esc and the close box answer
// Cancel.
inline constexpr char kSavePromptCaption[] = "Confirm";
inline constexpr char kSavePromptText[] = "Сохранить изменения?";
inline constexpr char kSavePromptYes[] = "&Yes";
inline constexpr char kSavePromptNo[] = "&No";
inline constexpr char kSavePromptCancel[] = "Cancel";

// Filter texts of the two dialogs as "description|mask" pairs. Both give one
// entry, kWmlFilterEntry, listing the files that match "*.wml" (the save
// filter's final "|" adds none).
inline constexpr char kOpenDialogFilter[] = "WML файлы (*.wml)|*.wml";
inline constexpr char kSaveDialogFilter[] = "WML файлы (*.wml)|*.wml|";
inline constexpr char kWmlFilterEntry[] = "WML файлы (*.wml)";

// The entries that a "description|mask|description|mask" filter text gives,
// in order, as name filters a file dialog takes ("WML файлы (*.wml)"). An
// entry needs both halves: a trailing lone description or an empty pair
// adds none. A description that does not already show its masks in
// parentheses gets them appended, since that is where the dialog looks for
// the patterns; several masks are separated by ";" in the filter text.
QStringList DialogFilterEntries(const QString& filter);

enum class TSaveAnswer { Yes, No, Cancel };

// The question before Save writes over a file another program changed; %1
// is the file's path.
inline constexpr char kChangedOnDiskText[] =
    "Файл \"%1\" изменён другой программой после того, как он был открыт или сохранён.\n"
    "Записать текст поверх него? (No — сохранить под другим именем)";

// The seam between the document commands and the main window. Every call is
// modal or immediate: the controller waits for the answer and calls nothing
// else meanwhile.
class TDocumentWindow {
 public:
  virtual ~TDocumentWindow() = default;

  // Shows the save prompt (see kSavePrompt*) and returns the answer.
  virtual TSaveAnswer AskSaveChanges() = 0;

  // Shows the open dialog with the given filter text (kOpenDialogFilter; see
  // DialogFilterEntries), offering fileName. The read-only check box is
  // hidden and the dialog can be resized. Returns the full path of the file
  // chosen, or nothing when the user cancelled. The file need not exist.
  virtual std::optional<QString> ExecuteOpenDialog(const QString& filter,
                                                   const QString& fileName) = 0;

  // Shows the save dialog with the given filter text (kSaveDialogFilter),
  // offering fileName (empty: no name offered). A name that does not exist
  // yet is accepted; a read-only file or one in a write-protected folder is
  // refused by the dialog; there is no default extension and no question
  // before overwriting. Returns the full path chosen, or nothing when the
  // user cancelled.
  virtual std::optional<QString> ExecuteSaveDialog(const QString& filter,
                                                   const QString& fileName) = 0;

  // Sets the text of status panel 1, shown unchanged and clipped at the
  // panel's edge.
  virtual void SetPathPanel(const QString& text) = 0;

  // Asks, before Save writes over the document's file, whether to do so
  // although another program changed the file since it was opened or last
  // saved here (kChangedOnDiskText with the path): Yes writes over it, No
  // saves under another name (Save As), Cancel saves nothing.
  virtual TSaveAnswer AskOverwriteChangedFile(const QString& path) = 0;

  // Told once the text holds no unsaved work: it was written to the
  // document's file (Save, Save As) or replaced by a file's text or the
  // new-document template (Open, New). The default does nothing.
  virtual void TextMatchesFile() {}
};

}  // namespace deckhand
