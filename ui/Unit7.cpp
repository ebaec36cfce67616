#include "ui/Unit7.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <new>

#include "ui/Unit1.h"

namespace deckhand {

namespace {

// Parses a deck for the user agent and checks it. Running out of memory on a
// huge deck is reported as a finding; the screen then shows nothing.
void ParseAndCheck(const std::string& text, const wml::TPhoneProfile* phone, wml::TDeck& deck,
                   wml::TDeckReport& report) {
  try {
    deck = wml::ParseDeck(text);
    report = wml::CheckDeck(text, phone);
  } catch (const std::bad_alloc&) {
    deck = wml::TDeck();
    report = wml::TDeckReport();
    report.Findings.push_back(
        {wml::TSeverity::Error, 1, 1, "Не хватает памяти, чтобы проверить и показать эту колоду"});
  }
}

constexpr int kPauseMs = 300;
constexpr int kLargestScreenSide = 384;  // pixels of the enlarged screen
constexpr int kBezel = 6;                // the dark frame around the screen

}  // namespace

// ---------------------------------------------------------------------------
// TScreenView

TScreenView::TScreenView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Screen"));
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

int TScreenView::Scale() const {
  if (image_.isNull()) return 1;
  int side = std::max(image_.width(), image_.height());
  return std::clamp(kLargestScreenSide / std::max(1, side), 1, 4);
}

void TScreenView::SetImage(const QImage& image) {
  bool resized = image.size() != image_.size();
  image_ = image;
  if (resized) {
    setFixedSize(image_.size() * Scale() + QSize(2 * kBezel, 2 * kBezel));
    updateGeometry();
  }
  update();
}

QSize TScreenView::sizeHint() const {
  return image_.size() * Scale() + QSize(2 * kBezel, 2 * kBezel);
}

void TScreenView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x30, 0x30, 0x34));
  painter.drawRoundedRect(rect(), kBezel, kBezel);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.drawImage(QRect(QPoint(kBezel, kBezel), image_.size() * Scale()), image_);
}

// ---------------------------------------------------------------------------
// TKeypad

TKeypad::TKeypad(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Keypad"));
  setFixedSize(sizeHint());
}

void TKeypad::SetLabels(const QString& left, const QString& right) {
  if (left == left_ && right == right_) return;
  left_ = left;
  right_ = right;
  update();
}

QRect TKeypad::KeyRect(TKey key) const {
  switch (key) {
    case TKey::LeftSoft:
      return {0, 0, 72, 22};
    case TKey::Up:
      return {80, 0, 60, 22};
    case TKey::RightSoft:
      return {148, 0, 72, 22};
    case TKey::Back:
      return {0, 26, 72, 22};
    case TKey::Select:
      return {80, 26, 60, 22};
    case TKey::Down:
      return {80, 52, 60, 22};
  }
  return {};
}

void TKeypad::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& colors = palette();
  const auto draw = [&](TKey key, const QString& text) {
    QRect rect = KeyRect(key).adjusted(0, 0, -1, -1);
    painter.setPen(colors.color(QPalette::Mid));
    painter.setBrush(colors.color(QPalette::Button));
    painter.drawRoundedRect(rect, 6, 6);
    painter.setPen(colors.color(QPalette::ButtonText));
    painter.drawText(rect, Qt::AlignCenter,
                     painter.fontMetrics().elidedText(text, Qt::ElideRight, rect.width() - 6));
  };
  draw(TKey::LeftSoft, left_);
  draw(TKey::RightSoft, right_);
  draw(TKey::Up, QStringLiteral("▲"));
  draw(TKey::Down, QStringLiteral("▼"));
  draw(TKey::Select, QStringLiteral("●"));
  draw(TKey::Back, QStringLiteral("Назад"));
}

void TKeypad::mousePressEvent(QMouseEvent* event) {
  for (TKey key :
       {TKey::LeftSoft, TKey::RightSoft, TKey::Up, TKey::Down, TKey::Select, TKey::Back}) {
    if (KeyRect(key).contains(event->position().toPoint())) {
      emit Pressed(key);
      return;
    }
  }
}

// ---------------------------------------------------------------------------
// TEmulator

