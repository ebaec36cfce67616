// The main window: its menus and toolbars against the tables users know,
// every command's effect through its menu item and its toolbar button, the
// file commands with scripted dialogs, the error box, the close query and
// the status bar.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "RecordingShell.h"
#include "ScriptedDialogs.h"
#include "UiTestSupport.h"
#include "core/Encoding.h"
#include "core/MarkupCommands.h"
#include "document/Recovery.h"
#include "preview/PreviewPane.h"
#include "ui/FindDialog.h"
#include "ui/PrintCommands.h"
#include "ui/Shell.h"
#include "ui/Unit1.h"
#include "wml/DeckCheck.h"
#include "wml/Phones.h"

// Readable rectangles in failure messages.
inline void PrintTo(const QRect& rect, std::ostream* out) {
  *out << "(" << rect.x() << ", " << rect.y() << ") " << rect.width() << "x" << rect.height();
}

namespace deckhand::testing {
namespace {

// The machine's own printers stay out of these tests: libcups is pointed at a
// server that does not exist before anything asks it.
[[maybe_unused]] const bool kNoSystemPrinters =
    qputenv("CUPS_SERVER", "/nonexistent/deckhand-main-window-test.sock");

struct MenuRow {
  const char* parent;
  const char* name;
  const char* caption;
  const char* hint;
  const char* shortcut;
  int image;
};

// Every menu entry of the original tables in display order, with the menu
// it belongs to.
const MenuRow kMenu[] = {
    {"N1", "N6", "&Создать", "Создание нового документа", "Ctrl+N", 0},
    {"N1", "N7", "&Открыть...", "Открыть документ", "Ctrl+O", 1},
    {"N1", "N46", "Со&хранить", "Сохранить документ", "Ctrl+S", 2},
    {"N1", "N8", "Со&хранить как...", "Сохранить документ как", "", -1},
    {"N1", "N9", "-", "", "", -1},
    {"N1", "N47", "&Настройка печати...", "Настроить печать", "", 27},
    {"N1", "WML1", "&Печать WML кода...", "Напечатать WML код", "", 26},
    {"N1", "N45", "-", "", "", -1},
    {"N1", "N10", "&Выход", "Выход из редактора", "Alt+F4", -1},
    {"N11", "WML2", "Проверка кода на ошибки", "Проверить WML код на ошибки", "F7", 28},
    {"N11", "N48", "-", "", "", -1},
    {"N11", "N13", "&Вырезать", "Вырезать", "Ctrl+X", 3},
    {"N11", "N14", "&Копировать", "Копировать", "Ctrl+C", 4},
    {"N11", "N15", "В&ставить", "Вставить", "Ctrl+V", 5},
    {"N11", "N16", "-", "", "", -1},
    {"N11", "N17", "&Увеличить текст", "Увеличение размера текста", "", 13},
    {"N11", "N18", "У&меньшить текст", "Уменьшение размера текста", "", 14},
    {"N11", "N19", "-", "", "", -1},
    {"N11", "N44", "Вы&равнивание", "Выравнивание", "", -1},
    {"N44", "N24", "Выравнить абзац по &левому полю", "Выравнить абзац по левому полю", "", 9},
    {"N44", "N25", "Выравнить абзац по &центру", "Выравнить абзац по центру", "", 10},
    {"N44", "N26", "Выравнить абзац по п&равому полю", "Выравнить абзац по правому полю", "", 12},
    {"N11", "N23", "-", "", "", -1},
    {"N11", "N20", "&Полужирный", "Полужирный текст", "", 6},
    {"N11", "N21", "Курс&ив", "Курсив", "", 7},
    {"N11", "N22", "П&одчеркнутый", "Подчеркнутый тескт", "", 8},
    {"N2", "N5", "&Обновить", "Обновить общий вид", "F5", 18},
    {"N12", "N27", "&Новая карта", "Вставить новую карту", "", 23},
    {"N12", "N37", "-", "", "", -1},
    {"N12", "N28", "Новый &параграф", "Вставить новый параграф", "", 21},
    {"N12", "N29", "&Разрыв строки", "Вставить разрыв строки", "", 22},
    {"N12", "N38", "-", "", "", -1},
    {"N12", "N32", "Изображение", "Вставить изображение", "", 15},
    {"N12", "N40", "-", "", "", -1},
    {"N12", "N30", "&Отступ", "Вставить отступ", "", 16},
    {"N12", "N41", "-", "", "", -1},
    {"N12", "N33", "Инструменты форм", "Вставить инструменты форм", "", -1},
    {"N33", "N36", "&Форма", "Вставить форму", "", 24},
    {"N33", "N42", "-", "", "", -1},
    {"N33", "N34", "&Поле", "Вставить поле", "", 19},
    {"N33", "N35", "&Кнопка", "Вставить кнопку", "", 20},
    {"N12", "N39", "-", "", "", -1},
    {"N12", "N31", "Ссылка", "Вставить ссылку", "Ctrl+K", 17},
    {"N3", "N43", "&Справка", "Читать справку о программе", "F1", 25},
    {"N3", "Deckhand1", "&Посетить сайт Deckhand", "Посетить сайт Deckhand", "", -1},
    {"N3", "N49", "-", "", "", -1},
    {"N3", "N4", "&О программе...", "О программе", "F2", -1},
};

// The one item beyond the original tables: the phone emulator, at the end of
// "&Вид" right after "&Обновить". Nothing else differs.
const MenuRow kEmulatorItem = {
    "N2", "N50", "&Эмулятор телефона", "Показать колоду так, как её покажет телефон", "F6", -1};

// The editing additions at the end of "&Правка", after its original items
// and a separator: find, find again, replace, go to a line, and the next and
// previous finding of the deck check.
const MenuRow kEditAdditions[] = {
    {"N11", "Find0", "-", "", "", -1},
    {"N11", "Find1", "&Найти...", "Найти текст", "Ctrl+F", -1},
    {"N11", "FindNext1", "Найти &далее", "Найти текст ещё раз", "F3", -1},
    {"N11", "Replace1", "&Заменить...", "Заменить текст", "Ctrl+H", -1},
    {"N11", "GoToLine1", "&Перейти к строке...", "Поставить курсор на строку и столбец", "Ctrl+G",
     -1},
    {"N11", "NextFinding1", "С&ледующее замечание", "Перейти к следующему замечанию проверки", "F8",
     -1},
    {"N11", "PrevFinding1", "Пр&едыдущее замечание", "Перейти к предыдущему замечанию проверки",
     "Shift+F8", -1},
};

struct ToolRow {
  const char* name;
  const char* kind;  // "button", "separator", "divider"
  const char* hint;
  int image;
};

const ToolRow kStandard[] = {
    {"ToolButton1", "button", "Создание нового документа", 0},
    {"OpenButton", "button", "Открыть документ", 1},
    {"SaveButton", "button", "Сохранить документ", 2},
    {"ToolButton5", "divider", "", -1},
    {"ToolButton31", "button", "Настроить печать", 27},
    {"Print", "button", "Напечатать WML код", 26},
    {"ToolButton32", "separator", "", -1},
    {"ToolButton33", "button", "Проверить WML код на ошибки", 28},
    {"ToolButton34", "separator", "", -1},
    {"CutButton", "button", "Вырезать", 3},
    {"CopyButton", "button", "Копировать", 4},
    {"PasteButton", "button", "Вставить", 5},
    {"ToolButton26", "separator", "", -1},
    {"ToolButton2", "button", "Обновить общий вид", 18},
    {"ToolButton10", "separator", "", -1},
    {"ToolButton29", "button", "Читать справку о программе", 25},
    {"ToolButton30", "separator", "", -1},
};

const ToolRow kFormatting[] = {
    {"ToolButton4", "button", "Увеличение размера текста", 13},
    {"ToolButton3", "button", "Уменьшение размера текста", 14},
    {"ToolButton17", "separator", "", -1},
    {"ToolButton18", "button", "Полужирный текст", 6},
    {"ToolButton19", "button", "Курсив", 7},
    {"ToolButton20", "button", "Подчеркнутый тескт", 8},
    {"ToolButton21", "divider", "", -1},
    {"ToolButton22", "button", "Выравнить абзац по левому полю", 9},
    {"ToolButton23", "button", "Выравнить абзац по центру", 10},
    {"ToolButton24", "button", "Выравнить абзац по правому полю", 12},
    {"ToolButton6", "separator", "", -1},
    {"ToolButton16", "button", "Вставить новую карту", 23},
    {"ToolButton28", "separator", "", -1},
    {"ToolButton8", "button", "Новый параграф", 21},
    {"ToolButton9", "button", "Вставить разрыв строки", 22},
    {"ToolButton13", "button", "Вставить отступ", 16},
    {"ToolButton14", "button", "Вставить изображение", 15},
    {"ToolButton15", "button", "Вставить ссылку", 17},
    {"ToolButton12", "separator", "", -1},
    {"ToolButton7", "button", "Вставить форму", 24},
    {"ToolButton25", "button", "Вставить поле", 19},
    {"ToolButton27", "button", "Вставить кнопку", 20},
    {"ToolButton11", "separator", "", -1},
};

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    window.SetShowSplash(false);
    window.FormCreate(&window);
  }
  ~MainWindowTest() override {
    // Leave without a question: the tests of the close query use windows of
    // their own.
    window.Buffer().Clear();
    window.close();
  }

