// deckhand-check: checks WML decks from the command line (see --help).
#include <iostream>
#include <string>
#include <vector>

#include "wml/CheckCommand.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const int status = deckhand::wml::RunCheckCommand(arguments, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
