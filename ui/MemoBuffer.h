// The code editor widget and the document buffer that lives in it.
//
// TMemo is the plain-text editor of the main window with the program's
// settings: word wrap, no scroll bars, Tab moves the focus, the selection is
// hidden while the editor has no focus, and Enter in every form (with Shift,
// on the keypad) starts a new line.
//
// What the editor holds is always exactly what the buffer's GetText returns,
// one character for each byte: all text that enters it (typed, committed by
// an input method, pasted or dropped) passes EditorInputText as it arrives,
// so the screen shows what the file will hold, and undo and redo can only
// bring back text that passed it.
//
// TMemoBuffer implements TCodeBuffer on a TMemo. The editor holds Unicode
// text in blocks (one per line); the buffer presents it as Windows-1251 bytes
// with CR LF between lines. Every editor character is exactly one byte, so a
// byte position is the editor position plus the number of line breaks before
// it; both directions use the document's block map and take time logarithmic
// in the number of lines, never a scan of the text.
//
// Differences from the in-memory buffer: a lone CR or LF in inserted text
// becomes CR LF (the editor holds lines, not raw breaks); the clipboard is the
// system clipboard; every SetSelText is one undoable step, and Clear,
// SetTextStr, SetText and Add start a fresh undo history.
//
// Ownership: TMemoBuffer does not own the TMemo; the main window owns both
// and the buffer must not outlive the widget.
#pragma once

#include <QPlainTextEdit>
#include <QTextBlock>
#include <memory>
#include <string>

#include "core/CodeBuffer.h"

class QMimeData;

namespace deckhand {

class TMemo : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit TMemo(QWidget* parent = nullptr);
  ~TMemo() override;

  // Unicode text of the editor's selection with "\n" between lines and
  // every character kept as it is (no-break spaces included).
  QString SelectedRawText() const;

  // Shows document, a complete plain-text document, in place of the current
  // one, which is deleted. Signals of the former document are not carried
  // over: follow the editor's own signals (textChanged, cursorPositionChanged)
  // rather than its document's. The editor sets the document's wrap mode and
  // font by the lines it holds (see kLongLine).
  void AdoptDocument(QTextDocument* document);

