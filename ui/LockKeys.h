// Where the status bar learns the state of Caps Lock, Num Lock and Scroll
// Lock. Each key counts as "on" while its lock is on or while the key is held
// down.
#pragma once

#include <memory>

namespace deckhand {

struct TLockKeyState {
  bool CapsLock = false;
  bool NumLock = false;
  bool ScrollLock = false;
  bool operator==(const TLockKeyState&) const = default;
};

class TLockKeySource {
 public:
  virtual ~TLockKeySource() = default;
  virtual TLockKeyState Read() = 0;
};

// Reads the X server's keyboard (XKB indicators and the key map). Without an
// X11 display every key reads as off.
std::unique_ptr<TLockKeySource> CreateSystemLockKeySource();

}  // namespace deckhand
