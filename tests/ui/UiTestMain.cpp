// Entry of every widget test: the web engine is set up before the
// application, the program's pictures and fonts after it, as the program
// itself does.
#include <QApplication>

#include "GuiTestMain.h"
#include "assets/Assets.h"
#include "preview/WebEngineSetup.h"
#include "ui/Fonts.h"

int main(int argc, char** argv) {
  return deckhand::testing::RunGuiTests(argc, argv, deckhand::PrepareWebEngine, [] {
    deckhand::InitAssets();
    deckhand::RegisterProgramFonts();
    QApplication::setFont(deckhand::WindowFont());
  });
}
