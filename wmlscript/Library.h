// The standard libraries' functions as the interpreter calls them.
#pragma once

#include <optional>
#include <string>

#include "wmlscript/Interpreter.h"

namespace deckhand::wmlscript {

// What a library function can reach, and how it stops the script.
struct TLibraryContext {
  TBrowser& Browser;
  TRandom& Random;
  const TRunOptions& Options;
  TRunResult& Result;  // Navigation and GoUrl are set here
  bool Stop = false;   // set with Result.Status and Message to end the script
};

// Calls library function (library, function) with its arguments (as many as
// the library table says); the result replaces them on the stack.
TValue CallLibrary(std::uint16_t library, std::uint8_t function, TValue* args,
                   TLibraryContext& context);

// The libraries, one a file.
TValue CallLang(std::uint8_t function, TValue* args, TLibraryContext& context);
TValue CallFloat(std::uint8_t function, TValue* args, TLibraryContext& context);
TValue CallString(std::uint8_t function, TValue* args, TLibraryContext& context);
TValue CallUrl(std::uint8_t function, TValue* args, TLibraryContext& context);
TValue CallBrowser(std::uint8_t function, TValue* args, TLibraryContext& context);
TValue CallDialogs(std::uint8_t function, TValue* args, TLibraryContext& context);

// Number of characters of a UTF-8 string (String.length counts characters).
std::size_t CharacterCount(const std::string& s);

// The absolute form of a relative address against a base (RFC 2396 §5.2).
std::string ResolveUrl(const std::string& base, const std::string& relative);

// Whether a unit at unitUrl lets a unit at callerUrl call its functions: its
// use access pragma's domain must match the end of the caller's host, and its
// path the start of the caller's path, in whole components (WAP-193 §6.7.2;
// the domain defaults to the unit's own host, the path to "/").
bool AccessAllowed(const TUnit& unit, const std::string& unitUrl, const std::string& callerUrl);
// The same rule for any resource at ownUrl with the given domain and path
// (WML 1.1 §11.3.1 access element too); with neither, access is allowed.
bool AccessRuleAllows(const std::optional<std::string>& domain,
                      const std::optional<std::string>& path, const std::string& ownUrl,
                      const std::string& callerUrl);

}  // namespace deckhand::wmlscript
