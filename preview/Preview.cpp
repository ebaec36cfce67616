#include "preview/Preview.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <utility>

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

// Opens (and when needed creates) a file or folder; retries when a signal
// interrupts the call.
int OpenAt(int folder, const char* name, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::openat(folder, name, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int get() const { return fd_; }
  // Hands the descriptor over; the caller closes it.
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

[[noreturn]] void ThrowCannotCreate(const QString& path, int error) {
  throw EFCreateError(CannotCreateFileMessage(path.toStdString(), error));
}

// Opens the "temp" folder below base for writing a file into it, making it
// when it is missing (only that folder, nothing above it). A "temp" that is
// a symbolic link is refused: a link planted there must not redirect the
// page into a folder of someone else's choosing.
int OpenTempFolder(int base, const QString& path) {
  // When this fails (no permission, "temp" is a file or a link) the open
  // below says why.
  ::mkdirat(base, "temp", 0777);
  const int folder = OpenAt(base, "temp", O_PATH | O_DIRECTORY | O_NOFOLLOW);
  if (folder >= 0) return folder;
  int error = errno;
  struct stat info;
  if (error == ENOTDIR && ::fstatat(base, "temp", &info, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISLNK(info.st_mode)) {
    error = ELOOP;  // what opening a link without following it says
  }
  ThrowCannotCreate(path, error);
}

}  // namespace

void WritePreviewFile(const QString& path, const std::string& page) {
  // The page goes into <base>/temp/temp.htm and nowhere else. The base must
  // be a known, absolute folder: a base that could not be found out (the
  // working directory was deleted) would otherwise put the file at the root
  // of the file system.
  const QString suffix = QStringLiteral("/temp/temp.htm");
  if (!path.endsWith(suffix)) ThrowCannotCreate(path, EINVAL);
  const QByteArray base = QFile::encodeName(path.left(path.size() - suffix.size()));
  if (base.isEmpty() || !base.startsWith('/')) ThrowCannotCreate(path, ENOENT);

  const TFd baseFolder(OpenAt(AT_FDCWD, base.constData(), O_PATH | O_DIRECTORY));
  if (baseFolder.get() < 0) ThrowCannotCreate(path, errno);
  const TFd tempFolder(OpenTempFolder(baseFolder.get(), path));

  // The file itself: never through a symbolic link (O_NOFOLLOW), and without
  // blocking, so that a FIFO or a device found there cannot hold the window.
  // It is emptied only once it is known to be a regular file.
  TFd file(OpenAt(tempFolder.get(), "temp.htm",
                  O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0666));
  if (file.get() < 0) ThrowCannotCreate(path, errno);
  struct stat info;
  if (::fstat(file.get(), &info) != 0) ThrowCannotCreate(path, errno);
  // Anything but a plain file is refused as the system refuses to open a
  // socket: "No such device or address".
  if (!S_ISREG(info.st_mode)) ThrowCannotCreate(path, S_ISDIR(info.st_mode) ? EISDIR : ENXIO);
  // A file with a second name is a hard link someone planted there (the
  // program never makes one): writing would change the other name's file
  // too, which O_NOFOLLOW cannot stop. It is refused before anything is
  // emptied, as "Too many links".
  if (info.st_nlink > 1) ThrowCannotCreate(path, EMLINK);
  int result;
  do {
    result = ::ftruncate(file.get(), 0);
  } while (result != 0 && errno == EINTR);
  if (result != 0) ThrowCannotCreate(path, errno);

  const char* data = page.data();
  size_t left = page.size();
  bool failed = false;
  while (left > 0) {
    const ssize_t written = ::write(file.get(), data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      failed = true;
      break;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  // A file system that writes later (NFS, FUSE, a quota) reports a lost
  // write only here, so a failed close is a failed write.
  if (::close(file.release()) != 0 && errno != EINTR) failed = true;
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
