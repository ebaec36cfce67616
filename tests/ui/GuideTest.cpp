// The user guide against the program: every menu command with its exact
// caption (the underlined letter marking the access key) and shortcut, every
// toolbar button with its hint and picture in toolbar order, the verdicts of
// the markup check word for word, and the page's own links and pictures.
// What the guide and the manual page say the program does is done by it:
// Undo takes back a markup command, F5 makes a missing temp folder, F7
// checks the whole text, findings' columns follow deckhand-check's rule, and
// the files the program writes are listed.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <functional>

#include "checker/CheckCommand.h"
#include "core/MarkupCheck.h"
#include "preview/Preview.h"
#include "ui/MemoBuffer.h"
#include "ui/Unit1.h"
#include "wml/DeckCheck.h"

namespace deckhand {
namespace {

// The guide's folder in the source tree; Qt Test names this test's folder.
const QString kGuideDir =
    QDir(QStringLiteral(QT_TESTCASE_SOURCEDIR)).filePath(QStringLiteral("../../docs/guide"));

QString ReadGuide() {
  QFile file(QDir(kGuideDir).filePath(QStringLiteral("index.html")));
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The part of the page from the heading with id `from` to the next heading
// of the same level.
QString Section(const QString& page, const QString& from) {
  const qsizetype start = page.indexOf(QStringLiteral("<h2 id=\"%1\"").arg(from));
  if (start < 0) return QString();
  const qsizetype end = page.indexOf(QStringLiteral("<h2 "), start + 1);
  return page.mid(start, end < 0 ? -1 : end - start);
}

// The cells of one table row, as HTML.
QStringList Cells(const QString& row) {
  static const QRegularExpression cell(QStringLiteral("<td[^>]*>(.*?)</td>"),
                                       QRegularExpression::DotMatchesEverythingOption);
  QStringList cells;
  for (const auto& match : cell.globalMatch(row)) cells << match.captured(1);
  return cells;
}

QStringList Rows(const QString& html) {
  static const QRegularExpression row(QStringLiteral("<tr>(.*?)</tr>"),
                                      QRegularExpression::DotMatchesEverythingOption);
  QStringList rows;
  for (const auto& match : row.globalMatch(html)) rows << match.captured(1);
  return rows;
}

// A menu caption as written in the guide, turned back into the action's
// text: the underlined letter is the one after "&".
QString CaptionOf(const QString& cell) {
  QString text = cell;
  text.replace(QRegularExpression(QStringLiteral("<u>(.)</u>")), QStringLiteral("&\\1"));
  return text.remove(QRegularExpression(QStringLiteral("<[^>]*>"))).trimmed();
}

QString PlainText(const QString& html) {
  QString text = html;
  text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
  return text.replace(QStringLiteral("&nbsp;"), QStringLiteral(" ")).simplified();
}

QString ReadManualPage() {
  QFile file(QDir(kGuideDir).filePath(QStringLiteral("../../packaging/deckhand.1")));
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class GuideTest : public ::testing::Test {
 protected:
  GuideTest() {
    window.SetShowSplash(false);
    window.FormCreate(&window);
  }
  ~GuideTest() override {
    window.Buffer().Clear();
    window.close();
  }
  TMain window;
  const QString page = ReadGuide();
};

TEST_F(GuideTest, EveryMenuCommandWithItsCaptionAndShortcut) {
  ASSERT_FALSE(page.isEmpty()) << "no guide in " << kGuideDir.toStdString();
  const QStringList rows = Rows(Section(page, QStringLiteral("menus")));
  std::function<void(QMenu*)> walk = [&](QMenu* menu) {
    for (QAction* action : menu->actions()) {
      if (action->isSeparator()) continue;
      SCOPED_TRACE(action->text().toStdString());
      int found = 0;
      for (const QString& row : rows) {
        const QStringList cells = Cells(row);
        if (cells.size() < 3 || CaptionOf(cells[1]) != action->text()) continue;
        ++found;
        EXPECT_EQ(PlainText(cells[2]).toStdString(),
                  action->shortcut().toString(QKeySequence::PortableText).toStdString());
        if (action->menu() == nullptr && action->property("imageIndex").toInt() >= 0) {
          EXPECT_TRUE(cells[0].contains(
              QStringLiteral("images/icons/%1.svg")
                  .arg(action->property("imageIndex").toInt(), 2, 10, QLatin1Char('0'))))
              << cells[0].toStdString();
        }
      }
      EXPECT_EQ(found, 1) << "rows in the guide's menu tables";
      if (action->menu() != nullptr) walk(action->menu());
    }
  };
  int menus = 0;
  for (QAction* top : window.menuBar()->actions()) {
    // Each menu has a heading of its own that names it.
    EXPECT_TRUE(Section(page, QStringLiteral("menus"))
                    .contains(QStringLiteral("«%1»").arg(QString(top->text()).remove('&'))))
        << top->text().toStdString();
    walk(top->menu());
    ++menus;
  }
  EXPECT_EQ(menus, 5);
}

TEST_F(GuideTest, EveryToolbarButtonInToolbarOrder) {
  ASSERT_FALSE(page.isEmpty());
  const QString section = Section(page, QStringLiteral("toolbars"));
  // The two tables of the section, in the order of the toolbars.
  const QStringList tables = section.split(QStringLiteral("<table>")).mid(1);
  ASSERT_EQ(tables.size(), 2);
  const char* bars[] = {"StandardToolBar", "ToolBar1"};
  for (int t = 0; t < 2; ++t) {
    SCOPED_TRACE(bars[t]);
    auto* bar = window.findChild<QToolBar*>(QLatin1String(bars[t]));
    ASSERT_NE(bar, nullptr);
    QStringList expected, listed;
    for (QAction* action : bar->actions()) {
      auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
      if (button == nullptr || button->toolTip().isEmpty()) continue;
      expected << QStringLiteral("%1 %2")
                      .arg(button->property("imageIndex").toInt(), 2, 10, QLatin1Char('0'))
                      .arg(button->toolTip());
    }
    static const QRegularExpression icon(QStringLiteral("icons/(\\d\\d)\\.svg"));
    for (const QString& row : Rows(tables[t])) {
      const QStringList cells = Cells(row);
      if (cells.size() < 2) continue;
      listed << QStringLiteral("%1 %2").arg(icon.match(cells[0]).captured(1), PlainText(cells[1]));
    }
    EXPECT_EQ(listed.join(QLatin1Char('\n')).toStdString(),
              expected.join(QLatin1Char('\n')).toStdString());
  }
}

TEST_F(GuideTest, CheckVerdictsAreQuotedExactly) {
  const QString section = Section(page, QStringLiteral("check"));
  for (TCheckVerdict verdict : {TCheckVerdict::cvPossibleError, TCheckVerdict::cvNoErrors}) {
    const QString text = QString::fromStdString(VerdictText(verdict));
    EXPECT_TRUE(section.contains(QStringLiteral("<q>%1</q>").arg(text))) << text.toStdString();
  }
}

TEST_F(GuideTest, ContentsLinksAndPicturesHoldTogether) {
  ASSERT_FALSE(page.isEmpty());
  static const QRegularExpression heading(QStringLiteral("<h2 id=\"([^\"]+)\""));
  static const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
  static const QRegularExpression anyId(QStringLiteral("id=\"([^\"]+)\""));
  static const QRegularExpression picture(QStringLiteral("<img [^>]*src=\"([^\"]+)\""));
  const QString contents = page.section(QStringLiteral("<nav>"), 1).section("</nav>", 0, 0);
  QStringList ids;
  for (const auto& match : anyId.globalMatch(page)) ids << match.captured(1);
  int sections = 0;
  for (const auto& match : heading.globalMatch(page)) {
    ++sections;
    EXPECT_TRUE(contents.contains(QStringLiteral("href=\"#%1\"").arg(match.captured(1))))
        << "not in the contents: " << match.captured(1).toStdString();
  }
  EXPECT_GE(sections, 10);
  for (const auto& match : link.globalMatch(page))
    EXPECT_TRUE(ids.contains(match.captured(1))) << "dangling #" << match.captured(1).toStdString();
  int pictures = 0;
  for (const auto& match : picture.globalMatch(page)) {
    const QFileInfo file(QDir(kGuideDir).filePath(match.captured(1)));
    EXPECT_TRUE(file.isFile()) << match.captured(1).toStdString();
    EXPECT_LT(file.size(), 100 * 1024) << match.captured(1).toStdString() << " is large";
    ++pictures;
  }
  EXPECT_GE(pictures, 10);
}

TEST_F(GuideTest, UndoTakesBackAMarkupCommandAsSectionFiveSays) {
  const QString section = PlainText(Section(page, QStringLiteral("writing")));
  EXPECT_FALSE(section.contains(QStringLiteral("нельзя отменить")));
  ASSERT_TRUE(section.contains(QStringLiteral("Вставку, сделанную командой, можно отменить")))
      << section.toStdString();

  TMemoBuffer& buffer = window.Buffer();
  buffer.SetTextStr("one word");
  buffer.SetSelStart(4);
  buffer.SetSelLength(4);
  window.ToolButton18Click(nullptr);  // bold
  ASSERT_EQ(buffer.GetText(), "one <b>word</b>");
  window.Memo()->undo();
  // One step back: the text as it was, the caret at the end of what came
  // back.
  EXPECT_EQ(buffer.GetText(), "one word");
  EXPECT_EQ(buffer.GetSelStart(), 8);
  EXPECT_EQ(buffer.GetSelLength(), 0);
}

TEST_F(GuideTest, PreviewMakesAMissingTempFolderAsSectionSevenAndTheManualPageSay) {
  const QString section = PlainText(Section(page, QStringLiteral("preview")));
  EXPECT_FALSE(section.contains(QStringLiteral("не создаёт")));
  EXPECT_TRUE(section.contains(QStringLiteral("Если папки temp нет, просмотр создаёт её сам")))
      << section.toStdString();
  const QString manual = ReadManualPage().simplified();
  ASSERT_FALSE(manual.isEmpty());
  EXPECT_FALSE(manual.contains(QStringLiteral("has to exist")));
  EXPECT_TRUE(manual.contains(QStringLiteral("folder is created there when it is missing")))
      << manual.toStdString();

  QTemporaryDir base;
  ASSERT_TRUE(base.isValid());
  TPreview preview(base.path());
  preview.Write(window.Buffer());
  EXPECT_TRUE(QFileInfo(base.filePath(QStringLiteral("temp/temp.htm"))).isFile());
}

TEST_F(GuideTest, CheckCoversTheWholeTextWhateverTheSelectionAsSectionNineSays) {
  const QString section = PlainText(Section(page, QStringLiteral("check")));
  EXPECT_FALSE(section.contains(QStringLiteral("до курсора")));
  EXPECT_TRUE(
      section.contains(QStringLiteral("Проверяется весь текст документа, где бы ни стоял "
                                      "курсор и что бы ни было выделено")))
      << section.toStdString();

  // The unbalanced quote lies after the caret, then after the selection.
  TMemoBuffer& buffer = window.Buffer();
  buffer.SetTextStr("<p>ok</p>\r\n<a href=\"#x>go</a>");
  for (int length : {0, 3}) {
    buffer.SetSelStart(0);
    buffer.SetSelLength(length);
    EXPECT_EQ(CheckMarkup(buffer, {}).Verdict, TCheckVerdict::cvPossibleError) << length;
    EXPECT_EQ(buffer.GetSelStart(), 0);
    EXPECT_EQ(buffer.GetSelLength(), length);
  }
}

TEST_F(GuideTest, FindingColumnsFollowTheRuleOfDeckhandChecksHelp) {
  // The rule as deckhand-check's help states it, e.g. "в байтах строки".
  static const QRegularExpression ruleInHelp(QStringLiteral("столбец — ([^)]+)\\)"));
  const auto match = ruleInHelp.match(QString::fromStdString(wml::CheckCommandHelp()));
  ASSERT_TRUE(match.hasMatch());
  const QString rule = match.captured(1).simplified();
  const QString section = PlainText(Section(page, QStringLiteral("deck-checks")));
  EXPECT_TRUE(section.contains(QStringLiteral("столбец — ") + rule)) << rule.toStdString();
  EXPECT_FALSE(section.contains(QStringLiteral("в знаках строки")));

  // And the checker counts so: in a UTF-8 deck each Russian letter before a
  // bare "&" takes two columns, as the guide's example says.
  const std::string deck =
      "<?xml version=\"1.0\"?>\n"
      "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n"
      "<wml><card id=\"a\"><p>\xD0\xB6\xD0\xB6 & x</p></card></wml>\n";
  const wml::TDeckReport report = wml::CheckDeck(deck);
  ASSERT_FALSE(report.Findings.empty());
  const wml::TFinding& first = report.Findings.front();
  EXPECT_EQ(first.Line, 3);
  // "<wml><card id="a"><p>" is 21 bytes, the two letters 4, the space 1.
  EXPECT_EQ(first.Column, 21 + 4 + 1 + 1) << first.Message;
}

TEST_F(GuideTest, EveryFileTheProgramWritesIsListed) {
  const QString section = PlainText(Section(page, QStringLiteral("files")));
  for (const QString& written :
       {QStringLiteral("temp/temp.htm"), QStringLiteral("$XDG_STATE_HOME/deckhand/"),
        QStringLiteral("~/.local/state/deckhand/"), QStringLiteral(".wml")}) {
    EXPECT_TRUE(section.contains(written)) << written.toStdString();
  }
  EXPECT_TRUE(section.contains(QStringLiteral("Настроек программа не хранит")));
  EXPECT_TRUE(section.contains(QStringLiteral("~/.config/QtProject.conf")));
}

}  // namespace
}  // namespace deckhand
