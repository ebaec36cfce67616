#include "wmlscript/Interpreter.h"

#include <list>
#include <map>

#include "wmlscript/Bytecode.h"
#include "wmlscript/Library.h"
#include "wmlscript/Operators.h"

namespace deckhand::wmlscript {
namespace {

// Strings held are counted every this many instructions, and whenever a
// string longer than kLargeString is made.
constexpr std::uint64_t kMemoryCheckInterval = 1024;
constexpr std::size_t kLargeString = 1024;

struct TFrame {
  const TUnit* Unit;
  const TUnitFunction* Function;
  std::size_t Pc;
  std::size_t Base;  // first local in the value stack
};

struct TStop {
  TRunStatus Status;
  std::string Message;
  std::optional<TRunResult::TPlace> Place;
};

class TMachine {
 public:
  TMachine(TBrowser& browser, TRandom& random, const TRunOptions& options, TRunResult& result)
      : Browser(browser),
        Random(random),
        Options(options),
        Limits(options.Limits),
        Result(result) {}

  TValue Call(const TUnit& unit, std::size_t function, std::vector<TValue>& arguments,
              const std::string& url) {
    Urls[&unit] = url;
    Called = &unit;
    Stack.reserve(std::min<std::size_t>(Limits.OperandStack, 1024) + 8);
    Frames.reserve(Limits.CallDepth + 1);
    for (TValue& v : arguments) Push(std::move(v));
    Enter(unit, function);
    return Execute();
  }

 private:
  TBrowser& Browser;
  TRandom& Random;
  const TRunOptions& Options;
  const TLimits& Limits;
  TRunResult& Result;
  std::vector<TValue> Stack;
  std::vector<TFrame> Frames;
  std::list<TUnit> LoadedUnits;  // units of CALL_URL, kept while frames use them
  std::map<const TUnit*, std::string> Urls;
  std::map<std::string, const TUnit*> UnitsByUrl;
  const TUnit* Called = nullptr;  // the unit Run was given

  [[noreturn]] void Fail(std::string message) {
    throw TStop{TRunStatus::Failed, std::move(message), std::nullopt};
  }

  void Push(TValue v) {
    if (Stack.size() >= Limits.OperandStack) {
      Fail("стек операндов переполнен (предел " + std::to_string(Limits.OperandStack) +
           " значений)");
    }
    Stack.push_back(std::move(v));
  }

  void Enter(const TUnit& unit, std::size_t index) {
    if (Frames.size() >= Limits.CallDepth) {
      Fail("слишком глубокая вложенность вызовов (предел " + std::to_string(Limits.CallDepth) +
           ")");
    }
    const TUnitFunction& f = unit.Functions[index];
    const std::size_t base = Stack.size() - f.Arguments;
    if (Stack.size() + f.Locals + f.MaxStack > Limits.OperandStack) {
      Fail("стек операндов переполнен (предел " + std::to_string(Limits.OperandStack) +
           " значений)");
    }
    // Locals start as empty strings (WAP-193 §6.2.1).
    Stack.resize(Stack.size() + f.Locals);
    Frames.push_back({&unit, &f, 0, base});
  }

  void CheckString(const TValue& v) {
    if (v.Type != TType::String) return;
    if (v.Str.size() > Limits.StringLength) {
      Fail("строка длиннее предела в " + std::to_string(Limits.StringLength) + " байт");
    }
    if (v.Str.size() > kLargeString) CheckMemory();
  }

  void CheckMemory() {
    std::uint64_t bytes = 0;
    for (const TValue& v : Stack) bytes += v.Str.size();
    if (bytes > Limits.Memory) {
      Fail("сценарий занял больше " + std::to_string(Limits.Memory / 1024) + " КБ памяти");
    }
  }

  const TUnit& LoadExternal(const TUnit& caller, const std::string& relative) {
    const std::string url = ResolveUrl(Urls[&caller], relative);
    std::string base = url;
    if (const std::size_t hash = base.find('#'); hash != std::string::npos) base.resize(hash);
    if (auto it = UnitsByUrl.find(base); it != UnitsByUrl.end()) return *it->second;
    const std::optional<TBrowser::TLoaded> loaded = Browser.Load(base);
    if (!loaded) Fail("не удалось загрузить сценарий " + base);
    std::string error;
    std::optional<TUnit> unit = LoadUnit(loaded->Content, error);
    if (!unit) Fail(base + ": " + error);
    LoadedUnits.push_back(std::move(*unit));
    const TUnit* added = &LoadedUnits.back();
    UnitsByUrl[base] = added;
    Urls[added] = base;
    return *added;
  }

