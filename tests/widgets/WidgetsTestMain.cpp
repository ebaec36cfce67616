// Entry of the gauge tests: a QApplication on the offscreen platform (unless
// another is asked for), then GoogleTest. The platform is set here as well as
// in CTest's environment because CTest lists the tests by running the program
// without that environment.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
  }
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
