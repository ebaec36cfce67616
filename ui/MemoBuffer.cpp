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
#include "ui/MemoInternal.h"

namespace deckhand {

using memo_detail::kParagraphSeparator;
using memo_detail::TDeferredLayout;

namespace {

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
