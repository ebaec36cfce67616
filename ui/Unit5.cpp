#include "ui/Unit5.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRect>
#include <QScopeGuard>
#include <QStyleOptionProgressBar>
#include <QStylePainter>

#include "core/MarkupCheck.h"

namespace deckhand {

namespace {

// How often, at most, the check lets the window system deliver paint and
// expose events while it runs.
constexpr qint64 kEventIntervalMs = 15;

// The progress bar of the check. An empty range (the check of an empty text)
// is drawn as an empty bar: the toolkit would show its endless busy
// animation, as if the check were still running.
class TCheckGauge : public QProgressBar {
 public:
  using QProgressBar::QProgressBar;

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (minimum() != maximum()) {
      QProgressBar::paintEvent(event);
      return;
    }
    QStylePainter painter(this);
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    option.maximum = option.minimum + 1;
    option.progress = option.minimum;
    painter.drawControl(QStyle::CE_ProgressBar, option);
  }
};

}  // namespace

Twmlcheck::Twmlcheck(QWidget* parent, TCodeBuffer& buffer)
    : TFixedDialog(parent, QStringLiteral("wmlcheck"),
                   QStringLiteral("Проверка WML кода на ошибки"), 318, 112),
      buffer_(buffer) {
  Label1 = CreateFittedLabel(this, QStringLiteral("Label1"), QStringLiteral("Проверка..."), 128, 8);

  Gauge = new TCheckGauge(this);
  Gauge->setObjectName(QStringLiteral("Gauge"));
  Gauge->setGeometry(24, 24, 273, 17);
  Gauge->setOrientation(Qt::Horizontal);
  Gauge->setTextVisible(false);
  Gauge->setFocusPolicy(Qt::NoFocus);
  Gauge->setRange(0, 100);
  Gauge->setValue(0);

  text = CreateFittedLabel(this, QStringLiteral("text"), QString(), 23, 43);
  Bevel1 = new TBevel(this, QStringLiteral("Bevel1"), QRect(24, 72, 270, 5));
  Button1 = CreateDialogButton(this, QStringLiteral("Button1"), QStringLiteral("Закрыть"),
                               QRect(219, 80, 75, 25));
  Button2 = CreateDialogButton(this, QStringLiteral("Button2"),
                               QStringLiteral("Выполнить проверку"), QRect(24, 80, 137, 25));

  SetTabOrder({Button1, Button2});
  Button1->setFocus(Qt::OtherFocusReason);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(Button1); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(Button2); });
}

void Twmlcheck::Button1Click(QObject*) { close(); }

void Twmlcheck::Button2Click(QObject*) {
  // Input is held back while the check runs, but a run started from within
  // a run (by a timer, say) would scramble the bar.
  if (running_) return;
  running_ = true;
  firstProgress_ = true;
  sinceEvents_.invalidate();
  const auto endRun = qScopeGuard([this] { running_ = false; });
  const TMarkupCheckResult result =
      CheckMarkup(buffer_, [this](int32_t position, int32_t max) { ShowProgress(position, max); });

  text->setText(QString::fromStdString(VerdictText(result.Verdict)));
  FitLabelToCaption(text);
  Label1->setText(QStringLiteral("Проверка закончена"));
  FitLabelToCaption(Label1);
  Label1->move(105, 8);
}

void Twmlcheck::ShowProgress(int32_t position, int32_t max) {
  if (firstProgress_) {
    // The first report is (0, N): the bar restarts, then takes its range.
    firstProgress_ = false;
    Gauge->setValue(0);
    Gauge->setMaximum(max);
  } else {
    // The bar repaints itself only when the change shows.
    Gauge->setValue(position);
  }
  // Let paint and expose events through now and then, so that the window
  // stays drawn on a long check. Keyboard and mouse input, and the close
  // box, wait until the check has ended.
  if (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= kEventIntervalMs) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sinceEvents_.start();
  }
}

}  // namespace deckhand
