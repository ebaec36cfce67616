// Entry of the pane tests: the web engine is set up before the application.
#include "GuiTestMain.h"
#include "preview/WebEngineSetup.h"

int main(int argc, char** argv) {
  return deckhand::testing::RunGuiTests(argc, argv, deckhand::PrepareWebEngine);
}
