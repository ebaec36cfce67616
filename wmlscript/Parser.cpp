#include "wmlscript/Parser.h"

#include <array>
#include <utility>

namespace deckhand::wmlscript {
namespace {

// A syntax error: parsing of the current function stops.
struct TSyntaxError {};

// Expression nesting deeper than this is refused, so that a hostile source
// cannot exhaust the compiler's stack.
constexpr int kMaxNesting = 200;

class TParser {
 public:
  TParser(const std::vector<TToken>& tokens, std::vector<TDiagnostic>& diags)
      : Tokens(tokens), Diags(diags) {}

  TUnitTree Run() {
    TUnitTree tree;
    while (IsKeyword("use")) {
      try {
        ParsePragma(tree);
      } catch (const TSyntaxError&) {
        SkipPast(";");
      }
    }
    if (At().Kind == TTokenKind::End) {
      Error(At(), "в сценарии нет ни одной функции");
    }
    while (At().Kind != TTokenKind::End && Diags.size() < kMaxCompileErrors) {
      try {
        tree.Functions.push_back(ParseFunction());
      } catch (const TSyntaxError&) {
        // Resume at the next function declaration.
        Advance();
        while (At().Kind != TTokenKind::End && !IsKeyword("function") && !IsKeyword("extern"))
          Advance();
      }
    }
    return tree;
  }

 private:
  const std::vector<TToken>& Tokens;
  std::vector<TDiagnostic>& Diags;
  std::size_t Index = 0;
  int Depth = 0;

  const TToken& At(std::size_t ahead = 0) const {
    return Tokens[std::min(Index + ahead, Tokens.size() - 1)];
  }
  void Advance() {
    if (Index + 1 < Tokens.size()) ++Index;
  }
  static TPosition PosOf(const TToken& t) { return {t.Line, t.Column}; }
  bool IsKeyword(std::string_view word, std::size_t ahead = 0) const {
    return At(ahead).Kind == TTokenKind::Keyword && At(ahead).Text == word;
  }
  bool IsPunct(std::string_view p, std::size_t ahead = 0) const {
    return At(ahead).Kind == TTokenKind::Punct && At(ahead).Text == p;
  }
  static std::string Describe(const TToken& t) {
    switch (t.Kind) {
      case TTokenKind::End:
        return "конец файла";
      case TTokenKind::Identifier:
        return "имя «" + t.Text + "»";
      case TTokenKind::Keyword:
        return "слово «" + t.Text + "»";
      case TTokenKind::Integer:
      case TTokenKind::Float:
        return "число";
      case TTokenKind::String:
        return "строка";
      case TTokenKind::Punct:
        return "«" + t.Text + "»";
      case TTokenKind::Error:
        return "недопустимый символ";
    }
    return "?";
  }
  void Error(const TToken& at, std::string message) {
    Diags.push_back({TSeverity::Error, at.Line, at.Column, std::move(message)});
  }
  [[noreturn]] void Fail(std::string message) {
    // A lexical error has already been reported where the Error token stands.
    if (At().Kind != TTokenKind::Error) Error(At(), std::move(message));
    throw TSyntaxError{};
  }
  [[noreturn]] void Expected(std::string_view what) {
    Fail("ожидается " + std::string(what) + ", а стоит " + Describe(At()));
  }
  void Expect(std::string_view punct) {
    if (!IsPunct(punct)) Expected("«" + std::string(punct) + "»");
    Advance();
  }
  void ExpectKeyword(std::string_view word) {
    if (!IsKeyword(word)) Expected("«" + std::string(word) + "»");
    Advance();
  }
  std::string ExpectIdentifier(std::string_view what) {
    if (At().Kind == TTokenKind::Keyword) {
      Fail("«" + At().Text + "» — зарезервированное слово WMLScript, его нельзя взять как " +
           std::string(what));
    }
    if (At().Kind != TTokenKind::Identifier) Expected(what);
    std::string name = At().Text;
    Advance();
    return name;
  }
  std::string ExpectString() {
    if (At().Kind != TTokenKind::String) Expected("строка в кавычках");
    std::string text = At().Text;
    Advance();
    return text;
  }
  void SkipPast(std::string_view punct) {
    while (At().Kind != TTokenKind::End && !IsPunct(punct) && !IsKeyword("function") &&
           !IsKeyword("extern"))
      Advance();
    if (IsPunct(punct)) Advance();
  }

