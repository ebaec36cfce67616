#include "ui/MemoBuffer.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

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

}  // namespace

QString RepresentableText(const QString& text) {
  if (IsCp1251Representable(text)) return text;
  return Cp1251ToUnicode(UnicodeToCp1251(text));
}

// ---------------------------------------------------------------------------
// TMemo

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
}

QString TMemo::SelectedRawText() const {
  QString text = textCursor().selectedText();
  text.replace(kParagraphSeparator, QLatin1Char('\n'));
  return text;
}

void TMemo::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  if (!text.isEmpty() && text.at(0).isPrint() && !IsCp1251Representable(text)) {
    QTextCursor cursor = textCursor();
    cursor.insertText(RepresentableText(text));
    setTextCursor(cursor);
    ensureCursorVisible();
    event->accept();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void TMemo::inputMethodEvent(QInputMethodEvent* event) {
  if (IsCp1251Representable(event->commitString())) {
    QPlainTextEdit::inputMethodEvent(event);
    return;
  }
  QInputMethodEvent converted(event->preeditString(), event->attributes());
  converted.setCommitString(RepresentableText(event->commitString()), event->replacementStart(),
                            event->replacementLength());
  QPlainTextEdit::inputMethodEvent(&converted);
}

void TMemo::insertFromMimeData(const QMimeData* source) {
  if (source == nullptr || !source->hasText()) return;
  QString text = source->text();
  // A NUL never enters the document: the text ends before it.
  const qsizetype nul = text.indexOf(QChar(0));
  if (nul >= 0) text.truncate(nul);
  QTextCursor cursor = textCursor();
  cursor.insertText(RepresentableText(text));
  setTextCursor(cursor);
  ensureCursorVisible();
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
  const QString text = BytesToEditor(bytes);
  editing_ = true;
  memo_->setPlainText(text);  // also starts a fresh undo history
  editing_ = false;
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
  editing_ = true;
  if (!undoable) doc->setUndoRedoEnabled(false);
  cursor.beginEditBlock();
  cursor.insertText(text);
  cursor.endEditBlock();
  if (!undoable) doc->setUndoRedoEnabled(true);
  editing_ = false;
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
  SetSelText(UnicodeToCp1251(text));
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
