// The editor widget: a plain-text editor that keeps long lines cheap (a
// line over TMemo::kLongLine characters switches the document to the
// long-line mode) and hands typed and pasted text to the buffer's rules.
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "ui/MemoBuffer.h"
#include "ui/MemoInternal.h"

namespace deckhand {

using memo_detail::kParagraphSeparator;
using memo_detail::TDeferredLayout;

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

// The number of editors that show a long line and keep the memory of its
// layouts (see TMemo::HoldLayoutMemory).
int editorsHoldingLayoutMemory = 0;

// Blocks up to this size come from the program's heap while a long line is
// shown, and free memory up to this size stays there: the layout of a line
// of a megabyte takes some 50 MB; this covers lines of several megabytes.
constexpr int kLayoutMemory = 256 << 20;
// The C library's own values of both, given back when no long line is shown.
constexpr int kLibraryThreshold = 128 << 10;

}  // namespace

void TMemo::HoldLayoutMemory(bool on) {
  if (on == holdsLayoutMemory_) return;
  holdsLayoutMemory_ = on;
#ifdef __GLIBC__
  if (on) {
    if (editorsHoldingLayoutMemory++ == 0) {
      mallopt(M_MMAP_THRESHOLD, kLayoutMemory);
      mallopt(M_TRIM_THRESHOLD, kLayoutMemory);
    }
  } else if (--editorsHoldingLayoutMemory == 0) {
    mallopt(M_MMAP_THRESHOLD, kLibraryThreshold);
    mallopt(M_TRIM_THRESHOLD, kLibraryThreshold);
    malloc_trim(0);
  }
#endif
}

TMemo::~TMemo() { HoldLayoutMemory(false); }

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
  HoldLayoutMemory(on);
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
  HoldLayoutMemory(longLines);
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

}  // namespace deckhand
