// Modal questions answered from a script, so widget tests never block on a
// real dialog. Unscripted questions fail the test and answer Cancel.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>

#include "ui/UserDialogs.h"

namespace deckhand::testing {

class TScriptedDialogs : public TUserDialogs {
 public:
  TScriptedDialogs() { SetUserDialogs(this); }
  ~TScriptedDialogs() override { SetUserDialogs(nullptr); }

  std::deque<TPromptAnswer> prompts;
  std::deque<std::optional<QString>> openPaths;
  std::deque<std::optional<QString>> savePaths;

  // What the program asked and showed.
  QStringList promptTexts;
  QStringList errors;
  QStringList offeredNames;
  QStringList filters;

  TPromptAnswer AskYesNoCancel(QWidget*, const QString& caption, const QString& text) override {
    promptTexts << caption + "|" + text;
    if (prompts.empty()) {
      ADD_FAILURE() << "unexpected prompt: " << text.toStdString();
      return TPromptAnswer::Cancel;
    }
    const TPromptAnswer answer = prompts.front();
    prompts.pop_front();
    return answer;
  }
  void ShowError(QWidget*, const QString& caption, const QString& text) override {
    errors << caption + "|" + text;
  }
  std::optional<QString> GetOpenFileName(QWidget*, const QStringList& filterList,
                                         const QString& initialPath) override {
    return Next(openPaths, filterList, initialPath);
  }
  std::optional<QString> GetSaveFileName(QWidget*, const QStringList& filterList,
                                         const QString& initialPath) override {
    return Next(savePaths, filterList, initialPath);
  }

 private:
  std::optional<QString> Next(std::deque<std::optional<QString>>& queue,
                              const QStringList& filterList, const QString& initialPath) {
    offeredNames << initialPath;
    filters << filterList.join(";;");
    if (queue.empty()) {
      ADD_FAILURE() << "unexpected file dialog";
      return std::nullopt;
    }
    std::optional<QString> answer = queue.front();
    queue.pop_front();
    return answer;
  }
};

}  // namespace deckhand::testing
