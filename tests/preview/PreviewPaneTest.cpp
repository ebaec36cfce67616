// The preview pane offscreen: its controls at their designed places at the
// default size, their captions, fonts, colours and stacking, the anchoring
// of the lower group, and the preview command driving the HTML view, which
// exists (and starts the web engine) only from the first preview on.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "assets/JpegDecoder.h"
#include "core/CodeBuffer.h"
#include "core/Encoding.h"
#include "core/Errors.h"
#include "preview/PreviewPane.h"
#include "preview/WebEngineSetup.h"

namespace deckhand {
namespace {

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeoutMs) return false;
    QTest::qWait(10);
  }
  return true;
}

// Whether this process has loaded the web engine's library.
bool WebEngineLoaded() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("libQt6WebEngineCore") != std::string::npos) return true;
  }
  return false;
}

// The helper processes the web engine starts below this process.
int WebEngineChildren() {
  int count = 0;
  for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
    std::ifstream stat(("/proc/" + entry + "/stat").toStdString());
    std::string line;
    if (!std::getline(stat, line)) continue;
    const size_t close = line.rfind(')');
    if (close == std::string::npos || line.find("QtWebEngine") == std::string::npos) continue;
    if (std::stoi(line.substr(close + 4)) == QCoreApplication::applicationPid()) ++count;
  }
  return count;
}

QUrl ShownUrl(const QWidget* view) { return view->property("url").toUrl(); }

// The pane at its designed size in a window that carries the main window's
// font.
class PaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    QFont font("MS Sans Serif");
    font.setPixelSize(11);
    window_.setFont(font);
    pane_ = new TPreviewPane(code_, base_.path(), &window_);
    pane_->setGeometry(0, 50, 188, 423);
    window_.resize(780, 526);
  }

  template <typename T>
  T* Control(const char* name) const {
    T* control = pane_->findChild<T*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  QRect Rect(const char* name) const { return Control<QWidget>(name)->geometry(); }

  QTemporaryDir base_;
  TMemoryBuffer code_;
  QWidget window_;
  TPreviewPane* pane_ = nullptr;
};

TEST_F(PaneTest, ControlsStandAtTheirDesignedPlaces) {
  EXPECT_EQ(pane_->objectName(), "GroupBox1");
  EXPECT_EQ(pane_->title(), " Общий вид ");
  EXPECT_EQ(pane_->size(), QSize(188, 423));

  EXPECT_EQ(Rect("Image1"), QRect(2, 15, 184, 267));
  EXPECT_EQ(Rect("Card"), QRect(36, 94, 20, 11));
  EXPECT_EQ(Rect("WebBrowser"), QRect(34, 104, 115, 93));
  EXPECT_EQ(Rect("Label1"), QRect(34, 197, 86, 11));
  EXPECT_EQ(Rect("Label4"), QRect(119, 197, 30, 11));
  EXPECT_EQ(Rect("GroupBox3"), QRect(2, 282, 184, 139));
  EXPECT_EQ(Rect("Label3"), QRect(8, 12, 113, 13));
  EXPECT_EQ(Rect("ComboBox3"), QRect(8, 28, 169, 21));
  EXPECT_EQ(Rect("Label2"), QRect(8, 60, 94, 13));
  EXPECT_EQ(Rect("ComboBox1"), QRect(8, 76, 169, 21));
  EXPECT_EQ(Rect("Button1"), QRect(8, 104, 169, 21));

  auto* lower = Control<QGroupBox>("GroupBox3");
  for (const char* name : {"Label3", "ComboBox3", "Label2", "ComboBox1", "Button1"}) {
    EXPECT_EQ(Control<QWidget>(name)->parentWidget(), lower) << name;
  }
  EXPECT_EQ(lower->title(), "");

  // Bottom to top: picture, labels, then the view and the lower group.
  const QObjectList order = pane_->children();
  const auto at = [&](const char* name) { return order.indexOf(Control<QObject>(name)); };
  EXPECT_LT(at("Image1"), at("Card"));
  EXPECT_LT(at("Card"), at("Label1"));
  EXPECT_LT(at("Label1"), at("Label4"));
  EXPECT_LT(at("Label4"), at("WebBrowser"));
  EXPECT_LT(at("WebBrowser"), at("GroupBox3"));
}

