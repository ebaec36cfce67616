// The script corpus: every script compiles (or fails where it says), passes
// the verifier, and its calls give the results written in it, which come
// from WAP-193 and WAP-194.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakeBrowser.h"
#include "ScriptCorpus.h"
#include "wmlscript/Compiler.h"
#include "wmlscript/Interpreter.h"
#include "wmlscript/Lexer.h"
#include "wmlscript/Unit.h"

namespace deckhand::wmlscript::testing {
namespace {

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r')) s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(s.begin());
  return s;
}

// Splits "a, "b, c", 3" at top-level commas.
std::vector<std::string> SplitArguments(const std::string& text) {
  std::vector<std::string> out;
  std::string current;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && quoted && i + 1 < text.size()) {
      current += c;
      current += text[++i];
      continue;
    }
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) {
      out.push_back(Trim(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!Trim(current).empty()) out.push_back(Trim(current));
  return out;
}

}  // namespace

TValue ParseValue(const std::string& raw) {
  const std::string text = Trim(raw);
  if (text == "true" || text == "false") return TValue::Boolean(text == "true");
  if (text == "invalid") return TValue::Invalid();
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    std::string s;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
      if (text[i] == '\\' && i + 2 < text.size()) {
        const char e = text[++i];
        if (e == 'u' && i + 4 < text.size()) {
          AppendUtf8(s, static_cast<std::uint32_t>(std::stoul(text.substr(i + 1, 4), nullptr, 16)));
          i += 4;
        } else {
          s += e == 'n' ? '\n' : e == 't' ? '\t' : e;
        }
      } else {
        s += text[i];
      }
    }
    return TValue::String(s);
  }
  if (text.find_first_of(".eE") != std::string::npos) {
    return TValue::FloatValue(std::stod(text));
  }
  return TValue::Integer(std::stoll(text));
}

std::vector<TScriptCase> LoadCorpus(const std::string& folder) {
  std::vector<TScriptCase> cases;
  if (!std::filesystem::is_directory(folder)) return cases;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".wmls") continue;
    TScriptCase c;
    c.Name = entry.path().stem().string();
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    c.Source = buffer.str();
    std::istringstream lines(c.Source);
    for (std::string line; std::getline(lines, line);) {
      const std::size_t at = line.find("// @");
      if (at == std::string::npos) continue;
      const std::string rest = line.substr(at + 4);
      const std::size_t space = rest.find(' ');
      const std::string key = rest.substr(0, space);
      const std::string value = space == std::string::npos ? "" : Trim(rest.substr(space + 1));
      if (key == "call") {
        TExpectedCall call;
        const std::size_t open = value.find('('), arrow = value.find(" => ");
        const std::size_t close = value.rfind(')', arrow);
        call.Function = Trim(value.substr(0, open));
        for (const std::string& a : SplitArguments(value.substr(open + 1, close - open - 1))) {
          call.Arguments.push_back(ParseValue(a));
        }
        std::string result = Trim(value.substr(arrow + 4));
        call.Outcome = "returned";
        for (const char* outcome : {"aborted ", "failed "}) {
          if (result.rfind(outcome, 0) == 0) {
            call.Outcome = Trim(outcome);
            result = Trim(result.substr(std::string(outcome).size()));
            if (result.size() >= 2 && result.front() == '"')
              result = result.substr(1, result.size() - 2);
          }
        }
        call.Result = call.Outcome == "returned" ? Describe(ParseValue(result)) : result;
        c.Calls.push_back(std::move(call));
      } else if (key == "error") {
        c.Errors.push_back(value);
      } else if (key == "warning") {
        c.Warnings.push_back(value);
      } else if (key == "var") {
        c.Vars.push_back(value);
      } else if (key == "expect-var") {
        c.ExpectVars.push_back(value);
      } else if (key == "prompt") {
        c.Prompts.push_back(value);
      } else if (key == "confirm") {
        c.Confirms.push_back(value);
      } else if (key == "trace") {
        c.Traces.push_back(value);
      } else if (key == "expect-go") {
        c.ExpectGo = value;
      } else if (key == "expect-prev") {
        c.ExpectPrev = true;
      } else if (key == "expect-calls") {
        c.ExpectCalls = value;
      }
    }
    cases.push_back(std::move(c));
  }
  std::sort(cases.begin(), cases.end(),
            [](const TScriptCase& a, const TScriptCase& b) { return a.Name < b.Name; });
  return cases;
}

TRunRecord RunCase(const std::string& unitBytes, const TScriptCase& c) {
  TRunRecord record;
  std::string error;
  const std::optional<TUnit> unit = LoadUnit(unitBytes, error);
  if (!unit) {
    record.LoadError = error;
    return record;
  }
  TFakeBrowser browser;
  browser.Resources["http://example.com/lib.wmls"] = {"", "application/vnd.wap.wmlscriptc"};
  browser.Resources["http://example.com/text.txt"] = {"hello", "text/plain"};
  for (const std::string& v : c.Vars) {
    const std::size_t eq = v.find('=');
    browser.Vars[v.substr(0, eq)] = v.substr(eq + 1);
  }
  for (const std::string& p : c.Prompts) browser.PromptAnswers.push_back(p);
  for (const std::string& p : c.Confirms) browser.ConfirmAnswers.push_back(p == "true");
  TRandom random(1);
  TRunOptions options;
  options.ScriptUrl = "http://example.com/script.wmls";
  options.LibraryTrace = &record.Traces;
  options.Limits.Instructions = 2'000'000;
  TRunResult last;
  for (const TExpectedCall& call : c.Calls) {
    last = Run(*unit, call.Function, call.Arguments, browser, random, options);
    std::string line = call.Function + " => ";
    switch (last.Status) {
      case TRunStatus::Returned:
        line += Describe(last.Value);
        break;
      case TRunStatus::Aborted:
        line += "aborted " + last.Message;
        break;
      case TRunStatus::Failed:
        line += "failed " + last.Message;
        break;
    }
    record.Results.push_back(line);
  }
  record.BrowserCalls = browser.Calls;
  for (const auto& [name, value] : browser.Vars) record.Vars.push_back(name + "=" + value);
  record.Navigation = last.Navigation == TNavigation::Go     ? "go " + last.GoUrl
                      : last.Navigation == TNavigation::Prev ? "prev"
                                                             : "";
  return record;
}

