// Where the status bar learns the state of Caps Lock, Num Lock and Scroll
// Lock. Each key counts as "on" while its lock is on or while the key is held
// down.
//
// The system source is driven by events rather than polling: the X server's
// keyboard extension reports every change of the lock indicators, and the
// key presses and releases of the three keys arrive as the program's own key
// events (like the keyboard state of a Windows thread, the held-down state
// follows the keys the program itself receives). Whenever something changes
// the source calls its change handler, so the status bar is current within a
// timer tick while the idle program costs nothing.
#pragma once

#include <functional>
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
  // Called whenever the state may have changed; sources that cannot tell
  // never call it.
  void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

 protected:
  void Changed() {
    if (onChange_) onChange_();
  }

 private:
  std::function<void()> onChange_;
};

// The X server's keyboard (XKB indicators) and the program's key events.
// Without an X11 display every key reads as off.
std::unique_ptr<TLockKeySource> CreateSystemLockKeySource();

}  // namespace deckhand
