#include "ui/UserDialogs.h"

#include "core/Errors.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPushButton>
#include <filesystem>
#include <ios>
#include <new>

namespace deckhand {

namespace {

// Whether this process may write the file or create files in the folder at
// path (with its effective user, as the writing will be done).
bool MayWrite(const QString& path, bool folder) {
  return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), folder ? W_OK | X_OK : W_OK,
                     AT_EACCESS) == 0;
}

// The save dialog. Its file is always the one whose name the user typed,
// taken as it stands: quotes are legal in a file name, so they are not read
// as the syntax for several files. A read-only file, or one in a folder the
// user may not write, is refused with a message and the dialog stays open,
// as desktop save dialogs do. The messages are Russian like the toolkit's
// own texts in the dialog (the toolkit's translation has none for them).
class TSaveFileDialog : public QFileDialog {
 public:
  explicit TSaveFileDialog(QWidget* parent) : QFileDialog(parent) {
    // The checks below live in this dialog; a platform's own dialog would
    // bypass them.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    // Save As appends its own extension and overwrites without a question.
    setOption(QFileDialog::DontConfirmOverwrite, true);
  }

  // The file chosen, once the dialog was accepted.
  const QString& Chosen() const { return chosen_; }

  void accept() override {
    auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    const QString typed = edit != nullptr ? edit->text() : QString();
    if (typed.isEmpty()) return;
    QString path = typed;
    if (path == u'~' || path.startsWith(QStringLiteral("~/")))
      path = QDir::homePath() + path.mid(1);
    if (!QDir::isAbsolutePath(path)) path = directory().absoluteFilePath(path);
    const QFileInfo info(path);
    if (info.isDir()) {
      // A folder's name opens that folder, as in every file dialog.
      setDirectory(info.absoluteFilePath());
      edit->clear();
      return;
    }
    if (info.exists() && !MayWrite(path, false)) {
      Refuse(QStringLiteral("%1\nЭтот файл доступен только для чтения.\n"
                            "Повторите попытку, указав другое имя файла.")
                 .arg(info.fileName()));
      return;
    }
    const QString folder = info.absolutePath();
    if (QFileInfo(folder).isDir() && !MayWrite(folder, true)) {
      Refuse(QStringLiteral("%1\nУ вас нет разрешения на сохранение в этой папке.\n"
                            "Повторите попытку, указав другую папку.")
                 .arg(QDir::toNativeSeparators(folder)));
      return;
    }
    chosen_ = QDir::cleanPath(path);
    QDialog::accept();
  }

 private:
  void Refuse(const QString& text) { QMessageBox::warning(this, windowTitle(), text); }

  QString chosen_;
};

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
    TSaveFileDialog dialog(parent);
    Prepare(dialog, filters, initialPath);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Chosen();
  }

  bool RunPrintDialog(QPrintDialog& dialog) override { return dialog.exec() == QDialog::Accepted; }

  bool RunPageSetupDialog(QPageSetupDialog& dialog) override {
    return dialog.exec() == QDialog::Accepted;
  }

 private:
  static void Prepare(QFileDialog& dialog, const QStringList& filters, const QString& initialPath) {
    dialog.setNameFilters(filters);
    if (!initialPath.isEmpty()) {
      const QFileInfo info(initialPath);
      if (info.dir().exists()) dialog.setDirectory(info.absolutePath());
      dialog.selectFile(info.fileName());
    }
  }

  static std::optional<QString> Run(QFileDialog& dialog, const QStringList& filters,
                                    const QString& initialPath) {
    Prepare(dialog, filters, initialPath);
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

std::string ErrorBoxMessage(const std::exception& error) {
  if (dynamic_cast<const EDeckhandError*>(&error) != nullptr) return error.what();
  std::string sentence;
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
    sentence = "Не хватает памяти для этого действия";
  } else if (dynamic_cast<const std::ios_base::failure*>(&error) != nullptr ||
             dynamic_cast<const std::filesystem::filesystem_error*>(&error) != nullptr) {
    sentence = "Не удалось прочитать или записать файл";
  } else {
    sentence = "Действие не выполнено из-за внутренней ошибки";
  }
  return sentence + ". Сообщение библиотеки: " + error.what();
}

void ShowErrorBox(QWidget* parent, const std::exception& error) {
  UserDialogs().ShowError(parent, QStringLiteral("Deckhand"),
                          QString::fromUtf8(ErrorBoxText(ErrorBoxMessage(error))));
}

}  // namespace deckhand
