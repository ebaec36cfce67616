#include "ui/EmulatorWorker.h"

#include <QFileInfo>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#include "emulator/CardRenderer.h"
#include "emulator/Deck.h"
#include "emulator/UserAgent.h"
#include "net/NetworkLoader.h"
#include "ui/EncodingOffer.h"
#include "wmlscript/Compiler.h"

namespace deckhand {

namespace {

// Job kinds: a text waiting to be looked at is replaced by a newer one.
constexpr int kOtherJob = 0;
constexpr int kTextJob = 1;

// What the variables view shows of a context: enough to read, never a copy
// of a huge value.
constexpr std::size_t kShownVariables = 200;
constexpr std::size_t kShownValueBytes = 120;
constexpr std::size_t kShownHistory = 100;
// The findings list and the labels: a message quoting a huge attribute, or a
// deck with findings by the ten thousand, must not cost the window seconds
// to lay out.
constexpr std::size_t kShownFindings = 300;
constexpr std::size_t kShownMessageBytes = 400;
constexpr std::size_t kShownLabelBytes = 100;
constexpr std::size_t kShownStatusBytes = 2000;

// A step stopped by the context guard.
class TGuardStop : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses a deck for the user agent and checks it. Running out of memory on a
// huge deck is reported as a finding; the screen then shows nothing.
void ParseAndCheck(const std::string& text, const wml::TPhoneProfile* phone, wml::TDeck& deck,
                   wml::TDeckReport& report) {
  try {
    deck = wml::ParseDeck(text);
    report = wml::CheckDeck(text, phone);
  } catch (const std::bad_alloc&) {
    deck = wml::TDeck();
    report = wml::TDeckReport();
    report.Findings.push_back(
        {wml::TSeverity::Error, 1, 1, "Не хватает памяти, чтобы проверить и показать эту колоду"});
  }
}

// Whether the editor's file is a WMLScript source: its name ends in .wmls.
bool IsScriptPath(const std::string& path) {
  return QFileInfo(QString::fromStdString(path))
             .suffix()
             .compare(QStringLiteral("wmls"), Qt::CaseInsensitive) == 0;
}

// Compiles a WMLScript source: the compiler's diagnostics as findings and
// the compiled script's size.
void CheckScript(const std::string& text, wml::TDeckReport& report) {
  try {
    const wmlscript::TCompileResult result = wmlscript::Compile(text);
    for (const wmlscript::TDiagnostic& d : result.Diagnostics)
      report.Findings.push_back({d.Severity == wmlscript::TSeverity::Error
                                     ? wml::TSeverity::Error
                                     : wml::TSeverity::Warning,
                                 d.Line, d.Column, d.Message});
    if (result.Unit) report.CompiledSize = result.Unit->size();
  } catch (const std::bad_alloc&) {
    report = wml::TDeckReport();
    report.Findings.push_back(
        {wml::TSeverity::Error, 1, 1, "Не хватает памяти, чтобы проверить этот сценарий"});
  }
}

// Cuts UTF-8 text to at most bytes, never inside a character.
std::string CutUtf8(const std::string& text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end) + "…";
}

QString CutText(const std::string& text, std::size_t bytes) {
  return QString::fromStdString(CutUtf8(text, bytes));
}

std::string FileName(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).fileName().toStdString();
}

}  // namespace

// The engine: touched by the worker thread alone.
struct TEmulatorWorker::TEngine {
  const wml::TPhoneProfile* phone = &wml::DefaultPhone();
  // Shared with the window's thread, which may cancel a request under way.
  std::shared_ptr<net::TNetworkLoader> loader;
  bool network = false;
  // The screen refers to the agent: declared after it, destroyed before it.
  std::unique_ptr<wml::TUserAgent> agent;
  std::unique_ptr<wml::TPhoneScreen> screen;
  bool opened = false;
  bool broken = false;
  std::string text;  // the editor's text and file, as last given
  std::string path;
  std::uint64_t job = 0;

  explicit TEngine(std::shared_ptr<net::TNetworkLoader> network) : loader(std::move(network)) {
    loader->SetPhone(phone);
    Build();
  }

  // A fresh agent and screen: nothing shown, nothing kept.
  void Build() {
    screen.reset();
    agent = std::make_unique<wml::TUserAgent>();
    ConnectNetwork();
    screen = std::make_unique<wml::TPhoneScreen>(*agent, *phone);
    opened = false;
  }

  void ConnectNetwork() { agent->SetNetwork(network ? loader->AsFetch() : wml::TNetworkFetch()); }

  void SetPhone(const wml::TPhoneProfile* profile) {
    phone = profile;
    loader->SetPhone(profile);
    screen->SetProfile(*profile);
  }