TEST_F(PaneTest, CaptionsFontsAndColours) {
  EXPECT_EQ(Control<QLabel>("Card")->text(), "Card");
  EXPECT_EQ(Control<QLabel>("Label1")->text(), " Назад                   ");
  EXPECT_EQ(Control<QLabel>("Label1")->text().size(), 25);
  EXPECT_TRUE(Control<QLabel>("Label1")->wordWrap());
  EXPECT_EQ(Control<QLabel>("Label4")->text(), "Далее ");
  EXPECT_EQ(Control<QLabel>("Label3")->text(), "Навигация по картам:");
  EXPECT_EQ(Control<QLabel>("Label2")->text(), "Модель телефона:");

  const QColor silver(0xC0, 0xC0, 0xC0);
  for (const char* name : {"Card", "Label1", "Label4"}) {
    auto* label = Control<QLabel>(name);
    EXPECT_EQ(label->font().family(), "Tahoma") << name;
    EXPECT_EQ(label->font().pixelSize(), 9) << name;
    EXPECT_TRUE(label->autoFillBackground()) << name;
  }
  EXPECT_EQ(Control<QLabel>("Card")->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(Control<QLabel>("Card")->palette().color(QPalette::WindowText), silver);
  EXPECT_EQ(Control<QLabel>("Label1")->palette().color(QPalette::Window), silver);
  EXPECT_EQ(Control<QLabel>("Label4")->palette().color(QPalette::Window), silver);
  EXPECT_EQ(Control<QLabel>("Label4")->palette().color(QPalette::WindowText),
            window_.palette().color(QPalette::WindowText));

  // The rest use the window's font.
  for (const char* name : {"Label3", "Label2", "ComboBox3", "ComboBox1", "Button1"}) {
    EXPECT_EQ(Control<QWidget>(name)->font(), window_.font()) << name;
  }
  EXPECT_EQ(pane_->font(), window_.font());
}

TEST_F(PaneTest, ListsAreDisabledAndTheButtonHintGoesToTheStatusBar) {
  auto* cards = Control<QComboBox>("ComboBox3");
  EXPECT_FALSE(cards->isEnabled());
  EXPECT_EQ(cards->count(), 0);
  EXPECT_EQ(cards->currentText(), "");

  auto* model = Control<QComboBox>("ComboBox1");
  EXPECT_FALSE(model->isEnabled());
  ASSERT_EQ(model->count(), 1);
  EXPECT_EQ(model->itemText(0), "Motorola c380");
  EXPECT_EQ(model->currentText(), "Motorola c380");

  auto* button = Control<QPushButton>("Button1");
  EXPECT_EQ(button->text(), "Показать");
  EXPECT_EQ(button->statusTip(), "Обновить общий вид");
  EXPECT_EQ(button->property("hint").toString(), "Обновить общий вид");
  EXPECT_EQ(button->toolTip(), "");
  EXPECT_EQ(pane_->Button1(), button);
}

TEST_F(PaneTest, UntilTheFirstPreviewABlankAreaHoldsTheViewsPlace) {
  window_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  QTest::qWait(100);
  EXPECT_EQ(pane_->WebBrowser(), nullptr);
  QWidget* blank = pane_->ScreenArea();
  ASSERT_EQ(blank, Control<QWidget>("WebBrowser"));
  EXPECT_EQ(blank->geometry(), QRect(34, 104, 115, 93));
  EXPECT_EQ(blank->focusPolicy(), Qt::NoFocus);
  // As white as the empty view, with no frame: every pixel is white.
  const QImage shown = blank->grab().toImage().convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) ASSERT_EQ(shown.pixel(x, y), qRgb(255, 255, 255));
  }
  EXPECT_EQ(WebEngineChildren(), 0);
  // CTest runs every test in a process of its own; there the engine's
  // library is not even loaded before the first preview.
  if (::testing::UnitTest::GetInstance()->test_to_run_count() == 1) {
    EXPECT_FALSE(WebEngineLoaded());
  }
}

