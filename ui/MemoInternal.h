// What the editor widget (Memo.cpp) and its buffer (MemoBuffer.cpp) share:
// the paragraph separator of the toolkit's text, and the layout of a
// document built for the editor. Not part of either's interface.
#pragma once

#include <QChar>
#include <QPlainTextDocumentLayout>
#include <QRectF>
#include <QTextBlock>

namespace deckhand::memo_detail {

// The toolkit's line break inside selected text.
inline constexpr QChar kParagraphSeparator(0x2029);

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

}  // namespace deckhand::memo_detail
