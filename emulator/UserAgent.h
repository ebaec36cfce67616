// The WML 1.1 user agent of the phone emulator: runs a deck as a WAP phone's
// browser does, one card at a time.
//
// It follows links and `do` elements, runs the tasks `go`, `prev`, `refresh`
// and `noop` with their `setvar`s and `postfield`s, keeps the variables and
// the history, fills `input` and `select` elements from the user's keys,
// fires the intrinsic events (`onenterforward`, `onenterbackward`,
// `ontimer`, `onpick`, as attributes or `onevent` elements, the deck's
// `template` included) and runs a card's `timer` on a clock that tests
// replace. A `go` to another deck file is read relative to the deck's own
// file. A `go` to a network address is sent only when the user turned the
// network on (SetNetwork, UserAgentNetwork.cpp); otherwise the agent keeps
// the request the phone would send (method, address, post fields) for the
// screen to show. A `go` to a WMLScript file (`calc.wmls#add(1,2)`) compiles, verifies
// and runs the script's function (UserAgentScripts.cpp).
//
// Nothing here draws: the card renderer lays the current card out.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/Deck.h"
#include "emulator/DeckFile.h"
#include "wmlscript/Interpreter.h"
#include "wmlscript/Unit.h"

namespace deckhand::wml {

// Milliseconds of a monotonic clock.
using TClock = std::function<std::int64_t()>;
TClock SteadyClock();

// Reads a deck file: its bytes, or nullopt with error set to a Russian text.
using TDeckLoader =
    std::function<std::optional<std::string>(const std::string& path, std::string& error)>;

// How a variable's value is put into text.
enum class TConversion { Escape, Unescape, None };

// A request to the network that the phone would send.
struct TRequest {
  std::string Method;  // "GET" or "POST"
  // Variables substituted, escaped as sent; a GET's fields are in its
  // query (WML 1.1 §9.5.1).
  std::string Url;
  std::vector<std::pair<std::string, std::string>> Fields;  // postfields
  // The Referer the phone sends with sendreferer="true": the URI of the
  // deck holding the task; empty when none is sent.
  std::string Referer;
  // The address as the go names it, variables substituted, before a GET's
  // fields are added (the network client adds them in the form's charset).
  std::string Address;
  // The go's accept-charset, and the charset of the deck holding the task:
  // the fields are sent in the first accepted charset, else the deck's
  // (WML 1.1 §9.5.1).
  std::string AcceptCharset;
  std::string DeckCharset = "UTF-8";

  // The request as text: "GET http://...", the "Referer: ..." line when
  // one is sent, then a POST's fields, one "name=value" per line.
  std::string Describe() const;
};

// What the network answered a request of the agent.
struct TNetworkReply {
  enum class TKind { Deck, Image, Script, Error } Kind = TKind::Error;
  // Deck: its WML source in UTF-8 (compiled decks decoded); Image and
  // Script: the bytes received.
  std::string Body;
  // The address the answer came from, redirects followed.
  std::string Url;
  // The charset the deck arrived in ("UTF-8" when it named none).
  std::string Charset = "UTF-8";
  // Error: what went wrong, in Russian (the failure, or the status and the
  // content type the phone could not show).
  std::string Error;
  // The user cancelled the request (the back key).
  bool Cancelled = false;
  // The request and the response as text, for the emulator window.
  std::string Exchange;
};

// Sends a request and waits for its answer (on the emulator's worker thread).
using TNetworkFetch = std::function<TNetworkReply(const TRequest&)>;

enum class TFocusKind { Link, Input, Option, Menu };

// One thing of the current screen that the navigation keys can reach.
struct TFocusable {
  TFocusKind Kind;
  const TNode* Node;              // the a/anchor, input, option or do element
  const TNode* Select = nullptr;  // for an option: its select
  int OptionIndex = 0;            // for an option: 0-based index in its select
};

struct TSoftKey {
  std::string Label;  // empty: the key does nothing
  bool OpensMenu = false;
};

// A dialog of a running script (WMLScript's Dialogs library, WAP-194):
// on the screen in place of the card until the user answers it with the
// phone's keys. The select key (or the left soft key) answers OK, the back
// key (or the right soft key) cancels: confirm gives false, prompt the empty
// text, alert only closes.
struct TScriptDialog {
  enum class TKind { Prompt, Confirm, Alert } Kind = TKind::Alert;
  std::string Message;
  std::string Ok;      // label of the left soft key
  std::string Cancel;  // label of the right soft key, "" for an alert
  std::string Input;   // prompt: the text typed so far (the default at first)
};

class TUserAgent {
 public:
  explicit TUserAgent(TClock clock = SteadyClock());

