#include "preview/Preview.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "core/Errors.h"

namespace deckhand {

std::string ComposePreviewPage(const std::string& text) {
  std::string page;
  page.reserve(kPreviewHeader.size() + text.size());
  page.append(kPreviewHeader);
  page.append(text);
  return page;
}

QString PreviewFilePath(const QString& baseDirectory) {
  return baseDirectory + QStringLiteral("/temp/temp.htm");
}

QUrl PreviewFileUrl(const QString& path) {
  QString merged;
  merged.reserve(path.size());
  for (const QChar c : path) {
    if (c == u'/' && merged.endsWith(u'/')) continue;
    merged.append(c);
  }
  return QUrl::fromLocalFile(merged);
}

namespace {

// The folder part of path: everything before its last separator.
QByteArray FolderOf(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  return slash <= 0 ? QByteArray() : path.left(slash);
}

}  // namespace

void WritePreviewFile(const QString& path, const std::string& page) {
  const QByteArray name = QFile::encodeName(path);

  // A fresh installation has no temp folder; make it, but only that one
  // folder. When this fails (the base directory is gone, "temp" is a file,
  // no permission) the creation below fails and reports why.
  const QByteArray folder = FolderOf(name);
  if (!folder.isEmpty()) ::mkdir(folder.constData(), 0777);

  int fd;
  do {
    fd = ::open(name.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int error = errno;  // before anything else can change it
    throw EFCreateError(CannotCreateFileMessage(path.toStdString(), error));
  }

  const char* data = page.data();
  size_t left = page.size();
  bool failed = false;
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      failed = true;
      break;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  if (::close(fd) != 0 && errno != EINTR) failed = true;
  if (failed) throw EWriteError();
}

TPreview::TPreview(const QString& baseDirectory) : baseDirectory_(baseDirectory) {
  visual_.SetText(std::string(kPreviewHeader));
}

QString TPreview::Write(const TCodeBuffer& code) {
  whatSave_.SetText(visual_.GetText() + code.GetText());
  const QString path = FilePath();
  WritePreviewFile(path, whatSave_.GetText());
  return path;
}

}  // namespace deckhand
