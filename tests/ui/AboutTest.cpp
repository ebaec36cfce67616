// The About box: layout and colours, its closing, and the addresses it and
// the shell hand to the desktop.
#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <vector>

#include "tests/ui/RecordingShell.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Fonts.h"
#include "ui/ProductInfo.h"
#include "ui/Shell.h"
#include "ui/Unit2.h"

namespace deckhand {
namespace {

using testing::WaitFor;

class AboutTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterProgramFonts(); }
  testing::TRecordingShell shell_;
};

QRgb Rgb(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

// Colours of the JPEG pictures may be off by a little.
bool Near(QRgb colour, QRgb expected) {
  return std::abs(qRed(colour) - qRed(expected)) <= 8 &&
         std::abs(qGreen(colour) - qGreen(expected)) <= 8 &&
         std::abs(qBlue(colour) - qBlue(expected)) <= 8;
}

const QRgb kBoxColour = 0x5988CC;
const QRgb kFrameColour = 0x0148B2;

void ShowAndWait(QWidget& widget) {
  widget.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
}

TEST_F(AboutTest, IsAFixedBlueBoxLaidOutAsDesigned) {
  TAbout about;
  EXPECT_EQ(about.windowTitle(), QStringLiteral("О программе"));
  EXPECT_EQ(about.size(), QSize(400, 230));
  EXPECT_EQ(about.minimumSize(), QSize(400, 230));
  EXPECT_EQ(about.maximumSize(), QSize(400, 230));
  const Qt::WindowFlags flags = about.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);

  struct TPlace {
    QWidget* widget;
    QRect geometry;  // an empty size: only the position is fixed
  };
  const TPlace places[] = {
      {about.Label1, QRect(80, 16, 0, 0)},      {about.Image1, QRect(0, 0, 72, 222)},
      {about.Image2, QRect(380, 0, 20, 222)},   {about.Bevel1, QRect(80, 40, 161, 3)},
      {about.Label6, QRect(80, 48, 0, 0)},      {about.Label8, QRect(80, 60, 0, 0)},
      {about.Label9, QRect(80, 80, 0, 0)},      {about.Label10, QRect(80, 92, 0, 0)},
      {about.Label11, QRect(80, 104, 0, 0)},    {about.Label12, QRect(80, 124, 0, 0)},
      {about.Label13, QRect(80, 136, 0, 0)},    {about.Label14, QRect(80, 148, 0, 0)},
      {about.Label15, QRect(80, 172, 0, 0)},    {about.Label3, QRect(80, 184, 0, 0)},
      {about.Label5, QRect(80, 203, 0, 0)},     {about.Bevel2, QRect(80, 165, 305, 3)},
      {about.Image3, QRect(0, 222, 400, 8)},    {about.Image4, QRect(0, 0, 400, 8)},
      {about.Button1, QRect(308, 189, 75, 25)},
  };
  // Painted in this order, later ones over earlier ones.
  const QObjectList children = about.children();
  qsizetype previous = -1;
  for (const TPlace& place : places) {
    const std::string name = place.widget->objectName().toStdString();
    if (place.geometry.isEmpty()) {
      EXPECT_EQ(place.widget->pos(), place.geometry.topLeft()) << name;
    } else {
      EXPECT_EQ(place.widget->geometry(), place.geometry) << name;
    }
    const qsizetype index = children.indexOf(place.widget);
    EXPECT_GT(index, previous) << name;
    previous = index;
  }

  EXPECT_EQ(about.Label1->text(), QStringLiteral("Deckhand v0.2"));
  EXPECT_EQ(about.Label1->font().family(), QStringLiteral("Tahoma"));
  EXPECT_EQ(about.Label1->font().pixelSize(), 19);
  EXPECT_EQ(about.Label6->text(),
            QStringLiteral("» Внимание! Перед началом первой работы с программой"));
  EXPECT_EQ(about.Label8->text(), QStringLiteral("настоятельно рекомендуется прочитать справку."));
  EXPECT_EQ(about.Label15->text(), QStringLiteral("Web сайт: https://deckhand.example.org"));
  EXPECT_EQ(about.Label3->text(), QStringLiteral("E-mail: team@deckhand.example.org"));
  EXPECT_EQ(about.Button1->text(), QStringLiteral("Закрыть"));
  EXPECT_FALSE(about.Button1->isDefault());
  EXPECT_EQ(about.Button1->cursor().shape(), Qt::PointingHandCursor);

  for (QLabel* label : about.findChildren<QLabel*>()) {
    if (label->pixmap().isNull() == false || label->text().isEmpty()) continue;  // pictures
    const std::string name = label->objectName().toStdString();
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::white)) << name;
    EXPECT_EQ(label->palette().color(QPalette::Window), QColor(0x59, 0x88, 0xCC)) << name;
    EXPECT_FALSE(label->font().underline()) << name;
    EXPECT_GE(label->width(), label->sizeHint().width()) << name;
    // Every line ends before the right frame picture.
    EXPECT_LT(label->geometry().right(), 380) << name;
    if (label != about.Label1) {
      EXPECT_EQ(label->font().family(), QStringLiteral("Tahoma")) << name;
      EXPECT_EQ(label->font().pixelSize(), 9) << name;
    }
    const bool link = label == about.Label15 || label == about.Label3;
    EXPECT_EQ(label->cursor().shape(), link ? Qt::PointingHandCursor : Qt::ArrowCursor) << name;
  }

  ShowAndWait(about);
  EXPECT_EQ(about.focusWidget(), about.Button1);
  const QImage shot = about.grab().toImage();
  EXPECT_EQ(Rgb(shot, 300, 45), kBoxColour);
  EXPECT_EQ(Rgb(shot, 200, 118), kBoxColour);
  // The 8-pixel dark-blue frame along all four edges.
  for (int x = 4; x < 400; x += 20) {
    EXPECT_TRUE(Near(Rgb(shot, x, 3), kFrameColour)) << x;
    EXPECT_TRUE(Near(Rgb(shot, x, 226), kFrameColour)) << x;
  }
  for (int y = 4; y < 230; y += 20) {
    EXPECT_TRUE(Near(Rgb(shot, 3, y), kFrameColour)) << y;
    EXPECT_TRUE(Near(Rgb(shot, 396, y), kFrameColour)) << y;
  }
  EXPECT_TRUE(Near(Rgb(shot, 20, 120), kBoxColour));
  EXPECT_TRUE(Near(Rgb(shot, 376, 120), kBoxColour));
  // The sunken lines: a dark row over a light one.
  EXPECT_EQ(Rgb(shot, 150, 40), about.palette().color(QPalette::Dark).rgb() & 0xFFFFFF);
  EXPECT_EQ(Rgb(shot, 150, 41), about.palette().color(QPalette::Light).rgb() & 0xFFFFFF);
}

