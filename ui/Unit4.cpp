#include "ui/Unit4.h"

#include <QPushButton>
#include <QRect>

#include "core/Encoding.h"
#include "core/MarkupCommands.h"
#include "ui/UserDialogs.h"

namespace deckhand {

QStringList ImageFileFilters() {
  // The file dialog takes the patterns from the parentheses at the end of
  // each entry and splits them at spaces only: written with semicolons, an
  // entry of several patterns would match no file at all. The names and the
  // patterns stay as they are; only the separator is the dialog's own.
  struct TEntry {
    const char* name;
    const char* patterns;
  };
  static constexpr TEntry kEntries[] = {
      {"Все файлы", "*.gif;*.jpg;*.jpeg;*.bmp;*.wbmp"},
      {"GIF файл", "*.gif"},
      {"JPG и JPEG файлы", "*.jpg;*.jpeg"},
      {"Bipmaps файлы", "*.bmp;*.wbmp"},
  };
  QStringList filters;
  for (const TEntry& entry : kEntries) {
    QString patterns = QString::fromUtf8(entry.patterns);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << QString::fromUtf8(entry.name) + QStringLiteral(" (") + patterns +
                   QStringLiteral(")");
  }
  return filters;
}

Tcreatpic::Tcreatpic(QWidget* parent, TCodeBuffer& buffer)
    : TFixedDialog(parent, QStringLiteral("creatpic"), QStringLiteral("Вставка изображения"), 392,
                   140),
      buffer_(buffer) {
  filepic = new TLabeledEdit(this, QStringLiteral("filepic"), QStringLiteral("Адрес файла:"),
                             QRect(8, 24, 297, 21));
  alt = new TLabeledEdit(this, QStringLiteral("alt"), QStringLiteral("Альтернативный текст:"),
                         QRect(8, 72, 297, 21));
  Bevel1 = new TBevel(this, QStringLiteral("Bevel1"), QRect(8, 100, 377, 5));
  Button1 = CreateDialogButton(this, QStringLiteral("Button1"), QStringLiteral("Обзор..."),
                               QRect(312, 24, 75, 22));
  Button2 = CreateDialogButton(this, QStringLiteral("Button2"), QStringLiteral("Очистить"),
                               QRect(312, 109, 75, 25));
  Button3 = CreateDialogButton(this, QStringLiteral("Button3"), QStringLiteral("Отмена"),
                               QRect(232, 109, 75, 25));
  Button4 = CreateDialogButton(this, QStringLiteral("Button4"), QStringLiteral("Вставить"),
                               QRect(152, 109, 75, 25));

  SetTabOrder({Button1, Button2, Button3, Button4, filepic, alt});
  Button1->setFocus(Qt::OtherFocusReason);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(Button1); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(Button2); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(Button3); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(Button4); });
}

void Tcreatpic::Button1Click(QObject*) {
  // No initial folder: the file dialog starts where the toolkit chooses.
  const std::optional<QString> file =
      UserDialogs().GetOpenFileName(this, ImageFileFilters(), QString());
  if (file) filepic->setText(*file);
}

void Tcreatpic::Button2Click(QObject*) {
  filepic->clear();
  alt->clear();
}

void Tcreatpic::Button3Click(QObject*) { close(); }

void Tcreatpic::Button4Click(QObject*) {
  buffer_.SetSelText(ComposeImage(UnicodeToCp1251(filepic->text()), UnicodeToCp1251(alt->text())));
  close();
}

}  // namespace deckhand
