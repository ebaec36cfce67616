#include "wml/Phones.h"

#include <array>

namespace deckhand::wml {

namespace {

using enum TTableSupport;

// Compiled-deck limits from The Wireless FAQ (section 8.5, compiled deck
// limits) and from WURFL device data (values set on the device entry itself);
// screens are the usable browser area as WURFL lists it.
//
// User-Agent values are the phones' own strings without the gateway's suffix
// (a WAP gateway such as UP.Link appended " UP.Link/x.y" on its way to the
// server). Sources: the user agent test data of the Perl module
// Mobile::UserAgent (CPAN), which lists strings logged from real phones
// (Nokia 3330, 6310, 7210; Ericsson T20, R320, R520, T39, T68; Motorola
// T720, C350; Siemens C45, ME45, M55); WURFL's device entries (Ericsson R380
// "R380 2.0 WAP1.1", Nokia 6100, Motorola C380 as in Tera-WURFL's tests);
// the Nokia 7110 string that WAP proxies and WAP test tools sent as the
// phone's own; the Nokia 8310 string from a list of logged Nokia agents.
// The three browser profiles (UP.Browser 3.2, UP.Browser 4.x, Openwave 6)
// stand for many phones, each with its own User-Agent, so they carry none.
//
// Accept-Charset: no recorded value was found for any of these phones (the
// one published Nokia example, "ISO-8859-1, UTF-8; Q=0.8,
// ISO-10646-UCS-2; Q=0.6", is a Nokia 6210's), so every entry leaves it
// empty rather than guess.
constexpr std::array kPhones{
    TPhoneProfile{"Nokia 7110", 1397, "thewirelessfaq", 96, 44, No, "Nokia7110/1.0 (04.67)", ""},
    TPhoneProfile{"UP.Browser 3.2", 1492, "thewirelessfaq", 0, 0, Unknown, "", ""},
    TPhoneProfile{"Ericsson T20", 1600, "wurfl", 101, 33, Yes, "EricssonT20/R2A", ""},
    TPhoneProfile{"UP.Browser 4.x", 2048, "thewirelessfaq", 0, 0, Unknown, "", ""},
    TPhoneProfile{"Motorola T720", 2650, "wurfl (MIB 2.0 family entry)", 120, 160, Yes,
                  "MOT-T720/05.08.00R MIB/2.0 Profile/MIDP-1.0 Configuration/CLDC-1.0", ""},
    TPhoneProfile{"Nokia 3330", 2800, "wurfl", 84, 48, Yes, "Nokia3330/1.0 (03.05)", ""},
    TPhoneProfile{"Siemens C45", 2800, "wurfl", 101, 64, Yes,
                  "SIE-C45/06 UP.Browser/5.0.1.1.102 (GUI)", ""},
    TPhoneProfile{"Siemens ME45", 2800, "wurfl", 101, 64, Yes,
                  "SIE-ME45/05 UP.Browser/5.0.1.1.102 (GUI)", ""},
    TPhoneProfile{"Nokia 6310", 2868, "wurfl (Series 20 family entry)", 96, 65, Yes,
                  "Nokia6310/1.0 (04.10)", ""},
    TPhoneProfile{"Ericsson R320", 3000, "thewirelessfaq", 101, 65, Yes, "EricssonR320/R1A", ""},
    TPhoneProfile{"Ericsson R520", 3000, "wurfl", 101, 67, Yes, "EricssonR520/R202", ""},
    TPhoneProfile{"Ericsson T39", 3000, "wurfl", 101, 54, Yes, "EricssonT39/R202", ""},
    TPhoneProfile{"Ericsson T68", 3000, "wurfl", 101, 80, Yes, "EricssonT68/R101", ""},
    TPhoneProfile{"Ericsson R380", 3800, "wurfl", 360, 120, Yes, "R380 2.0 WAP1.1", ""},
    TPhoneProfile{"Openwave 6 (generic)", 4096, "wurfl", 128, 120, Yes, "", ""},
    TPhoneProfile{"Nokia 7210", 6500, "wurfl", 128, 128, Yes,
                  "Nokia7210/1.0 (3.08) Profile/MIDP-1.0 Configuration/CLDC-1.0", ""},
    TPhoneProfile{"Motorola C350", 7700, "wurfl", 96, 65, Yes, "MOT-c350/G_09.04.75R MIB/2.0", ""},
    TPhoneProfile{"Motorola C380", 8000, "wurfl (MIB 2.2 family entry)", 128, 128, Yes,
                  "MOT-C380/0B.D1.09R MIB/2.2.1 Profile/MIDP-2.0 Configuration/CLDC-1.0", ""},
    TPhoneProfile{"Nokia 8310", 8192, "wurfl", 84, 48, Yes, "Nokia8310/1.0 (05.11)", ""},
    TPhoneProfile{"Nokia 6100", 10000, "wurfl", 128, 128, Yes,
                  "Nokia6100/1.0 (04.01) Profile/MIDP-1.0 Configuration/CLDC-1.0", ""},
    TPhoneProfile{"Siemens M55", 10000, "wurfl", 101, 80, Yes,
                  "SIE-M55/10 UP.Browser/6.1.0.5.c.6 (GUI) MMP/1.0", ""},
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
