#include "preview/WebEngineSetup.h"

#include <unistd.h>

#include <QByteArray>
#include <QtGlobal>

namespace deckhand {

void PrepareWebEngine() {
  // The HTML view runs Chromium, which will not start its sandbox for the
  // root user: every page then fails and the view stays blank. For root the
  // sandbox is switched off (unless the environment already says what to
  // do), so that the preview still shows. Other users keep the sandbox.
  //
  // Nothing else is needed: on an X server without a graphics card (Xvfb)
  // Qt gets a software OpenGL context from Mesa, and on the offscreen
  // platform the web engine falls back to software compositing by itself.
  if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", QByteArray("1"));
  }
}

}  // namespace deckhand