  std::string Text() { return window.Buffer().GetText(); }
  void SetText(const std::string& text) { window.Buffer().SetTextStr(text); }

  TScriptedDialogs dialogs;
  TMain window;
};

TEST_F(MainWindowTest, MenusMatchTheTable) {
  QStringList topLevel;
  for (QAction* action : window.menuBar()->actions()) topLevel << action->objectName();
  EXPECT_EQ(topLevel, QStringList({"N1", "N11", "N2", "N12", "N3"}));
  EXPECT_EQ(window.findChild<QMenu*>("N1")->title(), QString::fromUtf8("&Файл"));
  EXPECT_EQ(window.findChild<QMenu*>("N11")->title(), QString::fromUtf8("&Правка"));
  EXPECT_EQ(window.findChild<QMenu*>("N2")->title(), QString::fromUtf8("&Вид"));
  EXPECT_EQ(window.findChild<QMenu*>("N12")->title(), QString::fromUtf8("&Вставка"));
  EXPECT_EQ(window.findChild<QMenu*>("N3")->title(), QString::fromUtf8("&Справка"));

  // Walk every menu in display order and compare row by row.
  std::vector<std::pair<QString, QAction*>> seen;
  std::function<void(QMenu*)> walk = [&](QMenu* menu) {
    for (QAction* action : menu->actions()) {
      seen.emplace_back(menu->objectName(), action);
      if (action->menu() != nullptr) walk(action->menu());
    }
  };
  for (QAction* top : window.menuBar()->actions()) walk(top->menu());
  // The table lists a submenu's items right after the submenu entry.
  std::vector<MenuRow> expected(std::begin(kMenu), std::end(kMenu));
  auto refresh = std::find_if(expected.begin(), expected.end(), [](const MenuRow& row) {
    return std::string_view(row.name) == "N5";
  });
  ASSERT_NE(refresh, expected.end());
  expected.insert(refresh + 1, kEmulatorItem);
  auto underline = std::find_if(expected.begin(), expected.end(), [](const MenuRow& row) {
    return std::string_view(row.name) == "N22";
  });
  ASSERT_NE(underline, expected.end());
  expected.insert(underline + 1, std::begin(kEditAdditions), std::end(kEditAdditions));
  // The additions: the emulator item and the editing items, nothing else.
  ASSERT_EQ(seen.size(), std::size(kMenu) + 1 + std::size(kEditAdditions));
  for (size_t i = 0; i < seen.size(); ++i) {
    const MenuRow& row = expected[i];
    QAction* action = seen[i].second;
    SCOPED_TRACE(row.name);
    EXPECT_EQ(seen[i].first, QLatin1String(row.parent));
    EXPECT_EQ(action->objectName(), QLatin1String(row.name));
    if (QString::fromUtf8(row.caption) == "-") {
      EXPECT_TRUE(action->isSeparator());
      continue;
    }
    EXPECT_EQ(action->text(), QString::fromUtf8(row.caption));
    EXPECT_EQ(action->statusTip(), QString::fromUtf8(row.hint));
    EXPECT_EQ(action->shortcut(), QKeySequence(QLatin1String(row.shortcut)));
    if (action->menu() == nullptr) {
      EXPECT_EQ(action->property("imageIndex").toInt(), row.image);
      EXPECT_EQ(action->icon().isNull(), row.image < 0);
      EXPECT_TRUE(action->isEnabled());
      EXPECT_FALSE(action->isCheckable());
    }
  }
}

void CompareToolBar(TMain& window, const char* name, const ToolRow* rows, size_t count) {
  auto* bar = window.findChild<QToolBar*>(name);
  ASSERT_NE(bar, nullptr);
  QList<QWidget*> widgets;
  for (QAction* action : bar->actions()) widgets << bar->widgetForAction(action);
  ASSERT_EQ(static_cast<size_t>(widgets.size()), count);
  for (size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(rows[i].name);
    QWidget* widget = widgets[static_cast<qsizetype>(i)];
    EXPECT_EQ(widget->objectName(), QLatin1String(rows[i].name));
    if (QLatin1String(rows[i].kind) == QLatin1String("button")) {
      auto* button = qobject_cast<QToolButton*>(widget);
      ASSERT_NE(button, nullptr);
      EXPECT_EQ(button->toolTip(), QString::fromUtf8(rows[i].hint));
      EXPECT_EQ(button->property("hint").toString(), QString::fromUtf8(rows[i].hint));
      EXPECT_EQ(button->property("imageIndex").toInt(), rows[i].image);
      EXPECT_FALSE(button->icon().isNull());
      EXPECT_EQ(button->size(), QSize(23, 22));
      EXPECT_FALSE(button->isCheckable());
      EXPECT_TRUE(button->text().isEmpty() || button->toolButtonStyle() == Qt::ToolButtonIconOnly);
    } else {
      EXPECT_EQ(widget->property("toolKind").toString(), QLatin1String(rows[i].kind));
      EXPECT_EQ(widget->width(), 8);
    }
  }
}

