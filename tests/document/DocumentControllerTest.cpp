// The document commands with scripted answers from the window: the path's
// state table, the save prompt of New and of the close query, and what a
// failure leaves behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/CodeBuffer.h"
#include "core/Errors.h"
#include "core/MarkupCommands.h"
#include "document/DocumentController.h"
#include "document/DocumentFiles.h"
#include "document/DocumentWindow.h"

namespace deckhand {
namespace {

// Plays the user: answers from queues, and records every call in order as
// "prompt", "open <offered name>", "save <offered name>" or "panel <text>".
class TScriptedWindow : public TDocumentWindow {
 public:
  std::deque<TSaveAnswer> promptAnswers;
  std::deque<std::optional<QString>> openAnswers;
  std::deque<std::optional<QString>> saveAnswers;
  std::vector<QString> calls;
  QString panel;
  QString lastOpenFilter;
  QString lastSaveFilter;

  TSaveAnswer AskSaveChanges() override {
    calls.push_back("prompt");
    if (promptAnswers.empty()) {
      ADD_FAILURE() << "unexpected save prompt";
      return TSaveAnswer::Cancel;
    }
    const TSaveAnswer answer = promptAnswers.front();
    promptAnswers.pop_front();
    return answer;
  }
  std::optional<QString> ExecuteOpenDialog(const QString& filter,
                                           const QString& fileName) override {
    calls.push_back("open " + fileName);
    lastOpenFilter = filter;
    return Next(openAnswers, "open dialog");
  }
  std::optional<QString> ExecuteSaveDialog(const QString& filter,
                                           const QString& fileName) override {
    calls.push_back("save " + fileName);
    lastSaveFilter = filter;
    return Next(saveAnswers, "save dialog");
  }
  void SetPathPanel(const QString& text) override {
    calls.push_back("panel " + text);
    panel = text;
  }
  TSaveAnswer AskOverwriteChangedFile(const QString& path) override {
    calls.push_back("changed " + path);
    if (changedAnswers.empty()) {
      ADD_FAILURE() << "unexpected question about a changed file";
      return TSaveAnswer::Cancel;
    }
    const TSaveAnswer answer = changedAnswers.front();
    changedAnswers.pop_front();
    return answer;
  }
  void TextMatchesFile() override { ++settled; }

  std::deque<TSaveAnswer> changedAnswers;
  int settled = 0;

 private:
  static std::optional<QString> Next(std::deque<std::optional<QString>>& answers,
                                     const char* what) {
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected " << what;
      return std::nullopt;
    }
    const bool chosen = answers.front().has_value();
    const QString name = answers.front().value_or(QString());
    answers.pop_front();
    if (!chosen) return std::nullopt;
    return name;
  }
};

std::string ReadBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll().toStdString();
}

