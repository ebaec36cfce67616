#include "wmlscript/Compiler.h"

#include <algorithm>
#include <iterator>

#include "wmlscript/CodeGen.h"
#include "wmlscript/Lexer.h"
#include "wmlscript/Parser.h"

namespace deckhand::wmlscript {

TCompileResult Compile(std::string_view source) {
  TCompileResult result;
  std::string unsupported;
  const TSourceCharset charset = DetectCharset(source, unsupported);
  result.Charset = charset == TSourceCharset::Utf8 ? "UTF-8" : "windows-1251";
  if (!unsupported.empty()) {
    result.Diagnostics.push_back({TSeverity::Error, 1, 1,
                                  "кодировка «" + unsupported +
                                      "» не поддерживается: сценарий должен быть в UTF-8 "
                                      "или windows-1251"});
    return result;
  }
  // A UTF-8 byte order mark is not part of the script.
  if (charset == TSourceCharset::Utf8 && source.substr(0, 3) == "\xEF\xBB\xBF") {
    source.remove_prefix(3);
  }
  const std::vector<TToken> tokens = Tokenize(source, charset, result.Diagnostics);
  const TUnitTree tree = Parse(tokens, result.Diagnostics);
  const bool syntaxOk =
      std::none_of(result.Diagnostics.begin(), result.Diagnostics.end(),
                   [](const TDiagnostic& d) { return d.Severity == TSeverity::Error; });
  if (syntaxOk) {
    result.Unit = GenerateUnit(tree, result.Diagnostics, &result.Lines);
  }
  std::stable_sort(result.Diagnostics.begin(), result.Diagnostics.end(),
                   [](const TDiagnostic& a, const TDiagnostic& b) {
                     return a.Line != b.Line ? a.Line < b.Line : a.Column < b.Column;
                   });
  if (std::any_of(result.Diagnostics.begin(), result.Diagnostics.end(),
                  [](const TDiagnostic& d) { return d.Severity == TSeverity::Error; })) {
    result.Unit.reset();
  }
  if (!result.Unit) result.Lines = TLineTable();
  return result;
}

int TLineTable::LineOf(std::size_t function, std::size_t offset) const {
  if (function >= Functions.size()) return 0;
  const std::vector<TEntry>& entries = Functions[function];
  // The last entry that starts at or before the offset.
  const auto after =
      std::upper_bound(entries.begin(), entries.end(), offset,
                       [](std::size_t at, const TEntry& entry) { return at < entry.Offset; });
  return after == entries.begin() ? 0 : std::prev(after)->Line;
}

std::string FormatDiagnostics(std::string_view file, const std::vector<TDiagnostic>& diagnostics) {
  std::string out;
  for (const TDiagnostic& d : diagnostics) {
    out += file;
    out += ':' + std::to_string(d.Line) + ':' + std::to_string(d.Column) + ": ";
    out += d.Severity == TSeverity::Error ? "ошибка" : "предупреждение";
    out += ": " + d.Message + "\n";
  }
  return out;
}

}  // namespace deckhand::wmlscript
