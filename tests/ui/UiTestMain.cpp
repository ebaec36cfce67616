// Entry of every widget test: the web engine's set-up, a QApplication on the
// offscreen platform (unless another is asked for), the program's fonts and
// pictures, then GoogleTest. The platform is set here as well as in CTest's
// environment because CTest lists the tests by running the program without
// that environment.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>

#include "assets/Assets.h"
#include "preview/WebEngineSetup.h"
#include "ui/Fonts.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
  }
  deckhand::PrepareWebEngine();
  QApplication app(argc, argv);
  deckhand::InitAssets();
  deckhand::RegisterProgramFonts();
  QApplication::setFont(deckhand::WindowFont());
  return RUN_ALL_TESTS();
}
