// Modal questions answered from a script, so widget tests never block on a
// real dialog. Unscripted questions fail the test and answer Cancel.
//
// Prompts and file dialogs take their answers from queues. The print dialogs
// are real dialogs on the program's printer: answerPrint and answerSetup
// play the user, changing the dialog's choices as the user would and
// returning whether the user confirmed; they answer every such dialog until
// replaced.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
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
  std::function<bool(QPrintDialog&)> answerPrint;
  std::function<bool(QPageSetupDialog&)> answerSetup;

  // What the program asked and showed.
  QStringList promptTexts;
  QStringList errors;
  // Of each file dialog, in order: the name offered, the filters (joined
  // by ";;") and the window it was modal to.
  QStringList offeredNames;
  QStringList filters;
  QList<QWidget*> parents;
  int printDialogs = 0;
  int setupDialogs = 0;

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
  std::optional<QString> GetOpenFileName(QWidget* parent, const QStringList& filterList,
                                         const QString& initialPath) override {
    return Next(openPaths, parent, filterList, initialPath);
  }
  std::optional<QString> GetSaveFileName(QWidget* parent, const QStringList& filterList,
                                         const QString& initialPath) override {
    return Next(savePaths, parent, filterList, initialPath);
  }

  bool RunPrintDialog(QPrintDialog& dialog) override {
    ++printDialogs;
    if (!answerPrint) {
      ADD_FAILURE() << "unexpected print dialog";
      return false;
    }
    return answerPrint(dialog);
  }
  bool RunPageSetupDialog(QPageSetupDialog& dialog) override {
    ++setupDialogs;
    if (!answerSetup) {
      ADD_FAILURE() << "unexpected printer set-up dialog";
      return false;
    }
    return answerSetup(dialog);
  }

 private:
  std::optional<QString> Next(std::deque<std::optional<QString>>& queue, QWidget* parent,
                              const QStringList& filterList, const QString& initialPath) {
    offeredNames << initialPath;
    filters << filterList.join(";;");
    parents << parent;
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
