// A heap for the XML parser's blocks in the command-line checker.
//
// A deck's parse tree is hundreds of thousands of small blocks (nodes,
// attributes, short strings) made one after another and freed together.
// The general allocator spends more on each of them than the parser spends
// making the node; this heap hands them out from large chunks by size, with
// a free list per size, and passes big blocks on to the general allocator.
// It is installed once, first thing in the checker's main, before the
// parser has allocated anything; the editor keeps the general allocator.
#pragma once

#include <cstddef>

namespace deckhand::checker {

// Makes the XML parser allocate from this heap. False, and nothing
// changed, when the parser refuses it, or in a build checked by a
// sanitizer, whose own allocator must see every block to find misuse.
bool UseParserHeap();

// Whether UseParserHeap would install the heap in this build.
bool ParserHeapUsable();

// The heap's four functions, for tests: they behave as malloc, realloc,
// free and strdup do, each thread with its own chunks.
void* HeapAllocate(std::size_t size);
void* HeapReallocate(void* block, std::size_t size);
void HeapFree(void* block);
char* HeapDuplicate(const char* text);

// The bytes a block can hold (at least what was asked for).
std::size_t HeapBlockCapacity(const void* block);

}  // namespace deckhand::checker
