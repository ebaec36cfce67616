#include "ui/MemoBuffer.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPlainTextDocumentLayout>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>

#include "core/Encoding.h"
#include "core/Errors.h"

namespace deckhand {

namespace {

constexpr QChar kParagraphSeparator(0x2029);

// Editor text (lines separated by "\n" or U+2029) to Windows-1251 bytes with
// CR LF between lines.
std::string EditorToBytes(QString text) {
  text.replace(kParagraphSeparator, QLatin1Char('\n'));
  const std::string bytes = UnicodeToCp1251(text);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 16 + 4);
  for (char c : bytes) {
    if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

// Windows-1251 bytes to editor text: every line break becomes "\n", a lone
// CR or LF included; the text ends before a NUL.
QString BytesToEditor(const std::string& bytes) {
  QString text = Cp1251ToUnicode(AdjustLineBreaks(bytes));
  text.remove(QLatin1Char('\r'));
  return text;
}

// Sets a flag for the lifetime of the guard; the flag goes back to false
// however the scope ends, so an edit that fails half way cannot leave the
// buffer believing it is still editing.
class TFlagGuard {
 public:
  explicit TFlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~TFlagGuard() { flag_ = false; }
  TFlagGuard(const TFlagGuard&) = delete;
  TFlagGuard& operator=(const TFlagGuard&) = delete;

 private:
  bool& flag_;
};

// Memory a document needs besides its two bytes a character, per line: the
// block's data and its text layout (measured at 440 to 490 bytes).
constexpr long long kBytesPerLine = 512;

// Makes sure, before a document of the given text is built, that the process
// can still take the memory it needs: a block a quarter larger than the
// estimate (the toolkit's buffers grow as they fill) is taken and given back
// at once.
// Where it cannot be had the text does not fit, and saying so now is better
// than letting the toolkit meet the shortage deep in its layout code, where
// it may not recover.
void EnsureRoomForDocument(const QString& text) {
  const long long lines = text.count(QLatin1Char('\n')) + 1;
  const long long estimate =
      static_cast<long long>(text.size()) * static_cast<long long>(sizeof(QChar)) +
      lines * kBytesPerLine;
  // Stored through a volatile pointer, so that the call is really made.
  void* volatile probe = std::malloc(static_cast<size_t>(estimate + estimate / 4));
  if (probe == nullptr) throw EInvalidOperation("Text exceeds memo capacity");
  std::free(probe);
}

// The layout of a document built for the editor. Until Resume it lays
// nothing out: the editor lays the whole document out again for its own
// width when it takes the document over, and every layout before that
// would be lost work (a line of a megabyte costs a tenth of a second a
// layout, and building and taking over a document would lay it out three
// times). The editor then lays out what it shows, as it always does.
class TDeferredLayout : public QPlainTextDocumentLayout {
 public:
  using QPlainTextDocumentLayout::QPlainTextDocumentLayout;

  // Lays out from now on. The editor, when it takes the document over,
  // drops every line's layout and lays out each line when it first needs
  // it; a change the layout was not told of is taken as a change of its
  // lines' count at the next edit.
  void Resume() { deferred_ = false; }
  // Lays nothing out until Resume (see TMemo::SetLongLineMode).
  void Pause() { deferred_ = true; }

  QRectF blockBoundingRect(const QTextBlock& block) const override {
    // A line not laid out yet has no place; asking for it must not lay the
    // line out.
    if (deferred_) return {};
    return QPlainTextDocumentLayout::blockBoundingRect(block);
  }

 protected:
  void documentChanged(int from, int removed, int added) override {
    if (!deferred_) QPlainTextDocumentLayout::documentChanged(from, removed, added);
  }

 private:
  bool deferred_ = true;
};

}  // namespace

QString EditorInputText(QString text) {
  // A NUL never enters the document: the text ends before it.
  if (const qsizetype nul = text.indexOf(QChar(0)); nul >= 0) text.truncate(nul);
  // A line or paragraph separator is a line break, as the editor shows it.
  text.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
  text.replace(QChar(QChar::ParagraphSeparator), QLatin1Char('\n'));
  if (IsCp1251Representable(text)) return text;
  return Cp1251ToUnicode(UnicodeToCp1251(text));
}

qsizetype LongestLine(const QString& text, qsizetype prefix, qsizetype suffix) {
  qsizetype longest = 0;
  qsizetype start = 0;
  qsizetype carried = prefix;
  for (;;) {
    const qsizetype end = text.indexOf(QLatin1Char('\n'), start);
    if (end < 0) break;
    longest = std::max(longest, carried + (end - start));
    carried = 0;
    start = end + 1;
  }
  return std::max(longest, carried + (text.size() - start) + suffix);
}

// ---------------------------------------------------------------------------
// TMemo

namespace {

// Marks a line longer than TMemo::kShortLine. A mark counts itself in the
// editor's number of such lines while it lives; the document deletes it with
// its line (when a line break between two lines is deleted, or the document
// itself), so the number stays right whatever edit removes a line, and no
// edit has to look at lines it did not touch.
class TLongLineMark : public QTextBlockUserData {
 public:
  explicit TLongLineMark(std::shared_ptr<qsizetype> count) : count_(std::move(count)) { ++*count_; }
  ~TLongLineMark() override { --*count_; }
  TLongLineMark(const TLongLineMark&) = delete;
  TLongLineMark& operator=(const TLongLineMark&) = delete;

