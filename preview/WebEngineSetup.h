// Settings the embedded HTML view needs before the application object
// exists.
#pragma once

namespace deckhand {

// Call in main() before the QApplication is created.
void PrepareWebEngine();

}  // namespace deckhand