TEST_F(PaneTest, ButtonLeavesTheCommandToTheWindowThatHoldsThePane) {
  int clicks = 0;
  QObject::connect(pane_, &TPreviewPane::Button1Clicked, [&] { ++clicks; });
  QTest::mouseClick(pane_->Button1(), Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(QFile::exists(pane_->PreviewPath())) << "the pane ran the command itself";
  EXPECT_EQ(pane_->WebBrowser(), nullptr);
}

TEST_F(PaneTest, LowerGroupKeepsToTheBottomAndThePictureGrows) {
  window_.show();  // a hidden widget gets its resize events only when shown
  pane_->resize(188, 600);
  EXPECT_EQ(Rect("GroupBox3"), QRect(2, 459, 184, 139));
  EXPECT_EQ(Rect("Image1"), QRect(2, 15, 184, 444));
  EXPECT_EQ(Rect("WebBrowser"), QRect(34, 104, 115, 93));
  EXPECT_EQ(Rect("Button1"), QRect(8, 104, 169, 21));
  pane_->resize(188, 423);
  EXPECT_EQ(Rect("GroupBox3"), QRect(2, 282, 184, 139));
  EXPECT_EQ(Rect("Image1"), QRect(2, 15, 184, 267));
  pane_->resize(188, 100);  // squeezed: the picture vanishes, nothing breaks
  EXPECT_EQ(Rect("Image1").height(), 0);
}

TEST_F(PaneTest, PhonePictureIsShownUnscaledFromItsCorner) {
  if (!QFile::exists(TPreviewPane::kPhonePicture)) {
    GTEST_SKIP() << "the artwork library is not built in";
  }
  auto* picture = Control<QLabel>("Image1");
  EXPECT_FALSE(picture->hasScaledContents());
  EXPECT_EQ(picture->alignment(), Qt::AlignLeft | Qt::AlignTop);
  EXPECT_EQ(picture->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
            LoadJpeg(TPreviewPane::kPhonePicture));
  // Drawn from the label's corner: the screen's white square starts at
  // column 32, row 78 of the picture.
  const QImage shown = picture->grab().toImage();
  EXPECT_GT(qGray(shown.pixel(40, 85)), 230);
}

TEST_F(PaneTest, FirstPreviewCreatesTheViewInItsPlaceAndLoadsThePage) {
  code_.SetText(Cp1251("<wml><card><p>Привет</p></card></wml>"));
  // The window routes the button to the command.
  QObject::connect(pane_, &TPreviewPane::Button1Clicked, pane_,
                   [this] { pane_->Button1Click(pane_->Button1()); });
  window_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));

  QTest::mouseClick(pane_->Button1(), Qt::LeftButton);

  const QString path = base_.path() + "/temp/temp.htm";
  EXPECT_EQ(pane_->PreviewPath(), path);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const std::string page = std::string(kPreviewHeader) + code_.GetText();
  EXPECT_EQ(file.readAll().toStdString(), page);
  EXPECT_EQ(pane_->WhatSaveText(), page);
  EXPECT_EQ(pane_->VisualText(), std::string(kPreviewHeader));

  // The view now stands where the blank area stood, named and stacked as
  // it, visible, no tab stop, and told to load the file at once.
  QWidget* view = pane_->WebBrowser();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->inherits("QWebEngineView"));
  EXPECT_EQ(pane_->ScreenArea(), view);
  EXPECT_EQ(pane_->findChildren<QWidget*>("WebBrowser", Qt::FindDirectChildrenOnly),
            QList<QWidget*>{view});
  EXPECT_EQ(view->geometry(), QRect(34, 104, 115, 93));
  EXPECT_TRUE(view->isVisible());
  EXPECT_EQ(view->focusPolicy(), Qt::NoFocus);
  const QObjectList order = pane_->children();
  EXPECT_LT(order.indexOf(Control<QObject>("Label4")), order.indexOf(view));
  EXPECT_LT(order.indexOf(view), order.indexOf(Control<QObject>("GroupBox3")));

  QSignalSpy finished(view, SIGNAL(loadFinished(bool)));
  ASSERT_TRUE(WaitFor([&] { return finished.count() >= 1; }));
  EXPECT_TRUE(finished.at(0).at(0).toBool());
  EXPECT_EQ(ShownUrl(view), QUrl::fromLocalFile(path));
  for (QWidget* inner : view->findChildren<QWidget*>()) {
    EXPECT_FALSE(inner->focusPolicy() & Qt::TabFocus) << inner->metaObject()->className();
  }

  // A second preview without edits loads the page again in the same view.
  pane_->Button1Click(pane_);
  ASSERT_TRUE(WaitFor([&] { return finished.count() >= 2; }));
  EXPECT_EQ(pane_->WebBrowser(), view);
  EXPECT_EQ(ShownUrl(view), QUrl::fromLocalFile(path));
}

