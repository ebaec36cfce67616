// The main window's menus and toolbars as data: names, captions, hints,
// shortcuts, picture indices and handlers, in display order. Unit1 builds
// the menu bar and the two toolbars from these tables.
#pragma once

#include <QIcon>
#include <QString>
#include <vector>

namespace deckhand {

class TMain;
using TCommandHandler = void (TMain::*)(QObject*);

enum class TMenuEntryKind { Menu, Submenu, EndMenu, Item, Separator };

struct TMenuEntry {
  TMenuEntryKind Kind;
  const char* Name;     // object name of the menu or item
  const char* Caption;  // "&" marks the access key
  const char* Hint;
  const char* Shortcut;  // portable text of the key sequence, empty for none
  int Image;             // index into the toolbar pictures, -1 for none
  TCommandHandler Handler;
};

enum class TToolEntryKind { Button, Separator, Divider };

struct TToolEntry {
  TToolEntryKind Kind;
  const char* Name;
  const char* Hint;
  int Image;
  TCommandHandler Handler;
};

const std::vector<TMenuEntry>& MainMenuEntries();
const std::vector<TToolEntry>& StandardToolBarEntries();
const std::vector<TToolEntry>& FormattingToolBarEntries();

// Number of toolbar pictures, including the one no command uses.
inline constexpr int kToolbarImageCount = 29;
// The picture of an index, rendered crisp at 16 by 16 (and twice that for
// high-density screens).
QIcon ToolbarImage(int index);

}  // namespace deckhand
