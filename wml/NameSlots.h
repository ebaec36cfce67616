// Caches keyed by the address of an element's or attribute's name: a parsed
// tree's names are shared strings of its dictionary, so one address stands
// for one name, and a deck has few distinct ones.
#pragma once

#include <libxml/xmlstring.h>

#include <cstddef>
#include <cstdint>

namespace deckhand::wml {

// One of 2^bits slots for a name's address: its bits mixed (Fibonacci
// hashing), since a dictionary keeps its strings next to each other.
template <unsigned Bits>
std::size_t NameSlot(const xmlChar* name) {
  static_assert(Bits > 0 && Bits < 64);
  return static_cast<std::size_t>(
      (static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(name)) *
       0x9E3779B97F4A7C15ull) >>
      (64 - Bits));
}

}  // namespace deckhand::wml