TEST_F(MainWindowTest, ToolbarsMatchTheTables) {
  CompareToolBar(window, "StandardToolBar", kStandard, std::size(kStandard));
  CompareToolBar(window, "ToolBar1", kFormatting, std::size(kFormatting));
}

// A widget's rectangle in the coordinates of another widget that holds it.
QRect RectIn(const QWidget* widget, const QWidget* holder) {
  return QRect(widget->mapTo(holder, QPoint(0, 0)), widget->size());
}

// The client area below the menu bar, in the window's coordinates.
QRect ClientArea(const TMain& window) {
  const int top = window.menuBar()->geometry().bottom() + 1;
  return QRect(0, top, window.width(), window.height() - top);
}

// Every band at its designed place and size: the window's client area below
// the menu bar is 772 by 472 (its outer 780 by 526 less the frame, which the
// window manager adds), so the middle band is 423 high and the editor 580 by
// 374.
TEST_F(MainWindowTest, DesignedLayoutBelowTheMenuBar) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QRect client = ClientArea(window);
  EXPECT_EQ(client.size(), QSize(772, 472));
  const auto inClient = [&](const QWidget* widget) {
    return RectIn(widget, &window).translated(-client.topLeft());
  };
  auto* standard = window.findChild<QToolBar*>("StandardToolBar");
  auto* formatting = window.findChild<QToolBar*>("ToolBar1");
  auto* codeGroup = window.findChild<QGroupBox*>("GroupBox2");
  EXPECT_EQ(inClient(standard), QRect(0, 0, 772, 30));
  EXPECT_EQ(inClient(window.PreviewPane()), QRect(0, 30, 188, 423));
  EXPECT_EQ(inClient(codeGroup), QRect(188, 30, 584, 423));
  EXPECT_EQ(RectIn(formatting, codeGroup), QRect(2, 15, 580, 32));
  EXPECT_EQ(RectIn(window.Memo(), codeGroup), QRect(2, 47, 580, 374));
  EXPECT_EQ(inClient(window.StatusPanels()), QRect(0, 453, 772, 19));
  // Both toolbars: the first button 4 pixels in, buttons one after another.
  EXPECT_EQ(RectIn(window.ToolButton("ToolButton1"), standard), QRect(4, 4, 23, 22));
  EXPECT_EQ(RectIn(window.ToolButton("OpenButton"), standard).left(), 27);
  EXPECT_EQ(RectIn(window.ToolButton("ToolButton31"), standard).left(), 4 + 3 * 23 + 8);
  EXPECT_EQ(RectIn(window.ToolButton("ToolButton4"), formatting), QRect(4, 4, 23, 22));

  // The smallest size follows the same rule from the outer 680 by 520.
  window.resize(300, 200);
  QTest::qWait(20);
  EXPECT_EQ(ClientArea(window).size(), QSize(672, 466));
  EXPECT_EQ(window.PreviewPane()->width(), 188);
  EXPECT_EQ(window.Memo()->width(), 672 - 188 - 4);
  EXPECT_EQ(window.Memo()->height(), 466 - 30 - 19 - 15 - 32 - 2);
}

// Whether a pixel stands out from the window's background.
bool Visible(QRgb pixel, QRgb background) {
  return std::abs(qGray(pixel) - qGray(background)) >= 32;
}

// The toolbars' edges and the group boxes' frames, read from the pixels the
// window draws.
TEST_F(MainWindowTest, ToolbarEdgesAndGroupBoxFrames) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QImage shot = window.grab().toImage();
  const QRgb background = window.palette().color(QPalette::Window).rgb();
  const auto pixel = [&](const QWidget* widget, int x, int y) {
    return shot.pixel(widget->mapTo(&window, QPoint(x, y)));
  };

  // StandardToolBar: no edge lines; ToolBar1: an etched line (dark over
  // light) along its bottom edge only. Checked right of the last button.
  auto* standard = window.findChild<QToolBar*>("StandardToolBar");
  auto* formatting = window.findChild<QToolBar*>("ToolBar1");
  for (int y : {0, 1, standard->height() - 2, standard->height() - 1}) {
    EXPECT_EQ(pixel(standard, standard->width() - 20, y), background) << "standard row " << y;
  }
  const int bottom = formatting->height() - 1;
  for (int x : {0, formatting->width() / 2, formatting->width() - 20}) {
    EXPECT_EQ(pixel(formatting, x, 0), background) << x;
    EXPECT_EQ(pixel(formatting, x, 1), background) << x;
    EXPECT_EQ(pixel(formatting, x, bottom - 1), window.palette().color(QPalette::Dark).rgb()) << x;
    EXPECT_EQ(pixel(formatting, x, bottom), window.palette().color(QPalette::Light).rgb()) << x;
  }

  // Each group box: a visible frame whose top line runs through the middle
  // of the caption and is broken by it.
  for (QGroupBox* box :
       {static_cast<QGroupBox*>(window.PreviewPane()), window.findChild<QGroupBox*>("GroupBox2")}) {
    SCOPED_TRACE(box->objectName().toStdString());
    const QFontMetrics metrics(box->font());
    int line = -1;
    for (int y = 0; y < 15 && line < 0; ++y) {
      if (Visible(pixel(box, box->width() - 10, y), background)) line = y;
    }
    EXPECT_NEAR(line, metrics.height() / 2, 1) << "the top line through the caption's middle";
    const int captionMiddle = 8 + metrics.horizontalAdvance(box->title()) / 2;
    EXPECT_NE(pixel(box, captionMiddle, line), pixel(box, box->width() - 10, line))
        << "the caption breaks the line";
    for (int y = line + 1; y < box->height() - 1; ++y) {
      ASSERT_TRUE(Visible(pixel(box, 0, y), background)) << "left edge, row " << y;
      ASSERT_TRUE(Visible(pixel(box, box->width() - 1, y), background)) << "right edge, row " << y;
    }
    for (int x = 1; x < box->width() - 1; ++x) {
      ASSERT_TRUE(Visible(pixel(box, x, box->height() - 1), background)) << "bottom, column " << x;
    }
  }
  // The phone picture lies inside the preview pane's frame.
  const QRect picture = RectIn(window.PreviewPane()->Image1(), window.PreviewPane());
  EXPECT_GE(picture.left(), 1);
  EXPECT_LE(picture.right(), window.PreviewPane()->width() - 2);
}

