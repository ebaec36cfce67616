// The splash screen: its layout, its gauge and how it ends itself.
#include <gtest/gtest.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <vector>

#include "tests/ui/UiTestSupport.h"
#include "ui/Fonts.h"
#include "ui/Unit6.h"
#include "widgets/Gauges.h"

namespace deckhand {
namespace {

using testing::WaitFor;

class SplashTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterProgramFonts(); }
};

// Counts the paint events of one widget and notes the gauge's percentage at
// each.
class TPaintLog : public QObject {
 public:
  explicit TPaintLog(TGauge* gauge) : gauge_(gauge) { gauge->installEventFilter(this); }
  std::vector<int> percentages;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) percentages.push_back(gauge_->Percentage());
    return false;
  }

 private:
  TGauge* gauge_;
};

QRgb Rgb(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

// Shows the splash without its modal loop and without its timers.
void ShowStill(Tloading& splash) {
  splash.Timer->stop();
  splash.Timer1->stop();
  splash.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash));
}

TEST_F(SplashTest, IsAFramelessWhiteWindowLaidOutAsDesigned) {
  Tloading splash;
  EXPECT_EQ(splash.windowTitle(), QStringLiteral("Загрузка..."));
  EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(splash.size(), QSize(450, 240));
  EXPECT_EQ(splash.minimumSize(), splash.maximumSize());
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(splash.pos(), QPoint(screen.x() + (screen.width() - 450) / 2,
                                 screen.y() + (screen.height() - 240) / 2));
  EXPECT_TRUE(splash.Timer->isActive());
  EXPECT_EQ(splash.Timer->interval(), 2000);
  EXPECT_TRUE(splash.Timer1->isActive());
  EXPECT_EQ(splash.Timer1->interval(), 10);

  EXPECT_EQ(splash.Splitter3->geometry(), QRect(0, 0, 450, 1));
  EXPECT_EQ(splash.Splitter2->geometry(), QRect(0, 239, 450, 1));
  EXPECT_EQ(splash.Splitter1->geometry(), QRect(0, 1, 1, 238));
  EXPECT_EQ(splash.Splitter4->geometry(), QRect(449, 1, 1, 238));
  EXPECT_EQ(splash.Splitter3->cursor().shape(), Qt::SizeVerCursor);
  EXPECT_EQ(splash.Splitter2->cursor().shape(), Qt::SizeVerCursor);
  EXPECT_EQ(splash.Splitter1->cursor().shape(), Qt::SizeHorCursor);
  EXPECT_EQ(splash.Splitter4->cursor().shape(), Qt::SizeHorCursor);

  EXPECT_EQ(splash.Panel1->geometry(), QRect(1, 1, 448, 238));
  for (QWidget* widget : std::vector<QWidget*>{splash.Panel1, splash.Image1, splash.Label2,
                                               splash.Label9, splash.Label5, splash.Gauge})
    EXPECT_EQ(widget->cursor().shape(), Qt::BusyCursor) << widget->objectName().toStdString();

  EXPECT_EQ(splash.Image1->geometry(), QRect(19, 8, 249, 137));
  ASSERT_FALSE(splash.Image1->pixmap().isNull()) << "the logo did not load";
  EXPECT_EQ(splash.Image1->pixmap().size(), QSize(250, 130));

  EXPECT_EQ(splash.Label2->text(), QStringLiteral("Версия: 0.2"));
  EXPECT_EQ(splash.Label2->pos(), QPoint(384, 220));
  EXPECT_EQ(splash.Label2->font().family(), QStringLiteral("Tahoma"));
  EXPECT_EQ(splash.Label2->font().pixelSize(), 11);
  const QLabel* notice[] = {splash.Label9,  splash.Label10, splash.Label11,
                            splash.Label12, splash.Label13, splash.Label14};
  const int tops[] = {148, 158, 168, 184, 194, 204};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(notice[i]->pos(), QPoint(32, tops[i])) << i;
    EXPECT_FALSE(notice[i]->text().isEmpty()) << i;
    // Whole lines, inside the panel.
    EXPECT_GE(notice[i]->width(), notice[i]->sizeHint().width()) << i;
    EXPECT_LE(notice[i]->geometry().right(), 447) << i;
  }
  EXPECT_EQ(splash.Label9->font().family(), QStringLiteral("Tahoma"));
  EXPECT_EQ(splash.Label9->font().pixelSize(), 9);
  EXPECT_EQ(splash.Label9->palette().color(QPalette::WindowText), QColor(0x7D, 0x7B, 0x7B));
  EXPECT_EQ(splash.Label5->pos(), QPoint(32, 223));
  EXPECT_LT(splash.Label5->geometry().right(), splash.Label2->x());

  const TGauge* gauge = splash.Gauge;
  EXPECT_EQ(gauge->geometry(), QRect(432, 7, 9, 41));
  EXPECT_EQ(gauge->Kind(), gkVerticalBar);
  EXPECT_EQ(gauge->MinValue(), 0);
  EXPECT_EQ(gauge->MaxValue(), 175);
  EXPECT_EQ(gauge->Progress(), 0);
  EXPECT_EQ(gauge->BorderStyle(), bsNone);
  EXPECT_FALSE(gauge->ShowText());
  EXPECT_EQ(gauge->Color(), QColor(Qt::white));
  EXPECT_EQ(gauge->BackColor(), QColor(0xFF, 0xD5, 0x9B));
  EXPECT_EQ(gauge->ForeColor(), QColor(0xFF, 0x95, 0x04));

  ShowStill(splash);
  const QImage shot = splash.grab().toImage();
  for (int x = 0; x < 450; x += 7) {
    EXPECT_EQ(Rgb(shot, x, 0), 0u) << x;
    EXPECT_EQ(Rgb(shot, x, 239), 0u) << x;
  }
  for (int y = 0; y < 240; y += 7) {
    EXPECT_EQ(Rgb(shot, 0, y), 0u) << y;
    EXPECT_EQ(Rgb(shot, 449, y), 0u) << y;
  }
  EXPECT_EQ(Rgb(shot, 350, 100), 0xFFFFFFu);  // the white ground
  EXPECT_EQ(Rgb(shot, 437, 8), 0xFFD59Bu);    // the empty gauge
  EXPECT_EQ(Rgb(shot, 437, 47), 0xFFD59Bu);
}

