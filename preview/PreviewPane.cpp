#include "preview/PreviewPane.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QLibrary>
#include <QOpenGLContext>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QUrl>
#include <algorithm>

#include "assets/Assets.h"
#include "assets/JpegDecoder.h"
#include "core/Errors.h"
#include "preview/WebBrowserModule.h"
#include "preview/WebEngineSetup.h"
#include "widgets/Labels.h"

QT_BEGIN_NAMESPACE
// Qt's own setter of the application's global OpenGL share context.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE

namespace deckhand {

const char* const TPreviewPane::kPhonePicture = ":/images/phone.jpg";

namespace {

const QColor kSilver(0xC0, 0xC0, 0xC0);

// Where the lower group stands at the default size; at any other height it
// keeps its distance from the pane's bottom edge.
constexpr int kLowerGroupTop = 282;
constexpr int kLowerGroupHeight = 139;
constexpr int kPictureTop = 15;
constexpr int kSideMargin = 2;
// The HTML view's rectangle over the phone's screen.
constexpr QRect kScreenRect(34, 104, 115, 93);

// The small captions over the phone's screen.
QFont ScreenFont() {
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(9);
  return font;
}

// A label on a solid background in the phone's screen font.
QLabel* MakeScreenLabel(QWidget* parent, const char* name, const QString& caption,
                        const QRect& rect, const QColor& background, const QColor* text) {
  QLabel* label = CreateLabel(parent, QString::fromLatin1(name), caption, rect);
  label->setFont(ScreenFont());
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, background);
  if (text != nullptr) palette.setColor(QPalette::WindowText, *text);
  label->setPalette(palette);
  label->setAutoFillBackground(true);
  return label;
}

QComboBox* MakeList(QWidget* parent, const char* name, const QRect& rect) {
  auto* list = new QComboBox(parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setEditable(true);  // a drop-down list with an edit field
  list->setEnabled(false);
  list->setGeometry(rect);
  return list;
}

using TCreateWebBrowser = QWidget* (*)(QWidget* parent, const QUrl& previewPage);

// Loads the HTML view's module, once for the process. The web engine shares
// OpenGL resources with the windows through the application's global share
// context, which it would create itself when linked into the program; loaded
// later, it finds the one made here.
TCreateWebBrowser LoadWebBrowserModule() {
  static TCreateWebBrowser create = nullptr;
  if (create != nullptr) return create;
  if (QOpenGLContext::globalShareContext() == nullptr) {
    auto* context = new QOpenGLContext(QCoreApplication::instance());
    context->create();  // on a platform without OpenGL the engine draws in software
    qt_gl_set_global_share_context(context);
  }
  QString errors;
  for (const QString& file : WebBrowserModuleFiles()) {
    QLibrary module(file);
    module.setLoadHints(QLibrary::PreventUnloadHint);
    create = reinterpret_cast<TCreateWebBrowser>(module.resolve(DECKHAND_CREATE_WEB_BROWSER_NAME));
    if (create != nullptr) return create;
    errors += QStringLiteral("; ") + module.errorString();
  }
  throw EInvalidOperation("Cannot start the HTML view" + errors.toStdString());
}

// The view and everything inside it can take the focus by a click but is
// no tab stop.
void KeepOutOfTabChain(QWidget* view) {
  for (QWidget* widget : view->findChildren<QWidget*>()) {
    if (widget->focusPolicy() & Qt::TabFocus) widget->setFocusPolicy(Qt::ClickFocus);
  }
}

}  // namespace

TPreviewPane::TPreviewPane(TCodeBuffer& code, const QString& baseDirectory, QWidget* parent)
    : QGroupBox(QStringLiteral(" Общий вид "), parent), code_(code), preview_(baseDirectory) {
  setObjectName(QStringLiteral("GroupBox1"));
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  resize(kDefaultWidth, kDefaultHeight);

  // Creation order is stacking order: the picture at the bottom, the labels
  // over it, the HTML view and the lower group on top (the view hides the
  // last row of "Card").
  image1_ = new QLabel(this);
  image1_->setObjectName(QStringLiteral("Image1"));
  image1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // unscaled, from its top-left corner
  image1_->setScaledContents(false);
  InitAssets();  // harmless when the program has done it already
  if (QFile::exists(QString::fromLatin1(kPhonePicture))) {
    image1_->setPixmap(QPixmap::fromImage(LoadJpeg(QString::fromLatin1(kPhonePicture))));
  } else {
    qWarning("The phone picture %s is not built into the program", kPhonePicture);
  }

  const QColor silverText = kSilver;
  card_ = MakeScreenLabel(this, "Card", QStringLiteral("Card"), QRect(36, 94, 20, 11), Qt::white,
                          &silverText);
  label1_ = MakeScreenLabel(this, "Label1", QStringLiteral(" Назад                   "),
                            QRect(34, 197, 86, 11), kSilver, nullptr);
  label1_->setWordWrap(true);
  label4_ = MakeScreenLabel(this, "Label4", QStringLiteral("Далее "), QRect(119, 197, 30, 11),
                            kSilver, nullptr);

  // Until the first preview the view's place is held by a blank white area,
  // which looks like the empty view (white, no frame) and takes no focus.
  blankScreen_ = new QWidget(this);
  blankScreen_->setObjectName(QStringLiteral("WebBrowser"));
  blankScreen_->setFocusPolicy(Qt::NoFocus);
  blankScreen_->setGeometry(kScreenRect);
  QPalette white = blankScreen_->palette();
  white.setColor(QPalette::Window, Qt::white);
  blankScreen_->setPalette(white);
  blankScreen_->setAutoFillBackground(true);

  groupBox3_ = new QGroupBox(this);
  groupBox3_->setObjectName(QStringLiteral("GroupBox3"));
  label3_ = CreateLabel(groupBox3_, QStringLiteral("Label3"),
                        QStringLiteral("Навигация по картам:"), QRect(8, 12, 113, 13));
  comboBox3_ = MakeList(groupBox3_, "ComboBox3", QRect(8, 28, 169, 21));
  label2_ = CreateLabel(groupBox3_, QStringLiteral("Label2"), QStringLiteral("Модель телефона:"),
                        QRect(8, 60, 94, 13));
  comboBox1_ = MakeList(groupBox3_, "ComboBox1", QRect(8, 76, 169, 21));
  comboBox1_->addItem(QStringLiteral("Motorola c380"));
  comboBox1_->setCurrentIndex(0);

  button1_ = new QPushButton(QStringLiteral("Показать"), groupBox3_);
  button1_->setObjectName(QStringLiteral("Button1"));
  button1_->setGeometry(8, 104, 169, 21);
  // The hint goes to the status bar, never to a tooltip.
  button1_->setStatusTip(QStringLiteral("Обновить общий вид"));
  button1_->setProperty("hint", QStringLiteral("Обновить общий вид"));
  connect(button1_, &QPushButton::clicked, this, &TPreviewPane::Button1Clicked);

  PlaceAnchoredControls();
}

QWidget* TPreviewPane::ScreenArea() const {
  if (webBrowser_ != nullptr) return webBrowser_;
  return blankScreen_;
}

void TPreviewPane::Button1Click(QObject* /*sender*/) {
  const QString path = preview_.Write(code_);
  EnsureWebBrowser()->setProperty("url", PreviewFileUrl(path));
}

QWidget* TPreviewPane::EnsureWebBrowser() {
  if (webBrowser_ != nullptr) return webBrowser_;
  // Without its helper program the engine would end the whole process; say
  // so instead, before anything is started.
  const QString problem = WebEngineProblem();
  if (!problem.isEmpty()) throw EInvalidOperation(problem.toStdString());
  const TCreateWebBrowser create = LoadWebBrowserModule();

  QWidget* view = create(this, PreviewFileUrl(preview_.FilePath()));
  webBrowser_ = view;
  view->setObjectName(QStringLiteral("WebBrowser"));
  view->setFocusPolicy(Qt::NoFocus);
  view->setGeometry(kScreenRect);
  // The view draws through an inner widget that takes focus by Tab; it may
  // be replaced later (a new render process), so every new inner widget is
  // taken out of the tab chain as it arrives.
  view->installEventFilter(this);
  KeepOutOfTabChain(view);
  connect(view, SIGNAL(Failed(QString)), this, SIGNAL(WebBrowserFailed(QString)));

  // The view takes the blank area's place in the stacking order: over the
  // labels, under the lower group.
  view->stackUnder(blankScreen_);
  view->show();
  delete blankScreen_;
  blankScreen_ = nullptr;
  return view;
}

bool TPreviewPane::eventFilter(QObject* watched, QEvent* event) {
  if (watched != nullptr && watched == webBrowser_ &&
      (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished)) {
    KeepOutOfTabChain(webBrowser_);
  }
  return QGroupBox::eventFilter(watched, event);
}

void TPreviewPane::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  PlaceAnchoredControls();
}

void TPreviewPane::PlaceAnchoredControls() {
  const int lowerTop = height() - (kDefaultHeight - kLowerGroupTop);
  const int innerWidth = std::max(0, width() - 2 * kSideMargin);
  groupBox3_->setGeometry(kSideMargin, lowerTop, innerWidth, kLowerGroupHeight);
  image1_->setGeometry(kSideMargin, kPictureTop, innerWidth, std::max(0, lowerTop - kPictureTop));
}

}  // namespace deckhand