TEST_F(AboutTest, EscapeDoesNothingWhileButtonAndCloseBoxClose) {
  TAbout about;
  ShowAndWait(about);
  QTest::keyClick(&about, Qt::Key_Escape);
  QTest::keyClick(about.Button1, Qt::Key_Escape);
  QCoreApplication::processEvents();
  EXPECT_TRUE(about.isVisible());
  about.close();  // the title bar's close box
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Rejected);

  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
    TAbout box;
    ShowAndWait(box);
    QTest::keyClick(box.Button1, key);
    EXPECT_TRUE(WaitFor([&] { return !box.isVisible(); }, 2000)) << key;
  }
}

TEST_F(AboutTest, EachOpeningIsAFreshBox) {
  QWidget owner;
  std::vector<int> results;
  for (int opening = 0; opening < 2; ++opening) {
    const auto about = std::make_unique<TAbout>(&owner);
    EXPECT_EQ(about->parent(), &owner);
    EXPECT_EQ(about->Label1->text(), QStringLiteral("Deckhand v0.2"));
    EXPECT_EQ(about->Button1->pos(), QPoint(308, 189));
    QTimer::singleShot(0, about.get(), [&] {
      EXPECT_TRUE(about->isModal());
      EXPECT_EQ(about->focusWidget(), about->Button1);
      // Leave traces that a reused box would show the second time.
      about->Label1->setText(QStringLiteral("changed"));
      about->Button1->move(0, 0);
      QTest::mouseClick(about->Button1, Qt::LeftButton);
    });
    results.push_back(about->exec());
  }
  EXPECT_EQ(results, (std::vector<int>{QDialog::Rejected, QDialog::Rejected}));
  EXPECT_TRUE(shell_.opened.isEmpty());
}