TEST_F(SplashTest, ClosesItselfByItsTimerAfterTwoSeconds) {
  QWidget owner;
  auto* splash = new Tloading(&owner);
  QPointer<Tloading> alive(splash);
  QElapsedTimer clock;
  clock.start();
  const int result = splash->exec();
  const qint64 elapsed = clock.elapsed();
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_GE(elapsed, 1900);
  EXPECT_LT(elapsed, 10000);
  ASSERT_FALSE(alive.isNull()) << "the splash is hidden, not destroyed";
  EXPECT_FALSE(splash->isVisible());
  EXPECT_FALSE(splash->Timer->isActive());
  EXPECT_FALSE(splash->Timer1->isActive());
  const int progress = splash->Gauge->Progress();
  EXPECT_GT(progress, 0);
  QTest::qWait(60);
  EXPECT_EQ(splash->Gauge->Progress(), progress);
}

TEST_F(SplashTest, GaugeRepaintsOnlyWhenItsPercentageChanges) {
  Tloading splash;
  ShowStill(splash);
  QCoreApplication::processEvents();
  TPaintLog log(splash.Gauge);
  for (int tick = 1; tick <= 200; ++tick) {
    splash.Timer1Timer(splash.Timer1);
    ASSERT_EQ(splash.Gauge->Progress(), std::min(tick, 175));
  }
  // 175 steps, 100 changes of the whole-number percentage, each painted at
  // once; the ticks after the gauge is full paint nothing.
  ASSERT_EQ(log.percentages.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(log.percentages[i], i + 1);

  // Full: every row orange but the top one, which keeps the light orange.
  const QImage gauge = splash.Gauge->grab().toImage();
  for (int x = 0; x < 9; ++x) {
    EXPECT_EQ(Rgb(gauge, x, 0), 0xFFD59Bu) << x;
    for (int y = 1; y < 41; ++y) ASSERT_EQ(Rgb(gauge, x, y), 0xFF9504u) << x << "," << y;
  }
}

TEST_F(SplashTest, GaugeAdvancesWhileShownModally) {
  auto* splash = new Tloading;
  TPaintLog log(splash->Gauge);
  splash->exec();
  EXPECT_GT(splash->Gauge->Progress(), 20);
  // After the painting that comes with showing, each paint shows a new
  // percentage.
  ASSERT_GT(log.percentages.size(), 2u);
  for (size_t i = 2; i < log.percentages.size(); ++i)
    EXPECT_NE(log.percentages[i], log.percentages[i - 1]) << i;
  delete splash;
}

TEST_F(SplashTest, FrameLinesAndEscapeChangeNothing) {
  Tloading splash;
  ShowStill(splash);
  const QPoint position = splash.pos();
  std::vector<QRect> before;
  for (QWidget* child : splash.findChildren<QWidget*>()) before.push_back(child->geometry());

  for (QWidget* line : {splash.Splitter1, splash.Splitter2, splash.Splitter3, splash.Splitter4}) {
    const QPoint start(line->width() / 2, line->height() / 2);
    QTest::mousePress(line, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(line, start + QPoint(15, 12));
    QTest::mouseRelease(line, Qt::LeftButton, Qt::NoModifier, start + QPoint(15, 12));
  }
  QTest::keyClick(&splash, Qt::Key_Escape);
  QCoreApplication::processEvents();

  EXPECT_TRUE(splash.isVisible());
  EXPECT_EQ(splash.pos(), position);
  EXPECT_EQ(splash.size(), QSize(450, 240));
  std::vector<QRect> after;
  for (QWidget* child : splash.findChildren<QWidget*>()) after.push_back(child->geometry());
  EXPECT_EQ(after, before);

  splash.TimerTimer(splash.Timer);
  EXPECT_FALSE(splash.isVisible());
  EXPECT_EQ(splash.result(), QDialog::Rejected);
}

}  // namespace
}  // namespace deckhand
