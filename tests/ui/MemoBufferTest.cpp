#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "CodeBufferContract.h"
#include "core/Encoding.h"
#include "core/Errors.h"
#include "core/MarkupCommands.h"
#include "core/TextSearch.h"
#include "document/DocumentController.h"
#include "document/DocumentFiles.h"
#include "ui/MemoBuffer.h"

namespace deckhand::testing {
namespace {

class MemoHarness : public BufferHarness {
 public:
  MemoHarness() : buffer_(&memo_) { QGuiApplication::clipboard()->clear(); }
  TCodeBuffer& Buffer() override { return buffer_; }
  void Select(int anchor, int caret) override { buffer_.Select(anchor, caret); }
  void Type(const std::string& text) override { QTest::keyClicks(&memo_, Cp1251ToUnicode(text)); }
  void SetClipboardText(const std::optional<std::string>& text) override {
    if (text) {
      QGuiApplication::clipboard()->setText(Cp1251ToUnicode(*text));
    } else {
      QGuiApplication::clipboard()->clear();
    }
  }
  std::optional<std::string> ClipboardText() override {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasText()) return std::nullopt;
    return UnicodeToCp1251(data->text());
  }
  bool NormalizesInsertedBreaks() const override { return true; }

  TMemo memo_;
  TMemoBuffer buffer_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Memo, CodeBufferContract, MemoHarness);

// Types text as the keyboard delivers it: one key event per character.
void TypeKeys(QWidget* widget, const QString& text) {
  for (uint codePoint : text.toUcs4()) {
    const char32_t c = codePoint;
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUcs4(&c, 1));
    QApplication::sendEvent(widget, &press);
  }
}

// A text of many lines of varied length, with empty lines and Cyrillic.
std::string ManyLines(int lines, unsigned seed) {
  std::mt19937 random(seed);
  std::string text;
  for (int i = 0; i < lines; ++i) {
    const int length = static_cast<int>(random() % 90);
    for (int j = 0; j < length; ++j) {
      text += (random() % 7 == 0) ? '\xE0' + static_cast<char>(random() % 20)
                                  : 'a' + static_cast<char>(random() % 26);
    }
    text += "\r\n";
  }
  text += "tail";
  return text;
}

TEST(MemoBuffer, PositionsAgreeWithTheInMemoryBufferOnLongTexts) {
  const std::string text = ManyLines(3000, 7);
  MemoHarness memo;
  TMemoryBuffer reference;
  memo.buffer_.SetTextStr(text);
  reference.SetTextStr(text);
  ASSERT_EQ(memo.buffer_.GetText(), text);
  ASSERT_EQ(memo.buffer_.Length(), static_cast<int>(text.size()));
  std::mt19937 random(11);
  for (int i = 0; i < 400; ++i) {
    const int a = static_cast<int>(random() % (text.size() + 1));
    const int b = static_cast<int>(random() % (text.size() + 1));
    EXPECT_EQ(memo.buffer_.LineFromChar(a), reference.LineFromChar(a)) << a;
    const int line = static_cast<int>(random() % 3005);
    EXPECT_EQ(memo.buffer_.LineIndex(line), reference.LineIndex(line)) << line;
    // Positions inside a line break cannot be represented by the editor;
    // compare selections whose ends are not between a CR and its LF.
    if (a > 0 && text[a - 1] == '\r') continue;
    if (b > 0 && text[b - 1] == '\r') continue;
    memo.buffer_.Select(a, b);
    reference.Select(a, b);
    EXPECT_EQ(memo.buffer_.GetSelStart(), reference.GetSelStart());
    EXPECT_EQ(memo.buffer_.GetSelLength(), reference.GetSelLength());
    EXPECT_EQ(memo.buffer_.GetSelText(), reference.GetSelText());
  }
}

