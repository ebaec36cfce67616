// The user agent's events and keys: the card's timer (WML 1.1 §11.7),
// the do elements and soft keys, the select and back keys.
#include "emulator/UserAgent.h"

#include <algorithm>
#include <map>
#include <string>

#include "emulator/EmulatorLimits.h"
#include "emulator/UserAgentInternal.h"

namespace deckhand::wml {

using namespace agent_detail;

void TUserAgent::StartTimer() {
  std::vector<const TNode*> timers;
  for (const TNode& child : card_->Children)
    if (child.IsElement("timer")) timers.push_back(&child);
  if (timers.empty()) return;
  const TNode* timer = timers.front();
  std::string name = timer->AttributeOr("name");
  std::string value = name.empty() ? std::string() : Variable(name);
  if (value.empty()) value = Substitute(timer->AttributeOr("value"));
  // WML 1.1 §11.7: a timeout that is not a positive integral number makes
  // the agent ignore the timer (a zero one disables it).
  std::optional<long long> tenths = PositiveInteger(value);
  if (!tenths) return;
  if (!name.empty()) Assign(name, std::to_string(*tenths));
  timer_ = timer;
  timerDue_ = clock_() + *tenths * 100;
}

std::optional<std::int64_t> TUserAgent::TimerDueInMs() const {
  // A script's dialog holds the card's timer back until it is answered.
  if (!timerDue_ || dialog_) return std::nullopt;
  return std::max<std::int64_t>(0, *timerDue_ - clock_());
}

void TUserAgent::Poll() {
  Guarded([&] {
    if (!timerDue_ || clock_() < *timerDue_ || !card_ || dialog_) return;
    timerDue_.reset();
    if (timer_) {
      std::string name = timer_->AttributeOr("name");
      if (!name.empty()) Assign(name, "0");
    }
    TTask task = EventTask(card_, "ontimer", true);
    error_.clear();
    Run(task);
  });
}

std::vector<const TNode*> TUserAgent::DoElements() const {
  std::vector<const TNode*> result;
  if (!card_) return result;
  std::vector<const TNode*> cardDos;
  FindAll(*card_, "do", cardDos);
  auto nameOf = [](const TNode* element) {
    std::string name = element->AttributeOr("name");
    return name.empty() ? element->AttributeOr("type") : name;
  };
  std::vector<std::string> names;
  for (const TNode* element : cardDos) names.push_back(nameOf(element));
  std::vector<const TNode*> all = cardDos;
  if (deck_.Template) {
    std::vector<const TNode*> templateDos;
    FindAll(*deck_.Template, "do", templateDos);
    for (const TNode* element : templateDos)
      if (std::find(names.begin(), names.end(), nameOf(element)) == names.end())
        all.push_back(element);
  }
  for (const TNode* element : all) {
    TTask task = TaskOf(element);
    if (task.Kind == TTask::TKind::Noop) continue;  // a noop shadows and hides
    result.push_back(element);
  }
  return result;
}

std::string TUserAgent::DoLabel(const TNode* element) const {
  std::string label = Substitute(element->AttributeOr("label"));
  if (!label.empty()) return label;
  std::string type = element->AttributeOr("type");
  if (type == "accept") return "OK";
  if (type == "prev") return "Назад";
  if (type == "help") return "Справка";
  if (type == "reset") return "Сброс";
  if (type == "options") return "Опции";
  if (type == "delete") return "Удалить";
  return "Выбор";
}

TSoftKey TUserAgent::SoftKeyLabel(int key) const {
  if (dialog_) return TSoftKey{key == 0 ? dialog_->Ok : dialog_->Cancel};
  if (request_ || errorScreen_) return key == 1 ? TSoftKey{"Назад"} : TSoftKey{};
  if (menuOpen_) return key == 0 ? TSoftKey{"Выбор"} : TSoftKey{"Назад"};
  std::vector<const TNode*> dos = DoElements();
  if (key == 0) return dos.empty() ? TSoftKey{} : TSoftKey{DoLabel(dos[0])};
  if (dos.size() == 2) return TSoftKey{DoLabel(dos[1])};
  if (dos.size() > 2) return TSoftKey{"Опции", true};
  return {};
}

void TUserAgent::SoftKey(int key) {
  Guarded([&] {
    error_.clear();
    if (dialog_) {
      if (key == 0)
        Select();
      else if (!dialog_->Cancel.empty())
        Back();
      return;
    }
    if (request_ || errorScreen_) {
      if (key == 1) Back();
      return;
    }
    if (menuOpen_) {
      if (key == 0)
        Select();
      else
        Back();
      return;
    }
    std::vector<const TNode*> dos = DoElements();
    if (key == 0 && !dos.empty()) {
      Run(TaskOf(dos[0]));
    } else if (key == 1 && dos.size() == 2) {
      Run(TaskOf(dos[1]));
    } else if (key == 1 && dos.size() > 2) {
      menuOpen_ = true;
      focusables_.clear();
      for (std::size_t i = 1; i < dos.size(); ++i)
        focusables_.push_back({TFocusKind::Menu, dos[i]});
      focus_ = 0;
    }
  });
}

void TUserAgent::Select() {
  Guarded([&] {
    error_.clear();
    if (dialog_) {
      AnswerDialog({dialog_->Input, true});
      return;
    }
    if (request_ || errorScreen_) return;
    if (focus_ < 0 || focus_ >= static_cast<int>(focusables_.size())) return;
    TFocusable item = focusables_[focus_];
    switch (item.Kind) {
      case TFocusKind::Menu: {
        menuOpen_ = false;
        TTask task = TaskOf(item.Node);
        // Closing the menu gives the card its own keys back.
        focusables_.clear();
        int optionIndex = 0;
        if (card_) CollectFocusables(*card_, nullptr, optionIndex);
        focus_ = focusables_.empty() ? -1 : 0;
        Run(task);
        break;
      }
      case TFocusKind::Link: {
        if (item.Node->Name == "a") {
          TTask task;
          task.Kind = TTask::TKind::Go;
          task.Href = item.Node->AttributeOr("href");
          Run(task);
        } else {
          Run(TaskOf(item.Node));
        }
        break;
      }
      case TFocusKind::Option: {
        std::vector<bool>& chosen = selects_[item.Select];
        if (item.OptionIndex >= static_cast<int>(chosen.size())) break;
        if (item.Select->AttributeOr("multiple") == "true") {
          chosen[item.OptionIndex] = !chosen[item.OptionIndex];
        } else {
          std::fill(chosen.begin(), chosen.end(), false);
          chosen[item.OptionIndex] = true;
        }
        CommitSelect(item.Select);
        Run(EventTask(item.Node, "onpick", false));
        break;
      }
      case TFocusKind::Input:
        break;
    }
  });
}

void TUserAgent::Back() {
  Guarded([&] {
    error_.clear();
    if (dialog_) {
      AnswerDialog({"", false});
      return;
    }
    if (request_ || errorScreen_) {
      request_.reset();
      errorScreen_.reset();
      return;
    }
    if (menuOpen_) {
      menuOpen_ = false;
      focusables_.clear();
      int optionIndex = 0;
      if (card_) CollectFocusables(*card_, nullptr, optionIndex);
      focus_ = focusables_.empty() ? -1 : 0;
      return;
    }
    TTask task;
    task.Kind = TTask::TKind::Prev;
    Run(task);
  });
}

}  // namespace deckhand::wml
