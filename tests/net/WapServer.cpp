#include "WapServer.h"

#include <QFile>
#include <string>

namespace deckhand::net::testing {

namespace {

std::string& ReasonText() {
  static std::string reason;
  return reason;
}

std::unique_ptr<TWapServer> Start() {
  if (std::string(DECKHAND_PYTHON).empty()) {
    ReasonText() = "no Python 3 interpreter: install the Debian package python3";
    return nullptr;
  }
  auto server = std::make_unique<TWapServer>();
  server->Folder = std::make_unique<QTemporaryDir>();
  auto process = std::make_unique<QProcess>();
  process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process->start(
      QString::fromUtf8(DECKHAND_PYTHON),
      {QString::fromUtf8(DECKHAND_WAP_SERVER), QStringLiteral("--lifetime"), QStringLiteral("600"),
       QStringLiteral("--log"), server->Folder->filePath(QStringLiteral("requests.log"))});
  if (!process->waitForStarted(10000)) {
    ReasonText() = "the test server did not start";
    return nullptr;
  }
  // The first line is the port; wait for it a bounded number of times.
  for (int i = 0; i < 100 && !process->canReadLine(); ++i) {
    if (!process->waitForReadyRead(100) && process->state() != QProcess::Running) break;
  }
  bool number = false;
  const int port = process->readLine().trimmed().toInt(&number);
  if (!number || port <= 0) {
    ReasonText() = "the test server named no port";
    process->kill();
    process->waitForFinished(5000);
    return nullptr;
  }
  server->Port = port;
  server->Process = std::move(process);
  return server;
}

}  // namespace

namespace {

std::unique_ptr<TWapServer> Running;
bool Tried = false;

}  // namespace

TWapServer* TWapServer::Get() {
  if (!Tried) {
    Tried = true;
    Running = Start();
  }
  return Running.get();
}

void TWapServer::Stop() { Running.reset(); }

const std::string& TWapServer::Reason() { return ReasonText(); }

std::string TWapServer::Log() const {
  QFile file(Folder->filePath(QStringLiteral("requests.log")));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

TWapServer::~TWapServer() {
  if (!Process) return;
  Process->closeWriteChannel();
  if (!Process->waitForFinished(5000)) {
    Process->kill();
    Process->waitForFinished(5000);
  }
}

}  // namespace deckhand::net::testing