 private:
  std::shared_ptr<qsizetype> count_;
};

}  // namespace

QTextOption::WrapMode TMemo::WrapModeFor(qsizetype longestLine) {
  return longestLine > kLongLine ? QTextOption::WrapAnywhere
                                 : QTextOption::WrapAtWordBoundaryOrAnywhere;
}

QFont TMemo::DocumentFont(bool longLines) const {
  QFont documentFont = font();
  if (longLines) {
    // Without shaping a line of a megabyte is laid out in less than half
    // the time (measured with the editor's benchmarks).
    documentFont.setStyleStrategy(
        QFont::StyleStrategy(documentFont.styleStrategy() | QFont::PreferNoShaping));
  }
  return documentFont;
}

void TMemo::SetLongLineMode(bool on, const QTextBlock& editFirst, const QTextBlock& editLast) {
  if (on == LongLineMode()) return;
  // Each change lays the document out again, a document of one line at
  // once: a line of a megabyte would be laid out twice here and once more
  // for the edit that called for the switch. A document the editor built
  // lays nothing out during the switch; then each line is laid out again
  // when it is next needed, and the edited lines by the edit itself.
  auto* deferred = dynamic_cast<TDeferredLayout*>(document()->documentLayout());
  if (deferred != nullptr) deferred->Pause();
  // Any other document is laid out at each change; a long line must never
  // be laid out in the word-boundary mode, so wrapping anywhere comes first
  // on the way in and last on the way out.
  if (on) setWordWrapMode(QTextOption::WrapAnywhere);
  document()->setDefaultFont(DocumentFont(on));
  if (!on) setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  if (deferred != nullptr) {
    deferred->Resume();
    bool edited = false;
    for (QTextBlock block = document()->firstBlock(); block.isValid(); block = block.next()) {
      if (block == editFirst) edited = true;
      if (!edited) block.clearLayout();
      if (block == editLast) edited = false;
    }
    emit deferred->update();
  }
}

void TMemo::FitWrapToInsertion(const QTextCursor& cursor, const QString& text) {
  const QTextBlock first = document()->findBlock(cursor.selectionStart());
  const QTextBlock last = document()->findBlock(cursor.selectionEnd());
  const qsizetype longest =
      LongestLine(text, cursor.selectionStart() - first.position(),
                  last.position() + last.length() - 1 - cursor.selectionEnd());
  if (longest > kLongLine) SetLongLineMode(true, first, last);
}

qsizetype TMemo::MarkLine(QTextBlock block) {
  const qsizetype length = block.length() - 1;
  const bool over = length > kShortLine;
  const bool marked = dynamic_cast<TLongLineMark*>(block.userData()) != nullptr;
  if (over != marked) {
    block.setUserData(over ? new TLongLineMark(overShortLimit_) : nullptr);
    // A long line's glyphs are kept between layouts: placing the caret and
    // each paint would otherwise analyse and shape the whole line again
    // (the toolkit drops them after each layout unless told to keep them).
    block.layout()->setCacheEnabled(over);
  }
  return length;
}

qsizetype TMemo::WatchLines(QTextDocument* document) {
  QObject::disconnect(linesWatch_);
  // Marks of the former document count in the former number.
  overShortLimit_ = std::make_shared<qsizetype>(0);
  qsizetype longest = 0;
  for (QTextBlock block = document->firstBlock(); block.isValid(); block = block.next()) {
    if (block.userData() != nullptr) block.setUserData(nullptr);
    longest = std::max(longest, MarkLine(block));
  }
  // The document reports an edit before it lays the edited lines out, so
  // the mode is right before a long line is laid out.
  linesWatch_ = connect(document, &QTextDocument::contentsChange, this,
                        [this](int position, int, int added) { LinesChanged(position, added); });
  return longest;
}

void TMemo::LinesChanged(int position, int added) {
  const QTextDocument* doc = document();
  // The end of an edit at the end of the text lies past its last line.
  const QTextBlock first = doc->findBlock(position);
  const QTextBlock last = doc->findBlock(std::min(position + added, doc->characterCount() - 1));
  qsizetype longest = 0;
  for (QTextBlock block = first; block.isValid(); block = block.next()) {
    longest = std::max(longest, MarkLine(block));
    if (block == last) break;
  }
  // The lines the edit lays out again: up to its last character (the line
  // after an inserted line break keeps its layout).
  const QTextBlock laidOut = doc->findBlock(std::max(position, position + added - 1));
  if (longest > kLongLine) {
    SetLongLineMode(true, first, laidOut);
  } else if (*overShortLimit_ == 0) {
    SetLongLineMode(false, first, laidOut);
  }
}

void TMemo::changeEvent(QEvent* event) {
  QPlainTextEdit::changeEvent(event);
  // The editor gives its document its own font when that changes.
  if (event->type() == QEvent::FontChange && LongLineMode()) {
    document()->setDefaultFont(DocumentFont(true));
  }
}

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName(QStringLiteral("Memo"));
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTabChangesFocus(true);
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  // The selection shows only while the editor has the focus.
  QPalette p = palette();
  p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Inactive, QPalette::Base));
  p.setColor(QPalette::Inactive, QPalette::HighlightedText,
             p.color(QPalette::Inactive, QPalette::Text));
  setPalette(p);
  WatchLines(document());
}

