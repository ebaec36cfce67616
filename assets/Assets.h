#pragma once

namespace deckhand {

// Registers the embedded pictures (":/icons/...", ":/images/...") with Qt's
// resource system. Call once at start-up, after the application object is
// created and before any window loads a picture; calling it again is harmless.
void InitAssets();

}  // namespace deckhand
