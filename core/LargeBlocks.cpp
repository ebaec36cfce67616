#include "core/LargeBlocks.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace deckhand {

namespace {

constexpr uintptr_t kHugePageSize = uintptr_t{2} << 20;

uintptr_t RoundUp(uintptr_t value, uintptr_t step) { return (value + step - 1) / step * step; }
uintptr_t RoundDown(uintptr_t value, uintptr_t step) { return value / step * step; }

}  // namespace

void PrepareLargeBlock(char* data, size_t size) {
  if (data == nullptr || size < kLargeBlockSize) return;
  const auto pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<uintptr_t>(data);
  const uintptr_t end = begin + size;
  // Only whole pages inside the block: the partial pages at its ends may be
  // shared with other allocations, which are none of our business.
  const uintptr_t hugeBegin = RoundUp(begin, kHugePageSize);
  const uintptr_t hugeEnd = RoundDown(end, kHugePageSize);
  if (hugeBegin < hugeEnd) {
    // Advice only: without transparent huge pages this fails harmlessly.
    ::madvise(reinterpret_cast<void*>(hugeBegin), hugeEnd - hugeBegin, MADV_HUGEPAGE);
  }
  const uintptr_t pagesBegin = RoundUp(begin, pageSize);
  const uintptr_t pagesEnd = RoundDown(end, pageSize);
#ifdef MADV_POPULATE_WRITE
  if (pagesBegin < pagesEnd) {
    // Kernels before 5.14 answer EINVAL, and a tight memory limit ENOMEM;
    // either way the pages are faulted in on first write instead.
    ::madvise(reinterpret_cast<void*>(pagesBegin), pagesEnd - pagesBegin, MADV_POPULATE_WRITE);
  }
#endif
}

void ReserveLarge(std::string& text, size_t capacity) {
  if (capacity <= text.capacity()) return;
  if (capacity < kLargeBlockSize) {
    text.reserve(capacity);
    return;
  }
  std::string grown;
  grown.reserve(capacity);
  PrepareLargeBlock(grown.data(), grown.capacity());
  grown.append(text);
  text.swap(grown);
}

std::string LargeCopy(const std::string& text) {
  std::string copy;
  ReserveLarge(copy, text.size());
  copy.append(text);
  return copy;
}

}  // namespace deckhand