  void ParsePragma(TUnitTree& tree) {
    const TToken& use = At();
    Advance();
    if (IsKeyword("url")) {
      Advance();
      TUrlPragma url;
      url.Pos = PosOf(At());
      url.Name = ExpectIdentifier("имя внешнего сценария");
      url.Url = ExpectString();
      for (const TUrlPragma& other : tree.Urls) {
        if (other.Name == url.Name) {
          Diags.push_back({TSeverity::Error, url.Pos.Line, url.Pos.Column,
                           "имя внешнего сценария «" + url.Name + "» уже объявлено"});
        }
      }
      tree.Urls.push_back(std::move(url));
    } else if (IsKeyword("access")) {
      Advance();
      if (tree.AccessDomain || tree.AccessPath) {
        Error(use, "прагма use access может быть в сценарии только одна");
      }
      bool any = false;
      if (IsKeyword("domain")) {
        Advance();
        tree.AccessDomain = ExpectString();
        any = true;
      }
      if (IsKeyword("path")) {
        Advance();
        tree.AccessPath = ExpectString();
        any = true;
      }
      if (!any) Expected("«domain» или «path»");
    } else if (IsKeyword("meta")) {
      Advance();
      TMetaPragma meta;
      meta.Pos = PosOf(use);
      if (IsKeyword("name")) {
        Advance();
        meta.Kind = TMetaPragma::Name;
      } else if (IsKeyword("http")) {
        Advance();
        ExpectKeyword("equiv");
        meta.Kind = TMetaPragma::HttpEquiv;
      } else if (IsKeyword("user")) {
        Advance();
        ExpectKeyword("agent");
        meta.Kind = TMetaPragma::UserAgent;
      } else {
        Expected("«name», «http equiv» или «user agent»");
      }
      meta.Property = ExpectString();
      meta.Content = ExpectString();
      if (At().Kind == TTokenKind::String) meta.Scheme = ExpectString();
      tree.Metas.push_back(std::move(meta));
    } else {
      Expected("«url», «access» или «meta» после «use»");
    }
    Expect(";");
  }

  TFunction ParseFunction() {
    TFunction f;
    f.Pos = PosOf(At());
    if (IsKeyword("use")) Fail("прагмы use должны стоять до первой функции");
    if (IsKeyword("extern")) {
      f.Extern = true;
      Advance();
    }
    ExpectKeyword("function");
    f.Pos = PosOf(At());
    f.Name = ExpectIdentifier("имя функции");
    Expect("(");
    if (!IsPunct(")")) {
      for (;;) {
        const TPosition pos = PosOf(At());
        f.Params.emplace_back(ExpectIdentifier("имя параметра"), pos);
        if (!IsPunct(",")) break;
        Advance();
      }
    }
    Expect(")");
    if (!IsPunct("{")) Expected("«{» — тело функции");
    TStmtPtr block = ParseBlock();
    f.Body = std::move(block->Body);
    if (IsPunct(";")) Advance();
    return f;
  }

  TStmtPtr NewStmt(TStmtKind kind) {
    auto s = std::make_unique<TStmt>();
    s->Kind = kind;
    s->Pos = PosOf(At());
    return s;
  }

  TStmtPtr ParseBlock() {
    TStmtPtr s = NewStmt(TStmtKind::Block);
    Expect("{");
    while (!IsPunct("}")) {
      if (At().Kind == TTokenKind::End) Fail("блок не закрыт: не хватает «}»");
      s->Body.push_back(ParseStatement());
    }
    Advance();
    return s;
  }

  void Nest() {
    if (++Depth > kMaxNesting) Fail("слишком глубокая вложенность");
  }

  TStmtPtr ParseStatement() {
    Nest();
    TStmtPtr s = ParseStatementBody();
    --Depth;
    return s;
  }

  void ParseVarList(TStmt& s) {
    for (;;) {
      TVarDecl d;
      d.Pos = PosOf(At());
      d.Name = ExpectIdentifier("имя переменной");
      if (IsPunct("=")) {
        Advance();
        d.Init = ParseAssignment();
      }
      s.Vars.push_back(std::move(d));
      if (!IsPunct(",")) break;
      Advance();
    }
  }