namespace {

class ScriptCorpusTest : public ::testing::TestWithParam<TScriptCase> {};

TEST_P(ScriptCorpusTest, CompilesVerifiesAndGivesTheStandardsResults) {
  const TScriptCase& c = GetParam();
  const TCompileResult compiled = Compile(c.Source);
  std::vector<std::string> errors, warnings;
  for (const TDiagnostic& d : compiled.Diagnostics) {
    (d.Severity == TSeverity::Error ? errors : warnings)
        .push_back(std::to_string(d.Line) + ":" + std::to_string(d.Column) + " " + d.Message);
  }
  EXPECT_EQ(errors, c.Errors);
  EXPECT_EQ(warnings, c.Warnings);
  if (!c.Errors.empty()) {
    EXPECT_FALSE(compiled.Unit);
    return;
  }
  ASSERT_TRUE(compiled.Unit) << FormatDiagnostics(c.Name, compiled.Diagnostics);
  const TRunRecord record = RunCase(*compiled.Unit, c);
  ASSERT_EQ(record.LoadError, "");
  ASSERT_EQ(record.Results.size(), c.Calls.size());
  for (std::size_t i = 0; i < c.Calls.size(); ++i) {
    const TExpectedCall& call = c.Calls[i];
    const std::string prefix = call.Function + " => ";
    const std::string expected =
        prefix + (call.Outcome == "returned" ? call.Result : call.Outcome + " " + call.Result);
    if (call.Outcome == "failed") {
      EXPECT_NE(record.Results[i].find(call.Result), std::string::npos)
          << "call " << i << ": " << record.Results[i];
      EXPECT_EQ(record.Results[i].rfind(prefix + "failed ", 0), 0u) << record.Results[i];
    } else {
      EXPECT_EQ(record.Results[i], expected) << "call " << i;
    }
  }
  if (!c.Traces.empty()) {
    EXPECT_EQ(record.Traces, c.Traces);
  }
  for (const std::string& v : c.ExpectVars) {
    EXPECT_NE(std::find(record.Vars.begin(), record.Vars.end(), v), record.Vars.end())
        << "variable " << v;
  }
  if (!c.ExpectGo.empty()) {
    EXPECT_EQ(record.Navigation, "go " + c.ExpectGo);
  }
  if (c.ExpectPrev) {
    EXPECT_EQ(record.Navigation, "prev");
  }
  if (!c.ExpectCalls.empty()) {
    std::string calls;
    for (const std::string& call : record.BrowserCalls) calls += (calls.empty() ? "" : "; ") + call;
    EXPECT_EQ(calls, c.ExpectCalls);
  }
}

std::string CaseName(const ::testing::TestParamInfo<TScriptCase>& info) {
  std::string name = info.param.Name;
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, ScriptCorpusTest,
                         ::testing::ValuesIn(LoadCorpus(DECKHAND_WMLSCRIPT_CORPUS)), CaseName);

// The line table beside every unit of the corpus: one list a function of
// the unit, each from the function's first byte on, in order, inside its
// code and naming lines of the source.
TEST(ScriptCorpus, LineTablesCoverEveryFunctionOfTheUnit) {
  for (const TScriptCase& c : LoadCorpus(DECKHAND_WMLSCRIPT_CORPUS)) {
    const TCompileResult compiled = Compile(c.Source);
    if (!compiled.Unit) {
      EXPECT_TRUE(compiled.Lines.Functions.empty()) << c.Name;
      continue;
    }
    std::string error;
    const std::optional<TUnit> unit = LoadUnit(*compiled.Unit, error);
    ASSERT_TRUE(unit) << c.Name << ": " << error;
    const int lines = 1 + static_cast<int>(std::count(c.Source.begin(), c.Source.end(), '\n'));
    ASSERT_EQ(compiled.Lines.Functions.size(), unit->Functions.size()) << c.Name;
    for (std::size_t f = 0; f < unit->Functions.size(); ++f) {
      const auto& entries = compiled.Lines.Functions[f];
      const std::size_t size = unit->Functions[f].Code.size();
      if (size == 0) {
        EXPECT_TRUE(entries.empty()) << c.Name << " function " << f;
        continue;
      }
      ASSERT_FALSE(entries.empty()) << c.Name << " function " << f;
      EXPECT_EQ(entries.front().Offset, 0u) << c.Name << " function " << f;
      for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_LT(entries[i].Offset, size) << c.Name << " function " << f;
        EXPECT_GE(entries[i].Line, 1) << c.Name;
        EXPECT_LE(entries[i].Line, lines) << c.Name;
        if (i > 0) {
          EXPECT_GT(entries[i].Offset, entries[i - 1].Offset) << c.Name;
        }
      }
      EXPECT_EQ(compiled.Lines.LineOf(f, size - 1), entries.back().Line);
    }
    EXPECT_EQ(compiled.Lines.LineOf(unit->Functions.size(), 0), 0) << c.Name;
  }
}

TEST(ScriptCorpus, HasAtLeastSixtyScripts) {
  EXPECT_GE(LoadCorpus(DECKHAND_WMLSCRIPT_CORPUS).size(), 60u);
}

}  // namespace
}  // namespace deckhand::wmlscript::testing
