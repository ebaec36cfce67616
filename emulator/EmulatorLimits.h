#pragma once

// Every limit of the phone emulator, in one place, with the reason for its value.
//
// The emulator runs whatever deck the author is typing, half-finished or hostile, a moment after
// each key, inside the editor. A real WAP phone never had to cope with unbounded work: its
// gateway refused decks above a compiled size of roughly 1.4 to 3.5 KB, and its WML browser
// lived in tens of kilobytes of memory. The values below are generous next to any real handset,
// so that every deck a phone could show runs unchanged, yet small enough that no deck can make
// the editor wait or exhaust its memory. Reaching a limit stops that step (a task, a layout) with
// a Russian message on the emulated phone's screen; it never throws and never ends the program.

#include <cstddef>
#include <cstdint>

namespace deckhand::wml {

// One variable's value. A compiled deck of a few kilobytes cannot hold a longer literal value;
// anything longer was built by a task repeated by a timer, an event or a loop (a value that
// doubles at each step reaches a gigabyte in seconds). 4 KB is larger than a whole compiled
// deck on the phones of the time.
inline constexpr std::size_t kMaxVariableBytes = 4 * 1024;

// All variables of the browser context together (names and values). The browser's whole
// memory was tens of kilobytes, shared with the deck, the history and the screen.
inline constexpr std::size_t kMaxContextBytes = 32 * 1024;

// Task steps (go, prev, refresh, setvar, intrinsic events, timers expiring) that one user action
// may cause. An ordinary action causes a handful; a chain of cards that go to each other on
// entering never ends on its own. 256 steps finish in well under a millisecond.
inline constexpr int kMaxTaskSteps = 256;

// Entries of the history stack. Phones kept a short history (a few to a few tens of entries,
// bounded by memory); a timer going forward every tick would otherwise grow it for ever.
inline constexpr std::size_t kMaxHistoryDepth = 100;

// The text of one card as laid out (after variables are substituted). A compiled deck of
// 3.5 KB expands to a few kilobytes of text; 64 KB keeps layout far below a frame's time.
inline constexpr std::size_t kMaxCardTextBytes = 64 * 1024;

// A card's or a deck's title as laid out. A phone showed the title on one line of a screen
// 96 to 176 pixels wide, some 15 to 30 characters; 1 KB is a bound, not a design figure.
inline constexpr std::size_t kMaxTitleBytes = 1024;

// Elements the renderer lays out for one card (paragraphs, text runs, breaks, images, links,
// fields, table cells). A deck of 3.5 KB compiled holds at most a couple of thousand elements
// (a br is one byte of WBXML); the bound also caps the nesting the layout walks.
inline constexpr std::size_t kMaxLaidOutElements = 4096;

// Nesting of elements the tolerant parser and the renderer descend into. WML's own structure is
// a handful of levels deep (wml, card, p, a table and its cells, b/i/u); anything deeper is
// either an error or an attack on the program's stack.
inline constexpr std::size_t kMaxElementDepth = 256;

// Images drawn in one card. Each image was a separate request over a 9.6 kbit/s link; phones
// showed a handful per card.
inline constexpr std::size_t kMaxImagesPerCard = 64;

// Pixels of one image (width times height). Phone screens were 96x65 to 176x208; a WBMP
// larger than 512x512 could not be shown or even held by such a phone.
inline constexpr std::uint64_t kMaxImagePixels = 512 * 512;

// Decoded images the renderer keeps between renders (by path, modification time and size),
// so that a redraw decodes nothing again; bounded so a deck naming many files cannot fill memory.
inline constexpr std::size_t kMaxCachedImages = 256;

// Bytes of a deck file the emulator reads. Far above any phone's deck (a few KB compiled), yet a
// hand-written source with comments and long texts stays well within it.
inline constexpr std::size_t kMaxDeckFileBytes = 4u * 1024 * 1024;

// Largest WMLScript file (source or compiled unit) a go may run: far above
// what phones fetched (a few kilobytes), enough for a generated script.
inline constexpr std::size_t kMaxScriptFileBytes = 1024 * 1024;
// Dialogs one script call may show: each answer runs the call again from
// its start, so a script that asks without end is stopped.
inline constexpr std::size_t kMaxScriptDialogs = 64;

// Text that the entity references of one deck expand to, and the number of references
// expanded: a few references repeated make a small deck expand to gigabytes. The expansion may
// be as large as a deck file itself, no larger; a deck beyond either figure is refused.
inline constexpr std::size_t kMaxExpandedDeckBytes = kMaxDeckFileBytes;
inline constexpr std::size_t kMaxEntityExpansions = 100000;

// Decks from the network kept for prev in one session: phones kept a few
// decks in their cache; prev to an older one fetches it
// again.
inline constexpr std::size_t kMaxKeptNetworkDecks = 16;
// Pictures from the network kept in one session; beyond, the store starts
// afresh (the card's own pictures are fetched again).
inline constexpr std::size_t kMaxKeptNetworkImages = 128;

}  // namespace deckhand::wml
