#include "ui/Unit7.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "ui/EncodingOffer.h"
#include "ui/Unit1.h"

namespace deckhand {

namespace {

constexpr int kPauseMs = 300;
constexpr int kBusyMs = 1000;  // the worker's silence after which the window says it is busy
constexpr int kLargestScreenSide = TScreenView::kLargestSide;
constexpr int kBezel = TScreenView::kBezel;

// Whether the emulator sends requests to the network: asked anew each time
// the program starts, kept while it runs (a new emulator window keeps it).
bool networkChosen = false;

}  // namespace

// ---------------------------------------------------------------------------
// TEmulator

TEmulator::TEmulator(TMain* main)
    : QWidget(main, Qt::Window), main_(main), frame_(std::make_shared<TEmulatorFrame>()) {
  setObjectName(QStringLiteral("Emulator"));
  setWindowTitle(QStringLiteral("Эмулятор телефона"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  StartWorker();

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
    phones_->addItem(QStringLiteral("%1 (%2, %3%4)")
                         .arg(QString::fromUtf8(phone.Name.data(), phone.Name.size()), screen,
                              QString::fromStdString(wml::ByteCount(phone.MaxCompiledDeckBytes)),
                              tables));
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
  network_ = new QCheckBox(QStringLiteral("Отправлять запросы в сеть"), this);
  network_->setObjectName(QStringLiteral("Network"));
  // Reached with Tab and toggled with Space; the focus then goes back to
  // the phone's keys.
  network_->setFocusPolicy(Qt::TabFocus);
  network_->setToolTip(
      QStringLiteral("Переходы по адресам http: и https: отправляются на сервер, ответы "
                     "показываются на экране телефона. Выключено: запрос только показывается."));
  network_->setChecked(networkChosen);
  phoneColumn->addWidget(network_, 0, Qt::AlignHCenter);
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
  findingsCaption_ = new QLabel(QStringLiteral("Замечания:"), this);
  findingsCaption_->setObjectName(QStringLiteral("FindingsCaption"));
  checkColumn->addWidget(findingsCaption_);
  findings_ = new QListWidget(this);
  findings_->setObjectName(QStringLiteral("Findings"));
  findings_->setFocusPolicy(Qt::ClickFocus);
  findings_->setWordWrap(true);
  findings_->setMinimumWidth(280);
  checkColumn->addWidget(findings_, 2);
  // The browser context and the history, as they are after each step.
  checkColumn->addWidget(new QLabel(QStringLiteral("Переменные:"), this));
  variables_ = new QTreeWidget(this);
  variables_->setObjectName(QStringLiteral("Variables"));
  variables_->setFocusPolicy(Qt::ClickFocus);
  variables_->setRootIsDecorated(false);
  variables_->setHeaderLabels({QStringLiteral("Имя"), QStringLiteral("Значение")});
  checkColumn->addWidget(variables_, 1);
  checkColumn->addWidget(new QLabel(QStringLiteral("История:"), this));
  history_ = new QListWidget(this);
  history_->setObjectName(QStringLiteral("History"));
  history_->setFocusPolicy(Qt::ClickFocus);
  checkColumn->addWidget(history_, 1);
  // The last request to the network and its response, while requests are
  // sent.
  exchangeCaption_ = new QLabel(QStringLiteral("Обмен с сервером:"), this);
  checkColumn->addWidget(exchangeCaption_);
  exchange_ = new QPlainTextEdit(this);
  exchange_->setObjectName(QStringLiteral("Exchange"));
  exchange_->setReadOnly(true);
  exchange_->setFocusPolicy(Qt::ClickFocus);
  exchange_->setLineWrapMode(QPlainTextEdit::NoWrap);
  checkColumn->addWidget(exchange_, 1);
  exchangeCaption_->setVisible(networkChosen);
  exchange_->setVisible(networkChosen);

  pause_.setSingleShot(true);
  pause_.setInterval(kPauseMs);
  connect(&pause_, &QTimer::timeout, this, &TEmulator::Refresh);
  busy_.setSingleShot(true);
  busy_.setInterval(kBusyMs);
  connect(&busy_, &QTimer::timeout, this, [this] {
    if (worker_->Fetching()) {
      // Waiting for a server is not being stuck: the back key ends it.
      status_->setText(
          QStringLiteral("Ждём ответа сервера… «Назад» отменит запрос, карта останется прежней."));
      busy_.start();
      return;
    }
    stuck_ = true;
    status_->setText(
        QStringLiteral("Эмулятор считает… Показана последняя готовая картинка. «Сначала» "
                       "запустит колоду заново."));
  });
  // The editor's own signal: it still comes after Open and New replace the
  // editor's document.
  connect(main_->Memo(), &QPlainTextEdit::textChanged, this, [this] {
    if (isVisible()) pause_.start();
  });
  connect(phones_, &QComboBox::currentIndexChanged, this, [this] {
    Posted(worker_->Phone(&Phone()));
    Refresh();
    setFocus(Qt::OtherFocusReason);
  });
  connect(phones_, &QComboBox::activated, this, [this] { setFocus(Qt::OtherFocusReason); });
  connect(keypad_, &TKeypad::Pressed, this, &TEmulator::Press);
  connect(restart_, &QPushButton::clicked, this, &TEmulator::Restart);
  connect(network_, &QCheckBox::toggled, this, [this](bool on) {
    networkChosen = on;
    exchangeCaption_->setVisible(on);
    exchange_->setVisible(on);
    Posted(worker_->Network(on));
    setFocus(Qt::OtherFocusReason);
  });
  connect(findings_, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { ShowFinding(findings_->row(item)); });
  connect(findings_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { ShowFinding(findings_->row(item)); });

  // The window closes from the keyboard (there may be no window manager to
  // do it), and the main window's Save, preview and check work from here.
  for (const QKeySequence& keys :
       {QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::ALT | Qt::Key_F4)}) {
    auto* shortcut = new QShortcut(keys, this);
    connect(shortcut, &QShortcut::activated, this, &QWidget::close);
  }
  const std::pair<QKeySequence, const char*> forwarded[] = {
      {QKeySequence(Qt::CTRL | Qt::Key_S), "N46"},
      {QKeySequence(Qt::Key_F5), "N5"},
      {QKeySequence(Qt::Key_F7), "WML2"}};
  for (const auto& [keys, action] : forwarded) {
    auto* shortcut = new QShortcut(keys, this);
    connect(shortcut, &QShortcut::activated, this, [this, name = action] {
      if (QAction* command = main_->Action(QLatin1String(name))) command->trigger();
    });
  }

  setFocusPolicy(Qt::StrongFocus);
}

TEmulator::~TEmulator() {
  // Cancels what waits; a step that runs is not waited for.
  worker_.reset();
}

void TEmulator::StartWorker() {
  const int generation = ++generation_;
  // Frames come from the worker thread; each is shown on this window's
  // thread. The posted call dies with the window.
  worker_ = std::make_unique<TEmulatorWorker>(
      [this, generation](std::shared_ptr<const TEmulatorFrame> frame) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, frame] {
              if (generation == generation_) Show(frame);
            },
            Qt::QueuedConnection);
      });
  worker_->SetFaultHook(faultHook_);
  if (networkChosen) worker_->Network(true);
  postedJob_ = 0;
  shownJob_ = 0;
  busy_.stop();
  stuck_ = false;
}