void WriteBytes(const QString& path, const std::string& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::string TemplateText() {
  TMemoryBuffer buffer;
  ApplyNewDocumentTemplate(buffer);
  return buffer.GetText();
}

// The state right after start-up: the template, no path, empty panel.
class DocumentController : public ::testing::Test {
 protected:
  DocumentController() : controller_(buffer_, window_) {
    controller_.CreatenewlmClick();
    window_.calls.clear();
  }

  QString Path(const QString& name) const { return folder_.filePath(name); }

  // The user's own edit: sets the modified flag and leaves a selection.
  void Edit(const std::string& text) {
    buffer_.Select(0, 0);
    buffer_.SetSelText(text);
    buffer_.Select(2, 5);
  }

  // Runs action, expecting the silent abort.
  template <typename Action>
  void ExpectAbort(Action action) {
    EXPECT_THROW(action(), EAbort);
  }

  QTemporaryDir folder_;
  TMemoryBuffer buffer_;
  TScriptedWindow window_;
  TDocumentController controller_;
};

TEST_F(DocumentController, SaveWithoutPathAsksForANameAndAppendsWml) {
  window_.saveAnswers = {std::nullopt};
  controller_.SaveButtonClick();
  EXPECT_EQ(window_.calls, std::vector<QString>({"save "}));
  EXPECT_EQ(window_.lastSaveFilter, QString::fromUtf8("WML файлы (*.wml)|*.wml|"));
  EXPECT_TRUE(controller_.DocumentPath().isEmpty());
  EXPECT_TRUE(QDir(folder_.path()).isEmpty());

  window_.calls.clear();
  window_.saveAnswers = {Path("index")};
  controller_.SaveButtonClick();
  EXPECT_EQ(controller_.DocumentPath(), Path("index.wml"));
  EXPECT_EQ(window_.calls, std::vector<QString>({"save ", "panel " + Path("index.wml")}));
  EXPECT_EQ(ReadBytes(Path("index.wml")), TemplateText());
  EXPECT_FALSE(QFile::exists(Path("index")));

  // Save again: the same file, no dialog, the panel set again.
  Edit("again ");
  window_.calls.clear();
  controller_.SaveButtonClick();
  EXPECT_EQ(window_.calls, std::vector<QString>({"panel " + Path("index.wml")}));
  EXPECT_EQ(ReadBytes(Path("index.wml")), buffer_.GetText());
  // Saving does not clear the modified flag.
  EXPECT_TRUE(buffer_.GetModified());
}

TEST_F(DocumentController, WmlIsAppendedUnlessThePathContainsIt) {
  EXPECT_EQ(PathWithWmlExtension("/docs/index"), "/docs/index.wml");
  EXPECT_EQ(PathWithWmlExtension("/docs/INDEX.WML"), "/docs/INDEX.WML.wml");
  EXPECT_EQ(PathWithWmlExtension("/docs/page.wmlx"), "/docs/page.wmlx");
  EXPECT_EQ(PathWithWmlExtension("/site.wml/index"), "/site.wml/index");
  EXPECT_EQ(PathWithWmlExtension("/docs/a.wml"), "/docs/a.wml");

  // Save As offers the current path and writes the names as chosen.
  ASSERT_TRUE(QDir(folder_.path()).mkdir("site.wml"));
  window_.saveAnswers = {Path("INDEX.WML"), Path("page.wmlx"), Path("site.wml/index")};
  controller_.N8Click();
  controller_.N8Click();
  controller_.N8Click();
  EXPECT_EQ(window_.calls,
            std::vector<QString>({"save ", "panel " + Path("INDEX.WML.wml"),
                                  "save " + Path("INDEX.WML.wml"), "panel " + Path("page.wmlx"),
                                  "save " + Path("page.wmlx"), "panel " + Path("site.wml/index")}));
  EXPECT_EQ(ReadBytes(Path("INDEX.WML.wml")), TemplateText());
  EXPECT_EQ(ReadBytes(Path("page.wmlx")), TemplateText());
  EXPECT_EQ(ReadBytes(Path("site.wml/index")), TemplateText());
  EXPECT_EQ(controller_.DocumentPath(), Path("site.wml/index"));

  // A cancelled Save As changes nothing; an empty answer counts as cancel.
  window_.calls.clear();
  window_.saveAnswers = {std::nullopt, QString()};
  controller_.N8Click();
  controller_.N8Click();
  EXPECT_EQ(controller_.DocumentPath(), Path("site.wml/index"));
  EXPECT_EQ(window_.panel, Path("site.wml/index"));
  EXPECT_EQ(window_.calls.size(), 2u);
}

TEST_F(DocumentController, FailedSaveAsKeepsTheChosenNameButNotThePanel) {
  window_.saveAnswers = {Path("first")};
  controller_.N8Click();
  window_.calls.clear();

  const QString missing = Path("missing/page");
  window_.saveAnswers = {missing};
  try {
    controller_.N8Click();
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + missing.toStdString() +
                                             ".wml\". No such file or directory");
  }
  EXPECT_EQ(controller_.DocumentPath(), missing + ".wml");
  EXPECT_EQ(window_.panel, Path("first.wml"));

  // The next Save tries that name again, without a dialog.
  window_.calls.clear();
  EXPECT_THROW(controller_.SaveButtonClick(), EFCreateError);
  EXPECT_TRUE(window_.calls.empty());
  ASSERT_TRUE(QDir(folder_.path()).mkdir("missing"));
  controller_.SaveButtonClick();
  EXPECT_EQ(window_.calls, std::vector<QString>({"panel " + missing + ".wml"}));
  EXPECT_EQ(ReadBytes(missing + ".wml"), TemplateText());
}

