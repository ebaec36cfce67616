#include "wmlscript/CodeGen.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <map>

#include "wmlscript/Assembler.h"
#include "wmlscript/Bytecode.h"

namespace deckhand::wmlscript {
namespace {

constexpr std::uint32_t kMaxVariables = 256;  // indexes are one byte
constexpr std::size_t kMaxFunctions = 255;
constexpr std::size_t kMaxConstants = 65535;

class TConstantPool {
 public:
  std::uint32_t Integer(std::int32_t v) {
    std::string key;
    if (v >= -128 && v <= 127) {
      key.push_back(static_cast<char>(TConstantType::Int8));
      key.push_back(static_cast<char>(v));
    } else if (v >= -32768 && v <= 32767) {
      key.push_back(static_cast<char>(TConstantType::Int16));
      Put(key, static_cast<std::uint32_t>(v), 2);
    } else {
      key.push_back(static_cast<char>(TConstantType::Int32));
      Put(key, static_cast<std::uint32_t>(v), 4);
    }
    return Add(key);
  }
  std::uint32_t Float(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    std::string key(1, static_cast<char>(TConstantType::Float32));
    Put(key, bits, 4);
    return Add(key);
  }
  std::uint32_t String(const std::string& s) {
    std::string key;
    if (s.empty()) {
      key.push_back(static_cast<char>(TConstantType::EmptyString));
    } else {
      key.push_back(static_cast<char>(TConstantType::Utf8String));
      AppendMbUint(key, static_cast<std::uint32_t>(s.size()));
      key += s;
    }
    return Add(key);
  }
  std::size_t Count() const { return Order.size(); }
  void Write(std::string& out) const {
    AppendMbUint(out, static_cast<std::uint32_t>(Order.size()));
    AppendMbUint(out, kMibUtf8);
    for (const std::string* entry : Order) out += *entry;
  }

 private:
  std::map<std::string, std::uint32_t> Index;
  std::vector<const std::string*> Order;

  static void Put(std::string& out, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  std::uint32_t Add(const std::string& key) {
    auto [it, inserted] = Index.emplace(key, static_cast<std::uint32_t>(Order.size()));
    if (inserted) Order.push_back(&it->first);
    return it->second;
  }
};

class TGenerator {
 public:
  TGenerator(const TUnitTree& tree, std::vector<TDiagnostic>& diags, TLineTable* lines)
      : Tree(tree), Diags(diags), Lines(lines) {}