QString TMemo::SelectedRawText() const {
  QString text = textCursor().selectedText();
  text.replace(kParagraphSeparator, QLatin1Char('\n'));
  return text;
}

namespace {

// Whether the editor inserts the text of a key press, by the toolkit's own
// rule: printable characters, format characters (a zero-width joiner),
// private-use characters and surrogate pairs (emoji), but nothing typed with
// Ctrl alone or Ctrl+Shift.
bool TypesText(const QKeyEvent* event) {
  const QString text = event->text();
  if (text.isEmpty()) return false;
  const QChar first = text.at(0);
  if (first.category() == QChar::Other_Format) return true;
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  if (modifiers == Qt::ControlModifier || modifiers == (Qt::ShiftModifier | Qt::ControlModifier)) {
    return false;
  }
  return first.isPrint() || first.category() == QChar::Other_PrivateUse ||
         (first.isHighSurrogate() && text.size() > 1 && text.at(1).isLowSurrogate());
}

}  // namespace

void TMemo::InsertInput(const QString& text) {
  QTextCursor cursor = textCursor();
  FitWrapToInsertion(cursor, text);
  cursor.insertText(text);
  setTextCursor(cursor);
  ensureCursorVisible();
}

void TMemo::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
      event->modifiers().testFlag(Qt::ShiftModifier)) {
    // Shift+Enter would insert a line separator inside the line; every
    // form of Enter starts a new line instead (CR LF in the text).
    QKeyEvent plain(event->type(), key, event->modifiers() & ~Qt::ShiftModifier, event->text(),
                    event->isAutoRepeat(), event->count());
    QPlainTextEdit::keyPressEvent(&plain);
    event->setAccepted(plain.isAccepted());
    return;
  }
  if (TypesText(event)) {
    const QString text = EditorInputText(event->text());
    if (text != event->text()) {
      InsertInput(text);
      event->accept();
      return;
    }
  }
  QPlainTextEdit::keyPressEvent(event);
}

void TMemo::inputMethodEvent(QInputMethodEvent* event) {
  const QString commit = EditorInputText(event->commitString());
  if (commit == event->commitString()) {
    QPlainTextEdit::inputMethodEvent(event);
    return;
  }
  QInputMethodEvent converted(event->preeditString(), event->attributes());
  converted.setCommitString(commit, event->replacementStart(), event->replacementLength());
  QPlainTextEdit::inputMethodEvent(&converted);
}

void TMemo::insertFromMimeData(const QMimeData* source) {
  // Pasted and dropped text alike.
  if (source == nullptr || !source->hasText()) return;
  InsertInput(EditorInputText(source->text()));
}

void TMemo::AdoptDocument(QTextDocument* document) {
  QPointer<QTextDocument> former = this->document();
  document->setParent(this);
  // The editor imposes its own wrap mode and font on a document it takes
  // over. The switch is made while the document laid out the costly way is
  // one without long lines: wrapping anywhere first, wrapping at word
  // boundaries after. Each change lays the document out again, so only a
  // real change is made.
  const QTextOption::WrapMode wanted = WrapModeFor(WatchLines(document));
  const bool longLines = wanted == QTextOption::WrapAnywhere;
  if (longLines) setWordWrapMode(wanted);
  if (const QFont wantedFont = DocumentFont(longLines); document->defaultFont() != wantedFont) {
    document->setDefaultFont(wantedFont);
  }
  setDocument(document);
  setWordWrapMode(wanted);
  // The editor's first document belongs to its text control, which deletes
  // it when it is replaced; a later one is the editor's own.
  delete former.data();
}

