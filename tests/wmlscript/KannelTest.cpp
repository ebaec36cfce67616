// Kannel's wmlsc and wmlsdasm as the independent reference, on the whole
// script corpus: every unit Deckhand compiles is read back by wmlsdasm with
// the same function names and constants; every unit wmlsc compiles passes
// Deckhand's verifier, has the same functions and argument counts, and runs
// to the same results and library and browser calls; and Deckhand's unit is
// never larger than wmlsc's. The tools come from the build folder
// (fetch-kannel.sh); without them the tests are skipped.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "ScriptCorpus.h"
#include "wmlscript/Compiler.h"
#include "wmlscript/Unit.h"

namespace deckhand::wmlscript::testing {
namespace {

namespace fs = std::filesystem;

const std::string kBin = std::string(DECKHAND_KANNEL_DIR) + "/bin/";

// Runs a command; its standard output, and its exit status in status.
std::string RunCommand(const std::string& command, int& status) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) {
    status = -1;
    return out;
  }
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  status = pclose(pipe);
  return out;
}

bool ToolsWork() {
  static const bool works = [] {
    int status = 0;
    RunCommand("'" + kBin + "wmlsc' -h", status);
    if (status != 0) return false;
    RunCommand("'" + kBin + "wmlsdasm' -h", status);
    return status == 0;
  }();
  return works;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

struct TDisassembly {
  std::vector<std::string> Constants;              // as wmlsdasm prints them
  std::vector<std::pair<std::string, int>> Names;  // extern name, function index
  bool Refused = false;
};

TDisassembly Disassemble(const fs::path& unit) {
  TDisassembly d;
  int status = 0;
  const std::string out =
      RunCommand("'" + kBin + "wmlsdasm' -n -c '" + unit.string() + "'", status);
  if (status != 0 || out.find("invalid byte-code") != std::string::npos) {
    d.Refused = true;
    return d;
  }
  std::istringstream lines(out);
  std::string section;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Disassembly of section ", 0) == 0) {
      section = line.substr(23);
      continue;
    }
    if (section == "Constants:") {
      const std::size_t tab = line.find(":\t");
      if (tab != std::string::npos) d.Constants.push_back(line.substr(tab + 2));
    } else if (section == "Function names:") {
      std::istringstream words(line);
      std::string name;
      int index = -1;
      if (words >> name >> index) d.Names.emplace_back(name, index);
    }
  }
  return d;
}

// A constant as wmlsdasm prints it: integers in decimal, strings quoted.
// wmlsdasm prints the 32-bit integer -2147483648 as 2147483648 (it prints
// the magnitude of that one value unsigned): that is its fault, not the unit's.
// Floats and strings beyond ASCII print differently and are compared by count only.
std::optional<std::string> Printed(const TValue& v) {
  if (v.Type == TType::Integer) {
    return v.Int == INT32_MIN ? std::string("2147483648") : std::to_string(v.Int);
  }
  if (v.Type == TType::String) {
    for (char c : v.Str) {
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F ||
          c == '"' || c == '\\')
        return std::nullopt;
    }
    return "\"" + v.Str + "\"";
  }
  return std::nullopt;
}

class KannelComparisonTest : public ::testing::TestWithParam<TScriptCase> {};

