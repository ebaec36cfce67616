// The WMLScript 1.1 interpreter (WAP-193 §9, §11): runs an extern function
// of a verified unit with the standard libraries (WAP-194), within hard
// limits that an untrusted script cannot pass.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "wmlscript/Unit.h"
#include "wmlscript/Value.h"

namespace deckhand::wmlscript {

// The browser and the user, as the script sees them through WMLBrowser,
// Dialogs and URL. The emulator implements it; tests implement it with a
// recording fake.
class TBrowser {
 public:
  virtual ~TBrowser() = default;
  // WML variables of the current context; an unset variable reads "".
  virtual std::string GetVar(const std::string& name) = 0;
  virtual void SetVar(const std::string& name, const std::string& value) = 0;
  // Clears the context (variables and history) as newcontext does.
  virtual void NewContext() = 0;
  // The current card's address relative to the script, "" when there is no card.
  virtual std::string CurrentCard() = 0;
  // Redraws the current card with the variables as they are now.
  virtual void Refresh() = 0;
  // Dialogs: the user's answers. Prompt returns the text entered.
  virtual std::string Prompt(const std::string& message, const std::string& defaultInput) = 0;
  virtual bool Confirm(const std::string& message, const std::string& ok,
                       const std::string& cancel) = 0;
  virtual void Alert(const std::string& message) = 0;
  // The address of the card that called the script (URL.getReferer), "" when none.
  virtual std::string Referer() = 0;
  // Content of an address for URL.loadString and for CALL_URL's units:
  // the bytes and their content type; empty when it cannot be loaded.
  struct TLoaded {
    std::string Content;
    std::string ContentType;
  };
  virtual std::optional<TLoaded> Load(const std::string& absoluteUrl) = 0;
};

// Lang.random and Lang.seed: a seedable generator, so that runs repeat.
class TRandom {
 public:
  explicit TRandom(std::uint64_t seed = 1) { Seed(seed); }
  void Seed(std::uint64_t seed) { State = seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull; }
  // Seeds the generator when a script asks for a system-dependent seed.
  std::uint64_t SystemSeed = 20011;
  std::uint32_t Next() {
    // splitmix64: the same sequence on every platform.
    std::uint64_t z = (State += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
  }

 private:
  std::uint64_t State = 0;
};

struct TLimits {
  std::uint64_t Instructions = 10'000'000;  // per call from the browser
  std::uint32_t OperandStack = 4096;        // values: locals and operands of every frame
  std::uint32_t CallDepth = 64;             // nested function calls
  std::uint32_t StringLength = 65536;       // bytes of one string
  std::uint64_t Memory = 4 * 1024 * 1024;   // bytes of strings held at once
};

enum class TRunStatus {
  Returned,  // the function returned (or Lang.exit ended the script)
  Aborted,   // Lang.abort
  Failed     // a fatal error or a limit: the script stopped
};

enum class TNavigation { None, Go, Prev };

struct TRunResult {
  TRunStatus Status = TRunStatus::Failed;
  TValue Value;         // the return value, or Lang.exit's value
  std::string Message;  // Russian: why the script stopped (Aborted: the abort text)
  // The navigation WMLBrowser.go or prev asked for, to be applied now that
  // the script has returned (WAP-194 §10).
  TNavigation Navigation = TNavigation::None;
  std::string GoUrl;
  std::uint64_t Instructions = 0;  // instructions executed
  // Where a script that stopped (Aborted, Failed) was: the instruction that
  // failed, or the next one to run when a limit of the whole run was
  // reached. Empty when it stopped before running any.
  struct TPlace {
    std::size_t Function = 0;  // index in its unit
    std::size_t Offset = 0;    // of the instruction in the function's code
    int Line = 0;              // its source line, from the unit's TUnit::Lines; 0 when unknown
    bool External = false;     // in a unit that CALL_URL loaded, not the one Run was given
  };
  std::optional<TPlace> Place;
};

struct TRunOptions {
  TLimits Limits;
  std::string ScriptUrl;  // absolute address of the unit: URL.getBase, CALL_URL resolution
  // When set, every library call is appended as "Lib.name(args) = result".
  std::vector<std::string>* LibraryTrace = nullptr;
};

// Calls the extern function of the unit with the arguments.
TRunResult Run(const TUnit& unit, const std::string& function, std::vector<TValue> arguments,
               TBrowser& browser, TRandom& random, const TRunOptions& options = {});

}  // namespace deckhand::wmlscript