  std::optional<std::string> Run() {
    const std::size_t errorsBefore = ErrorCount();
    for (std::size_t i = 0; i < Tree.Functions.size(); ++i) {
      const TFunction& f = Tree.Functions[i];
      if (!Functions.emplace(f.Name, i).second) {
        Error(f.Pos, "функция «" + f.Name + "» уже объявлена");
      }
    }
    // The most called functions take the lowest indexes, so that their
    // calls fit the one-byte CALL_S (indexes 0 to 7).
    std::map<std::string, std::size_t> calls;
    for (const TFunction& f : Tree.Functions) {
      for (const TStmtPtr& s : f.Body) CountCalls(*s, calls);
    }
    for (std::size_t i = 0; i < Tree.Functions.size(); ++i) Order.push_back(i);
    std::stable_sort(Order.begin(), Order.end(), [&](std::size_t a, std::size_t b) {
      return calls[Tree.Functions[a].Name] > calls[Tree.Functions[b].Name];
    });
    for (std::size_t i = 0; i < Order.size(); ++i) Index[Order[i]] = i;
    if (Tree.Functions.size() > kMaxFunctions) {
      Error(Tree.Functions[kMaxFunctions].Pos, "в сценарии больше 255 функций");
    }
    bool anyExtern = false;
    for (const TFunction& f : Tree.Functions) anyExtern = anyExtern || f.Extern;
    if (!Tree.Functions.empty() && !anyExtern) {
      Warning(Tree.Functions.front().Pos,
              "в сценарии нет ни одной функции extern: браузер не сможет вызвать ни одну");
    }
    // Pragmas first, so that their constants come early in the pool.
    std::string pragmas;
    std::uint32_t pragmaCount = 0;
    if (Tree.AccessDomain) {
      pragmas.push_back(static_cast<char>(TPragmaType::AccessDomain));
      AppendMbUint(pragmas, Pool.String(*Tree.AccessDomain));
      ++pragmaCount;
    }
    if (Tree.AccessPath) {
      pragmas.push_back(static_cast<char>(TPragmaType::AccessPath));
      AppendMbUint(pragmas, Pool.String(*Tree.AccessPath));
      ++pragmaCount;
    }
    for (const TMetaPragma& meta : Tree.Metas) {
      // Only user agent properties are for the phone; name and http equiv
      // properties are for servers and gateways (WAP-193 §6.7.3).
      if (meta.Kind != TMetaPragma::UserAgent) continue;
      pragmas.push_back(static_cast<char>(meta.Scheme ? TPragmaType::UserAgentPropertyAndScheme
                                                      : TPragmaType::UserAgentProperty));
      AppendMbUint(pragmas, Pool.String(meta.Property));
      AppendMbUint(pragmas, Pool.String(meta.Content));
      if (meta.Scheme) AppendMbUint(pragmas, Pool.String(*meta.Scheme));
      ++pragmaCount;
    }
    std::string functions;
    std::string names;
    std::uint32_t nameCount = 0;
    for (std::size_t i = 0; i < Tree.Functions.size() && i < kMaxFunctions; ++i) {
      const TFunction& f = Tree.Functions[Order[i]];
      if (f.Extern) {
        if (f.Name.size() > 255) Error(f.Pos, "имя функции длиннее 255 байт");
        names.push_back(static_cast<char>(i));
        names.push_back(static_cast<char>(f.Name.size()));
        names += f.Name.substr(0, 255);
        ++nameCount;
      }
      GenerateFunction(f, functions);
      if (ErrorCount() >= kMaxCompileErrors) break;
    }
    if (Pool.Count() > kMaxConstants) {
      Error(Tree.Functions.empty() ? TPosition{} : Tree.Functions.front().Pos,
            "в сценарии больше 65535 разных констант");
    }
    if (ErrorCount() != errorsBefore || Tree.Functions.empty()) return std::nullopt;
    std::string body;
    Pool.Write(body);
    AppendMbUint(body, pragmaCount);
    body += pragmas;
    body.push_back(static_cast<char>(Tree.Functions.size()));
    body.push_back(static_cast<char>(nameCount));
    body += names;
    body += functions;
    std::string unit(1, static_cast<char>(kVersion11));
    AppendMbUint(unit, static_cast<std::uint32_t>(body.size()));
    return unit + body;
  }

 private:
  const TUnitTree& Tree;
  std::vector<TDiagnostic>& Diags;
  TLineTable* Lines;
  TConstantPool Pool;
  std::map<std::string, std::size_t> Functions;  // name: index in the tree
  std::vector<std::size_t> Order;                // unit index: tree index
  std::map<std::size_t, std::size_t> Index;      // tree index: unit index
  // The function being generated.
  std::map<std::string, std::uint32_t> Variables;
  std::vector<TIns> Code;
  int Line = 0;  // the source line of the statement or expression being generated
  std::uint32_t Labels = 0;
  struct TLoop {
    std::uint32_t Continue, Break;
  };
  std::vector<TLoop> Loops;

  static void CountCalls(const TExpr& e, std::map<std::string, std::size_t>& calls) {
    if (e.Kind == TExprKind::Call) ++calls[e.Name];
    for (const TExprPtr& k : e.Kids) CountCalls(*k, calls);
  }
  static void CountCalls(const TStmt& s, std::map<std::string, std::size_t>& calls) {
    for (const TExpr* e : {s.Expr.get(), s.Init.get(), s.Step.get()}) {
      if (e) CountCalls(*e, calls);
    }
    for (const TVarDecl& d : s.Vars) {
      if (d.Init) CountCalls(*d.Init, calls);
    }
    for (const TStmtPtr& k : s.Body) CountCalls(*k, calls);
  }