void TEmulator::SetFaultHook(TEmulatorWorker::TFaultHook hook) {
  faultHook_ = hook;
  worker_->SetFaultHook(std::move(hook));
}

const wml::TPhoneProfile& TEmulator::Phone() const {
  auto phones = wml::PhoneProfiles();
  int index = phones_->currentIndex();
  if (index < 0 || index >= static_cast<int>(phones.size())) return wml::DefaultPhone();
  return phones[index];
}

std::string TEmulator::Variable(const std::string& name) const {
  for (const TEmulatorFrame::TVariable& variable : frame_->Variables)
    if (variable.Name == name) return variable.Value;
  return {};
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

void TEmulator::Posted(std::uint64_t job) {
  postedJob_ = job;
  if (!busy_.isActive()) busy_.start();
}

void TEmulator::Refresh() {
  pause_.stop();
  ++refreshes_;
  path_ = main_->Document().DocumentPath().toStdString();
  Posted(worker_->Text(main_->Buffer().GetText(), path_, &Phone()));
  opened_ = true;
}

void TEmulator::FollowDocument() {
  if (!opened_) return;
  std::string path = main_->Document().DocumentPath().toStdString();
  if (path == path_) return;
  path_ = path;
  Posted(worker_->Path(std::move(path)));
  ShowDeckNames();
}

void TEmulator::Show(const std::shared_ptr<const TEmulatorFrame>& frame) {
  shownJob_ = std::max(shownJob_, frame->Job);
  if (Idle()) {
    busy_.stop();
    stuck_ = false;
  }
  const std::shared_ptr<const TEmulatorFrame> previous = std::exchange(frame_, frame);
  view_->SetImage(frame->Image);
  keypad_->SetLabels(frame->LeftLabel, frame->RightLabel);
  const wml::TPhoneProfile& phone = Phone();
  phoneInfo_->setText(
      phone.HasScreen()
          ? QStringLiteral("Экран %1×%2").arg(phone.ScreenWidth).arg(phone.ScreenHeight)
          : QStringLiteral("Экран этого телефона не известен: показан 128×128"));
  status_->setText(frame->Status);
  status_->setStyleSheet(frame->Failed ? QStringLiteral("color: #b00000;") : QString());
  if (frame->HasReport) ShowReport(*frame);
  ShowScriptError(frame->ScriptError);
  ShowDeckNames();

  // The views are rebuilt only when they change (a timer may tick ten times
  // a second).
  if (!previous || previous->Exchange != frame->Exchange)
    exchange_->setPlainText(QString::fromStdString(frame->Exchange));
  if (previous && previous->Variables == frame->Variables && previous->History == frame->History)
    return;
  variables_->clear();
  for (const TEmulatorFrame::TVariable& variable : frame->Variables) {
    auto* item = new QTreeWidgetItem(variables_);
    item->setText(0, QString::fromStdString(variable.Name));
    item->setText(1, QString::fromStdString(variable.Value));
    if (variable.ValueBytes > variable.Value.size())
      item->setToolTip(1, QString::fromStdString(wml::ByteCount(variable.ValueBytes)));
  }
  history_->clear();
  for (const std::string& entry : frame->History) history_->addItem(QString::fromStdString(entry));
  if (history_->count() > 0) history_->setCurrentRow(history_->count() - 1);
}

void TEmulator::Restart() {
  // A request under way ends first: the worker is then free for the restart.
  if (worker_->CancelRequest()) stuck_ = false;
  if (!opened_) {
    Refresh();
    return;
  }
  if (stuck_) {
    // A step has run for more than a second: it is left to end on its own
    // (the former worker is cancelled and never waited for), and a fresh
    // engine opens the editor's text from its first card.
    StartWorker();
    Refresh();
    return;
  }
  Posted(worker_->Restart());
}

QString TEmulator::EditorDeckName() const {
  const QString path = main_->Document().DocumentPath();
  return path.isEmpty() ? QStringLiteral("без имени") : QFileInfo(path).fileName();
}

void TEmulator::ShowDeckNames() {
  // The findings and the size are those of the editor's text: say so when the
  // screen shows another deck file.
  findingsCaption_->setText(
      frame_->OtherDeck ? QStringLiteral("Замечания к колоде редактора (%1):").arg(EditorDeckName())
                        : QStringLiteral("Замечания:"));
  ShowSize();
}

void TEmulator::ShowReport(const TEmulatorFrame& frame) {
  const auto same = [](const wml::TFinding& a, const wml::TFinding& b) {
    return a.Severity == b.Severity && a.Line == b.Line && a.Column == b.Column &&
           a.Message == b.Message;
  };
  if (!findingsStale_ && frame.CompiledSize == compiledSize_ && frame.Script == script_ &&
      frame.OfferEncoding == offerEncoding_ && frame.FindingsLeftOut == findingsLeftOut_ &&
      std::equal(frame.Findings.begin(), frame.Findings.end(), shown_.begin(), shown_.end(), same))
    return;  // the list as it is: rebuilding it costs the editor's time
  findingsStale_ = false;
  findingsLeftOut_ = frame.FindingsLeftOut;
  shown_ = frame.Findings;
  scriptError_.reset();  // the list is rebuilt without it; Show puts it back
  compiledSize_ = frame.CompiledSize;
  script_ = frame.Script;
  offerEncoding_ = frame.OfferEncoding;
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
  if (frame.FindingsLeftOut > 0) {
    // Not a finding: choosing it does nothing.
    auto* more = new QListWidgetItem(QStringLiteral("… и ещё замечаний: %1 (показаны первые %2)")
                                         .arg(frame.FindingsLeftOut)
                                         .arg(shown_.size()),
                                     findings_);
    more->setFlags(Qt::ItemIsEnabled);
  }
  if (offerEncoding_) {
    auto* offer = new QListWidgetItem(QString::fromUtf8(kEncodingOfferText), findings_);
    offer->setForeground(QColor(0, 0x50, 0xB0));
  }
}

void TEmulator::ShowScriptError(const std::optional<TEmulatorFrame::TScriptError>& error) {
  if (error == scriptError_) return;
  if (scriptError_) delete findings_->takeItem(0);
  scriptError_ = error;
  if (!error) return;
  auto* item = new QListWidgetItem(QString::fromStdString(error->Message));
  item->setForeground(QColor(0xB0, 0, 0));
  item->setToolTip(QString::fromStdString(error->Path));
  findings_->insertItem(0, item);
}

void TEmulator::ShowSize() {
  if (script_) {
    // The phones' table records the limits of compiled decks only.
    size_->setText(compiledSize_ ? QStringLiteral("Скомпилированный сценарий: %1")
                                       .arg(QString::fromStdString(wml::ByteCount(*compiledSize_)))
                                 : QStringLiteral("Размер не известен: сценарий не компилируется"));
    size_->setStyleSheet(QString());
    return;
  }
  const wml::TPhoneProfile& phone = Phone();
  const QString deck = frame_->OtherDeck
                           ? QStringLiteral("Колода редактора (%1): ").arg(EditorDeckName())
                           : QString();
  if (!compiledSize_) {
    size_->setText(deck + QStringLiteral("Размер не известен: колода не компилируется"));
    size_->setStyleSheet(QString());
    return;
  }
  size_->setText(
      deck + QStringLiteral("%1 из %2")
                 .arg(*compiledSize_)
                 .arg(QString::fromStdString(wml::ByteCountGenitive(phone.MaxCompiledDeckBytes))));
  size_->setStyleSheet(phone.Accepts(*compiledSize_) ? QString()
                                                     : QStringLiteral("color: #d00000;"));
}

void TEmulator::Press(TKeypad::TKey key) {
  if (!opened_) Refresh();
  if (!hasFocus()) setFocus(Qt::MouseFocusReason);
  switch (key) {
    case TKeypad::TKey::LeftSoft:
      Posted(worker_->Key(TPhoneKey::LeftSoft));
      break;
    case TKeypad::TKey::RightSoft:
      Posted(worker_->Key(TPhoneKey::RightSoft));
      break;
    case TKeypad::TKey::Up:
      Posted(worker_->Key(TPhoneKey::Up));
      break;
    case TKeypad::TKey::Down:
      Posted(worker_->Key(TPhoneKey::Down));
      break;
    case TKeypad::TKey::Select:
      Posted(worker_->Key(TPhoneKey::Select));
      break;
    case TKeypad::TKey::Back:
      // While the phone waits for a server, the back key cancels the
      // request and nothing more.
      if (worker_->CancelRequest()) break;
      Posted(worker_->Key(TPhoneKey::Back));
      break;
  }
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
      Posted(worker_->Key(TPhoneKey::Left));
      return;
    case Qt::Key_Right:
      Posted(worker_->Key(TPhoneKey::Right));
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
      if (event->modifiers() & Qt::AltModifier) break;
      Press(TKeypad::TKey::RightSoft);
      return;
    case Qt::Key_Backspace:
      if (worker_->CancelRequest()) return;
      if (!opened_) Refresh();
      Posted(worker_->Erase());
      return;
    default:
      break;
  }
  const QString text = event->text();
  if (!text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier)) {
    if (!opened_) Refresh();
    Posted(worker_->Type(text.toStdString()));
    return;
  }
  QWidget::keyPressEvent(event);
}

