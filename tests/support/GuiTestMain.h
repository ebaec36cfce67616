// The shared entry of the test programs that need a QApplication.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <functional>

namespace deckhand::testing {

// Runs GoogleTest inside a QApplication on the offscreen platform (unless
// another is asked for). The platform is set here as well as in CTest's
// environment because CTest lists the tests by running the program without
// that environment. beforeApp runs before the application object exists (the
// web engine's set-up must), afterApp right after it is made.
inline int RunGuiTests(int argc, char** argv, const std::function<void()>& beforeApp = {},
                       const std::function<void()>& afterApp = {}) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
  }
  if (beforeApp) beforeApp();
  QApplication app(argc, argv);
  if (afterApp) afterApp();
  return RUN_ALL_TESTS();
}

}  // namespace deckhand::testing
