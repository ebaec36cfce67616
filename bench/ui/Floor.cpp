// The floor for the start-up figures: a bare Qt Widgets program that builds
// a 780 by 526 main window with a menu bar, a plain-text editor and a status
// bar, shows a frameless modal splash for two seconds, then shows the main
// window. Whatever Deckhand takes beyond this is its own cost.
#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTimer>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Floor"));
  window.resize(780, 526);
  for (const char* title : {"&File", "&Edit", "&View", "&Insert", "&Help"}) {
    QMenu* menu = window.menuBar()->addMenu(QString::fromLatin1(title));
    menu->addAction(QStringLiteral("Item"));
  }
  window.setCentralWidget(new QPlainTextEdit(QStringLiteral("<wml>\n</wml>\n")));
  window.statusBar()->showMessage(QStringLiteral("Ready"));

  QDialog splash(&window, Qt::FramelessWindowHint);
  splash.setWindowTitle(QStringLiteral("Floor splash"));
  splash.resize(450, 240);
  splash.setModal(true);
  QTimer::singleShot(2000, &splash, &QDialog::reject);
  splash.exec();

  window.show();
  return QApplication::exec();
}
