// The phone screen: paints the laid-out lines, the title, the focus and the
// scroll bar, and moves the focus and the scroll with the navigation keys.
#include "emulator/CardRenderer.h"

#include <QPainter>
#include <algorithm>
#include <unordered_map>

#include "emulator/CardRendererInternal.h"
#include "emulator/EmulatorLimits.h"

namespace deckhand::wml {

using namespace render_detail;

namespace {

struct TColors {
  QRgb Background, Ink, Link, FocusBackground, FocusInk, TitleBackground, TitleInk;
};

// A screen under 64 rows is drawn as the monochrome displays of that size
// were: dark ink on a grey-green glass. Bigger screens are colour screens.
TColors ColorsFor(int height) {
  if (height < 64)
    return {qRgb(0xC4, 0xCF, 0xA1), qRgb(0x1C, 0x22, 0x18), qRgb(0x1C, 0x22, 0x18),
            qRgb(0x1C, 0x22, 0x18), qRgb(0xC4, 0xCF, 0xA1), qRgb(0xC4, 0xCF, 0xA1),
            qRgb(0x1C, 0x22, 0x18)};
  return {qRgb(0xFF, 0xFF, 0xFF), qRgb(0x00, 0x00, 0x00), qRgb(0x00, 0x00, 0xC0),
          qRgb(0x20, 0x48, 0xA8), qRgb(0xFF, 0xFF, 0xFF), qRgb(0x20, 0x48, 0xA8),
          qRgb(0xFF, 0xFF, 0xFF)};
}

constexpr int kMarginLeft = 1;
constexpr int kScrollBarWidth = 3;

}  // namespace

TPhoneScreen::TPhoneScreen(TUserAgent& agent, const TPhoneProfile& profile)
    : agent_(agent), profile_(&profile) {}

void TPhoneScreen::SetProfile(const TPhoneProfile& profile) {
  profile_ = &profile;
  scroll_ = 0;
}

int TPhoneScreen::Width() const { return profile_->HasScreen() ? profile_->ScreenWidth : 128; }
int TPhoneScreen::Height() const { return profile_->HasScreen() ? profile_->ScreenHeight : 128; }

QImage TPhoneScreen::Render() {
  const int width = Width();
  const int height = Height();
  const TColors colors = ColorsFor(height);
  bool tables = profile_->Tables != TTableSupport::No;
  // A card shown anew starts at its top; an edit of the deck (a new tree for
  // the same card) keeps the place.
  const std::string key = agent_.DeckPath() + '\n' + agent_.CardId() + '\n' +
                          std::to_string(agent_.Deck().IndexOf(agent_.Card())) + '\n' +
                          (agent_.Card() ? "card" : "none");
  const bool fresh = key != lastCard_ || agent_.MenuOpen() != lastMenu_;
  if (fresh) {
    scroll_ = 0;
    lastCard_ = key;
    lastMenu_ = agent_.MenuOpen();
  }
  if (fresh) hScroll_ = 0;
  int contentWidth = std::max(8, width - kMarginLeft - kScrollBarWidth);
  TLayoutState state;
  state.Images = &images_;
  TScreenText screen = BuildScreen(agent_, contentWidth, tables, state);
  state.Stats.Lines = screen.Lines.size();
  stats_ = state.Stats;
  limitMessage_ = state.Message;

  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colors.Background);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, false);
  const QRect all(0, 0, width, height);

  viewTop_ = 0;
  if (!screen.Title.empty()) {
    TStyle style;
    int titleHeight = kNormalFont.Height() + 2;
    bool mono = height < 64;
    if (!mono) painter.fillRect(0, 0, width, titleHeight - 1, QColor(colors.TitleBackground));
    painter.end();
    int textWidth = TextWidth(screen.Title, style);
    int x = std::max(kMarginLeft, (width - textWidth) / 2);
    DrawText(image, x, 0, screen.Title, style, colors.TitleInk,
             QRect(0, 0, width, titleHeight - 1));
    painter.begin(&image);
    painter.setPen(QColor(colors.Ink));
    if (mono) painter.drawLine(0, titleHeight - 1, width - 1, titleHeight - 1);
    viewTop_ = titleHeight + 1;
  }
  const int viewHeight = height - viewTop_;

  // Focus boxes and the content height.
  boxes_.clear();
  contentHeight_ = 0;
  std::unordered_map<int, std::size_t> boxOf;
  for (const TLine& line : screen.Lines) {
    contentHeight_ = std::max(contentHeight_, line.Top + line.Height());
    for (const TPlaced& placed : line.Items) {
      int focus = placed.Atom.Style.Focus;
      if (focus < 0) continue;
      auto [it, added] = boxOf.try_emplace(focus, boxes_.size());
      if (added)
        boxes_.push_back({focus, line.Top, line.Top + line.Height()});
      else
        boxes_[it->second].Bottom = std::max(boxes_[it->second].Bottom, line.Top + line.Height());
    }
  }
  // On a new card the focus starts on its first item only when that shows on
  // the first screen; else nothing has it until the down key reaches it.
  if (fresh) {
    for (const TFocusBox& box : boxes_)
      if (box.Focus == agent_.Focus() && box.Bottom > viewHeight) agent_.SetFocus(-1);
    lastFocus_ = agent_.Focus();
  }
  // Keep the focused item in view when the focus moved.
  if (agent_.Focus() != lastFocus_) {
    lastFocus_ = agent_.Focus();
    for (const TFocusBox& box : boxes_) {
      if (box.Focus != agent_.Focus()) continue;
      if (box.Bottom > scroll_ + viewHeight) scroll_ = box.Bottom - viewHeight;
      if (box.Top < scroll_) scroll_ = box.Top;
    }
  }
  scroll_ = std::clamp(scroll_, 0, std::max(0, contentHeight_ - viewHeight));

  // Nowrap lines in view that are wider than the screen scroll sideways
  // together, each no further than its own end.
  hScrollMost_ = 0;
  for (const TLine& line : screen.Lines) {
    int top = viewTop_ + line.Top - scroll_;
    if (top + line.Height() <= viewTop_ || top >= height || !line.Nowrap) continue;
    hScrollMost_ = std::max(hScrollMost_, line.Right - contentWidth);
  }
  hScroll_ = std::clamp(hScroll_, 0, hScrollMost_);

  const QRect view(0, viewTop_, width, viewHeight);
  for (const TLine& line : screen.Lines) {
    int top = viewTop_ + line.Top - scroll_;
    if (top + line.Height() <= viewTop_ || top >= height) continue;
    const int shift = line.Nowrap ? std::clamp(line.Right - contentWidth, 0, hScroll_) : 0;
    int previousFocus = -1;
    int previousRight = 0;
    for (const TPlaced& placed : line.Items) {
      const TAtom& atom = placed.Atom;
      int x = kMarginLeft + placed.X - shift;
      // The gap between two words of one link is part of it: highlighted and
      // underlined with it.
      const bool joined = atom.Style.Focus >= 0 && atom.Style.Focus == previousFocus &&
                          atom.Kind == TAtom::TKind::Word && x > previousRight;
      previousFocus = atom.Style.Focus;
      int y = top + line.Ascent - atom.Ascent;
      QRect clip = view.intersected(QRect(QPoint(shift > 0 ? kMarginLeft : 0, 0),
                                          QPoint(kMarginLeft + placed.ClipRight, height - 1)));
      bool focused = atom.Style.Focus >= 0 && atom.Style.Focus == agent_.Focus();
      QRgb ink = atom.Style.Link ? colors.Link : colors.Ink;
      switch (atom.Kind) {
        case TAtom::TKind::Word: {
          const int left = joined ? previousRight : x - 1;
          if (focused) {
            painter.fillRect(
                QRect(left, top, x + atom.Width - left, line.Height()).intersected(clip),
                QColor(colors.FocusBackground));
            ink = colors.FocusInk;
          }
          if (joined && atom.Style.Underline) {
            const int underline = y + FontOf(atom.Style.Size).Ascent + 1;
            painter.setPen(QColor(ink));
            painter.setClipRect(clip);
            painter.drawLine(previousRight, underline, x - 1, underline);
            painter.setClipping(false);
          }
          painter.end();
          DrawText(image, x, y, atom.Text, atom.Style, ink, clip);
          painter.begin(&image);
          break;
        }
        case TAtom::TKind::Field: {
          QRect box(x - 1, top, atom.Width + 1, line.Height());
          if (focused) {
            painter.fillRect(box.intersected(clip), QColor(colors.FocusBackground));
            ink = colors.FocusInk;
          } else if (!atom.Checkable) {
            painter.setPen(QColor(colors.Ink));
            painter.setClipRect(clip);
            painter.drawRect(box.adjusted(0, 0, -1, -1));
            painter.setClipping(false);
          }
          painter.end();
          DrawText(image, x + (atom.Checkable ? 0 : 1), y + (atom.Checkable ? 0 : 1), atom.Text,
                   atom.Style, ink, clip.intersected(box.adjusted(1, 0, -1, 0)));
          painter.begin(&image);
          break;
        }
        case TAtom::TKind::Image: {
          painter.setClipRect(clip);
          painter.drawImage(QPoint(x, y), atom.Picture);
          if (focused) {
            painter.setPen(QColor(colors.FocusBackground));
            painter.drawRect(QRect(x - 1, y - 1, atom.Width + 1, atom.Ascent + 1));
          }
          painter.setClipping(false);
          break;
        }
        default:
          break;
      }
      previousRight = x + atom.Width;
    }
  }

  // Scroll bar when the content is taller than the screen.
  if (contentHeight_ > viewHeight && viewHeight > 4) {
    int barX = width - 2;
    painter.setPen(QColor(colors.Ink));
    painter.drawLine(barX, viewTop_, barX, height - 1);
    int thumb = std::max(3, viewHeight * viewHeight / contentHeight_);
    int thumbTop =
        viewTop_ + (viewHeight - thumb) * scroll_ / std::max(1, contentHeight_ - viewHeight);
    painter.fillRect(QRect(barX - 1, thumbTop, 3, thumb), QColor(colors.Ink));
  }
  painter.end();
  return image;
}

