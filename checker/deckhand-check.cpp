// deckhand-check: checks WML decks from the command line (see --help).
#include <malloc.h>

#include <iostream>
#include <string>
#include <vector>

#include "checker/CheckCommand.h"
#include "checker/ParserHeap.h"

int main(int argc, char** argv) {
  // The parse tree of a large deck is many small blocks freed together at
  // the end; without the allocator's fast bins that costs a third less time.
  mallopt(M_MXFAST, 0);
  deckhand::checker::UseParserHeap();
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const int status = deckhand::wml::RunCheckCommand(arguments, std::cout, std::cerr, true);
  if (!std::cout.flush()) return deckhand::wml::kCheckUsageError;
  return status;
}
