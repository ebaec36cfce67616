#include "ui/Unit6.h"

#include <QColor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "assets/JpegDecoder.h"
#include "core/Errors.h"
#include "ui/Fonts.h"
#include "ui/ProductInfo.h"
#include "widgets/Gauges.h"
#include "widgets/Labels.h"

namespace deckhand {

namespace {

constexpr int kWidth = 450;
constexpr int kHeight = 240;
const QColor kTextColour(125, 123, 123);  // #7D7B7B

// The usage notice, two paragraphs of three lines, then the copyright line.
const char* const kNotice[] = {
    "Deckhand — бесплатный редактор документов WML для WAP-телефонов.",
    "Программа распространяется «как есть», без каких-либо гарантий;",
    "авторы не отвечают за ущерб от её использования.",
    "Разрешается свободно копировать и передавать программу другим",
    "при условии, что её дистрибутив остаётся неизменным.",
    "Продажа программы без согласия авторов запрещена.",
};
const int kNoticeTops[] = {148, 158, 168, 184, 194, 204};
const char* const kCopyright = "© 2026 Команда Deckhand";

void SetBackground(QWidget* widget, const QColor& colour) {
  QPalette colours = widget->palette();
  colours.setColor(QPalette::Window, colour);
  widget->setPalette(colours);
  widget->setAutoFillBackground(true);
}

QWidget* FrameLine(QWidget* parent, const char* name, const QRect& geometry,
                   Qt::CursorShape shape) {
  auto* line = new QWidget(parent);
  line->setObjectName(QString::fromLatin1(name));
  line->setGeometry(geometry);
  SetBackground(line, Qt::black);
  line->setCursor(shape);
  return line;
}

}  // namespace

Tloading::Tloading(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("loading"));
  setWindowTitle(QStringLiteral("Загрузка..."));
  setFixedSize(kWidth, kHeight);
  setFont(TahomaFont(9));
  QPalette colours = palette();
  colours.setColor(QPalette::Window, Qt::white);
  colours.setColor(QPalette::WindowText, kTextColour);
  setPalette(colours);
  setAutoFillBackground(true);

  Splitter3 = FrameLine(this, "Splitter3", QRect(0, 0, kWidth, 1), Qt::SizeVerCursor);
  Splitter2 = FrameLine(this, "Splitter2", QRect(0, kHeight - 1, kWidth, 1), Qt::SizeVerCursor);
  Splitter1 = FrameLine(this, "Splitter1", QRect(0, 1, 1, kHeight - 2), Qt::SizeHorCursor);
  Splitter4 = FrameLine(this, "Splitter4", QRect(kWidth - 1, 1, 1, kHeight - 2), Qt::SizeHorCursor);

  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(1, 1, kWidth - 2, kHeight - 2);
  SetBackground(Panel1, Qt::white);
  // Inherited by everything on the panel, which sets no cursor of its own.
  Panel1->setCursor(Qt::BusyCursor);

  Image1 = new QLabel(Panel1);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(19, 8, 249, 137);
  // Drawn unscaled from the box's top-left corner; the box clips the rest.
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  try {
    Image1->setPixmap(QPixmap::fromImage(LoadJpeg(QStringLiteral(":/images/logo.jpg"))));
  } catch (const EDeckhandError&) {
    // The splash is decoration: without its logo it shows the rest and the
    // program starts as usual.
  }

  Label2 = CreateFittedLabel(Panel1, QStringLiteral("Label2"),
                             QStringLiteral("Версия: ") + QString::fromUtf8(kProductVersion), 384,
                             220, TahomaFont(11));

  QLabel** notice[] = {&Label9, &Label10, &Label11, &Label12, &Label13, &Label14};
  const char* const names[] = {"Label9", "Label10", "Label11", "Label12", "Label13", "Label14"};
  for (int i = 0; i < 6; ++i)
    *notice[i] = CreateFittedLabel(Panel1, QString::fromLatin1(names[i]),
                                   QString::fromUtf8(kNotice[i]), 32, kNoticeTops[i]);
  Label5 =
      CreateFittedLabel(Panel1, QStringLiteral("Label5"), QString::fromUtf8(kCopyright), 32, 223);

  Gauge = new TGauge(Panel1);
  Gauge->setObjectName(QStringLiteral("Gauge"));
  Gauge->setGeometry(432, 7, 9, 41);
  Gauge->BeginLoading();
  Gauge->SetKind(gkVerticalBar);
  Gauge->SetMinValue(0);
  Gauge->SetMaxValue(175);
  Gauge->SetProgress(0);
  Gauge->SetBorderStyle(bsNone);
  Gauge->SetShowText(false);
  Gauge->SetColor(Qt::white);
  Gauge->SetBackColor(QColor(255, 213, 155));
  Gauge->SetForeColor(QColor(255, 149, 4));
  Gauge->setFont(TahomaFont(9));
  Gauge->EndLoading();

  // Centred on the screen; the owner may not be shown yet.
  QScreen* display = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
  if (display != nullptr) {
    const QRect area = display->geometry();
    move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - kHeight) / 2);
  }

  Timer = new QTimer(this);
  Timer->setObjectName(QStringLiteral("Timer"));
  Timer->setTimerType(Qt::PreciseTimer);
  Timer->setInterval(2000);
  connect(Timer, &QTimer::timeout, this, [this] { TimerTimer(Timer); });
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setTimerType(Qt::PreciseTimer);
  Timer1->setInterval(10);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(Timer1); });
  Timer->start();
  Timer1->start();
}

void Tloading::TimerTimer(QObject*) {
  close();
  Timer->stop();
  Timer1->stop();
}

void Tloading::Timer1Timer(QObject*) { Gauge->SetProgress(Gauge->Progress() + 1); }

void Tloading::done(int result) {
  Timer->stop();
  Timer1->stop();
  QDialog::done(result);
}

void Tloading::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace deckhand