  void SetLoader(TDeckLoader loader) { loader_ = std::move(loader); }
  // Turns the network on (a fetch given) or off (none): with it, a go to an
  // http: or https: address is sent, decks from the network are shown,
  // their images fetched and their relative addresses resolved against
  // their own address. Decks fetched so far are forgotten.
  void SetNetwork(TNetworkFetch fetch);
  bool NetworkOn() const { return static_cast<bool>(fetch_); }
  // The last exchange with the network as text, empty when none.
  const std::string& LastExchange() const { return lastExchange_; }
  // The bytes of an image of a deck from the network, fetched when its card
  // was shown; null when it was not fetched or was no image.
  const std::string* NetworkImage(const std::string& url) const;
  // An address of the deck on screen made absolute: against the deck's own
  // address for a deck from the network, else unchanged.
  std::string ResolveAddress(const std::string& address) const;
  // Whether an address is an http: or https: one.
  static bool IsNetworkAddress(std::string_view address);

  // Shows the first card of a deck with an empty context (no variables, no
  // history). path is the deck's file, empty when it has none.
  // parsed, when given, is ParseDeck(bytes) made beforehand (on another
  // thread, for a big deck).
  void Open(std::string_view bytes, std::string path = {}, std::optional<TDeck> parsed = {});
  // New text for the deck on screen: stays on the current card when a card
  // of that id (or, for cards without one, that position) still exists,
  // keeping the variables and the history; otherwise the first card.
  void Reload(std::string_view bytes, std::optional<TDeck> parsed = {});
  // The deck from its first card with an empty context.
  void Restart();
  // Sets the deck's file (for relative addresses) without reloading.
  void SetDeckPath(std::string path);

  const TDeck& Deck() const { return deck_; }
  const TNode* Card() const { return card_; }
  const std::string& DeckPath() const { return deckPath_; }
  // The current card's id, or "" when it has none.
  std::string CardId() const;

  // Variables of the browser context.
  std::string Variable(std::string_view name) const;
  // Sets (an empty value unsets) a variable; a value or a context beyond
  // the limits of emulator/EmulatorLimits.h is refused with Error() saying so.
  // Set from outside the phone, it also shows on the card at once.
  void SetVariable(const std::string& name, const std::string& value);
  const std::map<std::string, std::string>& Variables() const { return variables_; }
  // text with its variable references replaced; fallback is the conversion
  // of references that name none.
  std::string Substitute(std::string_view text, TConversion fallback = TConversion::None) const;
  // text with its variable references replaced by the values the variables
  // had when the card was last displayed (entered or refreshed): WML 1.1
  // §11.6.2.1, a card shows no side effects of its variables changing (an
  // option picked, a field typed into, a script's setVar) until a refresh.
  // The screen draws the card's text with it.
  std::string SubstituteShown(std::string_view text) const;
  // An attribute's value with its variable references replaced, each
  // reference without a conversion converted as WML 1.1 §10.3.1 says for
  // that attribute (escaped in an address).
  std::string SubstituteAttribute(const TNode& element, std::string_view attribute) const;
  // The conversion of a reference without one in that attribute.
  static TConversion AttributeConversion(std::string_view attribute);