  void OpenDeck(std::optional<wml::TDeck> parsed) {
    if (broken) Build();
    broken = false;
    agent->Open(text, path, std::move(parsed));
    screen->ResetScroll();
    opened = true;
  }

  std::optional<std::int64_t> TimerDue() const {
    if (!opened || broken) return std::nullopt;
    return agent->TimerDueInMs();
  }

  // A card as the views name it: "#id", or "#(без id)"; a card of another
  // deck file than the editor's is preceded by that file's name.
  std::string CardName(const std::string& deckPath, const std::string& cardId) const {
    // A deck from the network is named by its address.
    std::string name = deckPath == path ? std::string()
                       : wml::TUserAgent::IsNetworkAddress(deckPath)
                           ? CutUtf8(deckPath, kShownLabelBytes)
                           : FileName(deckPath);
    return name +
           (cardId.empty() ? std::string("#(без id)") : "#" + CutUtf8(cardId, kShownLabelBytes));
  }

  // Stops a step whose context outgrew the guard.
  void Guard() const {
    std::size_t bytes = 0;
    for (const auto& [name, value] : agent->Variables()) bytes += name.size() + value.size();
    if (bytes > kContextGuardBytes)
      throw TGuardStop("Переменные колоды заняли " + std::to_string(bytes / 1024) +
                       " КБ: эмулятор остановил колоду. Редактор и текст не затронуты. "
                       "Нажмите «Сначала».");
  }

  void Snapshot(TEmulatorFrame& frame) {
    frame.Image = screen->Render();
    frame.LeftLabel = CutText(agent->SoftKeyLabel(0).Label, kShownLabelBytes);
    frame.RightLabel = CutText(agent->SoftKeyLabel(1).Label, kShownLabelBytes);
    frame.HasCard = agent->Card() != nullptr;
    frame.CardId = agent->CardId();
    frame.DeckPath = agent->DeckPath();
    frame.OtherDeck = opened && agent->DeckPath() != path;
    QString status;
    if (agent->Request())
      status = QStringLiteral("Телефон отправил бы запрос (ничего не отправлено):\n") +
               CutText(agent->Request()->Describe(), kShownStatusBytes);
    else if (!agent->Error().empty())
      status = CutText(agent->Error(), kShownStatusBytes);
    else if (agent->Card())
      status = agent->CardId().empty()
                   ? QStringLiteral("Карта без id")
                   : QStringLiteral("Карта #%1").arg(CutText(agent->CardId(), kShownLabelBytes));
    if (frame.OtherDeck && agent->Card() && wml::TUserAgent::IsNetworkAddress(frame.DeckPath))
      status =
          QStringLiteral("Адрес %1. %2").arg(CutText(frame.DeckPath, kShownLabelBytes), status);
    else if (frame.OtherDeck && agent->Card())
      status = QStringLiteral("Файл %1. %2")
                   .arg(QString::fromStdString(FileName(frame.DeckPath)), status);
    frame.Status = status;
    frame.Network = network;
    if (const auto source = agent->ErrorSource())
      frame.ScriptError = TEmulatorFrame::TScriptError{source->Path, source->Line, source->Column,
                                                       CutUtf8(agent->Error(), kShownMessageBytes)};
    frame.Exchange = CutUtf8(agent->LastExchange(), 4 * kShownStatusBytes);
    frame.Variables.clear();
    for (const auto& [name, value] : agent->Variables()) {
      if (frame.Variables.size() == kShownVariables) break;
      frame.Variables.push_back(
          {CutUtf8(name, kShownValueBytes), CutUtf8(value, kShownValueBytes), value.size()});
    }
    // The history as the agent keeps it, oldest first, the newest shown.
    frame.History.clear();
    const auto history = agent->History();
    const std::size_t from = history.size() > kShownHistory ? history.size() - kShownHistory : 0;
    for (std::size_t i = from; i < history.size(); ++i)
      frame.History.push_back(CardName(history[i].DeckPath, history[i].CardId));
  }
};

struct TEmulatorWorker::TShared {
  struct TJob {
    std::uint64_t Number = 0;
    int Kind = kOtherJob;
    std::function<void(TEngine&, TEmulatorFrame&)> Run;
  };
  std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable ended;
  std::deque<TJob> jobs;
  std::uint64_t posted = 0;
  bool cancelled = false;
  bool finished = false;
  TDeliver deliver;
  TFaultHook hook;
  // The network client outlives the worker with the thread that uses it.
  std::shared_ptr<net::TNetworkLoader> loader = std::make_shared<net::TNetworkLoader>();
};