TEmulator::TEmulator(TMain* main) : QWidget(main, Qt::Window), main_(main) {
  setObjectName(QStringLiteral("Emulator"));
  setWindowTitle(QStringLiteral("Эмулятор телефона"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  screen_ = std::make_unique<wml::TPhoneScreen>(agent_, wml::DefaultPhone());
  wml::PrepareDeckParser();

  auto* row = new QHBoxLayout(this);
  auto* phoneColumn = new QVBoxLayout;
  row->addLayout(phoneColumn);

  phones_ = new QComboBox(this);
  phones_->setObjectName(QStringLiteral("PhoneList"));
  // The arrow keys belong to the phone: the list takes the focus only when
  // clicked, and gives it back once a phone is chosen.
  phones_->setFocusPolicy(Qt::ClickFocus);
  int index = 0;
  for (const wml::TPhoneProfile& phone : wml::PhoneProfiles()) {
    QString screen = phone.HasScreen()
                         ? QStringLiteral("%1×%2").arg(phone.ScreenWidth).arg(phone.ScreenHeight)
                         : QStringLiteral("экран не известен");
    QString tables = phone.Tables == wml::TTableSupport::No ? QStringLiteral(", без таблиц")
                     : phone.Tables == wml::TTableSupport::Yes ? QStringLiteral(", с таблицами")
                                                               : QString();
    phones_->addItem(QStringLiteral("%1 (%2, %3 байт%4)")
                         .arg(QString::fromUtf8(phone.Name.data(), phone.Name.size()), screen)
                         .arg(phone.MaxCompiledDeckBytes)
                         .arg(tables));
    if (&phone == &wml::DefaultPhone()) phones_->setCurrentIndex(index);
    ++index;
  }
  phoneColumn->addWidget(phones_);

  view_ = new TScreenView(this);
  phoneColumn->addWidget(view_, 0, Qt::AlignHCenter);
  phoneInfo_ = new QLabel(this);
  phoneInfo_->setObjectName(QStringLiteral("PhoneInfo"));
  phoneColumn->addWidget(phoneInfo_);
  keypad_ = new TKeypad(this);
  phoneColumn->addWidget(keypad_, 0, Qt::AlignHCenter);
  restart_ = new QPushButton(QStringLiteral("Сначала"), this);
  restart_->setObjectName(QStringLiteral("Restart"));
  restart_->setFocusPolicy(Qt::NoFocus);
  phoneColumn->addWidget(restart_, 0, Qt::AlignHCenter);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("Status"));
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_->setFixedWidth(kLargestScreenSide + 2 * kBezel);
  phoneColumn->addWidget(status_);
  phoneColumn->addStretch(1);

  auto* checkColumn = new QVBoxLayout;
  row->addLayout(checkColumn, 1);
  size_ = new QLabel(this);
  size_->setObjectName(QStringLiteral("CompiledSize"));
  checkColumn->addWidget(size_);
  auto* findingsCaption = new QLabel(QStringLiteral("Замечания:"), this);
  checkColumn->addWidget(findingsCaption);
  findings_ = new QListWidget(this);
  findings_->setObjectName(QStringLiteral("Findings"));
  findings_->setFocusPolicy(Qt::ClickFocus);
  findings_->setWordWrap(true);
  findings_->setMinimumWidth(280);
  checkColumn->addWidget(findings_, 1);

  pause_.setSingleShot(true);
  pause_.setInterval(kPauseMs);
  connect(&pause_, &QTimer::timeout, this, &TEmulator::Refresh);
  tick_.setSingleShot(true);
  connect(&tick_, &QTimer::timeout, this, [this] {
    agent_.Poll();
    Redraw();
  });
  connect(main_->Memo()->document(), &QTextDocument::contentsChanged, this, [this] {
    if (isVisible()) pause_.start();
  });
  connect(phones_, &QComboBox::currentIndexChanged, this, [this] {
    screen_->SetProfile(Phone());
    Refresh();
    setFocus(Qt::OtherFocusReason);
  });
  connect(phones_, &QComboBox::activated, this, [this] { setFocus(Qt::OtherFocusReason); });
  connect(keypad_, &TKeypad::Pressed, this, &TEmulator::Press);
  connect(restart_, &QPushButton::clicked, this, &TEmulator::Restart);
  connect(findings_, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { ShowFinding(findings_->row(item)); });
  connect(findings_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { ShowFinding(findings_->row(item)); });

  setFocusPolicy(Qt::StrongFocus);
}

TEmulator::~TEmulator() {
  // The worker holds only its own copies; wait for it so that no thread
  // outlives the window.
  if (worker_) worker_->wait();
}

const wml::TPhoneProfile& TEmulator::Phone() const {
  auto phones = wml::PhoneProfiles();
  int index = phones_->currentIndex();
  if (index < 0 || index >= static_cast<int>(phones.size())) return wml::DefaultPhone();
  return phones[index];
}

void TEmulator::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();
  setFocus(Qt::OtherFocusReason);
  if (!sized_) {
    // The first time: room for the screen and a findings list beside it.
    sized_ = true;
    layout()->activate();
    resize(std::max(760, minimumSizeHint().width()), std::max(560, minimumSizeHint().height()));
  }
}

