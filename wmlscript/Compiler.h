// The WMLScript 1.1 compiler (WAP-193): source text to a compilation unit,
// the bytes of a .wmlsc file, with errors and warnings in Russian.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deckhand::wmlscript {

enum class TSeverity { Error, Warning };

struct TDiagnostic {
  TSeverity Severity;
  int Line;             // 1-based
  int Column;           // 1-based, counted in bytes of the source
  std::string Message;  // UTF-8, Russian
};

struct TCompileResult {
  std::optional<std::string> Unit;       // empty when there is an error
  std::vector<TDiagnostic> Diagnostics;  // in order of line, then column
  std::string Charset;                   // the source's encoding: "UTF-8" or "windows-1251"
};

// Compiles a script given as the bytes of its file. The source is UTF-8, or
// the charset its `use meta` pragma names, or Windows-1251 when it is not
// valid UTF-8 and nothing names its charset.
TCompileResult Compile(std::string_view source);

// The diagnostics as deckhand-check prints them:
// FILE:LINE:COLUMN: ошибка: ... (or предупреждение), one a line.
std::string FormatDiagnostics(std::string_view file, const std::vector<TDiagnostic>& diagnostics);

// Most errors one compilation reports; compilation stops at the limit.
inline constexpr std::size_t kMaxCompileErrors = 100;

}  // namespace deckhand::wmlscript
