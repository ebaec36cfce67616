#include "wml/Phones.h"

#include <array>

namespace deckhand::wml {

namespace {

using enum TTableSupport;

// Compiled-deck limits from The Wireless FAQ (section 8.5, compiled deck
// limits) and from WURFL device data (values set on the device entry itself);
// screens are the usable browser area as WURFL lists it.
constexpr std::array kPhones{
    TPhoneProfile{"Nokia 7110", 1397, "thewirelessfaq", 96, 44, No},
    TPhoneProfile{"UP.Browser 3.2", 1492, "thewirelessfaq", 0, 0, Unknown},
    TPhoneProfile{"Ericsson T20", 1600, "wurfl", 101, 33, Yes},
    TPhoneProfile{"UP.Browser 4.x", 2048, "thewirelessfaq", 0, 0, Unknown},
    TPhoneProfile{"Motorola T720", 2650, "wurfl (MIB 2.0 family entry)", 120, 160, Yes},
    TPhoneProfile{"Nokia 3330", 2800, "wurfl", 84, 48, Yes},
    TPhoneProfile{"Siemens C45", 2800, "wurfl", 101, 64, Yes},
    TPhoneProfile{"Siemens ME45", 2800, "wurfl", 101, 64, Yes},
    TPhoneProfile{"Nokia 6310", 2868, "wurfl (Series 20 family entry)", 96, 65, Yes},
    TPhoneProfile{"Ericsson R320", 3000, "thewirelessfaq", 101, 65, Yes},
    TPhoneProfile{"Ericsson R520", 3000, "wurfl", 101, 67, Yes},
    TPhoneProfile{"Ericsson T39", 3000, "wurfl", 101, 54, Yes},
    TPhoneProfile{"Ericsson T68", 3000, "wurfl", 101, 80, Yes},
    TPhoneProfile{"Ericsson R380", 3800, "wurfl", 360, 120, Yes},
    TPhoneProfile{"Openwave 6 (generic)", 4096, "wurfl", 128, 120, Yes},
    TPhoneProfile{"Nokia 7210", 6500, "wurfl", 128, 128, Yes},
    TPhoneProfile{"Motorola C350", 7700, "wurfl", 96, 65, Yes},
    TPhoneProfile{"Motorola C380", 8000, "wurfl (MIB 2.2 family entry)", 128, 128, Yes},
    TPhoneProfile{"Nokia 8310", 8192, "wurfl", 84, 48, Yes},
    TPhoneProfile{"Nokia 6100", 10000, "wurfl", 128, 128, Yes},
    TPhoneProfile{"Siemens M55", 10000, "wurfl", 101, 80, Yes},
};

}  // namespace

std::span<const TPhoneProfile> PhoneProfiles() { return kPhones; }

const TPhoneProfile* FindPhone(std::string_view name) {
  for (const TPhoneProfile& phone : kPhones) {
    if (phone.Name == name) return &phone;
  }
  return nullptr;
}

const TPhoneProfile& DefaultPhone() { return *FindPhone("Motorola C380"); }

}  // namespace deckhand::wml
