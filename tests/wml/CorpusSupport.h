// What the corpus tests of the deck language share: the decks of the shared
// corpus, and running the reference tools (xmllint, xml2wbxml, wbxml2xml)
// through the shell.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace deckhand::wml::corpus {

// text quoted for the shell.
inline std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a shell command; its standard output and error together.
inline std::string RunShell(const std::string& command, int* status = nullptr) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  const int result = pclose(pipe);
  if (status) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return output;
}

inline bool HaveProgram(const std::string& name) {
  int status = 0;
  RunShell("command -v " + name + " >/dev/null", &status);
  return status == 0;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The corpus's decks (its wml, cp1251 and museum folders), sorted; none when
// the corpus is absent.
inline std::vector<std::filesystem::path> CorpusDecks() {
  namespace fs = std::filesystem;
  std::vector<fs::path> decks;
  for (const char* folder : {"wml", "cp1251", "museum"}) {
    const fs::path root = fs::path(DECKHAND_CORPUS_DIR) / folder;
    if (!fs::is_directory(root)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (entry.is_regular_file() && entry.path().extension() == ".wml")
        decks.push_back(entry.path());
    }
  }
  std::sort(decks.begin(), decks.end());
  return decks;
}

}  // namespace deckhand::wml::corpus