TEST_F(MainWindowTest, WindowLayoutAndFocus) {
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Deckhand v0.2"));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(ClientArea(window).size(), QSize(772, 472));
  EXPECT_EQ(window.PreviewPane()->width(), 188);
  EXPECT_EQ(window.findChild<QGroupBox*>("GroupBox2")->title(), QStringLiteral(" WML код "));
  EXPECT_EQ(window.PreviewPane()->title(), QStringLiteral(" Общий вид "));
  EXPECT_EQ(window.findChild<QToolBar*>("StandardToolBar")->height(), 30);
  EXPECT_EQ(window.StatusPanels()->height(), 19);
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_EQ(QApplication::focusWidget(), window.PreviewPane()->Button1())
      << "the focus starts on the preview button";
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), window.Memo()) << "Tab moves on to the editor";
  QTest::keyClick(window.Memo(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), window.PreviewPane()->Button1()) << "and back";

  window.resize(600, 400);
  EXPECT_EQ(ClientArea(window).size(), QSize(672, 466)) << "cannot be made smaller";
  EXPECT_EQ(window.PreviewPane()->width(), 188);
}

// Enter and keypad Enter press the focused push button, as Space does; in
// the editor Enter presses nothing.
TEST_F(MainWindowTest, EnterPressesTheFocusedButton) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QPushButton* show = window.PreviewPane()->Button1();
  QSignalSpy clicks(show, &QPushButton::clicked);
  show->setFocus();
  QTest::keyClick(show, Qt::Key_Return);
  EXPECT_EQ(clicks.count(), 1);
  QTest::keyClick(show, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(clicks.count(), 2);
  QTest::keyClick(show, Qt::Key_Space);
  EXPECT_EQ(clicks.count(), 3);
  QTest::keyClick(show, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(clicks.count(), 3) << "only a plain Enter";
  EXPECT_TRUE(dialogs.errors.isEmpty());

  window.Memo()->setFocus();
  QTest::keyClick(window.Memo(), Qt::Key_Return);
  EXPECT_EQ(clicks.count(), 3);
}

TEST_F(MainWindowTest, StartsWithTheTemplateAndAnEmptyPath) {
  TMemoryBuffer reference;
  ApplyNewDocumentTemplate(reference);
  EXPECT_EQ(Text(), reference.GetText());
  EXPECT_FALSE(window.Buffer().GetModified());
  EXPECT_TRUE(window.Document().DocumentPath().isEmpty());
  EXPECT_EQ(window.StatusPanels()->PanelText(1), QString());
}

// Each markup command through its menu item and its toolbar button.
TEST_F(MainWindowTest, MarkupCommandsThroughMenuAndToolbar) {
  struct Case {
    const char* menu;
    const char* button;
    std::string expected;  // applied to "x" selected
  } cases[] = {
      {"N17", "ToolButton4", "<big>x</big>"},
      {"N18", "ToolButton3", "<small>x</small>"},
      {"N20", "ToolButton18", "<b>x</b>"},
      {"N21", "ToolButton19", "<i>x</i>"},
      {"N22", "ToolButton20", "<u>x</u>"},
      {"N24", "ToolButton22", "<p align=\"left\">x</p>"},
      {"N25", "ToolButton23", "<p align=\"center\">x</p>"},
      {"N26", "ToolButton24", "<p align=\"right\">x</p>"},
      {"N28", "ToolButton8", "<p>x</p>"},
      {"N29", "ToolButton9", "<br/>"},
      {"N30", "ToolButton13", "&nbsp;"},
      {"N34", "ToolButton25",
       "<input format=\"\" name=\"\" title=\"\" size=\"3\" maxlength=\"3\"/>"},
      {"N35", "ToolButton27", "<go href=\"#\"/>"},
      {"N36", "ToolButton7", FormTemplate()},
      {"N27", "ToolButton16", CardTemplate()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.menu);
    for (int viaButton = 0; viaButton < 2; ++viaButton) {
      SetText("[x]");
      window.Buffer().Select(1, 2);
      if (viaButton) {
        window.ToolButton(c.button)->click();
      } else {
        window.Action(c.menu)->trigger();
      }
      EXPECT_EQ(Text(), "[" + c.expected + "]");
      EXPECT_EQ(window.Buffer().GetSelStart(), static_cast<int>(1 + c.expected.size()));
      EXPECT_TRUE(window.Buffer().GetModified());
    }
  }
}

TEST_F(MainWindowTest, ClipboardCommandsActOnTheEditorWhateverHasTheFocus) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.PreviewPane()->Button1()->setFocus();
  SetText("copy me");
  window.Buffer().Select(0, 4);
  window.Action("N14")->trigger();
  window.Buffer().SetSelStart(7);
  window.ToolButton("PasteButton")->click();
  EXPECT_EQ(Text(), "copy mecopy");
  window.Buffer().Select(0, 5);
  window.ToolButton("CutButton")->click();
  EXPECT_EQ(Text(), "mecopy");
  window.Buffer().SetSelStart(6);
  window.Action("N15")->trigger();
  EXPECT_EQ(Text(), "mecopycopy ");
}

TEST_F(MainWindowTest, SaveAsOpenAndSaveWithRealFiles) {
  QTemporaryDir dir;
  const QString chosen = dir.filePath("index");
  dialogs.savePaths.push_back(chosen);
  window.Action("N46")->trigger();  // no path yet: Save becomes Save As
  const QString path = chosen + ".wml";
  EXPECT_EQ(window.Document().DocumentPath(), path);
  EXPECT_EQ(window.StatusPanels()->PanelText(1), path);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().size(), 204);
  file.close();
  EXPECT_EQ(dialogs.filters.last(), QString::fromUtf8("WML файлы (*.wml)"));

  // Open another file: it becomes the document and Save writes back to it.
  const QString other = dir.filePath("other.wml");
  QFile out(other);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write("a\nb");
  out.close();
  dialogs.openPaths.push_back(other);
  window.ToolButton("OpenButton")->click();
  EXPECT_EQ(Text(), "a\r\nb");
  EXPECT_EQ(window.StatusPanels()->PanelText(1), other);
  window.Buffer().SetSelStart(4);
  window.Buffer().SetSelText("c");
  window.ToolButton("SaveButton")->click();
  ASSERT_TRUE(out.open(QIODevice::ReadOnly));
  EXPECT_EQ(out.readAll(), QByteArray("a\r\nbc"));
  EXPECT_EQ(window.StatusPanels()->PanelText(1), other);
  EXPECT_TRUE(dialogs.errors.isEmpty());

  // New, answered No: a fresh document without a path, panel 1 empty.
  dialogs.prompts.push_back(TPromptAnswer::No);
  window.ToolButton("ToolButton1")->click();
  EXPECT_EQ(window.StatusPanels()->PanelText(1), QString());
  EXPECT_TRUE(window.Document().DocumentPath().isEmpty());
  EXPECT_EQ(Text().size(), 204u);
}