TEST_F(DocumentController, FailedSaveKeepsPathPanelAndFormerFile) {
  window_.saveAnswers = {Path("index.wml")};
  controller_.SaveButtonClick();
  ASSERT_TRUE(QFile::remove(Path("index.wml")));
  ASSERT_TRUE(QDir(folder_.path()).mkdir("index.wml"));
  window_.calls.clear();
  EXPECT_THROW(controller_.SaveButtonClick(), EFCreateError);
  EXPECT_EQ(controller_.DocumentPath(), Path("index.wml"));
  EXPECT_EQ(window_.panel, Path("index.wml"));
  EXPECT_TRUE(window_.calls.empty());
}

TEST_F(DocumentController, NewAlwaysAsksAndCancelChangesNothing) {
  window_.saveAnswers = {Path("kept.wml")};
  controller_.SaveButtonClick();
  Edit("edited ");
  const std::string text = buffer_.GetText();
  window_.calls.clear();

  window_.promptAnswers = {TSaveAnswer::Cancel};
  ExpectAbort([&] { controller_.ToolButton1Click(); });
  EXPECT_EQ(window_.calls, std::vector<QString>({"prompt"}));
  EXPECT_EQ(buffer_.GetText(), text);
  EXPECT_EQ(buffer_.Anchor(), 2);
  EXPECT_EQ(buffer_.Caret(), 5);
  EXPECT_TRUE(buffer_.GetModified());
  EXPECT_EQ(controller_.DocumentPath(), Path("kept.wml"));
  EXPECT_EQ(window_.panel, Path("kept.wml"));

  // No: the template, no path, empty panel; the next Save asks for a name
  // and leaves the file saved before alone.
  window_.calls.clear();
  window_.promptAnswers = {TSaveAnswer::No};
  controller_.ToolButton1Click();
  EXPECT_EQ(window_.calls, std::vector<QString>({"prompt", "panel "}));
  EXPECT_EQ(buffer_.GetText(), TemplateText());
  EXPECT_TRUE(controller_.DocumentPath().isEmpty());
  window_.calls.clear();
  window_.saveAnswers = {std::nullopt};
  controller_.SaveButtonClick();
  EXPECT_EQ(window_.calls, std::vector<QString>({"save "}));
  EXPECT_EQ(ReadBytes(Path("kept.wml")), TemplateText());

  // Asked even when nothing was modified.
  window_.calls.clear();
  window_.promptAnswers = {TSaveAnswer::No};
  ASSERT_FALSE(buffer_.GetModified());
  controller_.ToolButton1Click();
  EXPECT_EQ(window_.calls, std::vector<QString>({"prompt", "panel "}));
}

TEST_F(DocumentController, NewAnsweredYesSavesFirst) {
  window_.saveAnswers = {Path("work.wml")};
  controller_.SaveButtonClick();
  Edit("mine ");
  const std::string text = buffer_.GetText();
  window_.calls.clear();
  window_.promptAnswers = {TSaveAnswer::Yes};
  controller_.ToolButton1Click();
  EXPECT_EQ(window_.calls, std::vector<QString>({"prompt", "panel " + Path("work.wml"), "panel "}));
  EXPECT_EQ(ReadBytes(Path("work.wml")), text);
  EXPECT_EQ(buffer_.GetText(), TemplateText());
  EXPECT_TRUE(controller_.DocumentPath().isEmpty());

  // Without a path the save dialog is shown; a name chosen there is saved.
  Edit("more ");
  const std::string second = buffer_.GetText();
  window_.calls.clear();
  window_.promptAnswers = {TSaveAnswer::Yes};
  window_.saveAnswers = {Path("second")};
  controller_.ToolButton1Click();
  EXPECT_EQ(window_.calls,
            std::vector<QString>({"prompt", "save ", "panel " + Path("second.wml"), "panel "}));
  EXPECT_EQ(ReadBytes(Path("second.wml")), second);
  EXPECT_TRUE(controller_.DocumentPath().isEmpty());
}