  void CallLib(std::uint16_t library, std::uint8_t function) {
    const TLibraryFunction* lib = LibraryFunctionById(library, function);
    TValue* args = Stack.data() + Stack.size() - lib->Arguments;
    std::string trace;
    if (Options.LibraryTrace) {
      trace = std::string(lib->LibraryName) + "." + std::string(lib->Name) + "(";
      for (int i = 0; i < lib->Arguments; ++i) trace += (i ? ", " : "") + Describe(args[i]);
      trace += ")";
    }
    TLibraryContext context{Browser, Random, Options, Result};
    TValue value = CallLibrary(library, function, args, context);
    if (Options.LibraryTrace) Options.LibraryTrace->push_back(trace + " = " + Describe(value));
    if (context.Stop) {
      throw TStop{Result.Status, Result.Message, std::nullopt};
    }
    Stack.resize(Stack.size() - lib->Arguments);
    CheckString(value);
    Push(std::move(value));
  }

  // Runs until the outermost frame returns; the value it returns.
  TValue Execute() {
    std::uint64_t budget = Limits.Instructions;
    for (;;) {
      TFrame& frame = Frames.back();
      const std::string& code = frame.Function->Code;
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(code.data());
      std::size_t pc = frame.Pc;
      const std::size_t base = frame.Base;
      // Set when the frame calls a function (a new frame runs next) or returns.
      bool called = false, returning = false;
      TValue returned;
      // A stop is placed at the instruction pc points to: the one that
      // failed (pc moves on only once it is done), or the next to run.
      try {
        while (!called && !returning) {
          if (budget == 0) {
            Fail("выполнено больше " + std::to_string(Limits.Instructions) +
                 " инструкций: сценарий остановлен (бесконечный цикл?)");
          }
          --budget;
          if (((Limits.Instructions - budget) % kMemoryCheckInterval) == 0) CheckMemory();
          if (pc >= code.size()) {
            // Running off the end of the code returns an empty string.
            returned = TValue::String("");
            returning = true;
            break;
          }
          const std::uint8_t opcode = bytes[pc];
          if (opcode & 0x80) {
            const std::uint32_t arg = opcode & 0x1F;
            switch (opcode & 0xE0) {
              case op::JUMP_FW_S:
                pc += 1 + arg;
                break;
              case op::JUMP_BW_S:
                pc -= arg;
                break;
              case op::TJUMP_FW_S:
                pc += 1 + (Truth() ? 0 : arg);
                break;
              default:
                Push(Stack[base + arg]);
                ++pc;
                break;
            }
            continue;
          }
          if ((opcode & 0xE0) == 0x40) {
            if (opcode & 0x10) {
              Push(frame.Unit->Constants[opcode & 0x0F]);
            } else {
              Stack[base + (opcode & 0x0F)] = std::move(Stack.back());
              Stack.pop_back();
            }
            ++pc;
            continue;
          }
          if ((opcode & 0xE0) == 0x60) {
            if ((opcode & 0xF8) == op::CALL_S) {
              frame.Pc = pc + 1;
              Enter(*frame.Unit, opcode & 0x07);
              called = true;
              continue;
            }
            if ((opcode & 0xF8) == op::CALL_LIB_S) {
              frame.Pc = pc + 2;
              CallLib(bytes[pc + 1], opcode & 0x07);
              pc += 2;
              continue;
            }
            Increment(Stack[base + (opcode & 0x07)], op::INCR);
            ++pc;
            continue;
          }
          switch (opcode) {
            case op::JUMP_FW:
              pc += 2 + bytes[pc + 1];
              break;
            case op::JUMP_FW_W:
              pc += 3 + (bytes[pc + 1] << 8 | bytes[pc + 2]);
              break;
            case op::JUMP_BW:
              pc -= bytes[pc + 1];
              break;
            case op::JUMP_BW_W:
              pc -= (bytes[pc + 1] << 8 | bytes[pc + 2]);
              break;
            case op::TJUMP_FW:
              pc += 2 + (Truth() ? 0 : bytes[pc + 1]);
              break;
            case op::TJUMP_FW_W:
              pc += 3 + (Truth() ? 0 : (bytes[pc + 1] << 8 | bytes[pc + 2]));
              break;
            case op::TJUMP_BW:
              pc = Truth() ? pc + 2 : pc - bytes[pc + 1];
              break;
            case op::TJUMP_BW_W:
              pc = Truth() ? pc + 3 : pc - (bytes[pc + 1] << 8 | bytes[pc + 2]);
              break;
            case op::CALL:
              frame.Pc = pc + 2;
              Enter(*frame.Unit, bytes[pc + 1]);
              called = true;
              break;
            case op::CALL_LIB:
              frame.Pc = pc + 3;
              CallLib(bytes[pc + 2], bytes[pc + 1]);
              pc += 3;
              break;
            case op::CALL_LIB_W:
              frame.Pc = pc + 4;
              CallLib(static_cast<std::uint16_t>(bytes[pc + 2] << 8 | bytes[pc + 3]),
                      bytes[pc + 1]);
              pc += 4;
              break;
            case op::CALL_URL:
            case op::CALL_URL_W: {
              const bool wide = opcode == op::CALL_URL_W;
              const std::uint32_t urlIndex =
                  wide ? (bytes[pc + 1] << 8 | bytes[pc + 2]) : bytes[pc + 1];
              const std::uint32_t nameIndex =
                  wide ? (bytes[pc + 3] << 8 | bytes[pc + 4]) : bytes[pc + 2];
              const std::uint32_t args = wide ? bytes[pc + 5] : bytes[pc + 3];
              frame.Pc = pc + (wide ? 6 : 4);
              const TUnit& caller = *frame.Unit;
              const std::string& name = caller.Constants[nameIndex].Str;
              const TUnit& callee = LoadExternal(caller, caller.Constants[urlIndex].Str);
              if (!AccessAllowed(callee, Urls[&callee], Urls[&caller])) {
                Fail("сценарий " + Urls[&callee] + " не разрешает вызывать свои функции из " +
                     Urls[&caller] + " (прагма use access)");
              }
              const std::optional<std::size_t> index = callee.FindExtern(name);
              if (!index) Fail("во внешнем сценарии нет функции extern «" + name + "»");
              if (callee.Functions[*index].Arguments != args) {
                Fail("функция «" + name + "» внешнего сценария принимает " +
                     std::to_string(callee.Functions[*index].Arguments) +
                     " аргументов, а передано " + std::to_string(args));
              }
              Enter(callee, *index);
              called = true;
              break;
            }
            case op::LOAD_VAR:
              Push(Stack[base + bytes[pc + 1]]);
              pc += 2;
              break;
            case op::STORE_VAR:
              Stack[base + bytes[pc + 1]] = std::move(Stack.back());
              Stack.pop_back();
              pc += 2;
              break;
            case op::INCR_VAR:
            case op::DECR_VAR:
              Increment(Stack[base + bytes[pc + 1]], opcode == op::INCR_VAR ? op::INCR : op::DECR);
              pc += 2;
              break;
            case op::LOAD_CONST:
              Push(frame.Unit->Constants[bytes[pc + 1]]);
              pc += 2;
              break;
            case op::LOAD_CONST_W:
              Push(frame.Unit->Constants[bytes[pc + 1] << 8 | bytes[pc + 2]]);
              pc += 3;
              break;
            case op::CONST_0:
              Push(TValue::Integer(0));
              ++pc;
              break;
            case op::CONST_1:
              Push(TValue::Integer(1));
              ++pc;
              break;
            case op::CONST_M1:
              Push(TValue::Integer(-1));
              ++pc;
              break;
            case op::CONST_ES:
              Push(TValue::String(""));
              ++pc;
              break;
            case op::CONST_INVALID:
              Push(TValue::Invalid());
              ++pc;
              break;
            case op::CONST_TRUE:
              Push(TValue::Boolean(true));
              ++pc;
              break;
            case op::CONST_FALSE:
              Push(TValue::Boolean(false));
              ++pc;
              break;
            case op::ADD_ASG:
            case op::SUB_ASG: {
              TValue& var = Stack[base + bytes[pc + 1]];
              var = BinaryOperator(opcode == op::ADD_ASG ? op::ADD : op::SUB, var, Stack.back());
              Stack.pop_back();
              CheckString(var);
              pc += 2;
              break;
            }
            case op::POP:
              Stack.pop_back();
              ++pc;
              break;
            case op::RETURN:
              returned = std::move(Stack.back());
              returning = true;
              break;
            case op::RETURN_ES:
              returned = TValue::String("");
              returning = true;
              break;
            case op::DEBUG:
              ++pc;
              break;
            case op::SCAND:
            case op::SCOR: {
              const std::optional<bool> b = ToBoolean(Stack.back());
              Stack.pop_back();
              const bool shortCut = !b || (opcode == op::SCAND ? !*b : *b);
              if (shortCut) {
                Push(b ? TValue::Boolean(*b) : TValue::Invalid());
                Push(TValue::Boolean(false));
              } else {
                Push(TValue::Boolean(true));
              }
              ++pc;
              break;
            }
            case op::INCR:
            case op::DECR:
            case op::UMINUS:
            case op::B_NOT:
            case op::NOT:
            case op::TOBOOL:
            case op::TYPEOF:
            case op::ISVALID:
              Stack.back() = UnaryOperator(opcode, Stack.back());
              ++pc;
              break;
            default: {
              // Binary operators: integers take a fast path.
              TValue& a = Stack[Stack.size() - 2];
              const TValue& b = Stack.back();
              if (a.Type == TType::Integer && b.Type == TType::Integer &&
                  (opcode == op::ADD || opcode == op::SUB || opcode == op::MUL)) {
                const std::int64_t r = opcode == op::ADD   ? std::int64_t{a.Int} + b.Int
                                       : opcode == op::SUB ? std::int64_t{a.Int} - b.Int
                                                           : std::int64_t{a.Int} * b.Int;
                if (r >= INT32_MIN && r <= INT32_MAX)
                  a.Int = static_cast<std::int32_t>(r);
                else
                  a = TValue::Invalid();
              } else {
                a = BinaryOperator(opcode, a, b);
                CheckString(a);
              }
              Stack.pop_back();
              ++pc;
              break;
            }
          }
        }
      } catch (TStop& stop) {
        if (!stop.Place) stop.Place = PlaceOf(frame, pc);
        throw;
      }
      Result.Instructions = Limits.Instructions - budget;
      if (called) continue;  // the new frame runs
      // Return: drop the frame's locals and operands, hand the value back.
      Stack.resize(base);
      Frames.pop_back();
      if (Frames.empty()) return returned;
      Push(std::move(returned));
    }
  }