namespace {

using TShared = TEmulatorWorker::TShared;
using TEngine = TEmulatorWorker::TEngine;

// One step behind the boundary: whatever the engine throws becomes a Russian
// message on the frame, and the engine is rebuilt so that nothing of the
// failed step stays in memory.
std::shared_ptr<TEmulatorFrame> RunStep(TEngine& engine, const TShared::TJob* job,
                                        const TEmulatorWorker::TFaultHook& hook) {
  auto frame = std::make_shared<TEmulatorFrame>();
  frame->Job = engine.job;
  QString failure;
  try {
    if (job) {
      if (hook) hook(job->Kind == kTextJob ? "text" : "key");
      job->Run(engine, *frame);
    } else {
      if (hook) hook("timer");
      engine.agent->Poll();
    }
    if (engine.opened) engine.Guard();
    engine.Snapshot(*frame);
    return frame;
  } catch (const TGuardStop& stop) {
    failure = QString::fromStdString(stop.what());
  } catch (const std::bad_alloc&) {
    failure = QStringLiteral(
        "Эмулятору не хватило памяти на эту колоду: он её остановил. Редактор и текст не "
        "затронуты. Нажмите «Сначала».");
  } catch (const std::exception& error) {
    failure = QStringLiteral(
                  "Эмулятор остановлен из-за внутренней ошибки (%1). Редактор и текст не "
                  "затронуты. Нажмите «Сначала».")
                  .arg(QString::fromLocal8Bit(error.what()));
  } catch (...) {
    failure = QStringLiteral(
        "Эмулятор остановлен из-за внутренней ошибки. Редактор и текст не затронуты. Нажмите "
        "«Сначала».");
  }
  try {
    engine.Build();
    engine.broken = true;
    frame->Image = engine.screen->Render();
  } catch (...) {
    frame->Image = QImage();
  }
  frame->LeftLabel.clear();
  frame->RightLabel.clear();
  frame->Variables.clear();
  frame->History.clear();
  frame->CardId.clear();
  frame->HasCard = false;
  frame->OtherDeck = false;
  frame->Failed = true;
  frame->Status = failure;
  return frame;
}

void Loop(const std::shared_ptr<TShared>& shared) {
  {
    TEngine engine(shared->loader);
    for (;;) {
      TShared::TJob job;
      bool timer = false;
      TEmulatorWorker::TFaultHook hook;
      {
        std::unique_lock lock(shared->mutex);
        const auto ready = [&] { return shared->cancelled || !shared->jobs.empty(); };
        if (auto due = engine.TimerDue()) {
          if (!shared->wake.wait_for(
                  lock, std::chrono::milliseconds(std::max<std::int64_t>(0, *due)), ready))
            timer = true;
        } else {
          shared->wake.wait(lock, ready);
        }
        if (shared->cancelled) break;
        if (!timer) {
          job = std::move(shared->jobs.front());
          shared->jobs.pop_front();
          engine.job = job.Number;
        }
        hook = shared->hook;
      }
      std::shared_ptr<TEmulatorFrame> frame = RunStep(engine, timer ? nullptr : &job, hook);
      std::lock_guard lock(shared->mutex);
      if (shared->cancelled) break;
      if (shared->deliver) shared->deliver(std::move(frame));
    }
  }
  std::lock_guard lock(shared->mutex);
  shared->finished = true;
  shared->ended.notify_all();
}

}  // namespace

TEmulatorWorker::TEmulatorWorker(TDeliver deliver) : shared_(std::make_shared<TShared>()) {
  wml::PrepareDeckParser();
  shared_->deliver = std::move(deliver);
  // The thread holds the shared state: it may outlive the worker.
  std::thread([shared = shared_] { Loop(shared); }).detach();
}

TEmulatorWorker::~TEmulatorWorker() {
  // A request under way ends now rather than at its timeout: the thread
  // then finishes its step at once.
  shared_->loader->Cancel();
  std::unique_lock lock(shared_->mutex);
  shared_->cancelled = true;
  shared_->deliver = nullptr;
  shared_->hook = nullptr;
  shared_->jobs.clear();
  shared_->wake.notify_all();
  // An idle worker ends at once; a step that is running (a huge deck's
  // check) is not waited for: it ends on its own or with the process.
  shared_->ended.wait_for(lock, std::chrono::milliseconds(200), [&] { return shared_->finished; });
}

void TEmulatorWorker::SetFaultHook(TFaultHook hook) {
  std::lock_guard lock(shared_->mutex);
  shared_->hook = std::move(hook);
}

std::uint64_t TEmulatorWorker::Post(int kind, std::function<void(TEngine&, TEmulatorFrame&)> job) {
  std::lock_guard lock(shared_->mutex);
  const std::uint64_t number = ++shared_->posted;
  if (kind == kTextJob && !shared_->jobs.empty() && shared_->jobs.back().Kind == kTextJob)
    shared_->jobs.back() = {number, kind, std::move(job)};
  else
    shared_->jobs.push_back({number, kind, std::move(job)});
  shared_->wake.notify_one();
  return number;
}