TEST_F(DocumentController, NewIsAbandonedWhenItsSaveIsCancelledOrFails) {
  Edit("unsaved ");
  const std::string text = buffer_.GetText();

  // Yes, then the save dialog cancelled: the unsaved text is not dropped.
  window_.promptAnswers = {TSaveAnswer::Yes};
  window_.saveAnswers = {std::nullopt};
  ExpectAbort([&] { controller_.ToolButton1Click(); });
  EXPECT_EQ(window_.calls, std::vector<QString>({"prompt", "save "}));
  EXPECT_EQ(buffer_.GetText(), text);
  EXPECT_EQ(buffer_.Anchor(), 2);
  EXPECT_EQ(buffer_.Caret(), 5);
  EXPECT_TRUE(controller_.DocumentPath().isEmpty());
  EXPECT_TRUE(window_.panel.isEmpty());

  // Yes, then the save fails: the error travels up, the document stays.
  window_.calls.clear();
  window_.promptAnswers = {TSaveAnswer::Yes};
  window_.saveAnswers = {Path("missing/a.wml")};
  EXPECT_THROW(controller_.ToolButton1Click(), EFCreateError);
  EXPECT_EQ(window_.calls, std::vector<QString>({"prompt", "save "}));
  EXPECT_EQ(buffer_.GetText(), text);
  EXPECT_EQ(controller_.DocumentPath(), Path("missing/a.wml"));
  EXPECT_TRUE(window_.panel.isEmpty());
}

TEST_F(DocumentController, CloseQueryAsksOnlyWhenModified) {
  controller_.FormClose();
  EXPECT_TRUE(window_.calls.empty());

  Edit("changed ");
  window_.promptAnswers = {TSaveAnswer::Cancel};
  ExpectAbort([&] { controller_.FormClose(); });
  window_.promptAnswers = {TSaveAnswer::No};
  controller_.FormClose();
  EXPECT_EQ(window_.calls, std::vector<QString>({"prompt", "prompt"}));
  EXPECT_TRUE(controller_.DocumentPath().isEmpty());

  // Yes with a name chosen: saved, then the window may close. It asks
  // again afterwards, since saving leaves the modified flag set.
  window_.calls.clear();
  window_.promptAnswers = {TSaveAnswer::Yes, TSaveAnswer::No};
  window_.saveAnswers = {Path("closing")};
  controller_.FormClose();
  EXPECT_EQ(ReadBytes(Path("closing.wml")), buffer_.GetText());
  controller_.FormClose();
  EXPECT_EQ(window_.calls,
            std::vector<QString>({"prompt", "save ", "panel " + Path("closing.wml"), "prompt"}));
}

TEST_F(DocumentController, CloseQueryKeepsTheWindowWhenItsSaveIsCancelledOrFails) {
  Edit("unsaved ");
  const std::string text = buffer_.GetText();
  window_.promptAnswers = {TSaveAnswer::Yes};
  window_.saveAnswers = {std::nullopt};
  ExpectAbort([&] { controller_.FormClose(); });
  EXPECT_EQ(buffer_.GetText(), text);
  EXPECT_TRUE(controller_.DocumentPath().isEmpty());

  window_.saveAnswers = {Path("gone/x.wml")};
  window_.promptAnswers = {TSaveAnswer::Yes};
  EXPECT_THROW(controller_.FormClose(), EFCreateError);
  EXPECT_EQ(buffer_.GetText(), text);
  EXPECT_TRUE(window_.panel.isEmpty());
}

TEST_F(DocumentController, OpenMakesTheFileTheDocument) {
  WriteBytes(Path("deck.wml"), "<wml>\n<card/>\n</wml>\n");
  Edit("lost ");
  window_.openAnswers = {std::nullopt};
  controller_.OpenButtonClick();
  EXPECT_EQ(window_.calls, std::vector<QString>({"open "}));
  EXPECT_EQ(window_.lastOpenFilter, QString::fromUtf8("WML файлы (*.wml)|*.wml"));
  EXPECT_TRUE(controller_.LastOpenName().isEmpty());

  // Nothing is asked before unsaved changes are replaced.
  window_.calls.clear();
  window_.openAnswers = {Path("deck.wml")};
  controller_.OpenButtonClick();
  EXPECT_EQ(window_.calls, std::vector<QString>({"open ", "panel " + Path("deck.wml")}));
  EXPECT_EQ(buffer_.GetText(), "<wml>\r\n<card/>\r\n</wml>\r\n");
  EXPECT_EQ(controller_.DocumentPath(), Path("deck.wml"));
  EXPECT_EQ(controller_.LastOpenName(), Path("deck.wml"));

  // Save writes back to the opened file, with CR LF now.
  window_.calls.clear();
  controller_.SaveButtonClick();
  EXPECT_EQ(window_.calls, std::vector<QString>({"panel " + Path("deck.wml")}));
  EXPECT_EQ(ReadBytes(Path("deck.wml")), "<wml>\r\n<card/>\r\n</wml>\r\n");

  // The open dialog offers the last name chosen in it, not the document's.
  window_.saveAnswers = {Path("other")};
  controller_.N8Click();
  window_.calls.clear();
  window_.openAnswers = {std::nullopt};
  controller_.OpenButtonClick();
  EXPECT_EQ(window_.calls, std::vector<QString>({"open " + Path("deck.wml")}));
}