void TEmulator::Refresh() {
  pause_.stop();
  if (worker_) {
    // One worker at a time: this edit is looked at when it is done.
    again_ = true;
    return;
  }
  ++refreshes_;
  std::string text = main_->Buffer().GetText();
  std::string path = main_->Document().DocumentPath().toStdString();
  const wml::TPhoneProfile* phone = &Phone();
  if (text.size() < backgroundFrom_) {
    wml::TDeck deck;
    wml::TDeckReport report;
    ParseAndCheck(text, phone, deck, report);
    Apply(std::move(text), std::move(path), std::move(deck), report);
    return;
  }
  struct TResult {
    wml::TDeck Deck;
    wml::TDeckReport Report;
  };
  auto result = std::make_shared<TResult>();
  auto input = std::make_shared<std::string>(std::move(text));
  worker_.reset(QThread::create(
      [result, input, phone] { ParseAndCheck(*input, phone, result->Deck, result->Report); }));
  connect(worker_.get(), &QThread::finished, this, [this, result, input, path] {
    worker_->wait();
    worker_.reset();
    Apply(std::move(*input), path, std::move(result->Deck), result->Report);
    if (again_) {
      again_ = false;
      Refresh();
    }
  });
  worker_->start(QThread::LowPriority);
}

void TEmulator::Apply(std::string text, std::string path, wml::TDeck deck,
                      const wml::TDeckReport& report) {
  if (!opened_) {
    agent_.Open(text, path, std::move(deck));
    opened_ = true;
  } else {
    if (path != path_) agent_.SetDeckPath(path);
    if (text != text_) agent_.Reload(text, std::move(deck));
  }
  text_ = std::move(text);
  path_ = std::move(path);
  ShowReport(report);
  Redraw();
}

void TEmulator::Restart() {
  if (!opened_) {
    Refresh();
    return;
  }
  agent_.Restart();
  screen_->ResetScroll();
  Redraw();
}

void TEmulator::ShowReport(const wml::TDeckReport& report) {
  shown_ = report.Findings;
  compiledSize_ = report.CompiledSize;
  findings_->clear();
  for (const wml::TFinding& finding : shown_) {
    QString kind = finding.Severity == wml::TSeverity::Error ? QStringLiteral("ошибка")
                                                             : QStringLiteral("предупреждение");
    auto* item = new QListWidgetItem(QStringLiteral("%1:%2: %3: %4")
                                         .arg(finding.Line)
                                         .arg(finding.Column)
                                         .arg(kind, QString::fromStdString(finding.Message)),
                                     findings_);
    if (finding.Severity == wml::TSeverity::Error) item->setForeground(QColor(0xB0, 0, 0));
  }
  ShowSize();
}

void TEmulator::ShowSize() {
  const wml::TPhoneProfile& phone = Phone();
  if (!compiledSize_) {
    size_->setText(QStringLiteral("Размер не известен: колода не компилируется"));
    size_->setStyleSheet(QString());
    return;
  }
  size_->setText(
      QStringLiteral("%1 из %2 байт").arg(*compiledSize_).arg(phone.MaxCompiledDeckBytes));
  size_->setStyleSheet(phone.Accepts(*compiledSize_) ? QString()
                                                     : QStringLiteral("color: #d00000;"));
}

