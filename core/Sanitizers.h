// Whether this build is checked by a sanitizer that watches every block the
// program allocates: code that keeps memory on purpose (a heap of its own,
// trees left to the system at exit) gives way to it there.
#pragma once

namespace deckhand {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

// Address, thread or memory sanitizer: each replaces the allocator.
#if defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitizerAllocator = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
inline constexpr bool kSanitizerAllocator = true;
#else
inline constexpr bool kSanitizerAllocator = kAddressSanitizer;
#endif
#else
inline constexpr bool kSanitizerAllocator = kAddressSanitizer;
#endif

}  // namespace deckhand