  TStmtPtr ParseStatementBody() {
    if (IsPunct("{")) return ParseBlock();
    if (IsPunct(";")) {
      TStmtPtr s = NewStmt(TStmtKind::Empty);
      Advance();
      return s;
    }
    if (IsKeyword("var")) {
      TStmtPtr s = NewStmt(TStmtKind::Var);
      Advance();
      ParseVarList(*s);
      Expect(";");
      return s;
    }
    if (IsKeyword("if")) {
      TStmtPtr s = NewStmt(TStmtKind::If);
      Advance();
      Expect("(");
      s->Expr = ParseExpression();
      Expect(")");
      s->Body.push_back(ParseStatement());
      if (IsKeyword("else")) {
        Advance();
        s->Body.push_back(ParseStatement());
      }
      return s;
    }
    if (IsKeyword("while")) {
      TStmtPtr s = NewStmt(TStmtKind::While);
      Advance();
      Expect("(");
      s->Expr = ParseExpression();
      Expect(")");
      s->Body.push_back(ParseStatement());
      return s;
    }
    if (IsKeyword("for")) {
      TStmtPtr s = NewStmt(TStmtKind::For);
      Advance();
      Expect("(");
      if (IsKeyword("var")) {
        Advance();
        ParseVarList(*s);
      } else if (!IsPunct(";")) {
        s->Init = ParseExpression();
      }
      Expect(";");
      if (!IsPunct(";")) s->Expr = ParseExpression();
      Expect(";");
      if (!IsPunct(")")) s->Step = ParseExpression();
      Expect(")");
      s->Body.push_back(ParseStatement());
      return s;
    }
    if (IsKeyword("break") || IsKeyword("continue")) {
      TStmtPtr s = NewStmt(IsKeyword("break") ? TStmtKind::Break : TStmtKind::Continue);
      Advance();
      Expect(";");
      return s;
    }
    if (IsKeyword("return")) {
      TStmtPtr s = NewStmt(TStmtKind::Return);
      Advance();
      if (!IsPunct(";")) s->Expr = ParseExpression();
      Expect(";");
      return s;
    }
    if (IsKeyword("function") || IsKeyword("extern")) {
      Fail("функцию нельзя объявить внутри другой функции (или выше не закрыта «}»)");
    }
    TStmtPtr s = NewStmt(TStmtKind::Expression);
    s->Expr = ParseExpression();
    Expect(";");
    return s;
  }

  TExprPtr NewExpr(TExprKind kind, const TToken& at) {
    auto e = std::make_unique<TExpr>();
    e->Kind = kind;
    e->Pos = PosOf(at);
    return e;
  }

  TExprPtr ParseExpression() {
    TExprPtr left = ParseAssignment();
    while (IsPunct(",")) {
      TExprPtr e = NewExpr(TExprKind::Comma, At());
      Advance();
      e->Kids.push_back(std::move(left));
      e->Kids.push_back(ParseAssignment());
      left = std::move(e);
    }
    return left;
  }

  static bool IsAssignOp(const TToken& t) {
    static constexpr std::array<std::string_view, 13> kOps = {
        "=", "*=", "/=", "%=", "+=", "-=", "<<=", ">>=", ">>>=", "&=", "^=", "|=", "div="};
    if (t.Kind != TTokenKind::Punct) return false;
    for (std::string_view op : kOps) {
      if (t.Text == op) return true;
    }
    return false;
  }

  TExprPtr ParseAssignment() {
    Nest();
    TExprPtr left = ParseConditional();
    if (IsAssignOp(At())) {
      if (left->Kind != TExprKind::Variable) {
        Fail("слева от «" + At().Text + "» должна стоять переменная");
      }
      TExprPtr e = NewExpr(TExprKind::Assign, At());
      e->Pos = left->Pos;
      e->Op = At().Text;
      e->Name = left->Name;
      Advance();
      e->Kids.push_back(ParseAssignment());
      left = std::move(e);
    }
    --Depth;
    return left;
  }

  TExprPtr ParseConditional() {
    TExprPtr cond = ParseBinary(1);
    if (!IsPunct("?")) return cond;
    TExprPtr e = NewExpr(TExprKind::Conditional, At());
    Advance();
    e->Kids.push_back(std::move(cond));
    e->Kids.push_back(ParseAssignment());
    Expect(":");
    e->Kids.push_back(ParseAssignment());
    return e;
  }

  static int Precedence(const TToken& t) {
    if (t.Kind != TTokenKind::Punct) return 0;
    const std::string& s = t.Text;
    const bool one = s.size() == 1;
    switch (s[0]) {
      case '|':
        return one ? 3 : s == "||" ? 1 : 0;
      case '&':
        return one ? 5 : s == "&&" ? 2 : 0;
      case '^':
        return one ? 4 : 0;
      case '=':
        return s == "==" ? 6 : 0;
      case '!':
        return s == "!=" ? 6 : 0;
      case '<':
        return one || s == "<=" ? 7 : s == "<<" ? 8 : 0;
      case '>':
        return one || s == ">=" ? 7 : s == ">>" || s == ">>>" ? 8 : 0;
      case '+':
      case '-':
        return one ? 9 : 0;
      case '*':
      case '/':
      case '%':
        return one ? 10 : 0;
      case 'd':
        return s == "div" ? 10 : 0;
      default:
        return 0;
    }
  }

  TExprPtr ParseBinary(int minPrec) {
    TExprPtr left = ParseUnary();
    for (;;) {
      const int prec = Precedence(At());
      if (prec < minPrec || prec == 0) return left;
      TExprPtr e = NewExpr(TExprKind::Binary, At());
      e->Op = At().Text;
      Advance();
      Nest();
      e->Kids.push_back(std::move(left));
      e->Kids.push_back(ParseBinary(prec + 1));
      --Depth;
      left = std::move(e);
    }
  }

