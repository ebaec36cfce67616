#include "assets/Assets.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE declares the resource's registration function, so it has to
// be used outside any namespace.
static void RegisterDeckhandAssets() { Q_INIT_RESOURCE(deckhand_assets); }

namespace deckhand {

void InitAssets() { RegisterDeckhandAssets(); }

}  // namespace deckhand
