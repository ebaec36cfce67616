// A browser for the tests: variables in a map, the user's answers from
// queues, and every call recorded in order.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "wmlscript/Interpreter.h"

namespace deckhand::wmlscript::testing {

class TFakeBrowser : public TBrowser {
 public:
  std::map<std::string, std::string> Vars;
  std::deque<std::string> PromptAnswers;
  std::deque<bool> ConfirmAnswers;
  std::vector<std::string> Calls;
  std::string Card = "deck.wml#card1";
  std::string RefererUrl = "deck.wml#card1";
  std::map<std::string, TLoaded> Resources;

  std::string GetVar(const std::string& name) override {
    auto it = Vars.find(name);
    return it == Vars.end() ? "" : it->second;
  }
  void SetVar(const std::string& name, const std::string& value) override {
    Calls.push_back("setVar " + name + "=" + value);
    Vars[name] = value;
  }
  void NewContext() override {
    Calls.push_back("newContext");
    Vars.clear();
  }
  std::string CurrentCard() override { return Card; }
  void Refresh() override { Calls.push_back("refresh"); }
  std::string Prompt(const std::string& message, const std::string& defaultInput) override {
    Calls.push_back("prompt " + message + "|" + defaultInput);
    if (PromptAnswers.empty()) return defaultInput;
    std::string answer = PromptAnswers.front();
    PromptAnswers.pop_front();
    return answer;
  }
  bool Confirm(const std::string& message, const std::string& ok,
               const std::string& cancel) override {
    Calls.push_back("confirm " + message + "|" + ok + "|" + cancel);
    if (ConfirmAnswers.empty()) return true;
    const bool answer = ConfirmAnswers.front();
    ConfirmAnswers.pop_front();
    return answer;
  }
  void Alert(const std::string& message) override { Calls.push_back("alert " + message); }
  std::string Referer() override { return RefererUrl; }
  std::optional<TLoaded> Load(const std::string& url) override {
    Calls.push_back("load " + url);
    auto it = Resources.find(url);
    if (it == Resources.end()) return std::nullopt;
    return it->second;
  }
};

}  // namespace deckhand::wmlscript::testing