  // Number of cards in the history, the current one included. It holds at
  // most kMaxHistoryDepth cards (emulator/EmulatorLimits.h): beyond, the oldest
  // is forgotten.
  int HistoryDepth() const { return static_cast<int>(history_.size()); }
  // One card of the history: its deck file ("" for the deck given to Open
  // without a file) and its id ("" when it has none) or position.
  struct THistoryItem {
    std::string DeckPath;
    std::string CardId;
    int CardIndex = 0;
  };
  // The history, oldest first; the last is the current card.
  std::vector<THistoryItem> History() const;

  // What the keys reach on the current screen, in document order.
  const std::vector<TFocusable>& Focusables() const { return focusables_; }
  int Focus() const { return focus_; }
  void SetFocus(int index);
  // The focus index of a node, -1 when it takes no focus.
  int FocusOf(const TNode* node) const;

  // The select key: follows the focused link, picks the focused option, runs
  // the chosen entry of the options menu.
  void Select();
  // The back key: closes the options menu or the request screen, else runs
  // prev.
  void Back();
  // Types characters (UTF-8) into the focused input.
  void Type(std::string_view text);
  // Erases the last character of the focused input; false when there was
  // none to erase.
  bool Erase();
  // The soft keys: 0 left, 1 right.
  TSoftKey SoftKeyLabel(int key) const;
  void SoftKey(int key);

  // The do elements on offer (card first, then the template's that the card
  // does not shadow), in order.
  std::vector<const TNode*> DoElements() const;
  // Whether the options menu (the do elements beyond the first) is open.
  bool MenuOpen() const { return menuOpen_; }
  // Label of a do element as shown.
  std::string DoLabel(const TNode* doElement) const;

  // The text typed so far into an input (shown even while not yet valid).
  std::string InputText(const TNode* input) const;
  // Whether an input's text satisfies its format/emptyok.
  bool InputAcceptable(const TNode* input) const;
  // Which options of a select are chosen.
  std::vector<bool> OptionStates(const TNode* select) const;

  // Time until the card's timer fires, or nullopt when none runs.
  std::optional<std::int64_t> TimerDueInMs() const;
  // Fires the timer if its time has come (and whatever the task chains).
  void Poll();

  // The dialog of a script waiting for the user's answer, if any. While it
  // is on the screen the keys answer it and the card's timer does not fire
  // (TimerDueInMs gives none); a timer due meanwhile fires once it closes.
  const std::optional<TScriptDialog>& ScriptDialog() const { return dialog_; }
  // The WMLScript source being edited and its file: a go to that file runs
  // this text, saved or not. An empty path forgets it.
  void SetEditedScript(std::string path, std::string source) {
    editedScriptPath_ = std::move(path);
    editedScript_ = std::move(source);
  }
  // Seeds the generator of the scripts' Lang.random, so that a run repeats.
  void SetRandomSeed(std::uint64_t seed) { random_.Seed(seed); }

  // The request on screen after a go to a network address.
  const std::optional<TRequest>& Request() const { return request_; }
  // The phone's error screen after a request the network answered with
  // something the phone cannot show (a status, a content type) or did not
  // answer: the text the screen shows in place of the card, which stays
  // current underneath; the back key closes it.
  const std::optional<std::string>& ErrorScreen() const { return errorScreen_; }
  // The last error of the agent (Russian), empty when the last step went
  // well. Errors never stop the agent: the screen stays where it was.
  const std::string& Error() const { return error_; }
  // The script file and place the last error is about, when it is the
  // compile or run-time error of a script a go called; Line and Column are
  // 0 when not known (a compiled .wmlsc carries no lines). Empty for any
  // other error. The caret belongs at it only when Path is the file being
  // edited.
  struct TErrorSource {
    std::string Path;
    int Line = 0;
    int Column = 0;
  };
  std::optional<TErrorSource> ErrorSource() const;

  // Called at the start of every task step and where a go replaces the
  // deck; tests throw from it (std::bad_alloc) to see that a failure inside
  // a step is caught at the agent's entry points and leaves it usable.
  void SetStepHook(std::function<void()> hook) { stepHook_ = std::move(hook); }