QMimeData* TMemo::createMimeDataFromSelection() const {
  // The default conversion turns no-break spaces into plain ones; keep every
  // character as it is.
  auto* data = new QMimeData;
  data->setText(SelectedRawText());
  return data;
}

void TMemo::contextMenuEvent(QContextMenuEvent* event) {
  setFocus(Qt::PopupFocusReason);
  QPlainTextEdit::contextMenuEvent(event);
}

// ---------------------------------------------------------------------------
// TMemoBuffer

TMemoBuffer::TMemoBuffer(TMemo* memo, long long capacity)
    : memo_(memo), capacity_(std::min<long long>(capacity, kDefaultBufferCapacity)) {
  WatchDocument();
}

void TMemoBuffer::WatchDocument() {
  QObject::connect(memo_->document(), &QTextDocument::contentsChange, memo_,
                   [this](int, int removed, int added) {
                     if (!editing_ && (removed != 0 || added != 0)) modified_ = true;
                   });
}

void TMemoBuffer::CheckCapacity(long long length) const {
  if (length > capacity_) throw EInvalidOperation(kTextExceedsCapacityMessage);
}

int TMemoBuffer::Length() const {
  const QTextDocument* doc = memo_->document();
  return (doc->characterCount() - 1) + (doc->blockCount() - 1);
}

int TMemoBuffer::ByteFromEditor(int editorPosition) const {
  const QTextDocument* doc = memo_->document();
  editorPosition = std::clamp(editorPosition, 0, doc->characterCount() - 1);
  return editorPosition + doc->findBlock(editorPosition).blockNumber();
}