TEST(MemoBuffer, EditsKeepTheByteMapping) {
  MemoHarness memo;
  TMemoryBuffer reference;
  const std::string text = ManyLines(200, 3);
  memo.buffer_.SetTextStr(text);
  reference.SetTextStr(text);
  std::mt19937 random(5);
  const std::string pieces[] = {"x", "\r\n", "<b>\r\n</b>", "", Cp1251("ёж\r\n\r\n")};
  for (int i = 0; i < 200; ++i) {
    const int length = static_cast<int>(reference.GetText().size());
    int a = static_cast<int>(random() % (length + 1));
    int b = static_cast<int>(random() % (length + 1));
    const std::string current = reference.GetText();
    if ((a > 0 && current[a - 1] == '\r') || (b > 0 && current[b - 1] == '\r')) continue;
    memo.buffer_.Select(a, b);
    reference.Select(a, b);
    const std::string& piece = pieces[random() % 5];
    memo.buffer_.SetSelText(piece);
    reference.SetSelText(piece);
    ASSERT_EQ(memo.buffer_.GetText(), reference.GetText());
    ASSERT_EQ(memo.buffer_.GetSelStart(), reference.GetSelStart());
  }
}

TEST(MemoBuffer, CharactersOutsideWindows1251BecomeReferences) {
  MemoHarness memo;
  memo.buffer_.SetText("ab");
  memo.buffer_.SetSelStart(1);
  TypeKeys(&memo.memo_, QString::fromUtf8("Ж😀"));
  EXPECT_EQ(memo.buffer_.GetText(), "a\xC6&#128512;b");
  EXPECT_TRUE(memo.buffer_.GetModified());

  // Pasted by the editor's own paste (Ctrl+V with the focus in the editor).
  memo.buffer_.SetSelStart(0);
  QGuiApplication::clipboard()->setText(QString::fromUtf8("中\nЁ\u00A0"));
  memo.memo_.paste();
  EXPECT_EQ(memo.buffer_.GetText(),
            "&#20013;\r\n\xA8\xA0"
            "a\xC6&#128512;b");
}

TEST(MemoBuffer, NoBreakSpacesSurviveTextAndClipboard) {
  MemoHarness memo;
  memo.buffer_.SetText(
      "a\xA0"
      "b");
  EXPECT_EQ(memo.buffer_.GetText(),
            "a\xA0"
            "b");
  memo.buffer_.Select(0, 3);
  memo.memo_.copy();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("a\u00A0b"));
}

TEST(MemoBuffer, EachInsertionIsOneUndoStepAndWholeTextSetsStartAfresh) {
  MemoHarness memo;
  ApplyNewDocumentTemplate(memo.buffer_);
  EXPECT_FALSE(memo.memo_.document()->isUndoAvailable()) << "a new document has no history";
  memo.buffer_.SetSelStart(5);
  memo.buffer_.SetSelLength(3);
  const std::string before = memo.buffer_.GetText();
  WrapSelection(memo.buffer_, "<p align=\"center\">", "</p>");
  InsertNewCard(memo.buffer_);
  memo.memo_.undo();
  memo.memo_.undo();
  EXPECT_EQ(memo.buffer_.GetText(), before) << "two commands, two undo steps";
  memo.memo_.redo();
  EXPECT_NE(memo.buffer_.GetText().find("<p align=\"center\">"), std::string::npos);

  memo.buffer_.SetTextStr("opened\r\n");
  EXPECT_FALSE(memo.memo_.document()->isUndoAvailable());
}

// ---------------------------------------------------------------------------
// Text entering the editor