void TEmulator::Redraw() {
  view_->SetImage(screen_->Render());
  keypad_->SetLabels(QString::fromStdString(agent_.SoftKeyLabel(0).Label),
                     QString::fromStdString(agent_.SoftKeyLabel(1).Label));
  const wml::TPhoneProfile& phone = Phone();
  phoneInfo_->setText(
      phone.HasScreen()
          ? QStringLiteral("Экран %1×%2").arg(phone.ScreenWidth).arg(phone.ScreenHeight)
          : QStringLiteral("Экран этого телефона не известен: показан 128×128"));
  QString status;
  if (agent_.Request())
    status = QStringLiteral("Телефон отправил бы запрос (ничего не отправлено):\n") +
             QString::fromStdString(agent_.Request()->Describe());
  else if (!agent_.Error().empty())
    status = QString::fromStdString(agent_.Error());
  else if (agent_.Card())
    status = agent_.CardId().empty()
                 ? QStringLiteral("Карта без id")
                 : QStringLiteral("Карта #%1").arg(QString::fromStdString(agent_.CardId()));
  status_->setText(status);
  ScheduleTimer();
}

void TEmulator::ScheduleTimer() {
  if (auto due = agent_.TimerDueInMs())
    tick_.start(static_cast<int>(std::min<std::int64_t>(*due, 24 * 3600 * 1000)));
  else
    tick_.stop();
}

void TEmulator::Press(TKeypad::TKey key) {
  if (!opened_) Refresh();
  if (!hasFocus()) setFocus(Qt::MouseFocusReason);
  switch (key) {
    case TKeypad::TKey::LeftSoft:
      agent_.SoftKey(0);
      break;
    case TKeypad::TKey::RightSoft:
      agent_.SoftKey(1);
      break;
    case TKeypad::TKey::Up:
      screen_->Up();
      break;
    case TKeypad::TKey::Down:
      screen_->Down();
      break;
    case TKeypad::TKey::Select:
      agent_.Select();
      break;
    case TKeypad::TKey::Back:
      agent_.Back();
      break;
  }
  Redraw();
}

void TEmulator::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up:
      Press(TKeypad::TKey::Up);
      return;
    case Qt::Key_Down:
      Press(TKeypad::TKey::Down);
      return;
    // Left and Right scroll a nowrap line in view sideways (WML 1.1
    // §11.8.3); without one they act as Up and Down.
    case Qt::Key_Left:
      if (screen_->Left())
        Redraw();
      else
        Press(TKeypad::TKey::Up);
      return;
    case Qt::Key_Right:
      if (screen_->Right())
        Redraw();
      else
        Press(TKeypad::TKey::Down);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Press(TKeypad::TKey::Select);
      return;
    case Qt::Key_Escape:
      Press(TKeypad::TKey::Back);
      return;
    case Qt::Key_F3:
      Press(TKeypad::TKey::LeftSoft);
      return;
    case Qt::Key_F4:
      Press(TKeypad::TKey::RightSoft);
      return;
    case Qt::Key_Backspace:
      if (!agent_.Erase()) agent_.Back();
      Redraw();
      return;
    default:
      break;
  }
  const QString text = event->text();
  if (!text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier)) {
    agent_.Type(text.toStdString());
    Redraw();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TEmulator::ShowFinding(int row) {
  if (row < 0 || row >= static_cast<int>(shown_.size())) return;
  const wml::TFinding& finding = shown_[row];
  TMemoBuffer& buffer = main_->Buffer();
  int start = buffer.LineIndex(std::max(0, finding.Line - 1));
  int position;
  if (start < 0) {
    position = buffer.Length();
  } else {
    int next = buffer.LineIndex(finding.Line);
    int end = next < 0 ? buffer.Length() : next - 2;  // before the CR LF
    position = std::clamp(start + std::max(0, finding.Column - 1), start, std::max(start, end));
  }
  buffer.SetSelStart(position);
  main_->activateWindow();
  main_->raise();
  main_->Memo()->setFocus(Qt::OtherFocusReason);
  main_->Memo()->ensureCursorVisible();
}

}  // namespace deckhand
