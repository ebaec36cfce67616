#include "checker/ParserHeap.h"

#include <libxml/xmlmemory.h>

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/Sanitizers.h"

namespace deckhand::checker {

namespace {

constexpr bool kSanitized = kSanitizerAllocator;

// Every block is preceded by a word holding its capacity. Capacities are
// multiples of 8, so every block is aligned as the parser's structures need
// (pointers, integers, doubles).
constexpr std::size_t kGrain = 8;
constexpr std::size_t kHeader = sizeof(std::size_t);
static_assert(kHeader == kGrain);
// Blocks up to this size come from the chunks; larger ones (buffers, hash
// tables) from the general allocator.
constexpr std::size_t kMostSmall = 1024;
constexpr std::size_t kClasses = kMostSmall / kGrain + 1;
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
// A chunk's pages are made ready this many at a time, with one call instead
// of a fault for each page as it is first written: a window small enough to
// stay in the processor's cache until the parser fills it.
constexpr std::size_t kWindowBytes = std::size_t{64} << 10;
static_assert(kChunkBytes % kWindowBytes == 0 && kWindowBytes > kMostSmall + kHeader);

struct TFreeBlock {
  TFreeBlock* Next;
};

// One per thread: a block freed on another thread than the one that made it
// joins that thread's lists, which is harmless, since chunks are never
// given back.
struct THeap {
  TFreeBlock* Free[kClasses];
  char* Next;      // where the next block begins
  char* End;       // the end of the pages made ready
  char* ChunkEnd;  // the end of the chunk
};
constinit thread_local THeap tHeap{};

std::size_t& CapacityOf(void* block) {
  return *reinterpret_cast<std::size_t*>(static_cast<char*>(block) - kHeader);
}

void* AllocateLarge(std::size_t capacity) {
  char* raw = static_cast<char*>(std::malloc(kHeader + capacity));
  if (raw == nullptr) return nullptr;
  *reinterpret_cast<std::size_t*>(raw) = capacity;
  return raw + kHeader;
}

// Makes the next window of the chunk ready, or starts a new chunk: false
// when the system has no memory left.
[[gnu::noinline]] bool MakeRoom(THeap& heap, std::size_t needed) {
  if (static_cast<std::size_t>(heap.ChunkEnd - heap.Next) < needed) {
    // The rest of the old chunk is too small for this block; it stays
    // unused (at most a kilobyte in a megabyte).
    void* chunk =
        mmap(nullptr, kChunkBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (chunk == MAP_FAILED) return false;
    heap.Next = heap.End = static_cast<char*>(chunk);
    heap.ChunkEnd = heap.Next + kChunkBytes;
  }
  // A kernel (or C library) without the call leaves the pages to be made
  // ready by faults, as usual; so does one short of memory, until a fault
  // finds none.
#ifdef MADV_POPULATE_WRITE
  madvise(heap.End, kWindowBytes, MADV_POPULATE_WRITE);
#endif
  heap.End += kWindowBytes;
  return true;
}

inline void* AllocateSmall(std::size_t capacity) {
  THeap& heap = tHeap;
  TFreeBlock*& free = heap.Free[capacity / kGrain];
  if (free != nullptr) {
    TFreeBlock* block = free;
    free = block->Next;
    return block;
  }
  const std::size_t needed = kHeader + capacity;
  if (static_cast<std::size_t>(heap.End - heap.Next) < needed && !MakeRoom(heap, needed))
    return nullptr;
  char* raw = heap.Next;
  heap.Next += needed;
  *reinterpret_cast<std::size_t*>(raw) = capacity;
  return raw + kHeader;
}

// The parser's calls land here and take the common paths without a call.
inline void* Allocate(std::size_t size) {
  if (size > SIZE_MAX / 2) return nullptr;
  const std::size_t capacity = size == 0 ? kGrain : (size + kGrain - 1) & ~(kGrain - 1);
  return capacity <= kMostSmall ? AllocateSmall(capacity) : AllocateLarge(capacity);
}

inline void Free(void* block) {
  if (block == nullptr) return;
  const std::size_t capacity = CapacityOf(block);
  if (capacity > kMostSmall) {
    std::free(static_cast<char*>(block) - kHeader);
    return;
  }
  auto* free = static_cast<TFreeBlock*>(block);
  TFreeBlock*& list = tHeap.Free[capacity / kGrain];
  free->Next = list;
  list = free;
}

void* XmlMalloc(std::size_t size) { return Allocate(size); }
void* XmlRealloc(void* block, std::size_t size) { return HeapReallocate(block, size); }
void XmlFree(void* block) { Free(block); }
char* XmlStrdup(const char* text) { return HeapDuplicate(text); }

}  // namespace

void* HeapAllocate(std::size_t size) { return Allocate(size); }

void HeapFree(void* block) { Free(block); }

void* HeapReallocate(void* block, std::size_t size) {
  if (block == nullptr) return HeapAllocate(size);
  const std::size_t capacity = CapacityOf(block);
  if (size <= capacity) return block;
  if (size > SIZE_MAX / 2) return nullptr;
  if (capacity > kMostSmall) {
    // A large block grows in place where the general allocator can.
    const std::size_t grown = (size + kGrain - 1) & ~(kGrain - 1);
    char* raw =
        static_cast<char*>(std::realloc(static_cast<char*>(block) - kHeader, kHeader + grown));
    if (raw == nullptr) return nullptr;
    *reinterpret_cast<std::size_t*>(raw) = grown;
    return raw + kHeader;
  }
  void* moved = HeapAllocate(size);
  if (moved == nullptr) return nullptr;  // the old block stays the caller's
  std::memcpy(moved, block, capacity);
  HeapFree(block);
  return moved;
}

char* HeapDuplicate(const char* text) {
  const std::size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(HeapAllocate(size));
  if (copy != nullptr) std::memcpy(copy, text, size);
  return copy;
}

std::size_t HeapBlockCapacity(const void* block) { return CapacityOf(const_cast<void*>(block)); }

bool ParserHeapUsable() { return !kSanitized; }

bool UseParserHeap() {
  if (!ParserHeapUsable()) return false;
  return xmlMemSetup(XmlFree, XmlMalloc, XmlRealloc, XmlStrdup) == 0;
}

}  // namespace deckhand::checker
