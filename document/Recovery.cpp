#include "document/Recovery.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <utility>

#include "core/Errors.h"

namespace deckhand {

namespace {

const char kMagic[] = "Deckhand recovery 1\n";
const char kPrefix[] = "recovery-";
const char kSuffix[] = ".wml";

// Whether the process pid still runs (a process of another user counts).
bool Running(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace

QString DefaultRecoveryFolder() {
  const QString state = qEnvironmentVariable("XDG_STATE_HOME");
  if (!state.isEmpty() && QDir::isAbsolutePath(state)) return state + QStringLiteral("/deckhand");
  return QDir::homePath() + QStringLiteral("/.local/state/deckhand");
}

TRecoveryFile::TRecoveryFile(QString folder, pid_t pid) : folder_(std::move(folder)) {
  path_ = folder_ + QLatin1Char('/') + QLatin1String(kPrefix) +
          QString::number(pid > 0 ? pid : ::getpid()) + QLatin1String(kSuffix);
}

void TRecoveryFile::Write(std::string_view text, const QString& documentPath) const {
  const std::string shown = path_.toStdString();
  if (!QDir().mkpath(folder_)) throw EFCreateError(CannotCreateFileMessage(shown, errno));
  ::chmod(QFile::encodeName(folder_).constData(), 0700);
  QSaveFile file(path_);
  file.setDirectWriteFallback(false);
  errno = 0;
  if (!file.open(QIODevice::WriteOnly)) {
    throw EFCreateError(CannotCreateFileMessage(shown, errno != 0 ? errno : EACCES));
  }
  // Private from the first byte: the temporary file gets the mode before
  // any text reaches it.
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  const QByteArray header = QByteArray(kMagic) + documentPath.toUtf8() + '\n';
  if (file.write(header) != header.size() ||
      file.write(text.data(), static_cast<qint64>(text.size())) !=
          static_cast<qint64>(text.size()) ||
      !file.commit()) {
    file.cancelWriting();
    throw EWriteError();
  }
}

void TRecoveryFile::Remove() const { QFile::remove(path_); }

bool TRecoveryFile::Exists() const { return QFileInfo::exists(path_); }

std::optional<TRecoveredText> TRecoveryFile::Read(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = file.readAll();
  const qsizetype magic = static_cast<qsizetype>(sizeof kMagic - 1);
  if (!bytes.startsWith(QByteArrayView(kMagic, magic))) return std::nullopt;
  const qsizetype lineEnd = bytes.indexOf('\n', magic);
  if (lineEnd < 0) return std::nullopt;
  TRecoveredText recovered;
  recovered.DocumentPath = QString::fromUtf8(bytes.mid(magic, lineEnd - magic));
  recovered.Text.assign(bytes.constData() + lineEnd + 1,
                        static_cast<size_t>(bytes.size() - lineEnd - 1));
  return recovered;
}

QStringList TRecoveryFile::Orphans(const QString& folder) {
  QStringList orphans;
  const QFileInfoList files =
      QDir(folder).entryInfoList({QLatin1String(kPrefix) + QLatin1Char('*') + kSuffix},
                                 QDir::Files | QDir::Hidden, QDir::Time);
  for (const QFileInfo& info : files) {
    const QString name = info.fileName();
    bool number = false;
    const qlonglong pid =
        name.mid(static_cast<qsizetype>(sizeof kPrefix - 1),
                 name.size() - static_cast<qsizetype>(sizeof kPrefix - 1 + sizeof kSuffix - 1))
            .toLongLong(&number);
    if (!number || pid <= 0) continue;
    // This program's own file, or one of a program still running: in use.
    if (pid == ::getpid() || Running(static_cast<pid_t>(pid))) continue;
    orphans << info.filePath();
  }
  return orphans;
}

}  // namespace deckhand
