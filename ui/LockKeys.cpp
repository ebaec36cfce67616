#include "ui/LockKeys.h"

#include <QGuiApplication>
#include <array>

// Xlib's headers define macros (Bool, None, Status...) that clash with Qt
// names, so they come last and stay inside this file.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace deckhand {

namespace {

class TNoLockKeys : public TLockKeySource {
 public:
  TLockKeyState Read() override { return {}; }
};

class TX11LockKeys : public TLockKeySource {
 public:
  explicit TX11LockKeys(Display* display) : display_(display) {
    caps_ = Key(XK_Caps_Lock, "Caps Lock");
    num_ = Key(XK_Num_Lock, "Num Lock");
    scroll_ = Key(XK_Scroll_Lock, "Scroll Lock");
  }

  TLockKeyState Read() override {
    unsigned int indicators = 0;
    XkbGetIndicatorState(display_, XkbUseCoreKbd, &indicators);
    std::array<char, 32> keys{};
    XQueryKeymap(display_, keys.data());
    TLockKeyState state;
    state.CapsLock = IsOn(caps_, indicators, keys);
    state.NumLock = IsOn(num_, indicators, keys);
    state.ScrollLock = IsOn(scroll_, indicators, keys);
    return state;
  }

 private:
  struct TKey {
    int Indicator = -1;  // bit in the indicator state, -1 when the server has none
    int KeyCode = 0;     // 0 when no key produces the key symbol
  };

  TKey Key(KeySym symbol, const char* indicatorName) {
    TKey key;
    key.KeyCode = XKeysymToKeycode(display_, symbol);
    int index = -1;
    if (XkbGetNamedIndicator(display_, XInternAtom(display_, indicatorName, False), &index,
                             nullptr, nullptr, nullptr)) {
      key.Indicator = index;
    }
    return key;
  }

  static bool IsOn(const TKey& key, unsigned int indicators, const std::array<char, 32>& keys) {
    const bool locked = key.Indicator >= 0 && (indicators & (1u << key.Indicator)) != 0;
    const bool held = key.KeyCode > 0 &&
                      (static_cast<unsigned char>(keys[static_cast<size_t>(key.KeyCode / 8)]) &
                       (1u << (key.KeyCode % 8))) != 0;
    return locked || held;
  }

  Display* display_;
  TKey caps_, num_, scroll_;
};

}  // namespace

std::unique_ptr<TLockKeySource> CreateSystemLockKeySource() {
  if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                          : nullptr) {
    if (Display* display = x11->display()) return std::make_unique<TX11LockKeys>(display);
  }
  return std::make_unique<TNoLockKeys>();
}

}  // namespace deckhand