void TEmulator::ShowFinding(int row) {
  if (offerEncoding_ && row == findings_->count() - 1) {
    AddEncodingDeclaration();
    return;
  }
  wml::TFinding finding{};
  if (scriptError_ && row == 0) {
    // A called script's error leads into the editor only when that script
    // is the document being edited and the error's line is known.
    const QString path = main_->Document().DocumentPath();
    if (path.isEmpty() || scriptError_->Line <= 0 ||
        QFileInfo(path).absoluteFilePath().toStdString() != scriptError_->Path)
      return;
    finding = {wml::TSeverity::Error, scriptError_->Line, std::max(1, scriptError_->Column), ""};
  } else {
    if (scriptError_) --row;
    if (row < 0 || row >= static_cast<int>(shown_.size())) return;
    finding = shown_[row];
  }
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

bool TEmulator::AddEncodingDeclaration() {
  TMemoBuffer& buffer = main_->Buffer();
  const std::optional<TEncodingInsertion> insertion = EncodingInsertion(buffer.GetText());
  if (!insertion) return false;
  // One SetSelText: one step of the editor's undo.
  buffer.SetSelStart(insertion->Position);
  buffer.SetSelLength(0);
  buffer.SetSelText(insertion->Text);
  main_->activateWindow();
  main_->raise();
  main_->Memo()->setFocus(Qt::OtherFocusReason);
  Refresh();
  return true;
}

}  // namespace deckhand
