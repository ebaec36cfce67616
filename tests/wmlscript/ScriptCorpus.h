// The script corpus: each tests/wmlscript/scripts/*.wmls holds a script and,
// in comments, what it must give:
//   // @call f(1, "a") => "1a"        a call and its result (or: => aborted "text",
//                                     => failed "part of the message")
//   // @error LINE:COLUMN text        a compile error expected there (the unit fails)
//   // @warning LINE:COLUMN text      a compile warning expected there
//   // @var name=value                a browser variable before the first call
//   // @expect-var name=value         a browser variable after the last call
//   // @prompt text / @confirm false  the user's answers, in order
//   // @expect-go URL / @expect-prev  the navigation the last call asks for
//   // @expect-calls a; b             the browser calls, in order
//   // @trace Lib.f(args) = result    a library call made (in order, all of them)
// Values are written as Describe() prints them: 12, 1.5, "text", true, invalid.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "wmlscript/Value.h"

namespace deckhand::wmlscript::testing {

struct TExpectedCall {
  std::string Function;
  std::vector<TValue> Arguments;
  std::string Outcome;  // "returned", "aborted" or "failed"
  std::string Result;   // Describe() of the value, or the message text
};

struct TScriptCase {
  std::string Name;
  std::string Source;
  std::vector<TExpectedCall> Calls;
  std::vector<std::string> Errors, Warnings;  // "LINE:COLUMN text"
  std::vector<std::string> Vars, ExpectVars, Prompts, Confirms, Traces;
  std::string ExpectGo;
  bool ExpectPrev = false;
  std::string ExpectCalls;
};

// A case shows as its script's name in test output.
inline void PrintTo(const TScriptCase& script, std::ostream* out) { *out << script.Name; }

// The cases of the corpus folder, sorted by name.
std::vector<TScriptCase> LoadCorpus(const std::string& folder);
// A value written as Describe() prints it; invalid for what does not parse.
TValue ParseValue(const std::string& text);

}  // namespace deckhand::wmlscript::testing

namespace deckhand::wmlscript::testing {

// What running a case's calls on a unit gave: one line a call
// ("f => 3", "f => aborted text"), then the library calls, the browser
// calls, and the navigation.
struct TRunRecord {
  std::vector<std::string> Results;
  std::vector<std::string> Traces;
  std::vector<std::string> BrowserCalls;
  std::vector<std::string> Vars;
  std::string Navigation;
  std::string LoadError;  // the verifier's reason when the unit is refused
};

TRunRecord RunCase(const std::string& unitBytes, const TScriptCase& c);

}  // namespace deckhand::wmlscript::testing
