// The document model: the WML text of the code editor with its selection and
// modified flag.
//
// Text is Windows-1251, one byte per character; every position and length is
// a byte count. Lines are separated by CR LF, which counts as two. The
// selection is an anchor (where it was begun) and a caret (its active end);
// the selected bytes run from the smaller to the larger, the larger excluded.
//
// Modified flag: typing, SetSelText, cut and paste set it; Clear, and
// SetTextStr or SetText when they change the text, clear it; Add leaves it.
#pragma once

#include <climits>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace deckhand {

// The clipboard of the in-memory buffer: text held in memory, Windows-1251.
// Several buffers may share one. The editor on the screen uses the system
// clipboard instead (ui/MemoBuffer.h), which also serves the editor's own
// paste keys and drops, so it does not go through this class.
class TMemoryClipboard {
 public:
  // The clipboard's text, or nothing when it holds no text.
  std::optional<std::string> GetText() const { return text_; }
  void SetText(const std::string& text) { text_ = text; }
  void ClearText() { text_.reset(); }

 private:
  std::optional<std::string> text_;
};

class TCodeBuffer {
 public:
  virtual ~TCodeBuffer() = default;

  // Empties the text; the caret stands at 0.
  virtual void Clear() = 0;
  // Appends line as a new last line (see AppendedLineText); the caret ends at
  // the end of the text with no selection.
  virtual void Add(const std::string& line) = 0;
  virtual std::string GetText() const = 0;
  // Hands use the whole text, as GetText returns it, for reading while the
  // call lasts; use must not change the buffer. A buffer that holds its text
  // as bytes hands them over without the copy GetText makes.
  virtual void ReadText(const std::function<void(std::string_view)>& use) const {
    const std::string text = GetText();
    use(text);
  }
  // Replaces the whole text after adjusting its line breaks to CR LF; the
  // text ends before the first NUL. Equal text changes nothing at all.
  // Raises EInvalidOperation "Text exceeds memo capacity" when it cannot hold
  // the text. Takes the text by value: a caller that hands it over with
  // std::move spares a copy of what may be megabytes.
  virtual void SetTextStr(std::string text) = 0;
  // Replaces the whole text unchanged (up to a NUL) if it differs; the caret
  // then stands at 0.
  virtual void SetText(const std::string& text) = 0;

  virtual int GetSelStart() const = 0;
  // Anchor and caret both become position (clamped to the text); -1 collapses
  // the selection onto the caret.
  virtual void SetSelStart(int position) = 0;
  virtual int GetSelLength() const = 0;
  // Anchor becomes GetSelStart(), caret that plus length, cut back at the end.
  virtual void SetSelLength(int length) = 0;
  virtual std::string GetSelText() const = 0;
  // Replaces the selection by text; the caret stands after it, nothing
  // selected. One undoable step where the buffer has an undo history.
  virtual void SetSelText(const std::string& text) = 0;

  virtual void CutToClipboard() = 0;
  virtual void CopyToClipboard() = 0;
  virtual void PasteFromClipboard() = 0;

  virtual bool GetModified() const = 0;
  // The line holding position: the number of CR LF pairs wholly before it.
  virtual int LineFromChar(int position) const = 0;
  // Where line begins; -1 for a line beyond the last one.
  virtual int LineIndex(int line) const = 0;
};

// The largest text a buffer holds by default: what an int can count.
inline constexpr long long kDefaultBufferCapacity = INT_MAX;

// Line-break adjustment of SetTextStr: CR LF stays, a lone CR or LF becomes
// CR LF, LF CR becomes two breaks. Then the text is cut before its first NUL.
// A text that already has only CR LF breaks comes back in its own storage.
std::string AdjustLineBreaks(std::string text);

// The position of the first NUL, lone CR or lone LF among the size bytes at
// text, or size when there is none: the bytes before it need no line-break
// adjustment.
size_t FirstNulOrLoneBreak(const char* text, size_t size);

// The bytes Add appends for line to a text that is empty or ends in CR LF
// (line + CR LF) or to one that does not (CR LF + line).
std::string AppendedLineText(bool textEmptyOrEndsWithBreak, const std::string& line);

// Text up to (not including) its first NUL.
std::string CutAtNul(const std::string& text);

// The in-memory buffer: the whole editing model without any display.
class TMemoryBuffer : public TCodeBuffer {
 public:
  // clipboard may be null: the clipboard operations then do nothing.
  explicit TMemoryBuffer(TMemoryClipboard* clipboard = nullptr,
                         long long capacity = kDefaultBufferCapacity);

  void Clear() override;
  void Add(const std::string& line) override;
  std::string GetText() const override;
  void ReadText(const std::function<void(std::string_view)>& use) const override { use(text_); }
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

  // Beyond the shared interface: what a user does with mouse and keyboard.
  // Selects from anchor to caret (either order), clamped to the text.
  void Select(int anchor, int caret);
  int Anchor() const { return anchor_; }
  int Caret() const { return caret_; }

 private:
  int Length() const { return static_cast<int>(text_.size()); }
  void ReplaceSelection(const std::string& text);
  void CheckCapacity(size_t length) const;

  std::string text_;
  int anchor_ = 0;
  int caret_ = 0;
  bool modified_ = false;
  TMemoryClipboard* clipboard_;
  long long capacity_;
};

}  // namespace deckhand