  std::size_t ErrorCount() const {
    std::size_t n = 0;
    for (const TDiagnostic& d : Diags) n += d.Severity == TSeverity::Error;
    return n;
  }
  void Error(TPosition at, std::string message) {
    Diags.push_back({TSeverity::Error, at.Line, at.Column, std::move(message)});
  }
  void Warning(TPosition at, std::string message) {
    Diags.push_back({TSeverity::Warning, at.Line, at.Column, std::move(message)});
  }
  void Emit(std::uint8_t opcode) { Code.push_back({TInsKind::Op, opcode, 0, 0, 0, Line}); }
  void Emit(TInsKind kind, std::uint32_t a = 0, std::uint32_t b = 0, std::uint32_t c = 0,
            std::uint8_t opcode = 0) {
    Code.push_back({kind, opcode, a, b, c, Line});
  }
  // The line of what is generated while it lives; the outer one after.
  struct TAtLine {
    int& Line;
    int Outer;
    TAtLine(int& line, TPosition at) : Line(line), Outer(line) { Line = at.Line; }
    ~TAtLine() { Line = Outer; }
  };
  std::uint32_t NewLabel() { return Labels++; }
  void Place(std::uint32_t label) { Emit(TInsKind::Label, label); }

  std::optional<std::uint32_t> Declare(const std::string& name, TPosition at) {
    if (Variables.count(name)) {
      Error(at, "переменная «" + name + "» уже объявлена в этой функции");
      return std::nullopt;
    }
    if (Variables.size() >= kMaxVariables) {
      Error(at, "в функции больше 255 переменных и параметров");
      return std::nullopt;
    }
    const auto index = static_cast<std::uint32_t>(Variables.size());
    Variables.emplace(name, index);
    return index;
  }
  std::optional<std::uint32_t> Lookup(const std::string& name, TPosition at) {
    auto it = Variables.find(name);
    if (it == Variables.end()) {
      Error(at, "переменная «" + name + "» не объявлена (нужно var " + name + ";)");
      return std::nullopt;
    }
    return it->second;
  }

  void GenerateFunction(const TFunction& f, std::string& out) {
    Variables.clear();
    Code.clear();
    Labels = 0;
    Loops.clear();
    Line = f.Pos.Line;
    for (const auto& [name, pos] : f.Params) Declare(name, pos);
    const std::size_t params = Variables.size();
    for (const TStmtPtr& s : f.Body) Statement(*s);
    RemoveDeadCode(Code);
    // Running off the end of a function returns an empty string (WAP-193
    // §6.4.8), so a RETURN_ES that only labels follow is left out.
    for (std::size_t i = Code.size(); i-- > 0;) {
      if (Code[i].Kind == TInsKind::Label) continue;
      if (Code[i].Kind != TInsKind::Op || Code[i].Opcode != op::RETURN_ES) break;
      Code.erase(Code.begin() + static_cast<std::ptrdiff_t>(i));
    }
    std::vector<TLineTable::TEntry> lines;
    std::optional<std::string> code = Assemble(Code, Labels, &lines);
    if (Lines) Lines->Functions.push_back(std::move(lines));
    if (!code) {
      Error(f.Pos, "функция «" + f.Name + "» слишком длинная: переход дальше 65535 байт");
      return;
    }
    out.push_back(static_cast<char>(f.Params.size()));
    out.push_back(static_cast<char>(Variables.size() - params));
    AppendMbUint(out, static_cast<std::uint32_t>(code->size()));
    out += *code;
  }

