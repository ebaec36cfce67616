// The document commands of the main window: New, Open, Save, Save As and the
// close query, with the document's path.
//
// The document is the main window's code buffer and at most one file path,
// DocumentPath. Save writes to DocumentPath; when it is empty Save asks for
// a name (Save As). Open makes the opened file's path the DocumentPath, so a
// later Save writes back to the file that was opened and to no other; a file
// whose text was cut at a NUL (a binary or UTF-16 file) leaves DocumentPath
// empty instead, so that Save asks for a name rather than write the cut text
// over the file.
// Status panel 1 shows the path: Save, Save As and Open set it after they
// succeed; CreatenewlmClick empties it. After a failure panel 1 keeps its
// former text.
//
// The modified flag belongs to the buffer: these commands never set or clear
// it themselves (saving does not clear it), so the close query asks after a
// Save too whenever the user has changed the text since the last New or
// Open.
//
// Errors: the commands catch nothing. A file error leaves the command as
// SaveToFile and LoadFromFile raise it (EFCreateError, EWriteError,
// EFOpenError, EInvalidOperation "Text exceeds memo capacity"); a Cancel of
// the save prompt raises the silent EAbort. The main window's command guard
// drops EAbort and shows any other error in the error box.
//
// Ownership and lifetime: the controller holds references to the buffer and
// the window seam, both owned by the main window, which must outlive the
// controller (create the controller after them, destroy it first). It owns
// only its two strings. It is neither copied nor moved. All calls come from
// the GUI thread, one at a time.
#pragma once

#include <QString>

#include "core/CodeBuffer.h"
#include "document/DocumentWindow.h"

namespace deckhand {

class TDocumentController {
 public:
  TDocumentController(TCodeBuffer& buffer, TDocumentWindow& window);
  TDocumentController(const TDocumentController&) = delete;
  TDocumentController& operator=(const TDocumentController&) = delete;

  // The full path of the document's file; empty when it has none.
  const QString& DocumentPath() const { return documentPath_; }
  // The last name confirmed in the open dialog, offered by the next one;
  // empty until the first Open. It is kept even when that file then failed
  // to open, as the dialog would keep it.
  const QString& LastOpenName() const { return lastOpenName_; }

  // New: shows the save prompt, whatever the modified flag says.
  //  - Cancel: raises EAbort; nothing has changed (text, selection, path,
  //    panel).
  //  - Yes: runs Save. A save error propagates and the document stays as it
  //    was. When Save has to ask for a name and the user cancels the save
  //    dialog, New is abandoned like Cancel (EAbort): the unsaved text is not
  //    thrown away.
  //  - Yes (saved) or No: CreatenewlmClick.
  void ToolButton1Click();

  // Starts a new document without asking: the buffer gets the new-document
  // template, DocumentPath and panel 1 become empty. Called at start-up too.
  void CreatenewlmClick();

  // Open: shows the open dialog (kOpenDialogFilter, offering LastOpenName).
  // Cancel: returns, nothing changed. Otherwise reads the chosen file into the
  // buffer without asking first (unsaved changes are replaced), then
  // DocumentPath and panel 1 become the chosen path, or empty when the text
  // was cut at a NUL. A file that cannot be read or held leaves the buffer,
  // DocumentPath and panel 1 as they were.
  void OpenButtonClick();

  // Save: with a DocumentPath, writes the buffer to it and sets panel 1 to
  // it; nothing is asked, unless another program changed the file since it
  // was opened or saved here (its size, modification time or identity on
  // disk differ): then the window asks first (AskOverwriteChangedFile), and
  // No runs Save As, Cancel raises EAbort. A file that has gone is written
  // anew without a question. Without a DocumentPath, runs Save As.
  void SaveButtonClick();

  // Save As: shows the save dialog (kSaveDialogFilter, offering
  // DocumentPath). Cancel: returns, nothing changed. Otherwise DocumentPath
  // becomes the chosen path, with ".wml" appended unless the whole path
  // already contains ".wml" (case-sensitive, folder names included); then
  // the buffer is written to it and panel 1 set to it. If writing fails,
  // DocumentPath keeps the chosen name (so the next Save tries it again) and
  // panel 1 its former text.
  void N8Click();

  // The close query, run before the main window closes for any reason.
  // Returns normally when the window may close; raises when it must stay
  // open:
  //  - modified flag clear: returns at once, nothing is asked;
  //  - otherwise shows the save prompt. Cancel: raises EAbort (at a log-off
  //    the window then refuses to end the session). No: returns. Yes: runs
  //    Save and returns once it has written the file; a save error
  //    propagates (the window stays open and the guard shows the error), and
  //    a cancelled save dialog raises EAbort so that unsaved work is not lost.
  // The window's close handler accepts the close only when this returned.
  void FormClose();

 private:
  // Save and Save As; both return false when the user cancelled the save
  // dialog, true once the file is written.
  bool Save();
  bool SaveAs();
  // The Yes/No/Cancel step of New and the close query: returns once the
  // document may be dropped (saved or not wanted), raises EAbort otherwise.
  void SaveIfWanted();

  // What the document's file looked like on disk after it was last opened or
  // saved here; compared before Save writes over it.
  struct TFileStamp {
    bool Known = false;
    unsigned long long Device = 0, Inode = 0;
    long long Size = 0, Seconds = 0, Nanoseconds = 0;
    bool operator==(const TFileStamp&) const = default;
  };
  static TFileStamp StampOf(const QString& path);
  // Records the file's stamp and tells the window the text is saved.
  void Settled();

  TCodeBuffer& buffer_;
  TDocumentWindow& window_;
  QString documentPath_;
  QString lastOpenName_;
  TFileStamp stamp_;
};

// The path Save As writes to for the chosen path: ".wml" appended unless the
// path contains ".wml" anywhere (case-sensitive).
QString PathWithWmlExtension(const QString& chosen);

}  // namespace deckhand
