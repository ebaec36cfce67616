#include "ui/UserDialogs.h"

#include "core/Errors.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace deckhand {

namespace {

class TRealDialogs : public TUserDialogs {
 public:
  TPromptAnswer AskYesNoCancel(QWidget* parent, const QString& caption,
                               const QString& text) override {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, parent);
    // The buttons keep their English captions and stand Yes, No, Cancel from
    // left to right on every desktop, so they share one role (the button box
    // keeps buttons of one role in the order they were added).
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::ActionRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::ActionRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::ActionRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);  // Escape and the close box answer Cancel
    box.exec();
    if (box.clickedButton() == yes) return TPromptAnswer::Yes;
    if (box.clickedButton() == no) return TPromptAnswer::No;
    return TPromptAnswer::Cancel;
  }

  void ShowError(QWidget* parent, const QString& caption, const QString& text) override {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::NoButton, parent);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
  }

  std::optional<QString> GetOpenFileName(QWidget* parent, const QStringList& filters,
                                         const QString& initialPath) override {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name need not exist: opening it then reports the error.
    dialog.setFileMode(QFileDialog::AnyFile);
    return Run(dialog, filters, initialPath);
  }

  std::optional<QString> GetSaveFileName(QWidget* parent, const QStringList& filters,
                                         const QString& initialPath) override {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Save As appends its own extension and overwrites without a question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    return Run(dialog, filters, initialPath);
  }

 private:
  static std::optional<QString> Run(QFileDialog& dialog, const QStringList& filters,
                                    const QString& initialPath) {
    dialog.setNameFilters(filters);
    if (!initialPath.isEmpty()) {
      const QFileInfo info(initialPath);
      if (info.dir().exists()) dialog.setDirectory(info.absolutePath());
      dialog.selectFile(info.fileName());
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return files.first();
  }
};

TUserDialogs* g_installed = nullptr;

}  // namespace

TUserDialogs& UserDialogs() {
  static TRealDialogs real;
  return g_installed != nullptr ? *g_installed : real;
}

void SetUserDialogs(TUserDialogs* dialogs) { g_installed = dialogs; }

void ShowErrorBox(QWidget* parent, const std::exception& error) {
  UserDialogs().ShowError(parent, QStringLiteral("Deckhand"),
                          QString::fromUtf8(ErrorBoxText(error.what())));
}

}  // namespace deckhand