  void Statement(const TStmt& s) {
    const TAtLine at(Line, s.Pos);
    switch (s.Kind) {
      case TStmtKind::Block:
        for (const TStmtPtr& k : s.Body) Statement(*k);
        break;
      case TStmtKind::Var:
        VarDecls(s);
        break;
      case TStmtKind::Empty:
        break;
      case TStmtKind::Expression:
        Expr(*s.Expr, false);
        break;
      case TStmtKind::If: {
        const std::uint32_t elseLabel = NewLabel();
        Expr(*s.Expr, true);
        Emit(TInsKind::TJump, elseLabel);
        Statement(*s.Body[0]);
        if (s.Body.size() > 1) {
          const std::uint32_t end = NewLabel();
          Emit(TInsKind::Jump, end);
          Place(elseLabel);
          Statement(*s.Body[1]);
          Place(end);
        } else {
          Place(elseLabel);
        }
        break;
      }
      case TStmtKind::While: {
        const std::uint32_t top = NewLabel(), end = NewLabel();
        Place(top);
        Expr(*s.Expr, true);
        Emit(TInsKind::TJump, end);
        Loops.push_back({top, end});
        Statement(*s.Body[0]);
        Loops.pop_back();
        Emit(TInsKind::Jump, top);
        Place(end);
        break;
      }
      case TStmtKind::For: {
        VarDecls(s);
        if (s.Init) Expr(*s.Init, false);
        const std::uint32_t top = NewLabel(), next = NewLabel(), end = NewLabel();
        Place(top);
        if (s.Expr) {
          Expr(*s.Expr, true);
          Emit(TInsKind::TJump, end);
        }
        Loops.push_back({next, end});
        Statement(*s.Body[0]);
        Loops.pop_back();
        Place(next);
        if (s.Step) Expr(*s.Step, false);
        Emit(TInsKind::Jump, top);
        Place(end);
        break;
      }
      case TStmtKind::Break:
      case TStmtKind::Continue:
        if (Loops.empty()) {
          Error(s.Pos, std::string(s.Kind == TStmtKind::Break ? "break" : "continue") +
                           " вне цикла while или for");
        } else {
          Emit(TInsKind::Jump,
               s.Kind == TStmtKind::Break ? Loops.back().Break : Loops.back().Continue);
        }
        break;
      case TStmtKind::Return:
        if (!s.Expr || (s.Expr->Kind == TExprKind::String && s.Expr->String.empty())) {
          Emit(op::RETURN_ES);
        } else {
          Expr(*s.Expr, true);
          Emit(op::RETURN);
        }
        break;
    }
  }

  void VarDecls(const TStmt& s) {
    for (const TVarDecl& d : s.Vars) {
      const TAtLine at(Line, d.Pos);
      const std::optional<std::uint32_t> index = Declare(d.Name, d.Pos);
      if (d.Init) {
        Expr(*d.Init, true);
        if (index) Emit(TInsKind::StoreVar, *index);
      }
    }
  }

  void IntegerConstant(std::int64_t v, TPosition at) {
    if (v > 2147483647 || v < -2147483647 - 1) {
      Error(at, "целое число вне диапазона от -2147483648 до 2147483647");
      return;
    }
    if (v == 0) {
      Emit(op::CONST_0);
    } else if (v == 1) {
      Emit(op::CONST_1);
    } else if (v == -1) {
      Emit(op::CONST_M1);
    } else {
      Emit(TInsKind::LoadConst, Pool.Integer(static_cast<std::int32_t>(v)));
    }
  }

  void FloatConstant(double v, TPosition at) {
    if (!std::isfinite(v) || std::fabs(v) > FLT_MAX) {
      Error(at, "число с плавающей точкой вне диапазона 32-битных чисел (до 3.40282347e+38)");
      return;
    }
    float f = static_cast<float>(v);
    if (v != 0 && std::fabs(v) < FLT_MIN) {
      // WAP-193 §6.2.7.2: a value too small to be represented is zero.
      Warning(at, "число с плавающей точкой меньше наименьшего (1.17549435e-38): оно станет 0.0");
      f = 0.0f;
    }
    Emit(TInsKind::LoadConst, Pool.Float(f));
  }

