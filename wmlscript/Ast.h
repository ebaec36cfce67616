// The syntax tree of a WMLScript 1.1 compilation unit (WAP-193 §6, §10.5
// grammar), as the parser builds it and the code generator reads it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace deckhand::wmlscript {

struct TPosition {
  int Line = 1;
  int Column = 1;
};

enum class TExprKind {
  Integer,
  Float,
  String,
  Boolean,
  Invalid,
  Variable,
  Assign,        // Name Op= Kids[0]
  Unary,         // Op Kids[0]: - + ~ ! typeof isvalid
  Prefix,        // ++Name, --Name
  Postfix,       // Name++, Name--
  Binary,        // Kids[0] Op Kids[1], && and || included
  Conditional,   // Kids[0] ? Kids[1] : Kids[2]
  Comma,         // Kids[0], Kids[1]
  Call,          // Name(Kids)
  ExternalCall,  // Library#Name(Kids): Library holds the `use url` name
  LibraryCall    // Library.Name(Kids)
};

struct TExpr {
  TExprKind Kind;
  TPosition Pos;
  std::string Op;
  std::string Name;
  std::string Library;
  std::int64_t Integer = 0;
  double Float = 0;
  std::string String;
  std::vector<std::unique_ptr<TExpr>> Kids;
};
using TExprPtr = std::unique_ptr<TExpr>;

struct TVarDecl {
  TPosition Pos;
  std::string Name;
  TExprPtr Init;  // may be null
};

enum class TStmtKind { Block, Var, Empty, Expression, If, While, For, Break, Continue, Return };

struct TStmt {
  TStmtKind Kind;
  TPosition Pos;
  std::vector<std::unique_ptr<TStmt>> Body;  // Block: statements; If: then, else; loops: body
  std::vector<TVarDecl> Vars;                // Var; For with `var`
  TExprPtr Expr;                             // Expression, Return, If/While/For condition
  TExprPtr Init;                             // For
  TExprPtr Step;                             // For
};
using TStmtPtr = std::unique_ptr<TStmt>;

struct TFunction {
  TPosition Pos;
  bool Extern = false;
  std::string Name;
  std::vector<std::pair<std::string, TPosition>> Params;
  std::vector<TStmtPtr> Body;
};

struct TUrlPragma {
  TPosition Pos;
  std::string Name;
  std::string Url;
};

struct TMetaPragma {
  TPosition Pos;
  enum { Name, HttpEquiv, UserAgent } Kind;
  std::string Property;
  std::string Content;
  std::optional<std::string> Scheme;
};

struct TUnitTree {
  std::vector<TUrlPragma> Urls;
  std::optional<std::string> AccessDomain;
  std::optional<std::string> AccessPath;
  std::vector<TMetaPragma> Metas;
  std::vector<TFunction> Functions;
};

}  // namespace deckhand::wmlscript