void TPhoneScreen::Down() {
  const int viewHeight = Height() - viewTop_;
  const int step = kNormalFont.Height();
  int next = agent_.Focus() + 1;
  for (const TFocusBox& box : boxes_) {
    if (box.Focus != next) continue;
    if (box.Top < scroll_ + viewHeight + step) {
      agent_.SetFocus(next);
      return;
    }
  }
  int most = std::max(0, contentHeight_ - viewHeight);
  scroll_ = std::min(most, scroll_ + step);
}

bool TPhoneScreen::Right() {
  if (hScrollMost_ <= 0) return false;
  const int step = std::max(kNormalFont.Advance, (Width() - kMarginLeft - kScrollBarWidth) / 2);
  hScroll_ = std::min(hScrollMost_, hScroll_ + step);
  return true;
}

bool TPhoneScreen::Left() {
  if (hScrollMost_ <= 0) return false;
  const int step = std::max(kNormalFont.Advance, (Width() - kMarginLeft - kScrollBarWidth) / 2);
  hScroll_ = std::max(0, hScroll_ - step);
  return true;
}

void TPhoneScreen::Up() {
  const int step = kNormalFont.Height();
  int previous = agent_.Focus() - 1;
  for (const TFocusBox& box : boxes_) {
    if (box.Focus != previous || previous < 0) continue;
    if (box.Bottom > scroll_ - step) {
      agent_.SetFocus(previous);
      return;
    }
  }
  scroll_ = std::max(0, scroll_ - step);
}

}  // namespace deckhand::wml
