#include "ui/CommandTables.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include "ui/Unit1.h"

namespace deckhand {

namespace {

using K = TMenuEntryKind;
using T = TToolEntryKind;

}  // namespace

const std::vector<TMenuEntry>& MainMenuEntries() {
  static const std::vector<TMenuEntry> entries = {
      {K::Menu, "N1", "&Файл", "", "", -1, nullptr},
      {K::Item, "N6", "&Создать", "Создание нового документа", "Ctrl+N", 0, &TMain::N6Click},
      {K::Item, "N7", "&Открыть...", "Открыть документ", "Ctrl+O", 1, &TMain::N7Click},
      {K::Item, "N46", "Со&хранить", "Сохранить документ", "Ctrl+S", 2, &TMain::N46Click},
      {K::Item, "N8", "Со&хранить как...", "Сохранить документ как", "", -1, &TMain::N8Click},
      {K::Separator, "N9", "-", "", "", -1, nullptr},
      {K::Item, "N47", "&Настройка печати...", "Настроить печать", "", 27, &TMain::N47Click},
      {K::Item, "WML1", "&Печать WML кода...", "Напечатать WML код", "", 26, &TMain::WML1Click},
      {K::Separator, "N45", "-", "", "", -1, nullptr},
      {K::Item, "N10", "&Выход", "Выход из редактора", "Alt+F4", -1, &TMain::N10Click},
      {K::EndMenu, "", "", "", "", -1, nullptr},

      {K::Menu, "N11", "&Правка", "", "", -1, nullptr},
      {K::Item, "WML2", "Проверка кода на ошибки", "Проверить WML код на ошибки", "F7", 28,
       &TMain::WML2Click},
      {K::Separator, "N48", "-", "", "", -1, nullptr},
      {K::Item, "N13", "&Вырезать", "Вырезать", "Ctrl+X", 3, &TMain::N13Click},
      {K::Item, "N14", "&Копировать", "Копировать", "Ctrl+C", 4, &TMain::N14Click},
      {K::Item, "N15", "В&ставить", "Вставить", "Ctrl+V", 5, &TMain::N15Click},
      {K::Separator, "N16", "-", "", "", -1, nullptr},
      {K::Item, "N17", "&Увеличить текст", "Увеличение размера текста", "", 13, &TMain::N17Click},
      {K::Item, "N18", "У&меньшить текст", "Уменьшение размера текста", "", 14, &TMain::N18Click},
      {K::Separator, "N19", "-", "", "", -1, nullptr},
      {K::Submenu, "N44", "Вы&равнивание", "Выравнивание", "", -1, nullptr},
      {K::Item, "N24", "Выравнить абзац по &левому полю", "Выравнить абзац по левому полю", "", 9,
       &TMain::N24Click},
      {K::Item, "N25", "Выравнить абзац по &центру", "Выравнить абзац по центру", "", 10,
       &TMain::N25Click},
      {K::Item, "N26", "Выравнить абзац по п&равому полю", "Выравнить абзац по правому полю", "",
       12, &TMain::N26Click},
      {K::EndMenu, "", "", "", "", -1, nullptr},
      {K::Separator, "N23", "-", "", "", -1, nullptr},
      {K::Item, "N20", "&Полужирный", "Полужирный текст", "", 6, &TMain::N20Click},
      {K::Item, "N21", "Курс&ив", "Курсив", "", 7, &TMain::N21Click},
      {K::Item, "N22", "П&одчеркнутый", "Подчеркнутый тескт", "", 8, &TMain::N22Click},
      // Beyond the original menus: find and replace, go to a line, go to a
      // finding of the deck check.
      {K::Separator, "Find0", "-", "", "", -1, nullptr},
      {K::Item, "Find1", "&Найти...", "Найти текст", "Ctrl+F", -1, &TMain::Find1Click},
      {K::Item, "FindNext1", "Найти &далее", "Найти текст ещё раз", "F3", -1,
       &TMain::FindNext1Click},
      {K::Item, "Replace1", "&Заменить...", "Заменить текст", "Ctrl+H", -1, &TMain::Replace1Click},
      {K::Item, "GoToLine1", "&Перейти к строке...", "Поставить курсор на строку и столбец",
       "Ctrl+G", -1, &TMain::GoToLine1Click},
      {K::Item, "NextFinding1", "С&ледующее замечание", "Перейти к следующему замечанию проверки",
       "F8", -1, &TMain::NextFinding1Click},
      {K::Item, "PrevFinding1", "Пр&едыдущее замечание", "Перейти к предыдущему замечанию проверки",
       "Shift+F8", -1, &TMain::PrevFinding1Click},
      {K::EndMenu, "", "", "", "", -1, nullptr},

      {K::Menu, "N2", "&Вид", "", "", -1, nullptr},
      {K::Item, "N5", "&Обновить", "Обновить общий вид", "F5", 18, &TMain::N5Click},
      // Beyond the original menus: the phone emulator window.
      {K::Item, "N50", "&Эмулятор телефона", "Показать колоду так, как её покажет телефон", "F6",
       -1, &TMain::N50Click},
      {K::EndMenu, "", "", "", "", -1, nullptr},

      {K::Menu, "N12", "&Вставка", "", "", -1, nullptr},
      {K::Item, "N27", "&Новая карта", "Вставить новую карту", "", 23, &TMain::N27Click},
      {K::Separator, "N37", "-", "", "", -1, nullptr},
      {K::Item, "N28", "Новый &параграф", "Вставить новый параграф", "", 21, &TMain::N28Click},
      {K::Item, "N29", "&Разрыв строки", "Вставить разрыв строки", "", 22, &TMain::N29Click},
      {K::Separator, "N38", "-", "", "", -1, nullptr},
      {K::Item, "N32", "Изображение", "Вставить изображение", "", 15, &TMain::N32Click},
      {K::Separator, "N40", "-", "", "", -1, nullptr},
      {K::Item, "N30", "&Отступ", "Вставить отступ", "", 16, &TMain::N30Click},
      {K::Separator, "N41", "-", "", "", -1, nullptr},
      {K::Submenu, "N33", "Инструменты форм", "Вставить инструменты форм", "", -1, nullptr},
      {K::Item, "N36", "&Форма", "Вставить форму", "", 24, &TMain::N36Click},
      {K::Separator, "N42", "-", "", "", -1, nullptr},
      {K::Item, "N34", "&Поле", "Вставить поле", "", 19, &TMain::N34Click},
      {K::Item, "N35", "&Кнопка", "Вставить кнопку", "", 20, &TMain::N35Click},
      {K::EndMenu, "", "", "", "", -1, nullptr},
      {K::Separator, "N39", "-", "", "", -1, nullptr},
      {K::Item, "N31", "Ссылка", "Вставить ссылку", "Ctrl+K", 17, &TMain::N31Click},
      {K::EndMenu, "", "", "", "", -1, nullptr},

      {K::Menu, "N3", "&Справка", "", "", -1, nullptr},
      {K::Item, "N43", "&Справка", "Читать справку о программе", "F1", 25, &TMain::N43Click},
      {K::Item, "Deckhand1", "&Посетить сайт Deckhand", "Посетить сайт Deckhand", "", -1,
       &TMain::Deckhand1Click},
      {K::Separator, "N49", "-", "", "", -1, nullptr},
      {K::Item, "N4", "&О программе...", "О программе", "F2", -1, &TMain::N4Click},
      {K::EndMenu, "", "", "", "", -1, nullptr},
  };
  return entries;
}

const std::vector<TToolEntry>& StandardToolBarEntries() {
  static const std::vector<TToolEntry> entries = {
      {T::Button, "ToolButton1", "Создание нового документа", 0, &TMain::ToolButton1Click},
      {T::Button, "OpenButton", "Открыть документ", 1, &TMain::OpenButtonClick},
      {T::Button, "SaveButton", "Сохранить документ", 2, &TMain::SaveButtonClick},
      {T::Divider, "ToolButton5", "", -1, nullptr},
      {T::Button, "ToolButton31", "Настроить печать", 27, &TMain::ToolButton31Click},
      {T::Button, "Print", "Напечатать WML код", 26, &TMain::PrintClick},
      {T::Separator, "ToolButton32", "", -1, nullptr},
      {T::Button, "ToolButton33", "Проверить WML код на ошибки", 28, &TMain::ToolButton33Click},
      {T::Separator, "ToolButton34", "", -1, nullptr},
      {T::Button, "CutButton", "Вырезать", 3, &TMain::CutButtonClick},
      {T::Button, "CopyButton", "Копировать", 4, &TMain::CopyButtonClick},
      {T::Button, "PasteButton", "Вставить", 5, &TMain::PasteButtonClick},
      {T::Separator, "ToolButton26", "", -1, nullptr},
      {T::Button, "ToolButton2", "Обновить общий вид", 18, &TMain::ToolButton2Click},
      {T::Separator, "ToolButton10", "", -1, nullptr},
      {T::Button, "ToolButton29", "Читать справку о программе", 25, &TMain::ToolButton29Click},
      {T::Separator, "ToolButton30", "", -1, nullptr},
  };
  return entries;
}

const std::vector<TToolEntry>& FormattingToolBarEntries() {
  static const std::vector<TToolEntry> entries = {
      {T::Button, "ToolButton4", "Увеличение размера текста", 13, &TMain::ToolButton4Click},
      {T::Button, "ToolButton3", "Уменьшение размера текста", 14, &TMain::ToolButton3Click},
      {T::Separator, "ToolButton17", "", -1, nullptr},
      {T::Button, "ToolButton18", "Полужирный текст", 6, &TMain::ToolButton18Click},
      {T::Button, "ToolButton19", "Курсив", 7, &TMain::ToolButton19Click},
      {T::Button, "ToolButton20", "Подчеркнутый тескт", 8, &TMain::ToolButton20Click},
      {T::Divider, "ToolButton21", "", -1, nullptr},
      {T::Button, "ToolButton22", "Выравнить абзац по левому полю", 9, &TMain::ToolButton22Click},
      {T::Button, "ToolButton23", "Выравнить абзац по центру", 10, &TMain::ToolButton23Click},
      {T::Button, "ToolButton24", "Выравнить абзац по правому полю", 12, &TMain::ToolButton24Click},
      {T::Separator, "ToolButton6", "", -1, nullptr},
      {T::Button, "ToolButton16", "Вставить новую карту", 23, &TMain::ToolButton16Click},
      {T::Separator, "ToolButton28", "", -1, nullptr},
      {T::Button, "ToolButton8", "Новый параграф", 21, &TMain::ToolButton8Click},
      {T::Button, "ToolButton9", "Вставить разрыв строки", 22, &TMain::ToolButton9Click},
      {T::Button, "ToolButton13", "Вставить отступ", 16, &TMain::ToolButton13Click},
      {T::Button, "ToolButton14", "Вставить изображение", 15, &TMain::ToolButton14Click},
      {T::Button, "ToolButton15", "Вставить ссылку", 17, &TMain::ToolButton15Click},
      {T::Separator, "ToolButton12", "", -1, nullptr},
      {T::Button, "ToolButton7", "Вставить форму", 24, &TMain::ToolButton7Click},
      {T::Button, "ToolButton25", "Вставить поле", 19, &TMain::ToolButton25Click},
      {T::Button, "ToolButton27", "Вставить кнопку", 20, &TMain::ToolButton27Click},
      {T::Separator, "ToolButton11", "", -1, nullptr},
  };
  return entries;
}

QIcon ToolbarImage(int index) {
  QIcon icon;
  if (index < 0 || index >= kToolbarImageCount) return icon;
  QSvgRenderer renderer(
      QStringLiteral(":/icons/toolbar/%1.svg").arg(index, 2, 10, QLatin1Char('0')));
  if (!renderer.isValid()) return icon;
  for (int size : {16, 32}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace deckhand
