// The phone emulator's engine on a thread of its own, so that the editor
// never waits for a deck: the user agent and the phone screen live on the
// worker, which parses, checks, runs and lays out the deck and hands the
// window a finished frame (the screen's picture, the soft keys' labels, the
// status, the variables and the history, and after a new text the deck
// check's findings).
//
// Containment: every step runs behind one boundary that catches whatever the
// engine throws (running out of memory included) and stops the step when the
// browser context grows beyond a guard; the frame then carries a Russian
// message and the engine starts afresh at the next text or at "Сначала".
// The worker never touches the editor: it works on copies of the text.
//
// Jobs run in the order posted; a new text replaces one still waiting. The
// card's timer runs on the worker's own wait. Destroying the worker cancels
// what waits and never waits for a step that is running: such a step is left
// to finish (or to end with the process) on its own.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wml/DeckCheck.h"
#include "wml/Phones.h"

namespace deckhand {

// The phone keys the window forwards.
// Left and Right scroll a nowrap line in view sideways (WML 1.1 §11.8.3);
// without one they act as Up and Down.
enum class TPhoneKey { LeftSoft, RightSoft, Up, Down, Left, Right, Select, Back };

// What the window shows after a step.
struct TEmulatorFrame {
  std::uint64_t Job = 0;  // the last job this frame covers
  QImage Image;
  QString LeftLabel;
  QString RightLabel;
  QString Status;
  bool Failed = false;  // the step was stopped at the boundary; Status says why
  std::string CardId;   // "" when the card has none
  bool HasCard = false;
  std::string DeckPath;    // the file of the deck on screen ("" for the editor's unsaved text)
  bool OtherDeck = false;  // the screen shows a deck other than the editor's
  // The browser context, values cut for display (the whole value's length
  // is in ValueBytes).
  struct TVariable {
    std::string Name;
    std::string Value;
    std::size_t ValueBytes = 0;
    bool operator==(const TVariable&) const = default;
  };
  std::vector<TVariable> Variables;
  std::vector<std::string> History;  // oldest first, the current card last
  // After a new text: the deck check of the editor's text.
  bool HasReport = false;
  std::vector<wml::TFinding> Findings;  // the first ones, messages cut for display
  std::size_t FindingsLeftOut = 0;      // beyond those
  std::optional<std::size_t> CompiledSize;
  bool OfferEncoding = false;
  // The editor's text is a WMLScript source (its file is *.wmls): the
  // findings are the compiler's and the size is the compiled script's.
  bool Script = false;
  // The last exchange with the network (request, response, sizes, time,
  // cookies), empty when none; and whether requests are sent.
  std::string Exchange;
  bool Network = false;
  // The error of a script a go called (its compile or run-time error): the
  // script's file, the line and column when known (0 when not), and the
  // message as the status line shows it.
  struct TScriptError {
    std::string Path;
    int Line = 0;
    int Column = 0;
    std::string Message;
    bool operator==(const TScriptError&) const = default;
  };
  std::optional<TScriptError> ScriptError;
};

class TEmulatorWorker {
 public:
  // deliver is called on the worker thread with each finished frame; it must
  // only hand the frame over (post it to the window).
  using TDeliver = std::function<void(std::shared_ptr<const TEmulatorFrame>)>;
  // Called on the worker before each step with the step's name ("text",
  // "key", "timer", ...); a test throws from it to force a failure inside
  // the engine.
  using TFaultHook = std::function<void(const char* step)>;

  explicit TEmulatorWorker(TDeliver deliver);
  ~TEmulatorWorker();
  TEmulatorWorker(const TEmulatorWorker&) = delete;
  TEmulatorWorker& operator=(const TEmulatorWorker&) = delete;

  // Each returns the job's number; frames carry the last job they cover.
  // A new text of the editor: parsed, checked and reloaded (the first one
  // opens the deck); restart opens it afresh with an empty context.
  std::uint64_t Text(std::string text, std::string path, const wml::TPhoneProfile* phone);
  // The document's file changed (Open, New, Save As): relative addresses
  // follow it at once.
  std::uint64_t Path(std::string path);
  std::uint64_t Phone(const wml::TPhoneProfile* phone);
  std::uint64_t Key(TPhoneKey key);
  std::uint64_t Type(std::string utf8);
  // Backspace: erases in a field, else goes back.
  std::uint64_t Erase();
  // "Сначала": the deck from its first card with an empty context, the
  // engine rebuilt when a step failed; the network session's cookies are
  // forgotten.
  std::uint64_t Restart();
  // Whether a go to an http: or https: address is sent (off: the request
  // the phone would send is only shown).
  std::uint64_t Network(bool on);
  // Ends a request to the network under way (the card stays); false when
  // none is under way. Called on the window's thread, it does not wait for
  // the worker.
  bool CancelRequest();
  // Whether the worker waits for the network.
  bool Fetching() const;

  void SetFaultHook(TFaultHook hook);

  // The browser context beyond which a step is stopped at the boundary. The
  // user agent keeps its own, smaller limits; this guard only stops an engine
  // that has none from taking the editor's memory.
  static constexpr std::size_t kContextGuardBytes = 256 * 1024;

  struct TShared;
  struct TEngine;

 private:
  std::uint64_t Post(int kind, std::function<void(TEngine&, TEmulatorFrame&)> job);

  std::shared_ptr<TShared> shared_;
};

}  // namespace deckhand
