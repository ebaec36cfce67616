// The seam between the windows and the modal questions they ask the user:
// message boxes, file dialogs and the platform's print dialogs. The program
// uses the real dialogs; widget tests install a scripted implementation and
// answer without any sleep.
#pragma once

#include <QString>
#include <QStringList>
#include <exception>
#include <optional>
#include <string>

class QPageSetupDialog;
class QPrintDialog;
class QWidget;

namespace deckhand {

enum class TPromptAnswer { Yes, No, Cancel };

class TUserDialogs {
 public:
  virtual ~TUserDialogs() = default;

  // "Confirm" box with the question icon and Yes / No / Cancel, Yes default.
  virtual TPromptAnswer AskYesNoCancel(QWidget* parent, const QString& caption,
                                       const QString& text) = 0;
  // Error box: caption, error icon, one OK button.
  virtual void ShowError(QWidget* parent, const QString& caption, const QString& text) = 0;
  // File dialogs; nothing when cancelled. filters are "Name (*.ext)" entries.
  virtual std::optional<QString> GetOpenFileName(QWidget* parent, const QStringList& filters,
                                                 const QString& initialPath) = 0;
  virtual std::optional<QString> GetSaveFileName(QWidget* parent, const QStringList& filters,
                                                 const QString& initialPath) = 0;
  // The print and printer set-up dialogs, built and set up by the caller on
  // its printer: runs the dialog modally and returns true when the user
  // confirmed it. A confirmed dialog has handed its choices to the printer.
  virtual bool RunPrintDialog(QPrintDialog& dialog) = 0;
  virtual bool RunPageSetupDialog(QPageSetupDialog& dialog) = 0;
};

// The dialogs in use: the real ones unless a test installed others.
TUserDialogs& UserDialogs();
// Installs replacement dialogs (not owned); nullptr restores the real ones.
void SetUserDialogs(TUserDialogs* dialogs);

// The message the error box shows for an error, before the full stop. The
// program's own errors (EDeckhandError) keep their message as it stands.
// Errors of the C++ library carry terse English texts
// ("basic_filebuf::underflow", "std::bad_alloc"): a Russian sentence says
// what went wrong and the library's text follows it.
std::string ErrorBoxMessage(const std::exception& error);

// The error box: caption "Deckhand", the error icon, one OK button, and the
// error's message (ErrorBoxMessage) with a full stop added where the message
// needs one.
void ShowErrorBox(QWidget* parent, const std::exception& error);

}  // namespace deckhand
