// The user agent's WMLScript: a go whose address names a script file and a
// function (`calc.wmls#add($(a),2)`, WAP-193 §8.4) loads the file beside
// the deck, compiles and verifies it, and calls the extern function with
// the arguments written as literals. The script reaches the browser through
// WMLBrowser and the user through Dialogs (WAP-194); go and prev are applied
// when the function returns.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "emulator/EmulatorLimits.h"
#include "emulator/UserAgent.h"
#include "emulator/UserAgentInternal.h"
#include "wmlscript/Compiler.h"
#include "wmlscript/Lexer.h"
#include "wmlscript/Library.h"

namespace deckhand::wml {

using namespace agent_detail;

namespace {

namespace ws = wmlscript;

bool HasSuffix(const std::string& text, std::string_view tail) {
  return text.size() >= tail.size() &&
         Lower(text.substr(text.size() - tail.size())) == std::string(tail);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The function call of a script address's fragment: a name, then the
// arguments as WMLScript literals (WAP-193 §8.4): integers and floats (with
// a sign), strings, true, false and invalid. Sets problem when the text is
// not one.
bool ParseCall(const std::string& fragment, std::string& function,
               std::vector<ws::TValue>& arguments, std::string& problem) {
  std::vector<ws::TDiagnostic> diagnostics;
  const std::vector<ws::TToken> tokens =
      ws::Tokenize(fragment, ws::TSourceCharset::Utf8, diagnostics);
  if (!diagnostics.empty()) {
    problem = diagnostics.front().Message;
    return false;
  }
  const auto punct = [&](std::size_t i, std::string_view text) {
    return i < tokens.size() && tokens[i].Kind == ws::TTokenKind::Punct && tokens[i].Text == text;
  };
  if (tokens.empty() || tokens[0].Kind != ws::TTokenKind::Identifier || !punct(1, "(")) {
    problem = "после «#» нужен вызов функции: имя(аргументы)";
    return false;
  }
  function = tokens[0].Text;
  std::size_t i = 2;
  if (punct(i, ")")) {
    ++i;
  } else {
    for (;;) {
      bool negative = false;
      if (punct(i, "-") || punct(i, "+")) negative = tokens[i++].Text == "-";
      if (i >= tokens.size()) break;
      const ws::TToken& token = tokens[i];
      const bool sign = i > 0 && (punct(i - 1, "-") || punct(i - 1, "+"));
      if (token.Kind == ws::TTokenKind::Integer) {
        arguments.push_back(ws::TValue::Integer(negative ? -token.Integer : token.Integer));
      } else if (token.Kind == ws::TTokenKind::Float) {
        arguments.push_back(ws::TValue::FloatValue(negative ? -token.Float : token.Float));
      } else if (!sign && token.Kind == ws::TTokenKind::String) {
        arguments.push_back(ws::TValue::String(token.Text));
      } else if (!sign && token.Kind == ws::TTokenKind::Keyword &&
                 (token.Text == "true" || token.Text == "false")) {
        arguments.push_back(ws::TValue::Boolean(token.Text == "true"));
      } else if (!sign && token.Kind == ws::TTokenKind::Keyword && token.Text == "invalid") {
        arguments.push_back(ws::TValue::Invalid());
      } else {
        problem = "аргумент " + std::to_string(arguments.size() + 1) +
                  " не литерал WMLScript (число, строка в кавычках, true, false или invalid)";
        return false;
      }
      ++i;
      if (punct(i, ",")) {
        ++i;
        continue;
      }
      if (punct(i, ")")) {
        ++i;
        break;
      }
      problem = "в списке аргументов ожидается «,» или «)»";
      return false;
    }
  }
  if (i >= tokens.size() || tokens[i].Kind != ws::TTokenKind::End) {
    problem = "после «)» ничего не должно быть";
    return false;
  }
  return true;
}

// The browser as a running script sees it. Variables the script sets and
// the context it clears are kept here, over the agent's own, and applied
// only when the call ends; a dialog without an answer yet is noted, given a
// stand-in answer, and the call is run again once the user answers it.
class TAgentBrowser final : public ws::TBrowser {
 public:
  TAgentBrowser(const TUserAgent& agent, const std::string& currentCard, const std::string& referer,
                const std::vector<std::string>& answerTexts, const std::vector<bool>& answerYes,
                bool localFiles)
      : agent_(agent),
        currentCard_(currentCard),
        referer_(referer),
        texts_(answerTexts),
        yes_(answerYes),
        localFiles_(localFiles) {}

  std::map<std::string, std::string> Sets;
  bool Cleared = false;
  bool Refreshed = false;
  std::optional<TScriptDialog> Pending;

  std::string GetVar(const std::string& name) override {
    if (auto it = Sets.find(name); it != Sets.end()) return it->second;
    return Cleared ? std::string() : agent_.Variable(name);
  }
  void SetVar(const std::string& name, const std::string& value) override { Sets[name] = value; }
  void NewContext() override {
    Cleared = true;
    Sets.clear();
  }
  std::string CurrentCard() override { return currentCard_; }
  void Refresh() override { Refreshed = true; }
  std::string Prompt(const std::string& message, const std::string& defaultInput) override {
    if (next_ < texts_.size()) return texts_[next_++];
    Ask({TScriptDialog::TKind::Prompt, message, "OK", "Отмена", defaultInput});
    return defaultInput;
  }
  bool Confirm(const std::string& message, const std::string& ok,
               const std::string& cancel) override {
    if (next_ < yes_.size()) return yes_[next_++];
    Ask({TScriptDialog::TKind::Confirm, message, ok.empty() ? "OK" : ok,
         cancel.empty() ? "Отмена" : cancel, ""});
    return false;
  }
  void Alert(const std::string& message) override {
    if (next_ < texts_.size()) {
      ++next_;
      return;
    }
    Ask({TScriptDialog::TKind::Alert, message, "OK", "", ""});
  }
  std::string Referer() override { return referer_; }
  // Local files only (the emulator sends nothing to the network): a script
  // source is compiled, so that a unit calls another by its .wmls name.
  std::optional<TLoaded> Load(const std::string& absoluteUrl) override {
    // A unit from the network never reaches the files of this machine.
    if (!localFiles_ || Lower(absoluteUrl.substr(0, 5)) != "file:") return std::nullopt;
    std::string path = absoluteUrl.substr(5);
    while (path.size() > 1 && path[0] == '/' && path[1] == '/') path.erase(0, 1);
    path = UnescapeUrl(path);
    std::string problem;
    std::optional<std::string> bytes = ReadBoundedFile(path, problem, kMaxScriptFileBytes);
    if (!bytes) return std::nullopt;
    if (HasSuffix(path, ".wmls")) {
      ws::TCompileResult compiled = ws::Compile(*bytes);
      if (!compiled.Unit) return std::nullopt;
      return TLoaded{std::move(*compiled.Unit), "application/vnd.wap.wmlscriptc"};
    }
    if (HasSuffix(path, ".wmlsc"))
      return TLoaded{std::move(*bytes), "application/vnd.wap.wmlscriptc"};
    if (HasSuffix(path, ".wml")) return TLoaded{std::move(*bytes), "text/vnd.wap.wml"};
    return TLoaded{std::move(*bytes), "text/plain"};
  }

 private:
  void Ask(TScriptDialog dialog) {
    // Only the first unanswered dialog is shown; the run goes on with a
    // stand-in answer and everything it does is set aside.
    if (!Pending) Pending = std::move(dialog);
    ++next_;
  }

  const TUserAgent& agent_;
  std::string currentCard_;
  std::string referer_;
  const std::vector<std::string>& texts_;
  const std::vector<bool>& yes_;
  bool localFiles_;
  std::size_t next_ = 0;
};

}  // namespace

bool TUserAgent::IsScriptAddress(const std::string& address) {
  return HasSuffix(address, ".wmls") || HasSuffix(address, ".wmlsc");
}

void TUserAgent::CallScript(const std::string& path, const std::string& escapedFragment,
                            const TAssignments& setvars, const std::string* fetched) {
  TScriptCall call;
  call.FromNetwork = fetched != nullptr;
  call.Name = BaseName(call.FromNetwork ? path.substr(0, path.find('?')) : path);
  call.Url = call.FromNetwork ? path : FileUri(path);
  const std::string fragment = UnescapeUrl(escapedFragment);
  std::string problem;
  if (fragment.empty()) {
    Fail("Сценарий " + call.Name + ": в адресе нет вызова функции (#функция(аргументы))");
    return;
  }
  if (!ParseCall(fragment, call.Function, call.Arguments, problem)) {
    Fail("Сценарий " + call.Name + ": вызов «" + fragment + "» не разобран: " + problem);
    return;
  }
  std::optional<std::string> bytes;
  if (fetched)
    bytes = *fetched;
  else if (!editedScriptPath_.empty() && path == editedScriptPath_)
    bytes = editedScript_;
  else
    bytes = ReadBoundedFile(path, problem, kMaxScriptFileBytes);
  if (!bytes) {
    Fail(problem + ": сценарий не выполнен, карта осталась прежней");
    return;
  }
  scriptError_.emplace(std::string(), TErrorSource{path, 0, 0});
  std::string unitBytes;
  ws::TLineTable lines;  // the source's lines, kept beside the unit
  if (fetched || HasSuffix(path, ".wmlsc")) {
    unitBytes = std::move(*bytes);
  } else {
    ws::TCompileResult compiled = ws::Compile(*bytes);
    if (!compiled.Unit) {
      // The first error as the checker prints it: FILE:LINE:COLUMN.
      std::vector<ws::TDiagnostic> errors;
      for (const ws::TDiagnostic& d : compiled.Diagnostics)
        if (d.Severity == ws::TSeverity::Error) errors.push_back(d);
      std::string text = errors.empty() ? call.Name + ": ошибка компиляции"
                                        : ws::FormatDiagnostics(call.Name, {errors.front()});
      if (!text.empty() && text.back() == '\n') text.pop_back();
      if (errors.size() > 1) text += " (и ещё ошибок: " + std::to_string(errors.size() - 1) + ")";
      text += "; сценарий не выполнен";
      if (!errors.empty())
        scriptError_->second = {path, errors.front().Line, errors.front().Column};
      scriptError_->first = text;
      Fail(std::move(text));
      return;
    }
    unitBytes = std::move(*compiled.Unit);
    lines = std::move(compiled.Lines);
  }
  std::optional<ws::TUnit> unit = ws::LoadUnit(unitBytes, problem);
  if (!unit) {
    Fail(call.Name + ": сценарий не прошёл проверку (" + problem + ") и не выполнен");
    return;
  }
  call.Unit = std::move(*unit);
  call.Unit.Lines = std::move(lines);
  call.Random = random_;
  const bool networkDeck = IsNetworkAddress(deckPath_);
  // WAP-193 §6.7.2: a unit's use access pragma names who may call it; a
  // deck of this machine has no address to compare.
  if (call.FromNetwork && networkDeck && !ws::AccessAllowed(call.Unit, call.Url, deckPath_)) {
    Fail("Сценарий " + call.Name + " не разрешает вызов из " + deckPath_ +
         " (use access): сценарий не выполнен, карта осталась прежней");
    return;
  }
  if (!deckPath_.empty() && card_) {
    std::string id = card_->AttributeOr("id");
    call.Referer = (networkDeck ? deckPath_ : FileUri(deckPath_)) + (id.empty() ? "" : "#" + id);
    // WAP-194 getCurrentCard: the card's address relative to the script,
    // the file's name alone when both are in one folder.
    const std::size_t slash = deckPath_.rfind('/');
    const bool sameFolder = deckPath_.substr(0, slash) == path.substr(0, path.rfind('/'));
    call.CurrentCard = (sameFolder    ? BaseName(deckPath_)
                        : networkDeck ? deckPath_
                                      : FileUri(deckPath_)) +
                       (id.empty() ? "" : "#" + id);
  }
  for (const auto& [name, value] : setvars) SetValue(name, value);
  scriptCall_ = std::move(call);
  dialog_.reset();
  RunScript();
}

void TUserAgent::RunScript() {
  if (!scriptCall_) return;
  Step();
  std::vector<std::string> texts;
  std::vector<bool> yes;
  for (const TDialogAnswer& answer : scriptCall_->Answers) {
    texts.push_back(answer.Text);
    yes.push_back(answer.Yes);
  }
  TAgentBrowser browser(*this, scriptCall_->CurrentCard, scriptCall_->Referer, texts, yes,
                        !scriptCall_->FromNetwork);
  ws::TRandom random = scriptCall_->Random;
  ws::TRunOptions options;
  options.ScriptUrl = scriptCall_->Url;
  const ws::TRunResult result = ws::Run(scriptCall_->Unit, scriptCall_->Function,
                                        scriptCall_->Arguments, browser, random, options);
  const std::string where = "Сценарий " + scriptCall_->Name + ", функция " + scriptCall_->Function;
  // What the run did after the first unanswered dialog rests on a stand-in
  // answer: the dialog is shown and the call waits for the real one.
  if (browser.Pending) {
    if (scriptCall_->Answers.size() >= kMaxScriptDialogs) {
      scriptCall_.reset();
      Fail(where + ": больше " + std::to_string(kMaxScriptDialogs) +
           " диалогов за один вызов, сценарий остановлен");
      return;
    }
    dialog_ = std::move(browser.Pending);
    return;
  }
  const std::string url = scriptCall_->Url;
  const std::string name = scriptCall_->Name;
  const std::string function = scriptCall_->Function;
  scriptCall_.reset();
  dialog_.reset();
  random_ = random;
  // WMLBrowser.newContext and setVar act even when the script fails after
  // them, as on a phone; go and prev only when it returns.
  if (browser.Cleared) {
    variables_.clear();
    if (!history_.empty()) history_.assign(1, history_.back());
  }
  TAssignments sets(browser.Sets.begin(), browser.Sets.end());
  if (Fits(sets))
    for (const auto& [name, value] : sets) SetValue(name, value);
  if (result.Status == ws::TRunStatus::Failed || result.Status == ws::TRunStatus::Aborted) {
    const std::string why = result.Status == ws::TRunStatus::Failed
                                ? ": " + result.Message + "; сценарий остановлен"
                                : " прервана (Lang.abort): " + result.Message;
    // At the script's line, as a compile error is (FILE:LINE), when the
    // script was compiled here from its source.
    const bool placed = result.Place && !result.Place->External && result.Place->Line > 0;
    std::string text = placed ? name + ":" + std::to_string(result.Place->Line) +
                                    ": ошибка: функция " + function + why
                              : where + why;
    if (scriptError_ && FileUri(scriptError_->second.Path) == url) {
      scriptError_->second.Line = placed ? result.Place->Line : 0;
      scriptError_->second.Column = 0;
      scriptError_->first = text;
    }
    Fail(std::move(text));
    return;
  }
  if (result.Navigation == ws::TNavigation::Go) {
    // The address is the script's own: relative to the script, and not
    // substituted again ("$" stays "$").
    std::string href;
    for (char c : ws::ResolveUrl(url, result.GoUrl)) {
      href += c;
      if (c == '$') href += '$';
    }
    TTask task;
    task.Kind = TTask::TKind::Go;
    task.Href = std::move(href);
    Run(task);
  } else if (result.Navigation == ws::TNavigation::Prev) {
    TTask task;
    task.Kind = TTask::TKind::Prev;
    Run(task);
  } else if (browser.Refreshed && card_) {
    LeaveCard();
    InitCard();
  }
}

std::optional<TUserAgent::TErrorSource> TUserAgent::ErrorSource() const {
  if (!scriptError_ || error_.empty() || scriptError_->first != error_) return std::nullopt;
  return scriptError_->second;
}

void TUserAgent::AnswerDialog(TDialogAnswer answer) {
  if (!scriptCall_ || !dialog_) return;
  scriptCall_->Answers.push_back(std::move(answer));
  dialog_.reset();
  RunScript();
}

}  // namespace deckhand::wml