TEST_F(DocumentController, SaveAsksBeforeWritingOverAFileAnotherProgramChanged) {
  WriteBytes(Path("deck.wml"), "<wml/>\r\n");
  window_.openAnswers = {Path("deck.wml")};
  const int settledBefore = window_.settled;
  controller_.OpenButtonClick();
  const int settledAfterOpen = window_.settled;
  EXPECT_EQ(settledAfterOpen, settledBefore + 1);
  Edit("mine ");

  // Unchanged on disk: written without a question, and the text is settled.
  window_.calls.clear();
  controller_.SaveButtonClick();
  EXPECT_EQ(window_.calls, std::vector<QString>({"panel " + Path("deck.wml")}));
  EXPECT_EQ(window_.settled, settledAfterOpen + 1);

  // Another program rewrites the file: Cancel keeps its text and saves
  // nothing; No saves under another name; Yes writes over it.
  WriteBytes(Path("deck.wml"), "theirs, a different size\r\n");
  window_.calls.clear();
  window_.changedAnswers = {TSaveAnswer::Cancel};
  ExpectAbort([&] { controller_.SaveButtonClick(); });
  EXPECT_EQ(window_.calls, std::vector<QString>({"changed " + Path("deck.wml")}));
  EXPECT_EQ(ReadBytes(Path("deck.wml")), "theirs, a different size\r\n");
  EXPECT_EQ(window_.settled, settledAfterOpen + 1);

  window_.calls.clear();
  window_.changedAnswers = {TSaveAnswer::No};
  window_.saveAnswers = {Path("copy.wml")};
  controller_.SaveButtonClick();
  EXPECT_EQ(window_.calls,
            std::vector<QString>({"changed " + Path("deck.wml"), "save " + Path("deck.wml"),
                                  "panel " + Path("copy.wml")}));
  EXPECT_EQ(ReadBytes(Path("deck.wml")), "theirs, a different size\r\n");
  EXPECT_EQ(ReadBytes(Path("copy.wml")), buffer_.GetText());

  // The copy was saved here: the next Save writes it without a question,
  // until another program replaces it (same size, another file).
  window_.calls.clear();
  controller_.SaveButtonClick();
  EXPECT_EQ(window_.calls, std::vector<QString>({"panel " + Path("copy.wml")}));
  const std::string same(buffer_.GetText().size(), 'z');
  WriteBytes(Path("replacement"), same);
  ASSERT_TRUE(QFile::remove(Path("copy.wml")));
  ASSERT_TRUE(QFile::rename(Path("replacement"), Path("copy.wml")));
  window_.calls.clear();
  window_.changedAnswers = {TSaveAnswer::Yes};
  controller_.SaveButtonClick();
  EXPECT_EQ(window_.calls,
            std::vector<QString>({"changed " + Path("copy.wml"), "panel " + Path("copy.wml")}));
  EXPECT_EQ(ReadBytes(Path("copy.wml")), buffer_.GetText());

  // A file that has gone is written anew without a question.
  ASSERT_TRUE(QFile::remove(Path("copy.wml")));
  window_.calls.clear();
  controller_.SaveButtonClick();
  EXPECT_EQ(window_.calls, std::vector<QString>({"panel " + Path("copy.wml")}));
  EXPECT_EQ(ReadBytes(Path("copy.wml")), buffer_.GetText());
}