  static std::uint8_t BinaryOpcode(const std::string& o) {
    static const std::map<std::string, std::uint8_t> kOps = {
        {"+", op::ADD},          {"-", op::SUB},        {"*", op::MUL},
        {"/", op::DIV},          {"div", op::IDIV},     {"%", op::REM},
        {"&", op::B_AND},        {"|", op::B_OR},       {"^", op::B_XOR},
        {"<<", op::B_LSHIFT},    {">>", op::B_RSSHIFT}, {">>>", op::B_RSZSHIFT},
        {"==", op::EQ},          {"<=", op::LE},        {"<", op::LT},
        {">=", op::GE},          {">", op::GT},         {"!=", op::NE},
        {"*=", op::MUL},         {"/=", op::DIV},       {"div=", op::IDIV},
        {"%=", op::REM},         {"&=", op::B_AND},     {"|=", op::B_OR},
        {"^=", op::B_XOR},       {"<<=", op::B_LSHIFT}, {">>=", op::B_RSSHIFT},
        {">>>=", op::B_RSZSHIFT}};
    return kOps.at(o);
  }

  void Expr(const TExpr& e, bool want) {
    const TAtLine at(Line, e.Pos);
    switch (e.Kind) {
      case TExprKind::Integer:
        if (want) {
          IntegerConstant(e.Integer, e.Pos);
        } else if (e.Integer > 2147483647 || e.Integer < -2147483647 - 1) {
          Error(e.Pos, "целое число вне диапазона от -2147483648 до 2147483647");
        }
        return;
      case TExprKind::Float:
        if (want) FloatConstant(e.Float, e.Pos);
        return;
      case TExprKind::String:
        if (want) {
          if (e.String.empty())
            Emit(op::CONST_ES);
          else
            Emit(TInsKind::LoadConst, Pool.String(e.String));
        }
        return;
      case TExprKind::Boolean:
        if (want) Emit(e.Integer ? op::CONST_TRUE : op::CONST_FALSE);
        return;
      case TExprKind::Invalid:
        if (want) Emit(op::CONST_INVALID);
        return;
      case TExprKind::Variable: {
        const auto v = Lookup(e.Name, e.Pos);
        if (v && want) Emit(TInsKind::LoadVar, *v);
        return;
      }
      case TExprKind::Assign: {
        const auto v = Lookup(e.Name, e.Pos);
        if (e.Op == "=") {
          Expr(*e.Kids[0], true);
          if (v) Emit(TInsKind::StoreVar, *v);
        } else if (e.Op == "+=" || e.Op == "-=") {
          Expr(*e.Kids[0], true);
          if (v) Emit(TInsKind::OpVar, *v, 0, 0, e.Op == "+=" ? op::ADD_ASG : op::SUB_ASG);
        } else {
          if (v) Emit(TInsKind::LoadVar, *v);
          Expr(*e.Kids[0], true);
          Emit(BinaryOpcode(e.Op));
          if (v) Emit(TInsKind::StoreVar, *v);
        }
        if (want && v) Emit(TInsKind::LoadVar, *v);
        return;
      }
      case TExprKind::Unary: {
        if (!want) {
          Expr(*e.Kids[0], false);
          return;
        }
        Expr(*e.Kids[0], true);
        if (e.Op == "-") {
          Emit(op::UMINUS);
        } else if (e.Op == "+") {
          // No instruction converts to a number alone: x - 0 does, for every
          // type, without overflow.
          Emit(op::CONST_0);
          Emit(op::SUB);
        } else {
          Emit(e.Op == "~"        ? op::B_NOT
               : e.Op == "!"      ? op::NOT
               : e.Op == "typeof" ? op::TYPEOF
                                  : op::ISVALID);
        }
        return;
      }
      case TExprKind::Prefix:
      case TExprKind::Postfix: {
        const auto v = Lookup(e.Name, e.Pos);
        if (!v) return;
        if (want && e.Kind == TExprKind::Postfix) Emit(TInsKind::LoadVar, *v);
        if (e.Op == "++")
          Emit(TInsKind::IncrVar, *v);
        else
          Emit(TInsKind::OpVar, *v, 0, 0, op::DECR_VAR);
        if (want && e.Kind == TExprKind::Prefix) Emit(TInsKind::LoadVar, *v);
        return;
      }
      case TExprKind::Binary: {
        if (e.Op == "&&" || e.Op == "||") {
          const std::uint32_t end = NewLabel();
          Expr(*e.Kids[0], true);
          Emit(e.Op == "&&" ? op::SCAND : op::SCOR);
          Emit(TInsKind::TJump, end);
          Expr(*e.Kids[1], true);
          Emit(op::TOBOOL);
          Place(end);
          if (!want) Emit(op::POP);
          return;
        }
        Expr(*e.Kids[0], want);
        Expr(*e.Kids[1], want);
        if (want) Emit(BinaryOpcode(e.Op));
        return;
      }
      case TExprKind::Conditional: {
        const std::uint32_t elseLabel = NewLabel(), end = NewLabel();
        Expr(*e.Kids[0], true);
        Emit(TInsKind::TJump, elseLabel);
        Expr(*e.Kids[1], want);
        Emit(TInsKind::Jump, end);
        Place(elseLabel);
        Expr(*e.Kids[2], want);
        Place(end);
        return;
      }
      case TExprKind::Comma:
        Expr(*e.Kids[0], false);
        Expr(*e.Kids[1], want);
        return;
      case TExprKind::Call:
      case TExprKind::ExternalCall:
      case TExprKind::LibraryCall:
        Call(e);
        if (!want) Emit(op::POP);
        return;
    }
  }

