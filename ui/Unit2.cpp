#include "ui/Unit2.h"

#include <QColor>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>

#include "assets/JpegDecoder.h"
#include "core/Errors.h"
#include "ui/Fonts.h"
#include "ui/ProductInfo.h"
#include "ui/Shell.h"

namespace deckhand {

namespace {

const QColor kBoxColour(0x59, 0x88, 0xCC);

// The usage terms, two paragraphs of three lines.
const char* const kTerms[] = {
    "Программа распространяется бесплатно, «как есть», без",
    "каких-либо гарантий. Авторы не отвечают за ущерб,",
    "возникший в результате её использования.",
    "Разрешается свободно копировать и распространять",
    "программу при условии, что её дистрибутив остаётся",
    "неизменным. Продажа программы запрещена.",
};
const int kTermsTops[] = {80, 92, 104, 124, 136, 148};

// A picture box: the picture drawn from its top-left corner, unscaled and
// clipped to the box, or stretched over it. A picture that cannot be loaded
// leaves the box empty in the box's colour; the About box still opens.
QLabel* Picture(QWidget* parent, const char* name, const char* path, const QRect& geometry,
                bool stretch) {
  auto* picture = new QLabel(parent);
  picture->setObjectName(QString::fromLatin1(name));
  picture->setGeometry(geometry);
  picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  picture->setScaledContents(stretch);
  try {
    picture->setPixmap(QPixmap::fromImage(LoadJpeg(QString::fromLatin1(path))));
  } catch (const EDeckhandError&) {
  }
  return picture;
}

// A white label in the box's colour that fits its text.
QLabel* Label(QWidget* parent, const char* name, const QString& text, int left, int top,
              int pixelSize) {
  QLabel* label =
      CreateFittedLabel(parent, QString::fromLatin1(name), text, left, top, TahomaFont(pixelSize));
  label->setAutoFillBackground(true);
  return label;
}

}  // namespace

TAbout::TAbout(QWidget* owner)
    : TFixedDialog(owner, QStringLiteral("About"), QStringLiteral("О программе"), 400, 230) {
  QPalette colours = palette();
  colours.setColor(QPalette::Window, kBoxColour);
  colours.setColor(QPalette::WindowText, Qt::white);
  setPalette(colours);
  setBackgroundRole(QPalette::Window);
  setAutoFillBackground(true);

  Label1 = Label(this, "Label1", QStringLiteral("Deckhand v") + QString::fromUtf8(kProductVersion),
                 80, 16, 19);
  Image1 = Picture(this, "Image1", ":/images/about-left.jpg", QRect(0, 0, 72, 222), false);
  Image2 = Picture(this, "Image2", ":/images/about-right.jpg", QRect(380, 0, 20, 222), false);
  Bevel1 = new TBevel(this, QStringLiteral("Bevel1"), QRect(80, 40, 161, 3));
  Label6 = Label(this, "Label6",
                 QStringLiteral("» Внимание! Перед началом первой работы с программой"), 80, 48, 9);
  Label8 = Label(this, "Label8", QStringLiteral("настоятельно рекомендуется прочитать справку."),
                 80, 60, 9);
  QLabel** terms[] = {&Label9, &Label10, &Label11, &Label12, &Label13, &Label14};
  const char* const names[] = {"Label9", "Label10", "Label11", "Label12", "Label13", "Label14"};
  for (int i = 0; i < 6; ++i)
    *terms[i] = Label(this, names[i], QString::fromUtf8(kTerms[i]), 80, kTermsTops[i], 9);
  Label15 = Label(this, "Label15", QStringLiteral("Web сайт: ") + WebSiteCaption(), 80, 172, 9);
  Label3 = Label(this, "Label3", QStringLiteral("E-mail: ") + QString::fromUtf8(kMailAddress), 80,
                 184, 9);
  Label5 = Label(this, "Label5", QStringLiteral("© 2026 Команда Deckhand"), 80, 203, 9);
  Bevel2 = new TBevel(this, QStringLiteral("Bevel2"), QRect(80, 165, 305, 3));
  Image3 = Picture(this, "Image3", ":/images/about-band.jpg", QRect(0, 222, 400, 8), true);
  Image4 = Picture(this, "Image4", ":/images/about-band.jpg", QRect(0, 0, 400, 8), true);
  Button1 = CreateDialogButton(this, QStringLiteral("Button1"), QStringLiteral("Закрыть"),
                               QRect(308, 189, 75, 25));
  Button1->setCursor(Qt::PointingHandCursor);

  // The link lines look like the others; only the hand cursor marks them.
  for (QLabel* link : {Label15, Label3}) {
    link->setCursor(Qt::PointingHandCursor);
    link->installEventFilter(this);
  }

  Button1->setFocus(Qt::OtherFocusReason);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(Button1); });
}

void TAbout::Label15Click(QObject*) { Shell().Open(QString::fromUtf8(kWebSiteAddress)); }

void TAbout::Label3Click(QObject*) { Shell().Open(MailLink()); }

void TAbout::Button1Click(QObject*) { close(); }

bool TAbout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label15 || watched == Label3) {
    if (event->type() == QEvent::MouseButtonPress) {
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) pressed_ = watched;
    } else if (event->type() == QEvent::MouseButtonRelease) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      auto* label = static_cast<QLabel*>(watched);
      const bool click = mouse->button() == Qt::LeftButton && pressed_ == watched &&
                         label->rect().contains(mouse->position().toPoint());
      pressed_ = nullptr;
      if (click) {
        if (watched == Label15)
          Label15Click(Label15);
        else
          Label3Click(Label3);
      }
    }
  }
  return TFixedDialog::eventFilter(watched, event);
}

}  // namespace deckhand
