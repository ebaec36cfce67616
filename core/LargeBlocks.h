// Large text blocks that are cheap to fill.
//
// Left to demand paging, filling a fresh block of many megabytes costs one
// page fault per 4 KB page, and on a virtual machine those faults are most of
// the time spent opening or saving a large document. A prepared block is
// mapped in one call, with transparent huge pages where the kernel offers
// them, before anything is written to it.
#pragma once

#include <cstddef>
#include <string>

namespace deckhand {

// Blocks below this size are left to demand paging: for them the calls cost
// about as much as the faults they save.
inline constexpr size_t kLargeBlockSize = size_t{1} << 20;

// Maps the whole pages inside [data, data + size) in advance, asking for huge
// pages for the 2 MB stretches it spans. The bytes are not changed. Does
// nothing for small blocks, or where the kernel refuses (the pages are then
// faulted in as they are written, as usual).
void PrepareLargeBlock(char* data, size_t size);

// Makes text's capacity at least capacity, keeping its bytes; a new block is
// prepared as above before the bytes are copied into it.
void ReserveLarge(std::string& text, size_t capacity);

// A copy of text in a prepared block.
std::string LargeCopy(const std::string& text);

}  // namespace deckhand
