// Entry of every widget test: the web engine is set up before the
// application, the program's pictures and fonts after it, as the program
// itself does.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>

#include "GuiTestMain.h"
#include "assets/Assets.h"
#include "preview/WebEngineSetup.h"
#include "ui/Fonts.h"

int main(int argc, char** argv) {
  // The main window writes its preview page below the folder it starts in.
  // CTest runs every test in a process of its own, several at once: each
  // process starts in a folder of its own, so that no test reads a page
  // another is rewriting at that moment.
  QTemporaryDir startingFolder;
  if (!startingFolder.isValid() || !QDir::setCurrent(startingFolder.path())) {
    std::fprintf(stderr, "cannot make a starting folder for the tests\n");
    return 1;
  }
  return deckhand::testing::RunGuiTests(argc, argv, deckhand::PrepareWebEngine, [] {
    deckhand::InitAssets();
    deckhand::RegisterProgramFonts();
    QApplication::setFont(deckhand::WindowFont());
  });
}