  TExprPtr ParseUnary() {
    const TToken& t = At();
    if (IsKeyword("typeof") || IsKeyword("isvalid") || IsPunct("-") || IsPunct("+") ||
        IsPunct("~") || IsPunct("!")) {
      TExprPtr e = NewExpr(TExprKind::Unary, t);
      e->Op = t.Text;
      Advance();
      Nest();
      // A minus before an integer literal makes the literal itself negative,
      // so that -2147483648 is the smallest integer rather than an overflow.
      if (e->Op == "-" && At().Kind == TTokenKind::Integer) {
        TExprPtr lit = NewExpr(TExprKind::Integer, At());
        lit->Pos = e->Pos;
        lit->Integer = -At().Integer;
        Advance();
        --Depth;
        return lit;
      }
      e->Kids.push_back(ParseUnary());
      --Depth;
      return e;
    }
    if (IsPunct("++") || IsPunct("--")) {
      TExprPtr e = NewExpr(TExprKind::Prefix, t);
      e->Op = t.Text;
      Advance();
      e->Name = ExpectIdentifier("переменная после «" + e->Op + "»");
      return e;
    }
    return ParsePostfix();
  }

  TExprPtr ParsePostfix() {
    TExprPtr e = ParsePrimary();
    if (IsPunct("++") || IsPunct("--")) {
      if (e->Kind != TExprKind::Variable) Fail("«" + At().Text + "» применим только к переменной");
      TExprPtr p = NewExpr(TExprKind::Postfix, At());
      p->Pos = e->Pos;
      p->Op = At().Text;
      p->Name = e->Name;
      Advance();
      return p;
    }
    return e;
  }

  void ParseArguments(TExpr& call) {
    Expect("(");
    if (!IsPunct(")")) {
      for (;;) {
        call.Kids.push_back(ParseAssignment());
        if (!IsPunct(",")) break;
        Advance();
      }
    }
    Expect(")");
  }

  TExprPtr ParsePrimary() {
    const TToken& t = At();
    switch (t.Kind) {
      case TTokenKind::Integer: {
        TExprPtr e = NewExpr(TExprKind::Integer, t);
        e->Integer = t.Integer;
        Advance();
        return e;
      }
      case TTokenKind::Float: {
        TExprPtr e = NewExpr(TExprKind::Float, t);
        e->Float = t.Float;
        Advance();
        return e;
      }
      case TTokenKind::String: {
        TExprPtr e = NewExpr(TExprKind::String, t);
        e->String = t.Text;
        Advance();
        return e;
      }
      case TTokenKind::Keyword:
        if (t.Text == "true" || t.Text == "false") {
          TExprPtr e = NewExpr(TExprKind::Boolean, t);
          e->Integer = t.Text == "true";
          Advance();
          return e;
        }
        if (t.Text == "invalid") {
          TExprPtr e = NewExpr(TExprKind::Invalid, t);
          Advance();
          return e;
        }
        break;
      case TTokenKind::Identifier: {
        if (IsPunct("(", 1)) {
          TExprPtr e = NewExpr(TExprKind::Call, t);
          e->Name = t.Text;
          Advance();
          ParseArguments(*e);
          return e;
        }
        if (IsPunct("#", 1) || IsPunct(".", 1)) {
          TExprPtr e =
              NewExpr(IsPunct("#", 1) ? TExprKind::ExternalCall : TExprKind::LibraryCall, t);
          e->Library = t.Text;
          Advance();
          Advance();
          if (At().Kind != TTokenKind::Identifier && At().Kind != TTokenKind::Keyword) {
            Expected("имя функции");
          }
          e->Name = At().Text;
          Advance();
          ParseArguments(*e);
          return e;
        }
        TExprPtr e = NewExpr(TExprKind::Variable, t);
        e->Name = t.Text;
        Advance();
        return e;
      }
      case TTokenKind::Punct:
        if (t.Text == "(") {
          Advance();
          Nest();
          TExprPtr e = ParseExpression();
          --Depth;
          Expect(")");
          return e;
        }
        break;
      default:
        break;
    }
    if (t.Kind == TTokenKind::Keyword) {
      Fail("«" + t.Text + "» — зарезервированное слово WMLScript, его нельзя взять как имя");
    }
    Expected("выражение");
  }
};

}  // namespace

TUnitTree Parse(const std::vector<TToken>& tokens, std::vector<TDiagnostic>& diagnostics) {
  return TParser(tokens, diagnostics).Run();
}

}  // namespace deckhand::wmlscript