std::uint64_t TEmulatorWorker::Text(std::string text, std::string path,
                                    const wml::TPhoneProfile* phone) {
  return Post(kTextJob, [text = std::move(text), path = std::move(path), phone](
                            TEngine& engine, TEmulatorFrame& frame) {
    wml::TDeck deck;
    wml::TDeckReport report;
    frame.Script = IsScriptPath(path);
    if (frame.Script)
      CheckScript(text, report);
    else
      ParseAndCheck(text, phone, deck, report);
    frame.HasReport = true;
    if (report.Findings.size() > kShownFindings) {
      frame.FindingsLeftOut = report.Findings.size() - kShownFindings;
      report.Findings.resize(kShownFindings);
    }
    for (wml::TFinding& finding : report.Findings)
      finding.Message = CutUtf8(finding.Message, kShownMessageBytes);
    frame.Findings = std::move(report.Findings);
    frame.CompiledSize = report.CompiledSize;
    frame.OfferEncoding = !frame.Script && NeedsEncodingDeclaration(text);
    // A script is not a deck: the phone's screen stays as it was; decks
    // reach the script through their links, and run its text as edited.
    if (frame.Script) {
      engine.agent->SetEditedScript(path, text);
      return;
    }
    engine.agent->SetEditedScript({}, {});
    if (phone != engine.phone) engine.SetPhone(phone);
    if (!engine.opened || engine.broken) {
      engine.text = text;
      engine.path = path;
      engine.OpenDeck(std::move(deck));
      return;
    }
    if (path != engine.path) engine.agent->SetDeckPath(path);
    engine.path = path;
    if (text != engine.text) {
      engine.text = text;
      engine.agent->Reload(text, std::move(deck));
    }
  });
}

std::uint64_t TEmulatorWorker::Path(std::string path) {
  return Post(kOtherJob, [path = std::move(path)](TEngine& engine, TEmulatorFrame&) {
    if (engine.opened && !engine.broken && path != engine.path) engine.agent->SetDeckPath(path);
    engine.path = path;
  });
}

std::uint64_t TEmulatorWorker::Phone(const wml::TPhoneProfile* phone) {
  return Post(kOtherJob, [phone](TEngine& engine, TEmulatorFrame&) { engine.SetPhone(phone); });
}

std::uint64_t TEmulatorWorker::Key(TPhoneKey key) {
  return Post(kOtherJob, [key](TEngine& engine, TEmulatorFrame&) {
    if (!engine.opened || engine.broken) return;
    switch (key) {
      case TPhoneKey::LeftSoft:
        engine.agent->SoftKey(0);
        break;
      case TPhoneKey::RightSoft:
        engine.agent->SoftKey(1);
        break;
      case TPhoneKey::Up:
        engine.screen->Up();
        break;
      case TPhoneKey::Down:
        engine.screen->Down();
        break;
      case TPhoneKey::Left:
        if (!engine.screen->Left()) engine.screen->Up();
        break;
      case TPhoneKey::Right:
        if (!engine.screen->Right()) engine.screen->Down();
        break;
      case TPhoneKey::Select:
        engine.agent->Select();
        break;
      case TPhoneKey::Back:
        engine.agent->Back();
        break;
    }
  });
}

std::uint64_t TEmulatorWorker::Type(std::string utf8) {
  return Post(kOtherJob, [utf8 = std::move(utf8)](TEngine& engine, TEmulatorFrame&) {
    if (engine.opened && !engine.broken) engine.agent->Type(utf8);
  });
}

std::uint64_t TEmulatorWorker::Erase() {
  return Post(kOtherJob, [](TEngine& engine, TEmulatorFrame&) {
    if (engine.opened && !engine.broken && !engine.agent->Erase()) engine.agent->Back();
  });
}

std::uint64_t TEmulatorWorker::Network(bool on) {
  return Post(kOtherJob, [on](TEngine& engine, TEmulatorFrame&) {
    engine.network = on;
    engine.ConnectNetwork();
  });
}

bool TEmulatorWorker::CancelRequest() { return shared_->loader->Cancel(); }

bool TEmulatorWorker::Fetching() const { return shared_->loader->Busy(); }

std::uint64_t TEmulatorWorker::Restart() {
  return Post(kOtherJob, [](TEngine& engine, TEmulatorFrame&) {
    engine.loader->ClearCookies();
    if (!engine.opened || engine.broken) {
      engine.OpenDeck(std::nullopt);
      return;
    }
    engine.agent->Restart();
    engine.screen->ResetScroll();
  });
}

}  // namespace deckhand