 private:
  struct THistoryEntry {
    std::string DeckPath;
    std::string CardId;
    int CardIndex;
  };
  struct TTask {
    enum class TKind { None, Go, Prev, Refresh, Noop } Kind = TKind::None;
    const TNode* Node = nullptr;  // the task element, null for an href attribute
    std::string Href;
  };

  TTask TaskOf(const TNode* holder) const;  // the task element inside a do/anchor/onevent
  TTask EventTask(const TNode* element, std::string_view type, bool useTemplate) const;
  void Run(const TTask& task);
  void RunGo(const TTask& task);
  void RunPrev(const TTask& task);
  void RunRefresh(const TTask& task);
  // Applies the setvars of a task; false (nothing applied, the error set)
  // when they would outgrow the limits.
  bool ApplySetvars(const TNode* task);
  std::vector<std::pair<std::string, std::string>> EvaluateSetvars(const TNode* task) const;
  // Shows a card, running onenterforward/onenterbackward first.
  using TAssignments = std::vector<std::pair<std::string, std::string>>;
  void Enter(const TNode* card, bool forward, const TAssignments* setvars = nullptr);
  void LeaveCard();
  void InitCard();
  void InitInput(const TNode* input);
  void InitSelect(const TNode* select);
  void CommitSelect(const TNode* select);
  std::string OptionValue(const TNode* option) const;
  void CollectFocusables(const TNode& node, const TNode* select, int& optionIndex);
  void StartTimer();
  // Reads and parses a deck file without changing anything; on failure
  // sets the error and returns nullopt.
  std::optional<TDeck> FetchDeck(const std::string& path, std::string& bytes);
  void CommitDeck(const std::string& path, std::string bytes, TDeck deck);
  TRequest MakeRequest(const TNode* go, const std::string& href) const;
  // A deck file's bytes; the deck given to Open is read from memory.
  std::optional<std::string> ReadDeck(const std::string& path, std::string& problem);
  // The first failure of a step is the one reported; a note (something the
  // agent did on its own, the step went on) gives way to a failure.
  void Fail(std::string message);
  void Note(std::string message);
  // Notes an entry of the card that does not fit its format (see Run).
  void RejectIncompleteEntries();
  // Runs one user action: gives it a fresh budget of task steps, and turns
  // an allocation failure inside it into an error with the agent usable.
  template <typename TAction>
  void Guarded(TAction&& action);
  void Recover(std::string message);
  void Step();
  // Sets a variable within the limits; false (and the error set) when the
  // value or the context would grow beyond them.
  bool Assign(const std::string& name, const std::string& value);
  void SetValue(const std::string& name, const std::string& value);
  // Substitute, stopping once the result is longer than limit bytes.
  // From another set of variables than the context's, when from is given.
  std::string SubstituteUpTo(std::string_view text, TConversion fallback, std::size_t limit,
                             const std::map<std::string, std::string>* from = nullptr) const;
  // Whether the assignments fit the limits, the error set when not.
  bool Fits(const std::vector<std::pair<std::string, std::string>>& assignments);
  void PushHistory(const TNode* card);

  std::string ResolvePath(const std::string& relative) const;

  // The network (UserAgentNetwork.cpp). A go whose address is an http: or
  // https: one: sends the request and shows what comes back; false when the
  // address names the deck on screen (nothing is sent, the go goes on
  // there).
  bool GoNetwork(const TTask& task, const std::string& href, const TAssignments& setvars);
  // Shows the card a go leads to in the deck now on screen.
  void ShowDestination(const std::string& fragment, const TAssignments& setvars);
  // A deck from the network read again (for prev): from the decks kept,
  // else fetched anew.
  std::optional<std::string> ReadNetworkDeck(const std::string& url, std::string& problem);
  void KeepNetworkDeck(const std::string& url, const std::string& source);
  // Fetches the images of the card on screen that are not kept yet.
  void FetchCardImages();
  // The charset the fields of a form in the deck on screen are sent in.
  std::string DeckCharset() const;