TEST_F(MainWindowTest, ErrorsReachTheErrorBoxAndTheProgramGoesOn) {
  dialogs.savePaths.push_back(QStringLiteral("/no/such/folder/deck.wml"));
  window.Action("N8")->trigger();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_EQ(dialogs.errors[0],
            QStringLiteral("Deckhand|Cannot create file \"/no/such/folder/deck.wml\". "
                           "No such file or directory."));
  dialogs.openPaths.push_back(QStringLiteral("/no/such/file.wml"));
  window.Action("N7")->trigger();
  ASSERT_EQ(dialogs.errors.size(), 2);
  EXPECT_TRUE(dialogs.errors[1].startsWith("Deckhand|Cannot open file \"/no/such/file.wml\"."));
  // Cancelling the save prompt of New is silent and changes nothing.
  const std::string before = Text();
  dialogs.prompts.push_back(TPromptAnswer::Cancel);
  window.Action("N6")->trigger();
  EXPECT_EQ(dialogs.errors.size(), 2);
  EXPECT_EQ(Text(), before);
  EXPECT_EQ(dialogs.promptTexts.last(), QString::fromUtf8("Confirm|Сохранить изменения?"));
}

TEST_F(MainWindowTest, CloseQueryAsksOnlyWhenModified) {
  window.show();
  QCloseEvent unmodified;
  QApplication::sendEvent(&window, &unmodified);
  EXPECT_TRUE(unmodified.isAccepted());
  EXPECT_TRUE(dialogs.promptTexts.isEmpty());

  TMain second;
  second.SetShowSplash(false);
  second.FormCreate(&second);
  second.ToolButton("ToolButton18")->click();
  dialogs.prompts.push_back(TPromptAnswer::Cancel);
  QCloseEvent cancelled;
  QApplication::sendEvent(&second, &cancelled);
  EXPECT_FALSE(cancelled.isAccepted());
  dialogs.prompts.push_back(TPromptAnswer::No);
  QCloseEvent declined;
  QApplication::sendEvent(&second, &declined);
  EXPECT_TRUE(declined.isAccepted());
  EXPECT_EQ(dialogs.promptTexts.size(), 2);
}

class FakeLockKeys : public TLockKeySource {
 public:
  explicit FakeLockKeys(TLockKeyState* state) : state_(state) {}
  TLockKeyState Read() override { return *state_; }
  void Press() { Changed(); }

 private:
  TLockKeyState* state_;
};

TEST_F(MainWindowTest, StatusBarPanels) {
  TStatusBar* bar = window.StatusPanels();
  EXPECT_EQ(bar->PanelText(2), QStringLiteral("10:1")) << "the caret ends after the template";
  window.Buffer().SetSelStart(0);
  EXPECT_EQ(bar->PanelText(2), QStringLiteral("1:1"));
  SetText("first line\r\nsecond\r\nthird");
  window.Buffer().SetSelStart(20);  // start of the third line
  EXPECT_EQ(bar->PanelText(2), QStringLiteral("3:1"));
  window.Buffer().SetSelStart(5);
  EXPECT_EQ(bar->PanelText(2), QStringLiteral("1:6"));
  window.Buffer().SetSelStart(12);
  EXPECT_EQ(bar->PanelText(2), QStringLiteral("2:1"));

  // What the user types counts as the bytes it is saved as: an emoji as its
  // reference, Shift+Enter as a new line.
  SetText("ab");
  window.Buffer().SetSelStart(1);
  QKeyEvent emoji(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8("😀"));
  QApplication::sendEvent(window.Memo(), &emoji);
  EXPECT_EQ(bar->PanelText(2), QStringLiteral("1:11"));
  QKeyEvent shiftEnter(QEvent::KeyPress, Qt::Key_Return, Qt::ShiftModifier, QStringLiteral("\r"));
  QApplication::sendEvent(window.Memo(), &shiftEnter);
  EXPECT_EQ(bar->PanelText(2), QStringLiteral("2:1"));
  EXPECT_EQ(window.Buffer().GetText(), "a&#128512;\r\nb");

  TLockKeyState keys;
  window.SetLockKeySource(std::make_unique<FakeLockKeys>(&keys));
  keys.CapsLock = true;
  keys.ScrollLock = true;
  window.Timer1Timer(&window);
  EXPECT_EQ(bar->PanelText(4), QStringLiteral(" CAP"));
  EXPECT_EQ(bar->PanelText(3), QString());
  EXPECT_EQ(bar->PanelText(5), QStringLiteral(" SCRL"));
  const int changes = bar->Panel(4)->Changes();
  window.Timer1Timer(&window);
  EXPECT_EQ(bar->Panel(4)->Changes(), changes) << "an unchanged panel is not touched";
  keys = {false, true, false};
  window.Timer1Timer(&window);
  EXPECT_EQ(bar->PanelText(3), QStringLiteral(" NUM"));
  EXPECT_EQ(bar->PanelText(4), QString());
  EXPECT_EQ(bar->PanelText(6), QString());

  // A change the source reports reaches the panels by the next timer tick.
  auto source = std::make_unique<FakeLockKeys>(&keys);
  FakeLockKeys* fake = source.get();
  window.SetLockKeySource(std::move(source));
  keys = {true, false, false};
  fake->Press();
  EXPECT_TRUE(WaitFor([&] { return bar->PanelText(4) == QStringLiteral(" CAP"); }, 1000));
  EXPECT_EQ(bar->PanelText(3), QString());
}

TEST_F(MainWindowTest, StatusBarPanelWidths) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  TStatusBar* bar = window.StatusPanels();
  const int rights[] = {250, 400, 440, 480, 520, 560};
  const int left = bar->Panel(0)->mapTo(bar, QPoint(0, 0)).x();
  for (int i = 0; i < 6; ++i) {
    const int right = bar->Panel(i)->mapTo(bar, QPoint(0, 0)).x() - left + bar->Panel(i)->width();
    EXPECT_NEAR(right, rights[i], 2) << i;
  }
  const int before = bar->Panel(6)->width();
  window.resize(window.width() + 100, window.height());
  QTest::qWait(20);
  EXPECT_EQ(bar->Panel(6)->width(), before + 100) << "widening widens only the last panel";
  EXPECT_EQ(bar->Panel(0)->width(), 248);
}

