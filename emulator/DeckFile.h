// Reading a deck file for the phone emulator.
//
// The emulator reads whatever a deck names: a go to another file, an image
// beside the deck. The name may be anything the author typed: a folder, a
// named pipe, a device, a file of /proc that reports no size and never
// ends. Reading is therefore bounded and never waits: only regular files are
// read, opened without blocking, and never more than kMaxDeckFileBytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "emulator/EmulatorLimits.h"

namespace deckhand::wml {

// Reads a file from disk: its bytes, or nullopt with error set to a Russian
// sentence naming the file. Refuses what is not a regular file and a file
// longer than limit bytes. Never throws and never blocks.
std::optional<std::string> ReadBoundedFile(const std::string& path, std::string& error,
                                           std::size_t limit);
// A deck file: ReadBoundedFile with the limit kMaxDeckFileBytes.
std::optional<std::string> ReadDeckFile(const std::string& path, std::string& error);

}  // namespace deckhand::wml
