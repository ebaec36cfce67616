// The command-line deck checker: findings of each deck in the form compilers
// print them, the compiled size and the phones that refuse the deck, and on
// request the compiled bytes.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace deckhand::wml {

// Exit statuses of the checker.
inline constexpr int kCheckClean = 0;   // no deck has an error
inline constexpr int kCheckErrors = 1;  // some deck has an error
inline constexpr int kCheckUsageError =
    2;  // bad arguments, or a file that cannot be read or written

// The largest file the checker reads: far above any deck a phone took,
// enough for the largest generated test decks.
inline constexpr std::size_t kMaxDeckFileBytes = 64u << 20;

// Runs the checker with the arguments after the program's name; writes the
// report to out and problems with arguments and files to err.
// leaveLastTree: the process exits once this returns, so the last deck's
// parse tree is left to the system (see LeaveParseTreesAtExit).
int RunCheckCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                    bool leaveLastTree = false);

// The text of --help.
std::string CheckCommandHelp();

}  // namespace deckhand::wml
