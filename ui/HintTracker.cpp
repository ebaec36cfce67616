#include "ui/HintTracker.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

namespace deckhand {

QString LongHint(const QString& hint) {
  const qsizetype bar = hint.indexOf(QLatin1Char('|'));
  return bar < 0 ? hint : hint.mid(bar + 1);
}

THintTracker::THintTracker(QObject* parent) : QObject(parent) {
  // The idle step: a zero timer runs once the pending events are handled.
  idle_.setSingleShot(true);
  idle_.setInterval(0);
  connect(&idle_, &QTimer::timeout, this, &THintTracker::UpdateFromPointer);
  // While a modal window is open the windows behind it receive no pointer
  // events, yet the hint follows the pointer over them: the pointer is
  // looked at on a short period instead, and only a move costs a lookup.
  modalPoll_.setInterval(kModalPollInterval);
  connect(&modalPoll_, &QTimer::timeout, this, &THintTracker::PollBehindModal);
  qApp->installEventFilter(this);
}

void THintTracker::PollBehindModal() {
  if (QApplication::activeModalWidget() == nullptr) {
    modalPoll_.stop();
    return;
  }
  const QPoint pointer = QCursor::pos();
  if (pointer == lastPolled_) return;
  lastPolled_ = pointer;
  UpdateFromPointer();
}

// The menu that shows a submenu's parent item highlighted with this menu
// open from it, if any.
static QMenu* ParentMenuOf(const QMenu* menu) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* parent = qobject_cast<QMenu*>(widget);
    if (parent != nullptr && parent != menu && parent->isVisible() &&
        parent->activeAction() == menu->menuAction()) {
      return parent;
    }
  }
  return nullptr;
}

QString THintTracker::HintOfWidget(const QWidget* widget) {
  for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    const QString hint = w->property(kHintProperty).toString();
    if (!hint.isEmpty()) return hint;
    if (w->isWindow()) break;
  }
  return QString();
}

void THintTracker::UpdateFromPointer() {
  if (openMenus_ > 0) return;  // the highlighted menu item decides
  SetHint(HintOfWidget(QApplication::widgetAt(QCursor::pos())));
}

void THintTracker::SetHint(const QString& hint) {
  const QString shown = LongHint(hint);
  if (shown == hint_) return;
  hint_ = shown;
  emit HintChanged(hint_);
}

void THintTracker::WatchMenu(QMenu* menu) {
  if (menu->property("deckhandHintWatched").toBool()) return;
  menu->setProperty("deckhandHintWatched", true);
  // The highlighted action comes with the signal: a submenu passes it on to
  // the menus it opened from, whose own active item is the submenu's parent.
  connect(menu, &QMenu::hovered, this, [this](QAction* action) {
    SetHint(action == nullptr || action->isSeparator() ? QString() : action->statusTip());
  });
}

void THintTracker::MenuHighlight(QMenu* menu) {
  const QAction* action = menu->activeAction();
  if (action == nullptr || action->isSeparator()) {
    SetHint(QString());
  } else {
    SetHint(action->statusTip());
  }
}

bool THintTracker::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Show:
      if (auto* menu = qobject_cast<QMenu*>(watched)) {
        WatchMenu(menu);
        ++openMenus_;
        if (QMenu* parent = ParentMenuOf(menu)) {
          // A submenu opening: its parent item stays highlighted and keeps
          // its hint until an item of the submenu is highlighted.
          MenuHighlight(parent);
        } else {
          SetHint(QString());  // nothing highlighted yet
        }
      } else if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isModal()) {
        lastPolled_ = QCursor::pos();
        modalPoll_.start();
      }
      break;
    case QEvent::Hide:
      if (qobject_cast<QMenu*>(watched) != nullptr && openMenus_ > 0) {
        --openMenus_;
        if (openMenus_ == 0) {
          SetHint(QString());
          idle_.start();
        } else if (auto* active = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
          MenuHighlight(active);
        }
      }
      break;
    case QEvent::MouseMove:
      if (auto* menu = qobject_cast<QMenu*>(watched)) {
        // Onto a separator or off the items: no item is highlighted.
        if (menu->activeAction() == nullptr || menu->activeAction()->isSeparator()) {
          SetHint(QString());
        }
        break;
      }
      if (openMenus_ == 0 && watched->isWidgetType()) idle_.start();
      break;
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::HoverMove:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
      if (openMenus_ == 0) idle_.start();
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace deckhand