TEST_F(MainWindowTest, HintsOfControlsAndMenus) {
  EXPECT_EQ(THintTracker::HintOfWidget(window.ToolButton("ToolButton2")),
            QString::fromUtf8("Обновить общий вид"));
  EXPECT_EQ(THintTracker::HintOfWidget(window.PreviewPane()->Button1()),
            QString::fromUtf8("Обновить общий вид"));
  EXPECT_EQ(THintTracker::HintOfWidget(window.Memo()), QString());
  EXPECT_EQ(THintTracker::HintOfWidget(window.findChild<QWidget*>("ToolButton32")), QString())
      << "separators have no hint";
  EXPECT_EQ(LongHint(QStringLiteral("short|long text")), QStringLiteral("long text"));

  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  // The pointer rule: over a toolbar button its hint, off every window none.
  QWidget* refresh = window.ToolButton("ToolButton2");
  QCursor::setPos(refresh->mapToGlobal(refresh->rect().center()));
  window.Hints().UpdateFromPointer();
  EXPECT_EQ(window.StatusPanels()->PanelText(0), QString::fromUtf8("Обновить общий вид"));
  QCursor::setPos(window.mapToGlobal(QPoint(-50, -50)));
  window.Hints().UpdateFromPointer();
  EXPECT_EQ(window.StatusPanels()->PanelText(0), QString());

  QMenu* view = window.findChild<QMenu*>("N2");
  view->popup(window.mapToGlobal(QPoint(100, 30)));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
  view->setActiveAction(window.Action("N5"));
  EXPECT_TRUE(WaitFor([&] {
    return window.StatusPanels()->PanelText(0) == QString::fromUtf8("Обновить общий вид");
  }));
  view->hide();
  EXPECT_TRUE(WaitFor([&] { return window.StatusPanels()->PanelText(0).isEmpty(); }));
}

// A submenu's parent item keeps its hint in panel 0 while its submenu opens;
// highlighting an item of the submenu shows that item's hint, and closing
// the submenu gives the parent item's hint back.
TEST_F(MainWindowTest, SubmenuParentItemsKeepTheirHint) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const struct {
    const char* menu;
    const char* parent;
    const char* hint;
    const char* child;
    const char* childHint;
  } cases[] = {
      {"N11", "N44", "Выравнивание", "N25", "Выравнить абзац по центру"},
      {"N12", "N33", "Вставить инструменты форм", "N34", "Вставить поле"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.parent);
    const auto panel0 = [&] { return window.StatusPanels()->PanelText(0); };
    auto* menu = window.findChild<QMenu*>(c.menu);
    auto* submenu = window.findChild<QMenu*>(c.parent);
    menu->popup(window.mapToGlobal(QPoint(100, 30)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    menu->setActiveAction(window.Action(c.parent));  // highlights it and opens the submenu
    ASSERT_TRUE(WaitFor([&] { return submenu->isVisible(); }));
    QTest::qWait(50);
    EXPECT_EQ(panel0(), QString::fromUtf8(c.hint));
    submenu->setActiveAction(window.Action(c.child));
    EXPECT_TRUE(WaitFor([&] { return panel0() == QString::fromUtf8(c.childHint); }));
    submenu->hide();
    EXPECT_TRUE(WaitFor([&] { return panel0() == QString::fromUtf8(c.hint); }));
    menu->hide();
    EXPECT_TRUE(WaitFor([&] { return panel0().isEmpty(); }));
  }
}

// While a modal dialog is open, panel 0 still follows the pointer over the
// main window, and pointing at the dialog (whose controls have no hints)
// empties it.
TEST_F(MainWindowTest, HintFollowsThePointerBehindAModalDialog) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QDialog dialog(&window);
  dialog.resize(200, 100);
  dialog.move(window.mapToGlobal(QPoint(400, 250)));
  const auto panel0 = [&] { return window.StatusPanels()->PanelText(0); };
  const auto pointAt = [](QWidget* widget) {
    QCursor::setPos(widget->mapToGlobal(widget->rect().center()));
  };
  QStringList seen;
  QTimer::singleShot(0, &dialog, [&] {
    pointAt(window.ToolButton("ToolButton1"));
    if (WaitFor([&] { return !panel0().isEmpty(); }, 2000)) seen << panel0();
    pointAt(window.ToolButton("OpenButton"));
    if (WaitFor([&] { return panel0() != seen.value(0); }, 2000)) seen << panel0();
    pointAt(&dialog);
    if (WaitFor([&] { return panel0().isEmpty(); }, 2000)) seen << QStringLiteral("(empty)");
    dialog.reject();
  });
  dialog.exec();
  EXPECT_EQ(seen, QStringList({QString::fromUtf8("Создание нового документа"),
                               QString::fromUtf8("Открыть документ"), QStringLiteral("(empty)")}));
}

TEST_F(MainWindowTest, HelpAndWebSiteGoToTheDesktop) {
  testing::TRecordingShell shell;
  window.ToolButton("ToolButton29")->click();
  window.Action("N43")->trigger();
  window.Action("Deckhand1")->trigger();
  EXPECT_EQ(shell.opened, QStringList({"help.hlp", "help.hlp", "https://deckhand.example.org/"}));
  EXPECT_TRUE(dialogs.errors.isEmpty()) << "no message of the program's own";
}

// Both printing commands, from the toolbar and the menu, ask through the
// program's dialogs, modal to the main window; cancelled, they print nothing.
TEST_F(MainWindowTest, PrintCommandsAskThroughTheProgramsDialogs) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString pdf = folder.filePath("out.pdf");
  auto printer = std::make_unique<QPrinter>();
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setOutputFileName(pdf);
  window.Printing().SetPrinter(std::move(printer));
  std::vector<QWidget*> parents;
  dialogs.answerPrint = [&](QPrintDialog& dialog) {
    parents.push_back(dialog.parentWidget());
    EXPECT_EQ(dialog.printer(), window.Printing().Printer());
    return false;
  };
  dialogs.answerSetup = [&](QPageSetupDialog& dialog) {
    parents.push_back(dialog.parentWidget());
    EXPECT_EQ(dialog.printer(), window.Printing().Printer());
    return false;
  };
  window.ToolButton("Print")->click();
  window.Action("WML1")->trigger();
  EXPECT_EQ(dialogs.printDialogs, 2);
  EXPECT_EQ(dialogs.setupDialogs, 0);
  window.ToolButton("ToolButton31")->click();
  window.Action("N47")->trigger();
  EXPECT_EQ(dialogs.printDialogs, 2);
  EXPECT_EQ(dialogs.setupDialogs, 2);
  EXPECT_EQ(parents, std::vector<QWidget*>(4, &window));
  EXPECT_FALSE(QFileInfo::exists(pdf));
  EXPECT_TRUE(window.Printing().RichEdit1().isEmpty());
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
}

TEST_F(MainWindowTest, PreviewWritesThePageBelowTheStartingFolder) {
  window.ToolButton("ToolButton2")->click();
  const QString page = window.PreviewPane()->PreviewPath();
  EXPECT_TRUE(page.endsWith("/temp/temp.htm"));
  QFile file(page);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.size(), 168 + 204);
  // F5 through the menu gives the same bytes; so does the pane's button.
  window.Buffer().SetSelStart(0);
  window.Action("N5")->trigger();
  window.PreviewPane()->Button1()->click();
  file.close();
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.size(), 168 + 204);
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