  static std::string ArgumentCount(std::size_t n) {
    const std::size_t tens = n % 100, ones = n % 10;
    const char* word = (tens >= 11 && tens <= 14) ? "аргументов"
                       : ones == 1                ? "аргумент"
                       : (ones >= 2 && ones <= 4) ? "аргумента"
                                                  : "аргументов";
    return std::to_string(n) + " " + word;
  }

  void Call(const TExpr& e) {
    for (const TExprPtr& arg : e.Kids) Expr(*arg, true);
    const std::size_t args = e.Kids.size();
    if (e.Kind == TExprKind::Call) {
      auto it = Functions.find(e.Name);
      if (it == Functions.end()) {
        Error(e.Pos, "функция «" + e.Name + "» не объявлена в этом сценарии");
        return;
      }
      const TFunction& f = Tree.Functions[it->second];
      if (f.Params.size() != args) {
        Error(e.Pos, "функция «" + e.Name + "» принимает " + ArgumentCount(f.Params.size()) +
                         ", а передано " + std::to_string(args));
        return;
      }
      Emit(TInsKind::Call, static_cast<std::uint32_t>(Index[it->second]));
    } else if (e.Kind == TExprKind::LibraryCall) {
      const TLibraryFunction* lib = FindLibraryFunction(e.Library, e.Name);
      if (!lib) {
        Error(e.Pos, IsLibraryName(e.Library)
                         ? "в библиотеке " + e.Library + " нет функции «" + e.Name + "»"
                         : "нет стандартной библиотеки «" + e.Library +
                               "» (есть Lang, Float, String, URL, WMLBrowser, Dialogs)");
        return;
      }
      if (lib->Arguments != args) {
        Error(e.Pos, e.Library + "." + e.Name + " принимает " + ArgumentCount(lib->Arguments) +
                         ", а передано " + std::to_string(args));
        return;
      }
      Emit(TInsKind::CallLib, lib->Function, lib->Library);
    } else {
      const TUrlPragma* url = nullptr;
      for (const TUrlPragma& u : Tree.Urls) {
        if (u.Name == e.Library) url = &u;
      }
      if (!url) {
        Error(e.Pos, "внешний сценарий «" + e.Library + "» не объявлен (нужно use url " +
                         e.Library + " \"...\";)");
        return;
      }
      if (args > 255) {
        Error(e.Pos, "больше 255 аргументов");
        return;
      }
      Emit(TInsKind::CallUrl, Pool.String(url->Url), Pool.String(e.Name),
           static_cast<std::uint32_t>(args));
    }
  }
};

}  // namespace

std::optional<std::string> GenerateUnit(const TUnitTree& tree,
                                        std::vector<TDiagnostic>& diagnostics, TLineTable* lines) {
  return TGenerator(tree, diagnostics, lines).Run();
}

}  // namespace deckhand::wmlscript
