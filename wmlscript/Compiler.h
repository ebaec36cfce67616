// The WMLScript 1.1 compiler (WAP-193): source text to a compilation unit,
// the bytes of a .wmlsc file, with errors and warnings in Russian.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Where a compiled unit's code came from, kept beside the unit's bytes (the
// .wmlsc format has no place for it): for each function, in the unit's
// order, the source line of its instructions from each offset on.
struct TLineTable {
  struct TEntry {
    std::uint32_t Offset;  // first byte of the instructions of the line
    int Line;              // 1-based
  };
  std::vector<std::vector<TEntry>> Functions;  // each in order of offset

  // The source line of the instruction at offset in the function; 0 when
  // the table does not know it (no table, no such function).
  int LineOf(std::size_t function, std::size_t offset) const;
};

struct TCompileResult {
  std::optional<std::string> Unit;       // empty when there is an error
  std::vector<TDiagnostic> Diagnostics;  // in order of line, then column
  std::string Charset;                   // the source's encoding: "UTF-8" or "windows-1251"
  TLineTable Lines;                      // the unit's source lines; empty when there is an error
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