// The HTML view and its engine cost nothing until the first preview; an
// engine that cannot start, or a page process that dies, reaches the error
// box; the first preview that can start it shows the page.
TEST_F(MainWindowTest, FirstPreviewStartsTheHtmlViewAndItsFailuresReachTheErrorBox) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  TPreviewPane* pane = window.PreviewPane();
  EXPECT_EQ(pane->WebBrowser(), nullptr);

  const QByteArray saved = qgetenv("QTWEBENGINEPROCESS_PATH");
  qputenv("QTWEBENGINEPROCESS_PATH", "/nonexistent/QtWebEngineProcess");
  window.Action("N5")->trigger();
  EXPECT_EQ(dialogs.errors, QStringList({"Deckhand|Cannot start the HTML view: its helper program "
                                         "was not found as /nonexistent/QtWebEngineProcess."}));
  EXPECT_EQ(pane->WebBrowser(), nullptr);
  dialogs.errors.clear();
  if (saved.isNull()) {
    qunsetenv("QTWEBENGINEPROCESS_PATH");
  } else {
    qputenv("QTWEBENGINEPROCESS_PATH", saved);
  }

  // One F5 creates the view and has it load the page, with no second press.
  window.Action("N5")->trigger();
  QWidget* view = pane->WebBrowser();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isVisible());
  QSignalSpy finished(view, SIGNAL(loadFinished(bool)));
  QElapsedTimer timer;
  timer.start();
  while (finished.isEmpty() && timer.elapsed() < 30000) QTest::qWait(20);
  ASSERT_EQ(finished.count(), 1);
  EXPECT_TRUE(finished.at(0).at(0).toBool());
  EXPECT_EQ(view->property("url").toUrl(), QUrl::fromLocalFile(pane->PreviewPath()));
  EXPECT_TRUE(dialogs.errors.isEmpty());

  emit pane->WebBrowserFailed("The HTML view's page process crashed (exit code 11)");
  EXPECT_EQ(dialogs.errors,
            QStringList({"Deckhand|The HTML view's page process crashed (exit code 11)"}));
}

}  // namespace
// Makes the main window the active one again, as the desktop does when a
// dialog closes, so that its shortcuts reach it.
#define Activate()                                     \
  do {                                                 \
    window.activateWindow();                           \
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window)); \
  } while (false)

// Runs action inside the modal loop of the next dialog the main window opens.
template <typename Dialog>
void InNextDialog(const std::function<void(Dialog&)>& action) {
  QTimer::singleShot(0, [action] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) {
      ADD_FAILURE() << "no dialog open";
      return;
    }
    action(*dialog);
  });
}

TEST_F(MainWindowTest, FindFindAgainAndReplaceAllThroughTheEditMenu) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  SetText("<p>one</p>\r\n<p>Two</p>\r\n<p>two</p>\r\n");
  window.Buffer().SetSelStart(0);
  // F3 before anything was sought opens the find dialog; "Найти далее"
  // selects the match and closes it.
  InNextDialog<TFindDialog>([](TFindDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Найти"));
    EXPECT_EQ(dialog.ReplaceText, nullptr);
    EXPECT_TRUE(dialog.Down->isChecked());
    dialog.FindText->setText("two");
    dialog.FindNextButton->click();
  });
  Activate();
  QTest::keyClick(window.Memo(), Qt::Key_F3);
  EXPECT_EQ(window.Buffer().GetSelStart(), 15);
  EXPECT_EQ(window.Buffer().GetSelText(), "Two");
  EXPECT_EQ(window.StatusPanels()->PanelText(2), "2:4");
  // F3 again: the next one, then round the end.
  Activate();
  QTest::keyClick(window.Memo(), Qt::Key_F3);
  EXPECT_EQ(window.Buffer().GetSelStart(), 27);
  Activate();
  QTest::keyClick(window.Memo(), Qt::Key_F3);
  EXPECT_EQ(window.Buffer().GetSelStart(), 15);

  // Match case, upwards: from "Two" round the start to the last "two".
  InNextDialog<TFindDialog>([](TFindDialog& dialog) {
    EXPECT_EQ(dialog.FindText->text(), "Two");  // the selection is offered
    dialog.FindText->setText("two");
    dialog.MatchCase->setChecked(true);
    dialog.Up->setChecked(true);
    QTest::keyClick(dialog.FindText, Qt::Key_Return);  // Enter in the field finds
  });
  Activate();
  QTest::keyClick(window.Memo(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(window.Buffer().GetSelStart(), 27);
  EXPECT_EQ(window.Buffer().GetSelText(), "two");

  // Nothing found: the hint panel says so, the dialog stays open, the
  // selection and the text stay.
  bool stayedOpen = false;
  InNextDialog<TFindDialog>([&](TFindDialog& dialog) {
    dialog.FindText->setText("three");
    dialog.FindNextButton->click();
    stayedOpen = dialog.isVisible();
    EXPECT_EQ(window.StatusPanels()->PanelText(0), QString::fromUtf8("Не найдено"));
    dialog.CancelButton->click();
  });
  window.Action("Find1")->trigger();
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(window.Buffer().GetSelStart(), 27);
  Activate();
  QTest::keyClick(window.Memo(), Qt::Key_F3);
  EXPECT_EQ(window.StatusPanels()->PanelText(0), QString::fromUtf8("Не найдено"));

  // Replace all (Ctrl+H), whole words, any case: one undo step takes it back.
  const std::string before = Text();
  InNextDialog<TFindDialog>([](TFindDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Заменить"));
    dialog.FindText->setText("TWO");
    dialog.ReplaceText->setText(QString::fromUtf8("три"));
    dialog.MatchCase->setChecked(false);
    dialog.WholeWord->setChecked(true);
    dialog.ReplaceAllButton->click();
  });
  Activate();
  QTest::keyClick(window.Memo(), Qt::Key_H, Qt::ControlModifier);
  EXPECT_EQ(Text(), "<p>one</p>\r\n<p>\xF2\xF0\xE8</p>\r\n<p>\xF2\xF0\xE8</p>\r\n");
  EXPECT_TRUE(window.Buffer().GetModified());
  window.Memo()->undo();
  EXPECT_EQ(Text(), before);

  // Replace one at a time: the selected match, then the next is selected.
  window.Buffer().SetSelStart(0);
  InNextDialog<TFindDialog>([](TFindDialog& dialog) {
    dialog.FindText->setText("<p>");
    dialog.ReplaceText->setText("<p align=\"left\">");
    dialog.WholeWord->setChecked(false);
    dialog.Down->setChecked(true);
    dialog.FindNextButton->click();
    EXPECT_TRUE(dialog.isVisible());  // replace mode stays open
    dialog.ReplaceButton->click();
    dialog.CancelButton->click();
  });
  window.Action("Replace1")->trigger();
  EXPECT_EQ(Text(), "<p align=\"left\">one</p>\r\n<p>Two</p>\r\n<p>two</p>\r\n");
  EXPECT_EQ(window.Buffer().GetSelText(), "<p>");
  EXPECT_EQ(window.Buffer().GetSelStart(), 25);
}

TEST_F(MainWindowTest, GoToLineOffersTheCaretPositionAndRefusesLinesThatDoNotExist) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  SetText("first\r\nsecond line\r\nthird\r\n");
  window.Buffer().SetSelStart(10);  // line 2, column 4
  ASSERT_EQ(window.StatusPanels()->PanelText(2), "2:4");
  QString problem;
  InNextDialog<TGoToLineDialog>([&](TGoToLineDialog& dialog) {
    EXPECT_EQ(dialog.Line->text(), "2");
    EXPECT_EQ(dialog.Column->text(), "4");
    dialog.Line->setText("5");
    dialog.GoButton->click();
    problem = dialog.Problem->text();
    dialog.Line->setText("x");
    dialog.GoButton->click();
    EXPECT_FALSE(dialog.Problem->text().isEmpty());
    // A column beyond the line's end stands at the end.
    dialog.Line->setText("3");
    dialog.Column->setText("99");
    dialog.GoButton->click();
  });
  Activate();
  QTest::keyClick(window.Memo(), Qt::Key_G, Qt::ControlModifier);
  EXPECT_EQ(problem, QString::fromUtf8("Номер строки — от 1 до 4"));
  EXPECT_EQ(window.StatusPanels()->PanelText(2), "3:6");
  EXPECT_EQ(window.Buffer().GetSelLength(), 0);
  EXPECT_EQ(Text(), "first\r\nsecond line\r\nthird\r\n");
}

