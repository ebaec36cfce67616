#include "ui/Unit3.h"

#include <QRect>

#include "core/Encoding.h"
#include "core/MarkupCommands.h"

namespace deckhand {

TCreathref::TCreathref(QWidget* parent, TCodeBuffer& buffer)
    : TFixedDialog(parent, QStringLiteral("Creathref"), QStringLiteral("Создать ссылку"), 400, 138),
      buffer_(buffer) {
  url = new TLabeledEdit(this, QStringLiteral("url"), QStringLiteral("Адрес (URL):"),
                         QRect(8, 24, 385, 21));
  text = new TLabeledEdit(this, QStringLiteral("text"), QStringLiteral("Текст:"),
                          QRect(8, 72, 385, 21));
  Bevel1 = new TBevel(this, QStringLiteral("Bevel1"), QRect(8, 100, 387, 5));
  Button1 = CreateDialogButton(this, QStringLiteral("Button1"), QStringLiteral("Создать"),
                               QRect(160, 108, 75, 25));
  Button2 = CreateDialogButton(this, QStringLiteral("Button2"), QStringLiteral("Отмена"),
                               QRect(240, 108, 75, 25));
  Button3 = CreateDialogButton(this, QStringLiteral("Button3"), QStringLiteral("Очистить"),
                               QRect(320, 108, 75, 25));

  SetTabOrder({Button1, Button2, Button3, url, text});
  Button1->setFocus(Qt::OtherFocusReason);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(Button1); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(Button2); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(Button3); });
}

void TCreathref::Button1Click(QObject*) {
  buffer_.SetSelText(ComposeLink(UnicodeToCp1251(url->text()), UnicodeToCp1251(text->text())));
  close();
}

void TCreathref::Button2Click(QObject*) { close(); }

void TCreathref::Button3Click(QObject*) {
  url->clear();
  text->clear();
}

}  // namespace deckhand