TEST_P(KannelComparisonTest, AgreesWithWmlscAndWmlsdasm) {
  if (!ToolsWork()) GTEST_SKIP() << "Kannel's wmlsc and wmlsdasm are not available";
  const TScriptCase& c = GetParam();
  const fs::path dir =
      fs::temp_directory_path() / ("deckhand-wmlsc-" + std::to_string(::getpid()) + "-" + c.Name);
  fs::remove_all(dir);
  fs::create_directories(dir / "ours");
  fs::create_directories(dir / "theirs");
  if (!c.Errors.empty()) {
    // A script Deckhand refuses is refused by wmlsc too: it ends with a
    // failure. (For a break outside a loop wmlsc crashes with a segmentation
    // fault after writing part of a unit: a fault of its own, and still no
    // compiled script.)
    ASSERT_FALSE(Compile(c.Source).Unit);
    WriteFile(dir / "theirs" / (c.Name + ".wmls"), c.Source);
    int status = 0;
    const std::string log = RunCommand(
        "cd '" + (dir / "theirs").string() + "' && '" + kBin + "wmlsc' '" + c.Name + ".wmls'",
        status);
    fs::remove_all(dir);
    EXPECT_NE(status, 0) << "wmlsc compiles a script Deckhand refuses:\n" << log;
    return;
  }
  const TCompileResult compiled = Compile(c.Source);
  ASSERT_TRUE(compiled.Unit);

  // Deckhand's unit, read back by wmlsdasm.
  const fs::path ours = dir / "ours" / (c.Name + ".wmlsc");
  WriteFile(ours, *compiled.Unit);
  const TDisassembly listing = Disassemble(ours);
  ASSERT_FALSE(listing.Refused) << "wmlsdasm refuses Deckhand's unit";
  std::string error;
  const std::optional<TUnit> ourUnit = LoadUnit(*compiled.Unit, error);
  ASSERT_TRUE(ourUnit) << error;
  ASSERT_EQ(listing.Constants.size(), ourUnit->Constants.size());
  for (std::size_t i = 0; i < listing.Constants.size(); ++i) {
    if (const auto printed = Printed(ourUnit->Constants[i])) {
      EXPECT_EQ(listing.Constants[i], *printed) << "constant " << i;
    }
  }
  std::vector<std::pair<std::string, int>> names;
  for (std::size_t i = 0; i < ourUnit->Functions.size(); ++i) {
    if (!ourUnit->Functions[i].Name.empty()) {
      names.emplace_back(ourUnit->Functions[i].Name, static_cast<int>(i));
    }
  }
  EXPECT_EQ(listing.Names, names);

  // wmlsc's unit of the same source.
  const fs::path source = dir / "theirs" / (c.Name + ".wmls");
  WriteFile(source, c.Source);
  int status = 0;
  const std::string log = RunCommand(
      "cd '" + (dir / "theirs").string() + "' && '" + kBin + "wmlsc' '" + c.Name + ".wmls'",
      status);
  const fs::path theirs = dir / "theirs" / (c.Name + ".wmlsc");
  if (status != 0 || !fs::exists(theirs)) {
    fs::remove_all(dir);
    GTEST_SKIP() << "wmlsc does not compile this script: " << log;
  }
  const std::string theirBytes = ReadFile(theirs);
  fs::remove_all(dir);
  const std::optional<TUnit> theirUnit = LoadUnit(theirBytes, error);
  ASSERT_TRUE(theirUnit) << "Deckhand's verifier refuses wmlsc's unit: " << error;
  // wmlsc numbers the functions in an order of its own: functions are
  // matched by name, and the others by their argument counts.
  auto signature = [](const TUnit& unit) {
    std::multiset<std::string> out;
    for (const TUnitFunction& f : unit.Functions)
      out.insert(f.Name + "/" + std::to_string(f.Arguments));
    return out;
  };
  EXPECT_EQ(signature(*theirUnit), signature(*ourUnit));
  EXPECT_LE(compiled.Unit->size(), theirBytes.size()) << "Deckhand's unit is larger than wmlsc's";

  const bool beyondAscii =
      std::any_of(ourUnit->Constants.begin(), ourUnit->Constants.end(), [](const TValue& v) {
        return std::any_of(v.Str.begin(), v.Str.end(),
                           [](char ch) { return static_cast<unsigned char>(ch) >= 0x80; });
      });
  if (beyondAscii) {
    // wmlsc reads every source as ISO 8859-1 and knows no charset pragma:
    // the Cyrillic letters of a UTF-8 or Windows-1251 script become other
    // letters in its unit, so its results differ (it is wrong there).
    GTEST_SKIP() << "wmlsc reads sources beyond ASCII as ISO 8859-1";
  }
  const TRunRecord mine = RunCase(*compiled.Unit, c);
  const TRunRecord reference = RunCase(theirBytes, c);
  EXPECT_EQ(reference.LoadError, "");
  EXPECT_EQ(reference.Results, mine.Results);
  EXPECT_EQ(reference.Traces, mine.Traces);
  EXPECT_EQ(reference.BrowserCalls, mine.BrowserCalls);
  EXPECT_EQ(reference.Navigation, mine.Navigation);
}

std::string CaseName(const ::testing::TestParamInfo<TScriptCase>& info) {
  std::string name = info.param.Name;
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, KannelComparisonTest,
                         ::testing::ValuesIn(LoadCorpus(DECKHAND_WMLSCRIPT_CORPUS)), CaseName);

}  // namespace
}  // namespace deckhand::wmlscript::testing
