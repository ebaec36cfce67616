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
  // succeeds is the desktop's business: nothing is returned and no message
  // is shown.
  virtual void Open(const QString& target) = 0;
};

// The shell in use: the real one unless a test installed another.
TShell& Shell();
// Installs a replacement shell (not owned); nullptr restores the real one.
void SetShell(TShell* shell);

}  // namespace deckhand