TEST_F(DocumentController, FailedOpenLeavesTheDocument) {
  window_.saveAnswers = {Path("mine.wml")};
  controller_.SaveButtonClick();
  Edit("edit ");
  const std::string text = buffer_.GetText();
  window_.calls.clear();

  window_.openAnswers = {Path("missing.wml")};
  try {
    controller_.OpenButtonClick();
    ADD_FAILURE() << "no error";
  } catch (const EFOpenError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot open file \"" + Path("missing.wml").toStdString() +
                                             "\". No such file or directory");
  }
  EXPECT_EQ(buffer_.GetText(), text);
  EXPECT_EQ(buffer_.Anchor(), 2);
  EXPECT_EQ(buffer_.Caret(), 5);
  EXPECT_TRUE(buffer_.GetModified());
  EXPECT_EQ(controller_.DocumentPath(), Path("mine.wml"));
  EXPECT_EQ(window_.panel, Path("mine.wml"));
  EXPECT_EQ(window_.calls, std::vector<QString>({"open "}));
  // The dialog keeps the name typed into it.
  EXPECT_EQ(controller_.LastOpenName(), Path("missing.wml"));

  // A file too large for the buffer: the capacity error, nothing changed.
  TMemoryBuffer small(nullptr, 100);
  TScriptedWindow window;
  TDocumentController controller(small, window);
  WriteBytes(Path("big.wml"), std::string(101, 'b'));
  window.openAnswers = {Path("big.wml")};
  EXPECT_THROW(controller.OpenButtonClick(), EInvalidOperation);
  EXPECT_TRUE(small.GetText().empty());
  EXPECT_TRUE(controller.DocumentPath().isEmpty());
  EXPECT_TRUE(window.panel.isEmpty());
}

TEST_F(DocumentController, TextCutAtANulIsNeverSavedOverItsFile) {
  // A deck saved as UTF-16 by another editor, and a program.
  const QString deck = QStringLiteral("<wml>\r\n<card id=\"a\"><p>UTF-16</p></card>\r\n</wml>\r\n");
  std::string utf16 = "\xFF\xFE";
  for (const QChar c : deck) {
    utf16 += static_cast<char>(c.unicode() & 0xFF);
    utf16 += static_cast<char>(c.unicode() >> 8);
  }
  WriteBytes(Path("utf16.wml"), utf16);
  ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/ls"), Path("ls")));
  const std::string program = ReadBytes(Path("ls"));
  ASSERT_NE(program.find('\0'), std::string::npos);

  window_.saveAnswers = {Path("mine.wml")};
  controller_.SaveButtonClick();
  ASSERT_EQ(controller_.DocumentPath(), Path("mine.wml"));
  for (const QString& name : {QStringLiteral("utf16.wml"), QStringLiteral("ls")}) {
    SCOPED_TRACE(name.toStdString());
    const std::string bytes = ReadBytes(Path(name));
    window_.openAnswers = {Path(name)};
    controller_.OpenButtonClick();
    EXPECT_EQ(buffer_.GetText(), AdjustLineBreaks(bytes.substr(0, bytes.find('\0'))));
    EXPECT_TRUE(controller_.DocumentPath().isEmpty());
    EXPECT_TRUE(window_.panel.isEmpty());
    EXPECT_EQ(controller_.LastOpenName(), Path(name));

    // Save asks for a name; cancelled, nothing is written anywhere.
    window_.calls.clear();
    window_.saveAnswers = {std::nullopt};
    controller_.SaveButtonClick();
    EXPECT_EQ(window_.calls, std::vector<QString>({"save "}));
    EXPECT_EQ(ReadBytes(Path(name)), bytes);
  }
  EXPECT_EQ(ReadBytes(Path("utf16.wml")), utf16);
  EXPECT_EQ(buffer_.GetText().size(), 7u) << "the program's text ends at its first NUL";

  // A file without a NUL is the document again, as before.
  WriteBytes(Path("plain.wml"), "<wml/>");
  window_.openAnswers = {Path("plain.wml")};
  controller_.OpenButtonClick();
  EXPECT_EQ(controller_.DocumentPath(), Path("plain.wml"));
  EXPECT_EQ(window_.panel, Path("plain.wml"));
}

TEST(DocumentDialogFilters, GiveOneWmlEntry) {
  const QStringList wml = {QString::fromUtf8(kWmlFilterEntry)};
  EXPECT_EQ(DialogFilterEntries(QString::fromUtf8(kOpenDialogFilter)), wml);
  EXPECT_EQ(DialogFilterEntries(QString::fromUtf8(kSaveDialogFilter)), wml);
  EXPECT_EQ(wml.front(), QString::fromUtf8("WML файлы (*.wml)"));
  EXPECT_EQ(DialogFilterEntries("Pictures|*.png;*.jpg|All (*.*)|*.*|Lone"),
            QStringList({"Pictures (*.png *.jpg)", "All (*.*)"}));
  EXPECT_TRUE(DialogFilterEntries("").isEmpty());
}

}  // namespace
}  // namespace deckhand