  // Long lines. Lines wrap at word boundaries, as they always have; but the
  // toolkit's search for a word boundary costs time that grows with the
  // square of a line's length when the line has none (a minified deck, or
  // one made to hurt: a 100 KB line takes over a second a key, a 1 MB one
  // half a minute). A document that holds a line longer than kLongLine
  // characters is therefore shown in the long-line mode:
  // - lines wrap anywhere, which costs time linear in the length and shows
  //   the same rows wherever the text has no spaces;
  // - glyphs are placed one by one from the font's character map, without
  //   the shaping engine (drawn differently only where a font joins or
  //   moves letters by its shaping tables, as in ligatures; the characters
  //   are the same);
  // - a line longer than kShortLine keeps its laid-out glyphs between
  //   layouts, so that placing the caret and painting do not analyse the
  //   whole line again.
  // What is left of a key on such a line is the toolkit's layout of that one
  // line, once (see the editor's benchmarks).
  // At 4,096 characters word-boundary layout of a line costs a few
  // milliseconds; no line a person writes comes near it, so ordinary decks
  // keep their look. The mode is decided for each new document (New, Open),
  // switches on as soon as an edit (typing, pasting, undo) makes a line that
  // long, before the line is laid out, and switches off when no line is
  // longer than kShortLine any more. The gap between the two limits keeps
  // editing around one limit from laying the whole text out again and again.
  static constexpr qsizetype kLongLine = 4096;
  static constexpr qsizetype kShortLine = kLongLine / 2;
  // The wrap mode for a text whose longest line has this many characters.
  static QTextOption::WrapMode WrapModeFor(qsizetype longestLine);
  // Switches to the long-line mode before text, inserted over the cursor's
  // selection, makes a line longer than kLongLine; the lines it is inserted
  // in are laid out by the insertion.
  void FitWrapToInsertion(const QTextCursor& cursor, const QString& text);
  // Whether the editor shows its document in the long-line mode.
  bool LongLineMode() const { return wordWrapMode() == QTextOption::WrapAnywhere; }
  // The document font of the editor's font in the given mode.
  QFont DocumentFont(bool longLines) const;
  // The number of lines longer than kShortLine in the document.
  qsizetype LinesOverShortLimit() const { return *overShortLimit_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;
  QMimeData* createMimeDataFromSelection() const override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Inserts text, already passed through EditorInputText, over the selection.
  void InsertInput(const QString& text);
  // Counts the long lines of document, which is or is about to be the
  // current one, and follows its edits; returns its longest line's length.
  qsizetype WatchLines(QTextDocument* document);
  // Re-examines the lines an edit touched, from position to position + added.
  void LinesChanged(int position, int added);
  // Notes whether a line is longer than kShortLine; returns its length.
  qsizetype MarkLine(QTextBlock block);
  // Switches the mode; the lines from editFirst to editLast, when given,
  // are being edited and are laid out again by the edit.
  void SetLongLineMode(bool on, const QTextBlock& editFirst = {}, const QTextBlock& editLast = {});
  // While the editor shows a long line, the memory of that line's layouts
  // stays in the program for the next layout. The toolkit lays such a line
  // out in arrays of tens of megabytes, allocated afresh at every key; the
  // C library takes blocks that large straight from the system and gives
  // them back when freed, so each layout would first fault every page of
  // them in again, a quarter of the cost of a key on a line of a megabyte.
  // The C library's own settings are process-wide: they are changed while
  // any editor shows a long line and given back, with the memory, when none
  // does.
  void HoldLayoutMemory(bool on);

  // Shared with the marks of the current document's lines, which count
  // themselves in it and out of it when their line goes (see MarkLine).
  std::shared_ptr<qsizetype> overShortLimit_ = std::make_shared<qsizetype>(0);
  QMetaObject::Connection linesWatch_;
  bool holdsLayoutMemory_ = false;
};

// The number of characters of the longest line of an editor text ("\n"
// between lines); with prefix and suffix, the characters that text, inserted
// between them, joins to its first and last lines.
qsizetype LongestLine(const QString& text, qsizetype prefix = 0, qsizetype suffix = 0);

// Text that enters the editor, as the editor is to hold it: it ends before a
// NUL; a line or paragraph separator (U+2028, U+2029) becomes a line break;
// every character Windows-1251 lacks becomes its numeric character reference
// ("&#128512;", one for each code point).
QString EditorInputText(QString text);

class TMemoBuffer : public TCodeBuffer {
 public:
  explicit TMemoBuffer(TMemo* memo, long long capacity = kDefaultBufferCapacity);

  void Clear() override;
  void Add(const std::string& line) override;
  std::string GetText() const override;
  void SetTextStr(std::string text) override;
  void SetText(const std::string& text) override;
  int GetSelStart() const override;
  void SetSelStart(int position) override;
  int GetSelLength() const override;
  void SetSelLength(int length) override;
  std::string GetSelText() const override;
  void SetSelText(const std::string& text) override;
  void CutToClipboard() override;
  void CopyToClipboard() override;
  void PasteFromClipboard() override;
  bool GetModified() const override { return modified_; }
  int LineFromChar(int position) const override;
  int LineIndex(int line) const override;

  // Length of the text in bytes.
  int Length() const;
  // Byte position of an editor position and back (positions between the CR
  // and the LF of a break map to the end of the line).
  int ByteFromEditor(int editorPosition) const;
  int EditorFromByte(int bytePosition) const;
  // Selects from anchor to caret, both byte positions, as the user would.
  void Select(int anchor, int caret);

  TMemo* Memo() const { return memo_; }

 private:
  // Replaces the whole text; the caret goes to 0 and the undo history starts
  // afresh. All or nothing: the new text is built apart and swapped in only
  // once complete, so when memory runs out (raised as EInvalidOperation "Text
  // exceeds memo capacity") text, selection, undo history and the editor's
  // state are exactly as they were.
  void ReplaceAll(const std::string& bytes);
  // Follows the user's edits of the editor's current document.
  void WatchDocument();
  // Inserts bytes over the selection as one undoable step.
  void InsertOverSelection(const std::string& bytes, bool undoable);
  void CheckCapacity(long long length) const;
  // The line holding a byte position.
  int BlockOfByte(int bytePosition) const;

  TMemo* memo_;
  long long capacity_;
  bool modified_ = false;
  // Set while the buffer itself edits the document, so that only the user's
  // own edits mark the document modified.
  bool editing_ = false;
};

}  // namespace deckhand