  // WMLScript (UserAgentScripts.cpp). A call is run from its start again
  // after each answer to a dialog, with the answers given so far and the
  // same random sequence: what the script does before a dialog is kept aside
  // until it returns, so that nothing is done twice.
  struct TDialogAnswer {
    std::string Text;
    bool Yes = true;
  };
  struct TScriptCall {
    std::string Name;  // the file's name, for messages
    std::string Url;   // the file's absolute address
    std::string Function;
    std::vector<wmlscript::TValue> Arguments;
    wmlscript::TUnit Unit;
    wmlscript::TRandom Random;
    std::string Referer;      // the calling card's address
    std::string CurrentCard;  // the same, relative to the script
    std::vector<TDialogAnswer> Answers;
    // The unit came from the network: it may load no local file.
    bool FromNetwork = false;
  };
  // Whether a local address names a script (its file ends in .wmls or .wmlsc).
  static bool IsScriptAddress(const std::string& address);
  // Loads the script at path and calls the function the fragment names.
  // The go's setvars are applied once the script is ready to run (so that
  // it reads them); a script that cannot run changes nothing (WML 1.1
  // §12.5.5). fetched, when given, is the compiled unit the network sent
  // for the address path; the script being edited is run from the
  // editor's text (SetEditedScript).
  void CallScript(const std::string& path, const std::string& fragment,
                  const std::vector<std::pair<std::string, std::string>>& setvars,
                  const std::string* fetched = nullptr);
  void RunScript();
  void AnswerDialog(TDialogAnswer answer);

  TClock clock_;
  TDeckLoader loader_;
  TNetworkFetch fetch_;
  std::string lastExchange_;
  // Decks and images fetched in this session, by address, oldest first.
  std::vector<std::pair<std::string, std::string>> networkDecks_;
  std::map<std::string, std::string> networkImages_;
  std::string networkCharset_;  // the charset the deck on screen arrived in
  std::string bytes_;
  TDeck deck_;
  std::string deckPath_;
  // The deck given to Open and Reload (the editor's text) and its file.
  std::string homePath_;
  std::string homeBytes_;
  const TNode* card_ = nullptr;
  std::map<std::string, std::string> variables_;
  // The variables as the current card was last displayed (SubstituteShown).
  std::map<std::string, std::string> shown_;
  std::vector<THistoryEntry> history_;
  std::vector<TFocusable> focusables_;
  int focus_ = -1;
  bool menuOpen_ = false;
  std::map<const TNode*, std::string> inputText_;
  std::map<const TNode*, std::vector<bool>> selects_;
  std::optional<std::int64_t> timerDue_;
  const TNode* timer_ = nullptr;
  std::optional<TRequest> request_;
  std::optional<std::string> errorScreen_;
  std::optional<TScriptCall> scriptCall_;
  std::string editedScriptPath_;
  std::string editedScript_;
  std::optional<TScriptDialog> dialog_;
  // The source of the script called last, and the error message it is the
  // source of once the script fails (empty before).
  std::optional<std::pair<std::string, TErrorSource>> scriptError_;
  wmlscript::TRandom random_;
  std::string error_;
  bool errorIsNote_ = false;
  int steps_ = 0;  // task steps of the current user action
  bool inAction_ = false;
  std::function<void()> stepHook_;
  // The card shown before an edit left the deck without cards.
  std::string lostCardId_;
  int lostCardIndex_ = -1;
};

// Format masks of input (WML 1.1): whether the mask lets ch stand at
// position pos (0-based) and whether value is complete under it.
bool FormatAllows(std::string_view format, std::size_t pos, char32_t ch);
bool FormatComplete(std::string_view format, std::u32string_view value);
// The literal a mask puts at pos ("\c"), or 0.
char32_t FormatLiteral(std::string_view format, std::size_t pos);

std::u32string DecodeUtf8(std::string_view text);
std::string EncodeUtf8(std::u32string_view text);
// URL escaping of the escape/unesc conversions.
std::string EscapeUrl(std::string_view text);
std::string UnescapeUrl(std::string_view text);

}  // namespace deckhand::wml