  TRunResult::TPlace PlaceOf(const TFrame& frame, std::size_t pc) const {
    TRunResult::TPlace place;
    place.Function = static_cast<std::size_t>(frame.Function - frame.Unit->Functions.data());
    place.Offset = pc;
    place.Line = frame.Unit->Lines.LineOf(place.Function, pc);
    place.External = frame.Unit != Called;
    return place;
  }

  bool Truth() {
    // TJUMP: false and invalid jump (WAP-193 §9.4).
    const std::optional<bool> b = ToBoolean(Stack.back());
    Stack.pop_back();
    return b.value_or(false);
  }

  void Increment(TValue& v, std::uint8_t opcode) {
    if (v.Type == TType::Integer) {
      const std::int64_t r = std::int64_t{v.Int} + (opcode == op::INCR ? 1 : -1);
      if (r >= INT32_MIN && r <= INT32_MAX)
        v.Int = static_cast<std::int32_t>(r);
      else
        v = TValue::Invalid();
      return;
    }
    v = UnaryOperator(opcode, v);
  }
};

}  // namespace

TRunResult Run(const TUnit& unit, const std::string& function, std::vector<TValue> arguments,
               TBrowser& browser, TRandom& random, const TRunOptions& options) {
  TRunResult result;
  const std::optional<std::size_t> index = unit.FindExtern(function);
  if (!index) {
    result.Message = "в сценарии нет функции extern «" + function + "»";
    return result;
  }
  if (unit.Functions[*index].Arguments != arguments.size()) {
    result.Message = "функция «" + function + "» принимает " +
                     std::to_string(unit.Functions[*index].Arguments) + " аргументов, а передано " +
                     std::to_string(arguments.size());
    return result;
  }
  TMachine machine(browser, random, options, result);
  try {
    result.Value = machine.Call(unit, *index, arguments, options.ScriptUrl);
    result.Status = TRunStatus::Returned;
  } catch (const TStop& stop) {
    result.Status = stop.Status;
    result.Message = stop.Message;
    if (stop.Status == TRunStatus::Returned) return result;  // Lang.exit
    result.Place = stop.Place;
  }
  if (result.Status != TRunStatus::Returned) {
    result.Navigation = TNavigation::None;
    result.GoUrl.clear();
  }
  return result;
}

}  // namespace deckhand::wmlscript