std::string FileBytes(const QString& path) {
  std::ifstream file(QFile::encodeName(path).toStdString(), std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

void WriteFileBytes(const QString& path, const std::string& bytes) {
  std::ofstream file(QFile::encodeName(path).toStdString(), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Checks that the editor holds exactly what GetText returns, one character
// for each byte: its text, every position both ways, the caret's line and
// column as the status bar computes them, and the file Save writes.
void ExpectEditorMatchesText(TMemoBuffer& buffer, const std::string& expected) {
  const TMemo& memo = *buffer.Memo();
  const QString raw = memo.document()->toRawText();
  std::string shown;
  std::vector<int> byteOf;  // byte position of each editor position
  for (const QChar c : raw) {
    byteOf.push_back(static_cast<int>(shown.size()));
    if (c == QChar::ParagraphSeparator) {
      shown += "\r\n";
      continue;
    }
    EXPECT_NE(c, QChar(QChar::LineSeparator)) << "a line break inside a line";
    bool representable = false;
    shown += UnicodeToCp1251(QString(c), &representable);
    EXPECT_TRUE(representable) << "U+" << std::hex << static_cast<unsigned>(c.unicode())
                               << " in the editor";
  }
  byteOf.push_back(static_cast<int>(shown.size()));
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(buffer.GetText(), expected);
  EXPECT_EQ(buffer.Length(), static_cast<int>(expected.size()));
  for (int p = 0; p < static_cast<int>(byteOf.size()); ++p) {
    ASSERT_EQ(buffer.ByteFromEditor(p), byteOf[p]) << "editor position " << p;
    ASSERT_EQ(buffer.EditorFromByte(byteOf[p]), p) << "byte position " << byteOf[p];
  }
  // The caret panel's line and column are the ones the user sees.
  const QTextCursor cursor = memo.textCursor();
  const int start = buffer.GetSelStart();
  const int line = buffer.LineFromChar(start);
  EXPECT_EQ(line, cursor.blockNumber());
  EXPECT_EQ(start - buffer.LineIndex(line), cursor.positionInBlock());

  QTemporaryDir folder;
  SaveToFile(buffer, folder.filePath("saved.wml"));
  EXPECT_EQ(FileBytes(folder.filePath("saved.wml")), expected);
}

void SendKey(QWidget* widget, int key, Qt::KeyboardModifiers modifiers, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(widget, &press);
}

TEST(MemoBuffer, LinesBeyondTheLongLineLimitWrapAnywhereAndOrdinaryDecksKeepWordWrap) {
  const int limit = static_cast<int>(TMemo::kLongLine);
  EXPECT_EQ(LongestLine(QString()), 0);
  EXPECT_EQ(LongestLine(QStringLiteral("ab\ncde\n")), 3);
  // What is inserted joins the rest of the first and last lines it lands in.
  EXPECT_EQ(LongestLine(QStringLiteral("ab"), 5, 7), 14);
  EXPECT_EQ(LongestLine(QStringLiteral("ab\nc"), 5, 7), 8);

  TMemo memo;
  memo.resize(580, 374);
  TMemoBuffer buffer(&memo);
  ApplyNewDocumentTemplate(buffer);
  EXPECT_EQ(memo.wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);

  // Opening a deck with one line just at the limit keeps word wrap, one
  // character more wraps anywhere; the text is held unchanged either way.
  const std::string atLimit = "<wml>" + std::string(static_cast<size_t>(limit - 5), 'x');
  buffer.SetTextStr(atLimit + "\r\n");
  EXPECT_EQ(memo.wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
  buffer.SetTextStr(atLimit + "y\r\n");
  EXPECT_EQ(memo.wordWrapMode(), QTextOption::WrapAnywhere);
  EXPECT_EQ(buffer.GetText(), atLimit + "y\r\n");
  // The next ordinary document wraps at word boundaries again.
  ApplyNewDocumentTemplate(buffer);
  EXPECT_EQ(memo.wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);

  // A key that makes a line longer than the limit switches the mode.
  buffer.SetTextStr(atLimit + "\r\nshort line\r\n");
  buffer.SetSelStart(limit);
  memo.setFocus();
  QTest::keyClick(&memo, Qt::Key_Z);
  EXPECT_EQ(memo.wordWrapMode(), QTextOption::WrapAnywhere);
  EXPECT_EQ(buffer.GetText(), atLimit + "z\r\nshort line\r\n");

  // A paste that joins a long line to the middle of a short one, and a
  // command's insertion, both switch before the line is laid out.
  for (const bool paste : {true, false}) {
    ApplyNewDocumentTemplate(buffer);
    buffer.SetSelStart(10);
    const std::string piece(static_cast<size_t>(limit - 5), 'q');
    if (paste) {
      QGuiApplication::clipboard()->setText(QString::fromStdString(piece));
      buffer.PasteFromClipboard();
    } else {
      buffer.SetSelText(piece);
    }
    EXPECT_EQ(memo.wordWrapMode(), QTextOption::WrapAnywhere) << paste;
  }
}

// ---------------------------------------------------------------------------
// Long lines

// A line of the given length without a space, as a minified deck has.
std::string LongLineOf(size_t length) {
  std::string line = "<wml>";
  line.resize(length - 6, 'x');
  return line + "</wml>";
}

bool ShapesText(const TMemo& memo) {
  return (memo.document()->defaultFont().styleStrategy() & QFont::PreferNoShaping) == 0;
}

// Paints the editor and checks that every line it has laid out is laid
// out in the wrap mode of the editor's current mode.
void ExpectLaidOutInCurrentMode(TMemo& memo) {
  memo.viewport()->repaint();
  int laidOut = 0;
  for (QTextBlock block = memo.document()->firstBlock(); block.isValid(); block = block.next()) {
    if (block.layout()->lineCount() == 0) continue;
    ++laidOut;
    EXPECT_EQ(block.layout()->textOption().wrapMode(), memo.wordWrapMode())
        << "line " << block.blockNumber();
  }
  EXPECT_GT(laidOut, 0);
}

struct ShownMemo {
  ShownMemo() : buffer(&memo) {
    memo.resize(580, 374);
    memo.show();
  }
  TMemo memo;
  TMemoBuffer buffer;
};

TEST(MemoBufferLongLine, TypingUndoRedoAndFindKeepTheLongLineExact) {
  ShownMemo shown;
  TMemoBuffer& buffer = shown.buffer;
  const std::string line = LongLineOf(30000);
  const std::string text = "<?xml version=\"1.0\"?>\r\n" + line + "\r\n\xEA\xEE\xED\xE5\xF6";
  buffer.SetTextStr(text);
  ASSERT_TRUE(shown.memo.LongLineMode());
  EXPECT_FALSE(ShapesText(shown.memo));
  shown.memo.viewport()->repaint();

  // Keys typed in the middle of the long line, then Enter there.
  const int middle = static_cast<int>(text.find(line)) + 15000;
  buffer.SetSelStart(middle);
  TypeKeys(&shown.memo, QStringLiteral("ab"));
  std::string typed = text;
  typed.insert(static_cast<size_t>(middle), "ab");
  ExpectEditorMatchesText(buffer, typed);
  EXPECT_EQ(buffer.LineFromChar(buffer.GetSelStart()), 1);
  EXPECT_EQ(buffer.GetSelStart() - buffer.LineIndex(1), 15002);
  SendKey(&shown.memo, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
  std::string split = typed;
  split.insert(static_cast<size_t>(middle) + 2, "\r\n");
  ExpectEditorMatchesText(buffer, split);
  EXPECT_TRUE(shown.memo.LongLineMode()) << "both halves are long";

  shown.memo.undo();
  EXPECT_EQ(buffer.GetText(), typed);
  shown.memo.undo();
  ExpectEditorMatchesText(buffer, text);
  shown.memo.redo();
  shown.memo.redo();
  ExpectEditorMatchesText(buffer, split);
  shown.memo.viewport()->repaint();

  // Find reaches the end of the long line and shows it.
  buffer.SetSelStart(0);
  ASSERT_TRUE(FindNext(buffer, "</wml>", TSearchOptions{}));
  EXPECT_EQ(buffer.GetSelStart(), static_cast<int>(split.find("</wml>")));
  EXPECT_EQ(buffer.GetSelLength(), 6);
  EXPECT_EQ(buffer.GetSelText(), "</wml>");
  EXPECT_TRUE(shown.memo.viewport()->rect().intersects(shown.memo.cursorRect()));
  EXPECT_EQ(buffer.GetText(), split);
}

TEST(MemoBufferLongLine, TheModeEndsWithTheLastLongLineAndComesBackWithIt) {
  ShownMemo shown;
  TMemo& memo = shown.memo;
  TMemoBuffer& buffer = shown.buffer;
  const int shortLimit = static_cast<int>(TMemo::kShortLine);
  const std::string head = "<wml>\r\n";
  const std::string line = LongLineOf(10000);
  buffer.SetTextStr(head + line + "\r\n</wml>");
  ASSERT_TRUE(memo.LongLineMode());
  EXPECT_EQ(memo.LinesOverShortLimit(), 1);

  // The long line removed: ordinary wrapping and shaping again.
  const int start = buffer.LineIndex(1);
  buffer.Select(start, buffer.LineIndex(2));
  buffer.SetSelText("");
  EXPECT_FALSE(memo.LongLineMode());
  EXPECT_EQ(memo.wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
  EXPECT_TRUE(ShapesText(memo));
  EXPECT_EQ(buffer.GetText(), head + "</wml>");
  ExpectLaidOutInCurrentMode(memo);
  // Undo brings it back, and the mode with it.
  memo.undo();
  EXPECT_TRUE(memo.LongLineMode());
  EXPECT_FALSE(ShapesText(memo));
  EXPECT_EQ(buffer.GetText(), head + line + "\r\n</wml>");
  ExpectLaidOutInCurrentMode(memo);

  // Shortened, the line keeps the mode while it is longer than the lower
  // limit and ends it when it is not.
  buffer.Select(start + shortLimit + 1, start + static_cast<int>(line.size()));
  buffer.SetSelText("");
  EXPECT_TRUE(memo.LongLineMode());
  buffer.SetSelStart(start + shortLimit + 1);
  SendKey(&memo, Qt::Key_Backspace, Qt::NoModifier, QString());
  EXPECT_FALSE(memo.LongLineMode());
  EXPECT_EQ(buffer.GetText(),
            head + line.substr(0, static_cast<size_t>(shortLimit)) + "\r\n</wml>");

  // Two lines below the upper limit joined into one above it, then split
  // again and removed one by one: the count follows every line that goes.
  const std::string half(3000, 'q');
  buffer.SetTextStr(half + "\r\n" + half + "\r\nend");
  EXPECT_FALSE(memo.LongLineMode());
  EXPECT_EQ(memo.LinesOverShortLimit(), 2);
  buffer.Select(3000, 3002);
  buffer.SetSelText("");
  EXPECT_TRUE(memo.LongLineMode());
  EXPECT_EQ(memo.LinesOverShortLimit(), 1);
  buffer.SetSelStart(3000);
  buffer.SetSelText("\r\n");
  EXPECT_EQ(memo.LinesOverShortLimit(), 2);
  EXPECT_TRUE(memo.LongLineMode());
  buffer.Select(0, 3002);
  buffer.SetSelText("");
  EXPECT_TRUE(memo.LongLineMode());
  buffer.Select(0, 3000);
  buffer.SetSelText("");
  EXPECT_EQ(memo.LinesOverShortLimit(), 0);
  EXPECT_FALSE(memo.LongLineMode());
  EXPECT_EQ(buffer.GetText(), "\r\nend");

  // A new font for the editor keeps the long-line document unshaped.
  buffer.SetTextStr(line);
  QFont larger = memo.font();
  larger.setPixelSize(23);
  memo.setFont(larger);
  EXPECT_FALSE(ShapesText(memo));
  EXPECT_EQ(memo.document()->defaultFont().pixelSize(), 23);
}

// An opened deck is laid out for the editor's own width when it is shown,
// not before: a point on the screen leads to the same place in the text
// as the caret shown there, on the long line and on the lines after it.
TEST(MemoBufferLongLine, AnOpenedDeckIsLaidOutForTheEditorsWidth) {
  for (const size_t length : {size_t{200}, size_t{20000}}) {
    ShownMemo shown;
    TMemo& memo = shown.memo;
    const std::string text = "<wml>\r\n" + LongLineOf(length) + "\r\n<p>a b</p>\r\n</wml>";
    shown.buffer.SetTextStr(text);
    memo.viewport()->repaint();
    const QTextBlock line = memo.document()->findBlockByNumber(1);
    ASSERT_GT(line.layout()->lineCount(), 0);
    EXPECT_GT(line.layout()->lineCount(), 1) << length;
    for (int row = 0; row < line.layout()->lineCount(); ++row) {
      EXPECT_LE(line.layout()->lineAt(row).naturalTextWidth(), memo.viewport()->width());
    }
    for (const int position : {line.position() + 30, line.position() + 150,
                               memo.document()->lastBlock().position() + 2}) {
      QTextCursor cursor = memo.textCursor();
      cursor.setPosition(position);
      memo.setTextCursor(cursor);
      EXPECT_EQ(memo.cursorForPosition(memo.cursorRect().center()).position(), position)
          << length << " " << position;
    }
    EXPECT_EQ(shown.buffer.GetText(), text);
  }
}

TEST(MemoBufferInput, TypedTextIsHeldAsItIsSaved) {
  MemoHarness memo;
  memo.buffer_.SetText("ab");
  memo.buffer_.SetSelStart(1);
  // An emoji, a zero-width joiner, a private-use character, a Cyrillic
  // letter, then Enter with Shift, on the keypad with Shift, and plain.
  TypeKeys(&memo.memo_, QString::fromUtf8("😀\u200D\uE000ж"));
  SendKey(&memo.memo_, Qt::Key_Return, Qt::ShiftModifier, QStringLiteral("\r"));
  SendKey(&memo.memo_, Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier, QStringLiteral("\r"));
  SendKey(&memo.memo_, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
  TypeKeys(&memo.memo_, QStringLiteral("c"));
  ExpectEditorMatchesText(memo.buffer_, "a&#128512;&#8205;&#57344;\xE6\r\n\r\n\r\ncb");
  EXPECT_TRUE(memo.buffer_.GetModified());
  // Ctrl+letter is a command, not text.
  SendKey(&memo.memo_, Qt::Key_A, Qt::ControlModifier, QStringLiteral("\x01"));
  EXPECT_EQ(memo.buffer_.GetText().find('\x01'), std::string::npos);
}

TEST(MemoBufferInput, InputMethodPasteDropAndUndoHoldWhatIsSaved) {
  MemoHarness memo;
  memo.memo_.resize(300, 200);
  memo.memo_.show();

  // An input method's commit, with a line separator in it.
  QInputMethodEvent commit;
  commit.setCommitString(QString::fromUtf8("i😀\u2028j"));
  QApplication::sendEvent(&memo.memo_, &commit);
  ExpectEditorMatchesText(memo.buffer_, "i&#128512;\r\nj");

  // Pasted at the start: paragraph and line separators, a family emoji of
  // several code points, a NUL that ends the text.
  memo.buffer_.SetSelStart(0);
  QGuiApplication::clipboard()->setText(QString::fromUtf8("p\u2029q\u2028👨‍👩‍👧") +
                                        QChar(0) + "lost");
  memo.memo_.paste();
  const std::string pasted = "p\r\nq\r\n&#128104;&#8205;&#128105;&#8205;&#128103;";
  ExpectEditorMatchesText(memo.buffer_, pasted + "i&#128512;\r\nj");

  // The buffer's own paste keeps to the same rule.
  memo.buffer_.SetSelStart(memo.buffer_.Length());
  memo.buffer_.PasteFromClipboard();
  ExpectEditorMatchesText(memo.buffer_, pasted + "i&#128512;\r\nj" + pasted);

  // Undo of the pastes brings back the text before them, redo the pastes.
  memo.memo_.undo();
  memo.memo_.undo();
  ExpectEditorMatchesText(memo.buffer_, "i&#128512;\r\nj");
  memo.memo_.redo();
  ExpectEditorMatchesText(memo.buffer_, pasted + "i&#128512;\r\nj");

  // Dropped at the start of the text.
  memo.buffer_.SetText("z");
  QMimeData dropped;
  dropped.setText(QString::fromUtf8("d\u2028✓"));
  const QPointF point(2, 2);
  QDragEnterEvent enter(point.toPoint(), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(memo.memo_.viewport(), &enter);
  QDropEvent drop(point, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(memo.memo_.viewport(), &drop);
  ExpectEditorMatchesText(memo.buffer_, "d\r\n&#10003;z");
}

// ---------------------------------------------------------------------------
// Running out of memory

// Bytes of address space the process has mapped now.
unsigned long long AddressSpaceInUse() {
  unsigned long long pages = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "re")) {
    if (std::fscanf(statm, "%llu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  return pages * static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE));
}

// Peak resident memory of the process in bytes since the last ResetPeakMemory.
long long PeakMemory() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
  }
  return -1;
}

void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Runs work in a child process, so that the address-space limit it sets
// (LimitAddressSpace) ends with it. Returns what work returns, followed by
// how the child ended when it was killed (a crash is a failure like any
// other).
std::string InChildProcess(const std::function<std::string()>& work) {
  int channel[2];
  if (::pipe(channel) != 0) return "no pipe";
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    std::string result;
    try {
      result = work();
    } catch (const std::exception& error) {
      result = std::string("unexpected error: ") + error.what();
    }
    for (size_t done = 0; done < result.size();) {
      const ssize_t written = ::write(channel[1], result.data() + done, result.size() - done);
      if (written <= 0) break;
      done += static_cast<size_t>(written);
    }
    ::_exit(0);
  }
  ::close(channel[1]);
  std::string result;
  char chunk[4096];
  for (ssize_t got; (got = ::read(channel[0], chunk, sizeof chunk)) > 0;) {
    result.append(chunk, static_cast<size_t>(got));
  }
  ::close(channel[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFSIGNALED(status)) result += "killed by signal " + std::to_string(WTERMSIG(status));
  return result;
}

// Lets the address space of the process grow by headroom bytes beyond what
// it maps now, as on a machine where memory runs out.
void LimitAddressSpace(unsigned long long headroom) {
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = AddressSpaceInUse() + headroom;
  ::setrlimit(RLIMIT_AS, &limit);
}

// The document window of the main window without its dialogs: the open
// dialog answers with openPath, the save dialog is cancelled.
class TQuietWindow : public TDocumentWindow {
 public:
  QString openPath;
  QString panel = QStringLiteral("<unset>");
  int saveDialogs = 0;
  TSaveAnswer AskSaveChanges() override { return TSaveAnswer::No; }
  std::optional<QString> ExecuteOpenDialog(const QString&, const QString&) override {
    return openPath;
  }
  std::optional<QString> ExecuteSaveDialog(const QString&, const QString&) override {
    ++saveDialogs;
    return std::nullopt;
  }
  void SetPathPanel(const QString& text) override { panel = text; }
  TSaveAnswer AskOverwriteChangedFile(const QString&) override { return TSaveAnswer::Cancel; }
};

// The main window's editor with its document commands, holding an edited
// deck: opened from deck.wml, "x" typed at position 5, a backward selection.
struct TEditedDeck {
  explicit TEditedDeck(const QString& deckPath) : buffer(&memo), document(buffer, window) {
    window.openPath = deckPath;
    document.OpenButtonClick();
    buffer.SetSelStart(5);
    TypeKeys(&memo, QStringLiteral("x"));
    buffer.Select(40, 12);
  }

  // Everything a refused Open must leave as it was.
  std::string State() const {
    std::ostringstream state;
    state << "text " << buffer.GetText().size() << " bytes, hash "
          << std::hash<std::string>()(buffer.GetText()) << ", selection " << buffer.GetSelStart()
          << "+" << buffer.GetSelLength() << ", caret " << memo.textCursor().position()
          << ", modified " << buffer.GetModified() << ", undo "
          << memo.document()->availableUndoSteps() << ", path "
          << document.DocumentPath().toStdString() << ", panel " << window.panel.toStdString();
    return state.str();
  }

  TMemo memo;
  TMemoBuffer buffer;
  TQuietWindow window;
  TDocumentController document;
};

// What the user finds after an Open that failed: the state as before, the
// file saved as it was, an editor that still takes typing, undo, New and its
// modified flag. Returns the problems found, one a line.
std::string CheckEditorAfterFailedOpen(TEditedDeck& deck, const std::string& before,
                                       const QString& deckPath) {
  std::string problems;
  auto expect = [&problems](bool ok, const std::string& what) {
    if (!ok) problems += what + "\n";
  };
  const std::string after = deck.State();
  expect(after == before, "state changed: " + before + " -> " + after);
  const std::string text = deck.buffer.GetText();
  deck.document.SaveButtonClick();
  expect(FileBytes(deckPath) == text, "Save did not write the text shown");
  expect(deck.window.saveDialogs == 0, "Save asked for a name");
  deck.buffer.SetSelStart(0);
  TypeKeys(&deck.memo, QStringLiteral("y"));
  expect(deck.buffer.GetText() == "y" + text, "typing does not show");
  deck.memo.undo();
  expect(deck.buffer.GetText() == text, "undo of the typing failed");
  deck.memo.undo();
  expect(deck.buffer.GetText().find('x') == std::string::npos,
         "the earlier typing is not undone: " + deck.buffer.GetText().substr(0, 20));
  deck.window.openPath.clear();
  deck.document.CreatenewlmClick();
  TMemoryBuffer model;
  ApplyNewDocumentTemplate(model);
  expect(deck.buffer.GetText() == model.GetText(), "New does not show the template");
  expect(!deck.buffer.GetModified(), "New left the modified flag set");
  TypeKeys(&deck.memo, QStringLiteral("z"));
  expect(deck.buffer.GetModified(), "typing no longer sets the modified flag");
  return problems;
}

TEST(MemoBufferMemory, OpenThatRunsOutOfMemoryLeavesEverythingAsItWas) {
  QTemporaryDir folder;
  const QString deckPath = folder.filePath("deck.wml");
  const QString bigPath = folder.filePath("big.wml");
  std::string deck;
  while (deck.size() < 3000) deck += "<p>\xCF\xF0\xE8\xE2\xE5\xF2 line</p>\r\n";
  WriteFileBytes(deckPath, deck);
  std::string big;
  big.reserve(size_t{20} << 20);
  while (big.size() < (size_t{20} << 20)) big += "<p>a line of some length in a long deck</p>\r\n";
  WriteFileBytes(bigPath, big);
  big.clear();
  big.shrink_to_fit();

  // From too little memory to read the file at all to enough for all of
  // it: each step fails somewhere else on the way, or succeeds.
  int refused = 0;
  int opened = 0;
  for (const unsigned long long megabytes : {24, 48, 96, 160, 224, 320, 448, 640, 1024}) {
    SCOPED_TRACE(std::to_string(megabytes) + " MB of address space to spare");
    const std::string outcome = InChildProcess([&] {
      WriteFileBytes(deckPath, deck);
      TEditedDeck edited(deckPath);
      const std::string before = edited.State();
      edited.window.openPath = bigPath;
      LimitAddressSpace(megabytes << 20);
      try {
        edited.document.OpenButtonClick();
      } catch (const EInvalidOperation& error) {
        return std::string(error.what()) + "\n" +
               CheckEditorAfterFailedOpen(edited, before, deckPath);
      }
      if (edited.buffer.Length() != static_cast<int>(QFileInfo(bigPath).size()) ||
          edited.document.DocumentPath() != bigPath) {
        return std::string("opened wrongly");
      }
      return std::string("opened");
    });
    if (outcome == "opened") {
      ++opened;
    } else {
      EXPECT_EQ(outcome, "Text exceeds memo capacity\n");
      ++refused;
    }
  }
  EXPECT_GE(refused, 3);
  EXPECT_GE(opened, 1) << "enough memory must open the file";
}

TEST(MemoBufferMemory, FileLargerThanTheMemoryLeftIsRefusedBeforeItIsRead) {
  QTemporaryDir folder;
  const QString deckPath = folder.filePath("deck.wml");
  WriteFileBytes(deckPath, "<wml>\r\n<card/>\r\n</wml>\r\n");
  // 160 MB of text without a NUL, and the same with a NUL early on.
  std::string huge(size_t{160} << 20, 'a');
  const QString hugePath = folder.filePath("huge.wml");
  WriteFileBytes(hugePath, huge);
  huge[1000] = '\0';
  const QString binaryPath = folder.filePath("binary.bin");
  WriteFileBytes(binaryPath, huge);
  huge.clear();
  huge.shrink_to_fit();

  const std::string outcome = InChildProcess([&] {
    TEditedDeck edited(deckPath);
    const std::string before = edited.State();
    // Less than the first read of a large file would take.
    LimitAddressSpace(size_t{32} << 20);
    ResetPeakMemory();
    const long long peakBefore = PeakMemory();
    edited.window.openPath = hugePath;
    std::string result;
    try {
      edited.document.OpenButtonClick();
      result = "opened\n";
    } catch (const EInvalidOperation& error) {
      result = std::string(error.what()) + "\n";
    }
    const long long grown = PeakMemory() - peakBefore;
    if (grown > (16 << 20)) {
      result += "refusing took " + std::to_string(grown >> 20) + " MB\n";
    }
    if (edited.State() != before) result += "state changed\n";
    // The NUL ends the text long before memory runs out.
    edited.window.openPath = binaryPath;
    edited.document.OpenButtonClick();
    result += std::to_string(edited.buffer.Length()) + " bytes\n";
    return result;
  });
  EXPECT_EQ(outcome, "Text exceeds memo capacity\n1000 bytes\n");
}

}  // namespace
}  // namespace deckhand::testing