int TMemoBuffer::BlockOfByte(int bytePosition) const {
  const QTextDocument* doc = memo_->document();
  // The largest line whose first byte lies at or before bytePosition; line k
  // starts at byte position(k) + k.
  int low = 0, high = doc->blockCount() - 1;
  while (low < high) {
    const int mid = low + (high - low + 1) / 2;
    if (doc->findBlockByNumber(mid).position() + mid <= bytePosition) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return low;
}

int TMemoBuffer::EditorFromByte(int bytePosition) const {
  bytePosition = std::clamp(bytePosition, 0, Length());
  const int line = BlockOfByte(bytePosition);
  const QTextBlock block = memo_->document()->findBlockByNumber(line);
  const int offset = std::min(bytePosition - (block.position() + line), block.length() - 1);
  return block.position() + offset;
}

void TMemoBuffer::ReplaceAll(const std::string& bytes) {
  const QTextDocument* current = memo_->document();
  std::unique_ptr<QTextDocument> fresh;
  TDeferredLayout* layout = nullptr;
  try {
    // The new text is built in a document of its own, while the editor
    // keeps showing the old one; only a complete document is swapped in.
    const QString text = BytesToEditor(bytes);
    EnsureRoomForDocument(text);
    fresh = std::make_unique<QTextDocument>();
    layout = new TDeferredLayout(fresh.get());
    fresh->setDocumentLayout(layout);
    fresh->setDefaultFont(current->defaultFont());
    fresh->setDefaultTextOption(current->defaultTextOption());
    fresh->setDocumentMargin(current->documentMargin());
    fresh->setPlainText(text);
    // Every line gets its text layout now: the editor makes them when it
    // takes the document over, and they are most of its memory.
    for (QTextBlock block = fresh->firstBlock(); block.isValid(); block = block.next()) {
      block.layout();
    }
  } catch (const std::bad_alloc&) {
    throw EInvalidOperation("Text exceeds memo capacity");
  }
  // A new document brings a fresh undo history of its own.
  {
    TFlagGuard editing(editing_);
    memo_->AdoptDocument(fresh.release());
  }
  layout->Resume();
  WatchDocument();
  QTextCursor cursor = memo_->textCursor();
  cursor.setPosition(0);
  memo_->setTextCursor(cursor);
}

void TMemoBuffer::InsertOverSelection(const std::string& bytes, bool undoable) {
  const QString text = BytesToEditor(bytes);
  CheckCapacity(static_cast<long long>(Length()) - GetSelLength() + text.size() +
                text.count(QLatin1Char('\n')));
  QTextDocument* doc = memo_->document();
  QTextCursor cursor = memo_->textCursor();
  memo_->FitWrapToInsertion(cursor, text);
  {
    TFlagGuard editing(editing_);
    if (!undoable) doc->setUndoRedoEnabled(false);
    cursor.beginEditBlock();
    cursor.insertText(text);
    cursor.endEditBlock();
    if (!undoable) doc->setUndoRedoEnabled(true);
  }
  memo_->setTextCursor(cursor);
  memo_->ensureCursorVisible();
}

void TMemoBuffer::Clear() {
  ReplaceAll(std::string());
  modified_ = false;
}

void TMemoBuffer::Add(const std::string& line) {
  const QTextDocument* doc = memo_->document();
  // Empty text, or an empty last line: the text ends in CR LF.
  const bool endsWithBreak = doc->lastBlock().length() <= 1;
  QTextCursor cursor = memo_->textCursor();
  cursor.movePosition(QTextCursor::End);
  memo_->setTextCursor(cursor);
  InsertOverSelection(AppendedLineText(endsWithBreak, CutAtNul(line)), false);
}

std::string TMemoBuffer::GetText() const { return EditorToBytes(memo_->document()->toRawText()); }

void TMemoBuffer::SetTextStr(std::string text) {
  const size_t nul = text.find('\0');
  const bool hadNul = nul != std::string::npos;
  CheckCapacity(static_cast<long long>(hadNul ? nul : text.size()));
  const std::string adjusted = AdjustLineBreaks(std::move(text));
  const std::string current = GetText();
  if (!hadNul && adjusted == current) return;
  CheckCapacity(static_cast<long long>(adjusted.size()));
  if (adjusted != current) {
    ReplaceAll(adjusted);
    modified_ = false;
  } else {
    SetSelStart(0);
  }
}

void TMemoBuffer::SetText(const std::string& text) {
  const std::string cut = CutAtNul(text);
  if (cut == GetText()) return;
  CheckCapacity(static_cast<long long>(cut.size()));
  ReplaceAll(cut);
  modified_ = false;
}

int TMemoBuffer::GetSelStart() const {
  const QTextCursor cursor = memo_->textCursor();
  return ByteFromEditor(std::min(cursor.anchor(), cursor.position()));
}

int TMemoBuffer::GetSelLength() const {
  const QTextCursor cursor = memo_->textCursor();
  return std::abs(ByteFromEditor(cursor.anchor()) - ByteFromEditor(cursor.position()));
}

void TMemoBuffer::SetSelStart(int position) {
  QTextCursor cursor = memo_->textCursor();
  if (position == -1) {
    cursor.setPosition(cursor.position());
  } else {
    cursor.setPosition(EditorFromByte(position));
  }
  memo_->setTextCursor(cursor);
}

void TMemoBuffer::SetSelLength(int length) {
  const int start = GetSelStart();
  const long long end =
      std::min<long long>(static_cast<long long>(start) + std::max(length, 0), Length());
  Select(start, static_cast<int>(end));
  memo_->ensureCursorVisible();
}

void TMemoBuffer::Select(int anchor, int caret) {
  QTextCursor cursor = memo_->textCursor();
  cursor.setPosition(EditorFromByte(anchor));
  cursor.setPosition(EditorFromByte(caret), QTextCursor::KeepAnchor);
  memo_->setTextCursor(cursor);
}

std::string TMemoBuffer::GetSelText() const {
  return EditorToBytes(memo_->textCursor().selectedText());
}

void TMemoBuffer::SetSelText(const std::string& text) {
  InsertOverSelection(CutAtNul(text), true);
  modified_ = true;
}

void TMemoBuffer::CopyToClipboard() {
  if (GetSelLength() == 0) return;
  QGuiApplication::clipboard()->setText(memo_->SelectedRawText());
}

void TMemoBuffer::CutToClipboard() {
  if (GetSelLength() == 0) return;
  CopyToClipboard();
  SetSelText(std::string());
}

void TMemoBuffer::PasteFromClipboard() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (data == nullptr || !data->hasText()) return;
  const QString text = data->text();
  if (text.isEmpty()) return;
  SetSelText(UnicodeToCp1251(EditorInputText(text)));
}

int TMemoBuffer::LineFromChar(int position) const {
  return BlockOfByte(std::clamp(position, 0, Length()));
}

int TMemoBuffer::LineIndex(int line) const {
  const QTextDocument* doc = memo_->document();
  if (line < 0 || line >= doc->blockCount()) return -1;
  return doc->findBlockByNumber(line).position() + line;
}

}  // namespace deckhand
