// The toolkit around the program's own strings: under a Russian locale the
// file and print dialogs, the editor's context menu and the buttons are
// Russian while the program's English save prompt keeps "&Yes", "&No" and
// "Cancel"; and the toolkit's file dialogs leave nothing in the user's
// configuration. ToolkitCheck.sh generates the ru_RU.UTF-8 locale and runs
// this program under LANG=ru_RU.UTF-8; the Russian checks skip when the
// locale is not in effect.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <clocale>
#include <memory>

#include "GuiTestMain.h"
#include "ui/MemoBuffer.h"
#include "ui/ToolkitSetup.h"
#include "ui/UserDialogs.h"

namespace deckhand {
namespace {

// The folder that stands for the user's home and configuration; set before
// the application object exists.
QTemporaryDir* g_home = nullptr;

// Texts of the buttons of the dialog's button box, left to right as added.
QStringList ButtonTexts(QWidget* dialog) {
  QStringList texts;
  for (auto* box : dialog->findChildren<QDialogButtonBox*>())
    for (QAbstractButton* button : box->buttons()) texts << button->text();
  return texts;
}

bool RussianLocaleInEffect() {
  const char* current = std::setlocale(LC_MESSAGES, nullptr);
  return current != nullptr && QByteArray(current).startsWith("ru_RU") &&
         QLocale::system().language() == QLocale::Russian;
}

TEST(RussianToolkit, DialogsAndContextMenuAreRussianTheProgramsOwnStringsAreNot) {
  if (!RussianLocaleInEffect())
    GTEST_SKIP() << "the ru_RU.UTF-8 locale is not in effect (LANG=" << qgetenv("LANG").constData()
                 << ")";
  const QString file =
      QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ru.qm");
  ASSERT_TRUE(QFile::exists(file))
      << file.toStdString() << " is missing (Debian package qt6-translations-l10n)";
  // As the program starts.
  ASSERT_TRUE(InstallToolkitTranslations(QLocale::system()));
  KeepToolkitSettingsOut();

  // The editor's context menu.
  TMemo memo;
  memo.setPlainText(QStringLiteral("<wml/>"));
  std::unique_ptr<QMenu> menu(memo.createStandardContextMenu());
  QStringList items;
  for (QAction* action : menu->actions())
    if (!action->isSeparator()) items << action->text().section(u'\t', 0, 0);
  EXPECT_TRUE(items.contains(QStringLiteral("&Отменить действие")))
      << items.join(u'|').toStdString();
  EXPECT_TRUE(items.contains(QStringLiteral("&Копировать"))) << items.join(u'|').toStdString();
  EXPECT_TRUE(items.contains(QStringLiteral("Выделить всё"))) << items.join(u'|').toStdString();

  // The open dialog, through the program's own seam.
  QString title;
  QStringList openButtons;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    title = dialog->windowTitle();
    openButtons = ButtonTexts(dialog);
    dialog->reject();
  });
  EXPECT_FALSE(UserDialogs().GetOpenFileName(nullptr, {QStringLiteral("WML файлы (*.wml)")},
                                             g_home->filePath(QStringLiteral("a.wml"))));
  EXPECT_EQ(title, QStringLiteral("Открыть"));
  EXPECT_TRUE(openButtons.contains(QStringLiteral("&Открыть")))
      << openButtons.join(u'|').toStdString();
  EXPECT_TRUE(openButtons.contains(QStringLiteral("Отмена")))
      << openButtons.join(u'|').toStdString();

  // The print dialog, as the print command builds it on its printer.
  QPrinter printer;
  QPrintDialog print(&printer);
  EXPECT_EQ(print.windowTitle(), QStringLiteral("Печать"));

  // The save prompt and the error box are the program's own English boxes.
  QStringList promptButtons;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    promptButtons = ButtonTexts(box);
    box->reject();  // Escape: Cancel
  });
  EXPECT_EQ(UserDialogs().AskYesNoCancel(nullptr, QStringLiteral("Confirm"),
                                         QStringLiteral("Сохранить изменения?")),
            TPromptAnswer::Cancel);
  EXPECT_EQ(promptButtons,
            (QStringList{QStringLiteral("&Yes"), QStringLiteral("&No"), QStringLiteral("Cancel")}));
  QStringList errorButtons;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    errorButtons = ButtonTexts(box);
    box->accept();
  });
  UserDialogs().ShowError(nullptr, QStringLiteral("Deckhand"),
                          QStringLiteral("Stream write error."));
  EXPECT_EQ(errorButtons, QStringList{QStringLiteral("OK")});
}

TEST(ToolkitSettings, FileDialogsLeaveNothingInTheUsersConfiguration) {
  KeepToolkitSettingsOut();
  QTemporaryDir documents;
  ASSERT_TRUE(documents.isValid());
  // Each dialog is taken to another folder, which a file dialog would
  // remember as its history and last folder, and then cancelled.
  for (bool save : {false, true}) {
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      dialog->setDirectory(documents.path());
      dialog->reject();
    });
    const QStringList filters{QStringLiteral("WML файлы (*.wml)")};
    const QString start = g_home->filePath(QStringLiteral("start.wml"));
    if (save) {
      EXPECT_FALSE(UserDialogs().GetSaveFileName(nullptr, filters, start));
    } else {
      EXPECT_FALSE(UserDialogs().GetOpenFileName(nullptr, filters, start));
    }
  }
  const QStringList written =
      QDir(g_home->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
  EXPECT_TRUE(written.isEmpty()) << "written into the home folder: "
                                 << written.join(u' ').toStdString();
  // A second dialog starts from the folder it is given, not from a
  // remembered one.
  QString shown;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    shown = dialog->directory().absolutePath();
    dialog->reject();
  });
  UserDialogs().GetOpenFileName(nullptr, {}, g_home->filePath(QStringLiteral("x.wml")));
  EXPECT_EQ(shown, QDir(g_home->path()).absolutePath());
}

}  // namespace
}  // namespace deckhand

int main(int argc, char** argv) {
  // The home and configuration folders of this run are empty folders of its
  // own, so that anything the toolkit writes there is seen (and nothing
  // lands in the real ones).
  QTemporaryDir home;
  if (!home.isValid()) return 1;
  deckhand::g_home = &home;
  qputenv("HOME", QFile::encodeName(home.path()));
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
  qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + QStringLiteral("/.cache")));
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/.local/share")));
  return deckhand::testing::RunGuiTests(argc, argv);
}
