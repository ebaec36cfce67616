// The recovery file: the unsaved text of a running program, kept in the
// user's state folder so that a crash, a kill or the end of the session
// loses nothing.
//
// The folder is $XDG_STATE_HOME/deckhand, or ~/.local/state/deckhand when
// that variable is unset or not an absolute path (the XDG Base Directory
// rules, version 0.8); never the document's own folder, which may be shared,
// read-only or removable. The folder is made with mode 0700 and each file
// written atomically (a temporary file renamed over it) with mode 0600: the
// text may be private.
//
// Each running program writes its own file, "recovery-<pid>.wml", so that
// two programs at once never overwrite each other's text. A file whose
// program no longer runs is left over from a crash or a kill: the next start
// offers it (Orphans). The file holds a first line "Deckhand recovery 1", a
// second line with the document's path (UTF-8, empty for a document without
// a file), and then the text's bytes exactly as the buffer held them.
#pragma once

#include <sys/types.h>

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>

namespace deckhand {

// The folder recovery files go to, from the environment as described above.
QString DefaultRecoveryFolder();

struct TRecoveredText {
  QString DocumentPath;  // empty for a document that had no file
  std::string Text;
};

class TRecoveryFile {
 public:
  // The file of the process pid (by default this one) in folder.
  explicit TRecoveryFile(QString folder, pid_t pid = 0);

  const QString& Path() const { return path_; }

  // Writes text and the document's path; raises EFCreateError or EWriteError
  // when the folder or the file cannot be made or written (the former file,
  // if any, then stays as it was).
  void Write(std::string_view text, const QString& documentPath) const;
  // Removes the file; nothing when there is none.
  void Remove() const;
  bool Exists() const;

  // Reads a recovery file; nothing when it is missing or not one.
  static std::optional<TRecoveredText> Read(const QString& path);
  // The recovery files of folder whose programs no longer run, newest first.
  static QStringList Orphans(const QString& folder);

 private:
  QString folder_;
  QString path_;
};

}  // namespace deckhand
