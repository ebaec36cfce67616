// The seam between the program and the desktop's shell: handing a file name,
// a web address or a mail link to whatever program the user's desktop opens
// it with. The program uses the real shell; tests install one that records
// the requests.
#pragma once

#include <QString>

namespace deckhand {

class TShell {
 public:
  virtual ~TShell() = default;

  // Opens target with the desktop's default handler: a file name (relative
  // ones against the current working directory of this moment), a web
  // address or a "mailto:" link, passed exactly as given. Whether that
  // succeeds is the desktop's business: nothing is returned to the caller.
  // When nothing could open the target, the real shell says so in a message
  // box of its own, as a desktop's shell does (ShellFailureMessage).
  virtual void Open(const QString& target) = 0;
};

// What the shell says when the desktop's opener (xdg-open) could not open
// target: exitCode is its exit status, or -1 when xdg-open itself could not
// be started. Empty for status 0. The text names the target and what to
// install: a web browser for web addresses and pages, a mail program for
// "mailto:" links, xdg-utils when xdg-open is missing.
QString ShellFailureMessage(const QString& target, int exitCode);

// The shell in use: the real one unless a test installed another.
TShell& Shell();
// Installs a replacement shell (not owned); nullptr restores the real one.
void SetShell(TShell* shell);

// The user guide's page as installed beside the program: the guide folder
// found from the folder of the running executable, guideRelative being the
// path from the executable's folder to the page (the installed layout, which
// the build tree mirrors). Empty when no such file exists.
QString FindUserGuide(const QString& executableDir, const QString& guideRelative);
// The guide of this program: FindUserGuide from the running executable.
QString UserGuidePath();

// What the help command hands to the shell. A help file of that name in the
// current working directory is opened as it always was, by its bare name;
// without one, the user guide is opened (an absolute path), so that help is
// never silently missing. With neither, the bare name goes to the shell all
// the same, which reports the missing file in its own way.
QString HelpTarget(const QString& helpFileName, const QString& guidePath);

}  // namespace deckhand
