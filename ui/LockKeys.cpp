#include "ui/LockKeys.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <array>
#include <cstdint>
#include <cstring>

// Xlib's headers define macros (Bool, None, Status...) that clash with Qt
// names, so they come last and stay inside this file.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#undef KeyPress
#undef KeyRelease

namespace deckhand {

namespace {

class TNoLockKeys : public TLockKeySource {
 public:
  TLockKeyState Read() override { return {}; }
};

// The wire layout of the keyboard extension's indicator notification, as the
// X connection delivers it to the native event filter.
struct TIndicatorNotify {
  uint8_t ResponseType;
  uint8_t XkbType;
  uint16_t Sequence;
  uint32_t Time;
  uint8_t DeviceId;
  uint8_t Padding[3];
  uint32_t State;
  uint32_t StateChanged;
};

class TX11LockKeys : public QObject, public TLockKeySource, public QAbstractNativeEventFilter {
 public:
  explicit TX11LockKeys(Display* display) : display_(display) {
    caps_ = Key(XK_Caps_Lock, "Caps Lock");
    num_ = Key(XK_Num_Lock, "Num Lock");
    scroll_ = Key(XK_Scroll_Lock, "Scroll Lock");

    int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (XkbQueryExtension(display_, &opcode, &xkbEventBase_, &error, &major, &minor)) {
      XkbSelectEvents(display_, XkbUseCoreKbd, XkbIndicatorStateNotifyMask,
                      XkbIndicatorStateNotifyMask);
      XFlush(display_);
      QCoreApplication::instance()->installNativeEventFilter(this);
    } else {
      xkbEventBase_ = -1;
    }
    qApp->installEventFilter(this);

    // The starting state, asked once.
    unsigned int state = 0;
    XkbGetIndicatorState(display_, XkbUseCoreKbd, &state);
    indicators_ = state;
    std::array<char, 32> keys{};
    XQueryKeymap(display_, keys.data());
    caps_.Held = IsDown(caps_, keys);
    num_.Held = IsDown(num_, keys);
    scroll_.Held = IsDown(scroll_, keys);
  }

  ~TX11LockKeys() override {
    if (xkbEventBase_ >= 0 && QCoreApplication::instance() != nullptr) {
      QCoreApplication::instance()->removeNativeEventFilter(this);
    }
  }

  TLockKeyState Read() override {
    TLockKeyState state;
    state.CapsLock = IsOn(caps_);
    state.NumLock = IsOn(num_);
    state.ScrollLock = IsOn(scroll_);
    return state;
  }

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    if (eventType != "xcb_generic_event_t" || xkbEventBase_ < 0) return false;
    const auto* bytes = static_cast<const uint8_t*>(message);
    if ((bytes[0] & 0x7f) != xkbEventBase_ || bytes[1] != XkbIndicatorStateNotify) return false;
    TIndicatorNotify notify;
    std::memcpy(&notify, message, sizeof notify);
    if (notify.State != indicators_) {
      indicators_ = notify.State;
      Changed();
    }
    return false;  // the toolkit sees the event as well
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
      const auto* key = static_cast<QKeyEvent*>(event);
      const bool down = event->type() == QEvent::KeyPress;
      TKey* changed = nullptr;
      switch (key->key()) {
        case Qt::Key_CapsLock:
          changed = &caps_;
          break;
        case Qt::Key_NumLock:
          changed = &num_;
          break;
        case Qt::Key_ScrollLock:
          changed = &scroll_;
          break;
        default:
          break;
      }
      if (changed != nullptr && changed->Held != down) {
        changed->Held = down;
        Changed();
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  struct TKey {
    int Indicator = -1;  // bit in the indicator state, -1 when the server has none
    int KeyCode = 0;     // 0 when no key produces the key symbol
    bool Held = false;
  };

  TKey Key(KeySym symbol, const char* indicatorName) {
    TKey key;
    key.KeyCode = XKeysymToKeycode(display_, symbol);
    int index = -1;
    if (XkbGetNamedIndicator(display_, XInternAtom(display_, indicatorName, False), &index, nullptr,
                             nullptr, nullptr)) {
      key.Indicator = index;
    }
    return key;
  }

  static bool IsDown(const TKey& key, const std::array<char, 32>& keys) {
    return key.KeyCode > 0 &&
           (static_cast<unsigned char>(keys[static_cast<size_t>(key.KeyCode / 8)]) &
            (1u << (key.KeyCode % 8))) != 0;
  }

  bool IsOn(const TKey& key) const {
    return key.Held || (key.Indicator >= 0 && (indicators_ & (1u << key.Indicator)) != 0);
  }

  Display* display_;
  int xkbEventBase_ = -1;
  uint32_t indicators_ = 0;
  TKey caps_, num_, scroll_;
};

}  // namespace

std::unique_ptr<TLockKeySource> CreateSystemLockKeySource() {
  if (auto* x11 =
          qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
    if (Display* display = x11->display()) return std::make_unique<TX11LockKeys>(display);
  }
  return std::make_unique<TNoLockKeys>();
}

}  // namespace deckhand