TEST_F(PaneTest, EngineThatCannotStartIsReportedAfterTheFileIsWritten) {
  const QByteArray saved = qgetenv("QTWEBENGINEPROCESS_PATH");
  const QString missing = base_.path() + "/no-such-helper";
  qputenv("QTWEBENGINEPROCESS_PATH", missing.toLocal8Bit());
  EXPECT_EQ(WebEngineProblem(),
            "Cannot start the HTML view: its helper program was not found as " + missing);
  code_.SetText("<p>x</p>");
  try {
    pane_->Button1Click(pane_);
    ADD_FAILURE() << "no error";
  } catch (const EInvalidOperation& error) {
    EXPECT_EQ(QString::fromStdString(error.what()), WebEngineProblem());
  }
  EXPECT_EQ(QFileInfo(pane_->PreviewPath()).size(), 168 + 8);
  EXPECT_EQ(pane_->WebBrowser(), nullptr) << "nothing was started";
  EXPECT_EQ(pane_->ScreenArea()->objectName(), "WebBrowser");

  // Once the helper is there again, the next preview shows the page.
  if (saved.isNull()) {
    qunsetenv("QTWEBENGINEPROCESS_PATH");
  } else {
    qputenv("QTWEBENGINEPROCESS_PATH", saved);
  }
  EXPECT_EQ(WebEngineProblem(), "");
  pane_->Button1Click(pane_);
  ASSERT_NE(pane_->WebBrowser(), nullptr);
  QSignalSpy finished(pane_->WebBrowser(), SIGNAL(loadFinished(bool)));
  ASSERT_TRUE(WaitFor([&] { return finished.count() >= 1; }));
  EXPECT_TRUE(finished.at(0).at(0).toBool());
}

TEST_F(PaneTest, FailedPreviewLeavesTheViewsPageAsItWas) {
  pane_->Button1Click(pane_);
  QWidget* view = pane_->WebBrowser();
  ASSERT_NE(view, nullptr);
  QSignalSpy finished(view, SIGNAL(loadFinished(bool)));
  ASSERT_TRUE(WaitFor([&] { return finished.count() >= 1; }));
  const QUrl shown = ShownUrl(view);
  QSignalSpy started(view, SIGNAL(loadStarted()));

  // The temp folder is replaced by a plain file: the file cannot be created.
  ASSERT_TRUE(QDir(base_.path() + "/temp").removeRecursively());
  {
    QFile blocker(base_.path() + "/temp");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  }
  code_.SetText("<p>new</p>");
  try {
    pane_->Button1Click(pane_);
    FAIL() << "no error";
  } catch (const EFCreateError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + base_.path().toStdString() +
                                             "/temp/temp.htm\". Not a directory");
  }
  EXPECT_EQ(pane_->WhatSaveText(), std::string(kPreviewHeader) + "<p>new</p>");
  QTest::qWait(300);
  EXPECT_EQ(started.count(), 0);
  EXPECT_EQ(ShownUrl(view), shown);
}

TEST(PaneBase, FailedFirstPreviewLeavesTheViewEmpty) {
  QTemporaryDir base;
  ASSERT_TRUE(base.isValid());
  ASSERT_TRUE(QDir(base.path()).mkpath("temp/temp.htm"));  // a folder in the file's place
  TMemoryBuffer code;
  TPreviewPane pane(code, base.path());
  EXPECT_EQ(pane.BaseDirectory(), base.path());
  EXPECT_THROW(pane.Button1Click(&pane), EFCreateError);
  // Routed from the button, the error travels out of the event delivery to
  // the window's command guard like any command's.
  QObject::connect(&pane, &TPreviewPane::Button1Clicked, &pane,
                   [&pane] { pane.Button1Click(pane.Button1()); });
  pane.show();
  EXPECT_THROW(QTest::mouseClick(pane.Button1(), Qt::LeftButton), EFCreateError);
  QTest::qWait(200);
  EXPECT_EQ(pane.WebBrowser(), nullptr) << "the view is not created for a page never written";
}

}  // namespace
}  // namespace deckhand