TEST_F(AboutTest, LinksHandTheirAddressesToTheShell) {
  TAbout about;
  ShowAndWait(about);
  QTest::mouseClick(about.Label15, Qt::LeftButton);
  QTest::mouseClick(about.Label3, Qt::LeftButton);
  // A press that ends outside the line, and other buttons, are no clicks.
  QTest::mousePress(about.Label15, Qt::LeftButton);
  QTest::mouseRelease(about.Label15, Qt::LeftButton, Qt::NoModifier, QPoint(-5, -5));
  QTest::mouseClick(about.Label3, Qt::RightButton);
  EXPECT_EQ(shell_.opened,
            QStringList({
                QStringLiteral("https://deckhand.example.org/"),
                QStringLiteral("mailto:team@deckhand.example.org?subject=Deckhand v0.2"),
            }));
  EXPECT_TRUE(about.isVisible());
  EXPECT_EQ(QString::fromUtf8(kHelpFileName), QStringLiteral("help.hlp"));
  EXPECT_EQ(QString::fromUtf8(kWebSiteAddress), shell_.opened[0]);
}

// The real shell runs xdg-open; a stand-in of that name, first on the PATH,
// writes down its working directory and its arguments.
TEST_F(AboutTest, RealShellPassesTheTargetUntouchedFromTheCurrentDirectory) {
  QTemporaryDir tools, work;
  ASSERT_TRUE(tools.isValid() && work.isValid());
  const QString record = tools.filePath(QStringLiteral("record"));
  QFile script(tools.filePath(QStringLiteral("xdg-open")));
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write(QStringLiteral("#!/bin/sh\n"
                              "{ pwd -P; echo \"$#\"; for a in \"$@\"; do echo \"[$a]\"; done; }"
                              " > '%1.tmp' && mv '%1.tmp' '%1'\n")
                   .arg(record)
                   .toUtf8());
  script.close();
  script.setPermissions(script.permissions() | QFile::ExeOwner);

  const QByteArray path = qgetenv("PATH");
  const QString directory = QDir::currentPath();
  qputenv("PATH", QFile::encodeName(tools.path()) + ':' + path);
  ASSERT_TRUE(QDir::setCurrent(work.path()));
  SetShell(nullptr);

  auto openAndRead = [&](const QString& target) {
    QFile::remove(record);
    Shell().Open(target);
    EXPECT_TRUE(WaitFor([&] { return QFile::exists(record); }, 10000));
    QFile file(record);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  };
  const QString workPath = QDir(work.path()).canonicalPath();
  const QString help = openAndRead(QString::fromUtf8(kHelpFileName));
  const QString mail = openAndRead(MailLink());

  QDir::setCurrent(directory);
  qputenv("PATH", path);
  EXPECT_EQ(help, workPath + QStringLiteral("\n1\n[help.hlp]\n"));
  EXPECT_EQ(
      mail,
      workPath + QStringLiteral("\n1\n[mailto:team@deckhand.example.org?subject=Deckhand v0.2]\n"));
}

}  // namespace
}  // namespace deckhand