TEST_F(MainWindowTest, F8AndShiftF8StepThroughTheDeckCheckFindingsWithTheEmulatorClosed) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  ASSERT_EQ(window.Emulator(), nullptr);
  const std::string deck =
      "<?xml version=\"1.0\"?>\r\n"
      "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\r\n"
      "<wml>\r\n<card id=\"a\"><p><a href=\"#nowhere\">x</a></p></card>\r\n"
      "<card id=\"a\"><p>y</p></card>\r\n</wml>\r\n";
  SetText(deck);
  const wml::TDeckReport report = wml::CheckDeck(deck, &wml::DefaultPhone());
  ASSERT_GE(report.Findings.size(), 2u);
  std::vector<size_t> offsets;
  for (const wml::TFinding& finding : report.Findings) offsets.push_back(finding.Offset);
  std::sort(offsets.begin(), offsets.end());
  offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());

  window.Buffer().SetSelStart(0);
  QTest::keyClick(window.Memo(), Qt::Key_F8);
  EXPECT_EQ(window.Buffer().GetSelStart(), static_cast<int>(offsets.front()));
  // The hint panel shows the finding as the emulator's list words it.
  const wml::TFinding* first = nullptr;
  for (const wml::TFinding& finding : report.Findings) {
    if (finding.Offset == offsets.front() && first == nullptr) first = &finding;
  }
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(window.StatusPanels()->PanelText(0).startsWith(
      QStringLiteral("%1:%2: ").arg(first->Line).arg(first->Column)))
      << window.StatusPanels()->PanelText(0).toStdString();
  EXPECT_TRUE(window.StatusPanels()->PanelText(0).contains(QString::fromStdString(first->Message)));
  if (offsets.size() > 1) {
    QTest::keyClick(window.Memo(), Qt::Key_F8);
    EXPECT_EQ(window.Buffer().GetSelStart(), static_cast<int>(offsets[1]));
  }
  // Shift+F8 from the first goes round to the last.
  window.Buffer().SetSelStart(static_cast<int>(offsets.front()));
  QTest::keyClick(window.Memo(), Qt::Key_F8, Qt::ShiftModifier);
  EXPECT_EQ(window.Buffer().GetSelStart(), static_cast<int>(offsets.back()));
  EXPECT_EQ(Text(), deck);
  EXPECT_EQ(window.Emulator(), nullptr);
}

TEST_F(MainWindowTest, RecoveryFileKeepsUnsavedTextUntilSavedOrDroppedAndIsOfferedOnce) {
  QTemporaryDir state;
  const QString folder = state.filePath("deckhand");
  // Left over by a run that was killed: offered once, Yes puts it in the
  // editor as unsaved text (one undo takes it back) and removes the file.
  pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  TRecoveryFile(folder, ended).Write("<wml>recovered</wml>\r\n", QString());
  dialogs.prompts = {TPromptAnswer::Yes};
  window.EnableRecovery(folder);
  EXPECT_EQ(dialogs.promptTexts,
            QStringList({QString::fromUtf8("Deckhand|Восстановить несохранённый текст?")}));
  EXPECT_EQ(Text(), "<wml>recovered</wml>\r\n");
  EXPECT_TRUE(window.Buffer().GetModified());
  EXPECT_TRUE(TRecoveryFile::Orphans(folder).isEmpty());
  // The recovered text is this run's unsaved work now.
  ASSERT_NE(window.Recovery(), nullptr);
  EXPECT_EQ(TRecoveryFile::Read(window.Recovery()->Path())->Text, "<wml>recovered</wml>\r\n");

  // Saving removes it; the next change is kept again at the next write.
  QTemporaryDir dir;
  dialogs.savePaths.push_back(dir.filePath("deck.wml"));
  window.Action("N46")->trigger();
  EXPECT_FALSE(window.Recovery()->Exists());
  window.WriteRecovery();
  EXPECT_FALSE(window.Recovery()->Exists());  // nothing unsaved
  window.Buffer().SetSelStart(0);
  window.Buffer().SetSelText("<!-- edit -->");
  window.WriteRecovery();
  ASSERT_TRUE(window.Recovery()->Exists());
  EXPECT_EQ(TRecoveryFile::Read(window.Recovery()->Path())->Text,
            "<!-- edit --><wml>recovered</wml>\r\n");
  EXPECT_EQ(TRecoveryFile::Read(window.Recovery()->Path())->DocumentPath, dir.filePath("deck.wml"));
  // The recovery file is no one else's: never beside the document.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"deck.wml"}));

  // "No" at the close query drops it with the text.
  dialogs.prompts = {TPromptAnswer::No};
  window.close();
  EXPECT_FALSE(window.Recovery()->Exists());
}

TEST(MainWindowRecovery, DecliningTheRecoveredTextRemovesItAndCancelKeepsIt) {
  TScriptedDialogs dialogs;
  QTemporaryDir state;
  pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const TRecoveryFile left(state.path(), ended);
  left.Write("old text", QString());
  for (const TPromptAnswer answer : {TPromptAnswer::Cancel, TPromptAnswer::No}) {
    TMain window;
    window.SetShowSplash(false);
    window.FormCreate(&window);
    const std::string start = window.Buffer().GetText();
    dialogs.prompts = {answer};
    window.EnableRecovery(state.path());
    EXPECT_EQ(window.Buffer().GetText(), start);
    EXPECT_FALSE(window.Buffer().GetModified());
    EXPECT_EQ(left.Exists(), answer == TPromptAnswer::Cancel);
    window.close();
  }
  // Nothing left over: start-up asks nothing.
  dialogs.promptTexts.clear();
  TMain window;
  window.SetShowSplash(false);
  window.FormCreate(&window);
  window.EnableRecovery(state.path());
  EXPECT_TRUE(dialogs.promptTexts.isEmpty());
}

}  // namespace deckhand::testing
